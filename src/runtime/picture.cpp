#include "runtime/picture.h"

#include <cstdio>
#include <map>
#include <sstream>
#include <stdexcept>

namespace rt {

Picture::Picture(std::string name, int width, int height, std::vector<std::uint32_t> argb)
{
    if (width <= 0 || height <= 0 || argb.size() != std::size_t(width) * std::size_t(height))
        throw std::invalid_argument("picture '" + name + "': size and pixels disagree");
    d_ = std::make_shared<const Data>(Data{std::move(name), width, height, std::move(argb)});
}

const std::string& Picture::name() const
{
    static const std::string none;
    return d_ ? d_->name : none;
}

const std::vector<std::uint32_t>& Picture::pixels() const
{
    static const std::vector<std::uint32_t> none;
    return d_ ? d_->argb : none;
}

Picture Picture::FromXpm(std::string name, const char* const* xpm)
{
    auto bad = [&](const std::string& why) { return std::invalid_argument("XPM '" + name + "': " + why); };
    int width = 0, height = 0, colours = 0, cpp = 0;
    if (std::sscanf(xpm[0], "%d %d %d %d", &width, &height, &colours, &cpp) != 4 || cpp != 1 || width <= 0 ||
        height <= 0 || colours <= 0)
        throw bad("unsupported header");
    std::map<char, std::uint32_t> palette;
    for (int i = 1; i <= colours; ++i) {
        const std::string line = xpm[i];
        if (line.size() < 2) throw bad("short colour line");
        std::istringstream rest(line.substr(1));
        std::string key, value;
        rest >> key >> value;
        if (key != "c") throw bad("colour key other than 'c'");
        std::uint32_t argb = 0;  // None: transparent
        if (value.size() == 7 && value[0] == '#')
            argb = 0xFF000000u | static_cast<std::uint32_t>(std::stoul(value.substr(1), nullptr, 16));
        else if (value != "None")
            throw bad("colour '" + value + "'");
        palette[line[0]] = argb;
    }
    std::vector<std::uint32_t> pixels;
    pixels.reserve(std::size_t(width) * height);
    for (int y = 0; y < height; ++y) {
        const std::string row = xpm[1 + colours + y];
        if (static_cast<int>(row.size()) != width) throw bad("row of the wrong length");
        for (char c : row) {
            auto it = palette.find(c);
            if (it == palette.end()) throw bad("pixel of no colour");
            pixels.push_back(it->second);
        }
    }
    return Picture(std::move(name), width, height, std::move(pixels));
}

}  // namespace rt
