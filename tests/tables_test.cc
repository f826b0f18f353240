#include <gtest/gtest.h>

#include "lines_testing.h"

#include <string>
#include <vector>

#include "common/quad.h"
#include "output/plot_data.h"
#include "output/saida_resultados.h"
#include "output/scripts.h"
#include "output/tables.h"
#include "model/state.h"

#include "core_testing.h"

namespace morvantide {

using core_testing::StudyLists;
namespace {

std::string blanks(size_t n) { return std::string(n, ' '); }

// Right-justifies `text` in `w` columns.
std::string right(const std::string& text, size_t w) { return blanks(w - text.size()) + text; }

real nan_value() { return nanq(""); }
real inf_value() { return 1.0Q / 0.0Q; }

StudyLists make_state(int32_t nm) {
  StudyLists s;
  s.nm = nm;
  s.create_lists(nm);
  // h(i) = 2^-i: 1P,E12.4 of 0.5, 0.25, 0.125, 0.0625, ...
  real h = 1;
  for (int32_t i = 1; i <= nm; ++i) {
    h = h / 2;
    s.h(i) = h;
    s.Th(i) = 1;
    s.Tm1(i) = 1;
  }
  return s;
}

// The heading: each label at its column (counted from 1), blanks between.
struct Label {
  const char* text;
  size_t column;
};

void expect_heading(const std::string& line, const std::vector<Label>& labels, size_t length,
                    const char* table) {
  std::string expected = blanks(length);
  for (const Label& label : labels) {
    expected.replace(label.column - 1, std::string(label.text).size(), label.text);
  }
  EXPECT_EQ(line, expected) << table;
}

TEST(Tables, HeadingsHaveTheirLabelsAtFixedColumns) {
  StudyLists s = make_state(0);
  std::vector<std::string> t12 = lines_of(tabelas_pU_psi(s));
  std::vector<std::string> t3 = lines_of(tabela_T(s));
  std::vector<std::string> t4 = lines_of(tabela_U(s));
  ASSERT_EQ(t12.size(), 6u);
  ASSERT_EQ(t3.size(), 3u);
  ASSERT_EQ(t4.size(), 3u);
  for (const auto* lines : {&t12, &t3, &t4}) {
    EXPECT_EQ((*lines)[0], "");
    EXPECT_EQ((*lines)[1], "");
  }
  EXPECT_EQ(t12[3], "");
  EXPECT_EQ(t12[4], "");
  expect_heading(t12[2],
                 {{"h", 4}, {"pU*(Th)", 20}, {"pU*(Tm1)", 42}, {"pU*(Tc)", 64},
                  {"pU*(Ti_pU*)", 86}, {"pU*(Tbi_pU*)", 110}},
                 121, "table 1");
  expect_heading(t12[5],
                 {{"h", 4}, {"psi(Th)", 20}, {"psi(Tm1)", 42}, {"psi(Tc)", 64},
                  {"psi(Ti_pU)", 86}, {"psi(Tbi_pU)", 108}},
                 118, "table 2");
  expect_heading(t3[2], {{"h", 4}, {"Th", 22}, {"Tm1", 68}, {"Tc", 114}}, 115, "table 3");
  // "Uc(Tc) " ends in a blank: the heading is 88 characters.
  expect_heading(t4[2],
                 {{"h", 4}, {"UGCI(Th)", 16}, {"Umc(Th)", 37}, {"Um(Tm1)", 60}, {"Uc(Tc)", 82}},
                 88, "table 4");
}

// Tables 1 and 2: 1P,E22.9 filling the column, blank only for 1.0e11 exactly.
struct RatioCase {
  const char* what;
  real value;
  std::string text;
};

std::vector<RatioCase> ratio_cases() {
  return {
      {"sentinel", kSentinel, blanks(22)},
      {"2.0e10", 2.0e10Q, blanks(7) + "2.000000000E+10"},
      {"just above the sentinel", 100000000000.5Q, blanks(7) + "1.000000000E+11"},
      {"twice the sentinel", 2.0e11Q, blanks(7) + "2.000000000E+11"},
      {"zero", 0, blanks(7) + "0.000000000E+00"},
      {"one half", 0.5Q, blanks(7) + "5.000000000E-01"},
      {"negative", -0.0625Q, blanks(6) + "-6.250000000E-02"},
      {"NaN", nan_value(), blanks(19) + "NaN"},
      {"Infinity", inf_value(), blanks(14) + "Infinity"},
      {"-Infinity", -inf_value(), blanks(13) + "-Infinity"},
  };
}

TEST(Tables, OrdersAndRatiosColumnTexts) {
  // Each value is put into one column at a time, the others left at the
  // sentinel, so the row also shows which list feeds which column.
  for (int table = 1; table <= 2; ++table) {
    for (int column = 0; column < 5; ++column) {
      for (const RatioCase& c : ratio_cases()) {
        StudyLists s = make_state(1);
        RealList* lists1[] = {&s.pUs_Th, &s.pUs_Tm1, &s.pUs_Tc, &s.pUs_Ti, &s.pUs_Tbi};
        RealList* lists2[] = {&s.psi_Th, &s.psi_Tm1, &s.psi_Tc, &s.psi_Ti, &s.psi_Tbi};
        (*(table == 1 ? lists1 : lists2)[column])(1) = c.value;
        std::vector<std::string> lines = lines_of(tabelas_pU_psi(s));
        ASSERT_EQ(lines.size(), 8u);
        std::string expected = "  5.0000E-01";
        for (int k = 0; k < 5; ++k) expected += k == column ? c.text : blanks(22);
        EXPECT_EQ(lines[table == 1 ? 3 : 7], expected)
            << "table " << table << ", column " << column + 1 << ", " << c.what;
        EXPECT_EQ(lines[table == 1 ? 7 : 3], "  5.0000E-01" + blanks(110))
            << "other table, " << c.what;
      }
    }
  }
}

TEST(Tables, EstimateColumnTexts) {
  const std::string tail = blanks(7);
  const RatioCase cases[] = {
      {"sentinel", kSentinel, blanks(22)},
      {"zero is not the sentinel", 0, "   0.000000E+00" + tail},
      {"one half", 0.5Q, "   5.000000E-01" + tail},
      {"negative", -0.0625Q, "  -6.250000E-02" + tail},
      {"2.0e10", 2.0e10Q, "   2.000000E+10" + tail},
      {"just above the sentinel", 100000000000.5Q, "   1.000000E+11" + tail},
      {"NaN", nan_value(), blanks(12) + "NaN" + tail},
      {"Infinity", inf_value(), blanks(7) + "Infinity" + tail},
      {"-Infinity", -inf_value(), blanks(6) + "-Infinity" + tail},
  };
  for (int column = 0; column < 4; ++column) {
    for (const RatioCase& c : cases) {
      StudyLists s = make_state(1);
      RealList* lists[] = {&s.UGCI_Th, &s.Umc_Th, &s.Um_Tm1, &s.Uc_Tc};
      (*lists[column])(1) = c.value;
      std::vector<std::string> lines = lines_of(tabela_U(s));
      ASSERT_EQ(lines.size(), 4u);
      std::string expected = "  5.0000E-01";
      for (int k = 0; k < 4; ++k) expected += k == column ? c.text : blanks(22);
      EXPECT_EQ(lines[3], expected) << "column " << column + 1 << ", " << c.what;
      EXPECT_EQ(lines[3].size(), 100u) << c.what;
    }
  }
}

TEST(Tables, RowsFollowTheGridsInOrder) {
  StudyLists s = make_state(3);
  s.pUs_Th(3) = 2;
  s.psi_Tm1(2) = 4;
  s.Umc_Th(2) = 0.25Q;
  std::vector<std::string> t12 = lines_of(tabelas_pU_psi(s));
  std::vector<std::string> t4 = lines_of(tabela_U(s));
  ASSERT_EQ(t12.size(), 12u);
  ASSERT_EQ(t4.size(), 6u);
  const std::string h1 = "  5.0000E-01", h2 = "  2.5000E-01", h3 = "  1.2500E-01";
  EXPECT_EQ(t12[3], h1 + blanks(110));
  EXPECT_EQ(t12[4], h2 + blanks(110));
  EXPECT_EQ(t12[5], h3 + blanks(7) + "2.000000000E+00" + blanks(88));
  EXPECT_EQ(t12[9], h1 + blanks(110));
  EXPECT_EQ(t12[10], h2 + blanks(22) + blanks(7) + "4.000000000E+00" + blanks(66));
  EXPECT_EQ(t12[11], h3 + blanks(110));
  EXPECT_EQ(t4[3], h1 + blanks(88));
  EXPECT_EQ(t4[4], h2 + blanks(22) + "   2.500000E-01" + blanks(7) + blanks(44));
  EXPECT_EQ(t4[5], h3 + blanks(88));
}

// 1P,E46.31 of a value whose digits are `digits` (point after the first),
// padded with zeros to 31 decimals.
std::string solution(const std::string& digits, const std::string& exponent) {
  std::string text = digits.substr(0, 1) + "." + digits.substr(1);
  text += std::string(31 - (digits.size() - 1), '0') + exponent;
  return right(text, 46);
}

TEST(Tables, SolutionRowsEndAfterTheLastValueShown) {
  StudyLists s = make_state(5);
  for (int32_t i = 1; i <= 5; ++i) s.Th(i) = 1.5Q;
  for (int32_t i = 1; i <= 5; ++i) s.Tm1(i) = -2.25Q;
  s.Tc(1) = 3;  // grids 1 and 2 never show Tc
  s.Tc(2) = 3;
  s.Tc(3) = 0.75Q;
  s.Tc(5) = nan_value();  // not the sentinel: printed
  std::vector<std::string> lines = lines_of(tabela_T(s));
  ASSERT_EQ(lines.size(), 8u);
  const std::string th = solution("15", "E+00");
  const std::string tm1 = right("-2.25" + std::string(29, '0') + "E+00", 46);
  struct Row {
    std::string text;
    size_t length;
  } rows[] = {
      {"   5.000E-01" + th, 58},
      {"   2.500E-01" + th + tm1, 104},
      {"   1.250E-01" + th + tm1 + solution("75", "E-01"), 150},
      {"   6.250E-02" + th + tm1, 104},  // Tc(4) is the sentinel
      {"   3.125E-02" + th + tm1 + right("NaN", 46), 150},
  };
  for (size_t k = 0; k < 5; ++k) {
    EXPECT_EQ(lines[3 + k], rows[k].text) << "grid " << k + 1;
    EXPECT_EQ(lines[3 + k].size(), rows[k].length) << "grid " << k + 1;
  }
}

TEST(Tables, SolutionsKeepAllDigits) {
  StudyLists s = make_state(1);
  s.Th(1) = 1.0Q / 3;  // 3.333...3E-01 to 32 digits; the 33rd digit rounds down
  s.h(1) = 0.0004Q;
  std::vector<std::string> lines = lines_of(tabela_T(s));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[3], "   4.000E-04" + right("3." + std::string(31, '3') + "E-01", 46));
}

TEST(Tables, FewGrids) {
  struct Case {
    int32_t nm;
    size_t lines12, lines3, lines4;
  } cases[] = {
      {0, 6, 3, 3},   // headings only
      {1, 8, 4, 4},   // table 3: the row of grid 1 only
      {2, 10, 5, 5},  // table 3: its two fixed rows
  };
  for (const Case& c : cases) {
    StudyLists s = make_state(c.nm);
    std::vector<std::string> t12 = lines_of(tabelas_pU_psi(s));
    std::vector<std::string> t3 = lines_of(tabela_T(s));
    std::vector<std::string> t4 = lines_of(tabela_U(s));
    EXPECT_EQ(t12.size(), c.lines12) << "nm " << c.nm;
    EXPECT_EQ(t3.size(), c.lines3) << "nm " << c.nm;
    EXPECT_EQ(t4.size(), c.lines4) << "nm " << c.nm;
    if (c.nm >= 1 && t3.size() >= 4) {
      EXPECT_EQ(t3[3].size(), 58u) << "nm " << c.nm;
    }
    if (c.nm >= 2 && t3.size() >= 5) {
      EXPECT_EQ(t3[4].size(), 104u) << "nm " << c.nm;
    }
    const size_t table2 = 3 + static_cast<size_t>(c.nm);  // its empty lines and heading
    for (size_t k = 3; k < t12.size(); ++k) {
      if (k >= table2 && k < table2 + 3) continue;
      EXPECT_EQ(t12[k].size(), 122u) << "nm " << c.nm << " line " << k;
    }
  }
}

}  // namespace
}  // namespace morvantide
