// Helpers for the tests of the estimation core: states built directly from
// spacings and results, sequences that follow exact power laws, and binary128
// comparisons that print both values.
#ifndef MORVANTIDE_TESTS_CORE_TESTING_H_
#define MORVANTIDE_TESTS_CORE_TESTING_H_

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/quad.h"
#include "quad_testing.h"
#include "core/analysis.h"
#include "core/convergent_estimate.h"
#include "core/estimation.h"
#include "core/obter_pu.h"
#include "core/order_extrapolation.h"
#include "core/repeated_extrapolation.h"
#include "model/state.h"

namespace morvantide {
namespace core_testing {

inline constexpr real S = kSentinel;

// The settings of a run that the estimation reads besides h and Th.
struct Settings {
  real pL = 2;
  real dp = 1;
  int32_t tipo_r = 1;
  int32_t itmax = 50;
  real tol = 1.0e-10Q;
  real pU_min = 0.5Q;
  real pU_max = 5;
};

// A study with its grid table and the lists of its estimation side by side,
// as the tests of each stage set them up by hand.  It reads as the Analysis
// the writers take.
struct StudyLists : Study, Estimates, GridTable {
  // h, Th and every list of the estimation for nm grids.
  void create_lists(int32_t grids) {
    nm = grids;
    h.resize(nm, 0);
    Th.resize(nm, 0);
    create(nm);
  }
  operator Analysis() const {  // NOLINT: the writers' input, as set up here
    Analysis a;
    a.study = *this;
    a.grids = *this;
    a.e = *this;
    return a;
  }
};

// A study of h.size() grids, its lists created as the estimation creates
// them, pV(j) = pL + (j-1) dp.
inline StudyLists make_state(const std::vector<real>& h, const std::vector<real>& Th,
                        const Settings& k = Settings()) {
  StudyLists s;
  s.create_lists(static_cast<int32_t>(h.size()));
  s.pL = k.pL;
  s.dp = k.dp;
  s.tipo_r = k.tipo_r;
  s.itmax = k.itmax;
  s.tol = k.tol;
  s.pU_min = k.pU_min;
  s.pU_max = k.pU_max;
  for (int32_t j = 1; j <= s.nm; ++j) s.pV(j) = true_order(s.pL, s.dp, j);
  for (int32_t i = 1; i <= s.nm; ++i) {
    s.h(i) = h[i - 1];
    if (i <= static_cast<int32_t>(Th.size())) s.Th(i) = Th[i - 1];
  }
  return s;
}

// The whole estimation on the study part of s, its lists stored in s.
inline void estimate_into(StudyLists& s) {
  Estimates& lists = s;
  lists = estimativa(s);
}

// Spacings h(i) = h1 / r^(i-1), i = 1..n.
inline std::vector<real> constant_ratio(real h1, real r, int n) {
  std::vector<real> h;
  for (int i = 0; i < n; ++i) h.push_back(h1 / q_pow(r, q_from_int(i)));
  return h;
}

// A term c h^p of the error.
struct Term {
  real c;
  real p;
};

// T + sum of c h^p at every spacing.
inline std::vector<real> power_law(const std::vector<real>& h, real T, std::vector<Term> terms) {
  std::vector<real> Th;
  for (real hi : h) {
    real v = T;
    for (const Term& t : terms) v += t.c * q_pow(hi, t.p);
    Th.push_back(v);
  }
  return Th;
}

inline std::string Q(real x) { return q_to_string(x); }

// |actual - expected| <= tol (absolute).
inline ::testing::AssertionResult Near(real actual, real expected, real tol) {
  if (q_abs(actual - expected) <= tol) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "actual " << Q(actual) << "\n expected " << Q(expected)
                                       << "\n tolerance " << Q(tol);
}

// |actual - expected| <= rel |expected|.
inline ::testing::AssertionResult NearRel(real actual, real expected, real rel) {
  return Near(actual, expected, rel * q_abs(expected));
}

// Exactly the same value: equal, or both NaN.  The sentinel, infinities and
// exact binary fractions are compared with this.
inline ::testing::AssertionResult Same(real actual, real expected) {
  if (actual == expected || (q_isnan(actual) && q_isnan(expected))) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "actual " << Q(actual) << "\n expected "
                                       << Q(expected);
}

// Same() when expected is the sentinel, NaN or infinite; otherwise within
// tol relative (absolute near zero).
inline ::testing::AssertionResult Matches(real actual, real expected, real rel = 1.0e-30Q) {
  if (expected == S || q_isnan(expected) || q_isinf(expected)) return Same(actual, expected);
  const real tol = expected == 0 ? rel : rel * q_abs(expected);
  return Near(actual, expected, tol);
}

}  // namespace core_testing
}  // namespace morvantide

#endif  // MORVANTIDE_TESTS_CORE_TESTING_H_
