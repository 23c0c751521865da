#include "platform/SqlDataSet.h"
#include "platform/Aliases.h"
#include "platform/DemoDatabase.h"
#include "support/Sanitizers.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

namespace {

const QString Alias = QStringLiteral("VENDRIX");

QString MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EDatabaseError& e) {
        return e.Message();
    }
    return QStringLiteral("<no EDatabaseError>");
}

// Peak resident memory in kB, from the kernel's own accounting.
qint64 PeakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Lets a later peak be measured from now on rather than from whatever came before.
void ResetPeakResident()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

// Runs a statement on a writable connection of the test's own, for tables the demo lacks.
void Execute(const QString& fileName, const QStringList& statements)
{
    const QString name = QStringLiteral("sql-dataset-test-writer");
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        database.setDatabaseName(fileName);
        ASSERT_TRUE(database.open());
        QSqlQuery query(database);
        for (const QString& statement : statements)
            ASSERT_TRUE(query.exec(statement))
                << statement.toStdString() << ": " << query.lastError().text().toStdString();
        database.close();
    }
    QSqlDatabase::removeDatabase(name);
}

struct TExpectedRow
{
    QString Code;
    QString Name;
    QString Unit;
    double Balance;
    double Cost;
    QVariant TaxClass;
    QVariant Rate;
};

class SqlDataSetTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Directory = new QTemporaryDir();
        // Keep the user's real configuration out of the tests.
        qputenv("QB_ALIASES", QFile::encodeName(Directory->filePath(QStringLiteral("no-aliases.ini"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(Directory->filePath(QStringLiteral("data"))));
        DemoFile = new QString(Directory->filePath(QStringLiteral("demo.db")));
        Summary = CreateDemoDatabase(*DemoFile, 3000);
    }
    static void TearDownTestSuite()
    {
        CloseAliasConnections();
        delete DemoFile;
        delete Directory;
    }
    void SetUp() override { SetAliasDatabaseFile(Alias, *DemoFile); }
    void TearDown() override { SetAliasDatabaseFile(Alias, QString()); }

    std::unique_ptr<TQuery> InventoryQuery()
    {
        auto query = std::make_unique<TQuery>();
        query->SetName(QStringLiteral("qryRelatorio"));
        query->SetDatabaseName(Alias);
        query->SetSQL(InventoryStatementLines());
        return query;
    }

    // What the statement must return, worked out in C++ from the raw tables.
    static QList<TExpectedRow> ExpectedInventory()
    {
        QList<TExpectedRow> rows;
        const QString name = QStringLiteral("sql-dataset-test-reader");
        {
            QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            database.setDatabaseName(*DemoFile);
            EXPECT_TRUE(database.open());
            QHash<QString, std::pair<QVariant, QVariant>> taxes;
            QSqlQuery query(database);
            EXPECT_TRUE(query.exec(QStringLiteral("select COD_PROD, TRIBUTO, PERC_ICM from aprdtrib")));
            while (query.next())
                taxes.insert(query.value(0).toString(), { query.value(1), query.value(2) });
            EXPECT_TRUE(query.exec(
                QStringLiteral("select CODIGO, NOME, UNIDADE, SALDO_ATU, PRECO_CUST from acadprod")));
            while (query.next()) {
                const QString code = query.value(0).toString();
                const double balance = query.value(3).toDouble();
                const double cost = query.value(4).toDouble();
                if (!(balance > 0) || !(cost > 0) || !taxes.contains(code))
                    continue;
                rows.append({ code, query.value(1).toString(), query.value(2).toString(), balance, cost,
                    taxes.value(code).first, taxes.value(code).second });
            }
        }
        QSqlDatabase::removeDatabase(name);
        std::stable_sort(rows.begin(), rows.end(),
            [](const TExpectedRow& a, const TExpectedRow& b) { return a.Code < b.Code; });
        return rows;
    }

    static QTemporaryDir* Directory;
    static QString* DemoFile;
    static TDemoDatabaseSummary Summary;
};

QTemporaryDir* SqlDataSetTest::Directory = nullptr;
QString* SqlDataSetTest::DemoFile = nullptr;
TDemoDatabaseSummary SqlDataSetTest::Summary;

TEST_F(SqlDataSetTest, InventoryStatementReturnsTheExpectedRowsInNameOrder)
{
    auto query = InventoryQuery();
    query->Open();
    ASSERT_EQ(query->FieldCount(), 8);

    struct TFieldExpectation
    {
        const char* Name;
        TFieldType Type;
        int Size;
    };
    const TFieldExpectation fields[] = {
        { "CODIGO", ftString, 20 },
        { "NOME", ftString, 60 },
        { "UNIDADE", ftString, 3 },
        { "SALDO_ATU", ftFloat, 0 },
        { "PRECO_CUST", ftFloat, 0 },
        { "SALDO", ftFloat, 0 },
        { "TRIBUTO", ftString, 21 },
        { "PERC_ICM", ftFloat, 0 },
    };
    for (const TFieldExpectation& expected : fields) {
        SCOPED_TRACE(expected.Name);
        TField* field = query->FindField(QLatin1String(expected.Name));
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->DataType(), expected.Type);
        EXPECT_EQ(field->Size(), expected.Size);
    }

    const QList<TExpectedRow> expected = ExpectedInventory();
    ASSERT_EQ(expected.size(), Summary.ReportRows);
    QHash<QString, qsizetype> expectedIndex;
    for (qsizetype i = 0; i < expected.size(); ++i)
        expectedIndex.insert(expected.at(i).Code, i);

    QSet<QString> seen;
    QString previousName;
    int walked = 0;
    for (; !query->Eof(); query->Next()) {
        ++walked;
        const QString code = query->FieldByName("CODIGO")->AsString();
        ASSERT_TRUE(expectedIndex.contains(code)) << code.toStdString();
        ASSERT_FALSE(seen.contains(code)) << code.toStdString();
        seen.insert(code);
        const TExpectedRow& row = expected.at(expectedIndex.value(code));
        const QString name = query->FieldByName("NOME")->AsString();
        EXPECT_EQ(name, row.Name);
        // SQLite orders text by its bytes; UTF-16 code units order the same way for these names.
        EXPECT_LE(previousName, name) << walked;
        previousName = name;
        EXPECT_EQ(query->FieldByName("UNIDADE")->AsString(), row.Unit);
        EXPECT_EQ(query->FieldByName("SALDO_ATU")->AsFloat(), row.Balance);
        EXPECT_EQ(query->FieldByName("PRECO_CUST")->AsFloat(), row.Cost);
        EXPECT_EQ(query->FieldByName("SALDO")->AsFloat(), row.Balance * row.Cost);
        EXPECT_EQ(query->FieldByName("TRIBUTO")->AsString(), row.TaxClass.toString());
        EXPECT_EQ(query->FieldByName("PERC_ICM")->IsNull(), row.Rate.isNull());
        EXPECT_EQ(query->FieldByName("PERC_ICM")->AsFloat(), row.Rate.toDouble());
    }
    EXPECT_EQ(walked, expected.size());
    EXPECT_EQ(query->RecordCount(), walked);
}

TEST_F(SqlDataSetTest, KeepsTheStatementLineByLineExactly)
{
    const QStringList lines = {
        QStringLiteral("select "),
        QStringLiteral("PRO.CODIGO, PRO.NOME, PRO.UNIDADE,PRO.SALDO_ATU, PRO.PRECO_CUST, (PRO.SALDO_ATU "
                       "*PRO.PRECO_CUST) AS SALDO,"),
        QStringLiteral("TRI.TRIBUTO,TRI.PERC_ICM"),
        QStringLiteral("from "),
        QStringLiteral("acadprod PRO,"),
        QStringLiteral("aprdtrib TRI"),
        QStringLiteral("where SALDO_ATU >0 AND PRECO_CUST >0  and TRI.COD_PROD=PRO.CODIGO"),
        QStringLiteral("order by NOME"),
    };
    EXPECT_EQ(InventoryStatementLines(), lines);
    TQuery query;
    query.SetSQL(lines);
    ASSERT_EQ(query.SQL().size(), 8);
    for (qsizetype i = 0; i < lines.size(); ++i)
        EXPECT_EQ(query.SQL().at(i), lines.at(i)) << i;
    EXPECT_TRUE(query.SQL().at(0).endsWith(QLatin1Char(' ')));
    EXPECT_TRUE(query.SQL().at(6).contains(QLatin1String(">0  and")));
}

TEST_F(SqlDataSetTest, RecordCountMatchesTheWalkedCountForEveryStatementShape)
{
    struct TCase
    {
        const char* What;
        QStringList SQL;
    };
    const TCase cases[] = {
        { "inventory", InventoryStatementLines() },
        { "closing semicolon", { "select CODIGO from acadprod where SALDO_ATU > 0;" } },
        { "comment on the last line", { "select CODIGO from acadprod", "-- every product" } },
        { "empty result", { "select CODIGO from acadprod where 1 = 0" } },
    };
    for (const TCase& item : cases) {
        SCOPED_TRACE(item.What);
        TQuery query;
        query.SetDatabaseName(Alias);
        query.SetSQL(item.SQL);
        query.Open();
        const int counted = query.RecordCount();
        int walked = 0;
        for (; !query.Eof(); query.Next())
            ++walked;
        EXPECT_EQ(counted, walked);
        EXPECT_EQ(query.RecordCount(), walked);
    }
}

TEST_F(SqlDataSetTest, RecordCountDoesNotMoveTheCursorAndFirstStartsOver)
{
    auto query = InventoryQuery();
    query->Open();
    const QString first = query->FieldByName("CODIGO")->AsString();
    query->Next();
    query->Next();
    const QString third = query->FieldByName("CODIGO")->AsString();
    EXPECT_EQ(query->RecordCount(), Summary.ReportRows);
    EXPECT_EQ(query->FieldByName("CODIGO")->AsString(), third);
    EXPECT_EQ(query->RecNo(), 3);
    query->First();
    EXPECT_EQ(query->RecNo(), 1);
    EXPECT_EQ(query->FieldByName("CODIGO")->AsString(), first);
    query->Close();
    query->Open();
    EXPECT_EQ(query->FieldByName("CODIGO")->AsString(), first);
}

TEST_F(SqlDataSetTest, NullRateShowsEmptyTextAndReadsZero)
{
    // Product 8 of the demo is "Tributado" with no rate.
    TQuery query;
    query.SetDatabaseName(Alias);
    query.SetSQL({ "select TRIBUTO, PERC_ICM from aprdtrib where COD_PROD = '0000008'" });
    query.Open();
    ASSERT_FALSE(query.Eof());
    TField* rate = query.FieldByName("PERC_ICM");
    EXPECT_EQ(rate->DataType(), ftFloat);
    EXPECT_TRUE(rate->IsNull());
    EXPECT_EQ(rate->DisplayText(), QString());
    EXPECT_EQ(rate->AsFloat(), 0.0);
    EXPECT_EQ(query.FieldByName("TRIBUTO")->AsString(), QStringLiteral("Tributado"));
}

TEST_F(SqlDataSetTest, FloatsShowTheLocaleGeneralFormatAndTypesFollowTheColumns)
{
    if (QLocale::system().name() != QLatin1String("pt_BR"))
        GTEST_SKIP() << "needs the pt_BR locale that the test main sets";
    const QString file = Directory->filePath(QStringLiteral("types.db"));
    Execute(file,
        { "create table valores (ORDEM INTEGER, REAL_V REAL, NUMERICO NUMERIC(15,3), TEXTO VARCHAR(10), "
          "SEM_TIPO)",
            "insert into valores values (1, 12.5, 5, 'abc', 2.25)",
            "insert into valores values (2, 0.30000000000000004, 7.125, 'x', 3)",
            "insert into valores values (3, 1234567.891, 0.1, '', 'texto')",
            "insert into valores values (4, 1e20, NULL, NULL, NULL)",
            "insert into valores values (5, -0.000001, 1, 'z', 1)" });
    SetAliasDatabaseFile(Alias, file);

    TQuery query;
    query.SetDatabaseName(Alias);
    query.SetSQL(
        { "select ORDEM, REAL_V, NUMERICO, TEXTO, REAL_V * ORDEM AS PRODUTO from valores order by ORDEM" });
    query.Open();
    EXPECT_EQ(query.FieldByName("ORDEM")->DataType(), ftLargeint);
    EXPECT_EQ(query.FieldByName("REAL_V")->DataType(), ftFloat);
    // A NUMERIC column holding 5 is still a column of fractions.
    EXPECT_EQ(query.FieldByName("NUMERICO")->DataType(), ftFloat);
    EXPECT_EQ(query.FieldByName("TEXTO")->DataType(), ftString);
    EXPECT_EQ(query.FieldByName("TEXTO")->Size(), 10);
    EXPECT_EQ(query.FieldByName("PRODUTO")->DataType(), ftFloat);

    const char* const expectedReal[] = { "12,5", "0,3", "1234567,891", "1E20", "-1E-6" };
    const char* const expectedNumeric[] = { "5", "7,125", "0,1", "", "1" };
    const char* const expectedProduct[] = { "12,5", "0,6", "3703703,673", "4E20", "-5E-6" };
    int row = 0;
    for (; !query.Eof(); query.Next(), ++row) {
        SCOPED_TRACE(row);
        ASSERT_LT(row, 5);
        EXPECT_EQ(query.FieldByName("REAL_V")->DisplayText(), QString::fromUtf8(expectedReal[row]));
        EXPECT_EQ(query.FieldByName("NUMERICO")->DisplayText(), QString::fromUtf8(expectedNumeric[row]));
        EXPECT_EQ(query.FieldByName("PRODUTO")->DisplayText(), QString::fromUtf8(expectedProduct[row]));
    }
    EXPECT_EQ(row, 5);
}

TEST(SqlFieldTypeTest, DriverColumnTypesMapToFieldTypes)
{
    struct TCase
    {
        QMetaType Column;
        QVariant First;
        bool Sqlite;
        TFieldType Expected;
    };
    const TCase cases[] = {
        // Server drivers type their columns (numeric and double precision arrive as Double).
        { QMetaType::fromType<int>(), QVariant(), false, ftInteger },
        { QMetaType::fromType<short>(), QVariant(), false, ftSmallint },
        { QMetaType::fromType<qlonglong>(), QVariant(), false, ftLargeint },
        { QMetaType::fromType<double>(), QVariant(QStringLiteral("12.50")), false, ftFloat },
        { QMetaType::fromType<QString>(), QVariant(5), false, ftString },
        { QMetaType::fromType<bool>(), QVariant(), false, ftBoolean },
        { QMetaType::fromType<QDate>(), QVariant(), false, ftDate },
        { QMetaType::fromType<QDateTime>(), QVariant(), false, ftDateTime },
        { QMetaType::fromType<QByteArray>(), QVariant(), false, ftMemo },
        { QMetaType(), QVariant(), false, ftUnknown },
        // SQLite: values carry the type.
        { QMetaType::fromType<int>(), QVariant(qlonglong(3)), true, ftLargeint },
        { QMetaType::fromType<double>(), QVariant(qlonglong(3)), true, ftFloat },
        { QMetaType::fromType<qlonglong>(), QVariant(qlonglong(6)), true, ftFloat },
        { QMetaType::fromType<QString>(), QVariant(qlonglong(5)), true, ftFloat },
        { QMetaType::fromType<QString>(), QVariant(2.5), true, ftFloat },
        { QMetaType::fromType<QString>(), QVariant(QStringLiteral("5")), true, ftString },
        { QMetaType::fromType<QString>(), QVariant(), true, ftString },
        { QMetaType(), QVariant(2.5), true, ftFloat },
        { QMetaType(), QVariant(QStringLiteral("x")), true, ftString },
        { QMetaType(), QVariant(), true, ftUnknown },
        // A NULL comes as a null variant of some type: no number, and nothing to type the column by.
        { QMetaType::fromType<QString>(), QVariant(QMetaType::fromType<qlonglong>()), true, ftString },
        { QMetaType(), QVariant(QMetaType::fromType<double>()), true, ftUnknown },
        { QMetaType(), QVariant::fromValue(short(4)), true, ftFloat },
        { QMetaType(), QVariant(true), true, ftString },
        { QMetaType::fromType<bool>(), QVariant(qlonglong(1)), true, ftBoolean },
    };
    int index = 0;
    for (const TCase& item : cases)
        EXPECT_EQ(FieldTypeOfColumn(item.Column, item.First, item.Sqlite), item.Expected)
            << "case " << index++;
}

TEST_F(SqlDataSetTest, MissingTablesAreNamedWithTheAlias)
{
    TQuery query;
    query.SetName(QStringLiteral("qryRelatorio"));
    query.SetDatabaseName(Alias);
    query.SetSQL({ "select * from estoque_antigo" });
    EXPECT_EQ(MessageOf([&] { query.Open(); }),
        QStringLiteral("qryRelatorio: Tabela estoque_antigo não encontrada no alias VENDRIX"));
    EXPECT_FALSE(query.Active());

    TTable table;
    table.SetName(QStringLiteral("Table1"));
    table.SetDatabaseName(Alias);
    table.SetTableName(QStringLiteral("Fornecedores.DB"));
    EXPECT_EQ(MessageOf([&] { table.Open(); }),
        QStringLiteral("Table1: Tabela Fornecedores não encontrada no alias VENDRIX"));
    EXPECT_FALSE(table.Active());

    query.SetSQL({ "select nada from acadprod" });
    EXPECT_TRUE(MessageOf([&] {
        query.Open();
    }).startsWith(QStringLiteral("qryRelatorio: Erro ao executar a consulta no alias VENDRIX: ")));
}

// The drivers' wordings of a missing table, in the languages their servers answer in.
TEST(SqlStatementFailureTest, MissingTablesAreRecognisedInEveryDriversWording)
{
    struct TExposedQuery : TQuery
    {
        using TQuery::StatementFailure;
    } query;
    query.SetDatabaseName(QStringLiteral("VENDRIX"));
    const struct
    {
        const char* DriverText;
        const char* Expected;
    } cases[] = {
        { "no such table: acadprod Unable to execute statement",
            "Tabela acadprod não encontrada no alias VENDRIX" },
        { "ERROR:  relation \"aprdtrib\" does not exist\nLINE 3: ...",
            "Tabela aprdtrib não encontrada no alias VENDRIX" },
        { "ERRO:  relação \"aprdtrib\" não existe\nLINHA 3: ...",
            "Tabela aprdtrib não encontrada no alias VENDRIX" },
        { "Dynamic SQL Error Table unknown ACADPROD At line 1",
            "Tabela ACADPROD não encontrada no alias VENDRIX" },
        { "syntax error at or near \"form\"",
            "Erro ao executar a consulta no alias VENDRIX: syntax error at or near \"form\"" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(query.StatementFailure(QString::fromUtf8(c.DriverText)), QString::fromUtf8(c.Expected))
            << c.DriverText;
}

// Firebird joins the parts of its message with " - ", which once made the dash the table's name, and
// reports the name folded to upper case: the message names the table as the statement writes it.
TEST(SqlStatementFailureTest, FirebirdsMissingTableIsNamedAsTheStatementWritesIt)
{
    struct TExposedQuery : TQuery
    {
        using TQuery::StatementFailure;
    } query;
    query.SetDatabaseName(QStringLiteral("VENDRIX"));
    query.SetSQL({ "select PRO.CODIGO, TRI.TRIBUTO", "from acadprod PRO, aprdtrib TRI",
        "where TRI.COD_PROD = PRO.CODIGO and PRO.acadprod_x = 1" });
    const struct
    {
        const char* DriverText;
        const char* Expected;
    } cases[] = {
        { "Dynamic SQL Error - SQL error code = -204 - Table unknown - ACADPROD - At line 2, column 6 Unable "
          "to "
          "execute query",
            "Tabela acadprod não encontrada no alias VENDRIX" },
        { "Dynamic SQL Error - SQL error code = -204 - Table unknown - APRDTRIB - At line 2, column 20",
            "Tabela aprdtrib não encontrada no alias VENDRIX" },
        // A name the statement does not hold as a word stays as the server wrote it.
        { "Dynamic SQL Error - SQL error code = -204 - Table unknown - ACADPRO - At line 2",
            "Tabela ACADPRO não encontrada no alias VENDRIX" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(query.StatementFailure(QString::fromUtf8(c.DriverText)), QString::fromUtf8(c.Expected))
            << c.DriverText;
}

TEST_F(SqlDataSetTest, TableNamedWithItsStorageFileOpensTheTable)
{
    const struct
    {
        const char* Given;
        const char* Table;
    } names[] = { { "Parametr.DB", "Parametr" }, { "parametr.db", "parametr" }, { "Parametr", "Parametr" },
        { " acadprod.DBF ", "acadprod" }, { "loja.Parametr", "loja.Parametr" } };
    for (const auto& name : names)
        EXPECT_EQ(TTable::SqlTableName(QLatin1String(name.Given)), QLatin1String(name.Table)) << name.Given;

    TTable table;
    table.SetDatabaseName(Alias);
    table.SetTableName(QStringLiteral("parametr.db"));
    table.Open();
    TField* field = table.FieldByName(QStringLiteral("RAZAO_SOCIAL"));
    EXPECT_EQ(field->DataType(), ftString);
    EXPECT_EQ(field->Size(), 40);
    EXPECT_EQ(field->AsString(), QStringLiteral("QUILLBOROUGH COMÉRCIO DE ALIMENTOS LTDA"));
    EXPECT_EQ(table.RecordCount(), 1);
    table.Next();
    EXPECT_TRUE(table.Eof());
}

TEST_F(SqlDataSetTest, ChangingTheStatementOrAliasClosesAndBadSetupFailsClearly)
{
    auto query = InventoryQuery();
    query->Open();
    query->SetSQL({ "select CODIGO from acadprod" });
    EXPECT_FALSE(query->Active());
    query->Open();
    query->SetDatabaseName(QStringLiteral("OUTRO"));
    EXPECT_FALSE(query->Active());

    TQuery empty;
    empty.SetDatabaseName(Alias);
    EXPECT_EQ(MessageOf([&] { empty.Open(); }), QStringLiteral("Nenhum comando SQL para o alias VENDRIX"));
    TQuery noAlias;
    noAlias.SetSQL({ "select 1" });
    EXPECT_EQ(MessageOf([&] { noAlias.Open(); }), QStringLiteral("Nenhum alias de banco de dados informado"));
    TQuery notSelect;
    notSelect.SetDatabaseName(Alias);
    notSelect.SetSQL({ "delete from acadprod" });
    // The connection is read-only, so even a statement that gets past the check changes nothing.
    const QString refused = MessageOf([&] { notSelect.Open(); });
    EXPECT_TRUE(refused.startsWith(QStringLiteral("Erro ao executar a consulta no alias VENDRIX: "))
        && refused.contains(QLatin1String("readonly")))
        << refused.toStdString();
    auto check = InventoryQuery();
    check->Open();
    EXPECT_EQ(check->RecordCount(), Summary.ReportRows);
}

TEST_F(SqlDataSetTest, MissingDatabaseFileIsNamedAndNeverCreated)
{
    const QString missing = Directory->filePath(QStringLiteral("sumiu/vendrix.db"));
    SetAliasDatabaseFile(Alias, missing);
    auto query = InventoryQuery();
    EXPECT_EQ(MessageOf([&] { query->Open(); }),
        QStringLiteral("Banco de dados do alias VENDRIX não encontrado: ") + missing);
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_FALSE(QDir(Directory->filePath(QStringLiteral("sumiu"))).exists());

    const QString garbage = Directory->filePath(QStringLiteral("lixo.db"));
    QFile file(garbage);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(4096, 'x'));
    file.close();
    SetAliasDatabaseFile(Alias, garbage);
    EXPECT_TRUE(MessageOf([&] {
        query->Open();
    }).startsWith(QStringLiteral("Não foi possível conectar ao alias VENDRIX: ")));
    EXPECT_EQ(QFileInfo(garbage).size(), 4096);
}

// The records are read ahead on a thread with a connection of its own: a walk left half way, two
// walks interleaved and many reopenings must neither lose records nor leave connections behind.
TEST_F(SqlDataSetTest, ReadAheadStopsCleanlyAndInterleavedWalksKeepTheirRecords)
{
    const QStringList connectionsBefore = QSqlDatabase::connectionNames();
    const QList<TExpectedRow> expected = ExpectedInventory();
    ASSERT_GT(expected.size(), 1500); // several times what is read ahead

    for (int cycle = 0; cycle < 10; ++cycle) {
        auto query = InventoryQuery();
        query->Open();
        for (int i = 0; i < cycle * 7 && !query->Eof(); ++i)
            query->Next();
        query->Close(); // the reader may be waiting for room: closing must not hang
    }

    auto first = InventoryQuery();
    auto second = InventoryQuery();
    first->Open();
    second->Open();
    QStringList firstCodes;
    QStringList secondCodes;
    while (!first->Eof() || !second->Eof()) {
        for (int i = 0; i < 3 && !first->Eof(); ++i, first->Next())
            firstCodes.append(first->FieldByName(QStringLiteral("CODIGO"))->AsString());
        if (!second->Eof()) {
            secondCodes.append(second->FieldByName(QStringLiteral("CODIGO"))->AsString());
            second->Next();
        }
    }
    ASSERT_EQ(firstCodes.size(), expected.size());
    EXPECT_EQ(firstCodes, secondCodes);
    // First after the end runs the statement again from its first record.
    first->First();
    EXPECT_EQ(first->FieldByName(QStringLiteral("CODIGO"))->AsString(), firstCodes.first());
    first->Close();
    second->Close();
    first.reset();
    second.reset();

    // Each reader closed its own connection when it ended; only the test thread's remain.
    QStringList leftOver = QSqlDatabase::connectionNames();
    for (const QString& name : connectionsBefore)
        leftOver.removeOne(name);
    leftOver.removeOne(QStringLiteral("sql-dataset-test-reader"));
    for (const QString& name : std::as_const(leftOver))
        EXPECT_TRUE(name.contains(QString::number(quintptr(QThread::currentThread()), 16)))
            << name.toStdString();
}

TEST_F(SqlDataSetTest, WalkingManyRowsKeepsMemoryFlat)
{
    const QString file = Directory->filePath(QStringLiteral("big.db"));
    const TDemoDatabaseSummary big = CreateDemoDatabase(file, 230000);
    ASSERT_GT(big.ReportRows, 200000);
    SetAliasDatabaseFile(Alias, file);
    auto query = InventoryQuery();
    query->Open();
    // Warm up the first page of records so allocations made once are not counted.
    for (int i = 0; i < 100; ++i)
        query->Next();
    ResetPeakResident();
    const qint64 before = PeakResidentKb();
    ASSERT_GT(before, 0);
    int walked = 100;
    double total = 0;
    for (; !query->Eof(); query->Next()) {
        total += query->FieldByName("SALDO")->AsFloat();
        (void)query->FieldByName("NOME")->DisplayText();
        ++walked;
    }
    const qint64 growthKb = PeakResidentKb() - before;
    EXPECT_EQ(walked, big.ReportRows);
    EXPECT_GT(total, 0);
    // What may grow is the reader's SQLite page cache, bounded at 32 MB (about 24 MB here); rows
    // kept for the whole walk would add some 45 MB more.
    if (!UnderAddressChecker && !UnderThreadChecker) {
        EXPECT_LT(growthKb, 50 * 1024) << "peak memory grew by " << growthKb << " kB";
    }
}

} // namespace
