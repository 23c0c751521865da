#pragma once
// The inventory program without its window:
//
//   inventario                                  the window (the usual run)
//   inventario --export FILE [--date TEXT] [--database FILE] [--aliases FILE]
//   inventario --export FILE.pdf [--embed-fonts] [--compress] ...
//   inventario --create-demo-database FILE [--products N]
//   inventario FILE.pgx                         a saved report in the preview window
//   inventario --export OUT --from FILE.pgx     a saved report written as OUT, without a database
//   inventario --print [--printer NAME] [--copies N] [--pages FIRST-LAST] [--date TEXT] [--database FILE]
//              [--aliases FILE]
//   inventario --help | --version
//
// --export prepares the same report as the window (same definition, same handlers) and writes FILE
// in the format its extension selects, as the preview's save dialog would; any extension without a
// writer of its own gives the page store file. --date is printed in the heading as given (default:
// today's short date). --database makes the alias VENDRIX an SQLite file; --aliases names the alias
// file to use. Options take their value as the next argument or after "=" (--date=01/02/2024).
// --embed-fonts and --compress ask the PDF writer to embed its fonts and to compress; they are
// refused for any other format.
//
// A saved report (the page store file the preview saves) holds finished pages: opening it or writing
// it again needs neither the database nor a date, so --from takes none of --date, --database and
// --aliases. Its .pdf and .xls are written by the definition's own writers with their stored
// settings, so they equal what the export that prepared the pages would have written.
//
// --print prepares the same report and prints it through the printer filter on the named printer, or
// on the system's default printer without --printer; --copies (1 to 999) sets the copy count, else
// the printer's own; --pages prints pages FIRST to LAST only ("3" is page 3 alone). No printer at all
// is "Nenhuma impressora encontrada", exit code 5, as is a printer name that is not installed or a
// range that starts past the last page.
//
// Exit codes: 0 written, 1 no data (nothing written), 2 usage, 3 database or alias, 4 preparation
// failure, 5 output failure or a saved report that cannot be read (the target's folder is checked
// before preparing, and again when the file is created), 128 + the signal's number for a run
// interrupted by SIGINT, SIGTERM or SIGHUP (see app/InterruptSignals.h). Messages go to standard
// error; --help and --version print on standard
// output, which is what was asked for.
#include "engine/RLProgress.h"
#include "platform/Component.h"
#include "platform/Exceptions.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

enum TInventoryExitCode : int {
    ecWritten = 0,
    ecNoData = 1,
    ecUsage = 2,
    ecDatabase = 3,
    ecPreparation = 4,
    ecOutput = 5
};

// A command line that cannot be run; the message says why.
class ECommandLineError : public Exception
{
public:
    using Exception::Exception;
};

struct TInventoryCommandLine
{
    enum TMode { cmWindow, cmExport, cmCreateDemo, cmHelp, cmVersion, cmOpen, cmPrint };
    TMode Mode = cmWindow;
    QString ExportFile;
    // Empty Date with HasDate false: today's short date.
    QString Date;
    bool HasDate = false;
    QString DatabaseFile;
    QString AliasFile;
    QString DemoFile;
    int Products = 1000;
    // cmOpen: the saved report to show. cmExport with FromFile: the saved report to write.
    QString ReportFile;
    QString FromFile;
    // The PDF writer's options (--embed-fonts, --compress).
    bool EmbedFonts = false;
    bool Compress = false;
    // --print: empty PrinterName is the default printer; Copies 0 is the printer's own count;
    // LastPage -1 is the last page.
    QString PrinterName;
    int Copies = 0;
    int FirstPage = 1;
    int LastPage = -1;
};

// Reads the arguments after the program's name. Throws ECommandLineError for an unknown option, an
// option without its value or given twice, a stray argument, two modes at once, an option that its
// mode does not take, and a product count that is not a whole number from 0 to the demo's maximum.
TInventoryCommandLine ParseInventoryCommandLine(const QStringList& Arguments);

QString InventoryUsageText();
QString InventoryVersionText();

// Where the command line's messages go (a line at a time, without its end of line).
using TInventoryMessageSink = std::function<void(const QString& Line)>;

// Configures the alias VENDRIX from --database and --aliases. Throws EDatabaseError for a file that
// does not exist.
void ApplyAliasOptions(const TInventoryCommandLine& Options);

// The headless export; the application object must exist. Returns the exit code.
int RunInventoryExport(const TInventoryCommandLine& Options, const TInventoryMessageSink& Messages);
// Writes the saved report Options.FromFile as Options.ExportFile (RunInventoryExport does this when
// FromFile is set). Returns the exit code: ecOutput when the file cannot be read or written.
int RunSavedReportExport(const TInventoryCommandLine& Options, const TInventoryMessageSink& Messages);
// Shows the saved report Options.ReportFile in the preview window, modal, with the definition's
// writers offered by its save dialog; returns ecWritten when the window closes. A file that cannot be
// read gives the reader's message to ShowError and ecOutput. The application object must exist.
int RunSavedReportPreview(const TInventoryCommandLine& Options, const TInventoryMessageSink& ShowError);
// The headless print; the application object must exist. Returns the exit code.
int RunInventoryPrint(const TInventoryCommandLine& Options, const TInventoryMessageSink& Messages);
// Writes the demo database. Returns the exit code.
int RunCreateDemoDatabase(const TInventoryCommandLine& Options, const TInventoryMessageSink& Messages);

// The save filter that writes FileName: among the live save filters owned by Definition, the first
// (in the filter list's order) whose default extension is FileName's, compared without regard to case;
// with no Definition, SaveFilterForFile. Null when there is none.
class TComponent;
class TRLCustomSaveFilter;
TRLCustomSaveFilter* InventorySaveFilterFor(const QString& FileName, const TComponent* Definition);

// Writes a prepared page store as FileName's extension selects: through InventorySaveFilterFor (the
// definition's PDF and spreadsheet writers), all pages, on the caller's thread, with the filter's
// progress display when one is registered; any other extension gives the page store file. Throws
// Exception when the file cannot be written, when .pdf, .xls, .xlsx or .csv has no filter, or when the run
// stopped short; a failed write leaves an existing file as it was. EmbedFonts and Compress are given to the
// PDF writer for this run.
class TRLGraphicStorage;
void WriteInventoryOutput(TRLGraphicStorage* Storage, const QString& FileName, const TComponent* Definition,
    bool EmbedFonts = false, bool Compress = false);

// The definition's save filters (RLPDFFilter1, RLXLSFilter1) with their stored settings, owned by the
// returned root, read apart from the report and its data sets: no table is opened, so no database is
// needed. Throws EDefinitionError when the definition cannot be read.
std::unique_ptr<TComponent> ReadInventoryWriters();

// A progress display that writes one updating line to standard error, for a terminal.
TRLProgressFactory TerminalProgressFactory();
