#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>
#include <QUrl>

class QWidget;

// The platform services the window leans on. The window calls only this interface, so tests can
// pass a recording fake that answers questions and counts beeps.
enum class TMessageKind { Information, Warning, Error };
enum class TPointer { Default, Hourglass, AppStarting };

class TPlatform
{
public:
    virtual ~TPlatform() = default;

    virtual void Beep() = 0;                                        // MessageBeep(MB_ICONEXCLAMATION)
    virtual void ShowMessage(TMessageKind Kind, const QString& Text) = 0;   // modal, one OK button
    [[nodiscard]] virtual bool Confirm(const QString& Text) = 0;    // Yes -> true, Cancel -> false

    // File choosers: return the chosen path, or an empty string when cancelled.
    // InitialDir is read and updated to the folder the user ended in.
    [[nodiscard]] virtual QString ChooseOpenFile(QWidget* Parent, QString& InitialDir) = 0;
    [[nodiscard]] virtual QString ChooseSaveFile(QWidget* Parent, const QString& InitialDir,
                                                 const QString& FileName) = 0;   // asks before overwriting
    [[nodiscard]] virtual bool ChooseFont(QWidget* Parent, QFont& Font) = 0;
    [[nodiscard]] virtual bool ChooseColor(QWidget* Parent, QColor& Color) = 0;

    virtual void OpenUrl(const QUrl& Url) = 0;
    virtual void OpenFile(const QString& FileName) = 0;

    // Application-wide pointer: Push shows a shape until the matching Pop.
    virtual void PushPointer(TPointer Pointer) = 0;
    virtual void PopPointer() = 0;

    virtual void SetClipboardText(const QString& Text) = 0;
};

// The real services, through Qt.
TPlatform& RealPlatform();
