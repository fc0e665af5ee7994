// The folder comparison.

#include "app/BusyInput.h"
#include "app/MainForm.h"
#include "app/PairWindow.h"
#include "app/PathHistory.h"
#include "folder/FolderCompare.h"
#include "text/PathBytes.h"

#include <QAction>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QScopeGuard>
#include <QTimer>
#include <QToolTip>
#include <QHelpEvent>
#include <QToolButton>

#include <memory>
#include <new>
#include <stdexcept>
#include <thread>
#include <utility>

namespace {

[[nodiscard]] bool IsExistingFolder(const QString& Path)
{
    return PathKindOf(Path) == TPathKind::Folder;
}

// What the worker thread hands back; the UI thread reads it only after the worker has ended.
struct TFolderJob
{
    TFolderCompareControl Control;
    TFolderComparison Result;
    QString Failure;   // the message of a comparison that failed
};

// Shows what a folder row's cell is (a link's target, why it could not be read) when the pointer
// rests on it.
class TFolderRowTips : public QObject
{
public:
    TFolderRowTips(const TfrmMain& Window, QObject* Parent) : QObject(Parent), FWindow(Window) {}

    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if (Event->type() != QEvent::ToolTip)
            return QObject::eventFilter(Watched, Event);
        const auto* Help = static_cast<QHelpEvent*>(Event);
        const QString Tip = FWindow.FolderRowToolTipAt(Help->pos());
        if (Tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(Help->globalPos(), Tip, qobject_cast<QWidget*>(Watched));
        return true;
    }

private:
    const TfrmMain& FWindow;
};

}   // namespace

TDiffItems TfrmMain::NavigationItems() const
{
    if (!FFolderMode || !miSkipUnreadable || !miSkipUnreadable->isChecked())
        return FDiffItems;
    return FolderNavigationItems(FFolderRows, true);
}

QString TfrmMain::FolderRowToolTipAt(const QPoint& Pos) const
{
    if (!FFolderMode || FFolderComparing)
        return QString();
    int Col = -1, Row = -1;
    grdDiff->MouseToCell(Pos.x(), Pos.y(), Col, Row);
    return Row >= 1 ? FolderRowToolTip(FFolderRows, Row - 1, Col) : QString();
}

void TfrmMain::miAsFolders1Click()
{
    if (UnsavedChanges && !Platform.Confirm(QStringLiteral("Compare the specified folders?\r\nCurrent changes will be lost.")))
        return;
    QString L, R;
    ReadPaths(L, R);
    if (L.isEmpty() || R.isEmpty()) {
        Platform.ShowMessage(TMessageKind::Warning, QStringLiteral("Please select both left and right folders."));
        return;
    }
    if (!IsExistingFolder(L) || !IsExistingFolder(R)) {
        Platform.ShowMessage(TMessageKind::Error,
                             QStringLiteral("Both paths must be existing folders for folder comparison."));
        return;
    }
    if (!CompareFolders(L, R))
        return;
    AddPathsToHistory(L, R, THistoryRule::Keeping);
    SaveSettings();
}

bool TfrmMain::CompareFolders(const QString& L, const QString& R)
{
    if (FFolderComparing) {
        Platform.Beep();
        return false;
    }
    FFolderComparing = true;
    const auto EndComparing = qScopeGuard([this] { FFolderComparing = false; });
    // A cancelled or failed comparison leaves the previous one, unsaved changes included.
    const bool HadUnsavedChanges = std::exchange(UnsavedChanges, false);
    auto KeepUnsaved = qScopeGuard([&] { UnsavedChanges = HadUnsavedChanges; });

    const QString StatusBefore = lblStatus->text();
    auto Job = std::make_shared<TFolderJob>();
    {
        const TBusyInput Guard(*this, [&Control = Job->Control] { Control.Cancel = true; });
        QEventLoop Loop;
        QTimer Progress;
        Progress.setInterval(100);
        connect(&Progress, &QTimer::timeout, this, [this, Job] { SetStatus(FolderProgressText(Job->Control)); });
        SetStatus(FolderProgressText(Job->Control));
        Progress.start();

        // The loop quits on the worker's hand-back; it lives until then, since nothing else ends it.
        QPointer<QEventLoop> LoopRef(&Loop);
        const auto Compare = FCompareFolderTrees;
        std::thread Worker([Job, Compare, L, R, LoopRef] {
            try {
                Job->Result = Compare(L, R, &Job->Control);
            } catch (const std::bad_alloc&) {
                Job->Failure = QStringLiteral("Not enough memory to compare the folders \"%1\" and \"%2\" "
                                              "(%3 files listed).")
                                   .arg(L, R)
                                   .arg(Job->Control.FilesListed.load());
            } catch (const std::exception& Error) {
                Job->Failure = QString::fromUtf8(Error.what());
            }
            QMetaObject::invokeMethod(LoopRef.data(), "quit", Qt::QueuedConnection);
        });
        Loop.exec();
        Worker.join();
        if (Guard.CloseRequested())
            QTimer::singleShot(0, this, &QWidget::close);
    }

    if (!Job->Failure.isEmpty() || Job->Result.Cancelled) {
        SetStatus(StatusBefore);
        if (!Job->Failure.isEmpty())
            throw std::runtime_error(Job->Failure.toStdString());
        return false;
    }

    HideGettingStarted();

    FFolderMode = true;
    for (QToolButton* Button : {btnPrevDiff, btnDiffNext, btnFirstDiff, btnLastDiff})
        Button->setEnabled(true);
    for (QToolButton* Button : {btnLeftToRight, btnRightToLeft, btnSaveLeft, btnSaveRight, btnUndo,
                                btnAllLeftDiffsToRight, btnAllRightDiffsToLeft})
        Button->setEnabled(false);

    // A merge still computing in the background must not land on the folder rows.
    DiscardPendingRecompute();
    ClearUndoStack();

    FFolderRows = std::move(Job->Result);
    Job.reset();
    FDiffItems = FFolderRows.Items;   // shared, not copied
    const int Rows = int(FDiffItems.size() + 1);
    grdDiff->SetRowCount(Rows);
    for (int Col = 0; Col < 3; ++Col)
        grdDiff->SetColumnTexts(Col, FolderGridColumn(FFolderRows, Col));
    UpdateAllRowHeights();
    // A new comparison starts at its top, wherever the previous one was scrolled to.
    if (Rows > 1) {
        grdDiff->SetTopRow(1);
        grdDiff->SetRow(1);
    }
    grdDiff->viewport()->update();

    SetStatus(FolderStatusText(FFolderRows));
    if (const QString Box = FolderResultBoxText(FFolderRows); !Box.isEmpty())
        Platform.ShowMessage(TMessageKind::Information, Box);
    FocusComparisonRows();
    KeepUnsaved.dismiss();
    return true;
}

void TfrmMain::OpenFolderPair(int Row)
{
    const qsizetype I = Row - 1;
    if (!FFolderMode || I < 0 || I >= FDiffItems.size() || I >= FFolderRows.Items.size()
        || FDiffItems[I].LeftIndex < 0 || FDiffItems[I].RightIndex < 0) {
        Platform.Beep();   // nothing to open: a header row or a file on one side only
        return;
    }
    const QByteArray LeftBytes = FFolderRows.LeftBytes[I], RightBytes = FFolderRows.RightBytes[I];
    // Arguments travel as text: a name whose bytes are not UTF-8 would name another file.
    if (QString::fromUtf8(LeftBytes).toUtf8() != LeftBytes || QString::fromUtf8(RightBytes).toUtf8() != RightBytes) {
        Platform.ShowMessage(TMessageKind::Error,
                             QStringLiteral("\"%1\" cannot be opened in a new window: its name is not valid UTF-8.")
                                 .arg(FFolderRows.Paths[I]));
        return;
    }
    const QString LeftPath = QDir(FFolderRows.LeftRoot).absoluteFilePath(QString::fromUtf8(LeftBytes));
    const QString RightPath = QDir(FFolderRows.RightRoot).absoluteFilePath(QString::fromUtf8(RightBytes));
    OpenPairWindow(*this, QDir::cleanPath(LeftPath), QDir::cleanPath(RightPath));
}

void TfrmMain::grdDiffContextMenu(const QPoint& Pos)
{
    if (!FFolderMode || FFolderComparing)
        return;
    int Col = -1, Row = -1;
    grdDiff->MouseToCell(Pos.x(), Pos.y(), Col, Row);
    if (Row >= 1)
        grdDiff->SetRow(Row);
    else
        Row = grdDiff->Row();
    const qsizetype I = Row - 1;
    miCompareTheseFiles->setEnabled(I >= 0 && I < FDiffItems.size() && FDiffItems[I].LeftIndex >= 0
                                    && FDiffItems[I].RightIndex >= 0);
    pmFolderRow->popup(grdDiff->viewport()->mapToGlobal(Pos));
}

void TfrmMain::CreateFolderRowMenu()
{
    pmFolderRow = new QMenu(this);
    pmFolderRow->setObjectName(QStringLiteral("pmFolderRow"));
    // The key is shown only: Enter on the grid opens the pair through grdDiffKeyDown.
    miCompareTheseFiles = pmFolderRow->addAction(QStringLiteral("Compare these files\tEnter"));
    miCompareTheseFiles->setObjectName(QStringLiteral("miCompareTheseFiles"));
    connect(miCompareTheseFiles, &QAction::triggered, this,
            [this] { RunCommand([this] { OpenFolderPair(grdDiff->Row()); }); });
    pmFolderRow->addSeparator();
    miSkipUnreadable = pmFolderRow->addAction(QStringLiteral("Skip Entries That Could Not Be Read"));
    miSkipUnreadable->setObjectName(QStringLiteral("miSkipUnreadable"));
    miSkipUnreadable->setCheckable(true);
    miSkipUnreadable->setStatusTip(QStringLiteral("Next and previous difference step over rows that could not be read"));
    grdDiff->viewport()->installEventFilter(new TFolderRowTips(*this, this));
    grdDiff->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grdDiff, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& Pos) { RunCommand([this, Pos] { grdDiffContextMenu(Pos); }); });
}
