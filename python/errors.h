// How a failed Status reaches Python: a fault of the data is a ValueError, a
// missing file a FileNotFoundError, another fault of a file an OSError (of
// the subclass its errno gives: IsADirectoryError, PermissionError, ...).
// str() of each is the program's message, word for word; an OSError also
// carries its errno (its filename stays unset: set, Python would show it in
// str() instead of the message).
//
//   none.csv: cannot open (No such file or directory)  -> FileNotFoundError, errno ENOENT
//   study.csv:5:7: expected a number, found "abc"      -> ValueError
#ifndef MORVANTIDE_PYTHON_ERRORS_H_
#define MORVANTIDE_PYTHON_ERRORS_H_

#include "common/status.h"

namespace morvantide::python {

// Raises the Python exception of a failed status (throws
// pybind11::error_already_set or pybind11::value_error); nothing when ok.
void raise_if_error(const Status& status);

}  // namespace morvantide::python

#endif  // MORVANTIDE_PYTHON_ERRORS_H_
