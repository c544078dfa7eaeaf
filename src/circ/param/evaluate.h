// Evaluation of parameter texts to doubles by walking the parse tree.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <variant>

#include "circ/param/grammar.h"

namespace borvane::param {

struct NumericError {
    enum class Kind { ParseError, DivisionByZero, InvalidArgument, UndefinedVariable };
    Kind kind;
    std::string payload;  // parser report, operator name or variable name

    // The text used as the ValueError message.
    std::string text() const { return kind == Kind::DivisionByZero ? "DivisionByZero" : payload; }
};

using Numeric = std::variant<double, NumericError>;
using Variables = std::map<std::string, double, std::less<>>;

Numeric evaluate(std::string_view text, const Variables& vars);
// evaluate with the single variable pi = 3.141592653589793.
Numeric evaluate_with_pi(std::string_view text);

// The tree walk, over the children of an exp, term, factor or power node.
Numeric eval_expr(const ParseTree& t, uint32_t node, const Variables& vars);
Numeric eval_term(const ParseTree& t, uint32_t node, const Variables& vars);
Numeric eval_factor(const ParseTree& t, uint32_t node, const Variables& vars);
Numeric eval_power(const ParseTree& t, uint32_t node, const Variables& vars);
// Applies a binary operator or (with b ignored) a function by name.
Numeric caculate(std::string_view name, double a, double b);

}  // namespace borvane::param
