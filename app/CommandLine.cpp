#include "app/CommandLine.h"

#include "app/InterruptSignals.h"
#include "app/untRelatorioInventario.h"
#include "engine/RLConsts.h"
#include "engine/RLFiles.h"
#include "engine/RLReport.h"
#include "engine/RLUtils.h"
#include "filters/RLFilters.h"
#include "platform/Aliases.h"
#include "platform/DemoDatabase.h"
#include "platform/Format.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <memory>
#include <cstdio>

namespace {

const QString Alias = QStringLiteral("VENDRIX");

struct TOptionSpec
{
    const char* Name;
    bool TakesValue;
};

// Which options each mode accepts besides the one that selects it.
bool OptionFitsMode(const QString& option, TInventoryCommandLine::TMode mode)
{
    if (option == QLatin1String("--date"))
        return mode == TInventoryCommandLine::cmExport;
    if (option == QLatin1String("--database") || option == QLatin1String("--aliases"))
        return mode == TInventoryCommandLine::cmExport || mode == TInventoryCommandLine::cmWindow;
    if (option == QLatin1String("--products"))
        return mode == TInventoryCommandLine::cmCreateDemo;
    return true;
}

int ParseProducts(const QString& text)
{
    // Digits only: no sign, blanks or separators, and no value beyond what the demo can hold.
    const ECommandLineError refused(
        QStringLiteral("--products espera um número inteiro de 0 a %1: \"%2\"").arg(MaxDemoProducts).arg(text));
    if (text.isEmpty() || text.size() > 9)
        throw refused;
    qint64 value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            throw refused;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value > MaxDemoProducts)
        throw refused;
    return int(value);
}

void WriteStderr(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

// One line on the terminal, rewritten in place at most a few times a second.
class TTerminalProgress : public TRLProgress
{
public:
    // The title ("Salvando o relatório...") stands on the line until a step name replaces it.
    explicit TTerminalProgress(const QString& Title)
        : FStepName(Title)
    { }
    ~TTerminalProgress() override
    {
        if (FShown)
            WriteStderr(QStringLiteral("\n"));
    }
    void SetMax(int Max) override
    {
        FMax = Max;
        FPosition = 0;
        Show(true);
    }
    void StepIt() override
    {
        ++FPosition;
        Show(false);
        if (ApplicationTerminating())
            throw EAbort();
    }
    void NextBar() override { FPosition = 0; }
    void SetStepName(const QString& Text) override
    {
        FStepName = Text;
        Show(true);
    }
    void ShowProgress() override { Show(true); }

private:
    void Show(bool now)
    {
        if (!now && FClock.isValid() && FClock.elapsed() < 200 && FPosition != FMax)
            return;
        FClock.start();
        FShown = true;
        QString line = QStringLiteral("\r%1 %2").arg(FStepName).arg(FPosition);
        if (FMax > 0)
            line += QStringLiteral("/%1").arg(FMax);
        WriteStderr(line + QStringLiteral("\x1b[K"));
    }
    QString FStepName;
    int FMax = 0;
    int FPosition = 0;
    bool FShown = false;
    QElapsedTimer FClock;
};

} // namespace

TInventoryCommandLine ParseInventoryCommandLine(const QStringList& Arguments)
{
    static const TOptionSpec specs[] = {
        { "--export", true },
        { "--date", true },
        { "--database", true },
        { "--aliases", true },
        { "--create-demo-database", true },
        { "--products", true },
        { "--help", false },
        { "--version", false },
    };

    TInventoryCommandLine result;
    bool modeSet = false;
    QStringList seen;
    auto setMode = [&](TInventoryCommandLine::TMode mode, const QString& option) {
        if (modeSet)
            throw ECommandLineError(QStringLiteral("%1 não pode ser usado junto com outro modo").arg(option));
        modeSet = true;
        result.Mode = mode;
    };

    for (qsizetype i = 0; i < Arguments.size(); ++i) {
        const QString& argument = Arguments.at(i);
        QString option = argument;
        QString value;
        bool hasInlineValue = false;
        if (argument.startsWith(QLatin1String("--"))) {
            const qsizetype equals = argument.indexOf(u'=');
            if (equals > 0) {
                option = argument.left(equals);
                value = argument.mid(equals + 1);
                hasInlineValue = true;
            }
        } else {
            throw ECommandLineError(QStringLiteral("Argumento inesperado: \"%1\"").arg(argument));
        }

        const TOptionSpec* spec = nullptr;
        for (const TOptionSpec& candidate : specs)
            if (option == QLatin1String(candidate.Name))
                spec = &candidate;
        if (!spec)
            throw ECommandLineError(QStringLiteral("Opção desconhecida: \"%1\"").arg(option));
        if (seen.contains(option))
            throw ECommandLineError(QStringLiteral("Opção repetida: %1").arg(option));
        seen.append(option);

        if (spec->TakesValue && !hasInlineValue) {
            if (i + 1 >= Arguments.size())
                throw ECommandLineError(QStringLiteral("%1 precisa de um valor").arg(option));
            value = Arguments.at(++i);
        } else if (!spec->TakesValue && hasInlineValue) {
            throw ECommandLineError(QStringLiteral("%1 não aceita valor").arg(option));
        }
        // A file option needs a name; a date may be any text, the empty one included.
        if (spec->TakesValue && value.isEmpty() && option != QLatin1String("--date"))
            throw ECommandLineError(QStringLiteral("%1 precisa de um valor").arg(option));

        if (option == QLatin1String("--export")) {
            setMode(TInventoryCommandLine::cmExport, option);
            result.ExportFile = value;
        } else if (option == QLatin1String("--create-demo-database")) {
            setMode(TInventoryCommandLine::cmCreateDemo, option);
            result.DemoFile = value;
        } else if (option == QLatin1String("--help")) {
            setMode(TInventoryCommandLine::cmHelp, option);
        } else if (option == QLatin1String("--version")) {
            setMode(TInventoryCommandLine::cmVersion, option);
        } else if (option == QLatin1String("--date")) {
            result.Date = value;
            result.HasDate = true;
        } else if (option == QLatin1String("--database")) {
            result.DatabaseFile = value;
        } else if (option == QLatin1String("--aliases")) {
            result.AliasFile = value;
        } else if (option == QLatin1String("--products")) {
            result.Products = ParseProducts(value);
        }
    }

    for (const QString& option : std::as_const(seen))
        if (!OptionFitsMode(option, result.Mode))
            throw ECommandLineError(QStringLiteral("%1 não se aplica a este modo").arg(option));
    return result;
}

QString InventoryUsageText()
{
    return QStringLiteral(
        "Uso:\n"
        "  inventario                       abre a janela e mostra o relatório\n"
        "  inventario --export ARQUIVO [--date TEXTO] [--database ARQUIVO] [--aliases ARQUIVO]\n"
        "                                   prepara o relatório sem janela e grava ARQUIVO\n"
        "                                   .pdf: documento PDF; .xls: planilha, uma folha por página;\n"
        "                                   outras extensões: arquivo de páginas\n"
        "  inventario --create-demo-database ARQUIVO [--products N]\n"
        "                                   cria um banco SQLite de demonstração\n"
        "  inventario --help | --version\n"
        "\n"
        "Códigos de saída: 0 gravado, 1 sem dados, 2 uso, 3 banco de dados ou alias,\n"
        "4 falha na preparação, 5 falha na gravação.\n");
}

QString InventoryVersionText()
{
    return QStringLiteral("inventario (Quillborough Inventário) 0.1\n");
}

void ApplyAliasOptions(const TInventoryCommandLine& Options)
{
    if (!Options.AliasFile.isEmpty()) {
        if (!QFileInfo(Options.AliasFile).isFile())
            throw EDatabaseError(QStringLiteral("Arquivo de aliases não encontrado: %1").arg(Options.AliasFile));
        qputenv("QB_ALIASES", QFile::encodeName(QFileInfo(Options.AliasFile).absoluteFilePath()));
        CloseAliasConnection(Alias);
    }
    if (!Options.DatabaseFile.isEmpty()) {
        if (!QFileInfo(Options.DatabaseFile).isFile())
            throw EDatabaseError(QStringLiteral("Banco de dados não encontrado: %1").arg(Options.DatabaseFile));
        SetAliasDatabaseFile(Alias, QFileInfo(Options.DatabaseFile).absoluteFilePath());
    }
}

TRLCustomSaveFilter* InventorySaveFilterFor(const QString& FileName, const TComponent* Definition)
{
    // Another window's writers are not this report's.
    return SaveFilterForFile(FileName, Definition);
}

void WriteInventoryOutput(TRLGraphicStorage* Storage, const QString& FileName, const TComponent* Definition)
{
    if (TRLCustomSaveFilter* filter = InventorySaveFilterFor(FileName, Definition)) {
        filter->SetFileName(FileName);
        filter->ProcessPages(Storage, 1, -1, false);
        // A run stopped short throws its output away; that must not pass for a written file.
        if (filter->RunAborted())
            throw Exception(QStringLiteral("A gravação de %1 foi interrompida").arg(FileName));
        return;
    }
    const QString suffix = QFileInfo(FileName).suffix().toLower();
    if (suffix == QLatin1String("pdf") || suffix == QLatin1String("xls"))
        throw Exception(QStringLiteral("Não há gravador de .%1 no relatório: %2").arg(suffix, FileName));
    Storage->SaveToFile(FileName);
}

void InstallTerminalProgress()
{
    SetProgressFactory([](const QString& Title, int, TRLProgressCancelProc) -> std::unique_ptr<TRLProgress> {
        return std::make_unique<TTerminalProgress>(Title);
    });
}

int RunInventoryExport(const TInventoryCommandLine& Options, const TInventoryMessageSink& Messages)
{
    auto say = [&](const QString& text) {
        for (const QString& line : QString(text).replace(u'\r', u'\n').split(u'\n'))
            Messages(line);
    };

    // A signal ends the run with its own code and words, whatever the step it cut short said.
    auto interrupted = [&](int& code) {
        const int signal = CaughtInterruptSignal();
        if (signal == 0)
            return false;
        say(RLFailureText(RLFailInterrupted).arg(InterruptSignalName(signal), Options.ExportFile));
        code = InterruptExitCode(signal);
        return true;
    };
    int interruptCode = 0;
    if (!TempDirNotice().isEmpty())
        say(TempDirNotice());

    std::unique_ptr<TInventoryReport> report;
    bool hasRecords = false;
    const QString date = Options.HasDate ? Options.Date : DateToStr(QDate::currentDate());
    try {
        ApplyAliasOptions(Options);
        // The definition is part of the program and its tests; what makes loading fail is the
        // parameter table it opens, so any failure here is the database's.
        report = std::make_unique<TInventoryReport>();
        report->BeginRun(date);
        hasRecords = report->ReopenQueryHasRecords();
    } catch (const std::exception& error) {
        if (interrupted(interruptCode))
            return interruptCode;
        say(InventoryErrorText(error));
        return ecDatabase;
    }
    if (interrupted(interruptCode))
        return interruptCode;
    if (!hasRecords) {
        say(QStringLiteral("Não Retornou Dados!"));
        return ecNoData;
    }
    // A folder that cannot take the file is told now, not after the whole report was prepared; the
    // writer checks again when it creates the file.
    try {
        CheckOutputFolder(Options.ExportFile);
    } catch (const std::exception& error) {
        say(InventoryErrorText(error));
        return ecOutput;
    }

    QString preparationError;
    SetPreparationErrorProc([&](const QString& text) { preparationError = text; });
    const bool prepared = report->RLReport1->Prepare();
    SetPreparationErrorProc({});
    if (interrupted(interruptCode))
        return interruptCode;
    if (!prepared) {
        say(preparationError.isEmpty() ? report->RLReport1->LastError() : preparationError);
        if (preparationError.isEmpty() && report->RLReport1->LastError().isEmpty())
            say(QStringLiteral("A preparação do relatório foi interrompida"));
        return ecPreparation;
    }

    try {
        WriteInventoryOutput(report->RLReport1->Storage(), Options.ExportFile, report->Root());
    } catch (const std::exception& error) {
        if (interrupted(interruptCode))
            return interruptCode;
        say(InventoryErrorText(error));
        return ecOutput;
    }
    // A signal that came after the file was put in place interrupted nothing.
    return ecWritten;
}

int RunCreateDemoDatabase(const TInventoryCommandLine& Options, const TInventoryMessageSink& Messages)
{
    try {
        const TDemoDatabaseSummary summary = CreateDemoDatabase(Options.DemoFile, Options.Products);
        Messages(QStringLiteral("%1: %2 produtos, %3 no relatório")
                     .arg(Options.DemoFile)
                     .arg(summary.Products)
                     .arg(summary.ReportRows));
        return ecWritten;
    } catch (const std::exception& error) {
        Messages(InventoryErrorText(error));
        return ecOutput;
    }
}
