#include "support/app/WindowDriver.h"
#include "support/core/HttpStandIn.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QtTest>

using quorlane::test::HttpStandIn;
using quorlane::test::TRecordedRequest;
using quorlane::test::TStandInAnswer;

// What Save, merges and edits do after a document comparison: the document itself is never
// written with extracted text by accident, and a failed comparison leaves nothing to write.
class TestWindowDocumentSave : public QObject
{
    Q_OBJECT

    static QByteArray ReadAll(const QString& Path)
    {
        QFile File(Path);
        return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray("<missing>");
    }

    static QByteArray LeftPdf() { return QByteArray("%PDF-1.4 left\x00\x01 document", 24); }
    static QByteArray RightPdf() { return QByteArray("%PDF-1.4 right\x00\x02 document", 25); }

    // A stand-in that extracts "left text" / "right text", or fails the right document.
    static void Serve(HttpStandIn& Server, bool RightFails)
    {
        Server.SetHandler([RightFails](const TRecordedRequest& Request) {
            if (Request.Body == LeftPdf())
                return TStandInAnswer::Respond(200, "OK", "left text\nshared\n");
            if (RightFails)
                return TStandInAnswer::Respond(500, "Server Error", QByteArray());
            return TStandInAnswer::Respond(200, "OK", "right text\nshared\n");
        });
    }

    // report.pdf and other.pdf compared as documents.
    static void CompareDocuments(TWindowDriver& D, HttpStandIn& Server, QString& L, QString& R)
    {
        D.Window->SetTikaEndpoint(Server.Url(), 1500);
        L = D.WriteBytes(QStringLiteral("report.pdf"), LeftPdf());
        R = D.WriteBytes(QStringLiteral("other.pdf"), RightPdf());
        D.SetPaths(L, R);
        D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");
        D.Platform.Clear();
    }

private slots:
    // After a failed comparison, one side may hold text and the other nothing: no command may
    // put either into a file, least of all over the document.
    void aFailedComparisonLeavesNothingToWrite()
    {
        HttpStandIn Server;
        Serve(Server, true);
        TWindowDriver D;
        QString L, R;
        CompareDocuments(D, Server, L, R);
        QCOMPARE(D.Window->FLeftLines, (QStringList{"left text", "shared"}));   // the side that worked

        D.Platform.SaveFileAnswers = {L, R};
        D.Platform.ConfirmAnswers = {true, true, true};
        for (const char* Merge : {"btnAllLeftDiffsToRight", "btnAllRightDiffsToLeft", "btnLeftToRight", "btnRightToLeft"})
            D.Click(Merge);
        QCOMPARE(D.Platform.Beeps, 4);
        D.Window->BeginCellEdit(1, 1);
        QCOMPARE(D.Platform.Beeps, 5);
        QVERIFY(D.Find<QPlainTextEdit>("FCellEditor") == nullptr || D.Find<QPlainTextEdit>("FCellEditor")->isHidden());
        D.Click("btnSaveLeft");
        D.Click("btnSaveRight");
        const QString Refusal = QStringLiteral("information: Save is not available: the last comparison failed.");
        QCOMPARE(D.Platform.Log(), (QStringList{Refusal, Refusal}));
        QVERIFY(D.Platform.SaveFileSuggestions.isEmpty());   // no dialog was even offered
        QCOMPARE(ReadAll(L), LeftPdf());
        QCOMPARE(ReadAll(R), RightPdf());
        QVERIFY(D.Window->FRightLines.isEmpty());
        QVERIFY(!UnsavedChanges);

        // A comparison that succeeds makes the sides writable again.
        Serve(Server, false);
        D.Trigger("miAsComplexDocumentsegPDFDOCXetcwithTIKA1");
        D.Platform.Clear();
        const QString Out = D.PathOf(QStringLiteral("saved.txt"));
        D.Platform.SaveFileAnswers = {Out};
        D.Click("btnSaveLeft");
        QCOMPARE(D.Platform.Log(), QStringList());
        QCOMPARE(ReadAll(Out), QByteArray("\xEF\xBB\xBF" "left text\nshared\n"));
    }

    // Save proposes a text file beside the document; choosing a document anyway asks once more,
    // naming it, and Cancel (the default) leaves it whole.
    void saveProposesATextFileBesideTheDocument_data()
    {
        QTest::addColumn<QString>("Chosen");      // the name picked in the dialog
        QTest::addColumn<bool>("Overwrite");      // the answer to the second question, if asked
        QTest::addColumn<QStringList>("Log");
        QTest::addColumn<bool>("Written");

        const QString Question = QStringLiteral("risky confirmation: report.pdf is a PDF/Office document; saving "
                                                "writes plain text over it. [Overwrite]");
        QTest::newRow("the proposed text file") << "report.pdf.txt" << false << QStringList() << true;
        QTest::newRow("the document itself, cancelled") << "report.pdf" << false << QStringList{Question} << false;
        QTest::newRow("the document itself, confirmed") << "report.pdf" << true << QStringList{Question} << true;
        QTest::newRow("a new file with a document's name is not asked about")
            << "new.docx" << false << QStringList() << true;
    }

    void saveProposesATextFileBesideTheDocument()
    {
        QFETCH(QString, Chosen);
        QFETCH(bool, Overwrite);
        QFETCH(QStringList, Log);
        QFETCH(bool, Written);
        HttpStandIn Server;
        Serve(Server, false);
        TWindowDriver D;
        QString L, R;
        CompareDocuments(D, Server, L, R);

        const QString Target = D.PathOf(Chosen);
        D.Platform.SaveFileAnswers = {Target};
        D.Platform.ConfirmAnswers = {Overwrite};
        D.Click("btnSaveLeft");
        QCOMPARE(D.Platform.SaveFileSuggestions, QStringList{"report.pdf.txt"});
        QCOMPARE(D.Platform.SaveFileStartDirs, QStringList{D.Files.path()});
        QCOMPARE(D.Platform.Log(), Log);
        const QByteArray Text("\xEF\xBB\xBF" "left text\nshared\n");
        if (Written) {
            QCOMPARE(ReadAll(Target), Text);
            QCOMPARE(D.Status(), QStringLiteral("Left file saved as UTF-8 with BOM."));
        } else {
            QCOMPARE(ReadAll(Target), LeftPdf());
        }
        QCOMPARE(ReadAll(L), Written && Target == L ? Text : LeftPdf());

        // What was written is the side's file now: the next save proposes it as it is.
        D.Platform.ConfirmAnswers.clear();
        D.Click("btnSaveLeft");
        QCOMPARE(D.Platform.SaveFileSuggestions.last(), Written ? Chosen : QStringLiteral("report.pdf.txt"));
    }

    // A text comparison proposes the file's own name, as before.
    void textFilesKeepTheirOwnName()
    {
        TWindowDriver D;
        D.CompareBytes("a\n", "b\n");
        D.Click("btnSaveRight");
        QCOMPARE(D.Platform.SaveFileSuggestions, QStringList{"right.txt"});
    }
};

QTEST_MAIN(TestWindowDocumentSave)
#include "tst_window_document_save.moc"
