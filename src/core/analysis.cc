#include "core/analysis.h"

#include <algorithm>
#include <atomic>

#include "common/parallel.h"
#include "core/estimation.h"

namespace morvantide {

namespace {

std::atomic<int64_t> calls{0};

FinestWarning finest_warning(const GridVerdict& g, int32_t nm) {
  if (g.U_note == UncertaintyNote::kDivergence) return FinestWarning::kDivergence;
  if (g.U == kSentinel) {
    return g.convergence == Convergence::kUndetermined ? FinestWarning::kNotEstimated
                                                       : FinestWarning::kNoU;
  }
  if (g.gci_dependable) return FinestWarning::kNone;
  if (nm < kFirstRatioTh) return FinestWarning::kFewGrids;
  if (g.convergence == Convergence::kUndetermined) return FinestWarning::kUndeterminedType;
  return FinestWarning::kNotDependable;
}

Finest finest_of(const Analysis& a) {
  const int32_t n = a.study.nm;
  Finest f;
  f.grid = n;
  if (n < 1) return f;
  const GridVerdict& g = a.verdict(n);
  f.h = a.study.h(n);
  f.Th = a.study.Th(n);
  f.verdict = g;
  f.UGCI_Th = a.e.UGCI_Th(n);
  f.Uc_Tc = a.e.Uc_Tc(n);
  if (n >= kFirstDifference) {
    f.pGCI = a.e.pGCI(n);
    f.Umc_Th = a.e.Umc_Th(n);
    f.Um_Tm1 = a.e.Um_Tm1(n);
    f.Tm1 = a.e.Tm1(n);
    f.has_Tm1 = true;
  }
  if (n >= kFirstRatioTh) {
    f.pU_Th = a.e.pU_Th(n);
    f.Ti_pU = a.e.Ti_pU(n);
  }
  if (n <= static_cast<int32_t>(a.ls.size())) f.ls = a.ls[n - 1];
  f.grid_order_warning = grid_order_warning(a.study.h);
  f.warning = finest_warning(g, n);
  return f;
}

}  // namespace

std::vector<real> grid_sizes(const Study& s) {
  std::vector<real> h(s.nm);
  for (int32_t i = 1; i <= s.nm; ++i) h[i - 1] = s.h(i);
  return h;
}

int64_t analysis_steps(int32_t nm) {
  const int64_t n = nm;
  return n < 2 ? (n > 0 ? n : 0) : (n - 1) * (n - 2) / 2 + n;
}

Analysis analyse(const Study& study, const GridTable& grids, const AnalysisSettings& settings) {
  calls.fetch_add(1, std::memory_order_relaxed);
  Analysis a;
  a.study = study;
  a.grids = grids;
  a.e = estimativa(a.study, settings.steps, settings.stop);
  if (settings.stop != nullptr && settings.stop->load(std::memory_order_relaxed)) return a;
  const int32_t first_judged = settings.verdicts == VerdictNeed::kEveryGrid ? 1
                               : settings.verdicts == VerdictNeed::kFinest ? study.nm
                                                                           : study.nm + 1;
  a.verdict = verdict(a.study, a.e, a.grids, settings.target, first_judged);
  if (settings.least_squares != LeastSquaresNeed::kNone) {
    std::vector<real> Th(study.nm);
    for (int32_t i = 1; i <= study.nm; ++i) Th[i - 1] = study.Th(i);
    const bool finest_only = settings.least_squares == LeastSquaresNeed::kFinest;
    if (settings.plan != nullptr) {
      a.ls = least_squares_for_report(*settings.plan, Th, study.pL, finest_only);
    } else {
      a.ls = least_squares_for_report(LeastSquaresPlan(grid_sizes(study)), Th, study.pL,
                                      finest_only);
    }
  }
  a.finest = finest_of(a);
  if (settings.steps != nullptr) settings.steps->fetch_add(study.nm, std::memory_order_relaxed);
  return a;
}

Analysis analyse(const GridStudy& study, size_t column, const AnalysisSettings& settings) {
  const Columns::Column c = study.columns[column];
  Study one = study.study;
  one.Th = c.Th.list();
  Analysis a = analyse(one, study.table, settings);
  a.number = c.number;
  a.name = std::string(c.name);
  return a;
}

namespace {

// Variables analysed at once per thread.
constexpr int kColumnsPerThread = 8;

// Whether column `column` is the one `known` analysed: the same number and
// the same values give the same bits.
bool is_known(const GridStudy& study, size_t column, const Analysis& known) {
  const Columns::Column c = study.columns[column];
  if (c.number != known.number || c.Th.size() != known.study.Th.size()) return false;
  for (int32_t i = 1; i <= c.Th.size(); ++i) {
    if (!same_bits(c.Th(i), known.study.Th(i))) return false;
  }
  return true;
}

}  // namespace

void analyse_columns(const GridStudy& study, const std::vector<size_t>& chosen,
                     const AnalysisSettings& settings, const ColumnsWork& work,
                     const std::function<void(Analysis&)>& take) {
  const size_t batch = static_cast<size_t>(kColumnsPerThread * thread_count());
  std::vector<Analysis> results;
  for (size_t start = 0; start < chosen.size(); start += batch) {
    if (settings.stop != nullptr && settings.stop->load(std::memory_order_relaxed)) return;
    const size_t end = std::min(chosen.size(), start + batch);
    results.assign(end - start, Analysis());
    parallel_for(static_cast<int64_t>(start), static_cast<int64_t>(end), 1,
                 [&](int64_t b, int64_t e) {
                   for (int64_t k = b; k < e; ++k) {
                     const size_t column = chosen[static_cast<size_t>(k)];
                     Analysis& a = results[static_cast<size_t>(k) - start];
                     if (work.known != nullptr && is_known(study, column, *work.known)) {
                       a = *work.known;
                       a.name = std::string(study.columns[column].name);
                     } else {
                       a = analyse(study, column, settings);
                     }
                     if (work.counted != nullptr) {
                       work.counted->fetch_add(1, std::memory_order_relaxed);
                     }
                   }
                 });
    for (Analysis& a : results) take(a);
  }
}

int64_t analyse_calls() { return calls.load(std::memory_order_relaxed); }

}  // namespace morvantide
