#include "core/Settings.h"

#include "TempTree.h"

#include <QSettings>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(Settings::Change)
Q_DECLARE_METATYPE(HoverModifier)

using Getter = bool (*)();
using Setter = void (*)(bool);
Q_DECLARE_METATYPE(Getter)
Q_DECLARE_METATYPE(Setter)

class TestSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<TempTree> tree_;
    QList<std::pair<int, Settings::Change>> heard_; // (observer, change)

    QString storePath() const { return tree_->path("vistel.conf"); }

    // Another program writing the file directly.
    void storeRaw(const QString& key, const QVariant& value) {
        QSettings raw(storePath(), QSettings::IniFormat);
        raw.setValue(key, value);
    }
    QVariant raw(const QString& key) const { return QSettings(storePath(), QSettings::IniFormat).value(key); }

private slots:
    void initTestCase() {
        Settings::observe([this](Settings::Change c) { heard_.append({1, c}); });
        Settings::observe([this](Settings::Change c) { heard_.append({2, c}); });
        Settings::observe({}); // an empty callback is refused, not called
    }

    void init() {
        tree_ = std::make_unique<TempTree>();
        Settings::useStoreFile(storePath());
        heard_.clear();
    }

    void cleanup() { Settings::useStoreFile(QString()); }

    void defaultsOnAFreshStore() {
        QCOMPARE(Settings::previewWidth(), 220.0);
        QCOMPARE(Settings::showCaption(), true);
        QCOMPARE(Settings::loadRemoteImages(), true);
        QCOMPARE(Settings::modifier(), HoverModifier::Option);
        QCOMPARE(Settings::showMenuBarIndicator(), true);
        QCOMPARE(Settings::storedIgnoredApplications(), QStringList{});
        // Defaults are never written: reading leaves no file behind.
        QVERIFY(!QFileInfo::exists(storePath()));
    }

    void storedWidthReads_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<double>("reads");
        QTest::newRow("below the range") << QVariant(100.0) << 160.0;
        QTest::newRow("above the range") << QVariant(1000.0) << 420.0;
        QTest::newRow("rounds down") << QVariant(300.4) << 300.0;
        QTest::newRow("half rounds away from zero") << QVariant(300.5) << 301.0;
        QTest::newRow("not a number") << QVariant(QStringLiteral("wide")) << 160.0;
        QTest::newRow("NaN") << QVariant(QStringLiteral("nan")) << 160.0;
    }

    void storedWidthReads() {
        QFETCH(QVariant, stored);
        QFETCH(double, reads);
        storeRaw("previewWidth", stored);
        QCOMPARE(Settings::previewWidth(), reads);
    }

    void settingTheWidth_data() {
        QTest::addColumn<QVariant>("stored"); // invalid: nothing stored
        QTest::addColumn<double>("value");
        QTest::addColumn<bool>("announced");
        QTest::addColumn<QVariant>("storedAfter");
        QTest::newRow("500 when it reads 420") << QVariant(1000.0) << 500.0 << false << QVariant(1000.0);
        QTest::newRow("219.6 when it reads the default 220") << QVariant() << 219.6 << false << QVariant();
        QTest::newRow("stored rounded") << QVariant() << 300.5 << true << QVariant(301.0);
        QTest::newRow("NaN sets the smallest width") << QVariant() << qQNaN() << true << QVariant(160.0);
    }

    void settingTheWidth() {
        QFETCH(QVariant, stored);
        QFETCH(double, value);
        QFETCH(bool, announced);
        QFETCH(QVariant, storedAfter);
        if (stored.isValid()) storeRaw("previewWidth", stored);
        Settings::setPreviewWidth(value);
        using Heard = QList<std::pair<int, Settings::Change>>;
        const Heard expected =
            announced ? Heard{{1, Settings::Change::PreviewSize}, {2, Settings::Change::PreviewSize}}
                      : Heard{};
        QCOMPARE(heard_, expected);
        const QVariant after = raw("previewWidth");
        QCOMPARE(after.isValid(), storedAfter.isValid());
        if (storedAfter.isValid()) QCOMPARE(after.toDouble(), storedAfter.toDouble());
    }

    void booleans_data() {
        QTest::addColumn<Getter>("get");
        QTest::addColumn<Setter>("set");
        QTest::addColumn<QString>("key");
        QTest::addColumn<Settings::Change>("change");
        QTest::newRow("caption") << Getter(Settings::showCaption) << Setter(Settings::setShowCaption)
                                 << "showCaption" << Settings::Change::ShowCaption;
        QTest::newRow("remote images")
            << Getter(Settings::loadRemoteImages) << Setter(Settings::setLoadRemoteImages)
            << "loadRemoteImages" << Settings::Change::LoadRemoteImages;
        QTest::newRow("menu bar indicator")
            << Getter(Settings::showMenuBarIndicator) << Setter(Settings::setShowMenuBarIndicator)
            << "showMenuBarIndicator" << Settings::Change::ShowMenuBarIndicator;
    }

    void booleans() {
        QFETCH(Getter, get);
        QFETCH(Setter, set);
        QFETCH(QString, key);
        QFETCH(Settings::Change, change);
        set(true); // already on by default
        QVERIFY(heard_.isEmpty());
        QVERIFY(!raw(key).isValid());

        set(false);
        using Heard = QList<std::pair<int, Settings::Change>>;
        QCOMPARE(heard_, (Heard{{1, change}, {2, change}}));
        QCOMPARE(get(), false);
        QCOMPARE(raw(key).toBool(), false);

        heard_.clear();
        set(false);
        QVERIFY(heard_.isEmpty());
    }

    void storedModifierReads_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<HoverModifier>("reads");
        QTest::newRow("nothing") << QVariant() << HoverModifier::Option;
        QTest::newRow("command") << QVariant("command") << HoverModifier::Command;
        QTest::newRow("capital O") << QVariant("Option") << HoverModifier::Option;
        QTest::newRow("unknown key") << QVariant("shift") << HoverModifier::Option;
    }

    void storedModifierReads() {
        QFETCH(QVariant, stored);
        QFETCH(HoverModifier, reads);
        if (stored.isValid()) storeRaw("modifier", stored);
        QCOMPARE(Settings::modifier(), reads);
    }

    void settingTheModifier_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<HoverModifier>("value");
        QTest::addColumn<bool>("announced");
        QTest::addColumn<QVariant>("storedAfter");
        QTest::newRow("option over an unknown value is no change")
            << QVariant("shift") << HoverModifier::Option << false << QVariant("shift");
        QTest::newRow("command") << QVariant() << HoverModifier::Command << true << QVariant("command");
    }

    void settingTheModifier() {
        QFETCH(QVariant, stored);
        QFETCH(HoverModifier, value);
        QFETCH(bool, announced);
        QFETCH(QVariant, storedAfter);
        if (stored.isValid()) storeRaw("modifier", stored);
        Settings::setModifier(value);
        QCOMPARE(heard_.size(), announced ? 2 : 0);
        if (announced) QCOMPARE(heard_.first().second, Settings::Change::Modifier);
        QCOMPARE(raw("modifier"), storedAfter);
        QCOMPARE(Settings::modifier(), value);
    }

    void modifierNames_data() {
        QTest::addColumn<HoverModifier>("modifier");
        QTest::addColumn<QString>("raw");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<quint64>("flag");
        QTest::newRow("option") << HoverModifier::Option << "option" << "Alt" << "\u2325" << quint64(0x80000);
        QTest::newRow("command") << HoverModifier::Command << "command"
                                 << "Super"
                                 << "\u2318" << quint64(0x100000);
        QTest::newRow("control") << HoverModifier::Control << "control"
                                 << "Control"
                                 << "\u2303" << quint64(0x40000);
    }

    void modifierNames() {
        QFETCH(HoverModifier, modifier);
        QFETCH(QString, raw);
        QFETCH(QString, label);
        QFETCH(QString, symbol);
        QFETCH(quint64, flag);
        QCOMPARE(HoverModifiers::rawValue(modifier), raw);
        QCOMPARE(HoverModifiers::fromRawValue(raw), modifier);
        QCOMPARE(HoverModifiers::label(modifier), label);
        QCOMPARE(HoverModifiers::symbol(modifier), symbol);
        QCOMPARE(HoverModifiers::eventFlag(modifier), flag);
        // Held whatever else is held; not held without its own bit.
        QVERIFY(HoverModifiers::isHeld(modifier, flag | 0x20000 | 0x1));
        QVERIFY(!HoverModifiers::isHeld(modifier, ~flag & 0x1F0000));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
