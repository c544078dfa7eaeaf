// A file path argument: a str, or an os.PathLike whose path is a str.
#pragma once

#include <string>

#include "py/convert.h"

namespace borvane::py {

struct FilePath {
    std::string path;
};

template <>
struct Conv<FilePath> {
    static constexpr const char* name = "str | os.PathLike";
    static FilePath from(PyObject* o) {
        Ref p = Ref::steal(PyOS_FSPath(o));
        if (!p) {
            PyErr_Clear();
            raise_wrong_type(o, "str | os.PathLike");
        }
        if (!PyUnicode_Check(p.get())) raise_wrong_type(o, "str | os.PathLike");
        return FilePath{Conv<std::string>::from(p.get())};
    }
};

}  // namespace borvane::py
