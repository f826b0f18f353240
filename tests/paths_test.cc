// The path operations the program does on strings, against std::filesystem's
// operations of the same names on every path made of a few elements.
#include "common/paths.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/text.h"

namespace morvantide {
namespace {

namespace fs = std::filesystem;

// Every path of up to four elements from `elements`, each followed by one
// or two slashes or none (the last), with or without a leading slash.
std::vector<std::string> all_paths() {
  const std::vector<std::string> elements = {"a", "b", ".", "..", "x.y", "..."};
  const std::vector<std::string> slashes = {"/", "//"};
  std::vector<std::string> paths = {"/", "//", "///"};
  std::vector<std::string> layer = {""};
  for (int length = 1; length <= 4; ++length) {
    std::vector<std::string> next;
    for (const std::string& head : layer) {
      for (const std::string& e : elements) {
        next.push_back(head + e);
        for (const std::string& s : slashes) next.push_back(head + e + s);
      }
    }
    // Continue only from the ones that end in a slash.
    layer.clear();
    for (const std::string& p : next) {
      paths.push_back(p);
      paths.push_back("/" + p);
      paths.push_back("//" + p);
      if (p.back() == '/') layer.push_back(p);
    }
  }
  return paths;
}

TEST(Paths, AsStdFilesystemHasThem) {
  int compared = 0;
  for (const std::string& p : all_paths()) {
    const fs::path path(p);
    EXPECT_EQ(parent_path(p), path.parent_path().string()) << "parent_path(\"" << p << "\")";
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    ASSERT_FALSE(ec) << p;
    EXPECT_EQ(absolute_normal(p), absolute.lexically_normal().generic_string())
        << "absolute_normal(\"" << p << "\")";
    for (const char* name : {"f", "x/y", "..", "g/"}) {
      EXPECT_EQ(append_path(p, name), (path / name).string()) << p << " / " << name;
    }
    ++compared;
  }
  EXPECT_GT(compared, 10000);
  EXPECT_EQ(absolute_normal(""), "");
  EXPECT_EQ(parent_path(""), "");
  EXPECT_EQ(append_path("", "f"), "f");
}

// From the root the current folder adds nothing; from a folder with a
// long name the whole name comes first.
TEST(Paths, RelativeNamesStartAtTheCurrentFolder) {
  const fs::path saved = fs::current_path();
  const std::string long_name(200, 'd');
  const fs::path deep =
      fs::temp_directory_path() / ("morvantide_paths_" + std::to_string(getpid()));
  fs::create_directories(deep / long_name / long_name);
  for (const fs::path& folder : {fs::path("/"), deep / long_name / long_name}) {
    fs::current_path(folder);
    for (const std::string p : {"a", "a/../..", "../x", ".", "./b/", "///c//"}) {
      EXPECT_EQ(absolute_normal(p), fs::absolute(p).lexically_normal().generic_string())
          << p << " in " << folder;
    }
  }
  fs::current_path(saved);
  fs::remove_all(deep);
}

TEST(Paths, WordsBetweenBlanks) {
  const struct {
    const char* text;
    std::vector<std::string> words;
  } cases[] = {
      {"", {}},
      {" \t\n\v\f\r", {}},
      {"vi", {"vi"}},
      {"  code --wait  ", {"code", "--wait"}},
      {"a\tb\nc\vd\fe\rf", {"a", "b", "c", "d", "e", "f"}},
      {"\"quoted words\" stay apart", {"\"quoted", "words\"", "stay", "apart"}},
      {"caf\xe9 \xa0x", {"caf\xe9", "\xa0x"}},  // no blanks beyond the C locale's
  };
  for (const auto& c : cases) EXPECT_EQ(split_words(c.text), c.words) << "\"" << c.text << "\"";
}

// Lines of at most the width, cut at blanks, a word too long alone on its
// line; the start counts on the first line, the indent on the others.
TEST(Paths, WordsWrappedAtTheWidth) {
  const struct {
    const char* text;
    const char* start;
    size_t indent;
    size_t width;
    const char* lines;
  } cases[] = {
      {"a bb cc", "  -x ", 5, 8, "  -x a\n     bb\n     cc\n"},
      {"a bb cc", "", 0, 4, "a bb\ncc\n"},     // exactly the width stays
      {"a bb cc", "", 0, 3, "a\nbb\ncc\n"},    // one past it goes
      {"abcdefgh ij", "", 2, 4, "abcdefgh\n  ij\n"},
      {"", "  -y", 4, 10, "  -y\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(wrap_words(c.text, c.start, c.indent, c.width), c.lines) << c.text << "/" << c.width;
  }
}

}  // namespace
}  // namespace morvantide
