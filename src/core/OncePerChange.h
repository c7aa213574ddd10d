#pragma once

#include <QHash>
#include <QString>

// Diagnostic lines that the hover loop would otherwise repeat on every tick
// while nothing changes (the same element read, the same file matched): each
// kind of line is printed when it differs from the last one of its kind, so
// the log says what changed and when, not that the tick ran again.
//
// Owned by one object and used on its thread; nothing here is shared.
class OncePerChange {
  public:
    // True when line differs from the last one noted for kind (or none was
    // noted since the last forget), and notes it. An empty line notes that
    // there is nothing of that kind now, so the next line is printed again.
    bool changed(const QString& kind, const QString& line);

    // Forgets every kind: the next line of each is printed (a new hover).
    void forget();

  private:
    QHash<QString, QString> last_;
};
