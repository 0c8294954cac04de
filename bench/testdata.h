// Where the benchmarks find the shared test pictures: the folder TAZU_TESTDATA names, else the
// one the build found (TAZU_DEFAULT_TESTDATA, defined for each benchmark that reads them).
#pragma once

#include <QString>

namespace bench {

inline QString sharedTestdata() {
    const QString named = qEnvironmentVariable("TAZU_TESTDATA");
    return named.isEmpty() ? QStringLiteral(TAZU_DEFAULT_TESTDATA) : named;
}

} // namespace bench
