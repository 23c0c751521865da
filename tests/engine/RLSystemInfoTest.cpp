#include "engine/RLSystemInfo.h"
#include "engine/RLConsts.h"
#include "engine/RLSite.h"
#include "engine/RLSystemInfoText.h"
#include "pagestore/RLMetaFile.h"
#include "platform/TextMeasure.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::string S(const QString& text)
{
    return text.toStdString();
}

const TFormatSettings& Brazil()
{
    static const TFormatSettings settings = FormatSettingsFor(QLocale(QLocale::Portuguese, QLocale::Brazil));
    return settings;
}

class InfoTextTest : public ::testing::Test
{
protected:
    void SetUp() override { RLSelectLanguage(0x16); }
    void TearDown() override { RLSelectLanguage(LocalePrimaryLanguage()); }
};

} // namespace

TEST(InfoTypeDisplayName, EveryKind)
{
    const char* names[] = { "CarbonCopy", "Date", "DetailCount", "FullDate", "Hour", "Junction",
        "LastPageNumber", "Mend", "Now", "PageNumber", "PagePreview", "Title", "RecNo", "CopyNo" };
    for (int i = itCarbonCopy; i <= itCopyNo; ++i) {
        const auto info = static_cast<TRLInfoType>(i);
        EXPECT_EQ(S(InfoTypeDisplayName(info)), names[i]);
        if (info != itPagePreview) {
            EXPECT_EQ(S(InfoDesignText(info)), "(" + std::string(names[i]) + ")");
        }
    }
    EXPECT_EQ(S(InfoDesignText(itPagePreview)), "(PageNumber)\t(LastPageNumber)");
}

TEST(InfoTextSections, BarAndSemicolon)
{
    struct Case
    {
        const char* Text;
        const char* First;
        const char* Second;
    };
    const Case cases[] = {
        { "", "", "" },
        { "no sections", "", "" },
        { "|one;two", "one", "two" },
        { "Page #|one;two|ignored", "one", "two" },
        { "|one", "one", "" },
        { "|;two", "", "two" },
        { "|one;two;three", "one", "two;three" },
        { "||one;two", "", "" },
        { "|a|b;c", "a", "" },
        { "prefix|", "", "" },
    };
    for (const Case& c : cases) {
        const TRLInfoSections sections = InfoTextSections(QString::fromUtf8(c.Text));
        EXPECT_EQ(S(sections.First), c.First) << c.Text;
        EXPECT_EQ(S(sections.Second), c.Second) << c.Text;
    }
}

TEST(InfoTwoStateText, EmptyTextsTakeTheirDefaults)
{
    struct Case
    {
        const char* Text;
        bool Second;
        const char* Expected;
    };
    const Case cases[] = {
        { "", false, "A" },
        { "", true, "B" },
        { "|x;y", false, "x" },
        { "|x;y", true, "y" },
        { "|x", true, "B" },
        { "|;y", false, "A" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(S(InfoTwoStateText(QString::fromUtf8(c.Text), "A", "B", c.Second)), c.Expected)
            << c.Text << " " << c.Second;
}

TEST(ComposeInfoText, MarksPartsAndClear)
{
    struct Case
    {
        const char* Name;
        QString Template;
        QString Value;
        QString Expected;
    };
    const Case cases[] = {
        { "empty template", "", "05/03/2024", "05/03/2024" },
        { "prefix and mark", "Data: #", "05/03/2024", "Data: 05/03/2024" },
        { "mark in the middle", "[#]", "x", "[x]" },
        { "no mark appends", "Data: ", "05/03/2024", "Data: 05/03/2024" },
        { "only the first mark is filled", "# e #", "1", "1 e #" },
        { "two parts, two marks", "Página # de #", "3\t{LastPageNumber}", "Página 3 de {LastPageNumber}" },
        { "two parts, one mark", "Página #/", "3\t{LastPageNumber}", "Página 3/{LastPageNumber}" },
        { "two parts, no mark", "", "3\t{LastPageNumber}", "3{LastPageNumber}" },
        { "empty value fills the mark with nothing", "abc#def", "", "abcdef" },
        { "empty value, no mark", "abc", "", "abc" },
        { "section is not printed", "Fim: #|um;dois", "x", "Fim: x" },
        { "clear blanks everything", "Texto #", "^CLEAR", "" },
        { "clear anywhere in the value", "Texto #", "abc^CLEARdef", "" },
        { "clear is case-sensitive", "#", "^clear", "^clear" },
        { "a mark brought in by a value stays", "# / #", "Lista #2\tfim", "Lista #2 / fim" },
        { "a template mark after a value mark is filled", "#-#", "a#\tb", "a#-b" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(S(ComposeInfoText(c.Template, c.Value)), S(c.Expected)) << c.Name;
}

TEST_F(InfoTextTest, ValuesWhilePreparing)
{
    TRLInfoContext context;
    context.ReportDateTime = QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9));
    context.PageNumber = 3;
    context.Title = "Inventário";
    context.CopyIndex = 1;
    context.DetailCount = 12;
    context.RecNo = 42;
    context.CopyNo = 2;
    struct Case
    {
        TRLInfoType Info;
        QString Expected;
    };
    const Case cases[] = {
        { itCarbonCopy, "2" },
        { itDate, "05/03/2024" },
        { itDetailCount, "12" },
        { itFullDate, LongDateToStr(QDate(2024, 3, 5), Brazil()) },
        { itHour, "14:07:09" },
        { itJunction, "Continua..." },
        { itLastPageNumber, "{LastPageNumber}" },
        { itMend, "Continuação" },
        { itNow, "05/03/2024 14:07:09" },
        { itPageNumber, "3" },
        { itPagePreview, "3\t{LastPageNumber}" },
        { itTitle, "Inventário" },
        { itRecNo, "42" },
        { itCopyNo, "2" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(S(InfoValueText(c.Info, QString(), context, Brazil())), S(c.Expected)) << c.Info;
    EXPECT_NE(S(InfoValueText(itFullDate, QString(), context, Brazil())), "05/03/2024");
}

TEST_F(InfoTextTest, TwoStateKinds)
{
    struct Case
    {
        const char* Name;
        TRLInfoType Info;
        const char* Template;
        bool Closing;
        std::optional<int> DetailCount;
        const char* Expected;
    };
    const Case cases[] = {
        { "junction while records run", itJunction, "", false, 0, "Continua..." },
        { "junction after the record loop", itJunction, "", true, 0, "Fim" },
        { "junction with own words, first", itJunction, "|primeiro;segundo", false, 0, "primeiro" },
        { "junction with own words, second", itJunction, "|primeiro;segundo", true, 0, "segundo" },
        { "junction with only a first word ends with the default", itJunction, "|primeiro", true, 0, "Fim" },
        { "mend before any detail", itMend, "", false, 0, "^CLEAR" },
        { "mend with a negative count", itMend, "", false, -1, "^CLEAR" },
        { "mend after a detail", itMend, "", false, 1, "Continuação" },
        { "mend with own words", itMend, "|segue;vazio", false, 0, "vazio" },
        { "mend without a pager reads as no detail", itMend, "", false, std::nullopt, "^CLEAR" },
    };
    for (const Case& c : cases) {
        TRLInfoContext context;
        context.Closing = c.Closing;
        context.DetailCount = c.DetailCount;
        EXPECT_EQ(S(InfoValueText(c.Info, QString::fromUtf8(c.Template), context)), c.Expected) << c.Name;
    }
}

TEST_F(InfoTextTest, MissingEnclosingComponentsPrintNothing)
{
    const TRLInfoContext context;
    for (TRLInfoType info : { itCarbonCopy, itDetailCount, itRecNo, itCopyNo })
        EXPECT_EQ(S(InfoValueText(info, QString(), context)), "") << info;
}

TEST(InfoValueText, DatesFollowTheSettings)
{
    TRLInfoContext context;
    context.ReportDateTime = QDateTime(QDate(2024, 12, 31), QTime(0, 0, 0));
    const TFormatSettings us = FormatSettingsFor(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_EQ(S(InfoValueText(itDate, QString(), context, us)), S(DateToStr(QDate(2024, 12, 31), us)));
    EXPECT_EQ(S(InfoValueText(itDate, QString(), context, Brazil())), "31/12/2024");
    // Midnight leaves the time out, as the platform's date-and-time text did.
    EXPECT_EQ(S(InfoValueText(itNow, QString(), context, Brazil())), "31/12/2024");
}

namespace {

// A report preparing its third page, with a band holding one system-information control.
class SystemInfoTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RLSelectLanguage(0x16);
        Report->SetName("Relatorio");
        Band->SetName("Faixa");
        Info->SetName("Info1");
        Band->SetParent(Report);
        Band->SetBounds(0, 0, 600, 40);
        Info->SetParent(Band);
        Info->SetBounds(10, 5, 65, 17);
        Report->SetReportDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
        Report->SetPageIndex(2);
        Report->SetTitle("Inventário");
    }
    void TearDown() override { RLSelectLanguage(LocalePrimaryLanguage()); }

    void Prepare(TRLReportState state = rsWriting) { Report->SetState(state); }

    // What the control prints after its site asked it.
    std::string Printed()
    {
        EXPECT_TRUE(Info->AskToPrint());
        return S(Info->Caption());
    }

    std::unique_ptr<TComponent> Owner = std::make_unique<TComponent>();
    TRLCustomReport* Report = new TRLCustomReport(Owner.get());
    TRLCustomBand* Band = new TRLCustomBand(Owner.get());
    TRLSystemInfo* Info = new TRLSystemInfo(Owner.get());
};

} // namespace

TEST_F(SystemInfoTest, DateWithTemplates)
{
    Prepare();
    const std::string date = S(DateToStr(QDate(2024, 3, 5)));
    struct Case
    {
        const char* Text;
        std::string Expected;
    };
    const Case cases[] = {
        { "Emitido em #", "Emitido em " + date },
        { "Emitido em ", "Emitido em " + date },
        { "", date },
        { "[#]", "[" + date + "]" },
    };
    for (const Case& c : cases) {
        Info->SetText(QString::fromUtf8(c.Text));
        EXPECT_EQ(Printed(), c.Expected) << c.Text;
    }
}

TEST_F(SystemInfoTest, ValuesComeFromTheEnclosingComponents)
{
    Prepare();
    Band->SetCopyIndex(1);
    Report->SetDetailCount(4);
    Report->SetRecNo(17);
    Report->SetCopyNo(2);
    struct Case
    {
        TRLInfoType Info;
        std::string Expected;
    };
    const Case cases[] = {
        { itCarbonCopy, "2" },
        { itDetailCount, "4" },
        { itHour, S(TimeToStr(QTime(14, 7, 9))) },
        { itNow, S(DateTimeToStr(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)))) },
        { itFullDate, S(LongDateToStr(QDate(2024, 3, 5))) },
        { itPageNumber, "3" },
        { itLastPageNumber, "{LastPageNumber}" },
        { itTitle, "Inventário" },
        { itRecNo, "17" },
        { itCopyNo, "2" },
    };
    for (const Case& c : cases) {
        Info->SetInfo(c.Info);
        EXPECT_EQ(Printed(), c.Expected) << c.Info;
    }
    Report->SetFirstPageNumber(10);
    Info->SetInfo(itPageNumber);
    EXPECT_EQ(Printed(), "12");
}

TEST_F(SystemInfoTest, ChainedReportsTakePageAndDateFromTheMaster)
{
    auto* master = new TRLCustomReport(Owner.get());
    master->SetReportDateTime(QDateTime(QDate(2023, 1, 2), QTime(8, 0, 0)));
    master->SetPageIndex(6);
    master->SetTitle("Mestre");
    Report->SetPriorReport(master);
    Prepare();
    Info->SetInfo(itPageNumber);
    EXPECT_EQ(Printed(), "7");
    Info->SetInfo(itDate);
    EXPECT_EQ(Printed(), S(DateToStr(QDate(2023, 1, 2))));
    // The title is the containing report's own.
    Info->SetInfo(itTitle);
    EXPECT_EQ(Printed(), "Inventário");
}

TEST_F(SystemInfoTest, MendClearsUntilADetailPrinted)
{
    Prepare();
    Info->SetInfo(itMend);
    Report->SetDetailCount(0);
    EXPECT_EQ(Printed(), "");
    Report->SetDetailCount(1);
    EXPECT_EQ(Printed(), "Continuação");
    Info->SetText("(#)|continua do anterior");
    EXPECT_EQ(Printed(), "(continua do anterior)");
    Report->SetDetailCount(0);
    EXPECT_EQ(Printed(), "");
}

TEST_F(SystemInfoTest, JunctionFollowsTheRecordLoop)
{
    Info->SetInfo(itJunction);
    Prepare(rsWriting);
    EXPECT_EQ(Printed(), "Continua...");
    Prepare(rsClosing);
    EXPECT_EQ(Printed(), "Fim");
    Info->SetText("|primeiro;segundo");
    EXPECT_EQ(Printed(), "segundo");
    Prepare(rsWriting);
    EXPECT_EQ(Printed(), "primeiro");
}

TEST_F(SystemInfoTest, MessagesFollowTheActiveLanguage)
{
    RLSelectLanguage(0x09);
    Prepare(rsClosing);
    Info->SetInfo(itJunction);
    EXPECT_EQ(Printed(), S(RLMessageIn(lgEnglish, RLMsgEnd)));
    EXPECT_NE(Printed(), "Fim");
}

TEST_F(SystemInfoTest, PagePreviewKeepsThePlaceholderForThePageStore)
{
    Prepare();
    Info->SetInfo(itPagePreview);
    Info->SetText("Página # de #");
    EXPECT_EQ(Printed(), "Página 3 de {LastPageNumber}");

    Info->PrintControl();
    TRLGraphicSurface& surface = *Band->Surface();
    ASSERT_EQ(surface.ObjectCount(), 1);
    ASSERT_EQ(surface.Objects(0)->Kind(), okText);
    const auto* recorded = static_cast<TRLTextObject*>(surface.Objects(0));
    EXPECT_EQ(S(recorded->Text), "Página 3 de {LastPageNumber}");

    // Once the store knows its last page, every view of the page shows it.
    TComponent storeOwner;
    auto* storage = new TRLGraphicStorage(&storeOwner);
    TRLGraphicSurface page;
    page.SetStorage(storage);
    page.DrawSurface(0, 0, &surface);
    storage->SetLastPageNumber(7);
    ASSERT_EQ(page.ObjectCount(), 1);
    EXPECT_EQ(S(static_cast<TRLTextObject*>(page.Objects(0))->DisplayText()), "Página 3 de 7");
    page.SetStorage(nullptr);
}

TEST_F(SystemInfoTest, BlankBandsAndFillerBandsPrintNothing)
{
    Prepare();
    Info->SetText("Página #");
    Info->SetInfo(itPageNumber);
    QString seen = "unset";
    Info->BeforePrint = [&](TRLCustomControl*, QString& text, bool&) { seen = text; };
    Report->SetCompleting(true);
    EXPECT_EQ(Printed(), "");
    EXPECT_EQ(S(seen), "");
    Report->SetCompleting(false);
    Report->SetRecordAction(raBlankAndRetain);
    EXPECT_EQ(Printed(), "");
    Report->SetRecordAction(raUseIt);
    EXPECT_EQ(Printed(), "Página 3");
    EXPECT_EQ(S(seen), "Página 3");
}

TEST_F(SystemInfoTest, BeforePrintSeesAndChangesTheText)
{
    Prepare();
    Info->SetInfo(itTitle);
    Info->BeforePrint = [](TRLCustomControl*, QString& text, bool&) { text = text.toUpper(); };
    EXPECT_EQ(Printed(), "INVENTÁRIO");
    Info->BeforePrint = [](TRLCustomControl*, QString&, bool& printIt) { printIt = false; };
    EXPECT_FALSE(Info->AskToPrint());
}

TEST_F(SystemInfoTest, DesignTimeShowsNames)
{
    struct Case
    {
        TRLInfoType Info;
        const char* Text;
        const char* Expected;
    };
    const Case cases[] = {
        { itDate, "", "(Date)" },
        { itMend, "", "(Mend)" },
        { itJunction, "|a;b", "(Junction)" },
        { itPagePreview, "", "(PageNumber)(LastPageNumber)" },
        { itPagePreview, "# de #", "(PageNumber) de (LastPageNumber)" },
        { itRecNo, "Registro: #", "Registro: (RecNo)" },
    };
    for (const Case& c : cases) {
        Info->SetInfo(c.Info);
        Info->SetText(QString::fromUtf8(c.Text));
        EXPECT_EQ(S(Info->ControlText()), c.Expected) << c.Info;
        EXPECT_EQ(S(Info->Caption()), c.Expected) << c.Info;
    }
    Info->SetFriendlyName("DataDeHoje");
    Info->SetText("");
    EXPECT_EQ(S(Info->ControlText()), "DataDeHoje");
    // Nothing is read from a report that is not preparing, so itMend needs no pager here.
    TRLSystemInfo loose;
    loose.SetInfo(itMend);
    EXPECT_EQ(S(loose.ControlText()), "(Mend)");
}

TEST_F(SystemInfoTest, ANewControlShowsItsKind)
{
    TRLSystemInfo info;
    EXPECT_EQ(info.Info(), itDate);
    EXPECT_TRUE(info.Text().isEmpty());
    EXPECT_EQ(S(info.Caption()), "(Date)");
    EXPECT_TRUE(info.AutoSize());
}

TEST_F(SystemInfoTest, StoredProperties)
{
    const QMetaObject* meta = Info->metaObject();
    auto stored = [&](const char* name) {
        const int index = meta->indexOfProperty(name);
        EXPECT_GE(index, 0) << name;
        return static_cast<const TComponent*>(Info)->IsPropertyStored(meta->property(index));
    };
    EXPECT_FALSE(stored("Caption"));
    EXPECT_FALSE(stored("Info"));
    EXPECT_FALSE(stored("Text"));
    Info->SetInfo(itPageNumber);
    Info->SetText("Página #");
    EXPECT_FALSE(stored("Caption")) << "the caption is always computed";
    EXPECT_TRUE(stored("Info"));
    EXPECT_TRUE(stored("Text"));
    // The properties read and write by name, as definitions use them.
    ASSERT_TRUE(Info->setProperty("Info", QVariant::fromValue(itTitle)));
    EXPECT_EQ(Info->Info(), itTitle);
}

TEST_F(SystemInfoTest, RecordsLikeALabel)
{
    Prepare();
    Info->SetInfo(itPageNumber);
    Info->SetText("Pág. #");
    ASSERT_TRUE(Info->AskToPrint());
    Info->AdjustBounds();
    Info->PrintControl();
    TRLGraphicSurface& surface = *Band->Surface();
    ASSERT_EQ(surface.ObjectCount(), 1);
    const auto* text = static_cast<TRLTextObject*>(surface.Objects(0));
    EXPECT_EQ(S(text->Text), "Pág. 3");
    EXPECT_EQ(text->BoundsRect.Left, 10);
    EXPECT_EQ(text->BoundsRect.Top, 5);
    // Auto-sized to its text, as a label is.
    EXPECT_EQ(Info->Width(), TextWidth(*Info->Font(), "Pág. 3 "));
}
