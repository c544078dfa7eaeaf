// Conversions between Python objects and native values.  `from` throws
// PyErrorSet with the Python error set; `arg<T>(obj, "name")` adds the
// "argument 'name': " prefix to a TypeError.
#pragma once

#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "py/instance.h"
#include "py/py.h"

namespace borvane::py {

template <class T, class Enable = void>
struct Conv;

// --- integers -----------------------------------------------------------------

// Any object with __index__; out of range is OverflowError.
unsigned long long index_to_u64(PyObject* o, unsigned long long max);
long long index_to_i64(PyObject* o);

template <class T>
struct Conv<T, std::enable_if_t<std::is_integral_v<T> && std::is_unsigned_v<T> && !std::is_same_v<T, bool>>> {
    static constexpr const char* name = "int";
    static T from(PyObject* o) { return static_cast<T>(index_to_u64(o, std::numeric_limits<T>::max())); }
    static Ref to(T v) { return Ref::check(PyLong_FromUnsignedLongLong(v)); }
};

template <class T>
struct Conv<T, std::enable_if_t<std::is_integral_v<T> && std::is_signed_v<T>>> {
    static constexpr const char* name = "int";
    static T from(PyObject* o) {
        long long v = index_to_i64(o);
        if (v < std::numeric_limits<T>::min() || v > std::numeric_limits<T>::max())
            raise(PyExc_OverflowError, "out of range integral type conversion attempted");
        return static_cast<T>(v);
    }
    static Ref to(T v) { return Ref::check(PyLong_FromLongLong(v)); }
};

template <>
struct Conv<bool> {
    static constexpr const char* name = "bool";
    static Ref to(bool v) { return Ref::borrow(v ? Py_True : Py_False); }
};

template <>
struct Conv<double> {
    static constexpr const char* name = "float";
    static double from(PyObject* o);
    static Ref to(double v) { return Ref::check(PyFloat_FromDouble(v)); }
};

template <>
struct Conv<std::string> {
    static constexpr const char* name = "str";
    static std::string from(PyObject* o);
    static Ref to(const std::string& v);
};

// --- containers ---------------------------------------------------------------

// Checks that `o` may be read as a sequence: a str is refused.
void require_sequence(PyObject* o);

template <class T>
struct Conv<std::vector<T>> {
    static constexpr const char* name = "Sequence";
    static std::vector<T> from(PyObject* o) {
        require_sequence(o);
        std::vector<T> out;
        Py_ssize_t n = PySequence_Size(o);
        if (n < 0) throw PyErrorSet{};
        out.reserve(size_t(n));
        Ref it = Ref::check(PyObject_GetIter(o));
        for (;;) {
            Ref item = Ref::steal(PyIter_Next(it.get()));
            if (!item) break;
            out.push_back(Conv<T>::from(item.get()));
        }
        if (PyErr_Occurred()) throw PyErrorSet{};
        return out;
    }
    static Ref to(const std::vector<T>& v) {
        if constexpr (std::is_same_v<T, uint8_t>) {
            // Byte vectors (qubit lists, masks) come back as bytes.
            return Ref::check(PyBytes_FromStringAndSize(reinterpret_cast<const char*>(v.data()),
                                                        Py_ssize_t(v.size())));
        } else {
            Ref list = Ref::check(PyList_New(Py_ssize_t(v.size())));
            for (size_t i = 0; i < v.size(); ++i)
                PyList_SET_ITEM(list.get(), Py_ssize_t(i), Conv<T>::to(v[i]).release());
            return list;
        }
    }
};

template <class T>
struct Conv<std::optional<T>> {
    static std::optional<T> from(PyObject* o) {
        if (o == Py_None) return std::nullopt;
        return Conv<T>::from(o);
    }
    static Ref to(const std::optional<T>& v) {
        if (!v) return Ref::borrow(Py_None);
        return Conv<T>::to(*v);
    }
};

template <class... Ts>
struct Conv<std::tuple<Ts...>> {
    static constexpr const char* name = "tuple";
    // Any sequence (not a str) of exactly sizeof...(Ts) convertible items.
    static std::tuple<Ts...> from(PyObject* o) {
        require_sequence(o);
        Py_ssize_t n = PySequence_Size(o);
        if (n < 0) throw PyErrorSet{};
        if (size_t(n) != sizeof...(Ts))
            raise(PyExc_ValueError, "expected a sequence of " + std::to_string(sizeof...(Ts)) + " items, got " +
                                        std::to_string(n));
        return read(o, std::index_sequence_for<Ts...>{});
    }
    template <size_t... I>
    static std::tuple<Ts...> read(PyObject* o, std::index_sequence<I...>) {
        Ref items[] = {Ref::check(PySequence_GetItem(o, Py_ssize_t(I)))...};
        return std::tuple<Ts...>{Conv<Ts>::from(items[I].get())...};
    }
    static Ref to(const std::tuple<Ts...>& v) {
        Ref t = Ref::check(PyTuple_New(sizeof...(Ts)));
        fill(t.get(), v, std::index_sequence_for<Ts...>{});
        return t;
    }
    template <size_t... I>
    static void fill(PyObject* t, const std::tuple<Ts...>& v, std::index_sequence<I...>) {
        (PyTuple_SET_ITEM(t, I, Conv<std::decay_t<Ts>>::to(std::get<I>(v)).release()), ...);
    }
};

template <class A, class B>
struct Conv<std::pair<A, B>> {
    static Ref to(const std::pair<A, B>& v) {
        Ref a = Conv<A>::to(v.first);
        Ref b = Conv<B>::to(v.second);
        return Ref::check(PyTuple_Pack(2, a.get(), b.get()));
    }
};

// --- instances of this module's classes -----------------------------------------

[[noreturn]] void raise_wrong_type(PyObject* o, const char* expected);

template <class T>
struct Conv<T, std::void_t<decltype(PyClass<T>::name)>> {
    static constexpr const char* name = PyClass<T>::name;
    // Exactly that class: no subclasses (there are none) and no duck typing.
    static T from(PyObject* o) {
        if (!is_instance<T>(o)) raise_wrong_type(o, PyClass<T>::name);
        Shared<T> ref(o);
        return *ref;
    }
    static Ref to(T v) { return wrap<T>(std::move(v)); }
};

// --- argument helpers -----------------------------------------------------------

// Rewrites a pending TypeError as "argument 'name': <message>".
void prefix_type_error(const char* name);

template <class T>
T arg(PyObject* o, const char* name) {
    try {
        return Conv<T>::from(o);
    } catch (const PyErrorSet&) {
        prefix_type_error(name);
        throw;
    } catch (const PyRaise& e) {
        if (e.type == PyExc_TypeError) raise(PyExc_TypeError, std::string("argument '") + name + "': " + e.message);
        throw;
    }
}

// An optional parameter: a missing argument gives `fallback`.
template <class T>
T arg_or(PyObject* o, const char* name, T fallback) {
    return o ? arg<T>(o, name) : std::move(fallback);
}

// A shared borrow of an instance argument, without copying its record.
template <class T>
Shared<T> arg_ref(PyObject* o, const char* name) {
    if (!is_instance<T>(o)) {
        try {
            raise_wrong_type(o, PyClass<T>::name);
        } catch (const PyRaise& e) {
            raise(PyExc_TypeError, std::string("argument '") + name + "': " + e.message);
        }
    }
    return Shared<T>(o);
}

template <class T>
Ref to_py(const T& v) {
    return Conv<T>::to(v);
}

}  // namespace borvane::py
