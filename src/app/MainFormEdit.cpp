// In-cell editing.

#include "app/ComparisonSummary.h"
#include "app/MainForm.h"
#include "grid/GdiText.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScopeGuard>
#include <QTextDocument>
#include <QTimer>
#include <QToolButton>

#include <functional>

namespace {

// The editor over a cell: plain text, no frame, no scroll bars, words wrap, Tab is text.
// Its key-down and focus-loss notifications go to the window.
class TCellEditor final : public QPlainTextEdit
{
public:
    explicit TCellEditor(QWidget* Parent)
        : QPlainTextEdit(Parent)
    {
        setObjectName(QStringLiteral("FCellEditor"));
        setFrameShape(QFrame::NoFrame);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setLineWrapMode(QPlainTextEdit::WidgetWidth);
        setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        setTabChangesFocus(false);
        setContentsMargins(0, 0, 0, 0);
        setViewportMargins(0, 0, 0, 0);
        document()->setDocumentMargin(0);   // the text starts where the cell draws it
        setBackgroundVisible(false);
        setAutoFillBackground(true);
        setBackgroundRole(QPalette::Base);   // clWindow
        setAccessibleName(QStringLiteral("Cell editor"));
        hide();
    }

    std::function<void(QKeyEvent*)> OnKeyDown;
    std::function<void()> OnExit;

protected:
    void keyPressEvent(QKeyEvent* Event) override
    {
        // Qt delivers key events accepted; the handler accepts what it consumes.
        Event->ignore();
        if (OnKeyDown)
            OnKeyDown(Event);
        if (!Event->isAccepted())
            QPlainTextEdit::keyPressEvent(Event);
    }

    void focusOutEvent(QFocusEvent* Event) override
    {
        QPlainTextEdit::focusOutEvent(Event);
        // The editor's own context menu, and switching to another program, do not leave the cell.
        if (Event->reason() == Qt::PopupFocusReason)
            return;
        if (Event->reason() == Qt::ActiveWindowFocusReason && !QApplication::activeWindow())
            return;
        if (OnExit)
            OnExit();
    }
};

// Keeps an open editor over its cell: whatever moved the rows (scrolling, new heights, a
// recompute's new rows) repaints the grid, and the editor follows once the paint is done.
class TCellEditorFollower final : public QObject
{
public:
    TCellEditorFollower(QObject* Parent, std::function<void()> Follow)
        : QObject(Parent)
        , Follow(std::move(Follow))
    {
    }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        if ((Event->type() == QEvent::Paint || Event->type() == QEvent::Resize) && !Pending) {
            Pending = true;
            QTimer::singleShot(0, this, [this] {
                Pending = false;
                Follow();
            });
        }
        return QObject::eventFilter(Watched, Event);
    }

private:
    std::function<void()> Follow;
    bool Pending = false;
};

// One line from whatever the editor holds: line breaks go, nothing takes their place.
[[nodiscard]] QString EditorLine(const QPlainTextEdit& Editor)
{
    // The raw text keeps no-break spaces as they are; paragraph breaks (typed or pasted) go.
    QString Text = Editor.document()->toRawText();
    Text.remove(QChar(QChar::ParagraphSeparator));
    Text.remove(QStringLiteral("\r\n"));
    Text.remove(QLatin1Char('\r'));
    Text.remove(QLatin1Char('\n'));
    return Text;
}

}   // namespace

void TfrmMain::CreateCellEditor()
{
    if (!FCellEditor) {
        auto* Editor = new TCellEditor(grdDiff->viewport());
        Editor->OnKeyDown = [this](QKeyEvent* Event) { CellEditorKeyDown(Event); };
        Editor->OnExit = [this] { RunCommand([this] { CellEditorExit(); }); };
        FCellEditor = Editor;
        connect(Editor, &QPlainTextEdit::textChanged, this, [this] {
            if (!FCellEditor->isHidden() && FEditingRow >= 0)
                PositionCellEditor(FEditingCol, FEditingRow);
        });
        grdDiff->viewport()->installEventFilter(new TCellEditorFollower(FCellEditor, [this] {
            if (FCellEditor->isHidden() || FEditingRow < 0)
                return;
            FollowEditedLine();
            PositionCellEditor(FEditingCol, FEditingRow);
        }));
    }
    FEditingRow = -1;
    FEditingCol = -1;
    FEditingLineIndex = -1;
    FInCellEditCommit = false;
}

bool TfrmMain::GetEditLineIndex(int ACol, int ARow, std::int32_t& LineIndex) const
{
    LineIndex = -1;
    if (!SidesWritable() || ARow < 1 || ARow > FDiffItems.size() || (ACol != 1 && ACol != 2))
        return false;
    EnsureFilesLoaded();
    const TDiffItem& Item = FDiffItems[ARow - 1];
    const std::int32_t Index = ACol == 1 ? Item.LeftIndex : Item.RightIndex;
    // Items may name lines of lists that have changed since they were computed.
    if (Index < 0 || Index >= (ACol == 1 ? FLeftLines : FRightLines).size())
        return false;
    LineIndex = Index;
    return true;
}

void TfrmMain::PositionCellEditor(int ACol, int ARow)
{
    if (!FCellEditor)
        return;
    const QRect Cell = grdDiff->CellRect(ACol, ARow);
    if (Cell.isEmpty()) {
        // Scrolled out of view: the edit stays open (and focused) out of sight.
        FCellEditor->move(-FCellEditor->width() - 100, -FCellEditor->height() - 100);
        return;
    }
    QRect Bounds = Cell.adjusted(2, 1, -2, -1);
    // A row scrolled partly above the body: the editor stays below the header band.
    Bounds.setTop(std::max(Bounds.top(), grdDiff->RowHeights(0) + 1));
    if (FCellEditor->width() != Bounds.width())
        FCellEditor->resize(Bounds.width(), FCellEditor->height());   // the text wraps at the cell's width
    // Text beyond what the cell shows wraps onto more lines: the editor grows downwards (over
    // the rows below, up to the grid's bottom) so that all of it stays in sight.
    const QFontMetrics Metrics(FCellEditor->font());
    const int Lines = std::max(1, int(FCellEditor->document()->size().height()));   // lines, not pixels
    const int Needed = Lines * Metrics.lineSpacing() + 2;
    const int Room = std::max(Bounds.height(), grdDiff->viewport()->height() - Bounds.top());
    if (Needed > Bounds.height())
        Bounds.setHeight(std::min(Needed, Room));
    if (FCellEditor->geometry() != Bounds)
        FCellEditor->setGeometry(Bounds);
}

void TfrmMain::BeginCellEdit(int ACol, int ARow)
{
    if (!FCellEditor)
        CreateCellEditor();
    std::int32_t LineIndex = -1;
    // While merged lines wait for their rows, a row names a line by a position that no longer
    // holds: the editor would show and overwrite another line.
    if (!GetEditLineIndex(ACol, ARow, LineIndex) || !RowsFollowLines()) {
        Platform.Beep();
        return;
    }
    if (!FCellEditor->isHidden() && !FInCellEditCommit) {
        EndCellEdit(true);
        // Writing back changes no line positions; read the cell again all the same.
        if (!GetEditLineIndex(ACol, ARow, LineIndex)) {
            Platform.Beep();
            return;
        }
    }
    FEditingCol = ACol;
    FEditingRow = ARow;
    FEditingLineIndex = LineIndex;
    FEditingJobId = FDiffRecomputeJobId;

    const QString Text = (ACol == 1 ? FLeftLines : FRightLines)[LineIndex];
    FCellEditor->setFont(grdDiff->font());
    // The grid's tab stops, so the line keeps its alignment while it is edited.
    FCellEditor->setTabStopDistance(TTextMeasure(grdDiff->font(), grdDiff).TabStop());
    FCellEditor->setPlainText(Text);
    PositionCellEditor(ACol, ARow);
    FCellEditor->setReadOnly(false);
    FCellEditor->show();
    PositionCellEditor(ACol, ARow);   // a hidden editor lays its text out only once shown
    FCellEditor->raise();
    FCellEditor->setFocus(Qt::OtherFocusReason);
    FCellEditor->selectAll();
}

void TfrmMain::FollowEditedLine()
{
    if (FEditingRow < 0 || FEditingLineIndex < 0)
        return;
    const std::int32_t TDiffItem::*IndexOf = FEditingCol == 1 ? &TDiffItem::LeftIndex : &TDiffItem::RightIndex;
    if (FEditingRow <= FDiffItems.size() && FDiffItems[FEditingRow - 1].*IndexOf == FEditingLineIndex)
        return;
    // New rows arrived while the edit was open: the line may stand in another row now.
    for (qsizetype I = 0; I < FDiffItems.size(); ++I) {
        if (FDiffItems[I].*IndexOf == FEditingLineIndex) {
            FEditingRow = std::int32_t(I + 1);
            return;
        }
    }
}

void TfrmMain::EndCellEdit(bool Accept)
{
    if (!FCellEditor || FCellEditor->isHidden())
        return;
    if (Accept && !FInCellEditCommit) {
        FInCellEditCommit = true;
        const auto ClearGuard = qScopeGuard([this] { FInCellEditCommit = false; });
        FollowEditedLine();
        std::int32_t RowLine = -1;
        QStringList& Lines = FEditingCol == 1 ? FLeftLines : FRightLines;
        // A comparison started since the edit began has replaced the lines: the edit belongs to
        // text that is gone and is not written into the new one.
        // (Hand-backs keep the request number; only new requests and new comparisons move it,
        // and the window's own line commands write an open edit back before they run.)
        const bool SameLines = FEditingJobId == FDiffRecomputeJobId;
        const QString NewText = EditorLine(*FCellEditor);
        // An edit that leaves the line as it was changes nothing: no undo step, nothing unsaved.
        if (SameLines && GetEditLineIndex(FEditingCol, FEditingRow, RowLine) && FEditingLineIndex < Lines.size()
            && Lines[FEditingLineIndex] != NewText) {
            MarkSideChanged(FEditingCol == 1 ? FLeft : FRight);
            PushUndoState();
            btnUndo->setEnabled(true);
            Lines[FEditingLineIndex] = NewText;
            if (RowLine == FEditingLineIndex) {
                grdDiff->SetCells(FEditingCol, FEditingRow, NewText);
                UpdateRowHeight(FEditingRow);
                InvalidateGridRow(FEditingRow);
            }
            ChangeLinesAndRecompute(false);
            ShowComparisonSummary(LineCountPrefix(FLeftLines.size(), FRightLines.size()), false);
            grdDiff->SetRow(std::clamp(FEditingRow, 1, std::max(1, grdDiff->RowCount() - 1)));
        }
    }
    FEditingCol = -1;
    FEditingRow = -1;
    FEditingLineIndex = -1;
    grdDiff->setFocus(Qt::OtherFocusReason);
    FCellEditor->hide();
}

void TfrmMain::CommitOpenCellEdit()
{
    if (FCellEditor && !FCellEditor->isHidden() && !FInCellEditCommit)
        EndCellEdit(true);
}

void TfrmMain::CellEditorKeyDown(QKeyEvent* Event)
{
    switch (Event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Event->accept();
        RunCommand([this] { EndCellEdit(true); });
        break;
    case Qt::Key_Escape:
        Event->accept();
        RunCommand([this] { EndCellEdit(false); });
        break;
    default:
        break;
    }
}

void TfrmMain::CellEditorExit()
{
    if (FCellEditor && !FCellEditor->isHidden() && FEditingRow >= 0 && !FInCellEditCommit)
        EndCellEdit(true);
}

void TfrmMain::grdDiffDblClick()
{
    // A folder row opens its pair, as Enter does (a file on one side only beeps).
    if (FFolderMode) {
        OpenFolderPair(grdDiff->Row());
        return;
    }
    int Col = grdDiff->Col();
    const int Row = grdDiff->Row();
    if (FLastMouseRow == Row && (FLastMouseCol == 1 || FLastMouseCol == 2))
        Col = FLastMouseCol;
    BeginCellEdit(Col, Row);
}

void TfrmMain::grdDiffKeyDown(QKeyEvent* Event)
{
    if (Event->key() == Qt::Key_F2) {
        Event->accept();
        BeginCellEdit(grdDiff->Col(), grdDiff->Row());
    } else if (Event->key() == Qt::Key_C && Event->modifiers().testFlag(Qt::ControlModifier)) {
        Event->accept();
        const int Row = grdDiff->Row();
        const int Col = grdDiff->Col();
        if (Row > 0 && (Col == 1 || Col == 2))
            Platform.SetClipboardText(grdDiff->Cells(Col, Row));
    } else if (Event->key() == Qt::Key_Escape && FCellEditor && !FCellEditor->isHidden()) {
        Event->accept();
        EndCellEdit(false);
    } else if (FFolderMode && (Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter)) {
        Event->accept();
        OpenFolderPair(grdDiff->Row());
    }
}
