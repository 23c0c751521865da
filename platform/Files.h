#pragma once
// Files the program writes, and what it says when writing them fails.
//
// Every failure names the file (or, for a temporary file that has no name, its folder) and the cause
// in the user's language: "Não há espaço no disco", "Arquivo muito grande", and so on. The cause is
// read from the system's error number the moment the call fails, because Qt's own texts for a failed
// buffered write are "Unknown error" and are English anyway.
#include <QFile>
#include <QSaveFile>
#include <QString>

// The cause of a failed file operation in the user's language. Writing tells what a missing path
// means: a folder that is not there (writing) or a file that is not there (reading). An error number
// without a text of ours gives the system's own text.
QString FileErrorCause(int ErrorNumber, bool Writing = true);

// Why Folder cannot take new files (it does not exist, is no folder, or may not be written), or an
// empty text when it can.
QString FolderUnusableCause(const QString& Folder);

// Throws Exception, naming the folder and the cause, when the folder that FileName would be written in
// cannot take new files. Run before long work whose result would go there, and again by the writer.
void CheckOutputFolder(const QString& FileName);

// A file written beside its target and put in the target's place only when complete. Qt writes it
// as an unnamed file where the file system allows it (so a process killed half way leaves nothing),
// and replaces the target in one rename. On top of that: every write error leaves errorString() with
// the cause in the user's language, and commit() refuses (EAbort) once the application is terminating,
// so an interrupted run never replaces a good file with one that was finished after the interrupt.
class TRLSaveFile : public QSaveFile
{
    Q_OBJECT
public:
    using QSaveFile::QSaveFile;
    bool open(OpenMode Mode) override;
    // Hides QSaveFile::commit: callers hold a TRLSaveFile.
    bool commit();
    bool flush();
    // The error number of the last failure, 0 when there was none.
    int LastErrorNumber() const { return FErrorNumber; }

protected:
    qint64 writeData(const char* Data, qint64 Length) override;

private:
    void Failed(int ErrorNumber);
    static constexpr qint64 WritebackStep = 8 << 20;
    int FErrorNumber = 0;
    qint64 FUnsyncedBytes = 0; // written since the disk was last asked to start writing
};

// A temporary file opened by CreateTempFile: it has no name in any folder, so Folder() is what
// messages name. Write errors leave errorString() with the cause in the user's language.
class TRLTempFile : public QFile
{
    Q_OBJECT
public:
    TRLTempFile() = default;
    QString Folder() const { return FFolder; }
    void SetFolder(const QString& Folder) { FFolder = Folder; }
    bool flush();
    int LastErrorNumber() const { return FErrorNumber; }
    // "Não foi possível gravar o arquivo temporário em "/tmp": Não há espaço no disco".
    QString WriteFailureText() const;
    QString ReadFailureText() const;

protected:
    qint64 writeData(const char* Data, qint64 Length) override;
    qint64 readData(char* Data, qint64 Length) override;

private:
    QString FFolder;
    int FErrorNumber = 0;
};
