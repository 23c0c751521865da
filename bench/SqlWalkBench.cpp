// Figures for the data access: how fast the demo database is made, how fast the inventory statement's
// records stream through TQuery (reading every field's display text, as the report does), and the
// process's peak memory before and after the walk, which must not follow the number of rows.
// Usage: SqlWalkBench [products] [database file]; the file is made in a temporary folder unless given
// (an existing file given is used as it is).
#include "platform/Aliases.h"
#include "platform/DemoDatabase.h"
#include "platform/SqlDataSet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

qint64 StatusKb(const char* key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int products = argc > 1 ? QByteArray(argv[1]).toInt() : 1'000'000;
    QTemporaryDir directory;
    const QString fileName
        = argc > 2 ? QString::fromLocal8Bit(argv[2]) : directory.filePath(QStringLiteral("vendrix.db"));

    try {
        QElapsedTimer timer;
        if (!QFile::exists(fileName)) {
            timer.start();
            const TDemoDatabaseSummary summary = CreateDemoDatabase(fileName, products);
            const double seconds = timer.nsecsElapsed() / 1e9;
            std::printf("demo database: %d products, %d report rows in %.2f s (%.0f products/s)\n",
                summary.Products, summary.ReportRows, seconds, summary.Products / seconds);
        }
        // The creation's own peak is not the walk's: measure from here.
        QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
        if (clearRefs.open(QIODevice::WriteOnly)) {
            clearRefs.write("5");
            clearRefs.close();
        }
        SetAliasDatabaseFile(QStringLiteral("VENDRIX"), fileName);
        TQuery query;
        query.SetName(QStringLiteral("qryRelatorio"));
        query.SetDatabaseName(QStringLiteral("VENDRIX"));
        query.SetSQL(InventoryStatementLines());

        timer.start();
        query.Open();
        const double openSeconds = timer.nsecsElapsed() / 1e9;
        const qint64 peakBefore = StatusKb("VmHWM:");
        timer.start();
        const int counted = query.RecordCount();
        const double countSeconds = timer.nsecsElapsed() / 1e9;

        timer.start();
        qint64 rows = 0;
        qint64 characters = 0;
        double total = 0;
        for (; !query.Eof(); query.Next()) {
            for (int field = 0; field < query.FieldCount(); ++field)
                characters += query.Fields(field)->DisplayText().size();
            total += query.FieldByName(QStringLiteral("SALDO"))->AsFloat();
            ++rows;
        }
        const double walkSeconds = timer.nsecsElapsed() / 1e9;
        const qint64 peakAfter = StatusKb("VmHWM:");
        query.Close();
        CloseAliasConnections();

        std::printf("open (first record): %.3f s\n", openSeconds);
        std::printf("record count: %d in %.3f s\n", counted, countSeconds);
        std::printf("walk: %lld rows in %.2f s = %.0f rows/s (%lld characters of display text, total %.2f)\n",
            static_cast<long long>(rows), walkSeconds, walkSeconds > 0 ? rows / walkSeconds : 0.0,
            static_cast<long long>(characters), total);
        std::printf("peak RSS (VmHWM): %lld kB after open, %lld kB after the walk (%+lld kB)\n",
            static_cast<long long>(peakBefore), static_cast<long long>(peakAfter),
            static_cast<long long>(peakAfter - peakBefore));
        return rows == counted ? 0 : 1;
    } catch (const Exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
