// borvane._testing: a private module that exposes internals which the public
// classes cannot reach, so the Python tests can check them directly.  It links
// its own copy of the core, so its process-wide tables (the gate table among
// them) are separate from those of borvane.borvane.
#include <algorithm>
#include <atomic>
#include <random>
#include <thread>
#include <vector>

#include "circ/gate.h"
#include "circ/instr.h"
#include "circ/param/evaluate.h"
#include "groups/permutation_py.h"
#include "identity/circuit.h"
#include "search/evaluator.h"
#include "state/kernels.h"
#include "state/order_info.h"
#include "state/state_vec.h"
#include "utils/alias_list.h"
#include "py/convert.h"
#include "py/entry.h"
#include "testing/hooks.h"
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

// --- permutations ---------------------------------------------------------------

Ref all_permutations(PyObject*, const Args& a) {
    static constexpr Signature<1> sig{"all_permutations", {"n"}};
    auto [pn] = sig.parse(a);
    return to_py(Permut32::all(arg<size_t>(pn, "n")));
}

// Calls Permut32::all from many threads at once; True when every thread saw
// the same table.
Ref all_permutations_concurrently(PyObject*, const Args& a) {
    static constexpr Signature<1> sig{"all_permutations_concurrently", {"threads"}};
    auto [pt] = sig.parse(a);
    uint32_t n = arg<uint32_t>(pt, "threads");
    std::vector<const std::vector<Permut32>*> seen(n);
    std::atomic<uint32_t> ready{0};
    std::vector<std::thread> pool;
    for (uint32_t t = 0; t < n; ++t)
        pool.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < n) {
            }
            seen[t] = &Permut32::all(8);
        });
    for (auto& t : pool) t.join();
    bool same = true;
    for (auto* p : seen) same = same && p == seen[0] && p->size() == 40320;
    return to_py(same);
}

// (swaps as (i, j) pairs, working value after each emitted swap) for the
// permutation given by its entries.
Ref generate_swaps(PyObject*, const Args& a) {
    static constexpr Signature<1> sig{"generate_swaps", {"perm"}};
    auto [pp] = sig.parse(a);
    Permut32 p = arg<Permut32>(pp, "perm");
    std::vector<std::tuple<uint8_t, uint8_t>> out;
    for (Instr32 s : p.generate_swaps()) {
        check(s.gate() == gates::SWAP && s.nqubits() == 2, "generate_swaps emitted a non-swap");
        out.emplace_back(s.qargs().q0, s.qargs().q1);
    }
    return to_py(out);
}

// One operation of Permut32 by name, on permutations given by their entries.
Ref perm_op(PyObject*, const Args& a) {
    static constexpr Signature<3> sig{"perm_op", {"op", "a", "b"}, 2};
    auto [po, pa, pb] = sig.parse(a);
    std::string op = arg<std::string>(po, "op");
    if (op == "identity") return to_py(Permut32::identity(arg<size_t>(pa, "a")));
    if (op == "with_ext") return to_py(Permut32::from_iter_with_ext(arg<size_t>(pa, "a"), arg<std::vector<uint8_t>>(pb, "b")));
    if (op == "from_raw_display") return to_py(Permut32::from_raw(arg<uint32_t>(pa, "a")).display());
    Permut32 x = arg<Permut32>(pa, "a");
    if (op == "raw") return to_py(x.raw());
    if (op == "inv") return to_py(x.inv());
    if (op == "is_identity") return to_py(x.is_identity());
    if (op == "display") return to_py(x.display());
    if (op == "at") return to_py(x.at(arg<size_t>(pb, "b")));
    if (op == "permut_bv") return to_py(x.permut_bv(arg<uint8_t>(pb, "b")));
    if (op == "swap_inputs") {
        auto ij = arg<std::vector<uint8_t>>(pb, "b");
        check(ij.size() == 2, "swap_inputs takes two positions");
        return to_py(x.swap_inputs(ij[0], ij[1]));
    }
    Permut32 y = arg<Permut32>(pb, "b");
    if (op == "mul") return to_py(x * y);
    if (op == "coordinate_permute") return to_py(Permut32::coordinate_permute(x, y));
    throw InternalError("unknown permutation operation " + op);
}

// --- shared-tail lists -------------------------------------------------------------

// Conses each (gate, q0, q1) onto the list built so far, starting from the
// empty list, and returns the elements in walking order (head first).
Ref alias_list_walk(PyObject*, const Args& a) {
    static constexpr Signature<1> sig{"alias_list_walk", {"instrs"}};
    auto [pi] = sig.parse(a);
    AliasArena<Instr32> arena;
    AliasList l;
    for (auto& [g, q0, q1] : arg<std::vector<std::tuple<uint16_t, uint8_t, uint8_t>>>(pi, "instrs"))
        l = arena.cons(l, Instr32::unchecked(Gate16(g), q0, q1));
    std::vector<std::tuple<uint16_t, uint8_t, uint8_t>> out;
    arena.walk(l, [&](Instr32 i) { out.emplace_back(i.gate().raw(), i.qargs().q0, i.qargs().q1); });
    return to_py(out);
}

// Two lists sharing a tail, and an arena kept alive by a second owner after
// the first is gone.  Returns (walk of the first list, walk of the second,
// circuit order of the second read through the surviving owner, number of
// cells, arena freed once both owners are gone).
Ref alias_list_sharing(PyObject*, const Args& a) {
    static constexpr Signature<0> sig{"alias_list_sharing", {}};
    sig.parse(a);
    auto owner = std::make_shared<AliasArena<Instr32>>();
    std::weak_ptr<AliasArena<Instr32>> watch = owner;
    auto h0 = Instr32::unchecked(gates::H, 0), x1 = Instr32::unchecked(gates::X, 1);
    auto cx = Instr32::unchecked(gates::CX, 0, 1), t2 = Instr32::unchecked(gates::T, 2);
    AliasList base = owner->cons(owner->cons(AliasList{}, h0), x1);
    AliasList first = owner->cons(base, cx);
    AliasList second = owner->cons(base, t2);
    auto walk = [](const AliasArena<Instr32>& ar, AliasList l) {
        std::vector<std::string> out;
        ar.walk(l, [&](Instr32 i) { out.push_back(i.display()); });
        return out;
    };
    auto w1 = walk(*owner, first);
    auto w2 = walk(*owner, second);
    size_t cells = owner->size();
    std::shared_ptr<const AliasArena<Instr32>> derived = owner;  // a second owner, as a derived map holds
    owner.reset();
    std::vector<std::string> order;
    for (Instr32 i : derived->to_circuit_order(second)) order.push_back(i.display());
    derived.reset();
    return to_py(std::make_tuple(w1, w2, order, uint64_t(cells), watch.expired()));
}

// --- states, order and the evaluator ----------------------------------------------

using Amps = std::tuple<std::vector<double>, std::vector<double>>;
using RawInstr = std::tuple<uint16_t, uint8_t, uint8_t>;

Instr32 to_instr(const RawInstr& r) {
    auto [g, q0, q1] = r;
    return Instr32::unchecked(Gate16(g), q0, q1);
}

// One operation on a state given by its parts; returns the resulting parts
// or the queried facts.
Ref state_op(PyObject*, const Args& a) {
    static constexpr Signature<4> sig{"state_op", {"op", "re", "im", "arg"}, 3};
    auto [po, pr, pi, parg] = sig.parse(a);
    std::string op = arg<std::string>(po, "op");
    StateVec sv(arg<std::vector<double>>(pr, "re"), arg<std::vector<double>>(pi, "im"));
    auto parts = [&] { return to_py(Amps{sv.re(), sv.im()}); };
    if (op == "apply_permutation") {
        sv.apply_permutation(arg<Permut32>(parg, "arg"));
        return parts();
    }
    if (op == "loose_eq") {
        auto [ore, oim] = arg<Amps>(parg, "arg");
        return to_py(sv.loose_eq(StateVec(ore, oim)));
    }
    if (op == "order") {
        OrderInfo oi = sv.get_orderinfo();
        auto [mask, base] = oi.as_bits();
        auto fast = order_bits(sv.re().data(), sv.im().data(), sv.nqubits());
        check(fast.first == mask && fast.second == base, "order_bits disagrees with OrderInfo");
        std::vector<Permut32> perms;
        if (sv.nqubits() <= 5) perms = oi.as_perms();
        return to_py(std::make_tuple(oi.permut(), oi.eq_classes(), mask, base, perms));
    }
    if (op == "as_perms") return to_py(sv.get_orderinfo().as_perms());
    if (op == "hashes")
        return to_py(std::make_tuple(sv.hash_value(), hash_value_streamed(sv.re().data(), sv.im().data(), sv.len())));
    if (op == "multiply") {
        // The identity matrix of the list's size through the dense path.
        auto qubits = arg<std::vector<uint8_t>>(parg, "arg");
        uint32_t d = qubits.size() < 8 ? 1u << qubits.size() : 1;
        ComplexMatrix m(d, d);
        for (uint32_t i = 0; i < d; ++i) m.at(i, i) = 1.0;
        multiply(sv.view(), qubits.data(), unsigned(qubits.size()), m);
        return parts();
    }
    if (op == "apply_dense") {
        // An instruction applied through its gate's matrix even when it has a kernel.
        Instr32 i = to_instr(arg<RawInstr>(parg, "arg"));
        i.gate().matrix([&](const ComplexMatrix& m) {
            auto q = i.qubits();
            multiply(sv.view(), q.data(), unsigned(q.size()), m);
        });
        return parts();
    }
    throw InternalError("unknown state operation " + op);
}

Ref eqmask_table(PyObject*, const Args& a) {
    static constexpr Signature<1> sig{"eqmask_table", {"mask"}};
    auto [pm] = sig.parse(a);
    return to_py(eqmask_to_perms(arg<uint8_t>(pm, "mask")));
}

// One fresh evaluator of `nqubits`; for each circuit (a list of (gate, q0,
// q1)): (key, pairs, forward-state hash).  With `threads` > 1 every circuit
// is also evaluated on that many threads at once and the results must agree.
Ref evaluate_circuits(PyObject*, const Args& a) {
    static constexpr Signature<3> sig{"evaluate_circuits", {"nqubits", "circuits", "threads"}, 2};
    auto [pn, pc, pt] = sig.parse(a);
    Evaluator ev = Evaluator::create(arg<uint32_t>(pn, "nqubits"));
    std::vector<std::vector<Instr32>> circuits;
    for (auto& c : arg<std::vector<std::vector<RawInstr>>>(pc, "circuits")) {
        std::vector<Instr32> v;
        for (auto& r : c) v.push_back(to_instr(r));
        circuits.push_back(std::move(v));
    }
    using Row = std::tuple<uint64_t, std::vector<std::tuple<Permut32, Permut32>>, uint64_t>;
    auto eval_one = [&](const std::vector<Instr32>& c) {
        EvalResult r = ev.evaluate_multiple(c);
        std::vector<std::tuple<Permut32, Permut32>> pairs;
        for (PermPair p : r.pairs) pairs.emplace_back(p.front_perm, p.back_perm);
        std::vector<PermPair> again;
        check(ev.key(c, again) == r.back.hash_value() && again == r.pairs, "key() disagrees with evaluate_multiple");
        return Row{r.back.hash_value(), pairs, r.forward.hash_value()};
    };
    std::vector<Row> rows;
    for (auto& c : circuits) rows.push_back(eval_one(c));
    uint32_t nthreads = pt ? arg<uint32_t>(pt, "threads") : 1;
    if (nthreads > 1) {
        std::atomic<bool> agree{true};
        std::vector<std::thread> pool;
        for (uint32_t t = 0; t < nthreads; ++t)
            pool.emplace_back([&, t] {
                for (size_t k = 0; k < circuits.size(); ++k) {
                    size_t i = (k + t * 7) % circuits.size();
                    try {
                        if (eval_one(circuits[i]) != rows[i]) agree = false;
                    } catch (...) {
                        agree = false;
                    }
                }
            });
        for (auto& t : pool) t.join();
        check(agree, "evaluations on several threads disagree with the sequential ones");
    }
    return to_py(rows);
}

// --- circuits ----------------------------------------------------------------------

// A circuit operation that the Circ class does not expose, on a circuit given
// as (list of (gate display name, q0, q1), permutation entries).
Ref circ_op(PyObject*, const Args& a) {
    static constexpr Signature<3> sig{"circ_op", {"op", "instrs", "perm"}};
    auto [po, pi, pp] = sig.parse(a);
    std::string op = arg<std::string>(po, "op");
    std::vector<Instr32> instrs;
    for (auto& [name, q0, q1] : arg<std::vector<std::tuple<std::string, uint8_t, uint8_t>>>(pi, "instrs"))
        instrs.push_back(Instr32::unchecked(Gate16::from_stored_name(name), q0, q1));
    Circ c = Circ::create(std::move(instrs), arg<Permut32>(pp, "perm"));
    auto form = [](const Circ& r) {
        std::vector<std::tuple<std::string, uint8_t, uint8_t>> out;
        for (Instr32 i : r.instrs) out.emplace_back(i.gate().display(), i.qargs().q0, i.qargs().q1);
        return to_py(std::make_tuple(out, r.perm));
    };
    if (op == "affected_qubits") return to_py(c.affected_qubits());
    if (op == "compact_qubits") return form(std::move(c).compact_qubits());
    if (op == "reorder_instrs") return form(std::move(c).reorder_instrs());
    throw InternalError("unknown circuit operation " + op);
}

PyMethodDef methods[] = {
    {"circ_op", method_ptr<circ_op>(), kMethod, "circ_op(op, instrs, perm)\n--\n\n"},
    {"state_op", method_ptr<state_op>(), kMethod, "state_op(op, re, im, arg=None)\n--\n\n"},
    {"eqmask_table", method_ptr<eqmask_table>(), kMethod, "eqmask_table(mask)\n--\n\n"},
    {"evaluate_circuits", method_ptr<evaluate_circuits>(), kMethod,
     "evaluate_circuits(nqubits, circuits, threads=1)\n--\n\n"},
    {"all_permutations", method_ptr<all_permutations>(), kMethod, "all_permutations(n)\n--\n\n"},
    {"all_permutations_concurrently", method_ptr<all_permutations_concurrently>(), kMethod,
     "all_permutations_concurrently(threads)\n--\n\n"},
    {"generate_swaps", method_ptr<generate_swaps>(), kMethod, "generate_swaps(perm)\n--\n\n"},
    {"perm_op", method_ptr<perm_op>(), kMethod, "perm_op(op, a, b=None)\n--\n\n"},
    {"alias_list_walk", method_ptr<alias_list_walk>(), kMethod, "alias_list_walk(instrs)\n--\n\n"},
    {"alias_list_sharing", method_ptr<alias_list_sharing>(), kMethod, "alias_list_sharing()\n--\n\n"},
    {"gate_table_stress", method_ptr<gate_table_stress>(), kMethod,
     "gate_table_stress(threads, gates)\n--\n\nAdds and looks up gates from many threads at once."},
    {"evaluate_with_pi", method_ptr<evaluate_with_pi>(), kMethod,
     "evaluate_with_pi(text)\n--\n\nEvaluates a parameter text with pi defined."},
    {nullptr, nullptr, 0, nullptr},
};

const borvane::testing::RegisterHooks registered(methods);

}  // namespace

}  // namespace borvane::py

namespace borvane::testing {

std::vector<PyMethodDef>& hook_registry() {
    static std::vector<PyMethodDef> registry;
    return registry;
}

}  // namespace borvane::testing

PyMODINIT_FUNC PyInit__testing(void) {
    // The method table must outlive the module: built once, never freed.
    static std::vector<PyMethodDef>* table = [] {
        auto* t = new std::vector<PyMethodDef>(borvane::testing::hook_registry());
        t->push_back({nullptr, nullptr, 0, nullptr});
        return t;
    }();
    static PyModuleDef module_def = {PyModuleDef_HEAD_INIT, "_testing", "Private hooks for borvane's tests.", 0,
                                     table->data()};
    return PyModule_Create(&module_def);
}
