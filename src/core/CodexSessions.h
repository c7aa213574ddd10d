#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

// The images that recent Codex command-line sessions showed, read incrementally
// from their JSON-lines transcripts under ~/.codex/sessions, newest first.
namespace CodexSessions {

// The shown images, newest first (ingesting new transcript lines at most once a second).
QList<QUrl> recent();

// Starts one ingest on a background thread and returns at once.
void prime();

// Reads the new complete lines of the recent transcripts into the shown list.
void ingest();

// Up to 8 transcripts of the two newest day folders, most recently modified first.
QList<QUrl> transcripts();

// The shown image that a written label or name refers to, or absent.
std::optional<QUrl> match(const QString& label);

// The file URLs of the image records in a chunk of transcript, in file order.
QList<QUrl> imagePaths(const QByteArray& data);

// "file://" URLs and absolute paths, standardised; anything else is absent.
std::optional<QUrl> fileURL(const QString& path);

// Whether a shown image's folders agree with the folders written in a label.
bool directoriesAgree(const QUrl& url, const QStringList& writtenFolders, bool exactly);

// While set, recent() returns this list unchanged and reads nothing (tests).
void setOverride(const std::optional<QList<QUrl>>& urls);

// Where transcripts are looked for; defaults to ~/.codex/sessions (tests point it
// elsewhere; an empty path returns to the default). Changing the folder forgets
// what was read from the previous one.
void setSessionsFolder(const QString& path);

} // namespace CodexSessions
