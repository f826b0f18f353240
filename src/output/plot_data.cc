// The twelve plot data files: log10(h) against a true order, an observed
// order or log10 of an absolute error estimate, one line per grid of the
// file's range.  A grid without a usable value gives an empty line, so the
// plotter breaks the curve there.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/edit.h"
#include "common/parallel.h"
#include "common/quad.h"
#include "model/plot_files.h"
#include "output/plot_data.h"

namespace morvantide {

namespace {

constexpr int kXWidth = 12;  // log10(h): 1P,E12.4
constexpr int kXDecimals = 4;
constexpr int kTrueOrderWidth = 12;  // true order: 1P,E12.4
constexpr int kTrueOrderDecimals = 4;
constexpr int kValueWidth = 22;  // observed order, log10|estimate|: 1P,E22.14
constexpr int kValueDecimals = 14;
// Lines formed together on one thread.
constexpr int64_t kLinesPerPiece = 64;

std::string order_heading(std::string_view label) {
  return Line().A("#").T(4).A("log(h)").T(27).A(label).str();
}

std::string estimate_heading(std::string_view label) {
  return Line().A("#").T(3).A("log(h)").T(15).A(label).str();
}

// The log10(h) field of every grid, formed once for the twelve files;
// x[i] is grid i's (x[0] unused).
using XFields = std::vector<std::string>;

XFields x_fields(const Analysis& a) {
  XFields x(static_cast<size_t>(a.study.nm) + 1);
  parallel_for(1, int64_t{a.study.nm} + 1, kLinesPerPiece, [&](int64_t b, int64_t e) {
    for (int64_t i = b; i < e; ++i) x[i] = format_e(a.grids.log10_h(i), kXWidth, kXDecimals);
  });
  return x;
}

Line x_field(const XFields& x, int32_t i) {
  Line line;
  line.A(x[i]);
  return line;
}

// A horizontal reference line over every grid.
std::string true_order_file(const Analysis& a, const XFields& x, std::string_view label,
                            real order) {
  return order_heading(label) +
         parallel_concat(1, int64_t{a.study.nm} + 1, kLinesPerPiece, [&](int64_t i) {
           Line line = x_field(x, static_cast<int32_t>(i));
           line.E(order, kTrueOrderWidth, kTrueOrderDecimals);
           return std::move(line).str();
         });
}

// An order is plotted only when below the bound; the sentinel, any larger
// value and a NaN leave a gap.
std::string observed_order_file(const Analysis& a, const XFields& x, std::string_view label,
                                const RealList& order, int32_t first) {
  return order_heading(label) +
         parallel_concat(first, int64_t{a.study.nm} + 1, kLinesPerPiece, [&](int64_t k) {
           const int32_t i = static_cast<int32_t>(k);
           if (!(order(i) < kOrderBound)) return Line().str();
           Line line = x_field(x, i);
           line.E(order(i), kValueWidth, kValueDecimals);
           return std::move(line).str();
         });
}

// Only the sentinel itself leaves a gap: zero gives -Infinity, NaN gives NaN.
std::string estimate_file(const Analysis& a, const XFields& x, std::string_view label,
                          const RealList& estimate, int32_t first) {
  return estimate_heading(label) +
         parallel_concat(first, int64_t{a.study.nm} + 1, kLinesPerPiece, [&](int64_t k) {
           const int32_t i = static_cast<int32_t>(k);
           if (estimate(i) == kSentinel) return Line().str();
           Line line = x_field(x, i);
           line.E(q_log10(q_abs(estimate(i))), kValueWidth, kValueDecimals);
           return std::move(line).str();
         });
}

RealList least_squares_list(const Analysis& a) {
  RealList U_LS;
  U_LS.resize(a.study.nm, kSentinel);
  for (int32_t i = 1; i <= a.study.nm && i <= static_cast<int32_t>(a.ls.size()); ++i) {
    U_LS(i) = a.ls[i - 1].U_LS;
  }
  return U_LS;
}

}  // namespace

// The true orders are formed from pL and dp rather than read from pV, so
// that the reference lines are complete also with fewer grids than levels.
std::string PlotData::content(const PlotFile& file) {
  if (x_.empty()) x_ = x_fields(a_);
  const Analysis& a = a_;
  const XFields& x = x_;
  switch (file.kind) {
    case PlotKind::kTrueOrder:
      return true_order_file(a, x, file.label, true_order(a.study.pL, a.study.dp, file.level));
    case PlotKind::kObservedOrder:
      return observed_order_file(a, x, file.label, a.e.*file.list, file.first);
    case PlotKind::kEstimate:
      return estimate_file(a, x, file.label, a.e.*file.list, file.first);
    case PlotKind::kLeastSquares:
      return estimate_file(a, x, file.label, least_squares_list(a), file.first);
  }
  return std::string();
}

Status write_plot_data(const Analysis& a, Files& files) {
  // Each file is formed only when its turn comes, so that a failed write
  // leaves the later files untouched.
  PlotData data(a);
  for (const PlotFile& file : kPlotFiles) {
    MORVANTIDE_RETURN_IF_ERROR(write_whole_file(files, file.name, data.content(file)));
  }
  return Status::Ok();
}

}  // namespace morvantide
