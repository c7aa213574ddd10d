#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the event loop cleanly (exit status 0) on SIGINT (Control-C in the
// launching terminal), SIGTERM (a newer copy asking this one to quit) and
// SIGHUP. The handler only writes a byte to a pipe, the loop does the rest;
// it also arms a watchdog that ends the process with status 0 after 0.7
// seconds, so that a worker that does not stop (or a stuck loop) cannot keep
// the agent alive.
class QuitSignals : public QObject {
    Q_OBJECT
  public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

  private:
    QSocketNotifier* notifier_ = nullptr;
};
