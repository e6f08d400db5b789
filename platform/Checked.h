#pragma once

#include "RuntimeError.h"

#include <cstdint>
#include <limits>

namespace glimmer::checked {

// Signed arithmetic that raises OverflowError instead of wrapping, for the
// sizes and counts whose products and differences must stay in range.
template <typename T>
T add(T a, T b)
{
    T r{};
    if (__builtin_add_overflow(a, b, &r))
        throw OverflowError();
    return r;
}

template <typename T>
T sub(T a, T b)
{
    T r{};
    if (__builtin_sub_overflow(a, b, &r))
        throw OverflowError();
    return r;
}

template <typename T>
T mul(T a, T b)
{
    T r{};
    if (__builtin_mul_overflow(a, b, &r))
        throw OverflowError();
    return r;
}

template <typename T>
T neg(T a)
{
    return sub<T>(T{0}, a);
}

// Narrows a wider value, raising OverflowError when it does not fit.
template <typename To, typename From>
To narrow(From v)
{
    To r{};
    if (__builtin_add_overflow(v, From{0}, &r))
        throw OverflowError();
    return r;
}

// Double to 32-bit integer the classic way: nearest, halves to even,
// out of range is an overflow.
std::int32_t roundToInt32(double v);

} // namespace glimmer::checked
