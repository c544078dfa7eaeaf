// The process-wide gate table and Gate16, the 16-bit handle into it.  Gates
// are identified by their matrix: adding a matrix that is already present
// returns the existing handle.  The 23 built-in gates have fixed handles 0-22.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "circ/matrix.h"

namespace borvane {

// One table entry.  Everything but `adjoint` is immutable once the entry is
// published; `adjoint` goes at most once from absent (-1) to a handle.
struct GateData {
    std::string name;
    std::vector<std::string> params;
    ComplexMatrix matrix;

    // Fingerprint of the matrix: dimensions and every entry quantised to
    // multiples of 2^-24, column by column.  Name and params do not take part.
    uint64_t hash_value() const;
};

class Gate16 {
public:
    constexpr Gate16() = default;
    constexpr explicit Gate16(uint16_t raw) : raw_(raw) {}

    // Checks the matrix, then returns the entry with the same fingerprint or
    // appends a new one.
    static Gate16 create(std::string name, std::vector<std::string> params, ComplexMatrix matrix);
    // First entry, in index order, whose display name equals `display_name`.
    static std::optional<Gate16> from_name(std::string_view display_name);
    // Like from_name, but a missing name is the failure of reading a stored gate.
    static Gate16 from_stored_name(std::string_view display_name);

    constexpr uint16_t raw() const { return raw_; }

    std::string name() const;
    std::vector<std::string> params() const;
    // Lends the stored matrix to `f` while holding the table's shared lock.
    template <class F>
    decltype(auto) matrix(F&& f) const;
    ComplexMatrix matrix_copy() const;
    unsigned nqargs() const;
    // The handle whose matrix is this gate's conjugate transpose.
    Gate16 adjoint() const;
    // "h", "rz(pi/3)"
    const std::string& display() const;
    // "Gate(17 -> rz(pi/3))"
    std::string debug() const;

    friend constexpr bool operator==(Gate16 a, Gate16 b) { return a.raw_ == b.raw_; }
    friend constexpr auto operator<=>(Gate16 a, Gate16 b) { return a.raw_ <=> b.raw_; }

private:
    uint16_t raw_ = 0;
};

// Named handles of built-in gates.  The built-in entries are placed at fixed
// indices when the table is created, so these are the handles from_name finds.
namespace gates {
inline constexpr Gate16 I{0}, H{1}, X{2}, Z{3}, Y{4}, S{5}, SDG{6}, T{7}, TDG{8}, CX{9}, CZ{10},
    CY{11}, CS{12}, CSDG{13}, SWAP{14};
inline constexpr uint16_t kBuiltinCount = 23;
}  // namespace gates

namespace detail {

struct GateEntry {
    GateData data;
    uint64_t fingerprint = 0;
    unsigned nqargs = 0;
    std::string display;
    mutable std::atomic<int32_t> adjoint{-1};
};

// Entry storage with stable addresses: an entry never moves once published,
// so readers on worker threads may hold a reference while the table grows.
const GateEntry& gate_entry(Gate16 g);
void lock_gate_table_shared();
void unlock_gate_table_shared() noexcept;

}  // namespace detail

template <class F>
decltype(auto) Gate16::matrix(F&& f) const {
    const detail::GateEntry& e = detail::gate_entry(*this);
    detail::lock_gate_table_shared();
    struct Unlock {
        ~Unlock() { detail::unlock_gate_table_shared(); }
    } unlock;
    return f(static_cast<const ComplexMatrix&>(e.data.matrix));
}

// Number of entries in the table (creates it on first use).
size_t gate_table_size();

}  // namespace borvane
