#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

// Applications in which nothing is previewed, named by their identifier (on X11
// the window's WM_CLASS class name or the executable name), from "--ignore"
// arguments and the "ignoredApplications" setting, read once per process.
namespace IgnoredApplications {

// The identifiers a process is known by (class name, executable name).
using Identify = std::function<QStringList(qint32 pid)>;

QStringList identifiers();
// "none", or the identifiers sorted and joined with ", ".
QString summary();
bool contains(qint32 pid, const Identify& identify);

} // namespace IgnoredApplications
