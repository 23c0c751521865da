#pragma once
// The text of a system-information control, free of any control: which value an information kind
// shows in a given state of the run, and how that value is merged into the control's template.
// The control gathers the state of its report into a TRLInfoContext and leaves the rest to these
// functions, so every rule here is testable without a report.
//
// Template rules:
// - "|first;second|" after the printed part of a template gives the two texts of the two-state kinds
//   (itJunction, itMend); a missing or empty one takes its default.
// - A value containing "^CLEAR" blanks the control.
// - The value's tab-separated parts fill the template's "#" marks from left to right; parts left over
//   are appended. A "#" that a value itself brings in is never filled by a later part.
#include "platform/Format.h"

#include <QDateTime>
#include <QObject>
#include <QString>
#include <optional>

namespace RLInfoTypes {
Q_NAMESPACE
enum TRLInfoType {
    itCarbonCopy,
    itDate,
    itDetailCount,
    itFullDate,
    itHour,
    itJunction,
    itLastPageNumber,
    itMend,
    itNow,
    itPageNumber,
    itPagePreview,
    itTitle,
    itRecNo,
    itCopyNo
};
Q_ENUM_NS(TRLInfoType)
} // namespace RLInfoTypes
using namespace RLInfoTypes;

// The text that stands for the number of the last page until the page store knows it.
inline const QString LastPageNumberPlaceholder = QStringLiteral("{LastPageNumber}");
// A value text containing this marker prints nothing.
inline const QString ClearInfoMarker = QStringLiteral("^CLEAR");

// "Date", "PagePreview", ...: the name a kind shows at design time.
QString InfoTypeDisplayName(TRLInfoType Info);
// What a control shows at design time when it has no friendly name: "(Date)", or for itPagePreview
// "(PageNumber)", a tab and "(LastPageNumber)".
QString InfoDesignText(TRLInfoType Info);

// The two texts of a template's section (after its first "|", up to the next one, split at the first
// ";"); each is empty when the template does not give it.
struct TRLInfoSections
{
    QString First;
    QString Second;
};
TRLInfoSections InfoTextSections(const QString& Text);
// The first or the second text of the template's section, each defaulting when empty.
QString InfoTwoStateText(
    const QString& Text, const QString& DefaultFirst, const QString& DefaultSecond, bool Second);

// The state of the run that the values are read from. A component the control is not inside of
// (band, pager, skipper) is left unset; its values then print as an empty text.
struct TRLInfoContext
{
    QDateTime ReportDateTime;
    int PageNumber = 0;
    QString Title;
    // The master report's record loop is over.
    bool Closing = false;
    std::optional<int> CopyIndex; // the enclosing band's current copy, counted from 0
    std::optional<int> DetailCount; // the enclosing pager's
    std::optional<int> RecNo; // the enclosing skipper's
    std::optional<int> CopyNo; // the enclosing skipper's
};

// The value a kind shows while the report is preparing. Template is read by the two-state kinds.
// Messages come from the engine's table in the active language, dates and times are written with
// Settings. itMend needs a detail count: the caller must refuse a control without a pager before
// asking (without one it reads as no detail printed yet).
QString InfoValueText(TRLInfoType Info, const QString& Template, const TRLInfoContext& Context,
    const TFormatSettings& Settings = DefaultFormatSettings());

// Merges a value into a template (see the rules above).
QString ComposeInfoText(const QString& Template, const QString& ValueText);
