// Faults injected into the program's --export, for every format: a full disk (a small tmpfs mounted
// for the test), the file-size limit, read-only, closed and missing folders, SIGTERM and SIGINT while
// the report is prepared and while the file is written, and SIGKILL. Each run checks the exit code,
// the message, that the old target is byte for byte what it was, and that the temporary folder and
// the target's folder hold nothing new.
#include "app/CommandLine.h"

#include "platform/DemoDatabase.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray OldContent("the old target, which no failed run may touch\n");
const char* const Formats[] = { "pgx", "pdf", "xls" };

QString Program()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../app/inventario");
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

QByteArray Content(const QString& fileName)
{
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// A tmpfs mounted on a fresh folder while alive; Mounted() is false where this process may not mount.
class TSmallDisk
{
public:
    explicit TSmallDisk(const QString& options)
    {
        FPoint = QFile::encodeName(FFolder.path());
        FMounted = FFolder.isValid()
            && ::mount("tmpfs", FPoint.constData(), "tmpfs", 0, options.toLatin1().constData()) == 0;
    }
    ~TSmallDisk()
    {
        if (FMounted)
            ::umount2(FPoint.constData(), MNT_DETACH);
    }
    bool Mounted() const { return FMounted; }
    QString Path() const { return FFolder.path(); }
    bool MakeReadOnly()
    {
        return ::mount("tmpfs", FPoint.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    QTemporaryDir FFolder;
    QByteArray FPoint;
    bool FMounted = false;
};

// Where the child stands, from the files it holds open: the swap file lies in the temporary folder,
// the output being written in the target's folder (both without a name, "(deleted)").
enum TPhase { phStarting, phPreparing, phWriting };

TPhase PhaseOf(qint64 pid, const QString& tempFolder, const QString& targetFolder)
{
    TPhase phase = phStarting;
    QDirIterator fds(
        QStringLiteral("/proc/%1/fd").arg(pid), QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    while (fds.hasNext()) {
        const QString link = QFileInfo(fds.next()).symLinkTarget();
        if (link.startsWith(targetFolder + QLatin1Char('/')) && link.endsWith(QLatin1String("(deleted)")))
            return phWriting;
        if (link.startsWith(tempFolder + QLatin1Char('/')))
            phase = phPreparing;
    }
    return phase;
}

struct TRun
{
    int ExitCode = -1;
    QProcess::ExitStatus Status = QProcess::NormalExit;
    QString Errors;
    bool SawPhase = true;
};

class ExportFaultTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        Database = std::make_unique<QTemporaryDir>();
        DatabaseFile = Database->filePath(QStringLiteral("demo.db"));
        // Enough products for preparation and writing to last long enough to be caught at.
        CreateDemoDatabase(DatabaseFile, 8000);
        // Readable by the unprivileged user one test runs the program as.
        ::chmod(QFile::encodeName(Database->path()).constData(), 0755);
        ::chmod(QFile::encodeName(DatabaseFile).constData(), 0644);
    }
    static void TearDownTestSuite() { Database.reset(); }

    void SetUp() override
    {
        if (!QFileInfo(Program()).isExecutable())
            GTEST_SKIP() << "program not built beside the tests";
        ASSERT_TRUE(Temp.isValid() && Target.isValid());
        TempFolder = QDir(Temp.path()).canonicalPath();
        TargetFolder = QDir(Target.path()).canonicalPath();
    }

    // Runs the export to fileName. With a phase, waits until the child reaches it, stops it there
    // and sends the signal.
    TRun Run(const QString& fileName, const std::function<void()>& childSetup = {}, TPhase phase = phStarting,
        int signal = 0, const QString& tempFolder = QString(), const std::function<void(pid_t)>& atPhase = {},
        int attempt = 1)
    {
        const QString temp = tempFolder.isEmpty() ? TempFolder : tempFolder;
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TMPDIR"), temp);
        environment.insert(QStringLiteral("LANG"), QStringLiteral("pt_BR.UTF-8"));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("pt_BR.UTF-8"));
        for (const QString& name : ExtraEnvironment.keys())
            environment.insert(name, ExtraEnvironment.value(name));
        // A PDF or .xls export writes its file while it prepares, so it has both files open from the
        // start: a preparation without the output open, or a file-size limit that must fall on the
        // output rather than the swap file, exist only in the export that writes after preparing.
        // A signal while writing is sent to the pipelined export as it comes.
        if (phase == phPreparing || atPhase)
            environment.insert(QStringLiteral("QB_EXPORT_SEQUENTIAL"), QStringLiteral("1"));
        process.setProcessEnvironment(environment);
        if (childSetup)
            process.setChildProcessModifier(childSetup);
        process.start(
            Program(), { QStringLiteral("--export"), fileName, QStringLiteral("--database"), DatabaseFile });
        EXPECT_TRUE(process.waitForStarted());
        TRun run;
        if (signal != 0 || atPhase) {
            const qint64 pid = process.processId();
            const QString targetFolder = QFileInfo(fileName).absolutePath();
            run.SawPhase = false;
            while (process.state() == QProcess::Running) {
                const TPhase now = PhaseOf(pid, temp, targetFolder);
                if (now == phase || (phase == phPreparing && now == phWriting)) {
                    // Frozen where it stands, so the signal lands in that phase.
                    ::kill(pid_t(pid), SIGSTOP);
                    run.SawPhase = PhaseOf(pid, temp, targetFolder) == phase;
                    if (atPhase)
                        atPhase(pid_t(pid));
                    if (signal != 0)
                        ::kill(pid_t(pid), signal);
                    ::kill(pid_t(pid), SIGCONT);
                    break;
                }
                process.waitForFinished(1);
            }
        }
        // A run quicker than the look for its phase has already ended (and been reaped) here.
        if (process.state() != QProcess::NotRunning) {
            EXPECT_TRUE(process.waitForFinished(180000));
        }
        run.ExitCode = process.exitCode();
        run.Status = process.exitStatus();
        run.Errors = QString::fromUtf8(process.readAllStandardError());
        // A signal (or a limit) that reaches the writer after its last look, in the instant before the
        // rename, is too late by design: the file is complete and in place. On a busy machine the
        // child may also have left the phase between the look and the stop. Such a run proves
        // nothing, so it is done again from the old target (a few times at most).
        if ((signal != 0 || atPhase) && phase == phWriting && run.Status == QProcess::NormalExit
            && run.ExitCode == 0)
            run.SawPhase = false;
        if (!run.SawPhase && attempt < 3) {
            QFile::remove(fileName);
            QFile old(fileName);
            if (old.open(QIODevice::WriteOnly))
                old.write(OldContent);
            old.close();
            return Run(fileName, childSetup, phase, signal, tempFolder, atPhase, attempt + 1);
        }
        return run;
    }

    QString OldTarget(const QString& folder, const char* format)
    {
        const QString name = folder + QStringLiteral("/estoque.") + QLatin1String(format);
        QFile file(name);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << name.toStdString();
        file.write(OldContent);
        return name;
    }

    // Nothing of the run stays behind: the old target whole, nothing beside it, nothing in TMPDIR.
    void ExpectNothingLeft(const QString& target, const QString& tempFolder = QString())
    {
        EXPECT_EQ(Content(target), OldContent) << target.toStdString();
        EXPECT_EQ(Entries(QFileInfo(target).absolutePath()), QStringList { QFileInfo(target).fileName() });
        EXPECT_EQ(Entries(tempFolder.isEmpty() ? TempFolder : tempFolder), QStringList());
        QFile::remove(target); // the next case starts from an empty folder
    }

    static inline std::unique_ptr<QTemporaryDir> Database;
    static inline QString DatabaseFile;
    QProcessEnvironment ExtraEnvironment;
    QTemporaryDir Temp;
    QTemporaryDir Target;
    QString TempFolder;
    QString TargetFolder;
};

TEST_F(ExportFaultTest, ACompleteRunLeavesOnlyItsFile)
{
    for (const char* format : Formats) {
        const QString target = OldTarget(TargetFolder, format);
        const TRun run = Run(target);
        EXPECT_EQ(run.ExitCode, ecWritten) << format << ": " << run.Errors.toStdString();
        EXPECT_NE(Content(target), OldContent) << format;
        EXPECT_EQ(Entries(TempFolder), QStringList()) << format;
        QFile::remove(target);
        EXPECT_EQ(Entries(TargetFolder), QStringList()) << format;
    }
}

TEST_F(ExportFaultTest, SigtermSigintAndSighupStopTheRunWithTheirCodes)
{
    struct TSignal
    {
        int Number;
        const char* Name;
        int ExitCode;
    };
    for (const TSignal& signal : { TSignal { SIGTERM, "SIGTERM", 143 }, TSignal { SIGINT, "SIGINT", 130 },
             TSignal { SIGHUP, "SIGHUP", 129 } })
        for (TPhase phase : { phPreparing, phWriting })
            for (const char* format : Formats) {
                const std::string label = std::string(signal.Name)
                    + (phase == phPreparing ? " preparing " : " writing ") + format;
                const QString target = OldTarget(TargetFolder, format);
                const TRun run = Run(target, {}, phase, signal.Number);
                EXPECT_TRUE(run.SawPhase) << label;
                EXPECT_EQ(run.Status, QProcess::NormalExit) << label;
                EXPECT_EQ(run.ExitCode, signal.ExitCode) << label << ": " << run.Errors.toStdString();
                EXPECT_TRUE(run.Errors.contains(QStringLiteral("Interrompido por %1: \"%2\" não foi gravado")
                                                    .arg(QLatin1String(signal.Name), target)))
                    << label << ": " << run.Errors.toStdString();
                ExpectNothingLeft(target);
            }
}

TEST_F(ExportFaultTest, SigkillLeavesNothingBehind)
{
    for (TPhase phase : { phPreparing, phWriting })
        for (const char* format : Formats) {
            const std::string label = std::string(phase == phPreparing ? "preparing " : "writing ") + format;
            const QString target = OldTarget(TargetFolder, format);
            const TRun run = Run(target, {}, phase, SIGKILL);
            EXPECT_TRUE(run.SawPhase) << label;
            EXPECT_EQ(run.Status, QProcess::CrashExit) << label;
            ExpectNothingLeft(target);
        }
}

TEST_F(ExportFaultTest, TheFileSizeLimitFailsTheWriteWithItsCause)
{
    for (const char* format : Formats) {
        const QString complete = TargetFolder + QStringLiteral("/complete.") + QLatin1String(format);
        ASSERT_EQ(Run(complete).ExitCode, ecWritten) << format;
        const rlim_t half = rlim_t(QFileInfo(complete).size() / 2);
        QFile::remove(complete);

        // Lowered once the output is being written (the swap file may be larger than the output),
        // so the limit falls in the middle of the file.
        const QString target = OldTarget(TargetFolder, format);
        const TRun run = Run(target, {}, phWriting, 0, QString(), [half](pid_t pid) {
            const rlimit bound { half, half };
            ASSERT_EQ(::prlimit(pid, RLIMIT_FSIZE, &bound, nullptr), 0);
        });
        EXPECT_TRUE(run.SawPhase) << format;
        EXPECT_EQ(run.Status, QProcess::NormalExit) << format; // SIGXFSZ does not end it
        EXPECT_EQ(run.ExitCode, ecOutput) << format << ": " << run.Errors.toStdString();
        EXPECT_TRUE(run.Errors.contains(QStringLiteral("Arquivo muito grande")))
            << format << ": " << run.Errors.toStdString();
        EXPECT_TRUE(run.Errors.contains(target)) << format << ": " << run.Errors.toStdString();
        ExpectNothingLeft(target);
    }
}

TEST_F(ExportFaultTest, TheFileSizeLimitSetBeforeTheStartFailsThePageStoreFile)
{
    // Set in the child before it starts, one byte short of the complete file: the swap file, which
    // holds the same records without the header, fits; the page store file does not.
    const QString complete = TargetFolder + QStringLiteral("/complete.pgx");
    ASSERT_EQ(Run(complete).ExitCode, ecWritten);
    const rlim_t limit = rlim_t(QFileInfo(complete).size() - 1);
    QFile::remove(complete);
    const QString target = OldTarget(TargetFolder, "pgx");
    const TRun run = Run(target, [limit] {
        const rlimit bound { limit, limit };
        ::setrlimit(RLIMIT_FSIZE, &bound);
    });
    EXPECT_EQ(run.Status, QProcess::NormalExit);
    EXPECT_EQ(run.ExitCode, ecOutput) << run.Errors.toStdString();
    EXPECT_TRUE(run.Errors.contains(
        QStringLiteral("Não foi possível gravar o arquivo \"%1\": Arquivo muito grande").arg(target)))
        << run.Errors.toStdString();
    ExpectNothingLeft(target);
}

TEST_F(ExportFaultTest, TheFileSizeLimitOnTheSwapFileStopsThePreparation)
{
    for (const char* format : Formats) {
        const QString target = OldTarget(TargetFolder, format);
        const TRun run = Run(target, [] {
            const rlimit bound { 64 * 1024, 64 * 1024 };
            ::setrlimit(RLIMIT_FSIZE, &bound);
        });
        EXPECT_EQ(run.Status, QProcess::NormalExit) << format;
        EXPECT_EQ(run.ExitCode, ecPreparation) << format << ": " << run.Errors.toStdString();
        EXPECT_TRUE(run.Errors.contains(
            QStringLiteral("Não foi possível gravar o arquivo temporário em \"%1\": Arquivo muito grande")
                .arg(TempFolder)))
            << format << ": " << run.Errors.toStdString();
        ExpectNothingLeft(target);
    }
}

TEST_F(ExportFaultTest, AFullDiskFailsTheWriteWithItsCause)
{
    TSmallDisk disk(QStringLiteral("size=256k"));
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here (not root)";
    const QString folder = QDir(disk.Path()).canonicalPath();
    for (const char* format : Formats) {
        const QString target = OldTarget(folder, format);
        const TRun run = Run(target);
        EXPECT_EQ(run.ExitCode, ecOutput) << format << ": " << run.Errors.toStdString();
        EXPECT_TRUE(run.Errors.contains(QStringLiteral("Não há espaço no disco")))
            << format << ": " << run.Errors.toStdString();
        EXPECT_TRUE(run.Errors.contains(target)) << format << ": " << run.Errors.toStdString();
        ExpectNothingLeft(target);
    }
}

TEST_F(ExportFaultTest, AFullTemporaryFolderStopsThePreparationNamingIt)
{
    TSmallDisk disk(QStringLiteral("size=256k"));
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here (not root)";
    const QString temp = QDir(disk.Path()).canonicalPath();
    for (const char* format : Formats) {
        const QString target = OldTarget(TargetFolder, format);
        const TRun run = Run(target, {}, phStarting, 0, temp);
        EXPECT_EQ(run.ExitCode, ecPreparation) << format << ": " << run.Errors.toStdString();
        EXPECT_TRUE(run.Errors.contains(
            QStringLiteral("Não foi possível gravar o arquivo temporário em \"%1\": Não há espaço no disco")
                .arg(temp)))
            << format << ": " << run.Errors.toStdString();
        ExpectNothingLeft(target, temp);
    }
}

TEST_F(ExportFaultTest, AReadOnlyFolderIsReportedBeforePreparation)
{
    TSmallDisk disk(QStringLiteral("size=1m"));
    if (!disk.Mounted())
        GTEST_SKIP() << "cannot mount a tmpfs here (not root)";
    const QString folder = QDir(disk.Path()).canonicalPath();
    QStringList targets;
    for (const char* format : Formats)
        targets << OldTarget(folder, format);
    ASSERT_TRUE(disk.MakeReadOnly());
    for (const QString& target : std::as_const(targets)) {
        const TRun run = Run(target);
        EXPECT_EQ(run.ExitCode, ecOutput) << run.Errors.toStdString();
        // The words of the check made before preparing, not those of the writer at the end.
        EXPECT_TRUE(run.Errors.contains(QStringLiteral(
            "Não é possível gravar \"%1\" na pasta \"%2\": Sistema de arquivos somente leitura")
                                            .arg(target, folder)))
            << run.Errors.toStdString();
        EXPECT_EQ(Content(target), OldContent);
        EXPECT_EQ(Entries(TempFolder), QStringList());
    }
    EXPECT_EQ(Entries(folder).size(), 3);
}

TEST_F(ExportFaultTest, AFolderClosedToTheUserIsReportedBeforePreparation)
{
    // Root may write anywhere; the child runs as nobody to meet the permission check.
    const bool asRoot = ::getuid() == 0;
    ::chmod(QFile::encodeName(TempFolder).constData(), 0777);
    QStringList targets;
    for (const char* format : Formats)
        targets << OldTarget(TargetFolder, format);
    ::chmod(QFile::encodeName(TargetFolder).constData(), 0555);
    // Qt makes its own runtime folder in TMPDIR for a user whose XDG_RUNTIME_DIR is not theirs.
    QTemporaryDir runtime;
    if (asRoot) {
        ASSERT_EQ(::chown(QFile::encodeName(runtime.path()).constData(), 65534, 65534), 0);
        ExtraEnvironment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    }
    for (const QString& target : std::as_const(targets)) {
        const TRun run = Run(target, [asRoot] {
            if (asRoot && (::setgid(65534) != 0 || ::setuid(65534) != 0))
                ::_exit(99);
        });
        EXPECT_EQ(run.ExitCode, ecOutput) << run.Errors.toStdString();
        EXPECT_TRUE(run.Errors.contains(
            QStringLiteral("Não é possível gravar \"%1\" na pasta \"%2\": Permissão negada")
                .arg(target, TargetFolder)))
            << run.Errors.toStdString();
        EXPECT_EQ(Content(target), OldContent);
    }
    EXPECT_EQ(Entries(TargetFolder).size(), 3);
    EXPECT_EQ(Entries(TempFolder), QStringList());
    ::chmod(QFile::encodeName(TargetFolder).constData(), 0700);
}

TEST_F(ExportFaultTest, AMissingFolderIsReportedBeforePreparation)
{
    for (const char* format : Formats) {
        const QString folder = TargetFolder + QStringLiteral("/missing/sub");
        const QString target = folder + QStringLiteral("/estoque.") + QLatin1String(format);
        const TRun run = Run(target);
        EXPECT_EQ(run.ExitCode, ecOutput) << format;
        EXPECT_TRUE(run.Errors.contains(
            QStringLiteral("Não é possível gravar \"%1\" na pasta \"%2\": Pasta não encontrada")
                .arg(target, folder)))
            << format << ": " << run.Errors.toStdString();
        EXPECT_EQ(Entries(TargetFolder), QStringList());
        EXPECT_EQ(Entries(TempFolder), QStringList());
    }
}

TEST_F(ExportFaultTest, AMissingTmpDirFallsBackToTmpWithANotice)
{
    const QString missing = TempFolder + QStringLiteral("/not-there");
    const QString target = TargetFolder + QStringLiteral("/estoque.pgx");
    QTemporaryDir current;
    ASSERT_TRUE(current.isValid());
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), missing);
    environment.insert(QStringLiteral("LANG"), QStringLiteral("pt_BR.UTF-8"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("pt_BR.UTF-8"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(current.path());
    process.start(
        Program(), { QStringLiteral("--export"), target, QStringLiteral("--database"), DatabaseFile });
    ASSERT_TRUE(process.waitForFinished(180000));
    const QString errors = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), ecWritten) << errors.toStdString();
    EXPECT_TRUE(errors.contains(
        QStringLiteral("A pasta temporária \"%1\" não pode ser usada (Pasta não encontrada); usando \"/tmp\"")
            .arg(missing)))
        << errors.toStdString();
    EXPECT_TRUE(QFileInfo(target).size() > 0);
    EXPECT_EQ(Entries(current.path()), QStringList()); // never the current folder
    EXPECT_FALSE(QFileInfo::exists(missing));
}

} // namespace
