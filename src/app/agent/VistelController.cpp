#include "app/agent/VistelController.h"

#include "app/agent/CardGeometry.h"
#include "app/agent/DesktopChoice.h"
#include "app/agent/OlderCopies.h"
#include "app/agent/PreviewPanel.h"
#include "app/agent/Thumbnails.h"
#include "app/agent/Workers.h"
#include "app/ui/AppMenus.h"
#include "app/ui/DesktopActions.h"
#include "app/ui/MenuBarIndicator.h"
#include "core/CodexSessions.h"
#include "core/Diagnostics.h"
#include "core/HoverModifier.h"
#include "core/IgnoredApplications.h"
#include "core/TitleDocument.h"
#include "core/WindowAffinity.h"
#include "platform/proc/ProcProcessSource.h"

#include <QFutureWatcher>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <chrono>
#include <cmath>

namespace {

double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A folder or file as the user writes it: no trailing slash except for "/".
QString displayPath(const QUrl& url) {
    QString path = url.isLocalFile() ? url.toLocalFile() : url.path(QUrl::FullyDecoded);
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

} // namespace

VistelController::VistelController(Parts parts, QObject* parent)
    : QObject(parent), desktop_(std::move(parts.desktop)), accessibility_(std::move(parts.accessibility)),
      screen_(std::move(parts.screen)), processes_(std::move(parts.processes)),
      clock_(std::move(parts.clock)), write_(std::move(parts.write)),
      verbose_(parts.verbose.value_or(Diagnostics::verbose())),
      closeOlderCopies_(std::move(parts.closeOlderCopies)), primeSessions_(std::move(parts.primeSessions)),
      trayAvailable_(std::move(parts.trayAvailable)),
      session_(parts.session.value_or(platform::currentSession())), panel_(std::make_unique<PreviewPanel>()),
      menuBar_(new MenuBarIndicator(
          verbose_, [this](const QString& text) { line(text); }, this)),
      fileImages_(new FileImages(this)), remoteImages_(new RemoteImages(parts.remoteLimits, this)) {
    if (!desktop_) desktop_ = platform::nullDesktop();
    if (!accessibility_) accessibility_ = std::make_unique<NoAccessibilityReader>();
    if (!screen_) screen_ = std::make_shared<NoScreenReader>();
    if (!processes_) processes_ = std::make_unique<ProcProcessSource>();
    if (!clock_) clock_ = steadySeconds;
    if (!write_) write_ = Diagnostics::write;
    if (!closeOlderCopies_) closeOlderCopies_ = OlderCopies::close;
    if (!primeSessions_) primeSessions_ = CodexSessions::prime;
    if (!trayAvailable_) trayAvailable_ = QSystemTrayIcon::isSystemTrayAvailable;

    connect(this, &VistelController::menuBarIndicatorRequested, menuBar_, &MenuBarIndicator::apply);
    connect(this, &VistelController::previewingChanged, menuBar_, &MenuBarIndicator::setPreviewing);
    connect(panel_.get(), &PreviewPanel::framesChanged, this, [this](const QList<QRectF>& frames) {
        screen_->setOwnWindows(frames);
        // Under Wayland the compositor alone places windows: the desktop asks it to.
        if (!frames.isEmpty()) desktop_->placeWindow(panel_->windowTitle(), frames.first().topLeft());
    });
    connect(remoteImages_, &RemoteImages::arrived, this, [this](const QUrl& url, const QImage& image) {
        if (holding_) display(image, url); // released meanwhile: stored, shown when found again
    });
    connect(fileImages_, &FileImages::arrived, this, [this](const QUrl& url, const QImage& image) {
        // Only over the line the file was found on: the card stands for what is under the pointer.
        if (holding_ && decodeRequestedAt_ && onSameLine(*decodeRequestedAt_, desktop_->pointer()))
            display(image, url);
    });
    // The next tick finds the file again, learns that it cannot be shown and
    // reads the screen instead; meanwhile no older card stands for it.
    connect(fileImages_, &FileImages::failedToDecode, this, [this](const QUrl&) {
        if (holding_) hidePreview();
    });
}

VistelController::~VistelController() = default;

// ---- Launch -----------------------------------------------------------------

void VistelController::launch() {
    closeOlderCopies_();
    primeSessions_();
    Thumbnails::warmImageDecoder();
    (void)QtConcurrent::run(Workers::reading(), [screen = screen_] { screen->prime(); });
    accessibility_->requestAccess();

    if (!desktop_->canReadScreen()) {
        auto* watcher = new QFutureWatcher<bool>(this);
        connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher] {
            watcher->deleteLater();
            // The desktop is asked here, on the main thread that owns its connection.
            if (!desktop_->canReadScreen()) write_(captureOffBox());
            emit permissionCheckFinished();
        });
        watcher->setFuture(
            QtConcurrent::run(Workers::loading(), [screen = screen_] { return screen->ensurePermission(); }));
    }

    // Qt timers keep firing while menus are open or windows are dragged.
    timer_ = new QTimer(this);
    timer_->setInterval(std::chrono::milliseconds(qRound(kTickInterval * 1000)));
    connect(timer_, &QTimer::timeout, this, &VistelController::tick);
    timer_->start();

    AppMenus::installMainMenu();
    emit menuBarIndicatorRequested(Settings::showMenuBarIndicator());

    // Delivered on this object's thread, and not at all once it is gone.
    connect(Settings::notifier(), &Settings::Notifier::changed, this, &VistelController::settingsChanged);

    const QPointer<VistelController> self(this);
    desktop_->watchModifiers([self](quint64 flags) {
        // Only a press matters at once; the next tick notices a release.
        if (self && HoverModifiers::isHeld(Settings::modifier(), flags)) {
            QMetaObject::invokeMethod(self.data(), &VistelController::tick, Qt::QueuedConnection);
        }
    });

    line(QStringLiteral("Vistel is running. Hold ") + HoverModifiers::label(Settings::modifier()) +
         QStringLiteral(" over an image or path."));
    const bool trayHost = trayAvailable_();
    if (trayHost && Settings::showMenuBarIndicator()) {
        line(QStringLiteral("Quit from the tray icon's menu, or press Ctrl+C here."));
    } else {
        line(noTrayHint(trayHost));
    }
    if (session_.wayland && !DesktopChoice::viaShellExtension(session_)) write_(xwaylandWarning());
    if (!IgnoredApplications::identifiers().isEmpty()) {
        line(QStringLiteral("Ignoring: ") + IgnoredApplications::summary());
    }
    if (verbose_) line(QStringLiteral("debug logging on"));
    // Started from the desktop entry: open the settings window or act on one of its items.
    DesktopActions::performRequested(Diagnostics::arguments());
}

// ---- Tick -------------------------------------------------------------------

bool VistelController::held() {
    return HoverModifiers::isHeld(Settings::modifier(), desktop_->modifierFlags());
}

void VistelController::tick() {
    const double started = now();
    if (held()) {
        tickWhileHeld();
    } else {
        lastRecognizedPoint_.reset();
        holding_ = false;
        titleDocument_.reset(); // a file saved meanwhile is found on the next hold
        accessibilityAnswer_.reset();
        said_.forget();
        slowestTick_ = 0;
        heldSince_.reset();
        fileImages_->forgetRequest();
        hidePreview();
        takeDownMessage();
    }
    const double milliseconds = (now() - started) * 1000.0;
    // A held key ticks ten times a second, mostly at the same cost: a tick is
    // logged when it is the slowest of the hold so far, not every time.
    if (verbose_ && milliseconds >= 5.0 && milliseconds > slowestTick_) {
        slowestTick_ = milliseconds;
        line(QString::asprintf("  [tick] %.0f ms", milliseconds));
    }
}

void VistelController::tickWhileHeld() {
    if (!holding_) heldSince_ = now(); // a press ticks at once
    holding_ = true;
    const QPointF p = desktop_->pointer();
    // The window system knows the window's process and title even when the
    // application publishes no accessibility.
    const std::optional<platform::WindowInfo> window = desktop_->windowAt(p);
    const std::shared_ptr<AccessibilityElement> element = accessibility_->elementAt(p);

    qint32 pid = 0;
    if (element) pid = element->processId().value_or(0);
    if (pid <= 0 && window) pid = window->pid;

    if (pid > 0) {
        const auto identify = [this, &window](qint32 id) {
            QStringList names;
            if (window && window->pid == id && !window->className.isEmpty()) names.append(window->className);
            const QString executable = processes_->executableName(id);
            if (!executable.isEmpty()) names.append(executable);
            return names;
        };
        if (IgnoredApplications::contains(pid, identify)) {
            hidePreview();
            return;
        }
    }

    std::optional<WindowContext> windowContext;
    if (element) {
        accessibility_->wakeAccessibility(*element);
        windowContext = accessibility_->windowContext(*element);
    }
    std::optional<QString> title = windowContext ? windowContext->title : std::nullopt;
    if (!title && window && !window->title.isEmpty()) title = window->title;
    // Editors that publish no document name its file in the title.
    QUrl base = windowContext ? windowContext->documentDirectory : QUrl();
    if (base.isEmpty() && title) {
        // Up to 16 existence tests: done once per title and hold, not on every tick.
        if (!titleDocument_ || titleDocument_->first != *title)
            titleDocument_ = {*title, TitleDocument::documentDirectory(*title)};
        base = titleDocument_->second;
    }

    std::optional<QList<QUrl>> roots = QList<QUrl>();
    if (pid > 0) roots = shellFolders(pid);
    // Without the shells' folders a relative name could be taken for a file
    // elsewhere: wait for them (the worker ticks again when they are read).
    if (!roots) return;
    // Everything the readings of this tick search, as one value that goes with them.
    const ResolutionContext context{base, WindowAffinity::order(*roots, base, title)};

    if (verbose_ && (!lastLoggedPoint_ || *lastLoggedPoint_ != p)) {
        lastLoggedPoint_ = p;
        said_.forget(); // a new place: what is read there is said again
        const QString role =
            element ? element->role().value_or(QStringLiteral("none")) : QStringLiteral("none");
        line(QStringLiteral("[hover] %1,%2 ax=%3 base=%4 window=\"%5\"")
                 .arg(qint64(p.x()))
                 .arg(qint64(p.y()))
                 .arg(role, base.isEmpty() ? QStringLiteral("-") : displayPath(base),
                      title.value_or(QString())));
        if (!context.roots.isEmpty()) {
            QStringList paths;
            for (const QUrl& root : context.roots)
                paths.append(displayPath(root));
            line(QStringLiteral("  [roots] ") + paths.join(QLatin1Char(' ')));
        }
    }

    if (element) {
        std::optional<QUrl> url;
        const Asked asked = askAccessibility(*element, p, context, url);
        if (asked == Asked::Pending) return; // the answer comes back from a worker and ticks again
        // Said when what accessibility gives changes, not on every tick that finds it again.
        sayOnChange(QStringLiteral("matched"),
                    url ? QStringLiteral("  [ax] matched ") + displayPath(*url) : QString());
        if (url) {
            const bool shown = present(*url);
            sayOnChange(QStringLiteral("unshown"),
                        shown ? QString()
                              : QStringLiteral("  [ax] could not be shown; reading the screen instead"));
            if (shown) return;
        }
    } else {
        sayOnChange(QStringLiteral("matched"), {}); // nothing now: a later match is said again
    }

    // The card stays while the pointer travels along its own line.
    if (previewPoint_ && std::abs(p.y() - previewPoint_->y()) > kSameLine) hidePreview();
    recognizeOnScreen(p, context);
}

std::optional<QList<QUrl>> VistelController::shellFolders(qint32 pid) {
    constexpr double kFreshFor = 2.0; // seconds
    if (auto fresh = ProcessRoots::cached(pid, kFreshFor)) return fresh;
    if (!foldersAsked_.contains(pid)) {
        foldersAsked_.insert(pid);
        auto* watcher = new QFutureWatcher<void>(this);
        connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, pid] {
            watcher->deleteLater();
            foldersAsked_.remove(pid);
            if (held()) tick();
        });
        watcher->setFuture(QtConcurrent::run(Workers::loading(), [pid, processes = processes_] {
            try {
                ProcessRoots::store(ProcessRoots::compute(pid, *processes), pid);
            } catch (...) {
                ProcessRoots::store({}, pid); // unreadable: no folders, rather than waiting for ever
            }
        }));
    }
    // Meanwhile the last reading serves, however old: folders change seldom.
    return ProcessRoots::cached(pid, std::numeric_limits<double>::infinity());
}

VistelController::Asked VistelController::askAccessibility(const AccessibilityElement& element, QPointF p,
                                                           const ResolutionContext& context,
                                                           std::optional<QUrl>& url) {
    // Every tick reads the element again; what that says is logged when it changes.
    const AccessibilityLookup::QuickAnswer quick = [&] {
        const Diagnostics::Collecting said;
        AccessibilityLookup::QuickAnswer answer =
            AccessibilityLookup::resolveQuickly(accessibility_->findingsAt(element, p), context);
        sayOnChange(QStringLiteral("ax"), said.lines().join(QLatin1Char('\n')));
        return answer;
    }();
    if (quick.url) {
        url = quick.url;
        return Asked::Named;
    }
    if (quick.rest.isEmpty()) return Asked::Nothing;

    // A label or a bare name: the project and the session records are searched on a worker.
    const AccessibilityQuestion question{quick.rest, context};
    if (accessibilityAnswer_ && accessibilityAnswer_->first == question) {
        url = accessibilityAnswer_->second;
        return url ? Asked::Named : Asked::Nothing;
    }
    if (accessibilityAsked_ == question) return Asked::Pending;
    accessibilityAsked_ = question;

    auto* watcher = new QFutureWatcher<std::optional<QUrl>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, question] {
        watcher->deleteLater();
        if (accessibilityAsked_ == question) accessibilityAsked_.reset();
        accessibilityAnswer_ = {question, watcher->result()};
        emit accessibilityResolved();
        // The answer is for what was read then: the tick reads again and uses
        // it only if it reads the same findings in the same context.
        if (held()) tick();
    });
    watcher->setFuture(QtConcurrent::run(Workers::loading(), [question]() -> std::optional<QUrl> {
        try {
            return AccessibilityLookup::resolve(question.findings, question.context);
        } catch (...) {
            return std::nullopt;
        }
    }));
    return Asked::Pending;
}

void VistelController::sayOnChange(const QString& kind, const QString& text) {
    if (verbose_ && said_.changed(kind, text)) line(text);
}

// ---- Showing and hiding -----------------------------------------------------

bool VistelController::onSameLine(QPointF from, QPointF to) {
    return std::abs(to.y() - from.y()) <= kSameLine && std::abs(to.x() - from.x()) <= kAcrossLine;
}

int VistelController::decodeCeiling() const {
    return CardGeometry::decodeCeiling(Settings::previewWidth());
}

bool VistelController::present(const QUrl& url) {
    if (displayedURL_ && *displayedURL_ == url) {
        previewPoint_ = desktop_->pointer(); // the card stays where it is
        return true;
    }
    if (!url.isLocalFile()) {
        if (!Settings::loadRemoteImages()) {
            hidePreview();
            return false;
        }
        if (const std::optional<QImage> image = remoteImages_->cached(url)) {
            display(*image, url);
            return true;
        }
        remoteImages_->fetch(url, decodeCeiling()); // the card appears when it arrives
        return true;
    }
    if (const std::optional<QImage> image = fileImages_->cached(url, decodeCeiling())) {
        display(*image, url);
        return true;
    }
    if (fileImages_->failed(url, decodeCeiling())) {
        hidePreview();
        return false;
    }
    decodeRequestedAt_ = desktop_->pointer();
    fileImages_->fetch(url, decodeCeiling()); // the card appears when it is decoded
    return true;
}

void VistelController::display(const QImage& image, const QUrl& url) {
    // Says which file the card shows (the demo and bug reports name it from here).
    if (verbose_ && displayedURL_ != url)
        line(QStringLiteral("  [card] showing ") + (url.isLocalFile() ? displayPath(url) : url.toString()));
    // The figure to hold against the 100 ms a preview may take, as the agent sees it.
    if (verbose_ && heldSince_) {
        line(QString::asprintf("  [card] up %.0f ms after the key", (now() - *heldSince_) * 1000.0));
        heldSince_.reset();
    }
    displayedURL_ = url;
    if (!previewing_) {
        previewing_ = true;
        emit previewingChanged(true);
    }
    const QPointF p = desktop_->pointer();
    previewPoint_ = p;
    ++displayGeneration_;
    panel_->setWindowSystemOrigin(desktop_->windowSystemOrigin());
    panel_->setShapedCorners(!desktop_->composites());
    panel_->showImage(image, url, p, areaUnder(p));
}

void VistelController::hidePreview() {
    previewPoint_.reset();
    if (!displayedURL_) return;
    displayedURL_.reset();
    ++displayGeneration_;
    panel_->hideCard();
    if (previewing_) {
        previewing_ = false;
        emit previewingChanged(false);
    }
}

void VistelController::showMessage(const QString& message) {
    displayedURL_.reset();
    // A message is no preview: the indicator must not go on saying so.
    if (previewing_) {
        previewing_ = false;
        emit previewingChanged(false);
    }
    const QPointF p = desktop_->pointer();
    panel_->setWindowSystemOrigin(desktop_->windowSystemOrigin());
    panel_->showMessage(message, p, areaUnder(p));
}

// hidePreview() leaves a message card alone (it knows only image cards), so a
// message would otherwise outlive the hold key and the cause it reports.
void VistelController::takeDownMessage() {
    if (panel_->showsMessage() && panel_->isVisible()) panel_->hideCard();
}

QRectF VistelController::areaUnder(QPointF p) {
    QList<platform::ScreenArea> screens = desktop_->screens();
    if (screens.isEmpty()) {
        // A desktop that reports no monitors: Qt's own view of them, primary
        // first, moved from the window system's coordinates to global points.
        QList<QScreen*> qtScreens = QGuiApplication::screens();
        if (QScreen* primary = QGuiApplication::primaryScreen()) {
            qtScreens.removeAll(primary);
            qtScreens.prepend(primary);
        }
        const QPointF origin = desktop_->windowSystemOrigin();
        for (const QScreen* screen : qtScreens) {
            screens.append({QRectF(screen->geometry()).translated(-origin),
                            QRectF(screen->availableGeometry()).translated(-origin), 1.0});
        }
    }
    return CardGeometry::areaUnder(p, screens);
}

// ---- Screen reading ---------------------------------------------------------

void VistelController::recognizeOnScreen(QPointF p, const ResolutionContext& context) {
    if (!desktop_->canReadScreen()) {
        if (!warnedAboutCapture_) {
            warnedAboutCapture_ = true;
            write_(captureOffWarning());
        }
        showMessage(captureOffMessage()); // on every such tick, so it follows the pointer
        return;
    }
    if (warnedAboutCapture_) {
        warnedAboutCapture_ = false;
        hidePreview();
        takeDownMessage();
    }

    const double t = now();
    if (recognitionInFlight_) {
        if (t - recognitionStarted_ <= kStallTimeout) return; // one reading at a time
        if (verbose_) line(QStringLiteral("  [ocr] abandoning a recognition that never returned"));
        recognitionInFlight_ = false;
    }
    if (t - lastRecognitionTime_ < kMinimumCaptureInterval) return;
    const bool sameSpot = lastRecognizedPoint_ && std::abs(p.x() - lastRecognizedPoint_->x()) < kSameSpot &&
                          std::abs(p.y() - lastRecognizedPoint_->y()) < kSameSpot;
    if (sameSpot) {
        if (displayedURL_) return; // the card for this spot is up
        if (t - lastRecognitionTime_ < kRetryInterval) return;
    }
    // A retry at the same spot mostly reads what the last reading did: its
    // step-by-step trace is left out, and one line says what it found.
    const bool traced = verbose_ && !sameSpot;

    lastRecognizedPoint_ = p;
    lastRecognitionTime_ = t;
    recognitionStarted_ = t;
    recognitionInFlight_ = true;
    const qint64 generation = displayGeneration_;
    const quint64 reading = ++reading_;

    auto* watcher = new QFutureWatcher<std::optional<QUrl>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, reading, p, generation, traced] {
        watcher->deleteLater();
        const std::optional<QUrl> url = watcher->result();
        // One line for an untraced retry, so the log still shows that the spot was read again
        // (it starts as a traced reading's first line does, and ends as its last).
        if (verbose_ && !traced) {
            const QString again =
                QStringLiteral("  [ocr] pointer %1,%2 read again").arg(qint64(p.x())).arg(qint64(p.y()));
            line(again + (url ? QStringLiteral(" -> ") + displayPath(*url)
                              : QStringLiteral(": no candidate under the pointer")));
        }
        recognized(reading, p, generation, url);
    });
    watcher->setFuture(QtConcurrent::run(
        Workers::reading(), [screen = screen_, p, context, verbose = traced]() -> std::optional<QUrl> {
            try {
                return screen->imageReference(p, context, verbose);
            } catch (...) {
                return std::nullopt; // a reader that throws has found nothing
            }
        }));
}

void VistelController::recognized(quint64 reading, QPointF p, qint64 generation,
                                  const std::optional<QUrl>& url) {
    // An abandoned reading answers to nobody: a newer one may be in flight.
    if (reading != reading_ || !recognitionInFlight_) {
        emit recognitionHandled();
        return;
    }
    recognitionInFlight_ = false;

    if (!held()) {
        emit recognitionHandled();
        return;
    }
    if (!onSameLine(p, desktop_->pointer())) {
        if (verbose_) line(QStringLiteral("  [ocr] discarded: pointer moved on"));
        emit recognitionHandled();
        return;
    }

    if (url) {
        present(*url);
    } else if (screen_->stalls() >= kStallsBeforeNotice) {
        previewPoint_.reset();
        showMessage(stalledMessage());
    } else if (displayGeneration_ != generation) {
        if (verbose_)
            line(QStringLiteral("  [ocr] found nothing, but the panel has changed since; leaving it alone"));
    } else {
        hidePreview();
    }
    emit recognitionHandled();
}

// ---- Settings ---------------------------------------------------------------

void VistelController::settingsChanged(Settings::Change change) {
    switch (change) {
    case Settings::Change::PreviewSize:
        panel_->applySettings();
        fileImages_->clear();
        remoteImages_->clearImages();
        hidePreview();
        break;
    case Settings::Change::ShowCaption:
    case Settings::Change::ShowImageDetails:
        panel_->applySettings();
        break;
    case Settings::Change::LoadRemoteImages:
        remoteImages_->clearImages();
        remoteImages_->forgetRequest();
        hidePreview();
        break;
    case Settings::Change::Modifier:
    case Settings::Change::IgnoredApplications:
        hidePreview();
        break;
    case Settings::Change::ShowMenuBarIndicator:
        emit menuBarIndicatorRequested(Settings::showMenuBarIndicator());
        break;
    }
}

// ---- Notices ----------------------------------------------------------------

QString VistelController::noTrayHint(bool trayHost) {
    return (trayHost ? QStringLiteral("The tray icon is switched off. ")
                     : QStringLiteral("This desktop shows no tray icons. ")) +
           QStringLiteral("Open the settings with `VistelPrototype --open settings` or from the application "
                          "menu (Vistel); quit with `VistelPrototype --quit` or Ctrl+C here.");
}

// Xwayland hands X11 programs the pointer and the keys only while the pointer
// is over an X11 window, and shows them only X11 windows' pixels.
QString VistelController::xwaylandWarning() {
    return QStringLiteral(
        "\nThis is a Wayland session, which Vistel sees through Xwayland: only X11 windows can be "
        "previewed, and Vistel follows the pointer and the hold key only while the pointer is over one of "
        "them. Windows of Wayland applications (most GNOME and KDE ones) show nothing. To preview "
        "everywhere, log in to an X11 (Xorg) session; Wayland support is planned.\n");
}

QString VistelController::captureOffBox() {
    return QStringLiteral(
        "\n┌──────────────────────────────────────────────────────────────┐\n"
        "│   Screen reading is OFF — VS Code and Cursor will not work   │\n"
        "└──────────────────────────────────────────────────────────────┘\n"
        "Those applications paint their own text and publish none of it through accessibility, so "
        "reading the screen is the only way to see a path in them. Applications that publish their text "
        "(AT-SPI) are still read wherever Vistel can follow the pointer.\n\n"
        "Vistel reads the screen of an X11 display in 24-bit colour: log in to an X11 (Xorg) session, or "
        "start Vistel where DISPLAY names such an X server, then start it again.\n");
}

QString VistelController::captureOffWarning() {
    return QStringLiteral(
        "\n⚠️  Screen reading is off, so nothing in VS Code, Cursor or any other application that "
        "paints its own text can be previewed. Vistel reads the screen of an X11 display in 24-bit "
        "colour: log in to an X11 (Xorg) session, or run this command where DISPLAY names such an X "
        "server, then restart.\n");
}

QString VistelController::captureOffMessage() {
    return QStringLiteral("Screen reading is off.\n\nThe screen can be read only in an X11 session.");
}

QString VistelController::stalledMessage() {
    return QStringLiteral("Screen reading has stopped responding.\n\nQuit and reopen this command.");
}
