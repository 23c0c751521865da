#pragma once
// Reads the records of one SQL statement on a thread of its own, a bounded number of records ahead
// of the dataset that walks them. Walking a large result is as much work in the database and its
// driver as in the report that consumes it; on a machine with a second core both halves run at once.
//
// Contracts:
// - The thread opens the alias's connection of its own (Qt SQL connections belong to the thread
//   that made them), runs the statement there and closes the connection before it ends.
// - At most Capacity records wait in memory, so memory does not follow the number of rows.
// - Each record arrives with its values already converted to the column types, which the first
//   record settles (SQLite types values, not columns).
// - Failures never cross the thread as exceptions: the dataset asks for them and raises its own.
// - The reader is made, walked and destroyed on one thread; destroying it stops the thread and
//   waits for it.
#include "platform/DataSet.h"

#include <QList>
#include <QSqlRecord>
#include <QString>
#include <QVariant>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

class QThread;

class TSqlRowReader
{
public:
    using TRow = QList<QVariant>;

    // Why the statement gave no records.
    enum TFailure {
        sfNone,
        sfConnection, // FailureText is the whole message
        sfStatement, // FailureText is the driver's text
        sfNotSelect, // the statement returns no records
    };

    TSqlRowReader(const QString& AliasName, const QString& Statement);
    ~TSqlRowReader();
    TSqlRowReader(const TSqlRowReader&) = delete;
    TSqlRowReader& operator=(const TSqlRowReader&) = delete;

    // Waits until the statement ran. False when it failed (Failure and FailureText say how).
    bool WaitStarted();
    const QSqlRecord& Record() const { return FRecord; }
    const QList<TFieldType>& Types() const { return FTypes; }
    bool Sqlite() const { return FSqlite; }

    // The next record into Row; false at the end of the records or after a failure while reading
    // (then Failure is sfStatement).
    bool Next(TRow& Row);

    TFailure Failure() const { return FFailure; }
    QString FailureText() const { return FFailureText; }

private:
    static constexpr std::size_t ChunkRows = 256;
    static constexpr std::size_t MaxChunks = 4;
    using TChunk = std::vector<TRow>;

    void Run(); // the thread's body
    void Produce(const QString& Alias, const QString& Statement);
    void Finish(TFailure Failure, const QString& Text);
    bool PushChunk(TChunk&& Chunk); // false when asked to stop

    QString FAliasName;
    QString FStatement;
    std::unique_ptr<QThread> FThread;

    std::mutex FLock;
    std::condition_variable FChanged;
    bool FStarted = false; // the header below is filled
    bool FFinished = false; // no more chunks will come
    bool FStop = false;
    std::deque<TChunk> FChunks;

    // Written by the thread before FStarted (or FFinished for the failure), read after.
    QSqlRecord FRecord;
    QList<TFieldType> FTypes;
    bool FSqlite = false;
    TFailure FFailure = sfNone;
    QString FFailureText;

    // The consumer's side.
    TChunk FCurrent;
    std::size_t FNext = 0;
};
