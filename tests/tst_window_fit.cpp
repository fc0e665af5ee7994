// Texts that must fit where they stand: every caption of the settings dialog whatever grid font
// it shows, and the status line, which stays one line however long or broken its text is.

#include "app/SettingsDialog.h"
#include "support/app/WindowDriver.h"
#include "support/core/HttpStandIn.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QTimer>
#include <QtTest>

using quorlane::test::HttpStandIn;
using quorlane::test::TStandInAnswer;

namespace {

// The captions of Dialog that are cut: narrower or lower than they ask for, or reaching out of it.
QStringList CutCaptions(QWidget& Dialog)
{
    QStringList Cut;
    for (QWidget* Widget : Dialog.findChildren<QWidget*>()) {
        if (!Widget->isVisible())
            continue;
        QString Text;
        if (auto* Label = qobject_cast<QLabel*>(Widget))
            Text = Label->text();
        else if (auto* Button = qobject_cast<QAbstractButton*>(Widget))
            Text = Button->text();
        else if (auto* Group = qobject_cast<QGroupBox*>(Widget))
            Text = Group->title();
        if (Text.isEmpty())
            continue;
        const QSize Wanted = qobject_cast<QGroupBox*>(Widget) ? Widget->minimumSizeHint() : Widget->sizeHint();
        const QRect InDialog(Widget->mapTo(&Dialog, QPoint(0, 0)), Widget->size());
        if (Widget->width() < Wanted.width() || Widget->height() < Widget->minimumSizeHint().height()
            || !Dialog.rect().contains(InDialog))
            Cut << QStringLiteral("%1 (%2 of %3 px)").arg(Text).arg(Widget->width()).arg(Wanted.width());
    }
    return Cut;
}

}   // namespace

class TestWindowFit : public QObject
{
    Q_OBJECT

private slots:
    // Each installed face, at the smallest and the largest size the window takes, chosen
    // through "Change Font...": the dialog shows its name and size whole, and every other caption.
    void settingsDialogFitsEveryFontChoice()
    {
        TWindowDriver D;
        auto* Dialog = D.Window->findChild<TfrmSettings*>(QStringLiteral("frmSettings"));
        QVERIFY(Dialog);
        QStringList Problems;
        QTimer::singleShot(0, Dialog, [&] {
            QTRY_VERIFY(Dialog->isVisible());
            const QSize Design(608, 261);
            QVERIFY(Dialog->width() >= Design.width() && Dialog->height() >= Design.height());
            QStringList Families = QFontDatabase::families();
            Families.prepend(QStringLiteral("DejaVu Sans Mono"));
            for (const QString& Family : Families) {
                for (int Points : {8, 14, 200}) {
                    QFont Font(Family);
                    Font.setPointSize(Points);
                    D.Platform.FontAnswers.append(Font);
                    QTest::mouseClick(Dialog->findChild<QAbstractButton*>(QStringLiteral("btnChangeFont")), Qt::LeftButton);
                    QApplication::sendPostedEvents();
                    Dialog->layout()->activate();
                    const QString Shown = Dialog->findChild<QLabel*>(QStringLiteral("lblFont"))->text();
                    if (!Shown.startsWith(Family + QStringLiteral(", ")))
                        Problems << QStringLiteral("shown as %1").arg(Shown);
                    for (const QString& Cut : CutCaptions(*Dialog))
                        Problems << QStringLiteral("%1 %2 pt: %3").arg(Family).arg(Points).arg(Cut);
                }
            }
            Dialog->reject();
        });
        D.Click("btnSettings");
        QVERIFY2(Problems.isEmpty(), qPrintable(Problems.mid(0, 10).join(QStringLiteral("\n"))));
    }

    // A cancelled document comparison leaves a three-line failure text: the status line shows it
    // on one line, the whole of it in the tooltip, and the status bar keeps its height.
    void statusLineStaysOneLineAfterACancelledComparison()
    {
        HttpStandIn Server;
        Server.SetAnswer(TStandInAnswer::Silent());
        TWindowDriver D;
        D.Window->SetTikaEndpoint(Server.Url());
        auto* Bar = D.Find<QFrame>("pnlBottom");
        auto* Status = D.Find<QLabel>("lblStatus");
        QTRY_VERIFY(Bar->height() > 0);
        const int BarHeight = Bar->height();
        const QRect BarPlace = Bar->geometry();
        D.SetPaths(D.WriteBytes(QStringLiteral("left.pdf"), QByteArray("%PDF left\x00\x01", 11)),
                   D.WriteBytes(QStringLiteral("right.pdf"), QByteArray("%PDF right\x00\x02", 12)));
        connect(&Server, &HttpStandIn::requestReceived, this,
                [&] { QTimer::singleShot(50, this, [&] { QTest::keyClick(D.Window.get(), Qt::Key_Escape); }); });
        D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");
        const QString Failure = QStringLiteral("Comparison failed.\r\nLeft: Cancelled.\r\nRight: Cancelled. No comparable lines.");
        QCOMPARE(D.Status(), Failure);
        QCOMPARE(Status->toolTip(), Failure);
        QApplication::sendPostedEvents();
        D.Window->layout()->activate();
        QCOMPARE(Bar->height(), BarHeight);
        QCOMPARE(Bar->geometry(), BarPlace);
        QVERIFY2(Status->sizeHint().height() < 2 * Status->fontMetrics().height(), qPrintable(QString::number(Status->sizeHint().height())));
        // What is painted is one line: ink only within one line's band of the label.
        const QImage Image = Status->grab().toImage();
        const QColor Back = Image.pixelColor(0, 0);
        int Top = -1, Bottom = -1;
        for (int Y = 0; Y < Image.height(); ++Y)
            for (int X = 0; X < Image.width(); ++X)
                if (Image.pixelColor(X, Y) != Back) {
                    Top = Top < 0 ? Y : Top;
                    Bottom = Y;
                }
        QVERIFY(Top >= 0);
        QVERIFY2(Bottom - Top < Status->fontMetrics().height() + 2, qPrintable(QStringLiteral("%1..%2").arg(Top).arg(Bottom)));
        // Nothing compared: the grid's one empty row carries no selection frame (a solid line
        // along the row; the dotted focus rectangle of a focused grid may stay).
        TDiffGrid* Grid = D.Window->grdDiff;
        QCOMPARE(Grid->RowCount(), 2);
        const QImage Rows = Grid->viewport()->grab().toImage();
        const QRect Row = Grid->CellRect(0, 1).united(Grid->CellRect(2, 1));
        const QColor Base = Grid->palette().color(QPalette::Base);
        for (int Y = Row.top(); Y <= Row.bottom(); ++Y) {
            int Marked = 0;
            for (int X = Row.left(); X <= Row.right(); ++X)
                Marked += QColor(Rows.pixel(X, Y)) != Base;
            QVERIFY2(Marked < Row.width() * 3 / 4, qPrintable(QStringLiteral("line %1: %2 of %3").arg(Y).arg(Marked).arg(Row.width())));
        }
    }

    // A text far wider than the window is cut with an ellipsis; the window does not grow for it.
    void longStatusIsElidedNotWidened()
    {
        TWindowDriver D;
        auto* Status = D.Find<QLabel>("lblStatus");
        auto* Bar = D.Find<QFrame>("pnlBottom");
        QTRY_VERIFY(Bar->height() > 0);
        const QSize Window = D.Window->size();
        const int BarHeight = Bar->height();
        const QString Long = QStringLiteral("A long status line that goes on and on ").repeated(20) + QStringLiteral("THE END");
        D.Window->SetStatus(Long);
        QApplication::sendPostedEvents();
        QCOMPARE(D.Window->size(), Window);
        QCOMPARE(Bar->height(), BarHeight);
        QCOMPARE(D.Status(), Long);
        QCOMPARE(Status->toolTip(), Long);
        QVERIFY(D.Window->minimumSizeHint().width() < Window.width());
    }
};

QTEST_MAIN(TestWindowFit)
#include "tst_window_fit.moc"
