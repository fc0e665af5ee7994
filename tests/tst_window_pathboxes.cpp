// The path boxes as a user types into them and browses for them: the history is offered in a
// popup and never filled in, so what was typed is what is compared; "..." chooses a file or a
// folder.

#include "support/app/WindowDriver.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QFileDialog>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class TestWindowPathBoxes : public QObject
{
    Q_OBJECT

    // Folders A and A/deeper with a file each, and both files already compared once, so the
    // history holds the two file paths.
    static void CompareFilesFirst(TWindowDriver& D)
    {
        D.MakeFolder(QStringLiteral("left/deeper"));
        D.MakeFolder(QStringLiteral("right/deeper"));
        D.WriteLines(QStringLiteral("left/deeper/file.h"), {"a", "b"});
        D.WriteLines(QStringLiteral("right/deeper/file.h"), {"a", "c"});
        D.SetPaths(D.PathOf(QStringLiteral("left/deeper/file.h")), D.PathOf(QStringLiteral("right/deeper/file.h")));
        D.Click("btnCompare");
        QVERIFY(!D.Window->FFolderMode);
        D.Platform.Clear();
    }

    static QStringList Offered(QComboBox& Box)
    {
        QStringList Entries;
        QCompleter* Offer = Box.completer();
        for (int Row = 0; Offer && Row < Offer->completionCount(); ++Row) {
            Offer->setCurrentRow(Row);
            Entries.append(Offer->currentCompletion());
        }
        return Entries;
    }

private slots:
    // Typing the start of a remembered path leaves the typed text alone, in the box and in the
    // comparison, whatever its letter case.
    void typedTextIsWhatIsCompared_data()
    {
        QTest::addColumn<QString>("Typed");          // relative to the test folder, typed after it
        QTest::addColumn<bool>("Offers");            // the remembered file is offered
        QTest::newRow("the folder of a remembered file") << "left/deeper" << true;
        QTest::newRow("a shorter folder") << "left" << true;
        QTest::newRow("other letter case: nothing swapped in") << "LEFT" << false;
    }

    void typedTextIsWhatIsCompared()
    {
        QFETCH(QString, Typed);
        QFETCH(bool, Offers);
        TWindowDriver D;
        CompareFilesFirst(D);
        auto* Left = D.Find<QComboBox>("cmbLeft");
        auto* Right = D.Find<QComboBox>("cmbRight");
        const QString Remembered = D.PathOf(QStringLiteral("left/deeper/file.h"));
        QCOMPARE(D.History("cmbLeft").value(0), Remembered);

        D.MakeFolder(QStringLiteral("LEFT"));
        Right->setEditText(D.PathOf(QStringLiteral("right/deeper")));
        Left->setEditText(QString());
        Left->lineEdit()->setFocus();
        QTest::keyClicks(Left->lineEdit(), D.PathOf(Typed));

        QCOMPARE(Left->currentText(), D.PathOf(Typed));
        QCOMPARE(Left->lineEdit()->selectedText(), QString());   // nothing filled in after the cursor
        if (Offers) {
            QTRY_VERIFY(Left->completer()->popup()->isVisible());
            QCOMPARE(Offered(*Left), QStringList{Remembered});
        }

        // Enter compares what stands in the boxes: two folders, not the remembered files.
        QTest::keyClick(Left->lineEdit(), Qt::Key_Return);
        QVERIFY(!Left->completer()->popup()->isVisible());
        QCOMPARE(Left->currentText(), D.PathOf(Typed));
        QVERIFY2(D.Window->FFolderMode, qPrintable(D.Platform.Log().join(u'\n')));
        QCOMPARE(D.History("cmbLeft").value(0), D.PathOf(Typed));
    }

    // An entry picked from the popup is what is then compared.
    void pickingAnOfferedEntry()
    {
        TWindowDriver D;
        CompareFilesFirst(D);
        auto* Left = D.Find<QComboBox>("cmbLeft");
        Left->setEditText(QString());
        Left->lineEdit()->setFocus();
        QTest::keyClicks(Left->lineEdit(), D.PathOf(QStringLiteral("left/de")));
        QTRY_VERIFY(Left->completer()->popup()->isVisible());
        QTest::keyClick(Left->completer()->popup(), Qt::Key_Down);
        QCOMPARE(Left->currentText(), D.PathOf(QStringLiteral("left/deeper/file.h")));
        QTest::keyClick(Left->completer()->popup(), Qt::Key_Return);
        QTRY_VERIFY(!Left->completer()->popup()->isVisible());
        QCOMPARE(Left->currentText(), D.PathOf(QStringLiteral("left/deeper/file.h")));
        QVERIFY(!D.Window->FFolderMode);
        QCOMPARE(D.Window->FLeftLines, (QStringList{"a", "b"}));
    }

    // "..." offers a file or a folder for its side; each goes into the box and is remembered as
    // where that side's dialog starts next time.
    void browseForAFileOrAFolder_data()
    {
        QTest::addColumn<QString>("Side");
        QTest::addColumn<QString>("Kind");
        QTest::addColumn<QString>("Typed");   // what the box holds before
        QTest::addColumn<QString>("Start");   // where the dialog opens
        QTest::addColumn<QString>("Chosen");
        QTest::addColumn<QString>("Remembered");
        QTest::newRow("left file, typed folder") << "Left" << "File" << "sub" << "sub" << "sub/picked.txt" << "sub";
        QTest::newRow("left folder, typed file") << "Left" << "Folder" << "sub/picked.txt" << "sub" << "sub" << "sub";
        QTest::newRow("right folder, nothing typed") << "Right" << "Folder" << "" << "<remembered>" << "sub/inner"
                                                     << "sub/inner";
        QTest::newRow("right file, missing folder typed") << "Right" << "File" << "gone/x.txt" << "<remembered>"
                                                          << "sub/picked.txt" << "sub";
    }

    void browseForAFileOrAFolder()
    {
        QFETCH(QString, Side);
        QFETCH(QString, Kind);
        QFETCH(QString, Typed);
        QFETCH(QString, Start);
        QFETCH(QString, Chosen);
        QFETCH(QString, Remembered);
        TWindowDriver D;
        TfrmMain& W = *D.Window;
        D.MakeFolder(QStringLiteral("sub/inner"));
        D.WriteLines(QStringLiteral("sub/picked.txt"), {"p"});
        const bool IsLeft = Side == QLatin1String("Left");
        TFileDialogState& Dialog = IsLeft ? W.dlgOpen1 : W.dlgopen2;
        Dialog.InitialDir = D.PathOf(QStringLiteral("remembered"));
        D.MakeFolder(QStringLiteral("remembered"));
        auto* Box = D.Find<QComboBox>(IsLeft ? "cmbLeft" : "cmbRight");
        Box->setEditText(Typed.isEmpty() ? QString() : D.PathOf(Typed));
        (Kind == QLatin1String("File") ? D.Platform.OpenFileAnswers : D.Platform.FolderAnswers) = {D.PathOf(Chosen)};

        // The button opens its menu below it; the menu's item runs the chooser.
        auto* Button = D.Find<QPushButton>(IsLeft ? "btnBrowseLeft" : "btnBrowseRight");
        QTest::mouseClick(Button, Qt::LeftButton);
        auto* Menu = D.Find<QMenu>(IsLeft ? "pmBrowseLeft" : "pmBrowseRight");
        QVERIFY(Menu);
        QTRY_VERIFY(Menu->isVisible());
        QCOMPARE(Menu->actions().size(), 2);
        QCOMPARE(Menu->actions()[0]->text(), QStringLiteral("&File…"));
        QCOMPARE(Menu->actions()[1]->text(), QStringLiteral("F&older…"));
        Menu->hide();
        D.Trigger(QStringLiteral("miBrowse%1%2").arg(Side, Kind).toLatin1().constData());

        const QString Expected = Start == QLatin1String("<remembered>") ? D.PathOf(QStringLiteral("remembered")) : D.PathOf(Start);
        const QString DialogName = IsLeft ? QStringLiteral("dlgOpen1") : QStringLiteral("dlgopen2");
        if (Kind == QLatin1String("File")) {
            QCOMPARE(D.Platform.OpenFileStartDirs, QStringList{Expected});
            QCOMPARE(D.Platform.OpenFileDialogNames, QStringList{DialogName});
            QVERIFY(D.Platform.FolderStartDirs.isEmpty());
        } else {
            QCOMPARE(D.Platform.FolderStartDirs, QStringList{Expected});
            QCOMPARE(D.Platform.FolderDialogNames, QStringList{DialogName});
            QVERIFY(D.Platform.OpenFileStartDirs.isEmpty());
        }
        QCOMPARE(Box->currentText(), D.PathOf(Chosen));
        QCOMPARE(Dialog.InitialDir, D.PathOf(Remembered));
        QVERIFY(D.Platform.Messages.isEmpty());
        QVERIFY(W.GettingStartedShown());   // nothing is compared
    }

    void cancelledBrowseChangesNothing()
    {
        TWindowDriver D;
        D.SetPaths(QStringLiteral("typed"), QString());
        D.Window->dlgOpen1.InitialDir = QStringLiteral("/kept");
        D.Trigger("miBrowseLeftFolder");
        QCOMPARE(D.Platform.FolderStartDirs, QStringList{"/kept"});
        QCOMPARE(D.Find<QComboBox>("cmbLeft")->currentText(), QStringLiteral("typed"));
        QCOMPARE(D.Window->dlgOpen1.InitialDir, QStringLiteral("/kept"));
    }

    // The real chooser: a folder dialog under the side's name, which a driver finds and which
    // offers folders only.
    void realFolderDialog()
    {
        QTemporaryDir Folder;
        QString Found;
        QFileDialog::FileMode Mode = QFileDialog::AnyFile;
        QTimer::singleShot(0, [&] {
            for (QWidget* Top : QApplication::topLevelWidgets())
                if (auto* Dialog = qobject_cast<QFileDialog*>(Top); Dialog && Dialog->isVisible()) {
                    Found = Dialog->objectName();
                    Mode = Dialog->fileMode();
                    Dialog->reject();
                }
        });
        QCOMPARE(RealPlatform().ChooseFolder(nullptr, Folder.path(), QStringLiteral("dlgopen2")), QString());
        QCOMPARE(Found, QStringLiteral("dlgopen2"));
        QCOMPARE(Mode, QFileDialog::Directory);
    }
};

QTEST_MAIN(TestWindowPathBoxes)
#include "tst_window_pathboxes.moc"
