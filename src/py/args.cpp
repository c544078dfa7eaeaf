#include "py/args.h"

#include <cstring>
#include <string>
#include <vector>

namespace borvane::py {

namespace {

[[noreturn]] void type_error(const std::string& msg) { raise(PyExc_TypeError, msg); }

std::string plural(size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// 'a' / 'a' and 'b' / 'a', 'b', and 'c'
std::string quoted_list(const std::vector<const char*>& names) {
    std::string s;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) s += names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", ");
        s += "'";
        s += names[i];
        s += "'";
    }
    return s;
}

void assign_keyword(const ParamList& p, PyObject* key, PyObject* value, PyObject** out) {
    if (!PyUnicode_Check(key)) type_error(std::string(p.qualname) + "() keywords must be strings");
    const char* k = PyUnicode_AsUTF8(key);
    ensure(k != nullptr);
    for (size_t i = 0; i < p.count; ++i) {
        if (std::strcmp(k, p.names[i]) == 0) {
            if (out[i]) type_error(std::string(p.qualname) + "() got multiple values for argument '" + k + "'");
            out[i] = value;
            return;
        }
    }
    type_error(std::string(p.qualname) + "() got an unexpected keyword argument '" + k + "'");
}

}  // namespace

void parse_args(const ParamList& p, const Args& a, PyObject** out) {
    size_t npos = size_t(a.nargs);
    if (npos > p.count) {
        std::string takes = p.required == p.count
                                ? plural(p.count, "positional argument", "positional arguments")
                                : "from " + std::to_string(p.required) + " to " +
                                      plural(p.count, "positional argument", "positional arguments");
        type_error(std::string(p.qualname) + "() takes " + takes + " but " + std::to_string(npos) +
                   (npos == 1 ? " was" : " were") + " given");
    }
    for (size_t i = 0; i < p.count; ++i) out[i] = i < npos ? a.args[i] : nullptr;
    if (a.kwnames) {
        Py_ssize_t nk = PyTuple_GET_SIZE(a.kwnames);
        for (Py_ssize_t i = 0; i < nk; ++i)
            assign_keyword(p, PyTuple_GET_ITEM(a.kwnames, i), a.args[a.nargs + i], out);
    }
    if (a.kwdict) {
        PyObject *key, *value;
        Py_ssize_t pos = 0;
        while (PyDict_Next(a.kwdict, &pos, &key, &value)) assign_keyword(p, key, value, out);
    }
    std::vector<const char*> missing;
    for (size_t i = 0; i < p.required; ++i)
        if (!out[i]) missing.push_back(p.names[i]);
    if (!missing.empty())
        type_error(std::string(p.qualname) + "() missing " +
                   plural(missing.size(), "required positional argument", "required positional arguments") +
                   ": " + quoted_list(missing));
}

}  // namespace borvane::py
