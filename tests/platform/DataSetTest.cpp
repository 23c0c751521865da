#include "platform/DataSet.h"
#include "platform/Definitions.h"
#include "platform/Format.h"
#include "platform/MemDataSet.h"
#include "platform/Variants.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QStringList>

#include <memory>
#include <optional>
#include <stdexcept>

namespace {

// Database texts read the process's locale; the suite runs under pt_BR.
bool SystemLocaleIsBrazilian()
{
    return QLocale::system().name() == QLatin1String("pt_BR");
}

#define REQUIRE_BRAZILIAN_LOCALE()                                                                           \
    if (!SystemLocaleIsBrazilian())                                                                          \
    GTEST_SKIP() << "needs LC_ALL=pt_BR.UTF-8, as the test suite sets"

// The inventory query's shape, with a few extra types.
std::unique_ptr<TMemDataSet> InventoryQuery()
{
    auto query = std::make_unique<TMemDataSet>();
    query->SetName("qryRelatorio");
    query->AddField("CODIGO", ftString, 20);
    query->AddField("NOME", ftString, 60);
    query->AddField("SALDO", ftFloat);
    query->AddField("TRIBUTO", ftString, 21);
    query->AddField("PERC_ICM", ftFloat);
    query->AddField("QTD", ftInteger);
    query->AddField("ATIVO", ftBoolean);
    query->AddField("DATA", ftDate);
    query->AppendRecord({ "001", "Arroz", 12.5, "Tributado", 7.0, 3, true, QDate(2026, 12, 8) });
    query->AppendRecord({ "002", "Feijão", 0.1 + 0.2, "Isento", VarNull(), 42, false, VarNull() });
    query->AppendRecord({ "003", "Óleo", 1234567.891, "Subst. Tributária", 17.0, VarNull() });
    return query;
}

QString MessageOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const EDatabaseError& e) {
        return e.Message();
    }
    return QStringLiteral("<no EDatabaseError>");
}

TEST(DataSetTest, WalksEveryRecordInOrderAndStopsAtTheEnd)
{
    auto query = InventoryQuery();
    query->Open();
    ASSERT_TRUE(query->Active());
    EXPECT_EQ(query->RecordCount(), 3);
    EXPECT_TRUE(query->Bof());
    QStringList names;
    QList<int> numbers;
    for (query->First(); !query->Eof(); query->Next()) {
        names << query->FieldByName("NOME")->AsString();
        numbers << query->RecNo();
    }
    EXPECT_EQ(names, QStringList({ "Arroz", QString::fromUtf8("Feijão"), QString::fromUtf8("Óleo") }));
    EXPECT_EQ(numbers, QList<int>({ 1, 2, 3 }));
    EXPECT_FALSE(query->Bof());
    // Past the end there is no current record, and moving on changes nothing.
    EXPECT_EQ(query->RecNo(), 0);
    EXPECT_TRUE(VarIsNull(query->FieldByName("NOME")->Value()));
    EXPECT_EQ(query->FieldByName("NOME")->DisplayText(), "");
    query->Next();
    EXPECT_TRUE(query->Eof());
    query->First();
    EXPECT_FALSE(query->Eof());
    EXPECT_EQ(query->RecNo(), 1);
    EXPECT_EQ(query->FieldByName("CODIGO")->AsString(), "001");
}

TEST(DataSetTest, EmptyResultIsAtBothEndsAtOnce)
{
    TMemDataSet empty;
    empty.AddField("NOME", ftString, 60);
    empty.Open();
    EXPECT_TRUE(empty.Eof());
    EXPECT_TRUE(empty.Bof());
    EXPECT_EQ(empty.RecordCount(), 0);
    EXPECT_EQ(empty.RecNo(), 0);
    EXPECT_EQ(empty.FieldByName("NOME")->DisplayText(), "");
    empty.Next();
    EXPECT_TRUE(empty.Eof());
}

TEST(DataSetTest, FieldLookupIgnoresCaseAndNamesTheMissingField)
{
    auto query = InventoryQuery();
    query->Open();
    EXPECT_EQ(query->FieldByName("perc_icm"), query->Fields(4));
    EXPECT_EQ(query->FieldByName("perc_icm")->Index(), 4);
    EXPECT_EQ(query->FieldByName("perc_icm")->DataSet(), query.get());
    EXPECT_EQ(query->FindField("SALDO_ATU"), nullptr);
    EXPECT_EQ(
        MessageOf([&] { query->FieldByName("SALDO_ATU"); }), "qryRelatorio: Field 'SALDO_ATU' not found");
    EXPECT_EQ(MessageOf([&] { query->Fields(8); }), "qryRelatorio: Field index out of range");
    EXPECT_EQ(MessageOf([&] { query->FieldValue(-1); }), "qryRelatorio: Field index out of range");

    TMemDataSet unnamed;
    unnamed.AddField("A", ftString);
    unnamed.Open();
    EXPECT_EQ(MessageOf([&] { unnamed.FieldByName("B"); }), "Field 'B' not found");
}

TEST(DataSetTest, FieldDescribesItself)
{
    auto query = InventoryQuery();
    query->Open();
    TField* name = query->FieldByName("NOME");
    EXPECT_EQ(name->FieldName(), "NOME");
    EXPECT_EQ(name->DataType(), ftString);
    EXPECT_EQ(name->Size(), 60);
    EXPECT_EQ(name->DisplayName(), "NOME");
    name->SetDisplayLabel("Produto");
    EXPECT_EQ(name->DisplayName(), "Produto");
}

TEST(DataSetTest, NullReadsAsNothingEverywhere)
{
    auto query = InventoryQuery();
    query->Open();
    query->Next(); // PERC_ICM and DATA are NULL here
    for (const char* fieldName : { "PERC_ICM", "DATA" }) {
        TField* field = query->FieldByName(fieldName);
        EXPECT_TRUE(field->IsNull()) << fieldName;
        EXPECT_TRUE(VarIsNull(field->Value())) << fieldName;
        EXPECT_EQ(field->DisplayText(), "") << fieldName;
        EXPECT_EQ(field->Text(), "") << fieldName;
        EXPECT_EQ(field->AsString(), "") << fieldName;
        EXPECT_EQ(field->AsFloat(), 0.0) << fieldName;
        EXPECT_EQ(field->AsInteger(), 0) << fieldName;
        EXPECT_FALSE(field->AsBoolean()) << fieldName;
        EXPECT_FALSE(field->AsDateTime().isValid()) << fieldName;
    }
    // Values missing at the end of an appended row are NULL too.
    query->Next();
    EXPECT_TRUE(query->FieldByName("QTD")->IsNull());
    EXPECT_TRUE(query->FieldByName("DATA")->IsNull());
    EXPECT_FALSE(query->FieldByName("SALDO")->IsNull());
}

TEST(DataSetTest, FloatFieldsShowFifteenDigitsInTheLocale)
{
    REQUIRE_BRAZILIAN_LOCALE();
    auto query = InventoryQuery();
    query->Open();
    TField* saldo = query->FieldByName("SALDO");
    EXPECT_EQ(saldo->DisplayText(), "12,5");
    EXPECT_EQ(saldo->AsString(), "12,5");
    query->Next();
    EXPECT_EQ(saldo->DisplayText(), "0,3");
    query->Next();
    EXPECT_EQ(saldo->DisplayText(), "1234567,891");
}

TEST(DataSetTest, DisplayAndEditFormatsShapeTheTexts)
{
    REQUIRE_BRAZILIAN_LOCALE();
    auto query = InventoryQuery();
    query->Open();
    query->Next();
    query->Next();
    TField* saldo = query->FieldByName("SALDO");
    saldo->SetDisplayFormat("#,###,##0.00");
    EXPECT_EQ(saldo->DisplayText(), "1.234.567,89");
    // The edit text falls back to the display format, until it has one of its own.
    EXPECT_EQ(saldo->Text(), "1.234.567,89");
    saldo->SetEditFormat("0.0");
    EXPECT_EQ(saldo->Text(), "1234567,9");
    EXPECT_EQ(saldo->DisplayText(), "1.234.567,89");
    // AsString is not a display text: no format.
    EXPECT_EQ(saldo->AsString(), "1234567,891");

    query->First();
    TField* quantity = query->FieldByName("QTD");
    EXPECT_EQ(quantity->DisplayText(), "3");
    quantity->SetDisplayFormat("000");
    EXPECT_EQ(quantity->DisplayText(), "003");
    EXPECT_EQ(query->FieldByName("ATIVO")->DisplayText(), "True");
    EXPECT_EQ(query->FieldByName("DATA")->DisplayText(), "08/12/2026");
    query->FieldByName("DATA")->SetDisplayFormat("yyyy-MM-dd");
    EXPECT_EQ(query->FieldByName("DATA")->DisplayText(), "2026-12-08");
    query->Next();
    EXPECT_EQ(query->FieldByName("ATIVO")->DisplayText(), "False");
}

TEST(DataSetTest, GetTextHandlerSeesTheFieldTextAndMayReplaceIt)
{
    auto query = InventoryQuery();
    query->Open();
    TField* name = query->FieldByName("NOME");
    QList<bool> flags;
    name->OnGetText = [&](TField* sender, QString& text, bool displayText) {
        EXPECT_EQ(sender, name);
        flags << displayText;
        text = "[" + text + "]";
    };
    EXPECT_EQ(name->DisplayText(), "[Arroz]");
    EXPECT_EQ(name->Text(), "[Arroz]");
    EXPECT_EQ(flags, QList<bool>({ true, false }));
    EXPECT_EQ(name->AsString(), "Arroz"); // values are not texts
}

struct TConversionCase
{
    TFieldType Type;
    QVariant Stored;
    std::optional<double> Float;
    std::optional<qint64> Integer;
    std::optional<bool> Boolean;
};

TEST(DataSetTest, ConversionsBetweenFieldTypes)
{
    const std::nullopt_t none = std::nullopt;
    const TConversionCase cases[] = {
        { ftFloat, 2.5, 2.5, 2, true }, // integers round half to even
        { ftFloat, 3.5, 3.5, 4, true },
        { ftFloat, -0.0, 0.0, 0, false },
        { ftInteger, 42, 42.0, 42, true },
        { ftLargeint, qlonglong(1) << 40, 1099511627776.0, qint64(1) << 40, true },
        { ftBoolean, true, 1.0, 1, true },
        { ftString, "12", 12.0, 12, none },
        { ftString, "Yes", none, none, true },
        { ftString, "no", none, none, false },
        { ftDate, QDate(1899, 12, 30), 0.0, 0, none }, // the platform's day zero
        { ftDate, QDate(1900, 1, 1), 2.0, 2, none },
        { ftDateTime, QDateTime(QDate(1900, 1, 1), QTime(18, 0)), 2.75, 3, none },
        { ftDateTime, QDateTime(QDate(1899, 12, 29), QTime(6, 0)), -1.25, -1, none },
    };
    for (const TConversionCase& c : cases) {
        TMemDataSet data;
        data.AddField("V", c.Type);
        data.AppendRecord({ c.Stored });
        data.Open();
        TField* field = data.Fields(0);
        const std::string label = c.Stored.toString().toStdString();
        if (c.Float) {
            EXPECT_DOUBLE_EQ(field->AsFloat(), *c.Float) << label;
        }
        if (c.Integer) {
            EXPECT_EQ(field->AsInteger(), *c.Integer) << label;
        }
        if (c.Boolean) {
            EXPECT_EQ(field->AsBoolean(), *c.Boolean) << label;
        }
    }
}

TEST(DataSetTest, TextThatIsNoNumberFailsWithAConversionError)
{
    TMemDataSet data;
    data.AddField("T", ftString);
    data.AppendRecord({ "abc" });
    data.AppendRecord({ "12,5" });
    data.Open();
    TField* field = data.Fields(0);
    EXPECT_THROW(field->AsFloat(), EConvertError);
    EXPECT_THROW(field->AsInteger(), EConvertError);
    EXPECT_THROW(field->AsBoolean(), EConvertError);
    EXPECT_THROW(field->AsDateTime(), EConvertError);
    EXPECT_EQ(field->DisplayText(), "abc");
    data.Next();
    if (SystemLocaleIsBrazilian()) {
        EXPECT_EQ(field->AsFloat(), 12.5);
    }
}

TEST(DataSetTest, ClosedDataSetRefusesOperations)
{
    auto query = InventoryQuery();
    const QString closed = "qryRelatorio: Cannot perform this operation on a closed dataset";
    EXPECT_EQ(MessageOf([&] { query->First(); }), closed);
    EXPECT_EQ(MessageOf([&] { query->Next(); }), closed);
    EXPECT_EQ(MessageOf([&] { query->RecordCount(); }), closed);
    EXPECT_EQ(MessageOf([&] { query->RecNo(); }), closed);
    EXPECT_EQ(MessageOf([&] { query->FieldValue(0); }), closed);
    EXPECT_TRUE(query->Eof());
    EXPECT_EQ(query->FieldCount(), 0);
    EXPECT_EQ(query->FindField("NOME"), nullptr);

    query->Open();
    EXPECT_EQ(query->FieldCount(), 8);
    query->Close();
    EXPECT_FALSE(query->Active());
    EXPECT_EQ(query->FieldCount(), 0); // fields live while the dataset is open
    EXPECT_EQ(MessageOf([&] { query->Next(); }), closed);
    query->SetActive(true);
    EXPECT_EQ(query->RecNo(), 1);
    EXPECT_EQ(query->FieldByName("NOME")->AsString(), "Arroz");
}

TEST(DataSetTest, OpenAndCloseRunTheirEventsInOrder)
{
    auto query = InventoryQuery();
    QStringList events;
    query->BeforeOpen
        = [&](TDataSet* sender) { events << "BeforeOpen:" + QString::number(sender->Active()); };
    query->AfterOpen = [&](TDataSet* sender) { events << "AfterOpen:" + QString::number(sender->Active()); };
    query->BeforeClose
        = [&](TDataSet* sender) { events << "BeforeClose:" + QString::number(sender->Active()); };
    query->AfterClose
        = [&](TDataSet* sender) { events << "AfterClose:" + QString::number(sender->Active()); };
    QSignalSpy active(query.get(), &TDataSet::ActiveChanged);
    QSignalSpy moved(query.get(), &TDataSet::RecordMoved);
    query->Open();
    query->Open(); // already open: nothing
    query->Next();
    query->First();
    query->Close();
    query->Close();
    EXPECT_EQ(events, QStringList({ "BeforeOpen:0", "AfterOpen:1", "BeforeClose:1", "AfterClose:0" }));
    ASSERT_EQ(active.count(), 2);
    EXPECT_TRUE(active.at(0).at(0).toBool());
    EXPECT_FALSE(active.at(1).at(0).toBool());
    EXPECT_EQ(moved.count(), 2);
}

TEST(DataSetTest, DataSetThatCannotOpenStaysClosed)
{
    TMemDataSet noFields;
    noFields.SetName("Table1");
    bool afterOpen = false;
    noFields.AfterOpen = [&](TDataSet*) { afterOpen = true; };
    EXPECT_EQ(MessageOf([&] { noFields.Open(); }), "Table1: Cannot open a dataset without field definitions");
    EXPECT_FALSE(noFields.Active());
    EXPECT_FALSE(afterOpen);

    // A cancelled BeforeOpen is a silent abort and leaves the dataset closed.
    auto query = InventoryQuery();
    query->BeforeOpen = [](TDataSet*) { Abort(); };
    EXPECT_THROW(query->Open(), EAbort);
    EXPECT_FALSE(query->Active());
}

TEST(DataSetTest, MemoryRowsAreCheckedWhereTheyAreAdded)
{
    TMemDataSet data;
    data.SetName("mem");
    data.AddField("N", ftSmallint);
    data.AddField("F", ftFloat);
    EXPECT_EQ(MessageOf([&] { data.AddField("n", ftString); }), "mem: Duplicate field name 'n'");
    EXPECT_EQ(MessageOf([&] { data.AddField("", ftString); }), "mem: Field name missing");
    EXPECT_EQ(MessageOf([&] { data.AppendRecord({ 1, 2.0, 3 }); }), "mem: Record has 3 values for 2 fields");
    EXPECT_EQ(MessageOf([&] { data.AppendRecord({ 70000 }); }), "mem: Invalid value '70000' for field 'N'");
    EXPECT_EQ(MessageOf([&] { data.AppendRecord({ 1, "abc" }); }), "mem: Invalid value 'abc' for field 'F'");
    EXPECT_EQ(data.StoredRecordCount(), 0);
    data.AppendRecord({ "7", "12.5" }); // program texts, as a driver delivers them
    data.Open();
    EXPECT_EQ(data.Fields(0)->Value(), QVariant(7));
    EXPECT_EQ(data.Fields(1)->Value(), QVariant(12.5));
    EXPECT_EQ(MessageOf([&] { data.AddField("X", ftString); }),
        "mem: Cannot perform this operation on an open dataset");
    EXPECT_EQ(
        MessageOf([&] { data.ClearRecords(); }), "mem: Cannot perform this operation on an open dataset");
    data.AppendRecord({ 8 });
    EXPECT_EQ(data.RecordCount(), 2);
    EXPECT_EQ(data.RecNo(), 1); // appending does not move the cursor
}

struct TValueConversionCase
{
    QVariant Value;
    TFieldType Type;
    bool Ok;
    QVariant Expected;
};

TEST(DataSetTest, ConvertFieldValueNormalisesDriverValues)
{
    const TValueConversionCase cases[] = {
        { QVariant(), ftFloat, true, VarNull() },
        { QVariant(QMetaType::fromType<double>()), ftFloat, true, VarNull() },
        { qlonglong(5), ftFloat, true, 5.0 },
        { "2.5e1", ftFloat, true, 25.0 },
        { "2,5", ftFloat, false, QVariant() },
        { 2.0, ftInteger, true, 2 },
        { 2.5, ftInteger, false, QVariant() },
        { qlonglong(1) << 40, ftInteger, false, QVariant() },
        { qlonglong(1) << 40, ftLargeint, true, qlonglong(1) << 40 },
        { "TRUE", ftBoolean, true, true },
        { "maybe", ftBoolean, false, QVariant() },
        { "2026-12-08", ftDate, true, QDate(2026, 12, 8) },
        { "2026-12-08T14:05:09", ftDateTime, true, QDateTime(QDate(2026, 12, 8), QTime(14, 5, 9)) },
        { "14:05:09", ftTime, true, QTime(14, 5, 9) },
        { "08/12/2026", ftDate, false, QVariant() },
        { 1e300, ftDateTime, false, QVariant() },
        { 12.5, ftString, true, QString("12.5") },
    };
    for (const TValueConversionCase& c : cases) {
        QVariant result = "untouched";
        EXPECT_EQ(ConvertFieldValue(c.Value, c.Type, result), c.Ok) << c.Value.toString().toStdString();
        if (c.Ok) {
            EXPECT_EQ(result.metaType(), c.Expected.metaType()) << c.Value.toString().toStdString();
            EXPECT_EQ(result, c.Expected) << c.Value.toString().toStdString();
        } else {
            EXPECT_EQ(result, QVariant("untouched"));
        }
    }
}

// A cursor that computes its rows on demand, as a database cursor delivers them one at a time: the
// base class must only read values while there is a current record.
class TCountingDataSet : public TDataSet
{
public:
    explicit TCountingDataSet(int rows, TComponent* owner = nullptr)
        : TDataSet(owner)
        , FRows(rows)
    { }
    bool FailOpen = false;
    int CloseCalls = 0;
    mutable int ReadsWithoutRecord = 0;

protected:
    void InternalOpen() override
    {
        CreateField("N", ftInteger);
        CreateField("SQUARE", ftLargeint);
        if (FailOpen)
            throw std::runtime_error("connection refused");
    }
    void InternalClose() override { ++CloseCalls; }
    bool InternalFirst() override
    {
        FCurrent = 1;
        return FCurrent <= FRows;
    }
    bool InternalNext() override { return ++FCurrent <= FRows; }
    int InternalRecordCount() override { return FRows; }
    QVariant InternalGetValue(int field) const override
    {
        if (FCurrent < 1 || FCurrent > FRows)
            ++ReadsWithoutRecord;
        return field == 0 ? QVariant(FCurrent) : QVariant(qlonglong(FCurrent) * FCurrent);
    }

private:
    int FRows;
    int FCurrent = 0;
};

TEST(DataSetTest, SubclassCursorIsReadOnlyOnItsCurrentRecord)
{
    TCountingDataSet squares(4);
    squares.Open();
    qint64 sum = 0;
    while (!squares.Eof()) {
        sum += squares.FieldByName("square")->AsInteger();
        squares.Next();
    }
    EXPECT_EQ(sum, 1 + 4 + 9 + 16);
    EXPECT_TRUE(squares.FieldByName("N")->IsNull());
    EXPECT_EQ(squares.FieldByName("N")->DisplayText(), "");
    EXPECT_EQ(squares.ReadsWithoutRecord, 0);
}

TEST(DataSetTest, ForeignFailureWhileOpeningBecomesADatabaseErrorAndCleansUp)
{
    TCountingDataSet broken(3);
    broken.SetName("qryRelatorio");
    broken.FailOpen = true;
    EXPECT_EQ(MessageOf([&] { broken.Open(); }), "qryRelatorio: Cannot open dataset: connection refused");
    EXPECT_FALSE(broken.Active());
    EXPECT_EQ(broken.FieldCount(), 0);
    EXPECT_EQ(broken.CloseCalls, 1);
    broken.FailOpen = false;
    broken.Open();
    EXPECT_EQ(broken.RecordCount(), 3);
}

TEST(DataSourceTest, DropsItsDataSetWhenTheDataSetIsDestroyed)
{
    TComponent form;
    auto* source = new TDataSource(&form);
    auto* query = new TMemDataSet(&form);
    query->AddField("A", ftString);
    source->SetDataSet(query);
    EXPECT_EQ(source->DataSet(), query);
    QSignalSpy state(source, &TDataSource::StateChange);
    delete query;
    EXPECT_EQ(source->DataSet(), nullptr);
    EXPECT_EQ(state.count(), 1);

    // A dataset without an owner in common is watched as well.
    auto* loose = new TMemDataSet();
    source->SetDataSet(loose);
    delete loose;
    EXPECT_EQ(source->DataSet(), nullptr);
}

TEST(DataSourceTest, DataSourceDestroyedFirstLeavesTheDataSetSound)
{
    TMemDataSet query;
    query.AddField("A", ftString);
    query.AppendRecord({ "x" });
    {
        TDataSource source;
        source.SetDataSet(&query);
    }
    query.Open(); // signals to a dead source would crash here
    query.Next();
    EXPECT_TRUE(query.Eof());
}

TEST(DataSourceTest, PassesOnStateAndRecordChangesWhileEnabled)
{
    auto query = InventoryQuery();
    TMemDataSet other;
    other.AddField("A", ftString);
    TDataSource source;
    source.SetDataSet(query.get());
    QSignalSpy state(&source, &TDataSource::StateChange);
    QSignalSpy data(&source, &TDataSource::DataChange);
    query->Open();
    query->Next();
    EXPECT_EQ(state.count(), 1);
    EXPECT_EQ(data.count(), 1);

    source.SetEnabled(false);
    EXPECT_EQ(state.count(), 2);
    query->Next();
    EXPECT_EQ(data.count(), 1);
    source.SetEnabled(true);

    // The old dataset no longer reaches a source that moved on.
    source.SetDataSet(&other);
    EXPECT_EQ(state.count(), 4);
    query->First();
    query->Close();
    EXPECT_EQ(data.count(), 1);
    EXPECT_EQ(state.count(), 4);
    other.Open();
    EXPECT_EQ(state.count(), 5);
}

// A dataset that cannot open before it knows its field's name, as a table cannot before it knows its
// table's name; a new name closes it, as a table's does.
class TNamedFieldDataSet : public TDataSet
{
    Q_OBJECT
    Q_PROPERTY(QString FieldName READ FieldName WRITE SetFieldName)
public:
    Q_INVOKABLE explicit TNamedFieldDataSet(TComponent* owner = nullptr)
        : TDataSet(owner)
    { }
    QString FieldName() const { return FFieldName; }
    void SetFieldName(const QString& value)
    {
        Close();
        FFieldName = value;
    }
    int Opens = 0;

protected:
    void InternalOpen() override
    {
        if (FFieldName.isEmpty())
            throw Exception(QStringLiteral("no field name"));
        ++Opens;
        CreateField(FFieldName, ftInteger);
    }
    void InternalClose() override { }
    bool InternalFirst() override { return true; }
    bool InternalNext() override { return false; }
    int InternalRecordCount() override { return 1; }
    QVariant InternalGetValue(int) const override { return 7; }

private:
    QString FFieldName;
};

TClassRegistry& StoredActiveRegistry()
{
    static TClassRegistry registry = [] {
        TClassRegistry r;
        RegisterPlatformClasses(r);
        r.RegisterClass<TNamedFieldDataSet>();
        return r;
    }();
    return registry;
}

QByteArray DataSetDefinition(const QByteArray& properties)
{
    return "object Form1: TComponent\r\n  object Data1: TNamedFieldDataSet\r\n" + properties
        + "  end\r\nend\r\n";
}

TEST(DataSetLoadingTest, StoredActiveOpensOnceAfterTheWholeDefinitionIsRead)
{
    struct TCase
    {
        const char* Name;
        QByteArray Properties;
        bool Active;
    };
    const TCase cases[] = {
        { "active before the name", "    Active = True\r\n    FieldName = 'N'\r\n", true },
        { "active after the name", "    FieldName = 'N'\r\n    Active = True\r\n", true },
        { "switched off again", "    Active = True\r\n    FieldName = 'N'\r\n    Active = False\r\n", false },
        { "never active", "    FieldName = 'N'\r\n", false },
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TDefinitionReader reader(StoredActiveRegistry());
        std::unique_ptr<TComponent> root(reader.Read(DataSetDefinition(c.Properties)));
        auto* data = qobject_cast<TNamedFieldDataSet*>(root->FindComponent(QStringLiteral("Data1")));
        ASSERT_NE(data, nullptr);
        EXPECT_FALSE(data->IsLoading());
        EXPECT_EQ(data->Active(), c.Active);
        EXPECT_EQ(data->Opens, c.Active ? 1 : 0);
        if (c.Active) {
            EXPECT_EQ(data->FieldByName(QStringLiteral("n"))->AsInteger(), 7);
        }
        // The wish was used up: nothing reopens a dataset closed since.
        data->Close();
        data->Loaded();
        EXPECT_FALSE(data->Active());
    }
}

TEST(DataSetLoadingTest, StoredActiveDataSetThatCannotOpenFailsTheReadAndLeavesNothing)
{
    TDefinitionReader reader(StoredActiveRegistry());
    TComponent root;
    try {
        reader.ReadInto(DataSetDefinition("    Active = True\r\n"), &root);
        FAIL() << "the read should fail";
    } catch (const EDefinitionError& error) {
        EXPECT_TRUE(error.Message().contains(QStringLiteral("Data1"))) << error.Message().toStdString();
        EXPECT_TRUE(error.Message().contains(QStringLiteral("no field name")))
            << error.Message().toStdString();
    }
    EXPECT_EQ(root.ComponentCount(), 0);
}

TEST(DataSetLoadingTest, OpeningWaitsForLoadedOnlyWhileLoading)
{
    TNamedFieldDataSet data;
    data.SetLoading(true);
    data.SetActive(true);
    EXPECT_FALSE(data.Active());
    data.SetFieldName(QStringLiteral("N"));
    EXPECT_EQ(data.Opens, 0);
    data.SetLoading(false);
    data.Loaded();
    EXPECT_TRUE(data.Active());
    EXPECT_EQ(data.Opens, 1);

    // Switching off while loading closes at once.
    data.SetLoading(true);
    data.SetActive(false);
    EXPECT_FALSE(data.Active());
    data.SetLoading(false);
    data.Loaded();
    EXPECT_FALSE(data.Active());

    // Outside loading the dataset opens at once, and a later Loaded does not open it twice.
    data.SetActive(true);
    EXPECT_TRUE(data.Active());
    EXPECT_EQ(data.Opens, 2);
    data.Close();
    data.Loaded();
    EXPECT_FALSE(data.Active());
}

} // namespace

#include "DataSetTest.moc"
