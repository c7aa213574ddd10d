#pragma once

#include "core/HoverModifier.h"

#include <QString>
#include <QStringList>

#include <functional>

// The user's choices, stored in the settings domain "com.vistel.Vistel",
// with registered defaults, clamped reads and change notification.
namespace Settings {

enum class Change { PreviewSize, ShowCaption, LoadRemoteImages, Modifier, IgnoredApplications, ShowMenuBarIndicator };

HoverModifier modifier();
void setModifier(HoverModifier value);

// Rounded (halves away from zero) and clamped to 160 ... 420.
double previewWidth();
void setPreviewWidth(double value);

bool showCaption();
void setShowCaption(bool value);
bool loadRemoteImages();
void setLoadRemoteImages(bool value);
bool showMenuBarIndicator();
void setShowMenuBarIndicator(bool value);

// The "ignoredApplications" array, empty when absent.
QStringList storedIgnoredApplications();

// Observers are called synchronously, in registration order, after a value changed.
void observe(std::function<void(Change)> callback);

// The file that holds the user's own settings.
QString userFile();

// Points the store at another file (tests and the self-test); an empty path
// returns to the user's own domain.
void useStoreFile(const QString& path);

} // namespace Settings
