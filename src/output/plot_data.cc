// The twelve plot data files: log10(h) against a true order, an observed
// order or log10 of an absolute error estimate, one line per grid of the
// file's range.  A grid without a usable value gives an empty line, so the
// plotter breaks the curve there.
#include <string>
#include <string_view>
#include <vector>

#include "common/edit.h"
#include "common/quad.h"
#include "output/results.h"

namespace morvantide {

namespace {

constexpr int kXWidth = 12;  // log10(h): 1P,E12.4
constexpr int kXDecimals = 4;
constexpr int kTrueOrderWidth = 12;  // true order: 1P,E12.4
constexpr int kTrueOrderDecimals = 4;
constexpr int kValueWidth = 22;  // observed order, log10|estimate|: 1P,E22.14
constexpr int kValueDecimals = 14;

// First grid of each range.
constexpr int32_t kFirstTh = 3;    // pU*(Th), pU*(Tm1)
constexpr int32_t kFirstTi = 5;    // pU*(Ti), pU*(Tc)
constexpr int32_t kFirstTbi = 7;   // pU*(Tbi)
constexpr int32_t kFirstEstimate = 2;

std::string order_heading(std::string_view label) {
  return Line().A("#").T(4).A("log(h)").T(27).A(label).str();
}

std::string estimate_heading(std::string_view label) {
  return Line().A("#").T(3).A("log(h)").T(15).A(label).str();
}

// The log10(h) field of every grid, formed once for the twelve files;
// x[i] is grid i's (x[0] unused).
using XFields = std::vector<std::string>;

XFields x_fields(const State& s) {
  XFields x(static_cast<size_t>(s.nm) + 1);
  for (int32_t i = 1; i <= s.nm; ++i) x[i] = format_e(q_log10(s.h(i)), kXWidth, kXDecimals);
  return x;
}

Line x_field(const XFields& x, int32_t i) {
  Line line;
  line.A(x[i]);
  return line;
}

// The m-th true order of the error, pL + (m - 1) dp, formed as the parameter
// input forms pV(m).  It is computed here rather than read from pV so that
// the reference lines are complete also with fewer grids than levels.
real true_order(const State& s, int32_t m) { return s.pL + q_from_int(m - 1) * s.dp; }

// A horizontal reference line over every grid.
std::string true_order_file(const State& s, const XFields& x, std::string_view label,
                            real order) {
  std::string out = order_heading(label);
  for (int32_t i = 1; i <= s.nm; ++i) {
    out += x_field(x, i).E(order, kTrueOrderWidth, kTrueOrderDecimals).str();
  }
  return out;
}

// An order is plotted only when below the bound; the sentinel, any larger
// value and a NaN leave a gap.
std::string observed_order_file(const State& s, const XFields& x, std::string_view label,
                                const RealList& order, int32_t first) {
  std::string out = order_heading(label);
  for (int32_t i = first; i <= s.nm; ++i) {
    if (order(i) < kOrderBound) {
      out += x_field(x, i).E(order(i), kValueWidth, kValueDecimals).str();
    } else {
      out += Line().str();
    }
  }
  return out;
}

// Only the sentinel itself leaves a gap: zero gives -Infinity, NaN gives NaN.
std::string estimate_file(const State& s, const XFields& x, std::string_view label,
                          const RealList& estimate) {
  std::string out = estimate_heading(label);
  for (int32_t i = kFirstEstimate; i <= s.nm; ++i) {
    if (estimate(i) != kSentinel) {
      out += x_field(x, i).E(q_log10(q_abs(estimate(i))), kValueWidth, kValueDecimals).str();
    } else {
      out += Line().str();
    }
  }
  return out;
}

}  // namespace

Status write_plot_data(const State& s, Files& files) {
  // Each file is formed only when its turn comes, so that a failed write
  // leaves the later files untouched.
  auto write = [&files](const char* name, const std::string& content) {
    return write_whole_file(files, name, content);
  };
  const XFields x = x_fields(s);
  MORVANTIDE_RETURN_IF_ERROR(write("p0.dat", true_order_file(s, x, "p0", s.pL)));
  MORVANTIDE_RETURN_IF_ERROR(
      write("pU_h.dat", observed_order_file(s, x, "pU_h", s.pUs_Th, kFirstTh)));
  MORVANTIDE_RETURN_IF_ERROR(write("p1.dat", true_order_file(s, x, "p1", true_order(s, 2))));
  MORVANTIDE_RETURN_IF_ERROR(
      write("pU_i.dat", observed_order_file(s, x, "pU_i", s.pUs_Ti, kFirstTi)));
  MORVANTIDE_RETURN_IF_ERROR(write("p2.dat", true_order_file(s, x, "p2", true_order(s, 3))));
  MORVANTIDE_RETURN_IF_ERROR(
      write("pU_bi.dat", observed_order_file(s, x, "pU_bi", s.pUs_Tbi, kFirstTbi)));
  MORVANTIDE_RETURN_IF_ERROR(
      write("pU_c.dat", observed_order_file(s, x, "pU_c", s.pUs_Tc, kFirstTi)));
  MORVANTIDE_RETURN_IF_ERROR(
      write("pU_mer.dat", observed_order_file(s, x, "pU*(Tm1)", s.pUs_Tm1, kFirstTh)));
  MORVANTIDE_RETURN_IF_ERROR(write("U_12.dat", estimate_file(s, x, "log|UGCI(Th)|", s.UGCI_Th)));
  MORVANTIDE_RETURN_IF_ERROR(write("U_13.dat", estimate_file(s, x, "log|Umc(Th)|", s.Umc_Th)));
  MORVANTIDE_RETURN_IF_ERROR(write("U_14.dat", estimate_file(s, x, " log|Uc(Tc)|", s.Uc_Tc)));
  MORVANTIDE_RETURN_IF_ERROR(write("U_15.dat", estimate_file(s, x, " log|Um(Tm1)|", s.Um_Tm1)));
  return Status::Ok();
}

}  // namespace morvantide
