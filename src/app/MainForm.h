#pragma once

#include "engine/DiffEngine.h"
#include "folder/FolderCompare.h"
#include "grid/TDiffGrid.h"
#include "merge/UndoStack.h"
#include "platform/Platform.h"
#include "settings/SettingsRecord.h"
#include "text/SideState.h"
#include "text/TextFile.h"
#include "tika/Tika.h"
#include "tika/TikaServer.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

class QAction;
struct TDiffCellSource;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QPainter;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QToolButton;
class TfrmSettings;
struct TDecodedSettings;

// Process-wide state shared by the windows (UI thread only).
extern QString SettingsFileName;   // full path of the settings file, set once by FormCreate
extern int DefaultFontSize;        // the grid font's design size in points, for the settings dialog's reset

// The remembered start folder of a file dialog (the dialogs themselves come from the platform).
struct TFileDialogState
{
    QString InitialDir;
};

// Which history rule a compare command applies to the path boxes.
enum class THistoryRule { Keeping, Moving };

// The main window. It owns the comparison workspace; its commands read the widgets, call the
// plain functions of the engine, text, folder and merge units, write the workspace and the
// widgets back and talk to the user through the platform.
//
// The workspace and the controls are public: the window's concerns live in several files
// (MainForm*.cpp), and tests and the dialogs read the same fields. Only the UI thread touches them.
class TfrmMain : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmMain(TPlatform& Platform = RealPlatform(), QWidget* Parent = nullptr);
    ~TfrmMain() override;

    TPlatform& Platform;
    // Some side of this window holds changes not yet saved (see TSideState::Unsaved). Each window
    // has its own: a pair opened from a folder row must not answer for the folder window.
    bool UnsavedChanges = false;
    // A window opened from a folder row: placed by its opener, it leaves the stored placement
    // (position, size, maximized) to the window the user started.
    bool FKeepsStoredPlacement = false;

    // ---- Workspace, in its declared order ----
    QPlainTextEdit* FCellEditor = nullptr;
    std::int32_t FEditingRow = -1;
    std::int32_t FEditingCol = -1;
    bool FInCellEditCommit = false;
    std::int32_t FDiffRecomputeJobId = 0;
    bool FDiffRecomputeInProgress = false;
    // Each side's lines and how its file is written back, in one record per side.
    TSideState FLeft;
    TSideState FRight;
    // The per-side fields under their own names: views onto the two records.
    QStringList& FLeftLines = FLeft.Lines;
    QStringList& FRightLines = FRight.Lines;
    TDiffItems FDiffItems;
    std::int32_t iColWidth1 = 0;
    std::int32_t iColWidth2 = 0;
    bool FInColResize = false;
    std::int32_t FLastMouseCol = -1;
    std::int32_t FLastMouseRow = -1;
    std::int32_t FLastFramedRow = -1;
    TTextEncoding& FLeftEncoding = FLeft.Encoding;
    TTextEncoding& FRightEncoding = FRight.Encoding;
    bool& FLeftHasBOM = FLeft.HasBOM;
    bool& FRightHasBOM = FRight.HasBOM;
    QString& FLeftEncName = FLeft.EncName;
    QString& FRightEncName = FRight.EncName;
    TUTF8NoBOMEncoding FUtf8NoBOM;
    bool fIgnoreCase = false;
    bool fIgnoreWhitespace = false;
    bool fIgnoreWSAmount = false;
    bool fIgnoreLeadingWS = false;
    bool fIgnoreTrailingWS = false;
    bool fIgnoreBlankLiness = false;
    quint32 fColorAddedLines = DefaultColorAddedLines;   // colours are 0x00BBGGRR, or 0xFF0000nn for a system colour
    quint32 fColorRemovedLines = DefaultColorRemovedLines;
    quint32 fColorChangedLines = DefaultColorChangedLines;
    quint32 fColorDifferentTextInLine = DefaultColorDifferentTextInLine;
    TUndoStack FUndoStack;
    std::int32_t FBaseRowHeight = 0;
    bool FFolderMode = false;

    // ---- Controls (each carries its name as objectName) ----
    QWidget* ToolBar1 = nullptr;
    QToolButton* btnCompare = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* btnPrevDiff = nullptr;
    QToolButton* btnDiffNext = nullptr;
    QToolButton* btnFirstDiff = nullptr;
    QToolButton* btnLastDiff = nullptr;
    QToolButton* btnLeftToRight = nullptr;
    QToolButton* btnRightToLeft = nullptr;
    QToolButton* btnAllLeftDiffsToRight = nullptr;
    QToolButton* btnAllRightDiffsToLeft = nullptr;
    QToolButton* btnUndo = nullptr;
    QToolButton* btnSaveLeft = nullptr;
    QToolButton* btnSaveRight = nullptr;
    QToolButton* btnSettings = nullptr;
    QToolButton* btnInfo = nullptr;
    QLabel* Image1 = nullptr;   // the speech bubble beside Label1
    QLabel* Label1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* miAutomatically1 = nullptr;
    QAction* N1 = nullptr;
    QAction* miAsTextFiles1 = nullptr;
    QAction* miAsComplexDocumentsegPDFDOCXetcwithTIKA1 = nullptr;
    QAction* miAsFolders1 = nullptr;
    QLabel* StaticText1 = nullptr;
    QComboBox* cmbLeft = nullptr;
    QPushButton* btnBrowseLeft = nullptr;
    QComboBox* cmbRight = nullptr;
    QPushButton* btnBrowseRight = nullptr;
    TDiffGrid* grdDiff = nullptr;
    QFrame* Panel2 = nullptr;
    QLabel* lblGettingStarted = nullptr;
    QFrame* pnlBottom = nullptr;
    QLabel* lblStatus = nullptr;
    QLabel* lbHomepageURL = nullptr;
    QObject* ActionList1 = nullptr;
    QAction* ActionUndo = nullptr;
    QTimer* Timer1 = nullptr;
    TFileDialogState dlgOpen1;
    TFileDialogState dlgopen2;
    TFileDialogState SaveDialog1;

    // ---- Start-up, workspace and summary (MainForm.cpp) ----
    void FormCreate();
    void FormDestroy();
    void ShowComparisonSummary(const QString& Prefix, bool ShowBox);
    [[nodiscard]] bool HasDifferences() const;
    void EnsureFilesLoaded() const;   // throws in folder mode
    void ClearUndoStack();
    [[nodiscard]] bool GettingStartedShown() const;
    void HideGettingStarted();        // the first comparison lets the grid fill the area
    void EnableTextModeButtons();     // the eleven navigation, merge, undo and save buttons
    void SetStatus(const QString& Text);
    // The unsaved flags: one per side, and UnsavedChanges while either side holds changes.
    void MarkSideChanged(TSideState& Side);
    void MarkSideSaved(TSideState& Side);
    // False in folder mode and after a failed comparison: nothing is loaded that merges, edits
    // or saves may write (a failed document comparison must not be saved over the document).
    [[nodiscard]] bool SidesWritable() const;
    // A comparison failed: both sides hold nothing writable; merges, edits and saves refuse.
    void MarkComparisonFailed();
    // Runs a command's body; an error ends the command with an error box carrying its message.
    // The only catch-all of the window.
    void RunCommand(const std::function<void()>& Body);

    // ---- Compare commands and text comparison (MainFormCompare.cpp) ----
    void miAsTextFiles1Click();
    void SpeedButton1MouseUp();
    void btnBrowseLeftClick();
    void btnBrowseRightClick();
    // "..." offers a file or a folder for its side; the choice goes into the box, and the
    // dialog opens next time where it was chosen.
    enum class TBrowseKind { File, Folder };
    void BrowseForPath(QComboBox& Box, TFileDialogState& Dialog, const QString& DialogName, TBrowseKind Kind);
    void CreateBrowseMenus();
    QMenu* pmBrowseLeft = nullptr;    // "File…" / "Folder…" below btnBrowseLeft
    QMenu* pmBrowseRight = nullptr;
    void CompareTextFiles(const QString& L, const QString& R);
    // Files that are neither text nor documents: compared byte for byte, the verdict says where.
    void CompareBinaryFiles(const QString& L, const QString& R);
    void ReadPaths(QString& L, QString& R) const;            // trimmed edit texts of the path boxes
    void AddPathsToHistory(const QString& L, const QString& R, THistoryRule Rule);

    // ---- Automatic comparison (MainFormAutomatic.cpp) ----
    void btnCompareClick();
    void miAutomatically1Click();

    // ---- Folder comparison (MainFormFolders.cpp) ----
    void miAsFolders1Click();
    // Lists and compares off the UI thread while the window paints and counts; Esc cancels and
    // leaves the previous result and its unsaved changes (then false). No other command runs
    // meanwhile.
    bool CompareFolders(const QString& L, const QString& R);
    // Enter on a folder row or "Compare these files": that pair in a window of its own.
    void OpenFolderPair(int Row);
    void grdDiffContextMenu(const QPoint& Pos);
    void CreateFolderRowMenu();
    QMenu* pmFolderRow = nullptr;
    QAction* miCompareTheseFiles = nullptr;
    // Checked: next/previous difference step over rows that could not be read.
    QAction* miSkipUnreadable = nullptr;
    // The items the difference navigation steps over (folder rows that could not be read count
    // as equal while miSkipUnreadable is checked).
    [[nodiscard]] TDiffItems NavigationItems() const;
    // The tooltip of the folder row cell under Pos (viewport coordinates), or empty.
    [[nodiscard]] QString FolderRowToolTipAt(const QPoint& Pos) const;
    TFolderComparison FFolderRows;    // the shown folder rows: each side's file and newer flag
    bool FFolderComparing = false;
    // What a folder comparison runs on its worker thread; tests replace it to hold the
    // comparison or to inject a failure.
    TFolderComparison (*FCompareFolderTrees)(const QString&, const QString&, TFolderCompareControl*) =
        &CompareFolderTrees;

    // ---- Document comparison (MainFormDocuments.cpp) ----
    void miAsComplexDocumentsegPDFDOCXetcwithTIKA1Click();
    void CompareDocuments(const QString& L, const QString& R);
    // Where the documents go for their text; tests point it at a server of their own.
    void SetTikaEndpoint(const QUrl& Endpoint, int ReadTimeoutMs = quorlane::TikaReadTimeoutMs,
                         int DeadlineMs = quorlane::TikaDeadlineMs);
    QUrl FTikaEndpoint = quorlane::DefaultTikaEndpoint();
    int FTikaReadTimeoutMs = quorlane::TikaReadTimeoutMs;
    int FTikaDeadlineMs = quorlane::TikaDeadlineMs;
    qint64 FTikaAnswerLimitBytes = quorlane::TikaAnswerLimitBytes;
    int FTikaServerStartMs = quorlane::TikaServerStartMs;
    // Java and the server file for starting a server of our own when nothing answers at a local
    // endpoint; unset looks on this machine. Tests set it (an empty result starts nothing).
    std::function<quorlane::TTikaServerFiles()> FFindTikaServerFiles;
    [[nodiscard]] quorlane::TTikaServerFiles TikaServerFiles() const;
    // The server this program started, if any; it ends with the window.
    std::unique_ptr<quorlane::TTikaServer> FTikaServer;
    // Starts our own server when nothing answers at a local endpoint and it can; false with
    // Error when the start failed or was cancelled.
    [[nodiscard]] bool EnsureTikaServer(const quorlane::TTikaCancel& Cancel, QString& Error);

    // ---- Result rows and background recompute (MainFormRows.cpp) ----
    [[nodiscard]] TDiffOptions CurrentDiffOptions() const;
    void RunDiff();
    void FillDiffGrid();
    void RecomputeDiffAsync();
    void SetDiffRecomputeInProgress(bool Value);
    // The hand-back of request JobId, on the UI thread; applies Items only for the newest request.
    void DiffRecomputeHandBack(std::int32_t JobId, const TDiffItems& Items);
    // The hand-back of a request whose computation failed (out of memory): the busy state ends
    // and the user is told, instead of a pointer and rows that wait forever.
    void DiffRecomputeFailed(std::int32_t JobId, const QString& Reason, bool OutOfMemory = false);
    // What the background recompute runs; tests replace it to inject a failure.
    TDiffItems (*FRecomputeDiff)(const QStringList&, const QStringList&, const TDiffOptions&) = &ComputeDiff;
    // Whoever replaces the lines or the items by other means calls this first, so that no
    // outstanding background result lands on them; a cancelled request's busy pointer ends.
    void DiscardPendingRecompute();

    // ---- Grid drawing, row heights and layout (MainFormGrid.cpp) ----
    void grdDiffDrawCell(QPainter& Painter, int ACol, int ARow, const QRect& Rect, TGridDrawState State);
    // What the cell drawing and the row heights read of the workspace (items, lines, mode, colours).
    [[nodiscard]] TDiffCellSource CellSource() const;
    void UpdateRowHeight(int Row);
    void UpdateAllRowHeights();
    void FormResize();
    void Timer1Timer();
    void grdDiffMouseDown(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void grdDiffMouseUp(Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y);
    void grdDiffSelectCell(int ACol, int ARow, bool& CanSelect);
    void InvalidateGridRow(int Row);
    // Where characters of a cell are drawn (the grid asks, to show them inside a tall row).
    [[nodiscard]] QRect grdDiffTextRect(int ACol, int ARow, int CharStart, int CharLen) const;
    // Brings the first highlighted range of Row into view (the row's top when it has none).
    void ShowDifferenceOfRow(int Row);
    // Every comparison that shows rows ends here: the keys go to the grid, not the path box.
    void FocusComparisonRows();

    // ---- Navigation, merges and undo (MainFormMerge.cpp) ----
    void btnFirstDiffClick();
    void btnPrevDiffClick();
    void btnDiffNextClick();
    void btnLastDiffClick();
    void GoToDiffRow(int Row);
    void btnLeftToRightClick();
    void btnRightToLeftClick();
    void btnAllLeftDiffsToRightClick();
    void btnAllRightDiffsToLeftClick();
    void ActionUndoExecute();
    void btnUndoClick();
    void UndoLastMerge();
    void PushUndoState();
    void CreateNavigationShortcuts();   // F7/F8, Alt+arrows, Alt+Home/End, shown in the tooltips

    // ---- In-cell editing (MainFormEdit.cpp) ----
    void CreateCellEditor();
    [[nodiscard]] bool GetEditLineIndex(int ACol, int ARow, std::int32_t& LineIndex) const;
    void PositionCellEditor(int ACol, int ARow);
    void BeginCellEdit(int ACol, int ARow);
    void EndCellEdit(bool Accept);
    void CellEditorKeyDown(QKeyEvent* Event);
    void CellEditorExit();
    void grdDiffDblClick();
    void grdDiffKeyDown(QKeyEvent* Event);
    // Writes an open edit back before a command works on the lines or moves the selection.
    void CommitOpenCellEdit();
    // False while a background result is outstanding for lines that merges or undo have moved:
    // the shown rows then name lines by positions that no longer hold.
    [[nodiscard]] bool RowsFollowLines() const;

    // ---- Saving (MainFormSave.cpp) ----
    void btnSaveLeftClick();
    void btnSaveRightClick();
    // Closing with unsaved changes asks first; Cancel keeps the window and everything in it.
    [[nodiscard]] bool ConfirmClose();
    // The path boxes show which side holds unsaved changes.
    void ShowUnsavedMarkers();

    // ---- Settings (MainFormSettings.cpp) ----
    void LoadSettings();   // never raises
    void SaveSettings();   // never raises
    void btnSettingsClick();
    TfrmSettings* frmSettings = nullptr;        // the one settings dialog, made at start-up
    std::uint32_t FGridFontColor = 0xFF000008;  // colour of the grid font, a colour value
    [[nodiscard]] TSettingsRecord SettingsFromWindow() const;
    // What another window of this process wrote since this one read the file stays (see SaveSettings).
    static void MergeWithStoredSettings(TSettingsRecord& Record, const TDecodedSettings& Stored, bool KeepStoredPlacement);
    void ApplySettings(const TDecodedSettings& Settings);   // the fields read, in file order
    [[nodiscard]] int GridFontSize() const;                 // in points
    void SetGridFont(const QString& Name, int Points);      // an empty name keeps the face
    void SetGridFontColor(std::uint32_t Value);
    void SetShowLineNumbers(bool Show);
    void SetShowGridLines(bool Show);
    void PlaceOnNearestDisplay();

    // ---- About box and website link (MainFormAbout.cpp) ----
    void SetUpHomepageLink();
    void btnInfoClick();
    void lbHomepageURLClick();
    void lbHomepageURLMouseEnter();
    void lbHomepageURLMouseLeave();

protected:
    void resizeEvent(QResizeEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;
    void changeEvent(QEvent* Event) override;     // coming back to the window: were the files changed?
    void showEvent(QShowEvent* Event) override;   // the first showing places the window on a display
    bool eventFilter(QObject* Watched, QEvent* Event) override;   // file drops on the path boxes

private:
    bool FPlacedOnDisplay = false;
    bool FSizeFromFile = false;   // the settings file gave the size: fitted to the display when shown
    // The line an open edit writes to, and the request number current when it began: another
    // command that replaced the lines since (a new comparison) makes the edit void.
    std::int32_t FEditingLineIndex = -1;
    std::int32_t FEditingJobId = 0;
    bool FLinesMovedSinceRows = false;   // see RowsFollowLines
    void ChangeLinesAndRecompute(bool LinesMoved);   // busy pointer, then RecomputeDiffAsync
    void FollowEditedLine();   // keeps FEditingRow on the row that shows the edited line
    // The side a merge writes to; the two directions of each merge command share one body.
    enum class TMergeTarget { Left, Right };
    void CopySelectedBlock(TMergeTarget Target);
    void CopyWholeSide(TMergeTarget Target);
    // Shared steps of the file compare commands (MainFormCompare.cpp).
    [[nodiscard]] bool ConfirmLoadFiles();   // false when the user keeps the current changes
    void RunFileCompareCommand(void (TfrmMain::*Compare)(const QString&, const QString&));
    [[nodiscard]] bool CheckFilesToCompare(const QString& L, const QString& R);
    // A comparison of two files takes over the window: text mode, no lines, no undo states, no
    // pending recompute, nothing unsaved.
    void ClearWorkspaceForFiles();
    // The rows of two newly loaded files from the top, the identical box, the summary.
    void ShowNewFileComparison();

    void CreateControls();
    void CreateToolBar();
    void CreatePopupMenu();
    void CreatePathRow();
    void CreateGrid();
    void CreateStatusBar();
    void ConnectCommands();
};
