#include "app/selftest/SelfTest.h"

#include "app/selftest/SelfTestChecks.h"
#include "core/CodexSessions.h"
#include "core/Diagnostics.h"
#include "core/ImageReference.h"
#include "core/ProjectIndex.h"
#include "core/Settings.h"
#include "platform/tesseract/TesseractRecognizer.h"
#include "screen/Lines.h"
#include "screen/Prime.h"
#include "screen/Recognizing.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <exception>
#include <utility>

namespace SelfTest {

namespace {

using ImageReference::resolveExisting;

// For the whole run the settings live in a file of the self-test's own and no
// session record of the user's is consulted; both are put back on leaving.
class RunScope {
  public:
    RunScope() {
        if (settings_.isValid()) Settings::useStoreFile(settings_.filePath(QStringLiteral("settings.conf")));
        CodexSessions::setOverride(QList<QUrl>{});
    }
    ~RunScope() {
        QDir().rmdir(fixtureParent()); // only when every fixture has gone
        Settings::useStoreFile(QString());
        CodexSessions::setOverride(std::nullopt);
        CodexSessions::setSessionsFolder(QString());
    }
    RunScope(const RunScope&) = delete;
    RunScope& operator=(const RunScope&) = delete;
    bool ready() const { return settings_.isValid(); }

  private:
    QTemporaryDir settings_;
};

double millisecondsSince(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

// 1 to 3: the reference under the pointer in a rendered line.
void recognition(Report& report, const Context& context) {
    Fixture fixture(QStringLiteral("vistel-recognition"));
    if (!fixture.image(QStringLiteral("folder/test-image.png"))) {
        report.fail(QStringLiteral("could not build the recognition fixture"));
        return;
    }
    const QUrl base = fixture.folder();
    const QUrl expected = fixture.file(QStringLiteral("folder/test-image.png"));
    const QRectF strip(0, 400, 900, 30);
    const double x = 20;
    const QString reference = QStringLiteral("folder/test-image.png");
    const double start = strip.left() + x + textWidth(QStringLiteral("see "));
    const auto read = [&](const Rendered& r, double pointerX) {
        return ScreenTextReader::recognize(context.recognizer, r.image, r.strip,
                                           QPointF(pointerX, strip.center().y()), {base},
                                           Diagnostics::verbose());
    };

    const std::optional<Rendered> line = render(QStringLiteral("see folder/test-image.png here"), strip, x);
    if (!line) {
        report.fail(QStringLiteral("could not render the test image"));
    } else {
        const std::optional<QUrl> under = read(*line, start + textWidth(reference) / 2);
        report.expect(under == expected, QStringLiteral("recognised path under pointer -> ") + shown(under),
                      QStringLiteral("expected the test image path, got ") + shown(under));
        const std::optional<QUrl> off = read(*line, start + textWidth(reference) + 60);
        report.expect(!off, QStringLiteral("no match when the pointer is off the reference"),
                      QStringLiteral("matched with the pointer off the reference: ") + shown(off));
    }

    const std::optional<Rendered> typo = render(QStringLiteral("see folder/test-image.pnq here"), strip, x);
    if (!typo) {
        report.fail(QStringLiteral("could not render the typo image"));
        return;
    }
    const std::optional<QUrl> repaired = read(*typo, start + textWidth(reference) / 2);
    report.expect(repaired == expected, QStringLiteral("repaired misread extension -> ") + shown(repaired),
                  QStringLiteral("expected test-image.png from a .pnq misread, got ") + shown(repaired));
}

// 4: paths as recognition mangles them, and decoys that must stay unresolved.
void mangledCorpus(Report& report) {
    Fixture fixture(QStringLiteral("vistel-mangled"));
    const QString real = QStringLiteral("renders/episode-01/storyboard/hero-frame-final.png");
    if (!fixture.image(real) || !fixture.image(QStringLiteral("renders/episode-01/notes/cover.png"))) {
        report.fail(QStringLiteral("could not build the mangled-path fixture"));
        return;
    }
    ResolverScope resolver;
    SessionsScope sessions;
    const QUrl expected = fixture.file(real);
    CodexSessions::setOverride(QList<QUrl>{expected}); // the session that printed the path showed it
    const QString root = fixture.path();
    const QString clipped = root.mid(1); // the strip's edge took the leading slash

    const QStringList mangled{
        root + "/renders/episode-01/storyboard/hero-frame-fina.png",   // a character dropped
        root + "/renders/ep1sode-01/storyboard/hero-frame-final.png",  // 1 for i
        root + "/renders/episode-01/storyboard/hero-trame-final.png",  // t for f
        root + "/renders/episode-01/storyboard/hero-frame-final.pnq",  // q for p
        root + "/renders/enisode-01/storyboard/hero-frame-final.png",  // n for p
        root + "/renders/episode-O1/storyboard/hero-frame-final.png",  // O for 0
        root + "/renders/episode-0l/storyboard/hero-frame-final.png",  // l for 1
        root + "/renders/episode-01/storyboad/hero-frame-final.png",   // a folder's character dropped
        root + "/renders/episode-01/storyboard/hero_frame_final.png",  // underscores for hyphens
        root + "/renders/episode-01/storyboard/hero-frarne-final.png", // rn for m
        root + "/renders/ep1sode-O1/st0ryboard/hero-trame-fina1.pnq",  // several at once
        clipped + "/renders/episode-01/storyboard/hero-frame-final.png",
        QStringLiteral("hero-frame-fina1.png"), // a bare name, as a session showed it
        QStringLiteral("HERO-FRAME-FINAL.png"),
    };
    const QStringList decoys{
        root + "/renders/episode-07/storyboard/hero-frame-final.png", // another episode
        root + "/renders/episode-01/storyboard/hero-frame-final-v2.png",
        root + "/renders/episode-01/storyboard/contact-sheet.png",
        root + "/renders/episode-01/notes/hero-frame-final.png", // the name, in another folder
        QStringLiteral("villain-frame-final.png"),
    };
    const auto resolved = [&](const QString& text) -> std::optional<QUrl> {
        if (auto url = ImageReference::resolveOnDisk(text, {fixture.folder(QStringLiteral("renders"))}))
            return url;
        return CodexSessions::match(text);
    };

    qsizetype recovered = 0;
    for (const QString& text : mangled) {
        const std::optional<QUrl> url = resolved(text);
        if (url == expected)
            ++recovered;
        else
            report.detail(QStringLiteral("      NOT RECOVERED ") + text + QStringLiteral(" -> ") +
                          shown(url));
    }
    report.expect(
        recovered == mangled.size(),
        QStringLiteral("recovered all %1 mangled paths from the log").arg(mangled.size()),
        QStringLiteral("recovered %1 of %2 mangled paths from the log").arg(recovered).arg(mangled.size()));

    qsizetype falsePositives = 0;
    for (const QString& text : decoys) {
        if (const std::optional<QUrl> url = resolved(text)) {
            ++falsePositives;
            report.detail(QStringLiteral("      FALSE POSITIVE ") + text + QStringLiteral(" -> ") +
                          shown(url));
        }
    }
    report.expect(falsePositives == 0, QStringLiteral("no false positives on %1 decoys").arg(decoys.size()),
                  QStringLiteral("%1 false positive(s)").arg(falsePositives));
}

// 5 and 6: bare names in a project.
void bareNames(Report& report) {
    Fixture fixture(QStringLiteral("vistel-project"));
    if (!fixture.makeFolder(QStringLiteral(".git")) || !fixture.makeFolder(QStringLiteral("src")) ||
        !fixture.image(QStringLiteral("assets/images/deep/unique-bare-name.png"))) {
        report.fail(QStringLiteral("could not build the project fixture"));
        return;
    }
    ResolverScope resolver;
    const QUrl base = fixture.folder(QStringLiteral("src"));
    const QUrl expected = fixture.file(QStringLiteral("assets/images/deep/unique-bare-name.png"));

    QElapsedTimer timer;
    timer.start();
    const std::optional<QUrl> first = resolveExisting(QStringLiteral("unique-bare-name.png"), {base});
    const double firstTime = millisecondsSince(timer);
    timer.restart();
    const std::optional<QUrl> again = resolveExisting(QStringLiteral("unique-bare-name.png"), {base});
    const double againTime = millisecondsSince(timer);
    if (report.expect(first == expected && again == expected,
                      QString::asprintf("bare filename found in project (%.0f ms first search)", firstTime),
                      QStringLiteral("bare filename not found in project: first ") + shown(first) +
                          QStringLiteral(", again ") + shown(again)))
        report.detail(QString::asprintf("      cached lookup %.2f ms", againTime));

    const std::optional<QUrl> missing = resolveExisting(QStringLiteral("definitely-not-here.png"), {base});
    report.expect(!missing, QStringLiteral("missing bare filename resolves to nothing"),
                  QStringLiteral("invented a match for a missing bare filename"));
}

// 7: a row of an editor's file tree: the bare name, found in the open workspace.
void explorerRow(Report& report) {
    Fixture fixture(QStringLiteral("vistel-explorer"));
    if (!fixture.makeFolder(QStringLiteral(".vscode")) ||
        !fixture.image(QStringLiteral("docs/diagrams/sequence-overview.png"))) {
        report.fail(QStringLiteral("could not build the explorer fixture"));
        return;
    }
    ResolverScope resolver;
    const QString row = QStringLiteral("  \u203A sequence-overview.png");
    const QList<ImageReference::Match> matches = ImageReference::collect(ImageReference::strict(), row);
    const std::optional<QUrl> url = matches.isEmpty()
                                        ? std::nullopt
                                        : resolveExisting(matches.first().reference,
                                                          // the editor's shell works in the workspace
                                                          {fixture.folder("docs"), {fixture.folder()}});
    report.expect(url == fixture.file(QStringLiteral("docs/diagrams/sequence-overview.png")),
                  QStringLiteral("explorer row label resolved -> ") + shown(url),
                  QStringLiteral("explorer row label gave ") + shown(url));
}

// 8 and 9: seven scene folders that each hold a "contact-sheet.png".
void sceneTree(Report& report) {
    Fixture fixture(QStringLiteral("vistel-scenes"));
    bool built = fixture.makeFolder(QStringLiteral(".git"));
    for (int i = 1; i <= 7; ++i)
        built = built && fixture.image(QStringLiteral("scenes/S00%1/contact-sheet.png").arg(i));
    if (!built) {
        report.fail(QStringLiteral("could not build the scenes fixture"));
        return;
    }
    ResolverScope resolver;
    const QUrl base = fixture.folder();
    const std::optional<QUrl> wrapped = resolveExisting(QStringLiteral("S002/contact-sheet.png"), {base});
    report.expect(wrapped == fixture.file(QStringLiteral("scenes/S002/contact-sheet.png")),
                  QStringLiteral("wrapped-line tail resolved -> ") + tail(wrapped, 2),
                  QStringLiteral("wrapped tail gave ") + shown(wrapped));
    const std::optional<QUrl> bare = resolveExisting(QStringLiteral("contact-sheet.png"), {base});
    report.expect(!bare, QStringLiteral("ambiguous bare name refused (7 candidates)"),
                  QStringLiteral("ambiguous bare name guessed ") + shown(bare));
}

// 10 and 11: file names that are UUIDs, one misread.
void uuidNames(Report& report) {
    Fixture fixture(QStringLiteral("vistel-uuid"));
    const QStringList names{
        QStringLiteral("exec-3f5b8c2e-1d4a-4e6b-9a0c-7b2d5e8f1a3c.png"),
        QStringLiteral("exec-5b80c3d1-2e4f-4a8b-9c0d-8e5f1a2b3c4d.png"),
        QStringLiteral("exec-7c1d2e3f-4a5b-4c6d-8e9f-0a1b2c3d4e5f.png"),
        QStringLiteral("exec-9e8d7c6b-5a4f-4e3d-2c1b-0a9f8e7d6c5b.png"),
        QStringLiteral("exec-0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d.png"),
        QStringLiteral("exec-6d5c4b3a-2f1e-4d0c-9b8a-7f6e5d4c3b2a.png"),
        QStringLiteral("exec-b8e0c5d1-2e4f-4a8b-9c0d-8e5f1a2b3c4d.png"),
    };
    QStringList files;
    for (const QString& name : names)
        files.append(QStringLiteral("generated_images/") + name);
    if (!fixture.images(files)) {
        report.fail(QStringLiteral("could not build the UUID fixture"));
        return;
    }
    ResolverScope resolver;
    const QUrl base = fixture.folder(QStringLiteral("generated_images"));
    // The second name with 5 read as S, 8 as B, 0 as O and ".png" as ".pnq".
    const std::optional<QUrl> misread =
        resolveExisting(QStringLiteral("exec-Sb8Oc3d1-2e4f-4aBb-9cOd-Be5f1a2b3c4d.pnq"), {base});
    report.expect(misread == fixture.file(files.at(1)),
                  QStringLiteral("misread UUID filename resolved to the right one of 7"),
                  QStringLiteral("misread UUID gave ") + shown(misread));
    const std::optional<QUrl> none =
        resolveExisting(QStringLiteral("exec-11111111-2222-3333-4444-555555555555.png"), {base});
    report.expect(!none, QStringLiteral("unrecognisable UUID refused rather than guessed"),
                  QStringLiteral("unrecognisable UUID guessed ") + shown(none));
}

// 12: a folder without project markers.
void markerless(Report& report) {
    Fixture fixture(QStringLiteral("vistel-selftest"));
    if (!fixture.images(
            {QStringLiteral("work/assets/icons/logo.png"), QStringLiteral("work/backup/logo.png")})) {
        report.fail(QStringLiteral("could not build the markerless fixture"));
        return;
    }
    if (ProjectIndex::projectRoot(fixture.folder(QStringLiteral("work")))) {
        report.skip(QStringLiteral("markerless test (temp dir unexpectedly looks like a project)"));
        return;
    }
    ResolverScope resolver;
    const QUrl logo = fixture.file(QStringLiteral("work/assets/icons/logo.png"));
    const std::optional<QUrl> qualified =
        resolveExisting(QStringLiteral("icons/logo.png"), {fixture.folder("work")});
    const std::optional<QUrl> nearest =
        resolveExisting(QStringLiteral("logo.png"), {fixture.folder("work/assets")});
    const std::optional<QUrl> duplicated =
        resolveExisting(QStringLiteral("logo.png"), {fixture.folder("work")});
    report.expect(qualified == logo && nearest == logo && !duplicated,
                  QStringLiteral("markerless folder: nearest root wins, real duplicates refused"),
                  QStringLiteral("markerless folder: qualified=") + shown(qualified) +
                      QStringLiteral(" nearest=") + shown(nearest) + QStringLiteral(" duplicated=") +
                      shown(duplicated));
}

// 13: a relative path printed in a terminal, whose shell works elsewhere.
void processRoots(Report& report) {
    Fixture fixture(QStringLiteral("vistel-roots"));
    const QString relative = QStringLiteral("scenes/canonical/episode-01-contact-sheet.png");
    // The window belongs to a project of its own: its folder's search never reaches the shell's.
    if (!fixture.image(QStringLiteral("shell/") + relative) ||
        !fixture.makeFolder(QStringLiteral("viewer/.git"))) {
        report.fail(QStringLiteral("could not build the process-roots fixture"));
        return;
    }
    ResolverScope resolver;
    const QUrl viewer = fixture.folder(QStringLiteral("viewer")); // the window's own folder
    const QUrl expected = fixture.file(QStringLiteral("shell/") + relative);
    const std::optional<QUrl> unrooted = resolveExisting(relative, {viewer});
    const ResolutionContext shell{viewer, {fixture.folder(QStringLiteral("shell"))}};
    const std::optional<QUrl> rooted = resolveExisting(relative, shell);
    const std::optional<QUrl> shorter =
        resolveExisting(QStringLiteral("canonical/episode-01-contact-sheet.png"), shell);
    report.expect(!unrooted && rooted == expected && shorter == expected,
                  QStringLiteral("relative terminal path resolves against the shell's directory"),
                  QStringLiteral("process roots: unrooted=") + shown(unrooted) + QStringLiteral(" rooted=") +
                      shown(rooted) + QStringLiteral(" tail=") + shown(shorter));
}

qint64 inlineChecks(const Context& context) {
    Report report(context.print);
    recognition(report, context);
    mangledCorpus(report);
    bareNames(report);
    explorerRow(report);
    sceneTree(report);
    uuidNames(report);
    markerless(report);
    processRoots(report);
    return report.failures();
}

} // namespace

int run() {
    const Print print = Diagnostics::print;
    RunScope scope;
    if (!scope.ready()) {
        print(QStringLiteral("FAIL  could not build the settings fixture"));
        print(QString());
        print(QStringLiteral("self-test failed (1)"));
        return 1;
    }
    const platform::TesseractRecognizer recognizer;
    if (platform::TesseractRecognizer::available()) ScreenTextReader::prime(recognizer);
    const Context context{print, recognizer};

    const std::pair<const char*, qint64 (*)(const Context&)> groups[] = {
        {"inline checks", inlineChecks},
        {"wrappedLine", wrappedLine},
        {"wideStrip", wideStrip},
        {"versionDigit", versionDigit},
        {"hoverPosition", hoverPosition},
        {"staleAnswer", staleAnswer},
        {"staleMiss", staleMiss},
        {"codexTranscript", codexTranscript},
        {"accessibilityResolution", accessibilityResolution},
        {"windowAffinity", windowAffinity},
        {"recognisedPunctuation", recognisedPunctuation},
        {"clippedLeadingSlash", clippedLeadingSlash},
        {"wrappedPath", wrappedPath},
        {"wrappedTableLink", wrappedTableLink},
        {"terminalWrap", terminalWrap},
        {"sessionRecord", sessionRecord},
        {"previewLayout", previewLayout},
        {"settingsPane", settingsPane},
        {"menuBarIndicator", menuBarIndicator},
    };
    qint64 failures = 0;
    for (const auto& [name, group] : groups) {
        try {
            failures += group(context);
        } catch (const std::exception& error) {
            // The group's fixtures and scopes have been put back on the way out.
            print(QStringLiteral("FAIL  %1 stopped: %2")
                      .arg(QLatin1String(name), QString::fromLocal8Bit(error.what())));
            ++failures;
        }
    }

    print(QString());
    print(failures == 0 ? QStringLiteral("self-test passed")
                        : QStringLiteral("self-test failed (%1)").arg(failures));
    return failures == 0 ? 0 : 1;
}

} // namespace SelfTest
