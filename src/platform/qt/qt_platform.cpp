#include "platform/qt/qt_platform.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <QStyleHints>
#include <QTimer>
#include <QWindow>

#include <algorithm>

#include "platform/pulse/pulse_tone.h"
#include "platform/qt/form_window.h"
#include "platform/qt/tick_source.h"
#include "platform/qt/wayland_cursor.h"
#include "platform/qt/x11_window.h"
#include "runtime/text_layout.h"

namespace qt {

namespace {

// A message box where Windows puts one: in the middle of the screen, whatever
// its owner's size and place (Qt would centre it on the owner).
class ProgramMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* e) override
    {
        QMessageBox::showEvent(e);  // sizes the box to its text
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (!e->spontaneous() && screen) {
            QRect box(QPoint(), size());
            box.moveCenter(screen->availableGeometry().center());
            move(box.topLeft());
        }
    }
};

// A window that is borderless, keeps out of the taskbar and is top-most is
// what Windows places exactly where the program says and keeps above the
// others without a word from anyone. X window managers and Wayland
// compositors have their own ideas for such a window (placing it, tiling it,
// keeping it under their panels, growing it to a minimum size): it is made
// override-redirect, which every one of them leaves where the program puts
// it, and raised again whenever another window comes above it.
// Not on weston: its panel keeps the pointer over the top 32 px of the screen
// even where an X window shows above it, and there is no other way to learn
// where the cursor is, so a banner at the top-left corner could never be
// reached there. Weston places the window itself, where it can be.
bool PlacedByItself(const FormWindow* window)
{
    const rt::WindowStyle& style = window->windowStyle();
    return !style.bordered && !style.showInTaskbar && (window->windowFlags() & Qt::WindowStaysOnTopHint) &&
           x11::WindowManagerName() != "Weston WM";
}

// A borderless window the size of the primary monitor is a full-screen window,
// as Windows takes it: it is asked to be full screen (_NET_WM_STATE_FULLSCREEN),
// so that the window manager puts it over its panels and top bars too.
bool CoversTheScreen(const FormWindow* window, const QRect& geometry)
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen && !window->windowStyle().bordered && geometry == screen->geometry();
}

}  // namespace

QtPlatform::QtPlatform(const std::string& pulseServer)
    : relay_(std::make_unique<QObject>()),
      tone_(std::make_unique<pulse::PulseTone>(pulseServer))
{
    // On a Wayland session the desktop's cursor source starts now, so that its
    // first report is in by the first tick (and its notice, if any, comes at
    // start-up).
    if (wayland::InWaylandSession()) {
        cursorTried_ = true;
        cursorFallback_ = false;
        cursor_ = wayland::OpenCursor(x11::OpenCursorReader());
    }
}

QtPlatform::~QtPlatform()
{
    for (auto& [id, timer] : timers_) delete timer.source;
    for (auto& box : boxes_) delete box.data();
    for (auto& [id, window] : windows_) {
        window->detach();
        delete window;
    }
}

void QtPlatform::attach(rt::Host& host) { host_ = &host; }

int QtPlatform::run()
{
    if (quitting_) return status_;
    const int result = QApplication::exec();
    return quitting_ ? status_ : result;
}

void QtPlatform::quit(int status)
{
    quitting_ = true;
    status_ = status;
    for (auto& box : boxes_)
        if (box) box->done(QDialog::Rejected);
    // Leaves every running event loop, the nested ones of message boxes included.
    QCoreApplication::exit(status);
}

FormWindow* QtPlatform::find(rt::WindowId w) const
{
    const auto it = windows_.find(w);
    return it == windows_.end() ? nullptr : it->second;
}

QWidget* QtPlatform::widget(rt::WindowId w) const { return find(w); }

std::vector<QMessageBox*> QtPlatform::openMessageBoxes() const
{
    std::vector<QMessageBox*> out;
    for (const auto& box : boxes_)
        if (box) out.push_back(box.data());
    return out;
}

rt::WindowId QtPlatform::createWindow(const rt::WindowStyle& windowStyle)
{
    const rt::WindowId id = nextWindow_++;
    auto* window = new FormWindow(this, id, windowStyle);
    windows_[id] = window;
    if (windowStyle.icon && !appIconSet_) {
        QApplication::setWindowIcon(window->windowIcon());
        appIconSet_ = true;
    }
    return id;
}

void QtPlatform::destroyWindow(rt::WindowId w)
{
    FormWindow* window = find(w);
    if (!window) return;
    windows_.erase(w);
    window->detach();
    window->hide();
    window->deleteLater();  // the call may come from one of its own event handlers
}

void QtPlatform::setGeometry(rt::WindowId w, rt::PixelRect client)
{
    FormWindow* window = find(w);
    if (!window) return;
    const QRect r(QPoint(client.x, client.y) + PrimaryOrigin(),
                  QSize(std::max(client.w, 1), std::max(client.h, 1)));
    window->setClientGeometry(r);
    // A shown window that comes to cover the screen, or stops covering it.
    if (window->isVisible() && !(window->windowFlags() & Qt::BypassWindowManagerHint) &&
        CoversTheScreen(window, r) != window->fullScreenAsked()) {
        window->setFullScreenAsked(!window->fullScreenAsked());
        if (x11::WindowManagerRunning())
            x11::RequestState(window, "_NET_WM_STATE_FULLSCREEN", window->fullScreenAsked());
    }
}

void QtPlatform::setScene(rt::WindowId w, const rt::Scene& scene)
{
    if (FormWindow* window = find(w)) window->setScene(scene);
}

void QtPlatform::setTopMost(rt::WindowId w, bool topMost)
{
    FormWindow* window = find(w);
    if (!window) return;
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, topMost);
    if (flags == window->windowFlags()) return;
    // QWidget::setWindowFlags would unmap a shown window: the flags go to the
    // QWindow of a shown one, which asks the window manager for
    // _NET_WM_STATE_ABOVE; a hidden one gets them when it is next shown.
    window->overrideWindowFlags(flags);
    if (window->isVisible()) {
        window->windowHandle()->setFlags(flags);
        if (!x11::WindowManagerRunning() || (flags & Qt::BypassWindowManagerHint)) {
            x11::SetStateWithoutWindowManager(window, "_NET_WM_STATE_ABOVE", topMost);
            x11::SetStateWithoutWindowManager(window, "_NET_WM_STATE_STAYS_ON_TOP", topMost);
        }
        if (topMost) window->raise();
    }
}

void QtPlatform::show(rt::WindowId w, bool activate)
{
    FormWindow* window = find(w);
    if (!window) return;
    if (!window->isVisible()) {
        const bool placedByItself = PlacedByItself(window);
        Qt::WindowFlags flags = window->windowFlags();
        flags.setFlag(Qt::BypassWindowManagerHint, placedByItself);
        flags.setFlag(Qt::WindowDoesNotAcceptFocus, placedByItself && !activate);
        if (flags != window->windowFlags()) window->overrideWindowFlags(flags);
        window->prepareNativeWindow();
        // A window shown again right after a hide: the window manager may not
        // have withdrawn it yet, and withdrawing drops the states written below.
        x11::WaitUntilWithdrawn(window, 1000);
        // Window managers drop _NET_WM_STATE when a window is withdrawn: put the
        // states Qt has no flag for back before every map (Qt adds its own to them).
        std::vector<const char*> states;
        if (!window->windowStyle().showInTaskbar) {
            states.push_back("_NET_WM_STATE_SKIP_TASKBAR");
            states.push_back("_NET_WM_STATE_SKIP_PAGER");
        }
        window->setFullScreenAsked(!placedByItself && CoversTheScreen(window, window->geometry()));
        if (window->fullScreenAsked()) states.push_back("_NET_WM_STATE_FULLSCREEN");
        if (!states.empty()) x11::AddStatesBeforeMap(window, states.data(), int(states.size()));
        window->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
        window->show();
        // And asked again once mapped, as the EWMH asks of a mapped window:
        // wlroots' window manager (sway's) reads a window's _NET_WM_STATE only
        // once it listens to the window, which it starts doing when it hears
        // of its creation, and at the map request overwrites the property
        // with what it knows. A busy compositor hears of the window after the
        // states above were written, and would tile it under a title bar. The
        // request reaches it after the map request, in order; a window manager
        // that already made the window full screen has nothing to do.
        if (window->fullScreenAsked() && x11::WindowManagerRunning())
            x11::RequestState(window, "_NET_WM_STATE_FULLSCREEN", true);
        if (placedByItself) watchStacking();
    }
    if (activate)
        ActivateWhenShown(window);
    else if (window->windowFlags() & Qt::WindowStaysOnTopHint)
        window->raise();
}

// Another window mapped, moved or restacked may have come above a window that
// places itself: it is raised again, once the burst of events is over, unless
// a message box is up (the box stays above it, as on Windows).
void QtPlatform::watchStacking()
{
    if (stacking_) return;
    raiseTimer_ = std::make_unique<QTimer>();
    raiseTimer_->setSingleShot(true);
    raiseTimer_->setInterval(50);
    QObject::connect(raiseTimer_.get(), &QTimer::timeout, [this] { raisePlacedByThemselves(); });
    stacking_ = std::make_unique<x11::StackingWatch>([this](std::uint32_t changed) {
        // Their own moves (every chase step) are no news.
        for (const auto& [id, window] : windows_)
            if ((window->windowFlags() & Qt::BypassWindowManagerHint) && x11::NativeWindow(window) == changed)
                return;
        if (!raiseTimer_->isActive()) raiseTimer_->start();
    });
}

void QtPlatform::raisePlacedByThemselves()
{
    if (!openMessageBoxes().empty()) return;
    for (const auto& [id, window] : windows_)
        if (window->isVisible() && (window->windowFlags() & Qt::BypassWindowManagerHint) &&
            (window->windowFlags() & Qt::WindowStaysOnTopHint) && !x11::IsHighest(window))
            window->raise();
}

void QtPlatform::hide(rt::WindowId w)
{
    if (FormWindow* window = find(w)) window->hide();
}

rt::PixelSize QtPlatform::screenSize()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    return {screen->size().width(), screen->size().height()};
}

bool QtPlatform::cursorPos(std::int32_t& x, std::int32_t& y)
{
    if (!QGuiApplication::primaryScreen()) return false;
    if (!cursorTried_) {
        cursorTried_ = true;
        cursor_ = x11::OpenCursorReader();
    }
    QPoint at;
    if (cursor_ && cursor_->read(x, y))
        at = QPoint(x, y);
    else if (cursorFallback_)
        at = QCursor::pos();
    else
        return false;  // on Wayland, Qt's answer is XWayland's too, with its start-up guess
    at -= PrimaryOrigin();
    x = at.x();
    y = at.y();
    return true;
}

rt::TimerId QtPlatform::startTimer(int intervalMs)
{
    const rt::TimerId id = nextTimer_++;
    timers_[id] = Timer{nullptr, std::max(intervalMs, 1), false};
    arm(id);
    return id;
}

// Gives a timer a new source of ticks (tick_source.h), dropping the one it had.
//
// A tick is handled right where it fires: handing it over through the event
// queue costs the chase a second turn of the event loop every 10 ms. A source
// does not fire again while its own tick is being handled, though, and a tick
// may open a message box whose loop must keep ticking: messageBox() gives such
// a timer a new source for the time the box is up.
void QtPlatform::arm(rt::TimerId id)
{
    Timer& entry = timers_.at(id);
    if (entry.source) RetireTickSource(entry.source);
    entry.ticking = false;
    entry.source =
        StartTickSource(entry.intervalMs, relay_.get(), [this, id](QObject* source) { tick(id, source); });
}

void QtPlatform::tick(rt::TimerId id, QObject* source)
{
    auto it = timers_.find(id);
    if (it == timers_.end() || it->second.source != source || !host_)
        return;  // stopped, or given a new source meanwhile
    it->second.ticking = true;
    host_->onTimer(id);
    it = timers_.find(id);
    if (it != timers_.end() && it->second.source == source) it->second.ticking = false;
}

void QtPlatform::stopTimer(rt::TimerId id)
{
    const auto it = timers_.find(id);
    if (it == timers_.end()) return;
    RetireTickSource(it->second.source);
    timers_.erase(it);
}

int QtPlatform::doubleClickTimeMs() { return QGuiApplication::styleHints()->mouseDoubleClickInterval(); }

void QtPlatform::messageBox(rt::WindowId owner, const std::string& prompt, int style,
                            const std::string& title)
{
    if (quitting_) return;
    QStringList lines;
    for (const std::string& line : rt::SplitLines(prompt)) lines << QString::fromUtf8(line);

    // On the heap: the owner may be destroyed while the box is up, taking it along.
    QPointer<QMessageBox> box = new ProgramMessageBox(find(owner));
    switch (style & 0x70) {
    case 16: box->setIcon(QMessageBox::Critical); break;
    case 32: box->setIcon(QMessageBox::Question); break;
    case 48: box->setIcon(QMessageBox::Warning); break;
    case 64: box->setIcon(QMessageBox::Information); break;
    default: box->setIcon(QMessageBox::NoIcon); break;
    }
    box->setWindowTitle(QString::fromUtf8(title));
    box->setTextFormat(Qt::PlainText);
    box->setText(lines.join(QLatin1Char('\n')));
    box->setStandardButtons(QMessageBox::Ok);
    box->setWindowModality(Qt::ApplicationModal);
    // Above top-most windows too, or it could open hidden under one.
    box->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box->winId();
    ActivateWhenExposed(box);

    boxes_.push_back(box);
    std::vector<rt::TimerId> ticking;
    for (const auto& [id, timer] : timers_)
        if (timer.ticking) ticking.push_back(id);
    for (rt::TimerId id : ticking) arm(id);
    box->exec();
    boxes_.erase(std::remove(boxes_.begin(), boxes_.end(), box), boxes_.end());
    boxes_.erase(std::remove(boxes_.begin(), boxes_.end(), nullptr), boxes_.end());
    delete box.data();
}

void QtPlatform::beep(int frequencyHz, int durationMs) { tone_->play(frequencyHz, durationMs); }

}  // namespace qt
