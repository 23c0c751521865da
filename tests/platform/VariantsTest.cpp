#include "platform/Variants.h"

#include <QDate>
#include <QLocale>
#include <cmath>
#include <gtest/gtest.h>
#include <ostream>

// Readable failures: the type and the text of a variant.
void PrintTo(const QVariant& value, std::ostream* out)
{
    *out << (value.isValid() ? value.metaType().name() : "Empty") << "(" << value.toString().toStdString()
         << ")";
}
#include <limits>

namespace {

// The tests pin the decimal separator rather than trusting the environment.
class VariantsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        FSaved = QLocale();
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    }
    void TearDown() override { QLocale::setDefault(FSaved); }

private:
    QLocale FSaved;
};

QVariant I(qint64 v)
{
    return v >= INT_MIN && v <= INT_MAX ? QVariant(int(v)) : QVariant(v);
}
QVariant D(double v)
{
    return QVariant(v);
}
QVariant S(const char* v)
{
    return QVariant(QString::fromUtf8(v));
}
QVariant B(bool v)
{
    return QVariant(v);
}
QVariant A()
{
    return QVariant(QVariantList { 1, 2 });
}

// Same type and same value: an int 3 is not a double 3 here.
::testing::AssertionResult Same(const QVariant& actual, const QVariant& expected)
{
    if (actual.metaType() != expected.metaType())
        return ::testing::AssertionFailure() << "type " << actual.metaType().name() << " expected "
                                             << (expected.isValid() ? expected.metaType().name() : "invalid");
    if (VarIsEmptyOrNull(actual) || actual == expected)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
        << "value " << qPrintable(actual.toString()) << " expected " << qPrintable(expected.toString());
}

TEST_F(VariantsTest, KindsAndTypeNames)
{
    const struct
    {
        QVariant Value;
        TVarKind Kind;
        const char* Name;
    } cases[] = {
        { VarEmpty(), vkEmpty, "Empty" },
        { VarNull(), vkNull, "Null" },
        { B(true), vkBoolean, "Boolean" },
        { I(3), vkInteger, "Integer" },
        { QVariant(qint64(3)), vkInteger, "Int64" },
        { D(1.5), vkDouble, "Double" },
        { S("x"), vkString, "String" },
        { QVariant(QChar(u'x')), vkString, "String" },
        { A(), vkArray, "Array Variant" },
        { QVariant(QDate(2024, 1, 2)), vkDate, "Date" },
    };
    for (const auto& c : cases) {
        EXPECT_EQ(VarKind(c.Value), c.Kind) << c.Name;
        EXPECT_EQ(VarTypeAsText(c.Value), QString::fromLatin1(c.Name));
    }
}

TEST_F(VariantsTest, NumericAreTheIntegerAndFloatingPointTypesAlone)
{
    const struct
    {
        QVariant Value;
        int Type; // the meta type the value must have, so each row tests the type it names
        bool Numeric;
    } cases[] = {
        { QVariant::fromValue(short(-3)), QMetaType::Short, true },
        { QVariant::fromValue(ushort(3)), QMetaType::UShort, true },
        { QVariant::fromValue(int(-3)), QMetaType::Int, true },
        { QVariant::fromValue(uint(3)), QMetaType::UInt, true },
        { QVariant::fromValue(long(-3)), QMetaType::Long, true },
        { QVariant::fromValue(ulong(3)), QMetaType::ULong, true },
        { QVariant::fromValue(qlonglong(-3)), QMetaType::LongLong, true },
        { QVariant::fromValue(qulonglong(3)), QMetaType::ULongLong, true },
        { QVariant::fromValue(char(65)), QMetaType::Char, true },
        { QVariant::fromValue(static_cast<signed char>(-3)), QMetaType::SChar, true },
        { QVariant::fromValue(static_cast<unsigned char>(3)), QMetaType::UChar, true },
        { QVariant::fromValue(float(1.5f)), QMetaType::Float, true },
        { QVariant::fromValue(double(1.5)), QMetaType::Double, true },
        { QVariant::fromValue(0.0), QMetaType::Double, true },
        // The type decides, not the value: a driver's typed NULL still has its type.
        { QVariant(QMetaType::fromType<int>()), QMetaType::Int, true },
        { QVariant(QMetaType::fromType<double>()), QMetaType::Double, true },
        { B(true), QMetaType::Bool, false },
        { QVariant(QChar(u'7')), QMetaType::QChar, false },
        { S("12"), QMetaType::QString, false },
        { S("1,5"), QMetaType::QString, false },
        { QVariant(QByteArray("12")), QMetaType::QByteArray, false },
        { QVariant(QDate(2024, 1, 2)), QMetaType::QDate, false },
        { A(), QMetaType::QVariantList, false },
        { VarNull(), QMetaType::Nullptr, false },
        { VarEmpty(), QMetaType::UnknownType, false },
    };
    for (const auto& c : cases) {
        const char* name = c.Value.isValid() ? c.Value.metaType().name() : "Empty";
        ASSERT_EQ(c.Value.metaType().id(), c.Type) << name;
        EXPECT_EQ(VarIsNumeric(c.Value), c.Numeric) << name;
    }
}

TEST_F(VariantsTest, FloatTextHasFifteenDigitsAndLocaleSeparator)
{
    const struct
    {
        double Value;
        const char* Text;
    } cases[] = {
        { 0, "0" },
        { 3, "3" },
        { -1.5, "-1,5" },
        { 0.1 + 0.2, "0,3" },
        { 1.0 / 3, "0,333333333333333" },
        { 123456789012345.0, "123456789012345" },
        { 1234567890123456.0, "1,23456789012346E15" },
        { 1e20, "1E20" },
        { 0.00001, "0,00001" },
        { 0.0000015, "1,5E-6" },
        { 1234.5, "1234,5" },
        { std::numeric_limits<double>::infinity(), "INF" },
        { -std::numeric_limits<double>::infinity(), "-INF" },
        { std::nan(""), "NAN" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(FloatToStr(c.Value), QString::fromLatin1(c.Text)) << c.Text;
}

TEST_F(VariantsTest, TextToFloatAcceptsOnlyTheLocaleForm)
{
    const struct
    {
        const char* Text;
        bool Ok;
        double Value;
    } cases[] = {
        { "1,5", true, 1.5 },
        { "  -2,25 ", true, -2.25 },
        { "+3", true, 3 },
        { "1,5E3", true, 1500 },
        { "1e-2", true, 0.01 },
        { ",5", true, 0.5 },
        { "1.5", false, 0 }, // a point is the thousands separator here
        { "", false, 0 },
        { "abc", false, 0 },
        { "inf", false, 0 },
        { "nan", false, 0 },
        { "0x10", false, 0 },
        { "1e", false, 0 },
        { "1e+-2", false, 0 },
        { "--1", false, 0 },
        { "1,2,3", false, 0 },
        { "1e999", false, 0 },
    };
    for (const auto& c : cases) {
        double value = -99;
        EXPECT_EQ(TryStrToFloat(QString::fromLatin1(c.Text), value), c.Ok) << c.Text;
        if (c.Ok) {
            EXPECT_DOUBLE_EQ(value, c.Value) << c.Text;
        }
    }
}

TEST_F(VariantsTest, ConversionsFollowThePlatform)
{
    EXPECT_EQ(VarToStr(VarEmpty()), QString());
    EXPECT_EQ(VarToStr(VarNull()), QString());
    EXPECT_EQ(VarToStr(B(true)), QStringLiteral("True"));
    EXPECT_EQ(VarToStr(B(false)), QStringLiteral("False"));
    EXPECT_EQ(VarToStr(I(-42)), QStringLiteral("-42"));
    // Integers of every width read as numbers, one-byte ones (a driver's TINYINT) included.
    EXPECT_EQ(VarToStr(QVariant::fromValue<signed char>(-5)), QStringLiteral("-5"));
    EXPECT_EQ(VarToStr(QVariant::fromValue<unsigned char>(65)), QStringLiteral("65"));
    EXPECT_EQ(VarToStr(QVariant::fromValue<char>(65)), QStringLiteral("65"));
    EXPECT_EQ(VarToStr(QVariant::fromValue<short>(-300)), QStringLiteral("-300"));
    EXPECT_EQ(VarToStr(QVariant::fromValue<qulonglong>(18446744073709551615ULL)),
        QStringLiteral("18446744073709551615"));
    EXPECT_EQ(VarToStr(QVariant::fromValue<qlonglong>(-9223372036854775807LL - 1)),
        QStringLiteral("-9223372036854775808"));
    EXPECT_EQ(VarToStr(D(2.5)), QStringLiteral("2,5"));
    EXPECT_EQ(VarToStr(QVariant(QByteArray("caf\xc3\xa9"))), QStringLiteral("café"));

    EXPECT_EQ(VarToFloat(VarEmpty()), 0);
    EXPECT_EQ(VarToFloat(B(true)), -1);
    EXPECT_EQ(VarToFloat(S("2,5")), 2.5);
    EXPECT_EQ(VarToFloat(QVariant(QDate(1900, 1, 1))), 2);

    EXPECT_TRUE(VarToBool(S("TRUE")));
    EXPECT_FALSE(VarToBool(S(" false ")));
    EXPECT_TRUE(VarToBool(S("2")));
    EXPECT_FALSE(VarToBool(I(0)));
    EXPECT_TRUE(VarToBool(D(0.5)));
    EXPECT_FALSE(VarToBool(VarEmpty()));

    EXPECT_EQ(VarToInt64(D(2.5)), 2); // ties to even
    EXPECT_EQ(VarToInt64(D(3.5)), 4);
    EXPECT_EQ(VarToInt64(D(-2.5)), -2);
    EXPECT_EQ(VarToInt64(S("12")), 12);
    EXPECT_EQ(VarToInt64(B(true)), -1);
}

TEST_F(VariantsTest, FailedConversionsNameBothTypes)
{
    try {
        VarToFloat(S("abc"));
        FAIL() << "no exception";
    } catch (const EConvertError& e) {
        EXPECT_EQ(
            e.Message(), QStringLiteral("Could not convert variant of type (String) into type (Double)"));
    }
    EXPECT_THROW(VarToFloat(VarNull()), EConvertError);
    EXPECT_THROW(VarToBool(VarNull()), EConvertError);
    EXPECT_THROW(VarToBool(S("maybe")), EConvertError);
    EXPECT_THROW(VarToStr(A()), EConvertError);
    EXPECT_THROW(VarToFloat(A()), EConvertError);
    EXPECT_THROW(VarToInt64(D(1e30)), EConvertError);
    EXPECT_THROW(VarToInt64(D(std::nan(""))), EConvertError);
    EXPECT_THROW(VarToInt64(VarNull()), EConvertError);
}

TEST_F(VariantsTest, Arithmetic)
{
    const qint64 big = std::numeric_limits<qint64>::max();
    const struct
    {
        QVariant (*Op)(const QVariant&, const QVariant&);
        QVariant A, B, Expected;
        const char* Name;
    } cases[] = {
        { VarAdd, I(1), I(2), I(3), "int + int stays int" },
        { VarAdd, I(1), D(0.5), D(1.5), "int + double" },
        { VarAdd, S("ab"), S("cd"), S("abcd"), "strings concatenate" },
        { VarAdd, S("ab"), VarEmpty(), S("ab"), "empty is an empty string beside a string" },
        { VarAdd, S("10"), I(5), I(15), "integer text with an integer" },
        { VarAdd, S("1,5"), I(1), D(2.5), "decimal text in the locale" },
        { VarAdd, VarEmpty(), I(4), I(4), "empty is zero" },
        { VarAdd, VarEmpty(), VarEmpty(), I(0), "empty plus empty" },
        { VarAdd, VarNull(), I(1), VarNull(), "null propagates" },
        { VarAdd, S("a"), VarNull(), VarNull(), "null beats concatenation" },
        { VarAdd, B(true), I(1), I(0), "true is -1" },
        { VarAdd, I(INT_MAX), I(1), QVariant(qint64(INT_MAX) + 1), "beyond int becomes Int64" },
        { VarAdd, QVariant(big), I(1), D(double(big) + 1), "beyond Int64 becomes floating point" },
        { VarSub, I(10), I(3), I(7), "int - int" },
        { VarSub, S("5"), S("3"), I(2), "strings subtract as numbers" },
        { VarSub, QVariant(std::numeric_limits<qint64>::min()), I(1), D(-9223372036854775808.0 - 1),
            "sub overflow" },
        { VarMul, I(6), I(7), I(42), "int * int" },
        { VarMul, QVariant(big), I(2), D(double(big) * 2), "mul overflow" },
        { VarMul, D(1.5), S("2"), D(3), "double * text" },
        { VarMul, VarNull(), VarNull(), VarNull(), "null * null" },
        { VarDiv, I(1), I(4), D(0.25), "division is always floating point" },
        { VarDiv, I(6), I(3), D(2), "even integer division gives a double" },
        { VarDiv, VarNull(), I(3), VarNull(), "null / x" },
    };
    for (const auto& c : cases)
        EXPECT_TRUE(Same(c.Op(c.A, c.B), c.Expected)) << c.Name;
}

TEST_F(VariantsTest, InvalidOperationsThrowInsteadOfCrashing)
{
    using Op = QVariant (*)(const QVariant&, const QVariant&);
    for (Op op : { Op(VarAdd), Op(VarSub), Op(VarMul), Op(VarDiv), Op(VarAnd), Op(VarOr) }) {
        EXPECT_THROW(op(A(), I(1)), Exception);
        EXPECT_THROW(op(I(1), A()), Exception);
    }
    EXPECT_THROW(VarNeg(A()), EVariantError);
    EXPECT_THROW(VarNot(A()), EVariantError);
    EXPECT_THROW(VarCompare(A(), A()), EVariantError);
    EXPECT_THROW(VarAdd(S("abc"), I(1)), EConvertError);
    EXPECT_THROW(VarSub(S("a"), S("b")), EConvertError);
    EXPECT_THROW(VarDiv(I(1), I(0)), EVariantError);
    EXPECT_THROW(VarDiv(I(0), VarEmpty()), EVariantError);
}

TEST_F(VariantsTest, NegationAndNot)
{
    EXPECT_TRUE(Same(VarNeg(I(5)), I(-5)));
    EXPECT_TRUE(Same(VarNeg(D(1.5)), D(-1.5)));
    EXPECT_TRUE(Same(VarNeg(S("2")), I(-2)));
    EXPECT_TRUE(Same(VarNeg(VarNull()), VarNull()));
    EXPECT_TRUE(Same(VarNeg(VarEmpty()), I(0)));
    EXPECT_TRUE(Same(VarNeg(QVariant(std::numeric_limits<qint64>::min())), D(9223372036854775808.0)));
    EXPECT_TRUE(Same(VarNeg(QVariant(qint64(INT_MAX) + 1)), I(INT_MIN)));

    EXPECT_TRUE(Same(VarNot(B(true)), B(false)));
    EXPECT_TRUE(Same(VarNot(S("False")), B(true)));
    EXPECT_TRUE(Same(VarNot(I(0)), I(-1)));
    EXPECT_TRUE(Same(VarNot(I(5)), I(-6)));
    EXPECT_TRUE(Same(VarNot(D(2.0)), I(-3)));
    EXPECT_TRUE(Same(VarNot(VarNull()), VarNull()));
}

TEST_F(VariantsTest, AndOrAreLogicalForBooleansBitwiseOtherwise)
{
    const struct
    {
        bool IsAnd;
        QVariant A, B, Expected;
    } cases[] = {
        { true, B(true), B(false), B(false) },
        { false, B(true), B(false), B(true) },
        { true, B(true), S("true"), B(true) },
        { true, I(12), I(10), I(8) },
        { false, I(12), I(10), I(14) },
        { true, B(true), I(6), I(6) }, // true is all bits
        { false, B(false), I(6), I(6) },
        { true, VarNull(), B(true), VarNull() },
        { false, B(false), VarEmpty(), B(false) },
    };
    for (const auto& c : cases)
        EXPECT_TRUE(Same(c.IsAnd ? VarAnd(c.A, c.B) : VarOr(c.A, c.B), c.Expected))
            << qPrintable(VarToStr(c.A)) << (c.IsAnd ? " and " : " or ") << qPrintable(VarToStr(c.B));
}

TEST_F(VariantsTest, Comparison)
{
    const struct
    {
        QVariant A, B;
        TVariantRelationship Expected;
    } cases[] = {
        { I(1), I(2), vrLessThan },
        { I(2), D(2.0), vrEqual },
        { D(2.5), I(2), vrGreaterThan },
        { S("abc"), S("abd"), vrLessThan },
        { S("B"), S("a"), vrLessThan }, // by code unit
        { S("a"), S("a"), vrEqual },
        { S("10"), I(9), vrGreaterThan }, // text against a number compares as numbers
        { S("2,5"), D(2.5), vrEqual },
        { VarNull(), VarNull(), vrEqual },
        { VarNull(), I(1), vrNotEqual },
        { S("x"), VarNull(), vrNotEqual },
        { VarEmpty(), VarNull(), vrNotEqual },
        { VarEmpty(), VarEmpty(), vrEqual },
        { VarEmpty(), I(0), vrEqual },
        { VarEmpty(), S(""), vrEqual },
        { VarEmpty(), S("a"), vrLessThan },
        { B(false), B(true), vrLessThan },
        { B(true), S("True"), vrEqual },
        { B(true), I(-1), vrEqual },
        { D(std::nan("")), D(1), vrNotEqual },
        { QVariant(std::numeric_limits<qint64>::max()), QVariant(std::numeric_limits<qint64>::max() - 1),
            vrGreaterThan },
    };
    for (const auto& c : cases)
        EXPECT_EQ(VarCompare(c.A, c.B), c.Expected)
            << VarTypeAsText(c.A).toStdString() << " " << VarToStr(c.A).toStdString() << " vs "
            << VarTypeAsText(c.B).toStdString() << " " << VarToStr(c.B).toStdString();
    EXPECT_THROW(VarCompare(S("abc"), I(1)), EConvertError);
}

TEST_F(VariantsTest, RelationHelpersTreatNullAsNeitherSide)
{
    EXPECT_TRUE(VarEq(VarNull(), VarNull()));
    EXPECT_TRUE(VarGe(VarNull(), VarNull()));
    for (const QVariant& other : { I(0), I(1), S("") }) {
        EXPECT_FALSE(VarEq(VarNull(), other));
        EXPECT_TRUE(VarNe(VarNull(), other));
        EXPECT_FALSE(VarLt(VarNull(), other));
        EXPECT_FALSE(VarGt(VarNull(), other));
        EXPECT_FALSE(VarLe(VarNull(), other));
        EXPECT_FALSE(VarGe(other, VarNull()));
    }
    EXPECT_TRUE(VarLe(I(1), I(1)));
    EXPECT_TRUE(VarLe(I(1), I(2)));
    EXPECT_FALSE(VarLe(I(3), I(2)));
}

} // namespace
