#include "state/order_info.h"

#include <string>

#include "utils/errors.h"
#include "utils/numeric.h"

namespace borvane {

std::vector<Permut32> OrderInfo::as_perms() const {
    std::vector<Permut32> out;
    for_each_perm([&](Permut32 p) { out.push_back(p); });
    return out;
}

const std::vector<Permut32>& eqmask_to_perms(uint8_t mask) {
    static const std::array<std::vector<Permut32>, 16> EQMASK_TO_PERMS = [] {
        std::array<std::vector<Permut32>, 16> t;
        const auto& all5 = Permut32::all(5);
        for (unsigned m = 0; m < 16; ++m) {
            uint8_t cls[5] = {0};
            for (unsigned k = 0; k < 4; ++k) cls[k + 1] = (m & (1u << k)) ? cls[k] : uint8_t(cls[k] + 1);
            for (Permut32 p : all5) {
                bool keep = true;
                for (unsigned c = 0; c < 5; ++c) keep = keep && cls[p.get(c)] == cls[c];
                if (keep) t[m].push_back(p);
            }
        }
        return t;
    }();
    if (mask >= 16)
        throw InternalError("index out of range: equality mask " + std::to_string(mask) +
                            " has no candidate list (more than five qubits in one class)");
    return EQMASK_TO_PERMS[mask];
}

}  // namespace borvane
