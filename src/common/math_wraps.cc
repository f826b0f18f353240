// The few functions of the C math library that libquadmath's objects call
// (sqrtq calls sqrt and sqrtl, expq saves, changes and restores the
// floating-point environment, the printing and reading of numbers ask for
// the rounding mode), defined here and bound to those calls with the
// linker's --wrap: with them, and with the order search's own double
// functions (core/guide_math.h), the program needs no libm.so, which saves
// every run its loading.  Each does what glibc's x86-64 function of the
// same name does, instruction for instruction where it matters (the same
// square root instructions, the same bits of the x87 control and status
// words and of MXCSR); tests/math_wraps_test.cc compares them with glibc's.
#if defined(__x86_64__) && defined(__linux__)

#include <fenv.h>

namespace {

// The six exception bits, the denormal one included (FE_ALL_EXCEPT leaves
// it out; glibc's x86-64 functions do not).
constexpr unsigned kAllExcept = 0x3f;
constexpr unsigned kStandardExcept = FE_ALL_EXCEPT;  // 0x3d
constexpr unsigned kRoundingBits = FE_TOWARDZERO;  // 0xc00, both rounding bits
constexpr unsigned kExtended = 0x300;  // x87 precision control: 64 bits

inline void store_environment(fenv_t* env) {
  __asm__ volatile("fnstenv %0\n\tstmxcsr %1" : "=m"(*env), "=m"(env->__mxcsr));
}
inline void load_environment(const fenv_t& env) {
  __asm__ volatile("fldenv %0\n\tldmxcsr %1" : : "m"(env), "m"(env.__mxcsr));
}

}  // namespace

extern "C" {

double __wrap_sqrt(double x) {
  __asm__("sqrtsd %1, %0" : "=x"(x) : "x"(x));
  return x;
}

long double __wrap_sqrtl(long double x) {
  __asm__("fsqrt" : "+t"(x));
  return x;
}

int __wrap_fegetround() {
  unsigned short cw;
  __asm__ volatile("fnstcw %0" : "=m"(cw));
  return cw & kRoundingBits;
}

int __wrap_fesetround(int round) {
  if ((round & ~static_cast<int>(kRoundingBits)) != 0) return 1;
  unsigned short cw;
  __asm__ volatile("fnstcw %0" : "=m"(cw));
  cw = static_cast<unsigned short>((cw & ~kRoundingBits) | static_cast<unsigned>(round));
  __asm__ volatile("fldcw %0" : : "m"(cw));
  unsigned mxcsr;
  __asm__ volatile("stmxcsr %0" : "=m"(mxcsr));
  mxcsr = (mxcsr & ~0x6000u) | (static_cast<unsigned>(round) << 3);
  __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
  return 0;
}

// Saves the environment (fnstenv also masks every x87 exception), clears
// the raised exceptions, masks every SSE one and clears its flags.
int __wrap_feholdexcept(fenv_t* env) {
  __asm__ volatile("fnstenv %0\n\tstmxcsr %1\n\tfnclex" : "=m"(*env), "=m"(env->__mxcsr));
  const unsigned mxcsr = (env->__mxcsr | 0x1f80u) & ~kAllExcept;
  __asm__ volatile("ldmxcsr %0" : : "m"(mxcsr));
  return 0;
}

// The current environment with the exception masks, rounding, precision,
// raised exceptions, last instruction and operand pointers and MXCSR of
// *env (or of the default or no-mask environment).
int __wrap_fesetenv(const fenv_t* env) {
  fenv_t now;
  store_environment(&now);
  if (env == FE_DFL_ENV || env == FE_NOMASK_ENV) {
    // The default masks every exception; "no mask" unmasks all but the
    // denormal one.
    if (env == FE_DFL_ENV) {
      now.__control_word |= kAllExcept;
    } else {
      now.__control_word &= ~kStandardExcept;
    }
    now.__control_word &= ~kRoundingBits;
    now.__control_word |= kExtended;
    now.__status_word &= ~kAllExcept;
    now.__eip = 0;
    now.__cs_selector = 0;
    now.__opcode = 0;
    now.__data_offset = 0;
    now.__data_selector = 0;
    now.__mxcsr &= ~kAllExcept;
    if (env == FE_DFL_ENV) {
      now.__mxcsr |= kAllExcept << 7;
    } else {
      now.__mxcsr &= ~(kStandardExcept << 7);
    }
    now.__mxcsr &= ~0x6000u;  // to nearest
    now.__mxcsr &= ~0x8040u;  // neither flush to zero nor denormals as zero
  } else {
    const unsigned kept = kAllExcept | kRoundingBits | kExtended;
    now.__control_word = static_cast<unsigned short>((now.__control_word & ~kept) |
                                                     (env->__control_word & kept));
    now.__status_word = static_cast<unsigned short>((now.__status_word & ~kAllExcept) |
                                                    (env->__status_word & kAllExcept));
    now.__eip = env->__eip;
    now.__cs_selector = env->__cs_selector;
    now.__opcode = env->__opcode;
    now.__data_offset = env->__data_offset;
    now.__data_selector = env->__data_selector;
    now.__mxcsr = env->__mxcsr;
  }
  load_environment(now);
  return 0;
}

}  // extern "C"

#endif
