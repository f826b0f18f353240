#include "common/quad.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace morvantide {

namespace {

// A direct-mapped table of recent results of a pure binary128 function of
// N arguments.  A slot is reused only for bit-identical arguments (NaNs
// with their payload, zeros with their sign).  2^kBits slots.  The repeats
// it serves come close together (the same ratio on grid after grid), so a
// small table does: the zeroed tables of every thread are made with it, and
// each of their pages costs a run a page fault.
template <int N, int kBits = 6>
class Memo {
 public:
  template <typename F>
  real get(const real (&args)[N], F compute) {
    Slot& slot = slots_[index(args)];
    if (!slot.used || std::memcmp(slot.args, args, sizeof args) != 0) {
      std::memcpy(slot.args, args, sizeof args);
      slot.value = compute();
      slot.used = true;
    }
    return slot.value;
  }

 private:
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
    return static_cast<size_t>(h >> (64 - kBits));
  }
  Slot slots_[size_t{1} << kBits] = {};
};

thread_local Memo<1> t_log;
thread_local Memo<1> t_log10;
thread_local Memo<2> t_pow;
// The exponentials of the least-squares fits: some thousands per variable,
// the same ones for every variable of a report on the same grids, so the
// table is larger (768 KB), and made on a thread's first call only.  calloc
// maps fresh zero pages for a block this size instead of writing zeros, so
// a thread pays only for the pages its lookups touch; all zero bits are a
// table of unused slots.
using ExpMemo = Memo<1, 14>;
struct FreeMemo {
  void operator()(ExpMemo* memo) const { std::free(memo); }
};
thread_local std::unique_ptr<ExpMemo, FreeMemo> t_exp;

}  // namespace

real q_log(real x) {
  const real args[1] = {x};
  return t_log.get(args, [x] { return logq(x); });
}

real q_log10(real x) {
  const real args[1] = {x};
  return t_log10.get(args, [x] { return log10q(x); });
}

real q_pow(real x, real y) {
  const real args[2] = {x, y};
  return t_pow.get(args, [x, y] { return powq(x, y); });
}

real q_exp(real x) {
  if (!t_exp) {
    void* zeros = std::calloc(1, sizeof(ExpMemo));
    if (zeros == nullptr) throw std::bad_alloc();
    t_exp.reset(static_cast<ExpMemo*>(zeros));
  }
  const real args[1] = {x};
  return t_exp->get(args, [x] { return expq(x); });
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
