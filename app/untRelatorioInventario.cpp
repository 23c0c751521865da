#include "app/untRelatorioInventario.h"
#include "app/QtTranslations.h"

#include "engine/RLRegistration.h"
#include "engine/RLReport.h"
#include "engine/RLServices.h"
#include "filters/RLDataFilter.h"
#include "filters/RLFilterRegistration.h"
#include "filters/RLPDFFilter.h"
#include "filters/RLPrinterWrapper.h"
#include "filters/RLXLSFilter.h"
#include "platform/DataSet.h"
#include "platform/Definitions.h"
#include "platform/Format.h"
#include "platform/Variants.h"
#include "preview/RLFeedBack.h"
#include "preview/RLPreviewForm.h"
#include "preview/RLPrintActions.h"

#include <QCloseEvent>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

double InventoryRunningTotal = 0;
QPointer<TFrmInventario> FrmInventario;

// Resources of a static library are registered by hand; the macro must be used outside namespaces.
static void InitInventoryResources()
{
    Q_INIT_RESOURCE(Inventario);
}

namespace {

const QString TaxedClass = QStringLiteral("Tributado");
const QString SubstitutionClass = QStringLiteral("Subst. Tributária");

template <class T> T* RequireComponent(TComponent* root, const char* name)
{
    T* component = qobject_cast<T*>(root->FindComponent(QString::fromLatin1(name)));
    if (!component)
        throw Exception(
            QStringLiteral("A definição do relatório não tem o componente %1").arg(QLatin1String(name)));
    return component;
}

// A rate as the query delivers it; a missing or unreadable one is 0.
double RateValue(const TField* field)
{
    const QVariant value = field->Value();
    if (VarIsNull(value) || VarIsEmpty(value))
        return 0;
    bool ok = false;
    const double rate = value.toDouble(&ok);
    return ok ? rate : 0;
}

} // namespace

QString InventoryMoneyText(double Value)
{
    return FormatFloat(QStringLiteral("#,###,##0.00"), Value);
}

QString InventoryQuantityText(double Value)
{
    return FormatFloat(QStringLiteral("#,###,##0.000"), Value);
}

double InventoryTextToNumber(const QString& Text)
{
    return StrToFloatDef(Text, 0);
}

// ---------------------------------------------------------------------------------------------------
// TInventoryTotals

void TInventoryTotals::ResetRun()
{
    Rate7 = Rate12 = Rate17 = Rate25 = Taxed = Exempt = Substitution = 0;
}

void TInventoryTotals::AddLine(double Value, const QString& TaxClass, double Rate)
{
    if (TaxClass == TaxedClass) {
        // Five independent tests: rate 0 is counted as 17%, any other rate in no rate total.
        if (Rate == 7)
            Rate7 += Value;
        if (Rate == 12)
            Rate12 += Value;
        if (Rate == 17)
            Rate17 += Value;
        if (Rate == 25)
            Rate25 += Value;
        if (Rate == 0)
            Rate17 += Value;
    } else if (TaxClass == SubstitutionClass) {
        Substitution += Value;
    } else {
        Exempt += Value;
    }
    FRunning += Value;
}

// ---------------------------------------------------------------------------------------------------
// TInventoryReport

void TInventoryReport::TRootDeleter::operator()(TComponent* root) const
{
    delete root;
}

QByteArray TInventoryReport::DefinitionText()
{
    static const QByteArray text = [] {
        InitInventoryResources();
        QFile file(QStringLiteral(":/app/Inventario.dfm"));
        if (!file.open(QIODevice::ReadOnly))
            throw Exception(QStringLiteral("A definição do relatório não está no programa"));
        return file.readAll();
    }();
    return text;
}

TInventoryReport::TInventoryReport()
{
    RLRegisterReportClasses();
    // The definition holds the PDF and spreadsheet writers beside the report.
    RLRegisterFilterClasses();

    TEventHandlers handlers;
    handlers.Add<TRLBeforeTextEvent>(QStringLiteral("rldbtxtcustoBeforePrint"),
        [this](TRLCustomControl* s, QString& t, bool& p) { rldbtxtcustoBeforePrint(s, t, p); });
    handlers.Add<TRLBeforeTextEvent>(QStringLiteral("RLDBText1BeforePrint"),
        [this](TRLCustomControl* s, QString& t, bool& p) { RLDBText1BeforePrint(s, t, p); });
    handlers.Add<TRLBeforeTextEvent>(QStringLiteral("RLDBText4BeforePrint"),
        [this](TRLCustomControl* s, QString& t, bool& p) { RLDBText4BeforePrint(s, t, p); });
    handlers.Add<TRLBeforePrintEvent>(QStringLiteral("RLBand4BeforePrint"),
        [this](TRLCustomControl* s, bool& p) { RLBand4BeforePrint(s, p); });
    handlers.Add<TRLBeforePrintEvent>(QStringLiteral("RLBand3BeforePrint"),
        [this](TRLCustomControl* s, bool& p) { RLBand3BeforePrint(s, p); });

    FRoot.reset(new TComponent(nullptr));
    TDefinitionReader reader(ClassRegistry());
    reader.Handlers = &handlers;
    reader.ReadInto(DefinitionText(), FRoot.get());

    TComponent* root = FRoot.get();
    RLReport1 = RequireComponent<TRLReport>(root, "RLReport1");
    qryRelatorio = RequireComponent<TDataSet>(root, "qryRelatorio");
    Table1 = RequireComponent<TDataSet>(root, "Table1");
    DataSource1 = RequireComponent<TDataSource>(root, "DataSource1");
    DataSource2 = RequireComponent<TDataSource>(root, "DataSource2");
    RLBand4 = RequireComponent<TRLBand>(root, "RLBand4");
    RLLabel8 = RequireComponent<TRLLabel>(root, "RLLabel8");
    RLLabel18 = RequireComponent<TRLLabel>(root, "RLLabel18");
    RLLabel11 = RequireComponent<TRLLabel>(root, "RLLabel11");
    RLLabel22 = RequireComponent<TRLLabel>(root, "RLLabel22");
    RLLabel23 = RequireComponent<TRLLabel>(root, "RLLabel23");
    RLLabel24 = RequireComponent<TRLLabel>(root, "RLLabel24");
    RLLabel25 = RequireComponent<TRLLabel>(root, "RLLabel25");
    RLLabel26 = RequireComponent<TRLLabel>(root, "RLLabel26");
    RLLabel27 = RequireComponent<TRLLabel>(root, "RLLabel27");
    RLLabel28 = RequireComponent<TRLLabel>(root, "RLLabel28");
    RLPDFFilter1 = RequireComponent<TRLPDFFilter>(root, "RLPDFFilter1");
    RLXLSFilter1 = RequireComponent<TRLXLSFilter>(root, "RLXLSFilter1");
    RLXLSXFilter1 = RequireComponent<TRLXLSXFilter>(root, "RLXLSXFilter1");
    RLCSVFilter1 = RequireComponent<TRLCSVFilter>(root, "RLCSVFilter1");
    RLXLSXFilter1->SetTable(&Data);
    RLCSVFilter1->SetTable(&Data);
    Data.SheetName = QStringLiteral("Inventário");
    Data.SummarySheetName = QStringLiteral("Resumo");
    Data.Title = QStringLiteral("Inventário por Preço de Custo");
    Data.Columns = {
        { QStringLiteral("Código"), dkText, QString(), -1, 22 },
        { QStringLiteral("Produto"), dkText, QString(), -1, 50 },
        { QStringLiteral("Unid."), dkText, QString(), -1, 7 },
        { QStringLiteral("Estoque"), dkNumber, QStringLiteral("#,##0.000"), 3, 14 },
        { QStringLiteral("Custo"), dkNumber, QStringLiteral("#,##0.00"), 2, 14 },
        { QStringLiteral("Total R$"), dkNumber, QStringLiteral("#,##0.00"), 2, 16 },
        { QStringLiteral("Tributo"), dkText, QString(), -1, 20 },
        { QStringLiteral("ICMS %"), dkNumber, QStringLiteral("#,##0.00"), 2, 9 },
    };

    // The window's FormCreate: the program's one run starts from nothing.
    InventoryRunningTotal = 0;
}

TInventoryReport::~TInventoryReport() = default;

void TInventoryReport::BeginRun(const QString& ReferenceDate)
{
    Totals.ResetRun();
    RLLabel8->SetCaption(ReferenceDate);
    Data.Clear();
    Data.Date = ReferenceDate;
    Data.Company = CompanyName();
}

QString TInventoryReport::CompanyName() const
{
    // What the heading's database text shows: the field of the parameter table's current record.
    if (!Table1 || !Table1->Active() || Table1->Eof())
        return QString();
    const TField* field = Table1->FindField(QStringLiteral("RAZAO_SOCIAL"));
    return field ? field->DisplayText() : QString();
}

int TInventoryReport::ReopenQuery()
{
    qryRelatorio->Close();
    qryRelatorio->Open();
    return qryRelatorio->RecordCount();
}

bool TInventoryReport::ReopenQueryHasRecords()
{
    qryRelatorio->Close();
    qryRelatorio->Open();
    return !(qryRelatorio->Bof() && qryRelatorio->Eof());
}

void TInventoryReport::rldbtxtcustoBeforePrint(TRLCustomControl*, QString& Text, bool&)
{
    Text = InventoryMoneyText(InventoryTextToNumber(Text));
}

void TInventoryReport::RLDBText1BeforePrint(TRLCustomControl*, QString& Text, bool&)
{
    Text = InventoryQuantityText(InventoryTextToNumber(Text));
}

void TInventoryReport::RLDBText4BeforePrint(TRLCustomControl*, QString& Text, bool&)
{
    const double value = InventoryTextToNumber(Text);
    const QString taxClass = qryRelatorio->FieldByName(QStringLiteral("TRIBUTO"))->AsString();
    const double rate
        = taxClass == TaxedClass ? RateValue(qryRelatorio->FieldByName(QStringLiteral("PERC_ICM"))) : 0;
    Totals.AddLine(value, taxClass, rate);
    Text = InventoryMoneyText(value);
    if (RecordData)
        RecordDataLine(value, taxClass);
}

void TInventoryReport::RecordDataLine(double Value, const QString& TaxClass)
{
    // The texts as the line's database texts show them, the numbers as their handlers read them.
    auto text = [&](const char* name) {
        return qryRelatorio->FieldByName(QString::fromLatin1(name))->DisplayText();
    };
    auto number = [](double value) { return TRLDataCell { QString(), value, false }; };
    const TField* rateField = qryRelatorio->FieldByName(QStringLiteral("PERC_ICM"));
    const QVariant rate = rateField->Value();
    TRLDataCell rateCell { QString(), 0, true };
    if (!VarIsNull(rate) && !VarIsEmpty(rate)) {
        bool ok = false;
        rateCell.Number = rate.toDouble(&ok);
        rateCell.Empty = !ok;
    }
    const std::vector<TRLDataCell> cells {
        { text("CODIGO") },
        { text("NOME") },
        { text("UNIDADE") },
        number(InventoryTextToNumber(text("SALDO_ATU"))),
        number(InventoryTextToNumber(text("PRECO_CUST"))),
        number(Value),
        { TaxClass },
        rateCell,
    };
    // The page being prepared: the store holds the pages finished before it.
    Data.AppendRow(RLReport1->Storage()->PageCount(), cells);
}

void TInventoryReport::RLBand4BeforePrint(TRLCustomControl*, bool&)
{
    RLLabel18->SetCaption(InventoryMoneyText(Totals.Running()));
}

void TInventoryReport::RLBand3BeforePrint(TRLCustomControl*, bool&)
{
    Totals.Taxed = Totals.Rate7 + Totals.Rate12 + Totals.Rate17 + Totals.Rate25;
    RLLabel11->SetCaption(InventoryMoneyText(Totals.Running()));
    RLLabel22->SetCaption(InventoryMoneyText(Totals.Rate7));
    RLLabel23->SetCaption(InventoryMoneyText(Totals.Rate12));
    RLLabel24->SetCaption(InventoryMoneyText(Totals.Rate17));
    RLLabel25->SetCaption(InventoryMoneyText(Totals.Rate25));
    RLLabel26->SetCaption(InventoryMoneyText(Totals.Taxed));
    RLLabel27->SetCaption(InventoryMoneyText(Totals.Exempt));
    RLLabel28->SetCaption(InventoryMoneyText(Totals.Substitution));
    RLBand4->SetEnabled(false);
    Data.Summary = {
        { QStringLiteral("TRIBUTAÇÃO 7%"), Totals.Rate7 },
        { QStringLiteral("TRIBUTAÇÃO 12%"), Totals.Rate12 },
        { QStringLiteral("TRIBUTAÇÃO 17%"), Totals.Rate17 },
        { QStringLiteral("TRIBUTAÇÃO 25%"), Totals.Rate25 },
        { QStringLiteral("TOTAL TRIBUTADOS"), Totals.Taxed },
        { QStringLiteral("ISENTOS"), Totals.Exempt },
        { QStringLiteral("SUBST. TRIBUTÁRIA"), Totals.Substitution },
        { QStringLiteral("TOTAL - GERAL"), Totals.Running() },
    };
}

QString InventoryErrorText(const std::exception& Error)
{
    if (const auto* definition = dynamic_cast<const EDefinitionError*>(&Error)) {
        // The data sets' own messages start with their names; what the reader put before that (the
        // property being set, the component loading) means nothing to the user.
        const QString reason = definition->Reason();
        for (const char* name : { "Table1: ", "qryRelatorio: " }) {
            const qsizetype at = reason.lastIndexOf(QLatin1String(name));
            if (at >= 0)
                return reason.mid(at);
        }
        return reason;
    }
    if (const auto* exception = dynamic_cast<const Exception*>(&Error))
        return exception->Message();
    return QString::fromLocal8Bit(Error.what());
}

// ---------------------------------------------------------------------------------------------------

int TitleBarWidth(const QString& Caption)
{
    // Window managers draw titles in their own, often bold, font; the icon and the minimise, maximise
    // and close buttons take about as much again as a short title.
    QFont font = QFontDatabase::systemFont(QFontDatabase::TitleFont);
    font.setBold(true);
    constexpr int TitleBarFurniture = 150;
    return QFontMetrics(font).horizontalAdvance(Caption) + TitleBarFurniture;
}

std::unique_ptr<QInputDialog> NewInputBox(
    QWidget* Parent, const QString& Caption, const QString& Prompt, const QString& Value)
{
    auto box = std::make_unique<QInputDialog>(Parent);
    box->setInputMode(QInputDialog::TextInput);
    box->setWindowTitle(Caption);
    box->setLabelText(Prompt);
    box->setTextValue(Value);
    // The box's own layout sets its size constraints when it is shown, from its text box: that is what
    // is widened (the layout's margins come on top, which does no harm).
    if (QLineEdit* edit = box->findChild<QLineEdit*>())
        edit->setMinimumWidth(std::max(edit->sizeHint().width(), TitleBarWidth(Caption)));
    return box;
}

// ---------------------------------------------------------------------------------------------------
// TFrmInventario

TFrmInventario::TFrmInventario(QWidget* Parent)
    : QWidget(Parent,
        Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
            | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("FrmInventario"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Consulta Inventário"));
    setFixedSize(275, 93);
    QFont windowFont(QStringLiteral("MS Sans Serif"));
    windowFont.setPixelSize(11);
    setFont(windowFont);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    setPalette(palette);
    setAutoFillBackground(true);

    GroupBox1 = new QGroupBox(QStringLiteral("Inventário"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(11, 8, 254, 73);
    QFont groupFont(QStringLiteral("Verdana"));
    groupFont.setPixelSize(11);
    GroupBox1->setFont(groupFont);

    cxButton2 = new QPushButton(QStringLiteral("Relatório"), GroupBox1);
    cxButton2->setObjectName(QStringLiteral("cxButton2"));
    cxButton2->setGeometry(46, 31, 75, 25);
    cxButton1 = new QPushButton(QStringLiteral("Sair"), GroupBox1);
    cxButton1->setObjectName(QStringLiteral("cxButton1"));
    cxButton1->setGeometry(134, 31, 75, 25);
    setTabOrder(cxButton2, cxButton1);

    // Key preview: the window sees every key before the focused control.
    for (QWidget* widget : { static_cast<QWidget*>(this), static_cast<QWidget*>(GroupBox1),
             static_cast<QWidget*>(cxButton2), static_cast<QWidget*>(cxButton1) })
        widget->installEventFilter(this);

    connect(cxButton2, &QPushButton::clicked, this, [this] { RunGuarded([this] { cxButton2Click(); }); });
    connect(cxButton1, &QPushButton::clicked, this, [this] { RunGuarded([this] { cxButton1Click(); }); });

    InputQuery = [this](const QString& caption, const QString& prompt, QString& value) {
        const std::unique_ptr<QInputDialog> box = NewInputBox(this, caption, prompt, value);
        const bool ok = box->exec() == QDialog::Accepted;
        if (ok)
            value = box->textValue();
        return ok;
    };
    ShowWarning = [this](const QString& text) {
        QMessageBox::warning(this, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok);
    };
    ShowError = [this](const QString& text) {
        QMessageBox::critical(this, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok);
    };
    Terminate = [] { RequestApplicationTerminate(); };

    FReport = std::make_unique<TInventoryReport>();

    // Centred on the screen.
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
    FormCreate();
}

TFrmInventario::~TFrmInventario()
{
    if (FrmInventario == this)
        FrmInventario = nullptr;
}

void TFrmInventario::FormCreate()
{
    InventoryRunningTotal = 0;
}

void TFrmInventario::FormShow()
{
    // Queued, so the window is on the screen before the date prompt appears over it.
    QTimer::singleShot(0, cxButton2, [button = QPointer<QPushButton>(cxButton2)] {
        if (button)
            button->click();
    });
}

void TFrmInventario::cxButton2Click()
{
    TInventoryReport& report = *FReport;
    QString answer = DateToStr(QDate::currentDate());
    // A cancelled prompt keeps the default; the answer is used as typed.
    const QString defaultAnswer = answer;
    if (!InputQuery(
            QStringLiteral("Data do Inventário"), QStringLiteral("Informe a Data de Referência:"), answer))
        answer = defaultAnswer;
    report.BeginRun(answer);
    if (report.ReopenQuery() < 1)
        ShowWarning(QStringLiteral("Não Retornou Dados!"));
    else
        report.RLReport1->Preview();
    Terminate();
}

void TFrmInventario::cxButton1Click()
{
    close();
}

bool TFrmInventario::FormKeyPress(int Key)
{
    if (Key != 27)
        return false;
    close();
    return true;
}

void TFrmInventario::RunGuarded(const std::function<void()>& Action)
{
    try {
        Action();
    } catch (const EAbort&) {
        Terminate();
    } catch (const std::exception& error) {
        ShowError(InventoryErrorText(error));
        // The run cannot go on; the program ends instead of leaving an idle window behind.
        Terminate();
    }
}

void TFrmInventario::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    if (!Event->spontaneous())
        FormShow();
}

void TFrmInventario::closeEvent(QCloseEvent* Event)
{
    // FormClose: the window is freed (WA_DeleteOnClose), and the program-wide reference dropped.
    if (FrmInventario == this)
        FrmInventario = nullptr;
    QWidget::closeEvent(Event);
}

bool TFrmInventario::eventFilter(QObject* Watched, QEvent* Event)
{
    if (Event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(Event);
        if (key->key() == Qt::Key_Escape && FormKeyPress(27))
            return true;
    }
    return QWidget::eventFilter(Watched, Event);
}

// ---------------------------------------------------------------------------------------------------

TRLServices WindowServices()
{
    // Qt's own dialogs in the user's language; where Qt has no translation for it they stay English.
    InstallQtTranslations(QLocale::system());
    RLRegisterReportClasses();
    RLRegisterFilterClasses();
    TRLServices services;
    // A report with adjustable margins keeps clear of the selected printer's unprintable borders;
    // without a printer the wrapper answers with its Letter fallback.
    services.PrinterMetrics = ReadReportPrinterMetrics;
    // The preview's print, save and printer set-up buttons, and the report's print operation.
    RLInstallPrintAndSave(services);
    services.Progress = RLFeedBackFactory();
    services.Preview = [](TRLCustomReport* report) {
        TRLPreviewOptions* options = report->PreviewOptions();
        if (options->Defaults() == pdUseDefaults) {
            RLShowPreviewWithDefaults(report->Storage());
        } else {
            RLShowPreviewEntry(report->Storage(), options->ShowModal(), options->FormStyle(),
                options->Caption(), options->HelpContext(), options->HelpFile(), options->BorderIcons(),
                options->WindowState(), options->Position());
        }
        return true;
    };
    services.PreparationError = [](const QString& text) {
        QMessageBox::critical(
            nullptr, QGuiApplication::applicationDisplayName(), QString(text).replace(u'\r', u'\n'));
    };
    return services;
}
