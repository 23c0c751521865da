// prjInventario: the inventory program. Without arguments it is the window program; with arguments
// it runs headless (see app/CommandLine.h).
#include "app/CommandLine.h"
#include "app/InterruptSignals.h"
#include "app/untRelatorioInventario.h"
#include "engine/RLConsts.h"
#include "engine/RLProgress.h"
#include "engine/RLServices.h"
#include "engine/RLUtils.h"

#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void PrintTo(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

void ErrorLine(const QString& line)
{
    PrintTo(stderr, line + QLatin1Char('\n'));
}

int RunWindow(int argc, char** argv, const TInventoryCommandLine& options)
{
    // 1. The application object.
    QApplication application(argc, argv);
    // 2. The name on the task bar.
    QApplication::setApplicationDisplayName(QStringLiteral("Relatório..."));
    const TRLServicesScope services(WindowServices());
    InstallInterruptHandlers();
    WatchInterruptsFromEventLoop(&application);
    if (!TempDirNotice().isEmpty())
        ErrorLine(TempDirNotice());
    try {
        ApplyAliasOptions(options);
        // 3. The main window; creating it loads the definition and opens the parameter table.
        FrmInventario = new TFrmInventario();
        FrmInventario->show();
    } catch (const std::exception& error) {
        // The default error display; without its window the program has nothing left to do.
        QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), InventoryErrorText(error));
        return ecDatabase;
    }
    // 4. The message loop, until the run or the user ends it.
    const int code = application.exec();
    if (const int signal = CaughtInterruptSignal()) {
        ErrorLine(RLFailureText(RLFailInterruptedRun).arg(InterruptSignalName(signal)));
        return InterruptExitCode(signal);
    }
    return code;
}

int RunSavedReport(int argc, char** argv, const TInventoryCommandLine& options)
{
    // A saved report in the preview: no database, no date prompt.
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Relatório..."));
    const TRLServicesScope services(WindowServices());
    return RunSavedReportPreview(options, [](const QString& message) {
        QMessageBox::critical(nullptr, QApplication::applicationDisplayName(), message);
    });
}

int RunHeadless(int argc, char** argv, const TInventoryCommandLine& options)
{
    InstallInterruptHandlers();
    // No window is ever shown: without a display (or any platform chosen) the offscreen platform
    // still gives the fonts and images the report needs.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A headless run (a cron job, a server) often has no runtime folder; Qt would warn about it on
    // standard error, where our own messages go.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray runtime = "/tmp/qb-runtime-" + QByteArray::number(uint(getuid()));
        mkdir(runtime.constData(), 0700);
        qputenv("XDG_RUNTIME_DIR", runtime);
    }
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Relatório..."));
    if (options.Mode == TInventoryCommandLine::cmCreateDemo)
        return RunCreateDemoDatabase(options, ErrorLine);
    // Never a progress window here: a line on a terminal, or nothing.
    TRLServices services;
    if (isatty(STDERR_FILENO))
        services.Progress = TerminalProgressFactory();
    const TRLServicesScope installed(std::move(services));
    if (options.Mode == TInventoryCommandLine::cmPrint)
        return RunInventoryPrint(options, ErrorLine);
    return RunInventoryExport(options, ErrorLine);
}

} // namespace

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    TInventoryCommandLine options;
    try {
        options = ParseInventoryCommandLine(arguments);
    } catch (const ECommandLineError& error) {
        ErrorLine(QStringLiteral("inventario: ") + error.Message());
        PrintTo(stderr, InventoryUsageText());
        return ecUsage;
    }

    switch (options.Mode) {
    case TInventoryCommandLine::cmHelp:
        PrintTo(stdout, InventoryUsageText());
        return ecWritten;
    case TInventoryCommandLine::cmVersion:
        PrintTo(stdout, InventoryVersionText());
        return ecWritten;
    case TInventoryCommandLine::cmExport:
    case TInventoryCommandLine::cmPrint:
    case TInventoryCommandLine::cmCreateDemo:
        return RunHeadless(argc, argv, options);
    case TInventoryCommandLine::cmOpen:
        return RunSavedReport(argc, argv, options);
    case TInventoryCommandLine::cmWindow:
        break;
    }
    return RunWindow(argc, argv, options);
}
