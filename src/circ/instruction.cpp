#include "circ/instruction.h"

#include <cstdio>

#include "utils/fmt_join.h"
#include "utils/siphash.h"

namespace borvane {

namespace {

void hash_argument(SipHasher13& h, const Argument& a) {
    h.write_str(a.regid);
    h.write_u32(uint32_t(a.index));
}

void hash_arguments(SipHasher13& h, const std::vector<Argument>& args) {
    h.write_len(args.size());
    for (const Argument& a : args) hash_argument(h, a);
}

}  // namespace

std::string quoted_literal(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            case '\0': out += "\\0"; break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char buf[12];
                    std::snprintf(buf, sizeof buf, "\\u{%x}", unsigned(c));
                    out += buf;
                } else {
                    out += char(c);
                }
        }
    }
    out += "\"";
    return out;
}

uint64_t Argument::hash_value() const {
    SipHasher13 h;
    hash_argument(h, *this);
    return h.finish();
}

std::string Argument::display() const { return regid + "[" + std::to_string(index) + "]"; }

std::string Argument::debug() const {
    return "Argument { regid: " + quoted_literal(regid) + ", index: " + std::to_string(index) + " }";
}

uint64_t Instruction::hash_value() const {
    SipHasher13 h;
    h.write_u16(gate.raw());
    hash_arguments(h, qargs);
    hash_arguments(h, cargs);
    return h.finish();
}

std::string Instruction::display() const {
    std::string out = gate.display() + " ";
    bool first = true;
    for (const auto* list : {&qargs, &cargs})
        for (const Argument& a : *list) {
            if (!first) out += ", ";
            first = false;
            out += a.display();
        }
    return out + ";";
}

std::string Instruction::debug() const {
    auto write = [](std::string& o, const Argument& a) { o += a.debug(); };
    return "Instruction { gate: " + gate.debug() + ", qargs: [" + fmt_join(qargs, ", ", write) + "], cargs: [" +
           fmt_join(cargs, ", ", write) + "] }";
}

}  // namespace borvane
