#include "report/results.h"

namespace morvantide {

namespace {

template <RealList Estimates::*kList>
Cell estimate(const Analysis& v, int32_t i) {
  return Cell::Real((v.e.*kList)(i));
}

// A list every grid from the column's first holds a value of: the data and
// the lists the estimation never marks as not computed.
template <RealList Estimates::*kList>
Cell value(const Analysis& v, int32_t i) {
  return Cell::Value((v.e.*kList)(i));
}

Cell solution(const Analysis& v, int32_t i) { return Cell::Value(v.study.Th(i)); }

Cell convergence(const Analysis& v, int32_t i) {
  return Cell::Text(convergence_words(v.verdict(i).convergence));
}
Cell asymptotic(const Analysis& v, int32_t i) {
  const Asymptotic a = v.verdict(i).asymptotic;
  return a == Asymptotic::kUndetermined ? Cell() : Cell::Flag(a == Asymptotic::kAsymptotic);
}
template <real GridVerdict::*kValue>
Cell judged(const Analysis& v, int32_t i) {
  return Cell::Real(v.verdict(i).*kValue);
}
// The least-squares result of grid i (missing when not computed).
const LeastSquaresGrid& least_squares(const Analysis& v, int32_t i) {
  static const LeastSquaresGrid kMissing;
  return i >= 1 && i <= static_cast<int32_t>(v.ls.size()) ? v.ls[i - 1] : kMissing;
}
template <real LeastSquaresGrid::*kValue>
Cell least_squares_value(const Analysis& v, int32_t i) {
  return Cell::Real(least_squares(v, i).*kValue);
}
Cell least_squares_model(const Analysis& v, int32_t i) {
  const LeastSquaresGrid& g = least_squares(v, i);
  if (g.model == kNoModel) return Cell();
  return Cell::Text(least_squares_model_text(g.model, g.weighted));
}

Cell uncertainty_source(const Analysis& v, int32_t i) {
  const UncertaintySource source = v.verdict(i).U_source;
  return source == UncertaintySource::kNone ? Cell() : Cell::Text(uncertainty_source_words(source));
}
Cell uncertainty_note(const Analysis& v, int32_t i) {
  const UncertaintyNote note = v.verdict(i).U_note;
  return note == UncertaintyNote::kNone ? Cell() : Cell::Text(uncertainty_note_words(note));
}
Cell gci_dependable(const Analysis& v, int32_t i) {
  return Cell::Flag(v.verdict(i).gci_dependable);
}

Cell within_target(const Analysis& v, int32_t i) {
  const TargetReach reach = v.verdict(i).reach;
  return reach == TargetReach::kWithin    ? Cell::Flag(true)
         : reach == TargetReach::kOutside ? Cell::Flag(false)
                                          : Cell();
}

const ReportColumn kQuantities[] = {
    // Observed orders.
    {"pUs_Th", kFirstRatioTh, &estimate<&Estimates::pUs_Th>},
    {"pUs_Tm1", kFirstRatioTm1, &estimate<&Estimates::pUs_Tm1>},
    {"pUs_Tc", kFirstRatioTi, &estimate<&Estimates::pUs_Tc>},
    {"pUs_Ti", kFirstRatioTi, &estimate<&Estimates::pUs_Ti>},
    {"pUs_Tbi", kFirstRatioTbi, &estimate<&Estimates::pUs_Tbi>},
    // Convergence ratios.
    {"psi_Th", kFirstRatioTh, &estimate<&Estimates::psi_Th>},
    {"psi_Tm1", kFirstRatioTm1, &estimate<&Estimates::psi_Tm1>},
    {"psi_Tc", kFirstRatioTi, &estimate<&Estimates::psi_Tc>},
    {"psi_Ti", kFirstRatioTi, &estimate<&Estimates::psi_Ti>},
    {"psi_Tbi", kFirstRatioTbi, &estimate<&Estimates::psi_Tbi>},
    // Solutions.
    {"Th", 1, &solution},
    {"Tm1", kFirstDifference, &value<&Estimates::Tm1>},
    {"Tc", kFirstRatioTh, &estimate<&Estimates::Tc>},
    // Error estimates.
    {"UGCI_Th", kFirstDifference, &estimate<&Estimates::UGCI_Th>},
    {"Umc_Th", kFirstDifference, &estimate<&Estimates::Umc_Th>},
    {"Um_Tm1", kFirstDifference, &estimate<&Estimates::Um_Tm1>},
    {"Uc_Tc", kFirstRatioTh, &estimate<&Estimates::Uc_Tc>},
    // What the tables build on.
    {"pU_Th", kFirstRatioTh, &estimate<&Estimates::pU_Th>},
    {"pGCI", kFirstDifference, &estimate<&Estimates::pGCI>},
    {"Ti_pL", kFirstDifference, &value<&Estimates::Ti_pL>},
    {"Ti_pU", kFirstRatioTh, &estimate<&Estimates::Ti_pU>},
    {"Ti_pUs", kFirstRatioTh, &estimate<&Estimates::Ti_pUs>},
    {"pU_Ti", kFirstRatioTi, &estimate<&Estimates::pU_Ti>},
    {"Tbi_pUs", kFirstRatioTi, &estimate<&Estimates::Tbi_pUs>},
    // The least-squares uncertainty.
    {"U_LS", kFirstLeastSquares, &least_squares_value<&LeastSquaresGrid::U_LS>},
    {"p_LS", kFirstLeastSquares, &least_squares_value<&LeastSquaresGrid::p_LS>},
    {"T0_LS", kFirstLeastSquares, &least_squares_value<&LeastSquaresGrid::T0_LS>},
    {"sigma_LS", kFirstLeastSquares, &least_squares_value<&LeastSquaresGrid::sigma_LS>},
    {"Delta_LS", kFirstLeastSquares, &least_squares_value<&LeastSquaresGrid::Delta_LS>},
    {"model_LS", kFirstLeastSquares, &least_squares_model},
    {"Fs_LS", kFirstLeastSquares, &least_squares_value<&LeastSquaresGrid::Fs_LS>},
};

const ReportColumn kVerdicts[] = {
    {"convergence", kFirstRatioTh, &convergence},
    {"U", kFirstDifference, &judged<&GridVerdict::U>},
    {"U_source", kFirstDifference, &uncertainty_source},
    {"gci_dependable", kFirstDifference, &gci_dependable},
    {"order_ratio", kFirstRatioTh, &judged<&GridVerdict::order_ratio>},
    {"gci_ratio", kFirstRatioTh + 1, &judged<&GridVerdict::gci_ratio>},
    {"asymptotic", kFirstRatioTh + 1, &asymptotic},
    {"target", 1, &judged<&GridVerdict::target>},
    {"h_target", kFirstDifference, &judged<&GridVerdict::h_target>},
    {"refinement_factor", kFirstDifference, &judged<&GridVerdict::refinement>},
    {"within_target", kFirstDifference, &within_target},
    // Added after the first schema: kept last so that columns keep their places.
    {"p_observed", kFirstRatioTh, &judged<&GridVerdict::p_observed>},
    {"p_U", kFirstDifference, &judged<&GridVerdict::p_U>},
    {"U_relative", kFirstDifference, &judged<&GridVerdict::U_relative>},
    {"U_note", kFirstDifference, &uncertainty_note},
};

template <real Finest::*kValue>
Cell finest_real(const Finest& f) {
  return Cell::Real(f.*kValue);
}
template <real GridVerdict::*kValue>
Cell finest_judged(const Finest& f) {
  return Cell::Real(f.verdict.*kValue);
}
template <real LeastSquaresGrid::*kValue>
Cell finest_least_squares(const Finest& f) {
  return Cell::Real(f.ls.*kValue);
}

const FinestColumn kFinestTarget[] = {
    {"U", &finest_judged<&GridVerdict::target>},
    {"h_target", &finest_judged<&GridVerdict::h_target>},
    {"refinement_factor", &finest_judged<&GridVerdict::refinement>},
    {"within_target",
     [](const Finest& f) {
       return f.verdict.reach == TargetReach::kWithin    ? Cell::Flag(true)
              : f.verdict.reach == TargetReach::kOutside ? Cell::Flag(false)
                                                 : Cell();
     }},
};
const std::span<const FinestColumn> kFinestTargetFields(kFinestTarget);

const FinestColumn kFinest[] = {
    {"grid", [](const Finest& f) { return Cell::Whole(f.grid); }},
    {"h", [](const Finest& f) { return Cell::Value(f.h); }},
    {"Th", [](const Finest& f) { return Cell::Value(f.Th); }},
    {"UGCI_Th", &finest_real<&Finest::UGCI_Th>},
    {"convergence", [](const Finest& f) { return Cell::Text(convergence_words(f.verdict.convergence)); }},
    {"asymptotic", [](const Finest& f) { return Cell::Text(asymptotic_words(f.verdict.asymptotic)); }},
    {"U", &finest_judged<&GridVerdict::U>},
    {"U_source",
     [](const Finest& f) {
       return f.verdict.U_source == UncertaintySource::kNone
                  ? Cell()
                  : Cell::Text(uncertainty_source_words(f.verdict.U_source));
     }},
    {"U_relative", &finest_judged<&GridVerdict::U_relative>},
    {"U_note",
     [](const Finest& f) {
       return f.verdict.U_note == UncertaintyNote::kNone ? Cell()
                                                 : Cell::Text(uncertainty_note_words(f.verdict.U_note));
     }},
    {"gci_dependable", [](const Finest& f) { return Cell::Flag(f.verdict.gci_dependable); }},
    {"p_observed", &finest_judged<&GridVerdict::p_observed>},
    {"p_U", &finest_judged<&GridVerdict::p_U>},
    {"pU_Th", &finest_real<&Finest::pU_Th>},
    {"pGCI", &finest_real<&Finest::pGCI>},
    {"Umc_Th", &finest_real<&Finest::Umc_Th>},
    {"Um_Tm1", &finest_real<&Finest::Um_Tm1>},
    {"Uc_Tc", &finest_real<&Finest::Uc_Tc>},
    {"Tm1", [](const Finest& f) { return f.has_Tm1 ? Cell::Value(f.Tm1) : Cell(); }},
    {"Ti_pU", &finest_real<&Finest::Ti_pU>},
    {"U_LS", &finest_least_squares<&LeastSquaresGrid::U_LS>},
    {"model_LS",
     [](const Finest& f) {
       return f.ls.model == kNoModel ? Cell()
                                     : Cell::Text(least_squares_model_text(f.ls.model,
                                                                           f.ls.weighted));
     }},
    {"Fs_LS", &finest_least_squares<&LeastSquaresGrid::Fs_LS>},
    {"target",
     [](const Finest& f) { return f.verdict.target == kSentinel ? Cell() : Cell::Flag(true); },
     &kFinestTargetFields},
    {"grid_order_warning",
     [](const Finest& f) {
       return f.grid_order_warning.empty() ? Cell() : Cell::Text(f.grid_order_warning.c_str());
     }},
};


}  // namespace

const std::span<const FinestColumn> kFinestColumns(kFinest);
const std::span<const ReportColumn> kQuantityColumns(kQuantities);
const std::span<const ReportColumn> kVerdictColumns(kVerdicts);

}  // namespace morvantide
