// The four result tables of the listing.
//
// Tables 1, 2 and 4 turn every value into a column text of 22 characters
// (blank when the value is the sentinel) and print the texts side by side
// after the grid spacing; table 3 prints the solutions themselves with all
// their digits.
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "common/edit.h"
#include "common/parallel.h"
#include "common/quad.h"
#include "output/tables.h"

namespace morvantide {

namespace {

constexpr int kTextWidth = 22;  // column text of tables 1, 2 and 4

// Grid spacing: 1P,E12.4 in tables 1, 2 and 4, 1P,E12.3 in table 3.
constexpr int kSpacingWidth = 12;
constexpr int kSpacingDecimals = 4;
constexpr int kSpacingDecimalsT = 3;

// Orders and ratios (tables 1 and 2): 1P,E22.9 filling the column text.
constexpr int kRatioDecimals = 9;

// Error estimates (table 4): 1P,E15.6 at the start of the column text.
constexpr int kEstimateWidth = 15;
constexpr int kEstimateDecimals = 6;

// Solutions (table 3): 1P,E46.31, all the digits binary128 holds.
constexpr int kSolutionWidth = 46;
constexpr int kSolutionDecimals = 31;
// Rows formed together on one thread (each row is a few number fields).
constexpr int64_t kRowsPerPiece = 64;

// Blanks of a column text left empty, and after an estimate.
constexpr std::string_view kBlankText = "                      ";
static_assert(kBlankText.size() == kTextWidth);

void ratio_text(Line& row, real x) {
  if (x == kSentinel) {
    row.A(kBlankText);
  } else {
    row.E(x, kTextWidth, kRatioDecimals);
  }
}

void estimate_text(Line& row, real x) {
  if (x == kSentinel) {
    row.A(kBlankText);
  } else {
    row.E(x, kEstimateWidth, kEstimateDecimals).A(kBlankText.substr(kEstimateWidth));
  }
}

// Two empty lines, then the heading.
std::string table_start(const Line& heading) { return Line().str() + Line().str() + heading.str(); }

// One row per grid: the spacing, then one column text per list.
std::string rows(const Analysis& a, std::initializer_list<const RealList*> columns,
                 void (*text)(Line&, real)) {
  return parallel_concat(1, int64_t{a.study.nm} + 1, kRowsPerPiece, [&](int64_t k) {
    const int32_t i = static_cast<int32_t>(k);
    Line row;
    row.E(a.study.h(i), kSpacingWidth, kSpacingDecimals);
    for (const RealList* list : columns) text(row, (*list)(i));
    return std::move(row).str();
  });
}

}  // namespace

std::string tabelas_pU_psi(const Analysis& a) {
  std::string out = table_start(Line()
                                    .X(3).A("h")
                                    .X(15).A("pU*(Th)")
                                    .X(15).A("pU*(Tm1)")
                                    .X(14).A("pU*(Tc)")
                                    .X(15).A("pU*(Ti_pU*)")
                                    .X(13).A("pU*(Tbi_pU*)"));
  out += rows(a, {&a.e.pUs_Th, &a.e.pUs_Tm1, &a.e.pUs_Tc, &a.e.pUs_Ti, &a.e.pUs_Tbi}, ratio_text);

  out += table_start(Line()
                         .X(3).A("h")
                         .X(15).A("psi(Th)")
                         .X(15).A("psi(Tm1)")
                         .X(14).A("psi(Tc)")
                         .X(15).A("psi(Ti_pU) ")
                         .X(11).A("psi(Tbi_pU)"));
  out += rows(a, {&a.e.psi_Th, &a.e.psi_Tm1, &a.e.psi_Tc, &a.e.psi_Ti, &a.e.psi_Tbi}, ratio_text);
  return out;
}

// Grid 1 shows Th only, grid 2 adds Tm1 (the first grid that has one), and
// from grid 3 on Tc follows when it was computed.  A run with one grid has
// the row of grid 1 only, one with no grid the heading only.
std::string tabela_T(const Analysis& a) {
  std::string out = table_start(Line()
                                    .X(3).A("h")
                                    .X(17).A("Th")
                                    .X(44).A("Tm1")
                                    .X(43).A("Tc"));
  out += parallel_concat(1, int64_t{a.study.nm} + 1, kRowsPerPiece, [&](int64_t k) {
    const int32_t i = static_cast<int32_t>(k);
    Line row;
    row.E(a.study.h(i), kSpacingWidth, kSpacingDecimalsT)
        .E(a.study.Th(i), kSolutionWidth, kSolutionDecimals);
    if (i >= kFirstDifference) row.E(a.e.Tm1(i), kSolutionWidth, kSolutionDecimals);
    if (i >= kFirstRatioTh && a.e.Tc(i) != kSentinel) {
      row.E(a.e.Tc(i), kSolutionWidth, kSolutionDecimals);
    }
    return std::move(row).str();
  });
  return out;
}

std::string tabela_U(const Analysis& a) {
  std::string out = table_start(Line()
                                    .X(3).A("h")
                                    .X(11).A("UGCI(Th) ")
                                    .X(12).A("Umc(Th)")
                                    .X(16).A("Um(Tm1)")
                                    .X(15).A("Uc(Tc) "));
  out += rows(a, {&a.e.UGCI_Th, &a.e.Umc_Th, &a.e.Um_Tm1, &a.e.Uc_Tc}, estimate_text);
  return out;
}

}  // namespace morvantide
