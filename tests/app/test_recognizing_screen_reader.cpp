// The agent's screen reader over fake capture backends and a fake recogniser:
// what it answers, and how stalls are counted and cleared.
#include "TempTree.h"
#include "app/RecognizingScreenReader.h"
#include "screen/Capture.h"

#include <QTest>
#include <condition_variable>
#include <mutex>

namespace {

// A capture backend whose answers the test sets; it can also hang until released.
class Backend final : public platform::ScreenCapture {
  public:
    std::optional<platform::Capture> shot;

    bool canCapture() override { return true; }
    QList<platform::Monitor> monitors() override { return {platform::Monitor{QRectF(0, 0, 2400, 900), 1}}; }
    std::optional<platform::Capture> capture(QRectF strip) override {
        std::unique_lock lock(mutex_);
        released_.wait(lock, [this] { return !hanging_; });
        if (!shot) return std::nullopt;
        return platform::Capture{shot->image, strip};
    }
    void hang(bool on) {
        {
            const std::lock_guard lock(mutex_);
            hanging_ = on;
        }
        released_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool hanging_ = false;
};

// Reads one line, "see shots/a.png", across the middle of whatever it is shown.
class OneLine final : public platform::TextRecognizer {
  public:
    QList<platform::Observation> recognize(const QImage&) const override {
        platform::Observation o;
        o.text = QStringLiteral("see shots/a.png");
        o.box = QRectF(0.0, 0.4, 1.0, 0.2);
        for (qsizetype i = 0; i < o.text.size(); ++i)
            o.characters.append(o.text.at(i).isSpace() ? QRectF() : QRectF(i / 15.0, 0.4, 1 / 15.0, 0.2));
        return {o};
    }
};

} // namespace

class RecognizingScreenReaderTest : public QObject {
    Q_OBJECT

    std::shared_ptr<Backend> backend_;
    std::unique_ptr<RecognizingScreenReader> reader_;

  private slots:
    void init() {
        backend_ = std::make_shared<Backend>();
        QImage white(2400, 76, QImage::Format_RGB32);
        white.fill(Qt::white);
        backend_->shot = platform::Capture{white, QRectF()};
        reader_ = std::make_unique<RecognizingScreenReader>(backend_, std::make_shared<OneLine>());
    }
    void cleanup() { backend_->hang(false); }

    void answersTheReferenceUnderThePointer_data() {
        QTest::addColumn<double>("x");
        QTest::addColumn<bool>("found");
        // The line spans the 1000-point tile round the pointer (0..1000 at the strip's left edge);
        // "shots/a.png" is its last 11 of 15 characters.
        QTest::newRow("on the reference") << 1200.0 + 400 << true;
        QTest::newRow("on the word before it") << 50.0 << false;
    }
    void answersTheReferenceUnderThePointer() {
        QFETCH(double, x);
        QFETCH(bool, found);
        TempTree tree;
        tree.file("shots/a.png");
        const std::optional<QUrl> url = reader_->imageReference(QPointF(x, 400), tree.url(), false);
        QCOMPARE(url.has_value(), found);
        if (found) QCOMPARE(*url, tree.url("shots/a.png"));
    }

    void stallsAreCountedAndClearedByAnAnswer() {
        QCOMPARE(reader_->stalls(), 0);
        backend_->hang(true);
        QVERIFY(!reader_->imageReference(QPointF(1200, 400), QUrl(), false)); // the time limit answers
        QVERIFY(!reader_->imageReference(QPointF(1200, 400), QUrl(), false));
        QCOMPARE(reader_->stalls(), 2);
        backend_->hang(false);
        reader_->imageReference(QPointF(1200, 400), QUrl(), false);
        QCOMPARE(reader_->stalls(), 0);
    }
};

QTEST_GUILESS_MAIN(RecognizingScreenReaderTest)
#include "test_recognizing_screen_reader.moc"
