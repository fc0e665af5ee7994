// Hostile Tika answers with the real limits: a gigabyte, an answer without end, one that does
// not fit in memory. Each ends in bounded time with a clear reason, and a failed answer's memory
// goes back. The stand-in makes the answers on the fly and never holds them.

#include "support/core/HttpStandIn.h"
#include "tika/Tika.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

Q_DECLARE_METATYPE(quorlane::test::TStandInAnswer)

using namespace quorlane;
using namespace quorlane::test;

namespace {

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"), -1 when unknown.
qint64 StatusKiB(const char* Field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(Field)) return line.mid(qstrlen(Field) + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Starts a new peak for VmHWM.
void ResetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly)) refs.write("5");
}

constexpr qint64 GiB = qint64(1) << 30;
constexpr qint64 MiB = qint64(1) << 20;

}   // namespace

class TikaHostileTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(FDir.isValid());
        QFile file(FDir.filePath(QStringLiteral("document.pdf")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("%PDF-1.4 a small document") > 0);
        FDocument = file.fileName();
    }

    void hugeAnswerIsRefused_data()
    {
        QTest::addColumn<TStandInAnswer>("answer");
        const QByteArray line = QByteArray("A line of extracted text that goes on for a while, as prose does. ").repeated(2) + '\n';
        QTest::newRow("1 GiB, length announced") << TStandInAnswer::Stream(line, GiB, true);
        QTest::newRow("1 GiB, to the end of the connection") << TStandInAnswer::Stream(line, GiB, false);
        QTest::newRow("without end") << TStandInAnswer::Stream(line, -1, false);
        QTest::newRow("line breaks without end") << TStandInAnswer::Stream("\n", -1, false);
    }

    // Refused at the limit with its reason; the memory taken on the way goes back, and the peak
    // stays near what the limit allows rather than the answer's size.
    void hugeAnswerIsRefused()
    {
        QFETCH(TStandInAnswer, answer);
        HttpStandIn server;
        server.SetAnswer(answer);
        TTikaRequest request;
        request.Endpoint = server.Url();

        const qint64 before = StatusKiB("VmRSS:");
        ResetPeak();
        const TTikaExtraction result = ExtractTextWithTika(FDocument, request);
        const qint64 peak = StatusKiB("VmHWM:");
        const qint64 after = StatusKiB("VmRSS:");

        QVERIFY(!result.Ok);
        QVERIFY(result.Lines.isEmpty());
        const bool lines = answer.StreamPattern == "\n";
        QCOMPARE(result.Error, lines ? QStringLiteral("Error: The Tika server's answer has more than 8388608 lines, more "
                                                      "text than a comparison takes.")
                                     : QStringLiteral("Error: The Tika server's answer is larger than 256 MiB, more text "
                                                      "than a comparison takes."));
        qInfo("resident before %lld MiB, peak %lld MiB, after %lld MiB", before / 1024, peak / 1024, after / 1024);
#if defined(__SANITIZE_ADDRESS__)
        // Its quarantine keeps freed blocks resident, so the figures say nothing about our memory.
        return;
#endif
        if (before > 0 && after > 0) QVERIFY2(after - before < 64 * 1024, "the failed answer's memory stayed taken");
        if (before > 0 && peak > 0) QVERIFY2(peak - before < 1536 * 1024, "the answer was held more than once");
    }

    // An answer that does not fit in the memory left is a clear message, not an abort.
    void answerBeyondMemory()
    {
#if defined(__SANITIZE_ADDRESS__)
        // Its shadow memory and quarantine make the headroom mean nothing, and it ends the process
        // where the program would have caught a failed allocation.
        QSKIP("an address-space limit does not apply under AddressSanitizer");
#endif
        rlimit old{};
        QCOMPARE(::getrlimit(RLIMIT_AS, &old), 0);
        const qint64 vm = StatusKiB("VmSize:") * 1024;
        QVERIFY(vm > 0);
        HttpStandIn server;
        server.SetAnswer(TStandInAnswer::Stream(QByteArray("some text of the document ").repeated(8) + '\n', -1, false));
        TTikaRequest request;
        request.Endpoint = server.Url();
        request.AnswerLimitBytes = 64 * GiB;   // only memory stops it
        request.LineLimit = qsizetype(1) << 40;

        rlimit tight = old;
        tight.rlim_cur = rlim_t(vm + 384 * MiB);
        QCOMPARE(::setrlimit(RLIMIT_AS, &tight), 0);
        const TTikaExtraction result = ExtractTextWithTika(FDocument, request);
        QCOMPARE(::setrlimit(RLIMIT_AS, &old), 0);

        QVERIFY(!result.Ok);
        QVERIFY2(result.Error.startsWith(QStringLiteral("Error: Not enough memory to load the text of document.pdf (")),
                 qPrintable(result.Error));
        QVERIFY2(result.Error.endsWith(QStringLiteral(" MiB received).")), qPrintable(result.Error));
    }

private:
    QTemporaryDir FDir;
    QString FDocument;
};

QTEST_GUILESS_MAIN(TikaHostileTest)
#include "tst_tika_hostile.moc"
