#include "common/quad.h"

#include <cstring>
#include <memory>

namespace morvantide {

namespace {

// A table of recent results of a pure binary128 function of N arguments:
// 2^kBits slots in sets of four, the set chosen by a hash of the
// arguments' bits.  A slot answers only for bit-identical arguments (NaNs
// with their payload, zeros with their sign); a new result goes to the
// front of its set and the least recently stored one leaves.  Four ways
// keep a study's few dozen distinct arguments where one slot per hash
// would lose one in ten to collisions.  Only the small map of the slots in
// use starts zeroed: the slots themselves are written before they are
// read, so a table costs only the pages its lookups touch.
template <int N, int kBits>
class Memo {
 public:
  template <typename F>
  real get(const real (&args)[N], F compute) {
    const size_t first = index(args) * kWays;
    Slot* set = &slots_[first];
    const unsigned in_use = used_[first / 8] >> (first % 8) & 0xF;
    for (int w = 0; w < kWays; ++w) {
      if ((in_use >> w & 1) != 0 && std::memcmp(set[w].args, args, sizeof args) == 0) {
        return set[w].value;
      }
    }
    const real value = compute();
    std::memmove(&set[1], &set[0], (kWays - 1) * sizeof(Slot));
    std::memcpy(set[0].args, args, sizeof args);
    set[0].value = value;
    const unsigned shift = first % 8, now_used = (in_use << 1 | 1) & 0xF;
    used_[first / 8] =
        static_cast<unsigned char>((used_[first / 8] & ~(0xFu << shift)) | now_used << shift);
    return value;
  }

 private:
  static constexpr int kWays = 4;
  struct Slot {
    real args[N];
    real value;
  };
  static size_t index(const real (&args)[N]) {
    uint64_t words[2 * N];
    std::memcpy(words, args, sizeof args);
    uint64_t h = 0;
    for (uint64_t w : words) h = (h ^ w) * 0x9E3779B97F4A7C15ULL;
    return static_cast<size_t>(h >> (64 - (kBits - 2)));
  }
  unsigned char used_[(size_t{1} << kBits) / 8] = {};  // bit k: slot k holds a result
  Slot slots_[size_t{1} << kBits];
};

// A thread's table, made on its first call: with new and no initialiser
// only the map of used slots is written, so the memory of the slots is
// touched as lookups fill it (and a large table comes as fresh pages).
template <typename M>
class PerThread {
 public:
  M& get() {
    if (!table_) table_.reset(new M);
    return *table_;
  }

 private:
  std::unique_ptr<M> table_;
};

// The logarithms and powers of a study are few and asked for again from
// stage to stage (the logarithm of a grid's ratio, of its h, the power of a
// constant ratio on every grid): 128 slots each, a page or two that the
// lookups touch.  The exponentials of the least-squares fits are some
// thousands per variable, the same ones for every variable of a report on
// the same grids: 16,384 slots (512 KB).
thread_local PerThread<Memo<1, 7>> t_log;
thread_local PerThread<Memo<1, 7>> t_log10;
thread_local PerThread<Memo<2, 7>> t_pow;
thread_local PerThread<Memo<1, 14>> t_exp;

}  // namespace

real q_log(real x) {
  const real args[1] = {x};
  return t_log.get().get(args, [x] { return logq(x); });
}

real q_log10(real x) {
  const real args[1] = {x};
  return t_log10.get().get(args, [x] { return log10q(x); });
}

real q_pow(real x, real y) {
  const real args[2] = {x, y};
  return t_pow.get().get(args, [x, y] { return powq(x, y); });
}

real q_exp(real x) {
  const real args[1] = {x};
  return t_exp.get().get(args, [x] { return expq(x); });
}

std::string q_to_string(real x) {
  char buf[64];
  quadmath_snprintf(buf, sizeof buf, "%.35Qe", x);
  return buf;
}

}  // namespace morvantide
