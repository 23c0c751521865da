// Printing for real: a print server of this test's own (Debian's cupsd, on a private loopback port
// with every folder in a temporary one) with a queue whose backend (cups-pdf) turns each job into a
// PDF file, and the program's own `inventario --print` sending the inventory report to it through the
// printer filter and Qt Print Support, as a shop's print would go. The job's PDF is read back with
// poppler: the expected number of pages, each with its "Página:" heading, and the summary's totals.
//
// The program reaches the private server through CUPS_SERVER, set for its process only. cupsd and
// cups-pdf come from Debian's cups and printer-driver-cups-pdf (scripts/install-deps.sh). cups-pdf
// runs only as root and reads its queue's settings from /etc/cups/cups-pdf-QUEUE.conf (a path built
// into it), so the test writes one there for its queue, pointing the output into its own folder, and
// removes it afterwards. Where that cannot be (not root, no cupsd) the tests skip and say why; with
// CI=true they fail instead, since CI must print.
#include "InventoryTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>

namespace {

constexpr int CommandTimeoutMs = 60000;
constexpr int StartTimeoutMs = 30000;
// A job goes through three filters and a PostScript interpreter.
constexpr int JobTimeoutMs = 180000;

const QString CupsPpd = QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd");

QString Money(double value)
{
    static const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    return brazil.toString(value, 'f', 2);
}

bool RunningInCi()
{
    return qgetenv("CI") == "true";
}

// Skips with the reason, or fails where printing must work.
#define SKIP_OR_FAIL_UNAVAILABLE(reason)                                                                     \
    do {                                                                                                     \
        if (RunningInCi())                                                                                   \
            FAIL() << "CI=true, yet the print server cannot run here: " << (reason).toStdString();           \
        GTEST_SKIP() << "the print server cannot run here: " << (reason).toStdString();                      \
    } while (false)

bool WriteText(const QString& fileName, const QByteArray& text)
{
    QFile file(fileName);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

struct TProgramRun
{
    int ExitCode = -1;
    QString Errors;
};

// A private print server, stopped when this object goes.
class TCupsServer
{
public:
    // Null with the reason when this machine cannot run one; throws when one that should start does
    // not.
    static std::unique_ptr<TCupsServer> Start(QString& Unavailable)
    {
        for (const char* tool : { "/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/bin/lpstat",
                 "/usr/lib/cups/backend/cups-pdf", "/usr/lib/cups/filter/pdftops", "/usr/bin/pdftocairo" })
            if (!QFileInfo(QString::fromLatin1(tool)).isExecutable()) {
                Unavailable = QStringLiteral("%1 is missing: run scripts/install-deps.sh (cups, "
                                             "printer-driver-cups-pdf, poppler-utils)")
                                  .arg(QString::fromLatin1(tool));
                return nullptr;
            }
        if (!QFileInfo::exists(CupsPpd)) {
            Unavailable = CupsPpd + QStringLiteral(" is missing: run scripts/install-deps.sh");
            return nullptr;
        }
        if (::geteuid() != 0) {
            Unavailable = QStringLiteral("cups-pdf runs only as root and reads its queue's settings from "
                                         "/etc/cups; this test is not root");
            return nullptr;
        }
        if (!QFileInfo(QStringLiteral("/etc/cups")).isWritable()) {
            Unavailable
                = QStringLiteral("/etc/cups is not writable, so the queue's output folder cannot be set");
            return nullptr;
        }
        if (!::getgrnam("lp")) {
            Unavailable = QStringLiteral("no group lp, which cupsd runs its filters in");
            return nullptr;
        }
        std::unique_ptr<TCupsServer> server(new TCupsServer);
        server->Prepare();
        server->Launch();
        return server;
    }

    ~TCupsServer()
    {
        Stop();
        for (const QString& file : std::as_const(FQueueSettings))
            QFile::remove(file);
    }
    TCupsServer(const TCupsServer&) = delete;
    TCupsServer& operator=(const TCupsServer&) = delete;

    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(FPort); }
    QString Folder() const { return FFolder.path(); }
    QString OutputFolder(const QString& Queue) const
    {
        return FFolder.filePath(QStringLiteral("out/") + Queue);
    }

    // A cups-pdf queue writing into its own output folder; made the server's default when asked.
    void AddQueue(const QString& Queue, bool Default)
    {
        QDir().mkpath(OutputFolder(Queue));
        const QString settings = QStringLiteral("/etc/cups/cups-pdf-%1.conf").arg(Queue);
        FQueueSettings << settings;
        const QByteArray text = "Out " + QFile::encodeName(OutputFolder(Queue)) + "\n" + "AnonDirName "
            + QFile::encodeName(OutputFolder(Queue)) + "\n" + "Spool "
            + QFile::encodeName(FFolder.filePath(QStringLiteral("cups-pdf-spool"))) + "\n" + "Log "
            + QFile::encodeName(FFolder.filePath(QStringLiteral("log"))) + "\n" + "LogType 3\n"
            + "Grp root\n";
        if (!WriteText(settings, text))
            throw std::runtime_error(("cannot write " + settings).toStdString());
        // Poppler's Cairo renderer keeps the texts as texts on their way to PostScript, so that the
        // job's PDF can be read back; the other renderers turn them into unnamed glyph drawings.
        Admin({ QStringLiteral("-p"), Queue, QStringLiteral("-E"), QStringLiteral("-v"),
            QStringLiteral("cups-pdf:/") + Queue, QStringLiteral("-P"), CupsPpd, QStringLiteral("-o"),
            QStringLiteral("pdftops-renderer-default=pdftocairo") });
        if (Default)
            Admin({ QStringLiteral("-d"), Queue });
    }

    // What a process talking to this server gets: the server, and no settings of the user's.
    QProcessEnvironment ClientEnvironment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CUPS_SERVER"), Address());
        environment.insert(QStringLiteral("HOME"), FFolder.filePath(QStringLiteral("home")));
        environment.remove(QStringLiteral("PRINTER"));
        environment.remove(QStringLiteral("LPDEST"));
        return environment;
    }

    // Waits until the queue's output folder holds Count finished job files and the server has no
    // job left; their paths in name order.
    QStringList WaitForJobs(const QString& Queue, int Count)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < JobTimeoutMs) {
            const QStringList files
                = QDir(OutputFolder(Queue)).entryList({ QStringLiteral("*.pdf") }, QDir::Files, QDir::Name);
            if (files.size() >= Count && PendingJobs().isEmpty()) {
                QStringList paths;
                for (const QString& file : files)
                    paths << OutputFolder(Queue) + QLatin1Char('/') + file;
                return paths;
            }
            if (FServer->state() == QProcess::NotRunning)
                throw std::runtime_error(("cupsd stopped: " + LogTail()).toStdString());
            FServer->waitForFinished(250);
        }
        throw std::runtime_error(
            ("no job file after " + QString::number(JobTimeoutMs / 1000) + " s: " + PendingJobs() + LogTail())
                .toStdString());
    }

    QString LogTail() const
    {
        QFile log(FFolder.filePath(QStringLiteral("log/error_log")));
        if (!log.open(QIODevice::ReadOnly))
            return QString();
        QString tail;
        for (const QByteArray& line : log.readAll().split('\n'))
            if (line.startsWith("E ") || line.startsWith("W "))
                tail += QString::fromLocal8Bit(line) + QLatin1Char('\n');
        return tail.right(4000);
    }

private:
    TCupsServer() = default;

    // Every folder the server writes lives here. Its filters run as lp, which must reach the spool
    // and the temporary folder, so the top folder is open to look through.
    void Prepare()
    {
        if (!FFolder.isValid())
            throw std::runtime_error("cannot create a temporary folder for the print server");
        QFile::setPermissions(FFolder.path(),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther);
        for (const char* sub :
            { "etc", "spool", "tmp", "cache", "state", "log", "out", "home", "cups-pdf-spool" })
            QDir(FFolder.path()).mkpath(QString::fromLatin1(sub));
        const QByteArray tmp = QFile::encodeName(FFolder.filePath(QStringLiteral("tmp")));
        if (const group* lp = ::getgrnam("lp"))
            (void)::chown(tmp.constData(), 0, lp->gr_gid);
        ::chmod(tmp.constData(), 01770);
    }

    QByteArray Files() const
    {
        const QByteArray root = QFile::encodeName(FFolder.path());
        return "ServerRoot " + root + "/etc\n" + "RequestRoot " + root + "/spool\n" + "TempDir " + root
            + "/tmp\n" + "CacheDir " + root + "/cache\n" + "StateDir " + root + "/state\n" + "AccessLog "
            + root + "/log/access_log\n" + "ErrorLog " + root + "/log/error_log\n" + "PageLog " + root
            + "/log/page_log\n" + "FileDevice No\n" + "Sandboxing Relaxed\n";
    }

    // Loopback only, no browsing, no web pages, and nothing asks for a password: the test's client
    // is the only one.
    QByteArray Settings() const
    {
        return "Listen 127.0.0.1:" + QByteArray::number(FPort) + "\n"
            + "LogLevel info\nWebInterface No\nBrowsing No\nBrowseLocalProtocols none\n"
              "DefaultAuthType None\nDefaultPolicy open\nMaxJobs 100\nPreserveJobFiles No\n"
              "<Location />\n  Order allow,deny\n  Allow from 127.0.0.1\n</Location>\n"
              "<Policy open>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
    }

    void Launch()
    {
        QString failure;
        // A port picked as free may be taken before the server binds it: try a few.
        for (int attempt = 0; attempt < 3; ++attempt) {
            FPort = FreeLoopbackPort();
            if (FPort <= 0)
                throw std::runtime_error("no free loopback port");
            if (!WriteText(FFolder.filePath(QStringLiteral("etc/cupsd.conf")), Settings())
                || !WriteText(FFolder.filePath(QStringLiteral("etc/cups-files.conf")), Files()))
                throw std::runtime_error("cannot write the print server's settings");
            if (TryLaunch(failure))
                return;
            Stop();
        }
        throw std::runtime_error(("cupsd did not start: " + failure).toStdString());
    }

    bool TryLaunch(QString& failure)
    {
        FServer = std::make_unique<QProcess>();
        FServer->setProcessChannelMode(QProcess::MergedChannels);
        FServer->setStandardOutputFile(FFolder.filePath(QStringLiteral("log/cupsd.out")), QIODevice::Append);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));
        FServer->setProcessEnvironment(environment);
        const pid_t parent = ::getpid();
        FServer->setChildProcessModifier([parent] {
            // The server goes with this process, even when a crash skips every destructor.
            if (::prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || ::getppid() != parent)
                ::_exit(125);
        });
        FServer->start(QStringLiteral("/usr/sbin/cupsd"),
            { QStringLiteral("-f"), QStringLiteral("-c"), FFolder.filePath(QStringLiteral("etc/cupsd.conf")),
                QStringLiteral("-s"), FFolder.filePath(QStringLiteral("etc/cups-files.conf")) });
        if (!FServer->waitForStarted(CommandTimeoutMs)) {
            failure = FServer->errorString();
            return false;
        }
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < StartTimeoutMs) {
            if (FServer->state() == QProcess::NotRunning) {
                QFile out(FFolder.filePath(QStringLiteral("log/cupsd.out")));
                out.open(QIODevice::ReadOnly);
                failure = QString::fromLocal8Bit(out.readAll()) + LogTail();
                return false;
            }
            if (AcceptsConnections(FPort))
                return true;
            FServer->waitForFinished(100);
        }
        failure = QStringLiteral("not listening after %1 s\n").arg(StartTimeoutMs / 1000) + LogTail();
        return false;
    }

    void Stop()
    {
        if (!FServer)
            return;
        if (FServer->state() != QProcess::NotRunning) {
            FServer->terminate();
            if (!FServer->waitForFinished(StartTimeoutMs)) {
                FServer->kill();
                FServer->waitForFinished(5000);
            }
        }
        FServer.reset();
    }

    QString RunClient(const QString& tool, const QStringList& arguments, int* exitCode) const
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment environment = ClientEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));
        process.setProcessEnvironment(environment);
        process.start(tool, arguments);
        const bool finished
            = process.waitForStarted(CommandTimeoutMs) && process.waitForFinished(CommandTimeoutMs);
        if (!finished) {
            process.kill();
            process.waitForFinished(5000);
        }
        *exitCode = finished && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        return QString::fromLocal8Bit(process.readAll());
    }

    void Admin(const QStringList& arguments) const
    {
        int code = -1;
        const QString output = RunClient(QStringLiteral("/usr/sbin/lpadmin"),
            QStringList { QStringLiteral("-h"), Address() } + arguments, &code);
        if (code != 0)
            throw std::runtime_error(
                ("lpadmin " + arguments.join(u' ') + ": " + output + LogTail()).toStdString());
    }

    // The server's unfinished jobs, one line each; empty when there are none.
    QString PendingJobs() const
    {
        int code = -1;
        const QString output = RunClient(QStringLiteral("/usr/bin/lpstat"),
            { QStringLiteral("-h"), Address(), QStringLiteral("-W"), QStringLiteral("not-completed"),
                QStringLiteral("-o") },
            &code);
        return code == 0 ? output.trimmed() : QStringLiteral("lpstat failed: ") + output;
    }

    QTemporaryDir FFolder;
    int FPort = -1;
    std::unique_ptr<QProcess> FServer;
    QStringList FQueueSettings;
};

QString QueueName(const char* role)
{
    return QStringLiteral("QbInventario%1%2")
        .arg(QString::fromLatin1(role))
        .arg(QRandomGenerator::system()->generate() % 1000000, 6, 10, QLatin1Char('0'));
}

QString ProgramPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../app/inventario");
}

TProgramRun RunProgram(const QStringList& arguments, const QProcessEnvironment& environment)
{
    TProgramRun run;
    QProcess process;
    QProcessEnvironment env = environment;
    env.insert(QStringLiteral("LANG"), QStringLiteral("pt_BR.UTF-8"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("pt_BR.UTF-8"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.start(ProgramPath(), arguments);
    if (!process.waitForStarted(CommandTimeoutMs) || !process.waitForFinished(JobTimeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        run.Errors = QStringLiteral("the program did not finish");
        return run;
    }
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// Poppler's view of a PDF: its page count and its text, page by page.
struct TPdfFacts
{
    int Pages = -1;
    QStringList PageTexts;
};

TPdfFacts ReadPdf(const QString& fileName)
{
    TPdfFacts facts;
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), { fileName });
    if (info.waitForFinished(CommandTimeoutMs) && info.exitCode() == 0) {
        const QRegularExpression pages(
            QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption);
        const QRegularExpressionMatch match = pages.match(QString::fromUtf8(info.readAllStandardOutput()));
        if (match.hasMatch())
            facts.Pages = match.captured(1).toInt();
    }
    QProcess text;
    text.start(QStringLiteral("pdftotext"), { QStringLiteral("-layout"), fileName, QStringLiteral("-") });
    if (text.waitForFinished(CommandTimeoutMs) && text.exitCode() == 0) {
        facts.PageTexts = QString::fromUtf8(text.readAllStandardOutput()).split(u'\f');
        if (!facts.PageTexts.isEmpty() && facts.PageTexts.last().trimmed().isEmpty())
            facts.PageTexts.removeLast();
    }
    return facts;
}

class CupsPrint : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Data = new QTemporaryDir;
        // Products 1..250 at cost i + 0.5, 17%: three pages, the summary on the last.
        Database
            = CreateInventoryDatabase(Data->path(), QStringLiteral("loja.db"), SimpleProducts(ProductCount));
        // The same report saved as a PDF by the program: how many pages a print must have.
        Expected = new TPdfFacts(ReadExport());
        try {
            QElapsedTimer clock;
            clock.start();
            Server = TCupsServer::Start(Unavailable).release();
            if (Server)
                StartSeconds = clock.elapsed() / 1000.0;
        } catch (const std::exception& error) {
            StartFailure = QString::fromLocal8Bit(error.what());
        }
    }
    static void TearDownTestSuite()
    {
        delete Server;
        Server = nullptr;
        delete Expected;
        Expected = nullptr;
        delete Data;
        Data = nullptr;
    }

    static TPdfFacts ReadExport()
    {
        const QString file = Data->filePath(QStringLiteral("referencia.pdf"));
        const TProgramRun run = RunProgram({ QStringLiteral("--export"), file, QStringLiteral("--database"),
                                               Database, QStringLiteral("--date"), ReportDate },
            QProcessEnvironment::systemEnvironment());
        if (run.ExitCode != 0)
            return {};
        return ReadPdf(file);
    }

    static QStringList BaseArguments()
    {
        return { QStringLiteral("--print"), QStringLiteral("--database"), Database, QStringLiteral("--date"),
            ReportDate };
    }

    static constexpr int ProductCount = 250;
    static inline const QString ReportDate = QStringLiteral("31/12/2024");
    static QTemporaryDir* Data;
    static QString Database;
    static TPdfFacts* Expected;
    static TCupsServer* Server;
    static QString Unavailable;
    static QString StartFailure;
    static double StartSeconds;
};

QTemporaryDir* CupsPrint::Data = nullptr;
QString CupsPrint::Database;
TPdfFacts* CupsPrint::Expected = nullptr;
TCupsServer* CupsPrint::Server = nullptr;
QString CupsPrint::Unavailable;
QString CupsPrint::StartFailure;
double CupsPrint::StartSeconds = 0;

#define REQUIRE_SERVER()                                                                                     \
    do {                                                                                                     \
        ASSERT_TRUE(StartFailure.isEmpty()) << StartFailure.toStdString();                                   \
        if (!Server)                                                                                         \
            SKIP_OR_FAIL_UNAVAILABLE(Unavailable);                                                           \
        ASSERT_GE(Expected->Pages, 3) << "the reference export has too few pages";                           \
    } while (false)

TEST_F(CupsPrint, TheReportPrintedOnANamedQueueArrivesWholeAsItsJob)
{
    REQUIRE_SERVER();
    std::cout << "[ cupsd    ] listening after " << StartSeconds << " s" << std::endl;
    const QString queue = QueueName("Balcao");
    Server->AddQueue(queue, false);
    QElapsedTimer clock;
    clock.start();
    const TProgramRun run
        = RunProgram(BaseArguments() << QStringLiteral("--printer") << queue, Server->ClientEnvironment());
    ASSERT_EQ(run.ExitCode, 0) << run.Errors.toStdString();
    const QStringList jobs = Server->WaitForJobs(queue, 1);
    std::cout << "[ cupsd    ] printed and converted in " << clock.elapsed() / 1000.0 << " s" << std::endl;
    ASSERT_EQ(jobs.size(), 1);

    const TPdfFacts job = ReadPdf(jobs.first());
    ASSERT_EQ(job.Pages, Expected->Pages);
    ASSERT_EQ(job.PageTexts.size(), job.Pages) << "poppler read no text from the job";
    for (int page = 0; page < job.Pages; ++page) {
        const QString& text = job.PageTexts.at(page);
        EXPECT_TRUE(text.contains(QStringLiteral("Página:"))) << "page " << page + 1;
        EXPECT_TRUE(text.contains(QStringLiteral("Inventário por Preço de Custo"))) << "page " << page + 1;
        EXPECT_TRUE(text.contains(ReportDate)) << "page " << page + 1;
    }
    EXPECT_TRUE(job.PageTexts.first().contains(QStringLiteral("Produto 0001")));
    // The summary: every product is taxed at 17%, and the total is the sum of the costs.
    double total = 0;
    for (int i = 1; i <= ProductCount; ++i)
        total += i + 0.5;
    const QString last = job.PageTexts.last();
    EXPECT_TRUE(last.contains(QStringLiteral("TRIBUTAÇÃO 17%"))) << last.toStdString();
    EXPECT_TRUE(last.contains(QStringLiteral("TOTAL - GERAL"))) << last.toStdString();
    EXPECT_TRUE(last.contains(Money(total))) << Money(total).toStdString() << "\n" << last.toStdString();
    EXPECT_TRUE(last.contains(QStringLiteral("Produto %1").arg(ProductCount, 4, 10, QLatin1Char('0'))));
}

TEST_F(CupsPrint, TheDefaultPrinterTakesARangeOfPagesInSeveralCopies)
{
    REQUIRE_SERVER();
    const QString queue = QueueName("Padrao");
    Server->AddQueue(queue, true);
    const TProgramRun run = RunProgram(BaseArguments() << QStringLiteral("--pages") << QStringLiteral("2-3")
                                                       << QStringLiteral("--copies") << QStringLiteral("2"),
        Server->ClientEnvironment());
    ASSERT_EQ(run.ExitCode, 0) << run.Errors.toStdString();
    const QStringList jobs = Server->WaitForJobs(queue, 1);
    ASSERT_EQ(jobs.size(), 1);
    const TPdfFacts job = ReadPdf(jobs.first());
    // Two copies of the second and third pages, collated by the print server. The numbers they
    // carry are the report's own (it counts from its FirstPageNumber), as the saved PDF shows them.
    ASSERT_EQ(job.Pages, 4);
    ASSERT_EQ(job.PageTexts.size(), 4);
    ASSERT_GE(Expected->PageTexts.size(), 3);
    const QRegularExpression pageNumber(QStringLiteral("Página:\\s+(\\d+)"));
    auto numberOf = [&](const QString& text) { return pageNumber.match(text).captured(1); };
    const QString second = numberOf(Expected->PageTexts.at(1));
    const QString third = numberOf(Expected->PageTexts.at(2));
    ASSERT_FALSE(second.isEmpty());
    ASSERT_NE(second, third);
    QStringList numbers;
    for (const QString& text : job.PageTexts)
        numbers << numberOf(text);
    EXPECT_EQ(numbers, QStringList({ second, third, second, third }));
}

TEST_F(CupsPrint, AQueueThatIsNotThereIsRefusedBeforeAnythingPrints)
{
    REQUIRE_SERVER();
    const QString queue = QueueName("Loja");
    Server->AddQueue(queue, false);
    const TProgramRun run
        = RunProgram(BaseArguments() << QStringLiteral("--printer") << QStringLiteral("NaoExiste"),
            Server->ClientEnvironment());
    EXPECT_EQ(run.ExitCode, 5);
    EXPECT_TRUE(run.Errors.contains(QStringLiteral("Nenhuma impressora encontrada: NaoExiste")))
        << run.Errors.toStdString();
    EXPECT_TRUE(run.Errors.contains(queue)) << "the message lists the printers there are";
    QThread::msleep(500);
    EXPECT_TRUE(QDir(Server->OutputFolder(queue)).entryList(QDir::Files).isEmpty());
}

// Without a print server at all (nothing listens where CUPS_SERVER points) there is no printer: the
// program says so and gives the output failure's code. This needs no cupsd and runs everywhere.
TEST_F(CupsPrint, NoPrinterAtAllIsNenhumaImpressoraEncontradaAndExitFive)
{
    const int port = FreeLoopbackPort();
    ASSERT_GT(port, 0);
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CUPS_SERVER"), QStringLiteral("127.0.0.1:%1").arg(port));
    environment.insert(QStringLiteral("HOME"), home.path());
    const TProgramRun run = RunProgram(BaseArguments(), environment);
    EXPECT_EQ(run.ExitCode, 5) << run.Errors.toStdString();
    EXPECT_TRUE(run.Errors.contains(QStringLiteral("Nenhuma impressora encontrada")))
        << run.Errors.toStdString();
}

} // namespace
