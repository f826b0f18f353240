// NumPy's .npy files (format versions 1 to 3) as a field reads and writes
// them: a 2-D float64 array of points by grids, read in pieces of points;
// and .npz archives (a zip of .npy files, stored without compression) of
// the per-point columns.
//
// A float64 is read as the Python module reads a float: the shortest
// decimal that gives back the same double (as repr() writes it), read into
// binary128 correctly rounded; 0.1 is the decimal 0.1, not the double's
// exact value.
#ifndef MORVANTIDE_FIELD_NPY_H_
#define MORVANTIDE_FIELD_NPY_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "common/quad.h"
#include "common/status.h"

namespace morvantide {

// The binary128 value of the double's shortest decimal, correctly rounded.
//   real_from_double(0.1) == 0.1Q    real_from_double(1e300) == 1e300Q
// REQUIRES: x finite.
real real_from_double(double x);

// The double nearest to x (ties to even): one rounding from binary128.
double double_from_real(real x);

// The header of a .npy file.
struct NpyHeader {
  std::string descr;  // "<f8" is the one a field reads
  bool fortran_order = false;
  std::vector<int64_t> shape;
  int64_t data_offset = 0;  // where the values start
};

// Parses the header at the start of `bytes` (at least its first 10 bytes and
// the header they announce).  `source` names the file in messages.
Status parse_npy_header(const std::string& source, std::string_view bytes, NpyHeader* header);

// A .npy header for a 1-D array of `count` items of type `descr`.
std::string npy_header(const std::string& descr, int64_t count);

// The CRC-32 of zip (polynomial 0xEDB88320), continued from `crc`.
uint32_t crc32_update(uint32_t crc, const void* data, size_t size);

}  // namespace morvantide

#endif  // MORVANTIDE_FIELD_NPY_H_
