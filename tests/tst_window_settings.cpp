// The settings file through the real window (what a file brings back, what a damaged or odd file
// does, what closing writes), where the window is placed, and the settings dialog driven through
// its controls by name.

#include "app/SettingsDialog.h"
#include "app/WindowPlacement.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"
#include "support/app/WindowDriver.h"
#include "support/core/ByteFiles.h"
#include "support/core/FileSizeLimit.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace quorlane::test;

Q_DECLARE_METATYPE(TSettingsRecord)

// Readable failures: every field of a record on one line.
char* toString(const TSettingsRecord& R)
{
    QStringList Parts{QString::number(R.Version), R.LeftBrowseFolder, R.RightBrowseFolder};
    for (bool B : {R.IgnoreWhitespace, R.IgnoreWSAmount, R.IgnoreLeadingWS, R.IgnoreTrailingWS, R.IgnoreBlankLines,
                   R.IgnoreCase, R.ShowLineNumbers, R.ShowGridLines})
        Parts.append(B ? QStringLiteral("on") : QStringLiteral("off"));
    Parts << QString::number(R.FontColor, 16) << QString::number(R.FontSize) << R.FontName;
    for (std::uint32_t C : {R.ColorAddedLines, R.ColorRemovedLines, R.ColorChangedLines, R.ColorDifferentTextInLine})
        Parts.append(QString::number(C, 16));
    Parts << QStringLiteral("[%1]").arg(R.LeftHistory.join(QLatin1Char('|')))
          << QStringLiteral("[%1]").arg(R.RightHistory.join(QLatin1Char('|')))
          << (R.Maximized ? QStringLiteral("maximized") : QStringLiteral("normal"));
    for (std::int32_t V : {R.Left, R.Top, R.Width, R.Height, R.ColWidth1, R.ColWidth2})
        Parts.append(QString::number(V));
    return qstrdup(Parts.join(QStringLiteral(", ")).toUtf8().constData());
}

namespace {

// Closes the window (which writes its settings), puts Bytes in the settings file, or removes it
// when there are none, and opens a new window on that file.
void Restart(TWindowDriver& D, const std::optional<QByteArray>& Bytes, bool Show = false)
{
    D.Window.reset();
    QFile::remove(D.SettingsFile());
    if (Bytes)
        WriteBytesFile(QFileInfo(D.SettingsFile()).path(), QStringLiteral("settings.dt"), *Bytes);
    D.Window = std::make_unique<TfrmMain>(D.Platform);
    if (Show) {
        D.Window->show();
        (void)QTest::qWaitForWindowExposed(D.Window.get());
    }
}

TSettingsRecord NonDefaultRecord()
{
    TSettingsRecord R;
    R.LeftBrowseFolder = QStringLiteral("/home/zoë/links");
    R.RightBrowseFolder = QStringLiteral("/srv/右");
    R.IgnoreWhitespace = true;
    R.IgnoreWSAmount = true;
    R.IgnoreLeadingWS = true;
    R.IgnoreTrailingWS = true;
    R.IgnoreBlankLines = true;
    R.IgnoreCase = true;
    R.ShowLineNumbers = false;
    R.ShowGridLines = false;
    R.FontColor = 0x000000C0;
    R.FontSize = 14;
    R.FontName = QStringLiteral("DejaVu Sans Mono");
    R.ColorAddedLines = 0x00102030;
    R.ColorRemovedLines = 0x00405060;
    R.ColorChangedLines = 0x00708090;
    R.ColorDifferentTextInLine = 0x00A0B0C0;
    for (int I = 0; I < 50; ++I)
        R.LeftHistory.append(QStringLiteral("/data/ñ%1.txt").arg(I));
    R.RightHistory = {QStringLiteral("/tmp/€.txt")};
    R.Left = 40;
    R.Top = 30;
    R.Width = 700;
    R.Height = 500;
    R.ColWidth1 = 250;
    R.ColWidth2 = 300;
    return R;
}

// The settings the window holds, read back through the record the window would save.
TSettingsRecord WindowSettings(const TWindowDriver& D)
{
    return D.Window->SettingsFromWindow();
}

TfrmSettings* Dialog(const TWindowDriver& D)
{
    return D.Window->findChild<TfrmSettings*>(QStringLiteral("frmSettings"));
}

// Opens the settings dialog with btnSettings and runs Act while it is shown; whatever Act leaves
// open is cancelled, so a failing check never leaves a modal dialog waiting.
void WithSettingsDialog(TWindowDriver& D, const std::function<void(TfrmSettings&)>& Act)
{
    TfrmSettings* Dlg = Dialog(D);
    QVERIFY(Dlg);
    bool Ran = false;
    QTimer::singleShot(0, Dlg, [&] {
        QTRY_VERIFY(Dlg->isVisible());
        Ran = true;
        Act(*Dlg);
        if (Dlg->isVisible())
            Dlg->reject();
    });
    D.Click("btnSettings");
    QVERIFY(Ran);
    QVERIFY(!Dlg->isVisible());
}

template <typename T>
T* Control(TfrmSettings& Dlg, const char* Name)
{
    T* Found = Dlg.findChild<T*>(QLatin1String(Name));
    if (!Found)
        qFatal("no control %s", Name);
    return Found;
}

// A click on the box itself, as a user clicks it (the control is wider than its caption).
void Toggle(QCheckBox* Box)
{
    QTest::mouseClick(Box, Qt::LeftButton, {}, QPoint(6, Box->height() / 2));
}

void ClickOk(TfrmSettings& Dlg)
{
    QTest::mouseClick(Control<QPushButton>(Dlg, "Button1"), Qt::LeftButton);
}

void ClickCancel(TfrmSettings& Dlg)
{
    QTest::mouseClick(Control<QPushButton>(Dlg, "Button2"), Qt::LeftButton);
}

const char* const OptionBoxes[] = {"chkIgnoreCase",       "chkIgnoreWhitespace", "chkIgnoreWSAmount",
                                   "chkIgnoreTrailingWS", "chkIgnoreLeadingWS",  "chkIgnoreBlankLines"};
const char* const Swatches[] = {"btnColorAddedLines", "btnColorRemovedLines", "btnColorChangedLines",
                                "btnColorDifferentTextInLine"};

// Turns every check box over, picks a new font and answers every swatch with a new colour.
void ChangeEveryControl(TWindowDriver& D, TfrmSettings& Dlg)
{
    for (const char* Name : OptionBoxes)
        Toggle(Control<QCheckBox>(Dlg, Name));
    Toggle(Control<QCheckBox>(Dlg, "chkShowLineNumbers"));
    Toggle(Control<QCheckBox>(Dlg, "chkShowGridLines"));
    QFont Font(QStringLiteral("DejaVu Sans"));
    Font.setPointSize(20);
    D.Platform.FontAnswers = {Font};
    QTest::mouseClick(Control<QPushButton>(Dlg, "btnChangeFont"), Qt::LeftButton);
    D.Platform.ColorAnswers = {QColor(1, 2, 3), QColor(4, 5, 6), QColor(7, 8, 9), QColor(10, 11, 12),
                               QColor(13, 14, 15)};
    for (const char* Name : Swatches)
        QTest::mouseClick(Control<TColorSwatch>(Dlg, Name), Qt::LeftButton);
    QTest::mouseClick(Control<TColorSwatch>(Dlg, "btnFontColor"), Qt::LeftButton);
    QVERIFY(D.Platform.ColorAnswers.isEmpty());
}

}   // namespace

class TestWindowSettings : public QObject
{
    Q_OBJECT

private slots:
    // ---- Placement, as plain functions ----

    void CentredOnScreenRoundsHalvesToEven_data()
    {
        QTest::addColumn<QSize>("Screen");
        QTest::addColumn<QSize>("Window");
        QTest::addColumn<QPoint>("Expected");
        QTest::newRow("even sizes") << QSize(1920, 1080) << QSize(1138, 606) << QPoint(391, 237);
        QTest::newRow("halves to even") << QSize(1025, 769) << QSize(101, 103) << QPoint(512 - 50, 384 - 52);
        QTest::newRow("window larger than screen") << QSize(800, 600) << QSize(1138, 606) << QPoint(-169, -3);
    }
    void CentredOnScreenRoundsHalvesToEven()
    {
        QFETCH(QSize, Screen);
        QFETCH(QSize, Window);
        QFETCH(QPoint, Expected);
        QCOMPARE(CentredOnScreen(Screen, Window), Expected);
    }

    void CentredOnWorkArea_data()
    {
        QTest::addColumn<QRect>("WorkArea");
        QTest::addColumn<QSize>("Window");
        QTest::addColumn<QPoint>("Expected");
        QTest::newRow("centred") << QRect(0, 30, 1920, 1050) << QSize(1000, 600) << QPoint(460, 255);
        QTest::newRow("odd difference truncates") << QRect(0, 0, 1001, 601) << QSize(100, 100) << QPoint(450, 250);
        QTest::newRow("second display") << QRect(1920, 0, 1280, 1024) << QSize(680, 424) << QPoint(2220, 300);
        QTest::newRow("larger: raised to the edges") << QRect(100, 50, 800, 600) << QSize(1000, 700) << QPoint(100, 50);
        QTest::newRow("display left of the origin") << QRect(-1280, 0, 1280, 1024) << QSize(281, 100)
                                                    << QPoint(-1280 + 499, 462);
    }
    void CentredOnWorkArea()
    {
        QFETCH(QRect, WorkArea);
        QFETCH(QSize, Window);
        QFETCH(QPoint, Expected);
        QCOMPARE(::CentredOnWorkArea(WorkArea, Window), Expected);
    }

    void NearestDisplay_data()
    {
        QTest::addColumn<QRect>("Window");
        QTest::addColumn<int>("Expected");
        // Two displays side by side: 0 at the origin, 1 to its right.
        QTest::newRow("inside the first") << QRect(100, 100, 400, 300) << 0;
        QTest::newRow("mostly on the second") << QRect(1800, 100, 400, 300) << 1;
        QTest::newRow("far right, off every display") << QRect(90000, 100, 400, 300) << 1;
        QTest::newRow("far up-left, off every display") << QRect(-5000, -5000, 400, 300) << 0;
        QTest::newRow("extreme coordinates") << QRect(-16384, 16000, 16384, 16384) << 0;
    }
    void NearestDisplay()
    {
        QFETCH(QRect, Window);
        QFETCH(int, Expected);
        const QList<QRect> Displays{QRect(0, 0, 1920, 1080), QRect(1920, 0, 1280, 1024)};
        QCOMPARE(::NearestDisplay(Displays, Window), qsizetype(Expected));
        QCOMPARE(::NearestDisplay({}, Window), qsizetype(-1));
    }

    // ---- Placement under a real window manager (the openbox entry of the suite) ----

    void PlacementUnderAWindowManager_data()
    {
        QTest::addColumn<bool>("File");
        QTest::addColumn<QRect>("Bounds");
        QTest::addColumn<bool>("Maximized");
        QTest::addColumn<QSize>("Size");   // the window's own area it opens with
        QTest::newRow("no file: design size, centred") << false << QRect() << false << QSize(1138, 606);
        QTest::newRow("saved bounds: that size, centred") << true << QRect(5, 7, 900, 500) << false << QSize(900, 500);
        QTest::newRow("off every display: brought back") << true << QRect(9000, -7000, 800, 450) << false
                                                         << QSize(800, 450);
        QTest::newRow("larger than the display: title bar on it") << true << QRect(0, 0, 1700, 1100) << false
                                                                   << QSize(1700, 1100);
        QTest::newRow("maximized") << true << QRect(5, 7, 900, 500) << true << QSize();
    }
    void PlacementUnderAWindowManager()
    {
        if (qEnvironmentVariable("QUORLANE_WINDOW_MANAGER").isEmpty() || QGuiApplication::platformName() != "xcb")
            QSKIP("runs on a virtual display with a window manager (tests/wm/with-openbox.sh)");
        QFETCH(bool, File);
        QFETCH(QRect, Bounds);
        QFETCH(bool, Maximized);
        QFETCH(QSize, Size);
        TWindowDriver D(false);
        TSettingsRecord R;
        R.Left = Bounds.x();
        R.Top = Bounds.y();
        R.Width = Bounds.width();
        R.Height = Bounds.height();
        R.Maximized = Maximized;
        Restart(D, File ? std::optional<QByteArray>(EncodeSettings(R)) : std::nullopt, true);
        TfrmMain& W = *D.Window;
        const QRect WorkArea = QGuiApplication::primaryScreen()->availableGeometry();
        if (Maximized) {
            QTRY_VERIFY(W.windowState() & Qt::WindowMaximized);
            QTRY_COMPARE(W.frameGeometry().size(), WorkArea.size());
            return;
        }
        // The window manager has framed the window: its frame stands centred on the work area
        // (or at its top-left corner when larger), at the size it was given.
        QTRY_VERIFY(W.frameGeometry() != W.geometry());
        QTest::qWait(200);
        QCOMPARE(W.size(), Size);
        const QRect Frame = W.frameGeometry();
        const QPoint Expected = ::CentredOnWorkArea(WorkArea, Frame.size());
        QVERIFY2((Frame.topLeft() - Expected).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("frame at %1,%2, expected %3,%4")
                                .arg(Frame.x())
                                .arg(Frame.y())
                                .arg(Expected.x())
                                .arg(Expected.y())));
    }

    // ---- The file through the window ----

    void NoFileKeepsEveryDefault()
    {
        TWindowDriver D(false);
        Restart(D, std::nullopt);
        TfrmMain& W = *D.Window;
        QCOMPARE(W.grdDiff->ColWidths(0), 100);
        QVERIFY(!W.StaticText1->isHidden());
        QVERIFY(W.grdDiff->Options() & goHorzLine);
        QCOMPARE(W.size(), QSize(1138, 606));
        const QRect Screen = QGuiApplication::primaryScreen()->geometry();
        QCOMPARE(W.pos(), CentredOnScreen(Screen.size(), QSize(1138, 606)));
        TSettingsRecord Expected;
        Expected.Left = W.x();
        Expected.Top = W.y();
        Expected.Width = 1138;
        Expected.Height = 606;
        Expected.ShowLineNumbers = true;
        QCOMPARE(WindowSettings(D), Expected);
    }

    void ClosingWritesAFileThatBringsEverythingBack()
    {
        TWindowDriver D(false);
        const TSettingsRecord R = NonDefaultRecord();
        Restart(D, EncodeSettings(R));
        TfrmMain& W = *D.Window;
        QCOMPARE(WindowSettings(D), R);
        QCOMPARE(W.grdDiff->ColWidths(0), 0);
        QVERIFY(W.StaticText1->isHidden());
        QCOMPARE(W.grdDiff->font().family(), QStringLiteral("DejaVu Sans Mono"));
        QCOMPARE(W.grdDiff->palette().color(QPalette::Text), QColor(0xC0, 0, 0));
        QCOMPARE(D.Find<QComboBox>("cmbLeft")->currentText(), QString());   // the history, not a typed path
        QCOMPARE(D.History("cmbLeft"), R.LeftHistory);

        D.Window.reset();   // closing writes the file
        QCOMPARE(DecodeSettings(ReadBytesFile(D.SettingsFile())).Record, R);
        QCOMPARE(QDir(QFileInfo(D.SettingsFile()).path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("settings.dt")});
    }

    void LineNumbersTurnedOnAreWiderThanTheDesign()
    {
        TWindowDriver D(false);
        TSettingsRecord R;
        R.ShowLineNumbers = true;
        Restart(D, EncodeSettings(R));
        QCOMPARE(D.Window->grdDiff->ColWidths(0), 120);
        QVERIFY(!D.Window->StaticText1->isHidden());
    }

    // A file that ends early: the fields before the cut are applied, the others keep the window's
    // defaults; a damaged file is kept beside the new one.
    void FileCutShort_data()
    {
        QTest::addColumn<int>("Fields");
        QTest::addColumn<int>("ExtraHistoryBytes");   // bytes of the next history entry that are present
        QTest::newRow("after the grid font name") << int(sfFontName) << 0;
        QTest::newRow("history count larger than its entries") << int(sfLeftHistoryCount) << 0;
        QTest::newRow("inside a history entry") << int(sfLeftHistoryCount) << 7;
        QTest::newRow("after maximized") << int(sfMaximized) << 0;
        QTest::newRow("after Left") << int(sfLeft) << 0;
        QTest::newRow("after the first column width") << int(sfColWidth1) << 0;
    }
    void FileCutShort()
    {
        QFETCH(int, Fields);
        QFETCH(int, ExtraHistoryBytes);
        TWindowDriver D(false);
        Restart(D, std::nullopt);
        const TSettingsRecord Defaults = WindowSettings(D);

        TSettingsRecord R = NonDefaultRecord();
        const QByteArray Full = EncodeSettings(R);
        // Where the cut falls: encode the record up to the field, as the file holds it.
        TDecodedSettings Probe;
        qsizetype Cut = 0;
        for (qsizetype Length = 0; Length <= Full.size(); ++Length) {
            Probe = DecodeSettings(Full.left(Length));
            if (Probe.FieldsRead == Fields) {
                Cut = Length;
                break;
            }
        }
        const QByteArray Bytes = Full.left(Cut + ExtraHistoryBytes);
        Restart(D, Bytes);
        const TSettingsRecord Got = WindowSettings(D);
        // The history cut short brings the entries that were whole, here: none.
        TSettingsRecord Expected = Defaults;
        const TDecodedSettings Read = DecodeSettings(Bytes, Defaults);
        Expected = Read.Record;
        if (Fields >= sfShowLineNumbers && !R.ShowLineNumbers)
            QCOMPARE(D.Window->grdDiff->ColWidths(0), 0);
        if (Fields < sfColorAddedLines)
            QCOMPARE(D.Window->fColorAddedLines, DefaultColorAddedLines);
        if (Fields >= sfLeftHistoryCount && Fields < sfLeftHistory)
            QCOMPARE(Got.LeftHistory, QStringList());
        if (Fields < sfWidth)
            QCOMPARE(Got.Width, Defaults.Width);
        if (Fields == sfLeft)
            QCOMPARE(Got.Left, R.Left);
        QCOMPARE(Got.ColWidth2, Fields >= sfColWidth2 ? R.ColWidth2 : Defaults.ColWidth2);
        QCOMPARE(Got, Expected);

        // The damaged bytes are kept; the next save writes a whole record in their place.
        QCOMPARE(ReadBytesFile(D.SettingsFile() + QStringLiteral(".damaged")), Bytes);
        D.Window.reset();
        QVERIFY(DecodeSettings(ReadBytesFile(D.SettingsFile())).Complete());
    }

    void MaximizedFileIgnoresItsBounds()
    {
        TWindowDriver D(false);
        Restart(D, std::nullopt);
        const QRect Before = D.Window->geometry();
        TSettingsRecord R = NonDefaultRecord();
        R.Maximized = true;
        Restart(D, EncodeSettings(R));
        QVERIFY(D.Window->windowState() & Qt::WindowMaximized);
        QCOMPARE(D.Window->size(), Before.size());
        QCOMPARE(D.Window->grdDiff->ColWidths(1), R.ColWidth1);   // what follows the bounds still applies
    }

    // Values no window or grid can use are brought into range; what is usable stays as read.
    void UnusableValuesAreMadeSound_data()
    {
        QTest::addColumn<qint32>("Width");
        QTest::addColumn<qint32>("Height");
        QTest::addColumn<qint32>("FontSize");
        QTest::addColumn<qint32>("ColWidth");
        QTest::addColumn<QSize>("ExpectedSize");
        QTest::addColumn<int>("ExpectedFontSize");
        QTest::addColumn<int>("ExpectedColWidth");
        QTest::newRow("usable values as read") << 640 << 480 << 9 << 200 << QSize(640, 480) << 9 << 200;
        QTest::newRow("zero") << 0 << 0 << 0 << 0 << QSize(400, 300) << 11 << 432;
        QTest::newRow("negative") << -50 << -1 << -12 << -7 << QSize(400, 300) << 11 << 432;
        QTest::newRow("huge") << 0x7FFFFFFF << 100000 << 100000 << 0x7FFFFFFF << QSize(16384, 16384) << 200 << 16384;
    }
    void UnusableValuesAreMadeSound()
    {
        QFETCH(qint32, Width);
        QFETCH(qint32, Height);
        QFETCH(qint32, FontSize);
        QFETCH(qint32, ColWidth);
        QFETCH(QSize, ExpectedSize);
        QFETCH(int, ExpectedFontSize);
        QFETCH(int, ExpectedColWidth);
        TWindowDriver D(false);
        TSettingsRecord R;
        R.Width = Width;
        R.Height = Height;
        R.FontSize = FontSize;
        R.ColWidth1 = ColWidth;
        R.Left = qint32(0x80000000);
        R.Top = 0x7FFFFFFF;
        Restart(D, EncodeSettings(R));
        QCOMPARE(D.Window->size(), ExpectedSize);
        QCOMPARE(D.Window->GridFontSize(), ExpectedFontSize);
        QCOMPARE(D.Window->grdDiff->ColWidths(1), ExpectedColWidth);
        QVERIFY(qAbs(D.Window->x()) <= 16384 && qAbs(D.Window->y()) <= 16384);
    }

    // A left-history count of 2^31-1 over 100 MB of zeros: read in bounded memory, and closing
    // writes back a small, sound file.
    void PoisonedHistoryCountIsNotWrittenBack()
    {
        TWindowDriver D(false);
        TSettingsRecord R = NonDefaultRecord();
        const QByteArray Good = EncodeSettings(R);
        const qsizetype HistoryAt = Good.indexOf(QByteArray("\x32\0\0\0", 4));   // the left count, 50
        QVERIFY(HistoryAt > 0);
        QByteArray Bytes = Good.left(HistoryAt);
        Bytes.append("\xff\xff\xff\x7f", 4);
        Restart(D, Bytes);
        D.Window.reset();
        {
            QFile File(D.SettingsFile());
            QVERIFY(File.open(QIODevice::ReadWrite | QIODevice::Append));
            QVERIFY(File.resize(File.size() + (100 << 20)));   // zeros, without writing them
        }
        D.Window = std::make_unique<TfrmMain>(D.Platform);
        QVERIFY(D.History("cmbLeft").isEmpty());
        QCOMPARE(D.Window->grdDiff->font().family(), R.FontName);   // the fields before it apply
        D.Window.reset();
        const QByteArray Saved = ReadBytesFile(D.SettingsFile());
        QVERIFY2(Saved.size() < 4096, qPrintable(QString::number(Saved.size())));
        const TDecodedSettings Again = DecodeSettings(Saved);
        QVERIFY(Again.Complete());
        QVERIFY(Again.Record.LeftHistory.isEmpty());
    }

    // Two windows closing one after the other: the second keeps the paths the first saved.
    void TwoWindowsClosingKeepBothHistories()
    {
        TWindowDriver D(false);
        Restart(D, std::nullopt);
        auto Other = std::make_unique<TfrmMain>(D.Platform);
        D.Window->cmbLeft->addItems({"/mine/new.txt", "/both/old.txt"});
        D.Window->cmbRight->addItem("/mine/right.txt");
        Other->cmbLeft->addItems({"/theirs/new.txt", "/BOTH/old.txt"});
        Other.reset();       // writes its histories
        D.Window.reset();    // reads them again before writing its own
        const TSettingsRecord Saved = DecodeSettings(ReadBytesFile(D.SettingsFile())).Record;
        QCOMPARE(Saved.LeftHistory, (QStringList{"/mine/new.txt", "/both/old.txt", "/theirs/new.txt"}));
        QCOMPARE(Saved.RightHistory, QStringList{"/mine/right.txt"});
    }

    // A size or place that fits no display is brought onto one when shown, and saved as shown.
    void WindowThatFitsNoDisplayIsBroughtOntoOne_data()
    {
        QTest::addColumn<QRect>("Bounds");
        QTest::newRow("larger than any display") << QRect(0, 0, 9000, 7000);
        QTest::newRow("far off every display") << QRect(15000, -15000, 640, 480);
        QTest::newRow("both") << QRect(-16000, 16000, 16384, 16384);
    }
    void WindowThatFitsNoDisplayIsBroughtOntoOne()
    {
        QFETCH(QRect, Bounds);
        TWindowDriver D(false);
        TSettingsRecord R;
        R.Left = Bounds.x();
        R.Top = Bounds.y();
        R.Width = Bounds.width();
        R.Height = Bounds.height();
        Restart(D, EncodeSettings(R), true);
        const QRect Shown = D.Window->frameGeometry();
        const QRect Area = D.Window->screen()->availableGeometry();
        QVERIFY2(Area.contains(Shown), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(Shown.x()).arg(Shown.y()).arg(Shown.width()).arg(Shown.height())));
        const QRect Client = D.Window->geometry();
        D.Window.reset();
        const TSettingsRecord Saved = DecodeSettings(ReadBytesFile(D.SettingsFile())).Record;
        QCOMPARE(QSize(Saved.Width, Saved.Height), Client.size());
        QCOMPARE(QPoint(Saved.Left, Saved.Top), Shown.topLeft());
    }

    void UnreadableFileChangesNothing()
    {
        TWindowDriver D(false);
        Restart(D, std::nullopt);
        const TSettingsRecord Defaults = WindowSettings(D);
        D.Window.reset();
        QFile::remove(D.SettingsFile());
        QVERIFY(QDir().mkpath(D.SettingsFile()));   // a folder where the file should be
        D.Window = std::make_unique<TfrmMain>(D.Platform);
        TSettingsRecord Got = WindowSettings(D);
        QCOMPARE(Got.ShowLineNumbers, Defaults.ShowLineNumbers);
        QCOMPARE(D.Window->grdDiff->ColWidths(0), 100);
        QCOMPARE(D.Window->size(), QSize(1138, 606));
        D.Window->SaveSettings();   // fails without a word
        QVERIFY(D.Platform.Messages.isEmpty());
        QVERIFY(QFileInfo(D.SettingsFile()).isDir());
    }

    void SaveFailingHalfWayKeepsTheEarlierFile()
    {
        TWindowDriver D(false);
        const QByteArray Earlier = EncodeSettings(NonDefaultRecord());
        Restart(D, Earlier);
        QStringList Long;
        for (int I = 0; I < 50; ++I)
            Long.append(QString(300, QLatin1Char('p')) + QString::number(I));
        D.Window->cmbRight->addItems(Long);
        {
            const TFileSizeLimit Limit(Earlier.size() + 100);
            QVERIFY(Limit.Active());
            D.Window->SaveSettings();
        }
        QCOMPARE(ToHex(ReadBytesFile(D.SettingsFile())), ToHex(Earlier));
        QVERIFY(D.Platform.Messages.isEmpty());
    }

    void CompareCommandWritesTheFile()
    {
        TWindowDriver D(false);
        QFile::remove(D.SettingsFile());
        D.CompareLines({QStringLiteral("a")}, {QStringLiteral("b")});
        const TSettingsRecord Saved = DecodeSettings(ReadBytesFile(D.SettingsFile())).Record;
        QCOMPARE(Saved.LeftHistory, QStringList{D.PathOf(QStringLiteral("left.txt"))});
        QCOMPARE(Saved.RightHistory, QStringList{D.PathOf(QStringLiteral("right.txt"))});
    }

    // ---- The dialog ----

    void DialogControls()
    {
        TWindowDriver D;
        D.Window->setGeometry(60, 50, 700, 500);   // room around it for the dialog on any screen
        TfrmSettings* Dlg = Dialog(D);
        QVERIFY(Dlg);
        QCOMPARE(Dlg->windowTitle(), QStringLiteral("Settings"));
        QVERIFY(Dlg->minimumSize() == Dlg->maximumSize());   // a fixed border
        QVERIFY(Dlg->width() >= 608 && Dlg->height() >= 261);

        const QList<std::pair<const char*, QString>> Captions{
            {"GroupBox1", QStringLiteral("Comparison")},
            {"chkIgnoreCase", QStringLiteral("Ignore case")},
            {"chkIgnoreWhitespace", QStringLiteral("Ignore all whitespaces ")},
            {"chkIgnoreWSAmount", QStringLiteral("Ignore changes in amount of white space in line")},
            {"chkIgnoreTrailingWS", QStringLiteral("Ignore trailing white space")},
            {"chkIgnoreLeadingWS", QStringLiteral("Ignore leading white space")},
            {"chkIgnoreBlankLines", QStringLiteral("Ignore blank lines")},
            {"GroupBox2", QStringLiteral("Grid")},
            {"chkShowLineNumbers", QStringLiteral("Show Line Numbers")},
            {"chkShowGridLines", QStringLiteral("Show Grid Lines")},
            {"btnChangeFont", QStringLiteral("Change Font...")},
            {"Button3", QStringLiteral("Set Defaults")},
            {"Button1", QStringLiteral("OK")},
            {"Button2", QStringLiteral("Cancel")},
        };
        for (const auto& [Name, Caption] : Captions) {
            QWidget* Widget = Dlg->findChild<QWidget*>(QLatin1String(Name));
            QVERIFY2(Widget, Name);
            const QString Text = qobject_cast<QGroupBox*>(Widget) ? qobject_cast<QGroupBox*>(Widget)->title()
                                                                  : qobject_cast<QAbstractButton*>(Widget)->text();
            QCOMPARE(Text, Caption);
        }

        WithSettingsDialog(D, [&](TfrmSettings& S) {
            // Swatches: 126 x 22, hand cursor, top to bottom in order, each with its label to its left.
            const QList<std::pair<const char*, QString>> Labels{{"btnColorAddedLines", QStringLiteral(" Added Lines:")},
                                                                {"btnColorRemovedLines", QStringLiteral("Removed Lines:")},
                                                                {"btnColorChangedLines", QStringLiteral("Changed Lines:")},
                                                                {"btnColorDifferentTextInLine",
                                                                 QStringLiteral("Different text (bkgr):")}};
            int LastY = -1;
            for (const auto& [Name, Caption] : Labels) {
                auto* Swatch = Control<TColorSwatch>(S, Name);
                QCOMPARE(Swatch->size(), QSize(126, 22));
                QCOMPARE(Swatch->cursor().shape(), Qt::PointingHandCursor);
                const QPoint At = Swatch->mapTo(&S, QPoint(0, 0));
                QVERIFY(At.y() > LastY);
                LastY = At.y();
                QLabel* Label = nullptr;
                for (QLabel* Candidate : S.findChildren<QLabel*>())
                    if (Candidate->buddy() == Swatch)
                        Label = Candidate;
                QVERIFY(Label);
                QCOMPARE(Label->text(), Caption);
                QVERIFY(Label->mapTo(&S, QPoint(0, 0)).x() < At.x());
            }
            // The option boxes, top to bottom in their order; OK and Cancel right of Set Defaults.
            int Y = -1;
            for (const char* Name : OptionBoxes) {
                const int At = Control<QCheckBox>(S, Name)->mapTo(&S, QPoint(0, 0)).y();
                QVERIFY2(At > Y, Name);
                Y = At;
            }
            const auto X = [&](const char* Name) { return Control<QPushButton>(S, Name)->mapTo(&S, QPoint(0, 0)).x(); };
            QVERIFY(X("Button3") < X("Button1") && X("Button1") < X("Button2"));
            // The first showing stands centred over the main window.
            const QPoint Centre = S.frameGeometry().center();
            const QPoint MainCentre = D.Window->frameGeometry().center();
            QVERIFY2((Centre - MainCentre).manhattanLength() <= 4, qPrintable(QStringLiteral("%1,%2 vs %3,%4")
                                                                                   .arg(Centre.x())
                                                                                   .arg(Centre.y())
                                                                                   .arg(MainCentre.x())
                                                                                   .arg(MainCentre.y())));
            S.move(S.pos() + QPoint(37, 21));
        });
        const QPoint Moved = Dlg->pos();
        WithSettingsDialog(D, [&](TfrmSettings& S) { QCOMPARE(S.pos(), Moved); });
    }

    void CancelAfterChangingEveryControl()
    {
        TWindowDriver D;
        D.CompareLines({QStringLiteral("A"), QStringLiteral("x")}, {QStringLiteral("a"), QStringLiteral("x")});
        D.Window->Timer1Timer();   // the layout rule sizes column 2 for the new rows first
        const TSettingsRecord Before = WindowSettings(D);
        const QString Status = D.Status();
        const int Job = D.Window->FDiffRecomputeJobId;
        WithSettingsDialog(D, [&](TfrmSettings& S) {
            ChangeEveryControl(D, S);
            ClickCancel(S);
        });
        QCOMPARE(WindowSettings(D), Before);
        QCOMPARE(D.Status(), Status);
        QCOMPARE(D.Window->FDiffRecomputeJobId, Job);

        // The next showing shows the window's values again, not what was cancelled.
        WithSettingsDialog(D, [&](TfrmSettings& S) {
            for (const char* Name : OptionBoxes)
                QVERIFY2(!Control<QCheckBox>(S, Name)->isChecked(), Name);
            QVERIFY(Control<QCheckBox>(S, "chkShowLineNumbers")->isChecked());
            QCOMPARE(Control<TColorSwatch>(S, "btnColorAddedLines")->Value(), DefaultColorAddedLines);
            QCOMPARE(Control<TColorSwatch>(S, "btnFontColor")->Value(), ColorWindowText);
            QCOMPARE(S.FontDialog1.Font.family(), QStringLiteral("Courier New"));
            // The close button leaves the flag at 0 as well.
            Toggle(Control<QCheckBox>(S, "chkIgnoreCase"));
            S.close();
        });
        QCOMPARE(WindowSettings(D), Before);
    }

    void OkAppliesEveryControl()
    {
        TWindowDriver D;
        D.CompareLines({QStringLiteral("A"), QStringLiteral("x")}, {QStringLiteral("a"), QStringLiteral("x")});
        QCOMPARE(D.Window->FDiffItems.size(), 2);
        QCOMPARE(D.Window->FDiffItems[0].Kind, dkDifferent);
        WithSettingsDialog(D, [&](TfrmSettings& S) {
            ChangeEveryControl(D, S);
            ClickOk(S);
        });
        TfrmMain& W = *D.Window;
        QVERIFY(W.fIgnoreCase && W.fIgnoreWhitespace && W.fIgnoreWSAmount && W.fIgnoreTrailingWS && W.fIgnoreLeadingWS
                && W.fIgnoreBlankLiness);
        QCOMPARE(W.grdDiff->ColWidths(0), 0);
        QVERIFY(W.StaticText1->isHidden());
        QVERIFY(!(W.grdDiff->Options() & goHorzLine));
        QCOMPARE(W.grdDiff->font().family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(W.GridFontSize(), 20);
        QCOMPARE(W.fColorAddedLines, 0x00030201u);
        QCOMPARE(W.fColorRemovedLines, 0x00060504u);
        QCOMPARE(W.fColorChangedLines, 0x00090807u);
        QCOMPARE(W.fColorDifferentTextInLine, 0x000C0B0Au);
        QCOMPARE(W.FGridFontColor, 0x000F0E0Du);
        QCOMPARE(W.grdDiff->palette().color(QPalette::Text), QColor(13, 14, 15));
        // Column 1 follows the resize rule for the new column 0.
        QCOMPARE(W.grdDiff->ColWidths(1), qRound(W.grdDiff->GridWidth() / 2.0));
        // The new options reach the rows: with case ignored, "A" and "a" are equal.
        QVERIFY(D.WaitForRecompute());
        QCOMPARE(W.FDiffItems.size(), 2);
        QCOMPARE(W.FDiffItems[0].Kind, dkEqual);
    }

    void OkWithoutChangeStillRecomputes()
    {
        TWindowDriver D;
        D.CompareLines({QStringLiteral("a"), QStringLiteral("b")}, {QStringLiteral("a"), QStringLiteral("c")});
        D.Window->SetStatus(QStringLiteral("something else"));
        const int Job = D.Window->FDiffRecomputeJobId;
        const TSettingsRecord Before = WindowSettings(D);
        WithSettingsDialog(D, [](TfrmSettings& S) { ClickOk(S); });
        QCOMPARE(D.Window->FDiffRecomputeJobId, Job + 1);
        QVERIFY(D.Status().startsWith(QStringLiteral("2 lines (left file) vs 2 lines (right file). Equal lines: 1 of 2")));
        QVERIFY(D.WaitForRecompute());
        TSettingsRecord After = WindowSettings(D);
        QCOMPARE(After.ShowLineNumbers, true);
        QCOMPARE(D.Window->grdDiff->ColWidths(0), 120);   // turned on again: 120, not the design 100
        After.ColWidth1 = Before.ColWidth1;
        After.ColWidth2 = Before.ColWidth2;
        QCOMPARE(After, Before);
    }

    void OkInFolderMode()
    {
        TWindowDriver D;
        const QString L = D.MakeFolder(QStringLiteral("l"));
        const QString R = D.MakeFolder(QStringLiteral("r"));
        WriteBytesFile(L, QStringLiteral("f.txt"), "1");
        WriteBytesFile(R, QStringLiteral("f.txt"), "22");
        D.SetPaths(L, R);
        D.Trigger("miAsFolders1");
        D.Platform.Clear();
        QVERIFY(D.Window->FFolderMode);
        const QString Status = D.Status();
        const int Job = D.Window->FDiffRecomputeJobId;
        WithSettingsDialog(D, [&](TfrmSettings& S) {
            Toggle(Control<QCheckBox>(S, "chkShowLineNumbers"));
            D.Platform.ColorAnswers = {QColor(200, 0, 0)};
            QTest::mouseClick(Control<TColorSwatch>(S, "btnColorChangedLines"), Qt::LeftButton);
            ClickOk(S);
        });
        QCOMPARE(D.Window->grdDiff->ColWidths(0), 0);
        QCOMPARE(D.Window->fColorChangedLines, 0x000000C8u);
        QCOMPARE(D.Window->grdDiff->ColWidths(1), qRound(D.Window->grdDiff->GridWidth() / 2.0));
        QCOMPARE(D.Window->FDiffRecomputeJobId, Job);
        QCOMPARE(D.Status(), Status);
        QVERIFY(D.Window->FFolderMode);
    }

    void OkBeforeAnyComparison()
    {
        TWindowDriver D;
        WithSettingsDialog(D, [](TfrmSettings& S) { ClickOk(S); });
        QCOMPARE(D.Status(), QStringLiteral("0 lines (left file) vs 0 lines (right file). No comparable lines."));
        QVERIFY(!D.Window->FDiffRecomputeInProgress);
        QVERIFY(D.Platform.Messages.isEmpty());
    }

    void SetDefaults_data()
    {
        QTest::addColumn<bool>("Ok");
        QTest::newRow("then OK") << true;
        QTest::newRow("then Cancel") << false;
    }
    void SetDefaults()
    {
        QFETCH(bool, Ok);
        TWindowDriver D(false);
        Restart(D, EncodeSettings(NonDefaultRecord()), true);
        const TSettingsRecord Before = WindowSettings(D);
        WithSettingsDialog(D, [&](TfrmSettings& S) {
            QTest::mouseClick(Control<QPushButton>(S, "Button3"), Qt::LeftButton);
            Ok ? ClickOk(S) : ClickCancel(S);
        });
        TSettingsRecord Expected = Before;
        if (Ok) {
            const TSettingsRecord Defaults;
            Expected.IgnoreWhitespace = Expected.IgnoreWSAmount = Expected.IgnoreLeadingWS = false;
            Expected.IgnoreTrailingWS = Expected.IgnoreBlankLines = Expected.IgnoreCase = false;
            Expected.ShowLineNumbers = Expected.ShowGridLines = true;
            Expected.FontColor = ColorWindowText;
            Expected.FontSize = DefaultFontSize;
            Expected.FontName = QStringLiteral("Courier New");
            Expected.ColorAddedLines = Defaults.ColorAddedLines;
            Expected.ColorRemovedLines = Defaults.ColorRemovedLines;
            Expected.ColorChangedLines = Defaults.ColorChangedLines;
            Expected.ColorDifferentTextInLine = Defaults.ColorDifferentTextInLine;
            QCOMPARE(D.Window->grdDiff->ColWidths(0), 120);
            QCOMPARE(D.Window->grdDiff->font().pixelSize(), 15);
        }
        TSettingsRecord After = WindowSettings(D);
        After.ColWidth1 = Expected.ColWidth1;   // the layout rules' (column 1 on OK, column 2 on the timer)
        After.ColWidth2 = Expected.ColWidth2;
        QCOMPARE(After, Expected);
    }

    void OnlyColourSizeAndFaceOfTheFontReachTheGrid()
    {
        TWindowDriver D;
        QFont Chosen(QStringLiteral("DejaVu Serif"));
        Chosen.setPointSize(13);
        Chosen.setBold(true);
        Chosen.setItalic(true);
        Chosen.setUnderline(true);
        D.Platform.FontAnswers = {Chosen};
        WithSettingsDialog(D, [&](TfrmSettings& S) {
            QTest::mouseClick(Control<QPushButton>(S, "btnChangeFont"), Qt::LeftButton);
            QCOMPARE(Control<QLabel>(S, "lblFont")->text(), QStringLiteral("DejaVu Serif, 13 pt"));
            ClickOk(S);
        });
        const QFont Grid = D.Window->grdDiff->font();
        QCOMPARE(Grid.family(), QStringLiteral("DejaVu Serif"));
        QCOMPARE(D.Window->GridFontSize(), 13);
        QVERIFY(!Grid.bold() && !Grid.italic() && !Grid.underline());
        // The chooser keeps its style for the next showing; a cancelled chooser changes nothing.
        WithSettingsDialog(D, [&](TfrmSettings& S) {
            QVERIFY(S.FontDialog1.Font.bold());
            D.Platform.FontAnswers = {std::nullopt};
            QTest::mouseClick(Control<QPushButton>(S, "btnChangeFont"), Qt::LeftButton);
            QCOMPARE(S.FontDialog1.Font.family(), QStringLiteral("DejaVu Serif"));
            ClickOk(S);
        });
        QCOMPARE(D.Window->grdDiff->font().family(), QStringLiteral("DejaVu Serif"));
    }

    void AnyMouseButtonOrKeyOnASwatchOpensTheChooser_data()
    {
        QTest::addColumn<int>("Button");   // 0: the Space key
        QTest::newRow("left") << int(Qt::LeftButton);
        QTest::newRow("right") << int(Qt::RightButton);
        QTest::newRow("middle") << int(Qt::MiddleButton);
        QTest::newRow("space key") << 0;
    }
    void AnyMouseButtonOrKeyOnASwatchOpensTheChooser()
    {
        QFETCH(int, Button);
        TWindowDriver D;
        WithSettingsDialog(D, [&](TfrmSettings& S) {
            auto* Swatch = Control<TColorSwatch>(S, "btnColorRemovedLines");
            D.Platform.ColorAnswers = {QColor(0x12, 0x34, 0x56), QColor()};
            if (Button)
                QTest::mouseClick(Swatch, Qt::MouseButton(Button));
            else
                QTest::keyClick(Swatch, Qt::Key_Space);
            QCOMPARE(Swatch->Value(), 0x00563412u);
            // A cancelled chooser leaves the colour.
            QTest::mouseClick(Swatch, Qt::LeftButton);
            QCOMPARE(Swatch->Value(), 0x00563412u);
            QVERIFY(D.Platform.ColorAnswers.isEmpty());
            ClickOk(S);
        });
        QCOMPARE(D.Window->fColorRemovedLines, 0x00563412u);
    }

    void OkThenClosingWritesTheNewValues()
    {
        TWindowDriver D;
        WithSettingsDialog(D, [&](TfrmSettings& S) {
            Toggle(Control<QCheckBox>(S, "chkIgnoreBlankLines"));
            Toggle(Control<QCheckBox>(S, "chkShowGridLines"));
            D.Platform.ColorAnswers = {QColor(9, 8, 7)};
            QTest::mouseClick(Control<TColorSwatch>(S, "btnColorDifferentTextInLine"), Qt::RightButton);
            ClickOk(S);
        });
        D.Window.reset();
        const TDecodedSettings Saved = DecodeSettings(ReadBytesFile(D.SettingsFile()));
        QVERIFY(Saved.Complete());
        QVERIFY(Saved.Record.IgnoreBlankLines);
        QVERIFY(!Saved.Record.ShowGridLines);
        QCOMPARE(Saved.Record.ColorDifferentTextInLine, 0x00070809u);
    }
};

QTEST_MAIN(TestWindowSettings)
#include "tst_window_settings.moc"
