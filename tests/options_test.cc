// The command line: options that parse, with what they set, and options
// refused, each with its whole message.
#include "run/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvantide {
namespace {

using Args = std::vector<std::string>;

TEST(ParseOptions, Accepted) {
  struct Case {
    Args args;
    bool no_edit, no_plot, summary;
    std::string json, csv;
  } cases[] = {
      {{}, false, false, false, "", ""},
      {{"--no-edit"}, true, false, false, "", ""},
      {{"--no-plot", "--no-edit"}, true, true, false, "", ""},
      {{"--summary"}, false, false, true, "", ""},
      {{"--json", "out.json"}, false, false, false, "out.json", ""},
      {{"--json=out.json"}, false, false, false, "out.json", ""},
      {{"--json=a=b.json"}, false, false, false, "a=b.json", ""},
      {{"--csv", "-"}, false, false, false, "", "-"},
      {{"--csv=-", "--json", "r.json"}, false, false, false, "r.json", "-"},
      // A later option replaces an earlier one of the same name.
      {{"--json", "a", "--json", "b"}, false, false, false, "b", ""},
      // A value that looks like an option is still the value.
      {{"--json", "--no-edit"}, false, false, false, "--no-edit", ""},
      {{"--summary", "--json", "x", "--csv", "y"}, false, false, true, "x", "y"},
  };
  for (const Case& c : cases) {
    Options o;
    Status st = parse_options(c.args, &o);
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    ASSERT_TRUE(st.ok()) << shown << ": " << st.message();
    EXPECT_EQ(o.no_edit, c.no_edit) << shown;
    EXPECT_EQ(o.no_plot, c.no_plot) << shown;
    EXPECT_EQ(o.summary, c.summary) << shown;
    EXPECT_EQ(o.json_file, c.json) << shown;
    EXPECT_EQ(o.csv_file, c.csv) << shown;
    EXPECT_FALSE(o.help || o.version) << shown;
  }
  // "--" ends the options: a data file whose name starts with '-'.
  Options o;
  ASSERT_TRUE(parse_options({"--summary", "--", "-x.csv"}, &o).ok());
  EXPECT_TRUE(o.has_data && o.data == "-x.csv" && o.summary);
  ASSERT_TRUE(parse_options({"--order=0.5", "--order-step", "1e-3", "d"}, &o).ok());
  EXPECT_TRUE(o.table.pL == 0.5Q && o.table.dp == 1e-3Q);
}

TEST(ParseTarget, Values) {
  struct Case {
    const char* text;
    Target::Kind kind;
    real value;
  } cases[] = {
      {"1e-6", Target::Kind::kAbsolute, 1.0e-6Q},  {"2.5E-3", Target::Kind::kAbsolute, 2.5e-3Q},
      {"+3", Target::Kind::kAbsolute, 3},          {".5", Target::Kind::kAbsolute, 0.5Q},
      {"7.", Target::Kind::kAbsolute, 7},          {"0.1%", Target::Kind::kRelative, 0.1Q / 100},
      {"50%", Target::Kind::kRelative, 0.5Q},      {"200%", Target::Kind::kRelative, 2},
      {"1e-2%", Target::Kind::kRelative, 1.0e-4Q},
  };
  for (const Case& c : cases) {
    Target t;
    ASSERT_TRUE(parse_target(c.text, &t)) << c.text;
    EXPECT_EQ(t.kind, c.kind) << c.text;
    EXPECT_TRUE(t.value == c.value) << c.text;
  }
}

TEST(ParseVariables, Lists) {
  struct Case {
    const char* text;
    std::vector<int32_t> numbers;
  } cases[] = {
      {"1", {1}},
      {"3-5", {3, 4, 5}},
      {"1,3-5", {1, 3, 4, 5}},
      {"5,1", {5, 1}},         // the order given
      {"2,2,1-3", {2, 1, 3}},  // each once
      {"7-7", {7}},
      {"100000", {100000}},
  };
  for (const Case& c : cases) {
    VariableChoice v;
    ASSERT_TRUE(parse_variables(c.text, &v)) << c.text;
    EXPECT_EQ(v.kind, VariableChoice::Kind::kList) << c.text;
    EXPECT_EQ(v.numbers, c.numbers) << c.text;
  }
  VariableChoice all;
  ASSERT_TRUE(parse_variables("all", &all));
  EXPECT_EQ(all.kind, VariableChoice::Kind::kAll);
}

TEST(ParseOptions, Refused) {
  const std::string target_expected = " (a positive number, or a percentage such as 0.1%)";
  const std::string variables_expected =
      " (numbers from 1 to 100000 and ranges such as 1,3-5, or all)";
  struct Case {
    Args args;
    std::string message;
  } cases[] = {
      {{"x", "y"}, "morvantide: one data file at a time: \"x\" and \"y\""},
      {{"-", "-"}, "morvantide: one data file at a time: \"-\" and \"-\""},
      {{"--", "-x.csv", "--json"}, "morvantide: one data file at a time: \"-x.csv\" and \"--json\""},
      {{"-x"}, "morvantide: unexpected argument \"-x\" (see morvantide --help)"},
      {{"-h", "x"}, "morvantide: --help takes no data file, found \"x\""},
      {{"--version", "x"}, "morvantide: --version takes no data file, found \"x\""},
      // The settings of a table go with a data file only, and are checked.
      {{"--cells", "2"},
       "morvantide: --cells goes with a data file: morvantide --cells ... DATA (see morvantide "
       "--help)"},
      {{"--summary", "--output-dir", "o"},
       "morvantide: --output-dir goes with a data file: morvantide --output-dir ... DATA (see "
       "morvantide --help)"},
      {{"--cells", "4", "d"}, "morvantide: bad value for --cells: \"4\" (the grid's dimension: 1, 2 or 3)"},
      {{"--ratio", "const", "d"},
       "morvantide: bad value for --ratio: \"const\" (constant or variable)"},
      {{"--order", "two", "d"}, "morvantide: bad value for --order: \"two\" (a positive finite number)"},
      {{"--order", "-1", "d"}, "morvantide: bad value for --order: \"-1\" (a positive finite number)"},
      {{"--order", "0", "d"}, "morvantide: bad value for --order: \"0\" (a positive finite number)"},
      {{"--order=1e5000", "d"},
       "morvantide: bad value for --order: \"1e5000\" (a positive finite number)"},
      {{"--order-step", "0", "d"},
       "morvantide: bad value for --order-step: \"0\" (a positive finite number)"},
      {{"--order-range", "5:0.5", "d"},
       "morvantide: bad value for --order-range: \"5:0.5\" (pU_min:pU_max, two numbers, the "
       "first the smaller, such as 0.5:5)"},
      {{"--itmax", "1.5", "d"},
       "morvantide: bad value for --itmax: \"1.5\" (a whole number of iterations, at least 1)"},
      {{"--itmax", "0", "d"},
       "morvantide: bad value for --itmax: \"0\" (a whole number of iterations, at least 1)"},
      {{"--tol", "0", "d"}, "morvantide: bad value for --tol: \"0\" (a positive number)"},
      {{"--plot-least-squares", "d"},
       "morvantide: --plot-least-squares with a data file needs --output-dir"},
      {{"--jsn", "x"}, "morvantide: unknown option \"--jsn\" (see morvantide --help)"},
      {{"--jsn=x"}, "morvantide: unknown option \"--jsn\" (see morvantide --help)"},
      {{"--sum"}, "morvantide: unknown option \"--sum\" (see morvantide --help)"},
      {{"--bad\x01"}, "morvantide: unknown option \"--bad\\x01\" (see morvantide --help)"},
      // Bytes as messages about files show them.
      {{"--caf\xe9"}, "morvantide: unknown option \"--caf\\xe9\" (see morvantide --help)"},
      {{"--no-edit=yes"}, "morvantide: --no-edit takes no value"},
      {{"--summary="}, "morvantide: --summary takes no value"},
      {{"--json"}, "morvantide: --json needs a value (FILE)"},
      {{"--summary", "--target"}, "morvantide: --target needs a value (U|P%)"},
      {{"--json="}, "morvantide: --json needs a file name"},
      {{"--csv", ""}, "morvantide: --csv needs a file name"},
      {{"--summary", "--target", "0"},
       "morvantide: bad value for --target: \"0\"" + target_expected},
      {{"--summary", "--target=-1"},
       "morvantide: bad value for --target: \"-1\"" + target_expected},
      {{"--summary", "--target", "abc"},
       "morvantide: bad value for --target: \"abc\"" + target_expected},
      {{"--summary", "--target", "%"},
       "morvantide: bad value for --target: \"%\"" + target_expected},
      {{"--summary", "--target", "1%%"},
       "morvantide: bad value for --target: \"1%%\"" + target_expected},
      {{"--summary", "--target", "inf"},
       "morvantide: bad value for --target: \"inf\"" + target_expected},
      {{"--summary", "--target", "nan"},
       "morvantide: bad value for --target: \"nan\"" + target_expected},
      {{"--summary", "--target", "0x1p3"},
       "morvantide: bad value for --target: \"0x1p3\"" + target_expected},
      {{"--summary", "--target", "1e99999"},
       "morvantide: bad value for --target: \"1e99999\"" + target_expected},
      {{"--summary", "--target", "1e-99999"},
       "morvantide: bad value for --target: \"1e-99999\"" + target_expected},
      {{"--summary", "--target", "1e"},
       "morvantide: bad value for --target: \"1e\"" + target_expected},
      {{"--summary", "--target", " 1"},
       "morvantide: bad value for --target: \" 1\"" + target_expected},
      {{"--summary", "--target", "1D-3"},
       "morvantide: bad value for --target: \"1D-3\"" + target_expected},
      {{"--summary", "--variables", "0"},
       "morvantide: bad value for --variables: \"0\"" + variables_expected},
      {{"--summary", "--variables", "5-3"},
       "morvantide: bad value for --variables: \"5-3\"" + variables_expected},
      {{"--summary", "--variables", "1,"},
       "morvantide: bad value for --variables: \"1,\"" + variables_expected},
      {{"--summary", "--variables", ",1"},
       "morvantide: bad value for --variables: \",1\"" + variables_expected},
      {{"--summary", "--variables", "1,,2"},
       "morvantide: bad value for --variables: \"1,,2\"" + variables_expected},
      {{"--summary", "--variables", "1-"},
       "morvantide: bad value for --variables: \"1-\"" + variables_expected},
      {{"--summary", "--variables", "-1"},
       "morvantide: bad value for --variables: \"-1\"" + variables_expected},
      {{"--summary", "--variables", "1-2-3"},
       "morvantide: bad value for --variables: \"1-2-3\"" + variables_expected},
      {{"--summary", "--variables", "100001"},
       "morvantide: bad value for --variables: \"100001\"" + variables_expected},
      {{"--summary", "--variables", "99999999999"},
       "morvantide: bad value for --variables: \"99999999999\"" + variables_expected},
      {{"--summary", "--variables", "ALL"},
       "morvantide: bad value for --variables: \"ALL\"" + variables_expected},
      {{"--summary", "--variables", "all,1"},
       "morvantide: bad value for --variables: \"all,1\"" + variables_expected},
      {{"--summary", "--variables", "+1"},
       "morvantide: bad value for --variables: \"+1\"" + variables_expected},
      {{"--summary", "--variables", std::string(50, '1')},
       "morvantide: bad value for --variables: \"" + std::string(40, '1') + "...\"" +
           variables_expected},
      // Standard output takes one form of the report.
      {{"--summary", "--json", "-"},
       "morvantide: only one of --summary, --json - and --csv - can write to standard output"},
      {{"--json=-", "--csv=-"},
       "morvantide: only one of --summary, --json - and --csv - can write to standard output"},
      // A target or a list of variables with no report would do nothing.
      {{"--target", "1e-3"},
       "morvantide: --target needs --summary, --json or --csv to show its result"},
      {{"--variables", "all", "--no-plot"},
       "morvantide: --variables needs --summary, --json or --csv to show its results"},
  };
  for (const Case& c : cases) {
    Options o;
    Status st = parse_options(c.args, &o);
    std::string shown;
    for (const std::string& a : c.args) shown += a + " ";
    ASSERT_FALSE(st.ok()) << shown;
    EXPECT_EQ(st.message(), c.message) << shown;
    EXPECT_EQ(st.message().find('\n'), std::string::npos) << shown;
  }
}

TEST(ParseOptions, HelpAndVersion) {
  Options o;
  ASSERT_TRUE(parse_options({"--help"}, &o).ok());
  EXPECT_TRUE(o.help);
  ASSERT_TRUE(parse_options({"--version"}, &o).ok());
  EXPECT_TRUE(o.version);
  // A bad option beside --help is still refused.
  EXPECT_FALSE(parse_options({"--help", "--nope"}, &o).ok());
}

// --help names every option on a line of its own, each line under 80 columns.
TEST(HelpText, EveryOptionOneLine) {
  const std::string help = help_text();
  const char* options[] = {"--no-edit",        "--no-plot",  "--plot-least-squares",
                           "--summary",
                           "--json FILE",      "--csv FILE", "--target U|P%",
                           "--variables LIST", "--help",     "--version",
                           "--ratio constant|variable", "--cells D", "--output-dir DIR"};
  for (const char* option : options) {
    EXPECT_NE(help.find("\n  " + std::string(option) + " "), std::string::npos) << option;
  }
  size_t start = 0;
  while (start < help.size()) {
    size_t end = help.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_LT(end - start, 80u) << help.substr(start, end - start);
    start = end + 1;
  }
  // Every description, and every line a long one wraps onto, starts in the
  // one column after the widest option.
  const size_t column = help.find("DATA: the refinement ratio") - help.find("  --ratio ");
  size_t rows = 0;
  for (size_t at = help.find("\nOptions"); (at = help.find('\n', at + 1)) != std::string::npos;) {
    const std::string line = help.substr(at + 1, help.find('\n', at + 1) - at - 1);
    if (line.empty()) break;  // the terms follow the options
    ++rows;
    ASSERT_GT(line.size(), column) << line;
    EXPECT_TRUE(line.substr(column - 2, 2) == "  " && line[column] != ' ') << line;
  }
  EXPECT_GE(rows, 18u);
}

}  // namespace
}  // namespace morvantide
