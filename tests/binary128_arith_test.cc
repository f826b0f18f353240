// The program's binary128 +, -, * and / against libgcc's own routines (from
// libgcc_s, loaded at run time), bit pattern for bit pattern, in all four
// rounding modes: random operands of every class, cancellations and carries,
// exact ties and near ties, results at the edges of the subnormal and
// overflow ranges, and every pairing of zeros, infinities, NaNs and normals.

#include "kernel/binary128_arith.h"

#include <gtest/gtest.h>

#if defined(MORVANTIDE_BINARY128_ARITH) && !defined(_WIN32)
#include <dlfcn.h>
#include <fenv.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <quadmath.h>
}

namespace {

using u64 = uint64_t;
using u128 = unsigned __int128;
using Op = __float128 (*)(__float128, __float128);
using Pairs = std::vector<std::pair<u128, u128>>;

constexpr u128 kSign = static_cast<u128>(1) << 127;
constexpr u128 kQuiet = static_cast<u128>(1) << 111;
constexpr u128 kFraction = (static_cast<u128>(1) << 112) - 1;
constexpr u128 kInfinity = static_cast<u128>(0x7FFF) << 112;

using morvantide::binary128::bits_of;
using morvantide::binary128::from_bits;
u128 make(u64 sign, int exponent_field, u128 fraction) {
  return (static_cast<u128>(sign) << 127) | (static_cast<u128>(exponent_field) << 112) |
         (fraction & kFraction);
}
std::string hex(u128 u) {
  char text[40];
  std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(u >> 64),
                static_cast<unsigned long long>(u));
  return text;
}

const char* const kOpNames[4] = {"add", "sub", "mul", "div"};
const Op kOurs[4] = {__addtf3, __subtf3, __multf3, __divtf3};
const int kModes[4] = {FE_TONEAREST, FE_TOWARDZERO, FE_UPWARD, FE_DOWNWARD};
const char* const kModeNames[4] = {"nearest", "toward zero", "upward", "downward"};

class Binary128Arith : public ::testing::Test {
 protected:
  void SetUp() override {
    void* libgcc = dlopen("libgcc_s.so.1", RTLD_NOW | RTLD_LOCAL);
    if (libgcc == nullptr) GTEST_SKIP() << "libgcc_s.so.1 not found: nothing to compare with";
    const char* names[4] = {"__addtf3", "__subtf3", "__multf3", "__divtf3"};
    for (int op = 0; op < 4; ++op) {
      reference_[op] = reinterpret_cast<Op>(dlsym(libgcc, names[op]));
      if (reference_[op] == nullptr) GTEST_SKIP() << names[op] << " not in libgcc_s";
    }
  }
  void TearDown() override { fesetround(FE_TONEAREST); }

  // Every pair through the four operations in the four rounding modes; both
  // orders of the operands.  Reports the first few differences.
  void expect_same(const Pairs& pairs) {
    int shown = 0;
    long differences = 0;
    for (int mode = 0; mode < 4; ++mode) {
      ASSERT_EQ(fesetround(kModes[mode]), 0);
      for (const auto& [x, y] : pairs) {
        for (int swap = 0; swap < 2; ++swap) {
          const __float128 a = from_bits(swap ? y : x), b = from_bits(swap ? x : y);
          for (int op = 0; op < 4; ++op) {
            const u128 ours = bits_of(kOurs[op](a, b));
            const u128 theirs = bits_of(reference_[op](a, b));
            if (ours == theirs) continue;
            ++differences;
            if (shown++ < 10) {
              ADD_FAILURE() << kOpNames[op] << " rounding " << kModeNames[mode] << ": "
                            << hex(bits_of(a)) << ", " << hex(bits_of(b)) << " gives "
                            << hex(ours) << ", libgcc " << hex(theirs);
            }
          }
        }
      }
    }
    fesetround(FE_TONEAREST);
    EXPECT_EQ(differences, 0) << "of " << pairs.size() * 32 << " results";
  }

  Op reference_[4] = {};
  std::mt19937_64 random_{20240607};
  u128 random_bits() { return (static_cast<u128>(random_()) << 64) | random_(); }
  int uniform(int lo, int hi) { return lo + static_cast<int>(random_() % (hi - lo + 1)); }
};

TEST_F(Binary128Arith, OursAreLinkedAndLibquadmathCallsThem) {
  for (int op = 0; op < 4; ++op) {
    EXPECT_NE(reinterpret_cast<void*>(kOurs[op]), reinterpret_cast<void*>(reference_[op]))
        << kOpNames[op] << " is libgcc's own";
  }
  // powq from the static libquadmath, so its arithmetic is ours (the shared
  // library carries private copies of libgcc's).
  Dl_info info;
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&powq), &info), 0);
  EXPECT_EQ(std::string(info.dli_fname).find("libquadmath"), std::string::npos)
      << "powq comes from " << info.dli_fname;
}

TEST_F(Binary128Arith, ZerosInfinitiesNaNsAndNormalsInEveryPairing) {
  // Zero, the smallest and largest subnormal, the smallest normal, 1 and its
  // neighbours, the largest finite, infinity, signalling and quiet NaNs.
  const u128 magnitudes[] = {0, 1, kFraction, make(0, 1, 0), make(0, 1, 1), make(0, 16383, 0),
                             make(0, 16383, 1), make(0, 16383, kFraction), make(0, 16384, 5),
                             make(0, 0x7FFE, kFraction), make(0, 0x7FFE, 0), kInfinity,
                             kInfinity | 1, kInfinity | 2, kInfinity | (kQuiet - 1),
                             kInfinity | kQuiet, kInfinity | kQuiet | 1, kInfinity | kQuiet | 2,
                             kInfinity | kFraction};
  Pairs pairs;
  for (u128 x : magnitudes) {
    for (u128 y : magnitudes) {
      for (int s = 0; s < 4; ++s) pairs.emplace_back(x | (s & 1 ? kSign : 0), y | (s & 2 ? kSign : 0));
    }
  }
  expect_same(pairs);
}

// Random operand pairs of one kind each (e: an exponent field).
TEST_F(Binary128Arith, RandomOperandsByKind) {
  auto e_of = [](u128 x) { return static_cast<int>(x >> 112) & 0x7FFF; };
  auto with_e = [&](int e) { return make(random_() & 1, e < 0 ? 0 : e, random_bits()); };
  auto any = [&] { return make(random_() & 1, uniform(0, 0x7FFF), random_bits() >> uniform(0, 127)); };
  auto bits = [&](int w) {  // w significant bits, the leading one at bit 112
    return ((random_bits() >> (128 - w)) | (static_cast<u128>(1) << (w - 1))) << (113 - w);
  };
  using Draw = std::function<std::pair<u128, u128>()>;
  const std::pair<const char*, Draw> kinds[] = {
      {"random bits; any e with short fractions",
       [&] { return random_() % 2 ? std::pair(random_bits(), random_bits()) : std::pair(any(), any()); }},
      {"e apart by 0 to 2 or up to 120: carries and cancellation", [&] {
         const u128 x = with_e(random_() % 8 ? uniform(1, 0x7FFE) : uniform(1, 3));
         return std::pair(x, with_e(e_of(x) - (random_() % 4 ? uniform(0, 2) : uniform(0, 120))));
       }},
      {"e apart by 62 to 66 or 124 to 131: the shift past one word and its cap", [&] {
         const u128 x = with_e(uniform(140, 0x7FFE));
         return std::pair(x, with_e(e_of(x) - (random_() % 2 ? uniform(62, 66) : uniform(124, 131))));
       }},
      {"differences that cancel 58 to 68 bits, e equal or one apart: the normalising shift "
       "past the high word",
       [&] {
         const int e = uniform(200, 0x7FFE), k = uniform(44, 54);
         const u128 low = kFraction >> uniform(58, 68);
         if (random_() % 2) {  // x just above 2^e, y just below
           return std::pair(make(0, e, random_bits() >> k),
                            make(1, e - 1, kFraction ^ (random_bits() >> k)));
         }
         const u128 x = with_e(e);
         return std::pair(x, ((x & ~low) | (random_bits() & low)) ^ kSign);
       }},
      {"y shares x's leading bits: massive cancellation", [&] {
         const u128 x = with_e(uniform(1, 0x7FFE)), low = kFraction >> uniform(1, 112);
         return std::pair(x, ((x & ~low) | (random_bits() & low)) ^ (random_() % 2 ? kSign : 0));
       }},
      {"x plus half an ulp of x, and a hair more or less", [&] {
         const u128 x = with_e(uniform(200, 0x7F00));
         return std::pair(x, make(random_() & 1, e_of(x) - 113, random_() % 2 ? 0 : any()));
       }},
      {"products of 114 to 116 significant bits: exact ties", [&] {
         const int w = uniform(50, 64);
         return std::pair(make(random_() & 1, uniform(1, 0x7FFE), bits(w)),
                          make(random_() & 1, uniform(16300, 16460), bits(114 + uniform(0, 2) - w)));
       }},
      {"x * y next to y: near-exact quotients", [&] {
         const u128 y = with_e(uniform(16283, 16483)), x = with_e(uniform(200, 0x7F00));
         return std::pair(bits_of(__multf3(from_bits(x), from_bits(y))) + uniform(-1, 1), y);
       }},
      {"quotients into the subnormals by powers of two: exact halves",
       [&] { return std::pair(with_e(uniform(1, 200)), make(0, 16383 + uniform(1, 200), 0)); }},
      {"products and quotients of e from -115 to 2 or 0x7FFD to 0x8000", [&] {
         const int target = random_() % 2 ? uniform(-115, 2) : uniform(0x7FFD, 0x8000);
         const u128 x = with_e(target <= 2 ? uniform(1, 16383) : uniform(16383, 0x7FFE));
         const int e = random_() % 2 ? target - e_of(x) + 16383 - uniform(0, 1)
                                     : e_of(x) - target + 16383 + uniform(0, 1);
         return std::pair(x, with_e(e < 1 ? 1 : e > 0x7FFE ? 0x7FFE : e));
       }},
      {"subnormals and e near 0x7FFE with anything", [&] {
         const u128 x = random_() % 2 ? make(random_() & 1, 0, random_bits() >> uniform(0, 111))
                                      : with_e(uniform(0x7FFC, 0x7FFE));
         return std::pair(x, random_() % 2 ? any() : with_e(e_of(x) - uniform(0, 2)));
       }},
  };
  for (const auto& [name, draw] : kinds) {
    SCOPED_TRACE(name);
    Pairs pairs;
    for (int i = 0; i < 25000; ++i) pairs.push_back(draw());
    expect_same(pairs);
  }
}

// half(x) against the multiplication it stands for: every exponent field,
// both signs, random fractions, in the four rounding modes.
TEST(Binary128Half, TheBitsOfTheMultiplication) {
  std::mt19937_64 random(2026);
  volatile __float128 one_half = 0.5Q;  // a real multiplication, not folded
  for (int mode = 0; mode < 4; ++mode) {
    ASSERT_EQ(fesetround(kModes[mode]), 0);
    for (int field = 0; field <= 0x7FFF; ++field) {
      for (int k = 0; k < 4; ++k) {
        const u128 drawn = static_cast<u128>(random()) << 64 | random();
        const u128 fraction = k == 0 ? 0 : drawn >> (k == 3 ? 100 : 0);
        const u128 x = make(k & 1, field, fraction);
        const __float128 by_half = morvantide::binary128::half(from_bits(x));
        const __float128 product = one_half * from_bits(x);
        ASSERT_EQ(bits_of(by_half), bits_of(product))
            << hex(x) << " rounding " << kModeNames[mode];
      }
    }
  }
  fesetround(FE_TONEAREST);
}

}  // namespace

#endif  // MORVANTIDE_BINARY128_ARITH && !_WIN32
