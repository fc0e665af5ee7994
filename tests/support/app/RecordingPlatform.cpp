#include "support/app/RecordingPlatform.h"

QStringList TRecordingPlatform::Log() const
{
    QStringList Lines;
    for (const TMessage& Message : Messages)
        Lines.append(Message.Kind + QStringLiteral(": ") + Message.Text);
    return Lines;
}

QStringList TRecordingPlatform::Texts() const
{
    QStringList Lines;
    for (const TMessage& Message : Messages)
        Lines.append(Message.Text);
    return Lines;
}

void TRecordingPlatform::Clear()
{
    Messages.clear();
    Beeps = 0;
    PointerChanges.clear();
    OpenFileStartDirs.clear();
    SaveFileStartDirs.clear();
    SaveFileSuggestions.clear();
    OpenedUrls.clear();
    OpenedFiles.clear();
    FolderStartDirs.clear();
    FolderDialogNames.clear();
}

void TRecordingPlatform::Record(const QString& Kind, const QString& Text)
{
    Messages.append({Kind, Text});
    if (OnMessage)
        OnMessage(Messages.constLast());
}

void TRecordingPlatform::Beep()
{
    ++Beeps;
}

void TRecordingPlatform::ShowMessage(TMessageKind Kind, const QString& Text)
{
    switch (Kind) {
    case TMessageKind::Information: Record(QStringLiteral("information"), Text); break;
    case TMessageKind::Warning: Record(QStringLiteral("warning"), Text); break;
    case TMessageKind::Error: Record(QStringLiteral("error"), Text); break;
    }
}

bool TRecordingPlatform::Confirm(const QString& Text)
{
    Record(QStringLiteral("confirmation"), Text);
    return ConfirmAnswers.isEmpty() ? false : ConfirmAnswers.takeFirst();
}

bool TRecordingPlatform::ConfirmRisky(const QString& Text, const QString& AcceptText)
{
    Record(QStringLiteral("risky confirmation"), Text + QStringLiteral(" [") + AcceptText + QStringLiteral("]"));
    return ConfirmAnswers.isEmpty() ? false : ConfirmAnswers.takeFirst();
}

QString TRecordingPlatform::ChooseOpenFile(QWidget*, const QString& StartDir, const QString& DialogName)
{
    OpenFileStartDirs.append(StartDir);
    OpenFileDialogNames.append(DialogName);
    return OpenFileAnswers.isEmpty() ? QString() : OpenFileAnswers.takeFirst();
}

QString TRecordingPlatform::ChooseFolder(QWidget*, const QString& StartDir, const QString& DialogName)
{
    FolderStartDirs.append(StartDir);
    FolderDialogNames.append(DialogName);
    return FolderAnswers.isEmpty() ? QString() : FolderAnswers.takeFirst();
}

QString TRecordingPlatform::ChooseSaveFile(QWidget*, const QString& StartDir, const QString& FileName)
{
    SaveFileStartDirs.append(StartDir);
    SaveFileSuggestions.append(FileName);
    return SaveFileAnswers.isEmpty() ? QString() : SaveFileAnswers.takeFirst();
}

bool TRecordingPlatform::ChooseFont(QWidget*, QFont& Font)
{
    if (FontAnswers.isEmpty())
        return false;
    const std::optional<QFont> Answer = FontAnswers.takeFirst();
    if (!Answer)
        return false;
    Font = *Answer;
    return true;
}

bool TRecordingPlatform::ChooseColor(QWidget*, QColor& Color)
{
    if (ColorAnswers.isEmpty())
        return false;
    const QColor Answer = ColorAnswers.takeFirst();
    if (!Answer.isValid())
        return false;
    Color = Answer;
    return true;
}

void TRecordingPlatform::OpenUrl(const QUrl& Url)
{
    OpenedUrls.append(Url);
}

void TRecordingPlatform::OpenFile(const QString& FileName)
{
    OpenedFiles.append(FileName);
}

void TRecordingPlatform::SetPointer(TPointer Shape)
{
    PointerChanges.append(Shape);
    Pointer = Shape;
}

void TRecordingPlatform::SetClipboardText(const QString& Text)
{
    Clipboard = Text;
}

const char* PointerName(TPointer Pointer)
{
    switch (Pointer) {
    case TPointer::Default: return "Default";
    case TPointer::Hourglass: return "Hourglass";
    case TPointer::AppStarting: return "AppStarting";
    }
    return "?";
}

