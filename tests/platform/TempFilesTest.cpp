#include "platform/TempFiles.h"

#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <vector>

namespace {

// --- temporary files ----------------------------------------------------------------------------

// Points the temporary directory at a fresh folder for one test and puts the old one back.
class TempFilesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FFolder.isValid());
        FSaved = TempDir();
        SetTempDir(FFolder.path());
        DeleteRegisteredTempFiles();
    }
    void TearDown() override
    {
        DeleteRegisteredTempFiles();
        SetTempDir(FSaved);
    }
    QString Folder() const { return FFolder.path(); }
    QString Touch(const QString& name, const QByteArray& content = "x") const
    {
        const QString path = Folder() + QLatin1Char('/') + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

private:
    QTemporaryDir FFolder;
    QString FSaved;
};

const QRegularExpression& TempNamePattern()
{
    static const QRegularExpression pattern(QStringLiteral("^~qb(0|[1-9][0-9]*)\\.tmp$"));
    return pattern;
}

void ExpectTempName(const QString& path, const QString& folder)
{
    const QFileInfo info(path);
    EXPECT_EQ(info.path(), folder) << path.toStdString();
    const QRegularExpressionMatch match = TempNamePattern().match(info.fileName());
    ASSERT_TRUE(match.hasMatch()) << path.toStdString();
    bool ok = false;
    const qint64 number = match.captured(1).toLongLong(&ok);
    EXPECT_TRUE(ok);
    EXPECT_LE(number, 2147483646);
}

TEST_F(TempFilesTest, NewTempFileNameHasTheFormAndCreatesNothing)
{
    QSet<QString> names;
    for (int i = 0; i < 50; ++i) {
        const QString name = NewTempFileName();
        ExpectTempName(name, Folder());
        EXPECT_FALSE(QFileInfo::exists(name));
        names.insert(name);
    }
    EXPECT_GT(names.size(), 45); // drawn at random, not counted up from a fixed seed
    EXPECT_TRUE(QDir(Folder()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(TempFilesTest, NewTempFileNameJoinsTheDirectoryWithOneDelimiter)
{
    SetTempDir(Folder() + QLatin1Char('/'));
    ExpectTempName(NewTempFileName(), Folder());
    SetTempDir(QString());
    EXPECT_TRUE(TempNamePattern().match(NewTempFileName()).hasMatch());
}

TEST_F(TempFilesTest, ExitRoutineDeletesEveryFileStillRegistered)
{
    const QString kept = Touch(QStringLiteral("kept.tmp"));
    const QString first = Touch(QStringLiteral("first.tmp"));
    const QString second = Touch(QStringLiteral("second.tmp"));
    const QString missing = Folder() + QStringLiteral("/never-created.tmp");
    RegisterTempFile(first);
    RegisterTempFile(kept);
    RegisterTempFile(missing); // a failing delete is ignored
    RegisterTempFile(second);
    UnregisterTempFile(kept);
    UnregisterTempFile(Folder() + QStringLiteral("/not-registered.tmp"));
    EXPECT_EQ(RegisteredTempFiles(), (QStringList { first, missing, second }));

    DeleteRegisteredTempFiles();
    EXPECT_FALSE(QFileInfo::exists(first));
    EXPECT_FALSE(QFileInfo::exists(second));
    EXPECT_TRUE(QFileInfo::exists(kept));
    EXPECT_TRUE(RegisteredTempFiles().isEmpty());

    // Running it again (the application's post routine, then the process exit) is harmless.
    const QString later = Touch(QStringLiteral("later.tmp"));
    DeleteRegisteredTempFiles();
    EXPECT_TRUE(QFileInfo::exists(later));
}

// Runs in a child process: registers a file and leaves through exit() without tearing the
// application down, so only the process-exit hook can delete it.
[[noreturn]] void RegisterAndExit(const QString& marker)
{
    QFile file(marker);
    if (!file.open(QIODevice::WriteOnly))
        std::_Exit(3);
    file.close();
    RegisterTempFile(marker);
    std::exit(0);
}

TEST_F(TempFilesTest, RegisteredFilesAreDeletedWhenTheProcessExits)
{
    // The child re-runs this test from the start in a new process, with a folder of its own; the
    // environment tells it where the parent looks.
    static const char* const MarkerVariable = "QB_RLUTILS_EXIT_MARKER";
    QString marker = qEnvironmentVariable(MarkerVariable);
    if (marker.isEmpty()) {
        marker = Folder() + QStringLiteral("/exit.tmp");
        qputenv(MarkerVariable, marker.toLocal8Bit());
    }
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RegisterAndExit(marker), ::testing::ExitedWithCode(0), "");
    qunsetenv(MarkerVariable);
    EXPECT_FALSE(QFileInfo::exists(marker));
}

// What a temporary file must be, whichever way it was made: open for reading and writing, owner-only
// even under a permissive umask, reachable through the returned name while open, and without a name
// in the folder, so that nothing stays there whatever ends the process.
void ExpectNamelessOwnerOnlyTempFile(const QString& folder)
{
    const mode_t savedMask = ::umask(0);
    TRLTempFile file;
    QString name;
    try {
        name = CreateTempFile(file);
    } catch (const Exception& e) {
        ::umask(savedMask);
        FAIL() << e.what();
    }
    ::umask(savedMask);
    ASSERT_TRUE(file.isOpen());
    EXPECT_TRUE(file.isReadable() && file.isWritable());
    EXPECT_EQ(file.size(), 0);
    EXPECT_EQ(file.Folder(), folder);
    EXPECT_EQ(file.write("swap"), 4);
    ASSERT_TRUE(file.flush());
    EXPECT_TRUE(QDir(folder)
                    .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)
                    .isEmpty());

    struct stat info
    {
    };
    ASSERT_EQ(::fstat(file.handle(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(info.st_nlink, 0u);
    // The name reaches the open file, for a second reader in this process.
    QFile again(name);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly)) << name.toStdString();
    EXPECT_EQ(again.readAll(), QByteArray("swap"));
    // Nothing to delete at exit: the registry never hears of it.
    EXPECT_FALSE(RegisteredTempFiles().contains(name));
    EXPECT_TRUE(RegisteredTempFiles().isEmpty());
}

TEST_F(TempFilesTest, CreateTempFileLeavesNoNameInTheFolder)
{
    ExpectNamelessOwnerOnlyTempFile(Folder());
}

TEST_F(TempFilesTest, CreateTempFileWithoutUnnamedFilesUnlinksAtOnce)
{
    TempFilesDetail::UseUnnamedTempFiles = false;
    ExpectNamelessOwnerOnlyTempFile(Folder());
    TempFilesDetail::UseUnnamedTempFiles = true;
}

TEST_F(TempFilesTest, CreateTempFileNeverOpensAFileThatWasThere)
{
    // Every file already in the folder keeps its content, and every new file is a new one.
    for (bool unnamed : { true, false }) {
        TempFilesDetail::UseUnnamedTempFiles = unnamed;
        QStringList before;
        for (int i = 0; i < 20; ++i)
            before << Touch(QStringLiteral("~qb%1.tmp").arg(i), "old");
        std::vector<std::unique_ptr<QFile>> files;
        QSet<QString> created;
        for (int i = 0; i < 100; ++i) {
            files.push_back(std::make_unique<QFile>());
            const QString name = CreateTempFile(*files.back());
            EXPECT_FALSE(before.contains(name));
            EXPECT_EQ(files.back()->size(), 0) << name.toStdString();
            created.insert(name);
        }
        EXPECT_EQ(created.size(), 100);
        for (const QString& path : before) {
            QFile old(path);
            ASSERT_TRUE(old.open(QIODevice::ReadOnly));
            EXPECT_EQ(old.readAll(), QByteArray("old"));
        }
        EXPECT_EQ(QDir(Folder()).entryList(QDir::Files | QDir::Hidden).size(), 20);
    }
    TempFilesDetail::UseUnnamedTempFiles = true;
}

TEST_F(TempFilesTest, CreateTempFileInAMissingDirectoryThrowsNamingTheFolder)
{
    const QString missing = Folder() + QStringLiteral("/no/such/folder");
    SetTempDir(missing);
    RLSelectLanguage(0x16);
    for (bool unnamed : { true, false }) {
        TempFilesDetail::UseUnnamedTempFiles = unnamed;
        QFile file;
        try {
            CreateTempFile(file);
            ADD_FAILURE() << "no error";
        } catch (const Exception& error) {
            EXPECT_EQ(error.Message(),
                QStringLiteral("A pasta temporária \"%1\" não pode ser usada: Pasta não encontrada")
                    .arg(missing));
        }
        EXPECT_FALSE(file.isOpen());
    }
    TempFilesDetail::UseUnnamedTempFiles = true;
    EXPECT_TRUE(RegisteredTempFiles().isEmpty());
}

TEST_F(TempFilesTest, CreateTempFileNeverUsesTheCurrentFolder)
{
    // "." is the directory before start-up, and what an unusable TMPDIR used to turn into.
    QTemporaryDir current;
    ASSERT_TRUE(current.isValid());
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(current.path()));
    for (const QString& directory : { QStringLiteral("."), QString() }) {
        SetTempDir(directory);
        TRLTempFile file;
        CreateTempFile(file);
        EXPECT_NE(file.Folder(), QStringLiteral("."));
        EXPECT_TRUE(QDir::isAbsolutePath(file.Folder())) << file.Folder().toStdString();
    }
    QDir::setCurrent(saved);
}

// A write into a full folder: a tmpfs of one page, when this process may mount one.
TEST_F(TempFilesTest, AFullFolderGivesItsCauseInTheUsersLanguage)
{
    QTemporaryDir mountPoint;
    ASSERT_TRUE(mountPoint.isValid());
    const QByteArray point = QFile::encodeName(mountPoint.path());
    if (::mount("tmpfs", point.constData(), "tmpfs", 0, "size=4k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (not root)";
    const auto unmount = qScopeGuard([&] { ::umount2(point.constData(), MNT_DETACH); });
    SetTempDir(mountPoint.path());
    RLSelectLanguage(0x16);
    TRLTempFile file;
    CreateTempFile(file);
    const QByteArray block(64 * 1024, 'x');
    bool failed = false;
    for (int i = 0; i < 4 && !failed; ++i)
        failed = file.write(block) != block.size() || !file.flush();
    ASSERT_TRUE(failed);
    EXPECT_EQ(file.errorString(), QStringLiteral("Não há espaço no disco"));
    EXPECT_EQ(file.WriteFailureText(),
        QStringLiteral("Não foi possível gravar o arquivo temporário em \"%1\": Não há espaço no disco")
            .arg(mountPoint.path()));
}

// --- files written for the user ------------------------------------------------------------------

TEST_F(TempFilesTest, SaveFileCausesAreInTheUsersLanguage)
{
    RLSelectLanguage(0x16);
    const QString missing = Folder() + QStringLiteral("/no/such/out.pdf");
    TRLSaveFile absent(missing);
    EXPECT_FALSE(absent.open(QIODevice::WriteOnly));
    EXPECT_EQ(absent.errorString(), QStringLiteral("Pasta não encontrada"));
    try {
        CheckOutputFolder(missing);
        ADD_FAILURE() << "no error";
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(),
            QStringLiteral("Não é possível gravar \"%1\" na pasta \"%2\": Pasta não encontrada")
                .arg(missing, Folder() + QStringLiteral("/no/such")));
    }
    EXPECT_NO_THROW(CheckOutputFolder(Folder() + QStringLiteral("/here.pdf")));
    const QString plain = Touch(QStringLiteral("plain"));
    EXPECT_EQ(FolderUnusableCause(plain), QStringLiteral("Não é uma pasta"));
}

TEST_F(TempFilesTest, SaveFileOnAFullDiskKeepsTheOldFileAndSaysWhy)
{
    QTemporaryDir mountPoint;
    ASSERT_TRUE(mountPoint.isValid());
    const QByteArray point = QFile::encodeName(mountPoint.path());
    if (::mount("tmpfs", point.constData(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (not root)";
    const auto unmount = qScopeGuard([&] { ::umount2(point.constData(), MNT_DETACH); });
    RLSelectLanguage(0x16);
    const QString target = mountPoint.path() + QStringLiteral("/out.pgx");
    {
        QFile old(target);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("old");
    }
    TRLSaveFile file(target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    const QByteArray block(16 * 1024, 'x');
    for (int i = 0; i < 16; ++i)
        file.write(block); // the first refusal is kept, later ones change nothing
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(file.errorString(), QStringLiteral("Não há espaço no disco"))
        << file.errorString().toStdString() << " " << file.LastErrorNumber();
    EXPECT_EQ(file.LastErrorNumber(), ENOSPC);
    QFile check(target);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), QByteArray("old"));
    EXPECT_EQ(QDir(mountPoint.path()).entryList(QDir::Files | QDir::Hidden),
        QStringList { QStringLiteral("out.pgx") });
}

TEST_F(TempFilesTest, SaveFileRefusesToReplaceTheTargetOnceTheApplicationIsTerminating)
{
    const QString target = Touch(QStringLiteral("kept.pdf"), "old");
    TRLSaveFile file(target);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("new and complete");
    RequestApplicationTerminate();
    EXPECT_THROW(file.commit(), EAbort);
    ResetApplicationTerminate();
    QFile check(target);
    ASSERT_TRUE(check.open(QIODevice::ReadOnly));
    EXPECT_EQ(check.readAll(), QByteArray("old"));
    EXPECT_EQ(
        QDir(Folder()).entryList(QDir::Files | QDir::Hidden), QStringList { QStringLiteral("kept.pdf") });
    // Without the flag the same file replaces the target.
    TRLSaveFile again(target);
    ASSERT_TRUE(again.open(QIODevice::WriteOnly));
    again.write("new");
    EXPECT_TRUE(again.commit());
    QFile replaced(target);
    ASSERT_TRUE(replaced.open(QIODevice::ReadOnly));
    EXPECT_EQ(replaced.readAll(), QByteArray("new"));
}

TEST(RLFileErrorCauseTest, KnownCausesHaveTheirWords)
{
    RLSelectLanguage(0x16);
    const struct
    {
        int Error;
        bool Writing;
        const char16_t* Text;
    } cases[] = {
        { ENOSPC, true, u"Não há espaço no disco" },
        { EDQUOT, true, u"Não há espaço no disco" },
        { EFBIG, true, u"Arquivo muito grande" },
        { EACCES, true, u"Permissão negada" },
        { EPERM, true, u"Permissão negada" },
        { EROFS, true, u"Sistema de arquivos somente leitura" },
        { ENOENT, true, u"Pasta não encontrada" },
        { ENOENT, false, u"Arquivo não encontrado" },
        { ENOTDIR, true, u"Não é uma pasta" },
        { EIO, true, u"Erro de entrada e saída" },
        { 0, true, u"Erro desconhecido" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(FileErrorCause(c.Error, c.Writing), QString::fromUtf16(c.Text)) << c.Error;
    RLSelectLanguage(0x09);
    EXPECT_EQ(FileErrorCause(ENOSPC), QStringLiteral("No space left on the disk"));
    RLSelectLanguage(0x0C);
    EXPECT_EQ(FileErrorCause(EFBIG), QStringLiteral("Fichier trop volumineux"));
    RLSelectLanguage(0x16);
    EXPECT_FALSE(FileErrorCause(ETXTBSY).isEmpty()); // the system's own words
}

// --- start-up -----------------------------------------------------------------------------------

TEST(RLUtilsStartupTest, StartupRanWithTheApplication)
{
    EXPECT_EQ(LogFileName(), QCoreApplication::applicationDirPath() + QStringLiteral("/DAva.log"));
}

TEST(RLUtilsStartupTest, InitializationIsUseCountedAndDeletesAStaleLog)
{
    // The application's construction already initialised once; take the count back to zero.
    RLUtilsFinalize();
    EXPECT_EQ(TempDir(), QStringLiteral("."));
    EXPECT_TRUE(LogFileName().isEmpty());

    const QString log = QCoreApplication::applicationDirPath() + QStringLiteral("/DAva.log");
    const auto writeLog = [&log] {
        QFile file(log);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("stale");
    };
    writeLog();
    RLUtilsInitialize();
    EXPECT_FALSE(QFileInfo::exists(log));
    EXPECT_EQ(LogFileName(), log);
    EXPECT_EQ(TempDir(), QDir::tempPath());

    // A second user does not run the start-up again.
    writeLog();
    RLUtilsInitialize();
    EXPECT_TRUE(QFileInfo::exists(log));
    QFile::remove(log);

    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString registered = folder.path() + QStringLiteral("/registered.tmp");
    QFile(registered).open(QIODevice::WriteOnly);
    RegisterTempFile(registered);

    RLUtilsFinalize(); // one user left: nothing goes yet
    EXPECT_TRUE(QFileInfo::exists(registered));
    EXPECT_EQ(TempDir(), QDir::tempPath());

    RLUtilsFinalize(); // the last one: temporary files go, paths are released
    EXPECT_FALSE(QFileInfo::exists(registered));
    EXPECT_EQ(TempDir(), QStringLiteral("."));
    EXPECT_TRUE(LogFileName().isEmpty());

    RLUtilsFinalize(); // more finalisations than initialisations do nothing
    EXPECT_EQ(TempDir(), QStringLiteral("."));

    RLUtilsInitialize(); // leave it as the application set it up
    EXPECT_EQ(TempDir(), QDir::tempPath());
}

// Start-up reads TMPDIR again each time it runs; put the environment and the state back after.
class RLTempDirStartupTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        if (FHadTmpDir)
            qputenv("TMPDIR", FSavedTmpDir);
        else
            qunsetenv("TMPDIR");
        RestartUtilities();
    }
    static void RestartUtilities()
    {
        RLUtilsFinalize();
        RLUtilsInitialize();
    }

private:
    bool FHadTmpDir = qEnvironmentVariableIsSet("TMPDIR");
    QByteArray FSavedTmpDir = qgetenv("TMPDIR");
};

TEST_F(RLTempDirStartupTest, AnUnusableTmpDirFallsBackToTmpWithANotice)
{
    RLSelectLanguage(0x16);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString plainFile = folder.filePath(QStringLiteral("file"));
    QFile(plainFile).open(QIODevice::WriteOnly);
    struct Case
    {
        QString TmpDir;
        QString Cause;
    };
    const Case cases[] = {
        { folder.filePath(QStringLiteral("missing")), QStringLiteral("Pasta não encontrada") },
        { plainFile, QStringLiteral("Não é uma pasta") },
    };
    for (const Case& c : cases) {
        qputenv("TMPDIR", QFile::encodeName(c.TmpDir));
        RestartUtilities();
        EXPECT_EQ(TempDir(), QStringLiteral("/tmp"));
        EXPECT_EQ(TempDirNotice(),
            QStringLiteral("A pasta temporária \"%1\" não pode ser usada (%2); usando \"/tmp\"")
                .arg(c.TmpDir, c.Cause));
        TRLTempFile file;
        CreateTempFile(file);
        EXPECT_EQ(file.Folder(), QStringLiteral("/tmp"));
    }
}

TEST_F(RLTempDirStartupTest, AUsableTmpDirIsTakenWithoutANotice)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    qputenv("TMPDIR", QFile::encodeName(folder.path()));
    RestartUtilities();
    EXPECT_EQ(TempDir(), QDir(folder.path()).canonicalPath());
    EXPECT_TRUE(TempDirNotice().isEmpty());
    qunsetenv("TMPDIR");
    RestartUtilities();
    EXPECT_EQ(TempDir(), QStringLiteral("/tmp"));
    EXPECT_TRUE(TempDirNotice().isEmpty());
}

} // namespace
