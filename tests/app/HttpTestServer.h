#pragma once

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

// A small HTTP/1.1 server on 127.0.0.1 inside the test process, answering
// from a table of routes. A route may be held: its answer waits until the
// test calls release(path).
class HttpTestServer : public QObject {
  public:
    // Built with designated initialisers: {.body = png, .hold = true}.
    struct Route {
        QByteArray status = "200 OK";
        QByteArray headers{}; // extra header lines, each ending in "\r\n"
        QByteArray body{};
        bool hold = false;  // answer only when released
        bool stall = false; // send the headers and a few bytes, then nothing
        bool chunked = false;
        bool endless = false; // no length: body, then filler for as long as the client reads
    };

    HttpTestServer() {
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
        server_.listen(QHostAddress::LocalHost);
    }

    QUrl url(const QString& path) const {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server_.serverPort()).arg(path));
    }

    void route(const QByteArray& path, const Route& route) { routes_[path] = route; }
    int requests(const QByteArray& path) const { return requests_.value(path); }
    // The request heads received for path, in order.
    QList<QByteArray> heads(const QByteArray& path) const { return heads_.value(path); }
    // Body bytes written for path's endless answers so far.
    qint64 sent(const QByteArray& path) const { return sent_.value(path); }

    void release(const QByteArray& path) {
        const QList<QPointer<QTcpSocket>> waiting = held_.take(path);
        for (const QPointer<QTcpSocket>& socket : waiting) {
            if (socket) answer(socket, routes_.value(path), path);
        }
    }

  private:
    void read(QTcpSocket* socket) {
        QByteArray& buffer = pending_[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n")) return;
        const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
        const QByteArray path = requestLine.value(1);
        heads_[path].append(buffer.left(buffer.indexOf("\r\n\r\n")));
        pending_.remove(socket);
        ++requests_[path];
        if (!routes_.contains(path)) {
            answer(socket, {.status = "404 Not Found", .body = "<html>none</html>"});
            return;
        }
        const Route route = routes_.value(path);
        if (route.hold) {
            held_[path].append(socket);
            return;
        }
        answer(socket, route, path);
    }

    void answer(QTcpSocket* socket, const Route& route, const QByteArray& path = {}) {
        QByteArray head = "HTTP/1.1 " + route.status + "\r\n" + route.headers;
        if (route.endless) {
            socket->write(head + "Connection: close\r\n\r\n");
            const QByteArray piece(64 * 1024, 'x');
            // Another piece whenever the last has gone out, until the client hangs up.
            QObject::connect(socket, &QTcpSocket::bytesWritten, socket, [this, socket, piece, path] {
                if (socket->bytesToWrite() > 0 || socket->state() != QAbstractSocket::ConnectedState) return;
                sent_[path] += piece.size();
                socket->write(piece);
            });
            socket->write(route.body + piece);
            sent_[path] += route.body.size() + piece.size();
            return;
        }
        if (route.chunked) {
            head += "Transfer-Encoding: chunked\r\n\r\n";
            socket->write(head);
            // The body in 64 KiB chunks, written as the socket drains.
            QByteArray body = route.body;
            while (!body.isEmpty()) {
                const QByteArray piece = body.left(64 * 1024);
                body.remove(0, piece.size());
                socket->write(QByteArray::number(piece.size(), 16) + "\r\n" + piece + "\r\n");
            }
            socket->write("0\r\n\r\n");
            return;
        }
        head += "Content-Length: " + QByteArray::number(route.body.size()) + "\r\nConnection: close\r\n\r\n";
        socket->write(head);
        if (route.stall) {
            socket->write(route.body.left(10));
            return; // and never more
        }
        socket->write(route.body);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    QHash<QByteArray, Route> routes_;
    QHash<QByteArray, int> requests_;
    QHash<QByteArray, QList<QByteArray>> heads_;
    QHash<QByteArray, qint64> sent_;
    QHash<QTcpSocket*, QByteArray> pending_;
    QHash<QByteArray, QList<QPointer<QTcpSocket>>> held_;
};
