// The folder-browsing controls of the main window: a drive drop-down over the mounted volumes,
// a folder list, a file-type drop-down and the (never shown) list of a folder's matching files.
//
// Changes made by the user are reported through signals; changes made by the program through
// the setters are not, except where a setter says so, so that a window can set its controls up
// without running its own handlers.
#pragma once

#include <QComboBox>
#include <QList>
#include <QListWidget>
#include <QObject>
#include <QString>
#include <QStringList>

namespace platform {

// The mounted volumes (see volumes.h), one item each.
class DriveComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit DriveComboBox(QWidget* parent = nullptr);

    // Root of the volume shown, e.g. "/" or "/media/card"; empty when there are no volumes.
    QString drive() const;
    // Shows the volume with this root (reading the volumes again when it is not listed, and
    // adding it when it is still not among them). Emits nothing.
    void setDrive(const QString& root);

signals:
    // The user picked a volume (its root); drive() already returns it.
    void driveChosen(const QString& root);

private:
    // Fills the list from mountedVolumes(), keeping the volume shown when it is still there.
    void readVolumes();
};

// The current folder's path from its volume's root down (each ancestor one item, indented by
// depth), followed by the current folder's sub-folders (no hidden ones), sorted by name without
// regard to case. Activating an item (double-click, Enter) makes it the current folder.
class DirectoryListBox : public QListWidget {
    Q_OBJECT

public:
    explicit DirectoryListBox(QWidget* parent = nullptr);

    // Absolute, clean path, without a trailing "/" except for "/" itself.
    QString directory() const;
    // Shows path (made absolute and clean) and emits changed() when it differs from the
    // current folder. A folder that cannot be read shows its path and no sub-folders.
    void setDirectory(const QString& path);
    // Reads the sub-folders again.
    void refresh();

signals:
    // The current folder changed, or the user activated the current folder again.
    void changed();

private:
    QString directory_;
};

// File types as "description|masks|description|masks|...", masks separated by ";".
class FilterComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit FilterComboBox(QWidget* parent = nullptr);

    // Replaces the types; the first one is shown. A trailing description without masks is
    // dropped.
    void setFilter(const QString& filter);
    // The masks of the type shown, e.g. "*.J6I;*.JPG"; empty when there are no types.
    QString mask() const;
    // The position of the type shown (-1 when none). Setting a position outside the list
    // shows the first type. Emits nothing.
    int itemIndex() const { return currentIndex(); }
    void setItemIndex(int index);

signals:
    // The user picked a type; mask() already returns its masks.
    void filterChosen();
};

// The ordinary files of a folder (no folders, hidden or system files, nothing that is not a
// regular file or a link to one) whose names match one of the masks without regard to case
// ("*.JPG" lists "a.jpg"), sorted by name without regard to case (names equal but for case in
// byte order). Never shown: it is the source of every file name of the window.
class FileListBox : public QObject {
    Q_OBJECT

public:
    explicit FileListBox(QObject* parent = nullptr);

    // Absolute, clean path as DirectoryListBox gives it; setting it reads the folder again.
    QString directory() const { return directory_; }
    void setDirectory(const QString& path);
    // Masks separated by ";" ("*.J6I;*.JPG"); "*" or empty matches every file. Setting them
    // reads the folder again.
    QString mask() const { return mask_; }
    void setMask(const QString& mask);
    // Reads the folder again.
    void update();

    int count() const { return static_cast<int>(names_.size()); }
    // The name (no folder) of entry index; empty outside 0..count()-1.
    QString item(int index) const;
    const QStringList& items() const { return names_; }
    // The first entry whose name equals name without regard to case; -1 when none.
    int indexOf(const QString& name) const;

private:
    QString directory_;
    QString mask_ = QStringLiteral("*");
    QStringList names_;
};

} // namespace platform
