// How the rows of a table are split, shared by the data run's reader and the
// field's: the separator is the first row's, told by the first of a tab, a
// semicolon or a comma it holds before any comment; a row of none is split
// at runs of blanks.
//   "h\tu"  -> kTab      "h;u" -> kSemicolon      "h,u" -> kComma
//   "h u"   -> kBlanks   "h u # speed, m/s" -> kBlanks   "h,\"u #1\"" -> kComma
#ifndef MORVANTIDE_INPUT_SEPARATOR_H_
#define MORVANTIDE_INPUT_SEPARATOR_H_

#include <string_view>

namespace morvantide {

enum class Separator { kTab, kSemicolon, kComma, kBlanks };

inline Separator detect_separator(std::string_view first_row) {
  // A comment ends the row: "h u # speed, m/s" is split at blanks.
  bool quoted = false;
  for (size_t i = 0; i < first_row.size(); ++i) {
    if (first_row[i] == '"') quoted = !quoted;
    if (first_row[i] == '#' && !quoted) {
      first_row = first_row.substr(0, i);
      break;
    }
  }
  if (first_row.find('\t') != std::string_view::npos) return Separator::kTab;
  if (first_row.find(';') != std::string_view::npos) return Separator::kSemicolon;
  if (first_row.find(',') != std::string_view::npos) return Separator::kComma;
  return Separator::kBlanks;
}

// A blank between fields: a space, a tab, or the CR of a CR LF line end.
inline bool is_field_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

}  // namespace morvantide

#endif  // MORVANTIDE_INPUT_SEPARATOR_H_
