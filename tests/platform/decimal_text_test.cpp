#include "platform/decimal_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(DecimalText, LeadingDecimal)
{
    const struct {
        std::string text;
        int32_t value;
    } cases[] = {
        {"", 0},
        {"abc", 0},
        {"   ", 0},
        {"0", 0},
        {"42", 42},
        {"007", 7},
        {"+5", 5},
        {"-5", -5},
        {"+-5", 0},
        {"--5", 0},
        {"- 5", 0},
        {"-", 0},
        {" \t\n\v\f\r12", 12},
        {"  -12", -12},
        {"12abc", 12},
        {"12 34", 12},
        {"3.9", 3},
        {"0x1A", 0},
        {"1e5", 1},
        {"2147483647", 2147483647},
        {"2147483648", 2147483647},
        {"3232235777", 2147483647},
        {"99999999999999999999999999", 2147483647},
        {"-2147483648", -2147483647 - 1},
        {"-2147483649", -2147483647 - 1},
        {"-99999999999999999999999999", -2147483647 - 1},
        {"000000000000000000000000012", 12},
        {std::string("12\0" "34", 5), 12},
        {"\xA3\xB1" "2", 0}, // a GBK full-width digit is no digit
    };
    for (const auto &c : cases)
        EXPECT_EQ(platform::LeadingDecimal(c.text), c.value) << '"' << c.text << '"';
}

// Only the bytes in the view are read: a number that goes on past its end
// ends with the view.
TEST(DecimalText, ReadsOnlyTheView)
{
    const std::string text = "12345";
    EXPECT_EQ(platform::LeadingDecimal(std::string_view(text).substr(0, 3)), 123);
    EXPECT_EQ(platform::LeadingDecimal(std::string_view(text).substr(0, 0)), 0);
}

} // namespace
