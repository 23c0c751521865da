// Times the engine's inner loop: six database texts of a detail line decide, measure and record
// themselves for every record of a data set. Prints microseconds per line.
#include "engine/RLReport.h"
#include "pagestore/RLMetaFile.h"
#include "platform/MemDataSet.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM",
        qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    const int records = argc > 1 ? qMax(1, atoi(argv[1])) : 20000;

    TComponent owner;
    auto* dataSet = new TMemDataSet(&owner);
    dataSet->AddField("CODIGO", ftInteger);
    dataSet->AddField("NOME", ftString, 40);
    dataSet->AddField("UNIDADE", ftString, 3);
    dataSet->AddField("SALDO", ftFloat);
    dataSet->AddField("CUSTO", ftFloat);
    dataSet->AddField("TOTAL", ftFloat);
    for (int i = 0; i < records; ++i) {
        const double saldo = 1 + (i % 97) * 0.5;
        const double custo = 0.25 + (i % 13) * 1.75;
        dataSet->AppendRecord({ 1000 + i, QStringLiteral("PRODUTO DE TESTE NUMERO %1").arg(i), "UN", saldo,
            custo, saldo * custo });
    }
    dataSet->Open();
    for (const char* name : { "SALDO", "CUSTO", "TOTAL" })
        dataSet->FieldByName(name)->SetDisplayFormat("#,###,##0.00");
    auto* source = new TDataSource(&owner);
    source->SetDataSet(dataSet);

    auto* report = new TRLCustomReport(&owner);
    auto* band = new TRLCustomBand(&owner);
    band->SetParent(report);
    band->SetBounds(38, 38, 718, 18);
    const struct
    {
        const char* field;
        int left;
        int width;
        TRLTextAlignment alignment;
    } columns[] {
        { "CODIGO", 0, 60, taLeftJustify },
        { "NOME", 64, 300, taLeftJustify },
        { "UNIDADE", 370, 30, taCenter },
        { "SALDO", 410, 90, taRightJustify },
        { "CUSTO", 510, 90, taRightJustify },
        { "TOTAL", 610, 100, taRightJustify },
    };
    QList<TRLDBText*> texts;
    for (const auto& column : columns) {
        auto* text = new TRLDBText(&owner);
        text->SetParent(band);
        text->SetBounds(column.left, 1, column.width, 16);
        text->SetAlignment(column.alignment);
        text->SetDataSource(source);
        text->SetDataField(column.field);
        texts << text;
    }
    report->SetState(rsWriting);
    TRLGraphicSurface* surface = band->Surface();

    QElapsedTimer timer;
    timer.start();
    int lines = 0;
    qint64 objects = 0;
    for (dataSet->First(); !dataSet->Eof(); dataSet->Next()) {
        for (TRLDBText* text : std::as_const(texts))
            if (text->AskToPrint())
                text->AdjustBounds();
        for (TRLDBText* text : std::as_const(texts))
            if (text->PrintIt())
                text->PrintControl();
        objects += surface->ObjectCount();
        surface->Clear();
        ++lines;
    }
    const qint64 nanoseconds = timer.nsecsElapsed();
    std::printf("%d lines, %lld text objects, %.3f us per line\n", lines, static_cast<long long>(objects),
        double(nanoseconds) / 1000.0 / qMax(1, lines));
    return 0;
}
