// Fixed-length texts.  A text field of length N holds exactly N single-byte
// characters: assigning a shorter text pads it with blanks on the right, a
// longer one keeps its first N characters.
//
//   fit("abc", 5)      -> "abc  "
//   fit("abcdef", 4)   -> "abcd"
//   trim_left("  a ")  -> "a "
//   trim_right("  a ") -> "  a"
//   trim("  a ")       -> "a"      (how every file name is used)
#ifndef MORVANTIDE_COMMON_TEXT_H_
#define MORVANTIDE_COMMON_TEXT_H_

#include <string>
#include <string_view>
#include <vector>

namespace morvantide {

inline std::string fit(std::string_view s, size_t n) {
  std::string out(s.substr(0, n));
  out.resize(n, ' ');
  return out;
}

inline std::string trim_left(std::string_view s) {
  size_t i = s.find_first_not_of(' ');
  return i == std::string_view::npos ? std::string() : std::string(s.substr(i));
}

inline std::string trim_right(std::string_view s) {
  size_t i = s.find_last_not_of(' ');
  return i == std::string_view::npos ? std::string() : std::string(s.substr(0, i + 1));
}

inline std::string trim(std::string_view s) { return trim_right(trim_left(s)); }

// A name or a text found in a file, fit for a one-line message: every byte
// outside printable ASCII (control bytes, DEL, bytes above 0x7F) as \xHH,
// so that no message can move the cursor or rewrite the user's terminal.
//   printable("\x1b[2J")   -> \x1b[2J   (the escape byte spelled out)
//   printable("lista\r")    -> "lista\x0d"
std::string printable(std::string_view s);

// The text with its control bytes (below 0x20, and 0x7F) as \xHH and every
// other byte as it is, for texts read from files that reach the terminal:
//   "nv\x1b[2J"  -> "nv\x1b[2J" (the escape byte spelled out)
//   "Pressão"    -> "Pressão"
std::string control_bytes_shown(std::string_view s);
// A value as it stands, for a message: in double quotes, printable(), cut
// after kShownBytes bytes with "...".
//   shown("1.5x")   -> "\"1.5x\""
//   shown("caf\xe9") -> "\"caf\\xe9\""
inline constexpr size_t kShownBytes = 40;
std::string shown(std::string_view value);

// True when the text holds a control byte (below 0x20, or 0x7F), which no
// file name may hold.
bool has_control_byte(std::string_view s);

// The line end of every file the program writes.
inline constexpr std::string_view kCrLf = "\r\n";

// The words of s between blanks of the C locale (space, tab, LF, VT, FF,
// CR), as reading strings from a stream splits them.
std::vector<std::string> split_words(std::string_view s);

// The words of `text` (parted at single blanks) after `start`, in lines of
// at most `width` bytes (a longer word stands alone), each line after the
// first starting with `indent` blanks and every line ending in "\n":
//   wrap_words("a bb cc", "  -x ", 5, 8) == "  -x a\n     bb\n     cc\n"
std::string wrap_words(std::string_view text, std::string start, size_t indent, size_t width);

}  // namespace morvantide

#endif  // MORVANTIDE_COMMON_TEXT_H_
