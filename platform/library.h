// Loading decoder plug-ins and other shared libraries by bare file name.
//
// A bare name is looked up the way the program always found its plug-ins: first in the
// program's own folder, then in each folder of the environment variable TAZU_PLUGIN_PATH
// (separated by ':'), then in the installed plug-in folder: lib/<arch>/tazu of the installation
// the program runs from, then that folder of the prefix the program was built for. The first
// folder that holds the file is the one loaded from. A name with a '/' in it is used as it is.
#pragma once

#include <QString>
#include <QStringList>

namespace platform {

// The folders searched for a bare library name, in order.
QStringList librarySearchFolders();

// The installed plug-in folder of a program in programFolder, relative to it as an installation
// lays it out (bin/../lib/<arch>/tazu), so that an installation moved elsewhere still has it.
QString installedPluginFolder(const QString& programFolder);

// Whether a program in programFolder runs installed: its installed plug-in folder exists beside
// its own. A program in its build folder has its plug-ins beside itself instead.
bool runsInstalled(const QString& programFolder);

// The absolute path a bare name resolves to, or an empty string when no folder holds it.
QString findLibrary(const QString& name);

// A loaded library; unloaded when the object goes (FreeLibrary).
class Library {
public:
    Library() = default;
    explicit Library(const QString& name); // LoadLibrary
    ~Library();
    Library(Library&& other) noexcept;
    Library& operator=(Library&& other) noexcept;
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    // The module handle taken as a number, as callers test it: greater than 32 when loaded,
    // 0 when not.
    quintptr handleValue() const;
    bool isLoaded() const { return handleValue() > 32; }

    // The address of an export (GetProcAddress), or null.
    template <typename Function> Function symbol(const char* name) const {
        return reinterpret_cast<Function>(rawSymbol(name));
    }

    void free(); // FreeLibrary; harmless when not loaded

    // Why the last load failed, for diagnostics.
    const QString& errorText() const { return error_; }

private:
    void* rawSymbol(const char* name) const;

    void* handle_ = nullptr;
    QString error_;
};

} // namespace platform
