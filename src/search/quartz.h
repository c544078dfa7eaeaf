// Quartz JSON export: an ECC collection written as the equivalent-circuit-class
// set that the Quartz circuit optimiser reads.  Quartz knows nothing of
// trailing permutations, so they become explicit swap gates, and a class whose
// entries carry different permutations is written once per distinct
// permutation (a "variant").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "circ/instr.h"
#include "search/ecc.h"

namespace borvane {

// Appends compact JSON text (no blanks, no newlines) to a string.  Object keys
// must come in ascending byte order and the writer refuses any other order:
// Quartz documents are key-sorted, and a writer that checks it cannot emit an
// unsorted one by accident.  Strings use the standard JSON escapes; bytes
// outside ASCII pass through untouched, so UTF-8 stays UTF-8.
class JsonWriter {
public:
    void begin_array();
    void end_array();
    void begin_object();
    void end_object();
    // The next member's key; must be greater than the previous key of the
    // same object.
    void key(std::string_view k);
    void value(uint64_t v);
    void value(std::string_view s);
    // A complete value that is already compact JSON text.
    void raw(std::string_view json);

    void reserve(size_t n) { out_.reserve(n); }
    // The text written so far; complete once every array and object is closed.
    const std::string& text() const { return out_; }
    std::string take();

private:
    struct Level {
        bool object;
        bool empty = true;
        bool has_key = false;  // objects: a key is waiting for its value
        std::string last_key;
    };
    void before_value();

    std::vector<Level> open_;
    std::string out_;
    bool done_ = false;  // a top-level value has been written
};

// The JSON string literal of `s`, appended to `out`.
void append_json_string(std::string& out, std::string_view s);

// One circuit per entry of a class, each the entry's instructions followed by
// the swaps that express its permutation relative to the variant's one.
using EccVariant = std::vector<std::vector<Instr32>>;

// The variants of a class, produced one at a time: each distinct permutation
// among the entries, in order of first occurrence, gives one variant in which
// every entry j carries the swaps of perm_i.inv() * perm_j (so entry i itself
// has none).  Borrows the class, which must outlive the generator.
class EccSwapVariants {
public:
    explicit EccSwapVariants(const ECC& ecc) : ecc_(&ecc), covered_(ecc.entries.size(), false) {}
    // The next variant, or nothing after the last one.
    std::optional<EccVariant> next();

private:
    const ECC* ecc_;
    std::vector<bool> covered_;  // entries whose permutation has had its variant
    size_t pos_ = 0;
};

inline EccSwapVariants generate_ecc_with_swap(const ECC& ecc) { return EccSwapVariants(ecc); }
// The generator borrows its class; a temporary would be gone before the
// first variant is asked for.
EccSwapVariants generate_ecc_with_swap(const ECC&&) = delete;

// The compact JSON array of a variant's circuits: each [[qubits, gates],
// [[name, ["Qk", ...], ["Qk", ...]], ...]], qubits being 1 + the largest qubit
// index the circuit uses (1 for an empty circuit).
std::string ecc_to_json(const EccVariant& variant);

// The whole document: [[[0],[0]],{key: variant, ...}] with key = class index
// in lowercase hex, "_", variant number in decimal.  Classes with fewer than
// two entries are not written but still take their index.
std::string as_quartz(const ECCs& eccs);

// Writes as_quartz(eccs) to `path`, creating or truncating the file.
// IoError "Failed to create file: <reason>" when the file cannot be created;
// ValueError "Failed to write JSON: <reason>" when writing or closing fails
// (the file keeps what was written).  The file is closed on every path.
void dump_quartz(const ECCs& eccs, const std::string& path);

}  // namespace borvane
