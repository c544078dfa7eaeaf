// The search drivers: enumerate every circuit over a list of instructions up
// to a size, breadth first, and file each into a RawECCs map.  Only circuits
// that open a new bucket are extended, so every extended circuit is the
// representative of its class.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "search/ecc.h"
#include "search/evaluator.h"
#include "search/raw_eccs.h"
#include "utils/console.h"

namespace borvane {

// lists taken from the queue, circuits evaluated, placements offered to the map
using SearchCounters = std::array<uint64_t, 3>;

struct SearchResult {
    RawECCs map;
    SearchCounters counters;
};

// Keys each circuit by the evaluator's permutation-aware fingerprint; a
// circuit may be offered once per permutation pair.
SearchResult search(const Evaluator& ev, std::span<const Instr32> instrs, size_t max_size, Console& console);
// Keys each circuit by the plain hash of the initial state after it, with
// identity permutations.
SearchResult search_naive(const Evaluator& ev, std::span<const Instr32> instrs, size_t max_size, Console& console);

// Adds missing adjoints, sorts the gates, places each on every qubit (or
// ordered pair), sorts the placements by largest qubit, then searches.
std::vector<Instr32> generate_instructions(std::vector<Gate16> gates, unsigned nqubits);
SearchResult generate(const Evaluator& ev, std::vector<Gate16> gates, size_t max_size, Console& console);
SearchResult generate_naive(const Evaluator& ev, std::vector<Gate16> gates, size_t max_size, Console& console);

// The key reached by appending `instr` to the representative of the bucket
// at `current_key`, when the map holds a bucket there.
std::optional<uint64_t> compute_next_key(const RawECCs& map, const Evaluator& ev, uint64_t current_key, Instr32 instr);
// The stored circuits equivalent to `instrs`, each expressed in its frame.
std::optional<ECC> find_equivalents(const RawECCs& map, const Evaluator& ev, std::span<const Instr32> instrs);

}  // namespace borvane
