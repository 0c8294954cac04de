#include "platform/filecontrols.h"

#include "platform/volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStyle>
#include <algorithm>

namespace platform {

namespace {

constexpr int PathRole = Qt::UserRole;

// Absolute and clean, without a trailing "/" except for "/" itself.
QString normalisedPath(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

// Without regard to case; names equal but for case in the byte order of their file names, so
// that the order never depends on how the folder happened to be read.
bool nameLess(const QString& a, const QString& b) {
    const int c = QString::compare(a, b, Qt::CaseInsensitive);
    if (c != 0)
        return c < 0;
    return QFile::encodeName(a) < QFile::encodeName(b);
}

void sortNames(QStringList& names) {
    std::sort(names.begin(), names.end(), nameLess);
}

// Each level of the folder list is indented by this many spaces.
QString indent(int depth) {
    return QString(depth * 2, QLatin1Char(' '));
}

} // namespace

// --- DriveComboBox ----------------------------------------------------------------------------

DriveComboBox::DriveComboBox(QWidget* parent) : QComboBox(parent) {
    readVolumes();
    // activated comes only from the user, so the setters need not block anything.
    connect(this, &QComboBox::activated, this,
            [this](int index) { emit driveChosen(itemData(index).toString()); });
}

QString DriveComboBox::drive() const {
    return currentData().toString();
}

void DriveComboBox::setDrive(const QString& root) {
    if (root.isEmpty())
        return;
    const QString wanted = normalisedPath(root);
    int index = findData(wanted);
    if (index < 0) {
        // A card may have been put in since the list was read.
        readVolumes();
        index = findData(wanted);
    }
    if (index < 0) {
        addItem(wanted, wanted);
        index = count() - 1;
    }
    setCurrentIndex(index);
}

void DriveComboBox::readVolumes() {
    const QString shown = drive();
    clear();
    for (const Volume& volume : mountedVolumes())
        addItem(volume.displayName, volume.root);
    const int index = findData(shown);
    if (index >= 0)
        setCurrentIndex(index);
}

// --- DirectoryListBox -------------------------------------------------------------------------

DirectoryListBox::DirectoryListBox(QWidget* parent) : QListWidget(parent) {
    connect(this, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        const QString path = item->data(PathRole).toString();
        if (path != directory_) {
            setDirectory(path);
        } else {
            refresh();
            emit changed();
        }
    });
}

QString DirectoryListBox::directory() const {
    return directory_;
}

void DirectoryListBox::setDirectory(const QString& path) {
    const QString wanted = normalisedPath(path);
    if (wanted == directory_)
        return;
    directory_ = wanted;
    refresh();
    emit changed();
}

void DirectoryListBox::refresh() {
    clear();
    if (directory_.isEmpty())
        return;

    const QIcon openIcon = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closedIcon = style()->standardIcon(QStyle::SP_DirIcon);
    auto addFolder = [this](const QIcon& icon, const QString& text, const QString& path) {
        auto* item = new QListWidgetItem(icon, text, this);
        item->setData(PathRole, path);
        item->setToolTip(path);
        return item;
    };

    // The volume's root is found through the real path, so through a link it may not be a
    // leading part of the path shown; then the path is shown from "/".
    QString root = volumeRootOf(directory_);
    if (root != QLatin1String("/") && directory_ != root &&
        !directory_.startsWith(root + QLatin1Char('/')))
        root = QStringLiteral("/");

    QListWidgetItem* current = addFolder(openIcon, root, root);
    QString path = root;
    int depth = 0;
    const QStringList below =
        directory_.mid(root.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (const QString& name : below) {
        if (!path.endsWith(QLatin1Char('/')))
            path += QLatin1Char('/');
        path += name;
        current = addFolder(openIcon, indent(++depth) + name, path);
    }
    setCurrentItem(current);

    QStringList folders =
        QDir(directory_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
    sortNames(folders);
    const QString prefix =
        directory_.endsWith(QLatin1Char('/')) ? directory_ : directory_ + QLatin1Char('/');
    const QString subIndent = indent(depth + 1);
    for (const QString& name : folders)
        addFolder(closedIcon, subIndent + name, prefix + name);
}

// --- FilterComboBox ---------------------------------------------------------------------------

FilterComboBox::FilterComboBox(QWidget* parent) : QComboBox(parent) {
    connect(this, &QComboBox::activated, this, [this] { emit filterChosen(); });
}

void FilterComboBox::setFilter(const QString& filter) {
    clear();
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        addItem(parts[i], parts[i + 1]);
    if (count() > 0)
        setCurrentIndex(0);
}

QString FilterComboBox::mask() const {
    return currentData().toString();
}

void FilterComboBox::setItemIndex(int index) {
    if (count() == 0)
        return;
    setCurrentIndex(index >= 0 && index < count() ? index : 0);
}

// --- FileListBox ------------------------------------------------------------------------------

FileListBox::FileListBox(QObject* parent) : QObject(parent) {}

void FileListBox::setDirectory(const QString& path) {
    directory_ = path.isEmpty() ? QString() : normalisedPath(path);
    update();
}

void FileListBox::setMask(const QString& mask) {
    mask_ = mask;
    update();
}

void FileListBox::update() {
    names_.clear();
    if (directory_.isEmpty())
        return;

    QStringList masks;
    for (const QString& part : mask_.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString m = part.trimmed();
        if (m == QLatin1String("*")) {
            masks.clear();
            break;
        }
        if (!m.isEmpty())
            masks.push_back(m);
    }
    // QDir matches name filters without regard to case (no QDir::CaseSensitive) and before it
    // looks at the file itself, so files of other types cost no status call. Without
    // QDir::System it leaves out sockets, FIFOs, devices and broken links; without QDir::Hidden
    // names starting with ".".
    QDir dir(directory_);
    dir.setNameFilters(masks);
    dir.setFilter(QDir::Files);
    dir.setSorting(QDir::Unsorted);
    names_ = dir.entryList();
    sortNames(names_);
}

QString FileListBox::item(int index) const {
    return index >= 0 && index < count() ? names_[index] : QString();
}

int FileListBox::indexOf(const QString& name) const {
    for (qsizetype i = 0; i < names_.size(); ++i) {
        if (QString::compare(names_[i], name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace platform
