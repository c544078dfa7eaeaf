// borvane._testing: a private module that exposes internals which the public
// classes cannot reach, so the Python tests can check them directly.  It links
// its own copy of the core, so its process-wide tables (the gate table among
// them) are separate from those of borvane.borvane.
#include <algorithm>
#include <atomic>
#include <map>
#include <random>
#include <thread>
#include <vector>

#include "circ/gate.h"
#include "circ/param/evaluate.h"
#include "py/convert.h"
#include "py/entry.h"
#include "utils/errors.h"

namespace borvane::py {

namespace {

// Runs `threads` threads that each add the same set of `gates` user gates (in
// a thread-specific order), look gates up by name and ask for adjoints while
// the others do the same.  Returns the number of table entries afterwards;
// raises InternalFailure when two threads disagree on a handle or an entry
// reads back wrong.
Ref gate_table_stress(PyObject*, const Args& a) {
    static constexpr Signature<2> sig{"gate_table_stress", {"threads", "gates"}};
    auto [pt, pg] = sig.parse(a);
    auto nthreads = arg<uint32_t>(pt, "threads");
    auto ngates = arg<uint32_t>(pg, "gates");
    const size_t before = gate_table_size();

    std::vector<std::vector<int32_t>> handles(nthreads, std::vector<int32_t>(ngates, -1));
    std::vector<std::vector<int32_t>> adjoints(nthreads, std::vector<int32_t>(ngates, -1));
    std::atomic<bool> failed{false};
    std::atomic<uint32_t> ready{0};
    std::string failure;
    std::atomic_flag failure_lock = ATOMIC_FLAG_INIT;

    auto worker = [&](uint32_t tid) {
        try {
            std::vector<uint32_t> order(ngates);
            for (uint32_t k = 0; k < ngates; ++k) order[k] = k;
            std::mt19937 rng(tid);
            std::shuffle(order.begin(), order.end(), rng);
            ready.fetch_add(1);
            while (ready.load() < nthreads) {
            }
            for (uint32_t k : order) {
                double theta = 0.001 * (k + 1);
                ComplexMatrix m = ComplexMatrix::from_rows(2, {1.0, 0.0, 0.0, std::polar(1.0, theta)});
                Gate16 g = Gate16::create("stress" + std::to_string(k), {}, m);
                handles[tid][k] = g.raw();
                check(Gate16::from_name("h").value() == gates::H, "from_name(h) changed");
                check(g.nqargs() == 1, "nqargs read back wrong");
                if (k % 2 == 0) adjoints[tid][k] = g.adjoint().raw();
                // A lookup by the entry's own display name finds it (or an
                // earlier gate of the same name, which cannot exist here).
                auto found = Gate16::from_name(g.display());
                check(found && *found == g, "from_name does not find a fresh gate");
            }
        } catch (const std::exception& e) {
            if (!failed.exchange(true)) {
                while (failure_lock.test_and_set()) {
                }
                failure = e.what();
                failure_lock.clear();
            }
        }
    };
    std::vector<std::thread> pool;
    for (uint32_t t = 0; t < nthreads; ++t) pool.emplace_back(worker, t);
    for (auto& t : pool) t.join();
    if (failed) throw InternalError("gate table stress: " + failure);

    for (uint32_t k = 0; k < ngates; ++k)
        for (uint32_t t = 1; t < nthreads; ++t) {
            check(handles[t][k] == handles[0][k], "threads got different handles for one matrix");
            if (k % 2 == 0) check(adjoints[t][k] == adjoints[0][k], "threads got different adjoints");
        }
    size_t after = gate_table_size();
    return to_py(std::make_tuple(uint64_t(before), uint64_t(after)));
}

// The parameter evaluator on its own: a float, or ValueError with the text of
// the NumericError.
Ref evaluate_with_pi(PyObject*, const Args& a) {
    static constexpr Signature<1> sig{"evaluate_with_pi", {"text"}};
    auto [pt] = sig.parse(a);
    param::Numeric v = param::evaluate_with_pi(arg<std::string>(pt, "text"));
    if (auto* err = std::get_if<param::NumericError>(&v)) raise(PyExc_ValueError, err->text());
    return to_py(std::get<double>(v));
}

PyMethodDef methods[] = {
    {"gate_table_stress", method_ptr<gate_table_stress>(), kMethod,
     "gate_table_stress(threads, gates)\n--\n\nAdds and looks up gates from many threads at once."},
    {"evaluate_with_pi", method_ptr<evaluate_with_pi>(), kMethod,
     "evaluate_with_pi(text)\n--\n\nEvaluates a parameter text with pi defined."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "_testing", "Private hooks for borvane's tests.", 0, methods};

}  // namespace

}  // namespace borvane::py

PyMODINIT_FUNC PyInit__testing(void) { return PyModule_Create(&borvane::py::module_def); }
