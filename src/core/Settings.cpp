#include "core/Settings.h"

#include "core/BoundedCache.h"
#include "core/Diagnostics.h"
#include "core/Guarded.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>
#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>
#include <sys/stat.h>

namespace {

const QString previewWidthKey = QStringLiteral("previewWidth");
const QString showCaptionKey = QStringLiteral("showCaption");
const QString loadRemoteImagesKey = QStringLiteral("loadRemoteImages");
const QString modifierKey = QStringLiteral("modifier");
const QString showMenuBarIndicatorKey = QStringLiteral("showMenuBarIndicator");
const QString ignoredApplicationsKey = QStringLiteral("ignoredApplications");
const QString showImageDetailsKey = QStringLiteral("showImageDetails");

constexpr double defaultPreviewWidth = 220.0;

// Which file holds the settings: empty for the user's own. A QSettings object
// is made per access (Qt shares the parsed file between them), so getters are
// safe on any thread without holding a lock across file access.
using StoreFile = Guarded<QString>;

StoreFile& storeFile() {
    static StoreFile* instance = new StoreFile;
    return *instance;
}

// The user's settings live in $XDG_CONFIG_HOME/vistel/com.vistel.Vistel.conf
// (~/.config/... by default), an INI file named after the settings domain.
QString userStorePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1String("/vistel/com.vistel.Vistel.conf");
}

// Whether a store file, as it stands on disk, could not be read or parsed. QSettings
// reports a format error only to the first object that parses a file (later ones
// share Qt's parsed copy), so the verdict is kept per file state: path, size and
// modification time.
// One file, rarely changed: a small bound.
using Verdicts = BoundedCache<QString, bool>;

Verdicts& verdicts() {
    static Verdicts* instance = new Verdicts(32);
    return *instance;
}

QString fileState(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists()) return {};
    return path + QLatin1Char('\n') + QString::number(info.size()) + QLatin1Char('\n') +
           QString::number(info.lastModified().toMSecsSinceEpoch());
}

struct Store {
    std::unique_ptr<QSettings> settings;
    // Unreadable or corrupt: read as if empty, so every getter gives its default.
    bool unusable = false;
    // Something other than a file (a FIFO, a device, a folder): never opened,
    // since reading it could block or never end, and never written over.
    bool special = false;
};

// There and not a regular file (or a link to one).
bool isSpecial(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode);
}

// Defaults are not written anywhere: each getter supplies its own, so the file
// holds only what the user changed.
Store open() {
    static std::once_flag ready;
    std::call_once(ready, [] {
        if (Diagnostics::verbose()) Diagnostics::print(QStringLiteral("[settings] com.vistel.Vistel"));
    });
    QString path = storeFile().value();
    if (path.isEmpty()) path = userStorePath();
    if (isSpecial(path)) {
        if (Diagnostics::verbose())
            Diagnostics::print(QStringLiteral("[settings] not a file, using the defaults: ") + path);
        return Store{nullptr, true, true};
    }
    const QString state = fileState(path);
    Store store{std::make_unique<QSettings>(path, QSettings::IniFormat), false};
    store.settings->allKeys(); // QSettings parses lazily: only then is the status known
    if (store.settings->status() != QSettings::NoError) {
        store.unusable = true;
        if (!state.isEmpty()) verdicts().store(state, true);
    } else if (!state.isEmpty()) {
        store.unusable = verdicts().contains(state);
    }
    return store;
}

QVariant read(const QString& key) {
    const Store store = open();
    return store.unusable ? QVariant() : store.settings->value(key);
}

// A user's change replaces an unusable file: what they saw were the defaults, and
// what could be salvaged from it is not to be trusted.
void write(const QString& key, const QVariant& value) {
    const Store store = open();
    if (store.special) return;
    if (store.unusable) store.settings->clear();
    store.settings->setValue(key, value);
    store.settings->sync();
}

void remove(const QString& key) {
    const Store store = open();
    if (store.unusable) store.settings->clear();
    store.settings->remove(key);
    store.settings->sync();
}

bool readBool(const QString& key, bool unset = true) {
    const QVariant value = read(key);
    return value.isValid() ? value.toBool() : unset;
}

// Rounded, halves away from zero, into 160 ... 420; nothing usable reads as 0.
double clampedWidth(double value) {
    if (std::isnan(value)) value = 0;
    return std::clamp(std::round(value), 160.0, 420.0);
}

void notify(Settings::Change change) {
    emit Settings::notifier()->changed(change);
}

void setBool(const QString& key, bool value, Settings::Change change, bool unset = true) {
    if (readBool(key, unset) == value) return;
    write(key, value);
    notify(change);
}

} // namespace

namespace Settings {

HoverModifier modifier() {
    return HoverModifiers::fromRawValue(read(modifierKey).toString());
}

void setModifier(HoverModifier value) {
    if (HoverModifiers::rawValue(value) == HoverModifiers::rawValue(modifier())) return;
    write(modifierKey, HoverModifiers::rawValue(value));
    notify(Change::Modifier);
}

double previewWidth() {
    const QVariant stored = read(previewWidthKey);
    if (!stored.isValid()) return clampedWidth(defaultPreviewWidth);
    bool ok = false;
    const double value = stored.toDouble(&ok);
    return clampedWidth(ok ? value : 0);
}

void setPreviewWidth(double value) {
    const double width = clampedWidth(value);
    if (width == previewWidth()) return;
    write(previewWidthKey, width);
    notify(Change::PreviewSize);
}

bool showCaption() {
    return readBool(showCaptionKey);
}
void setShowCaption(bool value) {
    setBool(showCaptionKey, value, Change::ShowCaption);
}
bool loadRemoteImages() {
    return readBool(loadRemoteImagesKey);
}
void setLoadRemoteImages(bool value) {
    setBool(loadRemoteImagesKey, value, Change::LoadRemoteImages);
}
bool showMenuBarIndicator() {
    return readBool(showMenuBarIndicatorKey);
}
void setShowMenuBarIndicator(bool value) {
    setBool(showMenuBarIndicatorKey, value, Change::ShowMenuBarIndicator);
}
bool showImageDetails() {
    return readBool(showImageDetailsKey, false);
}
void setShowImageDetails(bool value) {
    setBool(showImageDetailsKey, value, Change::ShowImageDetails, false);
}

QStringList storedIgnoredApplications() {
    const QVariant stored = read(ignoredApplicationsKey);
    return stored.isValid() ? stored.toStringList() : QStringList{};
}

void setIgnoredApplications(const QStringList& identifiers) {
    if (identifiers == storedIgnoredApplications()) return;
    if (identifiers.isEmpty()) {
        remove(ignoredApplicationsKey);
    } else {
        write(ignoredApplicationsKey, identifiers);
    }
    notify(Change::IgnoredApplications);
}

Notifier* notifier() {
    // Never destroyed: a setter may run on another thread while the process exits.
    static Notifier* instance = new Notifier;
    return instance;
}

QString userFile() {
    return userStorePath();
}

void useStoreFile(const QString& path) {
    storeFile().set(path);
}

} // namespace Settings
