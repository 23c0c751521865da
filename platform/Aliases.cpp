#include "platform/Aliases.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>

namespace {

// An alias file is a handful of lines; anything larger is not one.
constexpr qint64 MaxAliasFileSize = 1024 * 1024;

QMutex OverridesMutex;
QHash<QString, QString>& Overrides()
{
    static QHash<QString, QString> overrides;
    return overrides;
}

QString AliasKey(const QString& aliasName)
{
    return aliasName.trimmed().toUpper();
}

QString ConnectionName(const QString& aliasName)
{
    return QStringLiteral("qb-alias/%1/%2")
        .arg(AliasKey(aliasName))
        .arg(quintptr(QThread::currentThread()), 0, 16);
}

[[noreturn]] void AliasError(const QString& message)
{
    throw EDatabaseError(message);
}

QString SectionName(const QString& line)
{
    return line.mid(1, line.size() - 2).trimmed();
}

// Qt's Firebird driver always attaches with the character set UTF8 and reads every text as UTF-8; the
// server converts from each column's own character set (WIN1252 in a shop's database). Of the options
// it honours only the role name and skips anything else without a word, so an alias asking for another
// character set would have its texts read wrongly and nobody told: such options are refused here.
void CheckFirebirdOptions(const TAliasSettings& settings)
{
    const QStringList options = settings.Options.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString& option : options) {
        const qsizetype equals = option.indexOf(QLatin1Char('='));
        const QString name = option.left(equals).trimmed();
        const QString value = equals < 0 ? QString() : option.mid(equals + 1).trimmed();
        if (name.isEmpty())
            continue;
        if (name.compare(QLatin1String("ISC_DPB_LC_CTYPE"), Qt::CaseInsensitive) == 0) {
            if (value.compare(QLatin1String("UTF8"), Qt::CaseInsensitive) != 0)
                AliasError(
                    QStringLiteral("Conjunto de caracteres \"%1\" do alias %2 não é suportado: o driver %3 "
                                   "conecta sempre em UTF8 (ISC_DPB_LC_CTYPE=UTF8) e o servidor converte "
                                   "os textos do conjunto de caracteres de cada coluna")
                        .arg(value, settings.AliasName, settings.Driver));
        } else if (name.compare(QLatin1String("ISC_DPB_SQL_ROLE_NAME"), Qt::CaseInsensitive) != 0) {
            AliasError(QStringLiteral("Opção \"%1\" do alias %2 não é aceita pelo driver %3 (aceitas: "
                                      "ISC_DPB_LC_CTYPE=UTF8, ISC_DPB_SQL_ROLE_NAME)")
                           .arg(name, settings.AliasName, settings.Driver));
        }
    }
}

} // namespace

QString AliasFileName()
{
    const QString fromEnvironment = qEnvironmentVariable("QB_ALIASES");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/quillborough/aliases.ini");
}

QString DefaultAliasDatabaseFile(const QString& aliasName)
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/quillborough/") + aliasName.trimmed().toLower() + QStringLiteral(".db");
}

void SetAliasDatabaseFile(const QString& aliasName, const QString& fileName)
{
    {
        QMutexLocker lock(&OverridesMutex);
        if (fileName.isEmpty())
            Overrides().remove(AliasKey(aliasName));
        else
            Overrides().insert(AliasKey(aliasName), fileName);
    }
    CloseAliasConnection(aliasName);
}

QString AliasDatabaseFile(const QString& aliasName)
{
    QMutexLocker lock(&OverridesMutex);
    return Overrides().value(AliasKey(aliasName));
}

bool ParseAliasSettings(
    const QByteArray& text, const QString& aliasName, const QString& sourceName, TAliasSettings& settings)
{
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    bool inSection = false;
    bool found = false;
    TAliasSettings result;
    result.AliasName = aliasName;
    result.Source = TAliasSettings::asAliasFile;
    for (qsizetype index = 0; index < lines.size(); ++index) {
        const QString line = lines.at(index).trimmed();
        const auto lineError = [&](const QString& what) {
            AliasError(QStringLiteral("Arquivo de aliases %1, linha %2: %3")
                           .arg(sourceName)
                           .arg(index + 1)
                           .arg(what));
        };
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')) || SectionName(line).isEmpty())
                lineError(QStringLiteral("seção inválida \"%1\"").arg(line));
            // A repeated section would leave it unclear which settings hold: the first one does.
            inSection = !found && SectionName(line).compare(aliasName.trimmed(), Qt::CaseInsensitive) == 0;
            found = found || inSection;
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0)
            lineError(QStringLiteral("esperado Nome=Valor"));
        if (!inSection)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key.compare(QLatin1String("Driver"), Qt::CaseInsensitive) == 0) {
            if (value.isEmpty())
                lineError(QStringLiteral("Driver vazio"));
            result.Driver = value.toUpper();
        } else if (key.compare(QLatin1String("Database"), Qt::CaseInsensitive) == 0) {
            result.Database = value;
        } else if (key.compare(QLatin1String("Host"), Qt::CaseInsensitive) == 0) {
            result.Host = value;
        } else if (key.compare(QLatin1String("Port"), Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const int port = value.toInt(&ok);
            if (!value.isEmpty() && (!ok || port <= 0 || port > 65535))
                lineError(QStringLiteral("porta inválida \"%1\"").arg(value));
            result.Port = value.isEmpty() ? -1 : port;
        } else if (key.compare(QLatin1String("User"), Qt::CaseInsensitive) == 0) {
            result.User = value;
        } else if (key.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0) {
            result.Password = value;
        } else if (key.compare(QLatin1String("Options"), Qt::CaseInsensitive) == 0) {
            result.Options = value;
        } else {
            // A misspelt key would otherwise be ignored and the connection fail for an unclear reason.
            lineError(QStringLiteral("chave desconhecida \"%1\"").arg(key));
        }
    }
    if (found)
        settings = result;
    return found;
}

TAliasSettings AliasSettings(const QString& aliasName)
{
    if (aliasName.trimmed().isEmpty())
        AliasError(QStringLiteral("Nenhum alias de banco de dados informado"));
    TAliasSettings settings;
    settings.AliasName = aliasName.trimmed();
    const QString overrideFile = AliasDatabaseFile(aliasName);
    if (!overrideFile.isEmpty()) {
        settings.Database = overrideFile;
        settings.Source = TAliasSettings::asOverride;
        return settings;
    }
    const QString aliasFile = AliasFileName();
    QFile file(aliasFile);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly))
            AliasError(QStringLiteral("Não foi possível ler o arquivo de aliases %1: %2")
                           .arg(aliasFile, file.errorString()));
        if (file.size() > MaxAliasFileSize)
            AliasError(QStringLiteral("Arquivo de aliases %1 grande demais").arg(aliasFile));
        const QByteArray text = file.read(MaxAliasFileSize + 1);
        if (ParseAliasSettings(text, settings.AliasName, aliasFile, settings)) {
            // A relative SQLite file is taken beside the alias file, not in whatever folder the
            // program was started from.
            if (settings.Driver == QLatin1String("QSQLITE")) {
                if (settings.Database.isEmpty())
                    settings.Database = DefaultAliasDatabaseFile(settings.AliasName);
                else if (QFileInfo(settings.Database).isRelative())
                    settings.Database = QFileInfo(aliasFile).absoluteDir().filePath(settings.Database);
            }
            return settings;
        }
    }
    settings.Database = DefaultAliasDatabaseFile(settings.AliasName);
    settings.Source = TAliasSettings::asDefault;
    return settings;
}

QSqlDatabase AliasConnection(const QString& aliasName)
{
    const QString name = ConnectionName(aliasName);
    if (QSqlDatabase::contains(name)) {
        QSqlDatabase existing = QSqlDatabase::database(name, false);
        if (existing.isOpen())
            return existing;
    }
    const TAliasSettings settings = AliasSettings(aliasName);
    const QString alias = settings.AliasName;
    if (settings.Driver == QLatin1String("QIBASE"))
        CheckFirebirdOptions(settings);
    if (!QSqlDatabase::isDriverAvailable(settings.Driver))
        AliasError(QStringLiteral("Driver %1 do alias %2 não está disponível: instale o driver Qt SQL %1")
                       .arg(settings.Driver, alias));
    const bool sqlite = settings.Driver == QLatin1String("QSQLITE");
    if (sqlite && !QFileInfo(settings.Database).isFile())
        AliasError(
            QStringLiteral("Banco de dados do alias %1 não encontrado: %2").arg(alias, settings.Database));

    if (QSqlDatabase::contains(name))
        QSqlDatabase::removeDatabase(name);
    QSqlDatabase database = QSqlDatabase::addDatabase(settings.Driver, name);
    database.setDatabaseName(settings.Database);
    if (!settings.Host.isEmpty())
        database.setHostName(settings.Host);
    if (settings.Port > 0)
        database.setPort(settings.Port);
    if (!settings.User.isEmpty())
        database.setUserName(settings.User);
    if (!settings.Password.isEmpty())
        database.setPassword(settings.Password);
    QString options = settings.Options;
    if (sqlite) {
        // Read-only never creates a file, even if it vanished since the check above.
        options = options.isEmpty() ? QStringLiteral("QSQLITE_OPEN_READONLY")
                                    : options + QStringLiteral(";QSQLITE_OPEN_READONLY");
    }
    database.setConnectOptions(options);

    QString failure;
    if (!database.open()) {
        failure = database.lastError().text();
    } else if (sqlite) {
        // SQLite opens any file lazily; reading its schema tells a database from something else.
        QSqlQuery probe(database);
        if (!probe.exec(QStringLiteral("select count(*) from sqlite_master")))
            failure = probe.lastError().text() + QStringLiteral(" (") + settings.Database + QLatin1Char(')');
    }
    if (!failure.isEmpty()) {
        database = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        AliasError(QStringLiteral("Não foi possível conectar ao alias %1: %2").arg(alias, failure.trimmed()));
    }
    return database;
}

void CloseAliasConnection(const QString& aliasName)
{
    const QString name = ConnectionName(aliasName);
    if (!QSqlDatabase::contains(name))
        return;
    {
        QSqlDatabase database = QSqlDatabase::database(name, false);
        database.close();
    }
    QSqlDatabase::removeDatabase(name);
}

void CloseAliasConnections()
{
    const QString suffix = QStringLiteral("/%1").arg(quintptr(QThread::currentThread()), 0, 16);
    const QStringList names = QSqlDatabase::connectionNames();
    for (const QString& name : names) {
        if (!name.startsWith(QLatin1String("qb-alias/")) || !name.endsWith(suffix))
            continue;
        {
            QSqlDatabase database = QSqlDatabase::database(name, false);
            database.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
}
