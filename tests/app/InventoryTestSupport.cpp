#include "InventoryTestSupport.h"

#include "app/CommandLine.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Aliases.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>

namespace {

void Exec(QSqlQuery& query, const QString& statement)
{
    if (!query.exec(statement))
        throw std::runtime_error(query.lastError().text().toStdString());
}

} // namespace

QString CreateInventoryDatabase(
    const QString& folder, const QString& name, const QList<TProductRow>& rows, const QString& company)
{
    const QString fileName = folder + QLatin1Char('/') + name;
    QFile::remove(fileName);
    static int serial = 0;
    const QString connection = QStringLiteral("inventory-test-%1").arg(++serial);
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        database.setDatabaseName(fileName);
        if (!database.open())
            throw std::runtime_error(database.lastError().text().toStdString());
        QSqlQuery query(database);
        Exec(query,
            QStringLiteral("create table acadprod (CODIGO VARCHAR(20) primary key, NOME VARCHAR(60), "
                           "UNIDADE VARCHAR(3), SALDO_ATU REAL, PRECO_CUST REAL)"));
        Exec(query,
            QStringLiteral("create table aprdtrib (COD_PROD VARCHAR(20) primary key, TRIBUTO VARCHAR(21), "
                           "PERC_ICM REAL)"));
        Exec(query, QStringLiteral("create table Parametr (RAZAO_SOCIAL VARCHAR(40))"));
        database.transaction();
        QSqlQuery product(database);
        product.prepare(QStringLiteral("insert into acadprod values (?, ?, ?, ?, ?)"));
        QSqlQuery tax(database);
        tax.prepare(QStringLiteral("insert into aprdtrib values (?, ?, ?)"));
        for (const TProductRow& row : rows) {
            product.addBindValue(row.Code);
            product.addBindValue(row.Name);
            product.addBindValue(row.Unit);
            product.addBindValue(row.Balance);
            product.addBindValue(row.Cost);
            if (!product.exec())
                throw std::runtime_error(product.lastError().text().toStdString());
            if (!row.HasTaxRow)
                continue;
            tax.addBindValue(row.Code);
            tax.addBindValue(row.TaxClass.isNull() ? QVariant(QMetaType::fromType<QString>()) : row.TaxClass);
            tax.addBindValue(row.Rate.isNull() ? QVariant(QMetaType::fromType<double>()) : row.Rate);
            if (!tax.exec())
                throw std::runtime_error(tax.lastError().text().toStdString());
        }
        QSqlQuery parameter(database);
        parameter.prepare(QStringLiteral("insert into Parametr values (?)"));
        parameter.addBindValue(company);
        if (!parameter.exec())
            throw std::runtime_error(parameter.lastError().text().toStdString());
        database.commit();
        database.close();
    }
    QSqlDatabase::removeDatabase(connection);
    return fileName;
}

TAliasScope::TAliasScope(const QString& fileName)
{
    SetAliasDatabaseFile(QStringLiteral("VENDRIX"), fileName);
}

TAliasScope::~TAliasScope()
{
    SetAliasDatabaseFile(QStringLiteral("VENDRIX"), QString());
    CloseAliasConnections();
}

QList<TProductRow> SimpleProducts(int count)
{
    QList<TProductRow> rows;
    for (int i = 1; i <= count; ++i) {
        const QString code = QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0'));
        rows.append({ code, QStringLiteral("Produto ") + code, QStringLiteral("UN"), 1.0, i + 0.5,
            QStringLiteral("Tributado"), 17.0 });
    }
    return rows;
}

int FreeLoopbackPort()
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (socket < 0)
        return -1;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    int port = -1;
    if (::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0
        && ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(socket);
    return port;
}

bool AcceptsConnections(int port)
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (socket < 0)
        return false;
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(quint16(port));
    const bool connected = ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(socket);
    return connected;
}

QString RandomPassword()
{
    QString password = QStringLiteral("pw-");
    for (int i = 0; i < 4; ++i)
        password += QString::number(QRandomGenerator::system()->generate(), 36);
    return password;
}

QList<QStringList> DescribePages(const QString& fileName)
{
    std::unique_ptr<TRLGraphicStorage> storage(new TRLGraphicStorage(nullptr));
    storage->LoadFromFile(fileName);
    QList<QStringList> pages;
    for (int p = 0; p < storage->PageCount(); ++p) {
        TRLGraphicSurface* page = storage->Pages(p);
        QStringList lines;
        for (int i = 0; i < page->ObjectCount(); ++i) {
            const TRLGraphicObject* object = page->Objects(i);
            const TRect& r = object->BoundsRect;
            QString line = QStringLiteral("%1 %2,%3,%4,%5")
                               .arg(int(object->Kind()))
                               .arg(r.Left)
                               .arg(r.Top)
                               .arg(r.Right)
                               .arg(r.Bottom);
            if (const auto* text = dynamic_cast<const TRLTextObject*>(object))
                line += QLatin1Char(' ') + text->DisplayText();
            lines.append(line);
        }
        pages.append(lines);
    }
    return pages;
}

void ExpectSamePages(const QList<QStringList>& actual, const QList<QStringList>& expected, const char* what)
{
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (int p = 0; p < expected.size(); ++p)
        EXPECT_EQ(actual[p].join('\n').toStdString(), expected[p].join('\n').toStdString())
            << what << ", page " << p;
}

TAliasExportRun RunAliasExport(const QStringList& arguments)
{
    TAliasExportRun run;
    const TInventoryCommandLine options = ParseInventoryCommandLine(arguments);
    run.ExitCode
        = RunInventoryExport(options, [&](const QString& line) { run.Messages += line + QLatin1Char('\n'); });
    SetAliasDatabaseFile(QStringLiteral("VENDRIX"), QString());
    qunsetenv("QB_ALIASES");
    CloseAliasConnections();
    return run;
}
