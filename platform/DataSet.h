#pragma once
// The dataset interface that the report engine reads: a cursor over records with typed fields.
//
// A dataset is a forward cursor. Subclasses reach their data through the protected hooks
// (InternalOpen, InternalFirst, InternalNext, InternalGetValue, ...) and only ever need the current
// record; nothing here asks for the whole result in memory. A database lies behind an SQL-backed
// subclass; TMemDataSet (MemDataSet.h) keeps its rows in memory for tests.
//
// Contracts:
// - Fields exist while the dataset is open. InternalOpen creates them with CreateField; Close destroys
//   them, so keep field pointers no longer than the dataset stays open, or look them up again.
// - Operations on a closed dataset (First, Next, RecordCount, RecNo, FieldValue, a field's Value)
//   throw EDatabaseError "Cannot perform this operation on a closed dataset". Active, Eof, Bof and the
//   field lookups answer on a closed dataset (Eof and Bof are true; lookups find nothing).
// - Eof means there is no current record: the dataset is empty or Next moved past the last record.
//   Then a field's Value is VarNull, its display text empty and RecNo 0. Next at Eof does nothing.
// - A database NULL reads as VarNull (platform/Variants.h): AsString and DisplayText give "", AsFloat and
// AsInteger 0,
//   AsBoolean false, AsDateTime an invalid QDateTime.
// - Errors name the dataset when it has a name: "qryRelatorio: Field 'X' not found".
#include "platform/Component.h"
#include "platform/Exceptions.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

#include <functional>

enum TFieldType {
    ftUnknown,
    ftString,
    ftSmallint,
    ftInteger,
    ftLargeint,
    ftBoolean,
    ftFloat,
    ftCurrency,
    ftBCD,
    ftDate,
    ftTime,
    ftDateTime,
    ftMemo
};

inline bool IsFloatFieldType(TFieldType type)
{
    return type == ftFloat || type == ftCurrency || type == ftBCD;
}
inline bool IsIntegerFieldType(TFieldType type)
{
    return type == ftSmallint || type == ftInteger || type == ftLargeint;
}
inline bool IsDateTimeFieldType(TFieldType type)
{
    return type == ftDate || type == ftTime || type == ftDateTime;
}

// Converts a value (as a driver or a caller delivers it) to the variant type that a field of the given
// type holds: QString, int, qlonglong, bool, double, QDate, QTime or QDateTime. Null and empty values
// become VarNull. Returns false when the value cannot be read as that type (text "abc" for a number,
// 70000 for a small integer); result is then unchanged. Texts are read as a program writes them (a
// point as decimal separator, ISO dates), never in the locale's notation.
bool ConvertFieldValue(const QVariant& value, TFieldType type, QVariant& result);

class TDataSet;

// One column of a dataset, reading the dataset's current record. Created and owned by its dataset.
class TField : public TComponent
{
    Q_OBJECT
    Q_PROPERTY(QString FieldName READ FieldName WRITE SetFieldName)
    Q_PROPERTY(int Size READ Size WRITE SetSize)
    Q_PROPERTY(QString DisplayLabel READ DisplayLabel WRITE SetDisplayLabel)
    Q_PROPERTY(QString DisplayFormat READ DisplayFormat WRITE SetDisplayFormat)
    Q_PROPERTY(QString EditFormat READ EditFormat WRITE SetEditFormat)
    friend class TDataSet;

public:
    Q_INVOKABLE explicit TField(TComponent* AOwner = nullptr);

    QString FieldName() const { return FFieldName; }
    void SetFieldName(const QString& value);
    TFieldType DataType() const { return FDataType; }
    void SetDataType(TFieldType value) { FDataType = value; }
    int Size() const { return FSize; }
    void SetSize(int value) { FSize = value; }
    // Empty means the field name; DisplayName() gives the effective caption.
    QString DisplayLabel() const { return FDisplayLabel; }
    void SetDisplayLabel(const QString& value) { FDisplayLabel = value; }
    QString DisplayName() const { return FDisplayLabel.isEmpty() ? FFieldName : FDisplayLabel; }
    // Number fields: a FormatFloat pattern. Date and time fields: a QLocale date/time pattern.
    QString DisplayFormat() const { return FDisplayFormat; }
    void SetDisplayFormat(const QString& value) { FDisplayFormat = value; }
    // The pattern of the edit text; empty falls back to DisplayFormat.
    QString EditFormat() const { return FEditFormat; }
    void SetEditFormat(const QString& value) { FEditFormat = value; }

    // Position among the dataset's fields; -1 for a field without a dataset.
    int Index() const { return FIndex; }
    TDataSet* DataSet() const { return FDataSet; }

    // The current record's value: VarNull for a NULL, without a current record (Eof) and for a field
    // without a dataset. Throws on a closed dataset.
    QVariant Value() const;
    bool IsNull() const;

    // Conversions throw EConvertError for values they cannot read ("'abc' is not a valid floating
    // point value"). Floats read as integers round half to even.
    QString AsString() const;
    double AsFloat() const;
    qint64 AsInteger() const;
    bool AsBoolean() const;
    QDateTime AsDateTime() const;

    // The text a report shows: OnGetText, if assigned, is called with the field's own text already in
    // Text and may change it. Never throws for a value it cannot format; the raw text is shown then.
    QString DisplayText() const;
    // The edit text (EditFormat, else DisplayFormat), through OnGetText with DisplayText false.
    QString Text() const;

    std::function<void(TField* Sender, QString& Text, bool DisplayText)> OnGetText;

protected:
    // The field's own text before OnGetText.
    virtual QString GetText(bool displayText) const;

private:
    // AsFloat of a value already taken from the dataset.
    double FloatFrom(const QVariant& v) const;

    QString FFieldName;
    TFieldType FDataType = ftUnknown;
    int FSize = 0;
    QString FDisplayLabel;
    QString FDisplayFormat;
    QString FEditFormat;
    int FIndex = -1;
    TDataSet* FDataSet = nullptr;
};

class TDataSet : public TComponent
{
    Q_OBJECT
    friend class TField;
    Q_PROPERTY(bool Active READ Active WRITE SetActive)

public:
    explicit TDataSet(TComponent* AOwner = nullptr);
    // Destroys the fields without calling the hooks or the events: a subclass that holds resources
    // closes itself in its own destructor.
    ~TDataSet() override;

    bool Active() const { return FActive; }
    // While a definition is being read, turning the dataset on only remembers the wish: the open
    // waits for Loaded, so "Active = True" may come before the properties the open needs (a table's
    // name, a query's statement). Turning it off closes at once.
    void SetActive(bool value);
    // Opens the dataset that the definition stored as active; a failure to open is thrown.
    void Loaded() override;
    // Runs BeforeOpen, InternalOpen and moves to the first record, then AfterOpen. A failure leaves the
    // dataset closed and is thrown as EDatabaseError (an EAbort passes unchanged).
    void Open();
    void Close();

    void First();
    void Next();
    bool Eof() const { return !FActive || FEof; }
    bool Bof() const { return !FActive || FBof; }
    // Whether there is a current record (open and not at Eof).
    bool HasRecord() const { return FActive && !FEof; }
    // The number of records of the open result, never unknown.
    virtual int RecordCount();
    // 1-based number of the current record; 0 at Eof.
    int RecNo() const;

    int FieldCount() const { return int(FFields.size()); }
    // Throws EDatabaseError for an index out of range.
    TField* Fields(int index) const;
    // Case-insensitive; throws EDatabaseError "Field 'X' not found".
    TField* FieldByName(const QString& fieldName) const;
    TField* FindField(const QString& fieldName) const;
    // Changes whenever a field is added, renamed or destroyed, and is never the same for two
    // datasets: whoever keeps a field found by name may keep it while this stays the same.
    quint64 FieldsGeneration() const { return FFieldsGeneration; }
    // The current record's value of a field (see TField::Value).
    QVariant FieldValue(int fieldIndex) const;

    std::function<void(TDataSet*)> BeforeOpen;
    std::function<void(TDataSet*)> AfterOpen;
    std::function<void(TDataSet*)> BeforeClose;
    std::function<void(TDataSet*)> AfterClose;

signals:
    // After the dataset opened or closed.
    void ActiveChanged(bool active);
    // After First or Next (also when Next reached Eof).
    void RecordMoved();

protected:
    // Prepares the result and creates the fields with CreateField.
    virtual void InternalOpen() = 0;
    virtual void InternalClose() = 0;
    // Moves to the first record; false when there is none.
    virtual bool InternalFirst() = 0;
    // Moves to the next record; false when there is none (the cursor is then past the end).
    virtual bool InternalNext() = 0;
    virtual int InternalRecordCount() = 0;
    // The current record's value of a field; only called while there is a current record. A null or
    // invalid variant reads as NULL.
    virtual QVariant InternalGetValue(int field) const = 0;

    TField* CreateField(const QString& fieldName, TFieldType dataType, int size = 0);
    void CheckActive() const;
    void CheckInactive() const;
    // Throws EDatabaseError with the message prefixed by the dataset's name.
    [[noreturn]] void DatabaseError(const QString& message) const;

private:
    void DestroyFields();
    void CloseAfterFailedOpen();

    QList<TField*> FFields;
    quint64 FFieldsGeneration = 0;
    bool FActive = false;
    // Active as the definition being read has set it, applied by Loaded.
    bool FStreamedActive = false;
    bool FEof = true;
    bool FBof = true;
    int FRecNo = 0;
};

// Presents a dataset to data-aware controls. The reference is dropped when the dataset is destroyed.
class TDataSource : public TComponent
{
    Q_OBJECT
    Q_PROPERTY(TDataSet* DataSet READ DataSet WRITE SetDataSet)
    Q_PROPERTY(bool Enabled READ Enabled WRITE SetEnabled)

public:
    Q_INVOKABLE explicit TDataSource(TComponent* AOwner = nullptr);

    TDataSet* DataSet() const { return FDataSet; }
    void SetDataSet(TDataSet* value);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);

signals:
    // The dataset was opened, closed, replaced or dropped, or Enabled changed.
    void StateChange();
    // The dataset moved to another record.
    void DataChange();

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    void Attach(TDataSet* value);

    TDataSet* FDataSet = nullptr;
    bool FEnabled = true;
};
