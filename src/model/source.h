// What a run read, as its reports name it: the kind of input, the title and
// the files, each text already as the reports write it (UTF-8) and never
// cut to a field's width.
//
//   result files, layout 0:  files = one per grid, coarsest first
//   result files, layout 1:  files = the one file
//   a table:                 files = the table as named ("-": standard input)
#ifndef MORVANTIDE_MODEL_SOURCE_H_
#define MORVANTIDE_MODEL_SOURCE_H_

#include <cstdint>
#include <string>
#include <vector>

namespace morvantide {

struct Source {
  enum class Kind { kResultFiles, kTable };
  Kind kind = Kind::kResultFiles;
  std::string title;
  std::vector<std::string> files;
  // The result files' layout and the variable the control file names; a
  // table has neither.
  int32_t layout = 0;
  int32_t nv = 0;

  // The file of grid i (1 = coarsest): its own in layout 0, else the one.
  const std::string& file_of(int32_t i) const {
    return kind == Kind::kResultFiles && layout == 0 ? files[static_cast<size_t>(i - 1)]
                                                     : files.front();
  }
};

}  // namespace morvantide

#endif  // MORVANTIDE_MODEL_SOURCE_H_
