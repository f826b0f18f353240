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
// tests/binary128_arith_test.cc checks them against libgcc's own,
// tests/extrapolation_step_test.cc the fused step below against them.
#ifndef MORVANTIDE_KERNEL_BINARY128_ARITH_H_
#define MORVANTIDE_KERNEL_BINARY128_ARITH_H_

#include <bit>

#if defined(__x86_64__)
#define MORVANTIDE_BINARY128_ARITH 1
extern "C" {
__float128 __addtf3(__float128 a, __float128 b);
__float128 __subtf3(__float128 a, __float128 b);
__float128 __multf3(__float128 a, __float128 b);
__float128 __divtf3(__float128 a, __float128 b);
}
#endif

namespace morvantide::binary128 {

// The bit pattern of a binary128 (sign, 15 exponent bits, 112 fraction
// bits) and back, for the checks that compare results bit for bit.
inline unsigned __int128 bits_of(__float128 x) { return std::bit_cast<unsigned __int128>(x); }
inline __float128 from_bits(unsigned __int128 u) { return std::bit_cast<__float128>(u); }
// x * y as 256 bits, *hi:*lo: the checks build operands whose quotients
// fall next to a rounding boundary from exact products.
inline void multiply_wide(unsigned __int128 x, unsigned __int128 y, unsigned __int128* hi,
                          unsigned __int128* lo) {
  using u64 = unsigned long long;
  using u128 = unsigned __int128;
  const u64 x1 = static_cast<u64>(x >> 64), x0 = static_cast<u64>(x);
  const u64 y1 = static_cast<u64>(y >> 64), y0 = static_cast<u64>(y);
  const u128 p00 = static_cast<u128>(x0) * y0, p01 = static_cast<u128>(x0) * y1;
  const u128 p10 = static_cast<u128>(x1) * y0, p11 = static_cast<u128>(x1) * y1;
  const u128 middle = (p00 >> 64) + static_cast<u64>(p01) + static_cast<u64>(p10);
  *lo = (middle << 64) | static_cast<u64>(p00);
  *hi = p11 + (p01 >> 64) + (p10 >> 64) + (middle >> 64);
}

// 0.5 * x with the bits of the multiplication: a normal x whose half is
// normal too loses one from its exponent field, exactly, in every rounding
// mode; a subnormal, zero, infinite or NaN x, or one at the smallest
// exponent, is multiplied.
inline __float128 half(__float128 x) {
  constexpr unsigned __int128 kOneExponent = static_cast<unsigned __int128>(1) << 112;
  const unsigned __int128 u = bits_of(x);
  const unsigned field = static_cast<unsigned>(u >> 112) & 0x7FFF;
  if (field >= 2 && field <= 0x7FFE) return from_bits(u - kOneExponent);
  return 0.5Q * x;
}

// One step of an extrapolation table, a + (a - b) / d, as the three
// operations written that way: the difference, the quotient, the sum, each
// rounded in the current mode.  The result is exactly
//   const __float128 difference = a - b;
//   const __float128 correction = difference / d;
//   return a + correction;
// as g++ compiles it when optimising, in every rounding mode and for every
// operand, zeros, subnormals, infinities and NaNs included (g++ passes the
// correction to __addtf3 first, which decides which of two NaNs of equal
// fraction and opposite signs comes out; at -O0 it passes a first, and so
// the two builds of the three lines differ there).  The common case (rounding to nearest, a,
// b and d normal, the difference and the quotient normal) keeps the
// intermediates as sign, exponent and rounded significand between the
// steps, with one look at the rounding mode for all three.
//
// A Divisor prepares d once for many steps by the same d (a level of the
// table with a constant ratio): with a normal d those steps divide by a
// multiplication with d's reciprocal instead of two hardware divisions.
class Divisor {
 public:
  explicit Divisor(__float128 d);
  __float128 value() const { return d_; }

 private:
  friend __float128 extrapolation_step(__float128 a, __float128 b, const Divisor& d);
  __float128 d_;
#if defined(MORVANTIDE_BINARY128_ARITH)
  // kind_: 0 d not normal (the plain operations), 1 a power of two (the
  // quotient is exact), 2 any other normal d.  For 1 and 2: d's sign, its
  // exponent field, its significand with the leading one at bit 127, and for
  // 2 its reciprocal floor((2^256 - 1) / significand) - 2^128.
  int kind_ = 0;
  int exponent_ = 0;
  unsigned long long sign_ = 0;
  unsigned __int128 significand_ = 0;
  unsigned __int128 reciprocal_ = 0;
#endif
};

#if defined(MORVANTIDE_BINARY128_ARITH)
__float128 extrapolation_step(__float128 a, __float128 b, __float128 d);
__float128 extrapolation_step(__float128 a, __float128 b, const Divisor& d);
#else
inline Divisor::Divisor(__float128 d) : d_(d) {}
inline __float128 extrapolation_step(__float128 a, __float128 b, __float128 d) {
  const __float128 difference = a - b;
  const __float128 correction = difference / d;
  return a + correction;
}
inline __float128 extrapolation_step(__float128 a, __float128 b, const Divisor& d) {
  return extrapolation_step(a, b, d.value());
}
#endif

}  // namespace morvantide::binary128

#endif  // MORVANTIDE_KERNEL_BINARY128_ARITH_H_
