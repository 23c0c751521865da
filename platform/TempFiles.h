#pragma once
// The process-wide utility state: the temporary directory, the log-file path and the registry of
// temporary files that are deleted at exit, and the temporary files themselves.
//
// Start-up: RLUtilsInitialize runs once, on its own, when the QApplication is constructed (and may be
// called again by anyone who needs it: a use counter makes only the first call act and only the last
// RLUtilsFinalize undo it). It deletes a stale "DAva.log" beside the program, points the temporary
// directory at the platform's temporary path and chooses the engine's message language.
//
// Exit: every temporary file still registered is deleted, failures ignored. That happens when the
// QApplication goes (post routine) and again, for processes without one, from std::atexit; deleting
// is idempotent, so whichever runs second finds nothing left.
//
// The utility state is guarded by a lock, because the background filter thread creates temporary
// files too.
#include <QString>
#include <QStringList>

class QFile;

// --- start-up and exit --------------------------------------------------------------------------

void RLUtilsInitialize();
void RLUtilsFinalize();

// The directory temporary files go to: "." until start-up sets the platform's temporary path.
// Start-up reads TMPDIR; one that cannot take files falls back to /tmp, and the notice says so (an
// empty text otherwise). The program shows it; the engine has nowhere to.
QString TempDir();
void SetTempDir(const QString& directory);
QString TempDirNotice();
// The program's directory followed by "DAva.log" once start-up has run; empty before.
QString LogFileName();

// --- temporary files ----------------------------------------------------------------------------

// A name "~qb<n>.tmp" in the temporary directory, n a random decimal from 0 to 2147483646, that no
// file has at the time of the call. The file is not created, so someone else may take the name
// before the caller does: prefer CreateTempFile for anything the program writes itself.
QString NewTempFileName();

// Creates a new, empty temporary file in the temporary directory (the platform's folder when the
// directory is "." or empty, never the current folder) and opens it in file for reading and writing,
// owner-only. The file has no name in the folder from the moment it exists: unnamed (O_TMPFILE) where
// the file system allows, else created exclusively under a fresh name and unlinked at once. So it is
// never registered: when file closes, or the process ends in any way, the file is gone. Returns a
// name that reaches the open file from this process while it stays open ("/proc/self/fd/<n>"). A
// TRLTempFile learns its folder, for its messages. Throws Exception naming the folder and the cause
// when the folder does not let a file be created.
QString CreateTempFile(QFile& file);
namespace TempFilesDetail {
// Tests turn it off to try the named fallback.
extern bool UseUnnamedTempFiles;
}

void RegisterTempFile(const QString& fileName);
// Removes the name from the registry if it is there; deleting the file is the caller's business.
void UnregisterTempFile(const QString& fileName);
QStringList RegisteredTempFiles();
// Deletes every registered file, ignoring failures, and empties the registry. The exit routine.
void DeleteRegisteredTempFiles();
