// Long random comparison of the program's binary128 +, -, * and / with
// libgcc's own (from libgcc_s, loaded at run time), bit pattern for bit
// pattern, the rounding mode changing every 1024 pairs among the four.
//
//   binary128_soak PAIRS [SEED]
//
// Each pair goes through the four operations.  The operands are drawn to hit
// the edges often: exponents near 0, near the overflow threshold and near
// one another, short fractions, operands sharing leading bits (cancellation)
// and products or quotients that land in the subnormals or overflow.  Exits
// with 1 and the first differences printed when any result differs.

#include <dlfcn.h>
#include <fenv.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "common/binary128_arith.h"

namespace {

using u64 = uint64_t;
using u128 = unsigned __int128;
using Op = __float128 (*)(__float128, __float128);

constexpr u128 kFraction = (static_cast<u128>(1) << 112) - 1;

using morvantide::binary128::bits_of;
using morvantide::binary128::from_bits;

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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: binary128_soak PAIRS [SEED]\n");
    return 2;
  }
  const u64 pairs = std::strtoull(argv[1], nullptr, 10);
  Random random(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1);
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
