#pragma once
// Database aliases: a name such as VENDRIX that stands for a database and the Qt SQL driver that
// reaches it. The program never holds connection settings of its own; they live outside it.
//
// Where an alias's settings come from, first match wins:
// 1. An explicit database file set through SetAliasDatabaseFile (the program's --database FILE):
//    the alias is an SQLite database in that file.
// 2. The alias file: the path in the environment variable QB_ALIASES, else
//    <user configuration directory>/quillborough/aliases.ini (~/.config/quillborough/aliases.ini).
//    One section per alias (names compared without regard to case), for example
//
//        [VENDRIX]
//        Driver=QPSQL          ; QSQLITE (the default), QPSQL (PostgreSQL) or QIBASE (Firebird)
//        Database=loja         ; SQLite: the file; PostgreSQL: the database; Firebird: the database path
//        Host=servidor
//        Port=5432
//        User=estoque
//        Password=segredo
//        Options=connect_timeout=5   ; the driver's connect options, passed on unchanged
//
//    Firebird (QIBASE): Database is the database file's path on the server (or its alias in the
//    server's databases.conf). Qt's driver always talks UTF8 with the server, which converts from
//    each column's declared character set; the only character set option it takes is
//    Options=ISC_DPB_LC_CTYPE=UTF8, and any other value, or an option the driver does not know
//    (it would skip it silently), is refused with an error naming the alias.
//
//    Lines starting with ";" or "#" are comments; values are taken as written, without quotes or
//    escapes. Any Qt SQL driver works where its plug-in is installed (Debian: libqt6sql6-sqlite,
//    libqt6sql6-psql, libqt6sql6-ibase).
// 3. No configuration: an SQLite database in <user data directory>/quillborough/<alias>.db, in lower
//    case (~/.local/share/quillborough/vendrix.db for VENDRIX).
//
// SQLite databases are opened read-only and must exist: a missing file is an error naming the alias
// and the path, and no empty database is ever created in its place.
//
// Connections: AliasConnection opens one named QSqlDatabase connection per alias and per thread and
// keeps it open for reuse. Qt SQL connections belong to the thread that made them, so each thread
// gets its own; a thread that used an alias calls CloseAliasConnections before it ends. Nothing here
// is guarded by locks beyond what QSqlDatabase does: configure aliases (SetAliasDatabaseFile) on the
// main thread before other threads use them.
//
// Errors are EDatabaseError with a Portuguese message naming the alias, as the user sees them. A
// password never appears in a message.
#include "platform/Exceptions.h"

#include <QSqlDatabase>
#include <QString>

struct TAliasSettings
{
    QString AliasName;
    QString Driver { QStringLiteral("QSQLITE") };
    QString Database;
    QString Host;
    int Port = -1;
    QString User;
    QString Password;
    QString Options;
    // Where the settings came from, for messages and tests.
    enum TAliasSource { asDefault, asAliasFile, asOverride };
    TAliasSource Source = asDefault;
};

// The alias file in effect (QB_ALIASES or the user's configuration directory); it may not exist.
QString AliasFileName();
// The SQLite file an alias uses when nothing configures it.
QString DefaultAliasDatabaseFile(const QString& aliasName);

// Makes the alias an SQLite database in fileName, ahead of any alias file; an empty fileName removes
// the override. An open connection of the alias on this thread is closed so the next use sees it.
void SetAliasDatabaseFile(const QString& aliasName, const QString& fileName);
QString AliasDatabaseFile(const QString& aliasName);

// The settings of an alias as described above. Throws EDatabaseError for an unreadable or malformed
// alias file (naming the file and the line).
TAliasSettings AliasSettings(const QString& aliasName);

// Reads the alias section of an INI text; false when the text has no such section. Throws
// EDatabaseError for a malformed line or value.
bool ParseAliasSettings(
    const QByteArray& text, const QString& aliasName, const QString& sourceName, TAliasSettings& settings);

// The open connection of an alias for the calling thread, opening it on first use. Throws
// EDatabaseError: "Banco de dados do alias VENDRIX não encontrado: <path>", "Driver QPSQL do alias
// VENDRIX não está disponível ...", "Não foi possível conectar ao alias VENDRIX: <driver text>".
QSqlDatabase AliasConnection(const QString& aliasName);
// Closes and removes the calling thread's connection of one alias, or of every alias.
void CloseAliasConnection(const QString& aliasName);
void CloseAliasConnections();
