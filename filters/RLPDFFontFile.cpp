#include "filters/RLPDFFontFile.h"

#include "platform/Cp1252.h"
#include "platform/Exceptions.h"

#include <QCryptographicHash>
#include <QFont>
#include <QRawFont>

#include <hb-subset.h>
#include <hb.h>

#include <memory>

namespace {

// The font as GetFontMetrics opens it, so that outlines and declared widths come from one face.
QRawFont OpenFace(const QString& FaceName, TFontStyles Style)
{
    QFont font(SubstituteFaceName(FaceName));
    font.setPixelSize(1000);
    font.setBold(Style & fsBold);
    font.setItalic(Style & fsItalic);
    font.setKerning(false);
    font.setHintingPreference(QFont::PreferNoHinting);
    return QRawFont::fromFont(font);
}

// The tables a TrueType font program for a reader needs: outlines, metrics, the character map, the
// names and the hinting programs. Shaping tables are of no use to a reader of a simple font.
constexpr const char* EmbeddedTables[] = { "head", "hhea", "maxp", "hmtx", "loca", "glyf", "cmap", "name",
    "OS/2", "post", "cvt ", "fpgm", "prep", "gasp" };

struct THbDeleter
{
    void operator()(hb_face_t* Face) const { hb_face_destroy(Face); }
    void operator()(hb_subset_input_t* Input) const { hb_subset_input_destroy(Input); }
    void operator()(hb_blob_t* Blob) const { hb_blob_destroy(Blob); }
};

QString SubsetFailure(const QString& FaceName)
{
    return QStringLiteral("Could not subset the font \"%1\" for embedding").arg(FaceName);
}

} // namespace

QByteArray SubsetTrueTypeFont(const QString& FaceName, TFontStyles Style, const TRLPDFCodeSet& Codes)
{
    const QRawFont raw = OpenFace(FaceName, Style);
    if (!raw.isValid() || raw.fontTable("glyf").isEmpty() || raw.fontTable("loca").isEmpty())
        return {};
    // The platform gives the face table by table; HarfBuzz puts them together into a font file, which
    // it then reads as a face of its own (a face made of table callbacks has no table directory for
    // the subsetter to walk).
    const std::unique_ptr<hb_face_t, THbDeleter> builder(hb_face_builder_create());
    for (const char* tag : EmbeddedTables) {
        const QByteArray table = raw.fontTable(tag);
        if (table.isEmpty())
            continue;
        const std::unique_ptr<hb_blob_t, THbDeleter> blob(hb_blob_create(
            table.constData(), unsigned(table.size()), HB_MEMORY_MODE_DUPLICATE, nullptr, nullptr));
        hb_face_builder_add_table(builder.get(), hb_tag_from_string(tag, 4), blob.get());
    }
    const std::unique_ptr<hb_blob_t, THbDeleter> whole(hb_face_reference_blob(builder.get()));
    const std::unique_ptr<hb_face_t, THbDeleter> face(hb_face_create(whole.get(), 0));
    const std::unique_ptr<hb_subset_input_t, THbDeleter> input(hb_subset_input_create_or_fail());
    if (!face || !input || hb_face_get_glyph_count(face.get()) == 0)
        throw Exception(SubsetFailure(FaceName));
    hb_set_t* unicodes = hb_subset_input_unicode_set(input.get());
    for (int code = 0; code < 256; ++code)
        if (Codes.test(std::size_t(code)))
            hb_set_add(unicodes, Cp1252ToChar(uchar(code)));
    // A simple font reaches its glyphs through the cmap, or through the glyph names for readers
    // that go by the encoding's names.
    hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_GLYPH_NAMES);
    const std::unique_ptr<hb_face_t, THbDeleter> subset(hb_subset_or_fail(face.get(), input.get()));
    if (!subset)
        throw Exception(SubsetFailure(FaceName));
    const std::unique_ptr<hb_blob_t, THbDeleter> blob(hb_face_reference_blob(subset.get()));
    unsigned length = 0;
    const char* data = hb_blob_get_data(blob.get(), &length);
    if (!data || length == 0)
        throw Exception(SubsetFailure(FaceName));
    return QByteArray(data, qsizetype(length));
}

QByteArray PDFSubsetTag(const QString& FaceName, TFontStyles Style, const TRLPDFCodeSet& Codes)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(FaceName.toUtf8());
    hash.addData(QByteArray::number(int(Style)));
    hash.addData(QByteArray::fromStdString(Codes.to_string()));
    const QByteArray digest = hash.result();
    QByteArray tag(6, 'A');
    for (int i = 0; i < 6; ++i)
        tag[i] = char('A' + uchar(digest[i]) % 26);
    return tag;
}

QByteArray PDFToUnicodeCMap(const TRLPDFCodeSet& Codes)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out += "/CIDInit /ProcSet findresource begin\n"
           "12 dict begin\n"
           "begincmap\n"
           "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
           "/CMapName /Adobe-Identity-UCS def\n"
           "/CMapType 2 def\n"
           "1 begincodespacerange\n"
           "<00> <FF>\n"
           "endcodespacerange\n";
    // At most a hundred mappings per block, as CMaps allow.
    int code = 0;
    while (code < 256) {
        QByteArray block;
        int count = 0;
        for (; code < 256 && count < 100; ++code) {
            if (!Codes.test(std::size_t(code)))
                continue;
            const char16_t unicode = Cp1252ToChar(uchar(code));
            const char entry[]
                = { '<', hex[code >> 4], hex[code & 15], '>', ' ', '<', hex[(unicode >> 12) & 15],
                      hex[(unicode >> 8) & 15], hex[(unicode >> 4) & 15], hex[unicode & 15], '>', '\n' };
            block.append(entry, sizeof entry);
            ++count;
        }
        if (count == 0)
            break;
        out += QByteArray::number(count) + " beginbfchar\n" + block + "endbfchar\n";
    }
    out += "endcmap\n"
           "CMapName currentdict /CMap defineresource pop\n"
           "end\n"
           "end\n";
    return out;
}
