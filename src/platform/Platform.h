#pragma once

#include <QColor>
#include <QDate>
#include <QFont>
#include <QString>
#include <QStringList>
#include <QUrl>

class QWidget;

// The platform services the window leans on. The window calls only this interface, so tests can
// pass a recording fake that answers questions and counts beeps.
enum class TMessageKind { Information, Warning, Error };

// The application-wide pointer shape. Default removes any override; the others replace the
// current shape (no nesting: whoever sets a busy shape, the next Default ends it).
enum class TPointer { Default, Hourglass, AppStarting };

class TPlatform
{
public:
    virtual ~TPlatform() = default;

    virtual void Beep() = 0;                                                 // MessageBeep(MB_ICONEXCLAMATION)
    virtual void ShowMessage(TMessageKind Kind, const QString& Text) = 0;   // modal, one OK button
    [[nodiscard]] virtual bool Confirm(const QString& Text) = 0;            // Yes -> true, Cancel -> false
    // A question whose "yes" loses something: AcceptText labels that button, Cancel is the default.
    [[nodiscard]] virtual bool ConfirmRisky(const QString& Text, const QString& AcceptText) = 0;

    // File choosers: the chosen path, or an empty string when cancelled.
    // The open chooser accepts only existing files and starts in StartDir (its own default when empty);
    // DialogName is its object name (dlgOpen1, dlgopen2), by which a driver finds it.
    [[nodiscard]] virtual QString ChooseOpenFile(QWidget* Parent, const QString& StartDir, const QString& DialogName) = 0;
    // The folder chooser, alike: an existing folder, or an empty string when cancelled.
    [[nodiscard]] virtual QString ChooseFolder(QWidget* Parent, const QString& StartDir, const QString& DialogName) = 0;
    [[nodiscard]] virtual QString ChooseSaveFile(QWidget* Parent, const QString& StartDir,
                                                 const QString& FileName) = 0;   // asks before overwriting
    [[nodiscard]] virtual bool ChooseFont(QWidget* Parent, QFont& Font) = 0;
    [[nodiscard]] virtual bool ChooseColor(QWidget* Parent, QColor& Color) = 0;

    virtual void OpenUrl(const QUrl& Url) = 0;
    virtual void OpenFile(const QString& FileName) = 0;

    virtual void SetPointer(TPointer Pointer) = 0;

    virtual void SetClipboardText(const QString& Text) = 0;

    [[nodiscard]] virtual QDate CurrentDate() { return QDate::currentDate(); }   // the local date
};

// The real services, through Qt. Message boxes are real QMessageBoxes carrying the exact text,
// so a driver outside the process can read and answer them.
[[nodiscard]] TPlatform& RealPlatform();
