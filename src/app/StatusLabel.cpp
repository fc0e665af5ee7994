#include "app/StatusLabel.h"

#include <QPainter>
#include <QRegularExpression>
#include <QStyle>

TStatusLabel::TStatusLabel(QWidget* Parent) : QLabel(Parent)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A long status must not widen the window, nor a broken one make the bar taller.
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

QString TStatusLabel::OneLine(const QString& Text)
{
    static const QRegularExpression Breaks(QStringLiteral("\\s*[\\r\\n\\x{2028}\\x{2029}]+\\s*"));
    QString Line = Text;
    Line.replace(Breaks, QStringLiteral(" "));
    return Line;
}

QSize TStatusLabel::sizeHint() const
{
    const QMargins Margins = contentsMargins();
    return {fontMetrics().horizontalAdvance(OneLine(text())) + Margins.left() + Margins.right() + 2 * margin(),
            fontMetrics().height() + Margins.top() + Margins.bottom() + 2 * margin()};
}

QSize TStatusLabel::minimumSizeHint() const
{
    return {0, sizeHint().height()};
}

void TStatusLabel::paintEvent(QPaintEvent*)
{
    QPainter Painter(this);
    drawFrame(&Painter);
    const QRect Area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const QString Shown = fontMetrics().elidedText(OneLine(text()), Qt::ElideRight, Area.width());
    style()->drawItemText(&Painter, Area, int(alignment()), palette(), isEnabled(), Shown, foregroundRole());
}
