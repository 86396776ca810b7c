#pragma once
// The parts of the compiled module morvik._core, each adding its names to the module.

#include <pybind11/pybind11.h>

namespace morvik::python {

void BindField(pybind11::module_& m);   // Field: an opened frame with its data set
void BindArrays(pybind11::module_& m);  // functions on plain light-curve arrays
void BindPeriods(pybind11::module_& m); // the period search on plain arrays
void BindEvents(pybind11::module_& m);  // transit fits and times of minimum on plain arrays

} // namespace morvik::python
