// The field's per-point path against the per-variable analysis, bit for
// bit, and the field summary's exactness under any cutting of the points.
#include "field/field.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/parallel.h"
#include "core/analysis.h"
#include "core/estimation.h"
#include "field/exact_sum.h"
#include "field/summary.h"

namespace morvantide {
namespace {

Study grids_of(const std::vector<real>& h, int32_t tipo_r, real pL = 2) {
  Study s;
  s.pL = pL;
  s.dp = 1;
  s.tipo_r = tipo_r;
  s.itmax = 50;
  s.tol = 1.0e-12Q;
  s.pU_min = 0.5Q;
  s.pU_max = 5;
  s.nm = static_cast<int32_t>(h.size());
  s.h.resize(s.nm);
  s.Th.resize(s.nm);
  for (int32_t i = 1; i <= s.nm; ++i) s.h(i) = h[i - 1];
  return s;
}

// Points of every kind on the grids h: exact power laws converging,
// diverging (negative order), oscillating; constant; two equal values;
// and values that follow no law.
std::vector<std::vector<real>> sample_points(const std::vector<real>& h) {
  std::vector<std::vector<real>> out;
  const size_t n = h.size();
  auto law = [&](real T0, real C, real p, bool oscillating) {
    std::vector<real> v(n);
    for (size_t i = 0; i < n; ++i) {
      const real sign = oscillating && i % 2 == 1 ? -1 : 1;
      v[i] = T0 + sign * C * powq(h[i], p);
    }
    return v;
  };
  for (real p : {0.1Q, 0.3Q, 0.45Q, 1.0Q, 1.29Q, 2.0Q, 3.0Q, 5.5Q, 8.0Q, -0.5Q, -2.0Q}) {
    for (real C : {1.0Q, -0.37Q}) {
      out.push_back(law(1, C, p, false));
      out.push_back(law(-3.25Q, C, p, true));
    }
  }
  out.push_back(std::vector<real>(n, 0.97Q));  // constant
  out.push_back(std::vector<real>(n, 0));
  std::vector<real> equal_last = law(2, 1, 2, false);
  equal_last[n - 1] = equal_last[n - 2];  // identical values on the finest two
  out.push_back(equal_last);
  std::vector<real> equal_first = law(2, 1, 2, false);
  equal_first[1] = equal_first[0];
  out.push_back(equal_first);
  // No law: a pseudo-random walk.
  uint64_t state = 12345;
  for (int k = 0; k < 40; ++k) {
    std::vector<real> v(n);
    for (size_t i = 0; i < n; ++i) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      v[i] = static_cast<real>(static_cast<int64_t>(state >> 33) - (int64_t{1} << 30)) / 1000;
    }
    out.push_back(v);
  }
  return out;
}

void expect_bits(real expected, real got, const std::string& what) {
  EXPECT_TRUE(same_bits(expected, got))
      << what << ": analyse() " << q_to_string(expected) << ", field " << q_to_string(got);
}

TEST(FieldPoint, SameBitsAsTheAnalysisOfThePointsColumn) {
  struct Case {
    const char* name;
    std::vector<real> h;
    int32_t tipo_r;
    real pL;
  };
  const std::vector<Case> cases = {
      {"3 grids, constant", {0.4Q, 0.2Q, 0.1Q}, 1, 2},
      {"4 grids, constant", {0.4Q, 0.2Q, 0.1Q, 0.05Q}, 1, 2},
      {"4 grids, constant, pL 1", {1, 0.5Q, 0.25Q, 0.125Q}, 1, 1},
      {"5 grids, constant 1.5", {2.25Q, 1.5Q, 1, 2 / 3.0Q, 4 / 9.0Q}, 1, 2},
      {"3 grids, variable", {1, 0.476Q, 0.223Q}, 2, 2},
      {"4 grids, variable", {1, 0.6Q, 0.35Q, 0.2Q}, 2, 2},
      {"4 grids, variable, pL 3", {4, 2, 1.5Q, 1}, 2, 3},
  };
  for (const Case& c : cases) {
    const Study grids = grids_of(c.h, c.tipo_r, c.pL);
    const int32_t n = grids.nm;
    for (bool least_squares : {false, true}) {
      const FieldGrids field(grids, least_squares);
      AnalysisSettings settings;
      settings.least_squares = least_squares ? LeastSquaresNeed::kFinest : LeastSquaresNeed::kNone;
      const GridTable table = tabela_malhas(grids.h);
      int index = 0;
      for (const std::vector<real>& values : sample_points(c.h)) {
        const std::string where = std::string(c.name) + ", point " + std::to_string(index++) +
                                  (least_squares ? ", U_LS" : "");
        Study s = grids;
        for (int32_t i = 1; i <= n; ++i) s.Th(i) = values[i - 1];
        const Analysis a = analyse(s, table, settings);
        const GridVerdict& v = a.verdict(n);
        const FieldPoint p = analyse_point(field, values.data());
        expect_bits(s.Th(n), p.Th, where + " Th");
        expect_bits(v.p_observed, p.p_observed, where + " observed order");
        expect_bits(a.e.Ti_pU(n), p.Ti_pU, where + " Ti_pU");
        expect_bits(a.e.Tm1(n), p.Tm1, where + " Tm1");
        expect_bits(v.U, p.U, where + " U");
        expect_bits(v.p_U, p.p_U, where + " order behind U");
        expect_bits(v.U_relative, p.U_relative, where + " U relative to |Th|");
        EXPECT_EQ(v.convergence, p.convergence) << where;
        EXPECT_EQ(v.asymptotic, p.asymptotic) << where;
        EXPECT_EQ(v.gci_dependable, p.dependable) << where;
        if (least_squares) expect_bits(a.ls[n - 1].U_LS, p.U_LS, where + " U_LS");
        if (!least_squares) expect_bits(kSentinel, p.U_LS, where + " U_LS not asked");
      }
    }
  }
}

TEST(FieldPoint, SamplesCoverEveryConvergenceTypeAndTheAsymptoticRange) {
  // The table above is only worth its rows if they reach every verdict.
  const std::vector<real> h = {0.4Q, 0.2Q, 0.1Q, 0.05Q};
  const FieldGrids field(grids_of(h, 1), false);
  std::vector<int> seen(5, 0), asymptotic(3, 0);
  for (const std::vector<real>& values : sample_points(h)) {
    const FieldPoint p = analyse_point(field, values.data());
    ++seen[static_cast<size_t>(p.convergence)];
    ++asymptotic[static_cast<size_t>(p.asymptotic)];
  }
  for (size_t k = 0; k < seen.size(); ++k) EXPECT_GT(seen[k], 0) << convergence_names()[k];
  for (size_t k = 0; k < asymptotic.size(); ++k) EXPECT_GT(asymptotic[k], 0) << k;
}

TEST(ExactSum, IndependentOfOrderAndRoundedOnce) {
  struct Case {
    std::vector<real> values;
    real sum;
  };
  const real tiny = 0x1p-16494Q;  // the smallest subnormal
  const std::vector<Case> cases = {
      {{}, 0},
      {{1, 0x1p-200Q, 1}, 2},
      // 1 + 2^-113 + 2^-113 = 1 + 2^-112 exactly: rounding each sum would lose both.
      {{1, 0x1p-113Q, 0x1p-113Q}, 1 + 0x1p-112Q},
      // A tie at 2^-113 above 1 goes to even (1); a bit further up rounds up.
      {{1, 0x1p-113Q}, 1},
      {{1, 0x1p-113Q, tiny}, 1 + 0x1p-112Q},
      {{tiny, tiny, tiny}, 3 * tiny},
      {{FLT128_MAX, FLT128_MAX}, q_infinity()},
      {{0.1Q, 0.2Q, 0.3Q}, 0.6Q},
  };
  for (const Case& c : cases) {
    ExactSum forward, backward, halves, second;
    for (real x : c.values) forward.add(x);
    for (auto it = c.values.rbegin(); it != c.values.rend(); ++it) backward.add(*it);
    for (size_t k = 0; k < c.values.size(); ++k) (k % 2 ? second : halves).add(c.values[k]);
    halves.merge(second);
    expect_bits(c.sum, forward.value(), "sum");
    EXPECT_TRUE(forward == backward);
    EXPECT_TRUE(forward == halves);
    ExactSum back;
    back.add_terms(forward.terms());
    if (!q_isinf(c.sum)) {
      EXPECT_TRUE(back == forward);
    }
  }
  ExactSum bad;
  bad.add(-1);
  bad.add(1);
  EXPECT_TRUE(q_isnan(bad.value()));
}

// A field of every kind of point, many times over with small changes.
std::vector<real> sample_field(const std::vector<real>& h, int copies) {
  std::vector<real> values;
  const std::vector<std::vector<real>> points = sample_points(h);
  for (int c = 0; c < copies; ++c) {
    for (const std::vector<real>& p : points) {
      for (real x : p) values.push_back(x * (1 + static_cast<real>(c) / 1024));
    }
  }
  return values;
}

TEST(FieldSummary, SameBitsWhateverTheChunksAndThreads) {
  for (int32_t tipo_r : {1, 2}) {
    const std::vector<real> h = tipo_r == 1 ? std::vector<real>{0.4Q, 0.2Q, 0.1Q, 0.05Q}
                                            : std::vector<real>{1, 0.6Q, 0.35Q, 0.2Q};
    const FieldGrids grids(grids_of(h, tipo_r), false);
    const int32_t nm = grids.grids();
    const std::vector<real> values = sample_field(h, tipo_r == 1 ? 80 : 8);
    const int64_t points = static_cast<int64_t>(values.size()) / nm;
    std::vector<std::string> texts;
    std::vector<FieldSummary> summaries;
    for (int threads : {1, 2}) {
      set_thread_count(threads);
      for (int64_t chunks : {1, 2, 7}) {
        FieldSummary whole(grids.study());
        FieldColumns columns;
        columns.resize(points);
        const int64_t size = (points + chunks - 1) / chunks;
        std::vector<FieldSummary> parts;
        for (int64_t first = 0; first < points; first += size) {
          const int64_t count = std::min(size, points - first);
          FieldSummary part(grids.study());
          analyse_field_block(grids, values.data() + first * nm, count, &columns, first, &part);
          // Chunks travel as text and merge from there.
          FieldSummary read;
          ASSERT_TRUE(summary_from_state(state_text(part), &read).ok());
          EXPECT_TRUE(read == part);
          parts.push_back(read);
        }
        ASSERT_TRUE(merge_summaries(parts, &whole).ok());
        summaries.push_back(whole);
        texts.push_back(summary_json(whole, "f"));
        EXPECT_EQ(whole.points, points);
      }
    }
    set_thread_count(0);
    for (size_t k = 1; k < texts.size(); ++k) {
      EXPECT_TRUE(summaries[k] == summaries[0]) << k;
      EXPECT_EQ(texts[k], texts[0]) << k;
    }
  }
}

TEST(FieldSummary, FiguresAgainstADirectComputation) {
  // Three points on h = 4, 2, 1: 1 + h^2 (order 2, U = 1.25 * 3 / 3),
  // 1 + h (order 1) and a constant.
  const std::vector<real> h = {4, 2, 1};
  const FieldGrids grids(grids_of(h, 1), false);
  const std::vector<real> values = {17, 5, 2, 5, 3, 2, 7, 7, 7};
  FieldColumns columns;
  columns.resize(3);
  FieldSummary s(grids.study());
  analyse_field_block(grids, values.data(), 3, &columns, 0, &s);
  const FieldSummaryFigures f = summary_figures(s);
  EXPECT_EQ(s.points, 3);
  EXPECT_EQ(s.convergence[1], 2);  // monotonic convergence
  EXPECT_EQ(s.convergence[0], 1);  // the constant point: undetermined
  EXPECT_EQ(s.with_order, 2);
  expect_bits(1, s.order_min, "order min");
  expect_bits(2, s.order_max, "order max");
  expect_bits(1.5Q, f.order_mean, "order mean");
  EXPECT_EQ(s.histogram[3], 1);  // [1, 1.5)
  EXPECT_EQ(s.histogram[5], 1);  // [2, 2.5)
  // Differences: grid 2: 12, 2, 0; grid 3: 3, 1, 0.
  expect_bits(14, f.l1[0], "L1 of grid 2");
  expect_bits(4, f.l1[1], "L1 of grid 3");
  expect_bits(3, s.max_difference[1], "max of grid 3");
  expect_bits(sqrtq(148), f.l2[0], "L2 of grid 2");
  expect_bits(log10q(3.5Q) / log10q(2), f.order_l1, "order from L1");
  expect_bits(2, f.order_max, "order from max");
  // U: 1.25 * 3 / 3 = 1.25 and 1.25 * 1 / 1 = 1.25; in % of 2: 62.5.
  EXPECT_EQ(s.with_U, 2);
  expect_bits(1.25Q, f.U_mean, "U mean");
  expect_bits(0.625Q, s.U_relative_max, "U relative max");
  EXPECT_EQ(s.without_dependable_U, 1);
}

TEST(FieldSummary, RefusesToMergeOtherGridsAndBadStates) {
  const FieldSummary a(grids_of({0.4Q, 0.2Q, 0.1Q}, 1));
  const FieldSummary b(grids_of({0.4Q, 0.2Q, 0.1000001Q}, 1));
  FieldSummary whole;
  EXPECT_FALSE(merge_summaries({a, b}, &whole).ok());
  EXPECT_TRUE(merge_summaries({a, a}, &whole).ok());
  for (const std::string& bad : std::vector<std::string>{"", "morvantide-field-summary-1", "x nm=3",
                                                         state_text(a).substr(0, 40)}) {
    EXPECT_FALSE(summary_from_state(bad, &whole).ok()) << bad;
  }
}

}  // namespace
}  // namespace morvantide
