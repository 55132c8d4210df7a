// tests/ui/ConversionsTest.cpp
#include "Conversions.h"
#include "StringGrid.h"

#include <gtest/gtest.h>

namespace {

QString ErrorOf(const QString& text)
{
    try {
        TextToInt(text);
    } catch (const ConversionError& error) {
        return QString::fromUtf8(error.what());
    }
    return {};
}

}  // namespace

TEST(TextToInt, ReadsSignedDecimalIntegers)
{
    EXPECT_EQ(TextToInt(QStringLiteral("0")), 0);
    EXPECT_EQ(TextToInt(QStringLiteral("-1")), -1);
    EXPECT_EQ(TextToInt(QStringLiteral("+12")), 12);
    EXPECT_EQ(TextToInt(QStringLiteral("007")), 7);
    EXPECT_EQ(TextToInt(QStringLiteral("2147483647")), 2147483647);
    EXPECT_EQ(TextToInt(QStringLiteral("-2147483648")), -2147483647 - 1);
}

TEST(TextToInt, RefusesAnythingElseWithTheTextInTheMessage)
{
    EXPECT_EQ(ErrorOf(QString()), QStringLiteral("'' is not a valid integer value"));
    EXPECT_EQ(ErrorOf(QStringLiteral("abc")), QStringLiteral("'abc' is not a valid integer value"));
    for (const char* bad : {"1.5", " 1", "1 ", "-", "+", "0x10", "1e3", "2147483648", "--1",
                            "99999999999999999999"})
        EXPECT_FALSE(ErrorOf(QString::fromLatin1(bad)).isEmpty()) << bad;
}

TEST(RealToText, GeneralFormatWithFifteenSignificantDigits)
{
    EXPECT_EQ(RealToText(static_cast<double>(1.18f)), QStringLiteral("1.17999994754791"));
    EXPECT_EQ(RealToText(static_cast<double>(0.1f)), QStringLiteral("0.100000001490116"));
    EXPECT_EQ(RealToText(1.0), QStringLiteral("1"));
    EXPECT_EQ(RealToText(5.5), QStringLiteral("5.5"));
    EXPECT_EQ(RealToText(10.0), QStringLiteral("10"));
    EXPECT_EQ(RealToText(-123.0), QStringLiteral("-123"));
    EXPECT_EQ(RealToText(0.0), QStringLiteral("0"));
    EXPECT_EQ(RealToText(0.00001234), QStringLiteral("0.00001234"));
    EXPECT_EQ(RealToText(1.5e-7), QStringLiteral("1.5E-7"));
    EXPECT_EQ(RealToText(1e15), QStringLiteral("1E15"));
    EXPECT_EQ(RealToText(123456789012345.0), QStringLiteral("123456789012345"));
    EXPECT_EQ(RealToText(static_cast<double>(0.9f)), QStringLiteral("0.899999976158142"));
}

TEST(TextToReal, ReadsWhatRealToTextWrites)
{
    EXPECT_EQ(static_cast<float>(TextToReal(QStringLiteral("1.17999994754791"))), 1.18f);
    EXPECT_EQ(TextToReal(QStringLiteral("1.5E-7")), 1.5e-7);
    EXPECT_THROW(TextToReal(QStringLiteral("x")), ConversionError);
}

TEST(StringGrid, KeepsCellsBeyondASmallerRowCount)
{
    StringGrid grid;
    grid.SetColCount(3);
    grid.SetRowCount(4);
    grid.SetCell(1, 3, QStringLiteral("kept"));
    grid.SetRowCount(2);
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(grid.model()->rowCount(), 1);  // the fixed row is the heading
    grid.SetRowCount(4);
    EXPECT_EQ(grid.Cell(1, 3), QStringLiteral("kept"));
    EXPECT_EQ(grid.model()->data(grid.model()->index(2, 0)).toString(), QStringLiteral("kept"));
    grid.SetCell(2, 0, QStringLiteral("X2"));
    EXPECT_EQ(grid.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("X2"));
}
