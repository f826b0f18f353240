// Several variables read from the result files: the "all" rule in both
// layouts, names from the layout-1 header, lists in any order, and the
// variables that are missing.
#include "input/variables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "input/input.h"
#include "platform_testing.h"
#include "run/run.h"
#include "run_testing.h"

namespace morvantide {
namespace {

struct Folder {
  int modo;
  std::vector<std::pair<std::string, std::string>> results;  // name, content
};

// Reads the control, parameter and result files of a small study (nv = 1,
// nm = the number of files in layout 0, 2 rows in layout 1).
State read_study(MemoryFiles& files, const Folder& f) {
  files.contents["Morvantide_4p0.in"] = std::to_string(f.modo) + "\r\np0.txt\r\np1.txt\r\n";
  const int nm = f.modo == 0 ? static_cast<int>(f.results.size()) : 2;
  std::string params =
      "1\r\nl.txt\r\n2\r\n1\r\n1\r\n50\r\n1e-12\r\n0.5\r\n5\r\n" + std::to_string(nm) + "\r\n";
  for (const auto& [name, content] : f.results) {
    params += name + "\r\n";
    files.contents[name] = content;
  }
  files.contents[f.modo == 0 ? "p0.txt" : "p1.txt"] = params + "title\r\n";
  FakePlatform platform;
  State s;
  Status st = read_input(s, files, platform);
  EXPECT_TRUE(st.ok()) << st.message();
  return s;
}

TEST(CountVariables, AllRule) {
  struct Case {
    const char* name;
    Folder folder;
    int32_t count;
    std::vector<std::string> names;
  } cases[] = {
      {"Layout0ThreeLines", {0, {{"a.txt", "0.1\n1 5.0\n2 6.0\n3 7.0\n"}}}, 3, {}},
      {"Layout0CommentsAfterValues", {0, {{"a.txt", "0.1 ! h\n1 5.0 ! u\n2, 6.0 ! v\n"}}}, 2, {}},
      {"Layout0StopsAtText", {0, {{"a.txt", "0.1\n1 5.0\n2 6.0\nend of data\n3 7.0\n"}}}, 2, {}},
      {"Layout0StopsAtNumberAlone", {0, {{"a.txt", "0.1\n1 5.0\n2\n"}}}, 1, {}},
      {"Layout0StopsAtSlash", {0, {{"a.txt", "0.1\n1 5.0\n/\n3 7.0\n"}}}, 1, {}},
      {"Layout0EmptyLinePassedOver", {0, {{"a.txt", "0.1\n1 5.0\n\n2 6.0\n"}}}, 2, {}},
      {"Layout1Named", {1, {{"r.txt", "h u v w\n0.2 1 2 3\n0.1 1 2 3\n"}}}, 3, {"u", "v", "w"}},
      {"Layout1QuotedNames",
       {1, {{"r.txt", "h 'a b', \"c,d\"\n0.2, 1, 2\n0.1 1 2\n"}}},
       2,
       {"a b", "c,d"}},
      {"Layout1HeaderCountDiffers", {1, {{"r.txt", "h u\n0.2 1 2 3\n0.1 1 2 3\n"}}}, 3, {}},
      {"Layout1EmptyHeader", {1, {{"r.txt", "\n0.2 1 2\n0.1 1 2\n"}}}, 2, {}},
      {"Layout1FirstLineOnly", {1, {{"r.txt", "h\n\n0.2 1 2 ! rest\n3 4\n0.1 1 2\n"}}}, 2, {}},
      {"Layout1Repeat", {1, {{"r.txt", "h\n0.2 3*1.5\n0.1 1 2 3\n"}}}, 3, {}},
      {"Layout1StopsAtSlash", {1, {{"r.txt", "h\n0.2 1 / 2 3\n0.1 1 2 3\n"}}}, 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFiles files;
    State s = read_study(files, c.folder);
    int32_t count = -1;
    std::vector<std::string> names;
    Status st = count_variables(s, files, &count, &names);
    ASSERT_TRUE(st.ok()) << st.message();
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(names, c.names);
  }
}

TEST(CountVariables, NoneIsAnError) {
  struct Case {
    const char* name;
    Folder folder;
    std::string message;
  } cases[] = {
      {"Layout0",
       {0, {{"a.txt", "0.1\nnothing\n"}}},
       "a.txt:2: no line after h holds a variable's number and value"},
      {"Layout1",
       {1, {{"r.txt", "h\n0.2\n1\n0.1 1\n"}}},
       "r.txt:2: no value follows h on the first line of grid 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFiles files;
    // The classic read needs variable 1 on every grid, which these have
    // (on a following line); only the "all" rule finds nothing.
    if (c.folder.modo == 0) {
      files.contents["a.txt"] = "0.1\n1 5.0\n";
      State s = read_study(files, {0, {{"a.txt", "0.1\n1 5.0\n"}}});
      files.contents["a.txt"] = c.folder.results[0].second;
      int32_t count = 0;
      std::vector<std::string> names;
      Status st = count_variables(s, files, &count, &names);
      ASSERT_FALSE(st.ok());
      EXPECT_EQ(st.message(), c.message);
    } else {
      State s = read_study(files, c.folder);
      int32_t count = 0;
      std::vector<std::string> names;
      Status st = count_variables(s, files, &count, &names);
      ASSERT_FALSE(st.ok());
      EXPECT_EQ(st.message(), c.message);
    }
  }
}

TEST(ReadVariables, ValuesInTheOrderListed) {
  MemoryFiles files;
  State s = read_study(files, {0,
                               {{"a.txt", "0.4\n1 10\n2 20\n3 30\n"},
                                {"b.txt", "0.2\n9 11 ! numbers not checked\n9 21\n9 31\n"},
                                {"c.txt", "0.1\n1 12\n2 22\n3 32.5\n4 99\n"}}});
  Columns columns;
  ASSERT_TRUE(read_variables(s, files, false, {3, 1}, &columns).ok());
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_EQ(columns[0].number, 3);
  EXPECT_EQ(columns[1].number, 1);
  const real third[] = {30, 31, 32.5Q}, first[] = {10, 11, 12};
  for (int32_t m = 1; m <= 3; ++m) {
    EXPECT_TRUE(columns[0].Th(m) == third[m - 1]) << m;
    EXPECT_TRUE(columns[1].Th(m) == first[m - 1]) << m;
  }
  // "all" takes what grid 1 holds: three variables (grid 3's fourth is not asked).
  ASSERT_TRUE(read_variables(s, files, true, {}, &columns).ok());
  ASSERT_EQ(columns.size(), 3u);
  EXPECT_TRUE(columns[1].Th(2) == 21);
}

TEST(ReadVariables, Layout1RowsOverSeveralLinesAndNames) {
  MemoryFiles files;
  State s = read_study(files, {1, {{"r.txt", "h u v\n0.2 1.5 2.5\n0.1\n 1.25\n 2.25\n9 9 9\n"}}});
  Columns columns;
  ASSERT_TRUE(read_variables(s, files, false, {2, 1}, &columns).ok());
  ASSERT_EQ(columns.size(), 2u);
  EXPECT_EQ(columns[0].name, "v");
  EXPECT_EQ(columns[1].name, "u");
  EXPECT_TRUE(columns[0].Th(1) == 2.5Q && columns[0].Th(2) == 2.25Q);
  EXPECT_TRUE(columns[1].Th(1) == 1.5Q && columns[1].Th(2) == 1.25Q);
}

TEST(ReadVariables, MissingVariableNamesFileLineAndVariable) {
  struct Case {
    const char* name;
    Folder folder;
    std::vector<int32_t> numbers;
    std::string message;
  } cases[] = {
      {"Layout0EndOfFile",
       {0, {{"a.txt", "0.4\n1 10\n2 20\n"}, {"b.txt", "0.2\n1 11\n"}}},
       {2},
       "b.txt:3: file ends before the number of variable 2 of grid 2 could be read"},
      {"Layout0TextInstead",
       {0, {{"a.txt", "0.4\n1 10\n2 20\n"}, {"b.txt", "0.2\n1 11\nend\n"}}},
       {1, 2},
       "b.txt:3: expected an integer for the number of variable 2 of grid 2, found \"end\""},
      {"Layout1ValueBetweenTwoListed",
       {1, {{"r.txt", "h\n0.2 1 2 3 4\n0.1 1 2 x 4\n"}}},
       {4, 1},
       "r.txt:3: expected a real number for the value of variable 3 of grid 2, found \"x\""},
      {"Layout1NamedTable",
       {1, {{"r.txt", "h u\n0.2 1\n0.1 2\n"}}},
       {1, 2},
       "r.txt:1: variable 2 is not in the table: its header names 1 variables after h"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFiles files;
    State s = read_study(files, c.folder);
    Columns columns;
    Status st = read_variables(s, files, false, c.numbers, &columns);
    ASSERT_FALSE(st.ok());
    EXPECT_EQ(st.message(), c.message);
  }
}

// Files whose result files can only be read block by block, counting the
// bytes handed out: a whole read of one fails.
class CountingFiles : public MemoryFiles {
 public:
  std::map<std::string, size_t> handed;
  std::map<std::string, int> opened;

  Status read(const std::string& name, std::string* content) override {
    if (is_result(name)) return Status::Error(name + ": read whole");
    return MemoryFiles::read(name, content);
  }
  Status open(const std::string& name, std::unique_ptr<InputFile>* in) override {
    if (!is_result(name)) return MemoryFiles::open(name, in);
    ++opened[name];
    *in = std::make_unique<Blocks>(contents.at(name), &handed[name]);
    return Status::Ok();
  }

 private:
  static bool is_result(const std::string& name) { return name.rfind("r", 0) == 0; }
  class Blocks : public InputFile {
   public:
    Blocks(const std::string& text, size_t* handed) : text_(text), handed_(handed) {}
    Status read_block(std::string* buffer, bool* end) override {
      const size_t n = std::min(kBlockSize, text_.size() - at_);
      *end = n == 0;
      buffer->append(text_, at_, n);
      at_ += n;
      *handed_ += n;
      return Status::Ok();
    }

   private:
    const std::string& text_;
    size_t* handed_;
    size_t at_ = 0;
  };
};

// The report reads the result files only as far as the values it uses: a
// long tail after them is never read, in either layout, for a list of
// variables or for all of them.
TEST(ReadVariables, StopsAtTheLastValueUsed) {
  const std::string tail(16 * InputFile::kBlockSize, '9');
  struct Case {
    const char* name;
    Folder folder;
    bool all;
    std::vector<int32_t> numbers;
  } cases[] = {
      {"Layout0List",
       {0, {{"ra.txt", "0.4\n1 10\n2 20\n" + tail}, {"rb.txt", "0.2\n1 11\n2 21\n" + tail}}},
       false,
       {2}},
      {"Layout0All",
       {0, {{"ra.txt", "0.4\n1 10\n2 20\nend\n" + tail}, {"rb.txt", "0.2\n1 11\n2 21\n" + tail}}},
       true,
       {}},
      {"Layout1List", {1, {{"r.txt", "h u v\n0.2 1 2\n0.1 3 4\n" + tail}}}, false, {1}},
      {"Layout1All", {1, {{"r.txt", "h u v\n0.2 1 2\n0.1 3 4\n" + tail}}}, true, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CountingFiles files;
    State s = read_study(files, c.folder);
    files.handed.clear();
    Columns columns;
    Status st = read_variables(s, files, c.all, c.numbers, &columns);
    ASSERT_TRUE(st.ok()) << st.message();
    ASSERT_FALSE(columns.empty());
    EXPECT_TRUE(columns.back().Th(2) == (c.folder.modo == 0 ? 21 : c.all ? 4 : 3));
    for (const auto& [name, bytes] : files.handed) {
      EXPECT_LE(bytes, 4 * InputFile::kBlockSize) << name;
    }
  }
}

// A whole run opens each result file once, whatever its report reads after
// the listing's variable, and still reads no further than the values used.
TEST(ReadVariables, EachResultFileOpenedOncePerRun) {
  const std::string tail(16 * InputFile::kBlockSize, '9');
  const Folder layout0 = {
      0,
      {{"ra.txt", "0.4\n1 10\n2 20\nend\n" + tail},
       {"rb.txt", "0.2\n1 11\n2 21\nend\n" + tail},
       {"rc.txt", "0.1\n1 12\n2 22\nend\n" + tail}}};
  const Folder layout1 = {1, {{"r.txt", "h u v\n0.2 1 2\n0.1 3 4\n" + tail}}};
  const std::vector<std::vector<std::string>> option_sets = {
      {"--summary", "--variables", "all"},
      {"--json", "-", "--variables", "2,1,2"},
      {"--csv", "-"},
      {},
  };
  for (const Folder* folder : {&layout0, &layout1}) {
    for (const std::vector<std::string>& args : option_sets) {
      SCOPED_TRACE("layout " + std::to_string(folder->modo) + " with " +
                   std::to_string(args.size()) + " arguments");
      CountingFiles files;
      (void)read_study(files, *folder);
      files.opened.clear();
      files.handed.clear();
      Options options;
      ASSERT_TRUE(parse_options(args, &options).ok());
      Status st = run_on(files, options);
      ASSERT_TRUE(st.ok()) << st.message();
      for (const auto& [name, content] : folder->results) {
        EXPECT_EQ(files.opened[name], 1) << name;
        EXPECT_LE(files.handed[name], 4 * InputFile::kBlockSize) << name;
      }
    }
  }
}

// A list far beyond the table is refused with the message of the variable
// that is missing, before any column is made for the list.
TEST(ReadVariables, LongListBeyondTheTable) {
  std::vector<int32_t> all_numbers;
  for (int32_t k = 1; k <= kMaxVariables; ++k) all_numbers.push_back(k);
  struct Case {
    const char* name;
    Folder folder;
    std::string message;
  } cases[] = {
      {"Layout0",
       {0, {{"ra.txt", "0.4\n1 10\n2 20\n"}, {"rb.txt", "0.2\n1 11\n2 21\n"}}},
       "ra.txt:4: file ends before the number of variable 3 of grid 1 could be read"},
      {"Layout1Named",
       {1, {{"r.txt", "h u v\n0.2 1 2\n0.1 3 4\n"}}},
       "r.txt:1: variable 100000 is not in the table: its header names 2 variables after h"},
      {"Layout1Unnamed",
       {1, {{"r.txt", "h\n0.2 1 2\n0.1 3 4\n"}}},
       "r.txt:3: file ends before the value of variable 6 of grid 1 could be read (variable "
       "100000 is not on the first line of grid 1, which holds 2 values after h)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CountingFiles files;
    State s = read_study(files, c.folder);
    Columns columns;
    Status st = read_variables(s, files, false, all_numbers, &columns);
    ASSERT_FALSE(st.ok());
    EXPECT_EQ(st.message(), c.message);
    EXPECT_TRUE(columns.empty());
  }
}

// The listing's variable nv and the report's column of the same number are
// one read: null values, slashes and repeats give both the same bits, by the
// rule that a value left out takes the one read last before it on its grid.
TEST(ReadColumns, ListingAndReportReadTheSameValues) {
  struct Case {
    const char* name;
    int modo;
    int32_t nv;
    std::string grid1;  // the result file of grid 1 (layout 0) or the table (layout 1)
    real h1, Th1;
  } cases[] = {
      {"Layout0Plain", 0, 2, "0.1\n1 5.0\n2 6.0\n", 0.1Q, 6},
      {"Layout0NullTakesTheValueBefore", 0, 2, "0.1\n1 5.0\n2,,\n", 0.1Q, 5},
      {"Layout0SlashTakesTheValueBefore", 0, 3, "0.1\n1 5.0\n2 /\n3 /\n", 0.1Q, 5},
      {"Layout0FirstNullIsZero", 0, 1, "0.1\n1,,\n", 0.1Q, 0},
      {"Layout1Plain", 1, 2, "h\n0.2 1.5 2.5\n0.1 3 4\n", 0.2Q, 2.5Q},
      {"Layout1NullTakesTheValueBefore", 1, 3, "h\n0.2 1.5 2.5,,\n0.1 3 4 5\n", 0.2Q, 2.5Q},
      {"Layout1SlashTakesTheValueBefore", 1, 3, "h\n0.2 1.5 /\n0.1 3 4 5\n", 0.2Q, 1.5Q},
      {"Layout1FirstNullIsZero", 1, 1, "h\n0.2,,\n0.1 3\n", 0.2Q, 0},
      {"Layout1NullRepeat", 1, 3, "h\n0.2 1.5 2*\n0.1 3 4 5\n", 0.2Q, 1.5Q},
      {"Layout1RepeatThenNull", 1, 3, "h\n0.2 2*7.5,,\n0.1 3 4 5\n", 0.2Q, 7.5Q},
      {"Layout1RowOverTwoLines", 1, 3, "h\n0.2 1\n 2 3.25\n0.1 3 4 5\n", 0.2Q, 3.25Q},
      {"Layout1FarVariableInARepeat", 1, 2000000000, "h\n0.2 1999999999*1 2.5\n0.1 2000000000*5\n",
       0.2Q, 2.5Q},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryFiles files;
    files.contents["Morvantide_4p0.in"] = std::to_string(c.modo) + "\np0.txt\np1.txt\n";
    const std::string head = std::to_string(c.nv) + "\nl.txt\n2\n1\n1\n50\n1e-12\n0.5\n5\n";
    files.contents["p0.txt"] = head + "2\ng1.txt\ng2.txt\nt\n";
    files.contents["p1.txt"] = head + "2\nall.txt\nt\n";
    files.contents[c.modo == 0 ? "g1.txt" : "all.txt"] = c.grid1;
    std::string second = "0.05\n";
    for (int32_t k = 1; c.modo == 0 && k <= c.nv; ++k) {
      second += std::to_string(k) + " " + std::to_string(10 + k) + "\n";
    }
    files.contents["g2.txt"] = second;
    FakePlatform platform;
    State s;
    Status st = read_input(s, files, platform);
    ASSERT_TRUE(st.ok()) << st.message();
    EXPECT_TRUE(same_bits(s.study.h(1), c.h1));
    EXPECT_TRUE(same_bits(s.study.Th(1), c.Th1));
    Columns columns;
    st = read_variables(s, files, false, {c.nv, c.nv}, &columns);
    ASSERT_TRUE(st.ok()) << st.message();
    ASSERT_EQ(columns.size(), 2u);
    for (size_t c = 0; c < columns.size(); ++c) {
      const Columns::Column column = columns[c];
      ASSERT_EQ(column.Th.size(), s.study.nm);
      for (int32_t m = 1; m <= s.study.nm; ++m) {
        EXPECT_TRUE(same_bits(column.Th(m), s.study.Th(m))) << "grid " << m;
      }
    }
  }
}

}  // namespace
}  // namespace morvantide
