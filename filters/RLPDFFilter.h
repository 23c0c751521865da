#pragma once
// The PDF writer: a save filter that writes the pages of a page store as an uncompressed PDF 1.2
// document, front to back in one pass. Every page object becomes a few content-stream operators;
// texts use a standard Type 1 font when the face is one of the fourteen standard names and a
// TrueType font described by its measured widths otherwise; pictures become RGB image objects in
// hexadecimal, written once per document however often they are drawn.
//
// Ownership and contracts:
// - The filter owns its DocumentInfo. A new filter copies the process-wide default
//   (DefaultPDFDocumentInfo), whose Creator is "Quillborough v0.6".
// - BeginDocument resets PageMode, FullPageMode, PageLayout, ViewerOptions, ForceASCII and
//   FontEncoding to their defaults, so every document is written with the defaults whatever was set.
// - The document is written beside FileName and takes its place only when EndDocument completes a
//   run that was not aborted; a failure or a cancel leaves an older file of that name untouched.
// - EmbedFonts and Compress (both off unless asked for) are kept across documents. EmbedFonts
//   embeds every TrueType font as a subset of the glyphs used, with a ToUnicode map; Compress
//   writes page contents and embedded fonts with FlateDecode. A document made with either also
//   names its Producer and gives its creation date with the time zone offset. Without them the
//   file is the plain one, byte for byte.
//   Failing to create or write the file raises Exception naming the file in the user's language.
// - Memory stays flat however long the document is: pages stream to the file as they come; only
//   the object offsets and the font and image tables grow with the document.
// - One filter writes one document at a time; it may run on the filter thread.
#include "filters/RLFilters.h"

#include <QDateTime>
#include <QFlags>
#include <QObject>
#include <QString>

#include <memory>

namespace RLPDF {
Q_NAMESPACE

enum TRLPDFFilterViewerOption : int {
    voRegular = 1,
    voHideToolBar = 2,
    voHideMenuBar = 4,
    voHideWindowUI = 8,
    voFitWindow = 16,
    voCenterWindow = 32
};
Q_DECLARE_FLAGS(TRLPDFFilterViewerOptions, TRLPDFFilterViewerOption)
Q_FLAG_NS(TRLPDFFilterViewerOptions)

enum TRLPDFFilterPageMode : int { pmRegular, pmOutlines, pmThumbs, pmFullScreen };
Q_ENUM_NS(TRLPDFFilterPageMode)

enum TRLPDFFilterPageLayout : int { plRegular, plSinglePage, plOneColumn, plTwoColumnLeft, plTwoColumnRight };
Q_ENUM_NS(TRLPDFFilterPageLayout)

enum TRLPDFFilterFontEncoding : int { feNoEncoding, feMacRomanEncoding, feWinAnsiEncoding };
Q_ENUM_NS(TRLPDFFilterFontEncoding)

} // namespace RLPDF
Q_DECLARE_OPERATORS_FOR_FLAGS(RLPDF::TRLPDFFilterViewerOptions)
using namespace RLPDF;

// The document information texts written into the document's info dictionary; empty ones are left
// out.
class TRLPDFFilterDocumentInfo : public TPersistent
{
    Q_OBJECT
    Q_PROPERTY(QString Title READ Title WRITE SetTitle)
    Q_PROPERTY(QString Subject READ Subject WRITE SetSubject)
    Q_PROPERTY(QString Author READ Author WRITE SetAuthor)
    Q_PROPERTY(QString KeyWords READ KeyWords WRITE SetKeyWords)
    Q_PROPERTY(QString Creator READ Creator WRITE SetCreator)
    Q_PROPERTY(QString Producer READ Producer WRITE SetProducer)
public:
    Q_INVOKABLE explicit TRLPDFFilterDocumentInfo(QObject* Parent = nullptr)
        : TPersistent(Parent)
    { }

    QString Title() const { return FTitle; }
    void SetTitle(const QString& Value) { FTitle = Value; }
    QString Subject() const { return FSubject; }
    void SetSubject(const QString& Value) { FSubject = Value; }
    QString Author() const { return FAuthor; }
    void SetAuthor(const QString& Value) { FAuthor = Value; }
    QString KeyWords() const { return FKeyWords; }
    void SetKeyWords(const QString& Value) { FKeyWords = Value; }
    QString Creator() const { return FCreator; }
    void SetCreator(const QString& Value) { FCreator = Value; }
    QString Producer() const { return FProducer; }
    void SetProducer(const QString& Value) { FProducer = Value; }

    // Copies the six texts; no source clears them.
    void Assign(const TPersistent* Source) override;
    void Clear();

private:
    QString FTitle;
    QString FSubject;
    QString FAuthor;
    QString FKeyWords;
    QString FCreator;
    QString FProducer;
};

// The process-wide default every new PDF filter starts from: all empty but Creator.
TRLPDFFilterDocumentInfo& DefaultPDFDocumentInfo();

// The Producer a document made with embedded fonts or compression names when DocumentInfo has none.
inline constexpr const char* PDFWriterProducer = "Quillborough v0.6 PDF writer";

class TRLPDFDocumentWriter;

class TRLPDFFilter : public TRLCustomSaveFilter
{
    Q_OBJECT
    Q_PROPERTY(TRLPDFFilterDocumentInfo* DocumentInfo READ DocumentInfo WRITE SetDocumentInfo)
    Q_PROPERTY(RLPDF::TRLPDFFilterViewerOptions ViewerOptions READ ViewerOptions WRITE SetViewerOptions)
    Q_PROPERTY(RLPDF::TRLPDFFilterPageMode PageMode READ PageMode WRITE SetPageMode)
    Q_PROPERTY(RLPDF::TRLPDFFilterPageMode FullPageMode READ FullPageMode WRITE SetFullPageMode)
    Q_PROPERTY(RLPDF::TRLPDFFilterPageLayout PageLayout READ PageLayout WRITE SetPageLayout)
    Q_PROPERTY(RLPDF::TRLPDFFilterFontEncoding FontEncoding READ FontEncoding WRITE SetFontEncoding)
    Q_PROPERTY(bool ForceASCII READ ForceASCII WRITE SetForceASCII)
    Q_PROPERTY(bool EmbedFonts READ EmbedFonts WRITE SetEmbedFonts)
    Q_PROPERTY(bool Compress READ Compress WRITE SetCompress)
public:
    Q_INVOKABLE explicit TRLPDFFilter(TComponent* AOwner = nullptr);
    ~TRLPDFFilter() override;

    TRLPDFFilterDocumentInfo* DocumentInfo() const { return FDocumentInfo; }
    // Copies Value's texts; null clears them.
    void SetDocumentInfo(TRLPDFFilterDocumentInfo* Value);
    TRLPDFFilterViewerOptions ViewerOptions() const { return FViewerOptions; }
    void SetViewerOptions(TRLPDFFilterViewerOptions Value) { FViewerOptions = Value; }
    TRLPDFFilterPageMode PageMode() const { return FPageMode; }
    void SetPageMode(TRLPDFFilterPageMode Value) { FPageMode = Value; }
    TRLPDFFilterPageMode FullPageMode() const { return FFullPageMode; }
    void SetFullPageMode(TRLPDFFilterPageMode Value) { FFullPageMode = Value; }
    TRLPDFFilterPageLayout PageLayout() const { return FPageLayout; }
    void SetPageLayout(TRLPDFFilterPageLayout Value) { FPageLayout = Value; }
    TRLPDFFilterFontEncoding FontEncoding() const { return FFontEncoding; }
    void SetFontEncoding(TRLPDFFilterFontEncoding Value) { FFontEncoding = Value; }
    bool ForceASCII() const { return FForceASCII; }
    void SetForceASCII(bool Value) { FForceASCII = Value; }
    bool EmbedFonts() const { return FEmbedFonts; }
    void SetEmbedFonts(bool Value) { FEmbedFonts = Value; }
    bool Compress() const { return FCompress; }
    void SetCompress(bool Value) { FCompress = Value; }

    // The creation date written into the next documents; an invalid value (the default) means the
    // local date and time when the document begins. Tests pin it to get repeatable bytes.
    QDateTime CreationDate() const { return FCreationDate; }
    void SetCreationDate(const QDateTime& Value) { FCreationDate = Value; }

    bool IsPropertyStored(const QMetaProperty& property) const override;

protected:
    void BeginDocument() override;
    void EndDocument() override;
    void NewPage() override { }
    void DrawPage(TRLGraphicSurface* Surface) override;

private:
    TRLPDFFilterDocumentInfo* FDocumentInfo;
    TRLPDFFilterViewerOptions FViewerOptions = voRegular;
    TRLPDFFilterPageMode FPageMode = pmRegular;
    TRLPDFFilterPageMode FFullPageMode = pmRegular;
    TRLPDFFilterPageLayout FPageLayout = plRegular;
    TRLPDFFilterFontEncoding FFontEncoding = feWinAnsiEncoding;
    bool FForceASCII = false;
    bool FEmbedFonts = false;
    bool FCompress = false;
    QDateTime FCreationDate;
    // The document being written, between BeginDocument and EndDocument.
    std::unique_ptr<TRLPDFDocumentWriter> FDocument;
};
