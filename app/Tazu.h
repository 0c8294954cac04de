// The main window: drive, folder and file-type choice, and the folder's pictures as pages of
// eight cells.
#pragma once

#include "app/mainstate.h"
#include "app/memos.h"
#include "app/pages.h"

#include <QHash>
#include <QMainWindow>
#include <QString>

#include <array>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QWidget;
class MemoValidator;

namespace platform {
class DirectoryListBox;
class DriveComboBox;
class FileListBox;
class FilterComboBox;
} // namespace platform

class TForm1 : public QMainWindow {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr); // runs FormCreate
    ~TForm1() override;                         // runs FormDestroy

    // Runs the folder change: the file list follows the folder list, the per-file data is
    // prepared afresh and the first page is filled.
    void OpenFolder();
    // Fills the eight cells from PageTop.
    void ShowPage();
    // Opens the viewer on ViewerPath.
    void OpenViewer();
    // True when the total size of the volume with this root can be read.
    static bool IsDriveReady(const QString& drive);

    // The controls the rest of the program (and the tests) reach.
    platform::DriveComboBox* DriveComboBox1 = nullptr;
    platform::FilterComboBox* FilterComboBox1 = nullptr;
    platform::DirectoryListBox* DirectoryListBox1 = nullptr;
    platform::FileListBox* FileListBox1 = nullptr;
    QPushButton* Button1 = nullptr; // print
    QPushButton* Button2 = nullptr; // thumbnails on and off
    QPushButton* Button3 = nullptr; // open
    QPushButton* maebt = nullptr;   // previous page
    QPushButton* tugibt = nullptr;  // next page
    QLabel* Label26 = nullptr;      // sheets selected
    QLabel* Label27 = nullptr;      // page counter
    QAction* Open1 = nullptr;

    // The current file (-1 when none) and each cell's file (empty for an empty cell).
    int CurrentIndex = -1;
    std::array<QString, CellsPerPage> PagePaths;
    bool ThumbsShown = false;
    // Set by the page buttons: a page fill in progress stops at its next cell.
    bool PageAbort = false;

    void tugibtClick();  // next page
    void maebtClick();   // previous page
    void Button2Click(); // thumbnails on and off
    void Open1Click();   // open the viewer on the current file (also Button3)
    void FormActivate(); // shows the correction settings
    void CellClick(int cell);
    void BitBtnClick(int cell);    // the cell's selection button
    void SpinEditChange(int cell); // the cell's copies box
    void EditChange(int cell);     // the cell's memo field
    void K5Click();                // select all
    void K6Click();                // select none
    void memosaveClick();          // save the memos now
    void Print1Click();            // print index sheets of the selection (also Button1)
    // The eight selection buttons from Selected, without loading pictures; then the sheet count.
    void RefreshSelectionCaptions();
    // The copies of the selection in Label26 and PrintPictureTotal.
    void ShowTotalSheets();
    void CellDblClick(int cell);
    void DriveComboBox1Change(const QString& drive);
    void FilterComboBox1Change();

protected:
    // Closing the main window ends the program, whatever other windows are open.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Becoming the active window shows the correction settings afresh.
    void changeEvent(QEvent* event) override;
    // Clicks on a cell's rectangle and name label count as clicks on the cell.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One cell's controls, found by their design names.
    struct Cell {
        QWidget* shape = nullptr;
        TAll* thumbnail = nullptr;
        QLabel* name = nullptr;
        QLabel* memoCaption = nullptr;
        QLineEdit* memo = nullptr;
        QPushButton* selection = nullptr;
        QSpinBox* copies = nullptr;
        MemoValidator* memoRules = nullptr;
    };

    void buildControls(QWidget* client);
    void buildCell(QWidget* client, int index);
    void buildMenu();
    void findCells();
    void FormCreate();
    void FormDestroy();
    void readSettings();
    void writeSettings() const;
    // Opens the folder list's folder with these masks for the file list.
    void openFolderWithMask(const QString& mask);
    void prepareFolderData();
    MemoListing memoListing() const;
    // Before the window leaves a folder, its file type or the program: memos that changed are
    // saved when auto-save is on, else the user is asked whether to save them (Yes), drop them
    // (No) or stay (Cancel). When the save fails the user decides whether to go on without them.
    // False: stay.
    bool saveMemosBeforeLeaving();
    bool saveMemos();
    // The folder list and file type back to what the file list shows, after a refused change.
    void restoreFolderChoice();
    void showSelection(int index, int file);
    void showCell(int index);
    void showCellState(int index, int file);
    static void showName(QLabel* label, const QString& name);
    void markCurrentCell();

    std::array<Cell, CellsPerPage> cells_;
    CellGrid grid_;
    QMenu* fileMenu_ = nullptr;
    QAction* print1_ = nullptr;
    std::array<QLabel*, 6> settingLabels_{}; // Label1..Label6
    QLabel* colourWhen_ = nullptr;           // Label23
    QLabel* toneWhen_ = nullptr;             // Label24
    bool FolderEventsOn = false;
    // A print job is running: a second print request is refused.
    bool PrintJobActive = false;
    QString storedDirectory_; // the "Directory" setting as read
    int storedFilter_ = 0;    // the "Filter" setting as read
    int shownFilter_ = 0;     // the file type the file list shows
    // The last folder opened on each drive, for going back to it after a drive change.
    QHash<QString, QString> folderOnDrive_;
};
