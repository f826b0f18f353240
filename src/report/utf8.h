// Texts from the input files (title, file and variable names) in UTF-8, for
// the JSON and CSV outputs.  The input files are bytes: a text that is
// already valid UTF-8 is kept; any other is taken as Windows-1252 (the
// encoding of the listing) and converted.
//   "Canal"            -> "Canal"
//   "t\xedtulo"         -> "t\xc3\xadtulo"      (í)
//   "t\xc3\xadtulo"     -> "t\xc3\xadtulo"      (already UTF-8)
//   "\x80"              -> "\xe2\x82\xac"       (the euro sign)
// A text that is UTF-8, with a character beyond ASCII, but for its last
// character, cut short, loses that character:
//   "t\xc3\xadtul\xc3"   -> "t\xc3\xadtul"
//   "IRM\xc3"            -> "IRM\xc3\x83"     (Windows-1252)
// The five bytes Windows-1252 leaves undefined (81, 8D, 8F, 90, 9D) become
// U+FFFD.
#ifndef MORVANTIDE_REPORT_UTF8_H_
#define MORVANTIDE_REPORT_UTF8_H_

#include <string>
#include <string_view>

namespace morvantide {

bool is_utf8(std::string_view bytes);
std::string to_utf8(std::string_view bytes);

}  // namespace morvantide

#endif  // MORVANTIDE_REPORT_UTF8_H_
