// Exact binary128 addition, subtraction, multiplication and division in
// place of libgcc's soft-float routines of the same names.
//
// The compiler turns every +, -, * and / on __float128 into a call to these
// four functions, and so do the objects of the static libquadmath (powq,
// log10q, expq, ...) that the program links.  Defining them here makes all
// of those calls take the shorter paths below instead of libgcc's generic
// soft-float code.
//
// Contract, bit for bit the results of libgcc's x86-64 routines:
//   - every finite or infinite result is the IEEE 754 correctly rounded one
//     in the rounding mode of the SSE control register (MXCSR), as libgcc
//     reads it: to nearest even, toward zero, upward, downward; overflow and
//     subnormal results included, and the sign of a zero result (x - x is
//     -0 only when rounding downward);
//   - a NaN operand gives that NaN quieted, with its sign and payload; of
//     two NaNs the one with the larger fraction (quiet bit included), on
//     equal fractions the first operand for + and *, the second for - and /;
//   - an invalid operation (inf - inf, 0 * inf, 0 / 0, inf / inf) gives the
//     default NaN of x86, negative with only the quiet bit set.
// The IEEE exception flags are NOT raised: neither the program nor the
// libquadmath functions it calls (powq, log10q, logq, expq, sqrtq, fabsq,
// strtoflt128, quadmath_snprintf) look at them.  fmaq does; it is not used.
//
// Only built for x86-64 (Linux and MinGW); elsewhere libgcc's routines stay.
// tests/binary128_arith_test.cc checks them against libgcc's own.
#ifndef MORVANTIDE_COMMON_BINARY128_ARITH_H_
#define MORVANTIDE_COMMON_BINARY128_ARITH_H_

#include <bit>

namespace morvantide::binary128 {

// The bit pattern of a binary128 (sign, 15 exponent bits, 112 fraction
// bits) and back, for the checks that compare results bit for bit.
inline unsigned __int128 bits_of(__float128 x) { return std::bit_cast<unsigned __int128>(x); }
inline __float128 from_bits(unsigned __int128 u) { return std::bit_cast<__float128>(u); }

}  // namespace morvantide::binary128

#if defined(__x86_64__)
#define MORVANTIDE_BINARY128_ARITH 1
extern "C" {
__float128 __addtf3(__float128 a, __float128 b);
__float128 __subtf3(__float128 a, __float128 b);
__float128 __multf3(__float128 a, __float128 b);
__float128 __divtf3(__float128 a, __float128 b);
}
#endif

#endif  // MORVANTIDE_COMMON_BINARY128_ARITH_H_
