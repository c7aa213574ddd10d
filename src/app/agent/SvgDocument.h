#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

// An SVG file is a program of a kind: it may declare entities that expand to
// gigabytes, pull in other files or reach out to the web, and its size says
// nothing of its pixels. A file we are pointed at by on-screen text is
// untrusted, so the whole document is read and checked before the renderer
// sees it: only a self-contained SVG of bounded size passes.
//
// The renderer is also given no location for the document, so it could not
// resolve a relative or outside reference even if one slipped past this check.
namespace SvgDocument {

struct Limits {
    qsizetype maxBytes = 8 * 1024 * 1024; // of markup, after inflating an .svgz
    int maxElements = 50'000;             // librsvg renders every tile from all of them
    int maxDepth = 256;
    // Filter effects are what makes a small document slow to draw: each step
    // of a filter works on every pixel an element covers, and drawing one
    // strip of the picture cannot be interrupted. Summed over the elements
    // drawn through a filter, that filter's steps stay within this (a
    // drop-shadowed icon needs a handful; this many take 1.5 to 2 seconds at
    // the widest card on a busy two-core machine).
    int maxFilterWork = 64;
};

// The markup in a file's bytes: as they are, or inflated when they are
// gzip-compressed (an .svgz). None when inflating fails or the markup would
// be longer than maxBytes.
std::optional<QByteArray> markup(QByteArrayView file, qsizetype maxBytes);

// Whether markup is an SVG document that draws from itself alone: well-formed
// XML whose root element is svg; no entity declarations or references; no
// style sheet instruction or @import; every link (an href, a url(...) in an
// attribute or a style sheet) to a fragment of the document itself or to a
// PNG or JPEG embedded as a data: URL; within the limits above.
bool isSelfContained(QByteArrayView markup, const Limits& limits = {});

// The markup to hand to the renderer, or none when the file is not such a document.
std::optional<QByteArray> screened(QByteArrayView file, const Limits& limits = {});

} // namespace SvgDocument
