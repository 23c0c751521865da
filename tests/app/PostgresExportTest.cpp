// The inventory export against a PostgreSQL server reached through an alias file: a throw-away
// cluster is created and started on loopback for these tests, loaded with the same shop data as an
// SQLite reference, and both exports must give the same pages. The failures a shop meets on a server
// (nothing listening, no such database, a table missing, a wrong password) must each give their
// message and exit code and write nothing.
//
// The server binaries come from Debian's postgresql package and the driver from libqt6sql6-psql
// (scripts/install-deps.sh installs both); without them the tests skip and say which is missing.
#include "app/CommandLine.h"

#include "InventoryTestSupport.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Aliases.h"
#include "platform/SqlDataSet.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVersionNumber>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <memory>
#include <stdexcept>

namespace {

const QString Alias = QStringLiteral("VENDRIX");
const QString ServerUser = QStringLiteral("qb_estoque");
const QString ShopDatabase = QStringLiteral("loja");
constexpr int CommandTimeoutMs = 60000;
constexpr int StartTimeoutMs = 30000;

QString Money(double value)
{
    static const QLocale brazil(QLocale::Portuguese, QLocale::Brazil);
    return brazil.toString(value, 'f', 2);
}

// The newest installed server whose bin folder has everything the tests run.
QString FindServerBinaries()
{
    const QDir root(QStringLiteral("/usr/lib/postgresql"));
    QString best;
    QVersionNumber bestVersion;
    for (const QString& entry : root.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString bin = root.filePath(entry + QStringLiteral("/bin"));
        bool complete = true;
        for (const char* tool : { "initdb", "pg_ctl", "postgres" })
            complete = complete && QFileInfo(bin + QLatin1Char('/') + QLatin1String(tool)).isExecutable();
        const QVersionNumber version = QVersionNumber::fromString(entry);
        if (complete && (best.isEmpty() || version > bestVersion)) {
            best = bin;
            bestVersion = version;
        }
    }
    return best;
}

void ExecOrThrow(QSqlQuery& query, const QString& statement)
{
    if (!query.exec(statement))
        throw std::runtime_error((statement + QStringLiteral(": ") + query.lastError().text()).toStdString());
}

// A throw-away PostgreSQL cluster on loopback, stopped when this object goes. The server refuses to
// run as root, so a root test hands the folder to the postgres account (or nobody) and runs the
// server's tools as that account.
class TPostgresServer
{
public:
    // Null with the reason when the machine cannot run one (the tests then skip); throws when a
    // server that should start does not.
    static std::unique_ptr<TPostgresServer> Start(QString& Unavailable)
    {
        const QString bin = FindServerBinaries();
        if (bin.isEmpty()) {
            Unavailable = QStringLiteral("no PostgreSQL server in /usr/lib/postgresql/*/bin (initdb, pg_ctl, "
                                         "postgres): run scripts/install-deps.sh");
            return nullptr;
        }
        std::unique_ptr<TPostgresServer> server(new TPostgresServer(bin));
        if (!server->PrepareAccount(Unavailable))
            return nullptr;
        server->CreateCluster();
        server->StartServer();
        return server;
    }

    ~TPostgresServer() { Stop(); }
    TPostgresServer(const TPostgresServer&) = delete;
    TPostgresServer& operator=(const TPostgresServer&) = delete;

    int Port() const { return FPort; }
    QString Password() const { return FPassword; }

    // A connection of the test's own to one database of the server, as the superuser.
    QSqlDatabase Connect(const QString& connectionName, const QString& database) const
    {
        QSqlDatabase connection = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
        connection.setHostName(QStringLiteral("127.0.0.1"));
        connection.setPort(FPort);
        connection.setUserName(ServerUser);
        connection.setPassword(FPassword);
        connection.setDatabaseName(database);
        if (!connection.open())
            throw std::runtime_error(
                ("cannot connect to the test server: " + connection.lastError().text()).toStdString());
        return connection;
    }

    void CreateDatabase(const QString& name) const
    {
        const QString connectionName = QStringLiteral("pg-test-admin");
        {
            QSqlDatabase admin = Connect(connectionName, QStringLiteral("postgres"));
            {
                QSqlQuery query(admin);
                // Byte order, as SQLite sorts, so "order by NOME" gives both databases the same pages.
                ExecOrThrow(query,
                    QStringLiteral("create database %1 template template0 encoding 'UTF8' lc_collate 'C' "
                                   "lc_ctype 'C'")
                        .arg(name));
            }
            admin.close();
        }
        QSqlDatabase::removeDatabase(connectionName);
    }

    // The server's log, for a failure message.
    QString LogTail() const
    {
        QFile log(FFolder.filePath(QStringLiteral("server.log")));
        if (!log.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromUtf8(log.readAll().right(4000));
    }

private:
    explicit TPostgresServer(const QString& bin)
        : FBin(bin)
    { }

    QString DataFolder() const { return FFolder.filePath(QStringLiteral("data")); }

    bool PrepareAccount(QString& Unavailable)
    {
        if (!FFolder.isValid())
            throw std::runtime_error("cannot create a temporary folder for the server");
        if (::geteuid() != 0)
            return true;
        for (const char* name : { "postgres", "nobody" }) {
            if (const passwd* account = ::getpwnam(name); account && account->pw_uid != 0) {
                FSwitchAccount = true;
                FUid = account->pw_uid;
                FGid = account->pw_gid;
                break;
            }
        }
        if (!FSwitchAccount) {
            Unavailable
                = QStringLiteral("running as root without an unprivileged account (postgres or nobody) "
                                 "for the server");
            return false;
        }
        if (::chown(QFile::encodeName(FFolder.path()).constData(), FUid, FGid) != 0)
            throw std::runtime_error("cannot hand the server's folder to its account");
        return true;
    }

    // The server's tools read no settings of the user's, and speak the plain C locale.
    static QProcessEnvironment ToolEnvironment()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* variable : { "PGDATA", "PGHOST", "PGPORT", "PGUSER", "PGPASSWORD", "PGOPTIONS" })
            environment.remove(QString::fromLatin1(variable));
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));
        return environment;
    }

    // Runs one of the server's tools to its end, within a bounded time. Returns its exit code, or -1
    // when it did not finish (it is killed then).
    int RunTool(const QString& tool, const QStringList& arguments, QString* output = nullptr) const
    {
        QProcess process;
        process.setWorkingDirectory(FFolder.path());
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setProcessEnvironment(ToolEnvironment());
        if (FSwitchAccount) {
            const uid_t uid = FUid;
            const gid_t gid = FGid;
            process.setChildProcessModifier([uid, gid] {
                // Between fork and exec: on failure leave at once rather than run as root.
                if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)
                    ::_exit(126);
            });
        }
        process.start(FBin + QLatin1Char('/') + tool, arguments);
        if (!process.waitForStarted(CommandTimeoutMs))
            return -1;
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

    void HandOver(const QString& fileName) const
    {
        if (FSwitchAccount)
            (void)::chown(QFile::encodeName(fileName).constData(), FUid, FGid);
    }

    void CreateCluster()
    {
        FPassword = RandomPassword();
        const QString passwordFile = FFolder.filePath(QStringLiteral("password"));
        {
            QFile file(passwordFile);
            if (!file.open(QIODevice::WriteOnly) || file.write(FPassword.toUtf8() + '\n') < 0)
                throw std::runtime_error("cannot write the server's password file");
            file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        }
        HandOver(passwordFile);
        // Sockets in the folder stay trusted; TCP needs the password, as a shop's server would.
        QString output;
        const int code = RunTool(QStringLiteral("initdb"),
            { QStringLiteral("-D"), DataFolder(), QStringLiteral("-U"), ServerUser,
                QStringLiteral("--pwfile=") + passwordFile, QStringLiteral("--auth-local=trust"),
                QStringLiteral("--auth-host=scram-sha-256"), QStringLiteral("--no-locale"),
                QStringLiteral("--encoding=UTF8"), QStringLiteral("--no-sync") },
            &output);
        QFile::remove(passwordFile);
        if (code != 0)
            throw std::runtime_error(("initdb failed: " + output).toStdString());
    }

    // The postmaster runs as this process's own child, not through pg_ctl's detached start, so that
    // it can be told to quit when the test process dies, even by a crash that skips every destructor.
    void StartServer()
    {
        QString failure;
        // A port picked as free may be taken before the server binds it: try a few.
        for (int attempt = 0; attempt < 3; ++attempt) {
            FPort = FreeLoopbackPort();
            if (FPort <= 0)
                throw std::runtime_error("no free loopback port");
            if (LaunchServer(failure))
                return;
            Stop();
        }
        throw std::runtime_error(("the PostgreSQL server did not start: " + failure).toStdString());
    }

    bool LaunchServer(QString& failure)
    {
        const QString log = FFolder.filePath(QStringLiteral("server.log"));
        FServerProcess = std::make_unique<QProcess>();
        FServerProcess->setWorkingDirectory(FFolder.path());
        FServerProcess->setProcessEnvironment(ToolEnvironment());
        FServerProcess->setStandardOutputFile(log, QIODevice::Append);
        FServerProcess->setStandardErrorFile(log, QIODevice::Append);
        const bool switchAccount = FSwitchAccount;
        const uid_t uid = FUid;
        const gid_t gid = FGid;
        const pid_t parent = ::getpid();
        FServerProcess->setChildProcessModifier([=] {
            if (switchAccount && (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0))
                ::_exit(126);
            // After the change of account, which would clear it; SIGQUIT is the server's immediate stop.
            if (::prctl(PR_SET_PDEATHSIG, SIGQUIT) != 0 || ::getppid() != parent)
                ::_exit(125);
        });
        FServerProcess->start(FBin + QStringLiteral("/postgres"),
            { QStringLiteral("-D"), DataFolder(), QStringLiteral("-p"), QString::number(FPort),
                QStringLiteral("-c"), QStringLiteral("listen_addresses=127.0.0.1"), QStringLiteral("-c"),
                QStringLiteral("unix_socket_directories=") + FFolder.path(), QStringLiteral("-c"),
                QStringLiteral("fsync=off"), QStringLiteral("-c"), QStringLiteral("synchronous_commit=off"),
                QStringLiteral("-c"), QStringLiteral("full_page_writes=off"), QStringLiteral("-c"),
                QStringLiteral("max_connections=20"), QStringLiteral("-c"),
                QStringLiteral("shared_buffers=16MB") });
        if (!FServerProcess->waitForStarted(CommandTimeoutMs)) {
            failure = FServerProcess->errorString();
            return false;
        }
        FStarted = true;
        // Ready when the server says so in its lock file, as pg_ctl -w waits for it.
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < StartTimeoutMs) {
            if (FServerProcess->state() == QProcess::NotRunning) {
                failure = LogTail();
                return false;
            }
            QFile lock(DataFolder() + QStringLiteral("/postmaster.pid"));
            if (lock.open(QIODevice::ReadOnly)) {
                const QList<QByteArray> lines = lock.readAll().split('\n');
                if (lines.size() > 7 && lines.at(7).trimmed() == "ready")
                    return true;
            }
            FServerProcess->waitForFinished(100);
        }
        failure = QStringLiteral("not ready after %1 s\n").arg(StartTimeoutMs / 1000) + LogTail();
        return false;
    }

    void Stop()
    {
        if (!FServerProcess)
            return;
        if (FStarted && FServerProcess->state() != QProcess::NotRunning) {
            RunTool(QStringLiteral("pg_ctl"),
                { QStringLiteral("-D"), DataFolder(), QStringLiteral("-m"), QStringLiteral("immediate"),
                    QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("30"),
                    QStringLiteral("stop") });
            // pg_ctl could not stop it: end the server this test started, by its own process id.
            if (!FServerProcess->waitForFinished(StartTimeoutMs)) {
                FServerProcess->kill();
                FServerProcess->waitForFinished(5000);
            }
        }
        FStarted = false;
        FServerProcess.reset();
    }

    QString FBin;
    QTemporaryDir FFolder;
    bool FSwitchAccount = false;
    uid_t FUid = 0;
    gid_t FGid = 0;
    int FPort = -1;
    QString FPassword;
    std::unique_ptr<QProcess> FServerProcess;
    bool FStarted = false;
};

// The shop's tables as a server keeps them. The names stay unquoted, as the inventory statement
// writes them, so the server folds both to the same lower-case names.
void FillShop(QSqlDatabase& connection, const QList<TProductRow>& rows, const QString& company,
    bool withProducts, bool withParameters)
{
    QSqlQuery query(connection);
    if (withProducts)
        ExecOrThrow(query,
            QStringLiteral("create table acadprod (CODIGO VARCHAR(20) primary key, NOME VARCHAR(60), "
                           "UNIDADE VARCHAR(3), SALDO_ATU double precision, PRECO_CUST double precision)"));
    ExecOrThrow(query,
        QStringLiteral("create table aprdtrib (COD_PROD VARCHAR(20) primary key, TRIBUTO VARCHAR(21), "
                       "PERC_ICM double precision)"));
    if (withParameters)
        ExecOrThrow(query, QStringLiteral("create table Parametr (RAZAO_SOCIAL VARCHAR(40))"));
    connection.transaction();
    // A failed statement spoils the server's transaction, so only tables that exist are prepared.
    QSqlQuery product(connection);
    if (withProducts)
        product.prepare(QStringLiteral("insert into acadprod values (?, ?, ?, ?, ?)"));
    QSqlQuery tax(connection);
    tax.prepare(QStringLiteral("insert into aprdtrib values (?, ?, ?)"));
    for (const TProductRow& row : rows) {
        if (withProducts) {
            product.addBindValue(row.Code);
            product.addBindValue(row.Name);
            product.addBindValue(row.Unit);
            product.addBindValue(row.Balance);
            product.addBindValue(row.Cost);
            if (!product.exec())
                throw std::runtime_error(product.lastError().text().toStdString());
        }
        if (!row.HasTaxRow)
            continue;
        tax.addBindValue(row.Code);
        tax.addBindValue(row.TaxClass.isNull() ? QVariant(QMetaType::fromType<QString>()) : row.TaxClass);
        tax.addBindValue(row.Rate.isNull() ? QVariant(QMetaType::fromType<double>()) : row.Rate);
        if (!tax.exec())
            throw std::runtime_error(tax.lastError().text().toStdString());
    }
    if (withParameters) {
        QSqlQuery parameter(connection);
        parameter.prepare(QStringLiteral("insert into Parametr values (?)"));
        parameter.addBindValue(company);
        if (!parameter.exec())
            throw std::runtime_error(parameter.lastError().text().toStdString());
    }
    if (!connection.commit())
        throw std::runtime_error(connection.lastError().text().toStdString());
}

void LoadShop(const TPostgresServer& server, const QString& database, const QList<TProductRow>& rows,
    const QString& company, bool withProducts = true, bool withParameters = true)
{
    const QString connectionName = QStringLiteral("pg-test-load");
    // The statements are gone before the connection closes, and the connection before it is removed,
    // whether the load worked or not.
    struct TRemove
    {
        QString Name;
        ~TRemove() { QSqlDatabase::removeDatabase(Name); }
    } remove { connectionName };
    QSqlDatabase connection = server.Connect(connectionName, database);
    struct TClose
    {
        QSqlDatabase& Connection;
        ~TClose()
        {
            Connection.close();
            Connection = QSqlDatabase();
        }
    } close { connection };
    FillShop(connection, rows, company, withProducts, withParameters);
}

// Every tax class and rate rule, excluded rows, NULLs, a missing tax row, accented and quoted names,
// then plain lines to fill several pages. values gets the reported products' SALDO.
QList<TProductRow> ShopRows(std::map<QString, double>& values)
{
    struct TSpecial
    {
        const char* Name;
        double Balance, Cost;
        QVariant TaxClass, Rate;
        bool HasTaxRow = true;
        bool Reported = true;
    };
    const TSpecial specials[] = {
        { "Açúcar cristal", 1, 1234567.89, "Tributado", 7.0 },
        { "Óleo de soja", 2.5, 4.00, "Tributado", 12.0 },
        { "Café 500g", 2.125, 8.00, "Tributado", 17.0 },
        { "Pão d'água", 3, 2.50, "Tributado", 25.0 },
        { "Feijão", 1.5, 6.00, "Tributado", 0.0 },
        { "Arroz", 4, 1.25, "Tributado", 18.0 },
        { "Farinha", 1, 3.00, "Tributado", QVariant() },
        { "Sabão", 1.25, 8.00, "Subst. Tributária", 17.0 },
        { "Leite", 5, 1.00, "Isento", 0.0 },
        { "Sal", 1, 11.00, QVariant(), QVariant() },
        { "Vinagre", 0.001, 0.1, "Tributado", 17.0 },
        { "Zerado", 0, 5.00, "Tributado", 7.0, true, false },
        { "Negativo", -2, 5.00, "Tributado", 7.0, true, false },
        { "Sem custo", 3, 0.00, "Tributado", 7.0, true, false },
        { "Sem tributo", 3, 5.00, QVariant(), QVariant(), false, false },
    };
    QList<TProductRow> rows;
    int n = 0;
    auto add = [&](const QString& name, double balance, double cost, const QVariant& taxClass,
                   const QVariant& rate, bool hasTax, bool reported) {
        ++n;
        const QString code = QStringLiteral("P-%1").arg(n, 5, 10, QLatin1Char('0'));
        rows.append({ code, name, QStringLiteral("UN"), balance, cost, taxClass, rate, hasTax });
        if (reported)
            values[code] = balance * cost;
    };
    for (const TSpecial& s : specials)
        add(QString::fromUtf8(s.Name), s.Balance, s.Cost, s.TaxClass, s.Rate, s.HasTaxRow, s.Reported);
    for (int i = 0; i < 200; ++i)
        add(QStringLiteral("Item %1").arg((i * 7919) % 100003, 6, 10, QLatin1Char('0')), double(i % 5) + 1.5,
            double(2 * (i % 37) + 2) / 10.0 + 0.33, QStringLiteral("Tributado"), double(i % 4 == 0 ? 7 : 17),
            true, true);
    return rows;
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
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("cannot write the alias file");
    QString text
        = QStringLiteral("; the shop's server\n[%1]\nDriver=QPSQL\nDatabase=%2\nHost=127.0.0.1\nPort=%3\n"
                         "User=%4\nPassword=%5\n")
              .arg(Alias, fields.Database)
              .arg(fields.Port)
              .arg(ServerUser, fields.Password);
    if (!fields.Options.isEmpty())
        text += QStringLiteral("Options=%1\n").arg(fields.Options);
    file.write(text.toUtf8());
    return fileName;
}

bool DriverMissing(QString& reason)
{
    if (QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL")))
        return false;
    reason = QStringLiteral("the Qt SQL driver QPSQL is not installed (Debian: libqt6sql6-psql; run "
                            "scripts/install-deps.sh)");
    return true;
}

// One server for the whole file: starting a cluster costs seconds.
class PostgresExportTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        FUnavailable.clear();
        if (DriverMissing(FUnavailable))
            return;
        try {
            FServer = TPostgresServer::Start(FUnavailable);
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
        if (!FUnavailable.isEmpty())
            GTEST_SKIP() << "PostgreSQL tests skipped: " << FUnavailable.toStdString();
        ASSERT_TRUE(FServer) << "the test server did not start: " << FStartFailure.toStdString();
    }

    QString Path(const char* name) const { return FFolder.filePath(QString::fromUtf8(name)); }

    static std::unique_ptr<TPostgresServer> FServer;
    static QString FUnavailable;
    static QString FStartFailure;
    QTemporaryDir FFolder;
};

std::unique_ptr<TPostgresServer> PostgresExportTest::FServer;
QString PostgresExportTest::FUnavailable;
QString PostgresExportTest::FStartFailure;

TEST_F(PostgresExportTest, ServerExportGivesTheSamePagesAsTheEmbeddedDatabase)
{
    std::map<QString, double> values;
    const QList<TProductRow> rows = ShopRows(values);
    const QString company = QStringLiteral("Comércio Quillborough Ltda");
    FServer->CreateDatabase(ShopDatabase);
    LoadShop(*FServer, ShopDatabase, rows, company);
    const QString aliases
        = WriteAliasFile(Path("aliases.ini"), { ShopDatabase, FServer->Port(), FServer->Password(), {} });
    const QString sqlite = CreateInventoryDatabase(FFolder.path(), QStringLiteral("loja.db"), rows, company);

    const QString fromServer = Path("servidor.pgx");
    const QString fromFile = Path("arquivo.pgx");
    const TAliasExportRun server
        = RunAliasExport({ "--export", fromServer, "--aliases", aliases, "--date", "31/12/2024" });
    ASSERT_EQ(server.ExitCode, ecWritten) << server.Messages.toStdString();
    const TAliasExportRun file
        = RunAliasExport({ "--export", fromFile, "--database", sqlite, "--date", "31/12/2024" });
    ASSERT_EQ(file.ExitCode, ecWritten) << file.Messages.toStdString();

    const QList<QStringList> serverPages = DescribePages(fromServer);
    const QList<QStringList> filePages = DescribePages(fromFile);
    ASSERT_GE(filePages.size(), 3) << "the data should fill several pages:\n"
                                   << filePages.value(0).join('\n').toStdString();
    ASSERT_EQ(serverPages.size(), filePages.size());
    ExpectSamePages(serverPages, filePages, "in-process export");

    // The pages agree; they must also be right, or two equal faults would pass.
    double total = 0;
    for (const auto& [code, value] : values)
        total += value;
    const QString lastPage = serverPages.last().join('\n');
    EXPECT_TRUE(lastPage.contains(QStringLiteral(" TOTAL - GERAL\n")));
    EXPECT_TRUE(lastPage.contains(QLatin1Char(' ') + Money(total))) << Money(total).toStdString();
    EXPECT_TRUE(serverPages.first().join('\n').contains(QLatin1Char(' ') + company));
    int lines = 0;
    for (const QStringList& page : serverPages)
        for (const QString& line : page)
            lines += line.contains(QStringLiteral(" P-")) ? 1 : 0;
    EXPECT_EQ(lines, int(values.size()));

    // The built program reaches the server the same way.
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/../app/inventario");
    if (QFileInfo(program).isExecutable()) {
        const QString fromProgram = Path("programa.pgx");
        QProcess process;
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, { "--export", fromProgram, "--aliases", aliases, "--date", "31/12/2024" });
        ASSERT_TRUE(process.waitForFinished(120000));
        EXPECT_EQ(process.exitCode(), ecWritten) << process.readAll().constData();
        ExpectSamePages(DescribePages(fromProgram), filePages, "program");
    }
}

// The server sends a streamed result in pieces on its connection; a count, a table opened beside it
// or a second statement on that connection used to drop the rest, and the walk ended early or failed.
TEST_F(PostgresExportTest, ServerQueryKeepsItsRecordsWhileOtherStatementsRun)
{
    const int products = 120;
    FServer->CreateDatabase(QStringLiteral("fluxo"));
    LoadShop(*FServer, QStringLiteral("fluxo"), SimpleProducts(products), QStringLiteral("Loja Fluxo"));
    const QString aliases = WriteAliasFile(
        Path("aliases.ini"), { QStringLiteral("fluxo"), FServer->Port(), FServer->Password(), {} });
    qputenv("QB_ALIASES", QFile::encodeName(aliases));
    CloseAliasConnections();
    {
        TComponent owner(nullptr);
        auto* table = new TTable(&owner);
        table->SetDatabaseName(Alias);
        table->SetTableName(QStringLiteral("Parametr.DB"));
        table->Open();
        auto* query = new TQuery(&owner);
        query->SetDatabaseName(Alias);
        query->SetSQL({ QStringLiteral("select CODIGO, SALDO_ATU * PRECO_CUST as SALDO"),
            QStringLiteral("from acadprod order by CODIGO") });
        query->Open();
        auto* other = new TQuery(&owner);
        other->SetDatabaseName(Alias);
        other->SetSQL({ QStringLiteral("select COD_PROD from aprdtrib") });
        EXPECT_EQ(query->RecordCount(), products);
        for (int pass = 0; pass < 2; ++pass) {
            query->First();
            int seen = 0;
            double total = 0;
            while (!query->Eof()) {
                ++seen;
                EXPECT_EQ(query->FieldByName(QStringLiteral("CODIGO"))->AsString(),
                    QStringLiteral("%1").arg(seen, 4, 10, QLatin1Char('0')));
                total += query->FieldByName(QStringLiteral("SALDO"))->AsFloat();
                if (seen == products / 2) {
                    // Midway: another statement runs and is read to its end.
                    other->Open();
                    int others = 0;
                    for (other->First(); !other->Eof(); other->Next())
                        ++others;
                    EXPECT_EQ(others, products);
                    other->Close();
                }
                query->Next();
            }
            EXPECT_EQ(seen, products) << "pass " << pass;
            EXPECT_DOUBLE_EQ(total, products * (products + 1) / 2.0 + products * 0.5) << "pass " << pass;
        }
        EXPECT_EQ(query->FieldByName(QStringLiteral("SALDO"))->DataType(), ftFloat);
        EXPECT_EQ(
            table->FieldByName(QStringLiteral("RAZAO_SOCIAL"))->AsString(), QStringLiteral("Loja Fluxo"));
    }
    qunsetenv("QB_ALIASES");
    CloseAliasConnections();
}

TEST_F(PostgresExportTest, FailuresGiveTheirMessageAndExitCodeAndWriteNothing)
{
    QList<TProductRow> unsold = SimpleProducts(3);
    for (TProductRow& row : unsold)
        row.Balance = 0.0;
    struct TShop
    {
        const char* Database;
        QList<TProductRow> Rows;
        bool Products, Parameters;
    };
    const TShop shops[] = {
        { "sem_produtos", SimpleProducts(3), false, true },
        { "sem_parametros", SimpleProducts(3), true, false },
        { "sem_saldo", unsold, true, true },
    };
    for (const TShop& shop : shops) {
        FServer->CreateDatabase(QString::fromLatin1(shop.Database));
        LoadShop(*FServer, QString::fromLatin1(shop.Database), shop.Rows, QStringLiteral("Loja"),
            shop.Products, shop.Parameters);
    }
    const int closedPort = FreeLoopbackPort();
    ASSERT_GT(closedPort, 0);
    const QString password = FServer->Password();

    struct TCase
    {
        const char* Name;
        TAliasFields Alias;
        int ExitCode;
        const char* Message;
    } cases[] = {
        { "no such database", { "nada", FServer->Port(), password, {} }, ecDatabase,
            "Não foi possível conectar ao alias VENDRIX" },
        { "wrong password", { "sem_saldo", FServer->Port(), "errada-123", {} }, ecDatabase,
            "Não foi possível conectar ao alias VENDRIX" },
        { "nothing listening", { "sem_saldo", closedPort, password, "connect_timeout=5" }, ecDatabase,
            "Não foi possível conectar ao alias VENDRIX" },
        { "products table missing", { "sem_produtos", FServer->Port(), password, {} }, ecDatabase,
            "Tabela acadprod não encontrada no alias VENDRIX" },
        { "parameter table missing", { "sem_parametros", FServer->Port(), password, {} }, ecDatabase,
            "Tabela Parametr não encontrada no alias VENDRIX" },
        { "no product to report", { "sem_saldo", FServer->Port(), password, {} }, ecNoData,
            "Não Retornou Dados!" },
    };
    for (const TCase& c : cases) {
        const QString aliases = WriteAliasFile(Path("aliases.ini"), c.Alias);
        const QString output = Path("inventario.pgx");
        const TAliasExportRun run = RunAliasExport({ "--export", output, "--aliases", aliases });
        EXPECT_EQ(run.ExitCode, c.ExitCode) << c.Name << ": " << run.Messages.toStdString();
        EXPECT_TRUE(run.Messages.contains(QString::fromUtf8(c.Message)))
            << c.Name << ": " << run.Messages.toStdString();
        EXPECT_FALSE(run.Messages.contains(c.Alias.Password)) << c.Name << ": a message shows the password";
        EXPECT_FALSE(QFileInfo::exists(output)) << c.Name << ": a failed export wrote its file";
        EXPECT_EQ(QDir(FFolder.path()).entryList(QDir::Files), QStringList { "aliases.ini" })
            << c.Name << ": a failed export left files behind";
    }
}

// Needs only the driver: a server that is not there is the commonest failure of all.
TEST(PostgresAliasTest, UnreachableServerNamesTheAliasAndWritesNothing)
{
    QString reason;
    if (DriverMissing(reason))
        GTEST_SKIP() << reason.toStdString();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const int closedPort = FreeLoopbackPort();
    ASSERT_GT(closedPort, 0);
    const QString secret = RandomPassword();
    const QString aliases = WriteAliasFile(folder.filePath(QStringLiteral("aliases.ini")),
        { ShopDatabase, closedPort, secret, "connect_timeout=5" });
    const QString output = folder.filePath(QStringLiteral("inventario.pgx"));
    {
        QFile previous(output);
        ASSERT_TRUE(previous.open(QIODevice::WriteOnly));
        previous.write("previous content");
    }
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
