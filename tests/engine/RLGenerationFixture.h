#pragma once
// A small report built in code for the generation tests: custom paper without margins, bands whose
// single label shows a fixed caption (details add the record's "N" field), an in-memory data set, and
// readers of the texts each stored page holds.
#include "engine/RLReport.h"

#include "platform/DataSet.h"
#include "platform/MemDataSet.h"

#include <QList>
#include <QPair>
#include <QStringList>

inline double Mm(int pixels)
{
    return pixels * 25.4 / 96.0;
}

// A report on a custom paper of Width x Height pixels without margins, with bands whose single label
// shows a fixed caption, or for details the caption plus the record's "N" field.
class TGenerationFixture
{
public:
    explicit TGenerationFixture(int width = 200, int height = 300)
    {
        Report = new TRLReport(&Form);
        Report->SetName(QStringLiteral("Report"));
        Report->SetShowProgress(false);
        Report->Margins()->SetDefaults(0, 0, 0, 0);
        Report->PageSetup()->SetPaperSize(fpCustom);
        Report->PageSetup()->SetPaperWidth(Mm(width));
        Report->PageSetup()->SetPaperHeight(Mm(height));
    }

    TRLBand* Band(TRLBandType type, int height, const QString& caption, TRLCustomPager* parent = nullptr)
    {
        auto* band = new TRLBand(&Form);
        band->SetParent(parent ? parent : Report);
        band->SetBandType(type);
        band->SetHeight(height);
        if (!caption.isEmpty()) {
            auto* label = new TRLLabel(&Form);
            label->SetParent(band);
            label->SetBounds(0, 0, 10, 10);
            label->SetCaption(caption);
            if (type == btDetail && Data)
                label->BeforePrint = [this, caption](TRLCustomControl*, QString& text, bool&) {
                    // Fillers and blank bands print empty texts.
                    if (!Report->IsCompleting() && Report->RecordAction() != raBlankAndRetain)
                        text = caption + Data->FieldByName(QStringLiteral("N"))->AsString();
                };
        }
        return band;
    }

    // Records numbered 1..count with keys taken from the list in turn (or "A").
    void Records(int count, const QStringList& keys = {})
    {
        Data = new TMemDataSet(&Form);
        Data->AddField(QStringLiteral("N"), ftInteger);
        Data->AddField(QStringLiteral("K"), ftString, 10);
        for (int i = 1; i <= count; ++i)
            Data->AppendRecord({ i, keys.isEmpty() ? QStringLiteral("A") : keys.at((i - 1) % keys.size()) });
        Data->SetActive(true);
        Source = new TDataSource(&Form);
        Source->SetDataSet(Data);
        Report->SetDataSource(Source);
    }

    int PageCount() const { return Report->Storage()->PageCount(); }

    // The texts of a page in drawing order.
    QStringList Texts(int page) const
    {
        QStringList texts;
        for (const auto& [text, top] : TextTops(page))
            texts.append(text);
        return texts;
    }

    QList<QPair<QString, int>> TextTops(int page) const
    {
        QList<QPair<QString, int>> texts;
        TRLGraphicSurface* surface = Report->Storage()->Pages(page);
        if (!surface)
            return texts;
        for (int i = 0; i < surface->ObjectCount(); ++i)
            if (auto* text = dynamic_cast<TRLTextObject*>(surface->Objects(i)))
                texts.append({ text->DisplayText(), text->BoundsRect.Top });
        return texts;
    }

    int TopOf(int page, const QString& text) const
    {
        for (const auto& [t, top] : TextTops(page))
            if (t == text)
                return top;
        return -1;
    }

    int CountOf(int page, const QString& prefix) const
    {
        int count = 0;
        for (const QString& text : Texts(page))
            count += text.startsWith(prefix);
        return count;
    }

    TComponent Form;
    TRLReport* Report = nullptr;
    TMemDataSet* Data = nullptr;
    TDataSource* Source = nullptr;
};
