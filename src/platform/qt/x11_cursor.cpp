// The cursor on X11, read on connections of our own to the X server.
//
// The chase asks where the cursor is a hundred times a second. Each question
// (QueryPointer) is a round trip: the program sleeps until the answer comes,
// and on a virtual machine that second wake-up of every tick costs as much as
// the tick itself. So the reader asks only when the pointer may have moved:
// the RECORD extension reports each pointer motion the server processes (a
// device's, XTEST's, a warp by any client) on a second connection, which is
// read without waiting. Between motions the last answer stands; it is asked
// again every 250 ms all the same (a screen that changes size can move the
// pointer without a motion). Only motion is recorded: no keys, no requests of
// other clients. Without RECORD every read asks the server.
//
// Recording stops when nobody has read the cursor for kIdle (the chase has
// ended), so that the server does not pile up motions for us; the next read
// starts it again.
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <xcb/record.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/qt/x11_window.h"

namespace qt::x11 {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kIdle = std::chrono::seconds(1);
// The category of a reply to RecordEnableContext (xcb names none).
constexpr std::uint8_t kFromServer = 0, kStartOfData = 4;

// The pointer motions the server processes, reported on a connection of their own.
class MotionRecord {
public:
    // nullptr when the server has no RECORD extension or refuses the context.
    static std::unique_ptr<MotionRecord> Open(xcb_connection_t* control)
    {
        const xcb_query_extension_reply_t* ext = xcb_get_extension_data(control, &xcb_record_id);
        if (!ext || !ext->present) return nullptr;
        std::free(xcb_record_query_version_reply(control, xcb_record_query_version(control, 1, 13), nullptr));
        const xcb_record_context_t context = xcb_generate_id(control);
        xcb_record_range_t range{};
        range.device_events.first = XCB_MOTION_NOTIFY;
        range.device_events.last = XCB_MOTION_NOTIFY;
        const xcb_record_client_spec_t clients = XCB_RECORD_CS_ALL_CLIENTS;
        if (xcb_generic_error_t* error = xcb_request_check(
                control, xcb_record_create_context_checked(control, context, 0, 1, 1, &clients, &range))) {
            std::free(error);
            return nullptr;
        }
        xcb_connection_t* data = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(data)) {
            xcb_disconnect(data);
            xcb_record_free_context(control, context);
            xcb_flush(control);
            return nullptr;
        }
        return std::unique_ptr<MotionRecord>(new MotionRecord(control, data, context));
    }

    ~MotionRecord()
    {
        xcb_record_disable_context(control_, context_);
        xcb_record_free_context(control_, context_);
        xcb_flush(control_);
        xcb_disconnect(data_);
    }
    MotionRecord(const MotionRecord&) = delete;
    MotionRecord& operator=(const MotionRecord&) = delete;

    // Whether the pointer may have moved since the last call: a motion was
    // reported, or the recording has not begun yet. Never waits.
    bool moved()
    {
        lastAsked_ = Clock::now();
        if (!recording_) start();
        bool moved = false;
        for (;;) {
            void* reply = nullptr;
            xcb_generic_error_t* error = nullptr;
            if (!xcb_poll_for_reply(data_, cookie_.sequence, &reply, &error)) break;
            if (!reply) {  // an error, or the recording ended under us
                std::free(error);
                broken_ = true;
                break;
            }
            const auto* r = static_cast<const xcb_record_enable_context_reply_t*>(reply);
            if (r->category == kStartOfData)
                started_ = true;
            else if (r->category == kFromServer)
                moved = true;
            std::free(reply);
        }
        if (xcb_connection_has_error(data_)) broken_ = true;
        return moved || !started_ || broken_;
    }

    // The recording failed: the reader asks the server on every read instead.
    bool broken() const { return broken_; }

private:
    MotionRecord(xcb_connection_t* control, xcb_connection_t* data, xcb_record_context_t context)
        : control_(control),
          data_(data),
          context_(context)
    {
        idle_.setSingleShot(true);
        idle_.setInterval(int(std::chrono::milliseconds(kIdle).count()));
        QObject::connect(&idle_, &QTimer::timeout, [this] {
            if (Clock::now() - lastAsked_ >= kIdle)
                stop();
            else
                idle_.start();
        });
    }

    void start()
    {
        cookie_ = xcb_record_enable_context(data_, context_);
        xcb_flush(data_);
        recording_ = true;
        started_ = false;  // motions before the server begins are the reader's to ask about
        idle_.start();
    }

    void stop()
    {
        xcb_record_disable_context(control_, context_);
        xcb_flush(control_);
        xcb_discard_reply(data_, cookie_.sequence);  // what is still on its way
        recording_ = false;
    }

    xcb_connection_t* control_;
    xcb_connection_t* data_;
    xcb_record_context_t context_;
    xcb_record_enable_context_cookie_t cookie_{};
    bool recording_ = false;
    bool started_ = false;
    bool broken_ = false;
    Clock::time_point lastAsked_;
    QTimer idle_;
};

class CursorReader : public CursorSource {
public:
    CursorReader(xcb_connection_t* c, xcb_window_t root, std::chrono::milliseconds recheck)
        : c_(c),
          root_(root),
          recheck_(recheck),
          record_(MotionRecord::Open(c))
    {
    }
    ~CursorReader() override
    {
        record_.reset();
        xcb_disconnect(c_);
    }
    CursorReader(const CursorReader&) = delete;
    CursorReader& operator=(const CursorReader&) = delete;

    bool read(std::int32_t& x, std::int32_t& y) override
    {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen) return false;
        const Clock::time_point now = Clock::now();
        bool ask = !known_ || now - askedAt_ >= recheck_;
        if (record_) {
            ask = record_->moved() || ask;
            if (record_->broken()) record_.reset();
        }
        if (ask || !record_) {
            xcb_query_pointer_reply_t* reply =
                xcb_query_pointer_reply(c_, xcb_query_pointer(c_, root_), nullptr);
            if (!reply) return false;
            rootX_ = reply->root_x;
            rootY_ = reply->root_y;
            std::free(reply);
            known_ = true;
            askedAt_ = now;
        }
        const qreal ratio = screen->devicePixelRatio();
        x = std::int32_t(qRound(rootX_ / ratio));
        y = std::int32_t(qRound(rootY_ / ratio));
        return true;
    }

private:
    xcb_connection_t* c_;
    xcb_window_t root_;
    std::chrono::milliseconds recheck_;
    std::unique_ptr<MotionRecord> record_;
    bool known_ = false;
    int rootX_ = 0, rootY_ = 0;
    Clock::time_point askedAt_;
};

}  // namespace

std::unique_ptr<CursorSource> OpenCursorReader(std::chrono::milliseconds recheck)
{
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return nullptr;
    }
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    return std::make_unique<CursorReader>(c, it.rem ? it.data->root : XCB_NONE, recheck);
}

}  // namespace qt::x11
