// Feeds arbitrary bytes, read as UTF-8, to an expression parser that sits in a small component tree
// with published properties, so that component paths and assignments are exercised too. Every input
// must end in a value or in one of the platform's exceptions.
#include "parser/RLParser.h"

#include <QCoreApplication>
#include <cstdint>
#include <cstdlib>

namespace {

class TFuzzTarget : public TComponent
{
    Q_OBJECT
public:
    enum TKind { fkNone, fkSome, fkMany };
    Q_ENUM(TKind)

private:
    Q_PROPERTY(QString Caption MEMBER FCaption)
    Q_PROPERTY(int Height MEMBER FHeight)
    Q_PROPERTY(double Ratio MEMBER FRatio)
    Q_PROPERTY(TKind Kind MEMBER FKind)
    Q_PROPERTY(QVariant Tag2 MEMBER FTag2)
    Q_PROPERTY(TFuzzTarget* Next READ Next)

public:
    Q_INVOKABLE explicit TFuzzTarget(TComponent* AOwner = nullptr)
        : TComponent(AOwner)
    { }
    TFuzzTarget* Next() const { return FNext; }

    QString FCaption = QStringLiteral("abc");
    int FHeight = 10;
    double FRatio = 0.5;
    TKind FKind = fkSome;
    QVariant FTag2;
    TFuzzTarget* FNext = nullptr;
};

// A fresh tree for each input, so that one input's assignments never shape the next one's run.
void RunOne(const QString& text)
{
    TComponent form;
    form.SetName(QStringLiteral("Form1"));
    auto* label = new TFuzzTarget(&form);
    label->SetName(QStringLiteral("RLLabel1"));
    auto* band = new TFuzzTarget(&form);
    band->SetName(QStringLiteral("RLBand1"));
    label->FNext = band;
    auto* parser = new TRLExpressionParser(&form);
    int unknowns = 0;
    parser->OnUnknown = [&](TRLExpressionParser*, const QString& name, const QVariant&, QVariant& result) {
        // Answers half of the unknown names, so that both outcomes happen.
        if ((++unknowns & 1) == 0)
            result = name.size();
    };
    try {
        const QVariant value = parser->Evaluate(text);
        (void)VarToStr(value);
    } catch (const Exception&) { }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QCoreApplication* app = [] {
        if (QCoreApplication::instance())
            return static_cast<QCoreApplication*>(nullptr);
        static int argc = 1;
        static char name[] = "ParserFuzz";
        static char* argv[] = { name, nullptr };
        return new QCoreApplication(argc, argv);
    }();
    (void)app;
    // Inputs beyond this add nothing that shorter ones do not reach, only time.
    if (size > 65536)
        return 0;
    RunOne(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}

#include "ParserFuzz.moc"
