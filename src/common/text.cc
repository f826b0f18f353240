#include "common/text.h"

#include <cstdio>

namespace morvantide {

namespace {

// s with the bytes `keep` accepts as they are and every other as \xHH.
template <typename Keep>
std::string spelled_out(std::string_view s, Keep keep) {
  std::string out;
  out.reserve(s.size());
  for (const char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (keep(c)) {
      out += ch;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace

std::string printable(std::string_view s) {
  return spelled_out(s, [](unsigned char c) { return c >= 0x20 && c < 0x7f; });
}

std::string control_bytes_shown(std::string_view s) {
  return spelled_out(s, [](unsigned char c) { return c >= 0x20 && c != 0x7f; });
}

std::string shown(std::string_view value) {
  std::string out = "\"" + printable(value.substr(0, kShownBytes));
  if (value.size() > kShownBytes) out += "...";
  return out + "\"";
}

bool has_control_byte(std::string_view s) {
  for (const char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

std::vector<std::string> split_words(std::string_view s) {
  constexpr std::string_view kBlanks = " \t\n\v\f\r";
  std::vector<std::string> words;
  for (size_t start = s.find_first_not_of(kBlanks); start != std::string_view::npos;) {
    const size_t end = s.find_first_of(kBlanks, start);
    const size_t length = end == std::string_view::npos ? s.size() - start : end - start;
    words.emplace_back(s.substr(start, length));
    start = end == std::string_view::npos ? end : s.find_first_not_of(kBlanks, end);
  }
  return words;
}

std::string wrap_words(std::string_view text, std::string start, size_t indent, size_t width) {
  std::string out;
  std::string line = std::move(start);
  bool line_empty = true;
  while (!text.empty()) {
    const size_t space = text.find(' ');
    const std::string_view word = text.substr(0, space);
    if (!line_empty && line.size() + 1 + word.size() > width) {
      out += line + "\n";
      line.assign(indent, ' ');
      line_empty = true;
    }
    if (!line_empty) line += ' ';
    line += word;
    line_empty = false;
    text = space == std::string_view::npos ? std::string_view() : text.substr(space + 1);
  }
  return out + line + "\n";
}

}  // namespace morvantide
