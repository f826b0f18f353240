#include "input/study_settings.h"

#include <string>

#include "input/freeformat.h"

namespace morvantide {

namespace {

bool number(std::string_view text, real* out) { return parse_real(text, out) == RealText::kOk; }

}  // namespace

const char* setting_expected(StudySetting s) {
  switch (s) {
    case StudySetting::kCells:
      return "the grid's dimension: 1, 2 or 3";
    case StudySetting::kOrder:
    case StudySetting::kOrderStep:
      return "a positive finite number";
    case StudySetting::kItmax:
      return "a whole number of iterations, at least 1";
    case StudySetting::kTol:
      return "a positive number";
  }
  return "";
}

bool read_study_setting(StudySetting s, std::string_view text, TableSettings* t) {
  real v = 0;
  switch (s) {
    case StudySetting::kCells:
      if (text != "1" && text != "2" && text != "3") return false;
      t->cells = text[0] - '0';
      return true;
    case StudySetting::kOrder:
    case StudySetting::kOrderStep:
      if (!number(text, &v) || !(v > 0) || q_isinf(v)) return false;
      (s == StudySetting::kOrder ? t->pL : t->dp) = v;
      return true;
    case StudySetting::kItmax:
      if (text.empty() || text.size() > 9 ||
          text.find_first_not_of("0123456789") != std::string_view::npos) {
        return false;
      }
      if (std::stol(std::string(text)) < 1) return false;
      t->itmax = static_cast<int32_t>(std::stol(std::string(text)));
      return true;
    case StudySetting::kTol:
      if (!number(text, &v) || !(v > 0)) return false;
      t->tol = v;
      return true;
  }
  return false;
}

bool read_ratio(std::string_view text, TableSettings* t) {
  if (text == "constant") {
    t->ratio = RatioChoice::kConstant;
  } else if (text == "variable") {
    t->ratio = RatioChoice::kVariable;
  } else {
    return false;
  }
  return true;
}

bool read_order_range(std::string_view low, std::string_view high, TableSettings* t) {
  real a = 0, b = 0;
  if (!number(low, &a) || !number(high, &b) || !(a < b)) return false;
  t->pU_min = a;
  t->pU_max = b;
  t->order_range_given = true;
  return true;
}

}  // namespace morvantide
