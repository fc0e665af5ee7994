#include "app/MainForm.h"

#include "app/ComparisonSummary.h"
#include "app/SettingsBindings.h"
#include "app/SettingsDialog.h"
#include "app/StatusLabel.h"
#include "grid/RowHeights.h"
#include "settings/SettingsFile.h"
#include "text/OutOfMemory.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QAbstractItemView>
#include <QDir>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <csignal>
#include <new>
#include <stdexcept>

QString SettingsFileName;
int DefaultFontSize = 11;

namespace {

constexpr int DesignClientWidth = 1138;
constexpr int DesignClientHeight = 606;
constexpr int ToolBarHeight = 51;
constexpr int ToolButtonSize = 42;
constexpr int ToolIconSize = 32;
constexpr int PathRowTop = 59;
constexpr int PathBoxHeight = 21;
constexpr int BrowseButtonWidth = 34;

[[nodiscard]] QToolButton* MakeToolButton(QWidget* Parent, const char* Name, const QString& Tip, const char* Icon)
{
    auto* Button = new QToolButton(Parent);
    Button->setObjectName(QLatin1String(Name));
    Button->setAutoRaise(true);
    Button->setToolTip(Tip);
    Button->setStatusTip(Tip);
    Button->setAccessibleName(Tip);
    Button->setIcon(QIcon(QStringLiteral(":/icons/%1.svg").arg(QLatin1String(Icon))));
    Button->setIconSize(QSize(ToolIconSize, ToolIconSize));
    Button->setFixedSize(ToolButtonSize, ToolButtonSize);
    Button->setFocusPolicy(Qt::NoFocus);
    return Button;
}

// The grid font of the window's design: Courier New, 15 px high.
[[nodiscard]] QFont DesignGridFont()
{
    QFont Font(QStringLiteral("Courier New"));
    Font.setStyleHint(QFont::TypeWriter);
    Font.setPixelSize(15);
    return Font;
}

}   // namespace

TfrmMain::TfrmMain(TPlatform& APlatform, QWidget* Parent)
    : QWidget(Parent)
    , Platform(APlatform)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowIcon(QIcon(QStringLiteral(":/packaging/io.github.quorlane.Quorlane.svg")));
    CreateControls();
    FormCreate();
    frmSettings = new TfrmSettings(Platform, grdDiff->logicalDpiY(), this);
}

TfrmMain::~TfrmMain()
{
    FormDestroy();
}

// ---------------------------------------------------------------------------------------------
// Controls

void TfrmMain::CreateControls()
{
    auto* Layout = new QVBoxLayout(this);
    Layout->setContentsMargins(0, 0, 0, 0);
    Layout->setSpacing(0);

    CreateToolBar();
    CreatePopupMenu();
    CreateGrid();
    CreateFolderRowMenu();
    CreateStatusBar();

    Layout->addWidget(ToolBar1);
    Layout->addWidget(grdDiff);
    Layout->addWidget(Panel2, 1);
    Layout->addWidget(pnlBottom);

    // The path row sits in front of the grid's header row, so it is made last.
    CreatePathRow();

    CreateBrowseMenus();

    ActionList1 = new QObject(this);
    ActionList1->setObjectName(QStringLiteral("ActionList1"));
    ActionUndo = new QAction(QStringLiteral("Undo Last Change"), ActionList1);
    ActionUndo->setObjectName(QStringLiteral("ActionUndo"));
    ActionUndo->setToolTip(QStringLiteral("Undo Last Change"));
    ActionUndo->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    ActionUndo->setShortcutContext(Qt::WindowShortcut);
    addAction(ActionUndo);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);

    ConnectCommands();
}

void TfrmMain::CreateToolBar()
{
    ToolBar1 = new QWidget(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFixedHeight(ToolBarHeight);
    // The toolbar does not set the window's minimum width: a narrow window cuts the hint first.
    ToolBar1->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    auto* Row = new QHBoxLayout(ToolBar1);
    Row->setSizeConstraint(QLayout::SetNoConstraint);
    Row->setContentsMargins(6, 0, 8, 0);
    Row->setSpacing(1);

    btnCompare = MakeToolButton(ToolBar1, "btnCompare", QStringLiteral("Load and Compare"), "search");
    SpeedButton1 = MakeToolButton(ToolBar1, "SpeedButton1", QString(), "dropdown");
    SpeedButton1->setToolTip(QString());
    SpeedButton1->setStatusTip(QString());
    SpeedButton1->setAccessibleName(QStringLiteral("Compare as"));
    SpeedButton1->setIconSize(QSize(16, 16));
    SpeedButton1->setFixedSize(18, ToolButtonSize);
    btnPrevDiff = MakeToolButton(ToolBar1, "btnPrevDiff", QStringLiteral("Previous Difference"), "arrow-up");
    btnDiffNext = MakeToolButton(ToolBar1, "btnDiffNext", QStringLiteral("Next Difference"), "arrow-down");
    btnFirstDiff = MakeToolButton(ToolBar1, "btnFirstDiff", QStringLiteral("First Difference"), "first");
    btnLastDiff = MakeToolButton(ToolBar1, "btnLastDiff", QStringLiteral("Last Difference"), "last");
    btnLeftToRight = MakeToolButton(ToolBar1, "btnLeftToRight", QStringLiteral("Copy to Right"), "copy-to-right");
    btnRightToLeft = MakeToolButton(ToolBar1, "btnRightToLeft", QStringLiteral("Copy to Left"), "copy-to-left");
    btnAllLeftDiffsToRight = MakeToolButton(ToolBar1, "btnAllLeftDiffsToRight", QStringLiteral("Copy All to Right"), "copy-all-to-right");
    btnAllRightDiffsToLeft = MakeToolButton(ToolBar1, "btnAllRightDiffsToLeft", QStringLiteral("Copy All to Left"), "copy-all-to-left");
    btnUndo = MakeToolButton(ToolBar1, "btnUndo", QStringLiteral("Undo Last Change"), "undo2");
    btnSaveLeft = MakeToolButton(ToolBar1, "btnSaveLeft", QStringLiteral("Save Left Text As..."), "save1");
    btnSaveRight = MakeToolButton(ToolBar1, "btnSaveRight", QStringLiteral("Save Right Text As..."), "save2");
    btnSettings = MakeToolButton(ToolBar1, "btnSettings", QStringLiteral("Settings..."), "settings");
    btnInfo = MakeToolButton(ToolBar1, "btnInfo", QStringLiteral("About..."), "question-mark");

    // Nothing to navigate, copy, undo or save until the first comparison.
    for (QToolButton* Button : {btnPrevDiff, btnDiffNext, btnFirstDiff, btnLastDiff, btnLeftToRight, btnRightToLeft,
                                btnAllLeftDiffsToRight, btnAllRightDiffsToLeft, btnUndo, btnSaveLeft, btnSaveRight})
        Button->setEnabled(false);

    // Groups: compare | navigation | copying | undo | saving | settings and about.
    const int GroupGap = 10;
    Row->addWidget(btnCompare);
    Row->addWidget(SpeedButton1);
    Row->addSpacing(GroupGap);
    for (QToolButton* Button : {btnPrevDiff, btnDiffNext, btnFirstDiff, btnLastDiff})
        Row->addWidget(Button);
    Row->addSpacing(GroupGap);
    for (QToolButton* Button : {btnLeftToRight, btnRightToLeft, btnAllLeftDiffsToRight, btnAllRightDiffsToLeft})
        Row->addWidget(Button);
    Row->addSpacing(GroupGap);
    Row->addWidget(btnUndo);
    Row->addSpacing(GroupGap);
    Row->addWidget(btnSaveLeft);
    Row->addWidget(btnSaveRight);
    Row->addSpacing(GroupGap);
    Row->addWidget(btnSettings);
    Row->addWidget(btnInfo);
    Row->addStretch(1);

    Image1 = new QLabel(ToolBar1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(QIcon(QStringLiteral(":/icons/bubble.svg")).pixmap(QSize(24, 24)));
    Label1 = new QLabel(QStringLiteral("Double-click on a cell to start editing"), ToolBar1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Row->addWidget(Image1);
    Row->addSpacing(4);
    Row->addWidget(Label1);
}

void TfrmMain::CreatePopupMenu()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));

    miAutomatically1 = PopupMenu1->addAction(QStringLiteral("Automatically"));
    miAutomatically1->setObjectName(QStringLiteral("miAutomatically1"));
    QFont Bold = miAutomatically1->font();
    Bold.setBold(true);
    miAutomatically1->setFont(Bold);
    PopupMenu1->setDefaultAction(miAutomatically1);

    N1 = PopupMenu1->addSeparator();
    N1->setObjectName(QStringLiteral("N1"));

    miAsTextFiles1 = PopupMenu1->addAction(QStringLiteral("As Text-based Files"));
    miAsTextFiles1->setObjectName(QStringLiteral("miAsTextFiles1"));
    miAsComplexDocumentsegPDFDOCXetcwithTIKA1 =
        PopupMenu1->addAction(QStringLiteral("As Complex Documents (e.g. PDF, DOCX etc.) with TIKA"));
    miAsComplexDocumentsegPDFDOCXetcwithTIKA1->setObjectName(QStringLiteral("miAsComplexDocumentsegPDFDOCXetcwithTIKA1"));
    miAsFolders1 = PopupMenu1->addAction(QStringLiteral("As Folders"));
    miAsFolders1->setObjectName(QStringLiteral("miAsFolders1"));
}

void TfrmMain::CreatePathRow()
{
    StaticText1 = new QLabel(QStringLiteral("Files or Folders:"), this);
    StaticText1->setObjectName(QStringLiteral("StaticText1"));
    StaticText1->move(11, 64);
    // The caption must stay inside the row-number column (100 px by design): a wide desktop
    // font gets a smaller size rather than running over the column border.
    QFont Caption = StaticText1->font();
    while (QFontMetrics(Caption).horizontalAdvance(StaticText1->text()) > 100 - 11 - 4 && Caption.pointSizeF() > 6.5)
        Caption.setPointSizeF(Caption.pointSizeF() - 0.5);
    StaticText1->setFont(Caption);
    StaticText1->adjustSize();

    auto MakeBox = [this](const char* Name, const QString& AccessibleName) {
        auto* Box = new QComboBox(this);
        Box->setObjectName(QLatin1String(Name));
        Box->setEditable(true);
        Box->setInsertPolicy(QComboBox::NoInsert);   // the commands keep the history, not Enter
        Box->setMaxVisibleItems(20);
        Box->setAccessibleName(AccessibleName);
        Box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        Box->setMinimumContentsLength(1);
        // The history is offered, never filled in: a popup lists the entries that begin with what
        // is typed, and the box holds the typed text until the user picks one. (The default
        // completer fills in the first match, and its letter-case blind match would even swap the
        // typed spelling for a history entry's.)
        auto* Offer = new QCompleter(Box->model(), Box);
        Offer->setCompletionMode(QCompleter::PopupCompletion);
        Offer->setCaseSensitivity(Qt::CaseSensitive);
        Offer->setFilterMode(Qt::MatchStartsWith);
        Offer->setMaxVisibleItems(Box->maxVisibleItems());
        Box->setCompleter(Offer);
        return Box;
    };
    auto MakeBrowse = [this](const char* Name, const QString& AccessibleName) {
        auto* Button = new QPushButton(QStringLiteral("..."), this);
        Button->setObjectName(QLatin1String(Name));
        Button->setAccessibleName(AccessibleName);
        Button->setAutoDefault(false);
        return Button;
    };
    cmbLeft = MakeBox("cmbLeft", QStringLiteral("Left path"));
    btnBrowseLeft = MakeBrowse("btnBrowseLeft", QStringLiteral("Browse for the left file or folder"));
    cmbRight = MakeBox("cmbRight", QStringLiteral("Right path"));
    btnBrowseRight = MakeBrowse("btnBrowseRight", QStringLiteral("Browse for the right file or folder"));

    for (QWidget* Control : std::initializer_list<QWidget*>{StaticText1, cmbLeft, btnBrowseLeft, cmbRight, btnBrowseRight})
        Control->raise();
    cmbLeft->setGeometry(110, PathRowTop, 378, PathBoxHeight);
    btnBrowseLeft->setGeometry(490, PathRowTop, BrowseButtonWidth, PathBoxHeight);
    cmbRight->setGeometry(542, PathRowTop, 489, PathBoxHeight);
    btnBrowseRight->setGeometry(1033, PathRowTop, BrowseButtonWidth, PathBoxHeight);

    // A file dropped on a path box names that side, as if browsed for.
    for (QComboBox* Box : {cmbLeft, cmbRight})
        Box->lineEdit()->installEventFilter(this);

    setTabOrder(cmbLeft, btnBrowseLeft);
    setTabOrder(btnBrowseLeft, cmbRight);
    setTabOrder(cmbRight, btnBrowseRight);
    setTabOrder(btnBrowseRight, grdDiff);
}

void TfrmMain::CreateGrid()
{
    grdDiff = new TDiffGrid(this);
    grdDiff->setObjectName(QStringLiteral("grdDiff"));
    grdDiff->SetColCount(3);
    grdDiff->SetRowCount(2);
    grdDiff->SetColWidths(0, 100);
    grdDiff->SetColWidths(1, 432);
    grdDiff->SetColWidths(2, 573);
    grdDiff->SetOptions(grdDiff->Options() | goHorzLine);
    grdDiff->setFixedHeight(1);   // collapsed until the first comparison

    Panel2 = new QFrame(this);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameShape(QFrame::NoFrame);
    Panel2->setAutoFillBackground(true);
    auto* PanelLayout = new QVBoxLayout(Panel2);
    PanelLayout->setContentsMargins(40, 40, 40, 40);
    lblGettingStarted = new QLabel(Panel2);
    lblGettingStarted->setObjectName(QStringLiteral("lblGettingStarted"));
    lblGettingStarted->setAlignment(Qt::AlignCenter);
    lblGettingStarted->setWordWrap(true);
    lblGettingStarted->setTextFormat(Qt::PlainText);
    QFont Large = lblGettingStarted->font();
    Large.setPointSizeF(Large.pointSizeF() * 1.6);
    lblGettingStarted->setFont(Large);
    PanelLayout->addWidget(lblGettingStarted);
}

void TfrmMain::CreateStatusBar()
{
    pnlBottom = new QFrame(this);
    pnlBottom->setObjectName(QStringLiteral("pnlBottom"));
    pnlBottom->setFrameShape(QFrame::StyledPanel);
    pnlBottom->setFrameShadow(QFrame::Sunken);
    auto* Row = new QHBoxLayout(pnlBottom);
    Row->setContentsMargins(8, 3, 8, 3);

    lblStatus = new TStatusLabel(pnlBottom);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));

    lbHomepageURL = new QLabel(pnlBottom);
    lbHomepageURL->setObjectName(QStringLiteral("lbHomepageURL"));
    lbHomepageURL->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    Row->addWidget(lblStatus, 1);
    Row->addWidget(lbHomepageURL);
}

void TfrmMain::ConnectCommands()
{
    // Every command runs through RunCommand, so an error ends it with an error box.
    auto Command = [this](void (TfrmMain::*Handler)()) {
        return [this, Handler] { RunCommand([this, Handler] { (this->*Handler)(); }); };
    };
    connect(btnCompare, &QToolButton::clicked, this, Command(&TfrmMain::btnCompareClick));
    connect(SpeedButton1, &QToolButton::clicked, this, Command(&TfrmMain::SpeedButton1MouseUp));
    connect(btnPrevDiff, &QToolButton::clicked, this, Command(&TfrmMain::btnPrevDiffClick));
    connect(btnDiffNext, &QToolButton::clicked, this, Command(&TfrmMain::btnDiffNextClick));
    connect(btnFirstDiff, &QToolButton::clicked, this, Command(&TfrmMain::btnFirstDiffClick));
    connect(btnLastDiff, &QToolButton::clicked, this, Command(&TfrmMain::btnLastDiffClick));
    connect(btnLeftToRight, &QToolButton::clicked, this, Command(&TfrmMain::btnLeftToRightClick));
    connect(btnRightToLeft, &QToolButton::clicked, this, Command(&TfrmMain::btnRightToLeftClick));
    connect(btnAllLeftDiffsToRight, &QToolButton::clicked, this, Command(&TfrmMain::btnAllLeftDiffsToRightClick));
    connect(btnAllRightDiffsToLeft, &QToolButton::clicked, this, Command(&TfrmMain::btnAllRightDiffsToLeftClick));
    connect(btnUndo, &QToolButton::clicked, this, Command(&TfrmMain::btnUndoClick));
    connect(btnSaveLeft, &QToolButton::clicked, this, Command(&TfrmMain::btnSaveLeftClick));
    connect(btnSaveRight, &QToolButton::clicked, this, Command(&TfrmMain::btnSaveRightClick));
    connect(btnSettings, &QToolButton::clicked, this, Command(&TfrmMain::btnSettingsClick));
    connect(btnInfo, &QToolButton::clicked, this, Command(&TfrmMain::btnInfoClick));

    connect(miAutomatically1, &QAction::triggered, this, Command(&TfrmMain::miAutomatically1Click));
    connect(miAsTextFiles1, &QAction::triggered, this, Command(&TfrmMain::miAsTextFiles1Click));
    connect(miAsComplexDocumentsegPDFDOCXetcwithTIKA1, &QAction::triggered, this,
            Command(&TfrmMain::miAsComplexDocumentsegPDFDOCXetcwithTIKA1Click));
    connect(miAsFolders1, &QAction::triggered, this, Command(&TfrmMain::miAsFolders1Click));

    // Enter in a path box runs the main command, as the Compare button does.
    for (QComboBox* Box : {cmbLeft, cmbRight})
        connect(Box->lineEdit(), &QLineEdit::returnPressed, this, [this, Box] {
            // The offered entries go away: the comparison's boxes must not open under them.
            if (QCompleter* Offer = Box->completer(); Offer && Offer->popup())
                Offer->popup()->hide();
            RunCommand([this] { btnCompareClick(); });
        });

    connect(btnBrowseLeft, &QPushButton::clicked, this, Command(&TfrmMain::btnBrowseLeftClick));
    connect(btnBrowseRight, &QPushButton::clicked, this, Command(&TfrmMain::btnBrowseRightClick));

    connect(ActionUndo, &QAction::triggered, this, Command(&TfrmMain::ActionUndoExecute));
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
}

// ---------------------------------------------------------------------------------------------
// Start-up and shut-down

void TfrmMain::FormCreate()
{
    setWindowTitle(QCoreApplication::applicationName() + QStringLiteral(" 1.0"));
#ifdef SIGXFSZ
    // A save beyond the user's file-size limit fails with an error box instead of ending the
    // program with every unsaved change.
    std::signal(SIGXFSZ, SIG_IGN);
#endif

    SetUpHomepageLink();

    // Grid: the base row height comes once from the design font, before the settings are read.
    grdDiff->SetColCount(3);
    grdDiff->setFont(DesignGridFont());
    FBaseRowHeight = BaseRowHeightFor(grdDiff->font());
    grdDiff->SetDefaultRowHeight(FBaseRowHeight);

    grdDiff->OnDrawCell = [this](QPainter& Painter, int ACol, int ARow, const QRect& Rect, TGridDrawState State) {
        grdDiffDrawCell(Painter, ACol, ARow, Rect, State);
    };
    grdDiff->OnTextRect = [this](int ACol, int ARow, int CharStart, int CharLen) {
        return grdDiffTextRect(ACol, ARow, CharStart, CharLen);
    };
    grdDiff->OnMouseDown = [this](Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
        grdDiffMouseDown(Button, Shift, X, Y);
    };
    grdDiff->OnMouseUp = [this](Qt::MouseButton Button, Qt::KeyboardModifiers Shift, int X, int Y) {
        grdDiffMouseUp(Button, Shift, X, Y);
    };
    grdDiff->OnSelectCell = [this](int ACol, int ARow, bool& CanSelect) { grdDiffSelectCell(ACol, ARow, CanSelect); };
    FLastFramedRow = -1;
    grdDiff->OnDblClick = [this] { RunCommand([this] { grdDiffDblClick(); }); };
    grdDiff->OnKeyDown = [this](QKeyEvent* Event) { RunCommand([this, Event] { grdDiffKeyDown(Event); }); };

    CreateCellEditor();
    CreateNavigationShortcuts();

    DefaultFontSize = FontPointSize(grdDiff->font(), grdDiff->logicalDpiY());

    lblGettingStarted->setText(QStringLiteral("Select 2 Files or 2 Folders\r\nThen click on \"Compare\""));

    const TSettingsRecord Defaults;
    for (const TOptionBinding& B : OptionBindings)
        this->*B.Window = Defaults.*B.Record;
    for (const TColorBinding& B : ColorBindings)
        this->*B.Window = Defaults.*B.Record;

    FLeft = TSideState();
    FRight = TSideState();

    FUtf8NoBOM = TUTF8NoBOMEncoding();

    FUndoStack.Clear();
    FFolderMode = false;

    // The design placement: the design client area, centred on the primary display. The settings
    // file may move and size the window.
    resize(DesignClientWidth, DesignClientHeight);
    if (const QScreen* Screen = QGuiApplication::primaryScreen()) {
        QRect Frame(QPoint(0, 0), size());
        Frame.moveCenter(Screen->availableGeometry().center());
        move(Frame.topLeft());
    }

    SettingsFileName = GetSettingsFileName();
    LoadSettings();

    SetStatus(QStringLiteral("Ready."));

    Timer1->start();

    FLastMouseCol = -1;
    FLastMouseRow = -1;
}

void TfrmMain::FormDestroy()
{
    Timer1->stop();
    SaveSettings();
    ClearUndoStack();
    // Whatever is still computing in the background hands back to nothing.
    ++FDiffRecomputeJobId;
    FLeftLines.clear();
    FRightLines.clear();
}

// ---------------------------------------------------------------------------------------------
// Workspace

void TfrmMain::SetStatus(const QString& Text)
{
    lblStatus->setText(Text);
    lblStatus->setToolTip(Text);   // the line shows one line, cut at the window's edge
}

void TfrmMain::MarkSideChanged(TSideState& Side)
{
    Side.Unsaved = true;
    UnsavedChanges = true;
    ShowUnsavedMarkers();
}

void TfrmMain::MarkSideSaved(TSideState& Side)
{
    Side.Unsaved = false;
    // The other side's changes are still to be saved: the next command that discards them asks.
    UnsavedChanges = FLeft.Unsaved || FRight.Unsaved;
    ShowUnsavedMarkers();
}

bool TfrmMain::SidesWritable() const
{
    return !FFolderMode && FLeft.Source != TSideSource::Failed && FRight.Source != TSideSource::Failed;
}

void TfrmMain::MarkComparisonFailed()
{
    FLeft.Source = FRight.Source = TSideSource::Failed;
    FLeft.Unsaved = FRight.Unsaved = false;
}

void TfrmMain::ShowComparisonSummary(const QString& Prefix, bool ShowBox)
{
    const TComparisonSummary Summary = MakeComparisonSummary(Prefix, FDiffItems);
    // Equal rows do not make equal files: the status says what else tells them apart.
    const QStringList Differences = HasDifferences() ? QStringList() : SideDifferences(FLeft, FRight);
    SetStatus(Differences.isEmpty() ? Summary.StatusText
                                    : Summary.StatusText + u' ' + IdenticalFilesText(Differences));
    if (ShowBox && !Summary.BoxText.isEmpty())
        Platform.ShowMessage(TMessageKind::Information, Summary.BoxText);
}

bool TfrmMain::HasDifferences() const
{
    return ItemsHaveDifferences(FDiffItems);
}

void TfrmMain::EnsureFilesLoaded() const
{
    if (FFolderMode)
        throw std::runtime_error("Folder comparison mode: no file contents loaded.");
}

void TfrmMain::ClearUndoStack()
{
    FUndoStack.Clear();
}

bool TfrmMain::GettingStartedShown() const
{
    return !Panel2->isHidden();
}

void TfrmMain::HideGettingStarted()
{
    if (!GettingStartedShown())
        return;
    Panel2->hide();
    grdDiff->setMinimumHeight(0);
    grdDiff->setMaximumHeight(QWIDGETSIZE_MAX);
    if (auto* Layout = qobject_cast<QVBoxLayout*>(layout())) {
        Layout->setStretchFactor(grdDiff, 1);
        Layout->activate();   // the grid has its size before the rows are measured and shown
    }
    // The scroll bar now takes its share: let the layout rule run on the next tick.
    iColWidth1 = -1;
}

void TfrmMain::EnableTextModeButtons()
{
    for (QToolButton* Button : {btnPrevDiff, btnDiffNext, btnFirstDiff, btnLastDiff, btnLeftToRight, btnRightToLeft,
                                btnAllLeftDiffsToRight, btnAllRightDiffsToLeft, btnUndo, btnSaveLeft, btnSaveRight})
        Button->setEnabled(true);
}

void TfrmMain::RunCommand(const std::function<void()>& Body)
{
    try {
        Body();
    } catch (const std::bad_alloc&) {
        QString L, R;
        ReadPaths(L, R);
        Platform.ShowMessage(TMessageKind::Error, NotEnoughMemoryToCompareText(L, R));
    } catch (const std::exception& Error) {
        Platform.ShowMessage(TMessageKind::Error, QString::fromUtf8(Error.what()));
    }
    ShowUnsavedMarkers();   // whatever the command did to the sides, the path boxes say it
}

bool TfrmMain::eventFilter(QObject* Watched, QEvent* Event)
{
    QComboBox* Box = Watched == cmbLeft->lineEdit() ? cmbLeft : Watched == cmbRight->lineEdit() ? cmbRight : nullptr;
    if (!Box || (Event->type() != QEvent::DragEnter && Event->type() != QEvent::Drop))
        return QWidget::eventFilter(Watched, Event);
    auto* Drop = static_cast<QDropEvent*>(Event);
    const QList<QUrl> Urls = Drop->mimeData()->urls();
    if (Urls.isEmpty() || !Urls.first().isLocalFile())
        return QWidget::eventFilter(Watched, Event);   // plain text drops as usual
    Drop->acceptProposedAction();
    if (Event->type() == QEvent::Drop)
        Box->setEditText(QDir::toNativeSeparators(Urls.first().toLocalFile()));
    return true;
}

void TfrmMain::resizeEvent(QResizeEvent* Event)
{
    QWidget::resizeEvent(Event);
    FormResize();
    UpdateAllRowHeights();
}
