// The JSON report (RFC 8259, UTF-8, CR LF line ends): one object with the
// run's settings, the grid table and one entry per analysed variable with its
// per-grid lists and verdict.  Lists run over the grids, coarsest first; a
// value that was not computed is null; infinities and NaN are the strings
// "inf", "-inf" and "nan"; every other number is the shortest decimal that
// reads back to the same binary128 value.  docs/manual.md shows the schema.
//
// Written in three parts so that a run with many variables holds one
// variable's results at a time:
//   json_start(source, study, grids, target) + json_variable(v1, true)
//   + json_variable(v2, false)
//   + json_end()
#ifndef MORVANTIDE_REPORT_JSON_H_
#define MORVANTIDE_REPORT_JSON_H_

#include <string>
#include <string_view>

#include "model/source.h"
#include "model/state.h"
#include "report/results.h"
#include "core/verdict.h"

namespace morvantide {

// A JSON string: quotes, backslash and control characters escaped.
// REQUIRES: utf8 is valid UTF-8.
std::string json_string(std::string_view utf8);

// A JSON value of a real: the shortest decimal, or "inf", "-inf", "nan".
std::string json_number(real x);

// The run's settings and grids; a table's source has no layout and no nv.
std::string json_start(const Source& source, const Study& study, const GridTable& g,
                       const Target& target);
std::string json_variable(const Analysis& v, bool first);
std::string json_end();

}  // namespace morvantide

#endif  // MORVANTIDE_REPORT_JSON_H_
