#pragma once
// The text controls: labels (a fixed or program-set caption) and database texts (a field's display
// text or a formula's value, merged into a template). Both measure their text with their font, size
// themselves to it when AutoSize is on, and record one text object (plus the base fill and frame).
//
// Ownership: a database text refers to its DataSource and drops the reference when the data source is
// destroyed.
#include "engine/RLControl.h"
#include "platform/DataSet.h"

#include <QPointer>

// A label. Keeps two captions: the stored one (the published Caption, the design value) and the
// current one, which is what prints and what the text handlers change while the report prepares.
class TRLCustomLabel : public TRLCustomControl
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
public:
    Q_INVOKABLE explicit TRLCustomLabel(TComponent* AOwner = nullptr);

    QString Caption() const { return GetCaption(); }
    // The published decision slot of text controls.
    TRLBeforeTextEvent& BeforePrint = FBeforeText;

    // Text plus one trailing blank, in the font, plus Borders.Width + 1 per drawn side.
    void MeasureSize(int& width, int& height) override;
    void PrintControl() override;

    // Caption is stored when it is neither empty nor the display name.
    bool IsPropertyStored(const QMetaProperty& property) const override;

protected:
    // The display name: FriendlyName, or the component name.
    QString DisplayName() const;
    // Records the current caption as the text object, after the base recording.
    void PrintText(TRLGraphicSurface* surface);
};

class TRLLabel : public TRLCustomLabel
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit TRLLabel(TComponent* AOwner = nullptr)
        : TRLCustomLabel(AOwner)
    { }
};

// A database text: the display text of DataField, or the value of DataFormula, merged into Text
// (the first "#" of Text is replaced by the value, or the value is appended to Text).
class TRLCustomDBText : public TRLCustomLabel
{
    Q_OBJECT
    // Built from the data properties whenever one of them changes: never a design value.
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption STORED false)
    Q_PROPERTY(TDataSource* DataSource READ DataSource WRITE SetDataSource)
    Q_PROPERTY(QString DataField READ DataField WRITE SetDataField)
    Q_PROPERTY(QString DataFormula READ DataFormula WRITE SetDataFormula)
    Q_PROPERTY(QString DisplayMask READ DisplayMask WRITE SetDisplayMask)
    Q_PROPERTY(QString Text READ Text WRITE SetText)
public:
    Q_INVOKABLE explicit TRLCustomDBText(TComponent* AOwner = nullptr);

    TDataSource* DataSource() const { return FDataSource; }
    void SetDataSource(TDataSource* value);
    QString DataField() const { return FDataField; }
    // A non-empty field clears DataFormula.
    void SetDataField(const QString& value);
    QString DataFormula() const { return FDataFormula; }
    // A non-empty formula clears DataField.
    void SetDataFormula(const QString& value);
    QString DisplayMask() const { return FDisplayMask; }
    void SetDisplayMask(const QString& value);
    QString Text() const { return FText; }
    void SetText(const QString& value);

    // The data source's data set, or null.
    TDataSet* DataSet() const;
    // The bound field, or null (no data set, no field name, or a name the data set lacks).
    TField* Field() const;

    // While preparing: the field's display text or the formatted formula value, merged into Text.
    // Otherwise a design description (FriendlyName, field label, "(formula)" or the name). Throws
    // Exception "Não encontrado: <Name>.DataField \"X\"" for a field the data set does not have.
    QString ControlText() override;
    // The design text names the control, so a new name rebuilds it.
    void SetName(const QString& name) override;
    // Caption is never stored.
    bool IsPropertyStored(const QMetaProperty& property) const override;

protected:
    void Notification(TComponent* component, TOperation operation) override;
    // The text of a formula's value: DisplayMask, else the bound numeric field's format, else plain.
    QString FormatValue(const QVariant& value) const;
    // Text with the field text merged in.
    QString MergeText(const QString& fieldText) const;

private:
    QString FieldText();
    TField* FindDataField(const TDataSet* dataSet) const;
    void Rebuild();

    TDataSource* FDataSource = nullptr;
    QString FDataField;
    QString FDataFormula;
    // The field last found for FDataField, valid while its dataset's fields stay as they were.
    struct TFieldCache
    {
        const TDataSet* DataSet = nullptr;
        quint64 Generation = 0;
        TField* Field = nullptr;
    };
    mutable TFieldCache FFieldCache;
    QString FDisplayMask;
    QString FText;
};

class TRLDBText : public TRLCustomDBText
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit TRLDBText(TComponent* AOwner = nullptr)
        : TRLCustomDBText(AOwner)
    { }
};

// The platform's edit-mask formatting of a text: mask characters 0 9 # L l A a C c take the text's
// characters in turn, "\" makes the next mask character literal, ">" and "<" switch to upper or lower
// case and "<>" back, literals are copied (and skipped in the text where it has them). A mask may end
// in the sections ";1;_" (keep literals, blank character); missing characters print as blanks.
QString FormatMaskText(const QString& mask, const QString& text);
