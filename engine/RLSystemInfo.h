#pragma once
// TRLCustomSystemInfo / TRLSystemInfo: a label whose text is a value of the running report (date,
// time, page numbers, record number, title, the continuation texts of a page break...) merged into a
// template. It measures, decides and records exactly like a label.
//
// Contracts:
// - While the report prepares, ControlText reads the value from the enclosing components (band,
//   pager, skipper, report; dates and page numbers from the master report of a chain); at design time
//   it shows the friendly name or the kind's name in parentheses. Either is merged into Text by the
//   rules of RLSystemInfoText.h.
// - itMend needs an enclosing pager and throws the engine's "not found" exception (".ParentPager")
//   without one. The other kinds print an empty value when the component they read is missing.
// - The number of the last page is unknown while pages are being written: itLastPageNumber and
//   itPagePreview record the placeholder "{LastPageNumber}", which the page store replaces whenever
//   a page is shown or exported.
// - The caption is computed, never a design value: Caption is not stored in definitions.
#include "engine/RLLabels.h"
#include "engine/RLSystemInfoText.h"

class TRLCustomSystemInfo : public TRLCustomLabel
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption STORED false)
    Q_PROPERTY(RLInfoTypes::TRLInfoType Info READ Info WRITE SetInfo)
    Q_PROPERTY(QString Text READ Text WRITE SetText)
public:
    Q_INVOKABLE explicit TRLCustomSystemInfo(TComponent* AOwner = nullptr);

    TRLInfoType Info() const { return FInfo; }
    void SetInfo(TRLInfoType value);
    // The template: "#" marks where the value goes, "|first;second" gives the texts of itJunction and
    // itMend.
    QString Text() const { return FText; }
    void SetText(const QString& value);

    QString ControlText() override;

    // The state of the run as this control sees it from its place in the report.
    TRLInfoContext InfoContext() const;

protected:
    bool IsPropertyStored(const QMetaProperty& property) const override;

private:
    TRLInfoType FInfo = itDate;
    QString FText;
};

class TRLSystemInfo : public TRLCustomSystemInfo
{
    Q_OBJECT
public:
    Q_INVOKABLE explicit TRLSystemInfo(TComponent* AOwner = nullptr)
        : TRLCustomSystemInfo(AOwner)
    { }
};
