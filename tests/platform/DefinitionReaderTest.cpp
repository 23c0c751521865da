#include "platform/Definitions.h"

#include "platform/Controls.h"
#include "platform/DataSet.h"
#include "platform/MemDataSet.h"

#include <QFile>
#include <QPointer>
#include <gtest/gtest.h>
#include <memory>

namespace {

using TPrintEvent = std::function<void(TComponent* Sender, bool& PrintIt)>;
using TTextEvent = std::function<void(TComponent* Sender, QString& Text, bool& PrintIt)>;

// Margins kept out of the published properties and stored as custom values, like a report site's.
class TFakeMargins : public TPersistent
{
    Q_OBJECT
    Q_PROPERTY(double LeftMargin READ LeftMargin WRITE SetLeftMargin STORED false)
    Q_PROPERTY(double TopMargin READ TopMargin WRITE SetTopMargin STORED false)
public:
    Q_INVOKABLE explicit TFakeMargins(QObject* parent = nullptr)
        : TPersistent(parent)
    { }
    void SetDefaults(double left, double top)
    {
        FLeft = FDefaultLeft = left;
        FTop = FDefaultTop = top;
    }
    double LeftMargin() const { return FLeft; }
    double TopMargin() const { return FTop; }
    void SetLeftMargin(double value) { FLeft = value; }
    void SetTopMargin(double value) { FTop = value; }
    int CustomReads = 0;

    bool ReadCustomProperty(const QString& name, const QVariant& value) override
    {
        const int type = value.typeId();
        if (type != QMetaType::Int && type != QMetaType::LongLong && type != QMetaType::Double)
            return false;
        ++CustomReads;
        if (name == QLatin1String("LeftMargin"))
            FLeft = value.toDouble();
        else if (name == QLatin1String("TopMargin"))
            FTop = value.toDouble();
        else
            return false;
        return true;
    }

private:
    double FLeft = 0, FTop = 0, FDefaultLeft = 0, FDefaultTop = 0;
};

class TFakeBand : public TControl
{
    Q_OBJECT
public:
    enum TBandType { btHeader, btTitle, btColumnHeader, btDetail, btColumnFooter, btSummary, btFooter };
    Q_ENUM(TBandType)
private:
    Q_PROPERTY(TBandType BandType MEMBER FBandType)
    Q_PROPERTY(TFakeMargins* Margins READ Margins)
public:
    Q_INVOKABLE explicit TFakeBand(TComponent* AOwner = nullptr)
        : TControl(AOwner)
        , FMargins(new TFakeMargins(this))
    { }
    TFakeMargins* Margins() const { return FMargins; }
    TBandType FBandType = btDetail;
    TPrintEvent BeforePrint;

private:
    TFakeMargins* FMargins;
};

class TFakeReport : public TFakeBand
{
    Q_OBJECT
    Q_PROPERTY(TDataSource* DataSource READ DataSource WRITE SetDataSource)
    Q_PROPERTY(int FirstPageNumber MEMBER FFirstPageNumber)
public:
    Q_INVOKABLE explicit TFakeReport(TComponent* AOwner = nullptr)
        : TFakeBand(AOwner)
    {
        Margins()->SetDefaults(10, 10);
    }
    TDataSource* DataSource() const { return FDataSource; }
    void SetDataSource(TDataSource* value) { FDataSource = value; }
    int FFirstPageNumber = 1;

private:
    QPointer<TDataSource> FDataSource;
};

class TFakeLabel : public TControl
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
public:
    Q_INVOKABLE explicit TFakeLabel(TComponent* AOwner = nullptr)
        : TControl(AOwner)
    { }
    QString FCaption;
    TTextEvent BeforePrint;
    QString Caption() const { return FCaption; }
    // What the setter saw: a control learns its parent before its properties.
    void SetCaption(const QString& value)
    {
        FCaption = value;
        HadParentWhenSet = Parent() != nullptr;
    }
    bool HadParentWhenSet = false;
};

class TFakeDraw : public TControl
{
    Q_OBJECT
public:
    enum TDrawKind { dkRectangle, dkLine, dkTriangle, dkElipse, dkArrow, dkCustom };
    Q_ENUM(TDrawKind)
    enum TDrawOption { doKeepAspectRatio = 1, doKeepSize = 2, doKeepVisible = 4 };
    Q_DECLARE_FLAGS(TDrawOptions, TDrawOption)
    Q_FLAG(TDrawOptions)
private:
    Q_PROPERTY(TDrawKind DrawKind MEMBER FDrawKind)
    Q_PROPERTY(TDrawOptions Options READ Options WRITE SetOptions)
    Q_PROPERTY(double Angle MEMBER FAngle)
    Q_PROPERTY(QStringList DrawData MEMBER FDrawData)
public:
    Q_INVOKABLE explicit TFakeDraw(TComponent* AOwner = nullptr)
        : TControl(AOwner)
    { }
    TDrawOptions Options() const { return FOptions; }
    void SetOptions(TDrawOptions value) { FOptions = value; }
    TDrawKind FDrawKind = dkRectangle;
    TDrawOptions FOptions;
    double FAngle = 0;
    QStringList FDrawData;

    // The legacy "Kind" of older definitions, read only.
    bool ReadCustomProperty(const QString& name, const QVariant& value) override
    {
        if (name.compare(QLatin1String("Kind"), Qt::CaseInsensitive) != 0)
            return false;
        const QString kind = value.toString().toLower();
        if (kind == QLatin1String("dkvertline")) {
            FDrawKind = dkLine;
            FOptions = TDrawOptions(doKeepSize | doKeepVisible);
            FAngle += 90;
        } else if (kind == QLatin1String("dkhorzline")) {
            FDrawKind = dkLine;
            FOptions = doKeepSize;
        } else if (kind == QLatin1String("dkreverseline")) {
            FDrawKind = dkCustom;
            FOptions = doKeepSize;
            FDrawData = QStringList { QStringLiteral("1 0 0 1") };
        }
        return true;
    }
};

class TFakeParam : public TCollectionItem
{
    Q_OBJECT
    Q_PROPERTY(QString Name MEMBER FName)
    Q_PROPERTY(int Size MEMBER FSize)
public:
    Q_INVOKABLE explicit TFakeParam(QObject* parent = nullptr)
        : TCollectionItem(parent)
    { }
    QString FName;
    int FSize = 0;
};

class TFakeQuery : public TComponent
{
    Q_OBJECT
    Q_PROPERTY(QString DatabaseName MEMBER FDatabaseName)
    Q_PROPERTY(QStringList SQL MEMBER FSQL)
    Q_PROPERTY(TCollection* Params READ Params)
    Q_PROPERTY(QByteArray Blob MEMBER FBlob)
public:
    Q_INVOKABLE explicit TFakeQuery(TComponent* AOwner = nullptr)
        : TComponent(AOwner)
        , FParams(new TCollection(&TFakeParam::staticMetaObject, this))
    { }
    TCollection* Params() const { return FParams; }
    QString FDatabaseName;
    QStringList FSQL;
    QByteArray FBlob;

private:
    TCollection* FParams;
};

// A table stored as active opens only when the whole definition is read, and sees its master then.
class TFakeTable : public TComponent
{
    Q_OBJECT
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(TDataSource* MasterSource READ MasterSource WRITE SetMasterSource)
public:
    Q_INVOKABLE explicit TFakeTable(TComponent* AOwner = nullptr)
        : TComponent(AOwner)
    { }
    bool Active() const { return FActive; }
    void SetActive(bool value)
    {
        if (IsLoading())
            FStreamedActive = value;
        else
            FActive = value;
    }
    TDataSource* MasterSource() const { return FMasterSource; }
    void SetMasterSource(TDataSource* value) { FMasterSource = value; }
    void Loaded() override
    {
        LoadedCalls++;
        LoadingInLoaded = IsLoading();
        MasterAtLoaded = FMasterSource != nullptr;
        if (FStreamedActive)
            FActive = true;
    }
    int LoadedCalls = 0;
    bool LoadingInLoaded = true;
    bool MasterAtLoaded = false;
    bool FailOnLoaded = false;

private:
    bool FActive = false;
    bool FStreamedActive = false;
    QPointer<TDataSource> FMasterSource;
};

class TFailingTable : public TFakeTable
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit TFailingTable(TComponent* AOwner = nullptr)
        : TFakeTable(AOwner)
    { }
    void Loaded() override { throw EDatabaseError(QStringLiteral("Table does not exist")); }
};

class TFakeForm : public TComponent
{
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER FCaption)
public:
    Q_INVOKABLE explicit TFakeForm(TComponent* AOwner = nullptr)
        : TComponent(AOwner)
    { }
    QString FCaption;
};

// One property of every kind the reader converts.
class TValueProbe : public TComponent
{
    Q_OBJECT
public:
    enum TMode { mdNone, mdFast, mdSafe };
    Q_ENUM(TMode)
private:
    Q_PROPERTY(int Number MEMBER FNumber)
    Q_PROPERTY(qint64 Big MEMBER FBig)
    Q_PROPERTY(double Ratio MEMBER FRatio)
    Q_PROPERTY(QString Text MEMBER FText)
    Q_PROPERTY(bool Flag MEMBER FFlag)
    Q_PROPERTY(int FillColor MEMBER FFillColor)
    Q_PROPERTY(TMode Mode MEMBER FMode)
    Q_PROPERTY(TFont* Font READ Font)
    Q_PROPERTY(QStringList Lines MEMBER FLines)
    Q_PROPERTY(QByteArray Bytes MEMBER FBytes)
    Q_PROPERTY(QVariant Anything MEMBER FAnything)
    Q_PROPERTY(int Fixed READ Fixed)
public:
    Q_INVOKABLE explicit TValueProbe(TComponent* AOwner = nullptr)
        : TComponent(AOwner)
        , FFont(new TFont(this))
    { }
    TFont* Font() const { return FFont; }
    int Fixed() const { return 3; }
    int FNumber = 0;
    qint64 FBig = 0;
    double FRatio = 0;
    QString FText;
    bool FFlag = false;
    int FFillColor = 0;
    TMode FMode = mdNone;
    QStringList FLines;
    QByteArray FBytes;
    QVariant FAnything;

private:
    TFont* FFont;
};

TClassRegistry& Registry()
{
    static TClassRegistry* registry = [] {
        auto* r = new TClassRegistry();
        RegisterPlatformClasses(*r);
        r->RegisterClass<TFakeBand>();
        r->RegisterClass<TFakeReport>();
        r->RegisterClass<TFakeLabel>();
        r->RegisterClass<TFakeDraw>();
        r->RegisterClass<TFakeQuery>();
        r->RegisterClass<TFakeTable>();
        r->RegisterClass<TFailingTable>();
        r->RegisterClass(&TValueProbe::staticMetaObject); // through its Q_INVOKABLE constructor
        r->RegisterEvent(QStringLiteral("BeforePrint"), &TFakeBand::BeforePrint);
        r->RegisterEvent(QStringLiteral("BeforePrint"), &TFakeLabel::BeforePrint);
        r->RegisterIgnoredProperties(&TFakeForm::staticMetaObject,
            { QStringLiteral("PixelsPerInch"), QStringLiteral("TextHeight"),
                QStringLiteral("OldCreateOrder") });
        return r;
    }();
    return *registry;
}

QByteArray Crlf(QByteArray text)
{
    return text.replace("\n", "\r\n");
}

// An inventory-like window: report, bands, labels, a query, an active table, data sources declared
// after the report that refers to them, handlers bound by name, and what the platform's tools add.
const QByteArray InventoryForm
    = Crlf("object FrmInventario: TFakeForm\n"
           "  Caption = 'Relat'#243'rio...'\n"
           "  PixelsPerInch = 96\n"
           "  TextHeight = 13\n"
           "  OldCreateOrder = False\n"
           "  object RLReport1: TFakeReport\n"
           "    Left = 19\n"
           "    Top = 0\n"
           "    Width = 794\n"
           "    Height = 1123\n"
           "    DataSource = DataSource1\n"
           "    FirstPageNumber = 2\n"
           "    Font.Charset = DEFAULT_CHARSET\n"
           "    Font.Color = clBlack\n"
           "    Font.Height = -13\n"
           "    Font.Name = 'Arial'\n"
           "    Font.Style = []\n"
           "    Margins.LeftMargin = 5.000000000000000000\n"
           "    Margins.TopMargin = 10.000000000000000000\n"
           "    object RLBand1: TFakeBand\n"
           "      Left = 19\n"
           "      Top = 19\n"
           "      Width = 756\n"
           "      Height = 37\n"
           "      BandType = btColumnHeader\n"
           "      object RLLabel2: TFakeLabel\n"
           "        Left = 308\n"
           "        Top = 22\n"
           "        Caption = 'Invent'#225'rio por Pre'#231'o de Custo'\n"
           "        Font.Style = [fsBold, fsItalic]\n"
           "      end\n"
           "    end\n"
           "    object RLBand3: TFakeBand\n"
           "      BandType = btSummary\n"
           "      BeforePrint = RLBand3BeforePrint\n"
           "      object RLLabel9: TFakeLabel\n"
           "        Caption = 'TOTAL - ' +\n"
           "          'GERAL'\n"
           "        BeforePrint = RLLabel9BeforePrint\n"
           "      end\n"
           "    end\n"
           "  end\n"
           "  object qryRelatorio: TFakeQuery\n"
           "    DatabaseName = 'VENDRIX'\n"
           "    SQL.Strings = (\n"
           "      'select '\n"
           "      'PRO.CODIGO, PRO.NOME'\n"
           "      'where SALDO_ATU >0 AND PRECO_CUST >0  and TRI.COD_PROD=PRO.CODIGO'\n"
           "      'order by NOME')\n"
           "    Left = 40\n"
           "    Top = 8\n"
           "  end\n"
           "  object Table1: TFakeTable\n"
           "    Active = True\n"
           "    MasterSource = DataSource2\n"
           "    Left = 72\n"
           "    Top = 8\n"
           "  end\n"
           "  object DataSource1: TDataSource\n"
           "    DataSet = qryRelatorio2\n"
           "    Left = 8\n"
           "    Top = 8\n"
           "  end\n"
           "  object DataSource2: TDataSource\n"
           "    Left = 104\n"
           "    Top = 8\n"
           "  end\n"
           "  object qryRelatorio2: TMemDataSet\n"
           "  end\n"
           "end\n");

struct TInventoryHandlers
{
    TEventHandlers Handlers;
    int BandCalls = 0;
    QString LastText;
    TInventoryHandlers()
    {
        Handlers.Add<TPrintEvent>(
            QStringLiteral("RLBand3BeforePrint"), [this](TComponent*, bool&) { ++BandCalls; });
        Handlers.Add<TTextEvent>(
            QStringLiteral("RLLabel9BeforePrint"), [this](TComponent*, QString& text, bool&) {
                text = QStringLiteral("1.234,56");
                LastText = text;
            });
    }
};

TEST(DefinitionReaderTest, InventoryWindowLoadsWithReferencesEventsAndIgnoredDesignValues)
{
    TInventoryHandlers handlers;
    TFakeForm form;
    TDefinitionReader reader(Registry());
    reader.Handlers = &handlers.Handlers;
    reader.ReadInto(InventoryForm, &form);

    EXPECT_EQ(form.Name(), QStringLiteral("FrmInventario"));
    EXPECT_EQ(form.FCaption, QStringLiteral("Relatório..."));
    auto* report = qobject_cast<TFakeReport*>(form.FindComponent(QStringLiteral("RLReport1")));
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->BoundsRect(), QRect(19, 0, 794, 1123));
    EXPECT_EQ(report->FFirstPageNumber, 2);
    EXPECT_EQ(report->Font()->Name(), QStringLiteral("Arial"));
    EXPECT_EQ(report->Font()->Height(), -13);
    EXPECT_EQ(report->Font()->Color(), clBlack);
    EXPECT_EQ(report->Margins()->LeftMargin(), 5.0);
    EXPECT_EQ(report->Margins()->TopMargin(), 10.0);
    EXPECT_EQ(report->Margins()->CustomReads, 2);

    // Every nested object is owned by the window and parented by its container.
    auto* band1 = qobject_cast<TFakeBand*>(form.FindComponent(QStringLiteral("RLBand1")));
    auto* band3 = qobject_cast<TFakeBand*>(form.FindComponent(QStringLiteral("RLBand3")));
    auto* label2 = qobject_cast<TFakeLabel*>(form.FindComponent(QStringLiteral("RLLabel2")));
    auto* label9 = qobject_cast<TFakeLabel*>(form.FindComponent(QStringLiteral("RLLabel9")));
    ASSERT_TRUE(band1 && band3 && label2 && label9);
    EXPECT_EQ(band1->Owner(), &form);
    EXPECT_EQ(label2->Owner(), &form);
    EXPECT_EQ(band1->Parent(), report);
    EXPECT_EQ(label2->Parent(), band1);
    EXPECT_TRUE(label2->HadParentWhenSet);
    EXPECT_EQ(band1->FBandType, TFakeBand::btColumnHeader);
    EXPECT_EQ(band3->FBandType, TFakeBand::btSummary);
    EXPECT_EQ(label2->FCaption, QStringLiteral("Inventário por Preço de Custo"));
    EXPECT_EQ(label2->Font()->Style(), fsBold | fsItalic);
    EXPECT_EQ(label9->FCaption, QStringLiteral("TOTAL - GERAL"));

    // Handlers are bound by name and remembered for writing.
    ASSERT_TRUE(bool(band3->BeforePrint));
    bool printIt = true;
    band3->BeforePrint(band3, printIt);
    EXPECT_EQ(handlers.BandCalls, 1);
    ASSERT_TRUE(bool(label9->BeforePrint));
    QString text;
    label9->BeforePrint(label9, text, printIt);
    EXPECT_EQ(text, QStringLiteral("1.234,56"));
    EXPECT_FALSE(bool(band1->BeforePrint));
    EXPECT_EQ(band3->EventHandlerName(QStringLiteral("BeforePrint")), QStringLiteral("RLBand3BeforePrint"));

    // The query's lines keep their blanks; forward references resolve.
    auto* query = qobject_cast<TFakeQuery*>(form.FindComponent(QStringLiteral("qryRelatorio")));
    ASSERT_NE(query, nullptr);
    EXPECT_EQ(query->FSQL,
        (QStringList { QStringLiteral("select "), QStringLiteral("PRO.CODIGO, PRO.NOME"),
            QStringLiteral("where SALDO_ATU >0 AND PRECO_CUST >0  and TRI.COD_PROD=PRO.CODIGO"),
            QStringLiteral("order by NOME") }));
    auto* source1 = qobject_cast<TDataSource*>(form.FindComponent(QStringLiteral("DataSource1")));
    auto* source2 = qobject_cast<TDataSource*>(form.FindComponent(QStringLiteral("DataSource2")));
    EXPECT_EQ(report->DataSource(), source1);
    EXPECT_EQ(source1->DataSet(), form.FindComponent(QStringLiteral("qryRelatorio2")));

    // The table was stored as active: it opened in Loaded, after its reference was resolved.
    auto* table = qobject_cast<TFakeTable*>(form.FindComponent(QStringLiteral("Table1")));
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(table->Active());
    EXPECT_EQ(table->LoadedCalls, 1);
    EXPECT_FALSE(table->LoadingInLoaded);
    EXPECT_TRUE(table->MasterAtLoaded);
    EXPECT_EQ(table->MasterSource(), source2);
    for (TComponent* component : form.ComponentList())
        EXPECT_FALSE(component->IsLoading()) << component->Name().toStdString();
    EXPECT_FALSE(form.IsLoading());
}

TEST(DefinitionReaderTest, ComponentsAreLoadingWhileTheirPropertiesAreSet)
{
    TFakeForm form;
    TDefinitionReader reader(Registry());
    reader.ReadInto("object F: TFakeForm\n object T: TFakeTable\n Active = True\n end\nend\n", &form);
    auto* table = qobject_cast<TFakeTable*>(form.FindComponent(QStringLiteral("T")));
    ASSERT_NE(table, nullptr);
    // SetActive saw the loading flag (it deferred the opening), and Loaded ran once without it.
    EXPECT_TRUE(table->Active());
    EXPECT_EQ(table->LoadedCalls, 1);
    EXPECT_FALSE(table->IsLoading());
}

struct TValueCase
{
    const char* Name;
    const char* Text;
    std::function<bool(const TValueProbe&)> Check;
};

TEST(DefinitionReaderTest, EveryValueSyntaxReadsIntoItsProperty)
{
    const std::vector<TValueCase> cases = {
        { "decimal", "Number = 1234", [](const TValueProbe& p) { return p.FNumber == 1234; } },
        { "negative", "Number = -13", [](const TValueProbe& p) { return p.FNumber == -13; } },
        { "hex", "Number = $1F", [](const TValueProbe& p) { return p.FNumber == 31; } },
        { "hex system colour wraps", "FillColor = $80000005",
            [](const TValueProbe& p) { return p.FFillColor == clWindow; } },
        { "64-bit", "Big = 9007199254740993",
            [](const TValueProbe& p) { return p.FBig == 9007199254740993LL; } },
        { "float with 18 decimals", "Ratio = 10.000000000000000000",
            [](const TValueProbe& p) { return p.FRatio == 10.0; } },
        { "float with exponent", "Ratio = 1.25E-3",
            [](const TValueProbe& p) { return p.FRatio == 0.00125; } },
        { "float with positive exponent", "Ratio = -2.5e+2",
            [](const TValueProbe& p) { return p.FRatio == -250.0; } },
        { "float with currency marker", "Ratio = 12.5c",
            [](const TValueProbe& p) { return p.FRatio == 12.5; } },
        { "integer into float", "Ratio = 7", [](const TValueProbe& p) { return p.FRatio == 7.0; } },
        { "plain string", "Text = 'abc'",
            [](const TValueProbe& p) { return p.FText == QLatin1String("abc"); } },
        { "doubled quote", "Text = 'it''s'",
            [](const TValueProbe& p) { return p.FText == QLatin1String("it's"); } },
        { "empty string", "Text = ''", [](const TValueProbe& p) { return p.FText.isEmpty(); } },
        { "codes of the code page", "Text = 'Pre'#231'o '#128",
            [](const TValueProbe& p) { return p.FText == QStringLiteral("Preço €"); } },
        { "line break codes", "Text = 'a'#13#10'b'",
            [](const TValueProbe& p) { return p.FText == QLatin1String("a\r\nb"); } },
        { "code point beyond the code page", "Text = #937#$3A9",
            [](const TValueProbe& p) { return p.FText == QStringLiteral("ΩΩ"); } },
        { "code beyond the basic plane", "Text = #128512",
            [](const TValueProbe& p) { return p.FText == QStringLiteral("\U0001F600"); } },
        { "continuation", "Text = 'abc' +\n   'def' + #65",
            [](const TValueProbe& p) { return p.FText == QLatin1String("abcdefA"); } },
        { "true", "Flag = True", [](const TValueProbe& p) { return p.FFlag; } },
        { "false any case", "Flag = FALSE", [](const TValueProbe& p) { return !p.FFlag; } },
        { "colour name", "FillColor = clBtnFace",
            [](const TValueProbe& p) { return p.FFillColor == clBtnFace; } },
        { "colour number", "FillColor = 15395562",
            [](const TValueProbe& p) { return p.FFillColor == 15395562; } },
        { "enumeration", "Mode = mdSafe",
            [](const TValueProbe& p) { return p.FMode == TValueProbe::mdSafe; } },
        { "enumeration any case", "Mode = MDFAST",
            [](const TValueProbe& p) { return p.FMode == TValueProbe::mdFast; } },
        { "set", "Font.Style = [fsBold, fsUnderline]",
            [](const TValueProbe& p) { return p.Font()->Style() == (fsBold | fsUnderline); } },
        { "empty set", "Font.Style = []", [](const TValueProbe& p) { return p.Font()->Style() == 0; } },
        { "charset name", "Font.Charset = ANSI_CHARSET",
            [](const TValueProbe& p) { return p.Font()->Charset() == 0; } },
        { "sub-object colour", "Font.Color = clRed",
            [](const TValueProbe& p) { return p.Font()->Color() == clRed; } },
        { "string list over lines", "Lines.Strings = (\n  'one'\n  'two' +\n  ' halves'\n  '')",
            [](const TValueProbe& p) {
                return p.FLines == QStringList { "one", "two halves", "" };
            } },
        { "string list without Strings", "Lines = ('x')",
            [](const TValueProbe& p) { return p.FLines == QStringList { "x" }; } },
        { "empty list", "Lines = ()", [](const TValueProbe& p) { return p.FLines.isEmpty(); } },
        { "binary over lines", "Bytes = {\n  00FF10\n  ab}",
            [](const TValueProbe& p) { return p.FBytes == QByteArray("\x00\xFF\x10\xAB", 4); } },
        { "variant number", "Anything = 42",
            [](const TValueProbe& p) { return p.FAnything == QVariant(42); } },
        { "variant string", "Anything = 'x'",
            [](const TValueProbe& p) { return p.FAnything == QVariant(QStringLiteral("x")); } },
    };
    for (const TValueCase& c : cases) {
        TValueProbe probe;
        TDefinitionReader reader(Registry());
        const QByteArray text = QByteArray("object P: TValueProbe\n  ") + c.Text + "\nend\n";
        try {
            reader.ReadInto(text, &probe);
        } catch (const Exception& error) {
            ADD_FAILURE() << c.Name << ": " << error.what();
            continue;
        }
        EXPECT_TRUE(c.Check(probe)) << c.Name;
    }
}

TEST(DefinitionReaderTest, QuotedBytesAreWindows1252UnlessTheTextIsMarkedUtf8)
{
    TValueProbe probe;
    TDefinitionReader reader(Registry());
    reader.ReadInto("object P: TValueProbe\r\n  Text = 'Invent\xE1rio \x80'\r\nend\r\n", &probe);
    EXPECT_EQ(probe.FText, QStringLiteral("Inventário €"));
    reader.ReadInto("\xEF\xBB\xBFobject P: TValueProbe\n  Text = 'Invent\xC3\xA1rio'\nend\n", &probe);
    EXPECT_EQ(probe.FText, QStringLiteral("Inventário"));
}

TEST(DefinitionReaderTest, CollectionsReadTheirItems)
{
    TFakeForm form;
    TDefinitionReader reader(Registry());
    reader.ReadInto("object F: TFakeForm\n"
                    "  object Q: TFakeQuery\n"
                    "    Params = <\n"
                    "      item\n"
                    "        Name = 'DATA'\n"
                    "        Size = 8\n"
                    "      end\n"
                    "      item [1]\n"
                    "      end>\n"
                    "    Blob = {}\n"
                    "  end\n"
                    "end\n",
        &form);
    auto* query = qobject_cast<TFakeQuery*>(form.FindComponent(QStringLiteral("Q")));
    ASSERT_NE(query, nullptr);
    ASSERT_EQ(query->Params()->Count(), 2);
    auto* first = qobject_cast<TFakeParam*>(query->Params()->Items(0));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->FName, QStringLiteral("DATA"));
    EXPECT_EQ(first->FSize, 8);
    EXPECT_EQ(qobject_cast<TFakeParam*>(query->Params()->Items(1))->FSize, 0);
}

TEST(DefinitionReaderTest, LegacyKindOfADrawingIsTranslatedByItsHook)
{
    struct TCase
    {
        const char* Kind;
        TFakeDraw::TDrawKind DrawKind;
        TFakeDraw::TDrawOptions Options;
        double Angle;
    };
    const TCase cases[] = {
        { "dkVertLine", TFakeDraw::dkLine,
            TFakeDraw::TDrawOptions(TFakeDraw::doKeepSize | TFakeDraw::doKeepVisible), 120 },
        { "DKHORZLINE", TFakeDraw::dkLine, TFakeDraw::doKeepSize, 30 },
        { "dkReverseLine", TFakeDraw::dkCustom, TFakeDraw::doKeepSize, 30 },
        { "dkSomethingElse", TFakeDraw::dkRectangle, {}, 30 },
    };
    for (const TCase& c : cases) {
        TFakeForm form;
        TDefinitionReader reader(Registry());
        reader.ReadInto(
            QByteArray(
                "object F: TFakeForm\n  object D: TFakeDraw\n    Angle = 30.000000000000000000\n    Kind = ")
                + c.Kind + "\n  end\nend\n",
            &form);
        auto* draw = qobject_cast<TFakeDraw*>(form.FindComponent(QStringLiteral("D")));
        ASSERT_NE(draw, nullptr);
        EXPECT_EQ(draw->FDrawKind, c.DrawKind) << c.Kind;
        EXPECT_EQ(draw->FOptions, c.Options) << c.Kind;
        EXPECT_EQ(draw->FAngle, c.Angle) << c.Kind;
    }
}

TEST(DefinitionReaderTest, InheritedObjectsFillExistingComponentsAndReadCreatesTheRoot)
{
    TFakeForm form;
    auto* table = new TFakeTable(&form);
    table->SetName(QStringLiteral("Table1"));
    TDefinitionReader reader(Registry());
    reader.ReadInto(
        "inherited F: TFakeForm\n  inherited Table1: TFakeTable\n    Active = True\n  end\nend\n", &form);
    EXPECT_EQ(form.ComponentCount(), 1);
    EXPECT_TRUE(table->Active());

    std::unique_ptr<TComponent> root(
        reader.Read("object R: TFakeReport\n  FirstPageNumber = 5\n  object B: TFakeBand\n  end\nend\n"));
    auto* report = qobject_cast<TFakeReport*>(root.get());
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->Name(), QStringLiteral("R"));
    EXPECT_EQ(report->FFirstPageNumber, 5);
    ASSERT_EQ(report->ComponentCount(), 1);
    EXPECT_EQ(qobject_cast<TControl*>(report->Components(0))->Parent(), report);
}

struct TErrorCase
{
    const char* Name;
    QByteArray Text;
    int Line;
    int Column;
    const char* Reason;
};

TEST(DefinitionReaderTest, ErrorsNameLineColumnAndCause)
{
    TEventHandlers handlers;
    handlers.Add<TPrintEvent>(QStringLiteral("BandPrint"), [](TComponent*, bool&) {});
    const QByteArray deep = QByteArray("object F: TFakeForm\n")
        + QByteArray("object X: TFakeBand\n").repeated(70) + QByteArray("end\n").repeated(71);
    const std::vector<TErrorCase> cases = {
        { "unknown class", "object F: TFakeForm\n  object X: TNoSuchClass\n  end\nend\n", 2, 3,
            "unknown class 'TNoSuchClass'" },
        { "unknown property", "object F: TFakeForm\n  object X: TFakeLabel\n    Foo = 1\n  end\nend\n", 3, 5,
            "unknown property 'Foo' of TFakeLabel" },
        { "unknown sub-property",
            "object F: TFakeForm\n  object X: TFakeLabel\n    Font.Bogus = 1\n  end\nend\n", 3, 5,
            "unknown property 'Font.Bogus'" },
        { "ignored elsewhere is unknown here",
            "object F: TFakeForm\n  object X: TFakeLabel\n    PixelsPerInch = 96\n  end\nend\n", 3, 5,
            "unknown property 'PixelsPerInch'" },
        { "string for integer",
            "object F: TFakeForm\n  object X: TFakeLabel\n    Width = 'wide'\n  end\nend\n", 3, 13,
            "invalid value for property 'Width' of TFakeLabel" },
        { "unknown enumeration",
            "object F: TFakeForm\n  object X: TFakeBand\n    BandType = btNothing\n  end\nend\n", 3, 16,
            "unknown value 'btNothing'" },
        { "unknown set element",
            "object F: TFakeForm\n  object X: TFakeLabel\n    Font.Style = [fsBold, fsHuge]\n  end\nend\n", 3,
            18, "unknown element 'fsHuge'" },
        { "integer out of range",
            "object F: TFakeForm\n  object X: TFakeLabel\n    Width = 99999999999\n  end\nend\n", 3, 13,
            "out of range" },
        { "number too large", "object F: TFakeForm\n  Caption = 'a'\n  X = 99999999999999999999\nend\n", 3, 7,
            "integer out of range" },
        { "unknown colour", "object F: TFakeForm\n  object X: TFakeLabel\n    Color = clPlaid\n  end\nend\n",
            3, 13, "unknown identifier 'clPlaid'" },
        { "read-only property", "object F: TFakeForm\n  object P: TValueProbe\n    Fixed = 4\n  end\nend\n",
            3, 13, "read-only" },
        { "missing end", "object F: TFakeForm\n  object X: TFakeLabel\n  end\n", 4, 1,
            "expected but the text ended" },
        { "extra end", "object F: TFakeForm\nend\nend\n", 3, 1, "text after the end" },
        { "not an object", "thing F: TFakeForm\nend\n", 1, 1, "'object' expected" },
        { "unknown handler",
            "object F: TFakeForm\n  object B: TFakeBand\n    BeforePrint = RLBand9BeforePrint\n  end\nend\n",
            3, 19, "unknown event handler 'RLBand9BeforePrint'" },
        { "handler of another type",
            "object F: TFakeForm\n  object L: TFakeLabel\n    BeforePrint = BandPrint\n  end\nend\n", 3, 19,
            "does not fit" },
        { "unresolved reference",
            "object F: TFakeForm\n  object S: TDataSource\n    DataSet = Missing1\n  end\nend\n", 3, 15,
            "unresolved reference 'Missing1'" },
        { "reference of a wrong class",
            "object F: TFakeForm\n  object S: TDataSource\n    DataSet = S\n  end\nend\n", 3, 15,
            "cannot hold" },
        { "qualified reference without a finder",
            "object F: TFakeForm\n  object S: TDataSource\n    DataSet = Other.Query\n  end\nend\n", 3, 15,
            "unresolved reference 'Other.Query'" },
        { "duplicate name",
            "object F: TFakeForm\n  object A: TFakeLabel\n  end\n  object a: TFakeBand\n  end\nend\n", 4, 3,
            "already exists" },
        { "inherited without ancestor", "object F: TFakeForm\n  inherited A: TFakeLabel\n  end\nend\n", 2, 3,
            "inherited component 'A' not found" },
        { "unterminated string", "object F: TFakeForm\n  Caption = 'abc\nend\n", 2, 17,
            "unterminated string" },
        { "bad character code", "object F: TFakeForm\n  Caption = #55296\nend\n", 2, 13,
            "invalid character code" },
        { "odd binary", "object P: TValueProbe\n  Bytes = {ABC}\nend\n", 2, 15, "odd number" },
        { "bad binary digit", "object P: TValueProbe\n  Bytes = {AZ}\nend\n", 2, 13, "hexadecimal digit" },
        { "byte outside quotes", "object F: TFakeForm\n  Caption = \xE1\nend\n", 2, 13, "byte $E1" },
        { "root of another class", "object F: TFakeReport\nend\n", 1, 1, "not of TFakeForm" },
        { "nesting too deep", deep, 66, 1, "nesting deeper than 64" },
        { "failing Loaded", "object F: TFakeForm\n  object T: TFailingTable\n  end\nend\n", 2, 3,
            "T: Table does not exist" },
    };
    for (const TErrorCase& c : cases) {
        TFakeForm form;
        TDefinitionReader reader(Registry());
        reader.Handlers = &handlers;
        try {
            reader.ReadInto(c.Text, &form);
            ADD_FAILURE() << c.Name << ": no error";
        } catch (const EDefinitionError& error) {
            EXPECT_EQ(error.Line(), c.Line) << c.Name << ": " << error.what();
            EXPECT_EQ(error.Column(), c.Column) << c.Name << ": " << error.what();
            EXPECT_TRUE(error.Reason().contains(QLatin1String(c.Reason))) << c.Name << ": " << error.what();
            EXPECT_TRUE(
                error.Message().startsWith(QStringLiteral("Line %1, column %2: ").arg(c.Line).arg(c.Column)))
                << c.Name;
        }
        // Nothing half-made stays behind.
        EXPECT_EQ(form.ComponentCount(), 0) << c.Name;
        EXPECT_FALSE(form.IsLoading()) << c.Name;
    }
}

TEST(DefinitionReaderTest, QualifiedReferencesUseTheRootOrTheExternalFinder)
{
    TFakeForm other;
    auto* external = new TMemDataSet(&other);
    external->SetName(QStringLiteral("Query"));
    TFakeForm form;
    TDefinitionReader reader(Registry());
    reader.FindExternalComponent = [&](const QString& name) -> TComponent* {
        return name == QLatin1String("Other.Query") ? external : nullptr;
    };
    reader.ReadInto("object F: TFakeForm\n"
                    "  object S1: TDataSource\n    DataSet = Other.Query\n  end\n"
                    "  object S2: TDataSource\n    DataSet = F.Q2\n  end\n"
                    "  object Q2: TMemDataSet\n  end\n"
                    "end\n",
        &form);
    EXPECT_EQ(qobject_cast<TDataSource*>(form.FindComponent(QStringLiteral("S1")))->DataSet(), external);
    EXPECT_EQ(qobject_cast<TDataSource*>(form.FindComponent(QStringLiteral("S2")))->DataSet(),
        form.FindComponent(QStringLiteral("Q2")));
}

TEST(DefinitionReaderTest, PlatformClassesLoadFromTheGlobalRegistry)
{
    // The valid seeds of the reader's fuzz corpus are files as the platform's tools write them.
    const QString folder = qEnvironmentVariable("QB_SOURCE_DIR") + QStringLiteral("/fuzz/corpus/Definition/");
    for (const char* name : { "nested_controls.txt", "forward_reference.txt" }) {
        QFile file(folder + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        TDefinitionReader reader;
        std::unique_ptr<TComponent> root;
        try {
            root.reset(reader.Read(file.readAll()));
        } catch (const Exception& error) {
            ADD_FAILURE() << name << ": " << error.what();
            continue;
        }
        EXPECT_EQ(root->Name(), QStringLiteral("Form1")) << name;
        EXPECT_EQ(root->ComponentCount(), 2) << name;
    }
    TDefinitionReader reader;
    std::unique_ptr<TComponent> root(
        reader.Read("object Form1: TComponent\n  object P: TControl\n    Font.Charset = OEM_CHARSET\n"
                    "    ParentFont = False\n    Align = alClient\n  end\nend\n"));
    auto* panel = qobject_cast<TControl*>(root->FindComponent(QStringLiteral("P")));
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->Font()->Charset(), 255);
    EXPECT_EQ(panel->Align(), alClient);
    EXPECT_TRUE(TDefinitionWriter().Write(root.get()).contains("    Font.Charset = OEM_CHARSET\r\n"));
}

} // namespace

#include "DefinitionReaderTest.moc"
