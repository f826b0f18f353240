// The CSV report (RFC 4180: comma, CR LF, a header row, fields with a comma,
// a quote or a line end in double quotes with inner quotes doubled; UTF-8,
// "." as the decimal point).  One row per variable and grid:
//   variable,name,grid,h,log10_h,r21,file, the quantities in the order of
//   the listing's tables (kQuantityColumns), the verdict (kVerdictColumns).
// A value that was not computed is an empty field; infinities and NaN are
// inf, -inf and nan; every other number is the shortest decimal that reads
// back to the same binary128 value; yes/no verdicts are true and false.
#ifndef MORVANTIDE_REPORT_CSV_H_
#define MORVANTIDE_REPORT_CSV_H_

#include <string>
#include <string_view>

#include "model/source.h"
#include "report/results.h"

namespace morvantide {

// A field as RFC 4180 wants it:  a,b -> "a,b"   say "hi" -> "say ""hi"""
std::string csv_field(std::string_view text);

std::string csv_header();
// The rows of one variable, every grid.
std::string csv_rows(const Source& source, const Analysis& v);

}  // namespace morvantide

#endif  // MORVANTIDE_REPORT_CSV_H_
