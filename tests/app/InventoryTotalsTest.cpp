#include "app/untRelatorioInventario.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

struct TLine
{
    double Value;
    const char* TaxClass;
    double Rate;
};

struct TExpected
{
    double Rate7, Rate12, Rate17, Rate25, Exempt, Substitution, Running;
};

struct TTotalsCase
{
    const char* Name;
    std::vector<TLine> Lines;
    TExpected Expected;
};

TEST(InventoryTotalsTest, EachClassAndRateLandsInItsTotals)
{
    const TTotalsCase cases[] = {
        { "taxed at 7", { { 10, "Tributado", 7 } }, { 10, 0, 0, 0, 0, 0, 10 } },
        { "taxed at 12", { { 10, "Tributado", 12 } }, { 0, 10, 0, 0, 0, 0, 10 } },
        { "taxed at 17", { { 10, "Tributado", 17 } }, { 0, 0, 10, 0, 0, 0, 10 } },
        { "taxed at 25", { { 10, "Tributado", 25 } }, { 0, 0, 0, 10, 0, 0, 10 } },
        { "taxed at 0 counts as 17", { { 10, "Tributado", 0 } }, { 0, 0, 10, 0, 0, 0, 10 } },
        { "taxed at 18 counts in no rate", { { 10, "Tributado", 18 } }, { 0, 0, 0, 0, 0, 0, 10 } },
        { "taxed at 7.5 counts in no rate", { { 10, "Tributado", 7.5 } }, { 0, 0, 0, 0, 0, 0, 10 } },
        { "class compared case-sensitively", { { 10, "tributado", 7 } }, { 0, 0, 0, 0, 10, 0, 10 } },
        { "class with a trailing blank is exempt", { { 10, "Tributado ", 7 } }, { 0, 0, 0, 0, 10, 0, 10 } },
        { "substitution", { { 10, "Subst. Tributária", 17 } }, { 0, 0, 0, 0, 0, 10, 10 } },
        { "substitution without the accent is exempt", { { 10, "Subst. Tributaria", 17 } },
            { 0, 0, 0, 0, 10, 0, 10 } },
        { "exempt", { { 10, "Isento", 0 } }, { 0, 0, 0, 0, 10, 0, 10 } },
        { "empty class is exempt", { { 10, "", 0 } }, { 0, 0, 0, 0, 10, 0, 10 } },
        { "unknown class is exempt", { { 10, "Outro", 12 } }, { 0, 0, 0, 0, 10, 0, 10 } },
        { "mixed lines add up",
            { { 1.5, "Tributado", 7 }, { 2.25, "Tributado", 7 }, { 4, "Tributado", 0 },
                { 8, "Tributado", 17 }, { 16, "Subst. Tributária", 0 }, { 32, "Isento", 0 },
                { 64, "Tributado", 18 } },
            { 3.75, 0, 12, 0, 32, 16, 127.75 } },
    };
    for (const TTotalsCase& c : cases) {
        double running = 0;
        TInventoryTotals totals(running);
        for (const TLine& line : c.Lines)
            totals.AddLine(line.Value, QString::fromUtf8(line.TaxClass), line.Rate);
        EXPECT_EQ(totals.Rate7, c.Expected.Rate7) << c.Name;
        EXPECT_EQ(totals.Rate12, c.Expected.Rate12) << c.Name;
        EXPECT_EQ(totals.Rate17, c.Expected.Rate17) << c.Name;
        EXPECT_EQ(totals.Rate25, c.Expected.Rate25) << c.Name;
        EXPECT_EQ(totals.Exempt, c.Expected.Exempt) << c.Name;
        EXPECT_EQ(totals.Substitution, c.Expected.Substitution) << c.Name;
        EXPECT_EQ(running, c.Expected.Running) << c.Name;
        EXPECT_EQ(totals.Running(), c.Expected.Running) << c.Name;
    }
}

TEST(InventoryTotalsTest, ResetRunKeepsTheRunningTotal)
{
    double running = 0;
    TInventoryTotals totals(running);
    totals.AddLine(5, QStringLiteral("Tributado"), 7);
    totals.AddLine(6, QStringLiteral("Isento"), 0);
    totals.AddLine(7, QStringLiteral("Subst. Tributária"), 0);
    totals.Taxed = 5;
    totals.ResetRun();
    EXPECT_EQ(totals.Rate7, 0);
    EXPECT_EQ(totals.Exempt, 0);
    EXPECT_EQ(totals.Substitution, 0);
    EXPECT_EQ(totals.Taxed, 0);
    EXPECT_EQ(running, 18);
}

TEST(InventoryTotalsTest, NumberTextsUseTheBrazilianSeparators)
{
    struct TCase
    {
        const char* Input;
        const char* Money;
        const char* Quantity;
    } cases[] = {
        { "1234567,891", "1.234.567,89", "1.234.567,891" },
        { "0,125", "0,13", "0,125" },
        { "3,0149999999999997", "3,02", "3,015" },
        { "12", "12,00", "12,000" },
        { "-4,5", "-4,50", "-4,500" },
        { "-0,001", "0,00", "-0,001" },
        { "", "0,00", "0,000" },
        { "abc", "0,00", "0,000" },
        { "1.234,5", "0,00", "0,000" }, // a grouped text is not a number
        { "1e3", "1.000,00", "1.000,000" },
    };
    for (const TCase& c : cases) {
        const double value = InventoryTextToNumber(QString::fromUtf8(c.Input));
        EXPECT_EQ(InventoryMoneyText(value), QString::fromUtf8(c.Money)) << c.Input;
        EXPECT_EQ(InventoryQuantityText(value), QString::fromUtf8(c.Quantity)) << c.Input;
    }
}

} // namespace
