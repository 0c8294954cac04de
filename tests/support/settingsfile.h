// A settings file of a test's own: TAZU_INI names a file in a temporary folder for as long as
// the object lives, and the variable's old value comes back afterwards.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

namespace testsupport {

class ScopedSettingsFile {
public:
    ScopedSettingsFile()
        : saved_(qgetenv("TAZU_INI")), path_(dir_.filePath(QStringLiteral("tazu.INI"))) {
        qputenv("TAZU_INI", QFile::encodeName(path_));
    }
    ~ScopedSettingsFile() { qputenv("TAZU_INI", saved_); }
    ScopedSettingsFile(const ScopedSettingsFile&) = delete;
    ScopedSettingsFile& operator=(const ScopedSettingsFile&) = delete;

    const QString& path() const { return path_; }
    bool write(const QByteArray& bytes) const {
        QFile f(path_);
        return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
    }
    QByteArray bytes() const {
        QFile f(path_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QByteArray saved_;
    QTemporaryDir dir_;
    QString path_;
};

} // namespace testsupport
