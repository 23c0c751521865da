#pragma once
// The inventory program without its window:
//
//   inventario                                  the window (the usual run)
//   inventario --export FILE [--date TEXT] [--database FILE] [--aliases FILE]
//   inventario --create-demo-database FILE [--products N]
//   inventario --print [--printer NAME] [--copies N] [--pages FIRST-LAST] [--date TEXT] [--database FILE]
//              [--aliases FILE]
//   inventario --help | --version
//
// --export prepares the same report as the window (same definition, same handlers) and writes FILE
// in the format its extension selects, as the preview's save dialog would; any extension without a
// writer of its own gives the page store file. --date is printed in the heading as given (default:
// today's short date). --database makes the alias VENDRIX an SQLite file; --aliases names the alias
// file to use. Options take their value as the next argument or after "=" (--date=01/02/2024).
//
// --print prepares the same report and prints it through the printer filter on the named printer, or
// on the system's default printer without --printer; --copies (1 to 999) sets the copy count, else
// the printer's own; --pages prints pages FIRST to LAST only ("3" is page 3 alone). No printer at all
// is "Nenhuma impressora encontrada", exit code 5, as is a printer name that is not installed or a
// range that starts past the last page.
//
// Exit codes: 0 written, 1 no data (nothing written), 2 usage, 3 database or alias, 4 preparation
// failure, 5 output failure. Messages go to standard error; --help and --version print on standard
// output, which is what was asked for.
#include "platform/Exceptions.h"

#include <QString>
#include <QStringList>
#include <functional>

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
    enum TMode { cmWindow, cmExport, cmCreateDemo, cmHelp, cmVersion, cmPrint };
    TMode Mode = cmWindow;
    QString ExportFile;
    // Empty Date with HasDate false: today's short date.
    QString Date;
    bool HasDate = false;
    QString DatabaseFile;
    QString AliasFile;
    QString DemoFile;
    int Products = 1000;
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
// Exception when the file cannot be written, when .pdf or .xls has no filter, or when the run stopped
// short; a failed write leaves an existing file as it was.
class TRLGraphicStorage;
void WriteInventoryOutput(TRLGraphicStorage* Storage, const QString& FileName, const TComponent* Definition);

// A progress display that writes one updating line to standard error, for a terminal.
void InstallTerminalProgress();
