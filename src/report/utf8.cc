#include "report/utf8.h"

#include <cstdint>

#include "common/text.h"

namespace morvantide {

namespace {

// Windows-1252 bytes 0x80..0x9F; 0xFFFD where the code page has no character.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

void append(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

bool is_utf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const uint8_t b = static_cast<uint8_t>(s[i]);
    size_t n;
    char32_t c;
    if (b < 0x80) {
      ++i;
      continue;
    } else if (b >= 0xC2 && b <= 0xDF) {
      n = 1;
      c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      n = 2;
      c = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      n = 3;
      c = b & 0x07;
    } else {
      return false;
    }
    if (i + n >= s.size()) return false;  // cut short
    for (size_t k = 1; k <= n; ++k) {
      const uint8_t t = static_cast<uint8_t>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    // No overlong forms, no surrogates, nothing above U+10FFFF.
    if ((n == 2 && c < 0x800) || (n == 3 && (c < 0x10000 || c > 0x10FFFF)) ||
        (c >= 0xD800 && c <= 0xDFFF)) {
      return false;
    }
    i += n + 1;
  }
  return true;
}

std::string to_windows_1252(std::string_view bytes) {
  bool beyond_ascii = false;
  for (char c : bytes) beyond_ascii = beyond_ascii || static_cast<uint8_t>(c) >= 0x80;
  if (!beyond_ascii || !is_utf8(bytes)) return std::string(bytes);
  std::string out;
  size_t i = 0;
  while (i < bytes.size()) {
    const uint8_t b = static_cast<uint8_t>(bytes[i]);
    const size_t n = b < 0x80 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
    char32_t c = n == 0 ? b : n == 1 ? (b & 0x1F) : n == 2 ? (b & 0x0F) : (b & 0x07);
    for (size_t k = 1; k <= n; ++k) c = (c << 6) | (static_cast<uint8_t>(bytes[i + k]) & 0x3F);
    i += n + 1;
    char byte = '?';
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      byte = static_cast<char>(c);
    } else {
      for (int k = 0; k < 32; ++k) {
        if (kHighControls[k] == c && c != 0xFFFD) byte = static_cast<char>(0x80 + k);
      }
    }
    out += byte;
  }
  return out;
}

std::string report_text(std::string_view bytes) { return to_utf8(control_bytes_shown(bytes)); }

std::string to_utf8(std::string_view bytes) {
  if (is_utf8(bytes)) return std::string(bytes);
  // A text cut at a byte count (a title at 100 bytes, a name at 256) may
  // end inside a character: when the rest is UTF-8 with a character beyond
  // ASCII (so the text is UTF-8, not a Windows-1252 text ending in, say,
  // \xc3 for A with a tilde), it is cut at that character's start.
  for (size_t cut = 1; cut <= 3 && cut <= bytes.size(); ++cut) {
    const uint8_t lead = static_cast<uint8_t>(bytes[bytes.size() - cut]);
    if ((lead & 0xC0) == 0x80) continue;  // a continuation byte: look further back
    const size_t needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 1;
    // Whether some completion makes it a character (E0 needs A0..BF next,
    // ED 80..9F, F0 90..BF, F4 80..8F).
    if (needed <= cut) break;
    const std::string start(bytes.substr(bytes.size() - cut));
    bool completes = false;
    for (char pad : {'\x80', '\x9F', '\xA0', '\xBF'}) {
      completes = completes || is_utf8(start + std::string(needed - cut, pad));
    }
    const std::string_view rest = bytes.substr(0, bytes.size() - cut);
    bool beyond_ascii = false;
    for (unsigned char b : rest) beyond_ascii = beyond_ascii || b >= 0x80;
    if (completes && beyond_ascii && is_utf8(rest)) {
      return std::string(bytes.substr(0, bytes.size() - cut));
    }
    break;
  }
  std::string out;
  for (unsigned char b : bytes) {
    append(out, b >= 0x80 && b < 0xA0 ? kHighControls[b - 0x80] : char32_t{b});
  }
  return out;
}

}  // namespace morvantide
