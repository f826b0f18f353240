// The remembered log10, power and exponential: whatever was asked before, in
// whatever order, each call gives the bits of log10q, powq or expq itself.

#include "common/quad.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace morvantide {
namespace {


real nan_with_payload(uint64_t payload) {
  real x = nanq("");
  uint64_t words[2];
  std::memcpy(words, &x, sizeof x);
  words[0] ^= payload;  // low mantissa bits (little-endian)
  std::memcpy(&x, words, sizeof x);
  return x;
}

TEST(RememberedLog10, Cases) {
  const real zero = 0;
  const std::vector<std::pair<const char*, real>> cases = {
      {"ratio 2", 2},
      {"ratio 2 again", 2},
      {"one", 1},
      {"tenth", 0.1Q},
      {"plus zero: -inf", zero},
      {"minus zero: -inf too", -zero},
      {"negative: NaN", -2},
      {"infinity", 1 / zero},
      {"NaN", nanq("")},
      {"NaN with a payload", nan_with_payload(5)},
      {"smallest subnormal", 0x1p-16494Q},
      {"largest", 1.18973149535723176508575932662800702e4932Q},
      {"one ulp above 1", 1 + 0x1p-112Q},
  };
  // Twice over: the second pass is answered from the remembered results.
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& [name, x] : cases) {
      EXPECT_TRUE(same_bits(q_log10(x), log10q(x))) << name << ", pass " << pass;
      EXPECT_TRUE(same_bits(q_log(x), logq(x))) << name << ", pass " << pass << " (ln)";
    }
  }
}

TEST(RememberedPow, Cases) {
  const real zero = 0;
  struct Case {
    const char* name;
    real x, y;
  };
  const Case cases[] = {
      {"2^2", 2, 2},
      {"2^3 after 2^2: same base", 2, 3},
      {"3^2 after 2^2: same exponent", 3, 2},
      {"+0^-1 is +inf", zero, -1},
      {"-0^-1 is -inf: the sign of zero counts", -zero, -1},
      {"-0^-1 is -inf again", -zero, -1},
      {"+0^-1 again", zero, -1},
      {"NaN base", nanq(""), 2},
      {"NaN base, other payload", nan_with_payload(9), 2},
      {"1^NaN is 1", 1, nanq("")},
      {"negative base, odd exponent", -2, 3},
      {"negative base, fraction: NaN", -2, 0.5Q},
      {"overflow", 10, 5000},
      {"underflow", 10, -5000},
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (const Case& c : cases) {
      EXPECT_TRUE(same_bits(q_pow(c.x, c.y), powq(c.x, c.y))) << c.name << ", pass " << pass;
    }
  }
}

TEST(RememberedExp, Cases) {
  const real zero = 0;
  const std::vector<std::pair<const char*, real>> cases = {
      {"2 ln 0.5", -1.3862943611198906188344642429163531Q},
      {"2 ln 0.5 again", -1.3862943611198906188344642429163531Q},
      {"plus zero: 1", zero},
      {"minus zero: 1 too", -zero},
      {"one", 1},
      {"overflow: inf", 20000},
      {"underflow: 0", -20000},
      {"subnormal result", -11355.5Q},
      {"-inf: 0", -1 / zero},
      {"NaN", nanq("")},
      {"NaN with a payload", nan_with_payload(7)},
      {"one ulp below 0", -0x1p-16494Q},
  };
  for (int pass = 0; pass < 2; ++pass) {
    for (const auto& [name, x] : cases) {
      EXPECT_TRUE(same_bits(q_exp(x), expq(x))) << name << ", pass " << pass;
    }
  }
}

TEST(RememberedPow, ManyArgumentsShareSlots) {
  // Far more argument pairs than remembered slots, asked in an order that
  // makes slots change hands: each answer still the power of its own pair.
  for (int round = 0; round < 3; ++round) {
    for (int i = 1; i <= 3000; ++i) {
      const real x = 1 + q_from_int(i) / 1024;
      const real y = q_from_int(i % 7) / 3 + round;
      ASSERT_TRUE(same_bits(q_pow(x, y), powq(x, y))) << "round " << round << ", pair " << i;
      ASSERT_TRUE(same_bits(q_log10(x), log10q(x))) << "round " << round << ", x " << i;
      ASSERT_TRUE(same_bits(q_log(y + 1), logq(y + 1))) << "round " << round << ", ln " << i;
    }
    // The exponentials' table is larger: many more arguments than its slots.
    for (int i = 1; i <= 40000; ++i) {
      const real x = -q_from_int(i) / 4096 - round;
      ASSERT_TRUE(same_bits(q_exp(x), expq(x))) << "round " << round << ", exp " << i;
    }
  }
}

}  // namespace
}  // namespace morvantide
