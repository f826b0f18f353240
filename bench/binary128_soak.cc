// Long random comparison of the program's binary128 +, -, * and / with
// libgcc's own (from libgcc_s, loaded at run time), bit pattern for bit
// pattern, the rounding mode changing every 1024 pairs among the four.
//
//   binary128_soak PAIRS [SEED]
//   binary128_soak --step TRIPLES [SEED]
//
// Each pair goes through the four operations.  The operands are drawn to hit
// the edges often: exponents near 0, near the overflow threshold and near
// one another, short fractions, operands sharing leading bits (cancellation)
// and products or quotients that land in the subnormals or overflow.  Exits
// with 1 and the first differences printed when any result differs.
//
// With --step, each triple a, b, d goes through extrapolation_step, with d
// and with d prepared as a Divisor (one for 8 triples in a row, as a table
// level uses it), against the three operations a - b, / d, + a: a and b
// drawn as the pairs are, d of any kind, and one triple in 8 built so that
// the quotient falls within a few 2^-15 ulps of a midpoint or of a number.

#include <dlfcn.h>
#include <fenv.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernel/binary128_arith.h"

namespace {

using u64 = uint64_t;
using u128 = unsigned __int128;
using Op = __float128 (*)(__float128, __float128);

constexpr u128 kFraction = (static_cast<u128>(1) << 112) - 1;

using morvantide::binary128::bits_of;
using morvantide::binary128::from_bits;
using morvantide::binary128::multiply_wide;

// xoshiro256**: fast, and the same sequence everywhere for a given seed.
struct Random {
  u64 s[4];
  explicit Random(u64 seed) : s{seed * 0x9E3779B97F4A7C15ull + 1, 7, 11, 13} {
    for (int i = 0; i < 20; ++i) next();
  }
  static u64 rotl(u64 x, int k) { return (x << k) | (x >> (64 - k)); }
  u64 next() {
    const u64 r = rotl(s[1] * 5, 7) * 9, t = s[1] << 17;
    s[2] ^= s[0];
    s[3] ^= s[1];
    s[1] ^= s[2];
    s[0] ^= s[3];
    s[2] ^= t;
    s[3] = rotl(s[3], 45);
    return r;
  }
  u128 bits() { return (static_cast<u128>(next()) << 64) | next(); }
  int uniform(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<u64>(hi - lo + 1)); }
};

u128 make(u64 sign, int e, u128 fraction) {
  e = e < 0 ? 0 : e > 0x7FFE ? 0x7FFE : e;
  return (static_cast<u128>(sign) << 127) | (static_cast<u128>(e) << 112) | (fraction & kFraction);
}

u128 draw(Random& r) {
  u128 f = r.bits();
  int e;
  switch (r.next() % 8) {
    case 0: return f;  // any pattern, NaNs and infinities included
    case 1: e = r.uniform(0, 0x7FFE); break;
    case 2: e = r.uniform(16383 - 60, 16383 + 60); break;
    case 3: e = r.uniform(0, 3); break;
    case 4: e = r.uniform(0x7FFB, 0x7FFE); break;
    case 5: e = r.uniform(0, 0x7FFE), f >>= r.uniform(0, 127); break;
    case 6: e = r.uniform(1, 0x7FFE), f = (f >> r.uniform(50, 70)) << r.uniform(0, 60); break;
    default:
      if (r.next() % 16 == 0) return (static_cast<u128>(r.next() & 1) << 127) | (static_cast<u128>(0x7FFF) << 112) | (f & kFraction);
      e = r.uniform(1, 0x7FFE);
      break;
  }
  return make(r.next() & 1, e, f);
}

// A second operand related to the first.
u128 draw_partner(Random& r, u128 a) {
  const int e = static_cast<int>(a >> 112) & 0x7FFF;
  switch (r.next() % 5) {
    case 0: return draw(r);
    case 1: return make(r.next() & 1, e - r.uniform(-2, 3), r.bits());
    case 2: {  // shared leading bits: cancellation
      const u128 low = kFraction >> r.uniform(1, 112);
      return ((a & ~low) ^ (r.bits() & low)) ^ (static_cast<u128>(r.next() & 1) << 127);
    }
    case 3: {  // exponents apart by the widths of the shifts
      const int apart[] = {r.uniform(62, 66), r.uniform(110, 118), r.uniform(124, 131)};
      return make(r.next() & 1, e - apart[r.next() % 3] * (r.next() % 2 ? 1 : -1), r.bits());
    }
    default: {  // products and quotients at the subnormal and overflow edges
      const int target = r.next() % 2 ? r.uniform(-115, 2) : r.uniform(0x7FFD, 0x8000);
      return make(r.next() & 1, r.next() % 2 ? target - e + 16383 : e - target + 16383, r.bits());
    }
  }
}

// A divisor: of any kind, most often a normal number near 1, a power of
// two, +-1, or 1 plus a few ulps.
u128 draw_divisor(Random& r) {
  switch (r.next() % 8) {
    case 0: return draw(r);
    case 1: return make(r.next() & 1, r.uniform(16383 - 120, 16383 + 120), 0);
    case 2: return make(r.next() & 1, 16383, r.next() % 4);
    default:
      return make(r.next() & 1, r.uniform(16383 - 60, 16383 + 60), r.bits() >> r.uniform(0, 8));
  }
}

// A significand A and an odd divisor significand D, 113 bits each, with
// A / D within c / 2^113 ulps of a midpoint (k = 114) or of a number
// (k = 113): T = c / D modulo 2^k, A = (T * D - c) / 2^k exactly, so that
// A / D = T / 2^k - c / (2^k * D).
void draw_near_tie(Random& r, u128* A, u128* D) {
  for (;;) {
    *D = r.bits() >> 15 | (static_cast<u128>(1) << 112) | 1;
    u128 inverse = *D;  // Newton's iteration modulo 2^128
    for (int i = 0; i < 6; ++i) inverse *= 2 - *D * inverse;
    const int k = r.uniform(113, 114);
    u128 c = (r.bits() >> r.uniform(27, 122)) | 1;
    if (r.next() & 1) c = -c;
    const u128 T = (c * inverse) & ((static_cast<u128>(1) << k) - 1);
    if (T >> (k - 1) == 0) continue;
    u128 hi, lo;
    multiply_wide(T, *D, &hi, &lo);
    hi -= (lo < c ? 1 : 0) + (c >> 127 ? ~static_cast<u128>(0) : 0);
    lo -= c;
    *A = (lo >> k) | (hi << (128 - k));
    if (*A >> 112 == 1) return;
  }
}

int soak_step(u64 triples, Random& random) {
  const int modes[4] = {FE_TONEAREST, FE_TOWARDZERO, FE_UPWARD, FE_DOWNWARD};
  u64 differences = 0;
  u128 d = 0;
  morvantide::binary128::Divisor divisor(0);
  for (u64 i = 0; i < triples; ++i) {
    if (i % 1024 == 0) fesetround(modes[(i / 1024) % 4]);
    u128 a = draw(random), b = draw_partner(random, a);
    if (i % 8 == 0) {
      d = draw_divisor(random);
      if (random.next() % 8 == 0) {  // the quotient of a - b by d next to a tie
        u128 A, D;
        draw_near_tie(random, &A, &D);
        const u128 difference = make(random.next() & 1, random.uniform(16383 - 60, 16383 + 60), A);
        d = make(random.next() & 1, random.uniform(16383 - 60, 16383 + 60), D);
        a = difference + (static_cast<u128>(1) << 112);  // twice the difference
        b = difference;
      }
      divisor = morvantide::binary128::Divisor(from_bits(d));
    }
    const __float128 x = from_bits(a), y = from_bits(b), z = from_bits(d);
    const u128 expected = bits_of(__addtf3(__divtf3(__subtf3(x, y), z), x));
    const u128 fused = bits_of(morvantide::binary128::extrapolation_step(x, y, z));
    const u128 prepared = bits_of(morvantide::binary128::extrapolation_step(x, y, divisor));
    if ((fused != expected || prepared != expected) && differences++ < 20) {
      auto h = [](u128 x) { return static_cast<unsigned long long>(x >> 64); };
      auto l = [](u128 x) { return static_cast<unsigned long long>(x); };
      std::printf("step mode %d: %016llx%016llx, %016llx%016llx, %016llx%016llx gives "
                  "%016llx%016llx, prepared %016llx%016llx, three operations %016llx%016llx\n",
                  static_cast<int>((i / 1024) % 4), h(a), l(a), h(b), l(b), h(d), l(d), h(fused),
                  l(fused), h(prepared), l(prepared), h(expected), l(expected));
    }
  }
  std::printf("%llu triples (x 2 steps), %llu differences\n", (unsigned long long)triples,
              (unsigned long long)differences);
  return differences != 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool step = argc > 1 && std::strcmp(argv[1], "--step") == 0;
  if (step) {
    --argc;
    ++argv;
  }
  if (argc < 2) {
    std::fprintf(stderr, "usage: binary128_soak [--step] COUNT [SEED]\n");
    return 2;
  }
  const u64 pairs = std::strtoull(argv[1], nullptr, 10);
  Random random(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1);
  if (step) return soak_step(pairs, random);
  void* libgcc = dlopen("libgcc_s.so.1", RTLD_NOW | RTLD_LOCAL);
  if (libgcc == nullptr) {
    std::fprintf(stderr, "libgcc_s.so.1 not found\n");
    return 2;
  }
  const char* const names[4] = {"__addtf3", "__subtf3", "__multf3", "__divtf3"};
  const Op ours[4] = {__addtf3, __subtf3, __multf3, __divtf3};
  Op theirs[4];
  for (int op = 0; op < 4; ++op) {
    theirs[op] = reinterpret_cast<Op>(dlsym(libgcc, names[op]));
    if (theirs[op] == nullptr || theirs[op] == ours[op]) {
      std::fprintf(stderr, "no separate %s in libgcc_s\n", names[op]);
      return 2;
    }
  }
  const int modes[4] = {FE_TONEAREST, FE_TOWARDZERO, FE_UPWARD, FE_DOWNWARD};
  u64 differences = 0;
  for (u64 i = 0; i < pairs; ++i) {
    if (i % 1024 == 0) fesetround(modes[(i / 1024) % 4]);
    const u128 a = draw(random), b = draw_partner(random, a);
    for (int op = 0; op < 4; ++op) {
      const u128 x = bits_of(ours[op](from_bits(a), from_bits(b)));
      const u128 y = bits_of(theirs[op](from_bits(a), from_bits(b)));
      if (x != y && differences++ < 20) {
        std::printf("%s mode %d: %016llx%016llx, %016llx%016llx gives %016llx%016llx, libgcc %016llx%016llx\n",
                    names[op], static_cast<int>((i / 1024) % 4), (unsigned long long)(a >> 64),
                    (unsigned long long)a, (unsigned long long)(b >> 64), (unsigned long long)b,
                    (unsigned long long)(x >> 64), (unsigned long long)x,
                    (unsigned long long)(y >> 64), (unsigned long long)y);
      }
    }
  }
  std::printf("%llu pairs (x 4 operations), %llu differences\n", (unsigned long long)pairs,
              (unsigned long long)differences);
  return differences != 0;
}
