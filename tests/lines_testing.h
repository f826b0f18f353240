// Splits a written text into its lines for the tests: every line must end
// with CR LF, and no line may hold a stray CR or LF.
#ifndef MORVANTIDE_TESTS_LINES_TESTING_H_
#define MORVANTIDE_TESTS_LINES_TESTING_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvantide {

inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    EXPECT_NE(end, std::string::npos) << "unterminated line at " << start;
    if (end == std::string::npos) break;
    std::string line = text.substr(start, end - start);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "stray line end in: " << line;
    lines.push_back(line);
    start = end + 2;
  }
  return lines;
}

}  // namespace morvantide

#endif  // MORVANTIDE_TESTS_LINES_TESTING_H_
