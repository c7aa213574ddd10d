#include "app/agent/RemoteImages.h"

#include "app/agent/ImageSignature.h"
#include "app/agent/Thumbnails.h"
#include "app/agent/Workers.h"

#include <QFutureWatcher>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>
#include <malloc.h>
#include <utility>

namespace {

// Set on a reply that was cut off for its size or its deadline.
constexpr const char* kRefused = "vistelRefused";
// What the network layer may hold for us before we read it.
constexpr qint64 kReadBuffer = 256 * 1024;
// Freeing a body larger than this hands the memory back to the system.
constexpr qint64 kTrimAbove = 4 * 1024 * 1024;
// A first piece this long shows whether the body is an image at all.
constexpr qsizetype kSignatureBytes = 32;

void refuse(QNetworkReply* reply) {
    reply->setProperty(kRefused, true);
    reply->abort();
}

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

    // Credentials seen on the screen are the screen's, not ours to send.
    QUrl plain = url;
    plain.setUserInfo(QString());
    QNetworkRequest request(plain);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    request.setMaximumRedirectsAllowed(limits_.maxRedirects);
    request.setTransferTimeout(limits_.stallMilliseconds);
    QNetworkReply* reply = network_->get(request);
    reply->setReadBufferSize(kReadBuffer);
    reply_ = reply;

    const qint64 maxBytes = limits_.maxBytes;
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply, maxBytes] {
        bool known = false;
        const qint64 announced = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
        if (known && announced > maxBytes) refuse(reply);
    });
    connect(reply, &QIODevice::readyRead, this, [this, reply] { received(reply); });
    QTimer::singleShot(limits_.deadlineMilliseconds, reply, [reply] {
        if (reply->isRunning()) refuse(reply);
    });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, url, maxPixels] { finished(reply, url, maxPixels); });
}

void RemoteImages::received(QNetworkReply* reply) {
    if (reply != reply_ || reply->property(kRefused).toBool()) return;
    const QByteArray piece = reply->readAll();
    const bool sniffing = bodySize_ < kSignatureBytes;
    bodySize_ += piece.size();
    if (!piece.isEmpty()) body_.append(piece);
    // An error page or an endless stream of something else is refused from its
    // first bytes, not after the cap's worth of them.
    bool notAnImage = false;
    if (sniffing && bodySize_ >= kSignatureBytes) {
        QByteArray head;
        for (const QByteArray& p : std::as_const(body_)) {
            head += p.first(std::min(p.size(), kSignatureBytes - head.size()));
            if (head.size() == kSignatureBytes) break;
        }
        notAnImage = !ImageSignature::isImage(head);
    }
    if (notAnImage || bodySize_ > limits_.maxBytes) {
        dropBody();
        refuse(reply);
    }
}

void RemoteImages::finished(QNetworkReply* reply, const QUrl& url, int maxPixels) {
    reply->deleteLater();
    if (reply != reply_ || url != requested_) return; // superseded or forgotten
    received(reply);                                  // what arrived with the end
    reply_ = nullptr;
    const bool refused = reply->property(kRefused).toBool();
    if (refused || reply->error() != QNetworkReply::NoError || bodySize_ == 0 ||
        bodySize_ > limits_.maxBytes) {
        dropBody();
        emit failed(url);
        return;
    }
    const QList<QByteArray> pieces = std::exchange(body_, {});
    const qint64 size = std::exchange(bodySize_, 0);
    QByteArray data;
    data.reserve(size);
    for (const QByteArray& piece : pieces)
        data.append(piece);

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

void RemoteImages::dropBody() {
    body_.clear();
    // The pieces were allocated by the network thread in pieces of its own
    // size: without a trim a refused 64 MB body stays resident after it is freed.
    if (std::exchange(bodySize_, 0) > kTrimAbove) malloc_trim(0);
}

void RemoteImages::abandon() {
    dropBody();
    if (QNetworkReply* reply = reply_) {
        reply_ = nullptr; // its finished signal, emitted by abort(), is then ignored
        reply->abort();
    }
}
