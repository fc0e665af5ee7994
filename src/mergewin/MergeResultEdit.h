#pragma once
// The merge result editor: a plain-text editor whose undo and redo go through the window (which
// puts back what it knows about the chunks with the text), with a margin that marks each line's
// chunk so that conflicts and chunks resolved by a rule stand out from ordinary text.

#include <QColor>
#include <QPlainTextEdit>

#include <functional>

class TMergeResultEdit : public QPlainTextEdit
{
    Q_OBJECT
public:
    explicit TMergeResultEdit(QWidget* Parent = nullptr);

    // The margin's colour for a line (block number); invalid for none.
    std::function<QColor(int Block)> LineMark;
    // The tooltip for a character position of the text; empty for none.
    std::function<QString(int Position)> ToolTipAt;

    [[nodiscard]] int MarginWidth() const;
    void UpdateMargin();   // after the marks changed
    // The first and last line shown.
    void VisibleLines(int& First, int& Last) const;

signals:
    void UndoRequested();
    void RedoRequested();
    void Resized();   // other lines may be shown now

protected:
    void keyPressEvent(QKeyEvent* Event) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    bool viewportEvent(QEvent* Event) override;

private:
    class TMargin;
    TMargin* FMargin = nullptr;
    void PaintMargin(QPaintEvent* Event);
};
