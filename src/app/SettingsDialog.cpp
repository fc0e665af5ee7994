#include "app/SettingsDialog.h"

#include "app/MainForm.h"
#include "grid/DiffCellDrawing.h"
#include "settings/SettingsRecord.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyleOptionFocusRect>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr int DesignClientWidth = 608;
constexpr int DesignClientHeight = 261;
constexpr int SwatchWidth = 126;
constexpr int SwatchHeight = 22;

}   // namespace

std::uint32_t ValueFromColor(const QColor& Color)
{
    const QColor Rgb = Color.toRgb();
    return std::uint32_t(Rgb.red()) | (std::uint32_t(Rgb.green()) << 8) | (std::uint32_t(Rgb.blue()) << 16);
}

int FontPointSize(const QFont& Font, int Dpi)
{
    if (Font.pixelSize() > 0)
        return int(std::lround(Font.pixelSize() * 72.0 / Dpi));
    return int(std::lround(Font.pointSizeF()));
}

void SetFontPointSize(QFont& Font, int Points, int Dpi)
{
    // As the toolkit of the design does it: MulDiv(points, dpi, 72), rounded.
    Font.setPixelSize(qMax(1, int(std::lround(double(Points) * Dpi / 72.0))));
}

// ---------------------------------------------------------------------------------------------
// Colour swatch

TColorSwatch::TColorSwatch(const char* Name, QWidget* Parent)
    : QWidget(Parent)
{
    setObjectName(QLatin1String(Name));
    setFixedSize(SwatchWidth, SwatchHeight);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);   // reachable by the keyboard as well
}

void TColorSwatch::SetValue(std::uint32_t Value)
{
    FValue = Value;
    update();
}

void TColorSwatch::paintEvent(QPaintEvent*)
{
    QPainter Painter(this);
    Painter.fillRect(rect(), ColorFromValue(FValue, palette()));
    if (hasFocus()) {
        QStyleOptionFocusRect Option;
        Option.initFrom(this);
        Option.rect = rect().adjusted(2, 2, -2, -2);
        Option.backgroundColor = ColorFromValue(FValue, palette());
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &Option, &Painter, this);
    }
}

void TColorSwatch::mouseReleaseEvent(QMouseEvent* Event)
{
    if (rect().contains(Event->position().toPoint()))
        emit Released();
}

void TColorSwatch::keyPressEvent(QKeyEvent* Event)
{
    if (Event->key() == Qt::Key_Space || Event->key() == Qt::Key_Return || Event->key() == Qt::Key_Enter) {
        emit Released();
        return;
    }
    QWidget::keyPressEvent(Event);
}

// ---------------------------------------------------------------------------------------------
// The dialog

TfrmSettings::TfrmSettings(TPlatform& APlatform, int Dpi, QWidget* Parent)
    : QDialog(Parent)
    , Platform(APlatform)
    , FDpi(Dpi)
{
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Settings"));
    setModal(true);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    const auto Check = [](const char* Name, const QString& Caption, QWidget* Parent) {
        auto* Box = new QCheckBox(Caption, Parent);
        Box->setObjectName(QLatin1String(Name));
        return Box;
    };

    GroupBox1 = new QGroupBox(QStringLiteral("Comparison"), this);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    chkIgnoreCase = Check("chkIgnoreCase", QStringLiteral("Ignore case"), GroupBox1);
    chkIgnoreWhitespace = Check("chkIgnoreWhitespace", QStringLiteral("Ignore all whitespaces "), GroupBox1);
    chkIgnoreWSAmount =
        Check("chkIgnoreWSAmount", QStringLiteral("Ignore changes in amount of white space in line"), GroupBox1);
    chkIgnoreTrailingWS = Check("chkIgnoreTrailingWS", QStringLiteral("Ignore trailing white space"), GroupBox1);
    chkIgnoreLeadingWS = Check("chkIgnoreLeadingWS", QStringLiteral("Ignore leading white space"), GroupBox1);
    chkIgnoreBlankLines = Check("chkIgnoreBlankLines", QStringLiteral("Ignore blank lines"), GroupBox1);
    auto* Options = new QVBoxLayout(GroupBox1);
    for (QCheckBox* Box : {chkIgnoreCase, chkIgnoreWhitespace, chkIgnoreWSAmount, chkIgnoreTrailingWS,
                           chkIgnoreLeadingWS, chkIgnoreBlankLines})
        Options->addWidget(Box);
    Options->addStretch(1);

    GroupBox2 = new QGroupBox(QStringLiteral("Grid"), this);
    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    chkShowLineNumbers = Check("chkShowLineNumbers", QStringLiteral("Show Line Numbers"), GroupBox2);
    chkShowGridLines = Check("chkShowGridLines", QStringLiteral("Show Grid Lines"), GroupBox2);
    btnChangeFont = new QPushButton(QStringLiteral("Change Font..."), GroupBox2);
    btnChangeFont->setObjectName(QStringLiteral("btnChangeFont"));
    btnChangeFont->setAutoDefault(false);
    lblFont = new QLabel(GroupBox2);
    lblFont->setObjectName(QStringLiteral("lblFont"));
    btnFontColor = new TColorSwatch("btnFontColor", GroupBox2);
    btnFontColor->setToolTip(QStringLiteral("Colour of the text in the grid"));
    btnColorAddedLines = new TColorSwatch("btnColorAddedLines", GroupBox2);
    btnColorRemovedLines = new TColorSwatch("btnColorRemovedLines", GroupBox2);
    btnColorChangedLines = new TColorSwatch("btnColorChangedLines", GroupBox2);
    btnColorDifferentTextInLine = new TColorSwatch("btnColorDifferentTextInLine", GroupBox2);

    auto* Grid = new QGridLayout(GroupBox2);
    Grid->setVerticalSpacing(4);
    auto* Checks = new QHBoxLayout;
    Checks->addWidget(chkShowLineNumbers);
    Checks->addWidget(chkShowGridLines);
    Checks->addStretch(1);
    Grid->addLayout(Checks, 0, 0, 1, 2);
    Grid->addWidget(btnChangeFont, 1, 0);
    Grid->addWidget(lblFont, 1, 1);
    const auto AddSwatchRow = [&](int Row, const char* LabelName, const QString& Caption, TColorSwatch* Swatch) {
        auto* Label = new QLabel(Caption, GroupBox2);
        Label->setObjectName(QLatin1String(LabelName));
        Label->setBuddy(Swatch);
        Grid->addWidget(Label, Row, 0);
        Grid->addWidget(Swatch, Row, 1, Qt::AlignLeft);
        Swatch->setAccessibleName(Caption.trimmed());
    };
    AddSwatchRow(2, "lblFontColor", QStringLiteral("Font Color:"), btnFontColor);
    AddSwatchRow(3, "lblColorAddedLines", QStringLiteral(" Added Lines:"), btnColorAddedLines);
    AddSwatchRow(4, "lblColorRemovedLines", QStringLiteral("Removed Lines:"), btnColorRemovedLines);
    AddSwatchRow(5, "lblColorChangedLines", QStringLiteral("Changed Lines:"), btnColorChangedLines);
    AddSwatchRow(6, "lblColorDifferentTextInLine", QStringLiteral("Different text (bkgr):"), btnColorDifferentTextInLine);
    Grid->setRowStretch(7, 1);

    Button3 = new QPushButton(QStringLiteral("Set Defaults"), this);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->setAutoDefault(false);
    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setDefault(true);
    Button2 = new QPushButton(QStringLiteral("Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setAutoDefault(false);

    auto* Groups = new QHBoxLayout;
    // No stretch factors: each group gets at least what its captions need, the rest is shared.
    Groups->addWidget(GroupBox1);
    Groups->addWidget(GroupBox2);
    auto* Buttons = new QHBoxLayout;
    Buttons->addWidget(Button3);
    Buttons->addStretch(1);
    Buttons->addWidget(Button1);
    Buttons->addWidget(Button2);
    auto* Layout = new QVBoxLayout(this);
    Layout->addLayout(Groups, 1);
    Layout->addLayout(Buttons);

    FitToContents();

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(btnChangeFont, &QPushButton::clicked, this, [this] { btnChangeFontClick(); });
    for (TColorSwatch* Swatch :
         {btnFontColor, btnColorAddedLines, btnColorRemovedLines, btnColorChangedLines, btnColorDifferentTextInLine})
        connect(Swatch, &TColorSwatch::Released, this, [this, Swatch] { btnColorAddedLinesMouseUp(Swatch); });

    FontDialog1.Font = QFont(QString::fromLatin1(DefaultGridFontName));
    SetFontPointSize(FontDialog1.Font, DefaultFontSize, FDpi);
    ShowFontChoice();
}

void TfrmSettings::ShowFontChoice()
{
    const QString Text = QStringLiteral("%1, %2 pt").arg(FontDialog1.Font.family()).arg(FontPointSize(FontDialog1.Font, FDpi));
    lblFont->setText(Text);
    lblFont->setToolTip(Text);
    btnFontColor->SetValue(FontDialog1.Color);
    FitToContents();
}

void TfrmSettings::FitToContents()
{
    // A fixed dialog border: the design size, or what the desktop's font and the texts need if
    // that is more (a long face name widens the dialog instead of being cut).
    // The layouts learn of a changed caption only when their posted requests run: ask now.
    for (QWidget* Child : findChildren<QWidget*>())
        Child->updateGeometry();
    for (QLayout* Layout : findChildren<QLayout*>())
        Layout->invalidate();
    if (layout())
        setFixedSize(layout()->totalSizeHint().expandedTo(QSize(DesignClientWidth, DesignClientHeight)));
}

void TfrmSettings::setVisible(bool Visible)
{
    if (!Visible && isVisible())
        FLastPosition = pos();
    else if (Visible && !isVisible() && FLastPosition)
        move(*FLastPosition);   // centred over the main window only the first time
    QDialog::setVisible(Visible);
}

void TfrmSettings::showEvent(QShowEvent* Event)
{
    QDialog::showEvent(Event);
    if (!Event->spontaneous())
        FormShow();
}

void TfrmSettings::FormShow()
{
    Tag = 0;
}

void TfrmSettings::Button1Click()
{
    Tag = 1;
    accept();
}

void TfrmSettings::Button2Click()
{
    reject();
}

void TfrmSettings::Button3Click()
{
    for (QCheckBox* Box : {chkIgnoreCase, chkIgnoreWhitespace, chkIgnoreWSAmount, chkIgnoreTrailingWS,
                           chkIgnoreLeadingWS, chkIgnoreBlankLines})
        Box->setChecked(false);
    chkShowLineNumbers->setChecked(true);
    chkShowGridLines->setChecked(true);
    FontDialog1.Color = ColorWindowText;
    SetFontPointSize(FontDialog1.Font, DefaultFontSize, FDpi);
    FontDialog1.Font.setFamily(QString::fromLatin1(DefaultGridFontName));
    ShowFontChoice();
    btnColorAddedLines->SetValue(DefaultColorAddedLines);
    btnColorRemovedLines->SetValue(DefaultColorRemovedLines);
    btnColorChangedLines->SetValue(DefaultColorChangedLines);
    btnColorDifferentTextInLine->SetValue(DefaultColorDifferentTextInLine);
}

void TfrmSettings::btnChangeFontClick()
{
    // The chooser lists installed faces: a face that stands in for the named one ("Courier New"
    // drawn as Liberation Mono) is what it shows as chosen.
    QFont Font = FontDialog1.Font;
    Font.setFamily(QFontInfo(Font).family());
    if (!Platform.ChooseFont(this, Font))
        return;
    FontDialog1.Font = Font;
    ShowFontChoice();
}

void TfrmSettings::btnColorAddedLinesMouseUp(TColorSwatch* Sender)
{
    QColor Color = ColorFromValue(Sender->Value(), Sender->palette());
    if (!Platform.ChooseColor(this, Color))
        return;
    Sender->SetValue(ValueFromColor(Color));
    if (Sender == btnFontColor)
        FontDialog1.Color = Sender->Value();
}
