// The arithmetic of `calculate` and `calculatef`: "+" and "_" (subtraction), "*" and
// "/", parentheses; each step splits at the first operator, so chains group from the
// right. "-" is only a sign.
#pragma once

#include <string>

namespace velmora {

int EvaluateInteger(const std::string& text);  // 32-bit, wrapping; sentinels on errors
double EvaluateReal(const std::string& text);

}  // namespace velmora
