// The texts of the reports: UTF-8 from the input's bytes, JSON strings and
// numbers, CSV fields.
#include <gtest/gtest.h>

#include <string>

#include "report/csv.h"
#include "report/json.h"
#include "report/utf8.h"

namespace morvantide {
namespace {

TEST(Utf8, ValidOrWindows1252) {
  struct Case {
    const char* name;
    std::string in;
    std::string out;
  } cases[] = {
      {"Ascii", "Canal 1", "Canal 1"},
      {"Latin1Letter", "t\xedtulo", "t\xc3\xadtulo"},
      {"AlreadyUtf8", "t\xc3\xadtulo", "t\xc3\xadtulo"},
      {"Euro", "\x80", "\xe2\x82\xac"},
      {"Undefined81", "\x81", "\xef\xbf\xbd"},
      {"Cedilla", "varia\xe7\xe3o", "varia\xc3\xa7\xc3\xa3o"},
      {"FourBytes", "\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
      // Not UTF-8: cut short, overlong, a surrogate; read as Windows-1252.
      {"CutShort", "a\xc3", "a\xc3\x83"},
      {"Overlong", "\xc0\xaf", "\xc3\x80\xc2\xaf"},
      {"Surrogate", "\xed\xa0\x80", "\xc3\xad\xc2\xa0\xe2\x82\xac"},
      {"Empty", "", ""},
      // UTF-8 cut inside its last character (a title at 100 bytes): cut at
      // the character's start; without another character beyond ASCII the
      // text stays Windows-1252.
      {"CutInTwoByteChar", "a\xc3\xa7\xc3", "a\xc3\xa7"},
      {"CutInThreeByteChar", "\xe2\x82\xac \xe2\x82", "\xe2\x82\xac "},
      {"CutInFourByteChar", "\xc3\xa9\xf0\x9f\x98", "\xc3\xa9"},
      {"CutAfterE0", "\xc3\xa9\xe0", "\xc3\xa9"},
      {"AsciiThenCut", "IRM\xc3", "IRM\xc3\x83"},
      {"NotALeadAtEnd", "\xc3\xa9\x80", "\xc3\x83\xc2\xa9\xe2\x82\xac"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(to_utf8(c.in), c.out) << c.name;
    EXPECT_TRUE(is_utf8(to_utf8(c.in))) << c.name;
  }
}

// The listing's way: UTF-8 to Windows-1252, '?' for what it lacks; a text
// that is not UTF-8 is Windows-1252 already and kept.
TEST(Utf8, ToWindows1252) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"Canal 1", "Canal 1"},
      {"\xc3\xa9tude", "\xe9tude"},
      {"\xe2\x82\xac \xc5\x92", "\x80 \x8c"},            // the euro sign, OE
      {"\xce\xa9 \xf0\x9f\x98\x80 \xc2\x81", "? ? ?"},    // beyond the code page, C1
      {"\xc3\xbf\xc2\xa0", "\xff\xa0"},                    // the ends of Latin-1
      {"\xe9tude", "\xe9tude"},                              // not UTF-8
      {"a\xc3", "a\xc3"},                                    // cut short: not UTF-8
  };
  for (const Case& c : cases) {
    EXPECT_EQ(to_windows_1252(c.in), c.out) << c.in;
    if (c.out.find('?') == std::string::npos) {
      EXPECT_EQ(to_utf8(c.out), to_utf8(c.in)) << c.in;  // and back
    }
  }
}

TEST(JsonString, Escapes) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain", "\"plain\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"a\\b", "\"a\\\\b\""},
      {"tab\there", "\"tab\\there\""},
      {"line\r\nend", "\"line\\r\\nend\""},
      {std::string("nul\0x", 5), "\"nul\\u0000x\""},
      {"\x1f\x7f", "\"\\u001f\\u007f\""},
      {"t\xc3\xadtulo", "\"t\xc3\xadtulo\""},
  };
  for (const Case& c : cases) EXPECT_EQ(json_string(c.in), c.out) << c.in;
}

TEST(JsonNumber, WordsForNonFinite) {
  EXPECT_EQ(json_number(0.25Q), "0.25");
  EXPECT_EQ(json_number(HUGE_VALQ), "\"inf\"");
  EXPECT_EQ(json_number(-HUGE_VALQ), "\"-inf\"");
  EXPECT_EQ(json_number(nanq("")), "\"nan\"");
}

TEST(CsvField, Rfc4180) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain", "plain"},
      {"", ""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\r\nlines", "\"two\r\nlines\""},
      {"lf\nonly", "\"lf\nonly\""},
      {"blank ok", "blank ok"},
  };
  for (const Case& c : cases) EXPECT_EQ(csv_field(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace morvantide
