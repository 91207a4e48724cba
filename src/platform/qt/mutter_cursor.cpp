#include "platform/qt/mutter_cursor.h"

namespace qt::mutter {

std::unique_ptr<CursorSource> OpenCursor() {
    return nullptr;
}

}  // namespace qt::mutter
