#pragma once
// The inventory program's own pieces: the tax totals, the report definition bound to its handlers,
// and the small window that runs the report once and ends the program.
//
// Ownership: TInventoryReport owns the definition's components (report, query, table, data sources)
// through its root component and destroys them with itself; the window owns its TInventoryReport.
// The running total is one variable for the whole program (InventoryRunningTotal); it is set to 0 when
// a TInventoryReport is created and at no other moment, so a process sees exactly one report run.
//
// Everything here runs on the user-interface thread.
#include "engine/RLServices.h"
#include "filters/RLDataFilter.h"
#include "platform/Exceptions.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class QGroupBox;
class QInputDialog;
class QPushButton;
class TComponent;
class TDataSet;
class TDataSource;
class TRLCustomControl;
class TRLReport;
class TRLBand;
class TRLLabel;
class TRLPDFFilter;
class TRLXLSFilter;
class TRLXLSXFilter;
class TRLCSVFilter;

// The running total of the inventory value, shared by the whole program.
extern double InventoryRunningTotal;

// Number texts of the report, in the locale's separators.
QString InventoryMoneyText(double Value); // "#,###,##0.00"
QString InventoryQuantityText(double Value); // "#,###,##0.000"
// A display text read back as a number in the locale's notation; anything that is not one is 0.
double InventoryTextToNumber(const QString& Text);

// The totals per tax class. The rules: only "Tributado" (exact, case-sensitive) counts in the rate
// totals, each rate compared exactly with 7, 12, 17 and 25, and rate 0 counting in 17%; an unknown
// rate counts in none of them. "Subst. Tributária" (exact) is tax substitution; every other class
// text, "Isento" or not, is exempt. Every line adds to the running total.
class TInventoryTotals
{
public:
    explicit TInventoryTotals(double& RunningTotal)
        : FRunning(RunningTotal)
    { }

    // Zeroes the per-class totals at the start of a run; the running total is left alone.
    void ResetRun();
    // One printed product line.
    void AddLine(double Value, const QString& TaxClass, double Rate);

    double Rate7 = 0;
    double Rate12 = 0;
    double Rate17 = 0;
    double Rate25 = 0;
    // The four rate totals together, as the summary's "TOTAL TRIBUTADOS" shows them; computed when the
    // summary prints.
    double Taxed = 0;
    double Exempt = 0;
    double Substitution = 0;
    double Running() const { return FRunning; }

private:
    double& FRunning;
};

// The inventory report: the definition read from the program's resources into a root component,
// with its events bound to this object's handlers. Creating it opens the company-parameter table
// (stored as active) and zeroes the running total; a failure to read the definition or to open the
// table is thrown (EDefinitionError naming the component, or EAbort) and leaves nothing behind.
class TInventoryReport
{
public:
    TInventoryReport();
    ~TInventoryReport();
    TInventoryReport(const TInventoryReport&) = delete;
    TInventoryReport& operator=(const TInventoryReport&) = delete;

    // The definition text as shipped.
    static QByteArray DefinitionText();

    TComponent* Root() const { return FRoot.get(); }
    TRLReport* RLReport1 = nullptr;
    TDataSet* qryRelatorio = nullptr;
    TDataSet* Table1 = nullptr;
    TDataSource* DataSource1 = nullptr;
    TDataSource* DataSource2 = nullptr;
    TRLBand* RLBand4 = nullptr;
    TRLLabel* RLLabel8 = nullptr;
    TRLLabel* RLLabel18 = nullptr;
    TRLLabel* RLLabel11 = nullptr;
    TRLLabel* RLLabel22 = nullptr;
    TRLLabel* RLLabel23 = nullptr;
    TRLLabel* RLLabel24 = nullptr;
    TRLLabel* RLLabel25 = nullptr;
    TRLLabel* RLLabel26 = nullptr;
    TRLLabel* RLLabel27 = nullptr;
    TRLLabel* RLLabel28 = nullptr;
    // The save dialog's writers, and the command line's for .pdf, .xls, .xlsx and .csv.
    TRLPDFFilter* RLPDFFilter1 = nullptr;
    TRLXLSFilter* RLXLSFilter1 = nullptr;
    TRLXLSXFilter* RLXLSXFilter1 = nullptr;
    TRLCSVFilter* RLCSVFilter1 = nullptr;

    // The product lines of the run as the report prints them, in report order, and the summary's
    // totals: what the data writers (.xlsx, .csv) export. Filled by RLDBText4BeforePrint, which runs
    // exactly once per printed line, and by RLBand3BeforePrint.
    TRLDataTable Data;
    // Whether a run fills Data. A run whose output reads only the pages (the preview aside: its save
    // dialog offers the data writers too) leaves it empty, which spares a fifth of the preparation.
    bool RecordData = true;

    TInventoryTotals Totals { InventoryRunningTotal };

    // The first steps of a run: the per-class totals to 0 and the reference date into the heading.
    void BeginRun(const QString& ReferenceDate);
    // Closes and opens the query again; its record count.
    int ReopenQuery();
    // Closes and opens the query again; whether it returned any record. The same answer as a record
    // count of at least 1, without the separate count, which only a progress display needs.
    bool ReopenQueryHasRecords();

    // The handlers the definition binds.
    void rldbtxtcustoBeforePrint(TRLCustomControl* Sender, QString& Text, bool& PrintIt);
    void RLDBText1BeforePrint(TRLCustomControl* Sender, QString& Text, bool& PrintIt);
    void RLDBText4BeforePrint(TRLCustomControl* Sender, QString& Text, bool& PrintIt);
    void RLBand4BeforePrint(TRLCustomControl* Sender, bool& PrintIt);
    void RLBand3BeforePrint(TRLCustomControl* Sender, bool& PrintIt);

    // RAZAO_SOCIAL of the parameter table's current record, as the heading shows it.
    QString CompanyName() const;

private:
    void RecordDataLine(double Value, const QString& TaxClass);
    struct TRootDeleter
    {
        void operator()(TComponent* root) const;
    };
    std::unique_ptr<TComponent, TRootDeleter> FRoot;
};

// The error texts a failure shows: a definition error's reason without its position (a table that
// did not open is a database fault, not a fault of the text), any other exception's message.
QString InventoryErrorText(const std::exception& Error);

// The platform's one-line input box for Caption and Prompt, pre-filled with Value (the date prompt).
// It is at least as wide as its title needs in the title bar's font, with room for the window
// manager's buttons, so the title is never cut short ("Data do Inv...").
std::unique_ptr<QInputDialog> NewInputBox(
    QWidget* Parent, const QString& Caption, const QString& Prompt, const QString& Value);
// The width a window needs for Caption to show whole in its title bar.
int TitleBarWidth(const QString& Caption);

// The inventory window. Showing it starts the report run; the run always ends by asking the
// application to terminate. The dialogs and the terminate request are members so that a test (or the
// command line) can answer them.
class TFrmInventario : public QWidget
{
    Q_OBJECT
public:
    // Builds the window and its report (which may throw, see TInventoryReport), then FormCreate.
    explicit TFrmInventario(QWidget* Parent = nullptr);
    ~TFrmInventario() override;

    QGroupBox* GroupBox1 = nullptr;
    QPushButton* cxButton2 = nullptr; // "Relatório"
    QPushButton* cxButton1 = nullptr; // "Sair"

    TInventoryReport& Report() { return *FReport; }

    // The one-line input box: true when confirmed, with Value as edited. Default: QInputDialog.
    std::function<bool(const QString& Caption, const QString& Prompt, QString& Value)> InputQuery;
    // The warning box. Default: QMessageBox with the warning icon and one OK button.
    std::function<void(const QString& Text)> ShowWarning;
    // The application's default error display. Default: a message box with the message.
    std::function<void(const QString& Text)> ShowError;
    // Tells the application to terminate. Default: RequestApplicationTerminate.
    std::function<void()> Terminate;

    void FormCreate();
    void FormShow();
    void cxButton2Click();
    void cxButton1Click();
    // Returns whether the key was consumed.
    bool FormKeyPress(int Key);

protected:
    void showEvent(QShowEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    // A click's handler with the platform's default error display around it.
    void RunGuarded(const std::function<void()>& Action);
    std::unique_ptr<TInventoryReport> FReport;
};

// The program-wide reference to the inventory window: set by start-up, cleared when it closes.
extern QPointer<TFrmInventario> FrmInventario;

// The services of the window program, for a TRLServicesScope: the progress window, the preview window
// as the report's preview, the print operation and its dialogs, message boxes for preparation errors
// and background failures, and the printer's page metrics for the report's layout. Also registers the
// engine's and the filters' classes for definitions and loads Qt's translations, which stay.
TRLServices WindowServices();
