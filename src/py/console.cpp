#include "py/console.h"

#include <string>

namespace borvane::py {

void PythonConsole::write(const char* stream, std::string_view line) {
    // Progress output must never end a computation: a missing or failing
    // stream is skipped.
    PyObject* f = PySys_GetObject(stream);  // borrowed
    if (!f || f == Py_None) return;
    std::string text(line);
    text += '\n';
    Ref s = Ref::steal(PyUnicode_DecodeUTF8(text.data(), Py_ssize_t(text.size()), "replace"));
    if (!s || PyFile_WriteObject(s.get(), f, Py_PRINT_RAW) < 0) PyErr_Clear();
}

}  // namespace borvane::py
