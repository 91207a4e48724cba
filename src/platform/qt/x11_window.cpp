#include "platform/qt/x11_window.h"

#include <QGuiApplication>
#include <QSocketNotifier>
#include <QWindow>

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

namespace qt::x11 {

namespace {

xcb_connection_t* Connection()
{
    auto* app = qGuiApp;
    if (!app || QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = app->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

xcb_window_t Root(xcb_connection_t* c)
{
    // Qt opens the default screen of $DISPLAY; so do we.
    const xcb_setup_t* setup = xcb_get_setup(c);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(setup);
    return it.rem ? it.data->root : XCB_NONE;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, std::uint16_t(std::strlen(name)), name), nullptr);
    if (!r) return XCB_ATOM_NONE;
    const xcb_atom_t atom = r->atom;
    std::free(r);
    return atom;
}

std::vector<xcb_atom_t> ReadAtoms(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property)
{
    std::vector<xcb_atom_t> atoms;
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, property, XCB_ATOM_ATOM, 0, 1024), nullptr);
    if (!r) return atoms;
    if (r->type == XCB_ATOM_ATOM && r->format == 32) {
        const auto* data = static_cast<const xcb_atom_t*>(xcb_get_property_value(r));
        atoms.assign(data, data + xcb_get_property_value_length(r) / 4);
    }
    std::free(r);
    return atoms;
}

void WriteAtoms(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property,
                const std::vector<xcb_atom_t>& atoms)
{
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, XCB_ATOM_ATOM, 32, std::uint32_t(atoms.size()),
                        atoms.data());
}

xcb_window_t ReadWindow(xcb_connection_t* c, xcb_window_t w, xcb_atom_t property)
{
    xcb_window_t result = XCB_NONE;
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, property, XCB_ATOM_WINDOW, 0, 1), nullptr);
    if (r) {
        if (r->type == XCB_ATOM_WINDOW && r->format == 32 && xcb_get_property_value_length(r) >= 4)
            result = *static_cast<const xcb_window_t*>(xcb_get_property_value(r));
        std::free(r);
    }
    return result;
}

// The X window of a top-level widget as it is now (QWidget::winId() can lag
// behind when Qt replaces the native window).
xcb_window_t NativeOf(QWidget* window)
{
    if (!window) return XCB_NONE;
    window->winId();
    QWindow* handle = window->windowHandle();
    return handle ? xcb_window_t(handle->winId()) : XCB_NONE;
}

}  // namespace

bool WaitUntilWithdrawn(QWidget* window, int timeoutMs)
{
    xcb_connection_t* c = Connection();
    QWindow* handle = window ? window->windowHandle() : nullptr;
    if (!c || !handle || !handle->handle()) return false;
    const xcb_window_t w = xcb_window_t(handle->winId());
    const xcb_atom_t wmState = Atom(c, "WM_STATE");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        // WM_STATE: CARD32 state (0 Withdrawn, 1 Normal, 3 Iconic), then the icon window.
        std::uint32_t state = 0;
        xcb_get_property_reply_t* r =
            xcb_get_property_reply(c, xcb_get_property(c, 0, w, wmState, wmState, 0, 2), nullptr);
        if (r) {
            if (r->format == 32 && xcb_get_property_value_length(r) >= 4)
                state = *static_cast<const std::uint32_t*>(xcb_get_property_value(r));
            std::free(r);
        }
        if (state == 0) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool AddStatesBeforeMap(QWidget* window, const char* const* atomNames, int count)
{
    xcb_connection_t* c = Connection();
    if (!c || !window) return false;
    const xcb_window_t w = NativeOf(window);
    const xcb_atom_t state = Atom(c, "_NET_WM_STATE");
    std::vector<xcb_atom_t> atoms = ReadAtoms(c, w, state);
    for (int i = 0; i < count; ++i) {
        const xcb_atom_t a = Atom(c, atomNames[i]);
        if (std::find(atoms.begin(), atoms.end(), a) == atoms.end()) atoms.push_back(a);
    }
    WriteAtoms(c, w, state, atoms);
    xcb_flush(c);
    return true;
}

bool HasState(QWidget* window, const char* atomName)
{
    xcb_connection_t* c = Connection();
    if (!c || !window) return false;
    const std::vector<xcb_atom_t> atoms = ReadAtoms(c, NativeOf(window), Atom(c, "_NET_WM_STATE"));
    return std::find(atoms.begin(), atoms.end(), Atom(c, atomName)) != atoms.end();
}

bool WindowManagerRunning()
{
    xcb_connection_t* c = Connection();
    if (!c) return false;
    const xcb_atom_t check = Atom(c, "_NET_SUPPORTING_WM_CHECK");
    const xcb_window_t child = ReadWindow(c, Root(c), check);
    // A stale property (the window manager died) names a window that is gone
    // or that does not name itself.
    return child != XCB_NONE && ReadWindow(c, child, check) == child;
}

std::string WindowManagerName()
{
    xcb_connection_t* c = Connection();
    if (!c || !WindowManagerRunning()) return {};
    const xcb_window_t child = ReadWindow(c, Root(c), Atom(c, "_NET_SUPPORTING_WM_CHECK"));
    std::string name;
    xcb_get_property_reply_t* r = xcb_get_property_reply(
        c, xcb_get_property(c, 0, child, Atom(c, "_NET_WM_NAME"), Atom(c, "UTF8_STRING"), 0, 64), nullptr);
    if (r) {
        if (r->format == 8)
            name.assign(static_cast<const char*>(xcb_get_property_value(r)),
                        std::size_t(xcb_get_property_value_length(r)));
        std::free(r);
    }
    return name;
}

bool SetStateWithoutWindowManager(QWidget* window, const char* atomName, bool set)
{
    xcb_connection_t* c = Connection();
    if (!c || !window) return false;
    const xcb_window_t w = NativeOf(window);
    const xcb_atom_t state = Atom(c, "_NET_WM_STATE");
    const xcb_atom_t a = Atom(c, atomName);
    std::vector<xcb_atom_t> atoms = ReadAtoms(c, w, state);
    const auto it = std::find(atoms.begin(), atoms.end(), a);
    if (set && it == atoms.end())
        atoms.push_back(a);
    else if (!set && it != atoms.end())
        atoms.erase(it);
    else
        return true;
    WriteAtoms(c, w, state, atoms);
    xcb_flush(c);
    return true;
}

bool RequestState(QWidget* window, const char* atomName, bool set)
{
    xcb_connection_t* c = Connection();
    if (!c || !window) return false;
    // _NET_WM_STATE: action (0 remove, 1 add), first property, second, source (1 an application).
    xcb_client_message_event_t message{};
    message.response_type = XCB_CLIENT_MESSAGE;
    message.format = 32;
    message.window = NativeOf(window);
    message.type = Atom(c, "_NET_WM_STATE");
    message.data.data32[0] = set ? 1 : 0;
    message.data.data32[1] = Atom(c, atomName);
    message.data.data32[2] = 0;
    message.data.data32[3] = 1;
    xcb_send_event(c, 0, Root(c), XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&message));
    xcb_flush(c);
    return true;
}

bool IsHighest(QWidget* window)
{
    xcb_connection_t* c = Connection();
    if (!c || !window) return false;
    const xcb_window_t own = NativeOf(window);
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, Root(c)), nullptr);
    if (!tree) return false;
    // The children come bottom to top: the first viewable one from the top decides.
    const xcb_window_t* children = xcb_query_tree_children(tree);
    bool highest = false;
    for (int i = xcb_query_tree_children_length(tree) - 1; i >= 0; --i) {
        if (children[i] == own) {
            highest = true;
            break;
        }
        xcb_get_window_attributes_reply_t* a =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, children[i]), nullptr);
        const bool viewable =
            a && a->map_state == XCB_MAP_STATE_VIEWABLE && a->_class != XCB_WINDOW_CLASS_INPUT_ONLY;
        std::free(a);
        if (viewable) break;
    }
    std::free(tree);
    return highest;
}

std::uint32_t NativeWindow(QWidget* window) { return Connection() ? NativeOf(window) : 0; }

// The root window's SubstructureNotify events, on a connection of our own:
// selected on Qt's, they would also bring Qt every client message sent to the
// root window about our windows (the window manager's and our own requests),
// which Qt would take as sent to the windows themselves.
class StackingWatch::Filter {
public:
    Filter(xcb_connection_t* c, xcb_window_t root, std::function<void(std::uint32_t)> changed)
        : c_(c),
          root_(root),
          changed_(std::move(changed)),
          notifier_(xcb_get_file_descriptor(c), QSocketNotifier::Read)
    {
        QObject::connect(&notifier_, &QSocketNotifier::activated, [this] { drain(); });
    }
    ~Filter() { xcb_disconnect(c_); }
    Filter(const Filter&) = delete;
    Filter& operator=(const Filter&) = delete;

    void drain()
    {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c_)) {
            xcb_window_t window = XCB_NONE;
            switch (event->response_type & 0x7f) {
            case XCB_MAP_NOTIFY:
                if (reinterpret_cast<xcb_map_notify_event_t*>(event)->event == root_)
                    window = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
                break;
            case XCB_CONFIGURE_NOTIFY:
                if (reinterpret_cast<xcb_configure_notify_event_t*>(event)->event == root_)
                    window = reinterpret_cast<xcb_configure_notify_event_t*>(event)->window;
                break;
            case XCB_CIRCULATE_NOTIFY:
                if (reinterpret_cast<xcb_circulate_notify_event_t*>(event)->event == root_)
                    window = reinterpret_cast<xcb_circulate_notify_event_t*>(event)->window;
                break;
            default: break;
            }
            std::free(event);
            if (window != XCB_NONE) changed_(window);
        }
        if (xcb_connection_has_error(c_)) notifier_.setEnabled(false);
    }

private:
    xcb_connection_t* c_;
    xcb_window_t root_;
    std::function<void(std::uint32_t)> changed_;
    QSocketNotifier notifier_;
};

StackingWatch::StackingWatch(std::function<void(std::uint32_t)> changed)
{
    if (!Connection()) return;
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return;
    }
    const xcb_window_t root = Root(c);
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c);
    filter_ = std::make_unique<Filter>(c, root, std::move(changed));
}

StackingWatch::~StackingWatch() = default;

bool IsViewable(QWidget* window)
{
    xcb_connection_t* c = Connection();
    if (!c || !window) return false;
    xcb_get_window_attributes_reply_t* r =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, NativeOf(window)), nullptr);
    if (!r) return false;
    const bool viewable = r->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(r);
    return viewable;
}

bool FocusWindow(QWidget* window)
{
    xcb_connection_t* c = Connection();
    if (!c || !window || !IsViewable(window)) return false;
    xcb_void_cookie_t cookie =
        xcb_set_input_focus_checked(c, XCB_INPUT_FOCUS_PARENT, NativeOf(window), XCB_CURRENT_TIME);
    xcb_generic_error_t* error = xcb_request_check(c, cookie);
    const bool ok = error == nullptr;
    std::free(error);
    return ok;
}

}  // namespace qt::x11
