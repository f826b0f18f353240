// The program's own copies of the C math library functions that
// libquadmath calls, against glibc's (the tests link libm as usual), and
// the least-squares scan's exp and pow, which must be glibc's own.
#include <fenv.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "common/c_math.h"

#if defined(__x86_64__) && defined(__linux__)
extern "C" {
double __wrap_sqrt(double x);
long double __wrap_sqrtl(long double x);
int __wrap_fegetround();
int __wrap_fesetround(int round);
int __wrap_feholdexcept(fenv_t* env);
int __wrap_fesetenv(const fenv_t* env);
}
#endif

namespace morvantide {
namespace {

template <typename T>
bool same_bits(T a, T b) {
  return std::memcmp(&a, &b, sizeof(T) == 16 ? 10 : sizeof(T)) == 0;  // long double: 80 bits
}

TEST(CMath, ExpAndPowAreTheLibrarys) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> arg(-745, 710), base(0, 3000), power(-40, 40);
  for (int k = 0; k < 20000; ++k) {
    const double x = arg(rng), b = base(rng), y = power(rng);
    ASSERT_TRUE(same_bits(c_math::exp(x), std::exp(x))) << x;
    ASSERT_TRUE(same_bits(c_math::pow(b, y), std::pow(b, y))) << b << "^" << y;
  }
  for (int k = 0; k < 2000; ++k) {
    const double y = k / 1999.0;
    ASSERT_TRUE(same_bits(c_math::pow(2000.0, y), std::pow(2000.0, y))) << y;
  }
}

#if defined(__x86_64__) && defined(__linux__)

// The parts of the floating-point state the functions set.
struct FpState {
  unsigned short control, status;
  unsigned mxcsr;
  bool operator==(const FpState&) const = default;
};
FpState state_now() {
  FpState s;
  __asm__ volatile("fnstcw %0" : "=m"(s.control));
  __asm__ volatile("fnstsw %0" : "=m"(s.status));
  __asm__ volatile("stmxcsr %0" : "=m"(s.mxcsr));
  s.status &= FE_ALL_EXCEPT;
  return s;
}
void set_state(const FpState& s) {
  fenv_t env;
  __asm__ volatile("fnstenv %0" : "=m"(env));
  env.__control_word = s.control;
  env.__status_word = static_cast<unsigned short>((env.__status_word & ~FE_ALL_EXCEPT) | s.status);
  env.__mxcsr = s.mxcsr;
  __asm__ volatile("fldenv %0\n\tldmxcsr %1" : : "m"(env), "m"(env.__mxcsr));
}

// Starting states: rounding modes, masks, raised flags in either unit,
// precision control, flush to zero.
std::vector<FpState> starts() {
  std::vector<FpState> v;
  for (unsigned round : {0u, 1u, 2u, 3u}) {
    for (unsigned short masks : {0x3f, 0x00, 0x15}) {
      for (unsigned short flags : {0x00, 0x21, 0x3f}) {
        // A raised exception that is not masked would trap at the next
        // floating-point instruction of the test itself.
        if (flags != 0 && masks != 0x3f) continue;
        for (unsigned extra : {0u, 0x8040u}) {
          const unsigned precision = round == 2 ? 0 : 0x300;
          const unsigned short control =
              static_cast<unsigned short>(0x1340 | masks | (round << 10) | precision);
          const unsigned mxcsr =
              (static_cast<unsigned>(masks) << 7) | (round << 13) | flags | extra;
          v.push_back({control, flags, mxcsr});
        }
      }
    }
  }
  return v;
}

TEST(MathWraps, SquareRootsBitForBit) {
  std::mt19937_64 rng(11);
  std::uniform_int_distribution<unsigned long long> bits;
  for (int k = 0; k < 100000; ++k) {
    double d;
    const unsigned long long b = bits(rng) >> 1;  // positive, any class
    std::memcpy(&d, &b, sizeof d);
    ASSERT_TRUE(same_bits(__wrap_sqrt(d), std::sqrt(d))) << d;
    const long double l = static_cast<long double>(d) * 1.000000000000000001L;
    ASSERT_TRUE(same_bits(__wrap_sqrtl(l), sqrtl(l))) << static_cast<double>(l);
  }
  for (double d : {0.0, -0.0, 1.0, 4.0, static_cast<double>(INFINITY), 2.0}) {
    EXPECT_TRUE(same_bits(__wrap_sqrt(d), std::sqrt(d))) << d;
  }
}

TEST(MathWraps, RoundingAndEnvironmentAsGlibcSetsThem) {
  const FpState saved = state_now();
  for (const FpState& start : starts()) {
    for (int round : {FE_TONEAREST, FE_DOWNWARD, FE_UPWARD, FE_TOWARDZERO, 0x400 | 0x1, -1}) {
      set_state(start);
      const int theirs = fesetround(round);
      const FpState after_theirs = state_now();
      const int got_theirs = fegetround();
      set_state(start);
      const int ours = __wrap_fesetround(round);
      const FpState after_ours = state_now();
      EXPECT_EQ(ours, theirs) << round;
      EXPECT_EQ(after_ours, after_theirs) << "fesetround(" << round << ")";
      EXPECT_EQ(__wrap_fegetround(), got_theirs);
    }
    // Held, something raised and the rounding changed, then set back.
    struct Cycle {
      fenv_t env;
      FpState held, back;
    };
    const auto cycle = [&](auto hold, auto set_env, const fenv_t* target) {
      Cycle c;
      set_state(start);
      hold(&c.env);
      c.held = state_now();
      set_state({static_cast<unsigned short>(c.held.control ^ 0xc00), 0x26,
                 c.held.mxcsr ^ 0x6026u});
      set_env(target != nullptr ? target : &c.env);
      c.back = state_now();
      return c;
    };
    for (const fenv_t* target : {static_cast<const fenv_t*>(nullptr), FE_DFL_ENV, FE_NOMASK_ENV}) {
      const Cycle theirs = cycle(feholdexcept, fesetenv, target);
      const Cycle ours = cycle(__wrap_feholdexcept, __wrap_fesetenv, target);
      EXPECT_EQ(ours.held, theirs.held) << "feholdexcept";
      EXPECT_EQ(ours.env.__control_word, theirs.env.__control_word);
      EXPECT_EQ(ours.env.__status_word & FE_ALL_EXCEPT, theirs.env.__status_word & FE_ALL_EXCEPT);
      EXPECT_EQ(ours.env.__mxcsr, theirs.env.__mxcsr);
      EXPECT_EQ(ours.back, theirs.back)
          << "fesetenv to " << (target == nullptr ? "the held" : "a fixed") << " environment";
    }
  }
  set_state(saved);
}

#endif

}  // namespace
}  // namespace morvantide
