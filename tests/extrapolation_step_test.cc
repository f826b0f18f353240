// The fused extrapolation step a + (a - b) / d, with d as it is and with d
// prepared as a Divisor, against the three operations it stands for, bit
// pattern for bit pattern, in all four rounding modes: every class of each
// operand, differences that cancel or vanish, quotients and sums next to
// ties, results at the edges of the subnormal and overflow ranges, and
// divisors that are powers of two.

#include "kernel/binary128_arith.h"

#include <gtest/gtest.h>

#if defined(MORVANTIDE_BINARY128_ARITH)
#include <fenv.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using u64 = uint64_t;
using u128 = unsigned __int128;
using morvantide::binary128::bits_of;
using morvantide::binary128::Divisor;
using morvantide::binary128::extrapolation_step;
using morvantide::binary128::from_bits;
using morvantide::binary128::multiply_wide;

constexpr u128 kSign = static_cast<u128>(1) << 127;
constexpr u128 kImplicit = static_cast<u128>(1) << 112;
constexpr u128 kFraction = kImplicit - 1;
constexpr u128 kQuiet = static_cast<u128>(1) << 111;
constexpr u128 kInfinity = static_cast<u128>(0x7FFF) << 112;

// e is clamped to the normal exponents 1..0x7FFE; fraction's bits above 112
// are dropped.
u128 make(u64 sign, int e, u128 fraction) {
  e = e < 1 ? 1 : e > 0x7FFE ? 0x7FFE : e;
  return (static_cast<u128>(sign) << 127) | (static_cast<u128>(e) << 112) | (fraction & kFraction);
}
int e_of(u128 x) { return static_cast<int>(x >> 112) & 0x7FFF; }
std::string hex(u128 u) {
  char text[40];
  std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(u >> 64),
                static_cast<unsigned long long>(u));
  return text;
}

// The step as the program wrote it before it was fused,
//   const __float128 difference = a - b;
//   const __float128 correction = difference / d;
//   return a + correction;
// with the sum's operands in the order g++ passes them when it optimises
// (checked below).
__float128 three_operations(__float128 a, __float128 b, __float128 d) {
  return __addtf3(__divtf3(__subtf3(a, b), d), a);
}

// The inverse of an odd x modulo 2^128 (Newton's iteration doubles the
// correct low bits from the 3 of x itself).
u128 inverse(u128 x) {
  u128 y = x;
  for (int i = 0; i < 6; ++i) y *= 2 - x * y;
  return y;
}

struct Triple {
  u128 a, b, d;
};

const int kModes[4] = {FE_TONEAREST, FE_TOWARDZERO, FE_UPWARD, FE_DOWNWARD};
const char* const kModeNames[4] = {"nearest", "toward zero", "upward", "downward"};

class ExtrapolationStep : public ::testing::Test {
 protected:
  void TearDown() override { fesetround(FE_TONEAREST); }

  // Every triple in the four rounding modes, through the step with d and
  // with Divisor(d).  Reports the first few differences.
  void expect_same(const std::vector<Triple>& triples) {
    int shown = 0;
    long differences = 0;
    for (int mode = 0; mode < 4; ++mode) {
      ASSERT_EQ(fesetround(kModes[mode]), 0);
      for (const Triple& t : triples) {
        const __float128 a = from_bits(t.a), b = from_bits(t.b), d = from_bits(t.d);
        const u128 expected = bits_of(three_operations(a, b, d));
        const u128 fused = bits_of(extrapolation_step(a, b, d));
        const u128 prepared = bits_of(extrapolation_step(a, b, Divisor(d)));
        if (fused == expected && prepared == expected) continue;
        ++differences;
        if (shown++ < 10) {
          ADD_FAILURE() << "rounding " << kModeNames[mode] << ": a " << hex(t.a) << ", b "
                        << hex(t.b) << ", d " << hex(t.d) << " gives " << hex(fused)
                        << ", prepared " << hex(prepared) << ", three operations "
                        << hex(expected);
        }
      }
    }
    fesetround(FE_TONEAREST);
    EXPECT_EQ(differences, 0) << "of " << triples.size() * 4 << " steps";
  }

  std::mt19937_64 random_{20240611};
  u128 random_bits() { return (static_cast<u128>(random_()) << 64) | random_(); }
  int uniform(int lo, int hi) { return lo + static_cast<int>(random_() % (hi - lo + 1)); }
  u64 coin() { return random_() & 1; }
  // A normal number of exponent e, with a random fraction of random length.
  u128 with_e(int e) {
    return make(coin(), e, random_bits() >> (random_() % 4 ? 0 : uniform(1, 112)));
  }
  // A normal number whose exponent is within 60 of 1's.
  u128 moderate() { return with_e(uniform(16383 - 60, 16383 + 60)); }
  // 2 * x, x a normal number below the largest exponent.
  static u128 twice(u128 x) { return x + kImplicit; }
};

TEST_F(ExtrapolationStep, EveryClassOfEachOperand) {
  // Zero, subnormals, the smallest normal, 1 and its neighbours, 2, 3, the
  // largest finite, infinity, signalling and quiet NaNs with payloads.
  const u128 magnitudes[] = {0, 1, kFraction, make(0, 1, 0), make(0, 16383, 0), make(0, 16383, 1),
                             make(0, 16382, kFraction), make(0, 16384, 0),
                             make(0, 16384, kImplicit >> 1), make(0, 0x7FFE, kFraction), kInfinity,
                             kInfinity | 1, kInfinity | (kQuiet - 1), kInfinity | kQuiet,
                             kInfinity | kQuiet | 0x1234, kInfinity | kFraction};
  std::vector<Triple> triples;
  for (u128 a : magnitudes) {
    for (u128 b : magnitudes) {
      for (u128 d : magnitudes) {
        for (int s = 0; s < 8; ++s) {
          triples.push_back(
              {a | (s & 1 ? kSign : 0), b | (s & 2 ? kSign : 0), d | (s & 4 ? kSign : 0)});
        }
      }
    }
  }
  expect_same(triples);
}

#if defined(__OPTIMIZE__)
// three_operations is what g++ makes of the three lines when it optimises:
// of two NaNs of equal fraction __addtf3 returns the first, so the order of
// the sum's operands shows in a - b = -NaN, d = +NaN of the same fraction.
__attribute__((noipa)) __float128 as_written(__float128 a, __float128 b, __float128 d) {
  const __float128 difference = a - b;
  const __float128 correction = difference / d;
  return a + correction;
}
TEST(ExtrapolationStepOrder, TheThreeLinesPassTheCorrectionFirst) {
  const __float128 a = from_bits(kSign | kInfinity | kQuiet), b = 0;
  const __float128 d = from_bits(kInfinity | kQuiet);
  EXPECT_EQ(hex(bits_of(as_written(a, b, d))), hex(bits_of(three_operations(a, b, d))));
  EXPECT_EQ(hex(bits_of(three_operations(a, b, d))), hex(kInfinity | kQuiet));
}
#endif

// Random triples of one kind each (e: an exponent field).
TEST_F(ExtrapolationStep, RandomOperandsByKind) {
  using Draw = std::function<Triple()>;
  auto any = [&] { return random_bits() >> (random_() % 8 ? 0 : uniform(1, 127)); };
  auto any_d = [&] {  // a divisor of any kind, most often normal
    switch (random_() % 6) {
      case 0: return any();
      case 1: return make(coin(), uniform(16383 - 4, 16383 + 120), 0);  // a power of two
      default: return moderate();
    }
  };
  // a with b sharing its leading bits (e apart by at most one), or equal.
  auto close_pair = [&](Triple* t) {
    t->a = with_e(uniform(1, 0x7FFE));
    const u128 low = kFraction >> uniform(0, 112);
    t->b = random_() % 8 == 0 ? t->a : (t->a & ~low) | (random_bits() & low);
    if (random_() % 4 == 0) t->b = make(t->a >> 127, e_of(t->a) - 1, ~t->a);  // just below
  };
  const std::pair<const char*, Draw> kinds[] = {
      {"any bits; any operand of any class", [&] { return Triple{any(), any(), any_d()}; }},
      {"a and b close: cancellation of any length, equal operands", [&] {
         Triple t;
         close_pair(&t);
         t.d = any_d();
         return t;
       }},
      {"a and b of exponents 0 to 130 apart, either way round, either sign", [&] {
         const u128 x = moderate(), y = with_e(e_of(x) - uniform(0, 130));
         return random_() % 2 ? Triple{x, y, any_d()} : Triple{y, x, any_d()};
       }},
      {"d = +-1, +-2, a power of two, or 1 + an ulp: the sum at ties and near ties", [&] {
         Triple t;
         close_pair(&t);
         const int kind = uniform(0, 3);
         t.d = kind == 0   ? make(coin(), 16383, 0)
               : kind == 1 ? make(coin(), 16384, 0)
               : kind == 2 ? make(coin(), uniform(16383 - 120, 16383 + 120), 0)
                           : make(coin(), 16383, uniform(1, 3));
         return t;
       }},
      {"|q| near |a|: the sum carries, cancels or ties on its last bits", [&] {
         const u128 a = moderate();
         const u128 b = make(coin(), e_of(a) + uniform(-2, 2), random_bits());
         const u128 d = make(coin(), uniform(16382, 16386), random_bits() >> uniform(0, 112));
         return Triple{a, b, d};
       }},
      {"d with the significand of a - b: quotients that are powers of two", [&] {
         const u128 diff = moderate();
         const u128 d = make(coin(), uniform(16383 - 60, 16383 + 60), diff);
         return random_() % 2 ? Triple{twice(diff), diff, d}
                              : Triple{diff ^ kSign, twice(diff) ^ kSign, d};
       }},
      {"a - b near the subnormals or overflowing", [&] {
         if (random_() % 2) {
           const u128 a = with_e(uniform(1, 3));
           return Triple{a, with_e(uniform(1, 3)), any_d()};
         }
         const u128 a = with_e(uniform(0x7FFC, 0x7FFE));
         return Triple{a, with_e(uniform(0x7FFC, 0x7FFE)) ^ kSign, any_d()};
       }},
      {"the quotient near the subnormals or overflowing", [&] {
         const u128 a = moderate(), b = moderate();
         const int e = e_of(a) - 16383;  // about the exponent of a - b
         const int target = random_() % 2 ? uniform(-115, 3) : uniform(0x7FFC, 0x8001);
         return Triple{a, b, make(coin(), e - target + 2 * 16383 + uniform(-2, 2), random_bits())};
       }},
      {"the sum near the subnormals or overflowing", [&] {
         if (random_() % 2) {  // a tiny, the correction about -a
           const u128 a = with_e(uniform(1, 120));
           return Triple{a, a ^ kSign, make(0, 16383 + uniform(-1, 1), random_bits()) ^ kSign};
         }
         const u128 a = with_e(uniform(0x7FFC, 0x7FFE));  // a huge, the correction of its sign
         return Triple{a, make(a >> 127 ^ 1, e_of(a) - uniform(0, 3), random_bits()),
                       make(0, 16383 + uniform(-3, 1), random_bits())};
       }},
  };
  for (const auto& [name, draw] : kinds) {
    SCOPED_TRACE(name);
    std::vector<Triple> triples;
    for (int i = 0; i < 40000; ++i) triples.push_back(draw());
    expect_same(triples);
  }
}

// Quotients within a few 2^-15 of an ulp of a midpoint between two binary128
// numbers (where a quotient formed from an approximate reciprocal may round
// the wrong way) or of a binary128 number (where it may fall short of it),
// on either side.  With D odd, T = c / D modulo 2^k and A = (T * D - c) / 2^k
// (exact), A / D = T / 2^k - c / (2^k * D); for T in [2^(k-1), 2^k) that is
// T / 2^k in [1/2, 1), a midpoint for k = 114 and a number for k = 113,
// missed by about c / 2^113 ulps.
TEST_F(ExtrapolationStep, QuotientsNextToMidpointsAndNumbers) {
  std::vector<Triple> triples;
  while (triples.size() < 200000) {
    const u128 D = random_bits() >> 15 | kImplicit | 1;  // 113 bits, odd
    const int k = uniform(113, 114);
    u128 c = (random_bits() >> uniform(27, 122)) | 1;    // below 2^101: up to ~256 / 2^15 ulps
    if (coin()) c = -c;
    const u128 T = (c * inverse(D)) & ((static_cast<u128>(1) << k) - 1);
    if (T >> (k - 1) == 0) continue;
    u128 hi, lo;
    multiply_wide(T, D, &hi, &lo);
    const u128 borrow = lo < c ? 1 : 0;
    hi -= borrow + (c >> 127 ? ~static_cast<u128>(0) : 0);  // c's sign extension
    lo -= c;
    ASSERT_EQ(lo & ((static_cast<u128>(1) << k) - 1), 0u);  // T * D = c modulo 2^k
    const u128 A = (lo >> k) | (hi << (128 - k));
    if (A >> 112 != 1) continue;  // not 113 bits
    const int e = uniform(16383 - 50, 16383 + 50);
    const u128 diff = make(coin(), e, A), d = make(coin(), uniform(16383 - 50, 16383 + 50), D);
    switch (random_() % 3) {
      case 0: triples.push_back({twice(diff), diff, d}); break;
      case 1: triples.push_back({diff ^ kSign, twice(diff) ^ kSign, d}); break;
      default: {  // a - b is diff when exact; the sum then ties or nearly
        const u128 a = make(coin(), e + uniform(-2, 114), random_bits());
        triples.push_back({a, bits_of(from_bits(a) - from_bits(diff)), d});
      }
    }
  }
  expect_same(triples);
}

}  // namespace

#endif  // MORVANTIDE_BINARY128_ARITH
