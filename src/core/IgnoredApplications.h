#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

// Applications in which nothing is previewed, named by their identifier (on X11
// the window's WM_CLASS class name or the executable name), from "--ignore"
// arguments and the "ignoredApplications" setting, read on first use and again
// after the stored list changed (Settings::setIgnoredApplications).
namespace IgnoredApplications {

// The identifiers a process is known by (class name, executable name).
using Identify = std::function<QStringList(qint32 pid)>;

// The identifiers following each "--ignore" argument, plus the stored ones.
QSet<QString> read(const QStringList& arguments, const QStringList& stored);
QString summary(const QSet<QString>& identifiers);

// This process's set (from Diagnostics::arguments() and the stored setting),
// sorted.
QStringList identifiers();
// "none", or the identifiers sorted and joined with ", ".
QString summary();
// Whether the process is one of the ignored applications. Answers are cached
// per pid until the set changes; identify is called outside any lock, and not
// at all for an empty set.
bool contains(qint32 pid, const Identify& identify);

} // namespace IgnoredApplications
