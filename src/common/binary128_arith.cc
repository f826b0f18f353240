#include "common/binary128_arith.h"

#if defined(MORVANTIDE_BINARY128_ARITH)

#include <emmintrin.h>
#include <xmmintrin.h>

#include <bit>
#include <cstdint>

// Nothing in this file may use __float128 arithmetic: the compiler would
// call the very functions defined here.  All work is on the bit patterns.

namespace {

using u64 = uint64_t;
using u128 = unsigned __int128;

constexpr int kExpMax = 0x7FFF;  // the exponent field of infinities and NaNs
constexpr int kBias = 16383;
constexpr u128 kSign = static_cast<u128>(1) << 127;
constexpr u128 kImplicit = static_cast<u128>(1) << 112;
constexpr u128 kFraction = kImplicit - 1;
constexpr u128 kQuiet = static_cast<u128>(1) << 111;
constexpr u128 kInfinity = static_cast<u128>(kExpMax) << 112;
constexpr u128 kDefaultNaN = kSign | kInfinity | kQuiet;
constexpr u128 kLargest = (static_cast<u128>(kExpMax - 1) << 112) | kFraction;

// The two 64-bit halves of a binary128, straight from the SSE register.
struct Halves {
  u64 lo, hi;
};
inline Halves halves_of(__float128 x) {
  const __m128i v = std::bit_cast<__m128i>(x);
  return {static_cast<u64>(_mm_cvtsi128_si64(v)),
          static_cast<u64>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v)))};
}
// The moves written out: the compiler would otherwise pass the high half
// through memory, a store and a load on the way of every result.
inline __float128 from_halves(u64 hi, u64 lo) {
  __m128i low, high;
  __asm__("movq %1, %0" : "=x"(low) : "r"(lo));
  __asm__("movq %1, %0" : "=x"(high) : "r"(hi));
  return std::bit_cast<__float128>(_mm_unpacklo_epi64(low, high));
}

// hi:lo shifted left by n, the high word; (hi:lo) >> n, the low word;
// 0 <= n < 64.  The double shifts by a variable count, which the compiler
// does not form from the shifts of two words when n may be 0.
inline u64 shift_left_high(u64 hi, u64 lo, unsigned n) {
  __asm__("shldq %%cl, %2, %0" : "+r"(hi) : "c"(n), "r"(lo) : "cc");
  return hi;
}
template <int n>
inline u64 shift_left_high(u64 hi, u64 lo) {
  __asm__("shldq %2, %3, %0" : "=r"(hi) : "0"(hi), "J"(n), "r"(lo) : "cc");
  return hi;
}
inline u64 shift_right_low(u64 hi, u64 lo, unsigned n) {
  __asm__("shrdq %%cl, %2, %0" : "+r"(lo) : "c"(n), "r"(hi) : "cc");
  return lo;
}

constexpr u64 kSignBit = static_cast<u64>(1) << 63;
constexpr u64 kHighFraction = (static_cast<u64>(1) << 48) - 1;

// The MXCSR rounding control, as libgcc reads it.
enum Rounding { kNearest = 0, kDownward = 1, kUpward = 2, kTowardZero = 3 };
inline int rounding() { return (_mm_getcsr() >> 13) & 3; }

inline int clz128(u128 x) {  // x != 0
  const u64 hi = static_cast<u64>(x >> 64);
  return hi != 0 ? __builtin_clzll(hi) : 64 + __builtin_clzll(static_cast<u64>(x));
}

// x >> n with the bits shifted out ORed into bit 0; n >= 1.
inline u128 shift_right_jam(u128 x, int n) {
  if (n >= 128) return x != 0;
  return (x >> n) | ((x << (128 - n)) != 0);
}

// 1 when the magnitude sig + rest / 2^15 rounds up (rest != 0).
inline u128 round_up(int mode, u64 sign, unsigned rest, u128 sig) {
  switch (mode) {
    case kNearest:
      return rest > 0x4000 || (rest == 0x4000 && (sig & 1) != 0);
    case kUpward:
      return sign == 0;
    case kDownward:
      return sign != 0;
    default:
      return 0;
  }
}

inline u128 signed_zero(u64 sign) { return static_cast<u128>(sign) << 127; }

// round_pack for the directed rounding modes and for subnormal, zero or
// overflowing results.
__attribute__((noinline)) u128 round_pack_general(u64 sign, int e, u128 m) {
  const int mode = rounding();
  if (e >= kExpMax) {
    const bool to_infinity = mode == kNearest || (mode == kUpward && sign == 0) ||
                             (mode == kDownward && sign != 0);
    return signed_zero(sign) | (to_infinity ? kInfinity : kLargest);
  }
  u128 r = signed_zero(sign);
  if (e >= 1) {
    r += static_cast<u128>(e - 1) << 112;
  } else {
    // A subnormal: the fraction is the part above 2^-16382, and a carry
    // out of it makes the smallest normal.
    m = shift_right_jam(m, 1 - e);
  }
  const u128 sig = m >> 15;
  const unsigned rest = static_cast<unsigned>(m) & 0x7FFF;
  r += sig;
  if (rest != 0) r += round_up(mode, sign, rest, sig);
  return r;
}

// The binary128 of (-1)^sign * m / 2^127 * 2^(e - kBias), rounded: m holds
// its leading one at bit 127, and bit 0 is ORed with any nonzero bits below.
inline u128 round_pack(u64 sign, int e, u128 m) {
  if (__builtin_expect(static_cast<unsigned>(e - 1) < kExpMax - 1 && rounding() == kNearest, 1)) {
    const u128 sig = m >> 15;  // 113 bits, the leading one included
    const unsigned rest = static_cast<unsigned>(m) & 0x7FFF;
    // The leading one adds 1 to e - 1; a carry out of rounding moves on
    // into the exponent, and from the largest finite to infinity.  Ties go
    // up when the last bit is odd: rest + 0x3FFF + lsb reaches 0x8000.
    const unsigned up = (rest + 0x3FFF + (static_cast<unsigned>(sig) & 1)) >> 15;
    return signed_zero(sign) + (static_cast<u128>(e - 1) << 112) + sig + up;
  }
  return round_pack_general(sign, e, m);
}

// round_pack of m = hi:lo, hi != 0 after normalisation (bit 63 of hi
// set), as the binary128's two halves.
__attribute__((always_inline)) inline __float128 round_pack_halves(u64 sign, int e, u64 hi,
                                                                   u64 lo) {
  if (__builtin_expect(static_cast<unsigned>(e - 1) >= kExpMax - 1 || (_mm_getcsr() & 0x6000) != 0,
                       0)) {
    const u128 r = round_pack_general(sign, e, (static_cast<u128>(hi) << 64) | lo);
    return from_halves(static_cast<u64>(r >> 64), static_cast<u64>(r));
  }
  // As in round_pack: 113 bits, the leading one included, and a single
  // increment whose carry moves on into the exponent.
  const u64 sig_lo = (lo >> 15) | (hi << 49), sig_hi = hi >> 15;
  const unsigned rest = static_cast<unsigned>(lo) & 0x7FFF;
  const u64 up = (rest + 0x3FFF + (static_cast<unsigned>(sig_lo) & 1)) >> 15;
  const u128 r = ((static_cast<u128>(sig_hi + (static_cast<u64>(e - 1) << 48) + (sign << 63)) << 64) |
                  sig_lo) +
                 up;
  return from_halves(static_cast<u64>(r >> 64), static_cast<u64>(r));
}

inline bool is_nan(u128 x) { return (x & ~kSign) > kInfinity; }

// The NaN result of an operation with a NaN operand (is_nan(a) or is_nan(b)).
u128 propagate_nan(u128 a, u128 b, bool first_on_tie) {
  u128 r;
  if (is_nan(a) && is_nan(b)) {
    const u128 fa = a & kFraction, fb = b & kFraction;
    r = fa > fb || (fa == fb && first_on_tie) ? a : b;
  } else {
    r = is_nan(a) ? a : b;
  }
  return r | kQuiet;
}

inline int field_of(u128 x) { return static_cast<int>(x >> 112) & kExpMax; }

// All ones when the signs of a and b differ, else 0.
inline u128 opposite_signs(u128 a, u128 b) {
  return static_cast<u128>(static_cast<__int128>(a ^ b) >> 127);
}

// The sum of two finite magnitudes mx >= my (significands with 14 guard
// bits, a normal one's leading one at bit 126, bit 127 for the carry) of
// exponents ex >= ey, added (negate 0) or subtracted (negate all ones),
// with the sign of the larger.
__attribute__((always_inline)) inline u128 add_core(u64 sign, u128 negate, int ex, u128 mx,
                                                    int ey, u128 my) {
  // my >> d, the bits shifted out ORed into bit 0; a shift of 127 already
  // leaves only the sticky bit.  With bit 0 of mx clear, a jammed bit 0
  // leaves the sum or difference odd, so no rounding boundary is mistaken;
  // when the difference cancels more than two bits, nothing was lost.
  const int d = ex - ey < 127 ? ex - ey : 127;
  my = (my >> d) | ((my & ((static_cast<u128>(1) << d) - 1)) != 0);
  // Hidden from the optimiser, which would otherwise branch on the signs:
  // they are as often alike as not.
  u64 mask = static_cast<u64>(negate);
  __asm__("" : "+r"(mask));
  const u128 m = mx + ((my ^ negate) + (mask & 1));
  if (__builtin_expect(m == 0, 0)) {
    // Two zeros of one sign keep it; an exact zero difference is +0, or -0
    // when rounding downward.
    if (negate == 0) return signed_zero(sign);
    return signed_zero(rounding() == kDownward);
  }
  const int shift = clz128(m);
  return round_pack(sign, ex + 1 - shift, m << shift);
}

// Sums with an operand zero, subnormal, infinite or NaN.  b's sign is
// already flipped for a subtraction.
__attribute__((noinline)) u128 add_rare(u128 a, u128 b, bool subtract) {
  u128 abs_a = a & ~kSign, abs_b = b & ~kSign;
  if (abs_a >= kInfinity || abs_b >= kInfinity) {
    if (is_nan(a) || is_nan(b)) return propagate_nan(a, b ^ (subtract ? kSign : 0), !subtract);
    const bool a_inf = abs_a == kInfinity, b_inf = abs_b == kInfinity;
    if (a_inf && b_inf) return ((a ^ b) & kSign) != 0 ? kDefaultNaN : a;
    return a_inf ? a : b;
  }
  if (abs_a < abs_b) {
    const u128 t = a;
    a = b;
    b = t;
    abs_a = a & ~kSign;
    abs_b = b & ~kSign;
  }
  // A subnormal has exponent 1 and no leading one.
  const int ex = field_of(a), ey = field_of(b);
  return add_core(static_cast<u64>(a >> 127), opposite_signs(a, b), ex != 0 ? ex : 1,
                  ((abs_a & kFraction) | (ex != 0 ? kImplicit : 0)) << 14, ey != 0 ? ey : 1,
                  ((abs_b & kFraction) | (ey != 0 ? kImplicit : 0)) << 14);
}

// A difference of two normal operands that cancelled more than 62 bits:
// m < 2^64, the result exact (then the exponents differ by at most one and
// nothing was shifted out) or zero.
__attribute__((noinline)) u128 add_cancelled(u64 sign, int ex, u64 m) {
  if (m == 0) return signed_zero(rounding() == kDownward);
  const int shift = 64 + __builtin_clzll(m);
  return round_pack(sign, ex + 1 - shift, static_cast<u128>(m) << shift);
}

// The sum of two binary128s given as halves, b's sign already flipped for a
// subtraction.  Normal operands take the straight path here: the larger
// magnitude first (its sign is the result's), the smaller one's significand
// shifted right with the bits shifted out kept as a sticky bit, the sum or
// difference in one 128-bit add, one normalising shift and the rounding.
__attribute__((always_inline)) inline __float128 add(u64 a_hi, u64 a_lo, u64 b_hi, u64 b_lo,
                                                     bool subtract) {
  const unsigned field_a = static_cast<unsigned>(a_hi >> 48) & kExpMax;
  const unsigned field_b = static_cast<unsigned>(b_hi >> 48) & kExpMax;
  if (__builtin_expect(field_a - 1 >= kExpMax - 1 || field_b - 1 >= kExpMax - 1, 0)) {
    const u128 r = add_rare((static_cast<u128>(a_hi) << 64) | a_lo,
                            (static_cast<u128>(b_hi) << 64) | b_lo, subtract);
    return from_halves(static_cast<u64>(r >> 64), static_cast<u64>(r));
  }
  // The magnitudes compare as integers, the exponents with them.
  const u128 abs_a = (static_cast<u128>(a_hi & ~kSignBit) << 64) | a_lo;
  const u128 abs_b = (static_cast<u128>(b_hi & ~kSignBit) << 64) | b_lo;
  const bool swap = abs_a < abs_b;
  const u64 x_hi = swap ? b_hi : a_hi, x_lo = swap ? b_lo : a_lo;
  const u64 y_hi = swap ? a_hi : b_hi, y_lo = swap ? a_lo : b_lo;
  const int ex = static_cast<int>(swap ? field_b : field_a);
  const int ey = static_cast<int>(swap ? field_a : field_b);
  // All ones when the magnitudes are subtracted.  Hidden from the
  // optimiser, which would otherwise branch on the signs: they are as often
  // alike as not.
  u64 negate = static_cast<u64>(static_cast<int64_t>(a_hi ^ b_hi) >> 63);
  __asm__("" : "+r"(negate));
  // Significands with their leading ones at bit 126, 14 bits below the
  // last one clear, bit 127 for the carry.
  constexpr u64 kLead = static_cast<u64>(1) << 62, kBelowLead = kLead - 1;
  const u64 mx_hi = (shift_left_high<14>(x_hi, x_lo) & kBelowLead) | kLead, mx_lo = x_lo << 14;
  const u64 my_hi = (shift_left_high<14>(y_hi, y_lo) & kBelowLead) | kLead, my_lo = y_lo << 14;
  // my >> d with the bits shifted out ORed into bit 0; from d = 127 on only
  // that sticky bit is left.  With bit 0 of mx clear, a sticky bit leaves
  // the sum or difference odd, so no rounding boundary is mistaken; when the
  // difference cancels more than one bit, nothing was shifted out.
  const int d = ex - ey < 127 ? ex - ey : 127;
  const unsigned n = static_cast<unsigned>(d) & 63;
  const u64 part_lo = shift_right_low(my_hi, my_lo, n), part_hi = my_hi >> n;
  const u64 below = my_lo & ((static_cast<u64>(1) << n) - 1);
  const bool far = d >= 64;
  const u64 lost = below | (far ? part_lo : 0);
  const u64 sy_lo = (far ? part_hi : part_lo) | (lost != 0);
  const u64 sy_hi = far ? 0 : part_hi;
  // mx + my, or mx - my as mx + ~my + 1 (mx's low bits are clear for the
  // + 1, which never carries).
  const u128 m = ((static_cast<u128>(mx_hi) << 64) | (mx_lo - negate)) +
                 ((static_cast<u128>(sy_hi ^ negate) << 64) | (sy_lo ^ negate));
  const u64 m_hi = static_cast<u64>(m >> 64), m_lo = static_cast<u64>(m);
  const u64 sign = x_hi >> 63;
  if (__builtin_expect(m_hi == 0, 0)) {
    const u128 r = add_cancelled(sign, ex, m_lo);
    return from_halves(static_cast<u64>(r >> 64), static_cast<u64>(r));
  }
  const unsigned shift = static_cast<unsigned>(__builtin_clzll(m_hi));
  return round_pack_halves(sign, ex + 1 - static_cast<int>(shift),
                           shift_left_high(m_hi, m_lo, shift), m_lo << shift);
}

// The significand of a finite nonzero operand with its leading one at bit
// 112 and its exponent (below 1 for a subnormal).
inline u128 normalize(u128 abs_x, int* e) {
  const int field = static_cast<int>(abs_x >> 112);
  if (field != 0) {
    *e = field;
    return (abs_x & kFraction) | kImplicit;
  }
  const int shift = clz128(abs_x) - 15;
  *e = 1 - shift;
  return abs_x << shift;
}

// An unrounded result for round_pack: its exponent and m = hi:lo with the
// leading one at bit 127 of m, bit 0 ORed with any nonzero bits below.
struct Unrounded {
  int e;
  u64 hi, lo;
};

// Product of two significands with their leading ones at bit 63 of the high
// words a1 and b1 (the low words' 15 low bits clear).
__attribute__((always_inline)) inline Unrounded product(int e, u64 a1, u64 a0, u64 b1, u64 b0) {
  // The 256-bit product r3:r2:r1:r0, in [2^254, 2^256), its carries in
  // one chain (the compiler's 128-bit sums spill to memory).
  const u128 p00 = static_cast<u128>(a0) * b0, p01 = static_cast<u128>(a0) * b1;
  const u128 p10 = static_cast<u128>(a1) * b0, p11 = static_cast<u128>(a1) * b1;
  u64 r1 = static_cast<u64>(p00 >> 64), r2 = static_cast<u64>(p11), r3 = static_cast<u64>(p11 >> 64);
  __asm__(
      "addq %[p01_lo], %[r1]\n\t"
      "adcq %[p01_hi], %[r2]\n\t"
      "adcq $0, %[r3]\n\t"
      "addq %[p10_lo], %[r1]\n\t"
      "adcq %[p10_hi], %[r2]\n\t"
      "adcq $0, %[r3]"
      : [r1] "+&r"(r1), [r2] "+&r"(r2), [r3] "+&r"(r3)
      : [p01_lo] "r"(static_cast<u64>(p01)), [p01_hi] "r"(static_cast<u64>(p01 >> 64)),
        [p10_lo] "r"(static_cast<u64>(p10)), [p10_hi] "r"(static_cast<u64>(p10 >> 64))
      : "cc");
  // Below 2^255 the product doubles; the low half only matters as sticky.
  const unsigned doubles = static_cast<unsigned>(~r3 >> 63);
  const u64 hi = shift_left_high(r3, r2, doubles), lo = r2 << doubles;
  return {e + 1 - static_cast<int>(doubles), hi, lo | ((r1 | static_cast<u64>(p00)) != 0)};
}

inline u128 round_pack(u64 sign, const Unrounded& r) {
  return round_pack(sign, r.e, (static_cast<u128>(r.hi) << 64) | r.lo);
}

// Product of two significands with their leading ones at bit 112.
inline u128 mul_core(u64 sign, int ea, u128 sa, int eb, u128 sb) {
  const u128 ma = sa << 15, mb = sb << 15;  // leading ones at bit 127
  return round_pack(sign, product(ea + eb - kBias, static_cast<u64>(ma >> 64), static_cast<u64>(ma),
                                  static_cast<u64>(mb >> 64), static_cast<u64>(mb)));
}

__attribute__((noinline)) u128 mul_rare(u128 a, u128 b) {
  const u64 sign = static_cast<u64>((a ^ b) >> 127);
  const u128 abs_a = a & ~kSign, abs_b = b & ~kSign;
  if (is_nan(a) || is_nan(b)) return propagate_nan(a, b, true);
  if (abs_a == kInfinity || abs_b == kInfinity) {
    if (abs_a == 0 || abs_b == 0) return kDefaultNaN;
    return signed_zero(sign) | kInfinity;
  }
  if (abs_a == 0 || abs_b == 0) return signed_zero(sign);
  int ea, eb;
  const u128 sa = normalize(abs_a, &ea), sb = normalize(abs_b, &eb);
  return mul_core(sign, ea, sa, eb, sb);
}

// Both operands normal, given as halves: neither zero, subnormal, infinite
// nor NaN.
inline bool both_normal(u64 a_hi, u64 b_hi) {
  return (static_cast<unsigned>(a_hi >> 48) & kExpMax) - 1 < kExpMax - 1 &&
         (static_cast<unsigned>(b_hi >> 48) & kExpMax) - 1 < kExpMax - 1;
}

inline __float128 from_bits_rare(u128 r) {
  return from_halves(static_cast<u64>(r >> 64), static_cast<u64>(r));
}

// The significand of a normal operand with its leading one at bit 63 of
// the high word.
inline u64 high_significand(u64 hi, u64 lo) { return shift_left_high<15>(hi, lo) | kSignBit; }

__attribute__((always_inline)) inline __float128 mul(u64 a_hi, u64 a_lo, u64 b_hi, u64 b_lo) {
  if (__builtin_expect(!both_normal(a_hi, b_hi), 0)) {
    return from_bits_rare(mul_rare((static_cast<u128>(a_hi) << 64) | a_lo,
                                   (static_cast<u128>(b_hi) << 64) | b_lo));
  }
  const int e = static_cast<int>((a_hi >> 48) & kExpMax) + static_cast<int>((b_hi >> 48) & kExpMax);
  const Unrounded r = product(e - kBias, high_significand(a_hi, a_lo), a_lo << 15,
                              high_significand(b_hi, b_lo), b_lo << 15);
  return round_pack_halves((a_hi ^ b_hi) >> 63, r.e, r.hi, r.lo);
}

// q = (hi:lo) / d, the remainder in *r; hi < d.
inline u64 div_2by1(u64 hi, u64 lo, u64 d, u64* r) {
  u64 q;
  __asm__("divq %4" : "=a"(q), "=d"(*r) : "a"(lo), "d"(hi), "rm"(d) : "cc");
  return q;
}

// The 64-bit quotient of u * 2^64 by d, d with bit 127 set and u < d; the
// remainder, below d, in *rem.
inline u64 div_3by2(u128 u, u128 d, u128* rem) {
  const u64 u2 = static_cast<u64>(u >> 64), u1 = static_cast<u64>(u);
  const u64 d1 = static_cast<u64>(d >> 64), d0 = static_cast<u64>(d);
  u64 q;
  u128 rhat;  // (u2:u1) - q * d1
  if (__builtin_expect(u2 < d1, 1)) {
    u64 r;
    q = div_2by1(u2, u1, d1, &r);
    rhat = r;
  } else {  // u2 == d1: the quotient digit is at most 2^64 - 1
    q = ~static_cast<u64>(0);
    rhat = static_cast<u128>(u1) + d1;
  }
  // q * d > u * 2^64 exactly when q * d0 > rhat * 2^64; then q is one too
  // large, at most twice.  Once rhat reaches 2^64 the test is false.
  u128 p = static_cast<u128>(q) * d0;
  for (int i = 0; i < 2; ++i) {
    const bool over = (rhat >> 64) == 0 && p > (rhat << 64);
    q -= over;
    rhat += over ? d1 : 0;
    p -= over ? d0 : 0;
  }
  // The remainder is below 2^128, so it is exact modulo 2^128.
  *rem = (rhat << 64) - p;
  return q;
}

// Quotient of two significands with their leading ones at bit 127.
__attribute__((always_inline)) inline Unrounded quotient(int e, u128 ma, u128 mb) {
  // Halve ma when not below mb (exact: its 15 low bits are clear).
  const unsigned halve = ma >= mb;
  const u64 ma_hi = static_cast<u64>(ma >> 64);
  ma = (static_cast<u128>(ma_hi >> halve) << 64) | shift_right_low(ma_hi, static_cast<u64>(ma), halve);
  // q = floor(ma * 2^128 / mb), in [2^127, 2^128), two 64-bit digits.
  u128 rem;
  const u64 q1 = div_3by2(ma, mb, &rem);
  const u64 q0 = div_3by2(rem, mb, &rem);
  return {e + static_cast<int>(halve), q1, q0 | (rem != 0)};
}

// Quotient of two significands with their leading ones at bit 112.
inline u128 div_core(u64 sign, int ea, u128 sa, int eb, u128 sb) {
  return round_pack(sign, quotient(ea - eb + kBias - 1, sa << 15, sb << 15));
}

__attribute__((noinline)) u128 div_rare(u128 a, u128 b) {
  const u64 sign = static_cast<u64>((a ^ b) >> 127);
  const u128 abs_a = a & ~kSign, abs_b = b & ~kSign;
  if (is_nan(a) || is_nan(b)) return propagate_nan(a, b, false);
  if (abs_a == kInfinity) return abs_b == kInfinity ? kDefaultNaN : signed_zero(sign) | kInfinity;
  if (abs_b == kInfinity) return signed_zero(sign);
  if (abs_b == 0) return abs_a == 0 ? kDefaultNaN : signed_zero(sign) | kInfinity;
  if (abs_a == 0) return signed_zero(sign);
  int ea, eb;
  const u128 sa = normalize(abs_a, &ea), sb = normalize(abs_b, &eb);
  return div_core(sign, ea, sa, eb, sb);
}

__attribute__((always_inline)) inline __float128 div(u64 a_hi, u64 a_lo, u64 b_hi, u64 b_lo) {
  if (__builtin_expect(!both_normal(a_hi, b_hi), 0)) {
    return from_bits_rare(div_rare((static_cast<u128>(a_hi) << 64) | a_lo,
                                   (static_cast<u128>(b_hi) << 64) | b_lo));
  }
  const int e = static_cast<int>((a_hi >> 48) & kExpMax) - static_cast<int>((b_hi >> 48) & kExpMax);
  const Unrounded r = quotient(e + kBias - 1,
                               (static_cast<u128>(high_significand(a_hi, a_lo)) << 64) | (a_lo << 15),
                               (static_cast<u128>(high_significand(b_hi, b_lo)) << 64) | (b_lo << 15));
  return round_pack_halves((a_hi ^ b_hi) >> 63, r.e, r.hi, r.lo);
}

}  // namespace

extern "C" {

__float128 __addtf3(__float128 a, __float128 b) {
  const Halves x = halves_of(a), y = halves_of(b);
  return add(x.hi, x.lo, y.hi, y.lo, false);
}

__float128 __subtf3(__float128 a, __float128 b) {
  const Halves x = halves_of(a), y = halves_of(b);
  return add(x.hi, x.lo, y.hi ^ kSignBit, y.lo, true);
}

__float128 __multf3(__float128 a, __float128 b) {
  const Halves x = halves_of(a), y = halves_of(b);
  return mul(x.hi, x.lo, y.hi, y.lo);
}

__float128 __divtf3(__float128 a, __float128 b) {
  const Halves x = halves_of(a), y = halves_of(b);
  return div(x.hi, x.lo, y.hi, y.lo);
}

}  // extern "C"

#endif  // MORVANTIDE_BINARY128_ARITH
