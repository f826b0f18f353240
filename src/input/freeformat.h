// List-directed ("free format") reading of the control file, the parameter
// file and the result files.
//
// The reader works on a text with a name (the file's name, used in messages),
// never on a path: a whole text, or an open file that it reads a block at a
// time only as far as its reads need (the values of a huge file's first
// lines are read without the rest of it).  Each read() begins at the start of a fresh line (the line
// after the last line the previous read touched) and takes its items in order;
// the rest of the last line it touched is skipped.  A read with no items
// passes over one line.
//
// Rules, as users of such files expect:
// - separators: blanks (a tab counts as a blank), one comma with optional
//   blanks around it, the end of a line; a read that still needs a value goes
//   on to the next line, so empty lines before a value are passed over;
// - a text is quoted with apostrophes or double quotes (the quote doubled
//   inside stands for one; blanks, commas and slashes are then part of it and
//   it may run over a line end), or it is the run of characters up to the
//   first blank, comma, slash or line end;
// - an integer is an optionally signed string of decimal digits; a real is an
//   optionally signed decimal number with optional fraction and optional
//   exponent introduced by E or D (either case); an integer string is a real.
//   "NaN", "Inf", a Q exponent or an exponent without its letter are not;
// - a slash where a value is expected ends the read; that item and the rest
//   keep what they held;
// - two commas with no value between them leave that item unchanged;
// - r*v stands for r copies of v, r* for r null values.
//
// Lines end at LF; a CR just before the LF belongs to the line end, and any
// other CR (CR CR LF line ends, as a Windows program writing CR LF through
// a text-mode stream makes them) counts as a blank, as a tab does.  A last
// line without LF is a line.  A text with CR bytes and no LF at all ends
// with "NAME: lines end with CR only; save it with LF or CR LF line ends"
// where it would end with "file ends".
//
// Errors name the file, the line and the item:
//   params.txt:6: expected an integer for itmax, found "1.5"
//   params.txt:6: itmax does not fit a 32-bit integer: "9999999999"
//   params.txt:7: tol does not fit a binary128 real: "1e5000"
//   params.txt:12: file ends before h of grid 5 could be read
//   params.txt:16: unterminated quoted text for titulo
//   params.txt: lines end with CR only; save it with LF or CR LF line ends
// The line is where the bad value (or the opening quote) stands.  When the
// file ends, it is the line of the read's last value if the read took any
// (the short row), else the line after the last line of the file.  The value
// is shown as it stands, cut after 40 bytes with "...", bytes outside
// printable ASCII as \xHH.  Values taken before an error are kept.
#ifndef MORVANTIDE_INPUT_FREEFORMAT_H_
#define MORVANTIDE_INPUT_FREEFORMAT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/files.h"
#include "common/quad.h"
#include "common/status.h"

namespace morvantide {

// One item of a read: where the value goes and what it is called in
// messages ("itmax", "h of grid 3").
struct Item {
  enum class Kind { kInteger, kReal, kText };
  Kind kind;
  std::string what;
  int32_t* integer = nullptr;
  real* number = nullptr;
  std::string* text = nullptr;  // stored fitted to text_length characters
  size_t text_length = 0;
  // Set, when given, if an unquoted text stopped at a slash standing right
  // after it ("casos/r1.txt" read as "casos").
  bool* stopped_at_slash = nullptr;
  // A real item may stand for `count` values in a row, each stored into the
  // same place (so the last one read stays).  In messages "{}" in `what` is
  // replaced by the value's number, `first` to first + count - 1.
  int32_t count = 1;
  int32_t first = 1;

  static Item Integer(std::string what, int32_t* dst) {
    Item i{Kind::kInteger, std::move(what)};
    i.integer = dst;
    return i;
  }
  static Item Real(std::string what, real* dst) {
    Item i{Kind::kReal, std::move(what)};
    i.number = dst;
    return i;
  }
  static Item Reals(std::string what, real* dst, int32_t count, int32_t first = 1) {
    Item i = Real(std::move(what), dst);
    i.count = count;
    i.first = first;
    return i;
  }
  static Item Text(std::string what, std::string* dst, size_t length) {
    Item i{Kind::kText, std::move(what)};
    i.text = dst;
    i.text_length = length;
    return i;
  }
};

// One real as the reader takes it (the rules above: sign, digits, fraction,
// an exponent with E or D), correctly rounded to binary128, the whole text
// and nothing else.  Also for readers of other formats, so that a number
// reads to the same bits wherever it stands.
//   "1.0E-12" -> kOk, 1.0e-12   "2.5d-3" -> kOk, 0.0025   "1e5000" -> kTooLarge
//   "1,5", "NaN", "inf", "" -> kMalformed
enum class RealText { kOk, kMalformed, kTooLarge };
RealText parse_real(std::string_view text, real* out);

class FreeFormatReader {
 public:
  FreeFormatReader(std::string name, std::string text);
  FreeFormatReader(std::string name, std::unique_ptr<InputFile> file);

  // Items with a count below 1 take nothing; a read with none to take
  // passes over one line (an error at the end of the file).  An item with
  // no destination is read and dropped.
  Status read(const std::vector<Item>& items);

  const std::string& name() const { return name_; }

  // The number (1-based) of the last line the previous read touched: where
  // a value that was read but then found out of range stands.
  int last_line() const { return next_line_number_ > 1 ? next_line_number_ - 1 : 1; }

 private:
  struct Impl;

  // True when the text has a byte at offset `pos`, reading more of the file
  // as needed.  Asked for every byte: the read is out of line.
  bool has(size_t pos) { return pos < base_ + buffer_.size() || read_up_to(pos); }
  bool read_up_to(size_t pos);
  char at(size_t pos) const { return buffer_[pos - base_]; }
  std::string slice(size_t from, size_t to) const { return buffer_.substr(from - base_, to - from); }
  // The offset of the next LF from `from` on, npos when there is none; the
  // bytes passed over are let go.
  size_t skip_to_lf(size_t from);
  int64_t line_after_last();
  Status text_ends(int64_t line, const std::string& what);

  std::string name_;
  std::unique_ptr<InputFile> file_;  // null for a whole text
  std::string buffer_;               // the text from offset base_ on
  size_t base_ = 0;
  bool ended_ = false;               // buffer_ reaches the end of the text
  Status read_error_;
  bool saw_lf_ = false, saw_cr_ = false;
  size_t next_line_ = 0;  // byte offset of the line the next read starts on
  int64_t next_line_number_ = 1;
};

}  // namespace morvantide

#endif  // MORVANTIDE_INPUT_FREEFORMAT_H_
