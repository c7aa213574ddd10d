#include "app/agent/SvgDocument.h"

#include <QHash>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <memory>

// GLib names struct members "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace SvgDocument {

namespace {

struct Unref {
    void operator()(void* object) const { g_object_unref(object); }
};
template <typename T> using Owned = std::unique_ptr<T, Unref>;

bool isGzip(QByteArrayView bytes) {
    return bytes.size() >= 2 && uchar(bytes[0]) == 0x1f && uchar(bytes[1]) == 0x8b;
}

// Inflates through GIO, which libvips already brings, reading one byte past
// the limit to tell a document that is too long.
std::optional<QByteArray> inflated(QByteArrayView file, qsizetype maxBytes) {
    Owned<GInputStream> compressed(g_memory_input_stream_new_from_data(file.data(), file.size(), nullptr));
    Owned<GConverter> gunzip(G_CONVERTER(g_zlib_decompressor_new(G_ZLIB_COMPRESSOR_FORMAT_GZIP)));
    Owned<GInputStream> plain(g_converter_input_stream_new(compressed.get(), gunzip.get()));
    QByteArray out;
    char buffer[64 * 1024];
    for (;;) {
        GError* error = nullptr;
        const gssize got = g_input_stream_read(plain.get(), buffer, sizeof buffer, nullptr, &error);
        if (got < 0) {
            g_error_free(error);
            return std::nullopt;
        }
        if (got == 0) return out;
        if (out.size() + got > maxBytes) return std::nullopt;
        out.append(buffer, got);
    }
}

bool isSameDocument(QStringView target) {
    return target.trimmed().startsWith(u'#');
}

// Pictures embedded in the document. Only the two common types: any other
// would be handed to whichever decoder the image library has for it.
bool isEmbeddedPicture(QStringView target) {
    static const QRegularExpression picture(QStringLiteral("^\\s*data:image/(png|jpeg)[;,]"),
                                            QRegularExpression::CaseInsensitiveOption);
    return picture.match(target).hasMatch();
}

bool isInside(QStringView target) {
    return isSameDocument(target) || isEmbeddedPicture(target);
}

// Every url(...) in style text (an attribute's value or a style sheet) points
// inside, and no sheet imports another.
bool stylesStayInside(QStringView text) {
    if (text.contains(u"@import", Qt::CaseInsensitive)) return false;
    static const QRegularExpression url(QStringLiteral("url\\s*\\(\\s*[\"']?([^\"')]*)"),
                                        QRegularExpression::CaseInsensitiveOption);
    for (const QRegularExpressionMatch& m : url.globalMatch(text)) {
        if (!isInside(m.capturedView(1))) return false;
    }
    return true;
}

// The filters an element names ("f" for filter="url(#f)"), as an attribute
// and in its style; when it names two, both are counted.
QStringList filtersOf(const QXmlStreamAttributes& attributes) {
    static const QRegularExpression reference(QStringLiteral("filter\\s*:\\s*url\\(\\s*[\"']?#([^\"')\\s]*)"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QString declared = QStringLiteral("filter:") +
                             attributes.value(QLatin1String("filter")).toString() + QLatin1Char(';') +
                             attributes.value(QLatin1String("style")).toString();
    QStringList filters;
    for (const QRegularExpressionMatch& m : reference.globalMatch(declared))
        filters.append(m.captured(1));
    return filters;
}

// A link's target is only followed by a click, never drawn, so an a
// element's href may point anywhere.
bool attributesStayInside(QStringView element, const QXmlStreamAttributes& attributes) {
    for (const QXmlStreamAttribute& a : attributes) {
        // href in any namespace: SVG 2's plain one, xlink:href, XInclude's.
        if (a.name() == u"href" && element != u"a" && !isInside(a.value())) return false;
        if (!stylesStayInside(a.value())) return false;
    }
    return true;
}

} // namespace

std::optional<QByteArray> markup(QByteArrayView file, qsizetype maxBytes) {
    if (isGzip(file)) return inflated(file, maxBytes);
    if (file.size() > maxBytes) return std::nullopt;
    return file.toByteArray();
}

bool isSelfContained(QByteArrayView markup, const Limits& limits) {
    if (markup.size() > limits.maxBytes) return false;
    QXmlStreamReader xml(markup.toByteArray());
    int elements = 0;
    int depth = 0;
    bool inStyle = false;
    QString style;                // a style sheet's text, whole: CDATA sections may split it
    QHash<QString, qint64> steps; // of each filter, by its id: its fe... elements
    QHash<QString, qint64> uses;  // of each filter, by its id: the elements drawn through it
    QString inFilter;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::DTD:
            // An external DTD is never fetched and changes nothing; declared
            // entities are how a few hundred bytes expand to gigabytes.
            if (!xml.entityDeclarations().isEmpty() || xml.text().contains(u"<!ENTITY")) return false;
            break;
        case QXmlStreamReader::EntityReference:
            return false;
        case QXmlStreamReader::ProcessingInstruction:
            if (xml.processingInstructionTarget() == u"xml-stylesheet") return false;
            break;
        case QXmlStreamReader::StartElement:
            if (elements == 0 && xml.name() != u"svg") return false;
            if (++elements > limits.maxElements || ++depth > limits.maxDepth) return false;
            if (!attributesStayInside(xml.name(), xml.attributes())) return false;
            inStyle = xml.name() == u"style";
            style.clear();
            if (xml.name() == u"filter") {
                inFilter = xml.attributes().value(QLatin1String("id")).toString();
            } else if (!inFilter.isNull() && xml.name().startsWith(u"fe")) {
                ++steps[inFilter];
            }
            for (const QString& filter : filtersOf(xml.attributes()))
                ++uses[filter];
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            if (inStyle && !stylesStayInside(style)) return false;
            inStyle = false;
            if (xml.name() == u"filter") inFilter = QString();
            break;
        case QXmlStreamReader::Characters:
            if (inStyle) style += xml.text();
            break;
        default:
            break;
        }
    }
    if (xml.hasError() || elements == 0) return false;
    qint64 work = 0;
    for (auto it = uses.cbegin(); it != uses.cend(); ++it)
        work += it.value() * steps.value(it.key());
    return work <= limits.maxFilterWork;
}

std::optional<QByteArray> screened(QByteArrayView file, const Limits& limits) {
    std::optional<QByteArray> text = markup(file, limits.maxBytes);
    if (!text || !isSelfContained(*text, limits)) return std::nullopt;
    return text;
}

} // namespace SvgDocument
