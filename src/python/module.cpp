// morvik._core: the compiled part of the Python module. The package `morvik` around it
// adds pandas tables and the Dask mapping.

#include <pybind11/pybind11.h>

#include "common/errors.hpp"
#include "python/bindings.hpp"

namespace py = pybind11;

PYBIND11_MODULE(_core, m) {
  m.doc() =
      "Morvik's core: fields, ensemble photometry, variability indices, Lafler-Kinman periodograms, the period search";
  // A failure that ends a command reaches Python with the message the desktop shows.
  py::register_exception<morvik::CommandError>(m, "MorvikError", PyExc_RuntimeError);
  morvik::python::BindField(m);
  morvik::python::BindArrays(m);
  morvik::python::BindPeriods(m);
  morvik::python::BindEvents(m);
}
