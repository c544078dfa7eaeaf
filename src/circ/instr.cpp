#include "circ/instr.h"

#include <bit>

#include "utils/fmt_join.h"
#include "utils/siphash.h"

namespace borvane {

QArgs16 QArgs16::pack(const std::vector<uint8_t>& qubits) {
    if (qubits.size() > 2)
        throw InternalError("A compact instruction holds at most two qubits, got " + std::to_string(qubits.size()));
    QArgs16 q;
    if (qubits.size() > 0) q.q0 = qubits[0];
    if (qubits.size() > 1) q.q1 = qubits[1];
    return q;
}

Instr32 Instr32::create(Gate16 gate, const std::vector<uint8_t>& qubits) {
    if (qubits.size() != gate.nqargs()) throw InternalError("Number of qubit arguments does not match gate arity");
    for (size_t i = 0; i < qubits.size(); ++i)
        for (size_t j = i + 1; j < qubits.size(); ++j)
            if (qubits[i] == qubits[j]) throw InternalError("Qubit arguments must be unique");
    return Instr32(gate, QArgs16::pack(qubits));
}

std::vector<uint8_t> Instr32::qubits() const {
    std::vector<uint8_t> out;
    unsigned n = nqubits();
    for (unsigned i = 0; i < n; ++i) out.push_back(qargs_[i]);
    return out;
}

std::optional<uint8_t> Instr32::pass_mask(uint8_t mask) const {
    unsigned f = mask;
    unsigned n = nqubits();
    for (unsigned i = 0; i < n; ++i) {
        unsigned q = qargs_[i];
        if (q < 8 && (f & (1u << q))) continue;
        unsigned lowest_clear = unsigned(std::countr_one(f & 0xFFu));
        // A mask covers qubits 0..7: a qubit beyond that can never be brought in.
        if (q != lowest_clear || q >= 8) return std::nullopt;
        f |= 1u << q;
    }
    return uint8_t(f);
}

std::optional<unsigned> Instr32::position_of_qubit(uint8_t q) const {
    if (qargs_.q0 != QArgs16::kEmpty && qargs_.q0 == q) return 0;
    if (qargs_.q1 != QArgs16::kEmpty && qargs_.q1 == q) return 1;
    return std::nullopt;
}

void Instr32::hash_into(SipHasher13& h) const {
    h.write_u16(gate_.raw());
    h.write_len(2);
    h.write_u8(qargs_.q0);
    h.write_u8(qargs_.q1);
}

uint64_t Instr32::hash_value() const {
    SipHasher13 h;
    hash_into(h);
    return h.finish();
}

void Instr32::display_into(std::string& out) const {
    out += gate_.display();
    out += "(";
    unsigned n = nqubits();
    for (unsigned i = 0; i < n; ++i) {
        if (i) out += ", ";
        out += std::to_string(qargs_[i]);
    }
    out += ")";
}

std::string Instr32::display() const {
    std::string s;
    display_into(s);
    return s;
}

std::string display_instrs(const std::vector<Instr32>& instrs, const char* sep) {
    return fmt_join(instrs, sep, [](std::string& o, Instr32 i) { i.display_into(o); });
}

}  // namespace borvane
