#include "core/analysis.h"

#include <atomic>

#include "core/estimation.h"

namespace morvantide {

namespace {

std::atomic<int64_t> calls{0};

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
  a.verdict = verdict(a.study, a.e, a.grids, settings.target);
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
  if (settings.steps != nullptr) settings.steps->fetch_add(study.nm, std::memory_order_relaxed);
  return a;
}

int64_t analyse_calls() { return calls.load(std::memory_order_relaxed); }

}  // namespace morvantide
