// The arithmetic of `calculate` and `calculatef`: "+" and "_" (subtraction), "*" and
// "/", parentheses; each step splits at the first operator, so chains group from the
// right. "-" is only a sign. Also the conditions of `if`, `elseif` and `while`, which
// the interpreter and the checker both read from here.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

int EvaluateInteger(const std::string& text);  // 32-bit, wrapping; sentinels on errors
double EvaluateReal(const std::string& text);

// A condition kind (parameter 1, lower-cased) and the parameters its line needs in all.
enum class ConditionKind { Same, Diff, Find, NotFind, Cmp };
struct ConditionRule {
    std::string_view word;
    ConditionKind kind;
    int minParams;
};
const ConditionRule* FindCondition(std::string_view loweredWord);  // nullptr: unknown

// An operator of "cmp" (parameter 3, compared as written) on the two numbers.
struct CompareRule {
    std::string_view word;
    bool (*holds)(double a, double b);
};
const CompareRule* FindCompare(std::string_view op);  // nullptr: unknown

}  // namespace velmora
