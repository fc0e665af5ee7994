#pragma once

#include "platform/Platform.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <optional>

// Stands in for message boxes, beeps, choosers and the pointer in window tests: records what the
// window says, in order, and answers its questions from queued answers.
class TRecordingPlatform : public TPlatform
{
public:
    struct TMessage
    {
        QString Kind;   // "information", "warning", "error", "confirmation" or "risky confirmation"
        QString Text;
    };

    // What happened, in order.
    QList<TMessage> Messages;
    int Beeps = 0;
    QList<TPointer> PointerChanges;
    TPointer Pointer = TPointer::Default;
    QStringList OpenFileStartDirs;
    QStringList OpenFileDialogNames;
    QStringList SaveFileStartDirs;
    QStringList SaveFileSuggestions;
    QList<QUrl> OpenedUrls;
    QStringList OpenedFiles;
    QString Clipboard;
    QStringList FolderStartDirs;
    QStringList FolderDialogNames;
    QDate Date = QDate::currentDate();   // what CurrentDate answers; tests fix it

    // Queued answers. A question with no answer left is answered "Cancel" / nothing chosen and
    // is still recorded, so a test sees the unexpected question.
    QList<bool> ConfirmAnswers;
    QStringList OpenFileAnswers;
    QStringList FolderAnswers;
    QStringList SaveFileAnswers;
    QList<std::optional<QFont>> FontAnswers;   // nullopt means Cancel
    QList<QColor> ColorAnswers;   // an invalid colour means Cancel

    // Runs when a message is shown (as if while the box is open), for tests that look at the
    // window at that moment.
    std::function<void(const TMessage&)> OnMessage;

    // "kind: text" lines, easy to compare and readable in a failure.
    [[nodiscard]] QStringList Log() const;
    [[nodiscard]] QStringList Texts() const;
    void Clear();

    void Beep() override;
    void ShowMessage(TMessageKind Kind, const QString& Text) override;
    [[nodiscard]] bool Confirm(const QString& Text) override;
    // Recorded as "risky confirmation" with the accept button's label in brackets after the text;
    // answered from ConfirmAnswers like Confirm.
    [[nodiscard]] bool ConfirmRisky(const QString& Text, const QString& AcceptText) override;
    [[nodiscard]] QString ChooseOpenFile(QWidget* Parent, const QString& StartDir, const QString& DialogName) override;
    [[nodiscard]] QString ChooseFolder(QWidget* Parent, const QString& StartDir, const QString& DialogName) override;
    [[nodiscard]] QString ChooseSaveFile(QWidget* Parent, const QString& StartDir, const QString& FileName) override;
    [[nodiscard]] bool ChooseFont(QWidget* Parent, QFont& Font) override;
    [[nodiscard]] bool ChooseColor(QWidget* Parent, QColor& Color) override;
    void OpenUrl(const QUrl& Url) override;
    void OpenFile(const QString& FileName) override;
    void SetPointer(TPointer Shape) override;
    void SetClipboardText(const QString& Text) override;
    [[nodiscard]] QDate CurrentDate() override { return Date; }

private:
    void Record(const QString& Kind, const QString& Text);
};

[[nodiscard]] const char* PointerName(TPointer Pointer);
