#include "engine/RLSystemInfo.h"

#include "engine/RLSite.h"

TRLCustomSystemInfo::TRLCustomSystemInfo(TComponent* AOwner)
    : TRLCustomLabel(AOwner)
{
    // The base could not ask for this class's text while it was being built.
    SetCaption(BuildText());
}

void TRLCustomSystemInfo::SetInfo(TRLInfoType value)
{
    if (value == FInfo)
        return;
    FInfo = value;
    SetCaption(BuildText());
}

void TRLCustomSystemInfo::SetText(const QString& value)
{
    if (value == FText)
        return;
    FText = value;
    SetCaption(BuildText());
}

TRLInfoContext TRLCustomSystemInfo::InfoContext() const
{
    TRLInfoContext context;
    if (const TRLCustomReport* master = MasterReport()) {
        context.ReportDateTime = master->ReportDateTime();
        context.PageNumber = master->PageNumber();
        context.Closing = master->State() == rsClosing;
    }
    if (const TRLCustomReport* report = ParentReport())
        context.Title = report->Title();
    if (const TRLCustomBand* band = ParentBand())
        context.CopyIndex = band->CopyIndex();
    if (const TRLCustomPager* pager = ParentPager())
        context.DetailCount = pager->DetailCount();
    if (const TRLCustomSkipper* skipper = ParentSkipper()) {
        context.RecNo = skipper->RecNo();
        context.CopyNo = skipper->CopyNo();
    }
    return context;
}

QString TRLCustomSystemInfo::ControlText()
{
    QString value;
    if (IsPreparing()) {
        if (FInfo == itMend)
            RequireParentPager();
        value = InfoValueText(FInfo, FText, InfoContext());
    } else {
        value = FriendlyName().isEmpty() ? InfoDesignText(FInfo) : FriendlyName();
    }
    return ComposeInfoText(FText, value);
}

bool TRLCustomSystemInfo::IsPropertyStored(const QMetaProperty& property) const
{
    if (QByteArrayView(property.name()) == "Caption")
        return false;
    return TRLCustomLabel::IsPropertyStored(property);
}
