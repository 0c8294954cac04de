// Replacing a file as a whole: the new contents go into a file beside it, which is renamed over
// the old one only when every byte was written, so a failure at any point (disk full, file size
// limit, permissions) leaves the old file as it was.
#pragma once

#include <QByteArray>
#include <QString>

namespace platform {

// True when path now holds exactly bytes.
bool replaceFile(const QString& path, const QByteArray& bytes);

} // namespace platform
