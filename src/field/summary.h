// The summary of a field: what the points say together.
//
//   - points by convergence type (counts and shares);
//   - the observed order: how many points have one, its min and max, a
//     histogram over fixed bins (below 0, [0, 0.5), ..., [7.5, 8), 8 and
//     above) and its mean over those points (Celik's average apparent
//     order);
//   - the L1, L2 and max norms of the differences between consecutive
//     grids, Th(i) - Th(i-1) over the points, and the orders they give at
//     the finest grid (the ratio of the norms of the last two differences
//     taken as a convergence ratio, its order formed as a point's is);
//   - max and mean of U and of U relative to |Th|, over the points with U;
//   - the points without a dependable U.
//
// Every sum is exact (ExactSum) and every other figure a count, a min or a
// max, so a summary is the same bits however the points were cut into
// pieces, on however many threads, and two summaries of two parts of a
// field merge into the summary of the whole.  A summary also travels as
// text (state_text) and merges from there exactly.
#ifndef MORVANTIDE_FIELD_SUMMARY_H_
#define MORVANTIDE_FIELD_SUMMARY_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"
#include "field/exact_sum.h"
#include "field/field.h"

namespace morvantide {

// The histogram of the observed order: bin 0 below 0, bin k (1..16) from
// (k-1)/2 to k/2, bin 17 from 8 up.
inline constexpr int kOrderBins = 18;

struct FieldSummary {
  // The grids and settings the points were analysed on (for the orders from
  // the norms, and to refuse merging summaries of different grids).
  Study study;  // settings, nm and h; Th empty
  int64_t points = 0;
  std::array<int64_t, 5> convergence{};  // by Convergence's number
  int64_t with_order = 0;
  real order_min = kSentinel;
  real order_max = kSentinel;
  std::array<int64_t, kOrderBins> histogram{};
  ExactSum order_sum;           // of the positive orders
  ExactSum order_negative_sum;  // of |p| for the negative ones
  // By grid i = 2..nm at index i - 2: sum |d|, sum d^2, max |d|.
  std::vector<ExactSum> l1, l2;
  std::vector<real> max_difference;
  int64_t with_U = 0;
  real U_max = kSentinel;
  ExactSum U_sum;
  int64_t with_U_relative = 0;
  real U_relative_max = kSentinel;
  ExactSum U_relative_sum;
  int64_t without_dependable_U = 0;

  FieldSummary() = default;
  explicit FieldSummary(const Study& grids);
  // The point with values on grids 1..nm and its figures.
  void add(const real* values, const FieldPoint& p);
  // REQUIRES: same_grids(other).
  void merge(const FieldSummary& other);
  bool same_grids(const FieldSummary& other) const;
  bool operator==(const FieldSummary& other) const;
};

// The figures the summary shows, formed from the exact state.
struct FieldSummaryFigures {
  real order_mean = kSentinel;
  real U_mean = kSentinel;
  real U_relative_mean = kSentinel;
  std::vector<real> l1, l2;  // by grid from 2, the norms (L2: the root)
  real order_l1 = kSentinel, order_l2 = kSentinel, order_max = kSentinel;
};
FieldSummaryFigures summary_figures(const FieldSummary& s);

// The summary as JSON (UTF-8, CR LF line ends, as the other reports), with
// its exact state under "state" for merging.
std::string summary_json(const FieldSummary& s, const std::string& source);
// The summary in words for standard output.
std::string summary_text(const FieldSummary& s, const std::string& source);

// The exact state as one line of text, and back.
std::string state_text(const FieldSummary& s);
Status summary_from_state(const std::string& text, FieldSummary* s);

// Merges summaries of parts of one field (the same grids and settings).
Status merge_summaries(const std::vector<FieldSummary>& parts, FieldSummary* whole);

// Analyses `count` points of `values` (point k's values at values[k * nm])
// into columns->set(offset + k), on the threads, and adds them to `summary`.
// REQUIRES: columns->size() >= offset + count; summary of the same grids.
void analyse_field_block(const FieldGrids& grids, const real* values, int64_t count,
                         FieldColumns* columns, int64_t offset, FieldSummary* summary);

}  // namespace morvantide

#endif  // MORVANTIDE_FIELD_SUMMARY_H_
