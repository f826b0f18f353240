#include "input/freeformat.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "common/text.h"

namespace morvantide {

namespace {

// A repeat count above this is as good as endless: no read takes more values.
constexpr uint64_t kRepeatCap = uint64_t{1} << 62;

// A CR that is not part of a line end counts as a blank (see at_line_end).
bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Item::what with every "{}" replaced by the number of the value (value
// `number` of the item, counted from 1, is numbered item.first + number - 1).
std::string item_name(const Item& item, int64_t number) {
  number += int64_t{item.first} - 1;
  const std::string& what = item.what;
  std::string out;
  size_t from = 0;
  for (size_t at; (at = what.find("{}", from)) != std::string::npos; from = at + 2) {
    out.append(what, from, at - from);
    out += std::to_string(number);
  }
  out.append(what, from, std::string::npos);
  return out;
}

enum class Conversion { kOk, kMalformed, kTooLarge };

// An optionally signed string of decimal digits that fits 32 bits.  The
// digits are checked first, so "99999999999x" is malformed, not too large.
Conversion to_integer(std::string_view s, int32_t* out) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i == s.size()) return Conversion::kMalformed;
  int64_t magnitude = 0;
  bool too_large = false;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return Conversion::kMalformed;
    if (!too_large) {
      magnitude = magnitude * 10 + (s[i] - '0');
      too_large = magnitude > int64_t{2147483648};
    }
  }
  if (too_large || (!negative && magnitude > int64_t{2147483647})) return Conversion::kTooLarge;
  *out = static_cast<int32_t>(negative ? -magnitude : magnitude);
  return Conversion::kOk;
}

size_t count_digits(std::string_view s, size_t i) {
  size_t start = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
  return i - start;
}

// [sign] (digits [. [digits]] | . digits) [(E|e|D|d) [sign] digits], turned
// into binary128 by strtoflt128 (correctly rounded, any number of digits).
// Underflow gives zero or a subnormal as usual; overflow is refused.
Conversion to_real(std::string_view s, real* out) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t mantissa_digits = count_digits(s, i);
  i += mantissa_digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    const size_t fraction_digits = count_digits(s, i);
    i += fraction_digits;
    mantissa_digits += fraction_digits;
  }
  if (mantissa_digits == 0) return Conversion::kMalformed;
  std::string number(s.substr(0, i));
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
    number += 'E';
    ++i;
    size_t exponent_start = i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const size_t exponent_digits = count_digits(s, i);
    if (exponent_digits == 0) return Conversion::kMalformed;
    i += exponent_digits;
    number.append(s.substr(exponent_start, i - exponent_start));
  }
  if (i != s.size()) return Conversion::kMalformed;
  char* end = nullptr;
  const real value = strtoflt128(number.c_str(), &end);
  if (end != number.c_str() + number.size()) return Conversion::kMalformed;
  if (isinfq(value)) return Conversion::kTooLarge;
  *out = value;
  return Conversion::kOk;
}

}  // namespace

RealText parse_real(std::string_view text, real* out) {
  switch (to_real(text, out)) {
    case Conversion::kOk: return RealText::kOk;
    case Conversion::kTooLarge: return RealText::kTooLarge;
    case Conversion::kMalformed: break;
  }
  return RealText::kMalformed;
}

// One read: a cursor over the text from the start of the read's first line.
// The values of the line are separated lazily, so the read never looks past
// the last value (or slash) it needs and touches no line beyond it.
struct FreeFormatReader::Impl {
  FreeFormatReader& r;
  size_t pos;
  int64_t line;
  int64_t last_line;  // line of the last thing the read took, 0 for none
  bool need_separator = false;

  // The pending repeat r*v / r*: how many values are left and the value.
  uint64_t repeat_left = 0;
  bool repeat_null = false;
  std::string repeat_raw;   // v as it stands in the file
  std::string repeat_text;  // v as a text (quotes removed)
  int64_t repeat_line = 0;

  // What the next value is.
  enum class Next { kValue, kNull, kSlash, kEnd };

  Impl(FreeFormatReader& reader, size_t start, int64_t start_line)
      : r(reader), pos(start), line(start_line), last_line(0) {}

  bool at_end() { return !r.has(pos); }
  char here() const { return r.at(pos); }

  // A CR counts as part of the line end when an LF follows it.
  bool at_line_end() {
    if (at_end()) return false;
    const char c = here();
    return c == '\n' || (c == '\r' && r.has(pos + 1) && r.at(pos + 1) == '\n');
  }

  bool at_value_end() {
    if (at_end() || at_line_end()) return true;
    const char c = here();
    return is_blank(c) || c == ',' || c == '/';
  }

  // Passes over blanks and line ends.
  void skip_blanks() {
    while (!at_end()) {
      const char c = here();
      if (c == '\n') {
        ++pos;
        ++line;
      } else if (is_blank(c)) {
        ++pos;
      } else {
        break;
      }
    }
  }

  Status error_at(int64_t at_line, const std::string& message) const {
    return Status::Error(printable(r.name_) + ":" + std::to_string(at_line) + ": " + message);
  }

  // The end of the text was met while `what` was still wanted.  The line
  // named is the one where the read took its last value when it took any
  // (a short row is then pointed at), else the line after the last line of
  // the file.
  Status end_of_file(const std::string& what) {
    const int64_t at = last_line != 0 ? last_line : r.line_after_last();
    return r.text_ends(at, "file ends before " + what + " could be read");
  }

  // Reads a quoted text starting at the quote; `value` gets its characters.
  // Returns false, with pos unchanged, when the text never closes.
  bool quoted(std::string* value) {
    const char quote = here();
    size_t p = pos + 1;
    int64_t l = line;
    value->clear();
    while (r.has(p)) {
      const char c = r.at(p);
      if (c == quote) {
        if (r.has(p + 1) && r.at(p + 1) == quote) {
          *value += quote;
          p += 2;
          continue;
        }
        pos = p + 1;
        line = l;
        return true;
      }
      if (c == '\n') {
        ++l;
      } else if (!(c == '\r' && r.has(p + 1) && r.at(p + 1) == '\n')) {
        *value += c;
      }
      ++p;
    }
    return false;
  }

  std::string unquoted() {
    const size_t start = pos;
    while (!at_value_end()) ++pos;
    return r.slice(start, pos);
  }

  // Moves to the next value of the read.  For kValue, the cursor stands on
  // its first character.
  Next next() {
    if (need_separator) {
      need_separator = false;
      skip_blanks();
      if (!at_end() && here() == ',') {
        last_line = line;
        ++pos;
      }
    }
    skip_blanks();
    if (at_end()) return Next::kEnd;
    last_line = line;
    if (here() == '/') {
      ++pos;
      return Next::kSlash;
    }
    if (here() == ',') {
      ++pos;
      return Next::kNull;
    }
    return Next::kValue;
  }

  // A value that starts with digits and '*' is a repeat r*v or r* (r > 0):
  // takes it, sets up repeat_* and sets *taken.  Anything else is left
  // where it stands.
  Status take_repeat(const Item& item, bool* taken) {
    *taken = false;
    size_t p = pos;
    uint64_t count = 0;
    while (r.has(p) && r.at(p) >= '0' && r.at(p) <= '9') {
      const uint64_t digit = static_cast<uint64_t>(r.at(p) - '0');
      count = count > kRepeatCap / 10 ? kRepeatCap : std::min(kRepeatCap, count * 10 + digit);
      ++p;
    }
    if (p == pos || !r.has(p) || r.at(p) != '*' || count == 0) return Status::Ok();
    *taken = true;
    const size_t value_start = p + 1;
    pos = value_start;
    repeat_left = count;
    repeat_line = line;
    if (at_value_end()) {
      repeat_null = true;
      return Status::Ok();
    }
    repeat_null = false;
    if (item.kind == Item::Kind::kText && (here() == '\'' || here() == '"')) {
      const int64_t quote_line = line;
      if (!quoted(&repeat_text)) {
        return error_at(quote_line, "unterminated quoted text for " + item_name(item, 1));
      }
      repeat_raw = r.slice(value_start, pos);
    } else {
      repeat_raw = unquoted();
      repeat_text = repeat_raw;
    }
    return Status::Ok();
  }

  // Stores one value into `item`; raw is how it stands in the file and
  // `as_text` its text (the same unless it was quoted).
  Status store(const Item& item, int64_t number, std::string_view raw, const std::string& as_text,
               int64_t at_line) {
    switch (item.kind) {
      case Item::Kind::kInteger: {
        int32_t v = 0;
        const Conversion c = to_integer(raw, &v);
        if (c == Conversion::kMalformed) {
          return error_at(at_line, "expected an integer for " + item_name(item, number) +
                                       ", found " + shown(raw));
        }
        if (c == Conversion::kTooLarge) {
          return error_at(at_line, item_name(item, number) + " does not fit a 32-bit integer: " +
                                       shown(raw));
        }
        if (item.integer != nullptr) *item.integer = v;
        return Status::Ok();
      }
      case Item::Kind::kReal: {
        real v = 0;
        const Conversion c = to_real(raw, &v);
        if (c == Conversion::kMalformed) {
          return error_at(at_line, "expected a real number for " + item_name(item, number) +
                                       ", found " + shown(raw));
        }
        if (c == Conversion::kTooLarge) {
          return error_at(at_line, item_name(item, number) + " does not fit a binary128 real: " +
                                       shown(raw));
        }
        if (item.number != nullptr) *item.number = v;
        return Status::Ok();
      }
      case Item::Kind::kText:
        if (item.text != nullptr) *item.text = fit(as_text, item.text_length);
        return Status::Ok();
    }
    return Status::Ok();
  }

  // Fills the values first..count of `item` (1-based, first <= count);
  // *stopped is set when a slash ends the read.
  Status fill(const Item& item, int64_t count, bool* stopped) {
    int64_t number = 1;
    while (number <= count) {
      if (repeat_left > 0) {
        // One repeat serves as many values of the item as it has left; since
        // they all go to the same place, one store does for all.
        const uint64_t wanted = static_cast<uint64_t>(count - number + 1);
        const uint64_t used = std::min(wanted, repeat_left);
        if (!repeat_null) {
          MORVANTIDE_RETURN_IF_ERROR(
              store(item, number, repeat_raw, repeat_text, repeat_line));
        }
        repeat_left -= used;
        number += static_cast<int64_t>(used);
        continue;
      }
      switch (next()) {
        case Next::kEnd:
          return end_of_file(item_name(item, number));
        case Next::kSlash:
          *stopped = true;
          // A text that starts with a slash (an unquoted absolute name)
          // ends the read before its first byte.
          if (item.stopped_at_slash != nullptr && item.kind == Item::Kind::kText) {
            *item.stopped_at_slash = true;
          }
          return Status::Ok();
        case Next::kNull:
          ++number;
          continue;
        case Next::kValue:
          break;
      }
      need_separator = true;
      bool repeat = false;
      MORVANTIDE_RETURN_IF_ERROR(take_repeat(item, &repeat));
      if (repeat) continue;
      if (item.kind == Item::Kind::kText && (here() == '\'' || here() == '"')) {
        const size_t start = pos;
        const int64_t quote_line = line;
        std::string value;
        if (!quoted(&value)) {
          return error_at(quote_line, "unterminated quoted text for " + item_name(item, number));
        }
        MORVANTIDE_RETURN_IF_ERROR(store(item, number, r.slice(start, pos), value, quote_line));
      } else {
        const int64_t value_line = line;
        const std::string raw = unquoted();
        if (item.stopped_at_slash != nullptr && item.kind == Item::Kind::kText) {
          *item.stopped_at_slash = !at_end() && here() == '/';
        }
        MORVANTIDE_RETURN_IF_ERROR(store(item, number, raw, raw, value_line));
      }
      ++number;
    }
    return Status::Ok();
  }
};

FreeFormatReader::FreeFormatReader(std::string name, std::string text)
    : name_(std::move(name)), buffer_(std::move(text)), ended_(true) {
  saw_lf_ = buffer_.find('\n') != std::string::npos;
  saw_cr_ = buffer_.find('\r') != std::string::npos;
}

FreeFormatReader::FreeFormatReader(std::string name, std::unique_ptr<InputFile> file)
    : name_(std::move(name)), file_(std::move(file)) {}

bool FreeFormatReader::read_up_to(size_t pos) {
  while (pos >= base_ + buffer_.size()) {
    if (ended_) return false;
    const size_t before = buffer_.size();
    bool end = false;
    Status status = file_->read_block(&buffer_, &end);
    if (!status.ok()) {
      read_error_ = status;
      end = true;
    }
    ended_ = end;
    const std::string_view added = std::string_view(buffer_).substr(before);
    saw_lf_ = saw_lf_ || added.find('\n') != std::string_view::npos;
    saw_cr_ = saw_cr_ || added.find('\r') != std::string_view::npos;
  }
  return true;
}

size_t FreeFormatReader::skip_to_lf(size_t from) {
  for (;;) {
    if (from < base_ + buffer_.size()) {
      const size_t lf = buffer_.find('\n', from - base_);
      if (lf != std::string::npos) return base_ + lf;
      from = base_ + buffer_.size();
    }
    // Nothing here is needed again: the next read starts after the LF.
    base_ += buffer_.size();
    buffer_.clear();
    if (!has(from)) return std::string::npos;
  }
}

// Only called once the end of the text has been met: the text from
// next_line_ on is all in the buffer.
int64_t FreeFormatReader::line_after_last() {
  const std::string_view rest = std::string_view(buffer_).substr(next_line_ - base_);
  int64_t lines = next_line_number_ - 1 + std::count(rest.begin(), rest.end(), '\n');
  if (!rest.empty() && rest.back() != '\n') ++lines;
  return lines + 1;
}

Status FreeFormatReader::text_ends(int64_t line, const std::string& what) {
  if (!read_error_.ok()) return read_error_;
  if (saw_cr_ && !saw_lf_) {
    return Status::Error(printable(name_) +
                         ": lines end with CR only; save it with LF or CR LF line ends");
  }
  return Status::Error(printable(name_) + ":" + std::to_string(line) + ": " + what);
}

Status FreeFormatReader::read(const std::vector<Item>& items) {
  // The lines before the one this read starts on are not needed again.
  if (next_line_ - base_ >= InputFile::kBlockSize) {
    buffer_.erase(0, next_line_ - base_);
    base_ = next_line_;
  }
  const bool takes_values = std::any_of(items.begin(), items.end(),
                                        [](const Item& item) { return item.count >= 1; });
  if (!takes_values) {
    // Passes over one line, as a read with nothing to take does.
    if (!has(next_line_)) {
      return text_ends(line_after_last(), "file ends before the line to pass over could be read");
    }
    const size_t lf = skip_to_lf(next_line_);
    next_line_ = lf == std::string::npos ? base_ + buffer_.size() : lf + 1;
    ++next_line_number_;
    return read_error_;
  }

  Impl cursor(*this, next_line_, next_line_number_);
  bool stopped = false;
  for (const Item& item : items) {
    if (item.count < 1) continue;
    Status status = cursor.fill(item, item.count, &stopped);
    if (!read_error_.ok()) return read_error_;
    MORVANTIDE_RETURN_IF_ERROR(status);
    if (stopped) break;
  }
  // The rest of the last line touched is skipped.
  const size_t lf = skip_to_lf(cursor.pos);
  next_line_ = lf == std::string::npos ? base_ + buffer_.size() : lf + 1;
  next_line_number_ = cursor.line + 1;
  return read_error_;
}

}  // namespace morvantide
