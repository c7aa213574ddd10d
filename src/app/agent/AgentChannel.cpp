#include "app/agent/AgentChannel.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace AgentChannel {

// A request or answer longer than this is not one of ours.
constexpr qint64 kLineLimit = 1024;

namespace {

// ":1", ":1.0" and "unix:1" are one display; "host:10.0" another's.
QString displayKey(const QString& display) {
    const qsizetype colon = display.lastIndexOf(QLatin1Char(':'));
    QString host = colon < 0 ? QString() : display.left(colon);
    QString number = colon < 0 ? display : display.mid(colon + 1);
    const qsizetype dot = number.indexOf(QLatin1Char('.'));
    if (dot >= 0) number.truncate(dot);
    if (host == QLatin1String("unix")) host.clear();
    QString key = host.isEmpty() ? number : host + QLatin1Char('-') + number;
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9._-]"));
    key.replace(unsafe, QStringLiteral("_"));
    return key;
}

bool ownFolder(const QString& path, uid_t uid) {
    struct stat info {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == uid;
}

// The fallback folder: made private, and used only while it is this user's own
// private folder (not a link someone else planted).
QString privateFolder(const QString& path, uid_t uid, QString& problem) {
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        problem =
            QStringLiteral("cannot create %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        return {};
    }
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != uid ||
        (info.st_mode & 077) != 0) {
        problem = QStringLiteral("%1 is not a private folder of this user").arg(path);
        return {};
    }
    return path;
}

} // namespace

Place place(const QString& display, const QString& runtimeDir, const QString& tmpDir, uid_t uid) {
    if (display.isEmpty()) return {{}, QStringLiteral("DISPLAY is not set")};
    const QString name = QStringLiteral("/vistel-") + displayKey(display) + QStringLiteral(".socket");
    if (QDir::isAbsolutePath(runtimeDir) && ownFolder(runtimeDir, uid))
        return {QDir::cleanPath(runtimeDir) + name, {}};
    QString problem;
    const QString folder = privateFolder(
        QDir::cleanPath(tmpDir) + QStringLiteral("/vistel-") + QString::number(uid), uid, problem);
    if (folder.isEmpty()) return {{}, problem};
    return {folder + name, {}};
}

Place placeHere() {
    return place(qEnvironmentVariable("DISPLAY"), qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath(),
                 ::geteuid());
}

QString refusal(const QString& path, uid_t uid) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0) return {};
    if (!S_ISSOCK(info.st_mode)) return path + QStringLiteral(" is not a socket");
    if (info.st_uid != uid) return path + QStringLiteral(" belongs to another user");
    return {};
}

Reply ask(const QString& path, const QString& request, int timeoutMs) {
    if (const QString why = refusal(path, ::geteuid()); !why.isEmpty()) return {Reply::Refused, why};
    if (!QFileInfo::exists(path)) return {Reply::NoAgent, {}};

    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        // Nobody listens: an agent that ended without removing its socket.
        if (socket.error() == QLocalSocket::ConnectionRefusedError) {
            QLocalServer::removeServer(path);
            return {Reply::NoAgent, QStringLiteral("removed the stale socket ") + path};
        }
        if (socket.error() == QLocalSocket::ServerNotFoundError) return {Reply::NoAgent, {}};
        return {Reply::NoAnswer, socket.errorString()};
    }
    socket.write(request.toUtf8() + '\n');
    socket.flush();
    while (!socket.canReadLine()) {
        if (socket.bytesAvailable() > kLineLimit || deadline.hasExpired() ||
            !socket.waitForReadyRead(int(deadline.remainingTime())))
            return {Reply::NoAnswer, {}};
    }
    const QString line = QString::fromUtf8(socket.readLine(kLineLimit)).trimmed();
    if (line.startsWith(QLatin1String("ok"))) {
        const QStringList parts = line.split(QLatin1Char(' '));
        return {Reply::Done, {}, parts.size() > 1 ? parts.at(1).toLongLong() : 0};
    }
    if (line.startsWith(QLatin1String("error "))) return {Reply::Failed, line.mid(6)};
    return {Reply::Failed, QStringLiteral("unexpected answer \"%1\"").arg(line)};
}

} // namespace AgentChannel

AgentServer::AgentServer(std::function<bool(const QString&)> open, QObject* parent)
    : QObject(parent), open_(std::move(open)) {
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* client = server_.nextPendingConnection())
            serve(client);
    });
}

AgentServer::~AgentServer() {
    stop();
}

QString AgentServer::listen(const QString& path) {
    if (const QString why = AgentChannel::refusal(path, ::geteuid()); !why.isEmpty()) return why;
    // Bound beside its place, then renamed over it: rename replaces whatever
    // socket was there (stale, or an agent that did not answer) in one step.
    const QString fresh = path + QStringLiteral(".") + QString::number(QCoreApplication::applicationPid());
    QLocalServer::removeServer(fresh);
    if (!server_.listen(fresh)) return server_.errorString();
    const QByteArray freshName = QFile::encodeName(fresh), name = QFile::encodeName(path);
    struct stat info {};
    if (::chmod(freshName.constData(), 0600) != 0 || ::rename(freshName.constData(), name.constData()) != 0 ||
        ::lstat(name.constData(), &info) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        server_.close();
        return reason;
    }
    path_ = path;
    device_ = info.st_dev;
    inode_ = info.st_ino;
    return {};
}

void AgentServer::stop() {
    if (!path_.isEmpty()) {
        const QByteArray name = QFile::encodeName(path_);
        struct stat info {};
        if (::lstat(name.constData(), &info) == 0 && info.st_dev == device_ && info.st_ino == inode_)
            ::unlink(name.constData());
        path_.clear();
    }
    server_.close();
}

void AgentServer::serve(QLocalSocket* client) {
    // A client that says nothing is dropped rather than held open for ever.
    QTimer::singleShot(2000, client, [client] { client->abort(); });
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    connect(client, &QLocalSocket::readyRead, this, [this, client] {
        if (!client->canReadLine()) {
            if (client->bytesAvailable() > AgentChannel::kLineLimit) client->abort();
            return;
        }
        const QString request = QString::fromUtf8(client->readLine(AgentChannel::kLineLimit)).trimmed();
        const bool quit = request == QLatin1String("quit");
        // Stop listening before answering, so that the path is free for the
        // agent that replaces this one as soon as it reads the answer.
        if (quit) stop();
        client->write(answer(request).toUtf8() + '\n');
        client->flush();
        client->disconnectFromServer();
        if (quit) emit quitRequested();
    });
}

QString AgentServer::answer(const QString& request) {
    const QString ok = QStringLiteral("ok ") + QString::number(QCoreApplication::applicationPid());
    if (request == QLatin1String("quit")) return ok;
    if (request.startsWith(QLatin1String("open "))) {
        const QString item = request.mid(5);
        return open_ && open_(item) ? ok : QStringLiteral("error unknown item \"%1\"").arg(item);
    }
    return QStringLiteral("error unknown request \"%1\"").arg(request.left(80));
}
