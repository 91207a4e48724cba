#pragma once
// An immutable image shared by value: the pictures of forms and picture boxes,
// and the window icon. Pixels are 0xAARRGGBB, row by row from the top.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace rt {

class Picture {
public:
    Picture() = default;  // "no picture"
    Picture(std::string name, int width, int height, std::vector<std::uint32_t> argb);

    // Reads an XPM 3 image compiled into the program: one character per pixel,
    // colours as `c #RRGGBB` or `c None` (transparent).
    static Picture FromXpm(std::string name, const char* const* xpm);

    explicit operator bool() const { return d_ != nullptr; }
    int width() const { return d_ ? d_->width : 0; }
    int height() const { return d_ ? d_->height : 0; }
    const std::string& name() const;
    const std::vector<std::uint32_t>& pixels() const;
    std::uint32_t pixel(int x, int y) const { return d_->argb[std::size_t(y) * d_->width + x]; }

    // Two pictures are the same when they share one image.
    bool operator==(const Picture& o) const { return d_ == o.d_; }

private:
    struct Data {
        std::string name;
        int width = 0, height = 0;
        std::vector<std::uint32_t> argb;
    };
    std::shared_ptr<const Data> d_;
};

}  // namespace rt
