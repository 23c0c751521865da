// The save parameters and the save dialog: captions, the format list, the file name and its
// extension picking the format, the look-up, cancel; and whole saves from a small page store into
// PDF, spreadsheet and page store files.
#include "preview/RLSaveDialog.h"

#include "engine/RLConsts.h"
#include "engine/RLServices.h"
#include "filters/RLDataFilter.h"
#include "filters/RLPDFFilter.h"
#include "filters/RLXLSFilter.h"
#include "pagestore/RLMetaFile.h"
#include "preview/RLPreviewForm.h"
#include "preview/RLPrintActions.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

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

TRLGraphicSurface* TextPage(const QString& Text)
{
    auto* page = new TRLGraphicSurface;
    page->SetWidth(794);
    page->SetHeight(1123);
    page->SetPaperWidth(210);
    page->SetPaperHeight(297);
    page->SetOrientation(1);
    NewGroupId();
    page->CurrentFont().SetName(QStringLiteral("Arial"));
    page->CurrentFont().SetSize(10);
    const TRect rect(96, 96, 400, 120);
    page->WriteText(rect, rect.Left, rect.Top, Text, MetaTextAlignmentLeft, MetaTextLayoutTop, 5);
    return page;
}

QByteArray Head(const QString& File, int Count)
{
    QFile file(File);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(Count);
}

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

const QByteArray CompoundFileSignature = QByteArray::fromHex("D0CF11E0A1B11AE1");

class SaveDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Folder.isValid());
        Root = std::make_unique<TComponent>();
        Pdf = new TRLPDFFilter(Root.get());
        Pdf->SetShowProgress(false);
        Xls = new TRLXLSFilter(Root.get());
        Xls->SetShowProgress(false);
        Store = new TRLGraphicStorage(Root.get());
        Store->SetPaperWidth(210);
        Store->SetPaperHeight(297);
        Store->SetOrientation(1);
        Store->SetTitle(QStringLiteral("Inventário"));
        for (const char* text : { "Primeira", "Segunda", "Terceira" })
            Store->Add(TextPage(QString::fromLatin1(text)));
        TRLSaveParams& params = SaveParams();
        params.SetFilter(nullptr);
        params.SetOptions({});
        params.SetSaveInBackground(false);
        params.SetEmbedFonts(false);
        params.SetCompress(false);
        params.Reset();
        RLInstallPrintAndSave(Services.Installed());
    }
    void TearDown() override
    {
        SaveParams().SetFilter(nullptr);
        Root.reset();
    }
    QString Path(const QString& Name) const { return Folder.filePath(Name); }
    int IndexOf(TRLSaveDialog& Dialog, TRLCustomSaveFilter* Filter) const
    {
        for (int i = 0; i < Dialog.ComboBoxFormat->count(); ++i)
            if (Dialog.FilterAt(i) == Filter)
                return i;
        return -1;
    }

    // The print operation and the failure box for this test only.
    TRLServicesScope Services { TRLServices {} };
    QTemporaryDir Folder;
    std::unique_ptr<TComponent> Root;
    TRLPDFFilter* Pdf = nullptr;
    TRLXLSFilter* Xls = nullptr;
    TRLGraphicStorage* Store = nullptr;
};

} // namespace

// --- parameters ------------------------------------------------------------------------------------

TEST_F(SaveDialogTest, ResetAndSetMaxPage)
{
    TRLSaveParams& params = SaveParams();
    params.SetFileName(QStringLiteral("x"));
    params.SetSaveRange(rsrPageNums);
    params.SetFromPage(3);
    params.SetHelpContext(5);
    params.SetFilter(Pdf);
    params.Reset();
    EXPECT_EQ(params.FileName(), QString());
    EXPECT_EQ(params.MinPage(), 1);
    EXPECT_EQ(params.MaxPage(), 9999);
    EXPECT_EQ(params.FromPage(), 1);
    EXPECT_EQ(params.ToPage(), 9999);
    EXPECT_EQ(params.SaveRange(), rsrAllPages);
    EXPECT_EQ(params.HelpContext(), 0);
    EXPECT_EQ(params.Filter(), Pdf); // the format chosen last time stays chosen
    params.SetMaxPage(12);
    EXPECT_EQ(params.ToPage(), 12);
    params.SetToPage(5);
    params.SetMaxPage(40);
    EXPECT_EQ(params.ToPage(), 5);
}

TEST_F(SaveDialogTest, DestroyedFilterIsForgotten)
{
    SaveParams().SetFilter(Xls);
    delete Xls;
    Xls = nullptr;
    EXPECT_EQ(SaveParams().Filter(), nullptr);
}

// --- the dialog's face -----------------------------------------------------------------------------

TEST_F(SaveDialogTest, CaptionsComeFromTheMessageTable)
{
    TRLSaveDialog dialog;
    const std::pair<QString, QString> captions[] = {
        { dialog.windowTitle(), "Salvar" },
        { dialog.LabelFileName->text(), "Nome do arquivo:" },
        { dialog.LabelUseFilter->text(), "Usar Filtro:" },
        { dialog.SpeedButtonLookup->text(), "..." },
        { dialog.GroupBoxPages->title(), " Intervalo de páginas " },
        { dialog.LabelFromPage->text(), "de:" },
        { dialog.LabelToPage->text(), "até:" },
        { dialog.RadioButtonPagesAll->text(), "Tudo" },
        { dialog.RadioButtonPagesInterval->text(), "Páginas" },
        { dialog.RadioButtonPagesSelect->text(), "Seleção" },
        { dialog.CheckBoxSaveInBackground->text(), "Salvar em segundo plano" },
        { dialog.ButtonSave->text(), "Salvar" },
        { dialog.ButtonCancel->text(), "Cancelar" },
    };
    for (const auto& [actual, expected] : captions)
        EXPECT_EQ(actual, expected);
    // As drawn, widened across only where this platform's font needs it.
    EXPECT_EQ(dialog.height(), 244);
    EXPECT_GE(dialog.width(), 391);
    EXPECT_TRUE(dialog.ButtonSave->isDefault());
    // The file name is first in the tab order.
    QWidget* first = dialog.nextInFocusChain();
    while (first != &dialog && !(first->focusPolicy() & Qt::TabFocus))
        first = first->nextInFocusChain();
    EXPECT_EQ(first, dialog.EditFileName);
}

TEST_F(SaveDialogTest, FormatsListEverySaveFilterAfterTheDefault)
{
    SaveParams().SetFilter(Xls);
    TRLSaveDialog dialog;
    dialog.LoadEditors();
    ASSERT_GE(dialog.ComboBoxFormat->count(), 3);
    EXPECT_EQ(dialog.ComboBoxFormat->itemText(0), QStringLiteral("Padrão"));
    EXPECT_EQ(dialog.FilterAt(0), nullptr);
    const int pdf = IndexOf(dialog, Pdf);
    const int xls = IndexOf(dialog, Xls);
    ASSERT_GT(pdf, 0);
    ASSERT_GT(xls, pdf); // creation order
    EXPECT_EQ(dialog.ComboBoxFormat->itemText(pdf), QStringLiteral("Documento PDF"));
    EXPECT_EQ(dialog.ComboBoxFormat->itemText(xls), QStringLiteral("Planilha Excel"));
    EXPECT_EQ(dialog.ComboBoxFormat->currentIndex(), xls);
}

TEST_F(SaveDialogTest, DataWorkbookAndDelimitedTextAreOfferedAndChosenByExtension)
{
    auto* xlsx = new TRLXLSXFilter(Root.get());
    auto* csv = new TRLCSVFilter(Root.get());
    TRLDataTable table;
    xlsx->SetTable(&table);
    csv->SetTable(&table);
    TRLSaveDialog dialog;
    dialog.LoadEditors();
    const int xlsxIndex = IndexOf(dialog, xlsx);
    const int csvIndex = IndexOf(dialog, csv);
    ASSERT_GT(xlsxIndex, IndexOf(dialog, Xls));
    ASSERT_GT(csvIndex, xlsxIndex);
    EXPECT_EQ(dialog.ComboBoxFormat->itemText(xlsxIndex), QStringLiteral("Planilha de dados (xlsx)"));
    EXPECT_EQ(dialog.ComboBoxFormat->itemText(csvIndex), QStringLiteral("Texto separado (csv)"));
    const struct
    {
        const char* Typed;
        TRLCustomSaveFilter* Chosen;
        const char* Expected;
        TRLCustomSaveFilter* Filter;
    } cases[] = {
        { "dados", xlsx, "dados.xlsx", xlsx },
        { "dados", csv, "dados.csv", csv },
        { "dados.CSV", Pdf, "dados.CSV", csv },
        { "dados.xlsx", Xls, "dados.xlsx", xlsx }, // .xlsx is not .xls
        { "dados.xls", xlsx, "dados.xls", Xls },
    };
    for (const auto& c : cases) {
        TRLSaveDialog each;
        each.LoadEditors();
        each.ComboBoxFormat->setCurrentIndex(IndexOf(each, c.Chosen));
        each.EditFileName->setText(QString::fromLatin1(c.Typed));
        each.SaveEditors();
        EXPECT_EQ(SaveParams().FileName(), QString::fromLatin1(c.Expected)) << c.Typed;
        EXPECT_EQ(SaveParams().Filter(), c.Filter) << c.Typed;
    }
    SaveParams().SetFilter(nullptr);
    delete csv;
    delete xlsx;
}

// A saved report's window has its pages but no rows: the data writers are not offered there, and a
// name typed with their extension still reaches them, whose error says why, instead of a page store
// file written under a .csv name.
TEST_F(SaveDialogTest, DataWritersWithoutRowsAreNotOfferedButTheirExtensionStillChoosesThem)
{
    auto* xlsx = new TRLXLSXFilter(Root.get());
    auto* csv = new TRLCSVFilter(Root.get());
    SaveParams().SetFilter(csv); // remembered from an earlier save, when it had rows
    {
        TRLSaveDialog dialog;
        dialog.LoadEditors();
        EXPECT_EQ(IndexOf(dialog, xlsx), -1);
        EXPECT_EQ(IndexOf(dialog, csv), -1);
        EXPECT_GT(IndexOf(dialog, Pdf), 0);
        EXPECT_GT(IndexOf(dialog, Xls), 0);
        EXPECT_EQ(dialog.ComboBoxFormat->currentIndex(), 0);
        dialog.EditFileName->setText(QStringLiteral("dados.csv"));
        dialog.SaveEditors();
        EXPECT_EQ(SaveParams().Filter(), csv);
    }
    TRLDataTable table;
    csv->SetTable(&table);
    TRLSaveDialog withRows;
    withRows.LoadEditors();
    EXPECT_GT(IndexOf(withRows, csv), 0);
    EXPECT_EQ(IndexOf(withRows, xlsx), -1);
    SaveParams().SetFilter(nullptr);
    delete csv;
    delete xlsx;
}

TEST_F(SaveDialogTest, RangeChoicesAndBackgroundAreShown)
{
    TRLSaveParams& params = SaveParams();
    params.SetSaveRange(rsrPageNums);
    params.SetFromPage(2);
    params.SetToPage(0);
    params.SetFileName(QStringLiteral("/tmp/relatorio"));
    params.SetSaveInBackground(true);
    params.SetOptions(rsoDisableSaveInBackground);
    TRLSaveDialog dialog;
    dialog.LoadEditors();
    EXPECT_TRUE(dialog.RadioButtonPagesInterval->isChecked());
    EXPECT_EQ(dialog.EditFromPage->text(), QStringLiteral("2"));
    EXPECT_EQ(dialog.EditToPage->text(), QString());
    EXPECT_EQ(dialog.EditFileName->text(), QStringLiteral("/tmp/relatorio"));
    EXPECT_TRUE(dialog.CheckBoxSaveInBackground->isChecked());
    EXPECT_FALSE(dialog.CheckBoxSaveInBackground->isEnabled());
    EXPECT_TRUE(dialog.RadioButtonPagesInterval->isEnabled());
    EXPECT_TRUE(dialog.EditFromPage->isEnabled());
    EXPECT_FALSE(dialog.RadioButtonPagesSelect->isEnabled()); // a page store has no selection

    QTest::keyClicks(dialog.EditToPage, QStringLiteral("3"));
    dialog.RadioButtonPagesAll->setChecked(true);
    QTest::keyClicks(dialog.EditFromPage, QStringLiteral("1"));
    EXPECT_TRUE(dialog.RadioButtonPagesInterval->isChecked());
}

TEST_F(SaveDialogTest, FileNameAndFormatDecideTheFilterAndTheExtension)
{
    enum TFormat { Default, Pdf, Xls };
    struct TCase
    {
        QString Typed;
        TFormat Chosen;
        QString Expected;
        TFormat Filter;
    };
    const TCase cases[] = {
        { "relatorio", Pdf, "relatorio.pdf", Pdf },
        { "relatorio", Default, "relatorio.pgx", Default },
        { "relatorio", Xls, "relatorio.xls", Xls },
        // The extension wins over the list.
        { "relatorio.xls", Pdf, "relatorio.xls", Xls },
        { "RELATORIO.PDF", Default, "RELATORIO.PDF", Pdf },
        // An extension no filter has: the page store's own format under that name.
        { "relatorio.txt", Pdf, "relatorio.txt", Default },
        { "pasta.v2/relatorio", Pdf, "pasta.v2/relatorio.pdf", Pdf },
    };
    auto filterOf = [this](TFormat format) -> TRLCustomSaveFilter* {
        return format == Pdf ? static_cast<TRLCustomSaveFilter*>(this->Pdf)
            : format == Xls  ? static_cast<TRLCustomSaveFilter*>(this->Xls)
                             : nullptr;
    };
    for (const TCase& c : cases) {
        TRLSaveDialog dialog;
        dialog.LoadEditors();
        dialog.ComboBoxFormat->setCurrentIndex(IndexOf(dialog, filterOf(c.Chosen)));
        dialog.EditFileName->setText(c.Typed);
        dialog.SaveEditors();
        SCOPED_TRACE(qPrintable(c.Typed));
        EXPECT_EQ(SaveParams().FileName(), c.Expected);
        EXPECT_EQ(SaveParams().Filter(), filterOf(c.Filter));
    }
}

TEST_F(SaveDialogTest, RangeIsWrittenBackAsForPrinting)
{
    struct TCase
    {
        QRadioButton* TRLSaveDialog::*Radio;
        QString From, To;
        TRLSaveRange Range;
        int FromPage, ToPage;
    };
    const TCase cases[] = {
        { &TRLSaveDialog::RadioButtonPagesAll, "2", "2", rsrAllPages, 1, 3 },
        { &TRLSaveDialog::RadioButtonPagesInterval, "2", "3", rsrPageNums, 2, 3 },
        { &TRLSaveDialog::RadioButtonPagesInterval, "", "x", rsrPageNums, 0, 0 },
    };
    for (const TCase& c : cases) {
        SaveParams().Reset();
        SaveParams().SetMaxPage(3);
        TRLSaveDialog dialog;
        dialog.LoadEditors();
        dialog.EditFileName->setText(QStringLiteral("a"));
        dialog.EditFromPage->setText(c.From);
        dialog.EditToPage->setText(c.To);
        (dialog.*c.Radio)->setChecked(true);
        dialog.CheckBoxSaveInBackground->setChecked(true);
        dialog.SaveEditors();
        EXPECT_EQ(SaveParams().SaveRange(), c.Range);
        EXPECT_EQ(SaveParams().FromPage(), c.FromPage);
        EXPECT_EQ(SaveParams().ToPage(), c.ToPage);
        EXPECT_TRUE(SaveParams().SaveInBackground());
    }
}

TEST_F(SaveDialogTest, LookupOffersTheChosenFormatAndTakesThePath)
{
    TRLSaveDialog dialog;
    dialog.LoadEditors();
    QStringList asked;
    QString answer = Path(QStringLiteral("escolhido.pdf"));
    dialog.AskFileName
        = [&](TRLSaveDialog*, const QString& filter, const QString& ext, const QString& start) {
              asked << filter << ext << start;
              return answer;
          };
    dialog.EditFileName->setText(QStringLiteral("inicio"));
    dialog.ComboBoxFormat->setCurrentIndex(IndexOf(dialog, Pdf));
    dialog.SpeedButtonLookup->click();
    EXPECT_EQ(asked, QStringList({ "Documento PDF (*.pdf)|*.pdf", ".pdf", "inicio" }));
    EXPECT_EQ(dialog.EditFileName->text(), answer);

    asked.clear();
    answer.clear(); // cancelled: the name stays
    dialog.ComboBoxFormat->setCurrentIndex(0);
    dialog.SpeedButtonLookup->click();
    EXPECT_EQ(
        asked, QStringList({ "Quillborough (*.pgx)|*.pgx", ".pgx", Path(QStringLiteral("escolhido.pdf")) }));
    EXPECT_EQ(dialog.EditFileName->text(), Path(QStringLiteral("escolhido.pdf")));
}

TEST_F(SaveDialogTest, EmptyFileNameKeepsTheDialogOpen)
{
    bool stillOpen = false;
    WhenShown<TRLSaveDialog>([&stillOpen](TRLSaveDialog* dialog) {
        dialog->EditFileName->setText(QStringLiteral("   "));
        dialog->ButtonSave->click();
        stillOpen = dialog->isVisible();
        dialog->ButtonCancel->click();
    });
    TRLSaveDialog dialog;
    EXPECT_FALSE(dialog.Execute());
    EXPECT_TRUE(stillOpen);
}

// --- saving ------------------------------------------------------------------------------------------

TEST_F(SaveDialogTest, SavesPdfAndSpreadsheetFilesChosenByFormat)
{
    struct TCase
    {
        TRLCustomSaveFilter* Filter;
        QString Name;
        QByteArray Signature;
    };
    const TCase cases[] = {
        { Pdf, "relatorio", "%PDF-" },
        { Xls, "planilha", CompoundFileSignature },
    };
    for (const TCase& c : cases) {
        WhenShown<TRLSaveDialog>([&](TRLSaveDialog* dialog) {
            EXPECT_EQ(dialog->focusWidget(), dialog->EditFileName);
            dialog->EditFileName->setText(Path(c.Name));
            dialog->ComboBoxFormat->setCurrentIndex(IndexOf(*dialog, c.Filter));
            dialog->ButtonSave->click();
        });
        EXPECT_TRUE(RLSaveStorageWithDialog(nullptr, Store, QString()));
        const QString written = Path(c.Name) + c.Filter->DefaultExt();
        EXPECT_EQ(c.Filter->FileName(), written);
        EXPECT_EQ(Head(written, c.Signature.size()), c.Signature) << qPrintable(written);
    }
}

TEST_F(SaveDialogTest, PdfOptionsAreOfferedWhileThePdfWriterWouldWrite)
{
    TRLSaveDialog dialog;
    dialog.LoadEditors();
    auto offered = [&] {
        EXPECT_EQ(dialog.CheckBoxEmbedFonts->isHidden(), dialog.CheckBoxCompress->isHidden());
        return !dialog.CheckBoxEmbedFonts->isHidden();
    };
    EXPECT_FALSE(offered()) << "the page store format has no such options";
    dialog.ComboBoxFormat->setCurrentIndex(IndexOf(dialog, Pdf));
    EXPECT_TRUE(offered());
    dialog.ComboBoxFormat->setCurrentIndex(IndexOf(dialog, Xls));
    EXPECT_FALSE(offered());
    // The extension typed picks the writer, whatever the list says.
    dialog.EditFileName->setText(QStringLiteral("relatorio.PDF"));
    EXPECT_TRUE(offered());
    dialog.ComboBoxFormat->setCurrentIndex(IndexOf(dialog, Pdf));
    dialog.EditFileName->setText(QStringLiteral("relatorio.xls"));
    EXPECT_FALSE(offered());
    dialog.EditFileName->setText(QStringLiteral("relatorio"));
    EXPECT_TRUE(offered());
    EXPECT_FALSE(dialog.CheckBoxEmbedFonts->isChecked());
    EXPECT_FALSE(dialog.CheckBoxCompress->isChecked());
    EXPECT_FALSE(dialog.CheckBoxEmbedFonts->text().isEmpty());
    EXPECT_NE(dialog.CheckBoxEmbedFonts->text(), dialog.CheckBoxCompress->text());

    // Written back on OK and offered again next time, like the background choice.
    dialog.CheckBoxEmbedFonts->setChecked(true);
    dialog.SaveEditors();
    EXPECT_TRUE(SaveParams().EmbedFonts());
    EXPECT_FALSE(SaveParams().Compress());
    SaveParams().Reset();
    TRLSaveDialog next;
    next.LoadEditors();
    EXPECT_TRUE(next.CheckBoxEmbedFonts->isChecked());
    EXPECT_FALSE(next.CheckBoxCompress->isChecked());
    EXPECT_TRUE(!next.CheckBoxEmbedFonts->isHidden()) << "the remembered filter is the PDF writer";
}

TEST_F(SaveDialogTest, PdfOptionsChosenInTheDialogReachTheFile)
{
    struct TCase
    {
        bool EmbedFonts, Compress;
    } cases[] = { { true, true }, { false, false }, { false, true } };
    for (const TCase& c : cases) {
        WhenShown<TRLSaveDialog>([&](TRLSaveDialog* dialog) {
            dialog->EditFileName->setText(Path(QStringLiteral("opcoes.pdf")));
            dialog->CheckBoxEmbedFonts->setChecked(c.EmbedFonts);
            dialog->CheckBoxCompress->setChecked(c.Compress);
            dialog->ButtonSave->click();
        });
        ASSERT_TRUE(RLSaveStorageWithDialog(nullptr, Store, QString()));
        QFile file(Path(QStringLiteral("opcoes.pdf")));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray pdf = file.readAll();
        EXPECT_EQ(pdf.contains("/FontFile2 "), c.EmbedFonts) << c.EmbedFonts << c.Compress;
        EXPECT_EQ(pdf.contains("/Filter/FlateDecode"), c.Compress) << c.EmbedFonts << c.Compress;
        EXPECT_EQ(Pdf->EmbedFonts(), c.EmbedFonts);
        EXPECT_EQ(Pdf->Compress(), c.Compress);
        if (QStandardPaths::findExecutable(QStringLiteral("pdfinfo")).isEmpty())
            continue;
        EXPECT_EQ(PdfPageCount(Path(QStringLiteral("opcoes.pdf"))), 3);
    }
}

TEST_F(SaveDialogTest, ExtensionPicksTheWriterAndOnlyTheChosenPagesAreSaved)
{
    WhenShown<TRLSaveDialog>([&](TRLSaveDialog* dialog) {
        dialog->EditFileName->setText(Path(QStringLiteral("dois.pdf")));
        dialog->ComboBoxFormat->setCurrentIndex(0);
        dialog->EditFromPage->setText(QStringLiteral("2"));
        dialog->EditToPage->setText(QStringLiteral("3"));
        dialog->RadioButtonPagesInterval->setChecked(true);
        dialog->ButtonSave->click();
    });
    ASSERT_TRUE(RLSaveStorageWithDialog(nullptr, Store, QString()));
    ASSERT_EQ(Head(Path(QStringLiteral("dois.pdf")), 5), QByteArray("%PDF-"));
    EXPECT_EQ(PdfPageCount(Path(QStringLiteral("dois.pdf"))), 2);
}

TEST_F(SaveDialogTest, BackgroundSaveReturnsAtOnceAndWritesTheWholeFile)
{
    const QString file = Path(QStringLiteral("fundo.pdf"));
    WhenShown<TRLSaveDialog>([&](TRLSaveDialog* dialog) {
        dialog->EditFileName->setText(file);
        dialog->CheckBoxSaveInBackground->setChecked(true);
        dialog->ButtonSave->click();
    });
    ASSERT_TRUE(RLSaveStorageWithDialog(nullptr, Store, QString()));
    // The run hands its last steps to this thread, so the event loop must turn while it finishes.
    QElapsedTimer waited;
    waited.start();
    while (Store->LinkCount() > 0 && waited.elapsed() < 20000)
        QTest::qWait(20);
    ASSERT_EQ(Store->LinkCount(), 0) << "the background save did not end";
    EXPECT_EQ(Head(file, 5), QByteArray("%PDF-"));
    EXPECT_EQ(PdfPageCount(file), 3);
}

TEST_F(SaveDialogTest, DefaultFormatWritesThePageStoreFile)
{
    for (const QString& name : { QStringLiteral("copia"), QStringLiteral("copia.txt") }) {
        WhenShown<TRLSaveDialog>([&](TRLSaveDialog* dialog) {
            dialog->EditFileName->setText(Path(name));
            dialog->ComboBoxFormat->setCurrentIndex(0);
            dialog->ButtonSave->click();
        });
        ASSERT_TRUE(RLSaveStorageWithDialog(nullptr, Store, QString()));
        const QString written = name.contains('.') ? Path(name) : Path(name) + QStringLiteral(".pgx");
        TComponent owner;
        auto* loaded = new TRLGraphicStorage(&owner);
        loaded->LoadFromFile(written);
        EXPECT_EQ(loaded->PageCount(), 3) << qPrintable(written);
        EXPECT_EQ(loaded->Title(), QStringLiteral("Inventário"));
    }
}

TEST_F(SaveDialogTest, ProposedNameIsOfferedAndCancelWritesNothing)
{
    Pdf->SetFileName(Path(QStringLiteral("anterior.pdf")));
    SaveParams().SetFilter(Pdf);
    QStringList offered;
    for (const QString& proposed : { Path(QStringLiteral("proposto")), QString() }) {
        WhenShown<TRLSaveDialog>([&](TRLSaveDialog* dialog) {
            offered << dialog->EditFileName->text();
            dialog->EditFileName->setText(Path(QStringLiteral("nunca")));
            dialog->ButtonCancel->click();
        });
        EXPECT_FALSE(RLSaveStorageWithDialog(nullptr, Store, proposed));
    }
    // Without a proposal the chosen filter's last file name is offered.
    EXPECT_EQ(
        offered, QStringList({ Path(QStringLiteral("proposto")), Path(QStringLiteral("anterior.pdf")) }));
    EXPECT_EQ(QDir(Folder.path()).entryList(QDir::Files), QStringList());
    EXPECT_EQ(SaveParams().Filter(), Pdf);
    EXPECT_EQ(Pdf->FileName(), Path(QStringLiteral("anterior.pdf")));
}

TEST_F(SaveDialogTest, PreviewWindowSaveButtonSavesThroughTheDialog)
{
    const QString cwd = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(Folder.path()));
    auto* form = new TRLPreviewForm;
    form->SetStorage(Store);
    QString offered;
    WhenShown<TRLSaveDialog>([&](TRLSaveDialog* dialog) {
        offered = dialog->EditFileName->text();
        dialog->ComboBoxFormat->setCurrentIndex(IndexOf(*dialog, Pdf));
        dialog->ButtonSave->click();
    });
    form->SpeedButtonSave->click();
    delete form;
    QDir::setCurrent(cwd);
    EXPECT_EQ(offered, QDir(Folder.path()).absoluteFilePath(QStringLiteral("Inventário")));
    EXPECT_EQ(Head(Path(QStringLiteral("Inventário.pdf")), 5), QByteArray("%PDF-"));
}
