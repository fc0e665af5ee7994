#include "mergewin/MergeResultEdit.h"

#include <QAction>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QTextBlock>
#include <QToolTip>

class TMergeResultEdit::TMargin : public QWidget
{
public:
    explicit TMargin(TMergeResultEdit& Edit)
        : QWidget(&Edit)
        , FEdit(Edit)
    {
        setObjectName(QStringLiteral("pnlMergeResultMargin"));
    }

protected:
    void paintEvent(QPaintEvent* Event) override { FEdit.PaintMargin(Event); }

private:
    TMergeResultEdit& FEdit;
};

TMergeResultEdit::TMergeResultEdit(QWidget* Parent)
    : QPlainTextEdit(Parent)
    , FMargin(new TMargin(*this))
{
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setViewportMargins(MarginWidth(), 0, 0, 0);
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& Rect, int Dy) {
        if (Dy != 0)
            FMargin->scroll(0, Dy);
        else
            FMargin->update(0, Rect.y(), FMargin->width(), Rect.height());
    });
}

int TMergeResultEdit::MarginWidth() const
{
    return fontMetrics().horizontalAdvance(QLatin1Char('9')) + 8;
}

void TMergeResultEdit::UpdateMargin()
{
    FMargin->update();
}

void TMergeResultEdit::VisibleLines(int& First, int& Last) const
{
    QTextBlock Block = firstVisibleBlock();
    First = Block.isValid() ? Block.blockNumber() : 0;
    Last = First;
    const int Bottom = viewport()->height();
    for (; Block.isValid(); Block = Block.next()) {
        if (blockBoundingGeometry(Block).translated(contentOffset()).top() > Bottom)
            break;
        Last = Block.blockNumber();
    }
}

void TMergeResultEdit::PaintMargin(QPaintEvent*)
{
    QPainter Painter(FMargin);
    Painter.fillRect(FMargin->rect(), palette().color(QPalette::Window));
    if (!LineMark)
        return;
    const QPointF Offset = contentOffset();
    for (QTextBlock Block = firstVisibleBlock(); Block.isValid(); Block = Block.next()) {
        const QRectF Box = blockBoundingGeometry(Block).translated(Offset);
        if (Box.top() > FMargin->height())
            break;
        const QColor Mark = LineMark(Block.blockNumber());
        if (Mark.isValid())
            Painter.fillRect(QRectF(2, Box.top(), FMargin->width() - 4, Box.height()), Mark);
    }
}

void TMergeResultEdit::keyPressEvent(QKeyEvent* Event)
{
    if (Event->matches(QKeySequence::Undo)) {
        emit UndoRequested();
        return;
    }
    if (Event->matches(QKeySequence::Redo)
        || (Event->key() == Qt::Key_Y && Event->modifiers() == Qt::ControlModifier)) {
        emit RedoRequested();
        return;
    }
    QPlainTextEdit::keyPressEvent(Event);
}

void TMergeResultEdit::contextMenuEvent(QContextMenuEvent* Event)
{
    QMenu* Menu = createStandardContextMenu(Event->pos());
    // Undo and redo of the menu go the same way as the keys.
    for (QAction* Action : Menu->actions()) {
        if (Action->objectName() == QLatin1String("edit-undo")) {
            Action->disconnect();
            connect(Action, &QAction::triggered, this, &TMergeResultEdit::UndoRequested);
        } else if (Action->objectName() == QLatin1String("edit-redo")) {
            Action->disconnect();
            connect(Action, &QAction::triggered, this, &TMergeResultEdit::RedoRequested);
        }
    }
    Menu->exec(Event->globalPos());
    delete Menu;
}

void TMergeResultEdit::resizeEvent(QResizeEvent* Event)
{
    QPlainTextEdit::resizeEvent(Event);
    const QRect Area = contentsRect();
    FMargin->setGeometry(Area.left(), Area.top(), MarginWidth(), Area.height());
    emit Resized();
}

bool TMergeResultEdit::viewportEvent(QEvent* Event)
{
    if (Event->type() == QEvent::ToolTip && ToolTipAt) {
        auto* Help = static_cast<QHelpEvent*>(Event);
        const QString Tip = ToolTipAt(cursorForPosition(Help->pos()).position());
        if (Tip.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(Help->globalPos(), Tip, viewport());
        return true;
    }
    return QPlainTextEdit::viewportEvent(Event);
}
