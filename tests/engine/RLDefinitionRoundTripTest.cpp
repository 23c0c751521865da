// Report definitions written from real engine components and read back: the tree must come back
// equal, a second write must give the same text, and the stored-property rules of the engine's
// classes (margins, borders, page setup, drawings, labels, preview options) must hold on the way.
#include "engine/RLConsts.h"
#include "engine/RLDraw.h"
#include "engine/RLLabels.h"
#include "engine/RLRegistration.h"
#include "engine/RLReport.h"
#include "engine/RLSystemInfo.h"
#include "filters/RLFilterRegistration.h"
#include "platform/Aliases.h"
#include "platform/DataSet.h"
#include "platform/Definitions.h"
#include "platform/DemoDatabase.h"
#include "platform/MemDataSet.h"
#include "platform/SqlDataSet.h"

#include <QDir>
#include <QFile>
#include <QMetaEnum>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>

namespace {

// One registry for the whole test program, filled the way the inventory program fills its own.
TClassRegistry& Registry()
{
    static TClassRegistry registry = [] {
        TClassRegistry r;
        RegisterPlatformClasses(r);
        RLRegisterReportClasses(r);
        // The program's own definition holds its output filters beside the report.
        RLRegisterFilterClasses(r);
        return r;
    }();
    return registry;
}

// Handlers of every signature the engine publishes, under the names the definitions below use.
const TEventHandlers& Handlers()
{
    static const TEventHandlers handlers = [] {
        TEventHandlers h;
        const auto text = [](TRLCustomControl*, QString&, bool&) {};
        const auto print = [](TRLCustomControl*, bool&) {};
        const auto notify = [](TRLCustomControl*) {};
        h.Add<TRLBeforeTextEvent>(QStringLiteral("LabelBeforePrint"), text);
        h.Add<TRLBeforePrintEvent>(QStringLiteral("BandBeforePrint"), print);
        h.Add<TRLBeforePrintEvent>(QStringLiteral("DrawBeforePrint"), print);
        h.Add<TRLAfterPrintEvent>(QStringLiteral("ControlAfterPrint"), notify);
        h.Add<TRLNotifyEvent>(QStringLiteral("ReportPageStarting"), notify);
        // The inventory window's handlers.
        h.Add<TRLBeforeTextEvent>(QStringLiteral("rldbtxtcustoBeforePrint"), text);
        h.Add<TRLBeforeTextEvent>(QStringLiteral("RLDBText1BeforePrint"), text);
        h.Add<TRLBeforeTextEvent>(QStringLiteral("RLDBText4BeforePrint"), text);
        h.Add<TRLBeforePrintEvent>(QStringLiteral("RLBand4BeforePrint"), print);
        h.Add<TRLBeforePrintEvent>(QStringLiteral("RLBand3BeforePrint"), print);
        return h;
    }();
    return handlers;
}

struct TRootDeleter
{
    void operator()(TComponent* root) const { delete root; }
};
using TRoot = std::unique_ptr<TComponent, TRootDeleter>;

TRoot Read(const QByteArray& text)
{
    TDefinitionReader reader(Registry());
    reader.Handlers = &Handlers();
    return TRoot(reader.Read(text));
}

QByteArray Write(const TComponent* root)
{
    return TDefinitionWriter(Registry()).Write(root);
}

// Definitions in tests are written with LF and two-space indents; the writer ends lines in CR LF.
QByteArray Crlf(QByteArray text)
{
    return text.replace("\r\n", "\n").replace("\n", "\r\n");
}

// --- an independent picture of a tree --------------------------------------------------------------
// Every readable property, stored or not, of every component and of the persistent objects they own,
// plus visual parents and bound events. Two trees are equal when their pictures are.

QString ValueText(const QMetaProperty& property, const QVariant& value)
{
    if (property.isEnumType()) {
        const int number = value.metaType().sizeOf() == sizeof(int)
            ? *static_cast<const int*>(value.constData())
            : value.toInt();
        return QString::number(number);
    }
    switch (value.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', 17);
    case QMetaType::QStringList:
        return QLatin1Char('[') + value.toStringList().join(QLatin1Char('|')) + QLatin1Char(']');
    case QMetaType::QByteArray:
        return QString::fromLatin1(value.toByteArray().toHex());
    case QMetaType::QString:
        return QLatin1Char('"') + value.toString() + QLatin1Char('"');
    default:
        if (value.canConvert<QString>())
            return value.toString();
        return QString::fromLatin1(value.typeName());
    }
}

void Picture(const QObject* object, const QString& prefix, QStringList& out, int depth)
{
    const QMetaObject* meta = object->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (!property.isReadable() || qstrcmp(property.name(), "objectName") == 0)
            continue;
        const QString path = prefix + QLatin1String(property.name());
        const QVariant value = property.read(object);
        if (property.metaType().flags().testFlag(QMetaType::PointerToQObject)) {
            const QObject* sub = value.value<QObject*>();
            if (!sub)
                out << path + QStringLiteral(" = nil");
            else if (qobject_cast<const TComponent*>(sub))
                out << path + QStringLiteral(" -> ") + sub->objectName();
            else if (depth < 4)
                Picture(sub, path + QLatin1Char('.'), out, depth + 1);
            continue;
        }
        out << path + QStringLiteral(" = ") + ValueText(property, value);
    }
}

// A definition nests controls inside their parents, so a control created late in a parent that was
// created early comes back earlier among the owner's components; what must stay is the order among
// siblings, which is the order in which a site prints its controls. The picture walks the tree.
void CollectNested(const TComponent* root, const TComponent* parent, QList<const TComponent*>& out)
{
    for (const TComponent* component : root->ComponentList()) {
        const auto* control = qobject_cast<const TControl*>(component);
        const TComponent* nesting = control && control->Parent() ? control->Parent() : root;
        if (nesting == parent) {
            out << component;
            CollectNested(root, component, out);
        }
    }
}

QStringList TreePicture(const TComponent* root)
{
    QStringList out;
    QList<const TComponent*> components { root };
    CollectNested(root, root, components);
    for (const TComponent* component : components) {
        QString header
            = QStringLiteral("object ") + component->Name() + QStringLiteral(": ") + component->ClassName();
        if (const auto* control = qobject_cast<const TControl*>(component))
            header += QStringLiteral(" in ") + (control->Parent() ? control->Parent()->Name() : QString());
        out << header;
        Picture(component, QStringLiteral("  "), out, 0);
        for (const QString& event : Registry().EventNames(component->metaObject()))
            out << QStringLiteral("  on ") + event + QStringLiteral(" = ")
                    + component->EventHandlerName(event);
    }
    return out;
}

// Where two pictures part, or nothing when they are equal.
std::string FirstDifference(const QStringList& expected, const QStringList& actual)
{
    for (qsizetype i = 0; i < qMax(expected.size(), actual.size()); ++i) {
        const QString want = i < expected.size() ? expected.at(i) : QStringLiteral("(nothing)");
        const QString got = i < actual.size() ? actual.at(i) : QStringLiteral("(nothing)");
        if (want != got) {
            QString context;
            for (qsizetype back = i; back >= 0; --back)
                if (expected.value(back).startsWith(QLatin1String("object "))) {
                    context = expected.value(back);
                    break;
                }
            return QStringLiteral("in %1: expected %2, got %3").arg(context, want, got).toStdString();
        }
    }
    return {};
}

// The first line where two written texts part, or nothing when they are equal.
std::string TextDifference(const QByteArray& expected, const QByteArray& actual)
{
    const QList<QByteArray> want = expected.split('\n');
    const QList<QByteArray> got = actual.split('\n');
    for (qsizetype i = 0; i < qMax(want.size(), got.size()); ++i)
        if (want.value(i) != got.value(i))
            return "line " + std::to_string(i + 1) + ": expected <" + want.value(i).trimmed().toStdString()
                + ">, got <" + got.value(i).trimmed().toStdString() + ">";
    return {};
}

// Lines of a written definition that set the given property path, trimmed.
QStringList LinesOf(const QByteArray& text, const QString& path)
{
    QStringList found;
    for (const QByteArray& line : text.split('\n')) {
        const QString trimmed = QString::fromLatin1(line).trimmed();
        if (trimmed.startsWith(path + QStringLiteral(" = ")))
            found << trimmed;
    }
    return found;
}

// The written block of one object, from its header to its own "end".
QByteArray BlockOf(const QByteArray& text, const QByteArray& name)
{
    const QList<QByteArray> lines = text.split('\n');
    QByteArray block;
    int indent = -1;
    for (const QByteArray& raw : lines) {
        const QByteArray line = raw.endsWith('\r') ? raw.chopped(1) : raw;
        const int lead = int(line.size() - line.trimmed().size());
        if (indent < 0) {
            if (line.trimmed().startsWith("object " + name + ":")) {
                indent = lead;
                block += line + '\n';
            }
            continue;
        }
        block += line + '\n';
        if (lead == indent && line.trimmed() == "end")
            break;
    }
    return block;
}

// --- a report with one of everything ---------------------------------------------------------------

template <class T> T* Make(TComponent* root, const char* name, TControl* parent)
{
    auto* component = new T(root);
    component->SetName(QString::fromLatin1(name));
    if (parent)
        component->SetParent(parent);
    return component;
}

TRoot BuildFullReport()
{
    TRoot root(new TComponent(nullptr));
    root->SetName(QStringLiteral("Form1"));

    auto* data = new TMemDataSet(root.get());
    data->SetName(QStringLiteral("MemData1"));
    auto* source = new TDataSource(root.get());
    source->SetName(QStringLiteral("DataSource1"));
    source->SetDataSet(data);

    auto* report = Make<TRLReport>(root.get(), "RLReport1", nullptr);
    report->SetDataSource(source);
    report->SetTitle(QStringLiteral("Inventário"));
    report->SetFirstPageNumber(3);
    report->PageSetup()->SetPaperSize(fpCustom);
    report->PageSetup()->SetPaperWidth(200.5);
    report->PageSetup()->SetPaperHeight(280);
    report->PageSetup()->SetOrientation(poLandscape);
    report->Margins()->SetLeftMargin(15);
    report->Margins()->SetBottomMargin(7.25);
    report->PreviewOptions()->SetCaption(QStringLiteral("Prévia do estoque"));
    report->PreviewOptions()->SetShowModal(true);
    report->Font()->SetName(QStringLiteral("Arial"));
    report->Font()->SetHeight(-13);
    report->OnPageStarting = [](TRLCustomControl*) {};
    report->SetEventHandlerName(QStringLiteral("OnPageStarting"), QStringLiteral("ReportPageStarting"));

    const TRLBandType types[]
        = { btHeader, btTitle, btColumnHeader, btDetail, btColumnFooter, btSummary, btFooter };
    QList<TRLBand*> bands;
    int top = 38;
    for (const TRLBandType type : types) {
        const QByteArray name = "RLBand" + QByteArray::number(int(bands.size()) + 1);
        auto* band = Make<TRLBand>(root.get(), name.constData(), report);
        band->SetBandType(type);
        band->SetBounds(38, top, 700, 30);
        top += 30;
        bands << band;
    }
    TRLBand* header = bands[0];
    header->Margins()->SetLeftMargin(2.5);
    header->InsideMargins()->SetTopMargin(1);
    header->Degrade()->SetDirection(ddHorizontal);
    header->Degrade()->SetOppositeColor(0x00EAEAEA);
    header->SetColor(0x00FFCC99);
    header->SetTransparent(false);
    header->Borders()->SetSides(sdAll);
    header->Borders()->SetWidth(2);
    header->BeforePrint = [](TRLCustomControl*, bool&) {};
    header->SetEventHandlerName(QStringLiteral("BeforePrint"), QStringLiteral("BandBeforePrint"));
    bands[3]->SetCarbonCopies(2);
    bands[3]->SetPageBreaking(pbAfterPrint);
    bands[5]->SetAutoSize(true);

    auto* title = Make<TRLLabel>(root.get(), "RLLabel1", bands[1]);
    title->SetCaption(QStringLiteral("Inventário por Preço de Custo"));
    title->SetAlignment(taCenter);
    title->SetLeft(200);
    title->Font()->SetStyleSet(TFontStyleSet(fsBold) | fsItalic);
    title->Borders()->SetDrawLeft(true);
    title->Borders()->SetDrawBottom(true);
    title->Borders()->SetFixedBottom(true);
    title->Borders()->SetColor(0x000000FF);
    title->BeforePrint = [](TRLCustomControl*, QString&, bool&) {};
    title->SetEventHandlerName(QStringLiteral("BeforePrint"), QStringLiteral("LabelBeforePrint"));
    title->AfterPrint = [](TRLCustomControl*) {};
    title->SetEventHandlerName(QStringLiteral("AfterPrint"), QStringLiteral("ControlAfterPrint"));

    auto* named = Make<TRLLabel>(root.get(), "RLLabel2", bands[2]);
    named->SetCaption(QStringLiteral("Produto"));
    named->SetFriendlyName(QStringLiteral("Cabecalho"));
    named->SetAutoSize(false);
    named->SetBounds(10, 5, 120, 14);
    named->SetLayout(tlCenter);
    named->RealBounds()->SetUsedUnit(buMilimeters);
    named->RealBounds()->SetWidth(31.75);

    auto* text = Make<TRLDBText>(root.get(), "RLDBText1", bands[3]);
    text->SetDataSource(source);
    text->SetDataField(QStringLiteral("NOME"));
    text->SetText(QStringLiteral("Nome: #"));
    text->SetAlignment(taRightJustify);
    text->SetHolder(named);
    text->SetHoldStyle(hsHorizontally);
    auto* formula = Make<TRLDBText>(root.get(), "RLDBText2", bands[5]);
    formula->SetDataFormula(QStringLiteral("SALDO * 2"));
    formula->SetDisplayMask(QStringLiteral("#,##0.00"));
    formula->SetBehavior(TRLControlBehavior(beSiteExpander));

    auto* pages = Make<TRLSystemInfo>(root.get(), "RLSystemInfo1", bands[6]);
    pages->SetInfo(itPagePreview);
    pages->SetText(QStringLiteral("Página # de #"));
    auto* date = Make<TRLSystemInfo>(root.get(), "RLSystemInfo2", bands[0]);
    date->SetInfo(itFullDate);
    date->SetAlign(faRight);

    auto* box = Make<TRLDraw>(root.get(), "RLDraw1", bands[2]);
    box->SetBounds(0, 0, 700, 20);
    box->Brush()->SetColor(0x00EAEAEA);
    box->Pen()->SetWidth(2);
    auto* shape = Make<TRLDraw>(root.get(), "RLDraw2", bands[4]);
    shape->SetDrawData(QStringList { QStringLiteral("0 0"), QStringLiteral("10 5"), QStringLiteral("0 10") });
    shape->SetDrawWidth(12);
    shape->SetAngle(30);
    shape->SetOptions(TRLDrawOptions(doKeepAspectRatio) | doKeepVisible);
    shape->SetCenter(false);
    shape->BeforePrint = [](TRLCustomControl*, bool&) {};
    shape->SetEventHandlerName(QStringLiteral("BeforePrint"), QStringLiteral("DrawBeforePrint"));
    auto* triangle = Make<TRLDraw>(root.get(), "RLDraw3", bands[4]);
    triangle->SetDrawKind(dkTriangle);
    triangle->SetDrawHeight(9);
    return root;
}

// ---------------------------------------------------------------------------------------------------

TEST(RLDefinitionRoundTrip, AReportWithEveryKindOfComponentComesBackEqual)
{
    const TRoot original = BuildFullReport();
    const QByteArray first = Write(original.get());
    ASSERT_FALSE(first.isEmpty());

    const TRoot again = Read(first);
    EXPECT_EQ(FirstDifference(TreePicture(original.get()), TreePicture(again.get())), "")
        << first.constData();

    const QByteArray second = Write(again.get());
    EXPECT_EQ(TextDifference(first, second), "");
}

TEST(RLDefinitionRoundTrip, StoredPropertiesFollowTheEngineRules)
{
    const TRoot root = BuildFullReport();
    const QByteArray text = Write(root.get());

    struct TCase
    {
        const char* Block;
        QString Path;
        QStringList Lines; // empty: the property must not be written
    };
    const TCase cases[] = {
        // Custom paper: its size is stored.
        { "RLReport1", "PageSetup.PaperSize", { "PageSetup.PaperSize = fpCustom" } },
        { "RLReport1", "PageSetup.PaperWidth", { "PageSetup.PaperWidth = 200.500000000000000000" } },
        { "RLReport1", "PageSetup.PaperHeight", { "PageSetup.PaperHeight = 280.000000000000000000" } },
        // Only the margins that differ from the report's 10 mm.
        { "RLReport1", "Margins.LeftMargin", { "Margins.LeftMargin = 15.000000000000000000" } },
        { "RLReport1", "Margins.TopMargin", {} },
        { "RLReport1", "Margins.RightMargin", {} },
        { "RLReport1", "Margins.BottomMargin", { "Margins.BottomMargin = 7.250000000000000000" } },
        { "RLReport1", "PreviewOptions.Caption",
            { QStringLiteral("PreviewOptions.Caption = 'Pr'#233'via do estoque'") } },
        // A band stores no margin of 0.
        { "RLBand1", "Margins.LeftMargin", { "Margins.LeftMargin = 2.500000000000000000" } },
        { "RLBand1", "Margins.TopMargin", {} },
        { "RLBand1", "InsideMargins.TopMargin", { "InsideMargins.TopMargin = 1.000000000000000000" } },
        { "RLBand2", "Margins.LeftMargin", {} },
        { "RLBand2", "InsideMargins.LeftMargin", {} },
        // All sides: the shorthand alone.
        { "RLBand1", "Borders.Sides", { "Borders.Sides = sdAll" } },
        { "RLBand1", "Borders.DrawLeft", {} },
        { "RLBand1", "Borders.DrawTop", {} },
        { "RLBand1", "Borders.Width", { "Borders.Width = 2" } },
        // Custom sides: the drawn ones are listed.
        { "RLLabel1", "Borders.Sides", { "Borders.Sides = sdCustom" } },
        { "RLLabel1", "Borders.DrawLeft", { "Borders.DrawLeft = True" } },
        { "RLLabel1", "Borders.DrawBottom", { "Borders.DrawBottom = True" } },
        { "RLLabel1", "Borders.FixedBottom", { "Borders.FixedBottom = True" } },
        { "RLLabel2", "Borders.Sides", {} },
        // Drawings: data only for dkCustom, both sizes as soon as one is set.
        { "RLDraw1", "DrawData.Strings", {} },
        { "RLDraw1", "DrawKind", {} },
        { "RLDraw1", "DrawWidth", {} },
        { "RLDraw1", "DrawHeight", {} },
        { "RLDraw2", "DrawKind", { "DrawKind = dkCustom" } },
        { "RLDraw2", "DrawData.Strings", { "DrawData.Strings = (" } },
        { "RLDraw2", "DrawWidth", { "DrawWidth = 12" } },
        { "RLDraw2", "DrawHeight", { "DrawHeight = 0" } },
        { "RLDraw3", "DrawKind", { "DrawKind = dkTriangle" } },
        { "RLDraw3", "DrawData.Strings", {} },
        { "RLDraw3", "DrawWidth", { "DrawWidth = 0" } },
        { "RLDraw3", "DrawHeight", { "DrawHeight = 9" } },
        // Computed captions are never stored.
        { "RLSystemInfo1", "Caption", {} },
        { "RLSystemInfo1", "Info", { "Info = itPagePreview" } },
        { "RLLabel1", "Caption", { QStringLiteral("Caption = 'Invent'#225'rio por Pre'#231'o de Custo'") } },
        { "RLLabel2", "Caption", { "Caption = 'Produto'" } },
    };
    for (const TCase& c : cases) {
        const QByteArray block = BlockOf(text, c.Block);
        ASSERT_FALSE(block.isEmpty()) << c.Block;
        // Nested objects are written inside their parent's block; look only at the object's own lines.
        QByteArray own;
        int depth = 0;
        for (const QByteArray& line : block.split('\n')) {
            const QByteArray trimmed = line.trimmed();
            if (trimmed.startsWith("object "))
                ++depth;
            else if (trimmed == "end")
                --depth;
            else if (depth == 1)
                own += trimmed + '\n';
        }
        EXPECT_EQ(LinesOf(own, c.Path), c.Lines) << c.Block << "." << c.Path.toStdString();
    }
}

TEST(RLDefinitionRoundTrip, MarginsEqualToTheirDefaultsAreDroppedOnTheWayBack)
{
    const QByteArray text = Crlf("object Form1: TComponent\n"
                                 "  object RLReport1: TRLReport\n"
                                 "    Margins.LeftMargin = 10.000000000000000000\n"
                                 "    Margins.TopMargin = 10\n"
                                 "    Margins.RightMargin = 12.500000000000000000\n"
                                 "    object RLBand1: TRLBand\n"
                                 "      Margins.LeftMargin = 0.000000000000000000\n"
                                 "      Margins.BottomMargin = 0\n"
                                 "      InsideMargins.RightMargin = 0.000000000000000000\n"
                                 "      InsideMargins.TopMargin = 3.000000000000000000\n"
                                 "    end\n"
                                 "  end\n"
                                 "end\n");
    const TRoot root = Read(text);
    auto* report = qobject_cast<TRLReport*>(root->FindComponent(QStringLiteral("RLReport1")));
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->Margins()->LeftMargin(), 10.0);
    EXPECT_EQ(report->Margins()->RightMargin(), 12.5);

    const QByteArray written = Write(root.get());
    EXPECT_EQ(LinesOf(written, QStringLiteral("Margins.LeftMargin")), QStringList());
    EXPECT_EQ(LinesOf(written, QStringLiteral("Margins.TopMargin")), QStringList());
    EXPECT_EQ(LinesOf(written, QStringLiteral("Margins.BottomMargin")), QStringList());
    EXPECT_EQ(LinesOf(written, QStringLiteral("InsideMargins.RightMargin")), QStringList());
    EXPECT_EQ(LinesOf(written, QStringLiteral("Margins.RightMargin")),
        QStringList { QStringLiteral("Margins.RightMargin = 12.500000000000000000") });
    EXPECT_EQ(LinesOf(written, QStringLiteral("InsideMargins.TopMargin")),
        QStringList { QStringLiteral("InsideMargins.TopMargin = 3.000000000000000000") });
    EXPECT_EQ(TextDifference(written, Write(Read(written).get())), "");
}

TEST(RLDefinitionRoundTrip, LegacyDrawingKindsTranslateAndAreNeverWrittenBack)
{
    struct TCase
    {
        const char* Kind;
        TRLDrawKind DrawKind;
        TRLDrawOptions Options;
        double Angle; // from a stored Angle of 15
        QStringList Data; // only for dkCustom
    };
    const TCase cases[] = {
        { "dkRectangle", dkRectangle, doKeepSize, 15, {} },
        { "dkLine", dkCustom, doKeepSize, 15, { QStringLiteral("0 0 1 1") } },
        { "dkTriangle", dkTriangle, doKeepSize, 15, {} },
        { "dkElipse", dkElipse, doKeepSize, 15, {} },
        { "dkArrow", dkArrow, doKeepSize, 15, {} },
        { "dkCircle", dkElipse, doKeepAspectRatio, 15, {} },
        { "dkHorzLine", dkLine, doKeepSize, 15, {} },
        { "dkVertLine", dkLine, TRLDrawOptions(doKeepSize) | doKeepVisible, 105, {} },
        { "DKVERTLINE", dkLine, TRLDrawOptions(doKeepSize) | doKeepVisible, 105, {} },
        { "dkReverseLine", dkCustom, doKeepSize, 15, { QStringLiteral("1 0 0 1") } },
        // An unknown old kind is read and changes nothing.
        { "dkStar", dkRectangle, {}, 15, {} },
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Kind);
        const QByteArray text = Crlf("object Form1: TComponent\n"
                                     "  object RLDraw1: TRLDraw\n"
                                     "    Angle = 15.000000000000000000\n"
                                     "    Kind = "
            + QByteArray(c.Kind)
            + "\n"
              "  end\n"
              "end\n");
        TRoot root;
        ASSERT_NO_THROW(root = Read(text));
        auto* draw = qobject_cast<TRLDraw*>(root->FindComponent(QStringLiteral("RLDraw1")));
        ASSERT_NE(draw, nullptr);
        EXPECT_EQ(draw->DrawKind(), c.DrawKind);
        EXPECT_EQ(int(draw->Options()), int(c.Options));
        EXPECT_EQ(draw->Angle(), c.Angle);
        if (c.DrawKind == dkCustom) {
            EXPECT_EQ(draw->DrawData(), c.Data);
        }

        const QByteArray written = Write(root.get());
        EXPECT_EQ(LinesOf(written, QStringLiteral("Kind")), QStringList());
        const TRoot again = Read(written);
        EXPECT_EQ(FirstDifference(TreePicture(root.get()), TreePicture(again.get())), "");
        EXPECT_EQ(TextDifference(written, Write(again.get())), "");
    }
}

TEST(RLDefinitionRoundTrip, AVerticalLineOfAnOlderVersionPrintsAsARotatedLine)
{
    const TRoot root = Read(Crlf("object Form1: TComponent\n"
                                 "  object RLDraw1: TRLDraw\n"
                                 "    Kind = dkVertLine\n"
                                 "  end\n"
                                 "end\n"));
    auto* draw = qobject_cast<TRLDraw*>(root->FindComponent(QStringLiteral("RLDraw1")));
    ASSERT_NE(draw, nullptr);
    EXPECT_EQ(draw->DrawKind(), dkLine);
    EXPECT_EQ(int(draw->Options()), int(doKeepSize | doKeepVisible));
    EXPECT_EQ(draw->Angle(), 90.0);
    const QByteArray written = Write(root.get());
    EXPECT_EQ(
        LinesOf(written, QStringLiteral("DrawKind")), QStringList { QStringLiteral("DrawKind = dkLine") });
    EXPECT_EQ(LinesOf(written, QStringLiteral("Options")),
        QStringList { QStringLiteral("Options = [doKeepSize, doKeepVisible]") });
    EXPECT_EQ(LinesOf(written, QStringLiteral("Angle")),
        QStringList { QStringLiteral("Angle = 90.000000000000000000") });
    // The 48 x 48 drawing's line stands upright through the middle: both points share one x.
    const TRLDrawPoints points = draw->DesignPolygon();
    ASSERT_EQ(points.size(), 2);
    EXPECT_EQ(points[0].x(), points[1].x());
    EXPECT_NE(points[0].y(), points[1].y());
}

TEST(RLDefinitionRoundTrip, ALabelCaptionEqualToItsDisplayNameIsNotStored)
{
    struct TCase
    {
        const char* Caption;
        const char* FriendlyName;
        bool Stored;
    };
    const TCase cases[] = {
        { "RLLabel5", "", false }, // the component name
        { "", "", false }, { "Total", "", true }, { "rllabel5", "", true }, // names compare exactly
        { "Rotulo", "Rotulo", false }, // the friendly name
        { "RLLabel5", "Rotulo", true }, // the display name is then the friendly name
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(std::string(c.Caption) + "/" + c.FriendlyName);
        TRoot root(new TComponent(nullptr));
        root->SetName(QStringLiteral("Form1"));
        auto* label = Make<TRLLabel>(root.get(), "RLLabel5", nullptr);
        label->SetFriendlyName(QString::fromLatin1(c.FriendlyName));
        label->SetCaption(QString::fromLatin1(c.Caption));
        const QByteArray written = Write(root.get());
        EXPECT_EQ(LinesOf(written, QStringLiteral("Caption")).size(), c.Stored ? 1 : 0)
            << written.constData();
        const TRoot again = Read(written);
        auto* copy = qobject_cast<TRLLabel*>(again->FindComponent(QStringLiteral("RLLabel5")));
        ASSERT_NE(copy, nullptr);
        if (c.Stored) {
            EXPECT_EQ(FirstDifference(TreePicture(root.get()), TreePicture(again.get())), "");
            EXPECT_EQ(TextDifference(written, Write(again.get())), "");
        } else {
            // The display name is only the design-time stand-in for an empty caption; the label
            // then measures as its name, so from the second writing on the text stays the same.
            EXPECT_EQ(copy->Caption(), QString());
            EXPECT_EQ(copy->FriendlyName(), label->FriendlyName());
            const QByteArray second = Write(again.get());
            EXPECT_EQ(TextDifference(second, Write(Read(second).get())), "");
        }
    }
}

TEST(RLDefinitionRoundTrip, PreviewCaptionIsStoredOnlyWhenItIsNotTheEngineDefault)
{
    ASSERT_EQ(RLMessage(RLMsgPreview), QStringLiteral("Pré-visualização"));
    TRoot root(new TComponent(nullptr));
    root->SetName(QStringLiteral("Form1"));
    auto* report = Make<TRLReport>(root.get(), "RLReport1", nullptr);
    EXPECT_EQ(LinesOf(Write(root.get()), QStringLiteral("PreviewOptions.Caption")), QStringList());

    report->PreviewOptions()->SetCaption(QStringLiteral("Estoque"));
    const QByteArray written = Write(root.get());
    EXPECT_EQ(LinesOf(written, QStringLiteral("PreviewOptions.Caption")),
        QStringList { QStringLiteral("PreviewOptions.Caption = 'Estoque'") });
    const TRoot again = Read(written);
    auto* copy = qobject_cast<TRLReport*>(again->FindComponent(QStringLiteral("RLReport1")));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->PreviewOptions()->Caption(), QStringLiteral("Estoque"));

    // An empty caption differs from the default too, and must survive the trip as empty.
    report->PreviewOptions()->SetCaption(QString());
    const TRoot empty = Read(Write(root.get()));
    auto* emptyCopy = qobject_cast<TRLReport*>(empty->FindComponent(QStringLiteral("RLReport1")));
    ASSERT_NE(emptyCopy, nullptr);
    EXPECT_EQ(emptyCopy->PreviewOptions()->Caption(), QString());
}

TEST(RLDefinitionRoundTrip, PaperSizeIsStoredWithoutItsTableDimensions)
{
    const TRoot root = Read(Crlf("object Form1: TComponent\n"
                                 "  object RLReport1: TRLReport\n"
                                 "    PageSetup.PaperWidth = 100.000000000000000000\n"
                                 "    PageSetup.PaperSize = fpA5\n"
                                 "  end\n"
                                 "end\n"));
    auto* report = qobject_cast<TRLReport*>(root->FindComponent(QStringLiteral("RLReport1")));
    ASSERT_NE(report, nullptr);
    EXPECT_EQ(report->PageSetup()->PaperSize(), fpA5);
    EXPECT_EQ(report->PageSetup()->PaperWidth(), 148.0);
    const QByteArray written = Write(root.get());
    EXPECT_EQ(LinesOf(written, QStringLiteral("PageSetup.PaperSize")),
        QStringList { QStringLiteral("PageSetup.PaperSize = fpA5") });
    EXPECT_EQ(LinesOf(written, QStringLiteral("PageSetup.PaperWidth")), QStringList());
    EXPECT_EQ(LinesOf(written, QStringLiteral("PageSetup.PaperHeight")), QStringList());
}

// --- faults the round trip found ---------------------------------------------------------------

TEST(RLDefinitionRoundTrip, RegressionAFontOfItsOwnEqualToTheClassDefaultSurvivesUnderAnotherParentFont)
{
    TRoot root(new TComponent(nullptr));
    root->SetName(QStringLiteral("Form1"));
    auto* report = Make<TRLReport>(root.get(), "RLReport1", nullptr); // Arial, -13
    auto* band = Make<TRLBand>(root.get(), "RLBand1", report);
    report->Realign();
    band->SetColor(0x00CCFFCC); // a colour of its own, passed on to its children
    auto* label = Make<TRLLabel>(root.get(), "RLLabel1", band);
    label->SetCaption(QStringLiteral("Total"));
    const TFont classDefault;
    label->Font()->Assign(&classDefault); // MS Sans Serif, -11: a font of its own
    label->Font()->SetStyleSet(TFontStyleSet(fsBold));
    label->SetTransparent(false);
    label->SetColor(
        band->DefaultValue(band->metaObject()->property(band->metaObject()->indexOfProperty("Color")))
            .toInt());
    ASSERT_FALSE(label->ParentFont());
    ASSERT_FALSE(label->ParentColor());
    ASSERT_EQ(label->Font()->Height(), -11);
    ASSERT_NE(label->Color(), band->Color());

    const QByteArray written = Write(root.get());
    const TRoot again = Read(written);
    auto* copy = qobject_cast<TRLLabel*>(again->FindComponent(QStringLiteral("RLLabel1")));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Font()->Height(), -11) << written.constData();
    EXPECT_EQ(copy->Font()->Name(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(copy->Color(), label->Color());
    EXPECT_EQ(FirstDifference(TreePicture(root.get()), TreePicture(again.get())), "");
    EXPECT_EQ(TextDifference(written, Write(again.get())), "");

    // A font or colour equal to the parent's needs no line of its own.
    label->Font()->Assign(band->Font());
    label->SetColor(band->Color());
    const QByteArray plain = BlockOf(Write(root.get()), "RLLabel1");
    EXPECT_FALSE(plain.contains("Font.")) << plain.constData();
    EXPECT_EQ(LinesOf(plain, QStringLiteral("Color")), QStringList()) << plain.constData();
    EXPECT_TRUE(plain.contains("ParentFont = False")) << plain.constData();
}

TEST(RLDefinitionRoundTrip, RegressionPropertyOrderDoesNotChangeWhatIsRead)
{
    // The same control in two orders: a stored width must survive a font read before AutoSize, and
    // an auto-sized label measures with its final font and caption whatever came first.
    const QByteArray orders[] = {
        "      AutoSize = False\n"
        "      Font.Height = -20\n"
        "      Font.Name = 'Verdana'\n"
        "      DataField = 'NOME'\n",
        "      Font.Height = -20\n"
        "      DataField = 'NOME'\n"
        "      Font.Name = 'Verdana'\n"
        "      AutoSize = False\n",
    };
    const QByteArray labels[] = {
        "      Caption = 'Produto com nome comprido'\n"
        "      Font.Height = -16\n",
        "      Font.Height = -16\n"
        "      Caption = 'Produto com nome comprido'\n",
    };
    QList<QRect> texts;
    QList<QRect> captions;
    for (int i = 0; i < 2; ++i) {
        const TRoot root = Read(Crlf("object Form1: TComponent\n"
                                     "  object RLBand1: TRLBand\n"
                                     "    Width = 700\n"
                                     "    object RLDBText1: TRLDBText\n"
                                     "      Left = 10\n"
                                     "      Width = 300\n"
                                     "      Height = 16\n"
            + orders[i]
            + "    end\n"
              "    object RLLabel1: TRLLabel\n"
              "      Left = 400\n"
              "      Width = 5\n"
              "      Alignment = taRightJustify\n"
            + labels[i]
            + "    end\n"
              "  end\n"
              "end\n"));
        texts << qobject_cast<TControl*>(root->FindComponent(QStringLiteral("RLDBText1")))->BoundsRect();
        captions << qobject_cast<TControl*>(root->FindComponent(QStringLiteral("RLLabel1")))->BoundsRect();
    }
    EXPECT_EQ(texts[0], QRect(10, 0, 300, 16));
    EXPECT_EQ(texts[1], texts[0]);
    EXPECT_EQ(captions[1], captions[0]);
    // Measured once with the final font: wider than the stored 5 pixels, right edge kept.
    EXPECT_GT(captions[0].width(), 100);
    EXPECT_EQ(captions[0].left() + captions[0].width(), 405);
}

TEST(RLDefinitionRoundTrip, RegressionReadingDoesNotMoveAControlHeldWithAnAlignmentOffset)
{
    struct TCase
    {
        TRLHoldStyle Style;
        TRLTextAlignment Alignment;
        TRLTextLayout Layout;
    };
    const TCase cases[] = {
        { hsHorizontally, taRightJustify, tlTop },
        { hsVertically, taLeftJustify, tlBottom },
        { hsRelatively, taCenter, tlCenter },
        { hsAsColumn, taCenter, tlTop },
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(int(c.Style));
        TRoot root(new TComponent(nullptr));
        root->SetName(QStringLiteral("Form1"));
        auto* band = Make<TRLBand>(root.get(), "RLBand1", nullptr);
        band->SetBounds(0, 0, 700, 100);
        auto* holder = Make<TRLLabel>(root.get(), "RLLabel1", band);
        holder->SetAutoSize(false);
        holder->SetBounds(100, 10, 200, 40);
        auto* held = Make<TRLLabel>(root.get(), "RLLabel2", band);
        held->SetAutoSize(false);
        held->SetBounds(150, 60, 50, 16);
        held->SetAlignment(c.Alignment);
        held->SetLayout(c.Layout);
        held->SetHoldStyle(c.Style);
        held->SetHolder(holder);
        const QRect placed = held->BoundsRect();

        const TRoot again = Read(Write(root.get()));
        auto* copyHolder = qobject_cast<TRLLabel*>(again->FindComponent(QStringLiteral("RLLabel1")));
        auto* copy = qobject_cast<TRLLabel*>(again->FindComponent(QStringLiteral("RLLabel2")));
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->BoundsRect(), placed);
        // Placing it again leaves it there, and it follows its holder as the original does.
        held->AdjustBounds();
        EXPECT_EQ(held->BoundsRect(), placed);
        holder->SetBounds(120, 20, 220, 44);
        copyHolder->SetBounds(120, 20, 220, 44);
        EXPECT_EQ(copy->BoundsRect(), held->BoundsRect());
    }
}

TEST(RLDefinitionRoundTrip, RegressionLoadingRulesApplyToDefinitions)
{
    const TRoot root = Read(Crlf("object Form1: TComponent\n"
                                 "  object RLLabel1: TRLLabel\n"
                                 "    Color = clRed\n"
                                 "    FriendlyName = 'not an identifier'\n"
                                 "    Caption = 'x'\n"
                                 "  end\n"
                                 "  object RLDBText1: TRLDBText\n"
                                 "    DataField = 'NOME'\n"
                                 "  end\n"
                                 "end\n"));
    auto* label = qobject_cast<TRLLabel*>(root->FindComponent(QStringLiteral("RLLabel1")));
    ASSERT_NE(label, nullptr);
    // An invalid friendly name is dropped while loading instead of failing the read, and a stored
    // colour does not switch the fill on: Transparent is stored on its own.
    EXPECT_EQ(label->FriendlyName(), QString());
    EXPECT_TRUE(label->Transparent());
    // A database text's caption is built from its data properties, never stored.
    const QByteArray written = Write(root.get());
    EXPECT_EQ(LinesOf(BlockOf(written, "RLDBText1"), QStringLiteral("Caption")), QStringList());
    EXPECT_EQ(LinesOf(BlockOf(written, "RLDBText1"), QStringLiteral("DataField")),
        QStringList { QStringLiteral("DataField = 'NOME'") });
}

// --- the inventory program's own definition --------------------------------------------------------

class InventoryDefinitionRoundTrip : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FFolder.isValid());
        const QString file = FFolder.filePath(QStringLiteral("loja.db"));
        CreateDemoDatabase(file, 20);
        SetAliasDatabaseFile(QStringLiteral("VENDRIX"), file);
    }
    void TearDown() override
    {
        SetAliasDatabaseFile(QStringLiteral("VENDRIX"), QString());
        CloseAliasConnections();
    }
    static QByteArray Shipped()
    {
        QFile file(
            QDir(qEnvironmentVariable("QB_SOURCE_DIR")).filePath(QStringLiteral("app/Inventario.dfm")));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
        return file.readAll();
    }
    // Read the way the program reads it: into a root component of its own.
    static TRoot ReadInto(const QByteArray& text)
    {
        TRoot root(new TComponent(nullptr));
        TDefinitionReader reader(Registry());
        reader.Handlers = &Handlers();
        reader.ReadInto(text, root.get());
        return root;
    }
    QTemporaryDir FFolder;
};

TEST_F(InventoryDefinitionRoundTrip, WritingTheProgramsDefinitionTwiceGivesTheSameText)
{
    const TRoot shipped = ReadInto(Shipped());
    const QByteArray first = Write(shipped.get());
    const TRoot again = ReadInto(first);
    const QByteArray second = Write(again.get());
    EXPECT_EQ(TextDifference(first, second), "");
    EXPECT_EQ(FirstDifference(TreePicture(shipped.get()), TreePicture(again.get())), "");

    // The parameter table is stored as active and opens after its name is known, whatever order the
    // writer puts the two in.
    auto* table = qobject_cast<TTable*>(again->FindComponent(QStringLiteral("Table1")));
    ASSERT_NE(table, nullptr);
    EXPECT_TRUE(table->Active());
    EXPECT_EQ(table->TableName(), QStringLiteral("Parametr.DB"));
    EXPECT_NE(table->FindField(QStringLiteral("RAZAO_SOCIAL")), nullptr);
    auto* query = qobject_cast<TQuery*>(again->FindComponent(QStringLiteral("qryRelatorio")));
    ASSERT_NE(query, nullptr);
    EXPECT_FALSE(query->Active());

    // What the hand-written text says survives, with the defaults left out.
    const QByteArray report = BlockOf(first, "RLReport1");
    EXPECT_EQ(LinesOf(report, QStringLiteral("Margins.LeftMargin")),
        QStringList { QStringLiteral("Margins.LeftMargin = 5.000000000000000000") });
    EXPECT_EQ(LinesOf(report, QStringLiteral("Margins.BottomMargin")), QStringList());
    EXPECT_EQ(LinesOf(first, QStringLiteral("BeforePrint")).size(), 5);
    EXPECT_EQ(LinesOf(BlockOf(first, "RLSystemInfo3"), QStringLiteral("Caption")), QStringList());
    EXPECT_EQ(LinesOf(BlockOf(first, "RLDraw1"), QStringLiteral("Brush.Color")),
        QStringList { QStringLiteral("Brush.Color = $00EAEAEA") });
}

} // namespace
