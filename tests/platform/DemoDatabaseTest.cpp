#include "platform/DemoDatabase.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <cmath>
#include <functional>

namespace {

QString MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EDatabaseError& e) {
        return e.Message();
    }
    return QStringLiteral("<no EDatabaseError>");
}

struct TDemoRow
{
    QString Code;
    QString Name;
    QString Unit;
    QVariant Balance;
    QVariant Cost;
    bool HasTax = false;
    QVariant TaxClass;
    QVariant Rate;
};

// Reads the whole demo file through a plain connection of the test's own.
QList<TDemoRow> ReadRows(const QString& fileName, QString* companyName = nullptr)
{
    QList<TDemoRow> rows;
    const QString name = QStringLiteral("demo-test-reader");
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(fileName);
        database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        EXPECT_TRUE(database.open());
        QSqlQuery query(database);
        EXPECT_TRUE(query.exec(QStringLiteral(
            "select CODIGO, NOME, UNIDADE, SALDO_ATU, PRECO_CUST, T.COD_PROD, TRIBUTO, PERC_ICM "
            "from acadprod left join aprdtrib T on T.COD_PROD = CODIGO order by CODIGO")))
            << query.lastError().text().toStdString();
        while (query.next())
            rows.append({ query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                query.value(3), query.value(4), !query.value(5).isNull(), query.value(6), query.value(7) });
        if (companyName) {
            EXPECT_TRUE(query.exec(QStringLiteral("select RAZAO_SOCIAL from Parametr")));
            EXPECT_TRUE(query.next());
            *companyName = query.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return rows;
}

QByteArray RowChecksum(const QList<TDemoRow>& rows)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const TDemoRow& row : rows) {
        const QString line = QStringList { row.Code, row.Name, row.Unit,
            QString::number(row.Balance.toDouble(), 'g', 17), QString::number(row.Cost.toDouble(), 'g', 17),
            row.HasTax ? QStringLiteral("T") : QStringLiteral("-"),
            row.TaxClass.isNull() ? QStringLiteral("<null>") : row.TaxClass.toString(),
            row.Rate.isNull() ? QStringLiteral("<null>") : QString::number(row.Rate.toDouble(), 'g', 17) }
                                 .join(QLatin1Char('|'));
        hash.addData(line.toUtf8());
        hash.addData("\n");
    }
    return hash.result();
}

QByteArray FileHash(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256);
}

bool IsInReport(const TDemoRow& row)
{
    return row.HasTax && row.Balance.toDouble() > 0 && row.Cost.toDouble() > 0;
}

TEST(DemoDatabaseTest, TheSameCountGivesTheSameShopAndLongerShopsExtendShorterOnes)
{
    QTemporaryDir directory;
    const QString first = directory.filePath(QStringLiteral("a.db"));
    const QString second = directory.filePath(QStringLiteral("b.db"));
    const QString longer = directory.filePath(QStringLiteral("c.db"));
    const TDemoDatabaseSummary a = CreateDemoDatabase(first, 700);
    const TDemoDatabaseSummary b = CreateDemoDatabase(second, 700);
    CreateDemoDatabase(longer, 1500);
    EXPECT_EQ(a.ReportRows, b.ReportRows);
    const QList<TDemoRow> rowsA = ReadRows(first);
    const QList<TDemoRow> rowsB = ReadRows(second);
    ASSERT_EQ(rowsA.size(), 700);
    EXPECT_EQ(RowChecksum(rowsA), RowChecksum(rowsB));
    EXPECT_EQ(FileHash(first), FileHash(second));
    const QList<TDemoRow> rowsC = ReadRows(longer);
    ASSERT_EQ(rowsC.size(), 1500);
    EXPECT_EQ(RowChecksum(rowsC.mid(0, 700)), RowChecksum(rowsA));
    EXPECT_NE(RowChecksum(rowsC.mid(700, 700)), RowChecksum(rowsA));
}

TEST(DemoDatabaseTest, CoversEveryClassRateAndExclusionAndCountsWhatTheReportReads)
{
    QTemporaryDir directory;
    const QString fileName = directory.filePath(QStringLiteral("loja.db"));
    const TDemoDatabaseSummary summary = CreateDemoDatabase(fileName, 5000);
    QString company;
    const QList<TDemoRow> rows = ReadRows(fileName, &company);
    ASSERT_EQ(rows.size(), 5000);
    EXPECT_EQ(company, QStringLiteral("QUILLBOROUGH COMÉRCIO DE ALIMENTOS LTDA"));
    EXPECT_LE(company.size(), 40);

    int taxRows = 0;
    int reportRows = 0;
    QSet<QString> classes;
    QSet<QString> taxedRates;
    bool zeroBalance = false, negativeBalance = false, zeroCost = false, noTaxRow = false;
    QSet<QString> names;
    const QSet<QString> units = { "UN", "KG", "CX", "PC", "LT", "M" };
    for (const TDemoRow& row : rows) {
        SCOPED_TRACE(row.Code.toStdString());
        taxRows += row.HasTax ? 1 : 0;
        reportRows += IsInReport(row) ? 1 : 0;
        EXPECT_TRUE(units.contains(row.Unit)) << row.Unit.toStdString();
        EXPECT_FALSE(row.Name.isEmpty());
        EXPECT_LE(row.Name.size(), 60);
        EXPECT_LE(row.Code.size(), 20);
        names.insert(row.Name);
        const double balance = row.Balance.toDouble();
        const double cost = row.Cost.toDouble();
        // Up to three decimals for balances, two for costs.
        EXPECT_EQ(std::round(balance * 1000) / 1000, balance);
        EXPECT_EQ(std::round(cost * 100) / 100, cost);
        zeroBalance |= balance == 0;
        negativeBalance |= balance < 0;
        zeroCost |= cost == 0;
        noTaxRow |= !row.HasTax;
        if (row.HasTax) {
            EXPECT_FALSE(row.TaxClass.isNull()) << "the empty class is an empty text, not NULL";
            classes.insert(row.TaxClass.toString());
            if (row.TaxClass.toString() == QLatin1String("Tributado"))
                taxedRates.insert(
                    row.Rate.isNull() ? QStringLiteral("NULL") : QString::number(row.Rate.toDouble()));
        }
    }
    EXPECT_EQ(summary.Products, 5000);
    EXPECT_EQ(summary.TaxRows, taxRows);
    EXPECT_EQ(summary.ReportRows, reportRows);
    EXPECT_GT(reportRows, 4000);
    EXPECT_GT(names.size(), 1000);
    for (const char* taxClass : { "Tributado", "Subst. Tributária", "Isento", "", "Subst. Tributaria" })
        EXPECT_TRUE(classes.contains(QString::fromUtf8(taxClass))) << taxClass;
    const QSet<QString> known = { "Tributado", "Subst. Tributária", "Isento", "", "Subst. Tributaria" };
    EXPECT_FALSE((classes - known).isEmpty()) << "an unknown class text";
    for (const char* rate : { "7", "12", "17", "25", "0", "18", "7.5", "NULL" })
        EXPECT_TRUE(taxedRates.contains(QLatin1String(rate))) << rate;
    EXPECT_TRUE(zeroBalance && negativeBalance && zeroCost && noTaxRow);

    // The first seventeen products hold one case each, so even a tiny shop has them all.
    const QList<TDemoRow> tiny = rows.mid(0, 17);
    EXPECT_EQ(tiny.at(7).Rate.isNull(), true);
    EXPECT_EQ(tiny.at(10).TaxClass.toString(), QString());
    EXPECT_EQ(tiny.at(13).Balance.toDouble(), 0.0);
    EXPECT_LT(tiny.at(14).Balance.toDouble(), 0.0);
    EXPECT_EQ(tiny.at(15).Cost.toDouble(), 0.0);
    EXPECT_FALSE(tiny.at(16).HasTax);
    int tinyReport = 0;
    for (const TDemoRow& row : tiny)
        tinyReport += IsInReport(row) ? 1 : 0;
    EXPECT_EQ(tinyReport, 13);
}

TEST(DemoDatabaseTest, RefusesToReplaceAFileUnlessAskedAndLeavesNothingBehindOnFailure)
{
    QTemporaryDir directory;
    const QString fileName = directory.filePath(QStringLiteral("loja.db"));
    {
        QFile file(fileName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("dados do cliente");
    }
    EXPECT_EQ(MessageOf([&] { CreateDemoDatabase(fileName, 10); }),
        QStringLiteral("O arquivo já existe: ") + fileName);
    QFile kept(fileName);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), QByteArray("dados do cliente"));
    kept.close();

    const TDemoDatabaseSummary summary = CreateDemoDatabase(fileName, 30, true);
    EXPECT_EQ(ReadRows(fileName).size(), 30);
    EXPECT_EQ(summary.Products, 30);

    struct TCase
    {
        const char* What;
        QString FileName;
        int Products;
        const char* Error;
    };
    const TCase cases[] = {
        { "negative count", directory.filePath(QStringLiteral("x.db")), -1,
            "Número de produtos inválido: -1" },
        { "count too large", directory.filePath(QStringLiteral("x.db")), MaxDemoProducts + 1,
            "Número de produtos inválido" },
        { "missing folder", directory.filePath(QStringLiteral("nada/x.db")), 10, "Pasta não encontrada" },
        { "no name", QString(), 10, "Nenhum arquivo informado" },
        { "a folder", directory.path(), 10, "O arquivo já existe" },
    };
    for (const TCase& item : cases) {
        SCOPED_TRACE(item.What);
        EXPECT_TRUE(MessageOf([&] {
            CreateDemoDatabase(item.FileName, item.Products, false);
        }).startsWith(QString::fromUtf8(item.Error)));
    }
    EXPECT_TRUE(MessageOf([&] {
        CreateDemoDatabase(directory.path(), 10, true);
    }).startsWith(QStringLiteral("O destino é uma pasta")));
    // Only the finished database is left: no temporary files.
    EXPECT_EQ(QDir(directory.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
        QStringList { QStringLiteral("loja.db") });
}

TEST(DemoDatabaseTest, AnEmptyShopHasTheTablesAndTheCompany)
{
    QTemporaryDir directory;
    const QString fileName = directory.filePath(QStringLiteral("vazia.db"));
    const TDemoDatabaseSummary summary = CreateDemoDatabase(fileName, 0);
    EXPECT_EQ(summary.Products, 0);
    EXPECT_EQ(summary.ReportRows, 0);
    QString company;
    EXPECT_TRUE(ReadRows(fileName, &company).isEmpty());
    EXPECT_FALSE(company.isEmpty());
}

} // namespace
