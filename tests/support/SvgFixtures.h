#pragma once

// SVG documents for the tests: well-behaved icons and the hostile kinds a file
// named on the screen may be.
#include <QByteArray>
#include <QString>

#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")

namespace SvgFixtures {

// A red square with a green disc, of the given declared size (w, h) and view box.
inline QByteArray icon(const QByteArray& size = "width=\"24\" height=\"24\"",
                       const QByteArray& viewBox = "0 0 24 24") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" " +
           size + " viewBox=\"" + viewBox +
           "\">"
           "<rect x=\"-100000\" y=\"-100000\" width=\"200000\" height=\"200000\" fill=\"#d02020\"/>"
           "</svg>\n";
}

// Entities that expand to ten to the eighth copies of a word.
inline QByteArray billionLaughs() {
    QByteArray dtd = "<!ENTITY l0 \"lol\">";
    for (int i = 1; i <= 8; ++i) {
        QByteArray expansion;
        for (int k = 0; k < 10; ++k)
            expansion += "&l" + QByteArray::number(i - 1) + ";";
        dtd += "<!ENTITY l" + QByteArray::number(i) + " \"" + expansion + "\">";
    }
    return "<?xml version=\"1.0\"?>\n<!DOCTYPE svg [" + dtd +
           "]>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"40\" height=\"40\"><text "
           "y=\"20\">&l8;</text></svg>";
}

// gzip, as an .svgz holds it.
inline QByteArray gzip(const QByteArray& bytes) {
    GConverter* compressor = G_CONVERTER(g_zlib_compressor_new(G_ZLIB_COMPRESSOR_FORMAT_GZIP, -1));
    QByteArray out(int(bytes.size() + 1024), '\0');
    gsize read = 0, written = 0;
    const GConverterResult result =
        g_converter_convert(compressor, bytes.constData(), gsize(bytes.size()), out.data(), gsize(out.size()),
                            G_CONVERTER_INPUT_AT_END, &read, &written, nullptr);
    g_object_unref(compressor);
    out.truncate(result == G_CONVERTER_FINISHED ? qsizetype(written) : 0);
    return out;
}

} // namespace SvgFixtures
