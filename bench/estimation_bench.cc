// Timings of the estimation for 10, 1000 and 10000 grids, with a constant and a
// variable refinement ratio, and of the estimation followed by the result
// tables and the plot data files written to memory.
//
// Counters: state_bytes is the heap that the state of the run holds (its
// per-grid lists), work_bytes the most heap that one estimation takes on top
// of it; both per run and per grid, to show that memory grows with nm.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "bench_data.h"
#include "common/files.h"
#include "core/estimation.h"
#include "output/plot_data.h"
#include "output/saida_resultados.h"
#include "output/scripts.h"
#include "output/tables.h"

namespace {

// Heap accounting: every allocation carries its size in a header.
size_t g_in_use = 0;
size_t g_peak = 0;
constexpr size_t kHeader = alignof(std::max_align_t);

void* counted_alloc(size_t n) {
  void* p = std::malloc(n + kHeader);
  if (p == nullptr) throw std::bad_alloc();
  *static_cast<size_t*>(p) = n;
  g_in_use += n;
  if (g_in_use > g_peak) g_peak = g_in_use;
  return static_cast<char*>(p) + kHeader;
}

void counted_free(void* q) {
  if (q == nullptr) return;
  void* p = static_cast<char*>(q) - kHeader;
  g_in_use -= *static_cast<size_t*>(p);
  std::free(p);
}

}  // namespace

void* operator new(size_t n) { return counted_alloc(n); }
void* operator new[](size_t n) { return counted_alloc(n); }
void operator delete(void* p) noexcept { counted_free(p); }
void operator delete[](void* p) noexcept { counted_free(p); }
void operator delete(void* p, size_t) noexcept { counted_free(p); }
void operator delete[](void* p, size_t) noexcept { counted_free(p); }

namespace morvantide {
namespace {

// Heap of the state and extra heap of one estimation, as counters.
void count_memory(benchmark::State& bench, int32_t nm, int32_t tipo_r) {
  const size_t before = g_in_use;
  State s = smooth_state(nm, tipo_r);
  const size_t state_bytes = g_in_use - before;
  g_peak = g_in_use;
  static_cast<morvantide::Estimates&>(s) = morvantide::estimativa(s);
  const size_t work_bytes = g_peak - g_in_use;
  bench.counters["state_bytes"] = static_cast<double>(state_bytes);
  bench.counters["work_bytes"] = static_cast<double>(work_bytes);
  bench.counters["state_bytes_per_grid"] = static_cast<double>(state_bytes) / nm;
  bench.counters["work_bytes_per_grid"] = static_cast<double>(work_bytes) / nm;
}

// Re-running the estimation on one state repeats the same work: every stage
// writes the same values again.
void BM_Estimativa(benchmark::State& bench) {
  const int32_t nm = static_cast<int32_t>(bench.range(0));
  const int32_t tipo_r = static_cast<int32_t>(bench.range(1));
  State s = smooth_state(nm, tipo_r);
  for (auto _ : bench) {
    static_cast<morvantide::Estimates&>(s) = morvantide::estimativa(s);
    benchmark::DoNotOptimize(s.Um_Tm1(nm));
  }
  count_memory(bench, nm, tipo_r);
}
BENCHMARK(BM_Estimativa)
    ->ArgNames({"nm", "tipo_r"})
    ->Args({10, 1})
    ->Args({10, 2})
    ->Args({1000, 1})
    ->Args({1000, 2})
    ->UseRealTime()  // the estimation runs on every core
    ->Unit(benchmark::kMicrosecond);

// The large studies: one estimation per run (the variable ratio takes
// about a minute), so only with MORVANTIDE_BENCH_LARGE=1 in the environment:
// the smoke runs of the other rows stay short.
void BM_EstimativaLarge(benchmark::State& bench) {
  const int32_t nm = static_cast<int32_t>(bench.range(0));
  const int32_t tipo_r = static_cast<int32_t>(bench.range(1));
  State s = smooth_state(nm, tipo_r);
  for (auto _ : bench) {
    const Estimates e = estimativa(s);
    benchmark::DoNotOptimize(e.Um_Tm1(nm));
  }
}
const bool kLargeRegistered = [] {
  const char* large = std::getenv("MORVANTIDE_BENCH_LARGE");
  if (large == nullptr || std::string(large) != "1") return false;
  benchmark::RegisterBenchmark("BM_EstimativaLarge", BM_EstimativaLarge)
      ->ArgNames({"nm", "tipo_r"})
      ->Args({10000, 1})
      ->Args({10000, 2})
      ->Iterations(1)
      ->UseRealTime()
      ->Unit(benchmark::kMillisecond);
  return true;
}();

void BM_EstimativaComSaida(benchmark::State& bench) {
  const int32_t nm = static_cast<int32_t>(bench.range(0));
  const int32_t tipo_r = static_cast<int32_t>(bench.range(1));
  State s = smooth_state(nm, tipo_r);
  size_t bytes = 0;
  for (auto _ : bench) {
    static_cast<morvantide::GridTable&>(s) = morvantide::tabela_malhas(s.h);
    static_cast<morvantide::Estimates&>(s) = morvantide::estimativa(s);
    std::string listing = tabelas_pU_psi(s);
    listing += tabela_T(s);
    listing += tabela_U(s);
    MemoryFiles files;
    if (!write_plot_data(s, files).ok()) {
      bench.SkipWithError("plot data not written");
      break;
    }
    bytes = listing.size();
    for (const auto& file : files.contents) bytes += file.second.size();
    benchmark::DoNotOptimize(bytes);
  }
  bench.counters["output_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EstimativaComSaida)
    ->ArgNames({"nm", "tipo_r"})
    ->Args({10, 1})
    ->Args({10, 2})
    ->Args({1000, 1})
    ->Args({1000, 2})
    ->UseRealTime()  // the estimation runs on every core
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace morvantide
