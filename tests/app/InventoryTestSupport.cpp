#include "InventoryTestSupport.h"

#include "platform/Aliases.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QFile>
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
            QStringLiteral(
                "create table aprdtrib (COD_PROD VARCHAR(20) primary key, TRIBUTO VARCHAR(21), PERC_ICM REAL)"));
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
