#include "platform/SqlRowReader.h"

#include "platform/Aliases.h"
#include "platform/Exceptions.h"
#include "platform/SqlDataSet.h"
#include "platform/Variants.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QThread>

namespace {

// A value as the dataset shows it: NULL as the null variant, otherwise converted to the column's
// type; a value that does not fit the type (SQLite allows it) stays as delivered.
QVariant ConvertedValue(const QVariant& value, TFieldType type)
{
    if (!value.isValid() || value.isNull())
        return VarNull();
    if (type == ftUnknown)
        return value;
    QVariant converted;
    return ConvertFieldValue(value, type, converted) ? converted : value;
}

} // namespace

TSqlRowReader::TSqlRowReader(const QString& AliasName, const QString& Statement)
    : FAliasName(AliasName)
    , FStatement(Statement)
{
    FThread.reset(QThread::create([this] { Run(); }));
    FThread->start();
}

TSqlRowReader::~TSqlRowReader()
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        FStop = true;
    }
    FChanged.notify_all();
    FThread->wait();
}

bool TSqlRowReader::WaitStarted()
{
    std::unique_lock<std::mutex> lock(FLock);
    FChanged.wait(lock, [this] { return FStarted || FFinished; });
    return FStarted;
}

bool TSqlRowReader::Next(TRow& Row)
{
    if (FNext >= FCurrent.size()) {
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [this] { return !FChunks.empty() || FFinished; });
        if (FChunks.empty())
            return false; // finished, perhaps by a failure
        FCurrent = std::move(FChunks.front());
        FChunks.pop_front();
        FNext = 0;
        lock.unlock();
        FChanged.notify_all(); // room for the thread again
    }
    Row = std::move(FCurrent[FNext++]);
    return true;
}

void TSqlRowReader::Run()
{
    try {
        Produce(FAliasName, FStatement);
    } catch (const Exception& error) {
        Finish(sfConnection, error.Message());
    } catch (const std::exception& error) {
        Finish(sfConnection, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        Finish(sfConnection, QStringLiteral("Erro desconhecido ao ler o alias %1").arg(FAliasName));
    }
    try {
        CloseAliasConnection(FAliasName); // this thread's own connection
    } catch (...) { }
}

void TSqlRowReader::Produce(const QString& Alias, const QString& Statement)
{
    QSqlDatabase database = AliasConnection(Alias);
    const bool sqlite = database.driverName() == QLatin1String("QSQLITE");
    if (sqlite) {
        // A report ordered by name walks the table through an index, so its pages come in random
        // order; with SQLite's default 2 MB cache they were read from the file over and over (31,000
        // reads for 100,000 products, a third of the run's system time at a million). 32 MB holds the
        // index and a good part of the table, and is given back when the connection closes.
        QSqlQuery pragma(database);
        pragma.exec(QStringLiteral("pragma cache_size = -32768"));
    }
    QSqlQuery query(database);
    // Forward-only keeps the driver from caching the records it has passed.
    query.setForwardOnly(true);
    if (!query.exec(Statement)) {
        Finish(sfStatement, query.lastError().text().trimmed());
        return;
    }
    if (!query.isSelect()) {
        Finish(sfNotSelect, QString());
        return;
    }
    const bool hasFirst = query.next();
    const QSqlRecord record = query.record();
    QList<TFieldType> types;
    for (int i = 0; i < record.count(); ++i)
        types.append(
            FieldTypeOfColumn(record.field(i).metaType(), hasFirst ? query.value(i) : QVariant(), sqlite));
    {
        std::lock_guard<std::mutex> lock(FLock);
        FRecord = record;
        FTypes = types;
        FSqlite = sqlite;
        FStarted = true;
    }
    FChanged.notify_all();

    const int columns = int(types.size());
    TChunk chunk;
    chunk.reserve(ChunkRows);
    bool more = hasFirst;
    while (more) {
        TRow row;
        row.reserve(columns);
        for (int i = 0; i < columns; ++i)
            row.append(ConvertedValue(query.value(i), types.at(i)));
        chunk.push_back(std::move(row));
        more = query.next();
        if (chunk.size() >= ChunkRows || !more) {
            if (!PushChunk(std::move(chunk)))
                return;
            chunk = TChunk();
            chunk.reserve(ChunkRows);
        }
    }
    const QSqlError error = query.lastError();
    if (error.isValid() && error.type() != QSqlError::NoError)
        Finish(sfStatement, error.text().trimmed());
    else
        Finish(sfNone, QString());
}

bool TSqlRowReader::PushChunk(TChunk&& Chunk)
{
    {
        std::unique_lock<std::mutex> lock(FLock);
        FChanged.wait(lock, [this] { return FChunks.size() < MaxChunks || FStop; });
        if (FStop)
            return false;
        FChunks.push_back(std::move(Chunk));
    }
    FChanged.notify_all();
    return true;
}

void TSqlRowReader::Finish(TFailure Failure, const QString& Text)
{
    {
        std::lock_guard<std::mutex> lock(FLock);
        if (!FFinished) {
            FFailure = Failure;
            FFailureText = Text;
        }
        FFinished = true;
    }
    FChanged.notify_all();
}
