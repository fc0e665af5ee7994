#include "support/app/WindowDriver.h"
#include "support/core/HttpStandIn.h"
#include "text/SideLoad.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <csignal>

#include <sys/resource.h>
#include <sys/stat.h>

using quorlane::test::HttpStandIn;

// Inputs an unlucky user or an attacker gives the file commands: devices, pipes, files too large
// for the memory at hand, very long lines and very many changed lines. Each ends in bounded time
// with the expected rows or a clear message, and no file is harmed.
class TestWindowHostileFiles : public QObject
{
    Q_OBJECT

    static QString Sparse(TWindowDriver& D, const QString& Name, qint64 Size)
    {
        const QString Path = D.WriteBytes(Name, QByteArray());
        QFile::resize(Path, Size);
        return Path;
    }

    // Runs one test function of this program in a child process with an address-space limit of
    // the child's own use plus HeadroomMiB; the child checks itself.
    static void RunLimitedChild(const char* Function, int HeadroomMiB)
    {
#if defined(__SANITIZE_ADDRESS__)
        // Its shadow memory, redzones and quarantine of freed blocks make the headroom mean
        // nothing, and it ends the process where the program would have caught a failed allocation.
        QSKIP("an address-space limit does not apply under AddressSanitizer");
#endif
        QProcess Child;
        QProcessEnvironment Env = QProcessEnvironment::systemEnvironment();
        Env.insert(QStringLiteral("QUORLANE_LIMITED_CHILD_MIB"), QString::number(HeadroomMiB));   // 0: no limit
        Child.setProcessEnvironment(Env);
        Child.setProcessChannelMode(QProcess::MergedChannels);
        Child.start(QCoreApplication::applicationFilePath(), {QString::fromLatin1(Function)});
        QVERIFY(Child.waitForFinished(300000));
        const QByteArray Output = Child.readAll();
        QVERIFY2(Child.exitStatus() == QProcess::NormalExit && Child.exitCode() == 0, Output.constData());
        QVERIFY2(Output.contains("PASS   : TestWindowHostileFiles::" + QByteArray(Function)), Output.constData());
    }

    // In the child: limits the address space to what it uses now plus the given headroom.
    static bool LimitAddressSpace()
    {
        const int HeadroomMiB = qEnvironmentVariableIntValue("QUORLANE_LIMITED_CHILD_MIB");
        QFile Statm(QStringLiteral("/proc/self/statm"));
        if (HeadroomMiB <= 0 || !Statm.open(QIODevice::ReadOnly))
            return false;
        const qint64 Used = Statm.readAll().split(' ').value(0).toLongLong() * 4096;
        rlimit Limit{};
        Limit.rlim_cur = Limit.rlim_max = rlim_t(Used + (qint64(HeadroomMiB) << 20));
        return ::setrlimit(RLIMIT_AS, &Limit) == 0;
    }

private slots:
    // A device, a named pipe: never read (a pipe would block for ever, /dev/zero never ends).
    void devicesAndPipes_data()
    {
        QTest::addColumn<QString>("Command");
        QTest::addColumn<QString>("Left");    // "<fifo>", a device path or a file name
        QTest::addColumn<QString>("Right");
        QTest::addColumn<QString>("Message");
        const QString NotRegular = QStringLiteral("error: %1 file is not a regular file (a device, named pipe or socket): %2");
        const QString NotFiles = QStringLiteral("error: Both paths must be existing files for files comparison.");
        QTest::newRow("automatic, /dev/zero left") << "btnCompare" << "/dev/zero" << "b.txt"
                                                   << NotRegular.arg("Left", "/dev/zero");
        QTest::newRow("automatic, pipe right") << "btnCompare" << "a.txt" << "<fifo>" << NotRegular.arg("Right", "<fifo>");
        QTest::newRow("automatic, pipe named like a document") << "btnCompare" << "a.txt" << "<fifo.pdf>"
                                                               << NotRegular.arg("Right", "<fifo.pdf>");
        QTest::newRow("text files, /dev/zero") << "miAsTextFiles1" << "a.txt" << "/dev/zero" << NotFiles;
        QTest::newRow("text files, pipe") << "miAsTextFiles1" << "<fifo>" << "b.txt" << NotFiles;
        QTest::newRow("documents, pipe") << "miAsComplexDocumentsegPDFDOCXetcwithTIKA1" << "<fifo>" << "b.txt" << NotFiles;
    }

    void devicesAndPipes()
    {
        QFETCH(QString, Command);
        QFETCH(QString, Left);
        QFETCH(QString, Right);
        QFETCH(QString, Message);
        TWindowDriver D;
        HttpStandIn Tika;
        D.Window->SetTikaEndpoint(Tika.Url());
        D.WriteLines(QStringLiteral("a.txt"), {"a"});
        D.WriteLines(QStringLiteral("b.txt"), {"b"});
        const auto Resolve = [&](QString Name) {
            if (Name.startsWith(QLatin1Char('<'))) {
                const QString Fifo = D.PathOf(Name.mid(1).chopped(1));
                if (!QFileInfo::exists(Fifo))
                    ::mkfifo(QFile::encodeName(Fifo).constData(), 0600);
                Message.replace(Name, Fifo);
                return Fifo;
            }
            return Name.startsWith(QLatin1Char('/')) ? Name : D.PathOf(Name);
        };
        D.SetPaths(Resolve(Left), Resolve(Right));
        if (Command.startsWith(QLatin1String("btn")))
            D.Click(qPrintable(Command));
        else
            D.Trigger(qPrintable(Command));
        QCOMPARE(D.Platform.Log(), QStringList{Message});
        QCOMPARE(Tika.ConnectionCount(), 0);
        QCOMPARE(D.Platform.Pointer, TPointer::Default);
        QVERIFY(!D.Window->HasDifferences());
    }

    // Files that do not fit in memory: a message naming the file and its size, and the comparison
    // shown before stays whole. Runs in a child process with little address space.
    void notEnoughMemory() { RunLimitedChild("notEnoughMemoryChild", 600); }

    void notEnoughMemoryChild()
    {
        if (!qEnvironmentVariableIsSet("QUORLANE_LIMITED_CHILD_MIB"))
            QSKIP("runs in the child of notEnoughMemory");
        TWindowDriver D;
        D.CompareLines({"a"}, {"b"});
        // Sparse files of NUL bytes: 1.9 GiB and 400 MiB are refused before they are read; 150 MiB
        // looks as if it fits, but as one line it takes more than its estimate and fails part-way.
        const QString Nul = Sparse(D, QStringLiteral("nul.txt"), qint64(1946) << 20);
        const QString Big = Sparse(D, QStringLiteral("big.txt"), qint64(400) << 20);
        const QString OneLine = Sparse(D, QStringLiteral("one line.txt"), qint64(150) << 20);
        QVERIFY(LimitAddressSpace());
        QVERIFY(LoadPeakEstimate(QFileInfo(OneLine).size()) < MemoryAtHand());
        for (const auto& [L, R, Named] : {std::tuple{Nul, Big, Nul}, std::tuple{D.PathOf("left.txt"), Big, Big},
                                          std::tuple{D.PathOf("left.txt"), OneLine, OneLine}}) {
            D.Platform.Clear();
            D.SetPaths(L, R);
            D.Trigger("miAsTextFiles1");
            QCOMPARE(D.Platform.Messages.size(), 1);
            const QString Text = D.Platform.Messages[0].Text;
            QVERIFY2(Text.startsWith(QStringLiteral("Not enough memory to load file \"%1\" (").arg(Named)), qPrintable(Text));
            QVERIFY2(Text.contains(QLocale::c().toString(QFileInfo(Named).size())), qPrintable(Text));
            QCOMPARE(D.Window->FLeftLines, QStringList{"a"});
            QCOMPARE(D.Row(1), (QStringList{"1", "a", "b"}));
        }
    }

    // Two files whose loads fit one after the other but not at once still load.
    void loadsOneAfterTheOtherWhereBothAtOnceDoNotFit() { RunLimitedChild("loadsOneAfterTheOtherChild", 700); }

    void loadsOneAfterTheOtherChild()
    {
        if (!qEnvironmentVariableIsSet("QUORLANE_LIMITED_CHILD_MIB"))
            QSKIP("runs in the child of loadsOneAfterTheOtherWhereBothAtOnceDoNotFit");
        QTemporaryDir Dir;
        // 120 MiB each: about 360 MiB at the peak of one load, 240 MiB held after it.
        QByteArray Line(1023, 'x');
        Line.append('\n');
        for (const char* Name : {"l.txt", "r.txt"}) {
            QFile File(Dir.filePath(QString::fromLatin1(Name)));
            QVERIFY(File.open(QIODevice::WriteOnly));
            for (int I = 0; I < 120 * 1024; ++I)
                File.write(Line);
        }
        QVERIFY(LimitAddressSpace());
        QVERIFY(LoadPeakEstimate(QFileInfo(Dir.filePath("l.txt")).size()) * 2 > MemoryAtHand() / 2);
        TSideState Left, Right;
        LoadTextFiles(Dir.filePath(QStringLiteral("l.txt")), Left, Dir.filePath(QStringLiteral("r.txt")), Right);
        QCOMPARE(Left.Lines.size(), 120 * 1024);
        QCOMPARE(Right.Lines.size(), 120 * 1024);
    }

    // A save beyond the user's file-size limit is an error box, not the end of the program (the
    // system's default for that signal). Runs in a child process that keeps the default.
    void fileSizeLimitOnSave() { RunLimitedChild("fileSizeLimitOnSaveChild", 0); }

    void fileSizeLimitOnSaveChild()
    {
        if (!qEnvironmentVariableIsSet("QUORLANE_LIMITED_CHILD_MIB"))
            QSKIP("runs in the child of fileSizeLimitOnSave");
        std::signal(SIGXFSZ, SIG_DFL);
        TWindowDriver D;
        QStringList Many;
        for (int I = 0; I < 2000; ++I)
            Many.append(QStringLiteral("line %1 of a text beyond the limit").arg(I));
        D.CompareLines(Many, {"x"});
        const QString Target = D.WriteBytes(QStringLiteral("precious.txt"), "precious\n");
        rlimit Limit{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &Limit), 0);
        Limit.rlim_cur = 4096;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &Limit), 0);
        D.Platform.SaveFileAnswers = {Target};
        D.Click("btnSaveLeft");
        QCOMPARE(D.Platform.Messages.size(), 1);
        QVERIFY2(D.Platform.Messages[0].Text.contains(QStringLiteral("File too large")), qPrintable(D.Platform.Messages[0].Text));
        QFile File(Target);
        QVERIFY(File.open(QIODevice::ReadOnly));
        QCOMPARE(File.readAll(), QByteArray("precious\n"));
    }

    // Large but loadable inputs end with their rows; the figures go to the log.
    void largeInputsEndWithTheirRows_data()
    {
        QTest::addColumn<QByteArray>("Left");
        QTest::addColumn<QByteArray>("Right");
        QTest::addColumn<int>("Rows");
        QByteArray Long(10 << 20, 'w');
        QByteArray Other = Long;
        Other[Other.size() / 2] = 'X';
        QTest::newRow("a 10 MB line") << Long + "\n" << Other + "\n" << 1;
        QByteArray A, B;
        A.reserve(12 << 20);
        B.reserve(12 << 20);
        for (int I = 0; I < 1000000; ++I) {
            const QByteArray Line = "line " + QByteArray::number(I) + "\n";
            A += Line;
            B += I % 2 ? "changed " + QByteArray::number(I) + "\n" : Line;
        }
        QTest::newRow("1M lines, every second one changed") << A << B << -1;
    }

    void largeInputsEndWithTheirRows()
    {
        QFETCH(QByteArray, Left);
        QFETCH(QByteArray, Right);
        QFETCH(int, Rows);
        TWindowDriver D;
        QElapsedTimer Timer;
        Timer.start();
        D.CompareBytes(Left, Right);
        qInfo("%s: %lld ms", QTest::currentDataTag(), Timer.elapsed());
        QVERIFY(D.Window->HasDifferences());
        if (Rows > 0)
            QCOMPARE(D.Window->grdDiff->RowCount() - 1, Rows);
        else
            QVERIFY(D.Window->grdDiff->RowCount() > 1000000);
        QCOMPARE(D.Window->FLeftLines.size(), Left.count('\n'));
    }
};

QTEST_MAIN(TestWindowHostileFiles)
#include "tst_window_hostile_files.moc"
