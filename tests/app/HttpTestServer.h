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

    void release(const QByteArray& path) {
        const QList<QPointer<QTcpSocket>> waiting = held_.take(path);
        for (const QPointer<QTcpSocket>& socket : waiting) {
            if (socket) answer(socket, routes_.value(path));
        }
    }

  private:
    void read(QTcpSocket* socket) {
        QByteArray& buffer = pending_[socket];
        buffer += socket->readAll();
        if (!buffer.contains("\r\n\r\n")) return;
        const QList<QByteArray> requestLine = buffer.left(buffer.indexOf("\r\n")).split(' ');
        pending_.remove(socket);
        const QByteArray path = requestLine.value(1);
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
        answer(socket, route);
    }

    void answer(QTcpSocket* socket, const Route& route) {
        QByteArray head = "HTTP/1.1 " + route.status + "\r\n" + route.headers;
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
    QHash<QTcpSocket*, QByteArray> pending_;
    QHash<QByteArray, QList<QPointer<QTcpSocket>>> held_;
};
