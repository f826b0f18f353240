#include "common/binary128_arith.h"

#if defined(MORVANTIDE_BINARY128_ARITH)

#include <xmmintrin.h>

#include <cstdint>
#include <cstring>

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

inline u128 bits_of(__float128 x) {
  u128 u;
  std::memcpy(&u, &x, sizeof u);
  return u;
}

inline __float128 from_bits(u128 u) {
  __float128 x;
  std::memcpy(&x, &u, sizeof x);
  return x;
}

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
inline u128 round_up(u64 sign, unsigned rest, u128 sig) {
  switch (rounding()) {
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

u128 overflow(u64 sign) {
  const int mode = rounding();
  const bool to_infinity = mode == kNearest || (mode == kUpward && sign == 0) ||
                           (mode == kDownward && sign != 0);
  return signed_zero(sign) | (to_infinity ? kInfinity : kLargest);
}

// Subnormal, zero or overflowing results of round_pack.
__attribute__((noinline)) u128 round_pack_rare(u64 sign, int e, u128 m) {
  if (e >= kExpMax) return overflow(sign);
  m = shift_right_jam(m, 1 - e);
  const u128 sig = m >> 15;
  const unsigned rest = static_cast<unsigned>(m) & 0x7FFF;
  // A carry out of the subnormal fraction makes the smallest normal.
  u128 r = signed_zero(sign) + sig;
  if (rest != 0) r += round_up(sign, rest, sig);
  return r;
}

// The binary128 of (-1)^sign * m / 2^127 * 2^(e - kBias), rounded: m holds
// its leading one at bit 127, and bit 0 is ORed with any nonzero bits below.
inline u128 round_pack(u64 sign, int e, u128 m) {
  if (__builtin_expect(e >= 1 && e < kExpMax, 1)) {
    const u128 sig = m >> 15;  // 113 bits, the leading one included
    const unsigned rest = static_cast<unsigned>(m) & 0x7FFF;
    // The leading one adds 1 to e - 1; a carry out of rounding moves on
    // into the exponent, and from the largest finite to infinity.
    u128 r = signed_zero(sign) + (static_cast<u128>(e - 1) << 112) + sig;
    if (rest != 0) r += round_up(sign, rest, sig);
    return r;
  }
  return round_pack_rare(sign, e, m);
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

// Sum of a and b (the sign of b already flipped for a subtraction) when an
// operand is infinite or NaN; `subtract` tells which operation it is.
__attribute__((noinline)) u128 add_special(u128 a, u128 b, bool subtract) {
  if (is_nan(a) || is_nan(b)) return propagate_nan(a, b ^ (subtract ? kSign : 0), !subtract);
  const bool a_inf = (a & ~kSign) == kInfinity, b_inf = (b & ~kSign) == kInfinity;
  if (a_inf && b_inf) return ((a ^ b) & kSign) != 0 ? kDefaultNaN : a;
  return a_inf ? a : b;
}

u128 add(u128 a, u128 b, bool subtract) {
  if (subtract) b ^= kSign;
  u128 abs_a = a & ~kSign, abs_b = b & ~kSign;
  if (__builtin_expect(abs_a >= kInfinity || abs_b >= kInfinity, 0)) {
    return add_special(a, b, subtract);
  }
  // The larger magnitude first: its sign is the result's.
  if (abs_a < abs_b) {
    const u128 t = a;
    a = b;
    b = t;
    const u128 ta = abs_a;
    abs_a = abs_b;
    abs_b = ta;
  }
  const u64 sign = static_cast<u64>(a >> 127);
  const bool same_sign = ((a ^ b) & kSign) == 0;
  const int ea_field = static_cast<int>(abs_a >> 112);
  const int eb_field = static_cast<int>(abs_b >> 112);
  // Significands with 14 guard bits: a normal one has its leading one at
  // bit 126, bit 127 takes the carry of a sum.  A subnormal keeps exponent 1.
  const u128 ma = ((abs_a & kFraction) | (ea_field != 0 ? kImplicit : 0)) << 14;
  u128 mb = ((abs_b & kFraction) | (eb_field != 0 ? kImplicit : 0)) << 14;
  const int ea = ea_field != 0 ? ea_field : 1;
  const int eb = eb_field != 0 ? eb_field : 1;
  if (ea != eb) mb = shift_right_jam(mb, ea - eb);
  // With bit 0 of ma clear, a jammed bit 0 of mb leaves the result odd, so
  // no rounding boundary is mistaken in either sum or difference.  When
  // the difference cancels more than two bits, nothing was shifted out.
  const u128 m = same_sign ? ma + mb : ma - mb;
  if (m == 0) {
    // Two zeros of one sign keep it; an exact zero difference is +0, or -0
    // when rounding downward.
    if (same_sign) return signed_zero(sign);
    return signed_zero(rounding() == kDownward);
  }
  const int shift = clz128(m);
  return round_pack(sign, ea + 1 - shift, m << shift);
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

inline bool is_special_field(int field) {
  return static_cast<unsigned>(field - 1) >= static_cast<unsigned>(kExpMax - 1);
}

u128 mul(u128 a, u128 b) {
  const u64 sign = static_cast<u64>((a ^ b) >> 127);
  const u128 abs_a = a & ~kSign, abs_b = b & ~kSign;
  if (__builtin_expect(is_special_field(static_cast<int>(abs_a >> 112)) ||
                           is_special_field(static_cast<int>(abs_b >> 112)),
                       0)) {
    if (is_nan(a) || is_nan(b)) return propagate_nan(a, b, true);
    if (abs_a == kInfinity || abs_b == kInfinity) {
      if (abs_a == 0 || abs_b == 0) return kDefaultNaN;
      return signed_zero(sign) | kInfinity;
    }
    if (abs_a == 0 || abs_b == 0) return signed_zero(sign);
  }
  int ea, eb;
  const u128 ma = normalize(abs_a, &ea) << 15;  // leading one at bit 127
  const u128 mb = normalize(abs_b, &eb) << 15;
  // The 256-bit product, in [2^254, 2^256).
  const u64 a0 = static_cast<u64>(ma), a1 = static_cast<u64>(ma >> 64);
  const u64 b0 = static_cast<u64>(mb), b1 = static_cast<u64>(mb >> 64);
  const u128 p00 = static_cast<u128>(a0) * b0, p01 = static_cast<u128>(a0) * b1;
  const u128 p10 = static_cast<u128>(a1) * b0, p11 = static_cast<u128>(a1) * b1;
  const u128 mid = (p00 >> 64) + static_cast<u64>(p01) + static_cast<u64>(p10);
  const u128 lo = (mid << 64) | static_cast<u64>(p00);
  u128 hi = p11 + (p01 >> 64) + (p10 >> 64) + (mid >> 64);
  int e = ea + eb - kBias;
  if ((hi >> 127) != 0) {
    hi |= lo != 0;
    e += 1;
  } else {
    hi = (hi << 1) | (lo >> 127) | ((lo << 1) != 0);
  }
  return round_pack(sign, e, hi);
}

// q = (hi:lo) / d, the remainder in *r; hi < d.
inline u64 div_2by1(u64 hi, u64 lo, u64 d, u64* r) {
  u64 q;
  __asm__("divq %4" : "=a"(q), "=d"(*r) : "a"(lo), "d"(hi), "rm"(d) : "cc");
  return q;
}

// The 64-bit quotient of (u:low) by d, d with bit 127 set and u < d; the
// remainder, below d, in *rem.
inline u64 div_3by2(u128 u, u64 low, u128 d, u128* rem) {
  const u64 u2 = static_cast<u64>(u >> 64), u1 = static_cast<u64>(u);
  const u64 d1 = static_cast<u64>(d >> 64), d0 = static_cast<u64>(d);
  u64 q;
  u128 rhat;  // (u2:u1) - q * d1
  if (u2 < d1) {
    u64 r;
    q = div_2by1(u2, u1, d1, &r);
    rhat = r;
  } else {  // u2 == d1: the quotient digit is at most 2^64 - 1
    q = ~static_cast<u64>(0);
    rhat = static_cast<u128>(u1) + d1;
  }
  // q * d > u:low exactly when q * d0 > rhat:low; at most twice.
  for (int i = 0; i < 2 && (rhat >> 64) == 0; ++i) {
    if (static_cast<u128>(q) * d0 <= ((rhat << 64) | low)) break;
    --q;
    rhat += d1;
  }
  // The remainder is below 2^128, so it is exact modulo 2^128.
  *rem = ((u << 64) | low) - static_cast<u128>(q) * d;
  return q;
}

u128 div(u128 a, u128 b) {
  const u64 sign = static_cast<u64>((a ^ b) >> 127);
  const u128 abs_a = a & ~kSign, abs_b = b & ~kSign;
  if (__builtin_expect(is_special_field(static_cast<int>(abs_a >> 112)) ||
                           is_special_field(static_cast<int>(abs_b >> 112)),
                       0)) {
    if (is_nan(a) || is_nan(b)) return propagate_nan(a, b, false);
    if (abs_a == kInfinity) {
      return abs_b == kInfinity ? kDefaultNaN : signed_zero(sign) | kInfinity;
    }
    if (abs_b == kInfinity) return signed_zero(sign);
    if (abs_b == 0) return abs_a == 0 ? kDefaultNaN : signed_zero(sign) | kInfinity;
    if (abs_a == 0) return signed_zero(sign);
  }
  int ea, eb;
  u128 ma = normalize(abs_a, &ea) << 15;  // leading one at bit 127
  const u128 mb = normalize(abs_b, &eb) << 15;
  int e = ea - eb + kBias - 1;
  if (ma >= mb) {  // 15 clear low bits: the halving is exact
    ma >>= 1;
    e += 1;
  }
  // q = floor(ma * 2^128 / mb), in [2^127, 2^128), two 64-bit digits.
  u128 rem;
  const u64 q1 = div_3by2(ma, 0, mb, &rem);
  const u64 q0 = div_3by2(rem, 0, mb, &rem);
  const u128 q = (static_cast<u128>(q1) << 64) | q0 | (rem != 0);
  return round_pack(sign, e, q);
}

}  // namespace

extern "C" {

__float128 __addtf3(__float128 a, __float128 b) {
  return from_bits(add(bits_of(a), bits_of(b), false));
}

__float128 __subtf3(__float128 a, __float128 b) {
  return from_bits(add(bits_of(a), bits_of(b), true));
}

__float128 __multf3(__float128 a, __float128 b) { return from_bits(mul(bits_of(a), bits_of(b))); }

__float128 __divtf3(__float128 a, __float128 b) { return from_bits(div(bits_of(a), bits_of(b))); }

}  // extern "C"

#endif  // MORVANTIDE_BINARY128_ARITH
