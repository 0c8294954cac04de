#include "app/pages.h"

#include "app/mainstate.h"
#include "platform/library.h"

#include <QDir>

#include <algorithm>
#include <cstdint>
#include <utility>

QString fileTypeFilter(const std::function<bool(const QString& pluginFile)>& pluginPresent) {
    struct OptionalType {
        const char* pluginFile;
        const char* name;
        const char* mask;
    };
    static constexpr OptionalType optionalTypes[] = {{"ifcam.spi", "CAM", "*.CAM"},
                                                     {"ifmag.spi", "MAG", "*.MAG"},
                                                     {"ifpi.spi", "PI", "*.PI"},
                                                     {"ifpic.spi", "PIC", "*.PIC"},
                                                     {"ifheif.spi", "HEIC", "*.HEIC;*.HEIF;*.HIF"},
                                                     {"ifpng.spi", "PNG", "*.PNG"},
                                                     {"ifwebp.spi", "WEBP", "*.WEBP"}};
    QString filter =
        QStringLiteral("J6I JPEG|*.J6I;*.JPG|J6I|*.J6I|JPG|*.JPG|BMP|*.BMP|TIFF|*.TIF|GIF|*.GIF|");
    QString allMasks = QStringLiteral("*.J6I;*.JPG;*.TIF;*.GIF;*.BMP");
    for (const OptionalType& type : optionalTypes) {
        if (!pluginPresent(QLatin1String(type.pluginFile)))
            continue;
        filter += QLatin1String(type.name) + u'|' + QLatin1String(type.mask) + u'|';
        allMasks += u';' + QLatin1String(type.mask);
    }
    return filter + QStringLiteral("すべての画像ﾌｧｲﾙ|") + allMasks;
}

QString installedFileTypeFilter() {
    return fileTypeFilter(
        [](const QString& pluginFile) { return platform::Library(pluginFile).isLoaded(); });
}

int participatingFileCount(int listCount) {
    return std::clamp(listCount, 0, MaxFolderFiles);
}

PageButtons pageButtons(int pageTop, int fileCount) {
    const int remaining = fileCount - pageTop;
    PageButtons buttons;
    buttons.nextEnabled = remaining >= CellsPerPage + 1;
    buttons.filesOnPage = buttons.nextEnabled ? CellsPerPage : remaining;
    buttons.previousEnabled = pageTop != 0;
    return buttons;
}

QString pageCounterText(int pageTop, int fileCount) {
    return QString::asprintf("%2d/%2d", pageTop / CellsPerPage + 1,
                             (fileCount - 1) / CellsPerPage + 1);
}

QRect CellGrid::cell(int index) const {
    return first.translated(index % 4 * pitchX, index / 4 * pitchY);
}

QRect fitThumbnail(const QRect& cell, int width, int height, const QString& extension,
                   int orientation) {
    // 64-bit products: picture sizes come from decoded files and may be anything.
    int64_t w = width;
    int64_t h = height;
    if (extension == QLatin1String(".J6I") || extension == QLatin1String(".CAM"))
        h = w * 3 / 4;
    if (turnsSideways(orientation))
        std::swap(w, h);
    if (h * 5 < w * 4) {
        const int fitted = static_cast<int>(cell.width() * h / w);
        return {cell.left(), cell.top() + (cell.height() - fitted) / 2, cell.width(), fitted};
    }
    if (w < h) {
        const int fitted = static_cast<int>(cell.height() * w / h);
        return {cell.left() + (cell.width() - fitted) / 2, cell.top(), fitted, cell.height()};
    }
    return cell;
}

QString pathInFolder(const QString& folder, const QString& name) {
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString chooseStartFolder(const QString& stored, const QString& programFolder,
                          const FolderProbe& probe) {
    if (stored.isEmpty() || !QDir::isAbsolutePath(stored) || probe.volumeMissing(stored))
        return programFolder;
    const QString drive = probe.driveOf(stored);
    if (!probe.driveReady(drive))
        return programFolder;
    return probe.folderExists(stored) ? stored : drive;
}
