// The merge window's start: its controls, the loading and merging of the three files, and
// the exit status the process ends with.

#include "mergewin/MergeForm.h"

#include "grid/RowHeights.h"
#include "mergewin/MergeResultEdit.h"
#include "settings/SettingsFile.h"
#include "text/SideSave.h"

#include <QApplication>
#include <QScreen>
#include <QCloseEvent>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QTimer>
#include <QToolButton>
#include <QTextDocument>
#include <QThread>
#include <QVBoxLayout>

#include <exception>
#include <thread>

namespace {

// The settings as the two-file window last wrote them; defaults when there is no file.
[[nodiscard]] TSettingsRecord ReadSettingsReadOnly()
{
    const TSettingsFileContent Content = ReadSettingsFile(GetSettingsFileName());
    if (Content.State != TSettingsFileState::Read)
        return {};
    return DecodeSettings(Content.Bytes).Record;
}

[[nodiscard]] TDiffOptions DiffOptionsOf(const TSettingsRecord& S)
{
    TDiffOptions Options{};
    Options.IgnoreCase = S.IgnoreCase;
    Options.IgnoreAllWhiteSpace = S.IgnoreWhitespace;
    Options.IgnoreWsAmount = S.IgnoreWSAmount;
    Options.IgnoreLeadingWhiteSpace = S.IgnoreLeadingWS;
    Options.IgnoreTrailingWhiteSpace = S.IgnoreTrailingWS;
    Options.IgnoreBlankLines = S.IgnoreBlankLines;
    return Options;
}

// A conflict marker's label: git's role for its temporary files, else the file's name.
[[nodiscard]] QString MarkerLabel(const QString& Path)
{
    const TGitTempName Git = GitTempName(Path);
    return Git.Role.isEmpty() ? QFileInfo(Path).fileName() : Git.Role;
}

}   // namespace

TfrmMerge::TfrmMerge(const TMergeFiles& Files, TPlatform& APlatform, QWidget* Parent)
    : QWidget(Parent)
    , Platform(APlatform)
    , FFiles(Files)
    , FSettings(ReadSettingsReadOnly())
{
    setObjectName(QStringLiteral("frmMerge"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowIcon(QIcon(QStringLiteral(":/packaging/io.github.quorlane.Quorlane.svg")));
    const QString Merged = FFiles.Output.isEmpty() ? FFiles.Local : FFiles.Output;
    const TGitTempName Git = GitTempName(Merged);
    setWindowTitle(QStringLiteral("%1 - Quorlane 1.0 merge").arg(Git.Name.isEmpty() ? QFileInfo(Merged).fileName() : Git.Name));
    FGridFont = QFont(FSettings.FontName.isEmpty() ? QString::fromLatin1(DefaultGridFontName) : FSettings.FontName);
    FGridFont.setPointSize(FSettings.FontSize > 0 ? FSettings.FontSize : 11);
    FBaseRowHeight = BaseRowHeightFor(FGridFont);
    CreateControls();
    ConnectCommands();
    const QRect Screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                          : QRect(0, 0, 1400, 1000);
    resize(std::min(1300, Screen.width() * 9 / 10), std::min(900, Screen.height() * 9 / 10));
}

TfrmMerge::~TfrmMerge()
{
    // The child widgets are torn down after this class's part is gone, and the result editor still
    // signals then (an update request as it loses its document): nothing may reach this window.
    for (QObject* Child : findChildren<QObject*>())
        Child->disconnect(this);
}

void TfrmMerge::CreateControls()
{
    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(4, 4, 4, 4);
    auto* Bar = new QHBoxLayout;
    Layout->addLayout(Bar);
    auto Button = [&](QToolButton*& Field, const char* Name, const QString& Text, const QString& Tip) {
        Field = new QToolButton(this);
        Field->setObjectName(QString::fromLatin1(Name));
        Field->setText(Text);
        Field->setToolTip(Tip);
        Field->setAutoRaise(true);
        Bar->addWidget(Field);
    };
    Button(btnPrevConflict, "btnPrevConflict", QStringLiteral("\u25B2 Conflict"), QStringLiteral("Previous conflict (Ctrl+Up, F7)"));
    Button(btnNextConflict, "btnNextConflict", QStringLiteral("\u25BC Conflict"), QStringLiteral("Next conflict (Ctrl+Down, F8)"));
    Button(btnNextUnresolved, "btnNextUnresolved", QStringLiteral("\u25BC Unresolved"),
           QStringLiteral("Next unresolved conflict (Ctrl+Shift+Down)"));
    Button(btnPrevRuleResolved, "btnPrevRuleResolved", QStringLiteral("\u25B2 By rule"),
           QStringLiteral("Previous change resolved by a rule (Ctrl+Shift+R)"));
    Button(btnNextRuleResolved, "btnNextRuleResolved", QStringLiteral("\u25BC By rule"),
           QStringLiteral("Next change resolved by a rule, for review (Ctrl+R)"));
    Bar->addSpacing(16);
    Button(btnTakeLocal, "btnTakeLocal", QStringLiteral("Take LOCAL"), QStringLiteral("The selected chunk takes LOCAL's lines (Ctrl+1)"));
    Button(btnTakeBase, "btnTakeBase", QStringLiteral("Take BASE"), QStringLiteral("The selected chunk takes BASE's lines (Ctrl+2)"));
    Button(btnTakeRemote, "btnTakeRemote", QStringLiteral("Take REMOTE"),
           QStringLiteral("The selected chunk takes REMOTE's lines (Ctrl+3)"));
    Button(btnTakeBoth, "btnTakeBoth", QStringLiteral("Take both"),
           QStringLiteral("LOCAL's lines, then REMOTE's; press again for REMOTE's first (Ctrl+4)"));
    Bar->addSpacing(16);
    Button(btnSaveMerge, "btnSaveMerge", QStringLiteral("Save"), QStringLiteral("Save the result (Ctrl+S)"));
    Bar->addStretch(1);

    splMerge = new QSplitter(Qt::Vertical, this);
    splMerge->setObjectName(QStringLiteral("splMerge"));
    Layout->addWidget(splMerge, 1);

    grdMerge = new TDiffGrid(splMerge);
    grdMerge->setObjectName(QStringLiteral("grdMerge"));
    grdMerge->setFont(FGridFont);
    grdMerge->SetColCount(4);
    grdMerge->SetDefaultRowHeight(FBaseRowHeight);
    grdMerge->SetColWidths(0, FSettings.ShowLineNumbers ? 60 : 0);
    grdMerge->SetOptions(FSettings.ShowGridLines ? goHorzLine : 0u);
    grdMerge->SetRowCount(1);

    edtMergeResult = new TMergeResultEdit(splMerge);
    edtMergeResult->setObjectName(QStringLiteral("edtMergeResult"));
    edtMergeResult->setFont(FGridFont);
    edtMergeResult->setUndoRedoEnabled(true);
    splMerge->setStretchFactor(0, 1);
    splMerge->setStretchFactor(1, 1);

    lblMergeStatus = new QLabel(this);
    lblMergeStatus->setObjectName(QStringLiteral("lblMergeStatus"));
    Layout->addWidget(lblMergeStatus);
}

void TfrmMerge::ConnectCommands()
{
    auto Command = [this](QToolButton* Button, void (TfrmMerge::*Handler)(), std::initializer_list<QKeySequence> Keys) {
        connect(Button, &QToolButton::clicked, this, [this, Handler] { RunCommand([&] { (this->*Handler)(); }); });
        for (const QKeySequence& Key : Keys) {
            auto* Shortcut = new QShortcut(Key, this);
            connect(Shortcut, &QShortcut::activated, Button, &QToolButton::click);
        }
    };
    Command(btnPrevConflict, &TfrmMerge::btnPrevConflictClick, {QKeySequence(Qt::CTRL | Qt::Key_Up), QKeySequence(Qt::Key_F7)});
    Command(btnNextConflict, &TfrmMerge::btnNextConflictClick,
            {QKeySequence(Qt::CTRL | Qt::Key_Down), QKeySequence(Qt::Key_F8)});
    Command(btnNextUnresolved, &TfrmMerge::btnNextUnresolvedClick, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Down)});
    Command(btnPrevRuleResolved, &TfrmMerge::btnPrevRuleResolvedClick, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R)});
    Command(btnNextRuleResolved, &TfrmMerge::btnNextRuleResolvedClick, {QKeySequence(Qt::CTRL | Qt::Key_R)});
    Command(btnTakeLocal, &TfrmMerge::btnTakeLocalClick, {QKeySequence(Qt::CTRL | Qt::Key_1)});
    Command(btnTakeBase, &TfrmMerge::btnTakeBaseClick, {QKeySequence(Qt::CTRL | Qt::Key_2)});
    Command(btnTakeRemote, &TfrmMerge::btnTakeRemoteClick, {QKeySequence(Qt::CTRL | Qt::Key_3)});
    Command(btnTakeBoth, &TfrmMerge::btnTakeBothClick, {QKeySequence(Qt::CTRL | Qt::Key_4)});
    Command(btnSaveMerge, &TfrmMerge::btnSaveMergeClick, {QKeySequence(Qt::CTRL | Qt::Key_S)});

    grdMerge->OnDrawCell = [this](QPainter& Painter, int ACol, int ARow, const QRect& Rect, TGridDrawState) {
        grdMergeDrawCell(Painter, ACol, ARow, Rect);
    };
    grdMerge->OnSelectCell = [this](int, int ARow, bool&) {
        if (ARow >= 1 && ARow < FRows.RowCount() && FRows.Chunk[ARow] != FCurrentChunk)
            SelectChunk(FRows.Chunk[ARow]);
    };
    grdMerge->OnTopLeftChanged = [this] { GridScrolled(); };
    // A dragged column border: the rows are measured again at the new widths.
    grdMerge->OnMouseDown = [this](Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        FWidthsAtPress = {grdMerge->ColWidths(1), grdMerge->ColWidths(2), grdMerge->ColWidths(3)};
    };
    grdMerge->OnMouseUp = [this](Qt::MouseButton, Qt::KeyboardModifiers, int, int) {
        if (FWidthsAtPress != QList<int>{grdMerge->ColWidths(1), grdMerge->ColWidths(2), grdMerge->ColWidths(3)})
            UpdateAllRowHeights();
    };
    grdMerge->viewport()->installEventFilter(this);

    connect(edtMergeResult, &TMergeResultEdit::UndoRequested, this, &TfrmMerge::UndoResult);
    connect(edtMergeResult, &TMergeResultEdit::RedoRequested, this, &TfrmMerge::RedoResult);
    connect(edtMergeResult->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { ResultScrolled(); });
    connect(edtMergeResult, &QPlainTextEdit::cursorPositionChanged, this, &TfrmMerge::ResultCursorMoved);
    // Resizing and the first layout change which lines are shown: their marks follow.
    connect(edtMergeResult, &QPlainTextEdit::updateRequest, this, [this] { RefreshResultMarks(); });
    connect(edtMergeResult, &TMergeResultEdit::Resized, this, [this] {
        FMarkedFirst = -1;   // laid again: the lines shown may be the same numbers with other geometry
        RefreshResultMarks();
        // The window manager's first sizing settles after the event that announced it.
        QTimer::singleShot(0, this, [this] {
            FMarkedFirst = -1;
            RefreshResultMarks();
        });
    });
    edtMergeResult->LineMark = [this](int Line) {
        const int Chunk = ChunkOfResultLine(Line);
        const QColor Color = ChunkColor(Chunk);
        // The selected chunk's mark is darker, so the take commands' target shows in the text too.
        return Chunk == FCurrentChunk && Color.isValid() ? Color.darker(160) : Color;
    };
    edtMergeResult->ToolTipAt = [this](int Position) {
        const int Chunk = ChunkAtPosition(Starts(), Position);
        return Chunk < 0 || FStates[Chunk].Edited || FStates[Chunk].Choice != TMergeChoice::None
                   ? QString()
                   : RuleName(FMerge.Chunks[Chunk].Rule);
    };
}

QString TfrmMerge::HeaderText(const QString& Role, const QString& Path) const
{
    if (Path.isEmpty() || (Role == QLatin1String("BASE") && FInputs.Base.isEmpty() && !QFileInfo(Path).isFile()))
        return QStringLiteral("%1 (none: merged two ways)").arg(Role);
    const TGitTempName Git = GitTempName(Path);
    return Git.Name.isEmpty() ? QStringLiteral("%1: %2").arg(Role, QFileInfo(Path).fileName())
                              : QStringLiteral("%1: %2").arg(Git.Role, Git.Name);
}

void TfrmMerge::LoadAndMerge()
{
    const auto RestorePointer = qScopeGuard([this] { Platform.SetPointer(TPointer::Default); });
    Platform.SetPointer(TPointer::Hourglass);
    TSideState Local, Base, Remote;
    LoadTextFile(FFiles.Local, Local);
    // git gives an add/add conflict an empty or missing base: a merge of two sides.
    if (!FFiles.Base.isEmpty() && QFileInfo::exists(FFiles.Base))
        LoadTextFile(FFiles.Base, Base);
    LoadTextFile(FFiles.Remote, Remote);
    FLocal = std::move(Local);
    FBase = std::move(Base);
    FRemote = std::move(Remote);
    FInputs = {FLocal.Lines, FBase.Lines, FRemote.Lines};

    // Most of the result is LOCAL's text: its document, the slowest part to build, is made on a
    // thread of its own while the merge runs and the grid fills.
    std::unique_ptr<QTextDocument> LocalText;
    std::exception_ptr BuildError;
    QThread* const Here = QThread::currentThread();
    std::thread Builder([this, Here, &LocalText, &BuildError] {
        try {
            LocalText = TextDocumentOf(FInputs.Local, Here);
        } catch (...) {
            BuildError = std::current_exception();
        }
    });
    auto JoinBuilder = qScopeGuard([&Builder] { Builder.join(); });

    TMerge3Options Options;
    Options.Diff = DiffOptionsOf(FSettings);
    FMerge = ComputeMerge3(FInputs.Base, FInputs.Local, FInputs.Remote, Options, FBase.FinalBreak, FLocal.FinalBreak,
                           FRemote.FinalBreak);
    FMarkers.LocalLabel = MarkerLabel(FFiles.Local);
    FMarkers.BaseLabel = MarkerLabel(FFiles.Base);
    FMarkers.RemoteLabel = MarkerLabel(FFiles.Remote);

    // The result is written as LOCAL is: its encoding, mark and line breaks.
    FResult = TSideState();
    FResult.Encoding = FLocal.Encoding;
    FResult.HasBOM = FLocal.HasBOM;
    FResult.EncName = FLocal.EncName;
    FResult.LineBreak = FLocal.LineBreak;
    FResult.PureAscii = FLocal.PureAscii;
    FResult.Source = TSideSource::TextFile;
    FOutput = FFiles.Output;
    // What the result will be written over, as it is now: another program changing it meanwhile
    // is asked about before the save loses that.
    FResult.Loaded = FLocal.Loaded;
    if (!FOutput.isEmpty() && QFileInfo(FOutput).isFile()) {
        try {
            FResult.Loaded = RecordOfRead(FOutput, -1, ReadTextFileBytes(FOutput));
        } catch (const ETextFileError&) {
            FResult.Loaded = TLoadedFile();   // unreadable now: the save reports what it meets
        }
    }

    FillMergeGrid();
    JoinBuilder.dismiss();
    Builder.join();
    if (BuildError)
        std::rethrow_exception(BuildError);
    FillResult(std::move(LocalText));
    // The first conflict, else the first change, is selected; identical inputs select nothing.
    int First = FindMergeChunk(FMerge.Chunks, -1, true, TMergeTarget::Conflict, [](int) { return false; });
    if (First < 0)
        First = FindMergeChunk(FMerge.Chunks, -1, true, TMergeTarget::Change, [](int) { return false; });
    if (First >= 0)
        GoToChunk(First);
    ShowStatus();
}

int TfrmMerge::ExitStatus() const
{
    return FSavedWithoutConflicts && !HasUnsavedWork() ? 0 : 1;
}

void TfrmMerge::RunCommand(const std::function<void()>& Body)
{
    try {
        Body();
    } catch (const std::exception& Error) {
        Platform.ShowMessage(TMessageKind::Error, QString::fromUtf8(Error.what()));
    }
}

void TfrmMerge::resizeEvent(QResizeEvent* Event)
{
    QWidget::resizeEvent(Event);
    LayoutColumns();
}

int RunMergeWindow(const TMergeFiles& Files)
{
    TfrmMerge Window(Files);
    bool Loaded = false;
    Window.RunCommand([&] {
        Window.LoadAndMerge();
        Loaded = true;
    });
    if (!Loaded)
        return 1;
    Window.show();
    QApplication::exec();
    return Window.ExitStatus();
}
