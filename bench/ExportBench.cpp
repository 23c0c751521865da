// Runs the inventory program's headless export for demo shops of growing size, into the page store
// file, a PDF document, a spreadsheet, a data workbook and delimited text, and prints wall time, peak
// memory, pages and bytes of each.
// The program is the one built beside this benchmark (../app/inventario). Arguments choose other
// sizes ("ExportBench 1000 5000"); QB_EXPORT_FORMATS chooses the formats ("pgx,pdf", default all of
// them). The PDF writer's options are formats of their own: "pdf+compress", "pdf+embed" (embedded
// fonts) and "pdf+embed+compress".
#include "pagestore/RLMetaFile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

struct TRun
{
    bool Ok = false;
    double Seconds = 0;
    double PeakMiB = 0; // of this run alone
    // User plus system time: steadier than the wall clock on a machine others share.
    double CpuSeconds = 0;
};

// Runs the program and waits for it, taking its own resource use (a parent's count of all its
// children would keep the largest of every run so far).
TRun RunProgram(const QString& program, const QStringList& arguments)
{
    std::vector<std::string> words { program.toStdString() };
    for (const QString& argument : arguments)
        words.push_back(argument.toStdString());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    TRun run;
    QElapsedTimer clock;
    clock.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[0]);
        return run;
    }
    int status = 0;
    rusage usage {};
    if (wait4(pid, &status, 0, &usage) != pid) {
        std::fprintf(stderr, "lost %s\n", argv[0]);
        return run;
    }
    run.Seconds = clock.elapsed() / 1000.0;
    run.PeakMiB = usage.ru_maxrss / 1024.0;
    run.CpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (!run.Ok)
        std::fprintf(stderr, "%s %s: exit %d\n", qUtf8Printable(program), qUtf8Printable(arguments.join(' ')),
            WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return run;
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
    QStringList formats = { QStringLiteral("pgx"), QStringLiteral("pdf"), QStringLiteral("pdf+compress"),
        QStringLiteral("pdf+embed"), QStringLiteral("pdf+embed+compress"), QStringLiteral("xls"),
        QStringLiteral("xlsx"), QStringLiteral("csv") };
    if (!qEnvironmentVariableIsEmpty("QB_EXPORT_FORMATS"))
        formats = qEnvironmentVariable("QB_EXPORT_FORMATS").split(QLatin1Char(','), Qt::SkipEmptyParts);

    QTemporaryDir folder;
    std::printf("%12s %18s %10s %8s %14s %8s %14s\n", "products", "format", "export s", "cpu s",
        "peak RSS MiB", "pages", "bytes");
    for (int count : counts) {
        const QString database = folder.filePath(QStringLiteral("demo-%1.db").arg(count));
        if (!RunProgram(program, { "--create-demo-database", database, "--products", QString::number(count) })
                 .Ok)
            return 1;
        for (const QString& format : formats) {
            const QStringList parts = format.split(QLatin1Char('+'));
            const QString output
                = folder.filePath(QStringLiteral("demo-%1.%2").arg(count).arg(parts.first()));
            QStringList arguments = { "--export", output, "--database", database, "--date", "31/12/2024" };
            if (parts.contains(QStringLiteral("embed")))
                arguments << QStringLiteral("--embed-fonts");
            if (parts.contains(QStringLiteral("compress")))
                arguments << QStringLiteral("--compress");
            const TRun run = RunProgram(program, arguments);
            if (!run.Ok)
                return 1;
            QString pages = QStringLiteral("-");
            if (format == QLatin1String("pgx")) {
                TRLGraphicStorage storage;
                storage.LoadFromFile(output);
                pages = QString::number(storage.PageCount());
            }
            std::printf("%12d %18s %10.2f %8.2f %14.1f %8s %14lld\n", count, qUtf8Printable(format),
                run.Seconds, run.CpuSeconds, run.PeakMiB, qUtf8Printable(pages),
                static_cast<long long>(QFileInfo(output).size()));
            std::fflush(stdout);
            QFile::remove(output);
        }
    }
    return 0;
}
