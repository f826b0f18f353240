// Writing a field's per-point figures, a piece of points at a time:
// - .npz: NumPy's archive of .npy arrays (stored, no compression), one per
//   figure, named as field_column_names() names them: the reals as float64
//   (each the binary128 value correctly rounded, NaN where missing), the
//   convergence type and the asymptotic-range check as small integers
//   (uint8) with their words in convergence_names and asymptotic_names,
//   gci_dependable as booleans.  The columns are kept in temporary files
//   until the end, so memory follows the piece, not the field.
// - CSV: the coordinates as they were read, then the figures, one row per
//   point; reals as the shortest decimal of their float64 (or `digits`
//   significant digits of the binary128 value), "nan" where missing; the
//   convergence type and the check as their numbers.  CR LF line ends.
#ifndef MORVANTIDE_FIELD_FIELD_OUTPUT_H_
#define MORVANTIDE_FIELD_FIELD_OUTPUT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/files.h"
#include "common/status.h"
#include "field/field.h"
#include "field/field_input.h"

namespace morvantide {

class FieldWriter {
 public:
  virtual ~FieldWriter() = default;
  // The first `count` points of `columns`, with their coordinates (none
  // when the field has none).
  virtual Status write(const FieldColumns& columns, int64_t count,
                       const CoordinateTexts& coordinates) = 0;
  // Completes the file and closes it.
  virtual Status finish() = 0;
};

std::unique_ptr<FieldWriter> npz_writer(std::unique_ptr<OutputFile> out, bool least_squares);
std::unique_ptr<FieldWriter> csv_writer(std::unique_ptr<OutputFile> out,
                                        const std::vector<std::string>& coordinate_names,
                                        bool least_squares, int digits);

// The names of the per-point figures in the outputs, in their order (U_LS
// last, only when asked).
std::vector<std::string> field_output_names(bool least_squares);

}  // namespace morvantide

#endif  // MORVANTIDE_FIELD_FIELD_OUTPUT_H_
