// python/src/Commands.cpp: the commands over numpy arrays.
#include "Bindings.h"

void BindCommands(pybind11::module_&)
{
}
