// Field mode in Python: analyse_field(h, F, **settings) returns a Field
// whose per-point figures are numpy arrays, and merge_field_summaries()
// merges the summaries of parts of one field exactly.  The values are read
// and analysed with the interpreter's lock released; no Python object is
// made per point.
//
//   f = morvantide.analyse_field([0.4, 0.2, 0.1], F)     # F: points x grids
//   f.U, f.Th, f.convergence  -> numpy arrays (float64; uint8 with
//                                Field.convergence_names)
//   f.summary                 -> the JSON summary as a dict
//   morvantide.merge_field_summaries([f1.summary, f2.summary]) == the whole's
#include "field/field.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "common/parallel.h"
#include "common/platform.h"
#include "field/field_input.h"
#include "field/field_output.h"
#include "field/npy.h"
#include "field/summary.h"
#include "errors.h"
#include "settings.h"
#include "study_adapter.h"

namespace py = pybind11;

namespace morvantide::python {

namespace {

std::string type_name(py::handle x) { return py::str(py::type::handle_of(x).attr("__name__")); }

// One number from its text, as analyse() reads it: a str as it is; a
// Decimal, int or float from str(x) (the shortest text of a float).
real number_of(py::handle x, const std::string& what) {
  if (py::isinstance<py::bool_>(x) || x.is_none()) {
    throw py::value_error(what + ": expected a number, found " +
                          (x.is_none() ? std::string("None") : type_name(x)));
  }
  real v = 0;
  raise_if_error(read_number(py::str(x), what, &v));
  return v;
}

// The settings of a field: the keywords of analyse() that apply to it.
TableSettings field_settings(const py::kwargs& kw, bool* least_squares) {
  SettingValues v;
  const std::pair<const char*, py::object*> keys[] = {
      {"cells", &v.cells}, {"order", &v.order}, {"order_step", &v.order_step},
      {"ratio", &v.ratio}, {"order_range", &v.order_range}, {"itmax", &v.itmax},
      {"tol", &v.tol}};
  *least_squares = false;
  for (const auto& [key_handle, value] : kw) {
    const std::string key = py::str(key_handle);
    bool known = key == "least_squares";
    if (known && !value.is_none()) *least_squares = py::cast<bool>(value);
    for (const auto& [name, slot] : keys) {
      if (key == name) {
        *slot = py::reinterpret_borrow<py::object>(value);
        known = true;
      }
    }
    if (!known) {
      throw py::type_error("analyse_field() got an unexpected keyword argument '" + key + "'");
    }
  }
  return table_settings(v);
}

// The figures of a field and its summary.
class Field {
 public:
  py::dict arrays;  // name -> numpy array
  py::object summary;
  int64_t points = 0;

  py::object attribute(const std::string& name) const {
    if (arrays.contains(name)) return arrays[py::str(name)];
    throw py::attribute_error("'Field' object has no attribute '" + name + "'");
  }
};

py::object json_loads(const std::string& text) {
  return py::module_::import("json").attr("loads")(py::str(text));
}

Field analyse_field(const py::object& h, const py::object& F, const py::kwargs& kw) {
  const CLocaleScope c_locale;  // numbers read and written alike in any locale
  bool least_squares = false;
  const TableSettings settings = field_settings(kw, &least_squares);
  // The sizes, read as analyse() reads h.
  if (py::isinstance<py::str>(h) || !py::isinstance<py::iterable>(h)) {
    throw py::value_error("h must be a sequence of numbers, found " + type_name(h));
  }
  std::vector<real> sizes;
  std::vector<std::string> places;
  for (py::handle x : h) {
    places.push_back("h[" + std::to_string(sizes.size()) + "]");
    sizes.push_back(number_of(x, places.back()));
  }
  Study study;
  std::vector<int32_t> grid_of_column;
  raise_if_error(field_study(sizes, places, settings, &study, &grid_of_column));
  const int64_t grids = study.nm;

  // The values: a 2-D array, points by grids; float64 read as analyse()
  // reads floats, anything else (str, Decimal) from its text.
  py::object numpy = py::module_::import("numpy");
  py::object array = numpy.attr("asarray")(F);
  const py::tuple shape = array.attr("shape");
  if (py::len(shape) != 2) {
    throw py::value_error("F must be a 2-D array, points by grids; found " +
                          std::to_string(py::len(shape)) + " dimensions");
  }
  const int64_t points = shape[0].cast<int64_t>();
  if (shape[1].cast<int64_t>() != grids) {
    throw py::value_error("F has " + std::to_string(shape[1].cast<int64_t>()) +
                          " columns (grids) and h gives " + std::to_string(grids) + " sizes");
  }
  std::vector<real> values(static_cast<size_t>(points * grids));
  const std::string kind = py::str(array.attr("dtype").attr("kind"));
  const std::string itemsize = py::str(array.attr("dtype").attr("itemsize"));
  if ((kind == "i" || kind == "u") && itemsize == "8") {
    // Whole numbers, each exact in binary128 (as analyse() reads an int).
    const bool is_signed = kind == "i";
    const py::array c = numpy.attr("ascontiguousarray")(array);
    const void* data = c.data();
    py::gil_scoped_release released;
    for (int64_t p = 0; p < points; ++p) {
      for (int64_t col = 0; col < grids; ++col) {
        const int64_t k = p * grids + col;
        values[static_cast<size_t>(p * grids + grid_of_column[static_cast<size_t>(col)] - 1)] =
            is_signed ? static_cast<real>(static_cast<const int64_t*>(data)[k])
                      : static_cast<real>(static_cast<const uint64_t*>(data)[k]);
      }
    }
  } else if ((kind == "f" && itemsize == "8") || kind == "i" || kind == "u") {
    // float64 (and narrower whole numbers, exact in it).
    const py::array_t<double, py::array::c_style | py::array::forcecast> d(array);
    const double* data = d.data();
    int64_t bad = -1;
    {
      py::gil_scoped_release released;
      for (int64_t k = 0; k < points * grids && bad < 0; ++k) {
        if (!std::isfinite(data[k])) bad = k;
      }
      if (bad < 0) {
        parallel_for(0, points, 4096, [&](int64_t b, int64_t e) {
          for (int64_t p = b; p < e; ++p) {
            for (int64_t c = 0; c < grids; ++c) {
              values[static_cast<size_t>(p * grids + grid_of_column[static_cast<size_t>(c)] - 1)] =
                  real_from_double(data[p * grids + c]);
            }
          }
        });
      }
    }
    if (bad >= 0) {
      throw py::value_error(
          "F[" + std::to_string(bad / grids) + ", " + std::to_string(bad % grids) +
          "]: " + (std::isnan(data[bad]) ? "NaN" : "an infinity") + " is not a value");
    }
  } else {
    // Each element from its text, as analyse() reads it: str or Decimal
    // exact decimals, and floats other than float64 by their own shortest
    // text (a float32 0.1 is 0.1).
    for (int64_t p = 0; p < points; ++p) {
      for (int64_t c = 0; c < grids; ++c) {
        const py::object x = array[py::make_tuple(p, c)];
        values[static_cast<size_t>(p * grids + grid_of_column[static_cast<size_t>(c)] - 1)] =
            number_of(x, "F[" + std::to_string(p) + ", " + std::to_string(c) + "]");
      }
      if (p % 4096 == 4095 && PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
  }

  Field f;
  f.points = points;
  FieldColumns columns;
  columns.resize(points);
  FieldSummary summary(study);
  {
    // A block at a time, a fraction of a second each, looking for signals
    // between blocks: Ctrl-C raises KeyboardInterrupt without waiting for
    // the whole field.  The summary's merge is exact, so blocks change no bit.
    const int64_t block = least_squares ? 512 : 8192;
    const FieldGrids field(study, least_squares);
    for (int64_t start = 0; start < points; start += block) {
      const int64_t count = std::min(block, points - start);
      {
        py::gil_scoped_release released;
        analyse_field_block(field, values.data() + start * grids, count, &columns, start,
                            &summary);
      }
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    }
  }
  const std::vector<std::string> names = field_output_names(true);
  const std::vector<const std::vector<real>*> reals = {
      &columns.Th,  &columns.p_observed, &columns.p_U,        &columns.Ti_pU,
      &columns.Tm1, &columns.U,          &columns.U_relative, &columns.U_LS};
  for (size_t k = 0; k < reals.size(); ++k) {
    py::array_t<double> out(points);
    double* o = out.mutable_data();
    const std::vector<real>& column = *reals[k];
    const bool present = k == 0 || k == 4;  // Th and Tm1 always have a value
    {
      py::gil_scoped_release released;
      parallel_for(0, points, 8192, [&](int64_t b, int64_t e) {
        for (int64_t i = b; i < e; ++i) {
          const real x = column[static_cast<size_t>(i)];
          o[i] = (!present && x == kSentinel) || q_isnan(x)
                     ? std::numeric_limits<double>::quiet_NaN()
                     : double_from_real(x);
        }
      });
    }
    out.attr("flags").attr("writeable") = false;
    f.arrays[py::str(names[k])] = out;
  }
  const std::pair<const char*, const std::vector<uint8_t>*> small[] = {
      {"convergence", &columns.convergence}, {"asymptotic", &columns.asymptotic}};
  for (const auto& [name, data] : small) {
    py::array_t<uint8_t> out(points);
    std::copy(data->begin(), data->end(), out.mutable_data());
    out.attr("flags").attr("writeable") = false;
    f.arrays[py::str(name)] = out;
  }
  py::array_t<bool> dependable(points);
  for (int64_t i = 0; i < points; ++i) {
    dependable.mutable_data()[i] = columns.dependable[static_cast<size_t>(i)] != 0;
  }
  dependable.attr("flags").attr("writeable") = false;
  f.arrays[py::str("gci_dependable")] = dependable;
  f.summary = json_loads(summary_json(summary, "array"));
  return f;
}

FieldSummary summary_of(py::handle part, size_t index) {
  py::object state;
  if (py::isinstance<Field>(part)) {
    state = part.cast<const Field&>().summary["state"];
  } else if (py::isinstance<py::dict>(part) && part.contains("state")) {
    state = part["state"];
  } else {
    throw py::value_error("merge_field_summaries: part " + std::to_string(index) +
                          " is not a field summary (a Field or its .summary dict)");
  }
  FieldSummary s;
  raise_if_error(summary_from_state(py::str(state), &s));
  return s;
}

py::tuple words(const std::vector<const char*>& w) {
  py::tuple out(w.size());
  for (size_t k = 0; k < w.size(); ++k) out[k] = py::str(w[k]);
  return out;
}

}  // namespace

void register_field(py::module_& m) {
  py::class_<Field>(m, "Field",
                    "A field's per-point figures (numpy arrays named as the verdict's finest "
                    "figures: Th, p_observed, p_U, Ti_pU, Tm1, U, U_relative, U_LS, "
                    "convergence, asymptotic, gci_dependable) and its summary (a dict).")
      .def_readonly("summary", &Field::summary, "The field's summary, as --json writes it.")
      .def_readonly("points", &Field::points)
      .def_property_readonly_static(
          "convergence_names", [](py::object) { return words(convergence_names()); },
          "The words of each convergence number.")
      .def_property_readonly_static(
          "asymptotic_names", [](py::object) { return words(asymptotic_names()); },
          "The words of each asymptotic-range number.")
      .def("__getattr__", &Field::attribute)
      .def("__dir__",
           [](const Field& f) {
             py::list names;
             for (auto item : f.arrays) names.append(item.first);
             for (const char* n : {"summary", "points", "convergence_names", "asymptotic_names"}) {
               names.append(n);
             }
             return names;
           })
      .def("__len__", [](const Field& f) { return f.points; })
      .def("__repr__", [](const Field& f) {
        return "<morvantide.Field of " + std::to_string(f.points) + " points>";
      });

  m.def("analyse_field", &analyse_field, py::arg("h"), py::arg("F"),
        "Analyses a whole field: F a 2-D array, points by grids, the columns in the order of "
        "h (any order of size).  float64 values are read as analyse() reads floats; str or "
        "Decimal values as exact decimals.  Settings as analyse(): cells, order, order_step, "
        "ratio, order_range, itmax, tol; least_squares=True adds U_LS (about a millisecond a "
        "point).  Returns a Field.");

  m.def(
      "merge_field_summaries",
      [](const py::iterable& parts) {
        const CLocaleScope c_locale;
        std::vector<FieldSummary> summaries;
        size_t index = 0;
        for (py::handle part : parts) summaries.push_back(summary_of(part, index++));
        FieldSummary whole;
        raise_if_error(merge_summaries(summaries, &whole));
        return json_loads(summary_json(whole, "array"));
      },
      py::arg("summaries"),
      "Merges the summaries of parts of one field (Field objects or their .summary dicts) "
      "into the summary of the whole: the same as one call on all its points, bit for bit.");
}

}  // namespace morvantide::python
