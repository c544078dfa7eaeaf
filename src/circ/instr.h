// Compact instructions: QArgs16 (two qubit bytes, 255 = empty slot) and
// Instr32 (a gate handle plus its qubits in one 32-bit word).  Instructions
// order by qubit bytes first, then by gate.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "circ/gate.h"
#include "groups/permutation.h"

namespace borvane {

class SipHasher13;

struct QArgs16 {
    static constexpr uint8_t kEmpty = 255;
    uint8_t q0 = kEmpty;
    uint8_t q1 = kEmpty;

    constexpr unsigned count() const { return q0 == kEmpty ? 0 : (q1 == kEmpty ? 1 : 2); }
    constexpr uint8_t operator[](unsigned i) const { return i == 0 ? q0 : q1; }
    // Packs a qubit list of at most two entries.
    static QArgs16 pack(const std::vector<uint8_t>& qubits);
    friend constexpr bool operator==(QArgs16, QArgs16) = default;
};

class Instr32 {
public:
    constexpr Instr32() = default;
    // Checks arity against the gate and distinctness of the qubits.
    static Instr32 create(Gate16 gate, const std::vector<uint8_t>& qubits);
    // No checks (callers build valid instructions).
    static constexpr Instr32 unchecked(Gate16 gate, uint8_t q0 = QArgs16::kEmpty, uint8_t q1 = QArgs16::kEmpty) {
        return Instr32(gate, QArgs16{q0, q1});
    }
    static constexpr Instr32 unchecked(Gate16 gate, QArgs16 q) { return Instr32(gate, q); }

    constexpr Gate16 gate() const { return gate_; }
    constexpr QArgs16 qargs() const { return qargs_; }
    constexpr unsigned nqubits() const { return qargs_.count(); }
    // The used qubits, in argument order.
    std::vector<uint8_t> qubits() const;

    // The packed word: gate in bits 0-15, q0 in 16-23, q1 in 24-31.
    constexpr uint32_t raw() const {
        return uint32_t(gate_.raw()) | uint32_t(qargs_.q0) << 16 | uint32_t(qargs_.q1) << 24;
    }
    // The order key: qubit bytes first (q0, then q1), then the gate.
    constexpr uint32_t order_key() const {
        return uint32_t(qargs_.q0) << 24 | uint32_t(qargs_.q1) << 16 | gate_.raw();
    }

    // Bit (q mod 8) for each used qubit.
    constexpr uint8_t arg_mask() const {
        uint8_t m = 0;
        if (qargs_.q0 != QArgs16::kEmpty) m |= uint8_t(1u << (qargs_.q0 & 7));
        if (qargs_.q1 != QArgs16::kEmpty) m |= uint8_t(1u << (qargs_.q1 & 7));
        return m;
    }
    // Bit q for each used qubit q (for masks over more than 8 qubits).
    constexpr uint32_t qubit_mask32() const {
        uint32_t m = 0;
        if (qargs_.q0 != QArgs16::kEmpty) m |= 1u << (qargs_.q0 & 31);
        if (qargs_.q1 != QArgs16::kEmpty) m |= 1u << (qargs_.q1 & 31);
        return m;
    }
    // The frontier mask after this instruction, or none when it would bring
    // in a new qubit out of increasing order.
    std::optional<uint8_t> pass_mask(uint8_t mask) const;
    constexpr bool disjoint(Instr32 o) const { return (arg_mask() & o.arg_mask()) == 0; }
    constexpr uint8_t largest_qubit() const {
        unsigned n = nqubits();
        if (n == 0) return 0;
        if (n == 1) return qargs_.q0;
        return qargs_.q0 > qargs_.q1 ? qargs_.q0 : qargs_.q1;
    }
    // Each used qubit q becomes p.at(q); the gate is unchanged.
    Instr32 apply_permutation(Permut32 p) const {
        QArgs16 q = qargs_;
        if (q.q0 != QArgs16::kEmpty) q.q0 = p.at(q.q0);
        if (q.q1 != QArgs16::kEmpty) q.q1 = p.at(q.q1);
        return Instr32(gate_, q);
    }
    Instr32 permut(Permut32 p) const { return apply_permutation(p); }
    // The adjoint gate on the same qubits.
    Instr32 adjoint() const { return Instr32(gate_.adjoint(), qargs_); }
    std::optional<unsigned> position_of_qubit(uint8_t q) const;

    // gate handle (2 bytes), the count 2 (4 bytes), q0, q1
    void hash_into(SipHasher13& h) const;
    uint64_t hash_value() const;
    // "cx(0, 1)", "h(2)", "g()"
    std::string display() const;
    void display_into(std::string& out) const;

    friend constexpr bool operator==(Instr32 a, Instr32 b) { return a.raw() == b.raw(); }
    friend constexpr auto operator<=>(Instr32 a, Instr32 b) { return a.order_key() <=> b.order_key(); }

private:
    constexpr Instr32(Gate16 g, QArgs16 q) : gate_(g), qargs_(q) {}
    Gate16 gate_;
    QArgs16 qargs_;
};

static_assert(sizeof(Instr32) == 4);

// Text of a sequence of instructions joined by `sep`.
std::string display_instrs(const std::vector<Instr32>& instrs, const char* sep = " ");

}  // namespace borvane
