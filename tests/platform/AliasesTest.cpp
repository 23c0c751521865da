#include "platform/Aliases.h"
#include "platform/DemoDatabase.h"
#include "platform/ThreadHandOver.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

namespace {

QString MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EDatabaseError& e) {
        return e.Message();
    }
    return QStringLiteral("<no EDatabaseError>");
}

// Points the configuration and data folders into a fresh temporary folder for each test.
class AliasesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Directory.isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(Directory.filePath(QStringLiteral("config"))));
        qputenv("XDG_DATA_HOME", QFile::encodeName(Directory.filePath(QStringLiteral("data"))));
        qunsetenv("QB_ALIASES");
        SetAliasDatabaseFile(QStringLiteral("VENDRIX"), QString());
    }
    void TearDown() override
    {
        CloseAliasConnections();
        SetAliasDatabaseFile(QStringLiteral("VENDRIX"), QString());
        qunsetenv("QB_ALIASES");
    }

    QString WriteAliasFile(const QByteArray& text)
    {
        const QString fileName = Directory.filePath(QStringLiteral("aliases.ini"));
        QFile file(fileName);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        qputenv("QB_ALIASES", QFile::encodeName(fileName));
        return fileName;
    }

    QTemporaryDir Directory;
};

TEST_F(AliasesTest, WithoutConfigurationAnAliasIsAnSqliteFileInTheUserDataFolder)
{
    EXPECT_EQ(AliasFileName(), Directory.filePath(QStringLiteral("config/quillborough/aliases.ini")));
    const TAliasSettings settings = AliasSettings(QStringLiteral("VENDRIX"));
    const QString expected = Directory.filePath(QStringLiteral("data/quillborough/vendrix.db"));
    EXPECT_EQ(settings.Source, TAliasSettings::asDefault);
    EXPECT_EQ(settings.Driver, QStringLiteral("QSQLITE"));
    EXPECT_EQ(settings.Database, expected);
    EXPECT_EQ(DefaultAliasDatabaseFile(QStringLiteral("Loja2")),
        Directory.filePath(QStringLiteral("data/quillborough/loja2.db")));

    // Nothing there yet: a clear error, and no empty database appears.
    EXPECT_EQ(MessageOf([] { AliasConnection(QStringLiteral("VENDRIX")); }),
        QStringLiteral("Banco de dados do alias VENDRIX não encontrado: ") + expected);
    EXPECT_FALSE(QFile::exists(expected));
    EXPECT_FALSE(QDir(Directory.filePath(QStringLiteral("data/quillborough"))).exists());

    ASSERT_TRUE(QDir().mkpath(Directory.filePath(QStringLiteral("data/quillborough"))));
    CreateDemoDatabase(expected, 20);
    QSqlDatabase database = AliasConnection(QStringLiteral("vendrix"));
    EXPECT_TRUE(database.isOpen());
    EXPECT_EQ(database.databaseName(), expected);
    EXPECT_TRUE(database.connectOptions().contains(QLatin1String("QSQLITE_OPEN_READONLY")));
}

TEST_F(AliasesTest, TheAliasFileChoosesDriverAndSettingsAndTheOverrideWins)
{
    const QString demo = Directory.filePath(QStringLiteral("loja.db"));
    CreateDemoDatabase(demo, 20);
    WriteAliasFile("; lojas\n"
                   "[OUTRA]\nDriver=QPSQL\nDatabase=outra\n\n"
                   "[Vendrix]\n"
                   "# relative to this file\n"
                   "Database = loja.db\n"
                   "Options=QSQLITE_BUSY_TIMEOUT=1000\n");
    TAliasSettings settings = AliasSettings(QStringLiteral("VENDRIX"));
    EXPECT_EQ(settings.Source, TAliasSettings::asAliasFile);
    EXPECT_EQ(settings.Driver, QStringLiteral("QSQLITE"));
    EXPECT_EQ(settings.Database, demo);
    QSqlDatabase database = AliasConnection(QStringLiteral("VENDRIX"));
    EXPECT_EQ(database.databaseName(), demo);
    EXPECT_EQ(database.connectOptions(), QStringLiteral("QSQLITE_BUSY_TIMEOUT=1000;QSQLITE_OPEN_READONLY"));
    // The same connection is handed out again.
    EXPECT_EQ(AliasConnection(QStringLiteral("VENDRIX")).connectionName(), database.connectionName());

    // Released first, as datasets close before the program switches databases.
    database = QSqlDatabase();
    const QString other = Directory.filePath(QStringLiteral("outra.db"));
    SetAliasDatabaseFile(QStringLiteral("vendrix"), other);
    settings = AliasSettings(QStringLiteral("VENDRIX"));
    EXPECT_EQ(settings.Source, TAliasSettings::asOverride);
    EXPECT_EQ(settings.Database, other);
    EXPECT_EQ(MessageOf([] { AliasConnection(QStringLiteral("VENDRIX")); }),
        QStringLiteral("Banco de dados do alias VENDRIX não encontrado: ") + other);
    SetAliasDatabaseFile(QStringLiteral("VENDRIX"), QString());
    EXPECT_EQ(AliasSettings(QStringLiteral("VENDRIX")).Database, demo);

    // An alias the file does not name falls back to the default.
    EXPECT_EQ(AliasSettings(QStringLiteral("LOJA3")).Source, TAliasSettings::asDefault);
}

TEST_F(AliasesTest, ServerDriversThatAreNotInstalledGiveAClearErrorWithoutThePassword)
{
    for (const char* driver : { "QPSQL", "QIBASE", "QXYZ" }) {
        SCOPED_TRACE(driver);
        if (QSqlDatabase::isDriverAvailable(QLatin1String(driver)))
            continue;
        WriteAliasFile(QByteArray("[VENDRIX]\nDriver=") + driver
            + "\nHost=127.0.0.1\nPort=5432\nDatabase=loja\nUser=estoque\nPassword=segredo123\n");
        const TAliasSettings settings = AliasSettings(QStringLiteral("VENDRIX"));
        EXPECT_EQ(settings.Host, QStringLiteral("127.0.0.1"));
        EXPECT_EQ(settings.Port, 5432);
        EXPECT_EQ(settings.User, QStringLiteral("estoque"));
        const QString message = MessageOf([] { AliasConnection(QStringLiteral("VENDRIX")); });
        EXPECT_TRUE(message.startsWith(
            QStringLiteral("Driver %1 do alias VENDRIX não está disponível").arg(QLatin1String(driver))))
            << message.toStdString();
        EXPECT_FALSE(message.contains(QLatin1String("segredo123")));
    }
}

TEST_F(AliasesTest, AliasFileLinesAreReadStrictly)
{
    struct TCase
    {
        const char* What;
        QByteArray Text;
        const char* Error; // empty: parses
    };
    const TCase cases[] = {
        { "comments and blanks", "\n; c\n# c\n[VENDRIX]\n  Driver = qpsql \n", "" },
        { "value keeps = and ;", "[VENDRIX]\nPassword=a=b;c\n", "" },
        { "other sections may hold anything valid", "[X]\nUnknown=1\n[VENDRIX]\nDriver=QSQLITE\n", "" },
        { "missing =", "[VENDRIX]\nDriver\n", "linha 2: esperado Nome=Valor" },
        { "bad section", "[VENDRIX\n", "linha 1: seção inválida" },
        { "empty section", "[ ]\n", "linha 1: seção inválida" },
        { "unknown key", "[VENDRIX]\nDatabse=x\n", "linha 2: chave desconhecida \"Databse\"" },
        { "bad port", "[VENDRIX]\nPort=abc\n", "linha 2: porta inválida \"abc\"" },
        { "port out of range", "[VENDRIX]\nPort=70000\n", "linha 2: porta inválida" },
        { "empty driver", "[VENDRIX]\nDriver=\n", "linha 2: Driver vazio" },
    };
    for (const TCase& item : cases) {
        SCOPED_TRACE(item.What);
        TAliasSettings settings;
        const QString message = MessageOf([&] {
            EXPECT_TRUE(
                ParseAliasSettings(item.Text, QStringLiteral("vendrix"), QStringLiteral("a.ini"), settings));
        });
        if (*item.Error)
            EXPECT_TRUE(message.startsWith(QStringLiteral("Arquivo de aliases a.ini, "))
                && message.contains(QString::fromUtf8(item.Error)))
                << message.toStdString();
        else
            EXPECT_EQ(message, QStringLiteral("<no EDatabaseError>"));
    }
    TAliasSettings settings;
    ASSERT_TRUE(ParseAliasSettings("[VENDRIX]\n  Driver = qpsql \nPassword=a=b;c\n[VENDRIX]\nDriver=QIBASE\n",
        QStringLiteral("VENDRIX"), QStringLiteral("a.ini"), settings));
    EXPECT_EQ(settings.Driver, QStringLiteral("QPSQL"));
    EXPECT_EQ(settings.Password, QStringLiteral("a=b;c"));
    EXPECT_FALSE(ParseAliasSettings(
        "[OUTRA]\nDriver=QPSQL\n", QStringLiteral("VENDRIX"), QStringLiteral("a.ini"), settings));
    EXPECT_EQ(settings.Driver, QStringLiteral("QPSQL"));

    WriteAliasFile("[VENDRIX]\nDriver\n");
    EXPECT_TRUE(
        MessageOf([] { AliasSettings(QStringLiteral("VENDRIX")); }).contains(QLatin1String("linha 2")));
    WriteAliasFile(QByteArray(2 * 1024 * 1024, ';'));
    EXPECT_TRUE(
        MessageOf([] { AliasSettings(QStringLiteral("VENDRIX")); }).contains(QLatin1String("grande demais")));
    EXPECT_EQ(MessageOf([] { AliasSettings(QStringLiteral("  ")); }),
        QStringLiteral("Nenhum alias de banco de dados informado"));
}

TEST_F(AliasesTest, EachThreadGetsItsOwnConnection)
{
    const QString demo = Directory.filePath(QStringLiteral("loja.db"));
    CreateDemoDatabase(demo, 10);
    SetAliasDatabaseFile(QStringLiteral("VENDRIX"), demo);
    const QString mine = AliasConnection(QStringLiteral("VENDRIX")).connectionName();
    QString theirs;
    bool theirsOpen = false;
    bool closedAfter = false;
    QThread* thread = QThread::create([&] {
        QSqlDatabase database = AliasConnection(QStringLiteral("VENDRIX"));
        theirs = database.connectionName();
        theirsOpen = database.isOpen();
        database = QSqlDatabase();
        CloseAliasConnections();
        closedAfter = !QSqlDatabase::contains(theirs);
        // QThread::wait orders this thread's writes before the test's reads, behind a lock of Qt's
        // that the thread checker cannot see.
        HandOver(&closedAfter);
    });
    thread->start();
    ASSERT_TRUE(thread->wait(30000));
    TakeOver(&closedAfter);
    delete thread;
    EXPECT_TRUE(theirsOpen);
    EXPECT_NE(theirs, mine);
    EXPECT_TRUE(closedAfter);
    EXPECT_TRUE(QSqlDatabase::contains(mine));
    CloseAliasConnection(QStringLiteral("VENDRIX"));
    EXPECT_FALSE(QSqlDatabase::contains(mine));
}

// The Firebird driver talks UTF8 whatever the options say and skips what it does not know: an alias
// that asks for something else is refused before any connection, naming the alias, never the password.
TEST_F(AliasesTest, FirebirdOptionsTheDriverWouldIgnoreAreRefused)
{
    const QByteArray head = "[VENDRIX]\nDriver=QIBASE\nHost=127.0.0.1\nPort=1\nDatabase=/srv/loja.fdb\n"
                            "User=SYSDBA\nPassword=segredo123\nOptions=";
    struct TCase
    {
        const char* Options;
        const char* Message; // empty: the options pass and the failure is the connection's
    } cases[] = {
        { "ISC_DPB_LC_CTYPE=WIN1252",
            "Conjunto de caracteres \"WIN1252\" do alias VENDRIX não é suportado: " },
        { "ISC_DPB_LC_CTYPE=", "Conjunto de caracteres \"\" do alias VENDRIX não é suportado: " },
        { "ISC_DPB_SQL_ROLE_NAME=ESTOQUE;isc_dpb_lc_ctype = iso8859_1",
            "Conjunto de caracteres \"iso8859_1\" do alias VENDRIX não é suportado: " },
        { "connect_timeout=5", "Opção \"connect_timeout\" do alias VENDRIX não é aceita pelo driver QIBASE" },
        { "ISC_DPB_LC_CTYPE=UTF8;ISC_DPB_LC_MESSAGES=PT",
            "Opção \"ISC_DPB_LC_MESSAGES\" do alias VENDRIX não é aceita pelo driver QIBASE" },
        { "isc_dpb_lc_ctype=utf8; ISC_DPB_SQL_ROLE_NAME=ESTOQUE;", "" },
        { "", "" },
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Options);
        WriteAliasFile(head + c.Options + "\n");
        const QString message = MessageOf([] { AliasConnection(QStringLiteral("VENDRIX")); });
        EXPECT_FALSE(message.contains(QLatin1String("segredo123"))) << message.toStdString();
        if (*c.Message) {
            EXPECT_TRUE(message.startsWith(QString::fromUtf8(c.Message))) << message.toStdString();
            continue;
        }
        EXPECT_FALSE(message.contains(QLatin1String("Conjunto de caracteres"))) << message.toStdString();
        EXPECT_FALSE(message.contains(QLatin1String("Opção"))) << message.toStdString();
        // Nothing listens on port 1: the driver's own failure, or its absence, naming the alias.
        EXPECT_TRUE(message.contains(QLatin1String("alias VENDRIX"))) << message.toStdString();
    }
}

} // namespace
