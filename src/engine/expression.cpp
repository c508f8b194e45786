// Recursive evaluation of calculate/calculatef expressions; the condition tables.
#include "engine/expression.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "engine/text.h"

namespace velmora {

namespace {

// Expressions live in a 300-byte working text.
constexpr size_t kMaxExpression = 299;

// Index of the ")" matching the "(" at open, or npos.
size_t MatchingParen(const std::string& s, size_t open) {
    int depth = 0;
    for (size_t i = open; i < s.size(); ++i) {
        if (s[i] == '(') ++depth;
        if (s[i] == ')' && --depth == 0) return i;
    }
    return std::string::npos;
}

// Where the first "(", the first "+" or "_" and the first "*" or "/" stand, found in one
// pass: find_first_of calls memchr once per character, which dominated counting loops.
struct Operators {
    size_t paren = std::string::npos, additive = std::string::npos,
           multiplicative = std::string::npos;
};

Operators FindOperators(const std::string& s) {
    Operators o;
    for (size_t i = 0; i < s.size(); ++i) {
        switch (s[i]) {
            case '(':
                o.paren = std::min(o.paren, i);
                break;
            case '+':
            case '_':
                o.additive = std::min(o.additive, i);
                break;
            case '*':
            case '/':
                o.multiplicative = std::min(o.multiplicative, i);
                break;
            default:
                break;
        }
    }
    return o;
}

template <typename T>
struct Rules;

template <>
struct Rules<int> {
    static constexpr int kUnmatched = -99999;
    static constexpr int kDivZero = -99999;
    static std::string Put(int v) { return Format("%i", v); }
    static int Leaf(const std::string& s) { return ToInt(s); }
    static int Add(int a, int b) { return static_cast<int>(std::uint32_t(a) + std::uint32_t(b)); }
    static int Sub(int a, int b) { return static_cast<int>(std::uint32_t(a) - std::uint32_t(b)); }
    static int Mul(int a, int b) { return static_cast<int>(std::uint32_t(a) * std::uint32_t(b)); }
    static int Div(int a, int b) {
        if (b == 0) return kDivZero;
        // The one quotient that does not fit wraps instead of trapping.
        if (a == std::numeric_limits<int>::min() && b == -1) return a;
        return a / b;
    }
};

template <>
struct Rules<double> {
    static constexpr double kUnmatched = -9999999.0;
    static constexpr double kDivZero = -99999999.0;
    static std::string Put(double v) { return Format("%.3f", v); }
    static double Leaf(const std::string& s) { return ToReal(s); }
    static double Add(double a, double b) { return a + b; }
    static double Sub(double a, double b) { return a - b; }
    static double Mul(double a, double b) { return a * b; }
    static double Div(double a, double b) { return b == 0.0 ? kDivZero : a / b; }
};

template <typename T>
T Evaluate(const std::string& text) {
    using R = Rules<T>;
    if (text.empty()) return T{};
    const Operators ops = FindOperators(text);
    if (size_t open = ops.paren; open != std::string::npos) {
        size_t close = MatchingParen(text, open);
        if (close == std::string::npos) return R::kUnmatched;
        T inner = Evaluate<T>(text.substr(open + 1, close - open - 1));
        std::string rewritten = text.substr(0, open) + R::Put(inner) + text.substr(close + 1);
        if (rewritten.size() > kMaxExpression) rewritten.resize(kMaxExpression);
        return Evaluate<T>(rewritten);
    }
    if (size_t op = ops.additive; op != std::string::npos) {
        T a = Evaluate<T>(text.substr(0, op)), b = Evaluate<T>(text.substr(op + 1));
        return text[op] == '+' ? R::Add(a, b) : R::Sub(a, b);
    }
    if (size_t op = ops.multiplicative; op != std::string::npos) {
        T a = Evaluate<T>(text.substr(0, op)), b = Evaluate<T>(text.substr(op + 1));
        return text[op] == '*' ? R::Mul(a, b) : R::Div(a, b);
    }
    return R::Leaf(text);
}

}  // namespace

int EvaluateInteger(const std::string& text) {
    return Evaluate<int>(text.substr(0, kMaxExpression));
}

double EvaluateReal(const std::string& text) {
    return Evaluate<double>(text.substr(0, kMaxExpression));
}

const ConditionRule* FindCondition(std::string_view loweredWord) {
    static constexpr ConditionRule kConditions[] = {
        {"same", ConditionKind::Same, 3}, {"diff", ConditionKind::Diff, 3},
        {"find", ConditionKind::Find, 3}, {"!find", ConditionKind::NotFind, 3},
        {"cmp", ConditionKind::Cmp, 4},
    };
    for (const ConditionRule& c : kConditions)
        if (c.word == loweredWord) return &c;
    return nullptr;
}

const CompareRule* FindCompare(std::string_view op) {
    static constexpr CompareRule kOperators[] = {
        {"=", [](double a, double b) { return a == b; }},
        {"!=", [](double a, double b) { return a != b; }},
        {">", [](double a, double b) { return a > b; }},
        {"<", [](double a, double b) { return a < b; }},
        {">=", [](double a, double b) { return a >= b; }},
        {"<=", [](double a, double b) { return a <= b; }},
    };
    for (const CompareRule& r : kOperators)
        if (r.word == op) return &r;
    return nullptr;
}

}  // namespace velmora
