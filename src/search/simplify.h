// Turning a raw map into finished classes, and re-keying a map under a
// second evaluator to cross-check that its classes do not depend on the
// random states of the first.
#pragma once

#include "search/ecc.h"
#include "search/evaluator.h"
#include "search/raw_eccs.h"

namespace borvane {

// One bucket as a class: canonical views sorted by the entry order, then the
// whole class relabelled so that its first circuit acts on qubits 0 .. k-1.
ECC simplify_bucket(const RawECCs& map, RawECCs::BucketId b);
// Every bucket as a class, sorted by the class order.
ECCs simplify(const RawECCs& map);
// A map keyed by `ev` holding the same lists as `map` (shared, not copied).
RawECCs switch_evaluator(const RawECCs& map, const Evaluator& ev);

}  // namespace borvane
