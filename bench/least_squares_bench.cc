// Cost of the least-squares uncertainty of every grid for 10 and 100 grids,
// on the smooth results of the estimation benchmark and on the same results
// with a scatter of 1% of their range.  Every grid refits all the grids up to
// it, so the cost grows with nm^2; the counter per_grid is the mean cost of one
// grid.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "bench_data.h"
#include "core/least_squares.h"

namespace morvantide {
namespace {

void BM_LeastSquares(benchmark::State& bench) {
  const int32_t nm = static_cast<int32_t>(bench.range(0));
  const bool scattered = bench.range(1) != 0;
  const Study s = smooth_state(nm, 2).study;
  std::vector<real> h, Th;
  const real swing[] = {0.7Q, -1, 0.2Q, 0.9Q, -0.4Q};
  const real size = (s.Th(nm) - s.Th(1)) / 100;
  for (int32_t i = 1; i <= nm; ++i) {
    h.push_back(s.h(i));
    Th.push_back(s.Th(i) + (scattered ? size * swing[i % 5] : 0));
  }
  for (auto _ : bench) {
    const std::vector<LeastSquaresGrid> out = least_squares_estimates(h, Th, s.pL);
    benchmark::DoNotOptimize(out.back().U_LS);
  }
  // Seconds per grid (shown with a prefix: 25.3u is 25.3 microseconds).
  bench.counters["per_grid"] = benchmark::Counter(
      static_cast<double>(nm) * static_cast<double>(bench.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LeastSquares)
    ->ArgNames({"nm", "scattered"})
    ->Args({10, 0})
    ->Args({10, 1})
    ->Args({100, 0})
    ->Args({100, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace morvantide
