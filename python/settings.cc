#include "settings.h"

#include <string>

#include "input/study_settings.h"

namespace py = pybind11;

namespace morvantide::python {

namespace {

[[noreturn]] void bad_setting(const char* name, py::handle value, const std::string& expected) {
  throw py::value_error("bad value for " + std::string(name) + ": " +
                        std::string(py::repr(value)) + " (" + expected + ")");
}

bool is_instance_of(py::handle x, const char* module, const char* name) {
  return py::isinstance(x, py::module_::import(module).attr(name));
}

// The text of a number setting: a str, a real number or a Decimal (never a
// bool), without the blanks around it; empty (refused) for anything else.
std::string number_text(py::handle value) {
  const bool number = !py::isinstance<py::bool_>(value) &&
                      (py::isinstance<py::str>(value) || is_instance_of(value, "numbers", "Real") ||
                       is_instance_of(value, "decimal", "Decimal"));
  if (!number) return std::string();
  const std::string text = py::str(value);
  const char* blanks = " \t\r\n";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) + 1 - first);
}

void read(StudySetting s, const char* name, const py::object& value, bool number,
          TableSettings* t) {
  if (value.is_none()) return;
  const std::string text = number                             ? number_text(value)
                           : py::isinstance<py::bool_>(value) ? std::string()
                                                              : std::string(py::str(value));
  if (!read_study_setting(s, text, t)) bad_setting(name, value, setting_expected(s));
}

}  // namespace

TableSettings table_settings(const SettingValues& v) {
  TableSettings t;
  read(StudySetting::kCells, "cells", v.cells, false, &t);
  read(StudySetting::kOrder, "order", v.order, true, &t);
  read(StudySetting::kOrderStep, "order_step", v.order_step, true, &t);
  if (!v.ratio.is_none()) {
    const std::string r = py::isinstance<py::str>(v.ratio) ? v.ratio.cast<std::string>() : "";
    if (!read_ratio(r, &t)) bad_setting("ratio", v.ratio, "'constant', 'variable' or None");
  }
  if (!v.order_range.is_none()) {
    const char* expected = "(pU_min, pU_max), two numbers, the first the smaller, such as (0.5, 5)";
    const bool pair = !py::isinstance<py::str>(v.order_range) &&
                      py::isinstance<py::sequence>(v.order_range) && py::len(v.order_range) == 2;
    if (!pair) bad_setting("order_range", v.order_range, expected);
    const py::sequence range = v.order_range;
    if (!read_order_range(number_text(range[0]), number_text(range[1]), &t)) {
      bad_setting("order_range", v.order_range, expected);
    }
  }
  read(StudySetting::kItmax, "itmax", v.itmax, false, &t);
  read(StudySetting::kTol, "tol", v.tol, true, &t);
  return t;
}

}  // namespace morvantide::python
