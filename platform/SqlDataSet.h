#pragma once
// Datasets over a database alias (platform/Aliases.h): TQuery runs an SQL statement, TTable reads a
// whole table. Both are owned by their owner component and use the alias connection of the thread
// that opens them; open, walk and close a dataset on one thread.
//
// Contracts:
// - The result streams: a reader on a thread of its own (platform/SqlRowReader.h) runs the statement
//   on its own connection and keeps at most a few hundred records ahead of the walk, so memory does
//   not grow with the number of rows and the database works while the report does. First after
//   Next runs the statement again.
// - RecordCount runs "select count(*) from (<statement>)" on the first call after opening and keeps
//   the answer until the dataset closes; walking the records never counts them.
// - Field types come from the driver's column types; on SQLite, which types values rather than
//   columns, a column with a numeric value and no declared integer type (REAL or NUMERIC columns,
//   computed columns such as SALDO_ATU * PRECO_CUST) is ftFloat. A float field's display text is
//   the locale's general format at 15 significant digits; a NULL shows "" and reads as 0.
// - Failures are EDatabaseError prefixed with the dataset's name, with Portuguese messages naming
//   the alias: "Tabela Parametr não encontrada no alias VENDRIX".
#include "platform/DataSet.h"

#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>

#include <memory>

class TSqlRowReader;

// The field type of a driver's column. value is the column's first value (invalid when there is
// none); sqliteTyping applies SQLite's rule that values, not columns, carry the type.
TFieldType FieldTypeOfColumn(QMetaType columnType, const QVariant& firstValue, bool sqliteTyping);

// The common part of TQuery and TTable: a statement on an alias, streamed.
class TSqlDataSet : public TDataSet
{
    Q_OBJECT
    Q_PROPERTY(QString DatabaseName READ DatabaseName WRITE SetDatabaseName)

public:
    explicit TSqlDataSet(TComponent* AOwner = nullptr);
    ~TSqlDataSet() override;

    // The alias, "VENDRIX". Changing it closes the dataset.
    QString DatabaseName() const { return FDatabaseName; }
    void SetDatabaseName(const QString& value);

protected:
    // The statement that produces the records.
    virtual QString StatementText() const = 0;
    // Turns a failed statement into the message the user reads.
    virtual QString StatementFailure(const QString& driverText) const;
    // For subclasses that know more before running the statement (TTable checks its table exists).
    virtual void BeforeExecute(QSqlDatabase& database);

    void InternalOpen() override;
    void InternalClose() override;
    bool InternalFirst() override;
    bool InternalNext() override;
    int InternalRecordCount() override;
    QVariant InternalGetValue(int field) const override;

    QString AliasName() const;
    // An SQL statement's text as the database receives it: without a closing ";".
    static QString StripStatementEnd(const QString& text);

private:
    void Execute();
    void CreateFieldsFromResult();
    // Raises the failure that ended the reader's records, if one did.
    void CheckReadFailure();

    QString FDatabaseName;
    std::unique_ptr<TSqlRowReader> FReader;
    QList<TFieldType> FTypes;
    // The current record's values, converted to the field types.
    QList<QVariant> FRow;
    // Records the cursor has moved onto since the statement ran (1 = on the first record).
    qint64 FPosition = 0;
    bool FPastEnd = false;
    int FRecordCount = -1;
};

class TQuery : public TSqlDataSet
{
    Q_OBJECT
    Q_PROPERTY(QStringList SQL READ SQL WRITE SetSQL)

public:
    Q_INVOKABLE explicit TQuery(TComponent* AOwner = nullptr);

    // The statement, one line per item, kept exactly as given (blanks included). The lines are
    // joined with line breaks when the statement runs. Changing it closes the query.
    QStringList SQL() const { return FSQL; }
    void SetSQL(const QStringList& value);

protected:
    QString StatementText() const override;
    QString StatementFailure(const QString& driverText) const override;

private:
    QStringList FSQL;
};

class TTable : public TSqlDataSet
{
    Q_OBJECT
    Q_PROPERTY(QString TableName READ TableName WRITE SetTableName)

public:
    Q_INVOKABLE explicit TTable(TComponent* AOwner = nullptr);

    // A table name as the shop's definitions give it, "Parametr.DB": the extension is the old
    // storage's file name and is dropped, so it names the table Parametr. Changing it closes the
    // table.
    QString TableName() const { return FTableName; }
    void SetTableName(const QString& value);
    // The table the name stands for: "Parametr" for "Parametr.DB".
    static QString SqlTableName(const QString& tableName);

protected:
    QString StatementText() const override;
    QString StatementFailure(const QString& driverText) const override;
    void BeforeExecute(QSqlDatabase& database) override;

private:
    QString FTableName;
    // The table's name as the database spells it, found when opening.
    QString FResolvedName;
    QString FQuotedName;
};
