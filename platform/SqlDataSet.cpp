#include "platform/SqlDataSet.h"

#include "platform/Aliases.h"
#include "platform/SqlRowReader.h"
#include "platform/Variants.h"

#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

#include <limits>

namespace {

// The declared size of a text column, "VARCHAR(20)" -> 20; 0 when the type has none.
int DeclaredSize(const QString& declaredType)
{
    static const QRegularExpression sizePattern(QStringLiteral("\\(\\s*(\\d{1,9})\\s*[,)]"));
    const QRegularExpressionMatch match = sizePattern.match(declaredType);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

// SQLite keeps each column's declared type in the schema; the driver does not pass sizes on.
int SqliteColumnSize(const QSqlDatabase& database, const QString& table, const QString& column)
{
    if (table.isEmpty())
        return 0;
    QSqlQuery info(database);
    info.setForwardOnly(true);
    if (!info.exec(QStringLiteral("pragma table_info(%1)")
                       .arg(database.driver()->escapeIdentifier(table, QSqlDriver::TableName))))
        return 0;
    while (info.next())
        if (info.value(1).toString().compare(column, Qt::CaseInsensitive) == 0)
            return DeclaredSize(info.value(2).toString());
    return 0;
}

// Firebird describes a text column in bytes of the connection's character set, which Qt's driver
// always makes UTF8, four bytes a character: VARCHAR(60) arrives as 240. The column's own length in
// characters is in the catalogue; a computed column, which has none there, is in the connection's.
int FirebirdColumnSize(const QSqlDatabase& database, const QSqlField& column)
{
    if (!column.tableName().isEmpty()) {
        QSqlQuery info(database);
        info.setForwardOnly(true);
        if (info.prepare(QStringLiteral("select f.RDB$CHARACTER_LENGTH from RDB$RELATION_FIELDS r "
                                        "join RDB$FIELDS f on f.RDB$FIELD_NAME = r.RDB$FIELD_SOURCE "
                                        "where r.RDB$RELATION_NAME = ? and r.RDB$FIELD_NAME = ?"))) {
            info.addBindValue(column.tableName());
            info.addBindValue(column.name());
            if (info.exec() && info.next() && !info.value(0).isNull() && info.value(0).toInt() > 0)
                return info.value(0).toInt();
        }
    }
    return column.length() > 0 ? column.length() / 4 : 0;
}

// The table a failed statement missed, from the drivers' own wording.
QString MissingTableOf(const QString& driverText)
{
    static const QRegularExpression patterns[] = {
        QRegularExpression(QStringLiteral("no such table:\\s*([^\\s(]+)")),
        // A server answers in its own language: English and Portuguese servers are the ones shops run.
        QRegularExpression(QStringLiteral("relation \"([^\"]+)\" does not exist")),
        QRegularExpression(QStringLiteral("relação \"([^\"]+)\" não existe")),
        // Firebird's parts come joined by " - ": "Table unknown - ACADPROD - At line 5, column 1".
        QRegularExpression(QStringLiteral("Table unknown(?:\\s+-)?\\s+([^\\s]+)"),
            QRegularExpression::CaseInsensitiveOption),
    };
    for (const QRegularExpression& pattern : patterns) {
        const QRegularExpressionMatch match = pattern.match(driverText);
        if (match.hasMatch())
            return match.captured(1);
    }
    return QString();
}

} // namespace

TFieldType FieldTypeOfColumn(QMetaType columnType, const QVariant& firstValue, bool sqliteTyping)
{
    const int id = columnType.id();
    if (sqliteTyping) {
        // A NULL arrives as a null variant of some type; it holds no number to go by.
        const bool firstIsNumber = VarIsNumeric(firstValue) && !firstValue.isNull();
        // The driver names Int only for a declared INT/INTEGER column; every other numeric column
        // (REAL, NUMERIC, DECIMAL, or a computed one typed by its first value) may hold fractions.
        switch (id) {
        case QMetaType::Int:
            return ftLargeint;
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
            return ftFloat;
        case QMetaType::QString:
            return firstIsNumber ? ftFloat : ftString;
        case QMetaType::UnknownType:
            if (firstIsNumber)
                return ftFloat;
            return firstValue.isValid() && !firstValue.isNull() ? ftString : ftUnknown;
        default:
            break;
        }
    }
    switch (id) {
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return ftSmallint;
    case QMetaType::Int:
        return ftInteger;
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
        return ftLargeint;
    case QMetaType::Double:
    case QMetaType::Float:
        return ftFloat;
    case QMetaType::Bool:
        return ftBoolean;
    case QMetaType::QString:
    case QMetaType::QChar:
        return ftString;
    case QMetaType::QByteArray:
        return ftMemo;
    case QMetaType::QDate:
        return ftDate;
    case QMetaType::QTime:
        return ftTime;
    case QMetaType::QDateTime:
        return ftDateTime;
    default:
        return ftUnknown;
    }
}

// ---- TSqlDataSet -----------------------------------------------------------------------------------

TSqlDataSet::TSqlDataSet(TComponent* AOwner)
    : TDataSet(AOwner)
{ }

// The base destructor runs no hooks, so the reader is stopped here, before the fields go.
TSqlDataSet::~TSqlDataSet()
{
    FReader.reset();
}

void TSqlDataSet::SetDatabaseName(const QString& value)
{
    if (value == FDatabaseName)
        return;
    Close();
    FDatabaseName = value;
}

QString TSqlDataSet::AliasName() const
{
    return FDatabaseName.trimmed();
}

QString TSqlDataSet::StripStatementEnd(const QString& text)
{
    QString result = text;
    while (!result.isEmpty() && (result.back().isSpace() || result.back() == QLatin1Char(';')))
        result.chop(1);
    return result;
}

QString TSqlDataSet::StatementFailure(const QString& driverText) const
{
    return QStringLiteral("Erro ao ler o alias %1: %2").arg(AliasName(), driverText);
}

void TSqlDataSet::BeforeExecute(QSqlDatabase&) { }

void TSqlDataSet::Execute()
{
    // The alias is opened here first: its failures ("not found", "cannot connect") come from the
    // thread that asked, with the same messages as any other use of the alias.
    AliasConnection(AliasName());
    FReader.reset();
    FPosition = 0;
    FPastEnd = false;
    FRow.clear();
    const QString statement = StripStatementEnd(StatementText());
    if (statement.trimmed().isEmpty())
        DatabaseError(QStringLiteral("Nenhum comando SQL para o alias %1").arg(AliasName()));
    FReader = std::make_unique<TSqlRowReader>(AliasName(), statement);
    if (FReader->WaitStarted())
        return;
    const TSqlRowReader::TFailure failure = FReader->Failure();
    const QString text = FReader->FailureText();
    FReader.reset();
    switch (failure) {
    case TSqlRowReader::sfNotSelect:
        DatabaseError(QStringLiteral("O comando SQL não devolve registros (alias %1)").arg(AliasName()));
        break;
    case TSqlRowReader::sfConnection:
        throw EDatabaseError(text);
    case TSqlRowReader::sfStatement:
    case TSqlRowReader::sfNone:
        DatabaseError(StatementFailure(text));
        break;
    }
}

void TSqlDataSet::CheckReadFailure()
{
    if (!FReader)
        return;
    const TSqlRowReader::TFailure failure = FReader->Failure();
    if (failure == TSqlRowReader::sfConnection)
        throw EDatabaseError(FReader->FailureText());
    if (failure != TSqlRowReader::sfNone)
        DatabaseError(StatementFailure(FReader->FailureText()));
}

void TSqlDataSet::InternalOpen()
{
    if (AliasName().isEmpty())
        DatabaseError(QStringLiteral("Nenhum alias de banco de dados informado"));
    FRecordCount = -1;
    {
        QSqlDatabase database = AliasConnection(AliasName());
        BeforeExecute(database);
    }
    Execute();
    if (FReader->Next(FRow)) {
        FPosition = 1;
    } else {
        FPastEnd = true;
        CheckReadFailure();
    }
    CreateFieldsFromResult();
}

void TSqlDataSet::CreateFieldsFromResult()
{
    const QSqlRecord& record = FReader->Record();
    const QList<TFieldType>& types = FReader->Types();
    QSqlDatabase database = AliasConnection(AliasName());
    const bool sqlite = FReader->Sqlite();
    FTypes.clear();
    for (int i = 0; i < record.count(); ++i) {
        const QSqlField column = record.field(i);
        const TFieldType type = types.value(i, ftUnknown);
        int size = 0;
        if (type == ftString) {
            size = column.length() > 0 ? column.length() : 0;
            if (size == 0 && sqlite)
                size = SqliteColumnSize(database, column.tableName(), column.name());
            else if (database.driverName() == QLatin1String("QIBASE"))
                size = FirebirdColumnSize(database, column);
        }
        FTypes.append(type);
        CreateField(column.name(), type, size);
    }
}

void TSqlDataSet::InternalClose()
{
    FReader.reset();
    FTypes.clear();
    FRow.clear();
    FPosition = 0;
    FPastEnd = false;
    FRecordCount = -1;
}

bool TSqlDataSet::InternalFirst()
{
    if (!FReader)
        return false;
    if (FPosition == 1 && !FPastEnd)
        return true;
    if (FPosition == 0 && FPastEnd)
        return false;
    // The records cannot be walked again: run the statement again.
    Execute();
    return InternalNext();
}

bool TSqlDataSet::InternalNext()
{
    if (!FReader || FPastEnd)
        return false;
    if (FReader->Next(FRow)) {
        ++FPosition;
        return true;
    }
    FPastEnd = true;
    FRow.clear();
    CheckReadFailure();
    return false;
}

int TSqlDataSet::InternalRecordCount()
{
    if (FRecordCount >= 0)
        return FRecordCount;
    QSqlQuery count(AliasConnection(AliasName()));
    count.setForwardOnly(true);
    // The line breaks keep a comment on the statement's last line from swallowing the ")".
    const QString statement
        = QStringLiteral("select count(*) from (\n%1\n) qb_count").arg(StripStatementEnd(StatementText()));
    if (!count.exec(statement) || !count.next())
        DatabaseError(StatementFailure(count.lastError().text().trimmed()));
    bool ok = false;
    const qlonglong records = count.value(0).toLongLong(&ok);
    if (!ok || records < 0)
        DatabaseError(QStringLiteral("Contagem de registros inválida no alias %1").arg(AliasName()));
    FRecordCount = int(qMin<qlonglong>(records, std::numeric_limits<int>::max()));
    return FRecordCount;
}

QVariant TSqlDataSet::InternalGetValue(int field) const
{
    if (!FReader || FPastEnd || FPosition == 0 || field < 0 || field >= FRow.size())
        return VarNull();
    return FRow.at(field);
}

// ---- TQuery ----------------------------------------------------------------------------------------

TQuery::TQuery(TComponent* AOwner)
    : TSqlDataSet(AOwner)
{ }

void TQuery::SetSQL(const QStringList& value)
{
    if (value == FSQL)
        return;
    Close();
    FSQL = value;
}

QString TQuery::StatementText() const
{
    return FSQL.join(QLatin1Char('\n'));
}

QString TQuery::StatementFailure(const QString& driverText) const
{
    QString table = MissingTableOf(driverText);
    if (!table.isEmpty()) {
        // A server that folds names to upper case reports ACADPROD; the user wrote acadprod.
        const QRegularExpression written(QStringLiteral("\\b%1\\b").arg(QRegularExpression::escape(table)),
            QRegularExpression::CaseInsensitiveOption);
        const QRegularExpressionMatch match = written.match(StatementText());
        if (match.hasMatch())
            table = match.captured();
        return QStringLiteral("Tabela %1 não encontrada no alias %2").arg(table, AliasName());
    }
    return QStringLiteral("Erro ao executar a consulta no alias %1: %2").arg(AliasName(), driverText);
}

// ---- TTable ----------------------------------------------------------------------------------------

TTable::TTable(TComponent* AOwner)
    : TSqlDataSet(AOwner)
{ }

void TTable::SetTableName(const QString& value)
{
    if (value == FTableName)
        return;
    Close();
    FTableName = value;
}

QString TTable::SqlTableName(const QString& tableName)
{
    QString name = tableName.trimmed();
    static const QRegularExpression storageExtension(
        QStringLiteral("\\.(db|dbf)$"), QRegularExpression::CaseInsensitiveOption);
    name.remove(storageExtension);
    return name;
}

void TTable::BeforeExecute(QSqlDatabase& database)
{
    const QString wanted = SqlTableName(FTableName);
    if (wanted.isEmpty())
        DatabaseError(QStringLiteral("Nenhuma tabela informada para o alias %1").arg(AliasName()));
    FResolvedName.clear();
    const QStringList tables = database.tables(QSql::Tables) + database.tables(QSql::Views);
    for (const QString& table : tables) {
        if (table.compare(wanted, Qt::CaseInsensitive) == 0) {
            FResolvedName = table;
            break;
        }
    }
    if (FResolvedName.isEmpty())
        DatabaseError(QStringLiteral("Tabela %1 não encontrada no alias %2").arg(wanted, AliasName()));
    FQuotedName = database.driver()->escapeIdentifier(FResolvedName, QSqlDriver::TableName);
}

QString TTable::StatementText() const
{
    return QStringLiteral("select * from ") + FQuotedName;
}

QString TTable::StatementFailure(const QString& driverText) const
{
    return QStringLiteral("Erro ao abrir a tabela %1 no alias %2: %3")
        .arg(SqlTableName(FTableName), AliasName(), driverText);
}
