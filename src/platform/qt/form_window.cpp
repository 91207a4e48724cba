#include "platform/qt/form_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cstring>

#include "platform/qt/qt_platform.h"
#include "platform/qt/text_layout.h"
#include "platform/qt/x11_window.h"

namespace qt {

QPoint PrimaryOrigin()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().topLeft() : QPoint();
}

namespace {

QRect ToQt(const rt::PixelRect& r) { return QRect(r.x, r.y, r.w, r.h); }

rt::PixelRect FromQt(const QRect& r) { return rt::PixelRect{r.x(), r.y(), r.width(), r.height()}; }

QColor ToQt(const rt::Rgb& c) { return QColor(c.r, c.g, c.b); }

QImage ToImage(const rt::Picture& picture)
{
    if (!picture || picture.width() <= 0 || picture.height() <= 0) return {};
    QImage image(picture.width(), picture.height(), QImage::Format_ARGB32);
    const std::vector<std::uint32_t>& argb = picture.pixels();
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(image.scanLine(y), argb.data() + std::size_t(y) * picture.width(),
                    std::size_t(picture.width()) * sizeof(std::uint32_t));
    return image;
}

// Key codes as the runtime knows them: the character Windows gives for the key
// (WM_CHAR), or 0 for none. X gives characters Windows does not (DEL for
// Delete, text under Alt or for Ctrl with a digit) and misses some it gives
// (Shift+Tab, Ctrl+Space), so the control keys are named explicitly.
int CharCode(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    // Alt with a key is a system key there (WM_SYSCHAR), not a character.
    // (Qt does not report AltGr as Alt.)
    if (modifiers & Qt::AltModifier) return 0;
    const bool ctrl = modifiers & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return ctrl ? 10 : 13;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Backspace: return ctrl ? 127 : 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab: return ctrl ? 0 : 9;
    case Qt::Key_Space:
        if (ctrl) return 32;
        break;
    case Qt::Key_Delete: return 0;
    default: break;
    }
    const QString text = event->text();
    if (text.isEmpty()) return 0;
    const int code = text.at(0).unicode();
    if (code == 127) return 0;
    // With Ctrl only the control characters (Ctrl+A is 1) remain.
    if (ctrl && code >= 32) return 0;
    return code;
}

// Once a window is on screen: activates it, and with no window manager to
// honour the request, hands it the keyboard focus directly. Forgotten if the
// window is hidden first; a newer request replaces an older one.
class ActivateOnExpose : public QObject {
public:
    static constexpr const char* kName = "belmora-activate-when-exposed";

    explicit ActivateOnExpose(QWidget* widget) : QObject(widget), widget_(widget)
    {
        for (QObject* older :
             widget->findChildren<QObject*>(QLatin1String(kName), Qt::FindDirectChildrenOnly))
            delete older;
        setObjectName(QLatin1String(kName));
        widget->winId();
        window_ = widget->windowHandle();
        window_->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != window_) return false;
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

    static void Activate(QWidget* widget)
    {
        widget->raise();
        widget->activateWindow();
        if (!x11::WindowManagerRunning()) x11::FocusWindow(widget);
    }

private:
    QWidget* widget_;
    QPointer<QWindow> window_;
};

}  // namespace

void ActivateWhenShown(QWidget* widget)
{
    if (widget->windowHandle() && widget->windowHandle()->isExposed())
        ActivateOnExpose::Activate(widget);
    else
        new ActivateOnExpose(widget);
}

void ActivateWhenExposed(QWidget* widget) { new ActivateOnExpose(widget); }

FormWindow::FormWindow(QtPlatform* platform, rt::WindowId id, const rt::WindowStyle& windowStyle)
    : platform_(platform),
      id_(id),
      windowStyle_(windowStyle)
{
    Qt::WindowFlags flags = Qt::Window;
    if (!windowStyle.bordered) flags |= Qt::FramelessWindowHint;
    setWindowFlags(flags);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setWindowTitle(QString::fromUtf8(windowStyle.caption));
    if (windowStyle.icon) setWindowIcon(QIcon(QPixmap::fromImage(ToImage(windowStyle.icon))));
}

void FormWindow::prepareNativeWindow()
{
    if (testAttribute(Qt::WA_WState_Created) && windowFlags() != createdWith_) destroy();
    if (!testAttribute(Qt::WA_WState_Created)) {
        createdWith_ = windowFlags();
        winId();
    }
}

rt::Host* FormWindow::host() const { return platform_ ? platform_->host() : nullptr; }

// The runtime sends a scene only when it changed, so every one is painted.
void FormWindow::setScene(const rt::Scene& scene)
{
    std::vector<std::pair<rt::Picture, QImage>> images;
    for (const rt::DrawItem& item : scene.items) {
        if (item.kind != rt::DrawItem::Kind::Image || !item.picture) continue;
        auto known = [&](const auto& e) { return e.first == item.picture; };
        if (std::any_of(images.begin(), images.end(), known)) continue;
        auto old = std::find_if(images_.begin(), images_.end(), known);
        images.emplace_back(item.picture, old != images_.end() ? old->second : ToImage(item.picture));
    }
    images_ = std::move(images);
    scene_ = scene;
    update();
}

void FormWindow::setClientGeometry(const QRect& r)
{
    const auto now = std::chrono::steady_clock::now();
    asked_.push_back({r, now});
    while (asked_.size() > 64) asked_.pop_front();
    setGeometry(r);
}

void FormWindow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), ToQt(scene_.background));
    for (const rt::DrawItem& item : scene_.items) {
        const QRect area = ToQt(item.rect).intersected(ToQt(item.clip));
        if (area.isEmpty()) continue;
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

void FormWindow::mousePressEvent(QMouseEvent* e)
{
    if (e->button() == Qt::LeftButton) {
        pressed_ = true;
        pressAt_ = e->position().toPoint();
    }
    e->accept();
}

void FormWindow::mouseReleaseEvent(QMouseEvent* e)
{
    e->accept();
    if (e->button() != Qt::LeftButton || !pressed_) return;
    pressed_ = false;
    if (rt::Host* h = host(); h && rect().contains(e->position().toPoint()))
        h->onClick(id_, pressAt_.x(), pressAt_.y());
}

// Qt gives the second press of a double-click as a press followed by this;
// its release must not count as another click.
void FormWindow::mouseDoubleClickEvent(QMouseEvent* e)
{
    e->accept();
    if (e->button() != Qt::LeftButton) return;
    pressed_ = false;
    const QPoint at = e->position().toPoint();
    if (rt::Host* h = host()) h->onDoubleClick(id_, at.x(), at.y());
}

void FormWindow::keyPressEvent(QKeyEvent* e)
{
    const int code = CharCode(e);
    if (code == 0) {
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
    if (rt::Host* h = host()) h->onKeyPress(id_, code);
}

void FormWindow::closeEvent(QCloseEvent* e)
{
    e->ignore();  // the runtime decides
    if (rt::Host* h = host()) h->onCloseRequest(id_);
}

// A geometry the runtime asked for comes back from the X server some time
// later, possibly after the runtime has asked for others: none of those
// echoes is news. Anything else came from the window manager or the user.
void FormWindow::reportGeometry()
{
    rt::Host* h = host();
    if (!h || !isVisible()) return;
    const QRect now = geometry();
    if (now == reported_) return;
    reported_ = now;
    const auto since = std::chrono::steady_clock::now() - std::chrono::seconds(2);
    for (std::size_t i = 0; i < asked_.size(); ++i) {
        if (asked_[i].rect == now && (i + 1 == asked_.size() || asked_[i].when >= since)) return;
    }
    asked_.clear();
    h->onGeometryChanged(id_, FromQt(now.translated(-PrimaryOrigin())));
}

}  // namespace qt
