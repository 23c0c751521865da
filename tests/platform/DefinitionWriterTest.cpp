#include "platform/Definitions.h"

#include "platform/Controls.h"
#include "platform/DataSet.h"
#include "platform/MemDataSet.h"

#include <QPointer>
#include <charconv>
#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <random>

namespace {

using TPrintEvent = std::function<void(TComponent* Sender, bool& PrintIt)>;

// Margins stored as custom values only where they differ from their defaults.
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

    bool ReadCustomProperty(const QString& name, const QVariant& value) override
    {
        if (name == QLatin1String("LeftMargin"))
            FLeft = value.toDouble();
        else if (name == QLatin1String("TopMargin"))
            FTop = value.toDouble();
        else
            return false;
        return true;
    }
    QList<QPair<QString, QVariant>> CustomPropertiesToWrite() const override
    {
        QList<QPair<QString, QVariant>> list;
        if (FLeft != FDefaultLeft)
            list.append({ QStringLiteral("LeftMargin"), FLeft });
        if (FTop != FDefaultTop)
            list.append({ QStringLiteral("TopMargin"), FTop });
        return list;
    }

private:
    double FLeft = 0, FTop = 0, FDefaultLeft = 0, FDefaultTop = 0;
};

class TFakeSite : public TControl
{
    Q_OBJECT
    Q_PROPERTY(TFakeMargins* Margins READ Margins)
public:
    Q_INVOKABLE explicit TFakeSite(TComponent* AOwner = nullptr)
        : TControl(AOwner)
        , FMargins(new TFakeMargins(this))
    { }
    TFakeMargins* Margins() const { return FMargins; }
    TPrintEvent BeforePrint;

private:
    TFakeMargins* FMargins;
};

// A report: margins of 10 by default, and a font of its own that differs from a new font's.
class TFakeReport : public TFakeSite
{
    Q_OBJECT
    Q_PROPERTY(TDataSource* DataSource READ DataSource WRITE SetDataSource)
public:
    Q_INVOKABLE explicit TFakeReport(TComponent* AOwner = nullptr)
        : TFakeSite(AOwner)
    {
        Margins()->SetDefaults(10, 10);
        Font()->SetName(QStringLiteral("Arial"));
        SetParentFont(false);
    }
    TDataSource* DataSource() const { return FDataSource; }
    void SetDataSource(TDataSource* value) { FDataSource = value; }

private:
    QPointer<TDataSource> FDataSource;
};

// A label whose caption is not stored when it equals the name.
class TFakeLabel : public TControl
{
    Q_OBJECT
    Q_PROPERTY(QString Caption MEMBER FCaption)
public:
    Q_INVOKABLE explicit TFakeLabel(TComponent* AOwner = nullptr)
        : TControl(AOwner)
    { }
    QString FCaption;
    bool IsPropertyStored(const QMetaProperty& property) const override
    {
        if (qstrcmp(property.name(), "Caption") == 0)
            return !FCaption.isEmpty() && FCaption != Name();
        return TControl::IsPropertyStored(property);
    }
};

class TFakeItem : public TCollectionItem
{
    Q_OBJECT
    Q_PROPERTY(QString Name MEMBER FName)
    Q_PROPERTY(int Size MEMBER FSize)
public:
    Q_INVOKABLE explicit TFakeItem(QObject* parent = nullptr)
        : TCollectionItem(parent)
    { }
    QString FName;
    int FSize = 0;
};

class TAllValues : public TComponent
{
    Q_OBJECT
public:
    enum TMode { mdNone, mdFast, mdSafe };
    Q_ENUM(TMode)
    enum TOption { opFirst = 1, opSecond = 2, opThird = 4 };
    Q_DECLARE_FLAGS(TOptions, TOption)
    Q_FLAG(TOptions)
private:
    Q_PROPERTY(int Number MEMBER FNumber)
    Q_PROPERTY(qint64 Big MEMBER FBig)
    Q_PROPERTY(double Ratio MEMBER FRatio)
    Q_PROPERTY(QString Text MEMBER FText)
    Q_PROPERTY(bool Flag MEMBER FFlag)
    Q_PROPERTY(int FillColor MEMBER FFillColor)
    Q_PROPERTY(TMode Mode MEMBER FMode)
    Q_PROPERTY(TOptions Options READ Options WRITE SetOptions)
    Q_PROPERTY(TFont* Font READ Font)
    Q_PROPERTY(QStringList Lines MEMBER FLines)
    Q_PROPERTY(QByteArray Bytes MEMBER FBytes)
    Q_PROPERTY(TCollection* Items READ Items)
public:
    Q_INVOKABLE explicit TAllValues(TComponent* AOwner = nullptr)
        : TComponent(AOwner)
        , FFont(new TFont(this))
        , FItems(new TCollection(&TFakeItem::staticMetaObject, this))
    { }
    TFont* Font() const { return FFont; }
    TCollection* Items() const { return FItems; }
    TOptions Options() const { return FOptions; }
    void SetOptions(TOptions value) { FOptions = value; }
    int FNumber = 0;
    qint64 FBig = 0;
    double FRatio = 0;
    QString FText;
    bool FFlag = false;
    int FFillColor = clWhite;
    TMode FMode = mdNone;
    TOptions FOptions;
    QStringList FLines;
    QByteArray FBytes;

private:
    TFont* FFont;
    TCollection* FItems;
};

class TFakeForm : public TComponent
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit TFakeForm(TComponent* AOwner = nullptr)
        : TComponent(AOwner)
    { }
};

TClassRegistry& Registry()
{
    static TClassRegistry* registry = [] {
        auto* r = new TClassRegistry();
        RegisterPlatformClasses(*r);
        r->RegisterClass<TFakeSite>();
        r->RegisterClass<TFakeReport>();
        r->RegisterClass<TFakeLabel>();
        r->RegisterClass<TAllValues>();
        r->RegisterClass<TFakeForm>();
        r->RegisterEvent(QStringLiteral("BeforePrint"), &TFakeSite::BeforePrint);
        return r;
    }();
    return *registry;
}

QByteArray Write(const TComponent* root)
{
    return TDefinitionWriter(Registry()).Write(root);
}

QByteArray Lf(QByteArray text)
{
    return text.replace("\r\n", "\n");
}

TEST(DefinitionWriterTest, SmallTreeIsWrittenExactlyWithDefaultsLeftOut)
{
    TFakeForm form;
    form.SetName(QStringLiteral("Form1"));
    auto* report = new TFakeReport(&form);
    report->SetName(QStringLiteral("RLReport1"));
    report->SetBounds(0, 0, 794, 1123);
    report->Margins()->SetLeftMargin(5);
    auto* band = new TFakeSite(&form);
    band->SetName(QStringLiteral("RLBand1"));
    band->SetParent(report);
    band->SetBounds(19, 19, 756, 37);
    auto* label = new TFakeLabel(&form);
    label->SetName(QStringLiteral("RLLabel1"));
    label->SetParent(band);
    label->FCaption = QStringLiteral("Página:");
    auto* source = new TDataSource(&form);
    source->SetName(QStringLiteral("DataSource1"));
    report->SetDataSource(source);

    const QByteArray text = Write(&form);
    EXPECT_TRUE(text.contains("\r\n"));
    EXPECT_EQ(Lf(text).toStdString(),
        "object Form1: TFakeForm\n"
        "  object RLReport1: TFakeReport\n"
        "    Left = 0\n"
        "    Top = 0\n"
        "    Width = 794\n"
        "    Height = 1123\n"
        "    Margins.LeftMargin = 5.000000000000000000\n"
        "    DataSource = DataSource1\n"
        "    object RLBand1: TFakeSite\n"
        "      Left = 19\n"
        "      Top = 19\n"
        "      Width = 756\n"
        "      Height = 37\n"
        "      object RLLabel1: TFakeLabel\n"
        "        Left = 0\n"
        "        Top = 0\n"
        "        Width = 0\n"
        "        Height = 0\n"
        "        Caption = 'P'#225'gina:'\n"
        "      end\n"
        "    end\n"
        "  end\n"
        "  object DataSource1: TDataSource\n"
        "  end\n"
        "end\n");
}

TComponent* ReadBack(const QByteArray& text, TEventHandlers* handlers = nullptr)
{
    TDefinitionReader reader(Registry());
    reader.Handlers = handlers;
    return reader.Read(text);
}

void FillAllValues(TAllValues* values)
{
    values->FNumber = -42;
    values->FBig = Q_INT64_C(-9007199254740993);
    values->FRatio = 0.1;
    values->FText = QStringLiteral("it's a \"test\"\r\nwith Preço, € and Ω and \U0001F600");
    values->FFlag = true;
    values->FFillColor = 15395562;
    values->FMode = TAllValues::mdSafe;
    values->SetOptions(TAllValues::TOptions(TAllValues::opFirst | TAllValues::opThird));
    values->Font()->SetName(QStringLiteral("Verdana"));
    values->Font()->SetStyle(fsBold | fsItalic);
    values->Font()->SetColor(clBtnFace);
    values->Font()->SetCharset(0);
    values->FLines = { QStringLiteral("select "), QString(), QStringLiteral("order by NOME") };
    values->FBytes = QByteArray(70, '\x5A') + QByteArray("\x00\xFF", 2);
    auto* first = qobject_cast<TFakeItem*>(values->Items()->Add());
    first->FName = QStringLiteral("A");
    first->FSize = 3;
    values->Items()->Add();
}

TEST(DefinitionWriterTest, EveryValueKindSurvivesWriteReadWrite)
{
    TFakeForm form;
    form.SetName(QStringLiteral("Form1"));
    auto* values = new TAllValues(&form);
    values->SetName(QStringLiteral("Values1"));
    FillAllValues(values);

    const QByteArray first = Write(&form);
    // What the platform's readers expect to see.
    EXPECT_TRUE(first.contains("    FillColor = $00EAEAEA\r\n")) << first.toStdString();
    EXPECT_TRUE(first.contains("    Font.Charset = ANSI_CHARSET\r\n"));
    EXPECT_TRUE(first.contains("    Font.Color = clBtnFace\r\n"));
    EXPECT_TRUE(first.contains("    Font.Style = [fsBold, fsItalic]\r\n"));
    EXPECT_TRUE(first.contains("    Options = [opFirst, opThird]\r\n"));
    EXPECT_TRUE(first.contains("    Mode = mdSafe\r\n"));
    EXPECT_TRUE(first.contains("    Ratio = 0.100000000000000000\r\n"));
    EXPECT_TRUE(
        first.contains("    Lines.Strings = (\r\n      'select '\r\n      ''\r\n      'order by NOME')\r\n"));
    EXPECT_TRUE(first.contains("    Bytes = {\r\n      " + QByteArray(64, '5').replace("55", "5A") + "\r\n"));
    EXPECT_TRUE(first.contains("    Items = <\r\n      item\r\n        Name = 'A'\r\n        Size = 3\r\n    "
                               "  end\r\n      item\r\n      end>\r\n"));

    std::unique_ptr<TComponent> root(ReadBack(first));
    auto* copy = qobject_cast<TAllValues*>(root->FindComponent(QStringLiteral("Values1")));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->FNumber, values->FNumber);
    EXPECT_EQ(copy->FBig, values->FBig);
    EXPECT_EQ(copy->FRatio, values->FRatio);
    EXPECT_EQ(copy->FText, values->FText);
    EXPECT_EQ(copy->FFlag, values->FFlag);
    EXPECT_EQ(copy->FFillColor, values->FFillColor);
    EXPECT_EQ(copy->FMode, values->FMode);
    EXPECT_EQ(copy->Options(), values->Options());
    EXPECT_TRUE(copy->Font()->IsEqual(*values->Font()));
    EXPECT_EQ(copy->FLines, values->FLines);
    EXPECT_EQ(copy->FBytes, values->FBytes);
    ASSERT_EQ(copy->Items()->Count(), 2);
    EXPECT_EQ(qobject_cast<TFakeItem*>(copy->Items()->Items(0))->FName, QStringLiteral("A"));
    EXPECT_EQ(Write(root.get()), first);
}

TEST(DefinitionWriterTest, MarginsAreWrittenOnlyWhereTheyDifferFromTheirDefaults)
{
    std::unique_ptr<TComponent> root(ReadBack("object RLReport1: TFakeReport\r\n"
                                              "  Margins.LeftMargin = 10.000000000000000000\r\n"
                                              "  Margins.TopMargin = 5.000000000000000000\r\n"
                                              "  object RLBand1: TFakeSite\r\n"
                                              "    Margins.LeftMargin = 0.000000000000000000\r\n"
                                              "  end\r\n"
                                              "end\r\n"));
    auto* report = qobject_cast<TFakeReport*>(root.get());
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->Margins()->LeftMargin(), 10.0);
    EXPECT_EQ(report->Margins()->TopMargin(), 5.0);
    const QByteArray text = Write(report);
    EXPECT_FALSE(text.contains("LeftMargin")) << text.toStdString();
    EXPECT_TRUE(text.contains("  Margins.TopMargin = 5.000000000000000000\r\n"));
    // A report margin of 0 differs from its default of 10 and is kept.
    report->Margins()->SetLeftMargin(0);
    EXPECT_TRUE(Write(report).contains("  Margins.LeftMargin = 0.000000000000000000\r\n"));
}

TEST(DefinitionWriterTest, LabelCaptionEqualToItsNameIsNotStored)
{
    TFakeForm form;
    form.SetName(QStringLiteral("F"));
    auto* label = new TFakeLabel(&form);
    label->SetName(QStringLiteral("RLLabel8"));
    label->FCaption = QStringLiteral("RLLabel8");
    EXPECT_FALSE(Write(&form).contains("Caption"));
    label->FCaption = QStringLiteral("Data:");
    EXPECT_TRUE(Write(&form).contains("    Caption = 'Data:'\r\n"));
}

TEST(DefinitionWriterTest, OwnedObjectsCompareWithAFreshOwnerNotWithAFreshObject)
{
    TFakeReport report;
    report.SetName(QStringLiteral("R"));
    // Arial is what a new report has: nothing to store.
    EXPECT_FALSE(Write(&report).contains("Font.Name"));
    // A new font's own face differs from the report's, so it must be stored to come back.
    report.Font()->SetName(QStringLiteral("MS Sans Serif"));
    const QByteArray text = Write(&report);
    EXPECT_TRUE(text.contains("  Font.Name = 'MS Sans Serif'\r\n")) << text.toStdString();
    std::unique_ptr<TComponent> copy(ReadBack(text));
    EXPECT_EQ(qobject_cast<TFakeReport*>(copy.get())->Font()->Name(), QStringLiteral("MS Sans Serif"));
}

TEST(DefinitionWriterTest, EventsAreWrittenWithTheirHandlerNames)
{
    TEventHandlers handlers;
    int calls = 0;
    handlers.Add<TPrintEvent>(QStringLiteral("RLBand3BeforePrint"), [&](TComponent*, bool&) { ++calls; });
    std::unique_ptr<TComponent> root(ReadBack("object R: TFakeReport\r\n"
                                              "  object RLBand3: TFakeSite\r\n"
                                              "    BeforePrint = RLBand3BeforePrint\r\n"
                                              "  end\r\n"
                                              "  object RLBand4: TFakeSite\r\n"
                                              "  end\r\n"
                                              "end\r\n",
        &handlers));
    auto* band4 = qobject_cast<TFakeSite*>(root->FindComponent(QStringLiteral("RLBand4")));
    // A handler assigned in code has no name to store; it is left out rather than invented.
    band4->BeforePrint = [](TComponent*, bool&) {};
    const QByteArray text = Write(root.get());
    EXPECT_TRUE(text.contains("    BeforePrint = RLBand3BeforePrint\r\n")) << text.toStdString();
    EXPECT_EQ(text.count("BeforePrint ="), 1);
    // A handler that was cleared is not written either.
    auto* band3 = qobject_cast<TFakeSite*>(root->FindComponent(QStringLiteral("RLBand3")));
    band3->BeforePrint = nullptr;
    EXPECT_FALSE(Write(root.get()).contains("BeforePrint ="));
}

TEST(DefinitionWriterTest, FloatTextsAreExactAndLocaleFree)
{
    const std::pair<double, const char*> cases[] = {
        { 10.0, "10.000000000000000000" },
        { 0.0, "0.000000000000000000" },
        { 5.5, "5.500000000000000000" },
        { -0.1, "-0.100000000000000000" },
        { 297.0, "297.000000000000000000" },
        { 1e-10, "0.000000000100000000" },
        { 1.5e-20, "1.5E-20" },
        { 1.2345678901234568e-5, "1.2345678901234568E-5" },
        { 1e20, "1E20" },
        { -2.5e300, "-2.5E300" },
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(DefinitionFloatText(value).toStdString(), expected);
    // Whatever the text, reading it back gives the very same double.
    std::mt19937_64 random(6);
    for (int i = 0; i < 2000; ++i) {
        double value;
        const quint64 bits = random();
        std::memcpy(&value, &bits, sizeof value);
        if (!std::isfinite(value))
            continue;
        const QByteArray text = DefinitionFloatText(value);
        TAllValues probe;
        TDefinitionReader reader(Registry());
        reader.ReadInto("object P: TAllValues\n  Ratio = " + text + "\nend\n", &probe);
        ASSERT_EQ(probe.FRatio, value) << text.toStdString();
    }
    EXPECT_THROW(DefinitionFloatText(std::nan("")), Exception);
    EXPECT_THROW(DefinitionFloatText(HUGE_VAL), Exception);
}

TEST(DefinitionWriterTest, LongTextsContinueOnLinesJoinedByPlus)
{
    TAllValues values;
    values.SetName(QStringLiteral("V"));
    values.FText = QString(150, QLatin1Char('x')) + QStringLiteral("\U0001F600") + QStringLiteral("ção");
    const QByteArray text = Write(&values);
    EXPECT_TRUE(text.contains("  Text = \r\n    '" + QByteArray(64, 'x') + "' +\r\n")) << text.toStdString();
    std::unique_ptr<TComponent> copy(ReadBack(text));
    EXPECT_EQ(qobject_cast<TAllValues*>(copy.get())->FText, values.FText);
}

TEST(DefinitionWriterTest, ValuesTheFormatCannotHoldFailInsteadOfVanishing)
{
    TAllValues values;
    values.SetName(QStringLiteral("V"));
    values.FRatio = std::numeric_limits<double>::infinity();
    EXPECT_THROW(Write(&values), Exception);

    TFakeReport report;
    report.SetName(QStringLiteral("R"));
    TDataSource unnamed;
    report.SetDataSource(&unnamed);
    EXPECT_THROW(Write(&report), Exception);
    // A component of another owner is named through its owner.
    TFakeForm module;
    module.SetName(QStringLiteral("DataModule1"));
    auto* source = new TDataSource(&module);
    source->SetName(QStringLiteral("Source1"));
    report.SetDataSource(source);
    EXPECT_TRUE(Write(&report).contains("  DataSource = DataModule1.Source1\r\n"));
}

TEST(DefinitionWriterTest, ReportTreeRoundTripGivesTheSameTreeAndText)
{
    TFakeForm form;
    form.SetName(QStringLiteral("FrmInventario"));
    auto* report = new TFakeReport(&form);
    report->SetName(QStringLiteral("RLReport1"));
    report->Margins()->SetLeftMargin(5);
    report->Margins()->SetTopMargin(5);
    auto* source = new TDataSource(&form);
    source->SetName(QStringLiteral("DataSource1"));
    auto* query = new TMemDataSet(&form);
    query->SetName(QStringLiteral("qryRelatorio"));
    source->SetDataSet(query);
    report->SetDataSource(source);
    for (int b = 1; b <= 3; ++b) {
        auto* band = new TFakeSite(&form);
        band->SetName(QStringLiteral("RLBand%1").arg(b));
        band->SetParent(report);
        band->SetBounds(19, 19 * b, 756, 20 + b);
        for (int l = 1; l <= 2; ++l) {
            auto* label = new TFakeLabel(&form);
            label->SetName(QStringLiteral("RLLabel%1%2").arg(b).arg(l));
            label->SetParent(band);
            label->SetBounds(10 * l, 2, 40, 12);
            label->FCaption = l == 1 ? QStringLiteral("Preço") : label->Name();
            label->Font()->SetName(QStringLiteral("Verdana"));
            label->Font()->SetHeight(-12);
        }
    }
    const QByteArray first = Write(&form);
    TFakeForm copy;
    TDefinitionReader reader(Registry());
    reader.ReadInto(first, &copy);
    EXPECT_EQ(Write(&copy), first);
    ASSERT_EQ(copy.ComponentCount(), form.ComponentCount());
    for (TComponent* original : form.ComponentList()) {
        TComponent* twin = copy.FindComponent(original->Name());
        ASSERT_NE(twin, nullptr) << original->Name().toStdString();
        EXPECT_EQ(twin->ClassName(), original->ClassName());
        if (auto* control = qobject_cast<TControl*>(original)) {
            auto* other = qobject_cast<TControl*>(twin);
            EXPECT_EQ(other->BoundsRect(), control->BoundsRect());
            EXPECT_EQ(other->Parent() ? other->Parent()->Name() : QString(),
                control->Parent() ? control->Parent()->Name() : QString());
            EXPECT_TRUE(other->Font()->IsEqual(*control->Font()));
        }
        // A caption equal to the name is not stored, so it comes back empty (the label shows its
        // name then).
        if (auto* label = qobject_cast<TFakeLabel*>(original)) {
            const QString expected = label->FCaption == label->Name() ? QString() : label->FCaption;
            EXPECT_EQ(qobject_cast<TFakeLabel*>(twin)->FCaption, expected);
        }
    }
    auto* copiedReport = qobject_cast<TFakeReport*>(copy.FindComponent(QStringLiteral("RLReport1")));
    EXPECT_EQ(copiedReport->Margins()->LeftMargin(), 5.0);
    EXPECT_EQ(copiedReport->Margins()->TopMargin(), 5.0);
    EXPECT_EQ(copiedReport->DataSource(), copy.FindComponent(QStringLiteral("DataSource1")));
    EXPECT_EQ(qobject_cast<TDataSource*>(copy.FindComponent(QStringLiteral("DataSource1")))->DataSet(),
        copy.FindComponent(QStringLiteral("qryRelatorio")));
}

} // namespace

#include "DefinitionWriterTest.moc"
