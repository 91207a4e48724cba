// The session bus address the program keeps: local sockets only, never one
// that makes libdbus start a program.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/qt/session_env.h"

namespace {

using qt::LocalSessionBusAddress;

TEST(SessionBusAddress, OnlyEntriesNamingALocalSocketAreKept)
{
    EXPECT_EQ(LocalSessionBusAddress("unix:path=/run/user/1000/bus", nullptr),
              "unix:path=/run/user/1000/bus");
    EXPECT_EQ(LocalSessionBusAddress("unix:abstract=/tmp/dbus-Xa1,guid=0f1e", nullptr),
              "unix:abstract=/tmp/dbus-Xa1,guid=0f1e");
    EXPECT_EQ(LocalSessionBusAddress("unix:guid=0f1e,path=/b", nullptr), "unix:guid=0f1e,path=/b");
    // Entries that start a program, go over the network or only make sense to a server.
    EXPECT_EQ(LocalSessionBusAddress("autolaunch:", "/run/user/0/bus"), "disabled:");
    EXPECT_EQ(LocalSessionBusAddress("unixexec:path=/usr/bin/dbus-stdio", nullptr), "disabled:");
    EXPECT_EQ(LocalSessionBusAddress("tcp:host=localhost,port=4711", nullptr), "disabled:");
    EXPECT_EQ(LocalSessionBusAddress("unix:tmpdir=/tmp", nullptr), "disabled:");
    EXPECT_EQ(LocalSessionBusAddress("unix:path=", nullptr), "disabled:");
    EXPECT_EQ(LocalSessionBusAddress("unixpath=/a", nullptr), "disabled:");
    // Alternatives: the local ones stay, in their order.
    EXPECT_EQ(LocalSessionBusAddress("unix:path=/a;autolaunch:;tcp:host=h,port=1;unix:abstract=/c", nullptr),
              "unix:path=/a;unix:abstract=/c");
}

TEST(SessionBusAddress, WithNoAddressOnlyTheUserBusSocketIsUsed)
{
    EXPECT_EQ(LocalSessionBusAddress(nullptr, "/run/user/1000/bus"), "unix:path=/run/user/1000/bus");
    EXPECT_EQ(LocalSessionBusAddress("", "/run/user/1000/bus"), "unix:path=/run/user/1000/bus");
    EXPECT_EQ(LocalSessionBusAddress(nullptr, "/tmp/a b;c=d,%/bus"),
              "unix:path=/tmp/a%20b%3bc%3dd%2c%25/bus");
    // libdbus's own fallback would be "autolaunch:".
    EXPECT_EQ(LocalSessionBusAddress(nullptr, nullptr), "disabled:");
    EXPECT_EQ(LocalSessionBusAddress("", nullptr), "disabled:");
}

// Sets an environment variable for the scope, putting back what was there.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~ScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(SessionBusAddress, TheProcessEnvironmentGetsTheUserBusOnlyWhenItsSocketIsThere)
{
    char dir[] = "/tmp/belmora-session-env.XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string socketPath = std::string(dir) + "/bus";
    ScopedEnv runtime("XDG_RUNTIME_DIR", dir);
    ScopedEnv address("DBUS_SESSION_BUS_ADDRESS", nullptr);

    qt::KeepSessionBusLocal();
    ASSERT_NE(std::getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr);
    EXPECT_STREQ(std::getenv("DBUS_SESSION_BUS_ADDRESS"), "disabled:") << "no socket: no bus";

    // A plain file named "bus" is no bus either.
    FILE* file = std::fopen(socketPath.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    qt::KeepSessionBusLocal();
    EXPECT_STREQ(std::getenv("DBUS_SESSION_BUS_ADDRESS"), "disabled:");
    std::remove(socketPath.c_str());

    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::strncpy(sa.sun_path, socketPath.c_str(), sizeof sa.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    qt::KeepSessionBusLocal();
    EXPECT_EQ(std::string(std::getenv("DBUS_SESSION_BUS_ADDRESS")), "unix:path=" + socketPath);

    // An address that is set wins over the socket.
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:abstract=/tmp/dbus-other", 1);
    qt::KeepSessionBusLocal();
    EXPECT_STREQ(std::getenv("DBUS_SESSION_BUS_ADDRESS"), "unix:abstract=/tmp/dbus-other");

    close(fd);
    std::remove(socketPath.c_str());
    rmdir(dir);
}

}  // namespace
