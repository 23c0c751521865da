#pragma once
// The report engine's enumerations and sets. They are registered with the meta-object system so that
// definitions and the expression parser read and write them by name ("faTop", "btDetail"), and the
// namespace is opened below so that the values read unqualified everywhere, as the engine names them.
//
// The order of every enumeration is part of the stored definitions and must not change.
#include <QFlags>
#include <QObject>

namespace RLTypes {
Q_NAMESPACE

// Placement of a control inside its parent site. The first six match the platform's alignments.
enum TRLControlAlign : int {
    faNone,
    faTop,
    faBottom,
    faLeft,
    faRight,
    faClient,
    faLeftMost,
    faRightMost,
    faLeftTop,
    faRightTop,
    faLeftBottom,
    faRightBottom,
    faCenter,
    faCenterLeft,
    faCenterTop,
    faCenterRight,
    faCenterBottom,
    faClientLeft,
    faClientTop,
    faClientRight,
    faClientBottom,
    faHeight,
    faWidth,
    faLeftOnly,
    faRightOnly,
    faTopOnly,
    faBottomOnly
};
Q_ENUM_NS(TRLControlAlign)
constexpr int ControlAlignCount = faBottomOnly + 1;

enum TRLControlAnchor : int { fkLeft = 1, fkTop = 2, fkRight = 4, fkBottom = 8 };
Q_DECLARE_FLAGS(TRLControlAnchors, TRLControlAnchor)
Q_FLAG_NS(TRLControlAnchors)

enum TRLTextAlignment : int { taLeftJustify, taRightJustify, taCenter, taJustify };
Q_ENUM_NS(TRLTextAlignment)

enum TRLTextLayout : int { tlTop, tlCenter, tlBottom, tlJustify };
Q_ENUM_NS(TRLTextLayout)

enum TRLHoldStyle : int {
    hsAsColumn,
    hsHorizontally,
    hsVertically,
    hsRelatively,
    hsCopyWidth,
    hsCopyHeight,
    hsCopySize
};
Q_ENUM_NS(TRLHoldStyle)

enum TRLControlBehaviorKind : int { beSiteExpander = 1 };
Q_DECLARE_FLAGS(TRLControlBehavior, TRLControlBehaviorKind)
Q_FLAG_NS(TRLControlBehavior)

enum TRLBandType : int { btHeader, btTitle, btColumnHeader, btDetail, btColumnFooter, btSummary, btFooter };
Q_ENUM_NS(TRLBandType)
constexpr int BandTypeCount = btFooter + 1;

// A set of band types (the report's allowed bands): one bit per TRLBandType, 1 << type.
enum TRLBandTypeFlag : int {
    bfHeader = 1 << btHeader,
    bfTitle = 1 << btTitle,
    bfColumnHeader = 1 << btColumnHeader,
    bfDetail = 1 << btDetail,
    bfColumnFooter = 1 << btColumnFooter,
    bfSummary = 1 << btSummary,
    bfFooter = 1 << btFooter
};
Q_DECLARE_FLAGS(TRLBandTypes, TRLBandTypeFlag)
Q_FLAG_NS(TRLBandTypes)

enum TRLBorderSides : int { sdCustom, sdNone, sdAll };
Q_ENUM_NS(TRLBorderSides)

enum TRLRealBoundsUnit : int { buNone, buMilimeters, buInches };
Q_ENUM_NS(TRLRealBoundsUnit)

enum TRLImageArrange : int { baAligned, baSidebySide, baCenter, baDistributed };
Q_ENUM_NS(TRLImageArrange)

enum TRLDegradeDirection : int { ddNone, ddHorizontal, ddVertical };
Q_ENUM_NS(TRLDegradeDirection)

enum TRLPrintQuality : int { pqFullFeature, pqFixedOnly };
Q_ENUM_NS(TRLPrintQuality)

enum TRLPageBreaking : int { pbNone, pbBeforePrint, pbAfterPrint };
Q_ENUM_NS(TRLPageBreaking)

enum TRLCompletionType : int { ctNone, ctFullPage, ctMaxBands, ctMinBands };
Q_ENUM_NS(TRLCompletionType)

enum TRLBandOption : int { boOptimisticPageBreak = 1 };
Q_DECLARE_FLAGS(TRLBandOptions, TRLBandOption)
Q_FLAG_NS(TRLBandOptions)

enum TRLFooterMeasuring : int { fmNone, fmAfterHeader, fmBeforeDetail };
Q_ENUM_NS(TRLFooterMeasuring)

enum TRLRecordRange : int { rrAllRecords, rrCurrentOnly, rrUntilEof, rrNextN };
Q_ENUM_NS(TRLRecordRange)

// What the per-record event decided; the numbers are what handlers and the engine compare.
enum TRLRecordAction : int {
    raUseIt = 0, // print the record
    raIgnoreIt = 1, // skip it and fetch the next one at once
    raUseAndRetain = 2, // print it and print it again next step, copy number + 1
    raBlankAndRetain = 3 // print a blank, uncounted band and stay on the record
};
Q_ENUM_NS(TRLRecordAction)

// Where a report's preparation stands: idle (no pages), writing pages, closing the run, ready.
enum TRLReportState : int { rsIdle, rsWriting, rsClosing, rsReady };
Q_ENUM_NS(TRLReportState)

enum TRLPreviewOptionsDefaults : int { pdUseDefaults, pdIgnoreDefaults };
Q_ENUM_NS(TRLPreviewOptionsDefaults)

} // namespace RLTypes

Q_DECLARE_OPERATORS_FOR_FLAGS(RLTypes::TRLControlAnchors)
Q_DECLARE_OPERATORS_FOR_FLAGS(RLTypes::TRLControlBehavior)
Q_DECLARE_OPERATORS_FOR_FLAGS(RLTypes::TRLBandTypes)
Q_DECLARE_OPERATORS_FOR_FLAGS(RLTypes::TRLBandOptions)

using namespace RLTypes;

// Alignments that leave a control's width to the control itself (every one but those that stretch
// it across its parent), and likewise for the height.
constexpr bool IsWidthFreeAlign(TRLControlAlign align)
{
    return align != faTop && align != faBottom && align != faClient && align != faClientTop
        && align != faClientBottom && align != faWidth;
}
constexpr bool IsHeightFreeAlign(TRLControlAlign align)
{
    return align != faLeft && align != faRight && align != faLeftMost && align != faRightMost
        && align != faClient && align != faClientLeft && align != faClientRight && align != faHeight;
}
