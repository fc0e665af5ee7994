#pragma once
// The merge window: three inputs aligned in a grid above, the merged result below, freely
// editable; conflicts are stepped through and settled one chunk at a time, and the result is
// written with the one save every window uses.

#include "grid/TDiffGrid.h"
#include "mergewin/MergeModel.h"
#include "platform/Platform.h"
#include "settings/SettingsRecord.h"
#include "text/SideState.h"

#include <QFont>
#include <QWidget>

#include <functional>
#include <memory>
#include <map>

class QLabel;
class QTextDocument;
class QThread;
class QSplitter;
class QToolButton;
class TMergeResultEdit;

// The files of a merge, as given on the command line. An empty or missing Base merges two ways;
// an empty Output lets the first save ask where the result goes.
struct TMergeFiles {
    QString Local, Base, Remote, Output;
};

// Colours of the merge that the settings have no field for.
inline constexpr quint32 MergeConflictColor = 0x00A0A0FF;      // red 255, green 160, blue 160
inline constexpr quint32 MergeRuleColor = 0x00FFD8E8;          // red 232, green 216, blue 255

class TfrmMerge : public QWidget
{
    Q_OBJECT
public:
    explicit TfrmMerge(const TMergeFiles& Files, TPlatform& Platform = RealPlatform(), QWidget* Parent = nullptr);
    ~TfrmMerge() override;

    TPlatform& Platform;

    // ---- Workspace ----
    TMergeFiles FFiles;
    TSideState FLocal, FBase, FRemote;
    TSideState FResult;            // how the result is written: LOCAL's encoding, mark and line break
    QString FOutput;               // where the result goes; empty until the first save chooses
    TMergeInputs FInputs;
    TMerge3Result FMerge;
    TMerge3Markers FMarkers;       // labels of the conflicts written into the result
    TMergeRows FRows;
    TChunkStates FStates;          // each chunk's place in the result and what happened to it
    int FCurrentChunk = -1;
    bool FSavedWithoutConflicts = false;   // the last save wrote no conflict
    QString FLoadError;            // why the inputs could not be merged; empty when they were
    TSettingsRecord FSettings;     // read once, never written here
    QFont FGridFont;
    int FBaseRowHeight = 0;

    // ---- Controls (each carries its name as objectName) ----
    TDiffGrid* grdMerge = nullptr;
    TMergeResultEdit* edtMergeResult = nullptr;
    QSplitter* splMerge = nullptr;
    QToolButton* btnPrevConflict = nullptr;
    QToolButton* btnNextConflict = nullptr;
    QToolButton* btnNextUnresolved = nullptr;
    QToolButton* btnPrevRuleResolved = nullptr;
    QToolButton* btnNextRuleResolved = nullptr;
    QToolButton* btnTakeLocal = nullptr;
    QToolButton* btnTakeBase = nullptr;
    QToolButton* btnTakeRemote = nullptr;
    QToolButton* btnTakeBoth = nullptr;
    QToolButton* btnSaveMerge = nullptr;
    QLabel* lblMergeStatus = nullptr;

    // ---- Start (MergeForm.cpp) ----
    // Loads the three files and merges them; throws ETextFileError.
    void LoadAndMerge();
    // 0 when the result was saved with no conflict left and nothing changed since; else 1.
    [[nodiscard]] int ExitStatus() const;
    void RunCommand(const std::function<void()>& Body);
    [[nodiscard]] QString HeaderText(const QString& Role, const QString& Path) const;

    // ---- The grid (MergeFormGrid.cpp) ----
    void FillMergeGrid();
    void grdMergeDrawCell(QPainter& Painter, int ACol, int ARow, const QRect& Rect);
    void UpdateAllRowHeights();
    void LayoutColumns();
    [[nodiscard]] QColor ChunkColor(int Chunk) const;
    [[nodiscard]] QColor SettingColor(quint32 Value) const;

    // ---- The result (MergeFormResult.cpp) ----
    // The result from LocalText, a document holding LOCAL's lines (built on another thread while
    // the merge runs; made here when null).
    void FillResult(std::unique_ptr<QTextDocument> LocalText = nullptr);
    // A document holding Lines, each with a line break, without undo; handed to Owner's thread.
    [[nodiscard]] static std::unique_ptr<QTextDocument> TextDocumentOf(const QStringList& Lines, QThread* Owner);
    [[nodiscard]] QVector<std::int32_t> Starts() const;
    [[nodiscard]] QStringList CurrentChunkLines(int Chunk) const;   // as the result holds it now
    [[nodiscard]] bool ChunkUnresolved(int Chunk) const;
    [[nodiscard]] TMergeCounts Counts() const;
    [[nodiscard]] int ResultLineOfChunk(int Chunk) const;
    [[nodiscard]] int ChunkOfResultLine(int Line) const;
    void TakeChoice(TMergeChoice Choice);
    void btnTakeLocalClick();
    void btnTakeBaseClick();
    void btnTakeRemoteClick();
    void btnTakeBothClick();
    void ResultContentsChange(int Position, int Removed, int Added);
    void UndoResult();
    void RedoResult();
    void RefreshResultMarks();
    void ShowStatus();

    // ---- Navigation and scrolling together (MergeFormNavigation.cpp) ----
    void GoToChunk(int Chunk);
    void Step(TMergeTarget Target, bool Forward);
    void btnPrevConflictClick();
    void btnNextConflictClick();
    void btnNextUnresolvedClick();
    void btnPrevRuleResolvedClick();
    void btnNextRuleResolvedClick();
    void SelectChunk(int Chunk);      // the chunk the take buttons act on
    void GridScrolled();
    void ResultScrolled();
    void ResultCursorMoved();

    // ---- Saving and closing (MergeFormSave.cpp) ----
    void btnSaveMergeClick();
    // Writes the result; false when the user cancelled or nothing could be written.
    bool SaveResult();
    [[nodiscard]] bool ConfirmClose();
    [[nodiscard]] bool HasUnsavedWork() const;

protected:
    void closeEvent(QCloseEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;   // the grid's tooltips

private:
    // Chunk states per undo step of the result text: undo and redo put them back with the text.
    std::map<int, TChunkStates> FHistory;
    bool FChangingText = false;   // the window itself is changing the result text
    bool FSyncingScroll = false;
    QList<int> FWidthsAtPress;
    int FMarkedFirst = -1, FMarkedLast = -1;   // the lines whose marks were last laid
    void CreateControls();
    void ConnectCommands();
    void RecordHistory();
    void RestoreHistory();
    void ReplaceChunkText(int Chunk, const QStringList& Lines);
    // After any change of FStates: caches, marks, status and buttons follow.
    void StatesChanged();
    void UpdateCommandStates();
    mutable QVector<std::int32_t> FStartsCache;
    mutable bool FStartsValid = false;
    QVector<bool> FUnresolved;    // per chunk, kept by StatesChanged
};

// Opens the merge window on Files and runs it until it closes; the process's exit status (1
// when the files cannot be merged, after an error box).
[[nodiscard]] int RunMergeWindow(const TMergeFiles& Files);
