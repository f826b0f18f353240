// Whole runs on files held in memory: the run sequence, the date stamp, the
// plot title and the checks that keep outputs from overwriting inputs.
#include "run/run.h"

#include <gtest/gtest.h>

#include "common/text.h"

namespace morvantide {
namespace {

TEST(Stamp, WorkedMoments) {
  struct Case {
    LocalTime t;
    const char* dia;
    const char* hora;
  } cases[] = {
      {{2026, 12, 6, 9, 5, 3}, "(6/12/2026) ", "9:5:3   "},
      {{2026, 12, 16, 23, 59, 59}, "(16/12/2026)", "23:59:59"},
      {{2027, 1, 1, 10, 0, 0}, "(1/1/2027)  ", "10:0:0  "},
      // A five-digit year keeps its first four digits.
      {{12345, 1, 1, 0, 0, 0}, "(1/1/1234)  ", "0:0:0   "},
  };
  for (const Case& c : cases) {
    State s;
    stamp(s, c.t);
    EXPECT_EQ(s.dia, c.dia) << c.t.year << "-" << c.t.month << "-" << c.t.day;
    EXPECT_EQ(s.hora, c.hora) << c.t.hour << ":" << c.t.minute << ":" << c.t.second;
  }
}

TEST(PlotTitle, TitleBlankDateApostrophe) {
  struct Case {
    std::string titulo;
    std::string expected;  // without the padding
  } cases[] = {
      {"Caso 1", "Caso 1 (6/12/2026)'"},
      {"", " (6/12/2026)'"},
      {"  lead", "  lead (6/12/2026)'"},
      {std::string(100, 'x'), std::string(100, 'x') + " (6/12/2026)'"},
  };
  for (const Case& c : cases) {
    State s;
    s.titulo = fit(c.titulo, kLenTitulo);
    stamp(s, {2026, 12, 6, 9, 5, 3});
    form_plot_title(s);
    EXPECT_EQ(s.titulo_grafico, fit(c.expected, kLenTituloGrafico)) << c.titulo;
  }
}

}  // namespace
}  // namespace morvantide
