// The analysis of one variable of a study: the one entry point from a
// study to everything a run shows of it.  The listing, the plot data files,
// U_LS.dat, the summary, the JSON and the CSV all read the Analysis that
// analyse() returns; no writer computes anything of its own.
//
// analyse() is a pure computation (no files, no clock, no programs): the
// same study and settings give the same bits, on any thread.
//
// Worked example: Th = 1 + h^2 on h = 0.4, 0.2, 0.1, 0.05 with pL = 2,
// dp = 1, tipo_r = 1 (a constant ratio 2):
//
//   Study study = ...;                         // nm = 4, h and Th as above
//   const GridTable grids = tabela_malhas(study.h);
//   AnalysisSettings settings;
//   settings.least_squares = LeastSquaresNeed::kEveryGrid;
//   Analysis a = analyse(study, grids, settings);
//
//   a.e.psi_Th(4) == 4, a.e.pUs_Th(4) == 2      convergence ratio, order
//                                               (to rounding)
//   a.e.Tm1(4) == 1 (to rounding)               the exact limit
//   a.e.UGCI_Th(4) == 0.003125 (to rounding)   1.25 * 0.0075 / 3
//   a.verdict(4).convergence == Convergence::kMonotonicConvergence
//   a.ls[3].U_LS                                U_LS of grid 4 (a.ls[0..2]
//                                               are missing: grids 1-3)
//   a.number == 0, a.name == ""                 set by the caller when the
//                                               variable has a place/name
#ifndef MORVANTIDE_CORE_ANALYSIS_H_
#define MORVANTIDE_CORE_ANALYSIS_H_

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/least_squares.h"
#include "core/verdict.h"
#include "model/state.h"
#include "model/study.h"

namespace morvantide {

// Which least-squares results an analysis computes.  Each grid costs a fit
// over all the grids up to it, so a caller asks only for what it shows.
enum class LeastSquaresNeed {
  kNone,       // ls stays empty
  kFinest,     // grid nm alone (the summary's need); the others missing
  kEveryGrid,  // every grid up to kLeastSquaresEveryGridMax grids, else
               // grid nm alone (least_squares_for_report)
};

// Which grids the verdict judges.  Each grid's verdict (its observed order
// over the whole positive line above all) costs a search, so a caller asks
// only for what it shows: a run with no report none, the summary the
// finest grid, the JSON, the CSV and Python every grid.
enum class VerdictNeed { kNone, kFinest, kEveryGrid };

struct AnalysisSettings {
  Target target;  // the uncertainty aimed at; kNone for no target figures
  VerdictNeed verdicts = VerdictNeed::kEveryGrid;
  LeastSquaresNeed least_squares = LeastSquaresNeed::kNone;
  // What least squares needs of h, shared by every variable of a study.
  // Null: formed from study.h for this call alone.
  // REQUIRES (when given): built from the study's h.
  const LeastSquaresPlan* plan = nullptr;
  // When given, grows by analysis_steps(study.nm) in all over the call, in
  // steps as the work is done (a progress line read on another thread).
  // The results are the same bits with or without it.
  std::atomic<int64_t>* steps = nullptr;
  // When given and set by another thread, the analysis ends early with
  // incomplete results, which the caller drops (an interrupted call).
  const std::atomic<bool>* stop = nullptr;
};

// The steps one analysis of nm grids counts: an entry of the repeated
// extrapolation each (its cost grows as nm^2 and dominates a long study),
// and one per grid for the rest, counted as the analysis ends.
//   analysis_steps(1) == 1, analysis_steps(4) == 7, analysis_steps(4000) == 8000001
int64_t analysis_steps(int32_t nm);

// What the finest grid's figures leave to warn of, decided once; the
// summary chooses the words.
enum class FinestWarning {
  kNone,              // a dependable U
  kDivergence,        // the grids diverge: no U
  kNotEstimated,      // undetermined and no U: the error is not estimated
  kNoU,               // a type, but no U
  kFewGrids,          // U from two grids: the type is unknown
  kUndeterminedType,  // U, but the type is undetermined
  kNotDependable,     // U, but the type makes it no dependable bound
};

// The finest grid's figures, decided once by analyse(): the summary, the
// JSON's "finest" object and Python read them; none decides its own.
struct Finest {
  int32_t grid = 0;  // nm
  real h = 0;
  real Th = 0;
  // The grid's verdict: its type (undetermined below 3 grids), U with its
  // source, order and note, P, A, the asymptotic check, the target figures
  // and where U stands against the target.
  GridVerdict verdict;
  // The listing's figures at the grid; the sentinel before their first grid.
  real UGCI_Th = kSentinel, pU_Th = kSentinel, pGCI = kSentinel;
  real Umc_Th = kSentinel, Um_Tm1 = kSentinel, Uc_Tc = kSentinel;
  real Tm1 = kSentinel, Ti_pU = kSentinel;
  bool has_Tm1 = false;  // Tm1 exists (2 grids or more), whatever its value
  LeastSquaresGrid ls;   // missing when not computed
  // The warnings: grids out of order ("" when in order), then U's.
  std::string grid_order_warning;
  FinestWarning warning = FinestWarning::kNone;
};

// Everything a run shows of one variable.
struct Analysis {
  int32_t number = 0;  // its place after h in the result files
  std::string name;    // from the layout-1 header; empty when none
  Study study;         // the settings, h and this variable's Th
  GridTable grids;     // log10(h) and r21
  Estimates e;         // every per-grid list of the estimation
  GridList<GridVerdict> verdict;  // the verdict and target figures per grid
  // The least-squares results (entry i-1 for grid i): empty for kNone;
  // otherwise nm entries, missing where they were not computed.
  std::vector<LeastSquaresGrid> ls;
  Finest finest;  // the finest grid's figures
};

// The estimates, the verdict of every grid against settings.target and the
// least-squares results settings.least_squares asks for.
// REQUIRES: study.h and study.Th hold study.nm entries;
//           grids == tabela_malhas(study.h).
Analysis analyse(const Study& study, const GridTable& grids, const AnalysisSettings& settings);

// The analysis of column `column` of `study`, numbered and named as the
// column: analyse() of its Study with the column's values as Th.
// REQUIRES: study.table == tabela_malhas(study.study.h);
//           column < study.columns.size().
Analysis analyse(const GridStudy& study, size_t column, const AnalysisSettings& settings);

// What analyse_columns() reuses and counts.
struct ColumnsWork {
  // An analysis made already of one column (the listing's variable, with the
  // same settings): a chosen column with its number and the same values
  // takes a copy of it instead of a second analysis.
  const Analysis* known = nullptr;
  // Grows by one as each column is analysed (a progress line).
  std::atomic<int64_t>* counted = nullptr;
};

// The one loop over a study's columns for every way in: the columns
// `chosen` (places in study.columns, in the order given, a place listed
// twice analysed twice) are analysed on the threads a batch at a time, each
// a pure function of its column, and handed to `take` in the order of
// `chosen`, on the calling thread; a batch bounds the analyses held at once.
// Once settings.stop is set no batch starts and the analyses handed over
// are incomplete (the caller drops them).
void analyse_columns(const GridStudy& study, const std::vector<size_t>& chosen,
                     const AnalysisSettings& settings, const ColumnsWork& work,
                     const std::function<void(Analysis&)>& take);

// How many times analyse() ran in this process: one analysis per reported
// variable per run is a promise, and this count is how it is checked.
int64_t analyse_calls();

// The sizes h of a study's grids, coarsest first (for LeastSquaresPlan).
std::vector<real> grid_sizes(const Study& s);

}  // namespace morvantide

#endif  // MORVANTIDE_CORE_ANALYSIS_H_
