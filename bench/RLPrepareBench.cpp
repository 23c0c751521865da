// Prepares a report fed by a dataset that generates its rows on the fly, so the data takes no memory:
// one detail band of six database texts (the numeric ones with BeforePrint handlers that format their
// number, as the inventory does), two column headers and a column footer. Prints records per second,
// pages and the peak resident memory for 100,000 and 1,000,000 records (or the counts given on the
// command line). Pages go to the store's swap file, so the peak must not grow with the page count.
#include "engine/RLReport.h"

#include "platform/DataSet.h"
#include "platform/Format.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>
#include <vector>

namespace {

// VmHWM of this process in kB, or -1 when /proc is not there.
long PeakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

const char* const FieldNames[] = { "CODIGO", "NOME", "UNIDADE", "SALDO", "CUSTO", "TOTAL" };

// Rows computed from the record number when they are asked for; nothing is kept.
class TGeneratedDataSet : public TDataSet
{
public:
    TGeneratedDataSet(TComponent* AOwner, int records)
        : TDataSet(AOwner)
        , FRecords(records)
    { }

protected:
    void InternalOpen() override
    {
        FCurrent = 0;
        CreateField(QString::fromLatin1(FieldNames[0]), ftInteger);
        CreateField(QString::fromLatin1(FieldNames[1]), ftString, 40);
        CreateField(QString::fromLatin1(FieldNames[2]), ftString, 4);
        CreateField(QString::fromLatin1(FieldNames[3]), ftFloat);
        CreateField(QString::fromLatin1(FieldNames[4]), ftFloat);
        CreateField(QString::fromLatin1(FieldNames[5]), ftFloat);
    }
    void InternalClose() override { FCurrent = 0; }
    bool InternalFirst() override
    {
        FCurrent = FRecords > 0 ? 1 : 0;
        return FCurrent > 0;
    }
    bool InternalNext() override
    {
        if (FCurrent == 0 || FCurrent >= FRecords) {
            FCurrent = 0;
            return false;
        }
        ++FCurrent;
        return true;
    }
    int InternalRecordCount() override { return FRecords; }
    QVariant InternalGetValue(int field) const override
    {
        const int i = FCurrent;
        const double balance = 12.5 + i % 7;
        const double cost = 3.25 + i % 11;
        switch (field) {
        case 0:
            return i;
        case 1:
            return QStringLiteral("PRODUTO %1").arg(i);
        case 2:
            return QStringLiteral("UN");
        case 3:
            return balance;
        case 4:
            return cost;
        default:
            return balance * cost;
        }
    }

private:
    int FRecords;
    int FCurrent = 0;
};

TRLBand* AddBand(TComponent& owner, TRLReport* report, TRLBandType type, int height, const QString& caption)
{
    auto* band = new TRLBand(&owner);
    band->SetParent(report);
    band->SetBandType(type);
    band->SetHeight(height);
    auto* label = new TRLLabel(&owner);
    label->SetParent(band);
    label->SetBounds(0, 0, 400, 16);
    label->SetCaption(caption);
    return band;
}

struct TRunFigures
{
    int Records = 0;
    bool Ok = false;
    int Pages = 0;
    qint64 Milliseconds = 0;
    long PeakKb = 0;
    QString Error;
};

TRunFigures Run(int records)
{
    TComponent owner;
    auto* data = new TGeneratedDataSet(&owner, records);
    data->Open();
    auto* source = new TDataSource(&owner);
    source->SetDataSet(data);

    auto* report = new TRLReport(&owner);
    report->SetName(QStringLiteral("Bench"));
    report->SetShowProgress(false);
    report->SetDataSource(source);
    AddBand(owner, report, btColumnHeader, 18, QStringLiteral("Inventário de estoque"));
    AddBand(owner, report, btColumnHeader, 18, QStringLiteral("Código Nome Unidade Saldo Custo Total"));
    auto* detail = new TRLBand(&owner);
    detail->SetParent(report);
    detail->SetBandType(btDetail);
    detail->SetHeight(16);
    const QString quantity = QStringLiteral("#,###,##0.000");
    const QString money = QStringLiteral("#,###,##0.00");
    for (int i = 0; i < 6; ++i) {
        auto* text = new TRLDBText(&owner);
        text->SetParent(detail);
        text->SetBounds(i * 115, 0, 110, 16);
        text->SetDataSource(source);
        text->SetDataField(QString::fromLatin1(FieldNames[i]));
        if (i == 0) {
            text->BeforePrint = [](TRLCustomControl*, QString& t, bool&) {
                t = FormatFloat(QStringLiteral("000000"), StrToFloatDef(t, 0));
            };
        } else if (i >= 3) {
            const QString& format = i == 3 ? quantity : money;
            text->BeforePrint = [format](TRLCustomControl*, QString& t, bool&) {
                t = FormatFloat(format, StrToFloatDef(t, 0));
            };
        }
    }
    AddBand(owner, report, btColumnFooter, 18, QStringLiteral("Subtotal"));

    TRunFigures figures;
    figures.Records = records;
    QElapsedTimer timer;
    timer.start();
    figures.Ok = report->Prepare();
    figures.Milliseconds = qMax<qint64>(1, timer.elapsed());
    figures.Pages = report->Storage()->PageCount();
    figures.PeakKb = PeakResidentKb();
    if (!figures.Ok)
        figures.Error = report->LastError();
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i)
        if (const int n = QByteArray(argv[i]).toInt(); n > 0)
            counts.push_back(n);
    if (counts.empty())
        counts = { 100000, 1000000 };

    std::printf("%10s %8s %12s %10s %14s\n", "records", "pages", "records/s", "time_ms", "peak_rss_kb");
    long firstPeak = 0;
    int status = 0;
    for (const int records : counts) {
        const TRunFigures f = Run(records);
        std::printf("%10d %8d %12.0f %10lld %14ld\n", f.Records, f.Pages,
            f.Records * 1000.0 / double(f.Milliseconds), static_cast<long long>(f.Milliseconds), f.PeakKb);
        if (!f.Ok) {
            std::printf("error: %s\n", qPrintable(f.Error));
            status = 1;
        }
        if (firstPeak == 0)
            firstPeak = f.PeakKb;
    }
    // VmHWM only grows, so the last figure is the peak of every run; within 10% of the first means
    // the memory did not follow the record count.
    if (counts.size() > 1 && firstPeak > 0) {
        std::printf("peak growth from the first run: %.1f%%\n",
            100.0 * double(PeakResidentKb() - firstPeak) / double(firstPeak));
    }
    return status;
}
