#include "input/freeformat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/quad.h"
#include "common/text.h"

namespace morvantide {
namespace {

// Every case below reads into these fields, in the shape of the program's
// own files.  Each starts with a mark so that "left unchanged" shows.
struct Fields {
  int32_t i1 = -7, i2 = -7, i3 = -7;
  real r1 = -7, r2 = -7, r3 = -7;
  std::string t1 = "old", t2 = "old";
};

// One read, written as a pattern letter per item: i/j/k integers i1..i3,
// r/s/u reals r1..r3, t/w texts t1, t2 (length 12), "-" a read with no items.
std::vector<Item> items_of(const std::string& pattern, Fields& f) {
  std::vector<Item> items;
  for (char c : pattern) {
    switch (c) {
      case 'i': items.push_back(Item::Integer("i1", &f.i1)); break;
      case 'j': items.push_back(Item::Integer("i2", &f.i2)); break;
      case 'k': items.push_back(Item::Integer("i3", &f.i3)); break;
      case 'r': items.push_back(Item::Real("r1", &f.r1)); break;
      case 's': items.push_back(Item::Real("r2", &f.r2)); break;
      case 'u': items.push_back(Item::Real("r3", &f.r3)); break;
      case 't': items.push_back(Item::Text("t1", &f.t1, 12)); break;
      case 'w': items.push_back(Item::Text("t2", &f.t2, 12)); break;
    }
  }
  return items;
}

// Runs the reads named by `reads` ("i|t|rs": three reads) over `text`.
Status run(const std::string& text, const std::string& reads, Fields& f) {
  FreeFormatReader reader("f.txt", text);
  size_t from = 0;
  while (true) {
    const size_t bar = reads.find('|', from);
    const std::string one = reads.substr(from, bar == std::string::npos ? bar : bar - from);
    MORVANTIDE_RETURN_IF_ERROR(reader.read(one == "-" ? std::vector<Item>() : items_of(one, f)));
    if (bar == std::string::npos) return Status::Ok();
    from = bar + 1;
  }
}

std::string pad(const std::string& s) { return fit(s, 12); }

struct Case {
  const char* label;
  std::string text;
  const char* reads;
  Fields want;
};

Fields F(int32_t i1, int32_t i2, int32_t i3, real r1, real r2, real r3, std::string t1,
         std::string t2) {
  Fields f;
  f.i1 = i1, f.i2 = i2, f.i3 = i3, f.r1 = r1, f.r2 = r2, f.r3 = r3;
  f.t1 = t1 == "old" ? t1 : pad(t1);
  f.t2 = t2 == "old" ? t2 : pad(t2);
  return f;
}
constexpr int32_t U = -7;  // unchanged integer
constexpr real V = -7;     // unchanged real
const char* const O = "old";

void check_cases(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Fields got;
    Status s = run(c.text, c.reads, got);
    ASSERT_TRUE(s.ok()) << s.message();
    EXPECT_EQ(got.i1, c.want.i1);
    EXPECT_EQ(got.i2, c.want.i2);
    EXPECT_EQ(got.i3, c.want.i3);
    EXPECT_TRUE(got.r1 == c.want.r1) << q_to_string(got.r1);
    EXPECT_TRUE(got.r2 == c.want.r2) << q_to_string(got.r2);
    EXPECT_TRUE(got.r3 == c.want.r3) << q_to_string(got.r3);
    EXPECT_EQ(got.t1, c.want.t1);
    EXPECT_EQ(got.t2, c.want.t2);
  }
}

TEST(FreeFormat, LinesAndComments) {
  check_cases({
      {"comment after values", "2      ! pL\r\n3 ! dp\r\n", "i|j", F(2, 3, U, V, V, V, O, O)},
      {"comma then comment", "listagem.lst   , arquivo de saida\r\n", "t",
       F(U, U, U, V, V, V, "listagem.lst", O)},
      {"comment on its own line is the next value", "5\r\nnumero de malhas\r\n7\r\n", "i|t|j",
       F(5, 7, U, V, V, V, "numero", O)},
      {"rest of the line skipped, also numbers", "1 2 3\n4\n", "i|j", F(1, 4, U, V, V, V, O, O)},
      {"empty lines before a value", "\r\n\r\n   \r\n\t\r\n  4\r\n5\r\n", "i|j",
       F(4, 5, U, V, V, V, O, O)},
      {"read continues over lines", "1\n\n  2\n3 9\n4\n", "ijk|i", F(4, 2, 3, V, V, V, O, O)},
      {"row split over three lines with an empty one",
       "5.925925925925925925925926E-02\r\n\r\n   1.001234640077791824858279    "
       "-1.997969263754675575445953   malha refinada\r\n",
       "rsu",
       F(U, U, U, 5.925925925925925925925926E-02Q, 1.001234640077791824858279Q,
         -1.997969263754675575445953Q, O, O)},
      {"LF only", "1\n2\n", "i|j", F(1, 2, U, V, V, V, O, O)},
      {"last line without LF", "1\r\n2", "i|j", F(1, 2, U, V, V, V, O, O)},
      {"last text line without LF", "1\nTitulo", "i|t", F(1, U, U, V, V, V, "Titulo", O)},
      {"final CR without LF ends the line", "1\r\nTitulo\r", "i|t",
       F(1, U, U, V, V, V, "Titulo", O)},
      // A CR not followed by LF is a blank (CR CR LF line ends).
      {"lone CR inside a line is a blank", "a\rb c\r\n", "tw", F(U, U, U, V, V, V, "a", "b")},
      {"CR CR LF after a real", "1.5\r\r\n2\r\r\n", "r|s", F(U, U, U, 1.5Q, 2, V, O, O)},
      {"CR CR LF after a name and a title", "lista.txt\r\r\n'Caso 1'\r\r\n", "t|w",
       F(U, U, U, V, V, V, "lista.txt", "Caso 1")},
      {"CR before a comment", "7\r! nm\r\n8\r\n", "i|j", F(7, 8, U, V, V, V, O, O)},
      {"tabs are blanks", "\t1\t2,\t3\t\r\n", "ijk", F(1, 2, 3, V, V, V, O, O)},
      {"commas with and without blanks", "1,2 , 3\n", "ijk", F(1, 2, 3, V, V, V, O, O)},
      {"comma at a line end", "1,\n2\n", "ij", F(1, 2, U, V, V, V, O, O)},
      {"comma at a line start", "1\n,2\n", "ij", F(1, 2, U, V, V, V, O, O)},
      {"header passed over", "h T1 T2\r\n0.5 1 2\r\n", "-|rs",
       F(U, U, U, 0.5Q, 1, V, O, O)},
      {"empty header passed over", "\r\n0.5 1\r\n", "-|rs", F(U, U, U, 0.5Q, 1, V, O, O)},
      {"header of numbers passed over", "1 2 3\n4\n", "-|i", F(4, U, U, V, V, V, O, O)},
      {"no-item reads pass one line each", "1\n\n\n4\n", "-|-|-|i",
       F(4, U, U, V, V, V, O, O)},
      {"header as last line without LF", "header", "-", F(U, U, U, V, V, V, O, O)},
      {"layout 0 file: nv pairs", "\r\n1.3D-01    ! h\r\n\r\n   1   1.5  ! temperatura\r\n"
       "2 2.5\r\n", "r|is|is", F(2, U, U, 0.13Q, 2.5Q, V, O, O)},
  });
}

TEST(FreeFormat, Numbers) {
  check_cases({
      {"signed integers", "+12 -3 0\n", "ijk", F(12, -3, 0, V, V, V, O, O)},
      {"int32 limits", "2147483647 -2147483648 -0000000000000000000001\n", "ijk",
       F(INT32_MAX, INT32_MIN, -1, V, V, V, O, O)},
      {"D and E exponents, both cases", "2.0D0 1.0d+0 5.0D-09\n", "rsu",
       F(U, U, U, 2, 1, 5.0e-9Q, O, O)},
      {"e and E", "1e3 -2.5E-2 +.5e+1\n", "rsu", F(U, U, U, 1000, -0.025Q, 5, O, O)},
      {"short forms", ".5 5. 1.e3\n", "rsu", F(U, U, U, 0.5Q, 5, 1000, O, O)},
      {"integer string is a real", "7 -3\n", "rs", F(U, U, U, 7, -3, V, O, O)},
      // 0.1 and 1/3 are not exact in binary128: the values must be the
      // correctly rounded ones, never a double's.
      {"binary128 exactness", "0.1 0.3333333333333333333333333333333333333\n", "rs",
       F(U, U, U, 0.1Q, 0.3333333333333333333333333333333333333Q, V, O, O)},
      {"tiny reals underflow quietly", "1e-5000 -1e-4940\n", "rs",
       F(U, U, U, 0, -1e-4940Q, V, O, O)},
      {"largest binary128", "1.18973149535723176508575932662800702e4932\n", "r",
       F(U, U, U, 1.18973149535723176508575932662800702e4932Q, V, V, O, O)},
      {"value followed by slash", "1.5/ 2\n", "rs", F(U, U, U, 1.5Q, V, V, O, O)},
  });
}

TEST(FreeFormat, Texts) {
  check_cases({
      {"unquoted title keeps first word", "Test case 3\n", "t", F(U, U, U, V, V, V, "Test", O)},
      {"quoted title kept whole", "'Test case 3'\n", "t", F(U, U, U, V, V, V, "Test case 3", O)},
      {"double quotes", "\"a, b / c\" x\n", "t", F(U, U, U, V, V, V, "a, b / c", O)},
      {"doubled apostrophe", "'d''agua \"x\"'\n", "t", F(U, U, U, V, V, V, "d'agua \"x\"", O)},
      {"doubled double quote", "\"say \"\"hi\"\" '\"\n", "t",
       F(U, U, U, V, V, V, "say \"hi\" '", O)},
      {"empty quoted text", "''\n", "t", F(U, U, U, V, V, V, "", O)},
      {"quoted over a CR LF line end", "'da/ma\r\nlha 1' x\r\n7\r\n", "t|i",
       F(7, U, U, V, V, V, "da/malha 1", O)},
      {"quoted over an LF line end", "'ab\ncd'\n7\n", "t|i", F(7, U, U, V, V, V, "abcd", O)},
      {"slash in an unquoted name ends the read", "dados/malha.dat 5\n", "ti",
       F(U, U, U, V, V, V, "dados", O)},
      {"unquoted keeps apostrophe inside", "d'agua x\n", "t", F(U, U, U, V, V, V, "d'agua", O)},
      {"long text cut to its field", "abcdefghijklmnop\n", "t",
       F(U, U, U, V, V, V, "abcdefghijkl", O)},
      {"text and numbers on one line", "a.txt 3 'b c'\n", "tiw",
       F(3, U, U, V, V, V, "a.txt", "b c")},
      {"non-ASCII bytes kept", "t\xedtulo\n", "t", F(U, U, U, V, V, V, "t\xedtulo", O)},
  });
}

TEST(FreeFormat, NullsRepeatsAndSlashes) {
  check_cases({
      {"two commas keep the value", "1,,3\n", "ijk", F(1, U, 3, V, V, V, O, O)},
      {"commas with blanks", "1 , , 3\n", "ijk", F(1, U, 3, V, V, V, O, O)},
      {"leading comma is a null first value", " ,2,3\n", "ijk", F(U, 2, 3, V, V, V, O, O)},
      {"null over a line end", "1,\n,3\n", "ijk", F(1, U, 3, V, V, V, O, O)},
      {"null text", ",b\n", "tw", F(U, U, U, V, V, V, O, "b")},
      {"trailing null", "1,2,,\n", "ijk", F(1, 2, U, V, V, V, O, O)},
      {"r*v", "3*4\n", "ijk", F(4, 4, 4, V, V, V, O, O)},
      {"r*v across kinds", "2*5 6\n", "irs", F(5, U, U, 5, 6, V, O, O)},
      {"r*v longer than the read", "5*2.5 x\n9\n", "rs|i", F(9, U, U, 2.5Q, 2.5Q, V, O, O)},
      {"r* nulls", "2* 3\n", "ijk", F(U, U, 3, V, V, V, O, O)},
      {"r* then comma", "2*,3\n", "ijk", F(U, U, 3, V, V, V, O, O)},
      {"r* at a line end", "1 2*\n5\n", "ijk|i", F(5, U, U, V, V, V, O, O)},
      {"repeat of a quoted text", "2*'a b'\n", "tw", F(U, U, U, V, V, V, "a b", "a b")},
      {"repeat of an unquoted text", "2*ab\n", "tw", F(U, U, U, V, V, V, "ab", "ab")},
      {"zero repeat is plain text", "0*5\n", "t", F(U, U, U, V, V, V, "0*5", O)},
      {"slash keeps the rest", "1 / 2 3\n", "ijk", F(1, U, U, V, V, V, O, O)},
      {"slash first", "/ 1\n2\n", "i|j", F(U, 2, U, V, V, V, O, O)},
      {"slash after a comma", "1,/\n", "ij", F(1, U, U, V, V, V, O, O)},
      {"slash on a later line", "1\n/\n4\n", "ij|k", F(1, U, 4, V, V, V, O, O)},
      {"slash ends a text read", "/\n", "t", F(U, U, U, V, V, V, O, O)},
  });
}

TEST(FreeFormat, RepeatedRealItem) {
  // h and then nv values of which the last stays, as a layout 1 row is read.
  real h = 0, th = 0;
  FreeFormatReader reader("r.txt", "hdr\r\n0.5 1 2 3 9\r\n0.25 4\r\n 5 6\r\n0.125 3*7.5\r\n");
  ASSERT_TRUE(reader.read({}).ok());
  for (real want_h : {0.5Q, 0.25Q, 0.125Q}) {
    Status s = reader.read({Item::Real("h", &h), Item::Reals("value {}", &th, 3)});
    ASSERT_TRUE(s.ok()) << s.message();
    EXPECT_TRUE(h == want_h);
    EXPECT_TRUE(th == (want_h == 0.5Q ? 3 : want_h == 0.25Q ? 6 : 7.5Q)) << q_to_string(th);
  }

  // A huge count stops at a slash; a huge repeat serves it at once.
  real x = 0;
  FreeFormatReader slash("s.txt", "1 2 / 3\n2147483647*4\n");
  ASSERT_TRUE(slash.read({Item::Reals("x{}", &x, INT32_MAX)}).ok());
  EXPECT_TRUE(x == 2);
  ASSERT_TRUE(slash.read({Item::Reals("x{}", &x, INT32_MAX)}).ok());
  EXPECT_TRUE(x == 4);

  // Count 0 takes nothing and passes over one line.
  FreeFormatReader none("n.txt", "1\n2\n");
  ASSERT_TRUE(none.read({Item::Reals("x{}", &x, 0)}).ok());
  ASSERT_TRUE(none.read({Item::Real("x", &x)}).ok());
  EXPECT_TRUE(x == 2);
}

TEST(FreeFormat, ItemsWithoutDestinationAreReadPast) {
  real th = 0;
  FreeFormatReader reader("d.txt", "8 2.5\n");
  ASSERT_TRUE(reader.read({Item::Integer("number", nullptr), Item::Real("value", &th)}).ok());
  EXPECT_TRUE(th == 2.5Q);
}

struct Rejected {
  std::string text;
  const char* reads;
  std::string message;
};

TEST(FreeFormat, Rejected) {
  const std::string long_value(60, '7');
  const std::vector<Rejected> cases = {
      {"1\n2\n3\n4\n5\n1.5\n", "-|-|-|-|-|i", "f.txt:6: expected an integer for i1, found \"1.5\""},
      {"1e3\n", "i", "f.txt:1: expected an integer for i1, found \"1e3\""},
      {"+\n", "i", "f.txt:1: expected an integer for i1, found \"+\""},
      {"12a\n", "i", "f.txt:1: expected an integer for i1, found \"12a\""},
      {"'5'\n", "i", "f.txt:1: expected an integer for i1, found \"'5'\""},
      {"1 2*1.5\n", "ijk", "f.txt:1: expected an integer for i2, found \"1.5\""},
      {"2147483648\n", "i", "f.txt:1: i1 does not fit a 32-bit integer: \"2147483648\""},
      {"-2147483649\n", "i", "f.txt:1: i1 does not fit a 32-bit integer: \"-2147483649\""},
      {"99999999999999999999999\n", "i",
       "f.txt:1: i1 does not fit a 32-bit integer: \"99999999999999999999999\""},
      {"99999999999999999999999x\n", "i",
       "f.txt:1: expected an integer for i1, found \"99999999999999999999999x\""},
      {"dois\n", "r", "f.txt:1: expected a real number for r1, found \"dois\""},
      {"NaN\n", "r", "f.txt:1: expected a real number for r1, found \"NaN\""},
      {"Inf\n", "r", "f.txt:1: expected a real number for r1, found \"Inf\""},
      {"Infinity\n", "r", "f.txt:1: expected a real number for r1, found \"Infinity\""},
      {"1.0Q3\n", "r", "f.txt:1: expected a real number for r1, found \"1.0Q3\""},
      {"1.0+5\n", "r", "f.txt:1: expected a real number for r1, found \"1.0+5\""},
      {"1.5x\n", "r", "f.txt:1: expected a real number for r1, found \"1.5x\""},
      {".\n", "r", "f.txt:1: expected a real number for r1, found \".\""},
      {"-.e1\n", "r", "f.txt:1: expected a real number for r1, found \"-.e1\""},
      {"1e\n", "r", "f.txt:1: expected a real number for r1, found \"1e\""},
      {"1e+\n", "r", "f.txt:1: expected a real number for r1, found \"1e+\""},
      {"0x1p3\n", "r", "f.txt:1: expected a real number for r1, found \"0x1p3\""},
      {"1;5\n", "r", "f.txt:1: expected a real number for r1, found \"1;5\""},
      {"1e5000\n", "r", "f.txt:1: r1 does not fit a binary128 real: \"1e5000\""},
      {"-1.2D4933\n", "r", "f.txt:1: r1 does not fit a binary128 real: \"-1.2D4933\""},
      {"x\n\n 1 a\xe9\x01\r\n", "-|rs",
       "f.txt:3: expected a real number for r2, found \"a\\xe9\\x01\""},
      {"1.5\r\r\nx\r\r\n", "r|s", "f.txt:2: expected a real number for r2, found \"x\""},
      // CR-only line ends: one long line, so the file seems to end early.
      {"1\r2\r3\r", "i|j", "f.txt: lines end with CR only; save it with LF or CR LF line ends"},
      {"hdr\r0.5 1\r", "-|rs", "f.txt: lines end with CR only; save it with LF or CR LF line ends"},
      {"1\r", "-|-", "f.txt: lines end with CR only; save it with LF or CR LF line ends"},
      {long_value + "x\n", "r",
       "f.txt:1: expected a real number for r1, found \"" + long_value.substr(0, 40) + "...\""},
      // End of file: the line of the read's last value, else the line after
      // the last line.
      {"", "i", "f.txt:1: file ends before i1 could be read"},
      {"1\n", "i|j", "f.txt:2: file ends before i2 could be read"},
      {"1", "i|j", "f.txt:2: file ends before i2 could be read"},
      {"1\n\n  \n", "i|j", "f.txt:4: file ends before i2 could be read"},
      {"1 2\n\n", "ijk", "f.txt:1: file ends before i3 could be read"},
      {"1,\n\n", "ijk", "f.txt:1: file ends before i2 could be read"},
      {"", "-", "f.txt:1: file ends before the line to pass over could be read"},
      {"h\r\n", "-|-", "f.txt:2: file ends before the line to pass over could be read"},
      {"h", "-|-", "f.txt:2: file ends before the line to pass over could be read"},
      {"1\n'abc\n\n", "i|t", "f.txt:2: unterminated quoted text for t1"},
      {"'it''s", "t", "f.txt:1: unterminated quoted text for t1"},
      {"x 2*'a\n", "tw", "f.txt:1: unterminated quoted text for t2"},
  };
  for (const Rejected& c : cases) {
    SCOPED_TRACE(c.text);
    Fields f;
    Status s = run(c.text, c.reads, f);
    ASSERT_FALSE(s.ok());
    EXPECT_EQ(s.message(), c.message);
  }
}

// An endless file of rows "0.5 1 2": counts the bytes handed out.
class EndlessRows : public InputFile {
 public:
  size_t given = 0;
  Status read_block(std::string* buffer, bool* end) override {
    std::string block;
    while (block.size() < kBlockSize) block += "0.5 1 2\n";
    buffer->append(block);
    given += block.size();
    *end = false;
    return Status::Ok();
  }
};

// A file is read only as far as the reads need, and what was read before
// the current line is let go: a huge file whose values stand at its start
// costs what its first lines cost.
TEST(FreeFormat, ReadsOnlyAsFarAsNeeded) {
  struct Case {
    const char* what;
    int reads;          // rows read after the header
    bool long_row;      // one read of a row of a million values
    size_t most_bytes;  // the most the reader may have taken from the file
    real last;          // the last value read
  } cases[] = {
      {"header and three rows", 3, false, InputFile::kBlockSize, 2},
      {"a million rows", 1000000, false, 10 * size_t{1000000}, 2},
      // Value 1000000 is the first of row 333334.
      {"a row of a million values", 0, true, 4 * size_t{1000000}, 0.5Q},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto file = std::make_unique<EndlessRows>();
    EndlessRows* counter = file.get();
    FreeFormatReader reader("big.txt", std::move(file));
    ASSERT_TRUE(reader.read({}).ok());
    real h = 0, v = 0;
    for (int m = 1; m <= c.reads; ++m) {
      ASSERT_TRUE(reader.read({Item::Real("h", &h), Item::Reals("v{}", &v, 2)}).ok());
    }
    if (c.long_row) {
      ASSERT_TRUE(reader.read({Item::Reals("v{}", &v, 1000000)}).ok());
    }
    EXPECT_TRUE(v == c.last) << q_to_string(v);
    EXPECT_LE(counter->given, c.most_bytes);
  }
}

// A file that cannot be read further reports that, not its end.
TEST(FreeFormat, ReadErrorIsReported) {
  class Failing : public InputFile {
   public:
    Status read_block(std::string* buffer, bool*) override {
      if (calls_++ == 0) {
        buffer->append("1\n");
        return Status::Ok();
      }
      return Status::Error("f.txt: cannot read (Input/output error)");
    }

   private:
    int calls_ = 0;
  };
  FreeFormatReader reader("f.txt", std::make_unique<Failing>());
  int32_t i = 0, j = 0;
  EXPECT_TRUE(reader.read({Item::Integer("i", &i)}).ok());
  EXPECT_EQ(reader.read({Item::Integer("j", &j)}).message(), "f.txt: cannot read (Input/output error)");
}

TEST(FreeFormat, NamesInMessagesShowControlBytes) {
  int32_t i = 0;
  FreeFormatReader reader("r\x1b[2J\r.txt", "x\n");
  EXPECT_EQ(reader.read({Item::Integer("i", &i)}).message(),
            "r\\x1b[2J\\x0d.txt:1: expected an integer for i, found \"x\"");
}

TEST(FreeFormat, RejectedRepeatedItemsNameTheirValue) {
  real x = 0;
  FreeFormatReader reader("params.txt", "0.5 1 2\n");
  Status s = reader.read({Item::Real("h of grid 5", &x), Item::Reals("value {} of grid 5", &x, 3)});
  EXPECT_EQ(s.message(), "params.txt:1: file ends before value 3 of grid 5 could be read");
  FreeFormatReader bad("params.txt", "\n1 2 x 4\n");
  s = bad.read({Item::Reals("value {}", &x, 4)});
  EXPECT_EQ(s.message(), "params.txt:2: expected a real number for value 3, found \"x\"");
}

}  // namespace
}  // namespace morvantide
