#include "platform/qt/kwin_cursor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>

#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>

#include "platform/qt/session_bus_call.h"

namespace qt::kwin {

namespace {

const QString kKWin = QStringLiteral("org.kde.KWin");
const QString kScripting = QStringLiteral("/Scripting");
const QString kScriptingInterface = QStringLiteral("org.kde.kwin.Scripting");
const QString kPath = QStringLiteral("/org/belmora/Cursor");
const QString kInterface = QStringLiteral("org.belmora.Cursor");
const QString kMethod = QStringLiteral("Position");

// Our object on the bus: takes the script's reports. QtDBus may hand them over
// on its own thread, so the position is kept in one atomic word.
class Receiver : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        if (message.member() != kMethod || message.arguments().size() != 2) return false;
        bool okX = false, okY = false;
        // The script's numbers come as doubles or as integers.
        const double x = message.arguments()[0].toDouble(&okX);
        const double y = message.arguments()[1].toDouble(&okY);
        if (okX && okY) {
            const auto ux = std::uint32_t(std::int32_t(qRound(x)));
            const auto uy = std::uint32_t(std::int32_t(qRound(y)));
            position_.store((std::uint64_t(ux) << 32) | uy, std::memory_order_relaxed);
            seen_.store(true, std::memory_order_release);
        }
        if (message.isReplyRequired()) connection.send(message.createReply());
        return true;
    }

    QString introspect(const QString&) const override
    {
        return QStringLiteral(
                   "<interface name=\"%1\"><method name=\"%2\">"
                   "<arg type=\"i\" direction=\"in\"/><arg type=\"i\" direction=\"in\"/>"
                   "</method></interface>")
            .arg(kInterface, kMethod);
    }

    bool read(std::int32_t& x, std::int32_t& y) const
    {
        if (!seen_.load(std::memory_order_acquire)) return false;
        const std::uint64_t p = position_.load(std::memory_order_relaxed);
        x = std::int32_t(std::uint32_t(p >> 32));
        y = std::int32_t(std::uint32_t(p));
        return true;
    }

private:
    std::atomic<std::uint64_t> position_{0};
    std::atomic<bool> seen_{false};
};

QDBusMessage CallScripting(const QString& method, const QList<QVariant>& arguments)
{
    return CallSessionBus(kKWin, kScripting, kScriptingInterface, method, arguments);
}

class KWinCursor : public CursorSource {
public:
    KWinCursor(std::unique_ptr<Receiver> receiver, QString plugin, int scriptFd)
        : receiver_(std::move(receiver)),
          plugin_(std::move(plugin)),
          scriptFd_(scriptFd)
    {
    }

    ~KWinCursor() override
    {
        CallScripting(QStringLiteral("unloadScript"), {plugin_});
        QDBusConnection::sessionBus().unregisterObject(kPath);
        if (scriptFd_ >= 0) ::close(scriptFd_);
    }
    KWinCursor(const KWinCursor&) = delete;
    KWinCursor& operator=(const KWinCursor&) = delete;

    bool read(std::int32_t& x, std::int32_t& y) override { return receiver_->read(x, y); }

private:
    std::unique_ptr<Receiver> receiver_;
    QString plugin_;
    int scriptFd_;
};

// The script in a memory file; -1 when that cannot be made.
int ScriptFile(const QByteArray& text)
{
    const int fd = ::memfd_create("belmora-kwin-cursor.js", MFD_CLOEXEC);
    if (fd < 0) return -1;
    qsizetype done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.constData() + done, size_t(text.size() - done));
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        done += n;
    }
    return fd;
}

}  // namespace

QString CursorScript(const QString& service, const QString& path, const QString& interface,
                     const QString& method)
{
    return QStringLiteral(
               "// Reports where the cursor is, now and at every move.\n"
               "function report() {\n"
               "    var p = workspace.cursorPos;\n"
               "    callDBus(\"%1\", \"%2\", \"%3\", \"%4\", p.x, p.y);\n"
               "}\n"
               "workspace.cursorPosChanged.connect(report);\n"
               "report();\n")
        .arg(service, path, interface, method);
}

std::unique_ptr<CursorSource> OpenCursor()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return nullptr;
    auto receiver = std::make_unique<Receiver>();
    if (!bus.registerVirtualObject(kPath, receiver.get(), QDBusConnection::SingleNode)) return nullptr;
    const int fd = ScriptFile(CursorScript(bus.baseService(), kPath, kInterface, kMethod).toUtf8());
    if (fd < 0) {
        bus.unregisterObject(kPath);
        return nullptr;
    }
    // KWin opens the file by this path: the memory file as our process holds it.
    const QString file = QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(fd);
    const QString plugin = QStringLiteral("belmora-cursor-%1").arg(::getpid());
    const QDBusMessage loaded = CallScripting(QStringLiteral("loadScript"), {file, plugin});
    if (loaded.type() != QDBusMessage::ReplyMessage || loaded.arguments().isEmpty() ||
        loaded.arguments().first().toInt() < 0) {
        bus.unregisterObject(kPath);
        ::close(fd);
        return nullptr;
    }
    // From here the source owns the script: it unloads it when it goes.
    auto cursor = std::make_unique<KWinCursor>(std::move(receiver), plugin, fd);
    const QDBusMessage started = CallScripting(QStringLiteral("start"), {});
    if (started.type() != QDBusMessage::ReplyMessage) return nullptr;
    return cursor;
}

}  // namespace qt::kwin
