#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

// A fresh folder under the temporary directory, removed when the test ends,
// with helpers to lay out fixture files by relative path.
class TempTree {
public:
    TempTree() { QVERIFY2(dir_.isValid(), "could not create a temporary folder"); }

    // The canonical path (so symlinked /tmp compares equal to what the resolver reports).
    QString path() const { return QFileInfo(dir_.path()).canonicalFilePath(); }
    QString path(const QString& relative) const { return path() + QLatin1Char('/') + relative; }
    QUrl url() const { return QUrl::fromLocalFile(path() + QLatin1Char('/')); }
    QUrl url(const QString& relative) const { return QUrl::fromLocalFile(path(relative)); }

    // Creates the file (and its folders); returns its absolute path.
    QString file(const QString& relative, const QByteArray& contents = "x") const {
        const QString p = path(relative);
        QDir().mkpath(QFileInfo(p).path());
        QFile f(p);
        if (f.open(QIODevice::WriteOnly)) f.write(contents);
        return p;
    }

    QString folder(const QString& relative) const {
        const QString p = path(relative);
        QDir().mkpath(p);
        return p;
    }

private:
    QTemporaryDir dir_;
};
