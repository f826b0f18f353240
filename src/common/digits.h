// The exact decimal digits of a binary128 value.
//
// Digits first, layout second: this gives the significant digits and the
// decimal exponent of a finite value, correctly rounded, and nothing else;
// the callers (the edit notation, the decimal texts) lay them out.
//
// scientific_digits(x, P, digits) writes the P significant digits of |x|
// that quadmath_snprintf's "%.{P-1}Qe" prints, without the point, and
// returns the decimal exponent, so that |x| ~ d0.d1d2...d{P-1} * 10^exponent:
//
//   scientific_digits(0.5Q, 5, d)      -> "50000",  -1
//   scientific_digits(-123.456Q, 4, d) -> "1235",    2   (the sign is ignored)
//   scientific_digits(9.9996Q, 4, d)   -> "1000",    1   (the carry moves the exponent)
//   scientific_digits(0.125Q, 2, d)    -> "12",     -1   (a tie goes to the even digit)
//   scientific_digits(2.5Q, 1, d)      -> "2",       0
//   scientific_digits(1.5Q, 1, d)      -> "2",       0
//   scientific_digits(0.0Q, 3, d)      -> "000",     0   (also for -0.0)
//
// Rounding is to nearest, ties to even, on the exact binary value, as
// quadmath_snprintf rounds in the default rounding mode (the program never
// changes it).  No value passes through double or long double.
//
// How: x = m * 2^e with an integer m < 2^113.  With k an estimate of the
// decimal exponent and s = P - 1 - k, the integer part of 2 * x * 10^s =
// m * 5^s * 2^(e + 1 + s) is formed exactly in a small big integer: m times
// 5^s (s > 0) by one-limb products, the power of two by a shift, a division
// by 5^-s (s < 0) by one-limb divisions, every bit shifted or divided away
// kept as a "sticky" flag.  Its last bit is the half-unit of the last digit,
// so the rounding is decided on the exact remainder.  Values whose scaling
// does not fit the fixed-size integer (below 1e-554 or above 1e637: the
// subnormals, the largest finite values) and more than kFastDigits digits go
// to quadmath_snprintf instead, with the same result.
#ifndef MORVANTIDE_COMMON_DIGITS_H_
#define MORVANTIDE_COMMON_DIGITS_H_

#include "common/quad.h"

namespace morvantide {

// The most significant digits the exact integer path gives; more are printed
// by quadmath_snprintf.
inline constexpr int kFastDigits = 40;

// x finite, precision >= 1; digits has room for `precision` characters (no
// terminating NUL is written).  Returns the decimal exponent.
int scientific_digits(real x, int precision, char* digits);

namespace digits_internal {

// The exact integer path alone: false (and nothing written) when x or the
// precision is outside what it covers.  For the tests.
bool fast_scientific_digits(real x, int precision, char* digits, int* exponent);

// The quadmath_snprintf path alone.  For the tests.
int printed_scientific_digits(real x, int precision, char* digits);

}  // namespace digits_internal

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_DIGITS_H_
