#include "platform/qt/qt_platform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QShowEvent>
#include <QSocketNotifier>
#include <QStyleHints>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#ifdef __linux__
#include <sys/timerfd.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>

#include "platform/qt/pulse_tone.h"
#include "platform/qt/text_layout.h"
#include "platform/qt/x11_window.h"

namespace belmora_qt {

namespace {

QRect ToQt(const rt::PixelRect& r) {
    return QRect(r.x, r.y, r.w, r.h);
}

rt::PixelRect FromQt(const QRect& r) {
    return rt::PixelRect{r.x(), r.y(), r.width(), r.height()};
}

QColor ToQt(const rt::Rgb& c) {
    return QColor(c.r, c.g, c.b);
}

QImage ToImage(const rt::Picture& picture) {
    if (!picture || picture.width() <= 0 || picture.height() <= 0)
        return {};
    QImage image(picture.width(), picture.height(), QImage::Format_ARGB32);
    const std::vector<std::uint32_t>& argb = picture.pixels();
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(image.scanLine(y), argb.data() + std::size_t(y) * picture.width(),
                    std::size_t(picture.width()) * sizeof(std::uint32_t));
    return image;
}

// Whether two scenes paint the same pixels (an item's owner is only a name).
bool SamePainting(const rt::Scene& a, const rt::Scene& b) {
    if (!(a.background == b.background) || a.items.size() != b.items.size())
        return false;
    for (std::size_t i = 0; i < a.items.size(); ++i) {
        const rt::DrawItem& x = a.items[i];
        const rt::DrawItem& y = b.items[i];
        if (x.kind != y.kind || !(x.rect == y.rect) || !(x.clip == y.clip) || !(x.back == y.back) ||
            !(x.fore == y.fore) || !(x.picture == y.picture) || x.text != y.text || x.align != y.align ||
            !(x.font == y.font))
            return false;
    }
    return true;
}

// Key codes as the runtime knows them: the character a key gives, with the
// control keys that give one named explicitly (Qt's text for them varies).
int CharCode(const QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
        return 9;
    default:
        break;
    }
    const QString text = event->text();
    return text.isEmpty() ? 0 : int(text.at(0).unicode());
}

// Once a window is on screen: activates it, and with no window manager to
// honour the request, hands it the keyboard focus directly. Forgotten if the
// window is hidden first; a newer request replaces an older one.
class ActivateWhenExposed : public QObject {
public:
    static constexpr const char* kName = "belmora-activate-when-exposed";

    explicit ActivateWhenExposed(QWidget* widget) : QObject(widget), widget_(widget) {
        for (QObject* older : widget->findChildren<QObject*>(QLatin1String(kName), Qt::FindDirectChildrenOnly))
            delete older;
        setObjectName(QLatin1String(kName));
        widget->winId();
        window_ = widget->windowHandle();
        window_->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != window_)
            return false;
        if (event->type() == QEvent::Hide) {
            window_->removeEventFilter(this);
            deleteLater();
        } else if (event->type() == QEvent::Expose && window_->isExposed()) {
            window_->removeEventFilter(this);
            Activate(widget_);
            deleteLater();
        }
        return false;
    }

    static void Activate(QWidget* widget) {
        widget->raise();
        widget->activateWindow();
        if (!x11::WindowManagerRunning())
            x11::FocusWindow(widget);
    }

private:
    QWidget* widget_;
    QPointer<QWindow> window_;
};

void ActivateWhenShown(QWidget* widget) {
    if (widget->windowHandle() && widget->windowHandle()->isExposed())
        ActivateWhenExposed::Activate(widget);
    else
        new ActivateWhenExposed(widget);
}

// A message box where Windows puts one: in the middle of the screen, whatever
// its owner's size and place (Qt would centre it on the owner).
class ProgramMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* e) override {
        QMessageBox::showEvent(e);  // sizes the box to its text
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (!e->spontaneous() && screen) {
            QRect box(QPoint(), size());
            box.moveCenter(screen->availableGeometry().center());
            move(box.topLeft());
        }
    }
};

}  // namespace

// One window of the program.
class FormWindow : public QWidget {
public:
    FormWindow(QtPlatform* platform, rt::WindowId id, const rt::WindowStyle& windowStyle)
        : platform_(platform), id_(id), windowStyle_(windowStyle) {
        Qt::WindowFlags flags = Qt::Window;
        if (!windowStyle.bordered)
            flags |= Qt::FramelessWindowHint;
        setWindowFlags(flags);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setFocusPolicy(Qt::StrongFocus);
        setWindowTitle(QString::fromUtf8(windowStyle.caption));
        if (windowStyle.icon)
            setWindowIcon(QIcon(QPixmap::fromImage(ToImage(windowStyle.icon))));
    }

    // Makes the native window ready to be mapped with the current flags. Qt's
    // xcb plugin replaces a window whose stays-on-top flag changed the next
    // time it is shown, dropping the properties we put on it: a window whose
    // flags changed since it was made is made again here, before the
    // properties go on it, so Qt has nothing left to replace.
    void prepareNativeWindow() {
        if (testAttribute(Qt::WA_WState_Created) && windowFlags() != createdWith_)
            destroy();
        if (!testAttribute(Qt::WA_WState_Created)) {
            createdWith_ = windowFlags();
            winId();
        }
    }

    rt::WindowId id() const { return id_; }
    const rt::WindowStyle& windowStyle() const { return windowStyle_; }
    void detach() { platform_ = nullptr; }

    // The runtime hands the whole scene over after every handler that touched
    // the form (the chase does on every tick): an unchanged one is not painted again.
    void setScene(const rt::Scene& scene) {
        if (hasScene_ && SamePainting(scene, scene_))
            return;
        hasScene_ = true;
        std::vector<std::pair<rt::Picture, QImage>> images;
        for (const rt::DrawItem& item : scene.items) {
            if (item.kind != rt::DrawItem::Kind::Image || !item.picture)
                continue;
            auto known = [&](const auto& e) { return e.first == item.picture; };
            if (std::any_of(images.begin(), images.end(), known))
                continue;
            auto old = std::find_if(images_.begin(), images_.end(), known);
            images.emplace_back(item.picture, old != images_.end() ? old->second : ToImage(item.picture));
        }
        images_ = std::move(images);
        scene_ = scene;
        update();
    }

    void setClientGeometry(const QRect& r) {
        const auto now = std::chrono::steady_clock::now();
        asked_.push_back({r, now});
        while (asked_.size() > 64)
            asked_.pop_front();
        setGeometry(r);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), ToQt(scene_.background));
        for (const rt::DrawItem& item : scene_.items) {
            const QRect area = ToQt(item.rect).intersected(ToQt(item.clip));
            if (area.isEmpty())
                continue;
            switch (item.kind) {
            case rt::DrawItem::Kind::Fill:
                p.setClipping(false);
                p.fillRect(area, ToQt(item.back));
                break;
            case rt::DrawItem::Kind::Image:
                for (const auto& [picture, image] : images_) {
                    if (picture == item.picture) {
                        p.setClipRect(area);
                        p.drawImage(QPoint(item.rect.x, item.rect.y), image);
                        break;
                    }
                }
                break;
            case rt::DrawItem::Kind::Text: {
                const QFont font = ResolveFont(item.font);
                const QFontMetrics metrics(font, this);
                p.setClipRect(area);
                p.setFont(font);
                p.setPen(ToQt(item.fore));
                for (const LaidLine& line : LayoutText(item.text, metrics, ToQt(item.rect), item.align))
                    p.drawText(line.topLeft + QPoint(0, metrics.ascent()), line.text);
                break;
            }
            }
        }
    }

    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton) {
            pressed_ = true;
            pressAt_ = e->position().toPoint();
        }
        e->accept();
    }

    void mouseReleaseEvent(QMouseEvent* e) override {
        e->accept();
        if (e->button() != Qt::LeftButton || !pressed_)
            return;
        pressed_ = false;
        if (platform_ && platform_->host_ && rect().contains(e->position().toPoint()))
            platform_->host_->onClick(id_, pressAt_.x(), pressAt_.y());
    }

    // Qt gives the second press of a double-click as a press followed by this;
    // its release must not count as another click.
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        e->accept();
        if (e->button() != Qt::LeftButton)
            return;
        pressed_ = false;
        const QPoint at = e->position().toPoint();
        if (platform_ && platform_->host_)
            platform_->host_->onDoubleClick(id_, at.x(), at.y());
    }

    void keyPressEvent(QKeyEvent* e) override {
        const int code = CharCode(e);
        if (code == 0) {
            QWidget::keyPressEvent(e);
            return;
        }
        e->accept();
        if (platform_ && platform_->host_)
            platform_->host_->onKeyPress(id_, code);
    }

    // Tab is a character for the program, not a focus move.
    bool focusNextPrevChild(bool) override { return false; }

    void closeEvent(QCloseEvent* e) override {
        e->ignore();  // the runtime decides
        if (platform_ && platform_->host_)
            platform_->host_->onCloseRequest(id_);
    }

    void moveEvent(QMoveEvent*) override { reportGeometry(); }
    void resizeEvent(QResizeEvent*) override { reportGeometry(); }

private:
    // A geometry the runtime asked for comes back from the X server some time
    // later, possibly after the runtime has asked for others: none of those
    // echoes is news. Anything else came from the window manager or the user.
    void reportGeometry() {
        if (!platform_ || !platform_->host_ || !isVisible())
            return;
        const QRect now = geometry();
        if (now == reported_)
            return;
        reported_ = now;
        const auto since = std::chrono::steady_clock::now() - std::chrono::seconds(2);
        for (std::size_t i = 0; i < asked_.size(); ++i) {
            if (asked_[i].rect == now && (i + 1 == asked_.size() || asked_[i].when >= since))
                return;
        }
        asked_.clear();
        platform_->host_->onGeometryChanged(id_, FromQt(now));
    }

    struct Asked {
        QRect rect;
        std::chrono::steady_clock::time_point when;
    };

    QtPlatform* platform_;
    rt::WindowId id_;
    rt::WindowStyle windowStyle_;
    rt::Scene scene_;
    bool hasScene_ = false;
    std::vector<std::pair<rt::Picture, QImage>> images_;
    std::deque<Asked> asked_;
    QRect reported_;
    Qt::WindowFlags createdWith_;
    bool pressed_ = false;
    QPoint pressAt_;
};

QtPlatform::QtPlatform(const std::string& pulseServer)
    : relay_(std::make_unique<QObject>()), tone_(std::make_unique<PulseTone>(pulseServer)) {}

QtPlatform::~QtPlatform() {
    if (pointer_)
        xcb_disconnect(pointer_);
    for (auto& [id, timer] : timers_)
        delete timer.source;
    for (auto& box : boxes_)
        delete box.data();
    for (auto& [id, window] : windows_) {
        window->detach();
        delete window;
    }
}

void QtPlatform::attach(rt::Host& host) {
    host_ = &host;
}

int QtPlatform::run() {
    if (quitting_)
        return status_;
    const int result = QApplication::exec();
    return quitting_ ? status_ : result;
}

void QtPlatform::quit(int status) {
    quitting_ = true;
    status_ = status;
    for (auto& box : boxes_)
        if (box)
            box->done(QDialog::Rejected);
    // Leaves every running event loop, the nested ones of message boxes included.
    QCoreApplication::exit(status);
}

FormWindow* QtPlatform::find(rt::WindowId w) const {
    const auto it = windows_.find(w);
    return it == windows_.end() ? nullptr : it->second;
}

QWidget* QtPlatform::widget(rt::WindowId w) const {
    return find(w);
}

std::vector<QMessageBox*> QtPlatform::openMessageBoxes() const {
    std::vector<QMessageBox*> out;
    for (const auto& box : boxes_)
        if (box)
            out.push_back(box.data());
    return out;
}

rt::WindowId QtPlatform::createWindow(const rt::WindowStyle& windowStyle) {
    const rt::WindowId id = nextWindow_++;
    auto* window = new FormWindow(this, id, windowStyle);
    windows_[id] = window;
    if (windowStyle.icon && !appIconSet_) {
        QApplication::setWindowIcon(window->windowIcon());
        appIconSet_ = true;
    }
    return id;
}

void QtPlatform::destroyWindow(rt::WindowId w) {
    FormWindow* window = find(w);
    if (!window)
        return;
    windows_.erase(w);
    window->detach();
    window->hide();
    window->deleteLater();  // the call may come from one of its own event handlers
}

void QtPlatform::setGeometry(rt::WindowId w, rt::PixelRect client) {
    if (FormWindow* window = find(w))
        window->setClientGeometry(QRect(client.x, client.y, std::max(client.w, 1), std::max(client.h, 1)));
}

void QtPlatform::setScene(rt::WindowId w, const rt::Scene& scene) {
    if (FormWindow* window = find(w))
        window->setScene(scene);
}

void QtPlatform::setTopMost(rt::WindowId w, bool topMost) {
    FormWindow* window = find(w);
    if (!window)
        return;
    Qt::WindowFlags flags = window->windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, topMost);
    if (flags == window->windowFlags())
        return;
    // QWidget::setWindowFlags would unmap a shown window: the flags go to the
    // QWindow of a shown one, which asks the window manager for
    // _NET_WM_STATE_ABOVE; a hidden one gets them when it is next shown.
    window->overrideWindowFlags(flags);
    if (window->isVisible()) {
        window->windowHandle()->setFlags(flags);
        if (!x11::WindowManagerRunning()) {
            x11::SetStateWithoutWindowManager(window, "_NET_WM_STATE_ABOVE", topMost);
            x11::SetStateWithoutWindowManager(window, "_NET_WM_STATE_STAYS_ON_TOP", topMost);
        }
        if (topMost)
            window->raise();
    }
}

void QtPlatform::show(rt::WindowId w, bool activate) {
    FormWindow* window = find(w);
    if (!window)
        return;
    if (!window->isVisible()) {
        window->prepareNativeWindow();
        // A window shown again right after a hide: the window manager may not
        // have withdrawn it yet, and withdrawing drops the states written below.
        x11::WaitUntilWithdrawn(window, 1000);
        // Window managers drop _NET_WM_STATE when a window is withdrawn: put the
        // states Qt has no flag for back before every map (Qt adds its own to them).
        if (!window->windowStyle().showInTaskbar) {
            static const char* const kSkip[] = {"_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER"};
            x11::AddStatesBeforeMap(window, kSkip, 2);
        }
        window->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
        window->show();
    }
    if (activate)
        ActivateWhenShown(window);
    else if (window->windowFlags() & Qt::WindowStaysOnTopHint)
        window->raise();
}

void QtPlatform::hide(rt::WindowId w) {
    if (FormWindow* window = find(w))
        window->hide();
}

rt::PixelSize QtPlatform::screenSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    return {screen->size().width(), screen->size().height()};
}

bool QtPlatform::cursorPos(std::int32_t& x, std::int32_t& y) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return false;
    // The chase asks a hundred times a second. On X11 the question goes over
    // a connection of our own: asked on Qt's, each answer also wakes Qt's
    // event reader thread, which costs more than the question itself.
    if (!pointerTried_) {
        pointerTried_ = true;
        if (QGuiApplication::platformName() == QLatin1String("xcb")) {
            pointer_ = xcb_connect(nullptr, nullptr);
            if (xcb_connection_has_error(pointer_)) {
                xcb_disconnect(pointer_);
                pointer_ = nullptr;
            } else {
                pointerRoot_ = xcb_setup_roots_iterator(xcb_get_setup(pointer_)).data->root;
            }
        }
    }
    if (pointer_) {
        if (xcb_query_pointer_reply_t* reply =
                xcb_query_pointer_reply(pointer_, xcb_query_pointer(pointer_, pointerRoot_), nullptr)) {
            const qreal ratio = screen->devicePixelRatio();
            x = std::int32_t(qRound(reply->root_x / ratio));
            y = std::int32_t(qRound(reply->root_y / ratio));
            free(reply);
            return true;
        }
    }
    const QPoint at = QCursor::pos();
    x = at.x();
    y = at.y();
    return true;
}

rt::TimerId QtPlatform::startTimer(int intervalMs) {
    const rt::TimerId id = nextTimer_++;
    timers_[id] = Timer{nullptr, std::max(intervalMs, 1), false};
    arm(id);
    return id;
}

// Gives a timer a new source of ticks, dropping the one it had.
//
// On Linux a timer is a timerfd watched by the event loop: it fires on time
// to the microsecond, where a QTimer waits in whole milliseconds, rounded up
// (the chase's 10 ms period came out as 10.3, 10.3, 9.3 ms...). Elsewhere it
// is a precise QTimer.
//
// Either way a tick is handled right where it fires: handing it over through
// the event queue costs the chase a second turn of the event loop every
// 10 ms. A source does not fire again while its own tick is being handled,
// though, and a tick may open a message box whose loop must keep ticking:
// messageBox() gives such a timer a new source for the time the box is up.
void QtPlatform::arm(rt::TimerId id) {
    Timer& entry = timers_.at(id);
    if (entry.source)
        retire(entry.source);
    entry.source = nullptr;
    entry.ticking = false;
#ifdef __linux__
    const int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd >= 0) {
        itimerspec period{};
        period.it_interval.tv_sec = entry.intervalMs / 1000;
        period.it_interval.tv_nsec = long(entry.intervalMs % 1000) * 1000000L;
        period.it_value = period.it_interval;
        timerfd_settime(fd, 0, &period, nullptr);
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
        QObject::connect(notifier, &QObject::destroyed, [fd] { ::close(fd); });
        QObject::connect(notifier, &QSocketNotifier::activated, relay_.get(), [this, id, notifier, fd] {
            std::uint64_t expirations = 0;  // more than one: ticks missed while busy, run as one
            if (::read(fd, &expirations, sizeof expirations) == sizeof expirations)
                tick(id, notifier);
        });
        entry.source = notifier;
        return;
    }
#endif
    auto* timer = new QTimer;
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(entry.intervalMs);
    QObject::connect(timer, &QTimer::timeout, relay_.get(), [this, id, timer] { tick(id, timer); });
    entry.source = timer;
    timer->start();
}

void QtPlatform::tick(rt::TimerId id, QObject* source) {
    auto it = timers_.find(id);
    if (it == timers_.end() || it->second.source != source || !host_)
        return;  // stopped, or given a new source meanwhile
    it->second.ticking = true;
    host_->onTimer(id);
    it = timers_.find(id);
    if (it != timers_.end() && it->second.source == source)
        it->second.ticking = false;
}

// Stops a source of ticks; it goes once no tick of it is on the stack.
void QtPlatform::retire(QObject* source) {
    if (auto* timer = qobject_cast<QTimer*>(source))
        timer->stop();
    else if (auto* notifier = qobject_cast<QSocketNotifier*>(source))
        notifier->setEnabled(false);
    source->deleteLater();
}

void QtPlatform::stopTimer(rt::TimerId id) {
    const auto it = timers_.find(id);
    if (it == timers_.end())
        return;
    retire(it->second.source);
    timers_.erase(it);
}

int QtPlatform::doubleClickTimeMs() {
    return QGuiApplication::styleHints()->mouseDoubleClickInterval();
}

void QtPlatform::messageBox(rt::WindowId owner, const std::string& prompt, int style,
                            const std::string& title) {
    if (quitting_)
        return;
    QStringList lines;
    for (const std::string& line : rt::SplitLines(prompt))
        lines << QString::fromUtf8(line);

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
    new ActivateWhenExposed(box);

    boxes_.push_back(box);
    std::vector<rt::TimerId> ticking;
    for (const auto& [id, timer] : timers_)
        if (timer.ticking)
            ticking.push_back(id);
    for (rt::TimerId id : ticking)
        arm(id);
    box->exec();
    boxes_.erase(std::remove(boxes_.begin(), boxes_.end(), box), boxes_.end());
    boxes_.erase(std::remove(boxes_.begin(), boxes_.end(), nullptr), boxes_.end());
    delete box.data();
}

void QtPlatform::beep(int frequencyHz, int durationMs) {
    tone_->play(frequencyHz, durationMs);
}

}  // namespace belmora_qt
