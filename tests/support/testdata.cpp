#include "tests/support/testdata.h"

#include <QDir>

namespace testsupport {

QString testdataDir() {
    const QString dir = qEnvironmentVariable("TAZU_TESTDATA");
    if (dir.isEmpty() || !QDir(dir).exists(QStringLiteral("camera")))
        return {};
    return dir;
}

} // namespace testsupport
