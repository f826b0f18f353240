#include "analysis.h"

#include <pybind11/numpy.h>

#include <limits>
#include <vector>

#include "common/decimal.h"
#include "common/platform.h"
#include "field/npy.h"
#include "report/results.h"

namespace py = pybind11;

namespace morvantide::python {

namespace {

// Converts the numbers of one build: Decimal is looked up once per build.
class Converter {
 public:
  Converter() : decimal_(py::module_::import("decimal").attr("Decimal")) {}

  // A real as --json writes it, read back as json.loads(parse_float=Decimal)
  // reads it: the shortest text, as Decimal; "inf", "-inf", "nan" as str.
  py::object real_value(real x) const {
    const std::string text = shortest_decimal(x);
    if (q_isnan(x) || q_isinf(x)) return py::str(text);
    return decimal_(text);
  }

  py::object cell_value(const Cell& c) const {
    switch (c.kind) {
      case Cell::Kind::kReal:
        return real_value(c.number);
      case Cell::Kind::kText:
        return py::str(c.text);
      case Cell::Kind::kFlag:
        return py::bool_(c.flag);
      case Cell::Kind::kWhole:
        return py::int_(c.whole);
      case Cell::Kind::kMissing:
        break;
    }
    return py::none();
  }

  // A figure of the finest grid; an object's figures as a dict.
  py::object finest_value(const FinestColumn& column, const Finest& f) const {
    const Cell c = column.at(f);
    if (column.fields == nullptr || c.kind == Cell::Kind::kMissing) return cell_value(c);
    py::dict d;
    for (const FinestColumn& inner : *column.fields) {
      d[py::str(inner.name)] = cell_value(inner.at(f));
    }
    return d;
  }

  // A per-grid list as a tuple, grids coarsest first.
  py::tuple list(const Result& r, const ReportColumn& column) const {
    py::tuple out(r.grids());
    for (int32_t i = 1; i <= r.grids(); ++i) {
      out[static_cast<size_t>(i - 1)] = cell_value(r.at(column, i));
    }
    return out;
  }

  py::object decimal_of(real x) const { return decimal_(shortest_decimal(x)); }

 private:
  py::object decimal_;
};

// A thing of the frozen object made for handing out: its tuples become
// lists, its dicts new dicts; the entries themselves are shared.
py::object thawed(py::handle x) {
  if (PyTuple_Check(x.ptr())) return py::reinterpret_steal<py::object>(PySequence_List(x.ptr()));
  if (PyDict_Check(x.ptr())) {
    py::dict out;
    for (auto item : py::reinterpret_borrow<py::dict>(x)) out[item.first] = thawed(item.second);
    return out;
  }
  return py::reinterpret_borrow<py::object>(x);
}

// The double of a cell: one rounding of a real (ties to even); truth values
// 1 and 0; missing values and words NaN.
double double_of(const Cell& c) {
  switch (c.kind) {
    case Cell::Kind::kReal:
      return double_from_real(c.number);
    case Cell::Kind::kFlag:
      return c.flag ? 1.0 : 0.0;
    case Cell::Kind::kWhole:
      return static_cast<double>(c.whole);
    case Cell::Kind::kText:
    case Cell::Kind::kMissing:
      break;
  }
  return std::numeric_limits<double>::quiet_NaN();
}

py::array_t<double> float_list(const Result& r, const ReportColumn& column) {
  py::array_t<double> out(r.grids());
  double* o = out.mutable_data();
  for (int32_t i = 1; i <= r.grids(); ++i) o[i - 1] = double_of(r.at(column, i));
  return out;
}

}  // namespace

const py::dict& PyAnalysis::frozen() const {
  if (frozen_) return reinterpret_cast<const py::dict&>(frozen_);
  const CLocaleScope c_locale;  // for the digits of the numbers
  const Converter convert;
  py::dict d;
  d["number"] = py::int_(r_.number());
  const std::string name = r_.name();
  d["name"] = name.empty() ? py::object(py::none()) : py::object(py::str(name));
  for (const ReportColumn& column : kQuantityColumns) d[column.name] = convert.list(r_, column);
  py::dict verdict;
  for (const ReportColumn& column : kVerdictColumns) {
    verdict[column.name] = convert.list(r_, column);
  }
  py::dict finest;
  for (const FinestColumn& column : kFinestColumns) {
    finest[py::str(column.name)] = convert.finest_value(column, r_.finest());
  }
  verdict["finest"] = finest;
  d["verdict"] = verdict;
  frozen_ = std::move(d);
  return reinterpret_cast<const py::dict&>(frozen_);
}

py::dict PyAnalysis::to_dict() const { return thawed(frozen()); }

py::object PyAnalysis::entry(const std::string& name) const {
  const py::dict& d = frozen();
  if (name.rfind("__", 0) == 0 || !d.contains(name)) {
    throw py::attribute_error("'Analysis' object has no attribute '" + name + "'");
  }
  if (!attributes_) attributes_ = py::dict();
  py::dict given = attributes_;
  if (!given.contains(name)) given[name.c_str()] = thawed(d[name.c_str()]);
  return given[name.c_str()];
}

py::list PyAnalysis::keys() const { return py::list(frozen()); }

py::object PyAnalysis::h() const {
  if (!h_) {
    const CLocaleScope c_locale;
    const Converter convert;
    py::list out;
    for (real x : r_.h()) out.append(convert.decimal_of(x));
    h_ = std::move(out);
  }
  return h_;
}

// A variable's name is bytes from the table: UTF-8, or else the
// Windows-1252 of the program's files.
py::str PyAnalysis::summary() const {
  const CLocaleScope c_locale;
  const std::string text = r_.summary();
  PyObject* utf8 = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), nullptr);
  if (utf8 != nullptr) return py::reinterpret_steal<py::str>(utf8);
  PyErr_Clear();
  return py::bytes(text).attr("decode")("cp1252", "replace");
}

py::object PyAnalysis::settings() const {
  if (!settings_) {
    const CLocaleScope c_locale;
    const py::object decimal = py::module_::import("decimal").attr("Decimal");
    py::dict d = py::module_::import("json").attr("loads")(
        r_.settings_json(), py::arg("parse_float") = decimal, py::arg("parse_int") = decimal);
    d["itmax"] = py::int_(d["itmax"]);
    settings_ = std::move(d);
  }
  return settings_;
}

py::dict PyAnalysis::float64() const {
  py::dict d;
  const std::vector<real> sizes = r_.h();
  py::array_t<double> h(static_cast<py::ssize_t>(sizes.size()));
  for (size_t i = 0; i < sizes.size(); ++i) h.mutable_data()[i] = double_from_real(sizes[i]);
  d["h"] = h;
  for (const ReportColumn& column : kQuantityColumns) d[column.name] = float_list(r_, column);
  py::dict verdict;
  for (const ReportColumn& column : kVerdictColumns) verdict[column.name] = float_list(r_, column);
  d["verdict"] = verdict;
  return d;
}

void register_analysis(py::module_& m) {
  py::class_<PyAnalysis>(m, "Analysis",
                         "One analysed variable: to_dict() is its object of the program's JSON.")
      .def("to_dict", &PyAnalysis::to_dict,
           "The variable's object of --json: reals as Decimal, None when missing; new lists and "
           "dicts each call.")
      .def("summary", &PyAnalysis::summary, "The text --summary prints for the variable.")
      .def_property_readonly("h", &PyAnalysis::h,
                             "The grid sizes, coarsest first, as Decimal (the same list each "
                             "time: not to be modified).")
      .def_property_readonly("settings", &PyAnalysis::settings,
                             "The study's settings: pL, dp, refinement, itmax, tol, pU_min, "
                             "pU_max.")
      .def("__getattr__", &PyAnalysis::entry)
      .def("_keys", &PyAnalysis::keys, "The keys of to_dict().")
      .def("_float64", &PyAnalysis::float64,
           "h and the per-grid lists as float64 arrays, each real rounded once.");
}

}  // namespace morvantide::python
