// calculate and calculatef arithmetic.
#include "engine/expression.h"

#include <gtest/gtest.h>

#include <climits>

#include "engine/text.h"

namespace velmora {
namespace {

TEST(Expression, Integer) {
    struct Case {
        const char* text;
        int value;
    } cases[] = {
        {"2*(3+4)", 14},
        {"10_3_2", 9},
        {"7/2", 3},
        {"5/0", -99999},
        {"(1+2", -99999},
        {"5-3", 5},
        {"8/4/2", 4},
        {"", 0},
        {"-4*-2", 8},
        {"((2))", 2},
        {"1+2*3", 7},
        {"2*3+1", 7},
        {"-7/2", -3},
        {"(1+1)*(2+2)", 8},
        {"2147483647+1", INT_MIN},
        {"-2147483648/-1", INT_MIN},
        {"x+3", 3},
        {"3)", 3},
    };
    for (const auto& c : cases) EXPECT_EQ(EvaluateInteger(c.text), c.value) << c.text;
}

TEST(Expression, Real) {
    struct Case {
        const char* text;
        const char* shown;
    } cases[] = {
        {"1/4", "0.250000"},    {"(1/3)*3", "0.999000"},   {"1/0", "-99999999.000000"},
        {"1e+5", "6.000000"},   {"(1", "-9999999.000000"}, {"2.5*2", "5.000000"},
        {"10_0.5", "9.500000"},
    };
    for (const auto& c : cases) EXPECT_EQ(Format("%f", EvaluateReal(c.text)), c.shown) << c.text;
}

TEST(Expression, LongExpressionsAreCutNotOverrun) {
    std::string deep(400, '(');
    EXPECT_EQ(EvaluateInteger(deep), -99999);
    std::string sum;
    for (int i = 0; i < 200; ++i) sum += "1+";
    sum += "1";
    EXPECT_EQ(EvaluateInteger(sum), 150);  // 299 bytes: 150 ones, the last "+" dangles
}

}  // namespace
}  // namespace velmora
