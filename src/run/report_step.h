// The report step of a run (--summary, --json, --csv): its variables are
// read with the input, its files join the clash check, and it is written
// after everything else.
#ifndef MORVANTIDE_RUN_REPORT_STEP_H_
#define MORVANTIDE_RUN_REPORT_STEP_H_

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/status.h"
#include "input/variables.h"
#include "model/state.h"
#include "run/options.h"

namespace morvantide {

// The variables the options name: nv alone by default.
// REQUIRES: the input was read.
Status read_report_variables(const State& s, Files& files, const Options& options,
                             std::vector<VariableColumn>* columns);

// The report files written to disk (not "-").
std::vector<std::string> report_files(const Options& options);

// Estimates and judges each variable in turn and writes its JSON entry, CSV
// rows and summary, so that one variable's results are held at a time.  The
// JSON and CSV files are created here; "-" and the summary go to `console`.
// `done`, when given, counts the variables analysed so far (for a progress
// line drawn by another thread).
// REQUIRES: s holds the grid table (tabela_malhas).
Status write_report(const State& s, const std::vector<VariableColumn>& columns,
                    const Options& options, Files& files, OutputFile& console,
                    std::atomic<int64_t>* done = nullptr);

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_REPORT_STEP_H_
