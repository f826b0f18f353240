// The cost of a report over many variables: a whole run held in memory on a
// layout-1 table of V variables and nm grids with --variables all and the
// three report forms, against the same run with no options (one variable).
// The difference is the report: reading V columns, V estimations, V
// verdicts and the JSON, CSV and summary texts.

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/quad.h"
#include "run/options.h"
#include "run/run.h"

namespace morvantide {
namespace {

class QuietPlatform : public Platform {
 public:
  LocalTime now() override { return {2026, 12, 6, 9, 5, 3}; }
  int32_t run(Program, const std::string&) override { return 0; }
};

std::string digits(real x) {
  char buf[64];
  quadmath_snprintf(buf, sizeof buf, "%.36Qe", x);
  return buf;
}

// Variable k on grid i: k + 0.5 h^2 - 0.2 k h^3 on h = 0.2 / 1.6^(i-1).
MemoryFiles table(int32_t variables, int32_t nm) {
  MemoryFiles f;
  f.contents["Morvantide_4p0.in"] = "1\r\nparam_n.txt\r\nparam1.txt\r\n";
  f.contents["param1.txt"] = "1\r\nlista.txt\r\n2\r\n1\r\n1\r\n50\r\n1.0E-12\r\n0.5\r\n5.0\r\n" +
                             std::to_string(nm) + "\r\ndados.txt\r\nbench\r\n";
  std::string data = "h";
  for (int32_t k = 1; k <= variables; ++k) data += " v" + std::to_string(k);
  data += "\r\n";
  for (int32_t i = 1; i <= nm; ++i) {
    const real h = 0.2Q / q_pow(1.6Q, q_from_int(i - 1));
    data += digits(h);
    for (int32_t k = 1; k <= variables; ++k) {
      const real q = q_from_int(k);
      data += " " + digits(q + 0.5Q * h * h - 0.2Q * q * h * h * h);
    }
    data += "\r\n";
  }
  f.contents["dados.txt"] = data;
  return f;
}

void BM_RunWithReport(benchmark::State& bench) {
  const int32_t variables = static_cast<int32_t>(bench.range(0));
  const int32_t nm = static_cast<int32_t>(bench.range(1));
  const bool report = bench.range(2) != 0;
  const MemoryFiles input = table(variables, nm);
  Options options;
  if (report &&
      !parse_options({"--variables=all", "--summary", "--json=r.json", "--csv=r.csv"}, &options)
           .ok()) {
    bench.SkipWithError("options refused");
    return;
  }
  size_t report_bytes = 0;
  for (auto _ : bench) {
    MemoryFiles files = input;
    MemoryFiles screen;
    std::unique_ptr<OutputFile> console;
    (void)screen.create("console", &console);
    QuietPlatform platform;
    State s;
    Status st = run(s, files, platform, options, *console);
    if (!st.ok()) {
      bench.SkipWithError(st.message().c_str());
      break;
    }
    report_bytes = files.contents["r.json"].size() + files.contents["r.csv"].size() +
                   screen.contents["console"].size();
    benchmark::DoNotOptimize(report_bytes);
  }
  bench.counters["report_bytes"] = static_cast<double>(report_bytes);
}
BENCHMARK(BM_RunWithReport)
    ->ArgNames({"variables", "nm", "report"})
    ->Args({100, 10, 0})
    ->Args({100, 10, 1})
    ->Args({1, 10, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace morvantide
