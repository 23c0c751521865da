// Runs the inventory program's headless export into a page store file for demo shops of growing
// size and prints wall time, peak memory, pages and bytes. The program is the one built beside this
// benchmark (../app/inventario); pass a count list to measure other sizes ("ExportBench 1000 5000").
#include "pagestore/RLMetaFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <sys/resource.h>

namespace {

bool RunProgram(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(-1) || process.exitCode() != 0) {
        std::fprintf(stderr, "%s %s: exit %d\n", qUtf8Printable(program), qUtf8Printable(arguments.join(' ')),
            process.exitCode());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../app/inventario");
    if (!QFileInfo(program).isExecutable()) {
        std::fprintf(stderr, "inventario not found at %s\n", qUtf8Printable(program));
        return 1;
    }
    QList<int> counts = { 10'000, 100'000, 1'000'000 };
    if (argc > 1) {
        counts.clear();
        for (int i = 1; i < argc; ++i)
            counts.append(QByteArray(argv[i]).toInt());
    }
    QTemporaryDir folder;
    std::printf("%12s %12s %14s %8s %14s\n", "products", "export s", "peak RSS MiB", "pages", "bytes");
    for (int count : counts) {
        const QString database = folder.filePath(QStringLiteral("demo-%1.db").arg(count));
        const QString output = folder.filePath(QStringLiteral("demo-%1.pgx").arg(count));
        if (!RunProgram(program, { "--create-demo-database", database, "--products", QString::number(count) }))
            return 1;
        QElapsedTimer clock;
        clock.start();
        if (!RunProgram(program, { "--export", output, "--database", database, "--date", "31/12/2024" }))
            return 1;
        const double seconds = clock.elapsed() / 1000.0;
        // The largest resident size of any child so far; the sizes grow, so it is this export's.
        rusage usage {};
        getrusage(RUSAGE_CHILDREN, &usage);
        TRLGraphicStorage storage;
        storage.LoadFromFile(output);
        std::printf("%12d %12.2f %14.1f %8d %14lld\n", count, seconds, usage.ru_maxrss / 1024.0, storage.PageCount(),
            static_cast<long long>(QFileInfo(output).size()));
        std::fflush(stdout);
    }
    return 0;
}
