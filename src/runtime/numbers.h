#pragma once
// Whole numbers with overflow checks, and the conversions between them and
// floating point. Integer is 16-bit, Long 32-bit; any result outside the
// type's range raises error 6. Float to Integer/Long rounds halves to even.
#include <cmath>
#include <compare>
#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>

#include "runtime/errors.h"

namespace rt {

using Single = float;

namespace detail {
template <class T>
T checked(long long v)
{
    if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max()) Raise(err::Overflow);
    return static_cast<T>(v);
}
template <class T>
T rounded(double v)
{
    if (std::isnan(v)) Raise(err::Overflow);
    const double r = std::nearbyint(v);  // the default rounding mode: halves to even
    if (r < std::numeric_limits<T>::min() || r > std::numeric_limits<T>::max()) Raise(err::Overflow);
    return static_cast<T>(r);
}
}  // namespace detail

template <class T>
class Checked {
public:
    constexpr Checked() = default;
    // From an integer value, checked against the type's range.
    template <class I, class = std::enable_if_t<std::is_integral_v<I>>>
    Checked(I v) : v_(detail::checked<T>(static_cast<long long>(v)))
    {
    }
    T value() const { return v_; }
    explicit operator double() const { return v_; }

    friend Checked operator+(Checked a, Checked b) { return fromWide((long long)a.v_ + b.v_); }
    friend Checked operator-(Checked a, Checked b) { return fromWide((long long)a.v_ - b.v_); }
    friend Checked operator*(Checked a, Checked b) { return fromWide((long long)a.v_ * b.v_); }
    friend Checked operator-(Checked a) { return fromWide(-(long long)a.v_); }
    Checked& operator+=(Checked b) { return *this = *this + b; }
    Checked& operator-=(Checked b) { return *this = *this - b; }
    friend bool operator==(Checked a, Checked b) { return a.v_ == b.v_; }
    friend auto operator<=>(Checked a, Checked b) { return a.v_ <=> b.v_; }

private:
    static Checked fromWide(long long v)
    {
        Checked c;
        c.v_ = detail::checked<T>(v);
        return c;
    }
    T v_ = 0;
};

using Integer = Checked<std::int16_t>;
using Long = Checked<std::int32_t>;

// Conversions from floating point, halves to even; error 6 out of range.
inline Integer CInt(double v) { return Integer(detail::rounded<std::int16_t>(v)); }
inline Long CLng(double v) { return Long(detail::rounded<std::int32_t>(v)); }

// A Single result that is no longer finite is an overflow.
inline Single CheckedSingle(double v)
{
    const float f = static_cast<float>(v);
    if (!std::isfinite(f)) Raise(err::Overflow);
    return f;
}

// Decimal digits of a whole number, a minus sign for negatives and no leading space.
template <class T>
std::string CStr(Checked<T> v)
{
    return std::to_string(v.value());
}

}  // namespace rt
