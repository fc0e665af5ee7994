// Reading text files from disk: errors a user can act on, paths that are no regular file,
// files too large for one buffer, and one read per load.

#include "support/core/ByteFiles.h"
#include "text/TextFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <future>

#include <sys/stat.h>
#include <unistd.h>

using namespace quorlane::test;

namespace {

// Runs Work on its own thread; a hang aborts the test run instead of stalling it.
template <typename TWork>
auto WithinSeconds(int Seconds, TWork Work) -> decltype(Work())
{
    auto future = std::async(std::launch::async, std::move(Work));
    if (future.wait_for(std::chrono::seconds(Seconds)) != std::future_status::ready)
        qFatal("reading a path that is not a regular file hung");
    return future.get();
}

struct TLoadOutcome {
    bool Threw = false;
    QString Message;
    QStringList Lines{QStringLiteral("untouched")};
    TTextEncoding Encoding = TTextEncoding::Utf16BE;
    bool HasBOM = true;
    QString EncName = QStringLiteral("untouched");
};

TLoadOutcome TryLoad(const QString& Path)
{
    TLoadOutcome outcome;
    try {
        LoadTextFile(Path, outcome.Lines, outcome.Encoding, outcome.HasBOM, outcome.EncName);
    } catch (const ETextFileError& error) {
        outcome.Threw = true;
        outcome.Message = error.Message();
    }
    return outcome;
}

QString TryDetect(const QString& Path)
{
    try {
        TTextEncoding encoding{};
        bool bom = false;
        QString name;
        DetectFileEncoding(Path, encoding, bom, name);
    } catch (const ETextFileError& error) {
        return error.Message();
    }
    return {};
}

// Bytes this process has read through read() and friends so far, or -1.
qint64 BytesReadByProcess()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = io.readAll();
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    return -1;
}

}  // namespace

class TstTextFiles : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(FDir.isValid()); }

    void unreadablePaths_data();
    void unreadablePaths();

    void noPermission();

    void notRegularFiles_data();
    void notRegularFiles();

    void tooLarge_data();
    void tooLarge();

    void symlinkedFileLoads();

    void readsTheFileOnce();

private:
    QTemporaryDir FDir;
};

void TstTextFiles::unreadablePaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("reason");
    const QString regular = WriteBytesFile(FDir.path(), QStringLiteral("regular.txt"), "text\n");
    QVERIFY(QDir(FDir.path()).mkdir(QStringLiteral("folder")));
    QVERIFY(QFile::link(FDir.filePath(QStringLiteral("gone.txt")), FDir.filePath(QStringLiteral("dangling.txt"))));
    QTest::newRow("vanished file") << FDir.filePath(QStringLiteral("missing.txt")) << "No such file or directory";
    QTest::newRow("dangling link") << FDir.filePath(QStringLiteral("dangling.txt")) << "No such file or directory";
    QTest::newRow("folder given as a file") << FDir.filePath(QStringLiteral("folder")) << "folder";
    QTest::newRow("path below a regular file") << regular + QStringLiteral("/inner.txt") << "Not a directory";
}

void TstTextFiles::unreadablePaths()
{
    QFETCH(QString, path);
    QFETCH(QString, reason);
    const TLoadOutcome outcome = TryLoad(path);
    QVERIFY(outcome.Threw);
    QVERIFY2(outcome.Message.contains(path) && outcome.Message.contains(reason),
             qPrintable(outcome.Message));
    // Nothing was read, so nothing of the caller's changes.
    QCOMPARE(outcome.Lines, QStringList{QStringLiteral("untouched")});
    QCOMPARE(outcome.EncName, QStringLiteral("untouched"));
    QCOMPARE(outcome.Encoding, TTextEncoding::Utf16BE);

    const QString detectMessage = TryDetect(path);
    QVERIFY2(detectMessage.contains(path) && detectMessage.contains(reason), qPrintable(detectMessage));
}

void TstTextFiles::noPermission()
{
    if (::geteuid() == 0)
        QSKIP("running as root: permissions do not stop reading");
    const QString path = WriteBytesFile(FDir.path(), QStringLiteral("locked.txt"), "secret\n");
    QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    const TLoadOutcome outcome = TryLoad(path);
    QVERIFY(outcome.Threw);
    QVERIFY2(outcome.Message.contains(path) && outcome.Message.contains(QStringLiteral("Permission denied")),
             qPrintable(outcome.Message));
    // The probe answers false only for a missing file; an existing one it cannot open is an error.
    QVERIFY_THROWS_EXCEPTION(ETextFileError, (void)IsTextFile(path));
}

void TstTextFiles::notRegularFiles_data()
{
    QTest::addColumn<QString>("path");
    const QString fifo = FDir.filePath(QStringLiteral("pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QTest::newRow("named pipe without a writer") << fifo;
    QTest::newRow("endless device") << QStringLiteral("/dev/zero");
    QTest::newRow("empty device") << QStringLiteral("/dev/null");
    const QString link = FDir.filePath(QStringLiteral("zero-link"));
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), link));
    QTest::newRow("link to a device") << link;
}

void TstTextFiles::notRegularFiles()
{
    QFETCH(QString, path);
    const TLoadOutcome outcome = WithinSeconds(20, [&] { return TryLoad(path); });
    QVERIFY(outcome.Threw);
    QVERIFY2(outcome.Message.contains(path) && outcome.Message.contains(QStringLiteral("not a regular file")),
             qPrintable(outcome.Message));
    QCOMPARE(outcome.Lines, QStringList{QStringLiteral("untouched")});

    const QString detectMessage = WithinSeconds(20, [&] { return TryDetect(path); });
    QVERIFY2(detectMessage.contains(QStringLiteral("not a regular file")), qPrintable(detectMessage));

    QCOMPARE(WithinSeconds(20, [&] { return IsTextFile(path); }), false);
}

void TstTextFiles::tooLarge_data()
{
    QTest::addColumn<qint64>("size");
    QTest::newRow("exactly 2 GiB") << (qint64(1) << 31);
    QTest::newRow("5 GiB") << (qint64(5) << 30);
}

void TstTextFiles::tooLarge()
{
    QFETCH(qint64, size);
    // A sparse file: the size costs no disk space.
    const QString path = FDir.filePath(QStringLiteral("huge-%1.txt").arg(size));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY2(file.resize(size), qPrintable(file.errorString()));
    }
    const TLoadOutcome outcome = TryLoad(path);
    QVERIFY(outcome.Threw);
    QVERIFY2(outcome.Message.contains(path), qPrintable(outcome.Message));
    QVERIFY2(outcome.Message.contains(QString::number(size)), qPrintable(outcome.Message));
    QVERIFY2(outcome.Message.contains(QStringLiteral("2 GiB")), qPrintable(outcome.Message));
    QCOMPARE(outcome.Lines, QStringList{QStringLiteral("untouched")});
    QCOMPARE(outcome.EncName, QStringLiteral("untouched"));

    QVERIFY(TryDetect(path).contains(QString::number(size)));
    // The probe reads only its first bytes, which are zeros here.
    QCOMPARE(IsTextFile(path), false);
    QFile::remove(path);
}

void TstTextFiles::symlinkedFileLoads()
{
    const QString target = WriteBytesFile(FDir.path(), QStringLiteral("target.txt"), "one\r\ntwo\r\n");
    const QString link = FDir.filePath(QStringLiteral("link.txt"));
    QVERIFY(QFile::link(target, link));
    const TLoadOutcome outcome = TryLoad(link);
    QVERIFY2(!outcome.Threw, qPrintable(outcome.Message));
    QCOMPARE(outcome.Lines, (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    QVERIFY(IsTextFile(link));
}

void TstTextFiles::readsTheFileOnce()
{
    // Detection and decoding must work on one read: a second read could see a changed file and
    // decode it with an encoding detected for other bytes.
    if (BytesReadByProcess() < 0)
        QSKIP("/proc/self/io is not available");
    QByteArray bytes;
    for (int i = 0; bytes.size() < (8 << 20); ++i)
        bytes += "line " + QByteArray::number(i) + " caf\xC3\xA9\r\n";
    const QString path = WriteBytesFile(FDir.path(), QStringLiteral("big.txt"), bytes);

    const qint64 before = BytesReadByProcess();
    const TLoadOutcome outcome = TryLoad(path);
    const qint64 read = BytesReadByProcess() - before;
    QVERIFY2(!outcome.Threw, qPrintable(outcome.Message));
    QCOMPARE(outcome.EncName, QStringLiteral("UTF-8"));
    QVERIFY2(read >= bytes.size() && read < bytes.size() + bytes.size() / 2,
             qPrintable(QStringLiteral("file of %1 bytes, %2 bytes read").arg(bytes.size()).arg(read)));
}

QTEST_GUILESS_MAIN(TstTextFiles)
#include "tst_text_files.moc"
