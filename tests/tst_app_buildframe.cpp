#include <QtTest>

// Proves the test harness itself runs headless; real tests live beside it.
class TestBuildFrame : public QObject
{
    Q_OBJECT
private slots:
    void runsOffscreen() { QCOMPARE(qgetenv("QT_QPA_PLATFORM"), QByteArray("offscreen")); }
};

QTEST_MAIN(TestBuildFrame)
#include "tst_app_buildframe.moc"
