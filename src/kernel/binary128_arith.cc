#include "kernel/binary128_arith.h"

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
// set), as the binary128's two halves.  With nearest, the caller has seen
// that the rounding is to nearest.
template <bool nearest = false>
__attribute__((always_inline)) inline __float128 round_pack_halves(u64 sign, int e, u64 hi,
                                                                   u64 lo) {
  if (__builtin_expect(static_cast<unsigned>(e - 1) >= kExpMax - 1 ||
                           (!nearest && (_mm_getcsr() & 0x6000) != 0),
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

// Significands with their leading ones at bit 62 of the high word (bit 126
// of the whole), 14 bits below the last one clear, bit 127 for the carry.
constexpr u64 kLead = static_cast<u64>(1) << 62, kBelowLead = kLead - 1;
inline u64 sum_significand_high(u64 hi, u64 lo) {
  return (shift_left_high<14>(hi, lo) & kBelowLead) | kLead;
}

// mx + my (negate 0) or mx - my (negate all ones) of two such significands,
// mx's magnitude not below my's, of exponents ex >= ey: my shifted right by
// ex - ey with the bits shifted out ORed into bit 0, then one 128-bit add.
// The result is unnormalised: its leading one at bit 127 after a carry, at
// 126, or lower after a cancellation.
__attribute__((always_inline)) inline u128 sum_of_significands(int ex, u64 mx_hi, u64 mx_lo, int ey,
                                                               u64 my_hi, u64 my_lo, u64 negate) {
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
  return ((static_cast<u128>(mx_hi) << 64) | (mx_lo - negate)) +
         ((static_cast<u128>(sy_hi ^ negate) << 64) | (sy_lo ^ negate));
}

// The exact sum of two normal binary128s given as halves, b's sign already
// flipped for a subtraction, unnormalised as sum_of_significands leaves it,
// with the sign and exponent of the larger magnitude; field_a and field_b
// are the operands' exponent fields: the straight path of add() and of the
// extrapolation step's difference.
struct Sum {
  u64 sign;
  int e;
  u64 hi, lo;
};
__attribute__((always_inline)) inline Sum sum_of_normals(u64 a_hi, u64 a_lo, unsigned field_a,
                                                         u64 b_hi, u64 b_lo, unsigned field_b) {
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
  const u128 m = sum_of_significands(ex, sum_significand_high(x_hi, x_lo), x_lo << 14, ey,
                                     sum_significand_high(y_hi, y_lo), y_lo << 14, negate);
  return {x_hi >> 63, ex, static_cast<u64>(m >> 64), static_cast<u64>(m)};
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
  const Sum m = sum_of_normals(a_hi, a_lo, field_a, b_hi, b_lo, field_b);
  if (__builtin_expect(m.hi == 0, 0)) {
    const u128 r = add_cancelled(m.sign, m.e, m.lo);
    return from_halves(static_cast<u64>(r >> 64), static_cast<u64>(r));
  }
  const unsigned shift = static_cast<unsigned>(__builtin_clzll(m.hi));
  return round_pack_halves(m.sign, m.e + 1 - static_cast<int>(shift),
                           shift_left_high(m.hi, m.lo, shift), m.lo << shift);
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

// The extrapolation step a + (a - b) / d.  Its straight path: rounding to
// nearest, a, b and d normal, the difference and the quotient normal.  The
// difference and the quotient are rounded as __subtf3 and __divtf3 round
// them and kept as sign, exponent and significand; the sum is __addtf3's
// with one operand in that form.

inline bool is_normal_field(unsigned field) { return field - 1 < kExpMax - 1; }

// A normal result rounded to nearest: its sign, its exponent field (1 to
// 0x7FFE) and its 113-bit significand with the leading one at bit 63 of hi,
// the 15 bits below the last one clear.
struct Rounded {
  u64 sign;
  int e;
  u64 hi, lo;
};

// m = hi:lo (its leading one at bit 127, bit 0 ORed with any nonzero bits
// below) of exponent e as round_pack takes it, rounded to nearest even at 113
// bits as round_pack rounds it.  False when the result is not normal:
// round_pack would make it subnormal or infinite.
__attribute__((always_inline)) inline bool round_nearest(u64 sign, int e, u64 hi, u64 lo,
                                                         Rounded* r) {
  const unsigned rest = static_cast<unsigned>(lo) & 0x7FFF;
  const u64 up = (rest + 0x3FFF + (static_cast<unsigned>(lo >> 15) & 1)) >> 15;
  const u128 m = ((static_cast<u128>(hi) << 64) | (lo & ~static_cast<u64>(0x7FFF))) + (up << 15);
  // m >= 2^127 wraps to 0 only from 2^128 - 2^15 rounded up: the significand
  // 2^113, which is 1 at the next exponent.
  if (__builtin_expect(m == 0, 0)) {
    *r = {sign, e + 1, kSignBit, 0};
  } else {
    *r = {sign, e, static_cast<u64>(m >> 64), static_cast<u64>(m)};
  }
  return is_normal_field(static_cast<unsigned>(r->e));
}

// a - b of normal operands given as halves, rounded to nearest.  0: normal,
// in *r; 1: exactly zero; 2: subnormal or infinite.
__attribute__((always_inline)) inline int difference(u64 a_hi, u64 a_lo, unsigned field_a, u64 b_hi,
                                                     u64 b_lo, unsigned field_b, Rounded* r) {
  const Sum m = sum_of_normals(a_hi, a_lo, field_a, b_hi ^ kSignBit, b_lo, field_b);
  u64 hi = m.hi, lo = m.lo;
  int e = m.e;
  if (__builtin_expect(hi == 0, 0)) {
    // More than 62 bits cancelled: the difference is exact (add_cancelled).
    if (lo == 0) return 1;
    const int shift = __builtin_clzll(lo);
    hi = lo << shift;
    lo = 0;
    e -= 64 + shift - 1;
  } else {
    const unsigned shift = static_cast<unsigned>(__builtin_clzll(hi));
    hi = shift_left_high(hi, lo, shift);
    lo <<= shift;
    e += 1 - static_cast<int>(shift);
  }
  return round_nearest(m.sign, e, hi, lo, r) ? 0 : 2;
}

// a + q, a normal given as halves, q normal, rounded to nearest.
__attribute__((always_inline)) inline __float128 sum_with(u64 a_hi, u64 a_lo, unsigned field_a,
                                                          const Rounded& q) {
  // |a| against |q| as the bits of their magnitudes compare: q's packed.
  const u128 abs_a = (static_cast<u128>(a_hi & ~kSignBit) << 64) | a_lo;
  const u128 abs_q = (static_cast<u128>((static_cast<u64>(q.e - 1) << 48) + (q.hi >> 15)) << 64) |
                     shift_right_low(q.hi, q.lo, 15);
  const bool swap = abs_a < abs_q;
  // The significands as sum_of_significands takes them.
  const u64 ma_hi = sum_significand_high(a_hi, a_lo), ma_lo = a_lo << 14;
  const u64 mq_hi = q.hi >> 1, mq_lo = shift_right_low(q.hi, q.lo, 1);
  const int e_a = static_cast<int>(field_a);
  const int ex = swap ? q.e : e_a, ey = swap ? e_a : q.e;
  const u64 sign = swap ? q.sign : a_hi >> 63;
  u64 negate = -((a_hi >> 63) ^ q.sign);
  __asm__("" : "+r"(negate));
  const u128 m = sum_of_significands(ex, swap ? mq_hi : ma_hi, swap ? mq_lo : ma_lo, ey,
                                     swap ? ma_hi : mq_hi, swap ? ma_lo : mq_lo, negate);
  const u64 m_hi = static_cast<u64>(m >> 64), m_lo = static_cast<u64>(m);
  if (__builtin_expect(m_hi == 0, 0)) return from_bits_rare(add_cancelled(sign, ex, m_lo));
  const unsigned shift = static_cast<unsigned>(__builtin_clzll(m_hi));
  return round_pack_halves<true>(sign, ex + 1 - static_cast<int>(shift),
                                 shift_left_high(m_hi, m_lo, shift), m_lo << shift);
}

// The step as the three operations, for everything off the straight path.
// The sum's operands go to __addtf3 as g++ passes them for a + correction
// when it optimises: the correction first.  Only which of two NaNs of equal
// fraction and opposite signs comes out depends on that order.
__attribute__((noinline)) __float128 plain_step(__float128 a, __float128 b, __float128 d) {
  return __addtf3(__divtf3(__subtf3(a, b), d), a);
}

// Division by a divisor prepared once for many quotients.
//
// B, d's significand with its leading one at bit 127 (its 15 low bits clear),
// is not a power of two: 2^127 < B < 2^128.  Its reciprocal is
//   R = floor((2^256 - 1) / B) = 2^128 + r,  0 <= r < 2^128,
// so that (2^256 - 1) / B - 1 < R <= (2^256 - 1) / B.
//
// A, the dividend's significand at bit 127 halved when not below B (exact:
// its low bits are clear), lies in [B/2, B), and the quotient wanted is
// quotient()'s: the real number Q = A * 2^128 / B in [2^127, 2^128), rounded
// to nearest at 113 bits.  With A = a1 * 2^64 + a0 and r = r1 * 2^64 + r0,
//   q = A + a1 * r1 + floor(a1 * r0 / 2^64) + floor(a0 * r1 / 2^64)
// satisfies Q - 4 < q < Q:
//   - above: q <= A + floor(A * r / 2^128) <= A * R / 2^128
//     <= A * (2^256 - 1) / (B * 2^128) < Q;
//   - below: A * R / 2^128 > A * ((2^256 - 1) / B - 1) / 2^128
//     = Q - A * (1 + B) / (B * 2^128) > Q - 1, as A < B < 2^128, so
//     A + floor(A * r / 2^128) > Q - 2; and A * r / 2^128 exceeds
//     a1 * r1 + floor(a1 * r0 / 2^64) + floor(a0 * r1 / 2^64) by the
//     dropped low words, below 2 * (2^64 - 1) / 2^64 + 1 < 3, so q is at
//     most 2 below A + floor(A * r / 2^128): q > Q - 4.
// Rounding to nearest at 113 bits keeps the significand between two
// consecutive midpoints k * 2^15 + 2^14 (k an integer) and changes it at
// each.  When no midpoint lies in (q, Q], q plus any positive amount below
// the next midpoint rounds as Q does: q with a sticky bit in bit 0 rounds as
// Q.  A midpoint lies in (q, Q] only when one lies in (q, q + 4), that is
// when q's 15 low bits are 0x3FFD, 0x3FFE or 0x3FFF; then quotient()
// divides exactly, about 3 times in 2^15.  q may lie below 2^127, its
// leading one one bit lower than quotient() leaves it, only when
// Q < 2^127 + 4: A, B/2 and so A - B/2 are multiples of 2^14 and
// A - B/2 = (Q - 2^127) * B / 2^128 < 4, so A = B/2 and Q = 2^127.  Then q
// is 2^127 - 1, - 2 or - 3, which rounds up to 2^127, as Q.

// floor((u * 2^64 + 2^64 - 1) / d), d with bit 127 set and u < d; the
// remainder in *rem.  div_3by2 leaves r < d for u * 2^64; r + 2^64 - 1 is
// below 2 * d, so at most one more d goes in, and the quotient stays below
// 2^64 since u * 2^64 + 2^64 - 1 < d * 2^64.
u64 div_3by2_ones(u128 u, u128 d, u128* rem) {
  u128 r;
  u64 q = div_3by2(u, d, &r);
  u128 t = r + ~static_cast<u64>(0);
  if (t < r || t >= d) {  // t < r: the sum passed 2^128, so it is above d
    ++q;
    t -= d;
  }
  *rem = t;
  return q;
}

// r = floor((2^256 - 1) / b) - 2^128 for 2^127 < b < 2^128: the long
// division of 2^256 - 1 - 2^128 * b = (2^128 - 1 - b) * 2^128 + 2^128 - 1
// by b, two 64-bit digits.
u128 reciprocal_of(u128 b) {
  u128 rem;
  const u64 r1 = div_3by2_ones(~b, b, &rem);  // 2^128 - 1 - b < 2^127 < b
  const u64 r0 = div_3by2_ones(rem, b, &rem);
  return (static_cast<u128>(r1) << 64) | r0;
}

// quotient(e, ma, mb) for mb = B, not a power of two, and r its reciprocal
// as above.  ma's 15 low bits are clear.
__attribute__((always_inline)) inline Unrounded quotient_by_reciprocal(int e, u128 ma, u128 mb,
                                                                       u64 r1, u64 r0) {
  const unsigned halve = ma >= mb;
  const u64 ma_hi = static_cast<u64>(ma >> 64);
  const u64 a1 = ma_hi >> halve, a0 = shift_right_low(ma_hi, static_cast<u64>(ma), halve);
  // The sum stays below 2^128: (2^64 - 1)^2 + 2 * (2^64 - 1) < 2^128, and
  // q < Q < 2^128.
  const u128 q = ((static_cast<u128>(a1) << 64) | a0) + static_cast<u128>(a1) * r1 +
                 ((static_cast<u128>(a1) * r0) >> 64) + ((static_cast<u128>(a0) * r1) >> 64);
  const u64 q_hi = static_cast<u64>(q >> 64), q_lo = static_cast<u64>(q);
  if (__builtin_expect((static_cast<unsigned>(q_lo) & 0x7FFF) - 0x3FFD < 3, 0)) {
    return quotient(e, ma, mb);
  }
  return {e + static_cast<int>(halve), q_hi, q_lo | 1};
}

// The significand of a normal operand with its leading one at bit 127.
inline u128 significand_127(u64 hi, u64 lo) {
  return (static_cast<u128>(high_significand(hi, lo)) << 64) | (lo << 15);
}

// The straight path of the step, divide(diff, &q) forming the rounded
// quotient of the rounded difference (false when it is not normal).  False
// when the step leaves the straight path; else the result in *out.
template <typename Divide>
__attribute__((always_inline)) inline bool straight_step(Halves x, Halves y, Divide divide,
                                                         __float128* out) {
  const unsigned field_a = static_cast<unsigned>(x.hi >> 48) & kExpMax;
  const unsigned field_b = static_cast<unsigned>(y.hi >> 48) & kExpMax;
  if (__builtin_expect(!is_normal_field(field_a) || !is_normal_field(field_b) ||
                           (_mm_getcsr() & 0x6000) != 0,
                       0)) {
    return false;
  }
  Rounded diff;
  const int kind = difference(x.hi, x.lo, field_a, y.hi, y.lo, field_b, &diff);
  if (__builtin_expect(kind != 0, 0)) {
    // a - b = +0 when rounding to nearest, +0 / d = +0 or -0, and a + 0 of
    // either sign is a, a being neither zero nor NaN.
    if (kind != 1) return false;
    *out = from_halves(x.hi, x.lo);
    return true;
  }
  Rounded q;
  if (__builtin_expect(!divide(diff, &q), 0)) return false;
  *out = sum_with(x.hi, x.lo, field_a, q);
  return true;
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

namespace morvantide::binary128 {

__float128 extrapolation_step(__float128 a, __float128 b, __float128 d) {
  const Halves z = halves_of(d);
  const unsigned field_d = static_cast<unsigned>(z.hi >> 48) & kExpMax;
  if (__builtin_expect(is_normal_field(field_d), 1)) {
    const u128 mb = significand_127(z.hi, z.lo);
    const u64 sign_d = z.hi >> 63;
    __float128 r;
    const auto divide = [&](const Rounded& diff, Rounded* q) {
      const Unrounded u = quotient(diff.e - static_cast<int>(field_d) + kBias - 1,
                                   (static_cast<u128>(diff.hi) << 64) | diff.lo, mb);
      return round_nearest(diff.sign ^ sign_d, u.e, u.hi, u.lo, q);
    };
    if (__builtin_expect(straight_step(halves_of(a), halves_of(b), divide, &r), 1)) return r;
  }
  return plain_step(a, b, d);
}

Divisor::Divisor(__float128 d) : d_(d) {
  const Halves z = halves_of(d);
  const unsigned field = static_cast<unsigned>(z.hi >> 48) & kExpMax;
  if (!is_normal_field(field)) return;
  exponent_ = static_cast<int>(field);
  sign_ = z.hi >> 63;
  significand_ = significand_127(z.hi, z.lo);
  if ((z.hi & kHighFraction) == 0 && z.lo == 0) {
    kind_ = 1;
  } else {
    kind_ = 2;
    reciprocal_ = reciprocal_of(significand_);
  }
}

__float128 extrapolation_step(__float128 a, __float128 b, const Divisor& d) {
  __float128 r;
  if (d.kind_ == 2) {
    const u128 mb = d.significand_;
    const u64 r1 = static_cast<u64>(d.reciprocal_ >> 64), r0 = static_cast<u64>(d.reciprocal_);
    const int e = kBias - 1 - d.exponent_;
    const u64 sign_d = d.sign_;
    const auto divide = [&](const Rounded& diff, Rounded* q) {
      const u128 ma = (static_cast<u128>(diff.hi) << 64) | diff.lo;
      const Unrounded u = quotient_by_reciprocal(diff.e + e, ma, mb, r1, r0);
      return round_nearest(diff.sign ^ sign_d, u.e, u.hi, u.lo, q);
    };
    if (__builtin_expect(straight_step(halves_of(a), halves_of(b), divide, &r), 1)) return r;
  } else if (d.kind_ == 1) {
    // A power of two: the quotient is the difference with another exponent.
    const int e = kBias - d.exponent_;
    const u64 sign_d = d.sign_;
    const auto divide = [&](const Rounded& diff, Rounded* q) {
      *q = {diff.sign ^ sign_d, diff.e + e, diff.hi, diff.lo};
      return is_normal_field(static_cast<unsigned>(q->e));
    };
    if (straight_step(halves_of(a), halves_of(b), divide, &r)) return r;
  }
  return plain_step(a, b, d.d_);
}

}  // namespace morvantide::binary128

#endif  // MORVANTIDE_BINARY128_ARITH
