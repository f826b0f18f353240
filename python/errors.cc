#include "errors.h"

#include <pybind11/pybind11.h>

#include <cerrno>

namespace py = pybind11;

namespace morvantide::python {

void raise_if_error(const Status& status) {
  if (status.ok()) return;
  if (status.kind() == Status::Kind::kData) throw py::value_error(status.message());
  const int err = status.kind() == Status::Kind::kFileNotFound && status.system_error() == 0
                      ? ENOENT
                      : status.system_error();
  py::object type = py::reinterpret_borrow<py::object>(
      status.kind() == Status::Kind::kFileNotFound ? PyExc_FileNotFoundError : PyExc_OSError);
  // OSError(errno, text) is made of the subclass of its errno; the exception
  // raised is made with the message alone, so that str() is the message.
  if (status.kind() == Status::Kind::kFile && err != 0) {
    type = py::type::of(type(err, ""));
  }
  py::object error = type(py::str(status.message()));
  if (err != 0) error.attr("errno") = err;
  PyErr_SetObject(type.ptr(), error.ptr());
  throw py::error_already_set();
}

}  // namespace morvantide::python
