#include "support/app/WindowDriver.h"
#include "support/core/HttpStandIn.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

using quorlane::test::HttpStandIn;
using quorlane::test::TRecordedRequest;
using quorlane::test::TStandInAnswer;

// Where the keys go after a comparison, and Enter in a path box, through the real window.
class TestWindowFocus : public QObject
{
    Q_OBJECT

    // A window that is active with the keys in the left path box, as after typing a path.
    static void TypeIntoLeftBox(TWindowDriver& D)
    {
        QApplication::setActiveWindow(D.Window.get());
        D.Find<QComboBox>("cmbLeft")->lineEdit()->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(D.Find<QComboBox>("cmbLeft")));
    }

    // Two files, or two folders of two files each, whose first row is equal and whose second differs.
    static void WritePair(TWindowDriver& D, const QString& Kind, QString& L, QString& R)
    {
        if (Kind == QLatin1String("folders")) {
            L = D.MakeFolder(QStringLiteral("left"));
            R = D.MakeFolder(QStringLiteral("right"));
            D.WriteLines(QStringLiteral("left/a.txt"), {"same"});
            D.WriteLines(QStringLiteral("right/a.txt"), {"same"});
            D.WriteLines(QStringLiteral("left/b.txt"), {"one"});
            D.WriteLines(QStringLiteral("right/b.txt"), {"one", "two"});
            return;
        }
        const QString Ext = Kind == QLatin1String("documents") ? QStringLiteral(".pdf") : QStringLiteral(".txt");
        L = D.WriteLines(QStringLiteral("left") + Ext, {"same", "left"});
        R = D.WriteLines(QStringLiteral("right") + Ext, {"same", "right"});
    }

    // Extracts a document's text as the bytes it was sent, so a document comparison shows its lines.
    static void EchoDocuments(HttpStandIn& Server)
    {
        Server.SetHandler([](const TRecordedRequest& Request) {
            return TStandInAnswer::Respond(200, "OK", Request.Body);
        });
    }

private slots:
    void gridHasTheKeysAfterAComparison_data()
    {
        QTest::addColumn<QString>("Kind");
        QTest::addColumn<QString>("Command");
        QTest::newRow("text, forced") << "text" << "miAsTextFiles1";
        QTest::newRow("text, automatic") << "text" << "btnCompare";
        QTest::newRow("folders, forced") << "folders" << "miAsFolders1";
        QTest::newRow("folders, automatic") << "folders" << "btnCompare";
        QTest::newRow("documents, forced") << "documents" << "miAsComplexDocumentsegPDFDOCXetcwithTIKA1";
        QTest::newRow("documents, automatic") << "documents" << "btnCompare";
    }

    // Alt+Down then goes to the next difference instead of opening the path history.
    void gridHasTheKeysAfterAComparison()
    {
        QFETCH(QString, Kind);
        QFETCH(QString, Command);
        HttpStandIn Server;
        QVERIFY(Server.IsListening());
        EchoDocuments(Server);
        TWindowDriver D;
        D.Window->SetTikaEndpoint(Server.Url());
        QString L, R;
        WritePair(D, Kind, L, R);
        D.SetPaths(L, R);
        TypeIntoLeftBox(D);

        if (Command == QLatin1String("btnCompare"))
            D.Click("btnCompare");
        else
            D.Trigger(qPrintable(Command));

        TfrmMain& W = *D.Window;
        QVERIFY2(W.FDiffItems.size() >= 2, qPrintable(D.Platform.Log().join(u'\n')));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(W.grdDiff));
        QCOMPARE(W.grdDiff->Row(), 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down, Qt::AltModifier);
        QCOMPARE(W.grdDiff->Row(), 2);
        QVERIFY(!D.Find<QComboBox>("cmbLeft")->view()->isVisible());
    }

    void identicalFilesStillGiveTheGridTheKeys()
    {
        TWindowDriver D;
        const QString L = D.WriteLines(QStringLiteral("a.txt"), {"same"});
        const QString R = D.WriteLines(QStringLiteral("b.txt"), {"same"});
        D.SetPaths(L, R);
        TypeIntoLeftBox(D);
        D.Click("btnCompare");
        QCOMPARE(D.Platform.Texts().first(), QStringLiteral("The files are identical."));
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(D.Window->grdDiff));
    }

    void noRowsLeaveTheKeysInThePathBox_data()
    {
        QTest::addColumn<QString>("Case");
        QTest::newRow("document extraction failed") << "failed";
        QTest::newRow("a file that does not exist") << "missing";
        QTest::newRow("two empty files") << "empty";
    }

    // Nothing to step through: the user's next step is to correct a path.
    void noRowsLeaveTheKeysInThePathBox()
    {
        QFETCH(QString, Case);
        HttpStandIn Server;
        QVERIFY(Server.IsListening());
        Server.SetHandler([](const TRecordedRequest&) { return TStandInAnswer::Respond(500, "Server Error", ""); });
        TWindowDriver D;
        D.Window->SetTikaEndpoint(Server.Url());
        QString L, R;
        if (Case == QLatin1String("failed")) {
            WritePair(D, QStringLiteral("documents"), L, R);
        } else if (Case == QLatin1String("missing")) {
            L = D.WriteLines(QStringLiteral("a.txt"), {"a"});
            R = D.PathOf(QStringLiteral("nowhere.txt"));
        } else {
            L = D.WriteBytes(QStringLiteral("a.txt"), QByteArray());
            R = D.WriteBytes(QStringLiteral("b.txt"), QByteArray());
        }
        D.SetPaths(L, R);
        TypeIntoLeftBox(D);
        D.Click("btnCompare");
        QVERIFY(D.Window->FDiffItems.isEmpty());
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(D.Find<QComboBox>("cmbLeft")));
    }

    void enterInAPathBoxCompares_data()
    {
        QTest::addColumn<QString>("Box");
        QTest::addColumn<QString>("Kind");
        QTest::newRow("left box, files") << "cmbLeft" << "text";
        QTest::newRow("right box, files") << "cmbRight" << "text";
        QTest::newRow("right box, folders") << "cmbRight" << "folders";
    }

    // Exactly what the Compare button does: one comparison, the paths moved to the top of the
    // histories, and the keys in the grid.
    void enterInAPathBoxCompares()
    {
        QFETCH(QString, Box);
        QFETCH(QString, Kind);
        TWindowDriver D;
        QString L, R;
        WritePair(D, Kind, L, R);
        D.SetPaths(L, R);
        QApplication::setActiveWindow(D.Window.get());
        QComboBox* PathBox = D.Find<QComboBox>(qPrintable(Box));
        PathBox->lineEdit()->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(PathBox));

        // To the focus widget, as the keyboard sends it (the box stands in for its line edit).
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);

        TfrmMain& W = *D.Window;
        QVERIFY2(W.FDiffItems.size() >= 2, qPrintable(D.Platform.Log().join(u'\n')));
        QCOMPARE(W.FFolderMode, Kind == QLatin1String("folders"));
        QCOMPARE(D.History("cmbLeft"), QStringList{L});
        QCOMPARE(D.History("cmbRight"), QStringList{R});
        // One comparison: a text comparison shows its summary box once, a folder comparison none.
        QCOMPARE(D.Platform.Messages.size(), Kind == QLatin1String("folders") ? 0 : 1);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(W.grdDiff));
    }

    // Enter with the unsaved-changes question answered Cancel changes nothing, like the button.
    void enterAsksBeforeDiscardingChanges()
    {
        TWindowDriver D;
        D.CompareLines({"a"}, {"b"});
        D.Window->UnsavedChanges = true;
        const TDiffItems Before = D.Window->FDiffItems;
        QString L, R;
        WritePair(D, QStringLiteral("text"), L, R);
        D.SetPaths(L, R);
        TypeIntoLeftBox(D);
        D.Platform.ConfirmAnswers = {false};
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter);
        QCOMPARE(D.Platform.Log(),
                 QStringList{"confirmation: Load and compare the specified files?\r\nCurrent changes will be lost."});
        QCOMPARE(D.Window->FDiffItems.size(), Before.size());
        QVERIFY(D.Window->UnsavedChanges);
    }
};

QTEST_MAIN(TestWindowFocus)
#include "tst_window_focus.moc"
