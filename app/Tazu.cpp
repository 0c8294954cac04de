#include "app/Tazu.h"

#include "app/memofield.h"
#include "correction/settings.h"
#include "dialogs/Unit3.h"
#include "dialogs/opt.h"
#include "imaging/all.h"
#include "imaging/j6i.h"
#include "imaging/orientation.h"
#include "platform/filecontrols.h"
#include "platform/guard.h"
#include "platform/interaction.h"
#include "platform/library.h"
#include "platform/printer.h"
#include "platform/profile.h"
#include "platform/spinedit.h"
#include "platform/volumes.h"
#include "platform/waitcursor.h"
#include "printing/printjob.h"
#include "printing/prn1.h"
#include "printing/prnchu.h"
#include "viewer/Gfull.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>

namespace {

const QString Section = QStringLiteral("TForm1");
const QString WarningCaption = QStringLiteral("警告");
const QString CellHint = QStringLiteral("ダブルクリックで画像ビューアが開く");
const QString SelectionHint = QStringLiteral("印刷の選択－非選択切替");
const QString SelectedCaption = QStringLiteral("印刷選択");
const QString NotSelectedCaption = QStringLiteral("印刷非選択");

const QColor Silver(192, 192, 192);
const QColor Grey(128, 128, 128);
const QColor Blue(0, 0, 255);

// The plug-in counts as present when it can be loaded; it is freed again at once.
bool pluginLoads(const QString& name) {
    return platform::Library(name).isLoaded();
}

void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

// A child control by its design name, compared without regard to case.
template <typename Control> Control* findByName(const QObject* parent, const QString& name) {
    for (Control* control : parent->findChildren<Control*>())
        if (control->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return control;
    return nullptr;
}

template <typename Control> Control* requireByName(const QObject* parent, const QString& name) {
    Control* control = findByName<Control>(parent, name);
    if (!control)
        qFatal("The main window has no control named %s", qPrintable(name));
    return control;
}

template <typename Control>
Control* place(Control* control, const QString& name, int left, int top, int width = -1,
               int height = -1) {
    control->setObjectName(name);
    if (width < 0) {
        control->adjustSize();
        control->move(left, top);
    } else {
        control->setGeometry(left, top, width, height);
    }
    return control;
}

QPushButton* button(QWidget* client, const QString& name, const QString& caption,
                    const QString& hint, QRect geometry) {
    auto* b = new QPushButton(caption, client);
    b->setObjectName(name);
    b->setGeometry(geometry);
    b->setToolTip(hint);
    return b;
}

// A caption at a place that is not one of the window's named controls.
QLabel* caption(QWidget* client, const QString& text, int left, int top) {
    auto* label = new QLabel(text, client);
    label->adjustSize();
    label->move(left, top);
    return label;
}

} // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("タズ"));
    auto* client = new QWidget(this);
    client->setFixedSize(584, 406);
    client->setAutoFillBackground(true);
    setColour(client, QPalette::Window, Silver);
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(12);
    client->setFont(font);
    setCentralWidget(client);
    buildControls(client);
    buildMenu();
    findCells();
    FormCreate();
}

TForm1::~TForm1() {
    FormDestroy();
}

void TForm1::buildControls(QWidget* client) {
    DriveComboBox1 =
        place(new platform::DriveComboBox(client), QStringLiteral("DriveComboBox1"), 8, 0, 161, 22);
    DriveComboBox1->setToolTip(QStringLiteral("ドライブの変更"));
    FilterComboBox1 = place(new platform::FilterComboBox(client), QStringLiteral("FilterComboBox1"),
                            8, 24, 161, 22);
    FilterComboBox1->setToolTip(QStringLiteral("ファイルタイプの変更"));
    DirectoryListBox1 = place(new platform::DirectoryListBox(client),
                              QStringLiteral("DirectoryListBox1"), 176, 0, 153, 153);
    DirectoryListBox1->setToolTip(QStringLiteral("ディレクトリの選択"));
    FileListBox1 = new platform::FileListBox(this);
    FileListBox1->setObjectName(QStringLiteral("FileListBox1"));

    Button2 = button(client, QStringLiteral("Button2"), QStringLiteral("ｻﾑﾈｲﾙ表示"),
                     QStringLiteral("サムネイルの表示非表示切替"), {16, 72, 97, 33});
    Button3 = button(client, QStringLiteral("Button3"), QStringLiteral("開く"),
                     QStringLiteral("選択画像でビューアを開きます"), {120, 72, 41, 33});
    maebt = button(client, QStringLiteral("maebt"), QStringLiteral("前頁"), QString(),
                   {16, 112, 49, 33});
    tugibt = button(client, QStringLiteral("tugibt"), QStringLiteral("次頁"),
                    QStringLiteral("次の頁を表示"), {70, 112, 49, 33});
    Label27 = place(new QLabel(client), QStringLiteral("Label27"), 124, 120, 48, 15);
    Button1 = button(client, QStringLiteral("Button1"), QStringLiteral("印刷"),
                     QStringLiteral("印刷をします"), {344, 16, 57, 49});
    place(new QLabel(QStringLiteral("選択枚数"), client), QStringLiteral("Label25"), 344, 88);
    Label26 = place(new QLabel(client), QStringLiteral("Label26"), 352, 112, 48, 15);

    // The correction settings: numbers under their captions in two frames.
    auto* colourFrame = new QGroupBox(QStringLiteral("カラーバランス"), client);
    colourFrame->setGeometry(416, 8, 164, 74);
    auto* toneFrame = new QGroupBox(QStringLiteral("トーンバランス"), client);
    toneFrame->setGeometry(416, 82, 164, 72);
    const std::array<QString, 6> captions{QStringLiteral("青"),     QStringLiteral("緑"),
                                          QStringLiteral("赤"),     QStringLiteral("ハイライト"),
                                          QStringLiteral("ミドル"), QStringLiteral("シャドウ")};
    const std::array<int, 3> columns{432, 480, 528};
    for (int i = 0; i < 6; ++i) {
        // Label1..3 are blue, green, red; Label4..6 highlight, middle, shadow from the right.
        const int column = i < 3 ? columns[i] : columns[5 - i];
        const int top = i < 3 ? 48 : 120;
        QLabel* number =
            place(new QLabel(client), QStringLiteral("Label%1").arg(i + 1), column, top, 40, 15);
        settingLabels_[i] = number;
        QLabel* over = caption(client, captions[i], column, top - 18);
        if (i >= 3) {
            QFont small = over->font();
            small.setPixelSize(10);
            over->setFont(small);
            over->adjustSize();
        }
    }
    colourWhen_ = place(new QLabel(client), QStringLiteral("Label23"), 488, 64, 84, 15);
    colourWhen_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    toneWhen_ = place(new QLabel(client), QStringLiteral("Label24"), 488, 136, 84, 15);
    toneWhen_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    for (int i = 0; i < CellsPerPage; ++i)
        buildCell(client, i);
    auto* work = new TAll(this);
    work->setObjectName(QStringLiteral("bg"));
    work->hide();
    bg = work;

    connect(DriveComboBox1, &platform::DriveComboBox::driveChosen, this,
            platform::guardedSlot([this](const QString& drive) { DriveComboBox1Change(drive); }));
    connect(FilterComboBox1, &platform::FilterComboBox::filterChosen, this,
            platform::guardedSlot([this] { FilterComboBox1Change(); }));
    connect(DirectoryListBox1, &platform::DirectoryListBox::changed, this,
            platform::guardedSlot([this] { OpenFolder(); }));
    connect(Button2, &QPushButton::clicked, this,
            platform::guardedSlot([this] { Button2Click(); }));
    connect(Button3, &QPushButton::clicked, this, platform::guardedSlot([this] { Open1Click(); }));
    connect(Button1, &QPushButton::clicked, this, platform::guardedSlot([this] { Print1Click(); }));
    connect(maebt, &QPushButton::clicked, this, platform::guardedSlot([this] { maebtClick(); }));
    connect(tugibt, &QPushButton::clicked, this, platform::guardedSlot([this] { tugibtClick(); }));
}

// The cell's controls at their places in the cell's frame, named as the design names them.
void TForm1::buildCell(QWidget* client, int index) {
    const int left = 8 + 144 * (index % 4);
    const int top = 155 + 128 * (index / 4);

    auto* shape =
        place(new QFrame(client), QStringLiteral("Shape%1").arg(index + 1), left, top, 137, 87);
    shape->setFrameShape(QFrame::Box);
    shape->setAutoFillBackground(true);
    setColour(shape, QPalette::Window, Silver);

    auto* thumbnail =
        place(new TAll(client), QStringLiteral("ls%1").arg(index), left + 19, top + 4, 100, 80);
    thumbnail->setStretch(true);
    thumbnail->setAutoSize(false);
    thumbnail->setPreView(true);

    auto* name = place(new QLabel(client), QStringLiteral("Label%1").arg(index + 12), left + 8,
                       top + 37, 121, 25);
    name->setAlignment(Qt::AlignCenter);
    QFont nameFont = name->font();
    nameFont.setPixelSize(15);
    name->setFont(nameFont);

    place(new QLabel(QStringLiteral("メモ"), client), QStringLiteral("Label%1").arg(index + 28),
          left + 4, top + 87);
    auto* memo = place(new QLineEdit(client), QStringLiteral("Edit%1").arg(index + 2), left + 32,
                       top + 85, 98, 20);
    memo->setToolTip(QStringLiteral("メモの入力"));
    auto* rules = new MemoValidator(memo);
    memo->setValidator(rules);
    auto* selection = place(new QPushButton(QStringLiteral("未選択"), client),
                            QStringLiteral("BitBtn%1").arg(index + 1), left + 8, top + 105, 80, 20);
    selection->setFocusPolicy(Qt::TabFocus);
    auto* copies = place(new platform::SpinEdit(client, 2),
                         QStringLiteral("SpinEdit%1").arg(index + 1), left + 88, top + 103, 42, 24);
    copies->setRange(1, 99);
    copies->setValue(1);
    copies->setToolTip(QStringLiteral("印刷枚数を入力"));

    connect(selection, &QPushButton::clicked, this,
            platform::guardedSlot([this, index] { BitBtnClick(index); }));
    connect(copies, &QSpinBox::valueChanged, this,
            platform::guardedSlot([this, index] { SpinEditChange(index); }));
    connect(memo, &QLineEdit::textChanged, this,
            platform::guardedSlot([this, index] { EditChange(index); }));
    connect(rules, &MemoValidator::refused, this, [] {
        // After the edit is undone, not in the middle of it.
        QTimer::singleShot(0, [] {
            platform::showMessage(QStringLiteral("メモに使えない文字です"), WarningCaption,
                                  platform::MessageIcon::Warning);
        });
    });
}

void TForm1::buildMenu() {
    fileMenu_ = menuBar()->addMenu(QStringLiteral("ファイル"));
    fileMenu_->setObjectName(QStringLiteral("K1"));
    Open1 = fileMenu_->addAction(QStringLiteral("開く"));
    Open1->setObjectName(QStringLiteral("Open1"));
    fileMenu_->addSeparator();
    print1_ = fileMenu_->addAction(QStringLiteral("印刷"));
    print1_->setObjectName(QStringLiteral("Print1"));
    fileMenu_->addSeparator();
    QAction* memosave = fileMenu_->addAction(QStringLiteral("メモ保存"));
    memosave->setObjectName(QStringLiteral("memosave"));
    fileMenu_->addSeparator();
    QAction* exit1 = fileMenu_->addAction(QStringLiteral("終了"));
    exit1->setObjectName(QStringLiteral("Exit1"));

    QMenu* edit1 = menuBar()->addMenu(QStringLiteral("編集"));
    edit1->setObjectName(QStringLiteral("Edit1"));
    QAction* all = edit1->addAction(QStringLiteral("すべてを選択"));
    all->setObjectName(QStringLiteral("K5"));
    QAction* none = edit1->addAction(QStringLiteral("すべてを選択解除"));
    none->setObjectName(QStringLiteral("K6"));

    QAction* options = menuBar()->addAction(QStringLiteral("オプション"));
    options->setObjectName(QStringLiteral("K3"));
    QAction* version = menuBar()->addAction(QStringLiteral("バージョン情報"));
    version->setObjectName(QStringLiteral("K2"));

    connect(fileMenu_, &QMenu::aboutToShow, this,
            platform::guardedSlot([this] { print1_->setEnabled(AnySelected()); }));
    connect(Open1, &QAction::triggered, this, platform::guardedSlot([this] { Open1Click(); }));
    connect(print1_, &QAction::triggered, this, platform::guardedSlot([this] { Print1Click(); }));
    connect(exit1, &QAction::triggered, this, [this] { close(); });
    connect(memosave, &QAction::triggered, this,
            platform::guardedSlot([this] { memosaveClick(); }));
    connect(all, &QAction::triggered, this, platform::guardedSlot([this] { K5Click(); }));
    connect(none, &QAction::triggered, this, platform::guardedSlot([this] { K6Click(); }));
    connect(options, &QAction::triggered, this, platform::guardedSlot([this] {
                if (!OKBottomDlg2)
                    return;
                const bool upright = picturesTurnedUpright();
                OKBottomDlg2->exec();
                // The thumbnails shown stand as the switch now says.
                if (ThumbsShown && picturesTurnedUpright() != upright)
                    ShowPage();
            }));
    connect(version, &QAction::triggered, this, platform::guardedSlot([] {
                if (OKBottomDlg1)
                    OKBottomDlg1->exec();
            }));
}

// The cells' controls are reached through their design names, as the rest of the program
// reaches them; the thumbnails' places in the design give the cell grid.
void TForm1::findCells() {
    for (int i = 0; i < CellsPerPage; ++i) {
        Cell& cell = cells_[i];
        cell.shape = requireByName<QFrame>(this, QStringLiteral("Shape%1").arg(i + 1));
        cell.thumbnail = requireByName<TAll>(this, QStringLiteral("LS%1").arg(i));
        cell.name = requireByName<QLabel>(this, QStringLiteral("Label%1").arg(i + 12));
        cell.memoCaption = requireByName<QLabel>(this, QStringLiteral("Label%1").arg(i + 28));
        cell.memo = requireByName<QLineEdit>(this, QStringLiteral("Edit%1").arg(i + 2));
        cell.selection = requireByName<QPushButton>(this, QStringLiteral("BitBtn%1").arg(i + 1));
        cell.copies = requireByName<QSpinBox>(this, QStringLiteral("Spinedit%1").arg(i + 1));
        cell.memoRules = cell.memo->findChild<MemoValidator*>();

        cell.shape->installEventFilter(this);
        cell.name->installEventFilter(this);
        connect(cell.thumbnail, &TAll::clicked, this,
                platform::guardedSlot([this, i] { CellClick(i); }));
        connect(cell.thumbnail, &TAll::doubleClicked, this,
                platform::guardedSlot([this, i] { CellDblClick(i); }));
    }
    const QRect first = cells_[0].thumbnail->geometry();
    grid_.first = first;
    grid_.pitchX = cells_[1].thumbnail->x() - first.x();
    grid_.pitchY = cells_[4].thumbnail->y() - first.y();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    const bool press = event->type() == QEvent::MouseButtonPress;
    const bool doubleClick = event->type() == QEvent::MouseButtonDblClick;
    if (press || doubleClick) {
        for (int i = 0; i < CellsPerPage; ++i) {
            if (watched != cells_[i].shape && watched != cells_[i].name)
                continue;
            platform::guarded([&] { press ? CellClick(i) : CellDblClick(i); });
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent* event) {
    bool stay = false;
    platform::guarded([&] { stay = StartupOk && !saveMemosBeforeLeaving(); });
    if (stay) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        QCoreApplication::quit();
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    platform::guarded([this] { FormActivate(); });
}

void TForm1::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        platform::guarded([this] { FormActivate(); });
}

void TForm1::FormCreate() {
    if (!pluginLoads(QStringLiteral("ifjpeg.spi"))) {
        platform::showMessage(QStringLiteral("spiﾌｧｲﾙがありません！"),
                              QStringLiteral("＊＊注意＊＊"));
        StartupOk = false;
        return;
    }
    FilterComboBox1->setFilter(installedFileTypeFilter());
    readSettings();
    prepareFolderData();
    FilterComboBox1->setItemIndex(storedFilter_);
    shownFilter_ = FilterComboBox1->itemIndex();
    FileListBox1->setMask(FilterComboBox1->mask());
    // A highlight not above the shadow is lifted 10 above it; so is one less than 10 above it,
    // and the other values are brought into range, so that the tone curve never divides by 0.
    clampCorrectionSettings(CorrectionSettings);
    Selected.fill(false);
    ThumbsShown = false;
    FolderEventsOn = true;
    ViewerWidth = J6ILargeSize ? 768 : 640;
    ViewerHeight = J6ILargeSize ? 576 : 480;

    const FolderProbe probe{[](const QString& path) { return platform::volumeRootOf(path); },
                            IsDriveReady,
                            [](const QString& folder) { return QFileInfo(folder).isDir(); },
                            [](const QString& path) { return platform::isOnMissingVolume(path); }};
    const QString start =
        chooseStartFolder(storedDirectory_, QCoreApplication::applicationDirPath(), probe);
    {
        const QSignalBlocker quiet(DirectoryListBox1);
        DirectoryListBox1->setDirectory(start);
    }
    OpenFolder();

    CurrentIndex = -1;
    Open1->setEnabled(false);
    FileCount = participatingFileCount(FileListBox1->count());
    PageTop = 0;
    ShowPage();
}

void TForm1::FormDestroy() {
    if (!StartupOk)
        return;
    if (MemoDirty && MemoAutoSave)
        saveMemos();
    Memos.clear();
    writeSettings();
}

void TForm1::FormActivate() {
    const TCorrectionSettings& c = CorrectionSettings;
    const std::array<int, 6> values{c.Blue,        c.Green,        c.Red,
                                    c.Hitone / 10, c.Midtone / 10, c.Lowtone / 10};
    const bool automatic = currentAutoLevels().Auto;
    for (int i = 0; i < 6; ++i)
        settingLabels_[i]->setText(i >= 3 && automatic ? QStringLiteral("auto")
                                                       : QString::asprintf("%3d", values[i]));
    const auto when = [](bool atOutput) {
        return atOutput ? QStringLiteral("出力時補正") : QStringLiteral("入力時補正");
    };
    colourWhen_->setText(when(c.CLBL));
    toneWhen_->setText(when(c.ToneBL));
}

void TForm1::readSettings() {
    const platform::Profile ini(platform::settingsFilePath());
    move(ini.readInteger(Section, QStringLiteral("Left"), 0),
         ini.readInteger(Section, QStringLiteral("Top"), 0));
    CorrectionSettings = readCorrectionSettings(ini);
    J6ILargeSize = ini.readBool(Section, QStringLiteral("J6Isize"), true);
    storedDirectory_ = ini.readString(Section, QStringLiteral("Directory"), QString());
    storedFilter_ = ini.readInteger(Section, QStringLiteral("Filter"), 0);
}

// Every key in table order; a file that cannot be written is left as it was, silently.
void TForm1::writeSettings() const {
    platform::Profile ini(platform::settingsFilePath());
    const TCorrectionSettings& c = CorrectionSettings;
    ini.writeInteger(Section, QStringLiteral("Top"), y());
    ini.writeInteger(Section, QStringLiteral("Left"), x());
    ini.writeInteger(Section, QStringLiteral("Blue"), c.Blue);
    ini.writeInteger(Section, QStringLiteral("Green"), c.Green);
    ini.writeInteger(Section, QStringLiteral("Red"), c.Red);
    ini.writeInteger(Section, QStringLiteral("Hitone"), c.Hitone);
    ini.writeInteger(Section, QStringLiteral("Midtone"), c.Midtone);
    ini.writeInteger(Section, QStringLiteral("Lowtone"), c.Lowtone);
    ini.writeBool(Section, QStringLiteral("J6ISize"), J6ILargeSize);
    ini.writeString(Section, QStringLiteral("Directory"), DirectoryListBox1->directory());
    ini.writeBool(Section, QStringLiteral("CLBL"), c.CLBL);
    ini.writeBool(Section, QStringLiteral("ToneBL"), c.ToneBL);
    ini.writeInteger(Section, QStringLiteral("Filter"), FilterComboBox1->itemIndex());
    ini.save();
}

bool TForm1::IsDriveReady(const QString& drive) {
    return platform::isVolumeReady(drive);
}

// The folder list goes to the new drive, at the folder last opened there, only once the
// drive is ready; the user may try again or give up, which leaves everything as it was.
void TForm1::DriveComboBox1Change(const QString& drive) {
    for (;;) {
        if (IsDriveReady(drive)) {
            QString folder = folderOnDrive_.value(drive, drive);
            if (!QFileInfo(folder).isDir())
                folder = drive;
            DirectoryListBox1->setDirectory(folder);
            return;
        }
        const platform::MessageAnswer answer = platform::showMessage(
            QStringLiteral("ドライブの準備ができていません"), WarningCaption,
            platform::MessageIcon::Warning, platform::MessageButtons::AbortRetry);
        if (answer != platform::MessageAnswer::Retry) {
            DriveComboBox1->setDrive(platform::volumeRootOf(DirectoryListBox1->directory()));
            return;
        }
    }
}

void TForm1::FilterComboBox1Change() {
    const QString mask = FilterComboBox1->mask();
    if (mask != FileListBox1->mask())
        openFolderWithMask(mask);
}

void TForm1::OpenFolder() {
    openFolderWithMask(FileListBox1->mask());
}

void TForm1::openFolderWithMask(const QString& mask) {
    if (!FolderEventsOn)
        return;
    // The old folder's memos are saved before the file list moves, so that they are kept under
    // the names they were made for.
    if (!saveMemosBeforeLeaving()) {
        restoreFolderChoice();
        return;
    }
    Memos.clear();
    shownFilter_ = FilterComboBox1->itemIndex();
    const QString folder = DirectoryListBox1->directory();
    if (mask != FileListBox1->mask())
        FileListBox1->setMask(mask);
    FileListBox1->setDirectory(folder);
    const QString drive = platform::volumeRootOf(folder);
    folderOnDrive_.insert(drive, folder);
    DriveComboBox1->setDrive(drive);

    Selected.fill(false);
    FileCount = participatingFileCount(FileListBox1->count());
    PageTop = 0;
    CurrentIndex = -1;
    Open1->setEnabled(false);
    ThumbsShown = false;
    prepareFolderData();
    ShowPage();
}

// Every file of the folder starts with one copy and the memo its folder's memo file gives it;
// the arrays reach one page beyond the last file.
void TForm1::prepareFolderData() {
    Memos = QStringList(FileCount + CellsPerPage + 1);
    std::fill_n(Copies.begin(), FileCount + CellsPerPage + 1, uint8_t{1});
    const MemoListing listing = memoListing();
    if (LoadMemos(listing) == MemoFileState::Unreadable)
        platform::showMessage(QStringLiteral("メモファイルを読み込めません [%1]")
                                  .arg(QDir::toNativeSeparators(memoFilePath(listing.folder))),
                              WarningCaption, platform::MessageIcon::Warning);
    MemoDirty = false;
    MemoFolder = listing.folder;
}

MemoListing TForm1::memoListing() const {
    return {FileListBox1->directory(), FileListBox1->items(), FileCount};
}

bool TForm1::saveMemos() {
    if (SaveMemos(memoListing()))
        return true;
    platform::showMessage(QStringLiteral("書き込めません"), WarningCaption,
                          platform::MessageIcon::Warning);
    return false;
}

bool TForm1::saveMemosBeforeLeaving() {
    if (!MemoDirty)
        return true;
    if (!MemoAutoSave) {
        const platform::MessageAnswer answer = platform::showMessage(
            QStringLiteral("メモが変更されています。保存しますか？"), QStringLiteral("確認"),
            platform::MessageIcon::Question, platform::MessageButtons::YesNoCancel);
        if (answer == platform::MessageAnswer::No) {
            MemoDirty = false; // given up knowingly
            return true;
        }
        if (answer != platform::MessageAnswer::Yes)
            return false;
    }
    if (saveMemos())
        return true;
    const platform::MessageAnswer answer = platform::showMessage(
        QStringLiteral("メモを保存できませんでした。保存しないで続けますか？\n"
                       "（いいえを選ぶと、メモはそのまま残ります）"),
        WarningCaption, platform::MessageIcon::Warning, platform::MessageButtons::YesNo);
    if (answer != platform::MessageAnswer::Yes)
        return false;
    MemoDirty = false; // given up knowingly
    return true;
}

void TForm1::restoreFolderChoice() {
    const QSignalBlocker quiet(DirectoryListBox1);
    DirectoryListBox1->setDirectory(FileListBox1->directory());
    FilterComboBox1->setItemIndex(shownFilter_);
    DriveComboBox1->setDrive(platform::volumeRootOf(FileListBox1->directory()));
}

void TForm1::ShowPage() {
    if (PageTop > FileCount)
        return;
    const PageButtons buttons = pageButtons(PageTop, FileCount);
    tugibt->setEnabled(buttons.nextEnabled);
    maebt->setEnabled(buttons.previousEnabled);
    const platform::WaitCursor busy;
    Label27->setText(pageCounterText(PageTop, FileCount));
    // Until its turn comes a cell still shows the previous page: it takes no input meanwhile.
    for (Cell& cell : cells_) {
        cell.selection->setEnabled(false);
        cell.copies->setEnabled(false);
        cell.memo->setEnabled(false);
    }
    for (int i = 0; i < CellsPerPage; ++i) {
        PageAbort = false;
        QCoreApplication::processEvents();
        if (PageAbort)
            break;
        showCell(i);
    }
}

void TForm1::showCell(int index) {
    Cell& cell = cells_[index];
    // Input handled between cells may have opened another folder: read the state afresh.
    const int file = PageTop + index;
    cell.copies->setValue(Copies[file]);
    QString name;
    QString extension;
    if (file < FileCount) {
        name = FileListBox1->item(file);
        extension = pictureExtension(name);
        PagePaths[index] = pathInFolder(FileListBox1->directory(), name);
    } else {
        PagePaths[index].clear();
    }

    if (ThumbsShown) {
        TAll* thumbnail = cell.thumbnail;
        const QRect whole = grid_.cell(index);
        thumbnail->setGeometry(whole);
        // A J6I header that cannot be read leaves this cell empty; the page goes on.
        try {
            thumbnail->JpegOffset = extension == QLatin1String(".J6I") && !name.isEmpty()
                                        ? J6IDataOffset(PagePaths[index])
                                        : 0;
            thumbnail->setPictureName(PagePaths[index]);
        } catch (const std::exception& error) {
            thumbnail->setPictureName(QString());
            platform::showGeneralError(platform::errorText(error));
        }
        // The preview as decoded is turned, never a larger one decoded for it.
        const QSize stored = thumbnail->picture().size();
        const int orientation = thumbnail->hasPicture() && picturesTurnedUpright()
                                    ? pictureOrientation(PagePaths[index], extension)
                                    : AsStored;
        if (orientation != AsStored)
            thumbnail->setPicture(uprightImage(thumbnail->picture(), orientation));
        thumbnail->setGeometry(
            fitThumbnail(whole, stored.width(), stored.height(), extension, orientation));
        cell.name->hide();
    } else {
        cell.thumbnail->setPictureName(QString());
        showName(cell.name, name);
    }
    showCellState(index, file);
    // Writing the field is no change of the memo.
    MemoTracking = false;
    const QString memo = file < Memos.size() ? Memos[file] : QString();
    cell.memoRules->setBaseline(memo);
    cell.memo->setText(memo);
    cell.memo->setCursorPosition(0); // a memo longer than the field shows its start
    MemoTracking = true;
    ShowTotalSheets();
}

// Names too long for the label lose their middle; the whole name is its hint.
void TForm1::showName(QLabel* label, const QString& name) {
    label->setText(label->fontMetrics().elidedText(name, Qt::ElideMiddle, label->width()));
    label->setToolTip(label->text() == name ? QString() : name);
    label->show();
}

// A cell with a file shows its selection, copies and memo; an empty cell shows none of them.
void TForm1::showCellState(int index, int file) {
    Cell& cell = cells_[index];
    const bool present = file < FileCount;
    cell.selection->setVisible(present);
    cell.copies->setVisible(present);
    cell.memo->setVisible(present);
    cell.memoCaption->setVisible(present);
    cell.thumbnail->setToolTip(present ? CellHint : QString());
    if (present) {
        showSelection(index, file);
    } else {
        cell.selection->setText(QString());
        cell.selection->setToolTip(QString());
    }
    const bool memoPossible = present && canHoldMemo(FileListBox1->item(file));
    cell.memo->setReadOnly(!memoPossible);
    cell.memo->setToolTip(!present ? QString()
                          : memoPossible
                              ? QStringLiteral("メモの入力")
                              : QStringLiteral("改行を含む名前のファイルにはメモを付けられません"));
    for (QWidget* control : {static_cast<QWidget*>(cell.selection),
                             static_cast<QWidget*>(cell.copies), static_cast<QWidget*>(cell.memo)})
        control->setEnabled(true);
    setColour(cell.shape, QPalette::Window, present && file == CurrentIndex ? Grey : Silver);
}

// The selection button of a cell that shows a file: blue when selected, grey when not.
void TForm1::showSelection(int index, int file) {
    QPushButton* button = cells_[index].selection;
    button->setText(Selected[file] ? SelectedCaption : NotSelectedCaption);
    button->setToolTip(SelectionHint);
    setColour(button, QPalette::ButtonText, Selected[file] ? Blue : Grey);
}

void TForm1::BitBtnClick(int cell) {
    const int file = PageTop + cell;
    if (file < FileCount) {
        Selected[file] = !Selected[file];
        showSelection(cell, file);
    }
    ShowTotalSheets();
}

void TForm1::SpinEditChange(int cell) {
    Copies[PageTop + cell] = uint8_t(std::clamp(cells_[cell].copies->value(), 1, 99));
    ShowTotalSheets();
}

void TForm1::EditChange(int cell) {
    const int file = PageTop + cell;
    if (file >= Memos.size())
        return;
    Memos[file] = cells_[cell].memo->text();
    if (MemoTracking)
        MemoDirty = true;
}

void TForm1::K5Click() {
    std::fill_n(Selected.begin(), FileCount, true);
    RefreshSelectionCaptions();
}

void TForm1::K6Click() {
    Selected.fill(false);
    RefreshSelectionCaptions();
}

void TForm1::RefreshSelectionCaptions() {
    for (int i = 0; i < CellsPerPage; ++i)
        if (PageTop + i < FileCount)
            showSelection(i, PageTop + i);
    ShowTotalSheets();
}

void TForm1::ShowTotalSheets() {
    PrintPictureTotal = CountPrintCopies();
    Label26->setText(QString::asprintf("%3d枚", PrintPictureTotal));
}

void TForm1::memosaveClick() {
    saveMemos();
}

void TForm1::markCurrentCell() {
    for (int i = 0; i < CellsPerPage; ++i)
        setColour(cells_[i].shape, QPalette::Window, PageTop + i == CurrentIndex ? Grey : Silver);
}

void TForm1::tugibtClick() {
    PageTop += CellsPerPage;
    if (PageTop > FileCount)
        PageTop -= CellsPerPage;
    else
        ShowPage();
    PageAbort = true;
}

void TForm1::maebtClick() {
    PageTop -= CellsPerPage;
    if (PageTop < 0)
        PageTop += CellsPerPage;
    else
        ShowPage();
    PageAbort = true;
}

void TForm1::Button2Click() {
    const platform::WaitCursor busy;
    ThumbsShown = !ThumbsShown;
    ShowPage();
}

void TForm1::CellClick(int cell) {
    if (PageTop + cell < FileCount) {
        CurrentIndex = PageTop + cell;
        markCurrentCell();
    }
    Open1->setEnabled(CurrentIndex != -1);
}

void TForm1::CellDblClick(int cell) {
    ViewerPath = PagePaths[cell];
    OpenViewer();
}

void TForm1::Open1Click() {
    if (CurrentIndex == -1) {
        platform::showMessage(QStringLiteral("ファイルが選択されていません"), WarningCaption,
                              platform::MessageIcon::Warning);
        return;
    }
    ViewerPath = pathInFolder(FileListBox1->directory(), FileListBox1->item(CurrentIndex));
    OpenViewer();
}

void TForm1::OpenViewer() {
    if (ViewerPath.isEmpty())
        return;
    if (!QFileInfo::exists(ViewerPath)) {
        platform::showMessage(QStringLiteral("ファイルへのアクセスが拒否されました"),
                              WarningCaption, platform::MessageIcon::Warning);
        return;
    }
    const platform::WaitCursor busy;
    Form2->show();
    if (Form2->PictureShown)
        hide();
    else
        Form2->close();
}

namespace {

// The job's progress in the progress dialog, whose cancel button clears PrintRunning.
class ProgressDialogMonitor : public PrintMonitor {
public:
    ~ProgressDialogMonitor() override {
        if (OKBottomDlg)
            OKBottomDlg->hide();
    }
    void started(int pictures) override {
        PrintRunning = true;
        if (OKBottomDlg)
            OKBottomDlg->showForJob(pictures);
    }
    bool running() override { return PrintRunning; }
    void pictureDone(int done, int) override {
        if (OKBottomDlg)
            OKBottomDlg->showProgress(done);
    }
};

} // namespace

void TForm1::Print1Click() {
    if (PrintJobActive)
        return;
    if (!AnySelected()) {
        platform::showMessage(QStringLiteral("印刷ファイルが選択されていません"), {},
                              platform::MessageIcon::Warning);
        return;
    }
    platform::Printer& printer = platform::currentPrinter();
    if (!platform::choosePrinter(printer, this))
        return;
    printer.setOrientation(platform::PageOrientation::Portrait);
    const QSize page = printer.pageSize();
    Form4->FitPreviewPaper(page.width(), page.height());
    Form4->exec();
    if (!PrintConfirmed)
        return;

    PrintRequest request;
    request.layout = Form4->controlValues();
    request.dateForm = Form4->dateForm();
    request.turnJ6I = picturesTurnedUpright();
    const QString folder = FileListBox1->directory();
    for (int i = 0; i < FileCount; ++i)
        request.entries.push_back({pathInFolder(folder, FileListBox1->item(i)), Selected[size_t(i)],
                                   int(Copies[size_t(i)]),
                                   i < Memos.size() ? Memos[i] : QString()});

    const QScopedValueRollback active(PrintJobActive, true);
    const platform::WaitCursor busy;
    ProgressDialogMonitor monitor;
    RunPrintJob(request, printer, *bg, monitor);
}
