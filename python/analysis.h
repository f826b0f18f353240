// The Analysis objects of the module: one analysed variable as Python sees
// it.  Its object (to_dict()) is built once, when first asked, straight from
// the result's tables: the reals as decimal.Decimal of their shortest text
// (the digits --json writes), "inf", "-inf" and "nan" as str, a missing
// value None.  Attributes hand out that one build: a.Th is the same list
// each time (not to be modified), so a loop over a.Th[i] is linear;
// to_dict() gives fresh lists and dicts of the same entries.
//
//   a.Th is a.Th                        -> True
//   a.to_dict()["Th"] == a.Th           -> True, a list of its own
//   a._float64()["Th"]                  -> float64 array, each binary128 value
//                                          rounded once to the nearest double
#ifndef MORVANTIDE_PYTHON_ANALYSIS_H_
#define MORVANTIDE_PYTHON_ANALYSIS_H_

#include <pybind11/pybind11.h>

#include <string>

#include "study_adapter.h"

namespace morvantide::python {

class PyAnalysis {
 public:
  explicit PyAnalysis(Result r) : r_(std::move(r)) {}

  // The variable's object of --json, fresh lists and dicts each call.
  pybind11::dict to_dict() const;
  // An entry of the object as an attribute (a per-grid list, the verdict,
  // number, name): the same object each time.
  pybind11::object entry(const std::string& name) const;
  pybind11::list keys() const;
  // The grid sizes, coarsest first, as Decimal (the same list each time).
  pybind11::object h() const;
  pybind11::str summary() const;
  // The study's settings, reals as Decimal (the same dict each time).
  pybind11::object settings() const;
  // h and every per-grid list as float64 arrays, nested as to_dict() nests
  // them (the verdict's under "verdict"): a real rounded once from binary128
  // to the nearest double, ties to even; true 1.0, false 0.0; missing and
  // words NaN.  Fresh arrays each call.
  pybind11::dict float64() const;

 private:
  // The object with tuples for its lists, built on the first call.
  const pybind11::dict& frozen() const;

  Result r_;
  mutable pybind11::object frozen_;    // dict, lists as tuples
  mutable pybind11::object attributes_;  // dict: name -> what the attribute gives
  mutable pybind11::object h_;
  mutable pybind11::object settings_;
};

// Adds the class Analysis to the module.
void register_analysis(pybind11::module_& m);

}  // namespace morvantide::python

#endif  // MORVANTIDE_PYTHON_ANALYSIS_H_
