// The settings file and the settings dialog: LoadSettings and SaveSettings move values between
// the window and the settings record; btnSettingsClick fills the dialog and applies what it
// returns; the window is placed on a display when it is first shown.

#include "app/ComparisonSummary.h"
#include "app/MainForm.h"
#include "app/PathHistory.h"
#include "app/SettingsBindings.h"
#include "app/SettingsDialog.h"
#include "app/WindowPlacement.h"
#include "grid/DiffCellDrawing.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsRecord.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QScreen>
#include <QElapsedTimer>
#include <QShowEvent>
#include <QTimer>

namespace {

constexpr int LineNumberColumnWidth = 120;   // what a file or the dialog turning line numbers on gives
constexpr int DesignColWidth1 = 432;
constexpr int DesignColWidth2 = 573;

// What is read is applied as read, except values no window or grid can use: these are brought
// into a range that stays visible and usable.
constexpr int MinWindowWidth = 400;
constexpr int MinWindowHeight = 300;
constexpr int MaxWindowExtent = 16384;    // X11 coordinates are 16-bit; no display is larger
constexpr int MaxColumnWidth = 16384;
constexpr int MaxFontSize = 200;          // points

[[nodiscard]] int SoundColumnWidth(std::int32_t Width, int Design)
{
    return Width <= 0 ? Design : qMin(Width, MaxColumnWidth);
}

void SetHistory(QComboBox& Box, const QStringList& Entries)
{
    // The typed path stays: adding items to an empty box would show the first one.
    const QString EditText = Box.currentText();
    Box.clear();
    Box.addItems(Entries);
    Box.setEditText(EditText);
}

[[nodiscard]] QStringList HistoryOf(const QComboBox& Box)
{
    QStringList Entries;
    Entries.reserve(Box.count());
    for (int I = 0; I < Box.count(); ++I)
        Entries.append(Box.itemText(I));
    return Entries;
}

}   // namespace

// ---------------------------------------------------------------------------------------------
// The grid's appearance, shared by the file and the dialog

int TfrmMain::GridFontSize() const
{
    return FontPointSize(grdDiff->font(), grdDiff->logicalDpiY());
}

void TfrmMain::SetGridFont(const QString& Name, int Points)
{
    QFont Font = grdDiff->font();
    if (!Name.isEmpty())
        Font.setFamily(Name);
    SetFontPointSize(Font, Points <= 0 ? DefaultFontSize : qMin(Points, MaxFontSize), grdDiff->logicalDpiY());
    grdDiff->setFont(Font);
    UpdateAllRowHeights();
}

void TfrmMain::SetGridFontColor(std::uint32_t Value)
{
    // The text colour of the grid's palette: the cell drawing writes body and header text and the
    // selection frame in it. A system colour comes from the application's palette, not the grid's.
    FGridFontColor = Value;
    QPalette Palette = grdDiff->palette();
    Palette.setColor(QPalette::Text, ColorFromValue(Value, QApplication::palette(grdDiff)));
    grdDiff->setPalette(Palette);
}

void TfrmMain::SetShowLineNumbers(bool Show)
{
    grdDiff->SetColWidths(0, Show ? LineNumberColumnWidth : 0);
    StaticText1->setVisible(Show);
}

void TfrmMain::SetShowGridLines(bool Show)
{
    grdDiff->SetOptions(Show ? grdDiff->Options() | goHorzLine : grdDiff->Options() & ~unsigned(goHorzLine));
}

// ---------------------------------------------------------------------------------------------
// The settings file

TSettingsRecord TfrmMain::SettingsFromWindow() const
{
    TSettingsRecord R;
    R.LeftBrowseFolder = dlgOpen1.InitialDir;
    R.RightBrowseFolder = dlgopen2.InitialDir;
    for (const TOptionBinding& B : OptionBindings)
        R.*B.Record = this->*B.Window;
    R.ShowLineNumbers = grdDiff->ColWidths(0) > 0;
    R.ShowGridLines = (grdDiff->Options() & goHorzLine) != 0;
    R.FontColor = FGridFontColor;
    R.FontSize = GridFontSize();
    R.FontName = grdDiff->font().family();
    for (const TColorBinding& B : ColorBindings)
        R.*B.Record = this->*B.Window;
    R.LeftHistory = HistoryOf(*cmbLeft);
    R.RightHistory = HistoryOf(*cmbRight);
    R.Maximized = isMaximized();
    // Left and Top are the frame's corner, Width and Height the window's own area: the pair Qt
    // moves and sizes by, so a window comes back at its size without growing by its frame.
    R.Left = x();
    R.Top = y();
    R.Width = width();
    R.Height = height();
    R.ColWidth1 = grdDiff->ColWidths(1);
    R.ColWidth2 = grdDiff->ColWidths(2);
    return R;
}

void TfrmMain::ApplySettings(const TDecodedSettings& Settings)
{
    const TSettingsRecord& R = Settings.Record;
    const auto Has = [&Settings](TSettingsField Field) { return Settings.Has(Field); };

    if (Has(sfLeftBrowseFolder))
        dlgOpen1.InitialDir = R.LeftBrowseFolder;
    if (Has(sfRightBrowseFolder))
        dlgopen2.InitialDir = R.RightBrowseFolder;
    for (const TOptionBinding& B : OptionBindings)
        if (Has(B.Field))
            this->*B.Window = R.*B.Record;
    if (Has(sfShowLineNumbers))
        SetShowLineNumbers(R.ShowLineNumbers);
    if (Has(sfShowGridLines))
        SetShowGridLines(R.ShowGridLines);
    if (Has(sfFontColor))
        SetGridFontColor(R.FontColor);
    if (Has(sfFontSize))
        SetGridFont(QString(), R.FontSize);
    if (Has(sfFontName))
        SetGridFont(R.FontName, GridFontSize());
    for (const TColorBinding& B : ColorBindings)
        if (Has(B.Field))
            this->*B.Window = R.*B.Record;
    if (Has(sfLeftHistoryCount))   // a list cut short brings the entries that were whole
        SetHistory(*cmbLeft, R.LeftHistory);
    if (Has(sfRightHistoryCount))
        SetHistory(*cmbRight, R.RightHistory);
    if (Has(sfMaximized) && R.Maximized)
        setWindowState(windowState() | Qt::WindowMaximized);

    const bool Bounds = !(windowState() & Qt::WindowMaximized);
    const auto Coordinate = [](std::int32_t V) { return qBound(-MaxWindowExtent, int(V), MaxWindowExtent); };
    if (Bounds && Has(sfLeft))
        move(Coordinate(R.Left), y());
    if (Bounds && Has(sfTop))
        move(x(), Coordinate(R.Top));
    if (Bounds && Has(sfWidth))
        resize(qBound(MinWindowWidth, int(R.Width), MaxWindowExtent), height());
    if (Bounds && Has(sfHeight))
        resize(width(), qBound(MinWindowHeight, int(R.Height), MaxWindowExtent));
    FSizeFromFile = Bounds && Has(sfWidth);

    if (Has(sfColWidth1))
        grdDiff->SetColWidths(1, SoundColumnWidth(R.ColWidth1, DesignColWidth1));
    if (Has(sfColWidth2))
        grdDiff->SetColWidths(2, SoundColumnWidth(R.ColWidth2, DesignColWidth2));
}

void TfrmMain::LoadSettings()
{
    const TSettingsFileContent Content = ReadSettingsFile(SettingsFileName);
    if (Content.State == TSettingsFileState::Missing) {
        if (const QScreen* Screen = QGuiApplication::primaryScreen())
            move(CentredOnScreen(Screen->geometry().size(), size()));
        return;
    }
    if (Content.State == TSettingsFileState::Unreadable)
        return;   // only the placement at first show applies
    const TDecodedSettings Settings = DecodeSettings(Content.Bytes);
    // A damaged file is read as far as it goes and replaced at the next save; its bytes are kept
    // beside it first, so nothing the user had is lost without a trace.
    if (!Settings.Complete())
        (void)WriteSettingsFile(SettingsFileName + QStringLiteral(".damaged"), Content.Bytes);
    ApplySettings(Settings);
}

void TfrmMain::MergeWithStoredSettings(TSettingsRecord& Record, const TDecodedSettings& Stored, bool KeepStoredPlacement)
{
    const TSettingsRecord& File = Stored.Record;
    if (Stored.Has(sfLeftHistoryCount))
        MergeHistory(Record.LeftHistory, File.LeftHistory);
    if (Stored.Has(sfRightHistoryCount))
        MergeHistory(Record.RightHistory, File.RightHistory);
    if (!KeepStoredPlacement)
        return;
    if (Stored.Has(sfMaximized))
        Record.Maximized = File.Maximized;
    if (Stored.Has(sfLeft))
        Record.Left = File.Left;
    if (Stored.Has(sfTop))
        Record.Top = File.Top;
    if (Stored.Has(sfWidth))
        Record.Width = File.Width;
    if (Stored.Has(sfHeight))
        Record.Height = File.Height;
}

void TfrmMain::SaveSettings()
{
    TSettingsRecord Record = SettingsFromWindow();
    // Other windows of this process may have written since this one read the file: their history
    // entries stay behind this window's, and a window placed by its opener keeps their placement.
    const TSettingsFileContent Stored = ReadSettingsFile(SettingsFileName);
    if (Stored.State == TSettingsFileState::Read)
        MergeWithStoredSettings(Record, DecodeSettings(Stored.Bytes), FKeepsStoredPlacement);
    (void)WriteSettingsFile(SettingsFileName, EncodeSettings(Record));
}

// ---------------------------------------------------------------------------------------------
// Placement when first shown

void TfrmMain::showEvent(QShowEvent* Event)
{
    QWidget::showEvent(Event);
    if (FPlacedOnDisplay || FKeepsStoredPlacement || Event->spontaneous())
        return;
    FPlacedOnDisplay = true;
    PlaceOnNearestDisplay();
    if (frameGeometry() != geometry() || isMaximized() || isFullScreen())
        return;
    // A window manager adds its frame only after the window is mapped (within a few tens of
    // milliseconds), so the first centring went by the window's own area. Centre once more when
    // the frame is known, unless the window was maximized meanwhile; give up after two seconds.
    auto* Poll = new QTimer(this);
    Poll->setInterval(20);
    QElapsedTimer Clock;
    Clock.start();
    connect(Poll, &QTimer::timeout, this, [this, Poll, Clock] {
        const bool Framed = frameGeometry() != geometry();
        if (Framed && !isMaximized() && !isFullScreen())
            PlaceOnNearestDisplay();
        if (Framed || Clock.hasExpired(2000) || isMaximized()) {
            Poll->stop();
            Poll->deleteLater();
        }
    });
    Poll->start();
}

void TfrmMain::PlaceOnNearestDisplay()
{
    QList<QRect> Screens;
    QList<QRect> WorkAreas;
    for (const QScreen* Screen : QGuiApplication::screens()) {
        Screens.append(Screen->geometry());
        WorkAreas.append(Screen->availableGeometry());
    }
    const QRect Frame = frameGeometry();
    const qsizetype Nearest = NearestDisplay(Screens, Frame);
    if (Nearest < 0)
        return;
    // The design size is kept, and one larger than the work area keeps its title bar on it. A size
    // read from the file that no display can hold (saved on a larger display, or damaged) is
    // fitted to the work area, frame included, and so saved as shown.
    QSize FrameSize = Frame.size();
    if (FSizeFromFile) {
        const QSize Fitted = FittedToWorkArea(WorkAreas[Nearest], Frame.size(), size());
        FrameSize += Fitted - size();
        if (Fitted != size())
            resize(Fitted);
    }
    move(CentredOnWorkArea(WorkAreas[Nearest], FrameSize));
}

// ---------------------------------------------------------------------------------------------
// The settings dialog

void TfrmMain::btnSettingsClick()
{
    TfrmSettings& Dialog = *frmSettings;

    // 1. Fill the dialog from the window.
    for (const TOptionBinding& B : OptionBindings)
        (Dialog.*B.Box)->setChecked(this->*B.Window);
    Dialog.chkShowLineNumbers->setChecked(grdDiff->ColWidths(0) > 0);
    Dialog.chkShowGridLines->setChecked((grdDiff->Options() & goHorzLine) != 0);
    Dialog.FontDialog1.Color = FGridFontColor;
    Dialog.FontDialog1.Font.setFamily(grdDiff->font().family());
    SetFontPointSize(Dialog.FontDialog1.Font, GridFontSize(), grdDiff->logicalDpiY());
    Dialog.ShowFontChoice();
    for (const TColorBinding& B : ColorBindings)
        (Dialog.*B.Swatch)->SetValue(this->*B.Window);

    // 2-3. Modal; anything but OK changes nothing.
    Dialog.exec();
    if (Dialog.Tag != 1)
        return;

    // 4-7. Options, colours, line numbers, grid lines, font colour, size and face (not its style).
    for (const TOptionBinding& B : OptionBindings)
        this->*B.Window = (Dialog.*B.Box)->isChecked();
    for (const TColorBinding& B : ColorBindings)
        this->*B.Window = (Dialog.*B.Swatch)->Value();
    SetShowLineNumbers(Dialog.chkShowLineNumbers->isChecked());
    SetShowGridLines(Dialog.chkShowGridLines->isChecked());
    SetGridFontColor(Dialog.FontDialog1.Color);
    SetGridFont(Dialog.FontDialog1.Font.family(), FontPointSize(Dialog.FontDialog1.Font, grdDiff->logicalDpiY()));

    // 8. The resize rule lays out column 1 for the new column 0.
    FormResize();
    grdDiff->viewport()->update();

    // 9-11. Folder rows stay as they are; text rows are recomputed with the new options.
    if (FFolderMode)
        return;
    RecomputeDiffAsync();
    ShowComparisonSummary(LineCountPrefix(FLeftLines.size(), FRightLines.size()), false);
}
