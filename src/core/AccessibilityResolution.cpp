// The disk half of the accessibility lookup: turning what the elements said
// into one existing image. Runs on a worker in the agent; touches no element.
#include "core/AccessibilityLookup.h"
#include "core/CodexSessions.h"
#include "core/Diagnostics.h"
#include "core/ImageReference.h"

#include <QFileInfo>

namespace AccessibilityLookup {

namespace {

using Diagnostics::print;

bool isWebScheme(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty();
}

std::optional<QUrl> labelReference(const QString& label, const ResolutionContext& context) {
    if (auto url = ImageReference::resolveOnDisk(label, context)) return url;
    return CodexSessions::match(ImageReference::trimmed(label));
}

std::optional<QUrl> resolved(const Finding& f, const ResolutionContext& context) {
    switch (f.kind) {
    case Finding::Kind::Attribute:
        if (auto url = imageURLFromAccessibilityValue(f.value, context, f.knownImage)) {
            if (Diagnostics::verbose())
                print(QStringLiteral("  [ax] ") + f.role + QStringLiteral(" AXURL -> ") + url->path());
            return url;
        }
        return std::nullopt;
    case Finding::Kind::Given:
        if (const QUrl* url = std::get_if<QUrl>(&f.value)) {
            if (Diagnostics::verbose())
                print(QStringLiteral("  [ax] ") + f.role + QStringLiteral(" AXFilename -> ") + url->path());
            return *url;
        }
        return std::nullopt;
    case Finding::Kind::Label:
        if (auto url = labelReference(f.text, context)) {
            if (Diagnostics::verbose())
                print(QStringLiteral("  [ax] ") + f.role + QStringLiteral(" label \"") + f.text +
                      QStringLiteral("\" -> ") + url->path());
            return url;
        }
        return std::nullopt;
    case Finding::Kind::Text:
        if (auto url = ImageReference::resolveExact(f.text, context)) return url;
        // A bare name printed by a tool names a file somewhere in the project;
        // the text is exact, so it is looked up as written, never repaired.
        return ImageReference::resolveInProject(f.text, context);
    case Finding::Kind::Spaced: {
        const SpacedNames::Choice choice = SpacedNames::choose(f.readings, [&](const QString& name) {
            if (auto url = ImageReference::resolveExact(name, context)) return url;
            return ImageReference::resolveInProject(name, context);
        });
        if (Diagnostics::verbose()) {
            if (choice.url) print(QStringLiteral("  [ax] name with spaces -> ") + choice.url->path());
            if (choice.ambiguous)
                print(QStringLiteral("  [ax] names with spaces fit more than one file; refusing to guess"));
        }
        return choice.url;
    }
    case Finding::Kind::Wrapped:
        if (auto url = ImageReference::resolveExact(f.text, context)) {
            if (Diagnostics::verbose()) print(QStringLiteral("  [ax] rejoined a wrapped path -> ") + f.text);
            return url;
        }
        if (Diagnostics::verbose())
            print(QStringLiteral("  [ax] rejoined ") + f.text + QStringLiteral(", which names nothing"));
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<QUrl> imageURLFromAccessibilityValue(const Value& value, const ResolutionContext& context,
                                                   bool knownToBeAnImage) {
    if (const QUrl* url = std::get_if<QUrl>(&value)) {
        if (!url->isValid()) return std::nullopt;
        const bool imageExtension =
            ImageReference::isSupportedExtension(ImageReference::pathExtension(url->path()));
        if (url->isLocalFile()) {
            if (imageExtension && QFileInfo(url->toLocalFile()).isFile()) return *url;
            return std::nullopt;
        }
        // Only web addresses are fetched: a data:, javascript: or resource URL that
        // an application labels as an image is nothing the card should load.
        if (isWebScheme(*url) && (imageExtension || knownToBeAnImage)) return *url;
        return std::nullopt;
    }
    if (const QString* text = std::get_if<QString>(&value)) {
        if (text->isEmpty()) return std::nullopt;
        if (auto url = ImageReference::resolveExact(*text, context)) return url;
        if (knownToBeAnImage) {
            const std::optional<QUrl> url = ImageReference::resolve(*text, context.baseDirectory);
            if (url && !url->isLocalFile() && isWebScheme(*url)) return url;
        }
    }
    return std::nullopt;
}

QuickAnswer resolveQuickly(const Findings& findings, const ResolutionContext& context) {
    for (qsizetype i = 0; i < findings.size(); ++i) {
        const Finding& f = findings.at(i);
        switch (f.kind) {
        case Finding::Kind::Spaced:
            // Each reading may be looked up in the project.
            return {std::nullopt, findings.mid(i)};
        case Finding::Kind::Label:
            // The full pipeline tries the extension swap at each base before
            // the next base, so an exact answer alone could differ from it.
            return {std::nullopt, findings.mid(i)};
        case Finding::Kind::Text:
            // Exact resolution is the first step of the text's own resolution.
            if (auto url = ImageReference::resolveExact(f.text, context)) return {url, {}};
            return {std::nullopt, findings.mid(i)};
        case Finding::Kind::Attribute:
        case Finding::Kind::Given:
        case Finding::Kind::Wrapped:
            if (auto url = resolved(f, context)) return {url, {}};
            break;
        }
    }
    return {};
}

std::optional<QUrl> resolve(const Findings& findings, const ResolutionContext& context) {
    for (const Finding& f : findings)
        if (auto url = resolved(f, context)) return url;
    return std::nullopt;
}

} // namespace AccessibilityLookup
