// The repeated extrapolation with the true orders pV and its most
// extrapolated value Tm1, with the ratio, order and error of Tm1.
//
// The table Tm(i,j) (level j at grid i, from grids i-j to i) is kept one
// level at a time: level j needs only level j-1, and of each level only
// Tm(j+1,j) = Tm1(j+1) leaves the stage, so memory grows with nm.

#include <cstring>
#include <utility>
#include <vector>

#include "kernel/binary128_arith.h"
#include "core/repeated_extrapolation.h"
#include "common/parallel.h"
#include "core/primitives.h"

namespace morvantide {
namespace {

// The denominator r21^pV(j) - 1 of one level's entries, formed again only
// when the ratio changes bit for bit: equal arguments give equal bits, so
// every entry is what it would be with its own power.
class DenominatorCache {
 public:
  explicit DenominatorCache(real exponent) : exponent_(exponent) {}
  real operator()(real base) {
    if (!valid_ || std::memcmp(&base, &base_, sizeof base) != 0) {
      base_ = base;
      denominator_ = q_pow(base, exponent_) - 1;
      valid_ = true;
    }
    return denominator_;
  }

 private:
  real exponent_;
  real base_ = 0;
  real denominator_ = 0;
  bool valid_ = false;
};

// Entries of a level per piece of work on a thread: an entry with its own
// power takes a few microseconds, one with a reused power a few tenths.
constexpr int64_t kEntriesPerPieceVarying = 8;
constexpr int64_t kEntriesPerPieceConstant = 128;

}  // namespace

void extrapolacao_repetida(const Study& s, Estimates& e, std::atomic<int64_t>* entries,
                           const std::atomic<bool>* stop) {
  const int32_t nm = s.nm;
  if (nm < 2) return;

  // Level 1 is Ti_pL; level j removes the term of order pV(j).
  // previous[i] = Tm(i, j-1), current[i] = Tm(i, j).
  std::vector<real> previous(static_cast<size_t>(nm) + 1);
  std::vector<real> current(static_cast<size_t>(nm) + 1);
  for (int32_t i = 2; i <= nm; ++i) previous[i] = e.Ti_pL(i);
  e.Tm1(2) = previous[2];
  // r21 of every grid, formed once for all levels; whether it ever changes
  // decides how finely a level is cut for the threads.
  std::vector<real> r21(static_cast<size_t>(nm) + 1);
  bool ratio_changes = false;
  for (int32_t i = 2; i <= nm; ++i) {
    r21[i] = ratio_r21(s.h, i);
    if (i > 2 && std::memcmp(&r21[i], &r21[i - 1], sizeof(real)) != 0) ratio_changes = true;
  }
  const int64_t grain = ratio_changes ? kEntriesPerPieceVarying : kEntriesPerPieceConstant;
  for (int32_t j = 2; j <= nm - 1; ++j) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return;
    // The entries of a level depend only on the level before, so they are
    // formed on all threads, each entry by the operations of
    // extrapola_with_power: the difference, the quotient by r21^pV(j) - 1,
    // the sum, in one extrapolation_step.  With a constant ratio every
    // entry of the level has the same denominator: formed once, and
    // prepared once for its divisions.  Otherwise the denominator is reused
    // while the ratio stays bit for bit the same.
    const real pV = e.pV(j);
    if (!ratio_changes) {
      const binary128::Divisor denominator(q_pow(r21[2], pV) - 1);
      parallel_for(j + 1, int64_t{nm} + 1, grain, [&](int64_t begin, int64_t end) {
        for (int64_t i = begin; i < end; ++i) {
          current[i] = binary128::extrapolation_step(previous[i], previous[i - 1], denominator);
        }
      });
    } else {
      parallel_for(j + 1, int64_t{nm} + 1, grain, [&](int64_t begin, int64_t end) {
        DenominatorCache denominator(pV);
        for (int64_t i = begin; i < end; ++i) {
          current[i] =
              binary128::extrapolation_step(previous[i], previous[i - 1], denominator(r21[i]));
        }
      });
    }
    e.Tm1(j + 1) = current[j + 1];
    std::swap(previous, current);
    if (entries != nullptr) entries->fetch_add(nm - j, std::memory_order_relaxed);
  }

  // Ratio, order and error of the sequence Tm1.  The error of Tm1(i-1) comes
  // from the ratio at grid i; the finest grid's from the ratio extrapolated
  // one grid on, psi(nm)^2 / psi(nm-1).
  for (int32_t i = kFirstRatioTm1; i <= nm; ++i) {
    const real a = e.Tm1(i - 1) - e.Tm1(i - 2);
    const real b = e.Tm1(i) - e.Tm1(i - 1);
    const real psi = convergence_ratio(e.Tm1, i, kSentinel);
    e.psi_Tm1(i) = psi;
    if (b != 0 && psi != 0) e.pUs_Tm1(i) = order_from_abs(psi, ratio_r21(s.h, i));
    if (q_abs(psi) > 1 && psi != kSentinel) {
      e.Um_Tm1(i - 1) = a / (psi - 1);
      if (i == nm) {
        // psi_Tm1(nm-1) as it stands, the sentinel included.
        const real psi_e = e.psi_Tm1(nm) * e.psi_Tm1(nm) / e.psi_Tm1(nm - 1);
        e.Um_Tm1(nm) = b / (psi_e - 1);
      }
    }
  }
}

struct FinestRepeatedExtrapolation::Shared {
  int32_t nm = 0;
  std::vector<real> power_pL;      // q_pow(r21(i), pL) by grid
  bool ratio_changes = false;
  // Level j (2..nm-1), grid i (j+1..nm): denominators[(j - 2) * (nm + 1) + i].
  std::vector<real> denominators;
  std::vector<binary128::Divisor> constant;  // level j at j - 2 (constant ratio)
};

FinestRepeatedExtrapolation::FinestRepeatedExtrapolation(const Study& s)
    : shared_(std::make_unique<Shared>()) {
  Shared& w = *shared_;
  const int32_t nm = s.nm;
  w.nm = nm;
  std::vector<real> r21(static_cast<size_t>(nm) + 1, 0);
  w.power_pL.assign(static_cast<size_t>(nm) + 1, 0);
  for (int32_t i = 2; i <= nm; ++i) {
    r21[i] = ratio_r21(s.h, i);
    // Ti_pL = extrapola(Th(i), Th(i-1), r21, pL) forms this power first.
    w.power_pL[i] = q_pow(r21[i], s.pL);
    if (i > 2 && std::memcmp(&r21[i], &r21[i - 1], sizeof(real)) != 0) w.ratio_changes = true;
  }
  if (nm >= 3) w.denominators.assign(static_cast<size_t>(nm - 2) * (nm + 1), 0);
  for (int32_t j = 2; j <= nm - 1; ++j) {
    const real pV = true_order(s.pL, s.dp, j);
    if (!w.ratio_changes) {
      w.constant.emplace_back(q_pow(r21[2], pV) - 1);
      continue;
    }
    for (int32_t i = j + 1; i <= nm; ++i) {
      w.denominators[static_cast<size_t>(j - 2) * (nm + 1) + i] = q_pow(r21[i], pV) - 1;
    }
  }
}

FinestRepeatedExtrapolation::~FinestRepeatedExtrapolation() = default;

real FinestRepeatedExtrapolation::Tm1(const real* T) const {
  const Shared& w = *shared_;
  const int32_t nm = w.nm;
  // Level by level in place: entry i of a level needs entries i and i-1 of
  // the level before, so the grids are taken from the finest down.
  constexpr int32_t kOnStack = 32;
  real small[kOnStack + 1] = {};
  std::vector<real> large;
  real* level = small;
  if (nm > kOnStack) {
    large.resize(static_cast<size_t>(nm) + 1);
    level = large.data();
  }
  for (int32_t i = 2; i <= nm; ++i) {
    level[i] = extrapola_with_power(T[i - 1], T[i - 2], w.power_pL[i]);
  }
  for (int32_t j = 2; j <= nm - 1; ++j) {
    if (!w.ratio_changes) {
      const binary128::Divisor& d = w.constant[static_cast<size_t>(j - 2)];
      for (int32_t i = nm; i >= j + 1; --i) {
        level[i] = binary128::extrapolation_step(level[i], level[i - 1], d);
      }
    } else {
      const real* d = &w.denominators[static_cast<size_t>(j - 2) * (nm + 1)];
      for (int32_t i = nm; i >= j + 1; --i) {
        level[i] = binary128::extrapolation_step(level[i], level[i - 1], d[i]);
      }
    }
  }
  return level[nm];
}

}  // namespace morvantide
