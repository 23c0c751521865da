#include "app/untRelatorioInventario.h"

#include "InventoryTestSupport.h"
#include "engine/RLReport.h"
#include "platform/Definitions.h"
#include "platform/SqlDataSet.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class InventoryDefinitionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FFolder.isValid());
        QList<TProductRow> rows = {
            { "A1", "Arroz", "KG", 2.0, 3.5, QStringLiteral("Tributado"), 7.0 },
            { "B1", "Batata", "KG", 4.0, 1.25, QStringLiteral("Tributado"), 0.0 },
            { "C1", "Cafe", "UN", 1.0, 10.0, QStringLiteral("Tributado"), 18.0 },
            { "D1", "Doce", "UN", 3.0, 2.0, QStringLiteral("Subst. Tributária"), 17.0 },
            { "E1", "Ervilha", "UN", 5.0, 1.0, QStringLiteral("Isento"), 0.0 },
            { "F1", "Feijao", "KG", 1.0, 7.0, QVariant(), QVariant() },
            { "G1", "Goiaba", "KG", 0.0, 7.0, QStringLiteral("Tributado"), 7.0 }, // no balance: left out
        };
        FScope = std::make_unique<TAliasScope>(CreateInventoryDatabase(FFolder.path(), "loja.db", rows));
    }
    template <class T> T* Find(TInventoryReport& report, const char* name)
    {
        return qobject_cast<T*>(report.Root()->FindComponent(QString::fromLatin1(name)));
    }
    QTemporaryDir FFolder;
    std::unique_ptr<TAliasScope> FScope;
};

TEST_F(InventoryDefinitionTest, LoadingBuildsTheReportAndOpensTheParameterTable)
{
    InventoryRunningTotal = 99;
    TInventoryReport report;
    EXPECT_EQ(InventoryRunningTotal, 0);

    TRLReport* r = report.RLReport1;
    EXPECT_EQ(r->FirstPageNumber(), 2);
    EXPECT_EQ(r->Font()->Name(), QStringLiteral("Arial"));
    EXPECT_EQ(r->Font()->Height(), -13);
    EXPECT_EQ(r->Font()->Style(), 0);
    EXPECT_EQ(r->Margins()->LeftMargin(), 5.0);
    EXPECT_EQ(r->Margins()->TopMargin(), 5.0);
    EXPECT_EQ(r->Margins()->RightMargin(), 5.0);
    EXPECT_EQ(r->Margins()->BottomMargin(), 10.0);
    EXPECT_EQ(r->Width(), 794);
    EXPECT_EQ(r->Height(), 1123);
    EXPECT_EQ(r->DataSource(), report.DataSource1);
    EXPECT_EQ(r->PreviewOptions()->Defaults(), pdUseDefaults);
    EXPECT_TRUE(r->ShowProgress());
    EXPECT_TRUE(r->PrintEmpty());

    // Data access.
    auto* query = qobject_cast<TQuery*>(report.qryRelatorio);
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(query->DatabaseName(), QStringLiteral("VENDRIX"));
    EXPECT_EQ(query->SQL(),
        (QStringList { "select ",
            "PRO.CODIGO, PRO.NOME, PRO.UNIDADE,PRO.SALDO_ATU, PRO.PRECO_CUST, (PRO.SALDO_ATU "
            "*PRO.PRECO_CUST) AS SALDO,",
            "TRI.TRIBUTO,TRI.PERC_ICM", "from ", "acadprod PRO,", "aprdtrib TRI",
            "where SALDO_ATU >0 AND PRECO_CUST >0  and TRI.COD_PROD=PRO.CODIGO", "order by NOME" }));
    EXPECT_FALSE(query->Active());
    auto* table = qobject_cast<TTable*>(report.Table1);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->TableName(), QStringLiteral("Parametr.DB"));
    EXPECT_TRUE(table->Active());
    EXPECT_EQ(table->FieldByName(QStringLiteral("RAZAO_SOCIAL"))->AsString(),
        QStringLiteral("Comercial Quillborough Ltda"));
    EXPECT_EQ(report.DataSource1->DataSet(), report.qryRelatorio);
    EXPECT_EQ(report.DataSource2->DataSet(), report.Table1);

    // Bands by vertical position, with their types and handlers.
    struct TBandCase
    {
        const char* Name;
        TRLBandType Type;
        int Top, Height;
        bool HasBeforePrint;
    } bands[] = {
        { "RLBand1", btColumnHeader, 19, 37, false },
        { "RLBand5", btColumnHeader, 56, 25, false },
        { "RLBand2", btDetail, 81, 11, false },
        { "RLBand4", btColumnFooter, 92, 26, true },
        { "RLBand3", btSummary, 118, 165, true },
    };
    for (const TBandCase& c : bands) {
        auto* band = Find<TRLBand>(report, c.Name);
        ASSERT_NE(band, nullptr) << c.Name;
        EXPECT_EQ(band->Parent(), r) << c.Name;
        EXPECT_EQ(band->BandType(), c.Type) << c.Name;
        EXPECT_EQ(band->BoundsRect(), QRect(19, c.Top, 756, c.Height)) << c.Name;
        EXPECT_EQ(bool(band->BeforePrint), c.HasBeforePrint) << c.Name;
    }

    // Controls that matter to the handlers and the heading.
    struct TTextCase
    {
        const char* Name;
        const char* Band;
        const char* Caption; // labels only
        const char* Field; // database texts only
        TRLTextAlignment Alignment;
        bool AutoSize;
        int FontHeight;
        int Style;
        bool HasBeforePrint;
    } texts[] = {
        { "RLLabel2", "RLBand1", "Inventário por Preço de Custo", nullptr, taLeftJustify, true, -11, fsBold,
            false },
        { "RLLabel4", "RLBand1", "Página:", nullptr, taLeftJustify, true, -9, fsBold, false },
        { "RLLabel8", "RLBand1", "Data:", nullptr, taLeftJustify, true, -9, fsBold, false },
        { "RLDBText6", "RLBand1", nullptr, "RAZAO_SOCIAL", taCenter, false, -13, fsBold | fsItalic, false },
        { "RLLabel10", "RLBand5", "Total R$", nullptr, taRightJustify, true, -9, fsBold, false },
        { "RLDBText3", "RLBand2", nullptr, "CODIGO", taLeftJustify, false, -9, 0, false },
        { "rldbtxtcusto", "RLBand2", nullptr, "PRECO_CUST", taRightJustify, true, -9, 0, true },
        { "RLDBText1", "RLBand2", nullptr, "SALDO_ATU", taRightJustify, true, -9, 0, true },
        { "RLDBText2", "RLBand2", nullptr, "NOME", taLeftJustify, false, -9, 0, false },
        { "RLDBText4", "RLBand2", nullptr, "SALDO", taRightJustify, true, -9, 0, true },
        { "RLDBText5", "RLBand2", nullptr, "UNIDADE", taLeftJustify, false, -9, 0, false },
        { "RLLabel15", "RLBand4", "SUB - TOTAL", nullptr, taLeftJustify, true, -9, fsBold, false },
        { "RLLabel18", "RLBand4", "Total", nullptr, taRightJustify, true, -9, fsBold, false },
        { "RLLabel12", "RLBand3", "TRIBUTAÇÃO 7%", nullptr, taRightJustify, false, -9, fsBold, false },
        { "RLLabel16", "RLBand3", "TRIBUTAÇÃO 25%", nullptr, taRightJustify, false, -9, fsBold, false },
        { "RLLabel21", "RLBand3", "SUBST. TRIBUTÁRIA", nullptr, taRightJustify, false, -9, fsBold, false },
        { "RLLabel9", "RLBand3", "TOTAL - GERAL", nullptr, taLeftJustify, true, -9, fsBold, false },
        { "RLLabel28", "RLBand3", "Total", nullptr, taRightJustify, true, -9, fsBold, false },
    };
    for (const TTextCase& c : texts) {
        auto* label = Find<TRLCustomLabel>(report, c.Name);
        ASSERT_NE(label, nullptr) << c.Name;
        EXPECT_EQ(label->Parent(), Find<TRLBand>(report, c.Band)) << c.Name;
        if (c.Caption) {
            EXPECT_EQ(label->Caption(), QString::fromUtf8(c.Caption)) << c.Name;
        }
        if (c.Field) {
            auto* text = qobject_cast<TRLDBText*>(label);
            ASSERT_NE(text, nullptr) << c.Name;
            EXPECT_EQ(text->DataField(), QString::fromUtf8(c.Field)) << c.Name;
            EXPECT_EQ(text->DataSource(),
                c.Field == std::string("RAZAO_SOCIAL") ? report.DataSource2 : report.DataSource1)
                << c.Name;
        }
        EXPECT_EQ(label->Alignment(), c.Alignment) << c.Name;
        EXPECT_EQ(label->AutoSize(), c.AutoSize) << c.Name;
        EXPECT_EQ(label->Font()->Name(), QStringLiteral("Verdana")) << c.Name;
        EXPECT_EQ(label->Font()->Height(), c.FontHeight) << c.Name;
        EXPECT_EQ(label->Font()->Style(), c.Style) << c.Name;
        EXPECT_EQ(bool(label->BeforePrint), c.HasBeforePrint) << c.Name;
    }
    auto* info = Find<TRLSystemInfo>(report, "RLSystemInfo3");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->Info(), itPageNumber);
    auto* draw = Find<TRLDraw>(report, "RLDraw1");
    ASSERT_NE(draw, nullptr);
    EXPECT_EQ(draw->Brush()->Color(), TColor(15395562));
    EXPECT_EQ(draw->BoundsRect(), QRect(72, 4, 674, 33));
}

TEST_F(InventoryDefinitionTest, HandlersFormatAndCountTheCurrentRecord)
{
    TInventoryReport report;
    report.BeginRun(QStringLiteral("abc"));
    EXPECT_EQ(report.RLLabel8->Caption(), QStringLiteral("abc"));
    ASSERT_EQ(report.ReopenQuery(), 6);

    // Walk the rows as the detail band would, handing each handler the field's display text.
    TDataSet* query = report.qryRelatorio;
    QStringList costs, balances, values;
    for (query->First(); !query->Eof(); query->Next()) {
        bool printIt = true;
        QString cost = query->FieldByName(QStringLiteral("PRECO_CUST"))->DisplayText();
        report.rldbtxtcustoBeforePrint(nullptr, cost, printIt);
        costs.append(cost);
        QString balance = query->FieldByName(QStringLiteral("SALDO_ATU"))->DisplayText();
        report.RLDBText1BeforePrint(nullptr, balance, printIt);
        balances.append(balance);
        QString value = query->FieldByName(QStringLiteral("SALDO"))->DisplayText();
        report.RLDBText4BeforePrint(nullptr, value, printIt);
        values.append(value);
        EXPECT_TRUE(printIt);
    }
    // Ordered by name: Arroz, Batata, Cafe, Doce, Ervilha, Feijao.
    EXPECT_EQ(costs, (QStringList { "3,50", "1,25", "10,00", "2,00", "1,00", "7,00" }));
    EXPECT_EQ(balances, (QStringList { "2,000", "4,000", "1,000", "3,000", "5,000", "1,000" }));
    EXPECT_EQ(values, (QStringList { "7,00", "5,00", "10,00", "6,00", "5,00", "7,00" }));

    bool printIt = true;
    report.RLBand4BeforePrint(report.RLBand4, printIt);
    EXPECT_EQ(report.RLLabel18->Caption(), QStringLiteral("40,00"));
    EXPECT_TRUE(report.RLBand4->Enabled());
    report.RLBand3BeforePrint(nullptr, printIt);
    EXPECT_EQ(report.RLLabel22->Caption(), QStringLiteral("7,00"));
    EXPECT_EQ(report.RLLabel23->Caption(), QStringLiteral("0,00"));
    EXPECT_EQ(report.RLLabel24->Caption(), QStringLiteral("5,00")); // rate 0 is 17%
    EXPECT_EQ(report.RLLabel25->Caption(), QStringLiteral("0,00"));
    EXPECT_EQ(report.RLLabel26->Caption(), QStringLiteral("12,00"));
    EXPECT_EQ(report.RLLabel27->Caption(), QStringLiteral("12,00")); // Isento and the NULL class
    EXPECT_EQ(report.RLLabel28->Caption(), QStringLiteral("6,00"));
    EXPECT_EQ(report.RLLabel11->Caption(), QStringLiteral("40,00")); // 18% only here
    EXPECT_FALSE(report.RLBand4->Enabled());
    EXPECT_TRUE(printIt);

    // A new run zeroes the class totals but not the running total.
    report.BeginRun(QStringLiteral("x"));
    EXPECT_EQ(report.Totals.Rate7, 0);
    EXPECT_EQ(report.Totals.Exempt, 0);
    EXPECT_EQ(InventoryRunningTotal, 40);
}

TEST(InventoryDefinitionFailureTest, MissingParameterTableIsADatabaseErrorWithoutPosition)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString file = CreateInventoryDatabase(folder.path(), "loja.db", SimpleProducts(1));
    {
        // Drop the parameter table.
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("drop"));
        database.setDatabaseName(file);
        ASSERT_TRUE(database.open());
        QSqlQuery(database).exec(QStringLiteral("drop table Parametr"));
        database.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("drop"));
    TAliasScope scope(file);
    try {
        TInventoryReport report;
        ADD_FAILURE() << "loaded without its table";
    } catch (const std::exception& error) {
        const QString text = InventoryErrorText(error);
        EXPECT_TRUE(text.startsWith(QLatin1String("Table1: "))) << error.what();
        EXPECT_TRUE(text.contains(QLatin1String("Parametr"))) << error.what();
        EXPECT_FALSE(text.contains(QLatin1String("Line "))) << error.what();
    }
}

TEST(InventoryDefinitionFailureTest, MissingDatabaseFileFailsTheLoad)
{
    QTemporaryDir folder;
    TAliasScope scope(folder.filePath(QStringLiteral("nowhere.db")));
    EXPECT_THROW(TInventoryReport report, Exception);
}

} // namespace
