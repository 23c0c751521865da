#include "platform/DataSet.h"

#include "platform/Format.h"
#include "platform/Variants.h"

#include <atomic>
#include <cmath>
#include <limits>
#include <utility>

namespace {

bool IsTextVariant(const QVariant& v)
{
    const int id = v.metaType().id();
    return id == QMetaType::QString || id == QMetaType::QByteArray || id == QMetaType::QChar;
}

bool IsNullValue(const QVariant& v)
{
    return !v.isValid() || v.isNull();
}

// The platform kept dates and times as days since 30 December 1899 with the time of day as the
// fraction; for days before that date the fraction still counts forward from midnight.
const QDate SerialDateBase(1899, 12, 30);
constexpr double MillisecondsPerDay = 86400000.0;

double SerialFromDateTime(const QDateTime& dateTime)
{
    const double days = double(SerialDateBase.daysTo(dateTime.date()));
    const double fraction = dateTime.time().msecsSinceStartOfDay() / MillisecondsPerDay;
    return days < 0 ? days - fraction : days + fraction;
}

bool DateTimeFromSerial(double serial, QDateTime& result)
{
    // Years 1 to 9999, the platform's range.
    if (!std::isfinite(serial) || serial < -693593.0 || serial >= 2958466.0)
        return false;
    const double days = std::trunc(serial);
    const double fraction = std::fabs(serial - days);
    int msecs = int(std::llround(fraction * MillisecondsPerDay));
    msecs = qMin(msecs, int(MillisecondsPerDay) - 1);
    result = QDateTime(SerialDateBase.addDays(qint64(days)), QTime::fromMSecsSinceStartOfDay(msecs));
    return true;
}

[[noreturn]] void ConvertError(const QString& text, const char* what)
{
    throw EConvertError(QStringLiteral("'%1' is not a valid %2").arg(text, QLatin1String(what)));
}

// A number from a text: the locale's notation first (as a user types it), then a program's.
bool NumberFromText(const QString& text, double& value)
{
    if (TryStrToFloat(text, value, DefaultFormatSettings()))
        return true;
    bool ok = false;
    const double parsed = text.trimmed().toDouble(&ok);
    if (ok && std::isfinite(parsed)) {
        value = parsed;
        return true;
    }
    return false;
}

bool RoundToInteger(double value, qint64& result)
{
    // Half to even, as the platform's Round did; the bounds keep the conversion defined.
    const double rounded = std::nearbyint(value);
    if (!std::isfinite(rounded) || rounded < -9223372036854775808.0 || rounded >= 9223372036854775808.0)
        return false;
    result = qint64(rounded);
    return true;
}

QString BooleanText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

} // namespace

bool ConvertFieldValue(const QVariant& value, TFieldType type, QVariant& result)
{
    if (IsNullValue(value)) {
        result = VarNull();
        return true;
    }
    switch (type) {
    case ftUnknown:
        result = value;
        return true;
    case ftString:
    case ftMemo:
        if (!value.canConvert<QString>())
            return false;
        result = value.toString();
        return true;
    case ftSmallint:
    case ftInteger:
    case ftLargeint: {
        qint64 number = 0;
        bool ok = false;
        if (value.metaType().id() == QMetaType::Double || value.metaType().id() == QMetaType::Float) {
            const double d = value.toDouble();
            ok = std::isfinite(d) && d == std::trunc(d) && RoundToInteger(d, number);
        } else if (value.metaType().id() == QMetaType::Bool) {
            number = value.toBool() ? 1 : 0;
            ok = true;
        } else if (IsTextVariant(value)) {
            number = value.toString().trimmed().toLongLong(&ok);
        } else {
            number = value.toLongLong(&ok);
        }
        if (!ok)
            return false;
        if (type == ftSmallint) {
            if (number < -32768 || number > 32767)
                return false;
            result = int(number);
        } else if (type == ftInteger) {
            if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max())
                return false;
            result = int(number);
        } else {
            result = qlonglong(number);
        }
        return true;
    }
    case ftBoolean:
        if (value.metaType().id() == QMetaType::Bool) {
            result = value.toBool();
            return true;
        }
        if (VarIsNumeric(value)) {
            result = value.toDouble() != 0.0;
            return true;
        }
        if (IsTextVariant(value)) {
            const QString text = value.toString().trimmed();
            if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || text == QLatin1String("1")) {
                result = true;
                return true;
            }
            if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0
                || text == QLatin1String("0")) {
                result = false;
                return true;
            }
        }
        return false;
    case ftFloat:
    case ftCurrency:
    case ftBCD: {
        bool ok = false;
        const double d
            = IsTextVariant(value) ? value.toString().trimmed().toDouble(&ok) : value.toDouble(&ok);
        if (!ok || std::isnan(d))
            return false;
        result = d;
        return true;
    }
    case ftDate:
    case ftTime:
    case ftDateTime: {
        QDateTime dateTime;
        const int id = value.metaType().id();
        if (id == QMetaType::QDateTime) {
            dateTime = value.toDateTime();
        } else if (id == QMetaType::QDate) {
            dateTime = QDateTime(value.toDate(), QTime(0, 0));
        } else if (id == QMetaType::QTime) {
            dateTime = QDateTime(SerialDateBase, value.toTime());
        } else if (IsTextVariant(value)) {
            const QString text = value.toString().trimmed();
            dateTime = QDateTime::fromString(text, Qt::ISODateWithMs);
            if (!dateTime.isValid()) {
                const QDate date = QDate::fromString(text, Qt::ISODate);
                const QTime time = QTime::fromString(text, Qt::ISODateWithMs);
                if (date.isValid())
                    dateTime = QDateTime(date, QTime(0, 0));
                else if (time.isValid())
                    dateTime = QDateTime(SerialDateBase, time);
            }
        } else if (VarIsNumeric(value)) {
            if (!DateTimeFromSerial(value.toDouble(), dateTime))
                return false;
        }
        if (!dateTime.isValid())
            return false;
        if (type == ftDate)
            result = dateTime.date();
        else if (type == ftTime)
            result = dateTime.time();
        else
            result = dateTime;
        return true;
    }
    }
    return false;
}

// ---- TField ----------------------------------------------------------------------------------------

namespace {

quint64 NextFieldsGeneration()
{
    // Datasets live on several threads (a connection per thread), and a number is never reused.
    static std::atomic<quint64> generation { 0 };
    return ++generation;
}

} // namespace

TField::TField(TComponent* AOwner)
    : TComponent(AOwner)
{ }

void TField::SetFieldName(const QString& value)
{
    FFieldName = value;
    if (FDataSet)
        FDataSet->FFieldsGeneration = NextFieldsGeneration();
}

QVariant TField::Value() const
{
    if (!FDataSet)
        return VarNull();
    return FDataSet->FieldValue(FIndex);
}

bool TField::IsNull() const
{
    return VarIsNull(Value());
}

QString TField::AsString() const
{
    const QVariant v = Value();
    if (VarIsNull(v))
        return QString();
    if (IsFloatFieldType(FDataType) || (FDataType == ftUnknown && VarKind(v) == vkDouble)) {
        if (IsTextVariant(v))
            return v.toString();
        return FloatToStr(v.toDouble(), DefaultFormatSettings());
    }
    if (FDataType == ftBoolean || v.metaType().id() == QMetaType::Bool) {
        if (v.metaType().id() == QMetaType::Bool || !IsTextVariant(v))
            return BooleanText(AsBoolean());
        return v.toString();
    }
    if (IsDateTimeFieldType(FDataType)) {
        const QDateTime dateTime = AsDateTime();
        if (FDataType == ftDate)
            return DateToStr(dateTime.date());
        if (FDataType == ftTime)
            return TimeToStr(dateTime.time());
        return DateTimeToStr(dateTime);
    }
    if (IsIntegerFieldType(FDataType) && !IsTextVariant(v))
        return QString::number(AsInteger());
    return v.toString();
}

double TField::AsFloat() const
{
    return FloatFrom(Value());
}

double TField::FloatFrom(const QVariant& v) const
{
    if (VarIsNull(v))
        return 0.0;
    const int id = v.metaType().id();
    if (id == QMetaType::Bool)
        return v.toBool() ? 1.0 : 0.0;
    if (id == QMetaType::QDateTime || id == QMetaType::QDate || id == QMetaType::QTime)
        return SerialFromDateTime(AsDateTime());
    if (IsTextVariant(v)) {
        double value = 0.0;
        if (!NumberFromText(v.toString(), value))
            ConvertError(v.toString(), "floating point value");
        return value;
    }
    bool ok = false;
    const double value = v.toDouble(&ok);
    if (!ok)
        ConvertError(v.toString(), "floating point value");
    return value;
}

qint64 TField::AsInteger() const
{
    const QVariant v = Value();
    if (VarIsNull(v))
        return 0;
    if (VarKind(v) == vkInteger)
        return v.toLongLong();
    if (v.metaType().id() == QMetaType::Bool)
        return v.toBool() ? 1 : 0;
    if (IsTextVariant(v)) {
        bool ok = false;
        const qint64 value = v.toString().trimmed().toLongLong(&ok);
        if (ok)
            return value;
    }
    const QString text = v.toString();
    double number = 0.0;
    try {
        number = AsFloat();
    } catch (const EConvertError&) {
        ConvertError(text, "integer value");
    }
    qint64 result = 0;
    if (!RoundToInteger(number, result))
        ConvertError(text, "integer value");
    return result;
}

bool TField::AsBoolean() const
{
    const QVariant v = Value();
    if (VarIsNull(v))
        return false;
    if (v.metaType().id() == QMetaType::Bool)
        return v.toBool();
    if (VarIsNumeric(v))
        return v.toDouble() != 0.0;
    const QString text = v.toString().trimmed();
    if (!text.isEmpty()) {
        // The platform looked at the first letter only: True/Yes against False/No.
        const QChar first = text.at(0).toUpper();
        if (first == u'T' || first == u'Y')
            return true;
        if (first == u'F' || first == u'N')
            return false;
    }
    ConvertError(v.toString(), "boolean value");
}

QDateTime TField::AsDateTime() const
{
    const QVariant v = Value();
    if (VarIsNull(v))
        return QDateTime();
    QVariant converted;
    if (ConvertFieldValue(v, ftDateTime, converted))
        return converted.toDateTime();
    if (IsTextVariant(v)) {
        // A date typed in the locale's short format, with or without the time.
        const TFormatSettings& settings = DefaultFormatSettings();
        const QString text = v.toString().trimmed();
        QDateTime dateTime = settings.Locale.toDateTime(
            text, settings.ShortDateFormat + QLatin1Char(' ') + settings.TimeFormat);
        if (!dateTime.isValid()) {
            const QDate date = settings.Locale.toDate(text, settings.ShortDateFormat);
            if (date.isValid())
                dateTime = QDateTime(date, QTime(0, 0));
        }
        if (dateTime.isValid())
            return dateTime;
    }
    ConvertError(v.toString(), "date and time");
}

QString TField::GetText(bool displayText) const
{
    const QVariant v = Value();
    if (VarIsNull(v))
        return QString();
    const QString pattern = displayText || FEditFormat.isEmpty() ? FDisplayFormat : FEditFormat;
    try {
        if (IsFloatFieldType(FDataType) || IsIntegerFieldType(FDataType)) {
            // The value in hand: taking it from the dataset again copies it again, for every
            // number of every record.
            if (!pattern.isEmpty())
                return FormatFloat(pattern, FloatFrom(v));
            return IsFloatFieldType(FDataType) ? FloatToStr(FloatFrom(v), DefaultFormatSettings())
                                               : QString::number(AsInteger());
        }
        if (IsDateTimeFieldType(FDataType) && !pattern.isEmpty())
            return FormatDateTime(pattern, AsDateTime());
        return AsString();
    } catch (const EConvertError&) {
        // A value of the wrong kind still shows, as the text the dataset delivered.
        return v.toString();
    }
}

QString TField::DisplayText() const
{
    QString text = GetText(true);
    if (OnGetText)
        OnGetText(const_cast<TField*>(this), text, true);
    return text;
}

QString TField::Text() const
{
    QString text = GetText(false);
    if (OnGetText)
        OnGetText(const_cast<TField*>(this), text, false);
    return text;
}

// ---- TDataSet --------------------------------------------------------------------------------------

TDataSet::TDataSet(TComponent* AOwner)
    : TComponent(AOwner)
    , FFieldsGeneration(NextFieldsGeneration())
{ }

TDataSet::~TDataSet()
{
    FActive = false;
    DestroyFields();
}

void TDataSet::SetActive(bool value)
{
    if (IsLoading()) {
        FStreamedActive = value;
        if (!value)
            Close();
        return;
    }
    FStreamedActive = false;
    if (value)
        Open();
    else
        Close();
}

void TDataSet::Loaded()
{
    TComponent::Loaded();
    // Consumed before opening, so that a failed open is not retried by a later Loaded.
    if (std::exchange(FStreamedActive, false))
        Open();
}

void TDataSet::CloseAfterFailedOpen()
{
    try {
        InternalClose();
    } catch (...) {
        // The open failure is the one worth reporting.
    }
    DestroyFields();
    FActive = false;
    FEof = true;
    FBof = true;
    FRecNo = 0;
}

void TDataSet::Open()
{
    if (FActive)
        return;
    if (BeforeOpen)
        BeforeOpen(this);
    try {
        DestroyFields();
        InternalOpen();
        FActive = true;
        const bool hasRecord = InternalFirst();
        FBof = true;
        FEof = !hasRecord;
        FRecNo = hasRecord ? 1 : 0;
    } catch (const EAbort&) {
        CloseAfterFailedOpen();
        throw;
    } catch (const EDatabaseError&) {
        CloseAfterFailedOpen();
        throw;
    } catch (const Exception& e) {
        CloseAfterFailedOpen();
        DatabaseError(QStringLiteral("Cannot open dataset: %1").arg(e.Message()));
    } catch (const std::exception& e) {
        CloseAfterFailedOpen();
        DatabaseError(QStringLiteral("Cannot open dataset: %1").arg(QString::fromUtf8(e.what())));
    }
    if (AfterOpen)
        AfterOpen(this);
    emit ActiveChanged(true);
}

void TDataSet::Close()
{
    if (!FActive)
        return;
    if (BeforeClose)
        BeforeClose(this);
    // The dataset ends closed even when the subclass fails to release something.
    auto finish = [this] {
        DestroyFields();
        FActive = false;
        FEof = true;
        FBof = true;
        FRecNo = 0;
    };
    try {
        InternalClose();
    } catch (...) {
        finish();
        emit ActiveChanged(false);
        throw;
    }
    finish();
    if (AfterClose)
        AfterClose(this);
    emit ActiveChanged(false);
}

void TDataSet::First()
{
    CheckActive();
    const bool hasRecord = InternalFirst();
    FBof = true;
    FEof = !hasRecord;
    FRecNo = hasRecord ? 1 : 0;
    emit RecordMoved();
}

void TDataSet::Next()
{
    CheckActive();
    if (FEof)
        return;
    if (InternalNext()) {
        ++FRecNo;
        FBof = false;
    } else {
        FEof = true;
        FRecNo = 0;
    }
    emit RecordMoved();
}

int TDataSet::RecordCount()
{
    CheckActive();
    return InternalRecordCount();
}

int TDataSet::RecNo() const
{
    CheckActive();
    return FRecNo;
}

TField* TDataSet::Fields(int index) const
{
    if (index < 0 || index >= FFields.size())
        DatabaseError(QStringLiteral("Field index out of range"));
    return FFields.at(index);
}

TField* TDataSet::FindField(const QString& fieldName) const
{
    // Database texts look their field up for every record. Case folding maps each UTF-16 unit to
    // one unit, so a name of another length never matches and an exact match needs no folding.
    for (TField* field : FFields) {
        const QString& name = field->FFieldName;
        if (name.size() == fieldName.size()
            && (name == fieldName || name.compare(fieldName, Qt::CaseInsensitive) == 0))
            return field;
    }
    return nullptr;
}

TField* TDataSet::FieldByName(const QString& fieldName) const
{
    TField* field = FindField(fieldName);
    if (!field)
        DatabaseError(QStringLiteral("Field '%1' not found").arg(fieldName));
    return field;
}

QVariant TDataSet::FieldValue(int fieldIndex) const
{
    CheckActive();
    if (fieldIndex < 0 || fieldIndex >= FFields.size())
        DatabaseError(QStringLiteral("Field index out of range"));
    if (FEof)
        return VarNull();
    const QVariant value = InternalGetValue(fieldIndex);
    return IsNullValue(value) ? VarNull() : value;
}

TField* TDataSet::CreateField(const QString& fieldName, TFieldType dataType, int size)
{
    auto* field = new TField(this);
    field->FFieldName = fieldName;
    field->FDataType = dataType;
    field->FSize = size;
    field->FDataSet = this;
    field->FIndex = int(FFields.size());
    FFields.append(field);
    FFieldsGeneration = NextFieldsGeneration();
    return field;
}

void TDataSet::CheckActive() const
{
    if (!FActive)
        DatabaseError(QStringLiteral("Cannot perform this operation on a closed dataset"));
}

void TDataSet::CheckInactive() const
{
    if (FActive)
        DatabaseError(QStringLiteral("Cannot perform this operation on an open dataset"));
}

void TDataSet::DatabaseError(const QString& message) const
{
    if (Name().isEmpty())
        throw EDatabaseError(message);
    throw EDatabaseError(Name() + QStringLiteral(": ") + message);
}

void TDataSet::DestroyFields()
{
    const QList<TField*> fields = FFields;
    FFields.clear();
    FFieldsGeneration = NextFieldsGeneration();
    for (TField* field : fields) {
        field->FDataSet = nullptr;
        field->FIndex = -1;
        delete field;
    }
}

// ---- TDataSource -----------------------------------------------------------------------------------

TDataSource::TDataSource(TComponent* AOwner)
    : TComponent(AOwner)
{ }

void TDataSource::SetDataSet(TDataSet* value)
{
    if (value == FDataSet)
        return;
    if (FDataSet) {
        disconnect(FDataSet, nullptr, this, nullptr);
        RemoveFreeNotification(FDataSet);
    }
    Attach(value);
    emit StateChange();
}

void TDataSource::Attach(TDataSet* value)
{
    FDataSet = value;
    if (!FDataSet)
        return;
    FreeNotification(FDataSet);
    connect(FDataSet, &TDataSet::ActiveChanged, this, [this] {
        if (FEnabled)
            emit StateChange();
    });
    connect(FDataSet, &TDataSet::RecordMoved, this, [this] {
        if (FEnabled)
            emit DataChange();
    });
}

void TDataSource::SetEnabled(bool value)
{
    if (value == FEnabled)
        return;
    FEnabled = value;
    emit StateChange();
}

void TDataSource::Notification(TComponent* component, TOperation operation)
{
    TComponent::Notification(component, operation);
    if (operation == opRemove && component != nullptr && component == FDataSet) {
        // The dataset is being destroyed (or taken from our owner): its TDataSet part may already be
        // gone, so only its QObject and TComponent sides are touched.
        disconnect(component, nullptr, this, nullptr);
        RemoveFreeNotification(component);
        FDataSet = nullptr;
        emit StateChange();
    }
}
