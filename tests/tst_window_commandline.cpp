// The window as the command line starts it: main parses the arguments, then hands the two paths to
// the shown window, which runs the automatic comparison on them. Here the same parse and hand-over
// drive a real window, and the status line and boxes are read back.

#include "app/OpenFromCommandLine.h"
#include "cli/CommandLine.h"
#include "support/app/WindowDriver.h"
#include "text/PathBytes.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QScopeGuard>
#include <QTest>

#include <cstdio>

#include <unistd.h>

class TestWindowCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void comparesOnceShown_data();
    void comparesOnceShown();
    void namesThatAreNotUtf8Open();
};

void TestWindowCommandLine::comparesOnceShown_data()
{
    QTest::addColumn<QStringList>("args");     // relative to the test's folder
    QTest::addColumn<QString>("status");
    QTest::addColumn<QStringList>("log");

    QTest::newRow("two text files")
        << QStringList{"left.txt", "right.txt"}
        << "2 lines (left file) vs 3 lines (right file). Equal lines: 1 of 3 (33.3%). Different lines: 2."
        << QStringList{"information: Compared:\r\n2 lines (left file) vs 3 lines (right file).\r\n"
                       "Equal lines: 1 of 3 (33.3%).\r\nDifferent lines: 2."};
    QTest::newRow("two folders, a trailing slash")
        << QStringList{"A/", "B"}
        << "Compared 1 files (left folder, including subfolders) vs 2 files (right folder, including subfolders). "
           "0 different, 0 only left, 1 only right."
        << QStringList{};
    QTest::newRow("a missing file is reported by the comparison")
        << QStringList{"left.txt", "missing.txt"} << "Ready." << QStringList{};
}

void TestWindowCommandLine::comparesOnceShown()
{
    QFETCH(QStringList, args);
    QFETCH(QString, status);
    QFETCH(QStringList, log);
    TWindowDriver Driver;
    Driver.WriteBytes(QStringLiteral("left.txt"), "same\nold\n");
    Driver.WriteBytes(QStringLiteral("right.txt"), "same\nnew\nmore\n");
    Driver.MakeFolder(QStringLiteral("A"));
    Driver.MakeFolder(QStringLiteral("B"));
    Driver.WriteBytes(QStringLiteral("A/f.txt"), "1\n");
    Driver.WriteBytes(QStringLiteral("B/f.txt"), "1\n");
    Driver.WriteBytes(QStringLiteral("B/g.txt"), "2\n");

    const TCommandLine Command = ParseCommandLine(args, Driver.Files.path());
    QCOMPARE(int(Command.Mode), int(TRunMode::Window));
    ComparePathsOnShow(*Driver.Window, Command.Left, Command.Right);
    // Nothing is compared before the event loop runs the shown window.
    QCOMPARE(Driver.Status(), QStringLiteral("Ready."));
    QCOMPARE(Driver.Find<QComboBox>("cmbLeft")->currentText(), Command.Left);
    QCOMPARE(Driver.Find<QComboBox>("cmbRight")->currentText(), Command.Right);

    const bool Missing = args.contains(QStringLiteral("missing.txt"));
    if (Missing) {
        // The automatic command hands a path that is not text to the document comparison,
        // which names the missing side.
        QTRY_VERIFY(!Driver.Platform.Messages.isEmpty());
        QCOMPARE(Driver.Platform.Log(), QStringList{QStringLiteral("error: Right file does not exist.")});
    } else {
        QTRY_COMPARE(Driver.Status(), status);
        QCOMPARE(Driver.Platform.Log(), log);
    }
    // The typed paths entered the history, resolved against the folder the program started in.
    QCOMPARE(Driver.History("cmbLeft").value(0), QDir(Driver.Files.path()).absoluteFilePath(QDir::cleanPath(args[0])));
}

// A name that is not UTF-8, as main reads it from argv: its bytes reach the file system unchanged.
void TestWindowCommandLine::namesThatAreNotUtf8Open()
{
    TWindowDriver Driver;
    const QByteArray Root = QFile::encodeName(Driver.Files.path()) + '/';
    const QByteArray Name = "bad\xff\xfename.txt";
    const auto RemoveByBytes = qScopeGuard([&] { ::unlink((Root + Name).constData()); });
    std::FILE* Stream = std::fopen((Root + Name).constData(), "wb");
    QVERIFY(Stream);
    std::fputs("same\nold\n", Stream);
    std::fclose(Stream);
    Driver.WriteBytes(QStringLiteral("right.txt"), "same\nnew\nmore\n");

    const TCommandLine Command = ParseCommandLine({PathFromBytes(Name), QStringLiteral("right.txt")}, Driver.Files.path());
    ComparePathsOnShow(*Driver.Window, Command.Left, Command.Right);
    QTRY_COMPARE(Driver.Status(), QStringLiteral("2 lines (left file) vs 3 lines (right file). Equal lines: 1 of 3 "
                                                 "(33.3%). Different lines: 2."));
    QCOMPARE(PathBytes(Driver.Find<QComboBox>("cmbLeft")->currentText()), Root + Name);
    QCOMPARE(PathBytes(Driver.History("cmbLeft").value(0)), Root + Name);
}

QTEST_MAIN(TestWindowCommandLine)
#include "tst_window_commandline.moc"
