#pragma once
// Guards that put a flag or a variable back when a scope is left, however it
// is left: a handler may unwind with a run-time error or with End.

namespace rt {

// Clears a flag when a scope is left.
struct FlagGuard {
    bool& flag;
    ~FlagGuard() { flag = false; }
};

// Gives a variable a value for the length of a scope, however it is left.
template <class T>
struct ValueGuard {
    T& var;
    T saved;
    ValueGuard(T& v, T value) : var(v), saved(v) { var = value; }
    ~ValueGuard() { var = saved; }
    ValueGuard(const ValueGuard&) = delete;
    ValueGuard& operator=(const ValueGuard&) = delete;
};

}  // namespace rt
