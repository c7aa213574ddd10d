#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <optional>

// Reading the command line: every option is recognised by whole-string equality
// anywhere in the argument list, and its values are the arguments that follow
// its first occurrence.
namespace CommandLine {

// The argument right after the first occurrence of flag, if both exist.
std::optional<QString> valueAfter(const QStringList& arguments, const QString& flag);

// For every occurrence of flag followed by an argument, that argument as a
// directory file URL, in argument order.
QList<QUrl> values(const QStringList& arguments, const QString& flag);

// A signed 32-bit decimal integer: optional "+" or "-", one or more ASCII
// digits and nothing else, without overflow.
std::optional<qint32> processIdentifier(const QString& text);

// Of the (at most two) arguments after the first "--probe", those that parse
// whole as decimal floating-point numbers, in order.
QList<double> probeNumbers(const QStringList& arguments);

// A directory file URL for a path as typed (relative paths are taken against
// the current directory).
QUrl directoryURL(const QString& path);

} // namespace CommandLine
