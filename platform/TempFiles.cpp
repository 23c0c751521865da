#include "platform/TempFiles.h"

#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "platform/Messages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct TUtilityState
{
    QMutex Lock;
    QString TempDirectory = QStringLiteral(".");
    QString LogFile;
    QString TempDirectoryNotice;
    QStringList TempFiles;
    int UseCount = 0;
};

// Never destroyed: the exit routines run from std::atexit, possibly after static destructors, and
// must still find the registry.
TUtilityState& State()
{
    static auto* state = new TUtilityState;
    return *state;
}

void DeleteTempFilesAtExit()
{
    DeleteRegisteredTempFiles();
}

void HookProcessExit()
{
    static std::once_flag hooked;
    std::call_once(hooked, [] {
        State();
        std::atexit(DeleteTempFilesAtExit);
    });
}

void UtilitiesShutdown()
{
    RLUtilsFinalize();
    DeleteRegisteredTempFiles();
}

// Runs inside the QApplication constructor, the moment the program's directory becomes known; the
// matching finalisation runs when the application object goes.
void UtilitiesStartup()
{
    RLUtilsInitialize();
    qAddPostRoutine(UtilitiesShutdown);
}

QString TempNameIn(const QString& directory, quint32 number)
{
    QString name = directory;
    if (!name.isEmpty() && !name.endsWith(QLatin1Char('/')))
        name += QLatin1Char('/');
    return name + QStringLiteral("~qb") + QString::number(number) + QStringLiteral(".tmp");
}

quint32 RandomTempNumber()
{
    return QRandomGenerator::system()->bounded(quint32(2147483647));
}

// The folder TMPDIR names, else /tmp, as an absolute path. A TMPDIR that cannot take files (missing,
// not a folder, not writable) falls back to /tmp, and Notice says so; when /tmp cannot either, the
// folder is returned all the same, so that creating a file there fails with a message naming it.
// Never the current folder: that is what an unusable TMPDIR used to become.
QString ResolveTempDirectory(QString* Notice)
{
    const QString fallback = QStringLiteral("/tmp");
    const QString requested = qEnvironmentVariable("TMPDIR");
    if (!requested.isEmpty()) {
        const QString cause = FolderUnusableCause(requested);
        if (cause.isEmpty())
            return QDir(requested).canonicalPath();
        if (FolderUnusableCause(fallback).isEmpty()) {
            if (Notice)
                *Notice = RLFailureText(RLFailTempFolderFallback).arg(requested, cause, fallback);
            return fallback;
        }
        return QDir::cleanPath(QDir(requested).absolutePath());
    }
    return FolderUnusableCause(fallback).isEmpty() ? QDir(fallback).canonicalPath() : fallback;
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(UtilitiesStartup)

// --- start-up and exit --------------------------------------------------------------------------

void RLUtilsInitialize()
{
    TUtilityState& state = State();
    {
        QMutexLocker locker(&state.Lock);
        if (state.UseCount++ > 0)
            return;
        // Without an application object the program's directory is unknown; then there is no stale
        // log to look for rather than one guessed in the current directory.
        if (QCoreApplication::instance())
            state.LogFile = QCoreApplication::applicationDirPath() + QStringLiteral("/DAva.log");
        else
            state.LogFile.clear();
        state.TempDirectoryNotice.clear();
        state.TempDirectory = ResolveTempDirectory(&state.TempDirectoryNotice);
        if (!state.LogFile.isEmpty() && QFileInfo::exists(state.LogFile))
            QFile::remove(state.LogFile);
    }
    HookProcessExit();
    RLSelectLanguage(LocalePrimaryLanguage());
}

void RLUtilsFinalize()
{
    TUtilityState& state = State();
    {
        QMutexLocker locker(&state.Lock);
        if (state.UseCount == 0 || --state.UseCount > 0)
            return;
    }
    DeleteRegisteredTempFiles();
    QMutexLocker locker(&state.Lock);
    state.TempDirectory = QStringLiteral(".");
    state.LogFile.clear();
}

QString TempDir()
{
    TUtilityState& state = State();
    QMutexLocker locker(&state.Lock);
    return state.TempDirectory;
}

void SetTempDir(const QString& directory)
{
    TUtilityState& state = State();
    QMutexLocker locker(&state.Lock);
    state.TempDirectory = directory;
}

QString TempDirNotice()
{
    TUtilityState& state = State();
    QMutexLocker locker(&state.Lock);
    return state.TempDirectoryNotice;
}

QString LogFileName()
{
    TUtilityState& state = State();
    QMutexLocker locker(&state.Lock);
    return state.LogFile;
}

// --- temporary files ----------------------------------------------------------------------------

QString NewTempFileName()
{
    const QString directory = TempDir();
    QString name;
    do
        name = TempNameIn(directory, RandomTempNumber());
    while (QFileInfo::exists(name));
    return name;
}

namespace TempFilesDetail {
bool UseUnnamedTempFiles = true;
}

QString CreateTempFile(QFile& file)
{
    if (file.isOpen())
        file.close();
    QString directory = TempDir();
    // Before start-up the directory is "." (or a test emptied it): the platform's folder, never the
    // current one.
    if (directory.isEmpty() || directory == QLatin1String("."))
        directory = ResolveTempDirectory(nullptr);
    const QByteArray folder = QFile::encodeName(directory);
    auto refuse = [&](int error) {
        throw Exception(RLFailureText(RLFailTempFolderUnusable).arg(directory, FileErrorCause(error)));
    };

    // O_TMPFILE gives a file that never has a name: nothing a crash, a signal or SIGKILL does can leave
    // it behind. Where the file system lacks it, the file is created exclusively under a fresh name
    // and unlinked at once, which leaves a window of one system call.
    int fd = -1;
    if (TempFilesDetail::UseUnnamedTempFiles) {
        fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)
            refuse(errno);
    }
    if (fd < 0) {
        // A clash with an existing file is tried again under a new name; anything else would fail
        // every time. The bound only matters for a folder flooded with our own names.
        constexpr int MaxAttempts = 1000;
        for (int attempt = 0; attempt < MaxAttempts && fd < 0; ++attempt) {
            const QByteArray name = QFile::encodeName(TempNameIn(directory, RandomTempNumber()));
            fd = ::open(name.constData(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
            if (fd >= 0)
                ::unlink(name.constData());
            else if (errno != EEXIST)
                refuse(errno);
        }
        if (fd < 0)
            refuse(EEXIST);
    }
    if (!file.open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        refuse(EBADF);
    }
    if (auto* temp = qobject_cast<TRLTempFile*>(&file))
        temp->SetFolder(directory);
    // The open descriptor is the only way to the file; this name reaches it through the descriptor
    // for as long as the file stays open, in this process only.
    return QStringLiteral("/proc/self/fd/") + QString::number(fd);
}

void RegisterTempFile(const QString& fileName)
{
    HookProcessExit();
    TUtilityState& state = State();
    QMutexLocker locker(&state.Lock);
    state.TempFiles.append(fileName);
}

void UnregisterTempFile(const QString& fileName)
{
    TUtilityState& state = State();
    QMutexLocker locker(&state.Lock);
    state.TempFiles.removeOne(fileName);
}

QStringList RegisteredTempFiles()
{
    TUtilityState& state = State();
    QMutexLocker locker(&state.Lock);
    return state.TempFiles;
}

void DeleteRegisteredTempFiles()
{
    TUtilityState& state = State();
    QStringList files;
    {
        QMutexLocker locker(&state.Lock);
        files.swap(state.TempFiles);
    }
    for (const QString& name : std::as_const(files))
        QFile::remove(name);
}
