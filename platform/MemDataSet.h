#pragma once
// A dataset whose rows live in memory, for tests and small fixed lists. Field definitions are added
// while closed; rows may be appended at any time and are converted to the field types on the way in
// (ConvertFieldValue), so a row of the wrong shape fails where it is added, not where it is read.
// Appending to an open dataset does not move its cursor.
#include "platform/DataSet.h"

#include <QList>
#include <QVariantList>

class TMemDataSet : public TDataSet
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit TMemDataSet(TComponent* AOwner = nullptr);
    ~TMemDataSet() override;

    // Throws EDatabaseError on an open dataset, for an empty name and for a name already defined
    // (compared without regard to case).
    void AddField(const QString& fieldName, TFieldType dataType, int size = 0);
    // Removes the field definitions and the rows; closed only.
    void ClearFields();
    int FieldDefCount() const { return int(FDefinitions.size()); }

    // One value per defined field, in definition order; missing trailing values are NULL. More values
    // than fields, or a value that the field's type cannot hold, throw EDatabaseError.
    void AppendRecord(const QVariantList& values);
    void ClearRecords();
    int StoredRecordCount() const { return int(FRecords.size()); }

protected:
    // Opening without field definitions fails: there would be nothing to read.
    void InternalOpen() override;
    void InternalClose() override;
    bool InternalFirst() override;
    bool InternalNext() override;
    int InternalRecordCount() override;
    QVariant InternalGetValue(int field) const override;

private:
    struct TFieldDefinition
    {
        QString Name;
        TFieldType DataType = ftUnknown;
        int Size = 0;
    };
    QList<TFieldDefinition> FDefinitions;
    QList<QVariantList> FRecords;
    qsizetype FCursor = -1;
};
