// The JSON report (RFC 8259, UTF-8, CR LF line ends): one object with the
// run's settings, the grid table and one entry per analysed variable with its
// per-grid lists and verdict.  Lists run over the grids, coarsest first; a
// value that was not computed is null; infinities and NaN are the strings
// "inf", "-inf" and "nan"; every other number is the shortest decimal that
// reads back to the same binary128 value.  docs/manual.md shows the schema.
//
// Written in three parts so that a run with many variables holds one
// variable's results at a time:
//   json_start(s, target) + json_variable(s, v1, true) + json_variable(s, v2, false)
//   + json_end()
#ifndef MORVANTIDE_REPORT_JSON_H_
#define MORVANTIDE_REPORT_JSON_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/state.h"
#include "report/results.h"
#include "core/verdict.h"

namespace morvantide {

// A JSON string: quotes, backslash and control characters escaped.
// REQUIRES: utf8 is valid UTF-8.
std::string json_string(std::string_view utf8);

// A JSON value of a real: the shortest decimal, or "inf", "-inf", "nan".
std::string json_number(real x);

// A field of an object of the report: its key and its value, null, a real
// (json_number), a whole number, a string, true or false, or an object of
// fields.  The finest grid's object is built as fields and then written, so
// a reader of the Analysis (the Python module) gets the same object without
// parsing the text.
struct JsonField {
  enum class Kind { kNull, kReal, kWhole, kText, kFlag, kObject };
  std::string key;
  Kind kind = Kind::kNull;
  real number = 0;
  int64_t whole = 0;
  std::string text;  // UTF-8
  bool flag = false;
  std::vector<JsonField> fields;
};

// The fields of the verdict's "finest" object, in the report's order.
std::vector<JsonField> finest_fields(const Analysis& v);

std::string json_start(const State& s, const GridTable& g, const Target& target);
std::string json_variable(const Analysis& v, bool first);
std::string json_end();

}  // namespace morvantide

#endif  // MORVANTIDE_REPORT_JSON_H_
