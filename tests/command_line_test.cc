// The Windows command line built for notepad and wgnuplot: every argument
// must come back whole from the MS C run-time / CommandLineToArgvW rules
// (2n backslashes before a quote give n backslashes and the quote opens or
// closes, 2n+1 give n backslashes and a literal quote, other backslashes are
// literal).  The rows were worked by hand from those rules; the Windows
// checks in tests/windows/ run the same strings through the real parser.
#include "common/command_line.h"

#include <gtest/gtest.h>

namespace morvantide {
namespace {

TEST(QuoteArgument, BackslashesAndQuotes) {
  struct Case {
    std::string arg;
    std::string expected;
  } cases[] = {
      {"", R"("")"},
      {"Morvantide_4p0.in", R"("Morvantide_4p0.in")"},
      {"param & dados 1.txt", R"("param & dados 1.txt")"},
      {"a|b^c%PATH%<d>", R"("a|b^c%PATH%<d>")"},
      {"tab\there", "\"tab\there\""},
      {"lista \xe9" "a.txt", "\"lista \xe9" "a.txt\""},
      // Backslashes not before a quote stay as they are.
      {R"(C:\dados\lista.txt)", R"("C:\dados\lista.txt")"},
      {R"(\\server\share\x)", R"("\\server\share\x")"},
      // Before the closing quote they are doubled.
      {R"(C:\dados\)", R"("C:\dados\\")"},
      {R"(a\\)", R"("a\\\\")"},
      {R"(\)", R"("\\")"},
      // A quote gets a backslash; the backslashes before it are doubled.
      {R"(a"b)", R"("a\"b")"},
      {R"(")", R"("\"")"},
      {R"(a\"b)", R"("a\\\"b")"},
      {R"(a\\"b)", R"("a\\\\\"b")"},
      {R"(say "hi"\)", R"("say \"hi\"\\")"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(quote_argument(c.arg), c.expected) << "argument [" << c.arg << "]";
  }
}

TEST(WindowsCommandLine, ProgramThenQuotedArguments) {
  struct Case {
    std::vector<std::string> argv;
    std::string expected;
  } cases[] = {
      {{"notepad", "Morvantide_4p0.in"}, R"(notepad "Morvantide_4p0.in")"},
      {{"notepad", "lista & x.txt"}, R"(notepad "lista & x.txt")"},
      {{"wgnuplot", "Morvantide_4p0_pU.gnu"}, R"(wgnuplot "Morvantide_4p0_pU.gnu")"},
      {{"notepad"}, "notepad"},
      {{"prog", "", "a b"}, R"(prog "" "a b")"},
      // A program name with a blank is quoted, without escapes.
      {{R"(C:\Program Files\gnuplot\bin\wgnuplot.exe)", "x.gnu"},
       R"("C:\Program Files\gnuplot\bin\wgnuplot.exe" "x.gnu")"},
      {{R"(C:\tools\)", "x"}, R"(C:\tools\ "x")"},
  };
  for (const Case& c : cases) {
    std::string line = "unchanged";
    ASSERT_TRUE(windows_command_line(c.argv, &line)) << c.expected;
    EXPECT_EQ(line, c.expected);
  }
}

TEST(WindowsCommandLine, RefusesWhatCannotBeWritten) {
  struct Case {
    const char* why;
    std::vector<std::string> argv;
  } cases[] = {
      {"no program", {}},
      {"empty program name", {"", "x"}},
      {"quote in the program name", {"no\"te", "x"}},
      {"NUL in an argument", {"notepad", std::string("a\0b", 3)}},
      {"NUL in the program name", {std::string("note\0pad", 8)}},
  };
  for (const Case& c : cases) {
    std::string line = "unchanged";
    EXPECT_FALSE(windows_command_line(c.argv, &line)) << c.why;
    EXPECT_EQ(line, "unchanged") << c.why;
  }
}

}  // namespace
}  // namespace morvantide
