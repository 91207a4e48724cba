#pragma once
// CursorSource: where the mouse cursor is on the whole desktop, read from the
// display server directly (one implementation per kind of session).
#include <cstdint>

namespace qt {

class CursorSource {
public:
    virtual ~CursorSource() = default;
    // The cursor's position on the screen in the pixels of window geometry
    // (device pixels divided by the screen's ratio); false when it could not be
    // read this time.
    virtual bool read(std::int32_t& x, std::int32_t& y) = 0;
};

}  // namespace qt
