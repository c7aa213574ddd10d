#pragma once

#include "app/agent/FileImages.h"
#include "app/agent/RemoteImages.h"
#include "core/OncePerChange.h"
#include "core/ProcessRoots.h"
#include "core/ResolutionContext.h"
#include "core/Settings.h"
#include "platform/AccessibilityReader.h"
#include "platform/Desktop.h"
#include "platform/Session.h"
#include "screen/ScreenReader.h"

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QRectF>
#include <QSet>
#include <QString>
#include <QUrl>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <utility>

class MenuBarIndicator;
class PreviewPanel;
class QTimer;

// The hover agent's main loop. Every 0.1 s it checks whether the hold key is
// down, finds what lies under the pointer and asks the two readers in turn:
// accessibility first, the screen second (on a worker thread, one reading at a
// time). A found image is shown on the card; the controller also decides when
// the card goes away. Everything here runs on the main thread.
class VistelController : public QObject {
    Q_OBJECT
  public:
    // Seconds on a monotonic clock.
    using Clock = std::function<double()>;
    // Text exactly as given; lines carry their own newline.
    using Write = std::function<void(const QString& text)>;

    // What the controller works with. Only desktop is required; every other
    // empty part gets the real one (or, for the readers, one that finds nothing).
    struct Parts {
        std::unique_ptr<platform::Desktop> desktop;
        std::unique_ptr<AccessibilityReader> accessibility; // default: NoAccessibilityReader
        std::shared_ptr<ScreenReader> screen;               // default: NoScreenReader
        std::unique_ptr<ProcessRoots::Source> processes;    // default: /proc
        Clock clock;                                        // default: std::chrono::steady_clock
        Write write;                                        // default: Diagnostics::write
        std::optional<bool> verbose;                        // default: Diagnostics::verbose()
        std::function<void()> closeOlderCopies;             // default: OlderCopies::close
        std::function<void()> primeSessions;                // default: CodexSessions::prime
        std::function<bool()> trayAvailable;                // default: QSystemTrayIcon's answer
        std::optional<platform::Session> session;           // default: platform::currentSession()
        RemoteImages::Limits remoteLimits;
    };

    static constexpr double kTickInterval = 0.1;
    static constexpr double kRetryInterval = 0.4;
    static constexpr double kStallTimeout = 5.0;
    static constexpr double kMinimumCaptureInterval = 0.25;
    static constexpr double kSameSpot = 6.0;     // points, both axes, for the retry pacing
    static constexpr double kSameLine = 20.0;    // vertical points a card survives
    static constexpr double kAcrossLine = 400.0; // horizontal points a late reading survives
    static constexpr qint64 kStallsBeforeNotice = 3;

    // Creates the card; needs a QApplication.
    explicit VistelController(Parts parts, QObject* parent = nullptr);
    ~VistelController() override;

    // The start sequence: older copies asked to quit, session records primed,
    // image decoder and screen reader warmed, accessibility asked for, the
    // screen permission checked, the tick timer, settings observer and modifier
    // watch started, and the banner printed. Connect to the signals first.
    void launch();

    // One pass of the main loop.
    void tick();
    // Shows the image at a resolved URL, at once when it is at hand, else when
    // its thumbnail arrives from a worker. False when it cannot be shown: a
    // local file known not to decode, or a web image while they are off.
    bool present(const QUrl& url);
    void hidePreview();
    // Starts a screen reading at p if the pacing allows; it searches where the
    // context says, whatever later ticks find.
    void recognizeOnScreen(QPointF p, const ResolutionContext& context);
    void settingsChanged(Settings::Change change);

    // State, for the menu bar indicator, diagnostics and tests.
    qint64 displayGeneration() const { return displayGeneration_; }
    std::optional<QUrl> displayedURL() const { return displayedURL_; }
    std::optional<QPointF> previewPoint() const { return previewPoint_; }
    bool holding() const { return holding_; }
    bool previewing() const { return previewing_; }
    bool recognitionInFlight() const { return recognitionInFlight_; }
    PreviewPanel& panel() { return *panel_; }
    // The one desktop connection, shared with the menus (main thread only).
    platform::Desktop& desktop() { return *desktop_; }
    // The tray icon; shown per "showMenuBarIndicator", active while a card shows.
    MenuBarIndicator& menuBar() { return *menuBar_; }
    FileImages& fileImages() { return *fileImages_; }
    RemoteImages& remoteImages() { return *remoteImages_; }

    // How to reach the settings and quit when no tray icon shows (this
    // desktop has no tray, or the icon is switched off).
    static QString noTrayHint(bool trayHost);
    // Printed once at launch in a Wayland session seen through Xwayland.
    static QString xwaylandWarning();
    // The notices about an unreadable screen.
    static QString captureOffBox();
    static QString captureOffWarning();
    static QString captureOffMessage();
    static QString stalledMessage();

  signals:
    // A card with an image appeared (true) or went away (false).
    void previewingChanged(bool previewing);
    // The menu bar indicator should be shown or hidden (at launch and on changes).
    void menuBarIndicatorRequested(bool visible);
    // A screen reading's answer has been dealt with (also when dropped).
    void recognitionHandled();
    // An accessibility answer that needed the disk has come back from its worker.
    void accessibilityResolved();
    // The launch-time screen permission check has finished (only when one ran).
    void permissionCheckFinished();

  private:
    double now() const { return clock_(); }
    void line(const QString& text) const { write_(text + QLatin1Char('\n')); }
    // A diagnostic the tick would repeat while nothing changes: printed when it
    // differs from the last of its kind; an empty text notes there is none now.
    void sayOnChange(const QString& kind, const QString& text);
    bool held();
    void tickWhileHeld();
    void display(const QImage& image, const QUrl& url);
    void showMessage(const QString& message);
    void takeDownMessage();
    void recognized(quint64 reading, QPointF p, qint64 generation, const std::optional<QUrl>& url);
    // What accessibility names under the pointer: a URL, nothing (the screen
    // gets its turn), or not yet known (a worker is searching the disk).
    enum class Asked { Named, Nothing, Pending };
    // The working folders of the process's shells as last read, or none
    // before the first reading; a reading older than 2 seconds is renewed on a
    // worker (walking /proc takes some 20 ms), which then ticks again.
    std::optional<QList<QUrl>> shellFolders(qint32 pid);
    Asked askAccessibility(const AccessibilityElement& element, QPointF p, const ResolutionContext& context,
                           std::optional<QUrl>& url);
    QRectF areaUnder(QPointF p);
    // Whether an answer found at from still stands for what lies under to.
    static bool onSameLine(QPointF from, QPointF to);
    int decodeCeiling() const;

    std::unique_ptr<platform::Desktop> desktop_;
    std::unique_ptr<AccessibilityReader> accessibility_;
    std::shared_ptr<ScreenReader> screen_;
    std::shared_ptr<ProcessRoots::Source> processes_; // shared with the workers that read it
    Clock clock_;
    Write write_;
    bool verbose_;
    std::function<void()> closeOlderCopies_;
    std::function<void()> primeSessions_;
    std::function<bool()> trayAvailable_;
    platform::Session session_;

    std::unique_ptr<PreviewPanel> panel_; // a top-level window: no QObject parent
    MenuBarIndicator* menuBar_;
    QTimer* timer_ = nullptr;
    FileImages* fileImages_;
    RemoteImages* remoteImages_;

    std::optional<QUrl> displayedURL_;
    std::optional<QPointF> previewPoint_;
    bool holding_ = false;
    bool previewing_ = false;
    bool warnedAboutCapture_ = false;
    qint64 displayGeneration_ = 0;
    bool recognitionInFlight_ = false;
    quint64 reading_ = 0; // serial of the latest reading started
    double recognitionStarted_ = -std::numeric_limits<double>::infinity();
    double lastRecognitionTime_ = -std::numeric_limits<double>::infinity();
    std::optional<QPointF> lastRecognizedPoint_;
    std::optional<QPointF> lastLoggedPoint_;
    double slowestTick_ = 0;                   // milliseconds, this hold: only a slower tick is logged
    std::optional<double> heldSince_;          // the key went down, until this hold's first card
    std::optional<QPointF> decodeRequestedAt_; // where the awaited local image was found
    std::optional<std::pair<QString, QUrl>> titleDocument_; // the last title and the folder it names

    // Accessibility findings that need a search of the disk are resolved on a
    // worker; the answer is kept for the findings and context it was for, and
    // used by the ticks that read the same again.
    struct AccessibilityQuestion {
        AccessibilityLookup::Findings findings;
        ResolutionContext context;
        bool operator==(const AccessibilityQuestion&) const = default;
    };
    std::optional<AccessibilityQuestion> accessibilityAsked_; // in flight
    QSet<qint32> foldersAsked_; // processes whose shells' folders a worker is reading
    std::optional<std::pair<AccessibilityQuestion, std::optional<QUrl>>> accessibilityAnswer_;
    OncePerChange said_; // per-tick diagnostics already said for this hover
};
