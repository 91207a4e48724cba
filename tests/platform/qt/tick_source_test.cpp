// The Qt backend's tick sources, with no display: a QCoreApplication is enough.
// timerfd_settime is replaced here (this executable's definition wins over the C
// library's) so that a test can make the arming of a timerfd fail.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <dlfcn.h>
#include <sys/timerfd.h>

#include <cerrno>

#include "platform/qt/tick_source.h"

namespace {
bool failSettime = false;
int settimeCalls = 0;
}  // namespace

extern "C" int timerfd_settime(int fd, int flags, const itimerspec* value, itimerspec* old) noexcept
{
    ++settimeCalls;
    if (failSettime) {
        errno = ENOMEM;
        return -1;
    }
    using Fn = int (*)(int, int, const itimerspec*, itimerspec*);
    static const Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "timerfd_settime"));
    return real(fd, flags, value, old);
}

// A source ticks, whether or not its timerfd could be armed: a chase that
// never ticks is not an option.
TEST(TickSource, TicksAlsoWhenTheTimerfdCannotBeArmed)
{
    for (bool failing : {false, true}) {
        SCOPED_TRACE(failing ? "timerfd_settime fails" : "timerfd_settime works");
        failSettime = failing;
        settimeCalls = 0;
        QObject context;
        QEventLoop loop;
        int ticks = 0;
        QObject* source = qt::StartTickSource(5, &context, [&](QObject*) {
            if (++ticks == 3) loop.quit();
        });
        QTimer::singleShot(10'000, &loop, &QEventLoop::quit);  // a limit, not a timing target
        loop.exec();
        qt::RetireTickSource(source);
        EXPECT_EQ(settimeCalls, 1);  // a timerfd was tried
        EXPECT_EQ(ticks, 3);
    }
    failSettime = false;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
