// The settings of a table's study that every door takes, one rule each: the
// command line's --cells, --order, --order-step, --ratio, --order-range,
// --itmax and --tol, and the Python module's keywords of the same names.
// Each reads the text of its value (a door turns its own values into text
// first) into TableSettings; a value it does not take is false, and the
// door says "bad value for NAME: VALUE (EXPECTED)" with the expected text.
//
//   read_study_setting(StudySetting::kOrder, "1.5", &t)   -> true, t.pL = 1.5
//   read_study_setting(StudySetting::kOrder, "0", &t)     -> false
//   read_order_range("0.5", "5", &t)                     -> true, order_range_given
#ifndef MORVANTIDE_INPUT_STUDY_SETTINGS_H_
#define MORVANTIDE_INPUT_STUDY_SETTINGS_H_

#include <string_view>

#include "input/table.h"

namespace morvantide {

enum class StudySetting {
  kCells,      // 1, 2 or 3
  kOrder,      // pL: a positive finite number
  kOrderStep,  // dp: a positive finite number
  kItmax,      // a whole number from 1 to 999999999
  kTol,        // a positive number
};

// "the grid's dimension: 1, 2 or 3", "a positive finite number", ...
const char* setting_expected(StudySetting s);

bool read_study_setting(StudySetting s, std::string_view text, TableSettings* t);

// "constant" or "variable".
bool read_ratio(std::string_view text, TableSettings* t);

// Both ends numbers, the first the smaller.
bool read_order_range(std::string_view low, std::string_view high, TableSettings* t);

}  // namespace morvantide

#endif  // MORVANTIDE_INPUT_STUDY_SETTINGS_H_
