#pragma once
// FormWindow: the QWidget of one program window, painting its Scene and
// reporting clicks, keys, close requests and geometry to the runtime.
#include <chrono>
#include <deque>
#include <utility>
#include <vector>

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include "runtime/platform.h"

namespace qt {

class QtPlatform;

// The program's screen coordinates are Windows': the primary monitor's top-left
// corner is 0,0, and monitors left of or above it have negative coordinates.
// X puts 0,0 at the top-left of the whole screen, wherever the primary monitor is.
QPoint PrimaryOrigin();

// Activates a window once it is on screen (at once if it is already), and with
// no window manager to honour the request hands it the keyboard focus
// directly. Forgotten if the window is hidden first; a newer request replaces
// an older one.
void ActivateWhenShown(QWidget* widget);
// The same, always waiting for the window's next exposure (a window about to
// be shown by a nested event loop, as a message box is).
void ActivateWhenExposed(QWidget* widget);

// One window of the program.
class FormWindow : public QWidget {
public:
    FormWindow(QtPlatform* platform, rt::WindowId id, const rt::WindowStyle& windowStyle);

    // Makes the native window ready to be mapped with the current flags. Qt's
    // xcb plugin replaces a window whose stays-on-top flag changed the next
    // time it is shown, dropping the properties we put on it: a window whose
    // flags changed since it was made is made again here, before the
    // properties go on it, so Qt has nothing left to replace.
    void prepareNativeWindow();

    rt::WindowId id() const { return id_; }
    const rt::WindowStyle& windowStyle() const { return windowStyle_; }
    // Cuts the window from the platform: it reports nothing more.
    void detach() { platform_ = nullptr; }

    // Whether the window was last asked to be full screen (_NET_WM_STATE_FULLSCREEN).
    bool fullScreenAsked() const { return fullScreenAsked_; }
    void setFullScreenAsked(bool asked) { fullScreenAsked_ = asked; }

    void setScene(const rt::Scene& scene);
    void setClientGeometry(const QRect& r);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    // Tab is a character for the program, not a focus move.
    bool focusNextPrevChild(bool) override { return false; }
    void closeEvent(QCloseEvent* e) override;
    void moveEvent(QMoveEvent*) override { reportGeometry(); }
    void resizeEvent(QResizeEvent*) override { reportGeometry(); }

private:
    // Where the window's events go: nullptr once detached or before attach().
    rt::Host* host() const;
    void reportGeometry();

    struct Asked {
        QRect rect;
        std::chrono::steady_clock::time_point when;
    };

    QtPlatform* platform_;
    rt::WindowId id_;
    rt::WindowStyle windowStyle_;
    rt::Scene scene_;
    std::vector<std::pair<rt::Picture, QImage>> images_;
    std::deque<Asked> asked_;
    QRect reported_;
    Qt::WindowFlags createdWith_;
    bool fullScreenAsked_ = false;
    bool pressed_ = false;
    QPoint pressAt_;
};

}  // namespace qt
