// Signed 32-bit arithmetic that refuses to overflow, and file reading that refuses to come up
// short. Both report by throwing; the event-handler guard (platform/guard.h) shows the error.
#pragma once

#include <cstdint>
#include <stdexcept>

#include <QByteArray>
#include <QFile>
#include <QString>

namespace platform {

// An error whose text is shown to the user as it is (UTF-8).
class UserVisibleError : public std::runtime_error {
public:
    explicit UserVisibleError(const QString& text);
    QString text() const { return QString::fromUtf8(what()); }
};

// Picture sizes, offsets or correction values that do not fit in signed 32 bits.
class OverflowError : public UserVisibleError {
public:
    OverflowError();
};

// A file that cannot be opened, read or positioned, or that ends before the bytes asked for.
class IoError : public UserVisibleError {
public:
    IoError(const QString& message, const QString& path);
    const QString& path() const { return path_; }

private:
    QString path_;
};

int32_t checkedAdd(int32_t a, int32_t b);
int32_t checkedSub(int32_t a, int32_t b);
int32_t checkedMul(int32_t a, int32_t b);
// Narrows a wider value, throwing OverflowError when it does not fit.
int32_t checkedNarrow(int64_t value);

// A file opened for reading only. Every read either delivers all the bytes asked for or throws
// IoError.
class InputFile {
public:
    explicit InputFile(const QString& path); // throws IoError when the file cannot be opened

    QByteArray read(qint64 count);
    void readInto(void* buffer, qint64 count);
    void skip(qint64 count);
    void seek(qint64 position);
    qint64 size() const { return file_.size(); }
    const QString& path() const { return path_; }

private:
    QString path_;
    QFile file_;
};

} // namespace platform
