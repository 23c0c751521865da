#include "app/CommandLine.h"

#include "app/InterruptSignals.h"
#include "app/untRelatorioInventario.h"
#include "engine/RLConsts.h"
#include "engine/RLReport.h"
#include "engine/RLServices.h"
#include "engine/RLUtils.h"
#include "filters/RLDataFilter.h"
#include "filters/RLFilterPipeline.h"
#include "filters/RLFilterRegistration.h"
#include "filters/RLFilters.h"
#include "filters/RLPDFFilter.h"
#include "filters/RLPrinterWrapper.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Aliases.h"
#include "platform/Definitions.h"
#include "platform/DemoDatabase.h"
#include "platform/Files.h"
#include "platform/Format.h"
#include "preview/RLPreviewForm.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>

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
    const bool prepares = mode == TInventoryCommandLine::cmExport || mode == TInventoryCommandLine::cmPrint;
    if (option == QLatin1String("--date"))
        return prepares;
    if (option == QLatin1String("--database") || option == QLatin1String("--aliases"))
        return prepares || mode == TInventoryCommandLine::cmWindow;
    if (option == QLatin1String("--printer") || option == QLatin1String("--copies")
        || option == QLatin1String("--pages"))
        return mode == TInventoryCommandLine::cmPrint;
    if (option == QLatin1String("--products"))
        return mode == TInventoryCommandLine::cmCreateDemo;
    if (option == QLatin1String("--from") || option == QLatin1String("--embed-fonts")
        || option == QLatin1String("--compress"))
        return mode == TInventoryCommandLine::cmExport;
    return true;
}

int ParseProducts(const QString& text)
{
    // Digits only: no sign, blanks or separators, and no value beyond what the demo can hold.
    const ECommandLineError refused(QStringLiteral("--products espera um número inteiro de 0 a %1: \"%2\"")
                                        .arg(MaxDemoProducts)
                                        .arg(text));
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

// Digits only, no sign or blanks, from 1 to Max; anything else is refused with the option's name.
int ParseCount(const QString& text, int max, const QString& option, const QString& what)
{
    const ECommandLineError refused(
        QStringLiteral("%1 espera %2 de 1 a %3: \"%4\"").arg(option, what).arg(max).arg(text));
    if (text.isEmpty() || text.size() > 10)
        throw refused;
    qint64 value = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            throw refused;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value < 1 || value > max)
        throw refused;
    return int(value);
}

// "FIRST-LAST" or a single page; the first page never after the last.
void ParsePages(const QString& text, int& first, int& last)
{
    const QString what = QStringLiteral("um intervalo PRIMEIRA-ÚLTIMA de páginas");
    const QString option = QStringLiteral("--pages");
    constexpr int MaxPage = 999999999;
    const qsizetype dash = text.indexOf(u'-');
    if (dash < 0) {
        first = last = ParseCount(text, MaxPage, option, what);
        return;
    }
    first = ParseCount(text.left(dash), MaxPage, option, what);
    last = ParseCount(text.mid(dash + 1), MaxPage, option, what);
    if (first > last)
        throw ECommandLineError(
            QStringLiteral("--pages: a primeira página (%1) vem depois da última (%2)").arg(first).arg(last));
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
        { "--from", true },
        { "--print", false },
        { "--printer", true },
        { "--copies", true },
        { "--pages", true },
        { "--help", false },
        { "--version", false },
        { "--embed-fonts", false },
        { "--compress", false },
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
        } else if (!modeSet && !argument.isEmpty() && !argument.startsWith(u'-')) {
            // A file named alone is a saved report to show (how the desktop opens a .pgx).
            setMode(TInventoryCommandLine::cmOpen, argument);
            result.ReportFile = argument;
            continue;
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
        } else if (option == QLatin1String("--print")) {
            setMode(TInventoryCommandLine::cmPrint, option);
        } else if (option == QLatin1String("--printer")) {
            result.PrinterName = value;
        } else if (option == QLatin1String("--copies")) {
            result.Copies = ParseCount(value, 999, option, QStringLiteral("um número de cópias"));
        } else if (option == QLatin1String("--pages")) {
            ParsePages(value, result.FirstPage, result.LastPage);
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
        } else if (option == QLatin1String("--from")) {
            result.FromFile = value;
        } else if (option == QLatin1String("--embed-fonts")) {
            result.EmbedFonts = true;
        } else if (option == QLatin1String("--compress")) {
            result.Compress = true;
        }
    }
    // The pages of a saved report are finished: their date and data are in them already.
    if (!result.FromFile.isEmpty())
        for (const char* refused : { "--date", "--database", "--aliases" })
            if (seen.contains(QLatin1String(refused)))
                throw ECommandLineError(
                    QStringLiteral("%1 não se aplica junto com --from").arg(QLatin1String(refused)));
    // The data writers take their rows from the run that prepares the report; a saved report has only
    // its pages, so they would have nothing to write.
    if (!result.FromFile.isEmpty()) {
        const QString suffix = QFileInfo(result.ExportFile).suffix().toLower();
        if (suffix == QLatin1String("xlsx") || suffix == QLatin1String("csv"))
            throw ECommandLineError(QStringLiteral("--from não grava .%1: os dados dos produtos não estão no "
                                                   "relatório salvo, só as páginas (use .pdf, .xls ou .pgx)")
                                        .arg(suffix));
    }

    for (const QString& option : std::as_const(seen))
        if (!OptionFitsMode(option, result.Mode))
            throw ECommandLineError(QStringLiteral("%1 não se aplica a este modo").arg(option));
    // Only the PDF writer has these; silently writing another format without them would mislead.
    for (const char* pdfOnly : { "--embed-fonts", "--compress" })
        if (seen.contains(QLatin1String(pdfOnly))
            && QFileInfo(result.ExportFile).suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) != 0)
            throw ECommandLineError(
                QStringLiteral("%1 só se aplica a arquivos .pdf").arg(QLatin1String(pdfOnly)));
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
        "                                   .xlsx: planilha de dados, uma linha por produto, e resumo;\n"
        "                                   .csv: as mesmas linhas em texto separado por \";\";\n"
        "                                   outras extensões: arquivo de páginas\n"
        "                                   --embed-fonts: .pdf com as fontes embutidas (subconjunto)\n"
        "                                   --compress: .pdf compactado\n"
        "  inventario --create-demo-database ARQUIVO [--products N]\n"
        "                                   cria um banco SQLite de demonstração\n"
        "  inventario ARQUIVO.pgx           mostra um relatório salvo na pré-visualização\n"
        "  inventario --export ARQUIVO --from ARQUIVO.pgx\n"
        "                                   grava um relatório salvo como ARQUIVO, sem banco\n"
        "  inventario --print [--printer NOME] [--copies N] [--pages PRIMEIRA-ÚLTIMA]\n"
        "             [--date TEXTO] [--database ARQUIVO] [--aliases ARQUIVO]\n"
        "                                   prepara o relatório sem janela e o imprime na\n"
        "                                   impressora NOME (sem --printer: a padrão)\n"
        "  inventario --help | --version\n"
        "\n"
        "Códigos de saída: 0 gravado, 1 sem dados, 2 uso, 3 banco de dados ou alias,\n"
        "4 falha na preparação, 5 falha na gravação, na impressão ou relatório salvo ilegível,\n"
        "128 + o número do sinal quando interrompido (130 SIGINT, 143 SIGTERM, 129 SIGHUP).\n");
}

QString InventoryVersionText()
{
    return QStringLiteral("inventario (Quillborough Inventário) 0.1\n");
}

void ApplyAliasOptions(const TInventoryCommandLine& Options)
{
    if (!Options.AliasFile.isEmpty()) {
        if (!QFileInfo(Options.AliasFile).isFile())
            throw EDatabaseError(
                QStringLiteral("Arquivo de aliases não encontrado: %1").arg(Options.AliasFile));
        qputenv("QB_ALIASES", QFile::encodeName(QFileInfo(Options.AliasFile).absoluteFilePath()));
        CloseAliasConnection(Alias);
    }
    if (!Options.DatabaseFile.isEmpty()) {
        if (!QFileInfo(Options.DatabaseFile).isFile())
            throw EDatabaseError(
                QStringLiteral("Banco de dados não encontrado: %1").arg(Options.DatabaseFile));
        SetAliasDatabaseFile(Alias, QFileInfo(Options.DatabaseFile).absoluteFilePath());
    }
}

TRLCustomSaveFilter* InventorySaveFilterFor(const QString& FileName, const TComponent* Definition)
{
    // Another window's writers are not this report's.
    return SaveFilterForFile(FileName, Definition);
}

namespace {

void SetPDFOptions(TRLCustomSaveFilter* Filter, bool EmbedFonts, bool Compress)
{
    if (auto* pdf = qobject_cast<TRLPDFFilter*>(Filter)) {
        pdf->SetEmbedFonts(EmbedFonts);
        pdf->SetCompress(Compress);
    }
}

// A run stopped short throws its output away; that must not pass for a written file.
void RequireCompleteRun(const TRLCustomSaveFilter* Filter, const QString& FileName)
{
    if (Filter->RunAborted())
        throw Exception(QStringLiteral("A gravação de %1 foi interrompida").arg(FileName));
}

} // namespace

void WriteInventoryOutput(TRLGraphicStorage* Storage, const QString& FileName, const TComponent* Definition,
    bool EmbedFonts, bool Compress)
{
    if (TRLCustomSaveFilter* filter = InventorySaveFilterFor(FileName, Definition)) {
        SetPDFOptions(filter, EmbedFonts, Compress);
        filter->SetFileName(FileName);
        filter->ProcessPages(Storage, 1, -1, false);
        RequireCompleteRun(filter, FileName);
        return;
    }
    const QString suffix = QFileInfo(FileName).suffix().toLower();
    static const QStringList writerSuffixes
        = { QStringLiteral("pdf"), QStringLiteral("xls"), QStringLiteral("xlsx"), QStringLiteral("csv") };
    if (writerSuffixes.contains(suffix))
        throw Exception(QStringLiteral("Não há gravador de .%1 no relatório: %2").arg(suffix, FileName));
    Storage->SaveToFile(FileName);
}

TRLProgressFactory TerminalProgressFactory()
{
    return [](const QString& Title, int, TRLProgressCancelProc) -> std::unique_ptr<TRLProgress> {
        return std::make_unique<TTerminalProgress>(Title);
    };
}

namespace {

void SayLines(const TInventoryMessageSink& Messages, const QString& text)
{
    for (const QString& line : QString(text).replace(u'\r', u'\n').split(u'\n'))
        Messages(line);
}

// A signal ends the run with its own code and words, whatever the step it cut short said. Returns
// the exit code, or -1 when no signal came.
int InterruptedRunCode(const TInventoryCommandLine& Options, const TInventoryMessageSink& Messages)
{
    const int signal = CaughtInterruptSignal();
    if (signal == 0)
        return -1;
    if (Options.Mode == TInventoryCommandLine::cmPrint)
        SayLines(Messages, RLFailureText(RLFailInterruptedRun).arg(InterruptSignalName(signal)));
    else
        SayLines(
            Messages, RLFailureText(RLFailInterrupted).arg(InterruptSignalName(signal), Options.ExportFile));
    return InterruptExitCode(signal);
}

// The report of a headless run, prepared; or an exit code with its message said. BeforePreparing runs
// once the query has records and before the pages are made; it answers an exit code to stop there,
// or -1 to go on.
// An export that may pipeline passes Pipeline: the writer that wrote the file while the report was
// prepared comes back in it, with its failure, if any.
struct TPipelinedWrite
{
    TRLCustomSaveFilter* Filter = nullptr;
    std::exception_ptr Failure;
};

int PrepareInventory(const TInventoryCommandLine& Options, const TInventoryMessageSink& Messages,
    std::unique_ptr<TInventoryReport>& report, const std::function<int()>& BeforePreparing = {},
    TPipelinedWrite* Pipeline = nullptr)
{
    auto say = [&](const QString& text) { SayLines(Messages, text); };
    if (!TempDirNotice().isEmpty())
        say(TempDirNotice());
    bool hasRecords = false;
    const QString date = Options.HasDate ? Options.Date : DateToStr(QDate::currentDate());
    try {
        ApplyAliasOptions(Options);
        // The definition is part of the program and its tests; what makes loading fail is the
        // parameter table it opens, so any failure here is the database's.
        report = std::make_unique<TInventoryReport>();
        // Only the data writers read the product lines; printing and the other formats read pages.
        report->RecordData = !Options.ExportFile.isEmpty()
            && qobject_cast<TRLDataFilter*>(InventorySaveFilterFor(Options.ExportFile, report->Root()));
        report->BeginRun(date);
        hasRecords = report->ReopenQueryHasRecords();
    } catch (const std::exception& error) {
        if (const int code = InterruptedRunCode(Options, Messages); code >= 0)
            return code;
        say(InventoryErrorText(error));
        return ecDatabase;
    }
    if (const int code = InterruptedRunCode(Options, Messages); code >= 0)
        return code;
    if (!hasRecords) {
        say(QStringLiteral("Não Retornou Dados!"));
        return ecNoData;
    }
    if (BeforePreparing) {
        const int code = BeforePreparing();
        if (code >= 0)
            return code;
    }

    QString preparationError;
    bool prepared = false;
    {
        // The error is told by the exit message, however the preparation ends.
        TRLServicesScope errors([&](TRLServices& services) {
            services.PreparationError = [&](const QString& text) { preparationError = text; };
        });
        // A writer of its own file format writes each page while the report prepares the next one; the
        // page store file is the store's own bytes, copied once the store is complete.
        TRLCustomSaveFilter* pipelined
            = Pipeline ? InventorySaveFilterFor(Options.ExportFile, report->Root()) : nullptr;
        if (!RLPipelinedExportSuits(pipelined))
            pipelined = nullptr;
        if (pipelined) {
            SetPDFOptions(pipelined, Options.EmbedFonts, Options.Compress);
            pipelined->SetFileName(Options.ExportFile);
            Pipeline->Filter = pipelined;
            TRLPipelinedExport pipeline(report->RLReport1, pipelined);
            try {
                prepared = pipeline.Run();
            } catch (...) {
                // Thrown only once the preparation has succeeded: the writer's failure.
                prepared = true;
                Pipeline->Failure = std::current_exception();
            }
        } else {
            prepared = report->RLReport1->Prepare();
        }
    }
    if (const int code = InterruptedRunCode(Options, Messages); code >= 0)
        return code;
    if (!prepared) {
        say(preparationError.isEmpty() ? report->RLReport1->LastError() : preparationError);
        if (preparationError.isEmpty() && report->RLReport1->LastError().isEmpty())
            say(QStringLiteral("A preparação do relatório foi interrompida"));
        return ecPreparation;
    }
    return -1;
}

// Selects the printer of a headless print: the named one, else the system's default. Throws with the
// reason when there is none to select.
void SelectInventoryPrinter(const QString& Name)
{
    TRLPrinterWrapper& printers = PrinterWrapper();
    // Read anew: the list may have changed since the wrapper first asked, and this picks the default.
    printers.RefreshPrinters();
    if (printers.PrinterList().isEmpty())
        throw Exception(RLMessage(RLMsgPrinterNotFound));
    if (Name.isEmpty()) {
        if (!printers.HasPrinter())
            throw Exception(RLMessage(RLMsgPrinterNotFound));
        return;
    }
    for (int i = 0; i < printers.PrinterList().size(); ++i)
        if (printers.PrinterName(i) == Name) {
            printers.SelectPrinter(i);
            return;
        }
    QStringList names;
    for (int i = 0; i < printers.PrinterList().size(); ++i)
        names << printers.PrinterName(i);
    throw Exception(QStringLiteral("%1: %2\nImpressoras instaladas: %3")
                        .arg(RLMessage(RLMsgPrinterNotFound), Name, names.join(QStringLiteral(", "))));
}

// The exit code of an output step that threw: the signal's, when one cut it short, else ecOutput
// with the failure said.
int OutputFailureCode(
    const TInventoryCommandLine& Options, const TInventoryMessageSink& Messages, const std::exception& Error)
{
    if (const int interrupted = InterruptedRunCode(Options, Messages); interrupted >= 0)
        return interrupted;
    SayLines(Messages, InventoryErrorText(Error));
    return ecOutput;
}

// A check that runs before the pages are made, as PrepareInventory's BeforePreparing: its failure is
// said and ends the run with ecOutput.
std::function<int()> OutputCheck(const TInventoryMessageSink& Messages, std::function<void()> Check)
{
    return [&Messages, Check = std::move(Check)] {
        try {
            Check();
        } catch (const std::exception& error) {
            SayLines(Messages, InventoryErrorText(error));
            return int(ecOutput);
        }
        return -1;
    };
}

} // namespace

int RunInventoryExport(const TInventoryCommandLine& Options, const TInventoryMessageSink& Messages)
{
    if (!Options.FromFile.isEmpty())
        return RunSavedReportExport(Options, Messages);
    std::unique_ptr<TInventoryReport> report;
    TPipelinedWrite pipeline;
    // A folder that cannot take the file is told now, not after the whole report was prepared; the
    // writer checks again when it creates the file.
    const int code = PrepareInventory(Options, Messages, report,
        OutputCheck(Messages, [&] { CheckOutputFolder(Options.ExportFile); }), &pipeline);
    if (code >= 0)
        return code;
    try {
        if (pipeline.Failure)
            std::rethrow_exception(pipeline.Failure);
        if (pipeline.Filter)
            RequireCompleteRun(pipeline.Filter, Options.ExportFile);
        else
            WriteInventoryOutput(report->RLReport1->Storage(), Options.ExportFile, report->Root(),
                Options.EmbedFonts, Options.Compress);
    } catch (const std::exception& error) {
        return OutputFailureCode(Options, Messages, error);
    }
    // A signal that came after the file was put in place interrupted nothing.
    return ecWritten;
}

int RunInventoryPrint(const TInventoryCommandLine& Options, const TInventoryMessageSink& Messages)
{
    std::unique_ptr<TInventoryReport> report;
    // The printer is looked for before the pages are made: a long preparation for a printer that
    // is not there helps nobody.
    const int code = PrepareInventory(Options, Messages, report,
        OutputCheck(Messages, [&] { SelectInventoryPrinter(Options.PrinterName); }));
    if (code >= 0)
        return code;
    try {
        TRLGraphicStorage* pages = report->RLReport1->Storage();
        if (Options.FirstPage > pages->PageCount())
            throw Exception(QStringLiteral("O relatório tem %1 página(s); não há página %2 para imprimir")
                                .arg(pages->PageCount())
                                .arg(Options.FirstPage));
        // The printer's own settings were loaded again when it was selected; the copy count is set
        // on them for this job.
        if (Options.Copies > 0)
            PrinterWrapper().SetPrinterCopies(Options.Copies);
        TRLCustomFilter* filter = DefaultPrintFilter();
        filter->ProcessPages(pages, Options.FirstPage, Options.LastPage, false);
        if (filter->RunAborted())
            throw Exception(QStringLiteral("A impressão foi interrompida"));
    } catch (const std::exception& error) {
        return OutputFailureCode(Options, Messages, error);
    }
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

// --- saved reports ---------------------------------------------------------------------------------

namespace {

// The definition's direct children whose class is a filter, as definition text: each block runs from
// its "  object" line to the "  end" at the same depth. The program's definition is written with two
// blanks per level, which is what keeps this cut sound; the writers' test reads both ways and
// compares.
QByteArray WriterBlocks(const QByteArray& Definition)
{
    QByteArray blocks;
    bool inside = false;
    for (QByteArray line : Definition.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!inside && line.startsWith("  object ")) {
            const qsizetype colon = line.indexOf(':');
            const QString className = QString::fromLatin1(line.mid(colon + 1).trimmed());
            const QMetaObject* meta = colon > 0 ? ClassRegistry().FindClass(className) : nullptr;
            inside = meta && meta->inherits(&TRLCustomFilter::staticMetaObject);
        }
        if (inside) {
            blocks += line + "\r\n";
            if (line == "  end")
                inside = false;
        }
    }
    return blocks;
}

QString SavedReportError(const QString& FileName, const std::exception& Error)
{
    return QStringLiteral("Não foi possível ler o relatório salvo %1: %2")
        .arg(FileName, InventoryErrorText(Error));
}

} // namespace

std::unique_ptr<TComponent> ReadInventoryWriters()
{
    RLRegisterFilterClasses();
    const QByteArray text = "object FrmInventario: TComponent\r\n"
        + WriterBlocks(TInventoryReport::DefinitionText()) + "end\r\n";
    auto root = std::make_unique<TComponent>(nullptr);
    TDefinitionReader reader(ClassRegistry());
    reader.ReadInto(text, root.get());
    return root;
}

int RunSavedReportExport(const TInventoryCommandLine& Options, const TInventoryMessageSink& Messages)
{
    // The store belongs to a holder of our own: the writer links and unlinks it, and a store without
    // an owner would free itself at that unlink.
    TComponent holder(nullptr);
    auto* storage = new TRLGraphicStorage(&holder);
    try {
        storage->LoadFromFile(Options.FromFile);
    } catch (const std::exception& error) {
        Messages(SavedReportError(Options.FromFile, error));
        return ecOutput;
    }
    if (storage->PageCount() == 0) {
        // What an export of no data would have done: write nothing.
        Messages(QStringLiteral("O relatório salvo %1 não tem páginas").arg(Options.FromFile));
        return ecNoData;
    }
    try {
        const std::unique_ptr<TComponent> writers = ReadInventoryWriters();
        WriteInventoryOutput(
            storage, Options.ExportFile, writers.get(), Options.EmbedFonts, Options.Compress);
    } catch (const std::exception& error) {
        Messages(InventoryErrorText(error));
        return ecOutput;
    }
    return ecWritten;
}

int RunSavedReportPreview(const TInventoryCommandLine& Options, const TInventoryMessageSink& ShowError)
{
    // Without an owner: the preview's link keeps the store, and its last unlink frees it.
    auto* storage = new TRLGraphicStorage(nullptr);
    std::unique_ptr<TComponent> writers;
    try {
        storage->LoadFromFile(Options.ReportFile);
        // The save dialog offers the live filters: the report's own writers, as after a run.
        writers = ReadInventoryWriters();
    } catch (const std::exception& error) {
        delete storage;
        ShowError(SavedReportError(Options.ReportFile, error));
        return ecOutput;
    }
    RLShowPreviewWithDefaults(storage);
    // A save sent to the background may still be running when the window closes; its writer must
    // outlive it. A run lets go of its store last, on this thread, so a writer without one is idle.
    const QList<TRLCustomFilter*> filters = writers->findChildren<TRLCustomFilter*>();
    const auto running = [&] {
        return std::any_of(
            filters.begin(), filters.end(), [](const TRLCustomFilter* f) { return f->Pages(); });
    };
    while (running())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    return ecWritten;
}
