// Four independent single-precision lanes. Each lane's arithmetic is the
// scalar float operation, rounded on its own (no fused multiply-add: the
// library is built with -ffp-contract=off), so four-wide code over
// independent sums gives the plain loops' results bit for bit.
#ifndef OMBREL_VECTOR4_H
#define OMBREL_VECTOR4_H

#include <cstring>

typedef float Vector4 __attribute__((vector_size(16)));

inline Vector4 vector4_load(const float* p) noexcept
{
    Vector4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void vector4_store(float* p, Vector4 v) noexcept
{
    std::memcpy(p, &v, sizeof v);
}

inline Vector4 vector4_broadcast(float x) noexcept
{
    return Vector4{x, x, x, x};
}

#endif
