#include "platform/MemDataSet.h"

#include "platform/Variants.h"

TMemDataSet::TMemDataSet(TComponent* AOwner)
    : TDataSet(AOwner)
{ }

// Rows are plain memory, so there is nothing to release; the events are not run from a destructor.
TMemDataSet::~TMemDataSet() = default;

void TMemDataSet::AddField(const QString& fieldName, TFieldType dataType, int size)
{
    CheckInactive();
    if (fieldName.trimmed().isEmpty())
        DatabaseError(QStringLiteral("Field name missing"));
    for (const TFieldDefinition& definition : std::as_const(FDefinitions))
        if (definition.Name.compare(fieldName, Qt::CaseInsensitive) == 0)
            DatabaseError(QStringLiteral("Duplicate field name '%1'").arg(fieldName));
    if (!FRecords.isEmpty())
        DatabaseError(QStringLiteral("Cannot add field '%1' to a dataset that holds records").arg(fieldName));
    FDefinitions.append({ fieldName, dataType, qMax(size, 0) });
}

void TMemDataSet::ClearFields()
{
    CheckInactive();
    FDefinitions.clear();
    FRecords.clear();
}

void TMemDataSet::AppendRecord(const QVariantList& values)
{
    if (values.size() > FDefinitions.size())
        DatabaseError(
            QStringLiteral("Record has %1 values for %2 fields").arg(values.size()).arg(FDefinitions.size()));
    QVariantList row;
    row.reserve(FDefinitions.size());
    for (qsizetype i = 0; i < FDefinitions.size(); ++i) {
        const TFieldDefinition& definition = FDefinitions.at(i);
        QVariant converted = VarNull();
        if (i < values.size() && !ConvertFieldValue(values.at(i), definition.DataType, converted))
            DatabaseError(QStringLiteral("Invalid value '%1' for field '%2'")
                              .arg(values.at(i).toString(), definition.Name));
        row.append(converted);
    }
    FRecords.append(row);
}

void TMemDataSet::ClearRecords()
{
    CheckInactive();
    FRecords.clear();
}

void TMemDataSet::InternalOpen()
{
    if (FDefinitions.isEmpty())
        DatabaseError(QStringLiteral("Cannot open a dataset without field definitions"));
    for (const TFieldDefinition& definition : std::as_const(FDefinitions))
        CreateField(definition.Name, definition.DataType, definition.Size);
    FCursor = -1;
}

void TMemDataSet::InternalClose()
{
    FCursor = -1;
}

bool TMemDataSet::InternalFirst()
{
    FCursor = 0;
    return FCursor < FRecords.size();
}

bool TMemDataSet::InternalNext()
{
    if (FCursor < FRecords.size())
        ++FCursor;
    return FCursor < FRecords.size();
}

int TMemDataSet::InternalRecordCount()
{
    return int(FRecords.size());
}

QVariant TMemDataSet::InternalGetValue(int field) const
{
    if (FCursor < 0 || FCursor >= FRecords.size())
        return VarNull();
    return FRecords.at(FCursor).value(field, VarNull());
}
