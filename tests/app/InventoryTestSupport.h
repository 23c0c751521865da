#pragma once
// Shop databases made to measure for the inventory tests: SQLite files with the three tables the
// report reads, holding exactly the rows a test gives, and a scope that points the alias at one.
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

struct TProductRow
{
    QString Code;
    QString Name;
    QString Unit;
    QVariant Balance;
    QVariant Cost;
    QVariant TaxClass; // null for a NULL text
    QVariant Rate; // null for a NULL rate
    bool HasTaxRow = true;
};

// Writes the database into folder/name and returns its path. Throws std::runtime_error on failure.
QString CreateInventoryDatabase(const QString& folder, const QString& name, const QList<TProductRow>& rows,
    const QString& company = QStringLiteral("Comercial Quillborough Ltda"));

// Makes VENDRIX the given SQLite file while alive.
class TAliasScope
{
public:
    explicit TAliasScope(const QString& fileName);
    ~TAliasScope();
    TAliasScope(const TAliasScope&) = delete;
    TAliasScope& operator=(const TAliasScope&) = delete;
};

// n products named "Produto 0001"... "Tributado" at 17%, balance 1 and cost i + 0.5.
QList<TProductRow> SimpleProducts(int count);

// ---- Shared by the tests that run the export against a database server on loopback ----

// A loopback port that nothing listens on right now; -1 when none can be had.
int FreeLoopbackPort();
// Whether a server listens on the loopback port.
bool AcceptsConnections(int port);
// A password no test writes down, for a throw-away server.
QString RandomPassword();

// Each page of a page store file as lines "kind left,top,right,bottom text": what a reader of the
// page sees, without the group numbers, which count up across the process.
QList<QStringList> DescribePages(const QString& fileName);
// Page by page, as a test expectation.
void ExpectSamePages(const QList<QStringList>& actual, const QList<QStringList>& expected, const char* what);

struct TAliasExportRun
{
    int ExitCode = -1;
    QString Messages; // one line each, ending in a line break
};

// One export through the program's own entry, leaving no alias set-up behind for the next test.
TAliasExportRun RunAliasExport(const QStringList& arguments);
