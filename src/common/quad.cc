#include "common/quad.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace morvantide {

namespace {

// A table of recent results of a pure binary128 function of N arguments:
// 2^kBits slots in sets of four, the set chosen by a hash of the
// arguments' bits.  A slot answers only for bit-identical arguments (NaNs
// with their payload, zeros with their sign); a new result goes to the
// front of its set and the least recently stored one leaves.  Four ways
// keep a study's few dozen distinct arguments where one slot per hash
// would lose one in ten to collisions.
template <int N, int kBits>
class Memo {
 public:
  template <typename F>
  real get(const real (&args)[N], F compute) {
    Slot* set = &slots_[index(args) * kWays];
    for (int w = 0; w < kWays; ++w) {
      if (set[w].used && std::memcmp(set[w].args, args, sizeof args) == 0) return set[w].value;
    }
    const real value = compute();
    std::memmove(&set[1], &set[0], (kWays - 1) * sizeof(Slot));
    std::memcpy(set[0].args, args, sizeof args);
    set[0].value = value;
    set[0].used = true;
    return value;
  }

 private:
  static constexpr int kWays = 4;
  struct Slot {
    real args[N];
    real value;
    bool used;
  };
  static size_t index(const real (&args)[N]) {
    uint64_t words[2 * N];
    std::memcpy(words, args, sizeof args);
    uint64_t h = 0;
    for (uint64_t w : words) h = (h ^ w) * 0x9E3779B97F4A7C15ULL;
    return static_cast<size_t>(h >> (64 - (kBits - 2)));
  }
  Slot slots_[size_t{1} << kBits] = {};
};

// A thread's table, made on its first call with calloc: fresh zero pages
// for which a thread pays only as its lookups touch them (all zero bits
// are a table of unused slots), where a table in thread-local storage
// would be zeroed whole when the thread starts.
template <typename M>
class PerThread {
 public:
  M& get() {
    if (!table_) {
      void* zeros = std::calloc(1, sizeof(M));
      if (zeros == nullptr) throw std::bad_alloc();
      table_.reset(static_cast<M*>(zeros));
    }
    return *table_;
  }

 private:
  struct Free {
    void operator()(M* m) const { std::free(m); }
  };
  std::unique_ptr<M, Free> table_;
};

// A 10-grid study asks for some seventy distinct logarithms and as many
// powers, the same ones again from stage to stage (the logarithm of a
// grid's ratio, of its h, the power of a constant ratio on every grid):
// 256 slots keep nearly all of them.  The exponentials of the least-squares
// fits are some thousands per variable, the same ones for every variable
// of a report on the same grids: 16,384 slots (768 KB).
thread_local PerThread<Memo<1, 8>> t_log;
thread_local PerThread<Memo<1, 8>> t_log10;
thread_local PerThread<Memo<2, 8>> t_pow;
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

bool q_parse(const std::string& text, real* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  real v = strtoflt128(text.c_str(), &end);
  if (end != text.c_str() + text.size()) return false;
  *out = v;
  return true;
}

}  // namespace morvantide
