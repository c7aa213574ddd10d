#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <functional>
#include <sys/types.h>

// The one running agent of a user on a display takes requests from later
// starts through a local socket: "$XDG_RUNTIME_DIR/vistel-<display>.socket",
// or the same name in a private folder /tmp/vistel-<uid> when there is no
// runtime folder. A request is one line ("open <item>" or "quit"); the answer
// is one line, "ok <pid>" or "error <reason>".
//
// The socket, not the process name, is what identifies the agent: a renamed or
// wrapped binary is still found, and another user's agent is never reached
// because the socket lives in this user's private folder and is checked to be
// this user's own before it is used.
namespace AgentChannel {

// Where the socket of a display lives, or why there is no usable place.
struct Place {
    QString path;
    QString problem; // one line for the user; set when path is empty
};

// display: the X display name (":1", ":1.0" and "unix:1" name the same one);
// runtimeDir: $XDG_RUNTIME_DIR (used when it is a folder of uid); tmpDir: where
// the private fallback folder is made. Creates that folder when missing.
Place place(const QString& display, const QString& runtimeDir, const QString& tmpDir, uid_t uid);

// The place for this process's user and DISPLAY.
Place placeHere();

// Why a path that exists cannot be this user's agent socket ("is not a
// socket", "belongs to another user"); empty when it can be (or is absent).
QString refusal(const QString& path, uid_t uid);

struct Reply {
    enum Outcome {
        Done,     // the agent answered "ok"
        Failed,   // the agent answered with an error (detail says which)
        NoAgent,  // nothing listens there (a stale socket was removed)
        NoAnswer, // connected, but no answer in time
        Refused,  // the path is not this user's socket (detail says why)
    } outcome = NoAgent;
    QString detail;
    qint64 pid = 0; // of the agent that answered
};

// Sends one request and waits at most timeoutMs for the answer.
Reply ask(const QString& path, const QString& request, int timeoutMs = 1000);

} // namespace AgentChannel

// The running agent's end of the channel. It listens under a temporary name
// and renames the socket into place, which replaces a stale or unanswering
// socket atomically; on stopping it removes the path only while the path is
// still its own socket, so an agent that quits late never removes the socket
// of the agent that replaced it.
class AgentServer : public QObject {
    Q_OBJECT
  public:
    // open: performs "open <item>"; false when the item is unknown.
    explicit AgentServer(std::function<bool(const QString& item)> open, QObject* parent = nullptr);
    ~AgentServer() override;

    // Starts taking requests at path; the reason when that was refused or failed.
    QString listen(const QString& path);
    bool isListening() const { return server_.isListening(); }

    // Stops taking requests and removes the socket if it is still this one's.
    void stop();

  signals:
    // A later start asked this agent to quit; it has stopped listening already.
    void quitRequested();

  private:
    void serve(class QLocalSocket* client);
    QString answer(const QString& request);

    std::function<bool(const QString&)> open_;
    QLocalServer server_;
    QString path_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};
