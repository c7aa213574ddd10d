#pragma once

#include "core/HoverModifier.h"

#include <QObject>
#include <QString>
#include <QStringList>

// The user's choices, stored in the settings domain "com.vistel.Vistel",
// with registered defaults, clamped reads and change notification.
namespace Settings {
Q_NAMESPACE

enum class Change {
    PreviewSize,
    ShowCaption,
    LoadRemoteImages,
    Modifier,
    IgnoredApplications,
    ShowMenuBarIndicator,
    ShowImageDetails,
};
Q_ENUM_NS(Change)

// Announces every change of a value, once, after it was written. The signal is
// emitted on the thread that changed the value; a receiver connected with a
// context object gets it on that object's thread (queued when that is another
// one), so nobody needs to hop threads by hand.
class Notifier : public QObject {
    Q_OBJECT
  signals:
    void changed(Settings::Change change);
};

// The process's one notifier, created on first use and never destroyed.
Notifier* notifier();

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
// "showImageDetails": the caption also gives the image's pixel and file size.
// Off unless chosen, so the card keeps its plain layout.
bool showImageDetails();
void setShowImageDetails(bool value);

// The "ignoredApplications" array, empty when absent.
QStringList storedIgnoredApplications();
// Stores the array (an empty one removes it) and announces IgnoredApplications
// when it differs from what is stored.
void setIgnoredApplications(const QStringList& identifiers);

// The file that holds the user's own settings.
QString userFile();

// Points the store at another file (tests and the self-test); an empty path
// returns to the user's own domain.
void useStoreFile(const QString& path);

} // namespace Settings
