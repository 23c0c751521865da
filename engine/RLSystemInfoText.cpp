#include "engine/RLSystemInfoText.h"

#include "engine/RLConsts.h"

#include <QMetaEnum>

QString InfoTypeDisplayName(TRLInfoType Info)
{
    // The enumeration's own names without their "it" prefix are the display names.
    const char* key = QMetaEnum::fromType<TRLInfoType>().valueToKey(Info);
    if (!key)
        return QString();
    return QString::fromLatin1(key).mid(2);
}

QString InfoDesignText(TRLInfoType Info)
{
    if (Info == itPagePreview)
        return u'(' + InfoTypeDisplayName(itPageNumber) + QStringLiteral(")\t(")
            + InfoTypeDisplayName(itLastPageNumber) + u')';
    return u'(' + InfoTypeDisplayName(Info) + u')';
}

TRLInfoSections InfoTextSections(const QString& Text)
{
    TRLInfoSections sections;
    const qsizetype open = Text.indexOf(u'|');
    if (open < 0)
        return sections;
    const qsizetype close = Text.indexOf(u'|', open + 1);
    const QString section = close < 0 ? Text.mid(open + 1) : Text.mid(open + 1, close - open - 1);
    const qsizetype semicolon = section.indexOf(u';');
    if (semicolon < 0) {
        sections.First = section;
    } else {
        sections.First = section.left(semicolon);
        sections.Second = section.mid(semicolon + 1);
    }
    return sections;
}

QString InfoTwoStateText(
    const QString& Text, const QString& DefaultFirst, const QString& DefaultSecond, bool Second)
{
    const TRLInfoSections sections = InfoTextSections(Text);
    if (Second)
        return sections.Second.isEmpty() ? DefaultSecond : sections.Second;
    return sections.First.isEmpty() ? DefaultFirst : sections.First;
}

namespace {

QString OptionalNumber(const std::optional<int>& value)
{
    return value ? QString::number(*value) : QString();
}

} // namespace

QString InfoValueText(
    TRLInfoType Info, const QString& Template, const TRLInfoContext& Context, const TFormatSettings& Settings)
{
    switch (Info) {
    case itCarbonCopy:
        return Context.CopyIndex ? QString::number(*Context.CopyIndex + 1) : QString();
    case itDate:
        return DateToStr(Context.ReportDateTime.date(), Settings);
    case itDetailCount:
        return OptionalNumber(Context.DetailCount);
    case itFullDate:
        return LongDateToStr(Context.ReportDateTime.date(), Settings);
    case itHour:
        return TimeToStr(Context.ReportDateTime.time(), Settings);
    case itJunction:
        return InfoTwoStateText(Template, RLMessage(RLMsgContinues), RLMessage(RLMsgEnd), Context.Closing);
    case itLastPageNumber:
        return LastPageNumberPlaceholder;
    case itMend:
        return InfoTwoStateText(
            Template, RLMessage(RLMsgContinuation), ClearInfoMarker, Context.DetailCount.value_or(0) <= 0);
    case itNow:
        return DateTimeToStr(Context.ReportDateTime, Settings);
    case itPageNumber:
        return QString::number(Context.PageNumber);
    case itPagePreview:
        return QString::number(Context.PageNumber) + u'\t' + LastPageNumberPlaceholder;
    case itTitle:
        return Context.Title;
    case itRecNo:
        return OptionalNumber(Context.RecNo);
    case itCopyNo:
        return OptionalNumber(Context.CopyNo);
    }
    return QString();
}

QString ComposeInfoText(const QString& Template, const QString& ValueText)
{
    if (ValueText.contains(ClearInfoMarker))
        return QString();
    const qsizetype bar = Template.indexOf(u'|');
    QString result = bar < 0 ? Template : Template.left(bar);
    // Marks are searched only after the last insertion, so a "#" inside a value (a title such as
    // "Lista #2") is printed as it is instead of being filled by the next part.
    qsizetype searchFrom = 0;
    const QStringList parts = ValueText.split(u'\t');
    for (const QString& part : parts) {
        const qsizetype mark = result.indexOf(u'#', searchFrom);
        if (mark < 0) {
            result += part;
            searchFrom = result.size();
        } else {
            result.replace(mark, 1, part);
            searchFrom = mark + part.size();
        }
    }
    return result;
}
