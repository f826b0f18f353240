#include "field/npy.h"

#include <charconv>
#include <cstring>

#include "common/text.h"
#include "input/freeformat.h"

namespace morvantide {

namespace {

// 10^k exactly, for 0 <= k <= 48 (5^48 < 2^113).
real exact_power_of_ten(int k) {
  static const std::vector<real> powers = [] {
    std::vector<real> p(49);
    p[0] = 1;
    for (size_t i = 1; i < p.size(); ++i) p[i] = p[i - 1] * 10;
    return p;
  }();
  return powers[static_cast<size_t>(k)];
}

}  // namespace

real real_from_double(double x) {
  char text[64];
  // Scientific form: the shortest digits, as repr() gives them (the plain
  // form writes a large whole double's every digit, another decimal).
  const std::to_chars_result r =
      std::to_chars(text, text + sizeof text, x, std::chars_format::scientific);
  const std::string_view s(text, static_cast<size_t>(r.ptr - text));
  // The digits as a whole number and the power of ten they are scaled by.
  uint64_t digits = 0;
  int count = 0;
  int exponent = 0;
  bool negative = false;
  size_t k = 0;
  if (k < s.size() && s[k] == '-') {
    negative = true;
    ++k;
  }
  bool fraction = false;
  for (; k < s.size() && s[k] != 'e'; ++k) {
    if (s[k] == '.') {
      fraction = true;
      continue;
    }
    digits = digits * 10 + static_cast<uint64_t>(s[k] - '0');
    ++count;
    if (fraction) --exponent;
  }
  if (k < s.size()) {
    int e = 0;
    std::from_chars(s.data() + k + 1 + (s[k + 1] == '+' ? 1 : 0), s.data() + s.size(), e);
    exponent += e;
  }
  // Up to 17 digits and 10^48 are exact in binary128: one rounding, in the
  // product or the quotient, gives the correctly rounded value.
  if (count <= 19 && exponent >= -48 && exponent <= 48) {
    const real d = static_cast<real>(digits);
    const real v =
        exponent >= 0 ? d * exact_power_of_ten(exponent) : d / exact_power_of_ten(-exponent);
    return negative ? -v : v;
  }
  real v = 0;
  parse_real(s, &v);
  return v;
}

double double_from_real(real x) { return static_cast<double>(x); }

Status parse_npy_header(const std::string& source, std::string_view bytes, NpyHeader* header) {
  auto bad = [&](const std::string& what) {
    return Status::Error(printable(source) + ": not a NumPy .npy array: " + what);
  };
  if (bytes.size() < 10 || bytes.substr(0, 6) != "\x93NUMPY") return bad("no .npy signature");
  const int major = static_cast<unsigned char>(bytes[6]);
  size_t length = 0;
  size_t start = 0;
  if (major == 1) {
    length = static_cast<unsigned char>(bytes[8]) | static_cast<unsigned char>(bytes[9]) << 8;
    start = 10;
  } else if (major == 2 || major == 3) {
    if (bytes.size() < 12) return bad("a short header");
    length = 0;
    for (int b = 3; b >= 0; --b) length = length << 8 | static_cast<unsigned char>(bytes[8 + b]);
    start = 12;
  } else {
    return bad("format version " + std::to_string(major) + " (1, 2 or 3 are read)");
  }
  if (bytes.size() < start + length) return bad("the header is cut short");
  const std::string text(bytes.substr(start, length));
  auto value_of = [&](const std::string& key) -> std::string {
    const size_t at = text.find("'" + key + "'");
    if (at == std::string::npos) return "";
    size_t v = text.find(':', at);
    if (v == std::string::npos) return "";
    ++v;
    while (v < text.size() && text[v] == ' ') ++v;
    if (v >= text.size()) return "";
    const char open = text[v];
    const char close = open == '(' ? ')' : open == '\'' ? '\'' : ',';
    const size_t end = text.find(close, v + 1);
    if (end == std::string::npos) return "";
    return text.substr(v, end - v + (close == ',' ? 0 : 1));
  };
  std::string descr = value_of("descr");
  if (descr.size() < 2 || descr.front() != '\'') return bad("no 'descr' in the header");
  header->descr = descr.substr(1, descr.size() - 2);
  const std::string fortran = value_of("fortran_order");
  if (fortran != "True" && fortran != "False") return bad("no 'fortran_order' in the header");
  header->fortran_order = fortran == "True";
  const std::string shape = value_of("shape");
  if (shape.size() < 2 || shape.front() != '(') return bad("no 'shape' in the header");
  header->shape.clear();
  std::string_view rest(shape.data() + 1, shape.size() - 2);
  while (!rest.empty()) {
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == ',')) rest.remove_prefix(1);
    if (rest.empty()) break;
    int64_t n = 0;
    const auto r = std::from_chars(rest.data(), rest.data() + rest.size(), n);
    if (r.ec != std::errc() || n < 0)
      return bad("a shape that is not whole numbers: " + printable(shape.substr(0, 40)));
    header->shape.push_back(n);
    rest.remove_prefix(static_cast<size_t>(r.ptr - rest.data()));
    if (!rest.empty() && rest.front() == 'L') rest.remove_prefix(1);
  }
  header->data_offset = static_cast<int64_t>(start + length);
  return Status::Ok();
}

std::string npy_header(const std::string& descr, int64_t count) {
  std::string dict = "{'descr': '" + descr + "', 'fortran_order': False, 'shape': (" +
                     std::to_string(count) + ",), }";
  // The values start on a multiple of 64 bytes; the header ends with '\n'.
  size_t total = 10 + dict.size() + 1;
  const size_t padded = (total + 63) / 64 * 64;
  dict.append(padded - total, ' ');
  dict += '\n';
  std::string out = "\x93NUMPY";
  out += '\x01';
  out += '\x00';
  out += static_cast<char>(dict.size() & 0xff);
  out += static_cast<char>(dict.size() >> 8);
  return out + dict;
}

uint32_t crc32_update(uint32_t crc, const void* data, size_t size) {
  static const std::vector<uint32_t> table = [] {
    std::vector<uint32_t> t(256);
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  const auto* p = static_cast<const unsigned char*>(data);
  crc = ~crc;
  for (size_t k = 0; k < size; ++k) crc = table[(crc ^ p[k]) & 0xff] ^ (crc >> 8);
  return ~crc;
}

}  // namespace morvantide
