#include "app/agent/RemoteImages.h"

#include "app/agent/Thumbnails.h"
#include "app/agent/Workers.h"

#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QtConcurrent/QtConcurrentRun>

namespace {

// Set on a reply that was cut off for its size.
constexpr const char* kRefused = "vistelRefused";

} // namespace

RemoteImages::RemoteImages(QObject* parent) : RemoteImages(Limits{}, parent) {}

RemoteImages::RemoteImages(Limits limits, QObject* parent)
    : QObject(parent), limits_(limits), network_(new QNetworkAccessManager(this)) {}

RemoteImages::~RemoteImages() {
    abandon();
}

std::optional<QImage> RemoteImages::cached(const QUrl& url) const {
    return images_.value(url.toString(QUrl::FullyEncoded));
}

void RemoteImages::fetch(const QUrl& url, int maxPixels) {
    if (url == requested_) return;
    requested_ = url;
    abandon();

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(limits_.maxRedirects);
    request.setTransferTimeout(limits_.stallMilliseconds);
    QNetworkReply* reply = network_->get(request);
    reply_ = reply;

    const qint64 maxBytes = limits_.maxBytes;
    const auto refuse = [reply] {
        reply->setProperty(kRefused, true);
        reply->abort();
    };
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, maxBytes, refuse] {
        bool known = false;
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && announced > maxBytes) refuse();
    });
    connect(reply, &QNetworkReply::downloadProgress, this, [maxBytes, refuse](qint64 received, qint64) {
        if (received > maxBytes) refuse();
    });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, url, maxPixels] { finished(reply, url, maxPixels); });
}

void RemoteImages::finished(QNetworkReply* reply, const QUrl& url, int maxPixels) {
    reply->deleteLater();
    if (reply != reply_ || url != requested_) return; // superseded or forgotten
    reply_ = nullptr;

    const bool refused = reply->property(kRefused).toBool();
    if (refused || reply->error() != QNetworkReply::NoError) {
        emit failed(url);
        return;
    }
    const QByteArray data = reply->readAll();
    if (data.isEmpty() || data.size() > limits_.maxBytes) {
        emit failed(url);
        return;
    }

    auto* watcher = new QFutureWatcher<std::optional<QImage>>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, url] {
        watcher->deleteLater();
        decoded(url, watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(Workers::loading(),
                                         [data, maxPixels] { return Thumbnails::ofData(data, maxPixels); }));
}

void RemoteImages::decoded(const QUrl& url, const std::optional<QImage>& image) {
    if (url != requested_) return; // another URL was asked for meanwhile
    if (!image) {
        emit failed(url);
        return;
    }
    images_.store(url.toString(QUrl::FullyEncoded), *image);
    emit arrived(url, *image);
}

void RemoteImages::forgetRequest() {
    requested_.clear();
    abandon();
}

void RemoteImages::abandon() {
    if (QNetworkReply* reply = reply_) {
        reply_ = nullptr; // its finished signal, emitted by abort(), is then ignored
        reply->abort();
    }
}
