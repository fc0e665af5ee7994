#pragma once

// The settings dialog TfrmSettings. It edits copies that the main window's btnSettingsClick fills
// and, after OK, takes back; it never touches the settings file.

#include "platform/Platform.h"

#include <QDialog>
#include <QFont>
#include <QPoint>
#include <QWidget>

#include <cstdint>
#include <optional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

// Colour values (0x00BBGGRR) of a chosen QColor; the reverse of ColorFromValue for RGB colours.
[[nodiscard]] std::uint32_t ValueFromColor(const QColor& Color);

// A font's size in whole points, and setting it, at Dpi dots per inch. The grid font is held in
// pixels (15 px by design, 11 points at 96 dpi); points come back to the same pixels.
[[nodiscard]] int FontPointSize(const QFont& Font, int Dpi);
void SetFontPointSize(QFont& Font, int Points, int Dpi);

// A plain filled rectangle in a colour value, with a hand cursor. The release of any mouse
// button over it, or Space or Enter while it has the focus, asks for a new colour.
class TColorSwatch : public QWidget
{
    Q_OBJECT
public:
    explicit TColorSwatch(const char* Name, QWidget* Parent);

    [[nodiscard]] std::uint32_t Value() const { return FValue; }
    void SetValue(std::uint32_t Value);

signals:
    void Released();

protected:
    void paintEvent(QPaintEvent* Event) override;
    void mouseReleaseEvent(QMouseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    std::uint32_t FValue = 0;
};

// What the font chooser holds: the font (its style carries over between showings) and the colour
// the grid font is drawn in, which Qt's font chooser has no control for.
struct TFontChoice
{
    QFont Font;
    std::uint32_t Color = 0xFF000008;
};

class TfrmSettings : public QDialog
{
    Q_OBJECT
public:
    TfrmSettings(TPlatform& Platform, int Dpi, QWidget* Parent);

    TPlatform& Platform;
    int Tag = 0;   // the accepted flag: 1 after OK, 0 otherwise
    TFontChoice FontDialog1;

    QGroupBox* GroupBox1 = nullptr;
    QCheckBox* chkIgnoreCase = nullptr;
    QCheckBox* chkIgnoreWhitespace = nullptr;
    QCheckBox* chkIgnoreWSAmount = nullptr;
    QCheckBox* chkIgnoreTrailingWS = nullptr;
    QCheckBox* chkIgnoreLeadingWS = nullptr;
    QCheckBox* chkIgnoreBlankLines = nullptr;
    QGroupBox* GroupBox2 = nullptr;
    QCheckBox* chkShowLineNumbers = nullptr;
    QCheckBox* chkShowGridLines = nullptr;
    QPushButton* btnChangeFont = nullptr;
    QLabel* lblFont = nullptr;             // the chosen face and size
    TColorSwatch* btnFontColor = nullptr;  // the grid font's colour
    TColorSwatch* btnColorAddedLines = nullptr;
    TColorSwatch* btnColorRemovedLines = nullptr;
    TColorSwatch* btnColorChangedLines = nullptr;
    TColorSwatch* btnColorDifferentTextInLine = nullptr;
    QPushButton* Button3 = nullptr;   // Set Defaults
    QPushButton* Button1 = nullptr;   // OK
    QPushButton* Button2 = nullptr;   // Cancel

    // Shows the chooser's font and colour in the dialog; call after changing FontDialog1.
    void ShowFontChoice();

    void FormShow();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void btnChangeFontClick();
    void btnColorAddedLinesMouseUp(TColorSwatch* Sender);

    void setVisible(bool Visible) override;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    // Fixed at the design size, or larger where the captions and the chosen font's name need it.
    void FitToContents();

    int FDpi;
    std::optional<QPoint> FLastPosition;   // where it was when it last closed
};
