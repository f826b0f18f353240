// The study's settings from the keywords of analyse(), analyse_columns(),
// analyse_table() and analyse_field(), by the program's own rules
// (input/study_settings.h): each value becomes its text and is read as the
// option of the same name reads it; None keeps the default.  A refused value
// raises ValueError("bad value for NAME: repr(VALUE) (EXPECTED)").
#ifndef MORVANTIDE_PYTHON_SETTINGS_H_
#define MORVANTIDE_PYTHON_SETTINGS_H_

#include <pybind11/pybind11.h>

#include "input/table.h"

namespace morvantide::python {

struct SettingValues {
  pybind11::object cells = pybind11::none(), order = pybind11::none(),
                   order_step = pybind11::none(), ratio = pybind11::none(),
                   order_range = pybind11::none(), itmax = pybind11::none(),
                   tol = pybind11::none();
};

TableSettings table_settings(const SettingValues& v);

}  // namespace morvantide::python

#endif  // MORVANTIDE_PYTHON_SETTINGS_H_
