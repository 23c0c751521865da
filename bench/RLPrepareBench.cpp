// Prepares a report of 100,000 records (six database texts per detail line, with a header, a column
// header, a column footer and a summary) and prints records per second, pages, and the peak resident
// memory. Pages go to the store's swap file, so the peak must not grow with the page count.
#include "engine/RLReport.h"

#include "platform/DataSet.h"
#include "platform/MemDataSet.h"

#include <QGuiApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

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

TRLBand* AddBand(TComponent& owner, TRLReport* report, TRLBandType type, int height, const QString& caption)
{
    auto* band = new TRLBand(&owner);
    band->SetParent(report);
    band->SetBandType(type);
    band->SetHeight(height);
    auto* label = new TRLLabel(&owner);
    label->SetParent(band);
    label->SetBounds(0, 0, 100, 16);
    label->SetCaption(caption);
    return band;
}

void Run(int records)
{
    TComponent owner;
    auto* data = new TMemDataSet(&owner);
    const char* names[] = { "CODIGO", "NOME", "UNIDADE", "SALDO", "CUSTO", "TOTAL" };
    data->AddField(QString::fromLatin1(names[0]), ftInteger);
    data->AddField(QString::fromLatin1(names[1]), ftString, 40);
    data->AddField(QString::fromLatin1(names[2]), ftString, 4);
    data->AddField(QString::fromLatin1(names[3]), ftFloat);
    data->AddField(QString::fromLatin1(names[4]), ftFloat);
    data->AddField(QString::fromLatin1(names[5]), ftFloat);
    for (int i = 1; i <= records; ++i)
        data->AppendRecord({ i, QStringLiteral("PRODUTO %1").arg(i), QStringLiteral("UN"), 12.5 + i % 7,
            3.25 + i % 11, (12.5 + i % 7) * (3.25 + i % 11) });
    data->SetActive(true);
    auto* source = new TDataSource(&owner);
    source->SetDataSet(data);

    auto* report = new TRLReport(&owner);
    report->SetName(QStringLiteral("Bench"));
    report->SetShowProgress(false);
    report->SetDataSource(source);
    AddBand(owner, report, btHeader, 20, QStringLiteral("Inventário"));
    AddBand(owner, report, btColumnHeader, 18, QStringLiteral("Código Nome Unidade Saldo Custo Total"));
    auto* detail = new TRLBand(&owner);
    detail->SetParent(report);
    detail->SetBandType(btDetail);
    detail->SetHeight(16);
    for (int i = 0; i < 6; ++i) {
        auto* text = new TRLDBText(&owner);
        text->SetParent(detail);
        text->SetBounds(i * 115, 0, 110, 16);
        text->SetDataSource(source);
        text->SetDataField(QString::fromLatin1(names[i]));
    }
    AddBand(owner, report, btColumnFooter, 18, QStringLiteral("Subtotal"));
    AddBand(owner, report, btSummary, 40, QStringLiteral("Totais"));

    const long before = PeakResidentKb();
    QElapsedTimer timer;
    timer.start();
    const bool ok = report->Prepare();
    const qint64 ms = qMax<qint64>(1, timer.elapsed());
    std::printf("records=%d ok=%d pages=%d time_ms=%lld records_per_s=%.0f peak_rss_kb_before=%ld peak_rss_kb=%ld\n",
        records, int(ok), report->Storage()->PageCount(), static_cast<long long>(ms), records * 1000.0 / double(ms),
        before, PeakResidentKb());
    if (!ok)
        std::printf("error: %s\n", qPrintable(report->LastError()));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int records = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;
    // A small run first, so the second figure shows whether the peak grows with the pages.
    Run(records / 10);
    Run(records);
    return 0;
}
