// Labels and database texts: measuring, growing, the recorded text objects, field and formula texts.
#include "engine/RLConsts.h"
#include "engine/RLReport.h"
#include "pagestore/RLMetaFile.h"
#include "platform/Format.h"
#include "platform/MemDataSet.h"
#include "platform/TextMeasure.h"

#include <gtest/gtest.h>

namespace {

struct Tree
{
    TComponent owner;
    TRLCustomReport* report = new TRLCustomReport(&owner);
    TRLCustomBand* band = new TRLCustomBand(&owner);
    Tree()
    {
        report->SetName("RLReport1");
        band->SetName("RLBand1");
        band->SetParent(report);
        band->SetBounds(38, 38, 718, 60);
    }
    TRLLabel* Label(const QString& name, const QString& caption, QRect bounds = QRect(10, 5, 65, 17))
    {
        auto* label = new TRLLabel(&owner);
        label->SetName(name);
        label->SetParent(band);
        label->SetBoundsRect(bounds);
        label->SetCaption(caption);
        return label;
    }
    // "RLDBText1" on the band, showing Field of Source.
    TRLDBText* FieldText(TDataSource* Source, const QString& Field)
    {
        auto* text = new TRLDBText(&owner);
        text->SetName("RLDBText1");
        text->SetParent(band);
        text->SetDataSource(Source);
        text->SetDataField(Field);
        return text;
    }
    void Preparing() { report->SetState(rsWriting); }
    TRLTextObject* Text(int index) const
    {
        return dynamic_cast<TRLTextObject*>(band->Surface()->Objects(index));
    }
};

// What the platform measures for a text plus its trailing blank.
int Measured(const TFont& font, const QString& text)
{
    return TextWidth(font, text + QLatin1Char(' '));
}

struct Data
{
    TComponent owner;
    TMemDataSet* dataSet = new TMemDataSet(&owner);
    TDataSource* source = new TDataSource(&owner);
    Data()
    {
        dataSet->SetName("qryInventario");
        dataSet->AddField("NOME", ftString, 40);
        dataSet->AddField("SALDO", ftFloat);
        dataSet->AppendRecord({ "Parafuso", 12.5 });
        dataSet->AppendRecord({ "Porca", 3.0 });
        source->SetDataSet(dataSet);
    }
};

} // namespace

// --- labels ------------------------------------------------------------------------------------

TEST(RLLabel, NewLabelIsSixtyFiveBySeventeenAndAutoSized)
{
    TComponent owner;
    auto* label = new TRLLabel(&owner);
    EXPECT_EQ(label->Width(), 65);
    EXPECT_EQ(label->Height(), 17);
    EXPECT_TRUE(label->AutoSize());
    EXPECT_TRUE(label->Transparent());
}

TEST(RLLabel, AutoSizeMeasuresTextBlankAndBorders)
{
    Tree tree;
    TRLLabel* label = tree.Label("RLLabel1", "Inventário");
    const TFont& font = *label->Font();
    EXPECT_EQ(font.Name(), "Arial"); // from the report, through the band
    EXPECT_EQ(label->Width(), Measured(font, "Inventário"));
    EXPECT_EQ(label->Height(), TextHeight(font, "x"));
    label->Borders()->SetDrawLeft(true);
    label->Borders()->SetDrawRight(true);
    EXPECT_EQ(label->Width(), Measured(font, "Inventário") + 4);
    EXPECT_EQ(label->Height(), TextHeight(font, "x"));
    label->Borders()->SetWidth(0);
    EXPECT_EQ(label->Width(), Measured(font, "Inventário"));
    // An empty caption measures the component name outside a run, nothing but the blank inside one.
    label->SetCaption("");
    EXPECT_EQ(label->Width(), Measured(font, "RLLabel1"));
    tree.Preparing();
    label->AdjustBounds();
    EXPECT_EQ(label->Width(), Measured(font, ""));
}

TEST(RLLabel, GrowingKeepsTheFixedEdge)
{
    struct Case
    {
        TRLTextAlignment alignment;
        const char* name;
    };
    for (const Case c :
        { Case { taLeftJustify, "left" }, Case { taRightJustify, "right" }, Case { taCenter, "center" } }) {
        Tree tree;
        TRLLabel* label = tree.Label("RLLabel1", "ab", QRect(200, 10, 65, 17));
        label->SetAlignment(c.alignment);
        label->AdjustBounds();
        const int left = label->Left();
        const int right = label->Left() + label->Width();
        const int oldWidth = label->Width();
        tree.Preparing();
        label->BeforePrint = [](TRLCustomControl*, QString& text, bool&) { text = "a much longer text"; };
        ASSERT_TRUE(label->AskToPrint());
        int newWidth = Measured(*label->Font(), "a much longer text");
        switch (c.alignment) {
        case taRightJustify:
            EXPECT_EQ(label->Left() + label->Width(), right) << c.name;
            EXPECT_EQ(label->Width(), newWidth);
            break;
        case taCenter:
            newWidth += newWidth % 2;
            EXPECT_EQ(label->Width(), newWidth) << c.name;
            EXPECT_EQ(label->Width() % 2, 0);
            EXPECT_EQ(label->Left(), left + (oldWidth - newWidth) / 2) << c.name;
            break;
        default:
            EXPECT_EQ(label->Left(), left) << c.name;
            EXPECT_EQ(label->Width(), newWidth);
            break;
        }
    }
}

TEST(RLLabel, RecordedTextForEveryAlignmentAndLayout)
{
    struct Case
    {
        TRLTextAlignment alignment;
        TRLTextLayout layout;
        TRLMetaTextAlignment alignmentCode;
        TRLMetaTextLayout layoutCode;
    };
    const Case cases[] {
        { taLeftJustify, tlTop, MetaTextAlignmentLeft, MetaTextLayoutTop },
        { taRightJustify, tlCenter, MetaTextAlignmentRight, MetaTextLayoutCenter },
        { taCenter, tlBottom, MetaTextAlignmentCenter, MetaTextLayoutBottom },
        { taJustify, tlJustify, MetaTextAlignmentJustify, MetaTextLayoutTop },
    };
    for (const Case& c : cases) {
        Tree tree;
        TRLLabel* label = tree.Label("RLLabel1", "Total", QRect(10, 5, 200, 40));
        label->SetAutoSize(false);
        label->SetBoundsRect(QRect(10, 5, 200, 40));
        label->SetAlignment(c.alignment);
        label->SetLayout(c.layout);
        label->Font()->SetStyle(fsBold);
        label->Font()->SetColor(clNavy);
        tree.Preparing();
        ASSERT_TRUE(label->AskToPrint());
        label->AdjustBounds();
        EXPECT_EQ(label->BoundsRect(), QRect(10, 5, 200, 40)); // no auto size: the size stays
        label->PrintControl();
        ASSERT_EQ(tree.band->Surface()->ObjectCount(), 1);
        const TRLTextObject* text = tree.Text(0);
        ASSERT_NE(text, nullptr);
        const TFont& font = *label->Font();
        const int s = TextWidth(font, " ") / 2;
        const int w = Measured(font, "Total");
        const int h = TextHeight(font, "Total ");
        const int x = c.alignment == taRightJustify ? s + 210 - w
            : c.alignment == taCenter               ? s + (220 - w) / 2
                                                    : s + 10;
        const int y = c.layout == tlCenter ? (50 - h) / 2 : c.layout == tlBottom ? 45 - h : 5;
        EXPECT_EQ(text->BoundsRect, TRect(10, 5, 210, 45));
        EXPECT_EQ(text->Origin, TPoint(x, y)) << c.alignment << c.layout;
        EXPECT_EQ(text->Text, "Total");
        EXPECT_EQ(text->TextFlags, TextFlagKeepWhole);
        EXPECT_EQ(text->Alignment, c.alignmentCode);
        EXPECT_EQ(text->Layout, c.layoutCode);
        EXPECT_EQ(text->Font.Name(), "Arial");
        EXPECT_EQ(text->Font.Size, 10);
        EXPECT_EQ(text->Font.Style, MetaFontStyleBold);
        EXPECT_EQ(text->Font.Color, ToMetaColor(clNavy));
        EXPECT_EQ(text->Brush.Style, MetaBrushStyleClear);
    }
}

TEST(RLLabel, BorderedOpaqueLabelRecordsFillFrameAndText)
{
    Tree tree;
    TRLLabel* label = tree.Label("RLLabel1", "Saldo", QRect(20, 4, 65, 17));
    label->SetColor(clYellow);
    label->Borders()->SetSides(sdAll);
    label->Borders()->SetWidth(2);
    label->Borders()->SetColor(clRed);
    tree.Preparing();
    ASSERT_TRUE(label->AskToPrint());
    label->AdjustBounds();
    const int width = Measured(*label->Font(), "Saldo") + 6;
    const int height = TextHeight(*label->Font(), "x") + 6;
    EXPECT_EQ(label->BoundsRect(), QRect(20, 4, width, height));
    label->PrintControl();
    TRLGraphicSurface* surface = tree.band->Surface();
    ASSERT_EQ(surface->ObjectCount(), 6);
    const std::vector<TRLGraphicObjectKind> kinds { okFillRect, okRectangle, okRectangle, okRectangle,
        okRectangle, okText };
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(surface->Objects(i)->Kind(), kinds[std::size_t(i)]) << i;
    EXPECT_EQ(surface->Objects(0)->BoundsRect, TRect::Bounds(20, 4, width, height));
    EXPECT_EQ(dynamic_cast<TRLFillRectObject*>(surface->Objects(0))->Brush.Color, ToMetaColor(clYellow));
    EXPECT_EQ(dynamic_cast<TRLRectangleObject*>(surface->Objects(1))->Brush.Color, ToMetaColor(clRed));
    const TRLTextObject* text = tree.Text(5);
    EXPECT_EQ(text->BoundsRect, TRect(22, 6, 20 + width - 2, 4 + height - 2));
    EXPECT_EQ(text->Origin, TPoint(22 + TextWidth(*label->Font(), " ") / 2, 6));
    EXPECT_EQ(text->TextFlags, TextFlagAutoSize | TextFlagKeepWhole);
    EXPECT_EQ(text->Brush.Color, ToMetaColor(clYellow));
    for (int i = 1; i < 6; ++i)
        EXPECT_EQ(surface->Objects(i)->GroupId, surface->Objects(0)->GroupId);
}

TEST(RLLabel, CaptionStoredOnlyWhenItSaysSomething)
{
    Tree tree;
    TRLLabel* label = tree.Label("RLLabel1", "");
    const QMetaObject* meta = label->metaObject();
    const QMetaProperty caption = meta->property(meta->indexOfProperty("Caption"));
    EXPECT_FALSE(label->IsPropertyStored(caption));
    label->SetCaption("RLLabel1");
    EXPECT_FALSE(label->IsPropertyStored(caption));
    label->SetFriendlyName("Titulo");
    label->SetCaption("Titulo");
    EXPECT_FALSE(label->IsPropertyStored(caption));
    label->SetCaption("RLLabel1");
    EXPECT_TRUE(label->IsPropertyStored(caption));
}

TEST(RLLabel, SiteRecordsControlsInCreationOrder)
{
    Tree tree;
    TRLLabel* first = tree.Label("RLLabel1", "first");
    TRLLabel* second = tree.Label("RLLabel2", "second");
    second->SetComponentIndex(first->ComponentIndex()); // now created "before" the first
    tree.Preparing();
    QStringList order;
    for (TRLLabel* label : { first, second })
        label->BeforePrint = [&order](TRLCustomControl* sender, QString&, bool&) { order << sender->Name(); };
    tree.band->PrepareStaticControls();
    tree.band->PrintStaticControls();
    EXPECT_EQ(order, (QStringList { "RLLabel2", "RLLabel1" }));
    ASSERT_EQ(tree.band->Surface()->ObjectCount(), 2);
    EXPECT_EQ(tree.Text(0)->Text, "second");
    EXPECT_EQ(tree.Text(1)->Text, "first");
}

// --- database texts ----------------------------------------------------------------------------

TEST(RLDBText, FieldTextMergedIntoTemplate)
{
    struct Case
    {
        QString text;
        QString expected;
    };
    const Case cases[] {
        { "", "Parafuso" },
        { "A#B", "AParafusoB" },
        { "Produto: ", "Produto: Parafuso" },
        { "#-#", "Parafuso-#" },
    };
    for (const Case& c : cases) {
        Tree tree;
        Data data;
        data.dataSet->Open();
        auto* text = tree.FieldText(data.source, "NOME");
        text->SetText(c.text);
        tree.Preparing();
        ASSERT_TRUE(text->AskToPrint());
        EXPECT_EQ(text->GetCaption(), c.expected) << c.text.toStdString();
    }
}

TEST(RLDBText, EmptyWithoutRecord)
{
    Tree tree;
    Data data;
    auto* text = new TRLDBText(&tree.owner);
    text->SetParent(tree.band);
    text->SetDataSource(data.source);
    text->SetDataField("NOME");
    text->SetText("x#y");
    tree.Preparing();
    text->AskToPrint(); // closed data set
    EXPECT_EQ(text->GetCaption(), "xy");
    data.dataSet->Open();
    data.dataSet->Next();
    data.dataSet->Next(); // at the end
    text->AskToPrint();
    EXPECT_EQ(text->GetCaption(), "xy");
}

TEST(RLDBText, UnknownFieldIsReported)
{
    Tree tree;
    Data data;
    data.dataSet->Open();
    auto* text = tree.FieldText(data.source, "X");
    tree.Preparing();
    try {
        text->AskToPrint();
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), RLMessage(RLMsgNotFound) + ": RLDBText1.DataField \"X\"");
    }
}

// The text keeps the field it found, so it must notice every way the field can go or change.
TEST(RLDBText, FollowsTheFieldThroughRenamesReopeningAndOtherSources)
{
    Tree tree;
    Data data;
    Data other;
    data.dataSet->Open();
    auto* text = tree.FieldText(data.source, "NOME");
    tree.Preparing();
    auto caption = [&] {
        EXPECT_TRUE(text->AskToPrint());
        return text->GetCaption();
    };
    EXPECT_EQ(caption(), "Parafuso");
    EXPECT_EQ(text->Field(), data.dataSet->FindField("NOME"));

    data.dataSet->FieldByName("NOME")->SetFieldName("DESCRICAO");
    EXPECT_THROW(text->AskToPrint(), Exception);
    EXPECT_EQ(text->Field(), nullptr);
    data.dataSet->FieldByName("DESCRICAO")->SetFieldName("nome"); // found without regard to case
    EXPECT_EQ(caption(), "Parafuso");

    // Closing destroys the fields and opening makes new ones (the old one would be freed memory).
    data.dataSet->Close();
    data.dataSet->Open();
    data.dataSet->Next();
    EXPECT_EQ(caption(), "Porca");

    text->SetDataField("SALDO");
    EXPECT_EQ(caption(), "3");
    text->SetDataFormula("1+1");
    text->SetDataField("NOME");
    EXPECT_EQ(caption(), "Porca");

    other.dataSet->Open();
    text->SetDataSource(other.source);
    EXPECT_EQ(caption(), "Parafuso");
    EXPECT_EQ(text->Field(), other.dataSet->FindField("NOME"));
}

TEST(RLDBText, FieldAndFormulaExcludeEachOther)
{
    TRLDBText text;
    text.SetDataField("NOME");
    text.SetDataFormula("1+1");
    EXPECT_TRUE(text.DataField().isEmpty());
    EXPECT_EQ(text.DataFormula(), "1+1");
    text.SetDataField("SALDO");
    EXPECT_TRUE(text.DataFormula().isEmpty());
    text.SetDataFormula(""); // clearing one leaves the other
    EXPECT_EQ(text.DataField(), "SALDO");
}

TEST(RLDBText, DataSourceReleasedWhenDestroyed)
{
    Tree tree;
    auto* source = new TDataSource(&tree.owner);
    auto* text = new TRLDBText(&tree.owner);
    text->SetDataSource(source);
    delete source;
    EXPECT_EQ(text->DataSource(), nullptr);
    EXPECT_EQ(text->DataSet(), nullptr);
}

TEST(RLDBText, DesignTexts)
{
    Tree tree;
    Data data;
    auto* text = new TRLDBText(&tree.owner);
    text->SetName("RLDBText1");
    text->SetParent(tree.band);
    EXPECT_EQ(text->GetCaption(), "RLDBText1");
    text->SetDataSource(data.source);
    text->SetDataFormula("2*3");
    EXPECT_EQ(text->GetCaption(), "(2*3)");
    text->SetDataField("SALDO");
    EXPECT_EQ(text->GetCaption(), "SALDO"); // closed: the field name
    data.dataSet->Open();
    data.dataSet->FieldByName("SALDO")->SetDisplayLabel("Saldo atual");
    text->SetText("[#]");
    EXPECT_EQ(text->GetCaption(), "[Saldo atual]");
    text->SetFriendlyName("Saldo");
    text->SetText("");
    EXPECT_EQ(text->GetCaption(), "Saldo");
}

TEST(RLDBText, FormulaValuesFormatted)
{
    struct Case
    {
        QString formula;
        QString mask;
        QString expected;
    };
    const Case cases[] {
        { "1234.5", "#,##0.00", FormatFloat("#,##0.00", 1234.5) },
        { "7", "000", "007" },
        { "2.5", "", FloatToStr(2.5, DefaultFormatSettings()) },
        { "Quem", "", "RLDBText1" },
        { "Nada", "", "" },
        // Integers of every width take the number mask, the one-byte ones too.
        { "Curto", "000", "007" },
        { "Pequeno", "000", "007" },
    };
    for (const Case& c : cases) {
        Tree tree;
        Data data;
        data.dataSet->Open();
        auto* parser = new TRLExpressionParser(&tree.owner);
        parser->OnIdentifier
            = [&tree](TRLExpressionParser*, const QString& name, const QVariant&, QVariant& result) {
                  if (name.compare("Quem", Qt::CaseInsensitive) == 0)
                      result = tree.report->FormulaControl() ? tree.report->FormulaControl()->Name()
                                                             : QString("none");
                  else if (name.compare("Nada", Qt::CaseInsensitive) == 0)
                      result = VarNull();
                  else if (name.compare("Curto", Qt::CaseInsensitive) == 0)
                      result = QVariant::fromValue(short(7));
                  else if (name.compare("Pequeno", Qt::CaseInsensitive) == 0)
                      result = QVariant::fromValue(static_cast<signed char>(7));
              };
        tree.report->SetExpressionParser(parser);
        auto* text = new TRLDBText(&tree.owner);
        text->SetName("RLDBText1");
        text->SetParent(tree.band);
        text->SetDataSource(data.source);
        text->SetDataFormula(c.formula);
        text->SetDisplayMask(c.mask);
        tree.Preparing();
        ASSERT_TRUE(text->AskToPrint());
        EXPECT_EQ(text->GetCaption(), c.expected) << c.formula.toStdString();
        EXPECT_EQ(tree.report->FormulaControl(), nullptr);
    }
}

TEST(RLDBText, FormulaWithoutParserIsEmpty)
{
    Tree tree;
    Data data;
    data.dataSet->Open();
    auto* text = new TRLDBText(&tree.owner);
    text->SetParent(tree.band);
    text->SetDataSource(data.source);
    text->SetDataFormula("1+1");
    tree.Preparing();
    text->AskToPrint();
    EXPECT_EQ(text->GetCaption(), "");
}

TEST(RLDBText, FillerBandsPrintEmptyTexts)
{
    Tree tree;
    Data data;
    data.dataSet->Open();
    auto* text = new TRLDBText(&tree.owner);
    text->SetParent(tree.band);
    text->SetDataSource(data.source);
    text->SetDataField("NOME");
    QString seen = "unset";
    text->BeforePrint = [&seen](TRLCustomControl*, QString& value, bool&) { seen = value; };
    tree.Preparing();
    tree.report->SetCompleting(true);
    tree.band->PrepareStaticControls();
    tree.band->PrintStaticControls();
    EXPECT_EQ(seen, "");
    ASSERT_EQ(tree.band->Surface()->ObjectCount(), 1);
    EXPECT_EQ(tree.Text(0)->Text, "");
}

TEST(RLDBText, RecordsTheFieldDisplayText)
{
    Tree tree;
    Data data;
    data.dataSet->Open();
    data.dataSet->FieldByName("SALDO")->SetDisplayFormat("#,##0.00");
    auto* text = new TRLDBText(&tree.owner);
    text->SetParent(tree.band);
    text->SetBounds(300, 2, 100, 17);
    text->SetAlignment(taRightJustify);
    text->SetDataSource(data.source);
    text->SetDataField("SALDO");
    text->SetDisplayMask("0.000"); // masks apply to formulas, never to a field's display text
    tree.Preparing();
    tree.band->PrepareStaticControls();
    const int right = 300 + 100;
    EXPECT_EQ(text->Left() + text->Width(), right);
    tree.band->PrintStaticControls();
    const TRLTextObject* object = tree.Text(0);
    ASSERT_NE(object, nullptr);
    const QString expected = FormatFloat("#,##0.00", 12.5);
    EXPECT_EQ(object->Text, expected);
    EXPECT_EQ(object->Alignment, MetaTextAlignmentRight);
    EXPECT_EQ(
        object->BoundsRect, TRect(right - Measured(*text->Font(), expected), 2, right, 2 + text->Height()));
    EXPECT_EQ(
        object->Origin.x(), TextWidth(*text->Font(), " ") / 2 + right - Measured(*text->Font(), expected));
}

TEST(RLFormatMaskText, MasksApplyToTexts)
{
    struct Case
    {
        const char* mask;
        const char* text;
        const char* expected;
    };
    const Case cases[] {
        { "000-00;0;_", "12345", "123-45" },
        { "000-00;1;_", "123-45", "123-45" },
        { "(00) 0000;0;_", "1199", "(11) 99__" },
        { ">LLL", "abc", "ABC" },
        { "<LL<>L", "ABC", "abC" },
        { "\\#000", "12", "#12 " },
        { "", "abc", "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatMaskText(c.mask, c.text), QString::fromUtf8(c.expected)) << c.mask;
}
