// A plain Python form of ECC collections for the test hooks:
//   (classes, nqubits), a class = list of entries,
//   an entry = (list of (gate display name, q0, q1), permutation entries).
// Gate names are looked up in the test module's own gate table.
#pragma once

#include <string>
#include <tuple>
#include <vector>

#include "groups/permutation_py.h"
#include "py/convert.h"
#include "search/ecc.h"

namespace borvane::testing {

using InstrForm = std::tuple<std::string, uint8_t, uint8_t>;
using EntryForm = std::tuple<std::vector<InstrForm>, Permut32>;
using EccsForm = std::tuple<std::vector<std::vector<EntryForm>>, size_t>;

inline ECCs eccs_from_form(const EccsForm& form) {
    ECCs out;
    out.nqubits = std::get<1>(form);
    for (const auto& cls : std::get<0>(form)) {
        ECC ecc;
        for (const auto& [instrs, perm] : cls) {
            std::vector<Instr32> v;
            for (const auto& [name, q0, q1] : instrs) v.push_back(Instr32::unchecked(Gate16::from_stored_name(name), q0, q1));
            ecc.entries.emplace_back(std::move(v), perm);
        }
        out.eccs.push_back(std::move(ecc));
    }
    return out;
}

inline EccsForm eccs_to_form(const ECCs& eccs) {
    EccsForm form;
    std::get<1>(form) = eccs.nqubits;
    for (const ECC& ecc : eccs.eccs) {
        std::vector<EntryForm> cls;
        for (const auto& [instrs, perm] : ecc.entries) {
            std::vector<InstrForm> v;
            for (Instr32 i : instrs) v.emplace_back(i.gate().display(), i.qargs().q0, i.qargs().q1);
            cls.emplace_back(std::move(v), perm);
        }
        std::get<0>(form).push_back(std::move(cls));
    }
    return form;
}

// Reads the form from a Python argument.
inline ECCs eccs_arg(PyObject* o, const char* name) { return eccs_from_form(py::arg<EccsForm>(o, name)); }
inline py::Ref eccs_to_py(const ECCs& eccs) { return py::to_py(eccs_to_form(eccs)); }

}  // namespace borvane::testing
