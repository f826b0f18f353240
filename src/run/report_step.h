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
#include "core/analysis.h"
#include "input/variables.h"
#include "model/source.h"
#include "model/state.h"
#include "run/options.h"
#include "run/progress.h"

namespace morvantide {

// The variables the options name: nv alone by default.  Through the run's
// `files`, which read the listing's variable already.
// REQUIRES: the input was read.
Status read_report_variables(const State& s, ResultFiles& files, const Options& options,
                             Columns* columns);

// What the run read, as the JSON and CSV name it: a table (a data run's
// State carries its name as given) or the result files of a classic run.
Source source_of(const State& s);

// The study of a classic run's State: its source, settings and h (no Th)
// and its grid table; no columns yet.
GridStudy study_of(const State& s);
// A table's source: its name and title as given (any bytes; control bytes
// are spelled out where the reports need it).
Source table_source(const std::string& file, const std::string& title);

// Whether the report shows the least-squares results of every grid (a JSON
// or CSV report) or of the finest grid alone (the summary alone).
bool report_needs_every_grid(const Options& options);
// The grids whose verdict a run shows: every grid for a JSON or CSV report,
// the finest for the summary alone, none without a report.
VerdictNeed report_verdicts(const Options& options);

// Analyses the columns `chosen` of `study` (analyse_columns, a batch at a
// time) and writes each one's JSON entry, CSV rows and summary in turn.
// The column that `nv` analysed already (a classic run's variable nv: the
// same number and the same values) is not analysed again.  `plan` is the
// least-squares plan of the study's h.  The JSON and CSV files are created
// here; "-" and the summary go to `console`.  `done`, when given, counts the
// variables analysed so far and the steps of the analyses made here (for a
// progress line drawn by another thread; nv's steps are its analyser's to
// count).
// REQUIRES: study.table = tabela_malhas(study.study.h); nv, when given,
//           analysed with options.target and at least the least-squares
//           results the report needs.
Status write_report(const GridStudy& study, const std::vector<size_t>& chosen,
                    const Analysis* nv, const LeastSquaresPlan* plan, const Options& options,
                    Files& files, OutputFile& console, WorkDone* done = nullptr);

}  // namespace morvantide

#endif  // MORVANTIDE_RUN_REPORT_STEP_H_
