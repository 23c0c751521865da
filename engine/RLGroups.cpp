// Groups: a pager nested in another that repeats its bands while a break key stays the same.
#include "engine/RLSite.h"

#include "engine/RLConsts.h"
#include "platform/DataSet.h"
#include "platform/Exceptions.h"
#include "platform/Variants.h"

TRLGroup::TRLGroup(TComponent* AOwner)
    : TRLCustomGroup(AOwner)
{ }

QString TRLCustomGroup::BreakKey()
{
    const TRLCustomSkipper* skipper = ParentSkipper();
    TDataSet* dataSet = skipper ? skipper->DataSet() : nullptr;
    if (!dataSet || !dataSet->Active())
        return QString();
    if (!FDataFormula.isEmpty()) {
        TRLCustomReport* report = ParentReport();
        TRLExpressionParser* parser = report ? report->ExpressionParser() : nullptr;
        if (!parser)
            return QString();
        const QVariant value = parser->Evaluate(FDataFormula);
        return VarIsNull(value) || VarIsEmpty(value) ? QString() : value.toString();
    }
    if (FDataFields.isEmpty())
        return QString();
    QString key;
    const QStringList names = FDataFields.split(QLatin1Char(';'));
    for (const QString& raw : names) {
        const QString name = raw.trimmed();
        if (name.isEmpty())
            continue;
        TField* field = dataSet->FindField(name);
        if (!field)
            throw Exception(RLMessage(RLMsgNotFound) + QStringLiteral(": ") + Name()
                + QStringLiteral(".DataField \"") + name + QLatin1Char('"'));
        key += field->AsString();
    }
    return key;
}

bool TRLCustomGroup::CheckBreak()
{
    if (!Enabled()) {
        // A disabled group has no break of its own: it follows the nearest enclosing group, whose
        // round ends with it.
        for (TControl* p = Parent(); p; p = p->Parent())
            if (auto* outer = qobject_cast<TRLCustomGroup*>(p)) {
                const bool breakIt = outer->CheckBreak();
                if (breakIt)
                    outer->FBreakFlag = true;
                return breakIt;
            }
        return false;
    }
    if (OnGetBreak) {
        bool breakIt = false;
        OnGetBreak(this, breakIt);
        return breakIt;
    }
    const QString key = BreakKey();
    const bool breakIt = key != FLastKey;
    FLastKey = key;
    return breakIt;
}

void TRLCustomGroup::PrintControl()
{
    TRLCustomSkipper* skipper = RequireParentSkipper();
    const TRLCustomReport* master = MasterReport();
    RequestBreakBefore();
    ResetPager();
    ComputePrintPosition();
    FLastKey = Enabled() && !OnGetBreak ? BreakKey() : QString();
    bool firstPass = true;
    while (!skipper->Eof() && !(master && master->Cancelled())) {
        FBreakFlag = false;
        if (!firstPass && CheckBreak())
            break;
        firstPass = false;
        skipper->SetRecordMoved(false);
        RecordStep();
        if (FBreakFlag)
            break;
        if (!skipper->RecordMoved())
            skipper->FetchNext();
    }
    ClosePager();
    RequestBreakAfter();
}
