#include <gtest/gtest.h>

#include "runtime/numbers.h"

using namespace rt;

namespace {
int errorOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}
}  // namespace

TEST(Numbers, ConversionRoundsHalvesToEven)
{
    EXPECT_EQ(CInt(2.5).value(), 2);
    EXPECT_EQ(CInt(3.5).value(), 4);
    EXPECT_EQ(CInt(-2.5).value(), -2);
    EXPECT_EQ(CInt(-3.5).value(), -4);
    EXPECT_EQ(CInt(2.4999).value(), 2);
    EXPECT_EQ(CLng(2107.5).value(), 2108);
    EXPECT_EQ(CLng(2106.5).value(), 2106);
    EXPECT_EQ(CLng(-0.5).value(), 0);
}

TEST(Numbers, IntegerOverflowsExactlyAtItsBounds)
{
    EXPECT_EQ(errorOf([] { (void)(Integer(32766) + 1); }), 0);
    EXPECT_EQ(errorOf([] { (void)(Integer(32767) + 1); }), 6);
    EXPECT_EQ(errorOf([] { (void)(Integer(-32767) - 1); }), 0);
    EXPECT_EQ(errorOf([] { (void)(Integer(-32768) - 1); }), 6);
    EXPECT_EQ(errorOf([] { (void)(Integer(-32768) * -1); }), 6);
    EXPECT_EQ(errorOf([] { (void)Integer(32768); }), 6);
    EXPECT_EQ(errorOf([] { (void)CInt(32767.49); }), 0);
    EXPECT_EQ(errorOf([] { (void)CInt(32767.5); }), 6);   // rounds to 32768
    EXPECT_EQ(errorOf([] { (void)CInt(-32768.5); }), 0);  // rounds to -32768, the even one
    EXPECT_EQ(errorOf([] { (void)CInt(-32769.5); }), 6);
}

TEST(Numbers, LongOverflowsExactlyAtItsBounds)
{
    EXPECT_EQ(errorOf([] { (void)(Long(2147483646) + 1); }), 0);
    EXPECT_EQ(errorOf([] { (void)(Long(2147483647) + 1); }), 6);
    EXPECT_EQ(errorOf([] { (void)(Long(INT32_MIN) - 1); }), 6);
    EXPECT_EQ(errorOf([] { (void)(Long(143165576) * 15); }), 0);  // 2147483640
    EXPECT_EQ(errorOf([] { (void)(Long(143165577) * 15); }), 6);
    EXPECT_EQ(errorOf([] { (void)CLng(2147483647.4); }), 0);
    EXPECT_EQ(errorOf([] { (void)CLng(2147483647.5); }), 6);
    EXPECT_EQ(errorOf([] { (void)CLng(std::nan("")); }), 6);
}

TEST(Numbers, ErrorsCarryTheirItalianDescription)
{
    EXPECT_EQ(RuntimeError(6).description(), "Overflow");
    EXPECT_EQ(RuntimeError(9).description(), "Indice non compreso nell'intervallo");
    EXPECT_EQ(CStr(Integer(5)), "5");
    EXPECT_EQ(CStr(Integer(-5)), "-5");
}
