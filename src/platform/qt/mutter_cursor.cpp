#include "platform/qt/mutter_cursor.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QObject>
#include <QScreen>
#include <QVariantMap>

#include <dlfcn.h>

#include <atomic>
#include <cstdint>

#include <pipewire/pipewire.h>
#include <spa/buffer/meta.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>

#include "platform/qt/session_bus_call.h"

namespace qt::mutter {

namespace {

const QString kMutter = QStringLiteral("org.gnome.Mutter.ScreenCast");
const QString kScreenCastPath = QStringLiteral("/org/gnome/Mutter/ScreenCast");
const QString kSessionInterface = kMutter + QStringLiteral(".Session");
const QString kStreamInterface = kMutter + QStringLiteral(".Stream");
constexpr std::uint32_t kCursorModeMetadata = 2;  // the cursor as metadata, not in the picture

// The few libpipewire-0.3 functions used, found at run time.
struct PipeWire {
    void* library = nullptr;
    decltype(&::pw_init) init = nullptr;
    decltype(&::pw_thread_loop_new) loopNew = nullptr;
    decltype(&::pw_thread_loop_get_loop) loopGet = nullptr;
    decltype(&::pw_thread_loop_start) loopStart = nullptr;
    decltype(&::pw_thread_loop_stop) loopStop = nullptr;
    decltype(&::pw_thread_loop_destroy) loopDestroy = nullptr;
    decltype(&::pw_thread_loop_lock) lock = nullptr;
    decltype(&::pw_thread_loop_unlock) unlock = nullptr;
    decltype(&::pw_properties_new) propertiesNew = nullptr;
    decltype(&::pw_stream_new_simple) streamNew = nullptr;
    decltype(&::pw_stream_connect) streamConnect = nullptr;
    decltype(&::pw_stream_update_params) streamUpdateParams = nullptr;
    decltype(&::pw_stream_dequeue_buffer) dequeue = nullptr;
    decltype(&::pw_stream_queue_buffer) queue = nullptr;
    decltype(&::pw_stream_destroy) streamDestroy = nullptr;

    // nullptr when the library or one of its functions is missing.
    static const PipeWire* Get()
    {
        static const PipeWire* loaded = Load();
        return loaded;
    }

private:
    static const PipeWire* Load()
    {
        static PipeWire pw;
        pw.library = ::dlopen("libpipewire-0.3.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!pw.library) return nullptr;
        bool ok = true;
        auto find = [&](auto& fn, const char* name) {
            fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(::dlsym(pw.library, name));
            ok = ok && fn;
        };
        find(pw.init, "pw_init");
        find(pw.loopNew, "pw_thread_loop_new");
        find(pw.loopGet, "pw_thread_loop_get_loop");
        find(pw.loopStart, "pw_thread_loop_start");
        find(pw.loopStop, "pw_thread_loop_stop");
        find(pw.loopDestroy, "pw_thread_loop_destroy");
        find(pw.lock, "pw_thread_loop_lock");
        find(pw.unlock, "pw_thread_loop_unlock");
        find(pw.propertiesNew, "pw_properties_new");
        find(pw.streamNew, "pw_stream_new_simple");
        find(pw.streamConnect, "pw_stream_connect");
        find(pw.streamUpdateParams, "pw_stream_update_params");
        find(pw.dequeue, "pw_stream_dequeue_buffer");
        find(pw.queue, "pw_stream_queue_buffer");
        find(pw.streamDestroy, "pw_stream_destroy");
        if (!ok) return nullptr;  // the library stays loaded: unloading PipeWire is not safe
        pw.init(nullptr, nullptr);
        return &pw;
    }
};

// The size of a cursor metadata block with a bitmap of w x h; mutter sends the
// bitmap when the cursor's shape changes, and needs room for it.
constexpr int CursorMetaSize(int w, int h)
{
    return int(sizeof(spa_meta_cursor) + sizeof(spa_meta_bitmap)) + w * h * 4;
}

QDBusMessage Call(const QString& path, const QString& interface, const QString& method,
                  const QList<QVariant>& arguments)
{
    return CallSessionBus(kMutter, path, interface, method, arguments);
}

QString ObjectPathOf(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return reply.arguments().first().value<QDBusObjectPath>().path();
}

}  // namespace

// The screen cast: its D-Bus session, and the PipeWire stream once mutter
// names its node. The stream's buffers come on PipeWire's thread; the
// position is kept in one atomic word.
class MutterCursor : public QObject, public CursorSource {
    Q_OBJECT
public:
    MutterCursor(const PipeWire* pw, QString session, QString stream)
        : pw_(pw),
          session_(std::move(session)),
          stream_(std::move(stream))
    {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            origin_ = screen->geometry().topLeft();  // the cast records the primary monitor
    }

    ~MutterCursor() override
    {
        if (loop_) {
            pw_->loopStop(loop_);
            if (pwStream_) pw_->streamDestroy(pwStream_);
            pw_->loopDestroy(loop_);
        }
        Call(session_, kSessionInterface, QStringLiteral("Stop"), {});
    }
    MutterCursor(const MutterCursor&) = delete;
    MutterCursor& operator=(const MutterCursor&) = delete;

    // Starts the cast; the node comes later, by a signal.
    bool start()
    {
        if (!QDBusConnection::sessionBus().connect(kMutter, stream_, kStreamInterface,
                                                   QStringLiteral("PipeWireStreamAdded"), this,
                                                   SLOT(streamAdded(uint))))
            return false;
        return Call(session_, kSessionInterface, QStringLiteral("Start"), {}).type() ==
               QDBusMessage::ReplyMessage;
    }

    bool read(std::int32_t& x, std::int32_t& y) override
    {
        if (!seen_.load(std::memory_order_acquire)) return false;
        const std::uint64_t p = position_.load(std::memory_order_relaxed);
        x = std::int32_t(std::uint32_t(p >> 32)) + origin_.x();
        y = std::int32_t(std::uint32_t(p)) + origin_.y();
        return true;
    }

private slots:
    void streamAdded(uint node)
    {
        if (loop_) return;
        loop_ = pw_->loopNew("belmora-cursor", nullptr);
        if (!loop_) return;
        events_.version = PW_VERSION_STREAM_EVENTS;
        events_.param_changed = &MutterCursor::OnParamChanged;
        events_.process = &MutterCursor::OnProcess;
        pw_properties* props = pw_->propertiesNew(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY,
                                                  "Capture", PW_KEY_MEDIA_ROLE, "Screen", nullptr);
        pwStream_ = pw_->streamNew(pw_->loopGet(loop_), "belmora-cursor", props, &events_, this);
        if (!pwStream_) return;

        // Any of the usual raw formats, any size: only the metadata is read.
        std::uint8_t buffer[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        spa_rectangle size{1024, 768}, minSize{1, 1}, maxSize{16384, 16384};
        spa_fraction rate{60, 1}, minRate{0, 1}, maxRate{1000, 1};
        const spa_pod* params[1];
        params[0] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType,
            SPA_POD_Id(SPA_MEDIA_TYPE_video), SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw),
            SPA_FORMAT_VIDEO_format,
            SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                                   SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
            SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &minSize, &maxSize),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate, &minRate, &maxRate)));
        pw_->streamConnect(pwStream_, PW_DIRECTION_INPUT, node, PW_STREAM_FLAG_AUTOCONNECT, params, 1);
        pw_->loopStart(loop_);
    }

private:
    // Once the format is settled: buffers in shared memory, with room for the cursor.
    static void OnParamChanged(void* data, std::uint32_t id, const spa_pod* param)
    {
        auto* self = static_cast<MutterCursor*>(data);
        if (id != SPA_PARAM_Format || !param) return;
        std::uint8_t buffer[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        const spa_pod* params[2];
        params[0] = static_cast<const spa_pod*>(
            spa_pod_builder_add_object(&b, SPA_TYPE_OBJECT_ParamMeta, SPA_PARAM_Meta, SPA_PARAM_META_type,
                                       SPA_POD_Id(SPA_META_Cursor), SPA_PARAM_META_size,
                                       SPA_POD_CHOICE_RANGE_Int(CursorMetaSize(64, 64), CursorMetaSize(1, 1),
                                                                CursorMetaSize(1024, 1024))));
        params[1] = static_cast<const spa_pod*>(spa_pod_builder_add_object(
            &b, SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
            SPA_POD_Int((1 << SPA_DATA_MemFd) | (1 << SPA_DATA_MemPtr))));
        self->pw_->streamUpdateParams(self->pwStream_, params, 2);
    }

    // Every buffer that came: the latest valid cursor position is kept.
    static void OnProcess(void* data)
    {
        auto* self = static_cast<MutterCursor*>(data);
        while (pw_buffer* buf = self->pw_->dequeue(self->pwStream_)) {
            auto* cursor = static_cast<spa_meta_cursor*>(
                spa_buffer_find_meta_data(buf->buffer, SPA_META_Cursor, sizeof(spa_meta_cursor)));
            if (cursor && spa_meta_cursor_is_valid(cursor)) {
                const auto ux = std::uint32_t(cursor->position.x);
                const auto uy = std::uint32_t(cursor->position.y);
                self->position_.store((std::uint64_t(ux) << 32) | uy, std::memory_order_relaxed);
                self->seen_.store(true, std::memory_order_release);
            }
            self->pw_->queue(self->pwStream_, buf);
        }
    }

    const PipeWire* pw_;
    QString session_;
    QString stream_;
    QPoint origin_;
    pw_thread_loop* loop_ = nullptr;
    pw_stream* pwStream_ = nullptr;
    pw_stream_events events_{};
    std::atomic<std::uint64_t> position_{0};
    std::atomic<bool> seen_{false};
};

std::unique_ptr<CursorSource> OpenCursor()
{
    const PipeWire* pw = PipeWire::Get();
    if (!pw || !QDBusConnection::sessionBus().isConnected()) return nullptr;
    const QString session =
        ObjectPathOf(Call(kScreenCastPath, kMutter, QStringLiteral("CreateSession"), {QVariantMap{}}));
    if (session.isEmpty()) return nullptr;
    // The primary monitor (an empty connector), its cursor as metadata.
    const QVariantMap properties{{QStringLiteral("cursor-mode"), QVariant::fromValue(kCursorModeMetadata)}};
    const QString stream = ObjectPathOf(
        Call(session, kSessionInterface, QStringLiteral("RecordMonitor"), {QString(), properties}));
    if (stream.isEmpty()) {
        Call(session, kSessionInterface, QStringLiteral("Stop"), {});
        return nullptr;
    }
    auto cursor = std::make_unique<MutterCursor>(pw, session, stream);
    if (!cursor->start()) return nullptr;
    return cursor;
}

}  // namespace qt::mutter

#include "mutter_cursor.moc"
