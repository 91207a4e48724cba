#include "platform/qt/tick_source.h"

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#ifdef __linux__
#include <sys/timerfd.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

namespace qt {

QObject* StartTickSource(int intervalMs, QObject* context, std::function<void(QObject*)> onTick)
{
    intervalMs = std::max(intervalMs, 1);
#ifdef __linux__
    int fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    int failure = fd < 0 ? errno : 0;
    if (fd >= 0) {
        itimerspec period{};
        period.it_interval.tv_sec = intervalMs / 1000;
        period.it_interval.tv_nsec = long(intervalMs % 1000) * 1000000L;
        period.it_value = period.it_interval;
        if (timerfd_settime(fd, 0, &period, nullptr) != 0) {
            // An unarmed timerfd never fires: the QTimer below ticks instead.
            failure = errno;
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        static bool warned = false;  // once: every timer would say the same
        if (!warned)
            std::fprintf(stderr,
                         "belmora: timer di sistema non disponibile (%s): uso un timer meno preciso\n",
                         std::strerror(failure));
        warned = true;
    }
    if (fd >= 0) {
        auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read);
        QObject::connect(notifier, &QObject::destroyed, [fd] { ::close(fd); });
        QObject::connect(notifier, &QSocketNotifier::activated, context,
                         [notifier, fd, onTick = std::move(onTick)] {
                             std::uint64_t expirations = 0;  // more than one: ticks missed while busy
                             if (::read(fd, &expirations, sizeof expirations) == sizeof expirations)
                                 onTick(notifier);
                         });
        return notifier;
    }
#endif
    auto* timer = new QTimer;
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(intervalMs);
    QObject::connect(timer, &QTimer::timeout, context,
                     [timer, onTick = std::move(onTick)] { onTick(timer); });
    timer->start();
    return timer;
}

void RetireTickSource(QObject* source)
{
    if (auto* timer = qobject_cast<QTimer*>(source))
        timer->stop();
    else if (auto* notifier = qobject_cast<QSocketNotifier*>(source))
        notifier->setEnabled(false);
    source->deleteLater();
}

}  // namespace qt
