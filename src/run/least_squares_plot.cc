#include "run/least_squares_plot.h"

#include <string>

#include "common/text.h"

namespace morvantide {

std::string least_squares_title(const std::string& titulo_grafico) {
  std::string title = trim(titulo_grafico);
  const bool closed = !title.empty() && title.back() == '\'';
  if (closed) title.pop_back();
  return title + kLeastSquaresNeedsGrids + (closed ? "'" : "");
}

}  // namespace morvantide
