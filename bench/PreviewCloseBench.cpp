// How long the window program takes to end once its preview closes. Each run is a child process
// that starts the program's window exactly as the program does (application, services, inventory
// window, message loop) on a demo shop, types the date, waits until the preview has painted, closes
// it and notes the moment on a pipe; the parent takes the moment the child has ended and prints the
// difference, per run and as the median. Arguments choose the shop sizes ("PreviewCloseBench 1000
// 100000"); QB_RUNS the number of runs (5).
#include "app/CommandLine.h"
#include "app/untRelatorioInventario.h"
#include "engine/RLServices.h"
#include "platform/DemoDatabase.h"
#include "preview/RLPreviewForm.h"

#include <QApplication>
#include <QInputDialog>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

double Now()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

// The child: the program's window run with a hand that answers the prompt and closes the preview.
int Child(int argc, char** argv, const QString& database, int reportFd)
{
    QApplication application(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Relatório..."));
    const TRLServicesScope services(WindowServices());
    TInventoryCommandLine options;
    options.DatabaseFile = database;
    ApplyAliasOptions(options);
    FrmInventario = new TFrmInventario();
    FrmInventario->show();

    double previewSeen = 0;
    QTimer hand;
    QObject::connect(&hand, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* prompt = qobject_cast<QInputDialog*>(modal)) {
            prompt->setTextValue(QStringLiteral("31/12/2024"));
            prompt->accept();
        } else if (auto* preview = qobject_cast<TRLPreviewForm*>(modal)) {
            // Shown, painted, and given a moment, as a person would.
            if (previewSeen == 0)
                previewSeen = Now();
            else if (Now() - previewSeen > 0.3) {
                hand.stop();
                const double closing = Now();
                if (write(reportFd, &closing, sizeof closing) != sizeof closing)
                    std::_Exit(9);
                preview->close();
            }
        }
    });
    hand.start(10);
    return application.exec();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (argc == 4 && std::string(argv[1]) == "--child")
        return Child(1, argv, QString::fromLocal8Bit(argv[2]), std::stoi(argv[3]));

    std::vector<int> counts = { 1'000, 100'000 };
    if (argc > 1) {
        counts.clear();
        for (int i = 1; i < argc; ++i)
            counts.push_back(std::stoi(argv[i]));
    }
    const int runs = qEnvironmentVariableIsEmpty("QB_RUNS") ? 5 : qEnvironmentVariableIntValue("QB_RUNS");
    QTemporaryDir folder;
    std::printf("%12s %s\n", "products", "seconds from the preview's close to the end of the process");
    for (int count : counts) {
        const QString database = folder.filePath(QStringLiteral("demo-%1.db").arg(count));
        {
            int fakeArgc = 1;
            QCoreApplication application(fakeArgc, argv);
            CreateDemoDatabase(database, count);
        }
        std::vector<double> times;
        for (int run = 0; run < runs; ++run) {
            int fds[2];
            if (pipe(fds) != 0)
                return 1;
            std::string self = argv[0], child = "--child", db = database.toStdString(),
                        fd = std::to_string(fds[1]);
            char* childArgv[] = { self.data(), child.data(), db.data(), fd.data(), nullptr };
            pid_t pid = 0;
            if (posix_spawn(&pid, argv[0], nullptr, nullptr, childArgv, environ) != 0)
                return 1;
            close(fds[1]);
            double closing = 0;
            const bool told = read(fds[0], &closing, sizeof closing) == sizeof closing;
            int status = 0;
            waitpid(pid, &status, 0);
            const double ended = Now();
            close(fds[0]);
            if (!told || !WIFEXITED(status)) {
                std::fprintf(stderr, "run %d failed (status %d)\n", run + 1, status);
                return 1;
            }
            times.push_back(ended - closing);
            std::printf("%12d run %d: %.3f s\n", count, run + 1, times.back());
            std::fflush(stdout);
        }
        std::sort(times.begin(), times.end());
        std::printf("%12d median of %d: %.3f s\n", count, runs, times[times.size() / 2]);
    }
    return 0;
}
