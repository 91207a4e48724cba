#include "platform/qt/session_env.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

namespace qt {

namespace {

// One entry of a bus address, "unix:path=/run/user/1000/bus,guid=...", names
// a socket to connect to.
bool IsLocalSocketEntry(std::string_view entry)
{
    constexpr std::string_view kUnix = "unix:";
    if (entry.substr(0, kUnix.size()) != kUnix) return false;
    std::string_view keys = entry.substr(kUnix.size());
    while (!keys.empty()) {
        const std::size_t comma = keys.find(',');
        const std::string_view key = keys.substr(0, comma);
        if (key.substr(0, 5) == "path=" || key.substr(0, 9) == "abstract=")
            return key.find('=') + 1 < key.size();
        keys = comma == std::string_view::npos ? std::string_view() : keys.substr(comma + 1);
    }
    return false;
}

// A value in a bus address: bytes other than [-0-9A-Za-z_/.\*] as %XX.
std::string EscapeAddressValue(std::string_view value)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char ch : value) {
        const unsigned char c = static_cast<unsigned char>(ch);
        const bool plain = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           c == '-' || c == '_' || c == '/' || c == '.' || c == '\\' || c == '*';
        if (plain) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

}  // namespace

std::string LocalSessionBusAddress(const char* address, const char* userBusSocket)
{
    if (address && *address) {
        std::string kept;
        std::string_view rest = address;
        while (!rest.empty()) {
            const std::size_t semicolon = rest.find(';');
            const std::string_view entry = rest.substr(0, semicolon);
            if (IsLocalSocketEntry(entry)) {
                if (!kept.empty()) kept += ';';
                kept += entry;
            }
            rest = semicolon == std::string_view::npos ? std::string_view() : rest.substr(semicolon + 1);
        }
        return kept.empty() ? "disabled:" : kept;
    }
    if (userBusSocket && *userBusSocket) return "unix:path=" + EscapeAddressValue(userBusSocket);
    return "disabled:";
}

void KeepSessionBusLocal()
{
    std::string userBus;
    const char* runtimeDir = std::getenv("XDG_RUNTIME_DIR");
    if (runtimeDir && *runtimeDir == '/') {
        struct stat st {};
        const std::string socket = std::string(runtimeDir) + "/bus";
        if (::stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == ::getuid())
            userBus = socket;
    }
    const std::string address = LocalSessionBusAddress(std::getenv("DBUS_SESSION_BUS_ADDRESS"),
                                                       userBus.empty() ? nullptr : userBus.c_str());
    ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
}

}  // namespace qt
