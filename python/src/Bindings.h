// python/src/Bindings.h: the parts of the extension module, each adding its
// functions to it.
#pragma once
#include <pybind11/pybind11.h>

// The commands over numpy arrays, the picture files and recipes run on arrays.
void BindCommands(pybind11::module_& m);
