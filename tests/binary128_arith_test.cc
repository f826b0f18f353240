// The program's binary128 +, -, * and / against libgcc's own routines (from
// libgcc_s, loaded at run time), bit pattern for bit pattern, in all four
// rounding modes: random operands of every class, cancellations and carries,
// exact ties and near ties, results at the edges of the subnormal and
// overflow ranges, and every pairing of zeros, infinities, NaNs and normals.

#include "common/binary128_arith.h"

#include <gtest/gtest.h>

#if defined(MORVANTIDE_BINARY128_ARITH) && !defined(_WIN32)
#include <dlfcn.h>
#include <fenv.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
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

u128 bits_of(__float128 x) {
  u128 u;
  std::memcpy(&u, &x, sizeof u);
  return u;
}
__float128 from_bits(u128 u) {
  __float128 x;
  std::memcpy(&x, &u, sizeof x);
  return x;
}
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
  const u128 magnitudes[] = {
      0,
      1,                               // smallest subnormal
      kFraction,                       // largest subnormal
      make(0, 1, 0),                   // smallest normal
      make(0, 1, 1),
      make(0, 16383, 0),               // 1
      make(0, 16383, 1),               // 1 + ulp
      make(0, 16383, kFraction),       // 2 - ulp
      make(0, 16384, 5),
      make(0, 0x7FFE, kFraction),      // largest finite
      make(0, 0x7FFE, 0),
      kInfinity,
      kInfinity | 1,                   // signalling NaNs
      kInfinity | 2,
      kInfinity | (kQuiet - 1),
      kInfinity | kQuiet,              // quiet NaNs
      kInfinity | kQuiet | 1,
      kInfinity | kQuiet | 2,
      kInfinity | kFraction,
  };
  Pairs pairs;
  for (u128 x : magnitudes) {
    for (u128 y : magnitudes) {
      for (int signs = 0; signs < 4; ++signs) {
        pairs.emplace_back(x | ((signs & 1) ? kSign : 0), y | ((signs & 2) ? kSign : 0));
      }
    }
  }
  expect_same(pairs);
}

TEST_F(Binary128Arith, RandomOperandsOfEveryClass) {
  // The exponent field drawn from a class: any, near 1, subnormal or
  // smallest normal, near the largest, all ones (infinity, NaN).
  auto draw = [&]() {
    int e;
    switch (random_() % 6) {
      case 0: return random_bits();
      case 1: e = uniform(0, 0x7FFF); break;
      case 2: e = uniform(16383 - 40, 16383 + 40); break;
      case 3: e = uniform(0, 2); break;
      case 4: e = uniform(0x7FFC, 0x7FFE); break;
      default: e = random_() % 8 == 0 ? 0x7FFF : uniform(1, 0x7FFE); break;
    }
    u128 f = random_bits();
    if (random_() % 4 == 0) f >>= uniform(0, 127);  // few fraction bits
    return make(random_() & 1, e, f);
  };
  Pairs pairs;
  for (int i = 0; i < 60000; ++i) pairs.emplace_back(draw(), draw());
  expect_same(pairs);
}

TEST_F(Binary128Arith, NearbyExponentsCancellationAndCarries) {
  Pairs pairs;
  for (int i = 0; i < 60000; ++i) {
    const int e = random_() % 16 == 0 ? uniform(1, 3) : uniform(1, 0x7FFE);
    const int d = uniform(0, 3) == 0 ? uniform(0, 120) : uniform(0, 2);
    const int f = e - d < 0 ? 0 : e - d;
    const u128 x = make(random_() & 1, e, random_bits());
    u128 y = make(random_() & 1, f, random_bits());
    if (random_() % 3 == 0) {
      // Shares x's leading bits: massive cancellation.
      const int keep = uniform(1, 112);
      y = (x & ~(kFraction >> keep)) ^ (random_bits() & (kFraction >> keep));
      y ^= (random_() & 1) ? kSign : 0;
    }
    pairs.emplace_back(x, y);
  }
  expect_same(pairs);
}

TEST_F(Binary128Arith, ExactTiesAndNearTies) {
  Pairs pairs;
  const int e_one = 16383;
  for (int i = 0; i < 40000; ++i) {
    const u64 sign = random_() & 1;
    // Sums: x plus half an ulp of x (or a hair more or less).
    const u128 x = make(sign, uniform(200, 0x7F00), random_bits());
    const int ex = static_cast<int>((x >> 112) & 0x7FFF);
    const u128 half = make(random_() & 1, ex - 113, 0);
    const u128 hair = make(random_() & 1, ex - 113, random_() % 4 == 0 ? kFraction : 1);
    pairs.emplace_back(x, half);
    pairs.emplace_back(x, hair);
    // Products of short significands: 114 to 116 significant bits, so the
    // bits past the last are often exactly half.
    const int wa = uniform(50, 64), wb = 114 + uniform(0, 2) - wa;
    const u128 sa = (random_bits() >> (128 - wa)) | (static_cast<u128>(1) << (wa - 1));
    const u128 sb = (random_bits() >> (128 - wb)) | (static_cast<u128>(1) << (wb - 1));
    const int ea = uniform(1, 0x7FFE), eb = uniform(1, 0x7FFE);
    pairs.emplace_back(make(random_() & 1, ea, sa << (113 - wa)),
                       make(random_() & 1, uniform(e_one - 30, e_one + 30), sb << (113 - wb)));
    pairs.emplace_back(make(random_() & 1, ea, sa << (113 - wa)),
                       make(random_() & 1, eb, sb << (113 - wb)));
    // Quotients by a power of two landing in the subnormals (exact halves),
    // and by small odd integers.
    pairs.emplace_back(make(sign, uniform(1, 200), random_bits()),
                       make(0, e_one + uniform(1, 200), 0));
    pairs.emplace_back(make(sign, uniform(1, 0x7FFE), random_bits()),
                       make(0, e_one + uniform(1, 6), static_cast<u128>(random_() % 64) << 106));
    // x * y / y and x / y * y land next to x: sticky bits of a near-exact
    // quotient.
    const u128 y = make(0, uniform(e_one - 100, e_one + 100), random_bits());
    const u128 xy = bits_of(kOurs[2](from_bits(x), from_bits(y)));
    pairs.emplace_back(xy, y);
    pairs.emplace_back(xy + 1, y);
    pairs.emplace_back(xy - 1, y);
  }
  expect_same(pairs);
}

TEST_F(Binary128Arith, ResultsAtTheSubnormalAndOverflowEdges) {
  Pairs pairs;
  for (int i = 0; i < 40000; ++i) {
    // Result exponent fields of about -115 to 2 and 0x7FFD to 0x8000.
    const int target = random_() % 2 ? uniform(-115, 2) : uniform(0x7FFD, 0x8000);
    const int ea = target <= 2 ? uniform(1, 16383) : uniform(16383, 0x7FFE);
    const u128 x = make(random_() & 1, ea, random_bits());
    // x * y and x / y with the exponent of the result near target.
    const int eb_mul = target - ea + 16383 + uniform(-1, 0);
    const int eb_div = ea - target + 16383 + uniform(0, 1);
    if (eb_mul >= 1 && eb_mul <= 0x7FFE) pairs.emplace_back(x, make(random_() & 1, eb_mul, random_bits()));
    if (eb_div >= 1 && eb_div <= 0x7FFE) pairs.emplace_back(x, make(random_() & 1, eb_div, random_bits()));
    // Sums and differences near the smallest normal and the largest finite.
    const int near = random_() % 2 ? uniform(0, 2) : uniform(0x7FFD, 0x7FFE);
    pairs.emplace_back(make(random_() & 1, near, random_bits()),
                       make(random_() & 1, uniform(near > 2 ? near - 113 : 0, near), random_bits()));
    // Subnormal operands with anything.
    pairs.emplace_back(make(random_() & 1, 0, random_bits() >> uniform(0, 111)),
                       make(random_() & 1, uniform(0, 0x7FFE), random_bits()));
  }
  expect_same(pairs);
}

}  // namespace

#endif  // MORVANTIDE_BINARY128_ARITH && !_WIN32
