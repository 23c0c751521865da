// The inventory export against a Firebird server reached through an alias file. A private server is
// started on loopback for these tests, on a port and in a folder of its own (its own configuration,
// security database and lock folder), beside whatever system service the package runs. The demo shop
// is copied into a WIN1252 database whose product names sort by the Brazilian collation, and the
// exports must give the pages of the embedded SQLite database of the same shop, apart from where the
// collation puts accented names. The failures a shop meets on the server (a wrong password, the
// server down, a table missing) must each name the alias, exit 3 and write nothing.
//
// The server comes from Debian's firebird3.0-server, the client tools from firebird3.0-utils and the
// driver from libqt6sql6-ibase (scripts/install-deps.sh installs them). Where the server cannot start
// the tests skip and say why; in CI (CI=true) that is a failure instead.
#include "app/CommandLine.h"

#include "InventoryTestSupport.h"
#include "platform/Aliases.h"
#include "platform/DemoDatabase.h"
#include "platform/Format.h"
#include "platform/SqlDataSet.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <iostream>
#include <map>
#include <memory>
#include <stdexcept>

namespace {

const QString Alias = QStringLiteral("VENDRIX");
const QString ServerUser = QStringLiteral("SYSDBA");
constexpr int CommandTimeoutMs = 60000;
constexpr int StartTimeoutMs = 30000;
// Enough products for several pages, with every name kind of the demo (ÁGUA, MUÇARELA among them).
constexpr int DemoProducts = 400;

const QString ServerBinary = QStringLiteral("/usr/sbin/firebird");
const QString IsqlBinary = QStringLiteral("/usr/bin/isql-fb");
const QString SystemSecurityDatabase = QStringLiteral("/var/lib/firebird/3.0/system/security3.fdb");

bool InCi()
{
    return qEnvironmentVariable("CI").compare(QLatin1String("true"), Qt::CaseInsensitive) == 0;
}

// The server's own files (plug-ins, character sets, messages), wherever the architecture puts them.
QString FindServerRoot()
{
    const QDir lib(QStringLiteral("/usr/lib"));
    for (const QString& entry : lib.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString root = lib.filePath(entry + QStringLiteral("/firebird/3.0"));
        if (QFileInfo::exists(root + QStringLiteral("/plugins/libEngine12.so"))
            && QFileInfo::exists(root + QStringLiteral("/intl/libfbintl.so")))
            return root;
    }
    return QString();
}

void WriteText(const QString& fileName, const QByteArray& text)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text) != text.size())
        throw std::runtime_error(("cannot write " + fileName).toStdString());
}

// A Firebird server of the test's own, stopped when this object goes.
class TFirebirdServer
{
public:
    // Null with the reason when the machine cannot run one; throws when a server that should start
    // does not.
    static std::unique_ptr<TFirebirdServer> Start(QString& Unavailable)
    {
        const QString root = FindServerRoot();
        QStringList missing;
        if (!QFileInfo(ServerBinary).isExecutable())
            missing << ServerBinary;
        if (!QFileInfo(IsqlBinary).isExecutable())
            missing << IsqlBinary;
        if (root.isEmpty())
            missing << QStringLiteral("/usr/lib/*/firebird/3.0 (plugins/libEngine12.so, intl/libfbintl.so)");
        if (!QFileInfo::exists(SystemSecurityDatabase))
            missing << SystemSecurityDatabase;
        if (!missing.isEmpty()) {
            Unavailable = QStringLiteral(
                "the Firebird server is not installed (missing %1): run scripts/install-deps.sh")
                              .arg(missing.join(QStringLiteral(", ")));
            return nullptr;
        }
        if (!QFileInfo(SystemSecurityDatabase).isReadable()) {
            Unavailable
                = QStringLiteral("%1 is not readable by this account (run as root or in the firebird group)")
                      .arg(SystemSecurityDatabase);
            return nullptr;
        }
        std::unique_ptr<TFirebirdServer> server(new TFirebirdServer(root));
        QElapsedTimer clock;
        clock.start();
        server->Prepare();
        server->FPrepareMilliseconds = clock.elapsed();
        server->Launch();
        return server;
    }

    ~TFirebirdServer() { Stop(); }
    TFirebirdServer(const TFirebirdServer&) = delete;
    TFirebirdServer& operator=(const TFirebirdServer&) = delete;

    int Port() const { return FPort; }
    QString Password() const { return FPassword; }
    // From starting the server process to its port accepting connections.
    qint64 StartMilliseconds() const { return FStartMilliseconds; }
    // Laying out its folder and setting its password, before that.
    qint64 PrepareMilliseconds() const { return FPrepareMilliseconds; }
    QString DatabasePath(const QString& name) const { return FData.filePath(name + QStringLiteral(".fdb")); }

    // Creates a WIN1252 database through the server and runs the statements in it.
    void CreateDatabase(const QString& name, const QStringList& statements) const
    {
        QString script
            = QStringLiteral("set sql dialect 3;\ncreate database '127.0.0.1/%1:%2' user '%3' password '%4' "
                             "page_size 8192 default character set WIN1252;\n")
                  .arg(FPort)
                  .arg(DatabasePath(name), ServerUser, FPassword);
        for (const QString& statement : statements)
            script += statement + QStringLiteral(";\n");
        script += QStringLiteral("commit;\n");
        QString output;
        if (RunIsql(script, {}, false, &output) != 0)
            throw std::runtime_error(("cannot create the database " + name + ": " + output).toStdString());
    }

    // A connection of the test's own to one database of the server.
    QSqlDatabase Connect(const QString& connectionName, const QString& name) const
    {
        QSqlDatabase connection = QSqlDatabase::addDatabase(QStringLiteral("QIBASE"), connectionName);
        connection.setHostName(QStringLiteral("127.0.0.1"));
        connection.setPort(FPort);
        connection.setUserName(ServerUser);
        connection.setPassword(FPassword);
        connection.setDatabaseName(DatabasePath(name));
        if (!connection.open())
            throw std::runtime_error(
                ("cannot connect to the test server: " + connection.lastError().text()).toStdString());
        return connection;
    }

    void Stop()
    {
        if (!FProcess)
            return;
        if (FProcess->state() != QProcess::NotRunning) {
            // Its data is thrown away with the folder, so nothing is lost by not waiting for a shutdown.
            FProcess->kill();
            FProcess->waitForFinished(10000);
        }
        FProcess.reset();
    }

    QString Output() const { return FProcess ? QString::fromLocal8Bit(FProcess->readAll()) : QString(); }

private:
    explicit TFirebirdServer(const QString& root)
        : FSystemRoot(root)
    {
        if (!FFolder.isValid())
            throw std::runtime_error("cannot create a temporary folder for the server");
        for (const char* folder : { "root", "root/intl", "lock", "tmp", "data" })
            if (!QDir(FFolder.path()).mkpath(QString::fromLatin1(folder)))
                throw std::runtime_error("cannot create the server's folders");
        FRoot = QDir(FFolder.filePath(QStringLiteral("root")));
        FData = QDir(FFolder.filePath(QStringLiteral("data")));
    }

    // The server and its tools find everything under FIREBIRD, and keep their locks and temporary
    // files in folders of the test's, so they share nothing with the system's server.
    QProcessEnvironment Environment() const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* variable : { "ISC_USER", "ISC_PASSWORD", "FIREBIRD_MSG" })
            environment.remove(QString::fromLatin1(variable));
        environment.insert(QStringLiteral("FIREBIRD"), FRoot.path());
        environment.insert(QStringLiteral("FIREBIRD_LOCK"), FFolder.filePath(QStringLiteral("lock")));
        environment.insert(QStringLiteral("FIREBIRD_TMP"), FFolder.filePath(QStringLiteral("tmp")));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));
        return environment;
    }

    // Runs isql with the script on its input; embedded names a database file opened in the tool's own
    // process (before the server runs). Returns the exit code, or -1 when it did not finish in time.
    int RunIsql(const QString& script, const QStringList& arguments, bool embedded, QString* output) const
    {
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setProcessEnvironment(Environment());
        process.setWorkingDirectory(FFolder.path());
        QStringList all { QStringLiteral("-q"), QStringLiteral("-b"), QStringLiteral("-ch"),
            QStringLiteral("UTF8") };
        if (embedded)
            all << QStringLiteral("-user") << ServerUser;
        all << arguments;
        process.start(IsqlBinary, all);
        if (!process.waitForStarted(CommandTimeoutMs))
            return -1;
        process.write(script.toUtf8());
        process.closeWriteChannel();
        const bool finished = process.waitForFinished(CommandTimeoutMs);
        if (!finished) {
            process.kill();
            process.waitForFinished(5000);
        }
        if (output)
            *output = QString::fromLocal8Bit(process.readAll());
        if (!finished || process.exitStatus() != QProcess::NormalExit)
            return -1;
        return process.exitCode();
    }

    void Prepare()
    {
        const QDir system(FSystemRoot);
        for (const char* shared : { "plugins", "lib", "UDF", "firebird.msg" }) {
            const QString name = QString::fromLatin1(shared);
            if (system.exists(name) && !QFile::link(system.filePath(name), FRoot.filePath(name)))
                throw std::runtime_error("cannot link the server's files");
        }
        // The character sets' module must be a file in the root's own intl folder: the server refuses
        // one reached through a link and then knows no character set but the built-in ones.
        if (!QFile::copy(system.filePath(QStringLiteral("intl/libfbintl.so")),
                FRoot.filePath(QStringLiteral("intl/libfbintl.so")))
            || !QFile::copy(system.filePath(QStringLiteral("intl/fbintl.conf")),
                FRoot.filePath(QStringLiteral("intl/fbintl.conf")))
            || !QFile::copy(system.filePath(QStringLiteral("plugins.conf")),
                FRoot.filePath(QStringLiteral("plugins.conf"))))
            throw std::runtime_error("cannot copy the server's character sets");
        const QString security = FRoot.filePath(QStringLiteral("security3.fdb"));
        if (!QFile::copy(SystemSecurityDatabase, security))
            throw std::runtime_error("cannot copy the security database");
        QFile::setPermissions(security, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        WriteText(FRoot.filePath(QStringLiteral("databases.conf")),
            QStringLiteral("security.db = %1\n").arg(security).toUtf8());

        // The tool manages the users of the security database that the configuration names: it must
        // be the copy before anything is changed, or the system server's password would be.
        FPort = FreeLoopbackPort();
        WriteConfiguration();
        FPassword = RandomPassword();
        QString output;
        // Embedded, the tool needs no password; the server asks for this one over the network.
        if (RunIsql(QStringLiteral("create or alter user %1 password '%2' using plugin Srp;\ncommit;\n")
                        .arg(ServerUser, FPassword),
                { security }, true, &output)
            != 0)
            throw std::runtime_error(("cannot set the server's password: " + output).toStdString());
    }

    void WriteConfiguration()
    {
        WriteText(FRoot.filePath(QStringLiteral("firebird.conf")),
            QStringLiteral("RemoteServicePort = %1\n"
                           "RemoteBindAddress = 127.0.0.1\n"
                           "SecurityDatabase = %2\n"
                           "DatabaseAccess = Restrict %3\n"
                           "UdfAccess = None\n"
                           "ServerMode = Super\n"
                           "DefaultDbCachePages = 256\n")
                .arg(FPort)
                .arg(FRoot.filePath(QStringLiteral("security3.fdb")), FData.path())
                .toUtf8());
    }

    void Launch()
    {
        QString failure;
        // A port picked as free may be taken before the server binds it: try a few.
        for (int attempt = 0; attempt < 3; ++attempt) {
            FPort = FreeLoopbackPort();
            if (FPort <= 0)
                throw std::runtime_error("no free loopback port");
            WriteConfiguration();
            if (LaunchServer(failure))
                return;
            Stop();
        }
        throw std::runtime_error(("the Firebird server did not start: " + failure).toStdString());
    }

    bool LaunchServer(QString& failure)
    {
        FProcess = std::make_unique<QProcess>();
        FProcess->setProcessChannelMode(QProcess::MergedChannels);
        FProcess->setProcessEnvironment(Environment());
        FProcess->setWorkingDirectory(FFolder.path());
        const pid_t parent = ::getpid();
        // The server goes with the test process, even when a crash skips every destructor.
        FProcess->setChildProcessModifier([=] {
            if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent)
                ::_exit(125);
        });
        QElapsedTimer clock;
        clock.start();
        FProcess->start(ServerBinary, {});
        if (!FProcess->waitForStarted(CommandTimeoutMs)) {
            failure = FProcess->errorString();
            return false;
        }
        while (clock.elapsed() < StartTimeoutMs) {
            if (FProcess->state() == QProcess::NotRunning) {
                failure = QStringLiteral("the server ended: ") + Output();
                return false;
            }
            if (AcceptsConnections(FPort)) {
                FStartMilliseconds = clock.elapsed();
                return true;
            }
            FProcess->waitForFinished(20);
        }
        failure = QStringLiteral("not listening after %1 s: ").arg(StartTimeoutMs / 1000) + Output();
        return false;
    }

    QString FSystemRoot;
    QTemporaryDir FFolder;
    QDir FRoot;
    QDir FData;
    int FPort = -1;
    QString FPassword;
    qint64 FStartMilliseconds = -1;
    qint64 FPrepareMilliseconds = -1;
    std::unique_ptr<QProcess> FProcess;
};

// The shop's tables with the types a Firebird shop uses: quantities and prices as exact decimals,
// rates as floating point, texts in WIN1252 and names in the Brazilian collation (WIN_PTBR is the
// WIN1252 collation for Brazilian Portuguese; PT_BR exists only for ISO8859_1). The names stay
// unquoted, as the inventory statement writes them, so the server folds both to upper case.
QStringList ShopTables(bool withProducts, bool withParameters)
{
    QStringList statements;
    if (withProducts)
        statements << QStringLiteral(
            "create table acadprod (CODIGO varchar(20) character set WIN1252 not null primary key, "
            "NOME varchar(60) character set WIN1252 collate WIN_PTBR, UNIDADE varchar(3) character set "
            "WIN1252, "
            "SALDO_ATU numeric(15,3), PRECO_CUST numeric(15,2), PRECO_VEND numeric(15,2), "
            "COD_BARRA varchar(13) character set WIN1252)");
    statements << QStringLiteral(
        "create table aprdtrib (COD_PROD varchar(20) character set WIN1252 not null primary "
        "key, TRIBUTO varchar(21) character set WIN1252, PERC_ICM double precision)");
    if (withParameters)
        statements << QStringLiteral(
            "create table Parametr (RAZAO_SOCIAL varchar(40) character set WIN1252)");
    return statements;
}

// Copies the tables of an SQLite shop file (the demo's) into a server database with the tables above.
void CopyShop(const QString& sqliteFile, const TFirebirdServer& server, const QString& database,
    bool withProducts, bool withParameters)
{
    const QString sourceName = QStringLiteral("fb-test-source");
    const QString targetName = QStringLiteral("fb-test-target");
    {
        QSqlDatabase source = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), sourceName);
        source.setDatabaseName(sqliteFile);
        if (!source.open())
            throw std::runtime_error(source.lastError().text().toStdString());
        QSqlDatabase target = server.Connect(targetName, database);
        struct TCopy
        {
            const char* Table;
            const char* Columns;
            const char* Values;
            bool Wanted;
        };
        // Numbers go as doubles, and the server rounds them to the columns' decimals.
        const TCopy copies[] = {
            { "acadprod", "CODIGO, NOME, UNIDADE, SALDO_ATU, PRECO_CUST, PRECO_VEND, COD_BARRA",
                "?, ?, ?, cast(? as double precision), cast(? as double precision), cast(? as double "
                "precision), ?",
                withProducts },
            { "aprdtrib", "COD_PROD, TRIBUTO, PERC_ICM", "?, ?, ?", true },
            { "Parametr", "RAZAO_SOCIAL", "?", withParameters },
        };
        if (!target.transaction())
            throw std::runtime_error(target.lastError().text().toStdString());
        for (const TCopy& copy : copies) {
            if (!copy.Wanted)
                continue;
            QSqlQuery read(source);
            read.setForwardOnly(true);
            if (!read.exec(QStringLiteral("select %1 from %2")
                               .arg(QLatin1String(copy.Columns), QLatin1String(copy.Table))))
                throw std::runtime_error(read.lastError().text().toStdString());
            QSqlQuery write(target);
            if (!write.prepare(QStringLiteral("insert into %1 (%2) values (%3)")
                                   .arg(QLatin1String(copy.Table), QLatin1String(copy.Columns),
                                       QLatin1String(copy.Values))))
                throw std::runtime_error(write.lastError().text().toStdString());
            while (read.next()) {
                for (int i = 0; i < read.record().count(); ++i)
                    write.addBindValue(read.value(i));
                if (!write.exec())
                    throw std::runtime_error(write.lastError().text().toStdString());
            }
        }
        if (!target.commit())
            throw std::runtime_error(target.lastError().text().toStdString());
        source.close();
        target.close();
    }
    QSqlDatabase::removeDatabase(sourceName);
    QSqlDatabase::removeDatabase(targetName);
}

struct TAliasFields
{
    QString Database;
    int Port;
    QString Password;
    QString Options;
};

QString WriteAliasFile(const QString& fileName, const TAliasFields& fields)
{
    QString text
        = QStringLiteral("; the shop's Firebird server\n[%1]\nDriver=QIBASE\nHost=127.0.0.1\nPort=%2\n"
                         "Database=%3\nUser=%4\nPassword=%5\n")
              .arg(Alias)
              .arg(fields.Port)
              .arg(fields.Database, ServerUser, fields.Password);
    if (!fields.Options.isEmpty())
        text += QStringLiteral("Options=%1\n").arg(fields.Options);
    WriteText(fileName, text.toUtf8());
    return fileName;
}

bool DriverMissing(QString& reason)
{
    if (QSqlDatabase::isDriverAvailable(QStringLiteral("QIBASE")))
        return false;
    reason = QStringLiteral("the Qt SQL driver QIBASE is not installed (Debian: libqt6sql6-ibase; run "
                            "scripts/install-deps.sh)");
    return true;
}

// ---- Reading the pages ----------------------------------------------------------------------------

// A name as the Brazilian collation weighs it first: without accents, case folded.
QString Folded(const QString& text)
{
    QString folded;
    for (const QChar c : text.normalized(QString::NormalizationForm_D))
        if (!c.isMark())
            folded += c.toUpper();
    return folded;
}

struct TPageLine
{
    int Kind = 0, Left = 0, Top = 0, Right = 0, Bottom = 0;
    QString Text;
};

TPageLine ParseLine(const QString& line)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d+) (-?\\d+),(-?\\d+),(-?\\d+),(-?\\d+)(?: (.*))?$"));
    const QRegularExpressionMatch match = pattern.match(line);
    TPageLine parsed;
    if (!match.hasMatch())
        return parsed;
    parsed.Kind = match.captured(1).toInt();
    parsed.Left = match.captured(2).toInt();
    parsed.Top = match.captured(3).toInt();
    parsed.Right = match.captured(4).toInt();
    parsed.Bottom = match.captured(5).toInt();
    parsed.Text = match.captured(6);
    return parsed;
}

// A page split into its product lines and the rest: the product lines as the codes they show and
// their objects relative to the line, the rest as it is, with the running subtotal taken out.
struct TPageParts
{
    QStringList Codes;
    QStringList Rows;
    QStringList Rest;
    QString Subtotal;
};

QList<TPageParts> SplitPages(const QList<QStringList>& pages, const std::map<QString, QString>& names)
{
    QList<TPageParts> result;
    for (const QStringList& page : pages) {
        TPageParts parts;
        QList<TPageLine> lines;
        for (const QString& line : page)
            lines.append(ParseLine(line));
        QList<bool> used(lines.size(), false);
        for (int i = 0; i < lines.size(); ++i) {
            if (used[i] || names.count(lines[i].Text) == 0)
                continue;
            const int top = lines[i].Top;
            QList<TPageLine> row;
            for (int j = 0; j < lines.size(); ++j) {
                if (!used[j] && qAbs(lines[j].Top - top) <= 1 && lines[j].Bottom - lines[j].Top < 20) {
                    used[j] = true;
                    row.append(lines[j]);
                }
            }
            std::sort(row.begin(), row.end(),
                [](const TPageLine& a, const TPageLine& b) { return a.Left < b.Left; });
            QStringList texts;
            for (const TPageLine& object : row)
                texts << QStringLiteral("%1 %2,%3,%4,%5 %6")
                             .arg(object.Kind)
                             .arg(object.Left)
                             .arg(object.Top - top)
                             .arg(object.Right)
                             .arg(object.Bottom - top)
                             .arg(object.Text);
            parts.Codes.append(lines[i].Text);
            parts.Rows.append(texts.join(QStringLiteral(" | ")));
        }
        int subtotalTop = INT_MIN;
        for (const TPageLine& line : lines)
            if (line.Text == QLatin1String("SUB - TOTAL"))
                subtotalTop = line.Top;
        static const QRegularExpression money(QStringLiteral("^-?[\\d.]+,\\d\\d$"));
        for (int i = 0; i < lines.size(); ++i) {
            if (used[i])
                continue;
            if (lines[i].Top == subtotalTop && money.match(lines[i].Text).hasMatch()) {
                parts.Subtotal = lines[i].Text;
                continue;
            }
            parts.Rest.append(page[i]);
        }
        result.append(parts);
    }
    return result;
}

// ---- Reading the PDF and the workbook with independent readers -----------------------------------

QByteArray RunReader(const QString& program, const QStringList& arguments, QString& failure)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted(10000) || !process.waitForFinished(120000)
        || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        failure = program + QStringLiteral(": ") + process.errorString() + QLatin1Char(' ')
            + QString::fromUtf8(process.readAllStandardError());
        return QByteArray();
    }
    return process.readAllStandardOutput();
}

// Every non-empty cell of every sheet in reading order, as text (numbers as the reader gives them).
QStringList WorkbookCells(const QString& fileName, QString& failure)
{
    static const QString script
        = QStringLiteral("import sys, json, xlrd\n"
                         "b = xlrd.open_workbook(sys.argv[1])\n"
                         "out = []\n"
                         "for s in b.sheets():\n"
                         "    for r in range(s.nrows):\n"
                         "        for c in range(s.ncols):\n"
                         "            cell = s.cell(r, c)\n"
                         "            if cell.ctype == xlrd.XL_CELL_TEXT and cell.value.strip():\n"
                         "                out.append(cell.value)\n"
                         "            elif cell.ctype == xlrd.XL_CELL_NUMBER:\n"
                         "                out.append(repr(cell.value))\n"
                         "sys.stdout.write(json.dumps(out))\n");
    const QString python = QFile::exists(QStringLiteral("/usr/bin/python3"))
        ? QStringLiteral("/usr/bin/python3")
        : QStringLiteral("python3");
    const QByteArray output = RunReader(python, { QStringLiteral("-c"), script, fileName }, failure);
    QStringList cells;
    for (const QJsonValue& value : QJsonDocument::fromJson(output).array())
        cells.append(value.toString());
    return cells;
}

// ---- The fixture: one server for the whole file --------------------------------------------------

class FirebirdExportTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        FUnavailable.clear();
        FStartFailure.clear();
        FSystemSecurityStamp = QFileInfo(SystemSecurityDatabase).lastModified();
        if (DriverMissing(FUnavailable))
            return;
        try {
            FServer = TFirebirdServer::Start(FUnavailable);
            if (FServer)
                std::cout << "[ server   ] Firebird listened on 127.0.0.1:" << FServer->Port() << " "
                          << FServer->StartMilliseconds()
                          << " ms after it was started (its folder and password took "
                          << FServer->PrepareMilliseconds() << " ms before that)" << std::endl;
        } catch (const std::exception& error) {
            FStartFailure = QString::fromUtf8(error.what());
        }
    }
    static void TearDownTestSuite()
    {
        CloseAliasConnections();
        FServer.reset();
    }

    void SetUp() override
    {
        ASSERT_TRUE(FFolder.isValid());
        if (!FUnavailable.isEmpty()) {
            if (InCi())
                FAIL() << "Firebird tests cannot run in CI: " << FUnavailable.toStdString();
            GTEST_SKIP() << "Firebird tests skipped: " << FUnavailable.toStdString();
        }
        ASSERT_TRUE(FServer) << "the test server did not start: " << FStartFailure.toStdString();
    }

    // The test's server has a security database of its own; the system's is never written.
    void TearDown() override
    {
        if (FServer) {
            EXPECT_EQ(QFileInfo(SystemSecurityDatabase).lastModified(), FSystemSecurityStamp)
                << SystemSecurityDatabase.toStdString() << " was changed";
        }
    }

    QString Path(const char* name) const { return FFolder.filePath(QString::fromUtf8(name)); }

    // The demo shop once as an SQLite file and once in a server database of that name.
    QString DemoShop(const QString& database, bool withProducts = true, bool withParameters = true)
    {
        const QString sqlite = FFolder.filePath(database + QStringLiteral(".db"));
        CreateDemoDatabase(sqlite, DemoProducts, true);
        FServer->CreateDatabase(database, ShopTables(withProducts, withParameters));
        CopyShop(sqlite, *FServer, database, withProducts, withParameters);
        return sqlite;
    }

    static std::unique_ptr<TFirebirdServer> FServer;
    static QString FUnavailable;
    static QString FStartFailure;
    static QDateTime FSystemSecurityStamp;
    QTemporaryDir FFolder;
};

std::unique_ptr<TFirebirdServer> FirebirdExportTest::FServer;
QString FirebirdExportTest::FUnavailable;
QString FirebirdExportTest::FStartFailure;
QDateTime FirebirdExportTest::FSystemSecurityStamp;

// code -> name, from the SQLite shop.
std::map<QString, QString> ProductNames(const QString& sqliteFile)
{
    std::map<QString, QString> names;
    const QString connectionName = QStringLiteral("fb-test-names");
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        database.setDatabaseName(sqliteFile);
        if (!database.open())
            throw std::runtime_error(database.lastError().text().toStdString());
        QSqlQuery query(database);
        if (!query.exec(QStringLiteral("select CODIGO, NOME from acadprod")))
            throw std::runtime_error(query.lastError().text().toStdString());
        while (query.next())
            names[query.value(0).toString()] = query.value(1).toString();
        database.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    return names;
}

// code -> SALDO_ATU * PRECO_CUST of the products the inventory reports, from the SQLite shop.
std::map<QString, double> ProductValues(const QString& sqliteFile)
{
    std::map<QString, double> values;
    const QString connectionName = QStringLiteral("fb-test-values");
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        database.setDatabaseName(sqliteFile);
        if (!database.open())
            throw std::runtime_error(database.lastError().text().toStdString());
        QSqlQuery query(database);
        if (!query.exec(InventoryStatementLines().join('\n')))
            throw std::runtime_error(query.lastError().text().toStdString());
        while (query.next())
            values[query.value(0).toString()] = query.value(1 + 4).toDouble();
        database.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
    return values;
}

// Lists compared as text, so that a failure shows readable lines.
std::string Lines(const QStringList& list)
{
    return list.join(QLatin1Char('\n')).toStdString();
}

QStringList AllCodes(const QList<TPageParts>& pages)
{
    QStringList codes;
    for (const TPageParts& page : pages)
        codes += page.Codes;
    return codes;
}

QStringList AllRows(const QList<TPageParts>& pages)
{
    QStringList rows;
    for (const TPageParts& page : pages)
        rows += page.Rows;
    return rows;
}

TEST_F(FirebirdExportTest, ExportsGiveTheEmbeddedDatabasesPagesWithNamesInTheServersCollation)
{
    const QString sqlite = DemoShop(QStringLiteral("loja"));
    const std::map<QString, QString> names = ProductNames(sqlite);
    const QString aliases = WriteAliasFile(Path("aliases.ini"),
        { FServer->DatabasePath(QStringLiteral("loja")), FServer->Port(), FServer->Password(),
            QStringLiteral("ISC_DPB_LC_CTYPE=UTF8") });

    const QString fromServer = Path("servidor.pgx");
    const QString fromFile = Path("arquivo.pgx");
    const TAliasExportRun server
        = RunAliasExport({ "--export", fromServer, "--aliases", aliases, "--date", "31/12/2024" });
    ASSERT_EQ(server.ExitCode, ecWritten) << server.Messages.toStdString();
    const TAliasExportRun file
        = RunAliasExport({ "--export", fromFile, "--database", sqlite, "--date", "31/12/2024" });
    ASSERT_EQ(file.ExitCode, ecWritten) << file.Messages.toStdString();

    const QList<TPageParts> serverPages = SplitPages(DescribePages(fromServer), names);
    const QList<TPageParts> filePages = SplitPages(DescribePages(fromFile), names);
    ASSERT_GE(filePages.size(), 3) << "the data should fill several pages";
    ASSERT_EQ(serverPages.size(), filePages.size());

    // Everything but the product lines and their running subtotal is the same, page by page: headings,
    // page numbers, date, company name, column titles and the closing summary with every total.
    for (int p = 0; p < filePages.size(); ++p) {
        EXPECT_EQ(serverPages[p].Rest.join('\n').toStdString(), filePages[p].Rest.join('\n').toStdString())
            << "page " << p;
        EXPECT_EQ(serverPages[p].Rows.size(), filePages[p].Rows.size()) << "page " << p;
    }
    const QString lastPage = serverPages.last().Rest.join('\n');
    EXPECT_TRUE(lastPage.contains(QStringLiteral(" TOTAL - GERAL"))) << lastPage.toStdString();
    EXPECT_TRUE(serverPages.first().Rest.join('\n').contains(
        QStringLiteral(" QUILLBOROUGH COMÉRCIO DE ALIMENTOS LTDA")));
    // The last column footer shows the grand total, which the summary shows too (a summary that moves
    // to a page of its own has no column footer there).
    int lastFooter = int(serverPages.size()) - 1;
    while (lastFooter > 0 && serverPages[lastFooter].Subtotal.isEmpty())
        --lastFooter;
    ASSERT_FALSE(serverPages[lastFooter].Subtotal.isEmpty());
    EXPECT_TRUE(lastPage.contains(QStringLiteral(" TOTAL - GERAL\n")));
    EXPECT_TRUE((lastPage + QLatin1Char('\n'))
                    .contains(QLatin1Char(' ') + serverPages[lastFooter].Subtotal + QLatin1Char('\n')))
        << serverPages[lastFooter].Subtotal.toStdString();
    EXPECT_EQ(serverPages[lastFooter].Subtotal, filePages[lastFooter].Subtotal);

    // The same product lines, each exactly as the embedded database prints it.
    QStringList serverRows = AllRows(serverPages);
    QStringList fileRows = AllRows(filePages);
    ASSERT_GT(serverRows.size(), 200);
    std::sort(serverRows.begin(), serverRows.end());
    std::sort(fileRows.begin(), fileRows.end());
    EXPECT_EQ(Lines(serverRows), Lines(fileRows));

    // Their order is the server's: the lines follow the inventory statement run there, and its
    // collation sorts by letters without regard to accents or case.
    const QStringList serverCodes = AllCodes(serverPages);
    {
        QStringList direct;
        {
            QSqlDatabase connection
                = FServer->Connect(QStringLiteral("fb-test-order"), QStringLiteral("loja"));
            QSqlQuery query(connection);
            ASSERT_TRUE(query.exec(InventoryStatementLines().join('\n')))
                << query.lastError().text().toStdString();
            while (query.next())
                direct << query.value(0).toString();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("fb-test-order"));
        EXPECT_EQ(Lines(serverCodes), Lines(direct));
    }
    const QStringList fileCodes = AllCodes(filePages);
    QStringList serverNames, fileNames;
    for (const QString& code : serverCodes)
        serverNames << names.at(code);
    for (const QString& code : fileCodes)
        fileNames << names.at(code);
    for (int i = 1; i < serverNames.size(); ++i)
        EXPECT_LE(Folded(serverNames[i - 1]).at(0), Folded(serverNames[i]).at(0))
            << serverNames[i - 1].toStdString() << " before " << serverNames[i].toStdString();
    const auto firstWith = [](const QStringList& list, const QString& prefix) {
        for (int i = 0; i < list.size(); ++i)
            if (list[i].startsWith(prefix))
                return i;
        return -1;
    };
    const QString water = QStringLiteral("ÁGUA ");
    const int serverWater = firstWith(serverNames, water);
    const int fileWater = firstWith(fileNames, water);
    ASSERT_GE(serverWater, 1) << "the demo shop should have water among its first lines";
    ASSERT_GE(fileWater, 0);
    // With the A's on the server: after "AÇÚCAR" and "ACHOCOLATADO", before "AMACIANTE" and the B's.
    EXPECT_EQ(Folded(serverNames[serverWater - 1]).at(0), QLatin1Char('A'))
        << serverNames[serverWater - 1].toStdString();
    EXPECT_LT(serverWater, firstWith(serverNames, QStringLiteral("AMACIANTE")));
    EXPECT_LT(firstWith(serverNames, QStringLiteral("AÇÚCAR")), serverWater);
    // Byte order in the embedded database puts it after every unaccented name: so this data does tell
    // the two orders apart.
    EXPECT_GT(fileWater, firstWith(fileNames, QStringLiteral("XAMPU")));
    EXPECT_NE(serverCodes, fileCodes);

    // Every column footer shows the running total up to its page's last line, in the server's order.
    {
        const std::map<QString, double> values = ProductValues(sqlite);
        double running = 0;
        for (int p = 0; p < serverPages.size(); ++p) {
            for (const QString& code : serverPages[p].Codes)
                running += values.at(code);
            if (!serverPages[p].Subtotal.isEmpty()) {
                EXPECT_EQ(serverPages[p].Subtotal, FormatFloat(QStringLiteral("#,###,##0.00"), running))
                    << "page " << p;
            }
        }
    }

    // The accented names come through the server's WIN1252 columns intact.
    const QString allRows = AllRows(serverPages).join('\n');
    EXPECT_TRUE(allRows.contains(QStringLiteral("QUEIJO MUÇARELA"))) << "no MUÇARELA";
    EXPECT_TRUE(allRows.contains(QStringLiteral("ÁGUA MINERAL S/ GÁS"))) << "no ÁGUA MINERAL";
    EXPECT_FALSE(allRows.contains(QChar(0xFFFD)));

    // The PDF shows the same lines on the same pages, as poppler reads it.
    const QString pdf = Path("servidor.pdf");
    const TAliasExportRun pdfRun
        = RunAliasExport({ "--export", pdf, "--aliases", aliases, "--date", "31/12/2024" });
    ASSERT_EQ(pdfRun.ExitCode, ecWritten) << pdfRun.Messages.toStdString();
    QString failure;
    const QString pdfText = QString::fromUtf8(RunReader(
        QStringLiteral("pdftotext"), { QStringLiteral("-layout"), pdf, QStringLiteral("-") }, failure));
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    QStringList pdfPages = pdfText.split(QLatin1Char('\f'));
    while (!pdfPages.isEmpty() && pdfPages.last().trimmed().isEmpty())
        pdfPages.removeLast();
    ASSERT_EQ(pdfPages.size(), serverPages.size());
    static const QRegularExpression codePattern(QStringLiteral("\\b\\d{7}\\b"));
    for (int p = 0; p < pdfPages.size(); ++p) {
        QStringList codes;
        for (const QRegularExpressionMatch& match : codePattern.globalMatch(pdfPages[p]))
            codes << match.captured();
        EXPECT_EQ(Lines(codes), Lines(serverPages[p].Codes)) << "PDF page " << p;
    }
    EXPECT_TRUE(pdfText.contains(QStringLiteral("ÁGUA MINERAL S/ GÁS")));
    EXPECT_TRUE(pdfText.contains(QStringLiteral("QUEIJO MUÇARELA")));

    // The workbook holds the same cells as the embedded database's, apart from the page totals, and
    // the products in the server's order.
    const QString serverXls = Path("servidor.xls");
    const QString fileXls = Path("arquivo.xls");
    const TAliasExportRun xlsRun
        = RunAliasExport({ "--export", serverXls, "--aliases", aliases, "--date", "31/12/2024" });
    ASSERT_EQ(xlsRun.ExitCode, ecWritten) << xlsRun.Messages.toStdString();
    const TAliasExportRun fileXlsRun
        = RunAliasExport({ "--export", fileXls, "--database", sqlite, "--date", "31/12/2024" });
    ASSERT_EQ(fileXlsRun.ExitCode, ecWritten) << fileXlsRun.Messages.toStdString();
    QStringList serverCells = WorkbookCells(serverXls, failure);
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    QStringList fileCells = WorkbookCells(fileXls, failure);
    ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    QStringList cellCodes;
    for (const QString& cell : serverCells)
        if (names.count(cell))
            cellCodes << cell;
    EXPECT_EQ(Lines(cellCodes), Lines(serverCodes));
    const auto withoutSubtotals = [](QStringList cells, const QList<TPageParts>& pages) {
        for (const TPageParts& page : pages)
            cells.removeOne(page.Subtotal);
        std::sort(cells.begin(), cells.end());
        return cells;
    };
    EXPECT_EQ(
        Lines(withoutSubtotals(serverCells, serverPages)), Lines(withoutSubtotals(fileCells, filePages)));
    EXPECT_TRUE(serverCells.contains(QStringLiteral("ÁGUA MINERAL S/ GÁS"))
        || serverCells.join('\n').contains(QStringLiteral("ÁGUA MINERAL S/ GÁS")));
}

// The dataset layer over the server: the statement's fields with the types and sizes the report
// expects, the count, the parameter table, and a walk restarted while the reader thread runs ahead.
TEST_F(FirebirdExportTest, DatasetsReadTheServersTypesAndTextsAsTheEmbeddedDatabasesOnes)
{
    const QString sqlite = DemoShop(QStringLiteral("tipos"));
    const QString aliases = WriteAliasFile(Path("aliases.ini"),
        { FServer->DatabasePath(QStringLiteral("tipos")), FServer->Port(), FServer->Password(), {} });

    struct TFieldSeen
    {
        QString Name;
        TFieldType Type;
        int Size;
    };
    struct TRead
    {
        QList<TFieldSeen> Fields;
        int Count = 0;
        QStringList Lines; // every record, in order
        QString Company;
    };
    const auto read = [](bool walkTwice) {
        TRead result;
        TComponent owner(nullptr);
        auto* table = new TTable(&owner);
        table->SetDatabaseName(Alias);
        table->SetTableName(QStringLiteral("Parametr.DB"));
        table->Open();
        result.Company = table->FieldByName(QStringLiteral("RAZAO_SOCIAL"))->AsString();
        auto* query = new TQuery(&owner);
        query->SetDatabaseName(Alias);
        query->SetSQL(InventoryStatementLines());
        query->Open();
        for (int i = 0; i < query->FieldCount(); ++i) {
            const TField* field = query->Fields(i);
            result.Fields.append({ field->FieldName(), field->DataType(), field->Size() });
        }
        result.Count = query->RecordCount();
        for (int pass = 0; pass < (walkTwice ? 2 : 1); ++pass) {
            result.Lines.clear();
            for (query->First(); !query->Eof(); query->Next()) {
                QStringList values;
                for (int i = 0; i < query->FieldCount(); ++i)
                    values << query->Fields(i)->AsString();
                result.Lines << values.join(QStringLiteral(" | "));
                if (walkTwice && pass == 0 && result.Lines.size() == 100)
                    break; // the second pass starts again while the reader is ahead
            }
        }
        return result;
    };

    TRead fromServer;
    {
        qputenv("QB_ALIASES", QFile::encodeName(aliases));
        CloseAliasConnections();
        fromServer = read(true);
        qunsetenv("QB_ALIASES");
        CloseAliasConnections();
    }
    TRead fromFile;
    {
        TAliasScope scope(sqlite);
        fromFile = read(false);
    }
    ASSERT_EQ(fromServer.Fields.size(), fromFile.Fields.size());
    for (int i = 0; i < fromFile.Fields.size(); ++i) {
        SCOPED_TRACE(fromFile.Fields[i].Name.toStdString());
        EXPECT_EQ(fromServer.Fields[i].Name, fromFile.Fields[i].Name);
        EXPECT_EQ(fromServer.Fields[i].Type, fromFile.Fields[i].Type);
        EXPECT_EQ(fromServer.Fields[i].Size, fromFile.Fields[i].Size);
    }
    EXPECT_EQ(fromServer.Count, fromFile.Count);
    EXPECT_EQ(fromServer.Lines.size(), fromFile.Count);
    EXPECT_EQ(fromServer.Company, QStringLiteral("QUILLBOROUGH COMÉRCIO DE ALIMENTOS LTDA"));
    // The same records with the same texts and numbers, in another order.
    QStringList serverLines = fromServer.Lines;
    QStringList fileLines = fromFile.Lines;
    std::sort(serverLines.begin(), serverLines.end());
    std::sort(fileLines.begin(), fileLines.end());
    EXPECT_EQ(Lines(serverLines), Lines(fileLines));
}

TEST_F(FirebirdExportTest, FailuresThroughTheAliasNameItExitThreeAndWriteNothing)
{
    DemoShop(QStringLiteral("sem_produtos"), false, true);
    DemoShop(QStringLiteral("sem_parametros"), true, false);
    DemoShop(QStringLiteral("completa"));
    const int closedPort = FreeLoopbackPort();
    ASSERT_GT(closedPort, 0);
    const QString password = FServer->Password();
    const auto database = [&](const char* name) { return FServer->DatabasePath(QString::fromLatin1(name)); };

    struct TCase
    {
        const char* Name;
        TAliasFields Alias;
        const char* Message;
    } cases[] = {
        { "wrong password", { database("completa"), FServer->Port(), "errada-123", {} },
            "Não foi possível conectar ao alias VENDRIX: " },
        { "server down", { database("completa"), closedPort, password, {} },
            "Não foi possível conectar ao alias VENDRIX: " },
        { "no such database", { database("nada"), FServer->Port(), password, {} },
            "Não foi possível conectar ao alias VENDRIX: " },
        { "products table missing", { database("sem_produtos"), FServer->Port(), password, {} },
            "Tabela acadprod não encontrada no alias VENDRIX" },
        { "parameter table missing", { database("sem_parametros"), FServer->Port(), password, {} },
            "Tabela Parametr não encontrada no alias VENDRIX" },
        { "character set the driver does not speak",
            { database("completa"), FServer->Port(), password, "ISC_DPB_LC_CTYPE=WIN1252" },
            "Conjunto de caracteres \"WIN1252\" do alias VENDRIX não é suportado" },
    };
    for (const TCase& c : cases) {
        const QString aliases = WriteAliasFile(Path("aliases.ini"), c.Alias);
        for (const char* extension : { "pgx", "pdf", "xls" }) {
            const QString output = Path("inventario.") + QLatin1String(extension);
            const TAliasExportRun run = RunAliasExport({ "--export", output, "--aliases", aliases });
            EXPECT_EQ(run.ExitCode, ecDatabase) << c.Name << ": " << run.Messages.toStdString();
            EXPECT_TRUE(run.Messages.contains(QString::fromUtf8(c.Message)))
                << c.Name << ": " << run.Messages.toStdString();
            EXPECT_FALSE(run.Messages.contains(c.Alias.Password))
                << c.Name << ": a message shows the password";
            EXPECT_FALSE(QFileInfo::exists(output)) << c.Name << ": a failed export wrote its file";
        }
        EXPECT_EQ(QDir(FFolder.path())
                      .entryList({ QStringLiteral("*.pgx"), QStringLiteral("*.pdf"), QStringLiteral("*.xls"),
                                     QStringLiteral(".*") },
                          QDir::Files | QDir::Hidden),
            QStringList {})
            << c.Name << ": a failed export left files behind";
    }
}

// Needs only the driver: a server that is not there is the commonest failure of all.
TEST(FirebirdAliasTest, UnreachableServerNamesTheAliasAndKeepsThePreviousFile)
{
    QString reason;
    if (DriverMissing(reason)) {
        if (InCi())
            FAIL() << reason.toStdString();
        GTEST_SKIP() << reason.toStdString();
    }
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const int closedPort = FreeLoopbackPort();
    ASSERT_GT(closedPort, 0);
    const QString secret = RandomPassword();
    const QString aliases = WriteAliasFile(folder.filePath(QStringLiteral("aliases.ini")),
        { QStringLiteral("/srv/loja.fdb"), closedPort, secret, {} });
    const QString output = folder.filePath(QStringLiteral("inventario.pdf"));
    WriteText(output, "previous content");
    const TAliasExportRun run = RunAliasExport({ "--export", output, "--aliases", aliases });
    EXPECT_EQ(run.ExitCode, ecDatabase) << run.Messages.toStdString();
    EXPECT_TRUE(run.Messages.contains(QStringLiteral("Não foi possível conectar ao alias VENDRIX: ")))
        << run.Messages.toStdString();
    EXPECT_FALSE(run.Messages.contains(secret));
    QFile previous(output);
    ASSERT_TRUE(previous.open(QIODevice::ReadOnly));
    EXPECT_EQ(previous.readAll(), QByteArray("previous content"));
}

} // namespace
