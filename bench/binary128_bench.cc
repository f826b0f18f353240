// Cost of one binary128 +, -, * and / over arrays of operands, the
// program's routines against libgcc's (from libgcc_s, loaded at run time),
// of powq, log10q and expq as the program links them, and of one entry of
// an extrapolation table level.  The counter per_op is the time of one
// operation, per_entry of one entry.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "bench_data.h"
#include "kernel/binary128_arith.h"
#include "common/quad.h"

#if defined(MORVANTIDE_BINARY128_ARITH) && !defined(_WIN32)
#include <dlfcn.h>
#define MORVANTIDE_BENCH_LIBGCC 1
#endif

namespace morvantide {
namespace {

using Op = real (*)(real, real);
constexpr int kCount = 4096;

struct Operands {
  std::vector<real> a, b, base, power, exponent;
  Operands() {
    std::mt19937_64 random(1);
    auto ratio = [&] {
      return static_cast<real>(static_cast<int64_t>(random() >> 1)) /
             static_cast<real>(static_cast<int64_t>((random() >> 1) | 1));
    };
    for (int i = 0; i < kCount; ++i) {
      a.push_back(ratio());
      b.push_back(ratio() - 0.5Q);  // both signs: sums and differences
      base.push_back(1 + static_cast<real>(static_cast<int32_t>(random() % 1000000)) / 1000);
      power.push_back(static_cast<real>(static_cast<int32_t>(random() % 4000)) / 1000 - 2);
      exponent.push_back(static_cast<real>(static_cast<int32_t>(random() % 20000)) / 1000 - 10);
    }
  }
};
const Operands& operands() {
  static const Operands o;
  return o;
}

void per_op(benchmark::State& bench) {
  bench.counters["per_op"] =
      benchmark::Counter(static_cast<double>(kCount) * static_cast<double>(bench.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void run_op(benchmark::State& bench, Op op) {
  const Operands& o = operands();
  std::vector<real> c(kCount);
  for (auto _ : bench) {
    for (int i = 0; i < kCount; ++i) c[i] = op(o.a[i], o.b[i]);
    benchmark::DoNotOptimize(c.data());
  }
  per_op(bench);
}

#if defined(MORVANTIDE_BINARY128_ARITH)
const char* const kNames[4] = {"__addtf3", "__subtf3", "__multf3", "__divtf3"};
const Op kOurs[4] = {__addtf3, __subtf3, __multf3, __divtf3};

void BM_Binary128Op(benchmark::State& bench) { run_op(bench, kOurs[bench.range(0)]); }
BENCHMARK(BM_Binary128Op)->ArgName("add_sub_mul_div")->DenseRange(0, 3);
#endif

#if defined(MORVANTIDE_BENCH_LIBGCC)
void BM_Binary128OpLibgcc(benchmark::State& bench) {
  void* libgcc = dlopen("libgcc_s.so.1", RTLD_NOW | RTLD_LOCAL);
  Op op = libgcc != nullptr ? reinterpret_cast<Op>(dlsym(libgcc, kNames[bench.range(0)])) : nullptr;
  if (op == nullptr) {
    bench.SkipWithError("libgcc_s.so.1 not found");
    return;
  }
  run_op(bench, op);
}
BENCHMARK(BM_Binary128OpLibgcc)->ArgName("add_sub_mul_div")->DenseRange(0, 3);
#endif

void BM_Quadmath(benchmark::State& bench) {
  const Operands& o = operands();
  std::vector<real> c(kCount);
  const int64_t which = bench.range(0);
  for (auto _ : bench) {
    for (int i = 0; i < kCount; ++i) {
      c[i] = which == 0 ? powq(o.base[i], o.power[i])
                        : which == 1 ? log10q(o.base[i]) : expq(o.exponent[i]);
    }
    benchmark::DoNotOptimize(c.data());
  }
  per_op(bench);
}
BENCHMARK(BM_Quadmath)->ArgName("pow_log10_exp")->DenseRange(0, 2);

// One level of the table of a 1,000-grid study with a constant ratio (the
// first: its entries from the results, d = r21^pV(2) - 1), entry i from
// entries i and i - 1 of the level before:
//   0: the difference, the quotient and the sum as three operations;
//   1: extrapolation_step with d;
//   2: extrapolation_step with d prepared once for the level (Divisor).
void BM_ExtrapolationStep(benchmark::State& bench) {
  const State s = smooth_state(1000, 1);
  std::vector<real> previous(static_cast<size_t>(s.nm) + 1), current(previous.size());
  for (int32_t i = 1; i <= s.nm; ++i) previous[i] = s.Th(i);
  const real d = q_pow(s.h(1) / s.h(2), s.pV(2)) - 1;
  const int64_t how = bench.range(0);
  for (auto _ : bench) {
    if (how == 0) {
      for (size_t i = 2; i < previous.size(); ++i) {
        const real difference = previous[i] - previous[i - 1];
        const real correction = difference / d;
        current[i] = previous[i] + correction;
      }
    } else if (how == 1) {
      for (size_t i = 2; i < previous.size(); ++i) {
        current[i] = binary128::extrapolation_step(previous[i], previous[i - 1], d);
      }
    } else {
      const binary128::Divisor divisor(d);
      for (size_t i = 2; i < previous.size(); ++i) {
        current[i] = binary128::extrapolation_step(previous[i], previous[i - 1], divisor);
      }
    }
    benchmark::DoNotOptimize(current.data());
  }
  bench.counters["per_entry"] = benchmark::Counter(
      static_cast<double>(previous.size() - 2) * static_cast<double>(bench.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ExtrapolationStep)->ArgName("three_fused_prepared")->DenseRange(0, 2);

}  // namespace
}  // namespace morvantide
