// Component paths and the report's hooks, on small stand-ins for a form with a band and a label.
#include "parser/RLParser.h"

#include <QLocale>
#include <gtest/gtest.h>
#include <ostream>

// Readable failures: the type and the text of a variant.
void PrintTo(const QVariant& value, std::ostream* out)
{
    *out << (value.isValid() ? value.metaType().name() : "Empty") << "(" << value.toString().toStdString()
         << ")";
}

namespace {

class TFakeFont : public TPersistent
{
    Q_OBJECT
    Q_PROPERTY(QString Name MEMBER FName)
    Q_PROPERTY(int Size MEMBER FSize)
public:
    using TPersistent::TPersistent;
    QString FName = QStringLiteral("Arial");
    int FSize = 10;
};

class TRLLabel : public TComponent
{
    Q_OBJECT
public:
    enum TAlignment { taLeftJustify, taRightJustify, taCenter };
    Q_ENUM(TAlignment)
    enum TSide { fsLeft = 1, fsTop = 2, fsRight = 4, fsBottom = 8 };
    Q_DECLARE_FLAGS(TSides, TSide)
    Q_FLAG(TSides)

private:
    Q_PROPERTY(QString Caption MEMBER FCaption)
    Q_PROPERTY(TAlignment Alignment MEMBER FAlignment)
    Q_PROPERTY(TSides Borders READ Borders WRITE SetBorders)
    Q_PROPERTY(TFakeFont* Font READ Font)
    Q_PROPERTY(QObject* Nothing READ Nothing)
    Q_PROPERTY(qint64 Big MEMBER FBig)
    Q_PROPERTY(QVariant Tag2 MEMBER FTag2)
    Q_PROPERTY(double Ratio MEMBER FRatio)
    Q_PROPERTY(bool Visible MEMBER FVisible)
    Q_PROPERTY(QChar Letter MEMBER FLetter)
    Q_PROPERTY(int Fixed READ Fixed)

public:
    Q_INVOKABLE explicit TRLLabel(TComponent* AOwner = nullptr)
        : TComponent(AOwner)
        , FFont(new TFakeFont(this))
    { }
    TFakeFont* Font() const { return FFont; }
    QObject* Nothing() const { return nullptr; }
    int Fixed() const { return 5; }
    TSides Borders() const { return FBorders; }
    void SetBorders(TSides value) { FBorders = value; }

    QString FCaption = QStringLiteral("Total");
    TAlignment FAlignment = taCenter;
    TSides FBorders = TSides(fsLeft | fsBottom);
    TFakeFont* FFont;
    qint64 FBig = 1234567890123;
    QVariant FTag2 = QVariant(QStringLiteral("free"));
    double FRatio = 0.5;
    bool FVisible = true;
    QChar FLetter = u'A';
};

class TRLBand : public TComponent
{
    Q_OBJECT
    Q_PROPERTY(int Height MEMBER FHeight)
public:
    Q_INVOKABLE explicit TRLBand(TComponent* AOwner = nullptr)
        : TComponent(AOwner)
    { }
    int FHeight = 26;
};

class ParserPathsTest : public ::testing::Test
{
protected:
    ParserPathsTest()
    {
        Form.SetName("Form1");
        Band = new TRLBand(&Form);
        Band->SetName("RLBand1");
        Label = new TRLLabel(&Form);
        Label->SetName("RLLabel1");
        Parser = new TRLExpressionParser(&Form);
        Parser->SetName("RLExpressionParser1");
    }
    void SetUp() override
    {
        FSaved = QLocale();
        QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    }
    void TearDown() override { QLocale::setDefault(FSaved); }

    QVariant Eval(const char* text) { return Parser->Evaluate(QString::fromUtf8(text)); }
    QString ErrorOf(const char* text)
    {
        try {
            return QStringLiteral("value ") + VarToStr(Eval(text));
        } catch (const Exception& e) {
            return e.Message();
        }
    }

    TComponent Form;
    TRLBand* Band;
    TRLLabel* Label;
    TRLExpressionParser* Parser;

private:
    QLocale FSaved;
};

TEST_F(ParserPathsTest, ReadsPublishedPropertiesByType)
{
    const struct
    {
        const char* Text;
        QVariant Expected;
    } cases[] = {
        { "RLLabel1.Caption", QStringLiteral("Total") },
        { "rllabel1.CAPTION", QStringLiteral("Total") }, // names ignore case
        { "Form1.RLLabel1.Caption", QStringLiteral("Total") }, // the owner names itself
        { "RLBand1.Height", 26 },
        { "RLBand1.Height * 2", 52.0 },
        { "RLLabel1.Alignment", QStringLiteral("taCenter") },
        { "RLLabel1.Borders", QStringLiteral("[fsLeft,fsBottom]") },
        { "RLLabel1.Big", 1234567890123.0 }, // 64-bit integers read as floating point
        { "RLLabel1.Tag2", QStringLiteral("free") },
        { "RLLabel1.Ratio", 0.5 },
        { "RLLabel1.Visible", true },
        { "RLLabel1.Letter", 65 },
        { "RLLabel1.Fixed", 5 },
        { "RLLabel1.Font.Size", 10 }, // through an object-valued property
        { "RLLabel1.Font.Name + '!'", QStringLiteral("Arial!") },
        { "RLLabel1", QStringLiteral("[TRLLabel]") },
        { "RLLabel1.Font", QStringLiteral("[TFakeFont]") },
        { "RLLabel1.Nothing", QStringLiteral("[nil]") },
        { "Name", QStringLiteral("Form1") }, // a bare name is a property of the owner
        { "if(RLLabel1.Visible, RLBand1.Height, 0)", 26 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        const QVariant actual = Eval(c.Text);
        EXPECT_EQ(actual.metaType(), c.Expected.metaType());
        EXPECT_EQ(actual, c.Expected);
    }
}

TEST_F(ParserPathsTest, PathsThatNameNothingAreUndefined)
{
    const char* const names[] = {
        "Missing.Caption",
        "RLLabel1.Nope",
        "RLBand1.Missing.Height",
        "RLLabel1.Caption.Length", // a string is no object to step into
        "RLLabel1..Caption",
        "RLLabel1.",
    };
    for (const char* name : names)
        EXPECT_EQ(ErrorOf(name), QStringLiteral("Undefined identifier \"%1\"").arg(QLatin1String(name)))
            << name;
}

TEST_F(ParserPathsTest, AssignmentWritesPropertiesWithConversion)
{
    EXPECT_EQ(Eval("RLLabel1.Caption := 'abc'"), QVariant(QStringLiteral("abc")));
    EXPECT_EQ(Label->FCaption, QStringLiteral("abc"));
    Eval("RLLabel1.Caption := 12.5");
    EXPECT_EQ(Label->FCaption, QStringLiteral("12,5"));
    Eval("RLBand1.Height := 40");
    EXPECT_EQ(Band->FHeight, 40);
    Eval("RLBand1.Height := 2.5"); // to nearest, ties to even
    EXPECT_EQ(Band->FHeight, 2);
    Eval("RLBand1.Height := '17'");
    EXPECT_EQ(Band->FHeight, 17);
    Eval("rlband1.height := RLBand1.Height + 1");
    EXPECT_EQ(Band->FHeight, 18);
    Eval("RLLabel1.Alignment := 'tarightjustify'");
    EXPECT_EQ(Label->FAlignment, TRLLabel::taRightJustify);
    Eval("RLLabel1.Alignment := 0");
    EXPECT_EQ(Label->FAlignment, TRLLabel::taLeftJustify);
    Eval("RLLabel1.Borders := '[fsTop, FSRIGHT]'");
    EXPECT_EQ(Label->FBorders, TRLLabel::TSides(TRLLabel::fsTop | TRLLabel::fsRight));
    Eval("RLLabel1.Borders := '[]'");
    EXPECT_EQ(Label->FBorders, TRLLabel::TSides());
    Eval("RLLabel1.Borders := 9");
    EXPECT_EQ(Label->FBorders, TRLLabel::TSides(TRLLabel::fsLeft | TRLLabel::fsBottom));
    Eval("RLLabel1.Big := 3");
    EXPECT_EQ(Label->FBig, 3);
    Eval("RLLabel1.Ratio := '0,25'");
    EXPECT_EQ(Label->FRatio, 0.25);
    Eval("RLLabel1.Visible := 1 > 2");
    EXPECT_FALSE(Label->FVisible);
    Eval("RLLabel1.Tag2 := null");
    EXPECT_TRUE(VarIsNull(Label->FTag2));
    Eval("RLLabel1.Letter := 'xyz'");
    EXPECT_EQ(Label->FLetter, QChar(u'x'));
    Eval("RLLabel1.Font.Size := 12");
    EXPECT_EQ(Label->FFont->FSize, 12);
    EXPECT_EQ(Parser->Values().Count(), 0); // everything went into properties
}

TEST_F(ParserPathsTest, ValuesThatDoNotFitAPropertyAreErrors)
{
    const char* const texts[] = {
        "RLBand1.Height := 'x'",
        "RLBand1.Height := 1e12",
        "RLLabel1.Alignment := 'taNowhere'",
        "RLLabel1.Alignment := 7",
        "RLLabel1.Borders := '[fsLeft, fsMiddle]'",
        "RLLabel1.Visible := null",
    };
    for (const char* text : texts)
        EXPECT_THROW(Eval(text), EConvertError) << text;
    EXPECT_EQ(Band->FHeight, 26);
    EXPECT_EQ(Label->FAlignment, TRLLabel::taCenter);
}

TEST_F(ParserPathsTest, AssignmentsNoPropertyTakesGoToTheValueList)
{
    Eval("RLLabel1.Fixed := 9"); // read-only
    Eval("Nobody.Caption := 1");
    Eval("total := 3");
    EXPECT_EQ(Parser->Values().Count(), 3);
    EXPECT_EQ(Eval("RLLabel1.Fixed"), QVariant(9.0)); // the value list answers before the path
    EXPECT_EQ(Eval("Nobody.Caption"), QVariant(1.0));
    EXPECT_EQ(Label->Fixed(), 5);
}

TEST_F(ParserPathsTest, WithoutScanComponentsPathsAreNotConsulted)
{
    Parser->SetOptions({});
    EXPECT_EQ(ErrorOf("RLLabel1.Caption"), QStringLiteral("Undefined identifier \"RLLabel1.Caption\""));
    Eval("RLLabel1.Caption := 'z'");
    EXPECT_EQ(Label->FCaption, QStringLiteral("Total"));
    EXPECT_EQ(Eval("RLLabel1.Caption"), QVariant(QStringLiteral("z")));
}

TEST_F(ParserPathsTest, ParserWithoutOwnerResolvesNoPaths)
{
    TRLExpressionParser lonely;
    EXPECT_THROW(lonely.Evaluate("RLLabel1.Caption"), EAbort);
    lonely.Evaluate("RLLabel1.Caption := 1");
    EXPECT_EQ(lonely.Values().Count(), 1);
}

// ---- hooks ----------------------------------------------------------------------------------------

TEST_F(ParserPathsTest, HooksAreConsultedInTheirPlaces)
{
    QStringList trace;
    TRLParserHooks hooks;
    hooks.FindIdentifier = [&](const QString& name, QVariant& result) {
        trace.append("identifier:" + name);
        if (name.compare("SALDO", Qt::CaseInsensitive) == 0) {
            result = 12.5;
            return true;
        }
        return false;
    };
    hooks.TokenHook = [&](QString& token, TRLParserTokenKind& kind) {
        trace.append("token:" + token);
        if (token == "SALDO_ANTIGO")
            token = "SALDO";
        Q_UNUSED(kind);
    };
    hooks.FindChild = [&](QObject* parent, const QString& name) -> QObject* {
        trace.append("child:" + name);
        if (parent == &Form && name.compare("Rotulo", Qt::CaseInsensitive) == 0)
            return Label;
        return nullptr;
    };
    hooks.GetProperty = [&](QObject* object, const QString& property, QVariant& result) {
        trace.append("get:" + property);
        if (object == Label && property == "Texto") {
            result = Label->FCaption;
            return true;
        }
        return false;
    };
    hooks.SetProperty = [&](QObject* object, const QString& property, const QVariant& value) {
        trace.append("set:" + property);
        if (object == Label && property == "Texto") {
            Label->FCaption = VarToStr(value);
            return true;
        }
        return false;
    };
    Parser->OnToken = [&](TRLExpressionParser*, QString& token, TRLParserTokenKind&) {
        trace.append("OnToken:" + token);
    };
    Parser->SetHooks(hooks);

    EXPECT_EQ(Eval("saldo"), QVariant(12.5));
    EXPECT_EQ(trace, QStringList({ "token:saldo", "OnToken:saldo", "identifier:saldo" }));
    trace.clear();
    // The token hook runs before OnToken and its change reaches it.
    EXPECT_EQ(Eval("SALDO_ANTIGO"), QVariant(12.5));
    EXPECT_EQ(trace.mid(0, 2), QStringList({ "token:SALDO_ANTIGO", "OnToken:SALDO" }));
    trace.clear();

    EXPECT_EQ(Eval("Rotulo.Caption"), QVariant(QStringLiteral("Total")));
    EXPECT_EQ(trace,
        QStringList({ "token:Rotulo.Caption", "OnToken:Rotulo.Caption", "identifier:Rotulo.Caption",
            "child:Rotulo", "child:Caption", "get:Caption" }));
    trace.clear();

    EXPECT_EQ(Eval("RLLabel1.Texto"), QVariant(QStringLiteral("Total")));
    Eval("Rotulo.Texto := 'via hook'");
    EXPECT_EQ(Label->FCaption, QStringLiteral("via hook"));
    EXPECT_TRUE(trace.contains("set:Texto"));
    trace.clear();
    Eval("RLLabel1.Caption := 'published first'");
    EXPECT_FALSE(trace.contains("set:Caption"));
    EXPECT_EQ(Label->FCaption, QStringLiteral("published first"));
    Eval("RLLabel1.Outro := 1"); // offered to the hook, declined, kept as a value
    EXPECT_TRUE(trace.contains("set:Outro"));
    EXPECT_EQ(Parser->Values().Count(), 1);

    Parser->ClearHooks();
    Parser->OnToken = nullptr;
    trace.clear();
    EXPECT_THROW(Eval("saldo"), EAbort);
    EXPECT_THROW(Eval("Rotulo.Caption"), EAbort);
    EXPECT_TRUE(trace.isEmpty());
}

TEST_F(ParserPathsTest, ResolutionOrder)
{
    // Every source knows "Height"; taking them away one by one shows who answers first.
    TRLParserHooks hooks;
    hooks.FindIdentifier = [](const QString& name, QVariant& result) {
        if (name == "Height")
            result = QStringLiteral("hook");
        return true;
    };
    Parser->SetHooks(hooks);
    Parser->OnIdentifier = [](TRLExpressionParser*, const QString& name, const QVariant&, QVariant& result) {
        if (name == "Height")
            result = QStringLiteral("OnIdentifier");
    };
    Parser->OnUnknown = [](TRLExpressionParser*, const QString&, const QVariant&, QVariant& result) {
        result = QStringLiteral("OnUnknown");
    };
    Parser->Functions().Add(
        "Height", [](TRLExpressionParser*, const QVariant&) { return QVariant(QStringLiteral("function")); });
    new TRLParserValue(Parser, "Height");
    Parser->Values().Find("Height")->SetValue(QStringLiteral("value"));
    auto* owner = new TRLBand(&Form);
    owner->SetName("Inner");
    auto* inner = new TRLExpressionParser(owner); // its owner has a Height property
    inner->SetHooks(Parser->Hooks());
    inner->OnIdentifier = Parser->OnIdentifier;
    inner->OnUnknown = Parser->OnUnknown;
    inner->Functions().Add(
        "Height", [](TRLExpressionParser*, const QVariant&) { return QVariant(QStringLiteral("function")); });
    new TRLParserValue(inner, "Height");
    inner->Values().Find("Height")->SetValue(QStringLiteral("value"));

    EXPECT_EQ(inner->Evaluate("Height"), QVariant(QStringLiteral("OnIdentifier")));
    inner->OnIdentifier = nullptr;
    EXPECT_EQ(inner->Evaluate("Height"), QVariant(QStringLiteral("value")));
    inner->Values().Clear();
    EXPECT_EQ(inner->Evaluate("Height"), QVariant(QStringLiteral("function")));
    inner->Functions().Clear();
    EXPECT_EQ(inner->Evaluate("Height"), QVariant(QStringLiteral("hook")));
    inner->ClearHooks();
    EXPECT_EQ(inner->Evaluate("Height"), QVariant(26));
    inner->SetOptions({});
    EXPECT_EQ(inner->Evaluate("Height"), QVariant(QStringLiteral("OnUnknown")));
}

} // namespace

#include "RLParserPathsTest.moc"
