// Reading a field: the values of one quantity at common points on N >= 3
// grids, a piece of points at a time, so that memory follows the piece and
// not the field.
//
// Two forms:
// - a point table (CSV, TSV or blank-separated, with the data reader's
//   rules: input/table.h): one row per point, optional coordinate columns,
//   then one value column per grid.  The grid sizes come from --h (then the
//   last that many columns are the grids, and a first row with a field that
//   is not a number is a header of names), or from the header, whose
//   fields after the coordinates' names are the grids' sizes as numbers
//   (h, or cell counts with --cells):
//       x,y,0.4,0.2,0.1
//       0.5,0.25,1.16,1.04,1.01
//   Every row has as many fields as the first; a value that is not a
//   number is a "FILE:LINE:COLUMN: ..." error.
// - a NumPy .npy file: a 2-D float64 array, points by grids, with the
//   sizes from --h (field/npy.h for how a float64 is read).
// The grids may come in any order of size: they are sorted from coarse to
// fine as a data table's are, and so are each point's values.
#ifndef MORVANTIDE_FIELD_FIELD_INPUT_H_
#define MORVANTIDE_FIELD_FIELD_INPUT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/files.h"
#include "common/status.h"
#include "input/table.h"
#include "model/state.h"

namespace morvantide {

struct FieldInputSettings {
  TableSettings table;              // --cells, --ratio and the analysis settings
  std::vector<real> h;              // --h; empty: from the table's header
  std::vector<std::string> h_text;  // as given, for messages
};

// The grids of a field from their sizes in the order of the columns:
// sorted coarse to fine in *study (with the settings and ratio detection of
// a data table); grid_of_column[c] is the grid (1..nm) of column c.
// `places` names each size in messages ("--h value 2", "t.csv:1:9").
Status field_study(const std::vector<real>& sizes, const std::vector<std::string>& places,
                   const TableSettings& settings, Study* study,
                   std::vector<int32_t>* grid_of_column);

// The coordinates of a piece of points as the CSV output writes them, in
// one block: point k's fields (each quoted where it must be, each followed
// by a comma) are text[offsets[k], offsets[k + 1]).
struct CoordinateTexts {
  std::string text;
  std::vector<size_t> offsets = {0};
  void clear() {
    text.clear();
    offsets.assign(1, 0);
  }
  std::string_view of(int64_t k) const {
    const size_t i = static_cast<size_t>(k);
    return std::string_view(text).substr(offsets[i], offsets[i + 1] - offsets[i]);
  }
};

// A field as CSV writes it: quoted when it holds a comma, a quote or a line end.
void append_csv_field(std::string_view text, std::string* out);

class FieldReader {
 public:
  virtual ~FieldReader() = default;
  const Study& study() const { return study_; }
  // The names of the coordinate columns passed through (empty names for a
  // table without header, none for .npy).
  const std::vector<std::string>& coordinate_names() const { return coordinate_names_; }
  // The points in all, -1 when not known before the end.
  int64_t total_points() const { return total_points_; }
  // Reads up to `most` points: their values in *values (point by point,
  // grids coarse to fine) and, when `coordinates` is given, the texts of
  // their coordinates.  *count is 0 at the end.
  virtual Status next(int64_t most, std::vector<real>* values, CoordinateTexts* coordinates,
                      int64_t* count) = 0;

 protected:
  Study study_;
  std::vector<int32_t> grid_of_column_;
  std::vector<std::string> coordinate_names_;
  int64_t total_points_ = -1;
};

// Opens the field: .npy by its name's ending (or its signature), a table
// otherwise.  `source` names it in messages.
Status open_field(const std::string& name, Files& files, const FieldInputSettings& settings,
                  std::unique_ptr<FieldReader>* reader);

// A decimal number read as parse_real reads it (binary128, correctly
// rounded), quickly where it is short.
bool read_decimal(std::string_view text, real* out);

}  // namespace morvantide

#endif  // MORVANTIDE_FIELD_FIELD_INPUT_H_
