#include "platform/checked.h"

#include <QCoreApplication>

namespace platform {

UserVisibleError::UserVisibleError(const QString& text) : std::runtime_error(text.toStdString()) {}

OverflowError::OverflowError()
    : UserVisibleError(QStringLiteral("算術演算でオーバーフローが発生しました")) {}

IoError::IoError(const QString& message, const QString& path)
    : UserVisibleError(QStringLiteral("%1 [%2]").arg(message, path)), path_(path) {}

int32_t checkedAdd(int32_t a, int32_t b) {
    int32_t result;
    if (__builtin_add_overflow(a, b, &result))
        throw OverflowError();
    return result;
}

int32_t checkedSub(int32_t a, int32_t b) {
    int32_t result;
    if (__builtin_sub_overflow(a, b, &result))
        throw OverflowError();
    return result;
}

int32_t checkedMul(int32_t a, int32_t b) {
    int32_t result;
    if (__builtin_mul_overflow(a, b, &result))
        throw OverflowError();
    return result;
}

int32_t checkedNarrow(int64_t value) {
    if (value < INT32_MIN || value > INT32_MAX)
        throw OverflowError();
    return static_cast<int32_t>(value);
}

InputFile::InputFile(const QString& path) : path_(path), file_(path) {
    if (!file_.open(QIODevice::ReadOnly))
        throw IoError(QStringLiteral("ファイルを開けません"), path_);
}

QByteArray InputFile::read(qint64 count) {
    QByteArray bytes(count, Qt::Uninitialized);
    readInto(bytes.data(), count);
    return bytes;
}

void InputFile::readInto(void* buffer, qint64 count) {
    char* out = static_cast<char*>(buffer);
    qint64 done = 0;
    while (done < count) {
        const qint64 n = file_.read(out + done, count - done);
        if (n < 0)
            throw IoError(QStringLiteral("ファイルの読み込みに失敗しました"), path_);
        if (n == 0)
            throw IoError(QStringLiteral("ファイルが途中で終わっています"), path_);
        done += n;
    }
}

void InputFile::skip(qint64 count) {
    seek(file_.pos() + count);
}

void InputFile::seek(qint64 position) {
    if (position < 0 || !file_.seek(position))
        throw IoError(QStringLiteral("ファイルの位置を移せません"), path_);
}

} // namespace platform
