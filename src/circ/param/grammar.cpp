#include "circ/param/grammar.h"

#include <algorithm>

namespace borvane::param {

const char* rule_name(Rule r) {
    switch (r) {
        case Rule::real: return "real";
        case Rule::id: return "id";
        case Rule::nninteger: return "nninteger";
        case Rule::exp: return "exp";
        case Rule::term: return "term";
        case Rule::factor: return "factor";
        case Rule::plus: return "plus";
        case Rule::mul: return "mul";
        case Rule::power: return "power";
        case Rule::unary_op: return "unary_op";
        case Rule::WHITESPACE: return "WHITESPACE";
    }
    return "?";
}

std::vector<uint32_t> ParseTree::children(uint32_t i) const {
    std::vector<uint32_t> out;
    uint32_t end = i + 1 + nodes[i].subtree;
    for (uint32_t c = i + 1; c < end; c += 1 + nodes[c].subtree) out.push_back(c);
    return out;
}

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A recursive-descent PEG parser.  Failed alternatives restore the position
// and drop the nodes they made.  Failures are tracked the way PEG parsers
// usually report them: the furthest position at which a rule failed, and the
// rules that failed there (a rule whose failure is fully explained by a single
// failed child reports the child).
class Parser {
public:
    explicit Parser(std::string_view text) : in_(text) {}

    std::variant<ParseTree, std::string> run() {
        bool ok = exp();
        if (too_deep_) return report(deep_pos_, "expression nested too deeply (more than " +
                                                    std::to_string(kMaxNesting) + " levels)");
        if (!ok) {
            std::sort(attempts_.begin(), attempts_.end());
            attempts_.erase(std::unique(attempts_.begin(), attempts_.end()), attempts_.end());
            return report(attempt_pos_, expected_message());
        }
        return ParseTree{in_, std::move(nodes_)};
    }

private:
    // --- combinators --------------------------------------------------------

    struct Mark {
        size_t pos;
        size_t nodes;
    };
    Mark mark() const { return {pos_, nodes_.size()}; }
    void restore(Mark m) {
        pos_ = m.pos;
        nodes_.resize(m.nodes);
    }

    template <class Body>
    bool rule(Rule r, Body&& body) {
        if (too_deep_) return false;
        size_t start = pos_;
        size_t node = nodes_.size();
        size_t attempt_index = start == attempt_pos_ ? attempts_.size() : 0;
        size_t prev_attempts = attempts_at(start);
        nodes_.push_back(Node{r, uint32_t(start), 0, 0});
        if (body()) {
            nodes_[node].end = uint32_t(pos_);
            nodes_[node].subtree = uint32_t(nodes_.size() - node - 1);
            return true;
        }
        restore({start, node});
        track(r, start, attempt_index, prev_attempts);
        return false;
    }

    size_t attempts_at(size_t pos) const { return pos == attempt_pos_ ? attempts_.size() : 0; }

    void track(Rule r, size_t pos, size_t attempt_index, size_t prev_attempts) {
        if (atomic_) return;
        size_t curr = attempts_at(pos);
        if (curr > prev_attempts && curr - prev_attempts == 1) return;
        if (pos == attempt_pos_) attempts_.resize(attempt_index);
        if (pos > attempt_pos_) {
            attempts_.clear();
            attempt_pos_ = pos;
        }
        if (pos == attempt_pos_) attempts_.push_back(r);
    }

    template <class Body>
    bool atomic_rule(Rule r, Body&& body) {
        return rule(r, [&] {
            bool saved = atomic_;
            atomic_ = true;
            bool ok = body();
            atomic_ = saved;
            return ok;
        });
    }

    bool literal(std::string_view s) {
        if (in_.substr(pos_, s.size()) != s) return false;
        pos_ += s.size();
        return true;
    }

    // Implicit whitespace between the elements of a non-atomic sequence.
    void skip() {
        while (pos_ < in_.size() &&
               (in_[pos_] == ' ' || in_[pos_] == '\t' || in_[pos_] == '\n' || in_[pos_] == '\r'))
            ++pos_;
    }

    // --- rules --------------------------------------------------------------

    // first ~ (sep ~ next)*, with implicit whitespace between the elements;
    // a repetition that does not complete is undone.
    template <class First, class Sep, class Next>
    bool repeated(First&& first, Sep&& sep, Next&& next) {
        if (!first()) return false;
        for (;;) {
            Mark m = mark();
            skip();
            if (sep()) {
                skip();
                if (next()) continue;
            }
            restore(m);
            return true;
        }
    }

    // exp = WHITESPACE* ~ term ~ (plus ~ term)*
    bool exp() {
        return rule(Rule::exp, [&] {
            skip();
            return repeated([&] { return term(); }, [&] { return plus(); }, [&] { return term(); });
        });
    }

    // term = factor ~ (mul ~ factor)*
    bool term() {
        return rule(Rule::term,
                    [&] { return repeated([&] { return factor(); }, [&] { return mul(); }, [&] { return factor(); }); });
    }

    // factor = power ~ ("^" ~ power)*
    bool factor() {
        return rule(Rule::factor, [&] {
            return repeated([&] { return power(); }, [&] { return literal("^"); }, [&] { return power(); });
        });
    }

    // power = real | nninteger | "(" ~ exp ~ ")" | unary_op ~ "(" ~ exp ~ ")"
    //       | "-" ~ power | id
    bool power() {
        if (depth_ >= kMaxNesting) {
            if (!too_deep_) {
                too_deep_ = true;
                deep_pos_ = pos_;
            }
            return false;
        }
        ++depth_;
        bool ok = rule(Rule::power, [&] {
            Mark m = mark();
            if (real()) return true;
            if (nninteger()) return true;
            if (literal("(")) {
                skip();
                if (exp()) {
                    skip();
                    if (literal(")")) return true;
                }
            }
            restore(m);
            if (unary_op()) {
                skip();
                if (literal("(")) {
                    skip();
                    if (exp()) {
                        skip();
                        if (literal(")")) return true;
                    }
                }
            }
            restore(m);
            if (literal("-")) {
                skip();
                if (power()) return true;
            }
            restore(m);
            return id();
        });
        --depth_;
        return ok;
    }

    bool plus() {
        return rule(Rule::plus, [&] { return literal("+") || literal("-"); });
    }
    bool mul() {
        return rule(Rule::mul, [&] { return literal("*") || literal("/"); });
    }
    bool unary_op() {
        return rule(Rule::unary_op, [&] {
            return literal("sin") || literal("cos") || literal("tan") || literal("exp") ||
                   literal("ln") || literal("sqrt");
        });
    }

    // real = digit+ ~ "." ~ digit*   (atomic)
    bool real() {
        return atomic_rule(Rule::real, [&] {
            size_t p = pos_;
            while (p < in_.size() && is_digit(in_[p])) ++p;
            if (p == pos_ || p >= in_.size() || in_[p] != '.') return false;
            ++p;
            while (p < in_.size() && is_digit(in_[p])) ++p;
            pos_ = p;
            return true;
        });
    }

    // nninteger = "0" | '1'..'9' ~ digit*   (atomic)
    bool nninteger() {
        return atomic_rule(Rule::nninteger, [&] {
            if (pos_ >= in_.size() || !is_digit(in_[pos_])) return false;
            if (in_[pos_] == '0') {
                ++pos_;
                return true;
            }
            while (pos_ < in_.size() && is_digit(in_[pos_])) ++pos_;
            return true;
        });
    }

    // id = alpha ~ (alpha | digit | "_")*   (atomic)
    bool id() {
        return atomic_rule(Rule::id, [&] {
            if (pos_ >= in_.size() || !is_alpha(in_[pos_])) return false;
            ++pos_;
            while (pos_ < in_.size() && (is_alpha(in_[pos_]) || is_digit(in_[pos_]) || in_[pos_] == '_'))
                ++pos_;
            return true;
        });
    }

    // --- error report -------------------------------------------------------

    std::string expected_message() const {
        if (attempts_.empty()) return "unknown parsing error";
        std::string s = "expected ";
        for (size_t i = 0; i < attempts_.size(); ++i) {
            if (i > 0) s += attempts_.size() == 2 ? " or " : (i + 1 == attempts_.size() ? ", or " : ", ");
            s += rule_name(attempts_[i]);
        }
        return s;
    }

    // The report, laid out as
    //    --> 1:5
    //     |
    //   1 | 2 * )
    //     |     ^---
    //     |
    //     = expected power
    std::string report(size_t pos, const std::string& message) const {
        size_t line_start = 0, line_no = 1;
        for (size_t i = 0; i < pos && i < in_.size(); ++i)
            if (in_[i] == '\n') {
                ++line_no;
                line_start = i + 1;
            }
        size_t line_end = in_.find('\n', line_start);
        if (line_end == std::string_view::npos) line_end = in_.size();
        std::string_view line = in_.substr(line_start, line_end - line_start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        // Columns count characters, not UTF-8 continuation bytes.
        size_t col = 1;
        for (size_t i = line_start; i < pos && i < in_.size(); ++i)
            if ((static_cast<unsigned char>(in_[i]) & 0xC0) != 0x80) ++col;

        std::string num = std::to_string(line_no);
        std::string pad(num.size(), ' ');
        std::string out;
        out += pad + "--> " + num + ":" + std::to_string(col) + "\n";
        out += pad + " |\n";
        out += num + " | " + std::string(line) + "\n";
        out += pad + " | " + std::string(col - 1, ' ') + "^---\n";
        out += pad + " |\n";
        out += pad + " = " + message;
        return out;
    }

    std::string_view in_;
    size_t pos_ = 0;
    std::vector<Node> nodes_;
    bool atomic_ = false;
    size_t attempt_pos_ = 0;
    std::vector<Rule> attempts_;
    unsigned depth_ = 0;
    bool too_deep_ = false;
    size_t deep_pos_ = 0;
};

}  // namespace

std::variant<ParseTree, std::string> parse_exp(std::string_view text) { return Parser(text).run(); }

}  // namespace borvane::param
