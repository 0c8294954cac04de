#include "imaging/plugin_messages.h"

#include "platform/dib.h"
#include "plugins/spi.h"

#include "platform/interaction.h"
#include "plugins/spi.h"

QString pluginResultText(int32_t code) {
    switch (code) {
    case SPI_UNKNOWN_FORMAT:
        return QStringLiteral("未知のフォーマット");
    case SPI_BROKEN_DATA:
        return QStringLiteral("データが壊れている");
    case SPI_NO_MEMORY:
        return QStringLiteral("メモリーが確保出来ない");
    case SPI_MEMORY_ERROR:
        return QStringLiteral("メモリーエラー");
    case SPI_READ_ERROR:
        return QStringLiteral("ファイルリードエラー");
    default:
        return QStringLiteral("その他のエラー");
    }
}

QString fileMessageText(const QString& text, const QString& path) {
    return QStringLiteral("%1 [%2]").arg(text, path);
}

void showFileMessage(const QString& text, const QString& path) {
    platform::showMessage(fileMessageText(text, path), {}, platform::MessageIcon::Error);
}

int32_t resultOfDibError(platform::DibError error) {
    using platform::DibError;
    return error == DibError::OutOfMemory || error == DibError::TooLarge ? SPI_NO_MEMORY
                                                                         : SPI_BROKEN_DATA;
}
