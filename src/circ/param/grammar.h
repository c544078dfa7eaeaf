// The PEG grammar of gate parameter texts ("pi/3", "-pi/16", "sqrt(2)/2").
// Ordered choice, implicit whitespace inside the non-atomic rules, and no
// anchoring at the end: the longest prefix that forms an `exp` is parsed and
// the rest of the text is ignored.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace borvane::param {

enum class Rule : uint8_t {
    real = 0,
    id = 1,
    nninteger = 2,
    exp = 3,
    term = 4,
    factor = 5,
    plus = 6,
    mul = 7,
    power = 8,
    unary_op = 9,
    WHITESPACE = 10,
};

const char* rule_name(Rule r);

// A node of the parse tree.  Nodes are stored in pre-order; the children of
// node i start at i + 1 and each child's subtree is `subtree` nodes long.
struct Node {
    Rule rule;
    uint32_t start;
    uint32_t end;
    uint32_t subtree;  // number of descendants
};

struct ParseTree {
    std::string_view text;
    std::vector<Node> nodes;  // nodes[0] is the top `exp`

    std::string_view text_of(uint32_t i) const {
        return text.substr(nodes[i].start, nodes[i].end - nodes[i].start);
    }
    // Indices of the direct children of node i, in order.
    std::vector<uint32_t> children(uint32_t i) const;
};

// Parses `text` from rule `exp`.  On failure returns the report: the line and
// column where no rule could continue, the offending line with a marker under
// that column, and the rules that were expected there.
std::variant<ParseTree, std::string> parse_exp(std::string_view text);

// Nesting deeper than this (parentheses, function calls, unary minus) is a
// parse error rather than a risk to the stack.
inline constexpr unsigned kMaxNesting = 256;

}  // namespace borvane::param
