#pragma once

#include <QLabel>

// The status line: always one line, whatever its text holds. Line breaks show as blanks and a
// text wider than the label is cut with an ellipsis; text() and the tooltip keep it whole.
class TStatusLabel final : public QLabel
{
public:
    explicit TStatusLabel(QWidget* Parent = nullptr);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

    // The text as the line shows it, before the ellipsis: line breaks become blanks.
    [[nodiscard]] static QString OneLine(const QString& Text);

protected:
    void paintEvent(QPaintEvent* Event) override;
};
