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

// The other way, for the listing and the plot scripts, which are
// Windows-1252: a UTF-8 text with characters beyond ASCII becomes
// Windows-1252, a character the code page lacks becoming '?'; any other
// text (ASCII, or not UTF-8, so Windows-1252 already) is kept.
//   "\xc3\xa9tude"      -> "\xe9tude"      (é)
//   "\xe2\x82\xac 5"     -> "\x80 5"         (the euro sign)
//   "\xce\xa9"          -> "?"              (Ω)
//   "\xe9tude"          -> "\xe9tude"
std::string to_windows_1252(std::string_view bytes);

// A text from an input file (a name, a title) as the reports write it:
// control bytes spelled out as \xhh (common/text.h's control_bytes_shown),
// then in UTF-8.
std::string report_text(std::string_view bytes);

}  // namespace morvantide

#endif  // MORVANTIDE_REPORT_UTF8_H_
