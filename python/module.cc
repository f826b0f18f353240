// The extension morvantide._core under the Python package morvantide:
// analyse(h, values, ...), analyse_columns(h, columns, ...) and
// analyse_table(path, ...) return Analysis objects (analysis.h) whose
// to_dict() is the variable's object of --json, numbers as decimal.Decimal.
// The package adds the methods written in Python (repr, to_numpy, to_frame)
// to Analysis.  Failures are raised as errors.h says.
//
// Numbers are read from their text, as the result files' numbers are: a str
// as it is, a decimal.Decimal, an int or a float (Python's or numpy's) from
// str(x), the shortest text that gives back that very value in its own
// type, as Python and numpy write it into a file.  So 0.1 means the decimal
// 0.1 read into binary128, as in a result file; Decimal(0.1) gives the
// double's exact value instead.
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "common/decimal.h"
#include "common/platform.h"
#include "common/version.h"
#include "run/options.h"
#include "analysis.h"
#include "errors.h"
#include "settings.h"
#include "study_adapter.h"

namespace morvantide::python {
void register_field(pybind11::module_& m);  // field.cc
}  // namespace morvantide::python

namespace py = pybind11;
using morvantide::real;
using morvantide::RatioChoice;
using morvantide::Status;
using morvantide::TableSettings;
using morvantide::CLocaleScope;
using morvantide::parse_target;
namespace mp = morvantide::python;
using mp::raise_if_error;

namespace {

// A path as open() takes it: str, bytes or os.PathLike, made bytes by
// os.fsencode (so a name that is not UTF-8 reaches its file); an embedded
// NUL is a ValueError, as in open().
std::string path_bytes(const py::object& path) {
  const std::string bytes = py::bytes(py::module_::import("os").attr("fsencode")(path));
  if (bytes.find('\0') != std::string::npos) throw py::value_error("embedded null byte");
  return bytes;
}

// A call into the program run on a thread of its own; it owns all it reads
// and writes, so it may outlive the call that started it (a daemon thread
// ended by the interpreter's exit).
struct Job {
  std::function<Status(const mp::Settings&, std::vector<mp::Result>*)> work;
  mp::Settings settings;
  std::atomic<bool> stop{false};
  std::mutex mu;
  std::condition_variable ended;
  bool done = false;
  Status status;
  std::vector<mp::Result> results;

  void run() {
    Status s;
    try {
      const CLocaleScope c_locale;
      s = work(settings, &results);
    } catch (const std::bad_alloc&) {
      s = Status::Error("not enough memory for the analysis");
    }
    std::lock_guard<std::mutex> lock(mu);
    status = s;
    done = true;
    ended.notify_all();
  }
};

// Runs the job with the interpreter's lock released while this thread
// looks for signals a few times a second: a signal's exception
// (KeyboardInterrupt on Ctrl-C) stops the job, which ends within a level of
// its table, and is raised.  The lock is released and taken back by plain
// calls, never in a destructor: at the interpreter's exit taking it ends a
// daemon thread by unwinding its stack, which passes through this frame.
std::vector<mp::Result> run_stoppable(std::shared_ptr<Job> job) {
  job->settings.stop = &job->stop;
  PyThreadState* saved = PyEval_SaveThread();
  bool started = true;
  try {
    std::thread([job] { job->run(); }).detach();
  } catch (const std::system_error&) {
    started = false;
  }
  if (!started) job->run();  // no thread to spare: the job runs here, not stoppable
  bool interrupted = false;
  for (;;) {
    {
      std::unique_lock<std::mutex> lock(job->mu);
      if (job->ended.wait_for(lock, std::chrono::milliseconds(100), [&] { return job->done; })) {
        break;
      }
    }
    if (interrupted) continue;
    PyEval_RestoreThread(saved);
    if (PyErr_CheckSignals() != 0) {
      interrupted = true;
      job->stop.store(true);
    }
    saved = PyEval_SaveThread();
  }
  PyEval_RestoreThread(saved);
  if (interrupted) throw py::error_already_set();
  raise_if_error(job->status);
  return std::move(job->results);
}

std::string type_name(py::handle x) { return py::str(py::type::handle_of(x).attr("__name__")); }

bool is_instance_of(py::handle x, const char* module, const char* name) {
  return py::isinstance(x, py::module_::import(module).attr(name));
}

// The text a Python number is read from (see the top of the file).
std::string number_text(py::handle x, const std::string& what) {
  if (py::isinstance<py::str>(x)) return x.cast<std::string>();
  const bool decimal = is_instance_of(x, "decimal", "Decimal");
  const bool is_bool = py::isinstance<py::bool_>(x) || type_name(x) == "bool_";
  if (is_bool || (!decimal && !is_instance_of(x, "numbers", "Real"))) {
    throw py::value_error(what + ": expected a number (int, float, Decimal or str), found " +
                          (x.is_none() ? std::string("None") : type_name(x)));
  }
  return py::str(x);
}

real to_real(py::handle x, const std::string& what) {
  real value = 0;
  raise_if_error(mp::read_number(number_text(x, what), what, &value));
  return value;
}

// The numbers of a sequence (list, tuple, numpy array, any iterable of
// numbers); `name` names it in messages ("h" -> "h[3]").
std::vector<real> to_reals(py::handle seq, const std::string& name) {
  if (py::isinstance<py::str>(seq) || py::isinstance<py::bytes>(seq) ||
      !py::isinstance<py::iterable>(seq)) {
    throw py::value_error(name + " must be a sequence of numbers (a list, tuple or numpy array), "
                          "found " + (seq.is_none() ? std::string("None") : type_name(seq)));
  }
  // More grids than a run takes are refused before they are read.
  constexpr size_t kMost = morvantide::kMaxGrids;
  if (py::hasattr(seq, "__len__") && py::len(seq) > kMost) {
    throw py::value_error(name + ": " + std::to_string(py::len(seq)) +
                          " grids are more than a run takes (at most " + std::to_string(kMost) +
                          ")");
  }
  std::vector<real> out;
  for (py::handle x : seq) {
    if (out.size() == kMost) {
      throw py::value_error(name + ": more grids than a run takes (at most " +
                            std::to_string(kMost) + ")");
    }
    out.push_back(to_real(x, name + "[" + std::to_string(out.size()) + "]"));
  }
  return out;
}

// A setting's value, refused as the program's option of the same name
// refuses it: "bad value for NAME: VALUE (EXPECTED)".
[[noreturn]] void bad_setting(const std::string& name, py::handle value,
                              const std::string& expected) {
  throw py::value_error("bad value for " + name + ": " + std::string(py::repr(value)) + " (" +
                        expected + ")");
}

// None keeps the direct run's default of each setting.
mp::Settings to_settings(const py::object& cells, const py::object& order,
                         const py::object& order_step, const py::object& ratio,
                         const py::object& order_range, const py::object& itmax,
                         const py::object& tol, const py::object& target, bool least_squares) {
  mp::Settings s;
  s.table = mp::table_settings({cells, order, order_step, ratio, order_range, itmax, tol});
  if (!target.is_none()) {
    if (py::isinstance<py::bool_>(target) || !parse_target(py::str(target), &s.target)) {
      bad_setting("target", target, "a positive number, or a percentage such as 0.1%");
    }
  }
  s.least_squares = least_squares;
  return s;
}

std::vector<mp::PyAnalysis> wrap(std::vector<mp::Result>& results) {
  std::vector<mp::PyAnalysis> out;
  for (mp::Result& r : results) out.emplace_back(std::move(r));
  return out;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() = "Error estimates of a grid refinement study, computed in binary128.";
  m.attr("__version__") = morvantide::kVersion;
  mp::single_thread_after_fork();
  mp::register_field(m);

  mp::register_analysis(m);

  // The words of the verdict's convergence types in the order of their
  // codes (Analysis.to_numpy()'s "convergence").
  using morvantide::Convergence;
  py::list convergence;
  for (int c = 0; c <= static_cast<int>(Convergence::kOscillatoryDivergence); ++c) {
    convergence.append(morvantide::convergence_words(static_cast<Convergence>(c)));
  }
  m.attr("CONVERGENCE") = py::tuple(convergence);

  const char* options_doc =
      "Settings as the program's options, None for the program's default: cells=D (1, 2, 3): h "
      "holds cell counts of a D-dimensional grid; order (2), order_step (1): pL and dp; ratio: "
      "'constant', 'variable' or None (detected); order_range ((0.5, 5)): (pU_min, pU_max); "
      "itmax (50), tol (1e-12): the order search; target: an uncertainty (1e-6) or a share of "
      "|Th| ('0.1%'); least_squares=False leaves the least-squares lists missing.";

  m.def(
      "analyse",
      [](const py::object& h, const py::object& values, const py::object& cells,
         const py::object& order, const py::object& order_step, const py::object& ratio,
         const py::object& order_range, const py::object& itmax, const py::object& tol,
         const py::object& target, bool least_squares) {
        auto job = std::make_shared<Job>();
        std::vector<real> sizes;
        std::vector<mp::Column> columns(1);
        {
          const CLocaleScope c_locale;  // for the texts of the numbers
          job->settings = to_settings(cells, order, order_step, ratio, order_range, itmax, tol,
                                      target, least_squares);
          sizes = to_reals(h, "h");
          columns[0].values = to_reals(values, "values");
        }
        job->work = [sizes, columns](const mp::Settings& settings,
                                     std::vector<mp::Result>* out) {
          return mp::analyse_lists(sizes, columns, settings, out);
        };
        std::vector<mp::Result> results = run_stoppable(job);
        return std::move(wrap(results).front());
      },
      py::arg("h"), py::arg("values"), py::kw_only(), py::arg("cells") = py::none(), py::arg("order") = py::none(),
      py::arg("order_step") = py::none(), py::arg("ratio") = py::none(),
      py::arg("order_range") = py::none(), py::arg("itmax") = py::none(),
      py::arg("tol") = py::none(), py::arg("target") = py::none(),
      py::arg("least_squares") = true,
      (std::string("Analyses one variable: h and values, one per grid, in any order. ") +
       options_doc)
          .c_str());

  m.def(
      "analyse_columns",
      [](const py::object& h, const py::object& columns, const py::object& cells,
         const py::object& order, const py::object& order_step, const py::object& ratio,
         const py::object& order_range, const py::object& itmax, const py::object& tol,
         const py::object& target, bool least_squares) {
        const mp::Settings s = to_settings(cells, order, order_step, ratio, order_range, itmax,
                                           tol, target, least_squares);
        const std::vector<real> sizes = to_reals(h, "h");
        // A mapping gives its items; any other iterable, (name, values) pairs.
        const py::object pairs =
            py::hasattr(columns, "items") ? columns.attr("items")() : columns;
        if (py::isinstance<py::str>(columns) || !py::isinstance<py::iterable>(pairs)) {
          throw py::value_error("columns must be a mapping of names to values, found " +
                                (columns.is_none() ? std::string("None") : type_name(columns)));
        }
        std::vector<mp::Column> list;
        for (py::handle pair : pairs) {
          if (py::isinstance<py::str>(pair) || !py::isinstance<py::sequence>(pair) ||
              py::len(pair) != 2) {
            throw py::value_error("columns must be a mapping of names to values, or (name, "
                                  "values) pairs, found " + type_name(pair));
          }
          const py::sequence item = py::reinterpret_borrow<py::sequence>(pair);
          mp::Column column;
          column.name = py::str(item[0]);
          if (column.name.empty()) throw py::value_error("a column needs a name");
          column.values = to_reals(item[1], column.name);
          list.push_back(std::move(column));
        }
        if (list.empty()) throw py::value_error("columns is empty: name at least one column");
        std::vector<mp::Result> results;
        Status status;
        {
          py::gil_scoped_release released;
          status = mp::analyse_lists(sizes, list, s, &results);
        }
        raise_if_error(status);
        return wrap(results);
      },
      py::arg("h"), py::arg("columns"), py::kw_only(), py::arg("cells") = py::none(),
      py::arg("order") = py::none(), py::arg("order_step") = py::none(),
      py::arg("ratio") = py::none(), py::arg("order_range") = py::none(),
      py::arg("itmax") = py::none(), py::arg("tol") = py::none(),
      py::arg("target") = py::none(), py::arg("least_squares") = true,
      (std::string("Analyses several variables on the same grids, as the columns of a table: "
                   "columns maps each name to its values, one per grid in the order of h. ") +
       options_doc)
          .c_str());

  m.def(
      "analyse_table",
      [](const py::object& path, const py::object& cells, const py::object& order,
         const py::object& order_step, const py::object& ratio, const py::object& order_range,
         const py::object& itmax, const py::object& tol, const py::object& target,
         bool least_squares) {
        auto job = std::make_shared<Job>();
        {
          const CLocaleScope c_locale;  // for the texts of the numbers
          job->settings = to_settings(cells, order, order_step, ratio, order_range, itmax, tol,
                                      target, least_squares);
        }
        const std::string file = path_bytes(path);
        job->work = [file](const mp::Settings& settings, std::vector<mp::Result>* out) {
          return mp::analyse_file(file, settings, out);
        };
        std::vector<mp::Result> results = run_stoppable(job);
        return wrap(results);
      },
      py::arg("path"), py::kw_only(), py::arg("cells") = py::none(), py::arg("order") = py::none(),
      py::arg("order_step") = py::none(), py::arg("ratio") = py::none(),
      py::arg("order_range") = py::none(), py::arg("itmax") = py::none(),
      py::arg("tol") = py::none(), py::arg("target") = py::none(),
      py::arg("least_squares") = true,
      (std::string("Reads a table (h, then one column per variable) and analyses every "
                   "variable. ") +
       options_doc)
          .c_str());
}
