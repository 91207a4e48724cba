#pragma once
// Run-time errors: numbered, with an Italian description, thrown as C++
// exceptions. A routine that traps errors catches RuntimeError and reads its
// number; End unwinds the whole program with ProgramEnded, which no trap sees.
#include <stdexcept>
#include <string>

namespace rt {

namespace err {
inline constexpr int InvalidCall = 5;
inline constexpr int Overflow = 6;
inline constexpr int OutOfMemory = 7;
inline constexpr int SubscriptOutOfRange = 9;
inline constexpr int DivisionByZero = 11;
inline constexpr int TypeMismatch = 13;
inline constexpr int Internal = 51;
inline constexpr int ObjectNotSet = 91;
inline constexpr int NoSuchMember = 438;
}  // namespace err

// The runtime's own description of an error number.
std::string ErrorDescription(int number);

class RuntimeError : public std::runtime_error {
public:
    explicit RuntimeError(int number);
    RuntimeError(int number, const std::string& description);
    int number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }

private:
    int number_;
    std::string description_;
};

[[noreturn]] void Raise(int number);
// Error 7 for what the desktop could not make: windows and timers fail for want
// of system resources, as memory does. `what` says which, in Italian.
[[noreturn]] void RaiseNotMade(const std::string& what);

// Thrown by End: unwinds every handler on the stack. Not a run-time error.
struct ProgramEnded {
    int status = 0;
};

}  // namespace rt
