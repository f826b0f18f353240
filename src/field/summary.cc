#include "field/summary.h"

#include <quadmath.h>

#include <algorithm>
#include <mutex>

#include "common/parallel.h"
#include "common/text.h"
#include "input/freeformat.h"
#include "report/json.h"
#include "report/utf8.h"

namespace morvantide {

namespace {

bool computed(real x) { return x != kSentinel && !q_isnan(x) && !q_isinf(x); }

int order_bin(real p) {
  if (p < 0) return 0;
  if (p >= 8) return kOrderBins - 1;
  // p / 0.5 is exact for these p; its whole part picks the bin.
  return 1 + static_cast<int>(floorq(p * 2));
}

void keep_min(real x, real* m) {
  if (*m == kSentinel || x < *m) *m = x;
}
void keep_max(real x, real* m) {
  if (*m == kSentinel || x > *m) *m = x;
}

real mean(const ExactSum& sum, int64_t count) {
  if (count == 0) return kSentinel;
  return sum.value() / static_cast<real>(count);
}

// A number with `digits` significant digits for the text (binary128 printed
// directly, never through double).
std::string shown(real x, int digits = 4) {
  if (!computed(x)) return "none";
  char buffer[64];
  quadmath_snprintf(buffer, sizeof buffer, "%.*Qg", digits, x);
  return buffer;
}

std::string share(int64_t part, int64_t whole) {
  if (whole == 0) return "0.00 %";
  char buffer[64];
  const real percent = static_cast<real>(part) * 100 / static_cast<real>(whole);
  quadmath_snprintf(buffer, sizeof buffer, "%.2Qf", percent);
  return std::string(buffer) + " %";
}

// A fraction as a percentage for the text.
std::string percent(real x) { return computed(x) ? shown(100 * x) + " %" : "none"; }

std::string number_or_null(real x) { return computed(x) ? json_number(x) : "null"; }

constexpr std::string_view kEnd = "\r\n";

}  // namespace

FieldSummary::FieldSummary(const Study& grids) : study(grids) {
  study.Th = RealList();
  const size_t pairs = grids.nm > 1 ? static_cast<size_t>(grids.nm - 1) : 0;
  l1.resize(pairs);
  l2.resize(pairs);
  max_difference.assign(pairs, 0);
}

void FieldSummary::add(const real* values, const FieldPoint& p) {
  ++points;
  ++convergence[static_cast<size_t>(p.convergence)];
  if (computed(p.p_observed)) {
    ++with_order;
    keep_min(p.p_observed, &order_min);
    keep_max(p.p_observed, &order_max);
    ++histogram[static_cast<size_t>(order_bin(p.p_observed))];
    // A negative order (a monotonic divergence) has a sum of its own.
    if (p.p_observed < 0) {
      order_negative_sum.add(-p.p_observed);
    } else {
      order_sum.add(p.p_observed);
    }
  }
  for (size_t k = 0; k < l1.size(); ++k) {
    const real d = q_abs(values[k + 1] - values[k]);
    l1[k].add(d);
    l2[k].add(d * d);
    if (d > max_difference[k]) max_difference[k] = d;
  }
  if (computed(p.U)) {
    ++with_U;
    keep_max(p.U, &U_max);
    U_sum.add(p.U);
  }
  if (computed(p.U_relative)) {
    ++with_U_relative;
    keep_max(p.U_relative, &U_relative_max);
    U_relative_sum.add(p.U_relative);
  }
  if (!p.dependable) ++without_dependable_U;
}

void FieldSummary::merge(const FieldSummary& o) {
  points += o.points;
  for (size_t k = 0; k < convergence.size(); ++k) convergence[k] += o.convergence[k];
  with_order += o.with_order;
  if (o.order_min != kSentinel) keep_min(o.order_min, &order_min);
  if (o.order_max != kSentinel) keep_max(o.order_max, &order_max);
  for (size_t k = 0; k < histogram.size(); ++k) histogram[k] += o.histogram[k];
  order_sum.merge(o.order_sum);
  order_negative_sum.merge(o.order_negative_sum);
  for (size_t k = 0; k < l1.size() && k < o.l1.size(); ++k) {
    l1[k].merge(o.l1[k]);
    l2[k].merge(o.l2[k]);
    if (o.max_difference[k] > max_difference[k]) max_difference[k] = o.max_difference[k];
  }
  with_U += o.with_U;
  if (o.U_max != kSentinel) keep_max(o.U_max, &U_max);
  U_sum.merge(o.U_sum);
  with_U_relative += o.with_U_relative;
  if (o.U_relative_max != kSentinel) keep_max(o.U_relative_max, &U_relative_max);
  U_relative_sum.merge(o.U_relative_sum);
  without_dependable_U += o.without_dependable_U;
}

bool FieldSummary::same_grids(const FieldSummary& o) const {
  const Study& a = study;
  const Study& b = o.study;
  if (a.nm != b.nm || a.tipo_r != b.tipo_r || a.itmax != b.itmax) return false;
  for (auto [x, y] : {std::pair{a.pL, b.pL},
                      {a.dp, b.dp},
                      {a.tol, b.tol},
                      {a.pU_min, b.pU_min},
                      {a.pU_max, b.pU_max}}) {
    if (!same_bits(x, y)) return false;
  }
  for (int32_t i = 1; i <= a.nm; ++i) {
    if (!same_bits(a.h(i), b.h(i))) return false;
  }
  return true;
}

bool FieldSummary::operator==(const FieldSummary& o) const {
  return same_grids(o) && points == o.points && convergence == o.convergence &&
         with_order == o.with_order && same_bits(order_min, o.order_min) &&
         same_bits(order_max, o.order_max) && histogram == o.histogram &&
         order_sum == o.order_sum && order_negative_sum == o.order_negative_sum && l1 == o.l1 &&
         l2 == o.l2 && max_difference.size() == o.max_difference.size() &&
         std::equal(max_difference.begin(), max_difference.end(), o.max_difference.begin(),
                    [](real x, real y) { return same_bits(x, y); }) &&
         with_U == o.with_U && same_bits(U_max, o.U_max) && U_sum == o.U_sum &&
         with_U_relative == o.with_U_relative && same_bits(U_relative_max, o.U_relative_max) &&
         U_relative_sum == o.U_relative_sum && without_dependable_U == o.without_dependable_U;
}

FieldSummaryFigures summary_figures(const FieldSummary& s) {
  FieldSummaryFigures f;
  if (s.with_order > 0) {
    f.order_mean =
        (s.order_sum.value() - s.order_negative_sum.value()) / static_cast<real>(s.with_order);
  }
  f.U_mean = mean(s.U_sum, s.with_U);
  f.U_relative_mean = mean(s.U_relative_sum, s.with_U_relative);
  for (size_t k = 0; k < s.l1.size(); ++k) {
    f.l1.push_back(s.l1[k].value());
    f.l2.push_back(sqrtq(s.l2[k].value()));
  }
  const int32_t n = s.study.nm;
  if (n >= kFieldMinGrids && s.points > 0) {
    // The last two differences, as a point's psi = d(n-1) / d(n).
    auto order = [&](real before, real last) {
      return last == 0 ? kSentinel : field_order(s.study, n, before / last);
    };
    const size_t k = static_cast<size_t>(n - 2);
    f.order_l1 = order(f.l1[k - 1], f.l1[k]);
    f.order_l2 = order(f.l2[k - 1], f.l2[k]);
    f.order_max = order(s.max_difference[k - 1], s.max_difference[k]);
  }
  return f;
}

namespace {

std::string list_of(const std::vector<std::string>& items) {
  std::string out = "[";
  for (size_t k = 0; k < items.size(); ++k) out += (k ? ", " : "") + items[k];
  return out + "]";
}

const char* ratio_kind(int32_t tipo_r) {
  return tipo_r == 1 ? "constant" : tipo_r == 2 ? "variable" : "none";
}

}  // namespace

std::string summary_json(const FieldSummary& s, const std::string& source) {
  const FieldSummaryFigures f = summary_figures(s);
  const std::string e(kEnd);
  std::vector<std::string> h, names, counts, shares, edges, bins, l1, l2, mx;
  for (int32_t i = 1; i <= s.study.nm; ++i) h.push_back(json_number(s.study.h(i)));
  const std::vector<const char*> words = convergence_names();
  auto part = [&](int64_t k) {
    return s.points == 0 ? std::string("null")
                         : json_number(static_cast<real>(k) / static_cast<real>(s.points));
  };
  for (size_t k = 0; k < words.size(); ++k) {
    names.push_back(json_string(words[k]));
    counts.push_back(std::to_string(s.convergence[k]));
    shares.push_back(part(s.convergence[k]));
  }
  for (int k = 0; k <= 16; ++k) edges.push_back(json_number(static_cast<real>(k) / 2));
  for (int64_t c : s.histogram) bins.push_back(std::to_string(c));
  for (size_t k = 0; k < f.l1.size(); ++k) {
    l1.push_back(number_or_null(f.l1[k]));
    l2.push_back(number_or_null(f.l2[k]));
    mx.push_back(number_or_null(s.max_difference[k]));
  }
  std::string out = "{" + e;
  out += "  \"program\": \"morvantide\"," + e;
  out += "  \"field\": " + json_string(to_utf8(source)) + "," + e;
  out += "  \"points\": " + std::to_string(s.points) + "," + e;
  out += "  \"grids\": " + std::to_string(s.study.nm) + "," + e;
  out += "  \"h\": " + list_of(h) + "," + e;
  out += "  \"ratio\": " + json_string(ratio_kind(s.study.tipo_r)) + "," + e;
  out += "  \"pL\": " + json_number(s.study.pL) + "," + e;
  out += "  \"convergence\": {\"names\": " + list_of(names) + ", \"counts\": " + list_of(counts) +
         ", \"shares\": " + list_of(shares) + "}," + e;
  out += "  \"observed_order\": {\"points\": " + std::to_string(s.with_order) +
         ", \"min\": " + number_or_null(s.order_min) + ", \"max\": " + number_or_null(s.order_max) +
         ", \"mean\": " + number_or_null(f.order_mean) + "," + e;
  out += "    \"histogram\": {\"edges\": " + list_of(edges) + ", \"counts\": " + list_of(bins) +
         "}}," + e;
  out += "  \"norms\": {\"L1\": " + list_of(l1) + ", \"L2\": " + list_of(l2) +
         ", \"max\": " + list_of(mx) + "}," + e;
  out += "  \"norm_orders\": {\"L1\": " + number_or_null(f.order_l1) +
         ", \"L2\": " + number_or_null(f.order_l2) + ", \"max\": " + number_or_null(f.order_max) +
         "}," + e;
  out += "  \"U\": {\"points\": " + std::to_string(s.with_U) +
         ", \"max\": " + number_or_null(s.U_max) + ", \"mean\": " + number_or_null(f.U_mean) +
         "}," + e;
  out += "  \"U_relative\": {\"points\": " + std::to_string(s.with_U_relative) +
         ", \"max\": " + number_or_null(s.U_relative_max) +
         ", \"mean\": " + number_or_null(f.U_relative_mean) + "}," + e;
  out += "  \"without_dependable_U\": {\"count\": " + std::to_string(s.without_dependable_U) +
         ", \"share\": " + part(s.without_dependable_U) + "}," + e;
  out += "  \"state\": " + json_string(state_text(s)) + e;
  return out + "}" + e;
}

namespace {

// "1 point", "2 points".
std::string points(int64_t n) { return std::to_string(n) + (n == 1 ? " point" : " points"); }

}  // namespace

std::string summary_text(const FieldSummary& s, const std::string& source) {
  const FieldSummaryFigures f = summary_figures(s);
  // The name reaches the terminal: no byte of it may move the cursor.
  std::string out = "Field " + control_bytes_shown(source) + ": " + points(s.points) + " on " +
                    std::to_string(s.study.nm) + " grids (" + ratio_kind(s.study.tipo_r) +
                    " ratio, formal order " + shown(s.study.pL) + ")\n";
  const std::vector<const char*> words = convergence_names();
  for (size_t k : {1, 2, 3, 4, 0}) {
    out += "  " + std::string(words[k]) + ": " + std::to_string(s.convergence[k]) + " (" +
           share(s.convergence[k], s.points) + ")\n";
  }
  out += "Observed order at " + points(s.with_order) + ": min " +
         shown(s.order_min) + ", max " + shown(s.order_max) + ", average " + shown(f.order_mean) +
         "\n";
  out += "Orders from the norms of the last grid differences: L1 " + shown(f.order_l1) + ", L2 " +
         shown(f.order_l2) + ", max " + shown(f.order_max) + "\n";
  out += "U at " + points(s.with_U) + ": max " + shown(s.U_max) + ", mean " +
         shown(f.U_mean) + "; relative to |Th|: max " + percent(s.U_relative_max) + ", mean " +
         percent(f.U_relative_mean) + "\n";
  out += "Points without a dependable U: " + std::to_string(s.without_dependable_U) + " (" +
         share(s.without_dependable_U, s.points) + ")\n";
  return out;
}

namespace {

std::string terms_text(const ExactSum& sum) {
  std::string out;
  for (real t : sum.terms()) out += (out.empty() ? "" : ",") + json_number(t);
  return out;
}

template <typename T>
std::string joined(const T& items, char separator, const auto& text_of) {
  std::string out;
  bool first = true;
  for (const auto& x : items) {
    if (!first) out += separator;
    first = false;
    out += text_of(x);
  }
  return out;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> out;
  if (text.empty()) return out;
  size_t start = 0;
  while (true) {
    const size_t at = text.find(separator, start);
    out.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return out;
}

bool read_real(const std::string& text, real* x) {
  if (text == "nan") {
    *x = nanq("");
    return true;
  }
  return parse_real(text, x) == RealText::kOk;
}

bool read_int(const std::string& text, int64_t* x) {
  if (text.empty() || text.size() > 18 ||
      text.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  *x = std::stoll(text);
  return true;
}

bool read_sum(const std::string& text, ExactSum* sum) {
  *sum = ExactSum();
  for (const std::string& t : split(text, ',')) {
    real x;
    if (!read_real(t, &x)) return false;
    sum->add(x);
  }
  return true;
}

constexpr const char* kStateVersion = "morvantide-field-summary-1";

}  // namespace

std::string state_text(const FieldSummary& s) {
  const Study& st = s.study;
  auto num = [](real x) { return json_number(x); };
  auto count = [](int64_t c) { return std::to_string(c); };
  std::vector<real> h;
  for (int32_t i = 1; i <= st.nm; ++i) h.push_back(st.h(i));
  std::string out = kStateVersion;
  out += " nm=" + std::to_string(st.nm) + " tipo_r=" + std::to_string(st.tipo_r) +
         " itmax=" + std::to_string(st.itmax) + " pL=" + num(st.pL) + " dp=" + num(st.dp) +
         " tol=" + num(st.tol) + " pU_min=" + num(st.pU_min) + " pU_max=" + num(st.pU_max) +
         " h=" + joined(h, ',', num);
  out += " points=" + count(s.points) + " convergence=" + joined(s.convergence, ',', count) +
         " with_order=" + count(s.with_order) + " order_min=" + num(s.order_min) +
         " order_max=" + num(s.order_max) + " histogram=" + joined(s.histogram, ',', count) +
         " order_sum=" + terms_text(s.order_sum) +
         " order_negative_sum=" + terms_text(s.order_negative_sum) +
         " l1=" + joined(s.l1, '/', terms_text) + " l2=" + joined(s.l2, '/', terms_text) +
         " max_difference=" + joined(s.max_difference, ',', num) + " with_U=" + count(s.with_U) +
         " U_max=" + num(s.U_max) + " U_sum=" + terms_text(s.U_sum) +
         " with_U_relative=" + count(s.with_U_relative) +
         " U_relative_max=" + num(s.U_relative_max) +
         " U_relative_sum=" + terms_text(s.U_relative_sum) +
         " without_dependable_U=" + count(s.without_dependable_U);
  return out;
}

Status summary_from_state(const std::string& text, FieldSummary* out) {
  const Status bad =
      Status::Error("morvantide: not a field summary's state: " + printable(text.substr(0, 60)));
  std::vector<std::string> tokens = split(text, ' ');
  if (tokens.empty() || tokens[0] != kStateVersion) return bad;
  std::vector<std::pair<std::string, std::string>> fields;
  for (size_t k = 1; k < tokens.size(); ++k) {
    const size_t eq = tokens[k].find('=');
    if (eq == std::string::npos) return bad;
    fields.emplace_back(tokens[k].substr(0, eq), tokens[k].substr(eq + 1));
  }
  auto get = [&](const char* key, std::string* value) {
    for (const auto& [k, v] : fields) {
      if (k == key) {
        *value = v;
        return true;
      }
    }
    return false;
  };
  std::string v;
  int64_t x;
  Study st;
  if (!get("nm", &v) || !read_int(v, &x) || x < kFieldMinGrids || x > kMaxGrids) return bad;
  st.nm = static_cast<int32_t>(x);
  if (!get("tipo_r", &v) || !read_int(v, &x) || x > 2) return bad;
  st.tipo_r = static_cast<int32_t>(x);
  if (!get("itmax", &v) || !read_int(v, &x) || x > 1000000000) return bad;
  st.itmax = static_cast<int32_t>(x);
  for (auto [key, r] : {std::pair{"pL", &st.pL},
                        {"dp", &st.dp},
                        {"tol", &st.tol},
                        {"pU_min", &st.pU_min},
                        {"pU_max", &st.pU_max}}) {
    if (!get(key, &v) || !read_real(v, r)) return bad;
  }
  if (!get("h", &v)) return bad;
  const std::vector<std::string> hs = split(v, ',');
  if (static_cast<int32_t>(hs.size()) != st.nm) return bad;
  st.h.resize(st.nm);
  for (int32_t i = 1; i <= st.nm; ++i) {
    if (!read_real(hs[i - 1], &st.h(i))) return bad;
  }
  FieldSummary s(st);
  auto int_field = [&](const char* key, int64_t* c) { return get(key, &v) && read_int(v, c); };
  auto real_field = [&](const char* key, real* r) { return get(key, &v) && read_real(v, r); };
  auto sum_field = [&](const char* key, ExactSum* sum) { return get(key, &v) && read_sum(v, sum); };
  auto counts = [&](const char* key, auto* array) {
    if (!get(key, &v)) return false;
    const std::vector<std::string> parts = split(v, ',');
    if (parts.size() != array->size()) return false;
    for (size_t k = 0; k < parts.size(); ++k) {
      if (!read_int(parts[k], &(*array)[k])) return false;
    }
    return true;
  };
  if (!int_field("points", &s.points) || !counts("convergence", &s.convergence) ||
      !int_field("with_order", &s.with_order) || !real_field("order_min", &s.order_min) ||
      !real_field("order_max", &s.order_max) || !counts("histogram", &s.histogram) ||
      !sum_field("order_sum", &s.order_sum) ||
      !sum_field("order_negative_sum", &s.order_negative_sum) || !int_field("with_U", &s.with_U) ||
      !real_field("U_max", &s.U_max) || !sum_field("U_sum", &s.U_sum) ||
      !int_field("with_U_relative", &s.with_U_relative) ||
      !real_field("U_relative_max", &s.U_relative_max) ||
      !sum_field("U_relative_sum", &s.U_relative_sum) ||
      !int_field("without_dependable_U", &s.without_dependable_U)) {
    return bad;
  }
  const size_t pairs = static_cast<size_t>(st.nm - 1);
  for (auto [key, sums] : {std::pair{"l1", &s.l1}, {"l2", &s.l2}}) {
    if (!get(key, &v)) return bad;
    std::vector<std::string> parts = split(v, '/');
    if (v.empty() && pairs == 1) parts = {""};
    if (parts.size() != pairs) return bad;
    for (size_t k = 0; k < pairs; ++k) {
      if (!read_sum(parts[k], &(*sums)[k])) return bad;
    }
  }
  if (!get("max_difference", &v)) return bad;
  const std::vector<std::string> mx = split(v, ',');
  if (mx.size() != pairs) return bad;
  for (size_t k = 0; k < pairs; ++k) {
    if (!read_real(mx[k], &s.max_difference[k])) return bad;
  }
  *out = std::move(s);
  return Status::Ok();
}

void analyse_field_block(const FieldGrids& grids, const real* values, int64_t count,
                         FieldColumns* columns, int64_t offset, FieldSummary* summary) {
  // Pieces of points, each with a summary of its own merged into the whole
  // as the piece ends (the merge is exact, so its order does not matter to
  // the bits); at most one summary a thread at a time.
  constexpr int64_t kPointsPerPiece = 2048;
  const int64_t nm = grids.grids();
  const int64_t pieces = (count + kPointsPerPiece - 1) / kPointsPerPiece;
  std::mutex merging;
  parallel_for(0, pieces, 1, [&](int64_t b, int64_t e) {
    for (int64_t piece = b; piece < e; ++piece) {
      FieldSummary part(grids.study());
      const int64_t end = std::min(count, (piece + 1) * kPointsPerPiece);
      for (int64_t k = piece * kPointsPerPiece; k < end; ++k) {
        const real* point = values + k * nm;
        const FieldPoint p = analyse_point(grids, point);
        columns->set(offset + k, p);
        part.add(point, p);
      }
      const std::lock_guard<std::mutex> lock(merging);
      summary->merge(part);
    }
  });
}

Status merge_summaries(const std::vector<FieldSummary>& parts, FieldSummary* whole) {
  if (parts.empty()) return Status::Error("morvantide: no field summary to merge");
  FieldSummary s = parts.front();
  for (size_t k = 1; k < parts.size(); ++k) {
    if (!parts[k].same_grids(s)) {
      return Status::Error("morvantide: field summary " + std::to_string(k + 1) +
                           " is of other grids or settings than the first: only parts of one "
                           "field merge");
    }
    s.merge(parts[k]);
  }
  *whole = std::move(s);
  return Status::Ok();
}

}  // namespace morvantide
