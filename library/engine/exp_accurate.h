// e^y and e^y - 1 as double-doubles, to far more than double precision, for
// the rare arguments whose fast evaluation lies too near a float rounding
// midpoint to decide. Plain double operations only: every platform computes
// the same bits, and nothing calls the C library.
#ifndef OMBREL_EXP_ACCURATE_H
#define OMBREL_EXP_ACCURATE_H

#include "engine/double_double.h"

// For y in [-105, 90]: e^y to within 2^-70 relative (a positive, normal
// double-double: no underflow even where e^y is a subnormal float).
DoubleDouble exp_accurate(double y) noexcept;

// For y in [2^-12, 20]: e^y - 1 to within 2^-62 relative. (Below ln2/128
// e^y - 1 is the polynomial itself, within 2^-77 absolute; above, the
// subtraction magnifies 2^-70 by at most e^y / (e^y - 1) < 187.)
DoubleDouble expm1_accurate(double y) noexcept;

#endif
