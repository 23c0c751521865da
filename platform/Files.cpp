#include "platform/Files.h"

#include "platform/Application.h"
#include "platform/Exceptions.h"
#include "platform/Messages.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString FileErrorCause(int ErrorNumber, bool Writing)
{
    switch (ErrorNumber) {
    case ENOSPC:
    case EDQUOT:
        return RLFailureText(RLFailNoSpace);
    case EFBIG:
        return RLFailureText(RLFailFileTooLarge);
    case EACCES:
    case EPERM:
        return RLFailureText(RLFailPermissionDenied);
    case EROFS:
        return RLFailureText(RLFailReadOnlyFileSystem);
    case ENOENT:
        return Writing ? RLFailureText(RLFailFolderNotFound) : RLFailureText(RLFailFileNotFound);
    case ENOTDIR:
        return RLFailureText(RLFailNotAFolder);
    case EIO:
        return RLFailureText(RLFailInputOutput);
    case EMFILE:
    case ENFILE:
        return RLFailureText(RLFailTooManyOpenFiles);
    case 0:
        return RLFailureText(RLFailUnknownCause);
    default:
        return QString::fromLocal8Bit(std::strerror(ErrorNumber));
    }
}

QString FolderUnusableCause(const QString& Folder)
{
    const QByteArray path = QFile::encodeName(Folder.isEmpty() ? QStringLiteral(".") : Folder);
    struct stat info
    {
    };
    if (::stat(path.constData(), &info) != 0)
        return FileErrorCause(errno);
    if (!S_ISDIR(info.st_mode))
        return FileErrorCause(ENOTDIR);
    if (::access(path.constData(), W_OK | X_OK) != 0)
        return FileErrorCause(errno);
    return QString();
}

void CheckOutputFolder(const QString& FileName)
{
    const QString folder = QFileInfo(FileName).absolutePath();
    const QString cause = FolderUnusableCause(folder);
    if (!cause.isEmpty())
        throw Exception(
            RLFailureText(RLFailTargetFolderUnusable).arg(FileName, QDir::toNativeSeparators(folder), cause));
}

// --- TRLSaveFile --------------------------------------------------------------------------------

void TRLSaveFile::Failed(int ErrorNumber)
{
    FErrorNumber = ErrorNumber;
    setErrorString(FileErrorCause(ErrorNumber));
}

bool TRLSaveFile::open(OpenMode Mode)
{
    FErrorNumber = 0;
    FUnsyncedBytes = 0;
    errno = 0;
    if (QSaveFile::open(Mode))
        return true;
    // A missing or closed folder is worth its own words; errno still holds what the open met.
    const int error = errno;
    const QString cause = FolderUnusableCause(QFileInfo(fileName()).absolutePath());
    if (!cause.isEmpty()) {
        FErrorNumber = error;
        setErrorString(cause);
    } else {
        Failed(error);
    }
    return false;
}

qint64 TRLSaveFile::writeData(const char* Data, qint64 Length)
{
    errno = 0;
    const qint64 written = QSaveFile::writeData(Data, Length);
    // A short write is a failure too: the kernel took what fitted and refused the rest, and errno
    // holds why.
    // The first refusal tells why; later writes are refused without a new cause.
    if (written < Length && FErrorNumber == 0)
        Failed(errno);
    // The file is synced to the disk before it takes its name. Asking the disk to start on what is
    // written every few megabytes lets it work while the rest is still being written, so that the
    // sync at the end waits for little. Only a hint: failures still come from the sync.
    FUnsyncedBytes += qMax<qint64>(0, written);
    if (FUnsyncedBytes >= WritebackStep && handle() >= 0) {
        const int saved = errno;
        ::sync_file_range(handle(), 0, 0, SYNC_FILE_RANGE_WRITE);
        errno = saved;
        FUnsyncedBytes = 0;
    }
    return written;
}

bool TRLSaveFile::flush()
{
    errno = 0;
    if (QSaveFile::flush())
        return true;
    Failed(FErrorNumber != 0 ? FErrorNumber : errno);
    return false;
}

bool TRLSaveFile::commit()
{
    // Throws the unfinished file away; the first failure's cause stays the one told.
    auto refuse = [this](int error) {
        const int cause = FErrorNumber != 0 ? FErrorNumber : error;
        cancelWriting();
        QSaveFile::commit();
        Failed(cause);
        return false;
    };
    // The buffer goes out and reaches the disk first (commit would sync it too, which takes long on
    // a busy disk), so that between the last look at the terminating flag and the file taking the
    // target's place there is only the rename.
    errno = 0;
    if (isOpen() && !flush())
        return refuse(errno);
    if (isOpen() && handle() >= 0 && ::fdatasync(handle()) != 0 && errno != EINVAL && errno != EROFS)
        return refuse(errno);
    if (ApplicationTerminating()) {
        cancelWriting();
        QSaveFile::commit(); // closes the device and throws the unfinished file away
        throw EAbort();
    }
    errno = 0;
    if (QSaveFile::commit())
        return true;
    Failed(FErrorNumber != 0 ? FErrorNumber : errno);
    return false;
}

// --- TRLTempFile --------------------------------------------------------------------------------

qint64 TRLTempFile::writeData(const char* Data, qint64 Length)
{
    errno = 0;
    const qint64 written = QFile::writeData(Data, Length);
    if (written < Length && FErrorNumber == 0) {
        FErrorNumber = errno;
        setErrorString(FileErrorCause(FErrorNumber));
    }
    return written;
}

qint64 TRLTempFile::readData(char* Data, qint64 Length)
{
    errno = 0;
    const qint64 read = QFile::readData(Data, Length);
    if (read < 0) {
        FErrorNumber = errno;
        setErrorString(FileErrorCause(FErrorNumber, false));
    }
    return read;
}

bool TRLTempFile::flush()
{
    errno = 0;
    if (QFile::flush())
        return true;
    if (FErrorNumber == 0)
        FErrorNumber = errno;
    setErrorString(FileErrorCause(FErrorNumber));
    return false;
}

QString TRLTempFile::WriteFailureText() const
{
    return RLFailureText(RLFailCannotWriteTempFile).arg(QDir::toNativeSeparators(FFolder), errorString());
}

QString TRLTempFile::ReadFailureText() const
{
    return RLFailureText(RLFailCannotReadTempFile).arg(QDir::toNativeSeparators(FFolder), errorString());
}
