#include "knowledge/float_self_test.h"

#include <cmath>

bool float_self_test() noexcept
{
    // volatile keeps the check at run time, on the arithmetic actually used.
    volatile float smaller = 1.1f;
    volatile float larger = 2.1f;
    const float m = std::fmin(smaller, larger);
    return m == 1.1f;
}
