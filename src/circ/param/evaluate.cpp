#include "circ/param/evaluate.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace borvane::param {

namespace {

using Kind = NumericError::Kind;

// Reads a `real` or `nninteger` text (digits with an optional '.') as the
// nearest double.
double read_decimal(std::string_view s) {
    double v = 0.0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) {
        // Only magnitude can overflow: these texts have no exponent, so a
        // huge integer part means infinity and anything else is an underflow.
        size_t int_digits = s.find('.');
        if (int_digits == std::string_view::npos) int_digits = s.size();
        size_t first = s.find_first_not_of('0');
        bool big = first != std::string_view::npos && first < int_digits;
        return big ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return v;
}

// Folds `first (op next)*` left to right, stopping at the first error.
template <class EvalOperand>
Numeric fold_left(const ParseTree& t, uint32_t node, const Variables& vars, EvalOperand eval) {
    std::vector<uint32_t> ch = t.children(node);
    Numeric acc = eval(t, ch[0], vars);
    if (std::holds_alternative<NumericError>(acc)) return acc;
    for (size_t i = 1; i + 1 < ch.size(); i += 2) {
        Numeric rhs = eval(t, ch[i + 1], vars);
        if (std::holds_alternative<NumericError>(rhs)) return rhs;
        acc = caculate(t.text_of(ch[i]), std::get<double>(acc), std::get<double>(rhs));
        if (std::holds_alternative<NumericError>(acc)) return acc;
    }
    return acc;
}

}  // namespace

Numeric caculate(std::string_view name, double a, double b) {
    if (name == "+") return a + b;
    if (name == "-") return a - b;
    if (name == "*") return a * b;
    if (name == "/") {
        if (b == 0.0) return NumericError{Kind::DivisionByZero, {}};
        return a / b;
    }
    if (name == "^") return std::pow(a, b);
    if (name == "sin") return std::sin(a);
    if (name == "cos") return std::cos(a);
    if (name == "tan") return std::tan(a);
    if (name == "exp") return std::exp(a);
    if (name == "ln") return std::log(a);
    if (name == "sqrt") return std::sqrt(a);
    return NumericError{Kind::InvalidArgument, std::string(name)};
}

Numeric eval_expr(const ParseTree& t, uint32_t node, const Variables& vars) {
    return fold_left(t, node, vars, eval_term);
}

Numeric eval_term(const ParseTree& t, uint32_t node, const Variables& vars) {
    return fold_left(t, node, vars, eval_factor);
}

Numeric eval_factor(const ParseTree& t, uint32_t node, const Variables& vars) {
    // "^" is not a node: the children are the powers, grouped to the left.
    std::vector<uint32_t> ch = t.children(node);
    Numeric acc = eval_power(t, ch[0], vars);
    for (size_t i = 1; i < ch.size() && std::holds_alternative<double>(acc); ++i) {
        Numeric p = eval_power(t, ch[i], vars);
        if (std::holds_alternative<NumericError>(p)) return p;
        acc = std::pow(std::get<double>(acc), std::get<double>(p));
    }
    return acc;
}

Numeric eval_power(const ParseTree& t, uint32_t node, const Variables& vars) {
    std::vector<uint32_t> ch = t.children(node);
    uint32_t c = ch[0];
    switch (t.nodes[c].rule) {
        case Rule::real:
        case Rule::nninteger: return read_decimal(t.text_of(c));
        case Rule::id: {
            auto it = vars.find(t.text_of(c));
            if (it == vars.end()) return NumericError{Kind::UndefinedVariable, std::string(t.text_of(c))};
            return it->second;
        }
        case Rule::exp: return eval_expr(t, c, vars);
        case Rule::unary_op: {
            Numeric v = eval_expr(t, ch[1], vars);
            if (std::holds_alternative<NumericError>(v)) return v;
            return caculate(t.text_of(c), std::get<double>(v), 0.0);
        }
        case Rule::power: {
            Numeric v = eval_power(t, c, vars);
            if (std::holds_alternative<NumericError>(v)) return v;
            return -std::get<double>(v);
        }
        default: break;
    }
    return NumericError{Kind::InvalidArgument, rule_name(t.nodes[c].rule)};
}

Numeric evaluate(std::string_view text, const Variables& vars) {
    auto parsed = parse_exp(text);
    if (auto* report = std::get_if<std::string>(&parsed)) return NumericError{Kind::ParseError, *report};
    return eval_expr(std::get<ParseTree>(parsed), 0, vars);
}

Numeric evaluate_with_pi(std::string_view text) {
    static const Variables vars{{"pi", 3.141592653589793}};
    return evaluate(text, vars);
}

}  // namespace borvane::param
