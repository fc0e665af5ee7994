#include "app/UnsavedMarker.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>

namespace {

const QString MarkerName = QStringLiteral("UnsavedMarker");

QIcon DotIcon()
{
    QPixmap Dot(32, 32);
    Dot.fill(Qt::transparent);
    QPainter Painter(&Dot);
    Painter.setRenderHint(QPainter::Antialiasing);
    Painter.setPen(Qt::NoPen);
    Painter.setBrush(QColor(0xE0, 0x6C, 0x00));   // stands out on light and dark themes alike
    Painter.drawEllipse(QRectF(5, 5, 22, 22));
    return QIcon(Dot);
}

}   // namespace

QAction* UnsavedMarkerOf(const QComboBox& Box)
{
    return Box.lineEdit() ? Box.lineEdit()->findChild<QAction*>(MarkerName) : nullptr;
}

void ShowUnsavedMarker(QComboBox& Box, bool Unsaved, const QString& FileName)
{
    QLineEdit* Edit = Box.lineEdit();
    if (!Edit)
        return;
    QAction* Marker = UnsavedMarkerOf(Box);
    if (!Marker && Unsaved) {
        Marker = new QAction(DotIcon(), QStringLiteral("Unsaved changes"), Edit);
        Marker->setObjectName(MarkerName);
        Marker->setToolTip(QStringLiteral("Unsaved changes"));
        Edit->addAction(Marker, QLineEdit::LeadingPosition);
    }
    if (Marker)
        Marker->setVisible(Unsaved);
    const QString Shown = QDir::toNativeSeparators(FileName);
    const QString Tip = Unsaved ? (Shown.isEmpty() ? QStringLiteral("(modified)") : Shown + QStringLiteral(" (modified)"))
                                : Shown;
    if (Box.toolTip() != Tip)
        Box.setToolTip(Tip);
}
