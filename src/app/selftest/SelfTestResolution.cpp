// The self-test's checks of resolution: misread and stale references,
// accessibility text, window titles, wrapped paths in text and the images
// coding-agent sessions showed.
#include "app/selftest/SelfTestChecks.h"
#include "core/AccessibilityLookup.h"
#include "core/CodexSessions.h"
#include "core/ImageReference.h"
#include "core/WindowAffinity.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>

namespace SelfTest {

namespace {

using ImageReference::resolveExisting;

// An element of a terminal that publishes one line of text, the pointer on it.
class TextElement final : public AccessibilityLookup::Element {
  public:
    TextElement(QString text, qint64 pointerOffset) : text_(std::move(text)), offset_(pointerOffset) {}

    std::optional<QString> role() override { return QStringLiteral("AXTextArea"); }
    AccessibilityLookup::Value url() override { return std::monostate(); }
    std::optional<QString> filename() override { return std::nullopt; }
    std::optional<QString> label(AccessibilityLookup::Label) override { return std::nullopt; }
    std::optional<QRectF> frame() override { return QRectF(0, 0, 800, 400); }
    std::shared_ptr<Element> parent() override { return nullptr; }
    std::optional<AccessibilityLookup::CharacterRange> rangeForPosition(QPointF) override {
        return AccessibilityLookup::CharacterRange{offset_, 1};
    }
    std::optional<QRectF> boundsForRange(AccessibilityLookup::CharacterRange) override { return kCharacter; }
    std::optional<qint64> numberOfCharacters() override { return text_.size(); }
    std::optional<QString> stringForRange(AccessibilityLookup::CharacterRange r) override {
        if (r.location < 0 || r.length < 0 || r.location + r.length > text_.size()) return std::nullopt;
        return text_.mid(r.location, r.length);
    }

    static constexpr QRectF kCharacter{96, 40, 8, 17};
    static constexpr QPointF kPointer{100, 48};

  private:
    QString text_;
    qint64 offset_;
};

// What accessibility finds in a terminal line with the pointer on `over`.
std::optional<QUrl> throughAccessibility(const QString& line, const QString& over,
                                         const ResolutionContext& context) {
    auto element = std::make_shared<TextElement>(line, line.indexOf(over) + over.size() / 2);
    return AccessibilityLookup::imageURL(element, TextElement::kPointer, context);
}

// One transcript line recording an item of the given type.
QByteArray transcriptLine(const QString& type, const QString& key, const QString& value) {
    const QJsonObject item{{QStringLiteral("type"), type}, {key, value}};
    const QJsonObject payload{{QStringLiteral("type"), QStringLiteral("item_completed")},
                              {QStringLiteral("item"), item}};
    const QJsonObject record{{QStringLiteral("timestamp"), QStringLiteral("2026-01-15T10:00:00Z")},
                             {QStringLiteral("type"), QStringLiteral("event_msg")},
                             {QStringLiteral("payload"), payload}};
    return QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n';
}

// The first strict, else loose, reference in a line of text, resolved.
std::optional<QUrl> resolveIn(const QString& text, const QUrl& base) {
    for (const QRegularExpression* pattern : {ImageReference::strict(), ImageReference::loose()}) {
        const QList<ImageReference::Match> matches = ImageReference::collect(pattern, text);
        if (!matches.isEmpty()) return resolveExisting(matches.first().reference, {base});
    }
    return std::nullopt;
}

} // namespace

qint64 versionDigit(const Context& context) {
    Report report(context.print);
    Fixture fixture(QStringLiteral("vistel-version-digit"));
    if (!fixture.image(QStringLiteral("renders/shot-v004-final.png"))) {
        report.fail(QStringLiteral("could not build the version-digit fixture"));
        return report.failures();
    }
    ResolverScope resolver;
    const QUrl base = fixture.folder();
    const std::optional<QUrl> older = resolveExisting(QStringLiteral("renders/shot-v003-final.png"), {base});
    report.expect(!older, QStringLiteral("a missing v003 is not repaired into v004"),
                  QStringLiteral("a missing v003 was repaired into ") + shown(older));
    const std::optional<QUrl> misread =
        resolveExisting(QStringLiteral("renders/sh0t-v004-final.png"), {base});
    report.expect(misread == fixture.file(QStringLiteral("renders/shot-v004-final.png")),
                  QStringLiteral("an O read as 0 is still repaired"),
                  QStringLiteral("an O read as 0 gave ") + shown(misread));
    return report.failures();
}

qint64 staleMiss(const Context& context) {
    Report report(context.print);
    Fixture fixture(QStringLiteral("vistel-stale-miss"));
    if (!fixture.makeFolder(QStringLiteral("shots"))) {
        report.fail(QStringLiteral("could not build the stale-miss fixture"));
        return report.failures();
    }
    ResolverScope resolver(0.05);
    const QUrl base = fixture.folder();

    // Found only by the extension swap: the remembered miss must age out first.
    const QString announced = QStringLiteral("shots/announced");
    const bool refused = !resolveExisting(announced, {base});
    if (!fixture.image(QStringLiteral("shots/announced.png"))) {
        report.fail(QStringLiteral("could not write the announced file"));
        return report.failures();
    }
    QThread::msleep(100);
    const std::optional<QUrl> later = resolveExisting(announced, {base});
    report.expect(refused && later == fixture.file(QStringLiteral("shots/announced.png")),
                  QStringLiteral("a path refused before its file existed resolves once it does"),
                  QStringLiteral("announced file: refused=%1, then ").arg(refused ? "yes" : "no") +
                      shown(later));

    // Spelled out in full, it resolves at once, well within the miss lifetime.
    ImageReference::MissLifetime::set(1000);
    const QString spelled = fixture.path(QStringLiteral("shots/late-arrival.png"));
    const bool missing = !resolveExisting(spelled, {base});
    if (!fixture.image(QStringLiteral("shots/late-arrival.png"))) {
        report.fail(QStringLiteral("could not write the late-arriving file"));
        return report.failures();
    }
    const std::optional<QUrl> landed = resolveExisting(spelled, {base});
    report.expect(missing && landed == fixture.file(QStringLiteral("shots/late-arrival.png")),
                  QStringLiteral("a spelled-out path previews the moment its file lands"),
                  QStringLiteral("late-arriving file: refused=%1, then ").arg(missing ? "yes" : "no") +
                      shown(landed));

    const std::optional<QUrl> hit = resolveExisting(spelled, {base});
    const bool removed = QFile::remove(fixture.path(QStringLiteral("shots/late-arrival.png")));
    const std::optional<QUrl> gone = resolveExisting(spelled, {base});
    report.expect(hit && removed && !gone,
                  QStringLiteral("a remembered hit is dropped once its file is gone"),
                  QStringLiteral("a deleted file still resolves to ") + shown(gone));
    return report.failures();
}

qint64 codexTranscript(const Context& context) {
    Report report(context.print);
    Fixture fixture(QStringLiteral("vistel-codex"));
    const QString first = QStringLiteral("scenes/02-makeup/STATE_STORYBOARD.png");
    const QString second = QStringLiteral("scenes/03-hair/STATE_STORYBOARD.png");
    const QByteArray transcript =
        transcriptLine(QStringLiteral("AgentMessage"), QStringLiteral("text"),
                       QStringLiteral("Rendering the boards now")) +
        transcriptLine(QStringLiteral("ImageView"), QStringLiteral("path"), fixture.path(first)) +
        QByteArray("this line is not JSON {\"ImageView\"\n") +
        transcriptLine(QStringLiteral("ImageView"), QStringLiteral("path"), fixture.path(second));
    if (!fixture.images({first, second}) ||
        !fixture.write(QStringLiteral("sessions/2026/01/15/rollout-selftest.jsonl"), transcript)) {
        report.fail(QStringLiteral("could not build the codex fixture"));
        return report.failures();
    }
    ResolverScope resolver;
    SessionsScope sessions;
    CodexSessions::setOverride(std::nullopt);
    CodexSessions::setSessionsFolder(fixture.path(QStringLiteral("sessions")));

    const QList<QUrl> shownImages = CodexSessions::recent();
    report.expect(shownImages == QList<QUrl>{fixture.file(second), fixture.file(first)},
                  QStringLiteral("read 2 image records out of a transcript, ignoring the rest"),
                  QStringLiteral("read %1 image record(s) out of a transcript of 2").arg(shownImages.size()));

    const QUrl base = fixture.folder(QStringLiteral("elsewhere"));
    const std::optional<QUrl> label =
        resolveIn(QStringLiteral("View the updated STATE_STORYBOARD.png"), base);
    report.expect(label == fixture.file(second),
                  QStringLiteral("an ambiguous link label resolves to the one just shown"),
                  QStringLiteral("an ambiguous link label gave ") + shown(label));
    const std::optional<QUrl> misread = resolveIn(QStringLiteral("5TATE_ST0RYBOARD.png"), base);
    report.expect(misread == fixture.file(second),
                  QStringLiteral("a misread label is repaired against what was shown"),
                  QStringLiteral("a misread label gave ") + shown(misread));
    const std::optional<QUrl> never = resolveIn(QStringLiteral("NEVER_SHOWN_AT_ALL.png"), base);
    report.expect(!never, QStringLiteral("a name no session showed stays unresolved"),
                  QStringLiteral("a name no session showed gave ") + shown(never));
    return report.failures();
}

qint64 accessibilityResolution(const Context& context) {
    Report report(context.print);
    Fixture fixture(QStringLiteral("vistel-accessibility"));
    if (!fixture.image(QStringLiteral("shell/shots/ax-frame.png")) ||
        !fixture.makeFolder(QStringLiteral("app"))) {
        report.fail(QStringLiteral("could not build the accessibility fixture"));
        return report.failures();
    }
    ResolverScope resolver;
    // The terminal's own folder is not its shell's.
    const ResolutionContext base{fixture.folder(QStringLiteral("app")),
                                 {fixture.folder(QStringLiteral("shell"))}};

    const std::optional<QUrl> relative = throughAccessibility(
        QStringLiteral("saved shots/ax-frame.png (1x1)"), QStringLiteral("ax-frame"), base);
    report.expect(relative == fixture.file(QStringLiteral("shell/shots/ax-frame.png")),
                  QStringLiteral("terminal path from Accessibility resolves against the shell -> ") +
                      shown(relative),
                  QStringLiteral("terminal path from Accessibility gave ") + shown(relative));

    const std::optional<QUrl> unresolvable = throughAccessibility(
        QStringLiteral("saved elsewhere/ax-frame.png"), QStringLiteral("ax-frame"), base);
    const QString absentPath = fixture.path(QStringLiteral("shell/shots/never-written.png"));
    const std::optional<QUrl> absent =
        throughAccessibility(QStringLiteral("wrote ") + absentPath, QStringLiteral("never-written"), base);
    report.expect(!unresolvable && !absent,
                  QStringLiteral("an unresolvable relative path and a missing absolute file are not answers"),
                  QStringLiteral("not answers: unresolvable=") + shown(unresolvable) +
                      QStringLiteral(" missing=") + shown(absent));

    const std::optional<QUrl> misread =
        throughAccessibility(QStringLiteral("saved shots/ax-frarne.pnq"), QStringLiteral("ax-frarne"), base);
    const std::optional<QUrl> upper =
        throughAccessibility(QStringLiteral("saved shots/AX-FRAME.PNG"), QStringLiteral("AX-FRAME"), base);
    report.expect(!misread && !upper,
                  QStringLiteral("exact text is resolved exactly; repair stays with the screen reader"),
                  QStringLiteral("Accessibility text was repaired: ") + shown(misread) + QStringLiteral(" ") +
                      shown(upper));

    const std::optional<QUrl> remote = throughAccessibility(
        QStringLiteral("see https://example.com/art/cover.png"), QStringLiteral("cover"), base);
    const std::optional<QUrl> extensionless =
        throughAccessibility(QStringLiteral("saved shots/ax-frame"), QStringLiteral("ax-frame"), base);
    report.expect(remote == QUrl(QStringLiteral("https://example.com/art/cover.png")) && !extensionless,
                  QStringLiteral("remote images kept, extensionless local paths still refused"),
                  QStringLiteral("remote=") + shown(remote) + QStringLiteral(" extensionless=") +
                      shown(extensionless));
    return report.failures();
}

qint64 windowAffinity(const Context& context) {
    Report report(context.print);
    Fixture fixture(QStringLiteral("vistel-workspace"));
    bool built = true;
    for (const QString& workspace :
         {QStringLiteral("alpha"), QStringLiteral("beta"), QStringLiteral("beta-demo")})
        built = built && fixture.makeFolder(workspace + QStringLiteral("/.git")) &&
                fixture.image(workspace + QStringLiteral("/shots/frame.png"));
    // The editor's own folder, a project of its own: without a document the roots decide.
    built = built && fixture.image(QStringLiteral("beta/output/frame-01.png")) &&
            fixture.image(QStringLiteral("alpha/shots/alpha-only.png")) &&
            fixture.makeFolder(QStringLiteral("editor/.vscode"));
    if (!built) {
        report.fail(QStringLiteral("could not build the workspace fixture"));
        return report.failures();
    }
    ResolverScope resolver;
    const QUrl alpha = fixture.folder(QStringLiteral("alpha"));
    const QUrl beta = fixture.folder(QStringLiteral("beta"));
    const QUrl betaDemo = fixture.folder(QStringLiteral("beta-demo"));
    const QUrl output = fixture.folder(QStringLiteral("beta/output"));
    const QList<QUrl> workspaces{alpha, beta, betaDemo};
    const auto names = [&](const QList<QUrl>& roots) {
        QStringList out;
        for (const QUrl& root : roots)
            out.append(QDir(root.toLocalFile()).dirName());
        return QStringLiteral("[") + out.join(QStringLiteral(", ")) + QStringLiteral("]");
    };
    const auto order = [&](const QList<QUrl>& roots, const QUrl& document, const QString& title,
                           const QList<QUrl>& expected, const QString& passed) {
        const QList<QUrl> found = WindowAffinity::order(roots, document, title);
        report.expect(found == expected, passed, passed + QStringLiteral(": got ") + names(found));
    };
    order(workspaces, {}, QStringLiteral("main.tsx \u2014 beta"), {beta},
          QStringLiteral("the window title keeps only its own workspace"));
    order(workspaces, {}, QStringLiteral("\u25CF x.ts \u2014 beta-demo (Workspace)"), {betaDemo},
          QStringLiteral("a workspace title matches its own folder, not a folder it contains by name"));
    order({alpha, beta, output}, fixture.file(QStringLiteral("beta/output/frame-01.png")), QString(),
          {output, beta}, QStringLiteral("the open document keeps its own workspace, deepest first"));
    order({beta, alpha}, {}, QStringLiteral("Untitled (Workspace)"), {beta, alpha},
          QStringLiteral("an anonymous window keeps the process order"));

    // The hovered window is beta's; alpha's shell is the newer one.
    const QUrl base = fixture.folder(QStringLiteral("editor"));
    const auto hovered = [&](const QString& reference) {
        ImageReference::Memo::clear();
        return resolveExisting(
            reference, {base, WindowAffinity::order({alpha, beta}, {},
                                                    QStringLiteral("beta \u2014 Visual Studio Code"))});
    };
    const std::optional<QUrl> relative = hovered(QStringLiteral("shots/frame.png"));
    report.expect(relative == fixture.file(QStringLiteral("beta/shots/frame.png")),
                  QStringLiteral("a relative path previews the hovered workspace's copy"),
                  QStringLiteral("a relative path gave ") + shown(relative));
    const std::optional<QUrl> bare = hovered(QStringLiteral("frame.png"));
    report.expect(bare == fixture.file(QStringLiteral("beta/shots/frame.png")),
                  QStringLiteral("a bare name is searched for in the hovered workspace first"),
                  QStringLiteral("a bare name gave ") + shown(bare));
    const std::optional<QUrl> foreign = hovered(QStringLiteral("shots/alpha-only.png"));
    report.expect(!foreign, QStringLiteral("another workspace's copy is not shown for the hovered one"),
                  QStringLiteral("another workspace's copy was shown: ") + shown(foreign));

    ImageReference::Memo::clear();
    const std::optional<QUrl> control =
        resolveExisting(QStringLiteral("shots/frame.png"), {base, {alpha, beta}});
    report.expect(control == fixture.file(QStringLiteral("alpha/shots/frame.png")),
                  QStringLiteral("(control) unordered roots still favour the newest shell"),
                  QStringLiteral("(control) unordered roots gave ") + shown(control));
    return report.failures();
}

qint64 recognisedPunctuation(const Context& context) {
    Report report(context.print);
    const QString read = QStringLiteral("saved shots/frame\u2022png to disk");
    const QString repaired = ImageReference::normalisingRecognition(read);
    const QList<ImageReference::Match> matches = ImageReference::collect(ImageReference::strict(), repaired);
    report.expect(!matches.isEmpty() && matches.first().reference == QStringLiteral("shots/frame.png"),
                  QStringLiteral("a period read as a bullet is repaired for the screen reader"),
                  QStringLiteral("a period read as a bullet gave \"") + repaired + QStringLiteral("\""));
    const qsizetype at = read.indexOf(QStringLiteral("shots"));
    report.expect(
        repaired.size() == read.size() && !matches.isEmpty() && matches.first().location == at,
        QStringLiteral("the repair is one character for one, so offsets still line up"),
        QStringLiteral("the repair moved offsets: %1 units became %2").arg(read.size()).arg(repaired.size()));
    const QString bullet =
        ImageReference::normalisingRecognition(QStringLiteral("\u2022 Fixed: see the notes and the diff"));
    const bool invented = !ImageReference::collect(ImageReference::strict(), bullet).isEmpty() ||
                          !ImageReference::collect(ImageReference::loose(), bullet).isEmpty();
    report.expect(!invented, QStringLiteral("repairing a list bullet invents no reference"),
                  QStringLiteral("repairing a list bullet invented a reference in \"") + bullet +
                      QStringLiteral("\""));
    return report.failures();
}

qint64 clippedLeadingSlash(const Context& context) {
    Report report(context.print);
    Fixture fixture(QStringLiteral("vistel-clipped-slash"));
    if (!fixture.image(QStringLiteral("shots/edge-frame.png")) ||
        !fixture.makeFolder(QStringLiteral("elsewhere"))) {
        report.fail(QStringLiteral("could not build the clipped-slash fixture"));
        return report.failures();
    }
    ResolverScope resolver;
    const QUrl expected = fixture.file(QStringLiteral("shots/edge-frame.png"));
    const QString clipped = fixture.path(QStringLiteral("shots/edge-frame.png")).mid(1);
    const std::optional<QUrl> recovered =
        resolveExisting(clipped, {fixture.folder(QStringLiteral("elsewhere"))});
    // "shots" is no folder at the file-system root: the path stays relative.
    const std::optional<QUrl> relative =
        resolveExisting(QStringLiteral("shots/edge-frame.png"), {fixture.folder()});
    const bool untouched = !ImageReference::rootedAtFilesystemRoot(QStringLiteral("shots/edge-frame.png"));
    report.expect(recovered == expected && relative == expected && untouched,
                  QStringLiteral("a clipped leading slash is recovered as an absolute path"),
                  QStringLiteral("clipped slash: recovered=") + shown(recovered) +
                      QStringLiteral(" relative=") + shown(relative) +
                      (untouched ? QString() : QStringLiteral(" (the relative path was rooted)")));
    return report.failures();
}

qint64 wrappedPath(const Context& context) {
    Report report(context.print);
    const QString panel =
        QStringLiteral("Saved out/\n  generated_images/01a0557d-6b34/\n  exec-a4713290-d008.png for review");
    const QString whole = QStringLiteral("out/generated_images/01a0557d-6b34/exec-a4713290-d008.png");
    bool everywhere = true;
    for (const QString& over : {QStringLiteral("out/"), QStringLiteral("01a0557d"), QStringLiteral("d008")}) {
        const std::optional<QString> joined =
            ImageReference::referenceAcrossWrappedLines(panel, panel.indexOf(over) + 1);
        everywhere = everywhere && joined == whole;
    }
    report.expect(everywhere, QStringLiteral("a path a panel wrapped across three lines is rejoined"),
                  QStringLiteral("a path wrapped across three lines was not rejoined"));

    const QString prose =
        QStringLiteral("The guide lives at https://example.com/docs/\noverview.png is elsewhere entirely");
    bool joined = false;
    for (const QString& over : {QStringLiteral("docs"), QStringLiteral("overview")}) {
        const qint64 offset = prose.indexOf(over) + 1;
        const std::optional<QString> across = ImageReference::referenceAcrossWrappedLines(prose, offset);
        joined = joined || (across && across->contains(QStringLiteral("docs/overview")));
        const QString text = ImageReference::joiningWrappedPaths(prose).text;
        joined = joined || text.contains(QStringLiteral("docs/overview"));
    }
    report.expect(!joined, QStringLiteral("a line ending on a slash is only joined when a path continues"),
                  QStringLiteral("prose ending on a slash was joined into a reference"));
    return report.failures();
}

qint64 sessionRecord(const Context& context) {
    Report report(context.print);
    Fixture fixture(QStringLiteral("vistel-session-record"));
    const QString twelve = QStringLiteral("episodes/episode-12/storyboard/S01_1672x941.png");
    const QString nineteen = QStringLiteral("episodes/episode-19/storyboard/S02_1672x941.png");
    if (!fixture.images({twelve, nineteen})) {
        report.fail(QStringLiteral("could not build the session-record fixture"));
        return report.failures();
    }
    SessionsScope sessions;
    CodexSessions::setOverride(QList<QUrl>{fixture.file(nineteen), fixture.file(twelve)});
    const QUrl shownTwelve = fixture.file(twelve);
    const struct {
        const char* name;
        const char* label;
        bool resolves; // to episode 12's S01
    } cases[] = {
        {"a bare name resolves to the copy shown", "S01_1672x941.png", true},
        {"folders that agree still resolve", "storyboard/S01_1672x941.png", true},
        {"a folder that disagrees is refused", "episode-19/storyboard/S01_1672x941.png", false},
        {"a name cut short is refused", "72x941.png", false},
        {"a folder cut short is refused", "board/S01_1672x941.png", false},
        {"a shot number is not repaired into another", "S03_1672x941.png", false},
        {"S0l_1672x94l.png is repaired into S01_1672x941.png", "S0l_1672x94l.png", true},
    };
    for (const auto& c : cases) {
        const std::optional<QUrl> found = CodexSessions::match(QString::fromUtf8(c.label));
        const bool ok = c.resolves ? found == shownTwelve : !found;
        report.expect(ok, QStringLiteral("session record: ") + QString::fromUtf8(c.name),
                      QStringLiteral("session record: ") + QString::fromUtf8(c.name) +
                          QStringLiteral(" gave ") + shown(found));
    }
    return report.failures();
}

} // namespace SelfTest
