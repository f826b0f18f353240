// Whole-process timings: morvantide run as a process on studies of 10,
// 1,000 and 10,000 grids, against the floor program (bench/floor.cc) that
// reads the same inputs and writes the same 15 files of the same sizes, and
// on 100 variables of 10 grids with a report.
//
//   morvantide_process_bench PROGRAM FLOOR [--reference PROGRAM] [--runs-scale K]
//                            [--large] [--dir D] [--rows TEXT]
//
// --rows keeps the rows whose label holds TEXT ("10 grids", "variables").
// A row whose first run fails is reported as failed and the next one runs.
// Runs are interleaved (program, floor and, with --reference, another build
// of the program, the order turning every run) so that a change of machine
// load hits all alike.  Each row prints the medians of the times and the
// medians of the per-run ratios to the floor and to the reference.
// Runs are started like a user's batch run: standard input /dev/null, no
// gnuplot on the search path, outputs to /dev/null.  --large adds the
// 10,000-grid variable-ratio row (minutes per run).
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench_data.h"
#include "common/quad.h"
#include "input/input.h"
#include "model/plot_files.h"
#include "output/plot_data.h"
#include "output/saida_resultados.h"
#include "output/scripts.h"
#include "output/tables.h"

namespace fs = std::filesystem;

namespace {

struct Row {
  const char* label;
  int32_t nm;
  int32_t tipo_r;
  int pairs;       // paired runs (scaled by --runs-scale)
  bool large;      // only with --large
  bool against_floor;
  int32_t variables = 1;       // columns of the result file
  const char* arguments = "";  // of the run, separated by blanks
};

const Row kRows[] = {
    {"10 grids, constant ratio", 10, 1, 200, false, true},
    {"10 grids, variable ratio", 10, 2, 200, false, true},
    {"1,000 grids, constant ratio", 1000, 1, 21, false, false},
    {"1,000 grids, variable ratio", 1000, 2, 7, false, false},
    {"100 variables x 10 grids, --summary", 10, 2, 21, false, false, 100, "--summary --variables all"},
    {"100 variables x 10 grids, --json", 10, 2, 7, false, false, 100, "--json - --variables all"},
    {"10,000 grids, constant ratio", 10000, 1, 3, false, false},
    {"10,000 grids, variable ratio", 10000, 2, 1, true, false},
};

const char* const kListing = "listagem.txt";
const char* const kParameters = "parametros_1.txt";
const char* const kResults = "resultados.txt";

std::string decimal(morvantide::real x) {
  char text[64];
  quadmath_snprintf(text, sizeof text, "%.35Qe", x);
  return text;
}

// The smooth study of the in-process benchmark, as files in layout 1; with
// several variables, variable k is the study's values scaled by 1 + k/64.
void write_study(const fs::path& dir, int32_t nm, int32_t tipo_r, int32_t variables) {
  fs::create_directories(dir);
  const morvantide::State s = morvantide::smooth_state(nm, tipo_r);
  std::ofstream(dir / morvantide::kControlFile) << "1\nparametros_n.txt\n" << kParameters << "\n";
  std::ofstream(dir / kParameters) << "1\n" << kListing << "\n2\n1.5\n" << tipo_r
                                   << "\n50\n1.0E-10\n0.5\n5.0\n" << nm << "\n" << kResults
                                   << "\n'Benchmark study'\n";
  std::ofstream results(dir / kResults);
  results << "h";
  for (int32_t k = 1; k <= variables; ++k) results << " T" << k;
  results << '\n';
  for (int32_t i = 1; i <= nm; ++i) {
    results << decimal(s.h(i));
    for (int32_t k = 1; k <= variables; ++k) {
      const morvantide::real scale = 1 + morvantide::real(k - 1) / 64;
      results << ' ' << decimal(s.Th(i) * scale);
    }
    results << '\n';
  }
}

// The run's seconds, or a negative number when it failed.
double run_in(const char* program, const fs::path& dir, const char* arguments) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<std::string> words;
  for (std::istringstream in(arguments); in;) {
    std::string word;
    if (in >> word) words.push_back(word);
  }
  std::vector<char*> argv{const_cast<char*>(program)};
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  char path[] = "PATH=/nonexistent";
  char* envp[] = {path, nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawn(&pid, program, &actions, nullptr, argv.data(), envp) != 0) {
    std::perror(program);
    std::exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const auto stop = std::chrono::steady_clock::now();
  posix_spawn_file_actions_destroy(&actions);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed in %s\n", program, dir.c_str());
    return -1;
  }
  return std::chrono::duration<double>(stop - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// After one run of the program: the floor's manifest of inputs and outputs.
void write_manifest(const fs::path& dir) {
  std::vector<std::string> inputs{morvantide::kControlFile, kParameters, kResults};
  std::vector<std::string> outputs{kListing};
  for (const morvantide::PlotFile& file : morvantide::kPlotFiles) outputs.emplace_back(file.name);
  for (const morvantide::PlotScript* script : morvantide::kPlotScripts) {
    inputs.emplace_back(script->name);  // read as the template, then rewritten
    outputs.emplace_back(script->name);
  }
  std::ofstream manifest(dir / "floor.manifest");
  for (const std::string& name : inputs) manifest << "r " << name << '\n';
  for (const std::string& name : outputs) {
    manifest << "w " << fs::file_size(dir / name) << ' ' << name << '\n';
  }
}

// One program timed in a folder of its own.
struct Runner {
  const char* program;
  fs::path dir;
  std::vector<double> times;
};

void copy_files(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  for (const auto& entry : fs::directory_iterator(from)) {
    if (entry.is_regular_file()) fs::copy_file(entry.path(), to / entry.path().filename());
  }
}

// Median of the per-run ratios a[k] / b[k].
double median_ratio(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> r;
  for (size_t k = 0; k < a.size(); ++k) r.push_back(a[k] / b[k]);
  return median(r);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: %s PROGRAM FLOOR [--reference PROGRAM] [--runs-scale K] [--large] "
                 "[--dir D] [--rows TEXT]\n",
                 argv[0]);
    return 2;
  }
  const char* program = argv[1];
  const char* floor = argv[2];
  const char* reference = nullptr;
  double scale = 1;
  bool large = false;
  std::string only;  // rows whose label holds this text
  fs::path root = fs::temp_directory_path() / "morvantide-process-bench";
  for (int k = 3; k < argc; ++k) {
    const std::string a = argv[k];
    if (a == "--runs-scale" && k + 1 < argc) scale = std::atof(argv[++k]);
    else if (a == "--reference" && k + 1 < argc) reference = argv[++k];
    else if (a == "--large") large = true;
    else if (a == "--dir" && k + 1 < argc) root = argv[++k];
    else if (a == "--rows" && k + 1 < argc) only = argv[++k];
  }
  std::printf("%-36s %12s %12s %8s", "run", "program", "floor", "ratio");
  if (reference != nullptr) std::printf(" %12s %8s", "reference", "ratio");
  std::printf(" %6s\n", "runs");
  for (const Row& row : kRows) {
    if (row.large && !large) continue;
    if (!only.empty() && std::string(row.label).find(only) == std::string::npos) continue;
    const fs::path dir = root / ("nm" + std::to_string(row.nm) + "-r" + std::to_string(row.tipo_r) +
                                 "-v" + std::to_string(row.variables));
    fs::remove_all(dir);
    write_study(dir / "program", row.nm, row.tipo_r, row.variables);
    // The first run makes the plot templates, as a user's first run does.
    if (run_in(program, dir / "program", row.arguments) < 0) {
      std::printf("%-36s failed (see above)\n", row.label);
      continue;
    }
    write_manifest(dir / "program");
    // Each program in a folder of its own, from the same files.
    std::vector<Runner> runners{{program, dir / "program", {}}};
    if (row.against_floor) {
      copy_files(dir / "program", dir / "floor");
      runners.push_back({floor, dir / "floor", {}});
    }
    if (reference != nullptr) {
      copy_files(dir / "program", dir / "reference");
      runners.push_back({reference, dir / "reference", {}});
    }
    const int runs = std::max(1, static_cast<int>(row.pairs * scale));
    for (int k = 0; k < runs; ++k) {
      // The order turns every run, so that none is always first.
      for (size_t n = 0; n < runners.size(); ++n) {
        Runner& r = runners[(n + static_cast<size_t>(k)) % runners.size()];
        r.times.push_back(run_in(r.program, r.dir, r.program == floor ? "" : row.arguments));
      }
    }
    const std::vector<double>& tp = runners[0].times;
    std::printf("%-36s %9.3f ms", row.label, 1e3 * median(tp));
    if (row.against_floor) {
      const std::vector<double>& tf = runners[1].times;
      std::printf(" %9.3f ms %7.2fx", 1e3 * median(tf), median_ratio(tp, tf));
    } else {
      std::printf(" %12s %8s", "", "");
    }
    if (reference != nullptr) {
      const std::vector<double>& tr = runners.back().times;
      std::printf(" %9.3f ms %7.2fx", 1e3 * median(tr), median_ratio(tp, tr));
    }
    std::printf(" %6d\n", runs);
    std::fflush(stdout);
  }
  return 0;
}
