#include "engine/RLLabels.h"

#include "engine/RLConsts.h"
#include "engine/RLSite.h"
#include "pagestore/RLMetaFile.h"
#include "parser/RLParser.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/Variants.h"

namespace {

TRLMetaTextAlignment MetaAlignment(TRLTextAlignment alignment)
{
    switch (alignment) {
    case taRightJustify:
        return MetaTextAlignmentRight;
    case taCenter:
        return MetaTextAlignmentCenter;
    case taJustify:
        return MetaTextAlignmentJustify;
    case taLeftJustify:
        break;
    }
    return MetaTextAlignmentLeft;
}

TRLMetaTextLayout MetaLayout(TRLTextLayout layout)
{
    switch (layout) {
    case tlCenter:
        return MetaTextLayoutCenter;
    case tlBottom:
        return MetaTextLayoutBottom;
    case tlTop:
    case tlJustify:
        break;
    }
    return MetaTextLayoutTop;
}

} // namespace

// ---------------------------------------------------------------------------------------------------
// TRLCustomLabel

TRLCustomLabel::TRLCustomLabel(TComponent* AOwner)
    : TRLCustomControl(AOwner)
{
    FAutoSizeSetsWidth = true;
    SetBounds(Left(), Top(), 65, 17);
    FAutoSize = true; // set after the size, so that a new label keeps 65 x 17 until it measures
}

QString TRLCustomLabel::DisplayName() const
{
    return FriendlyName().isEmpty() ? Name() : FriendlyName();
}

bool TRLCustomLabel::IsPropertyStored(const QMetaProperty& property) const
{
    if (QByteArrayView(property.name()) == "Caption")
        return !FStoredCaption.isEmpty() && FStoredCaption != DisplayName();
    return TRLCustomControl::IsPropertyStored(property);
}

void TRLCustomLabel::MeasureSize(int& width, int& height)
{
    if (!AutoSize()) {
        width = Width();
        height = Height();
        return;
    }
    const bool preparing = IsPreparing();
    const QString& caption = preparing ? FCaption : FStoredCaption;
    const QString& text = caption.isEmpty() && !preparing ? objectName() : caption;
    const TRLTextMeter& meter = TextMeter();
    // The platform sums rounded character advances, so the trailing blank adds exactly its own width.
    width = meter.Width(text) + meter.BlankWidth();
    height = meter.Height();
    const TRLBorders* borders = Borders();
    if (borders->Width() > 0) {
        const int side = borders->Width() + 1;
        if (borders->IsSideDrawn(TRLBorders::sLeft))
            width += side;
        if (borders->IsSideDrawn(TRLBorders::sRight))
            width += side;
        if (borders->IsSideDrawn(TRLBorders::sTop))
            height += side;
        if (borders->IsSideDrawn(TRLBorders::sBottom))
            height += side;
    }
}

void TRLCustomLabel::PrintControl()
{
    TRLGraphicSurface* surface = RequireParentSurface();
    PrintBase(surface);
    PrintText(surface);
}

void TRLCustomLabel::PrintText(TRLGraphicSurface* surface)
{
    const TRect R = PrintClientRect();
    surface->SetFont(*Font());
    const QString text = IsPreparing() ? FCaption : FStoredCaption;
    // The surface measures with the font just set; the control's meter gives the same numbers
    // without looking the font up again.
    const TRLTextMeter& meter = TextMeter();
    const int s = meter.BlankWidth() / 2;
    const int w = meter.Width(text) + meter.BlankWidth();
    const int h = meter.Height();
    int x = s + R.Left;
    if (Alignment() == taRightJustify)
        x = s + R.Right - w;
    else if (Alignment() == taCenter)
        x = s + (R.Left + R.Right - w) / 2;
    int y = R.Top;
    if (Layout() == tlCenter)
        y = (R.Top + R.Bottom - h) / 2;
    else if (Layout() == tlBottom)
        y = R.Bottom - h;
    TBrush& brush = surface->CurrentBrush();
    brush.SetColor(Color());
    brush.SetStyle(bsClear);
    const uint16_t flags = AutoSize() ? uint16_t(TextFlagAutoSize | TextFlagKeepWhole) : TextFlagKeepWhole;
    surface->WriteText(R, x, y, text, MetaAlignment(Alignment()), MetaLayout(Layout()), flags);
}

// ---------------------------------------------------------------------------------------------------
// TRLCustomDBText

TRLCustomDBText::TRLCustomDBText(TComponent* AOwner)
    : TRLCustomLabel(AOwner)
{ }

void TRLCustomDBText::SetName(const QString& name)
{
    if (name == Name())
        return;
    TRLCustomLabel::SetName(name);
    Rebuild();
}

bool TRLCustomDBText::IsPropertyStored(const QMetaProperty& property) const
{
    if (QByteArrayView(property.name()) == "Caption")
        return false;
    return TRLCustomLabel::IsPropertyStored(property);
}

void TRLCustomDBText::Rebuild()
{
    SetCaption(BuildText());
}

void TRLCustomDBText::SetDataSource(TDataSource* value)
{
    if (value == FDataSource)
        return;
    if (FDataSource)
        RemoveFreeNotification(FDataSource);
    FDataSource = value;
    if (value)
        FreeNotification(value);
    Rebuild();
}

void TRLCustomDBText::Notification(TComponent* component, TOperation operation)
{
    TRLCustomLabel::Notification(component, operation);
    if (operation == opRemove && component == FDataSource)
        FDataSource = nullptr;
}

void TRLCustomDBText::SetDataField(const QString& value)
{
    if (value == FDataField)
        return;
    FDataField = value;
    FFieldCache = TFieldCache();
    if (!value.isEmpty())
        FDataFormula.clear();
    Rebuild();
}

void TRLCustomDBText::SetDataFormula(const QString& value)
{
    if (value == FDataFormula)
        return;
    FDataFormula = value;
    if (!value.isEmpty()) {
        FDataField.clear();
        FFieldCache = TFieldCache();
    }
    Rebuild();
}

void TRLCustomDBText::SetDisplayMask(const QString& value)
{
    if (value == FDisplayMask)
        return;
    FDisplayMask = value;
    Invalidate();
}

void TRLCustomDBText::SetText(const QString& value)
{
    if (value == FText)
        return;
    FText = value;
    Rebuild();
}

TDataSet* TRLCustomDBText::DataSet() const
{
    return FDataSource ? FDataSource->DataSet() : nullptr;
}

TField* TRLCustomDBText::Field() const
{
    const TDataSet* dataSet = DataSet();
    return dataSet && !FDataField.isEmpty() ? FindDataField(dataSet) : nullptr;
}

TField* TRLCustomDBText::FindDataField(const TDataSet* dataSet) const
{
    // Looked up by name once, not for every record: the name is compared without case.
    if (FFieldCache.DataSet != dataSet || FFieldCache.Generation != dataSet->FieldsGeneration()) {
        FFieldCache.Field = dataSet->FindField(FDataField);
        FFieldCache.DataSet = dataSet;
        FFieldCache.Generation = dataSet->FieldsGeneration();
    }
    return FFieldCache.Field;
}

QString TRLCustomDBText::ControlText()
{
    QString fieldText;
    if (IsPreparing()) {
        fieldText = FieldText();
    } else if (!FriendlyName().isEmpty()) {
        fieldText = FriendlyName();
    } else if (!FDataField.isEmpty()) {
        const TField* field = Field();
        fieldText = field ? field->DisplayName() : FDataField;
    } else if (!FDataFormula.isEmpty()) {
        fieldText = QLatin1Char('(') + FDataFormula + QLatin1Char(')');
    } else {
        fieldText = Name();
    }
    return MergeText(fieldText);
}

QString TRLCustomDBText::FieldText()
{
    const TDataSet* dataSet = DataSet();
    if (!dataSet || !dataSet->Active() || dataSet->Eof())
        return QString();
    if (!FDataField.isEmpty()) {
        const TField* field = FindDataField(dataSet);
        if (!field)
            throw Exception(RLMessage(RLMsgNotFound) + QStringLiteral(": ") + Name()
                + QStringLiteral(".DataField \"") + FDataField + QLatin1Char('"'));
        return field->DisplayText();
    }
    if (!FDataFormula.isEmpty()) {
        TRLCustomReport* report = ParentReport();
        TRLExpressionParser* parser = report ? report->ExpressionParser() : nullptr;
        if (!parser)
            return QString();
        TRLCustomControl* previous = report->FormulaControl();
        report->SetFormulaControl(this);
        QVariant value;
        try {
            value = parser->Evaluate(FDataFormula);
        } catch (...) {
            report->SetFormulaControl(previous);
            throw;
        }
        report->SetFormulaControl(previous);
        return FormatValue(value);
    }
    return QString();
}

QString TRLCustomDBText::FormatValue(const QVariant& value) const
{
    if (VarIsEmptyOrNull(value))
        return QString();
    const bool numeric = VarIsNumeric(value);
    if (!FDisplayMask.isEmpty()) {
        if (numeric)
            return FormatFloat(FDisplayMask, value.toDouble());
        return FormatMaskText(FDisplayMask, VarToStr(value));
    }
    if (numeric) {
        const TField* field = Field();
        if (field && (IsFloatFieldType(field->DataType()) || IsIntegerFieldType(field->DataType()))) {
            const QString format
                = field->DisplayFormat().isEmpty() ? field->EditFormat() : field->DisplayFormat();
            if (!format.isEmpty())
                return FormatFloat(format, value.toDouble());
            return FloatToStr(value.toDouble(), DefaultFormatSettings());
        }
    }
    return VarToStr(value);
}

QString TRLCustomDBText::MergeText(const QString& fieldText) const
{
    if (FText.isEmpty())
        return fieldText;
    const qsizetype hash = FText.indexOf(QLatin1Char('#'));
    if (hash >= 0)
        return FText.left(hash) + fieldText + FText.mid(hash + 1);
    return FText + fieldText;
}

// ---------------------------------------------------------------------------------------------------

QString FormatMaskText(const QString& mask, const QString& text)
{
    // Split off the sections ";keep literals;blank", found at unescaped semicolons.
    QString body;
    QStringList sections;
    for (qsizetype i = 0; i < mask.size(); ++i) {
        const QChar c = mask.at(i);
        if (c == u'\\' && i + 1 < mask.size()) {
            body += c;
            body += mask.at(++i);
        } else if (c == u';') {
            sections = mask.mid(i + 1).split(QLatin1Char(';'));
            break;
        } else {
            body += c;
        }
    }
    const bool keepLiterals = sections.isEmpty() || sections.at(0) != QLatin1String("0");
    const QChar blank = sections.size() > 1 && !sections.at(1).isEmpty() ? sections.at(1).at(0) : QChar(u' ');

    static const QString placeholders = QStringLiteral("09#LlAaCc");
    QString result;
    result.reserve(body.size());
    qsizetype next = 0;
    int caseMode = 0; // 1 upper, -1 lower
    for (qsizetype i = 0; i < body.size(); ++i) {
        QChar c = body.at(i);
        if (c == u'>') {
            caseMode = 1;
            continue;
        }
        if (c == u'<') {
            if (i + 1 < body.size() && body.at(i + 1) == u'>') {
                caseMode = 0;
                ++i;
            } else {
                caseMode = -1;
            }
            continue;
        }
        if (c == u'!')
            continue;
        bool literal = true;
        if (c == u'\\' && i + 1 < body.size())
            c = body.at(++i);
        else if (placeholders.contains(c))
            literal = false;
        if (literal) {
            result += c;
            if (keepLiterals && next < text.size() && text.at(next) == c)
                ++next;
            continue;
        }
        QChar out = next < text.size() ? text.at(next++) : blank;
        if (caseMode > 0)
            out = out.toUpper();
        else if (caseMode < 0)
            out = out.toLower();
        result += out;
    }
    return result;
}
