#include "circ/gate.h"

#include <bit>
#include <memory>

#include "utils/errors.h"
#include "utils/fmt_join.h"
#include "utils/numeric.h"
#include "utils/rw_spinlock.h"
#include "utils/siphash.h"

namespace borvane {

using detail::GateEntry;

namespace {

// A 16-bit handle addresses at most this many gates.
constexpr size_t kMaxGates = 65536;

std::string display_name(const std::string& name, const std::vector<std::string>& params) {
    if (params.empty()) return name;
    return name + fmt_join(params, ", ", [](std::string& o, const std::string& p) { o += p; }, "(", ")");
}

std::unique_ptr<GateEntry> make_entry(std::string name, std::vector<std::string> params,
                                      ComplexMatrix matrix) {
    if (matrix.rows == 0 || !std::has_single_bit(matrix.rows))
        throw InternalError("Matrix must have a number of rows that is a power of two");
    if (matrix.cols != matrix.rows) throw InternalError("Matrix must be squared");
    auto e = std::make_unique<GateEntry>();
    e->data.name = std::move(name);
    e->data.params = std::move(params);
    e->data.matrix = std::move(matrix);
    e->fingerprint = e->data.hash_value();
    e->nqargs = unsigned(std::countr_zero(e->data.matrix.rows));
    e->display = display_name(e->data.name, e->data.params);
    return e;
}

class GateTable {
public:
    GateTable() : entries_(new std::atomic<const GateEntry*>[kMaxGates]) {
        for (size_t i = 0; i < kMaxGates; ++i) entries_[i].store(nullptr, std::memory_order_relaxed);
        add_builtins();
    }

    RwSpinLock& lock() { return lock_; }

    uint32_t size() const { return len_.load(std::memory_order_acquire); }

    const GateEntry& entry(uint16_t idx) const {
        if (idx >= size()) [[unlikely]]
            throw InternalError("Gate16 handle " + std::to_string(idx) + " is not in the gate table");
        return *entries_[idx].load(std::memory_order_acquire);
    }

    // Dedup scan and append under one exclusive hold, so two threads adding
    // the same matrix obtain the same handle.
    Gate16 insert(std::unique_ptr<GateEntry> e) {
        ExclusiveHold hold(lock_);
        uint32_t n = len_.load(std::memory_order_relaxed);
        for (uint32_t i = 0; i < n; ++i)
            if (entries_[i].load(std::memory_order_relaxed)->fingerprint == e->fingerprint)
                return Gate16(uint16_t(i));
        if (n == kMaxGates)
            throw InternalError("The gate table is full: at most 65536 gates can be defined");
        entries_[n].store(e.release(), std::memory_order_release);
        len_.store(n + 1, std::memory_order_release);
        return Gate16(uint16_t(n));
    }

private:
    void add_builtins();

    RwSpinLock lock_;
    std::atomic<uint32_t> len_{0};
    // Entries are allocated one by one and never freed or moved.
    std::unique_ptr<std::atomic<const GateEntry*>[]> entries_;
};

void GateTable::add_builtins() {
    using C = Complex;
    const double r = 0.7071067811865476;
    const C i(0.0, 1.0), mi(0.0, -1.0), one(1.0, 0.0), z(0.0, 0.0), m1(-1.0, 0.0);
    auto diag2 = [&](C w) { return ComplexMatrix::from_rows(2, {one, z, z, w}); };
    auto diag4 = [&](C w) {
        return ComplexMatrix::from_rows(4, {one, z, z, z, z, one, z, z, z, z, one, z, z, z, z, w});
    };
    struct Builtin {
        const char* name;
        const char* param;
        ComplexMatrix m;
    };
    const Builtin table[] = {
        {"i", nullptr, ComplexMatrix::from_rows(2, {one, z, z, one})},
        {"h", nullptr, ComplexMatrix::from_rows(2, {C(r, 0), C(r, 0), C(r, 0), C(-r, 0)})},
        {"x", nullptr, ComplexMatrix::from_rows(2, {z, one, one, z})},
        {"z", nullptr, diag2(m1)},
        {"y", nullptr, ComplexMatrix::from_rows(2, {z, mi, i, z})},
        {"s", nullptr, diag2(i)},
        {"sdg", nullptr, diag2(mi)},
        {"t", nullptr, diag2(C(0.7071067811865476, 0.7071067811865475))},
        {"tdg", nullptr, diag2(C(0.7071067811865476, -0.7071067811865475))},
        {"cx", nullptr, ComplexMatrix::from_rows(4, {one, z, z, z, z, one, z, z, z, z, z, one, z, z, one, z})},
        {"cz", nullptr, diag4(m1)},
        {"cy", nullptr, ComplexMatrix::from_rows(4, {one, z, z, z, z, one, z, z, z, z, z, mi, z, z, i, z})},
        {"cs", nullptr, diag4(i)},
        {"csdg", nullptr, diag4(mi)},
        {"swap", nullptr, ComplexMatrix::from_rows(4, {one, z, z, z, z, z, one, z, z, one, z, z, z, z, z, one})},
        {"t1/2", nullptr, diag2(C(0.9238795325112867, 0.3826834323650898))},
        {"tdg1/2", nullptr, diag2(C(0.9238795325112867, -0.3826834323650898))},
        {"rz", "pi/3", diag2(C(0.5000000000000001, 0.8660254037844386))},
        {"rz", "-pi/3", diag2(C(0.5000000000000001, -0.8660254037844386))},
        {"rz", "pi/5", diag2(C(0.8090169943749475, 0.5877852522924731))},
        {"rz", "-pi/5", diag2(C(0.8090169943749475, -0.5877852522924731))},
        {"rz", "pi/16", diag2(C(0.9807852804032304, 0.19509032201612825))},
        {"rz", "-pi/16", diag2(C(0.9807852804032304, -0.19509032201612825))},
    };
    static_assert(sizeof(table) / sizeof(table[0]) == gates::kBuiltinCount);
    for (const Builtin& b : table) {
        std::vector<std::string> params;
        if (b.param) params.emplace_back(b.param);
        Gate16 g = insert(make_entry(b.name, std::move(params), b.m));
        check(g.raw() + 1u == size(), "built-in gates must have distinct matrices");
    }
}

GateTable& table() {
    // Never destroyed: worker threads may still read gates while the process exits.
    static GateTable* t = new GateTable();
    return *t;
}

}  // namespace

namespace detail {
const GateEntry& gate_entry(Gate16 g) { return table().entry(g.raw()); }
void lock_gate_table_shared() { table().lock().lock_shared(); }
void unlock_gate_table_shared() noexcept { table().lock().unlock_shared(); }
}  // namespace detail

uint64_t GateData::hash_value() const {
    SipHasher13 h;
    h.write_u32(matrix.rows);
    h.write_u32(matrix.cols);
    for (const Complex& v : matrix.data) {
        h.write_i64(quantize24(v.real()));
        h.write_i64(quantize24(v.imag()));
    }
    return h.finish();
}

Gate16 Gate16::create(std::string name, std::vector<std::string> params, ComplexMatrix matrix) {
    // All checks and the fingerprint happen before the lock is taken, so a
    // failed call leaves the table unchanged.
    auto e = make_entry(std::move(name), std::move(params), std::move(matrix));
    return table().insert(std::move(e));
}

std::optional<Gate16> Gate16::from_name(std::string_view display_name) {
    GateTable& t = table();
    SharedHold hold(t.lock());
    uint32_t n = t.size();
    for (uint32_t i = 0; i < n; ++i)
        if (t.entry(uint16_t(i)).display == display_name) return Gate16(uint16_t(i));
    return std::nullopt;
}

Gate16 Gate16::from_stored_name(std::string_view display_name) {
    if (auto g = from_name(display_name)) return *g;
    throw InternalError("Failed to deserialize Gate16 from " + std::string(display_name));
}

std::string Gate16::name() const { return detail::gate_entry(*this).data.name; }
std::vector<std::string> Gate16::params() const { return detail::gate_entry(*this).data.params; }
ComplexMatrix Gate16::matrix_copy() const {
    return matrix([](const ComplexMatrix& m) { return m; });
}
unsigned Gate16::nqargs() const { return detail::gate_entry(*this).nqargs; }
const std::string& Gate16::display() const { return detail::gate_entry(*this).display; }
std::string Gate16::debug() const { return "Gate(" + std::to_string(raw_) + " -> " + display() + ")"; }

Gate16 Gate16::adjoint() const {
    const GateEntry& e = detail::gate_entry(*this);
    int32_t link = e.adjoint.load(std::memory_order_acquire);
    if (link >= 0) return Gate16(uint16_t(link));
    // Build the dagger gate outside any hold; `create` takes the lock itself.
    Gate16 adj = create(e.data.name + "\u2020", e.data.params, e.data.matrix.conjugate_transpose());
    {
        ExclusiveHold hold(table().lock());
        e.adjoint.store(adj.raw(), std::memory_order_release);
    }
    return adj;
}

size_t gate_table_size() { return table().size(); }

}  // namespace borvane
