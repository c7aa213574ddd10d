#include "core/Settings.h"

#include "core/Diagnostics.h"

#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <cmath>
#include <memory>
#include <mutex>

namespace {

const QString previewWidthKey = QStringLiteral("previewWidth");
const QString showCaptionKey = QStringLiteral("showCaption");
const QString loadRemoteImagesKey = QStringLiteral("loadRemoteImages");
const QString modifierKey = QStringLiteral("modifier");
const QString showMenuBarIndicatorKey = QStringLiteral("showMenuBarIndicator");
const QString ignoredApplicationsKey = QStringLiteral("ignoredApplications");

constexpr double defaultPreviewWidth = 220.0;

// Which file holds the settings: empty for the user's own. A QSettings object
// is made per access (Qt shares the parsed file between them), so getters are
// safe on any thread without holding a lock across file access.
class StoreFile {
public:
    QString path() {
        std::lock_guard guard(lock_);
        return path_;
    }
    void set(const QString& path) {
        std::lock_guard guard(lock_);
        path_ = path;
    }

private:
    std::mutex lock_;
    QString path_;
};

class Observers {
public:
    void append(std::function<void(Settings::Change)> callback) {
        std::lock_guard guard(lock_);
        callbacks_.append(std::move(callback));
    }
    QList<std::function<void(Settings::Change)>> all() {
        std::lock_guard guard(lock_);
        return callbacks_;
    }

private:
    std::mutex lock_;
    QList<std::function<void(Settings::Change)>> callbacks_;
};

StoreFile& storeFile() {
    static StoreFile* instance = new StoreFile;
    return *instance;
}

Observers& observers() {
    static Observers* instance = new Observers;
    return *instance;
}

// The user's settings live in $XDG_CONFIG_HOME/vistel/com.vistel.Vistel.conf
// (~/.config/... by default), an INI file named after the settings domain.
QString userStorePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QLatin1String("/vistel/com.vistel.Vistel.conf");
}

// Defaults are not written anywhere: each getter supplies its own, so the file
// holds only what the user changed.
std::unique_ptr<QSettings> open() {
    static std::once_flag ready;
    std::call_once(ready, [] {
        if (Diagnostics::verbose()) Diagnostics::print(QStringLiteral("[settings] com.vistel.Vistel"));
    });
    QString path = storeFile().path();
    if (path.isEmpty()) path = userStorePath();
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

QVariant read(const QString& key) { return open()->value(key); }

void write(const QString& key, const QVariant& value) {
    auto settings = open();
    settings->setValue(key, value);
    settings->sync();
}

bool readBool(const QString& key) {
    const QVariant value = read(key);
    return value.isValid() ? value.toBool() : true; // every boolean defaults to on
}

// Rounded, halves away from zero, into 160 ... 420; nothing usable reads as 0.
double clampedWidth(double value) {
    if (std::isnan(value)) value = 0;
    return std::clamp(std::round(value), 160.0, 420.0);
}

void notify(Settings::Change change) {
    for (const auto& callback : observers().all()) callback(change);
}

void setBool(const QString& key, bool value, Settings::Change change) {
    if (readBool(key) == value) return;
    write(key, value);
    notify(change);
}

} // namespace

namespace Settings {

HoverModifier modifier() { return HoverModifiers::fromRawValue(read(modifierKey).toString()); }

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

bool showCaption() { return readBool(showCaptionKey); }
void setShowCaption(bool value) { setBool(showCaptionKey, value, Change::ShowCaption); }
bool loadRemoteImages() { return readBool(loadRemoteImagesKey); }
void setLoadRemoteImages(bool value) { setBool(loadRemoteImagesKey, value, Change::LoadRemoteImages); }
bool showMenuBarIndicator() { return readBool(showMenuBarIndicatorKey); }
void setShowMenuBarIndicator(bool value) {
    setBool(showMenuBarIndicatorKey, value, Change::ShowMenuBarIndicator);
}

QStringList storedIgnoredApplications() {
    const QVariant stored = read(ignoredApplicationsKey);
    return stored.isValid() ? stored.toStringList() : QStringList{};
}

void observe(std::function<void(Change)> callback) {
    if (callback) observers().append(std::move(callback));
}

void useStoreFile(const QString& path) { storeFile().set(path); }

} // namespace Settings
