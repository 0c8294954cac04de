#include "platform/library.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

using namespace platform;

namespace {

int markOf(const Library& library) {
    auto mark = library.symbol<int (*)()>("libraryMark");
    return mark ? mark() : -1;
}

// Puts TAZU_PLUGIN_PATH to a value for one test.
class PluginPath {
public:
    explicit PluginPath(const QString& value) : saved_(qgetenv("TAZU_PLUGIN_PATH")) {
        qputenv("TAZU_PLUGIN_PATH", value.toLocal8Bit());
    }
    ~PluginPath() { qputenv("TAZU_PLUGIN_PATH", saved_); }

private:
    QByteArray saved_;
};

} // namespace

TEST(Library, BareNamesFollowTheSearchOrder) {
    const QString one = QStringLiteral(MARKLIB_DIR1);
    const QString two = QStringLiteral(MARKLIB_DIR2);
    {
        PluginPath path(two + u':' + one);
        Library library(QStringLiteral("mark.spi"));
        ASSERT_TRUE(library.isLoaded()) << library.errorText().toStdString();
        EXPECT_GT(library.handleValue(), 32u);
        EXPECT_EQ(markOf(library), 2);
    }
    {
        PluginPath path(QStringLiteral("/nonexistent:") + one);
        EXPECT_EQ(markOf(Library(QStringLiteral("mark.spi"))), 1);
        EXPECT_EQ(findLibrary(QStringLiteral("mark.spi")), one + QStringLiteral("/mark.spi"));
    }
    {
        // The program's own folder comes before every folder of the path.
        PluginPath path(one);
        const QString own = QCoreApplication::applicationDirPath() + QStringLiteral("/mark.spi");
        QFile::remove(own);
        ASSERT_TRUE(QFile::copy(two + QStringLiteral("/mark.spi"), own));
        const int mark = markOf(Library(QStringLiteral("mark.spi")));
        QFile::remove(own);
        EXPECT_EQ(mark, 2);
    }
    const QStringList folders = librarySearchFolders();
    const QString program = QCoreApplication::applicationDirPath();
    EXPECT_EQ(folders.front(), program);
    EXPECT_TRUE(folders.contains(installedPluginFolder(program)));
    EXPECT_EQ(folders.back(), QStringLiteral(TAZU_INSTALLED_PLUGIN_DIR));
}

// An installation copied into any prefix finds its plug-ins in lib/<arch>/tazu beside its bin
// folder; a build folder, with its plug-ins beside the program, is no installation.
TEST(Library, AnInstallationFindsItsPluginFolderWhereverItLies) {
    QTemporaryDir root;
    const QString bin = root.filePath(QStringLiteral("some/prefix/usr/bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    EXPECT_FALSE(runsInstalled(bin));
    const QString plugins = installedPluginFolder(bin);
    EXPECT_TRUE(plugins.startsWith(root.filePath(QStringLiteral("some/prefix/usr/lib/"))))
        << plugins.toStdString();
    EXPECT_TRUE(plugins.endsWith(QStringLiteral("/tazu")));
    EXPECT_EQ(plugins, QDir::cleanPath(plugins));
    ASSERT_TRUE(QDir().mkpath(plugins));
    EXPECT_TRUE(runsInstalled(bin));
    // The installed folder ends in the same lib/<arch>/tazu as the one configured.
    EXPECT_TRUE(
        QStringLiteral(TAZU_INSTALLED_PLUGIN_DIR)
            .endsWith(plugins.mid(root.filePath(QStringLiteral("some/prefix/usr")).size())));
}

TEST(Library, FailuresLeaveAnUnloadedHandle) {
    PluginPath path(QStringLiteral(MARKLIB_DIR1));
    Library missing(QStringLiteral("ifnothing.spi"));
    EXPECT_FALSE(missing.isLoaded());
    EXPECT_EQ(missing.handleValue(), 0u);
    EXPECT_EQ(missing.symbol<void (*)()>("GetPicture"), nullptr);

    // A file that is not a library is found but does not load.
    const QString bogus = QDir::temp().filePath(QStringLiteral("tazu-bogus.spi"));
    {
        QFile f(bogus);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a shared library");
    }
    Library broken(bogus);
    QFile::remove(bogus);
    EXPECT_FALSE(broken.isLoaded());
    EXPECT_FALSE(broken.errorText().isEmpty());

    Library loaded(QStringLiteral("mark.spi"));
    ASSERT_TRUE(loaded.isLoaded());
    EXPECT_EQ(loaded.symbol<void (*)()>("NoSuchExport"), nullptr);
    Library moved = std::move(loaded);
    EXPECT_FALSE(loaded.isLoaded());
    EXPECT_EQ(markOf(moved), 1);
    moved.free();
    EXPECT_FALSE(moved.isLoaded());
}
