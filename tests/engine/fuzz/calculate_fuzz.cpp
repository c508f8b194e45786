// libFuzzer target for `calculate` and `calculatef`: any text evaluates without undefined
// behaviour, a text without operators is read as a number, and brackets around a text
// without brackets change nothing but the rounding the real form does.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/expression.h"
#include "engine/text.h"

using namespace velmora;

namespace {

// The working text of the commands holds 299 bytes.
constexpr size_t kMaxExpression = 299;

void Require(bool ok) {
    if (!ok) std::abort();
}

bool SameReal(double a, double b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const int i = EvaluateInteger(text);
    const double r = EvaluateReal(text);
    Require(EvaluateInteger(text) == i);
    Require(SameReal(EvaluateReal(text), r));
    // Only the first 299 bytes count.
    if (text.size() > kMaxExpression) {
        Require(EvaluateInteger(text.substr(0, kMaxExpression)) == i);
        return 0;
    }
    const bool brackets = text.find_first_of("()") != std::string::npos;
    if (text.find_first_of("()+_*/") == std::string::npos) {
        Require(i == ToInt(text));
        Require(SameReal(r, ToReal(text)));
    }
    if (!brackets && text.size() + 2 <= kMaxExpression) {
        const std::string grouped = "(" + text + ")";
        Require(EvaluateInteger(grouped) == i);
        // The real form puts a bracket's value back with three decimals (when they fit).
        const std::string put = Format("%.3f", r);
        if (put.size() <= kMaxExpression) Require(SameReal(EvaluateReal(grouped), ToReal(put)));
    }
    // Addition of two plain numbers wraps in 32 bits.
    if (size_t plus = text.find('+'); plus != std::string::npos && !brackets) {
        const std::string a = text.substr(0, plus), b = text.substr(plus + 1);
        if (a.find_first_of("+_*/") == std::string::npos &&
            b.find_first_of("+_*/") == std::string::npos)
            Require(i == static_cast<int>(std::uint32_t(ToInt(a)) + std::uint32_t(ToInt(b))));
    }
    return 0;
}
