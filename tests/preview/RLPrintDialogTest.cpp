// The print parameters and the print dialog: captions, what the options enable, the printer and
// filter lists, the page range and copies written back, cancel; and printing through the dialog and
// through the report onto stand-in printers that write PDF files, and with no printer at all.
#include "preview/RLPrintDialog.h"

#include "engine/RLConsts.h"
#include "engine/RLGenerationFixture.h"
#include "engine/RLServices.h"
#include "filters/RLPDFFilter.h"
#include "filters/RLPrinterWrapper.h"
#include "filters/RLSpoolFilter.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Exceptions.h"
#include "preview/RLPreviewForm.h"
#include "preview/RLPrintActions.h"
#include "preview/RLSaveDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPageLayout>
#include <QPointer>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <climits>

namespace {

// Printers that print into PDF files, one file per printer object (so one per job).
class TPdfPrinters : public TRLPrinterBackend
{
public:
    explicit TPdfPrinters(QString Folder)
        : FFolder(std::move(Folder))
    { }
    QStringList Names;
    QStringList Files;

    QStringList PrinterNames() override { return Names; }
    QString DefaultPrinterName() override { return {}; }
    std::unique_ptr<QPrinter> CreatePrinter(const QString&) override
    {
        auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
        printer->setOutputFormat(QPrinter::PdfFormat);
        printer->setResolution(150);
        printer->setPageSize(QPageSize(QPageSize::A4));
        Files << FFolder + QStringLiteral("/job%1.pdf").arg(Files.size() + 1);
        printer->setOutputFileName(Files.last());
        return printer;
    }
    QStringList Jobs() const
    {
        QStringList jobs;
        for (const QString& file : Files)
            if (QFile::exists(file))
                jobs << file;
        return jobs;
    }

private:
    QString FFolder;
};

int PdfPageCount(const QString& File)
{
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), { File });
    if (!process.waitForFinished(30000))
        return -1;
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)"))
                                              .match(QString::fromUtf8(process.readAllStandardOutput()));
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// A print filter with options of its own, recording what the dialog tells it.
class TTrayFilter : public TRLCustomPrintFilter
{
public:
    explicit TTrayFilter(TComponent* Owner = nullptr)
        : TRLCustomPrintFilter(Owner)
    { }
    QStringList Trays;
    int OptionIndex = 0;
    int ToldOrientation = 0;
    QString GetOptionsLabel() const override { return QStringLiteral("Bandeja"); }
    QStringList GetOptions() const override { return Trays; }
    int GetOptionIndex() const override { return OptionIndex; }
    void SetOptionIndex(int Index) override { OptionIndex = Index; }
    void SetOrientation(int Orientation) override { ToldOrientation = Orientation; }

protected:
    void BeginDocument() override { }
    void EndDocument() override { }
    void NewPage() override { }
    void DrawPage(TRLGraphicSurface*) override { }
};

// Acts on the next modal dialog of type D once it is up; rejects whatever else is modal.
template <typename D> void WhenShown(std::function<void(D*)> Act)
{
    auto* timer = new QTimer;
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, Act] {
        QWidget* modal = QApplication::activeModalWidget();
        auto* dialog = qobject_cast<D*>(modal);
        if (!dialog || !dialog->isVisible()) {
            if (clock->elapsed() < 5000)
                return;
            if (auto* other = qobject_cast<QDialog*>(modal))
                other->reject();
        } else {
            Act(dialog);
        }
        timer->stop();
        timer->deleteLater();
        delete clock;
    });
    timer->start(10);
}

TRLGraphicSurface* Page()
{
    auto* page = new TRLGraphicSurface;
    page->SetWidth(794);
    page->SetHeight(1123);
    page->SetPaperWidth(210);
    page->SetPaperHeight(297);
    page->SetOrientation(1);
    auto* fill = new TRLFillRectObject(page);
    fill->BoundsRect = TRect(96, 96, 192, 192);
    fill->Brush.Style = MetaBrushStyleSolid;
    return page;
}

class PrintDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.isValid());
        auto backend = std::make_unique<TPdfPrinters>(Folder.path());
        Printers = backend.get();
        Printers->Names = { QStringLiteral("Balcao|usb://balcao"), QStringLiteral("Escritorio") };
        PrinterWrapper().SetBackend(std::move(backend));
        TRLPrintParams& params = PrintParams();
        params.SetFilter(nullptr);
        params.SetOptions(TRLPrintDialogOptions(DefaultPrintDialogOptions));
        params.SetPrintToFile(false);
        params.SetPrintInBackground(false);
        params.SetOrientation(poPortrait);
        params.Reset();
        DefaultPrintFilter()->SetShowProgress(false);
        RLInstallPrintAndSave(Services.Installed());
        Root = std::make_unique<TComponent>();
        Store = new TRLGraphicStorage(Root.get());
        Store->SetPaperWidth(210);
        Store->SetPaperHeight(297);
        Store->SetOrientation(1);
    }
    void TearDown() override
    {
        Root.reset();
        PrintParams().SetFilter(nullptr);
        PrinterWrapper().SetBackend(nullptr);
    }
    void NoPrinters()
    {
        Printers->Names.clear();
        PrinterWrapper().RefreshPrinters();
    }

    // The print operation and the failure box for this test only.
    TRLServicesScope Services { TRLServices {} };
    QTemporaryDir Folder;
    TPdfPrinters* Printers = nullptr;
    std::unique_ptr<TComponent> Root;
    TRLGraphicStorage* Store = nullptr;
};

} // namespace

// --- parameters ------------------------------------------------------------------------------------

TEST_F(PrintDialogTest, ResetGivesTheFullRangeAndThePrintersCopies)
{
    TRLPrintParams& params = PrintParams();
    PrinterWrapper().SetPrinterCopies(3);
    params.SetMinPage(4);
    params.SetMaxPage(20);
    params.SetFromPage(5);
    params.SetToPage(6);
    params.SetPrintRange(rprPageNums);
    params.SetFileName(QStringLiteral("x"));
    params.SetHelpContext(9);
    params.SetPrintInBackground(true);
    params.Reset();
    EXPECT_EQ(params.MinPage(), 1);
    EXPECT_EQ(params.MaxPage(), 9999);
    EXPECT_EQ(params.FromPage(), 1);
    EXPECT_EQ(params.ToPage(), 9999);
    EXPECT_EQ(params.PrintRange(), rprAllPages);
    EXPECT_EQ(params.FileName(), QString());
    EXPECT_EQ(params.HelpContext(), 0);
    EXPECT_EQ(params.Copies(), 3);
    EXPECT_TRUE(params.PrintInBackground()); // a choice of the user, kept for the next print
}

TEST_F(PrintDialogTest, SetMaxPageMovesOnlyAnUntouchedLastPage)
{
    TRLPrintParams& params = PrintParams();
    params.Reset();
    params.SetMaxPage(12);
    EXPECT_EQ(params.ToPage(), 12);
    EXPECT_EQ(params.MaxPage(), 12);
    params.SetToPage(5);
    params.SetMaxPage(30);
    EXPECT_EQ(params.ToPage(), 5);
    EXPECT_EQ(params.MaxPage(), 30);
}

TEST_F(PrintDialogTest, DestroyedFilterIsForgotten)
{
    auto* filter = new TTrayFilter(Root.get());
    PrintParams().SetFilter(filter);
    EXPECT_EQ(PrintParams().Filter(), filter);
    delete filter;
    EXPECT_EQ(PrintParams().Filter(), nullptr);
}

TEST_F(PrintDialogTest, NewParametersHaveTheDocumentedDefaults)
{
    TRLPrintParams params;
    EXPECT_EQ(int(params.Options()),
        int(rpoPrintToFile | rpoPageNums | rpoSelection | rpoWarning | rpoDisablePrintToFile));
    EXPECT_EQ(params.FromPage(), 1);
    EXPECT_EQ(params.PrintRange(), rprAllPages);
    EXPECT_EQ(params.Copies(), 1);
    EXPECT_FALSE(params.PrintToFile());
    EXPECT_FALSE(params.PrintInBackground());
    EXPECT_EQ(params.Orientation(), poPortrait);
    EXPECT_EQ(params.Filter(), nullptr);
}

TEST(DialogNumbers, ReadAndWrittenAsTheDialogsDo)
{
    const std::pair<QString, int> reads[] = { { "12", 12 }, { " 7 ", 7 }, { "+3", 3 }, { "-2", -2 },
        { "", 0 }, { "abc", 0 }, { "4x", 0 }, { "1.5", 0 }, { "99999999999", 0 }, { "٣", 0 } };
    for (const auto& [text, value] : reads)
        EXPECT_EQ(RLDialogNumber(text), value) << qPrintable(text);
    EXPECT_EQ(RLDialogNumberText(0), QString());
    EXPECT_EQ(RLDialogNumberText(9999), QStringLiteral("9999"));
}

// --- the dialog's face -----------------------------------------------------------------------------

TEST_F(PrintDialogTest, CaptionsComeFromTheMessageTable)
{
    TRLPrintDialog dialog;
    const std::pair<QString, QString> captions[] = {
        { dialog.windowTitle(), "Imprimir" },
        { dialog.GroupBoxPrinter->title(), " Impressora " },
        { dialog.LabelPrinterName->text(), "Nome:" },
        { dialog.LabelFilterName->text(), "Usar Filtro:" },
        { dialog.CheckBoxPrintToFile->text(), "Imprimir em arquivo" },
        { dialog.CheckBoxPrintInBackground->text(), "Imprimir em segundo plano" },
        { dialog.GroupBoxPages->title(), " Intervalo de páginas " },
        { dialog.LabelFromPage->text(), "de:" },
        { dialog.LabelToPage->text(), "até:" },
        { dialog.RadioButtonPagesAll->text(), "Tudo" },
        { dialog.RadioButtonPagesInterval->text(), "Páginas" },
        { dialog.RadioButtonPagesSelect->text(), "Seleção" },
        { dialog.GroupBoxCopies->title(), " Cópias " },
        { dialog.LabelCopies->text(), "Número de cópias:" },
        { dialog.ButtonOk->text(), "Ok" },
        { dialog.ButtonCancel->text(), "Cancelar" },
    };
    for (const auto& [actual, expected] : captions)
        EXPECT_EQ(actual, expected);
    // As drawn, widened across only where this platform's font needs it.
    EXPECT_EQ(dialog.height(), 267);
    EXPECT_GE(dialog.width(), 430);
    EXPECT_TRUE(dialog.ButtonOk->isDefault());
    EXPECT_EQ(dialog.EditFromPage->focusPolicy() & Qt::TabFocus, 0);
    EXPECT_EQ(dialog.EditToPage->focusPolicy() & Qt::TabFocus, 0);
}

TEST_F(PrintDialogTest, OptionsDecideWhatIsOfferedAndEnabled)
{
    struct TCase
    {
        int Options;
        bool ToFileVisible, ToFileEnabled, CopiesEnabled, BackgroundEnabled, PagesEnabled, SelectionEnabled,
            Help;
    };
    const TCase cases[] = {
        // The default options show print-to-file but keep it disabled.
        { DefaultPrintDialogOptions, true, false, true, true, true, true, false },
        { rpoPrintToFile, true, true, true, true, false, false, false },
        { 0, false, true, true, true, false, false, false },
        { rpoDisableCopies | rpoDisablePrintInBackground | rpoPageNums, false, true, false, false, true,
            false, false },
        { rpoSelection | rpoHelp, false, true, true, true, false, true, true },
    };
    for (const TCase& c : cases) {
        PrintParams().SetOptions(TRLPrintDialogOptions(c.Options));
        TRLPrintDialog dialog;
        dialog.LoadEditors();
        SCOPED_TRACE(c.Options);
        EXPECT_EQ(dialog.CheckBoxPrintToFile->isVisibleTo(&dialog), c.ToFileVisible);
        EXPECT_EQ(dialog.CheckBoxPrintToFile->isEnabled(), c.ToFileEnabled);
        EXPECT_EQ(dialog.EditCopies->isEnabled(), c.CopiesEnabled);
        EXPECT_EQ(dialog.CheckBoxPrintInBackground->isEnabled(), c.BackgroundEnabled);
        EXPECT_EQ(dialog.RadioButtonPagesInterval->isEnabled(), c.PagesEnabled);
        EXPECT_EQ(dialog.EditFromPage->isEnabled(), c.PagesEnabled);
        EXPECT_EQ(dialog.EditToPage->isEnabled(), c.PagesEnabled);
        EXPECT_EQ(dialog.RadioButtonPagesSelect->isEnabled(), c.SelectionEnabled);
        EXPECT_EQ(dialog.windowFlags().testFlag(Qt::WindowContextHelpButtonHint), c.Help);
        // A disabled edit is painted in the button face, an enabled one in the window colour.
        const QPalette::ColorRole expected = c.CopiesEnabled ? QPalette::Base : QPalette::Button;
        EXPECT_EQ(dialog.EditCopies->palette().color(QPalette::Base), QPalette().color(expected));
    }
}

TEST_F(PrintDialogTest, PrinterListShowsPortsAndSelectsTheCurrentPrinter)
{
    PrinterWrapper().SelectPrinter(1);
    TRLPrintDialog dialog;
    dialog.LoadEditors();
    ASSERT_EQ(dialog.ComboBoxPrinterNames->count(), 2);
    EXPECT_EQ(dialog.ComboBoxPrinterNames->itemText(0), QStringLiteral("Balcao em usb://balcao"));
    EXPECT_EQ(dialog.ComboBoxPrinterNames->itemText(1), QStringLiteral("Escritorio"));
    EXPECT_EQ(dialog.ComboBoxPrinterNames->currentIndex(), 1);
}

TEST_F(PrintDialogTest, FilterListOffersNamedPrintFiltersAfterTheDefault)
{
    {
        TRLPrintDialog dialog;
        dialog.LoadEditors();
        // Only "Default" (the unnamed default printer filter is not listed): nothing to choose.
        ASSERT_EQ(dialog.ComboBoxFilters->count(), 1);
        EXPECT_EQ(dialog.ComboBoxFilters->itemText(0), QStringLiteral("Padrão"));
        EXPECT_FALSE(dialog.ComboBoxFilters->isEnabled());
    }
    auto* unnamed = new TTrayFilter(Root.get());
    Q_UNUSED(unnamed);
    auto* pdf = new TRLPDFFilter(Root.get()); // a save filter: not for printing
    Q_UNUSED(pdf);
    auto* trays = new TTrayFilter(Root.get());
    trays->SetName(QStringLiteral("Bandejas"));
    auto* matrix = new TTrayFilter(Root.get());
    matrix->SetDisplayName(QStringLiteral("Matricial"));
    PrintParams().SetFilter(matrix);
    TRLPrintDialog dialog;
    dialog.LoadEditors();
    ASSERT_EQ(dialog.ComboBoxFilters->count(), 3);
    EXPECT_EQ(dialog.ComboBoxFilters->itemText(1), QStringLiteral("Bandejas"));
    EXPECT_EQ(dialog.ComboBoxFilters->itemText(2), QStringLiteral("Matricial"));
    EXPECT_EQ(dialog.ComboBoxFilters->currentIndex(), 2);
    EXPECT_EQ(dialog.FilterAt(2), matrix);
    EXPECT_EQ(dialog.FilterAt(0), nullptr);
    EXPECT_TRUE(dialog.ComboBoxFilters->isEnabled());
}

TEST_F(PrintDialogTest, OptionsChoiceFollowsTheSelectedFilter)
{
    auto* trays = new TTrayFilter(Root.get());
    trays->SetDisplayName(QStringLiteral("Bandejas"));
    trays->Trays = { QStringLiteral("Superior"), QStringLiteral("Inferior") };
    trays->OptionIndex = 1;
    auto* plain = new TTrayFilter(Root.get());
    plain->SetDisplayName(QStringLiteral("Simples"));
    PrintParams().SetOrientation(poLandscape);
    TRLPrintDialog dialog;
    dialog.LoadEditors();
    EXPECT_FALSE(dialog.LabelOptions->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.ComboBoxOptions->isVisibleTo(&dialog));

    dialog.ComboBoxFilters->setCurrentIndex(1);
    EXPECT_TRUE(dialog.ComboBoxOptions->isVisibleTo(&dialog));
    EXPECT_EQ(dialog.LabelOptions->text(), QStringLiteral("Bandeja:"));
    EXPECT_EQ(dialog.ComboBoxOptions->count(), 2);
    EXPECT_EQ(dialog.ComboBoxOptions->currentIndex(), 1);
    EXPECT_EQ(trays->ToldOrientation, 2);

    dialog.ComboBoxFilters->setCurrentIndex(2); // no options
    EXPECT_FALSE(dialog.ComboBoxOptions->isVisibleTo(&dialog));
    dialog.ComboBoxFilters->setCurrentIndex(1);
    dialog.ComboBoxOptions->setCurrentIndex(0);
    dialog.SaveEditors();
    EXPECT_EQ(PrintParams().Filter(), trays);
    EXPECT_EQ(trays->OptionIndex, 0);
}

TEST_F(PrintDialogTest, RangeAndCopiesAreShownFromTheParameters)
{
    struct TCase
    {
        TRLPrintRange Range;
        int From, To, Copies;
        QRadioButton* TRLPrintDialog::*Radio;
        QString FromText, ToText, CopiesText;
    };
    const TCase cases[] = {
        { rprAllPages, 1, 12, 1, &TRLPrintDialog::RadioButtonPagesAll, "1", "12", "1" },
        { rprSelection, 4, 4, 2, &TRLPrintDialog::RadioButtonPagesSelect, "4", "4", "2" },
        { rprPageNums, 0, 7, 0, &TRLPrintDialog::RadioButtonPagesInterval, "", "7", "" },
    };
    for (const TCase& c : cases) {
        TRLPrintParams& params = PrintParams();
        params.SetPrintRange(c.Range);
        params.SetFromPage(c.From);
        params.SetToPage(c.To);
        params.SetCopies(c.Copies);
        TRLPrintDialog dialog;
        dialog.LoadEditors();
        SCOPED_TRACE(int(c.Range));
        // Filling the edits must not turn the range into "Pages".
        EXPECT_TRUE((dialog.*c.Radio)->isChecked());
        EXPECT_EQ(dialog.EditFromPage->text(), c.FromText);
        EXPECT_EQ(dialog.EditToPage->text(), c.ToText);
        EXPECT_EQ(dialog.EditCopies->text(), c.CopiesText);
    }
}

TEST_F(PrintDialogTest, TypingAPageNumberSwitchesToPages)
{
    for (bool fromEdit : { true, false }) {
        TRLPrintDialog dialog;
        dialog.LoadEditors();
        ASSERT_TRUE(dialog.RadioButtonPagesAll->isChecked());
        QLineEdit* edit = fromEdit ? dialog.EditFromPage : dialog.EditToPage;
        edit->clear();
        QTest::keyClicks(edit, QStringLiteral("3"));
        EXPECT_TRUE(dialog.RadioButtonPagesInterval->isChecked()) << fromEdit;
    }
}

TEST_F(PrintDialogTest, RangeIsWrittenBackFromTheCheckedChoice)
{
    struct TCase
    {
        QRadioButton* TRLPrintDialog::*Radio;
        QString From, To;
        TRLPrintRange Range;
        int FromPage, ToPage;
    };
    const TCase cases[] = {
        { &TRLPrintDialog::RadioButtonPagesAll, "3", "4", rprAllPages, 1, 12 },
        // "Selection" with 4 in the first edit prints page 4 only.
        { &TRLPrintDialog::RadioButtonPagesSelect, "4", "9", rprSelection, 4, 4 },
        { &TRLPrintDialog::RadioButtonPagesInterval, "2", "5", rprPageNums, 2, 5 },
        { &TRLPrintDialog::RadioButtonPagesInterval, "dois", "7", rprPageNums, 0, 7 },
        { &TRLPrintDialog::RadioButtonPagesInterval, "8", "3", rprPageNums, 8, 3 },
    };
    for (const TCase& c : cases) {
        TRLPrintParams& params = PrintParams();
        params.Reset();
        params.SetMaxPage(12);
        TRLPrintDialog dialog;
        dialog.LoadEditors();
        dialog.EditFromPage->setText(c.From);
        dialog.EditToPage->setText(c.To);
        (dialog.*c.Radio)->setChecked(true);
        dialog.SaveEditors();
        SCOPED_TRACE(qPrintable(c.From));
        EXPECT_EQ(params.PrintRange(), c.Range);
        EXPECT_EQ(params.FromPage(), c.FromPage);
        EXPECT_EQ(params.ToPage(), c.ToPage);
    }
}

TEST_F(PrintDialogTest, CopiesBoxesAndPrinterAreWrittenBack)
{
    PrintParams().SetOptions(TRLPrintDialogOptions(DefaultPrintDialogOptions) & ~rpoDisablePrintToFile);
    TRLPrintDialog dialog;
    dialog.LoadEditors();
    dialog.EditCopies->setText(QStringLiteral("3"));
    dialog.CheckBoxPrintToFile->setChecked(true);
    dialog.CheckBoxPrintInBackground->setChecked(true);
    dialog.ComboBoxPrinterNames->setCurrentIndex(1);
    dialog.SaveEditors();
    EXPECT_EQ(PrintParams().Copies(), 3);
    EXPECT_TRUE(PrintParams().PrintToFile());
    EXPECT_TRUE(PrintParams().PrintInBackground());
    EXPECT_EQ(PrinterWrapper().PrinterIndex(), 1);
    // The copies reach the printer chosen in the dialog, not the one selected before.
    EXPECT_EQ(PrinterWrapper().PrinterCopies(), 3);

    TRLPrintDialog again;
    again.LoadEditors();
    again.EditCopies->setText(QStringLiteral("muitas"));
    again.SaveEditors();
    EXPECT_EQ(PrintParams().Copies(), 0);
    // Selecting the printer again brought back its own count, and 0 is not a count to give it.
    EXPECT_EQ(PrinterWrapper().PrinterCopies(), 1);
}

TEST_F(PrintDialogTest, ExecuteOkWritesBackAndCancelLeavesEverythingAsItWas)
{
    TRLPrintParams& params = PrintParams();
    params.SetMaxPage(12);
    params.SetCopies(1);

    WhenShown<TRLPrintDialog>([](TRLPrintDialog* dialog) {
        EXPECT_EQ(dialog->focusWidget(), dialog->ComboBoxPrinterNames);
        dialog->RadioButtonPagesSelect->setChecked(true);
        dialog->EditFromPage->setText(QStringLiteral("6"));
        dialog->EditCopies->setText(QStringLiteral("2"));
        dialog->ComboBoxPrinterNames->setCurrentIndex(1);
        dialog->ButtonCancel->click();
    });
    {
        TRLPrintDialog dialog;
        EXPECT_FALSE(dialog.Execute());
    }
    EXPECT_EQ(params.PrintRange(), rprAllPages);
    EXPECT_EQ(params.FromPage(), 1);
    EXPECT_EQ(params.ToPage(), 12);
    EXPECT_EQ(params.Copies(), 1);
    EXPECT_EQ(PrinterWrapper().PrinterIndex(), 0);

    WhenShown<TRLPrintDialog>([](TRLPrintDialog* dialog) {
        dialog->RadioButtonPagesSelect->setChecked(true);
        dialog->EditFromPage->setText(QStringLiteral("6"));
        dialog->ButtonOk->click();
    });
    {
        TRLPrintDialog dialog;
        EXPECT_TRUE(dialog.Execute());
    }
    EXPECT_EQ(params.PrintRange(), rprSelection);
    EXPECT_EQ(params.FromPage(), 6);
    EXPECT_EQ(params.ToPage(), 6);
}

// --- printing ----------------------------------------------------------------------------------------

TEST_F(PrintDialogTest, PreviewPrintSendsTheChosenPagesToThePrinter)
{
    for (int i = 0; i < 3; ++i)
        Store->Add(Page());
    WhenShown<TRLPrintDialog>([](TRLPrintDialog* dialog) {
        EXPECT_EQ(dialog->EditToPage->text(), QStringLiteral("3"));
        dialog->EditFromPage->setText(QStringLiteral("2"));
        dialog->RadioButtonPagesInterval->setChecked(true);
        dialog->ButtonOk->click();
    });
    RLPrintStorageWithDialog(nullptr, Store);
    ASSERT_EQ(Printers->Jobs().size(), 1);
    EXPECT_EQ(PdfPageCount(Printers->Jobs().first()), 2);
}

TEST_F(PrintDialogTest, PreviewPrintCancelledPrintsNothing)
{
    Store->Add(Page());
    WhenShown<TRLPrintDialog>([](TRLPrintDialog* dialog) { dialog->ButtonCancel->click(); });
    EXPECT_NO_THROW(RLPrintStorageWithDialog(nullptr, Store));
    EXPECT_TRUE(Printers->Jobs().isEmpty());
}

TEST_F(PrintDialogTest, PreviewPrintTakesTheLandscapeOrientationOfTheStore)
{
    auto* trays = new TTrayFilter(Root.get());
    trays->SetDisplayName(QStringLiteral("Bandejas"));
    trays->Trays = { QStringLiteral("Superior") };
    PrintParams().SetFilter(trays);
    Store->SetOrientation(2);
    Store->Add(Page());
    WhenShown<TRLPrintDialog>([](TRLPrintDialog* dialog) { dialog->ButtonCancel->click(); });
    RLPrintStorageWithDialog(nullptr, Store);
    EXPECT_EQ(PrintParams().Orientation(), poLandscape);
    EXPECT_EQ(trays->ToldOrientation, 2);
}

TEST_F(PrintDialogTest, WithoutPrintersTheDialogSaysSoAsItOpensAndOffersOnlyCancel)
{
    NoPrinters();
    Store->Add(Page());
    bool shown = false;
    WhenShown<TRLPrintDialog>([&shown](TRLPrintDialog* dialog) {
        shown = true;
        EXPECT_EQ(dialog->ComboBoxPrinterNames->count(), 0);
        EXPECT_FALSE(dialog->ComboBoxPrinterNames->isEnabled());
        EXPECT_FALSE(dialog->ButtonOk->isEnabled());
        EXPECT_TRUE(dialog->LabelNoPrinter->isVisible());
        EXPECT_EQ(dialog->LabelNoPrinter->text(), QStringLiteral("Nenhuma impressora encontrada"));
        EXPECT_TRUE(dialog->ButtonCancel->isEnabled());
        dialog->ButtonOk->click(); // does nothing: the dialog stays up
        EXPECT_TRUE(dialog->isVisible());
        dialog->ButtonCancel->click();
    });
    RLPrintStorageWithDialog(nullptr, Store); // cancelled: nothing printed, nothing more said
    EXPECT_TRUE(shown);
    EXPECT_TRUE(Printers->Jobs().isEmpty());
}

TEST_F(PrintDialogTest, WithoutPrintersAFilterThatNeedsNoPrinterMayStillRun)
{
    TTrayFilter tray;
    tray.SetName(QStringLiteral("Bandejas"));
    TRLSpoolFilter spool;
    spool.SetName(QStringLiteral("OutraImpressora"));
    NoPrinters();
    TRLPrintDialog dialog;
    dialog.LoadEditors();
    ASSERT_EQ(dialog.ComboBoxFilters->count(), 3);
    EXPECT_FALSE(dialog.ButtonOk->isEnabled()) << "Default is the printer filter";
    EXPECT_FALSE(dialog.LabelNoPrinter->isHidden());
    dialog.ComboBoxFilters->setCurrentIndex(dialog.ComboBoxFilters->findText(QStringLiteral("Bandejas")));
    EXPECT_TRUE(dialog.ButtonOk->isEnabled());
    EXPECT_TRUE(dialog.LabelNoPrinter->isHidden());
    dialog.ComboBoxFilters->setCurrentIndex(
        dialog.ComboBoxFilters->findText(QStringLiteral("OutraImpressora")));
    EXPECT_FALSE(dialog.ButtonOk->isEnabled()) << "any printer filter needs a printer";
    EXPECT_FALSE(dialog.LabelNoPrinter->isHidden());

    // With printers the reason never shows.
    Printers->Names = { QStringLiteral("Balcao") };
    TRLPrintDialog withPrinter;
    withPrinter.LoadEditors();
    EXPECT_TRUE(withPrinter.ButtonOk->isEnabled());
    EXPECT_TRUE(withPrinter.LabelNoPrinter->isHidden());
    EXPECT_TRUE(withPrinter.ComboBoxPrinterNames->isEnabled());
}

TEST_F(PrintDialogTest, WithoutPrintersADialogAcceptedAnywayStillGetsTheMessage)
{
    NoPrinters();
    Store->Add(Page());
    for (bool background : { false, true }) {
        PrintParams().SetPrintInBackground(background);
        WhenShown<TRLPrintDialog>([](TRLPrintDialog* dialog) { dialog->accept(); });
        try {
            RLPrintStorageWithDialog(nullptr, Store);
            ADD_FAILURE() << "printing without a printer succeeded, background " << background;
        } catch (const EAbort&) {
            ADD_FAILURE() << "printing without a printer was silent";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), QStringLiteral("Nenhuma impressora encontrada"));
        }
    }
}

TEST_F(PrintDialogTest, PreviewWindowWithoutPrintersSaysSoInTheDialogAndForTheSetUp)
{
    NoPrinters();
    Store->Add(Page());
    QStringList errors;
    TRLPreviewActions saved = RLPreviewActions();
    RLPreviewActions().ShowError = [&errors](TRLPreviewForm*, const QString& message) { errors << message; };
    QPointer<TRLPreviewForm> form = new TRLPreviewForm;
    form->SetStorage(Store);
    ASSERT_TRUE(form->SpeedButtonPrint->isEnabled());
    ASSERT_TRUE(form->SpeedButtonSetup->isEnabled());
    bool told = false;
    WhenShown<TRLPrintDialog>([&told](TRLPrintDialog* dialog) {
        told = dialog->LabelNoPrinter->isVisible() && !dialog->ButtonOk->isEnabled();
        dialog->ButtonCancel->click();
    });
    form->SpeedButtonPrint->click();
    form->SpeedButtonSetup->click();
    EXPECT_TRUE(told);
    EXPECT_EQ(errors, QStringList({ "Nenhuma impressora encontrada" }));
    delete form;
    RLPreviewActions().ShowError = saved.ShowError;
}

TEST_F(PrintDialogTest, PrinterSetupShowsTheSelectedPrinter)
{
    QPrinter* shownFor = nullptr;
    PrinterWrapper().SetPrinterPropertiesProc([&shownFor](QPrinter& printer) { shownFor = &printer; });
    PrinterWrapper().SelectPrinter(1);
    RLShowPrinterSetup();
    EXPECT_NE(shownFor, nullptr);
    EXPECT_EQ(shownFor, PrinterWrapper().Printer());
    EXPECT_EQ(PrinterWrapper().PrinterIndex(), 1);
}

// --- the report's print --------------------------------------------------------------------------------

class ReportPrintTest : public PrintDialogTest
{
protected:
    void SetUp() override
    {
        PrintDialogTest::SetUp();
        Fixture.Band(btDetail, 100, QStringLiteral("D"));
        Fixture.Records(9); // three pages
    }
    TGenerationFixture Fixture;
};

TEST_F(ReportPrintTest, WithoutTheDialogEveryPageGoesThroughThePrinterFilter)
{
    Fixture.Report->SetPrintDialog(false);
    PrintParams().SetPrintRange(rprPageNums); // a range left from an earlier print does not narrow this one
    PrintParams().SetFromPage(2);
    Fixture.Report->Print();
    EXPECT_EQ(Fixture.Report->State(), rsReady);
    const int pages = Fixture.Report->Storage()->PageCount();
    ASSERT_EQ(pages, 3);
    EXPECT_EQ(PrintParams().FromPage(), 1);
    ASSERT_EQ(Printers->Jobs().size(), 1);
    EXPECT_EQ(PdfPageCount(Printers->Jobs().first()), pages);
}

TEST_F(ReportPrintTest, CancelledDialogIsASilentAbortAndPrintsNothing)
{
    WhenShown<TRLPrintDialog>([](TRLPrintDialog* dialog) { dialog->ButtonCancel->click(); });
    EXPECT_THROW(Fixture.Report->Print(), EAbort);
    EXPECT_TRUE(Fixture.Report->Cancelled());
    EXPECT_TRUE(Printers->Jobs().isEmpty());
}

TEST_F(ReportPrintTest, DialogGetsTheReportsHelpPageCountAndDefaultFilter)
{
    auto* trays = new TTrayFilter(Root.get());
    trays->SetDisplayName(QStringLiteral("Bandejas"));
    Fixture.Report->SetDefaultFilter(trays);
    Fixture.Report->SetHelpContext(77);
    ASSERT_TRUE(Fixture.Report->Prepare());
    const int pages = Fixture.Report->Storage()->PageCount();
    QString toText;
    bool help = false;
    int filterIndex = -1;
    WhenShown<TRLPrintDialog>([&](TRLPrintDialog* dialog) {
        toText = dialog->EditToPage->text();
        help = dialog->windowFlags().testFlag(Qt::WindowContextHelpButtonHint);
        filterIndex = dialog->ComboBoxFilters->currentIndex();
        dialog->ButtonCancel->click();
    });
    EXPECT_THROW(Fixture.Report->Print(), EAbort);
    EXPECT_EQ(toText, QString::number(pages));
    EXPECT_TRUE(help);
    EXPECT_EQ(filterIndex, 1);
    EXPECT_EQ(PrintParams().Filter(), trays);
    EXPECT_EQ(PrintParams().HelpContext(), 77);
}

TEST_F(ReportPrintTest, SelectedPrintFilterRunsInsteadOfThePrinter)
{
    auto* trays = new TTrayFilter(Root.get());
    trays->SetDisplayName(QStringLiteral("Bandejas"));
    Fixture.Report->SetDefaultFilter(trays);
    Fixture.Report->SetPrintDialog(false);
    Fixture.Report->Print();
    EXPECT_EQ(trays->FirstPage(), 1);
    EXPECT_EQ(trays->LastPage(), Fixture.Report->Storage()->PageCount());
    EXPECT_TRUE(Printers->Jobs().isEmpty());
}

TEST_F(ReportPrintTest, WithoutPrintersTheReportSaysSo)
{
    NoPrinters();
    Fixture.Report->SetPrintDialog(false);
    try {
        Fixture.Report->Print();
        FAIL() << "printing without a printer succeeded";
    } catch (const EAbort&) {
        FAIL() << "printing without a printer was silent";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Nenhuma impressora encontrada"));
    }
}

// The dialogs were drawn for a narrower dialog font than this platform's: no caption may be cut.
TEST(RLDialogCaptions, EveryCaptionFitsInBothDialogs)
{
    TRLPrintDialog print;
    TRLSaveDialog save;
    for (QDialog* dialog : { static_cast<QDialog*>(&print), static_cast<QDialog*>(&save) }) {
        for (QWidget* widget : dialog->findChildren<QWidget*>()) {
            const auto* label = qobject_cast<QLabel*>(widget);
            const bool captioned = (label && !label->text().isEmpty()) || qobject_cast<QCheckBox*>(widget)
                || qobject_cast<QRadioButton*>(widget);
            if (!captioned)
                continue;
            EXPECT_LE(widget->sizeHint().width(), widget->width())
                << dialog->windowTitle().toStdString() << ": " << widget->objectName().toStdString() << " "
                << (label ? label->text() : static_cast<QAbstractButton*>(widget)->text()).toStdString();
            // Widened across only: the rows stay where they were drawn, inside the dialog.
            EXPECT_LE(widget->mapTo(dialog, QPoint(widget->width(), 0)).x(), dialog->width());
        }
    }
}
