#pragma once

#include "app/agent/ImageCache.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

// Web images: one plain GET per URL, at most one download pending, decoded off
// the main thread through the same bounded thumbnail path as local files.
//
// The body is taken from the reply as it arrives, through a small read buffer,
// and counted: past maxBytes, or past the overall deadline, the download is
// abandoned, so an endless body never holds more than maxBytes. User
// information in a URL (read off the screen, never typed for us) is not sent.
//
// A URL is requested once: whether its download succeeds, fails, is refused
// (too large, stalled, not an image, an error status, endless redirects) or is
// superseded, asking again for the same URL does nothing until another URL is
// requested or forgetRequest() is called. A different URL cancels the pending
// download. Main thread only.
class RemoteImages : public QObject {
    Q_OBJECT
  public:
    struct Limits {
        // Above any image a card is worth waiting for (a 4K screenshot is a
        // few megabytes), and low enough that the agent with one such body in
        // hand stays near 120 MB resident.
        qint64 maxBytes = 32 * 1024 * 1024;
        int stallMilliseconds = 15'000;    // no bytes for this long abandons the download
        int deadlineMilliseconds = 60'000; // a download still running after this is abandoned
        int maxRedirects = 10;
    };

    explicit RemoteImages(QObject* parent = nullptr);
    RemoteImages(Limits limits, QObject* parent);
    ~RemoteImages() override;

    std::optional<QImage> cached(const QUrl& url) const;

    // Starts downloading url unless it is the URL last requested. maxPixels is
    // the decode ceiling for its thumbnail.
    void fetch(const QUrl& url, int maxPixels);

    // The URL last requested (pending, done or failed); empty when none.
    QUrl requestedURL() const { return requested_; }

    // Forgets the requested URL and drops its download, so nothing that
    // arrives later is stored.
    void forgetRequest();

    void clearImages() { images_.clear(); }
    qsizetype size() const { return images_.size(); }

  signals:
    // A requested image was decoded and stored; it is the requested URL still.
    void arrived(const QUrl& url, const QImage& image);
    // The download of url ended without an image (for diagnostics and tests).
    void failed(const QUrl& url);

  private:
    void finished(QNetworkReply* reply, const QUrl& url, int maxPixels);
    void decoded(const QUrl& url, const std::optional<QImage>& image);
    void abandon();
    void received(QNetworkReply* reply);
    void dropBody();

    Limits limits_;
    QNetworkAccessManager* network_;
    ImageCache images_;
    QUrl requested_;
    QPointer<QNetworkReply> reply_;
    QList<QByteArray> body_; // of reply_, in the pieces it arrived in (no doubling buffer)
    qint64 bodySize_ = 0;
};
