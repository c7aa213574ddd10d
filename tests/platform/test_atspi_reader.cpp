// The AT-SPI reader against a real Qt text view on a private X server and session bus.
#include "PrivateDesktop.h"
#include "TempTree.h"
#include "core/ImageReference.h"
#include "platform/Desktop.h"
#include "platform/atspi/AtspiAccessibilityReader.h"

#include <QTest>
#include <csignal>
#include <memory>

namespace {

// The window under the pointer is the test's application; one screen at the origin.
class OneWindowDesktop final : public platform::Desktop {
  public:
    qint32 pid = 0;
    QString title;

    QPointF pointer() override { return {}; }
    quint64 modifierFlags() override { return 0; }
    std::optional<platform::WindowInfo> windowAt(QPointF) override {
        if (pid <= 0) return std::nullopt;
        platform::WindowInfo info;
        info.pid = pid;
        info.title = title;
        return info;
    }
    QList<platform::ScreenArea> screens() override {
        return {platform::ScreenArea{QRectF(0, 0, 1280, 800), QRectF(0, 0, 1280, 800), 1.0}};
    }
    bool accessibilityEnabled() override { return true; }
    bool canReadScreen() override { return true; }
    bool watchModifiers(std::function<void(quint64)>) override { return false; }
};

const QString kOutput = QStringLiteral("🎉🎉 wrote shots/hero.png ok\n"
                                       "saved out/\n"
                                       "  images/wrapped.png ok\n"
                                       "missing shots/absent.png\n");
const QStringList kNeedles{"hero.png", "out/", "images/wrapped", "absent.png"};

} // namespace

class TestAtspiReader : public QObject {
    Q_OBJECT

    TempTree tree_;
    PrivateDesktop session_;
    TextWindowRun app_;
    OneWindowDesktop desktop_;
    std::unique_ptr<AtspiAccessibilityReader> reader_;

    TextWindowRun launch(const QString& title) {
        return TextWindowRun::launch(QStringLiteral(VISTEL_TEXT_WINDOW), tree_.path(), title,
                                     "printf '" + kOutput + "'", kNeedles);
    }

    // The application registers on the accessibility bus some time after it shows.
    std::shared_ptr<AccessibilityElement> waitForElement(QPointF at) {
        for (int i = 0; i < 100; ++i) {
            if (auto element = reader_->elementAt(at)) return element;
            QTest::qWait(100);
        }
        return nullptr;
    }

    // The shell of the window read works in the fixture folder.
    ResolutionContext shell() const { return {QUrl(), {tree_.url()}}; }

  private slots:
    void initTestCase() {
        const QString missing = PrivateDesktop::missingProgram();
        if (!missing.isEmpty())
            QSKIP(
                qPrintable(missing + QStringLiteral(" is not installed (scripts/install-deps installs it)")));
        tree_.file("shots/hero.png");
        tree_.file("out/images/wrapped.png");
        ImageReference::MissLifetime::set(0);
        const QString failure = session_.start();
        QVERIFY2(failure.isEmpty(), qPrintable(failure));

        app_ = launch("accessible terminal");
        QCOMPARE(app_.needles.size(), kNeedles.size());
        desktop_.pid = app_.pid();
        desktop_.title = "the title X11 knows";
        reader_ = std::make_unique<AtspiAccessibilityReader>(desktop_);
        reader_->requestAccess();
        QVERIFY2(waitForElement(app_.needles.first()),
                 "the application never appeared on the accessibility bus");
    }

    void cleanupTestCase() {
        reader_.reset();
        if (app_.process) PrivateDesktop::stop(*app_.process);
    }

    void theElementUnderThePointer() {
        const auto element = reader_->elementAt(app_.needles.first());
        QVERIFY(element);
        QCOMPARE(element->processId().value_or(0), app_.pid());
        const std::optional<WindowContext> context = reader_->windowContext(*element);
        QVERIFY(context);
        // The name the window publishes comes before the one X11 knows.
        QCOMPARE(context->title.value_or(QString()), QStringLiteral("accessible terminal"));
        reader_->wakeAccessibility(*element);
        QVERIFY(reader_->wokenProcesses().contains(app_.pid()));
    }

    void readsThePathUnderThePointer_data() {
        QTest::addColumn<int>("needle"); // -1: right of the first line, where there is no text
        QTest::addColumn<QString>("expected");
        QTest::newRow("after two emoji") << 0 << "shots/hero.png";
        QTest::newRow("wrapped, second line") << 2 << "out/images/wrapped.png";
        QTest::newRow("beyond the text") << -1 << "";
    }
    void readsThePathUnderThePointer() {
        QFETCH(int, needle);
        QFETCH(QString, expected);
        const QPointF at = needle < 0 ? app_.after : app_.needles.at(needle);
        const auto element = reader_->elementAt(at);
        QVERIFY(element);
        const std::optional<QUrl> url = reader_->imageURL(*element, at, shell());
        QCOMPARE(url.value_or(QUrl()).toString(),
                 expected.isEmpty() ? QString() : tree_.url(expected).toString());
    }

    void anApplicationGoneMidQueryAnswersNothing() {
        TextWindowRun doomed = launch("Doomed");
        QCOMPARE(doomed.needles.size(), kNeedles.size());
        desktop_.pid = doomed.pid();
        const auto element = waitForElement(doomed.needles.first());
        desktop_.pid = app_.pid();
        QVERIFY(element);
        doomed.process->kill();
        QVERIFY(doomed.process->waitForFinished(5000));
        QVERIFY(!reader_->imageURL(*element, doomed.needles.first(), shell()));
        reader_->windowContext(*element); // answers what it can; must not fail
    }

    // Last: a stopped application times out once, then stays skipped.
    void aStoppedApplicationIsSkipped() {
        const QPointF at = app_.needles.first();
        QVERIFY(reader_->elementAt(at));
        QVERIFY(!reader_->skipping(app_.pid()));
        QCOMPARE(::kill(pid_t(app_.pid()), SIGSTOP), 0);
        const auto element = reader_->elementAt(at);
        if (element) QVERIFY(!reader_->imageURL(*element, at, shell()));
        QVERIFY(reader_->skipping(app_.pid()));
        QVERIFY(!reader_->elementAt(at)); // skipped: not even asked
        ::kill(pid_t(app_.pid()), SIGCONT);
    }
};

QTEST_GUILESS_MAIN(TestAtspiReader)
#include "test_atspi_reader.moc"
