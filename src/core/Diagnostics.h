#pragma once

#include <QString>
#include <QStringList>

// The process-wide diagnostic switch and the one way this program prints.
//
// Everything goes to standard output, one whole line per call, so lines from
// worker threads never interleave mid-line. Diagnostic lines (printed only when
// verbose) start with a bracketed lower-case tag such as "[hover] " or
// "  [resolve] ".
namespace Diagnostics {

// Records the process arguments once, at start-up, before anything reads them.
// Later calls are ignored: the arguments (and so the verbose switch) never change.
void setArguments(const QStringList& arguments);

// The arguments recorded by setArguments (element 0 is the program path), or an
// empty list when none were recorded (as in unit tests).
QStringList arguments();

// True exactly when one of the arguments is "--debug".
bool verbose();

// The text with the password of every URL in it removed ("http://u:pw@h/" ->
// "http://u@h/"): references come from other people's screens.
QString withoutPasswords(const QString& text);

// Writes one line (a newline is appended) to standard output and flushes it,
// with URL passwords removed.
void print(const QString& line);

// Writes text (no newline appended, passwords removed), for blocks that carry their own.
void write(const QString& text);

// While one lives, print() on the thread that made it keeps its lines here
// instead of writing them: the hover loop asks the same questions on every
// tick and says their lines only when they change.
class Collecting {
  public:
    Collecting();
    ~Collecting();
    Collecting(const Collecting&) = delete;
    Collecting& operator=(const Collecting&) = delete;
    // The lines printed so far, one per print().
    const QStringList& lines() const { return lines_; }

  private:
    QStringList lines_;
    QStringList* outer_;
};

} // namespace Diagnostics
