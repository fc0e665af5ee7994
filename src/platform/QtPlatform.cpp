#include "platform/Platform.h"

#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QCursor>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFontDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {

class TQtPlatform final : public TPlatform
{
public:
    void Beep() override { QApplication::beep(); }

    void ShowMessage(TMessageKind Kind, const QString& Text) override
    {
        QMessageBox Box(IconOf(Kind), TitleOf(Kind), Text, QMessageBox::Ok, QApplication::activeWindow());
        Box.setObjectName(QStringLiteral("MessageBox"));
        Box.setTextFormat(Qt::PlainText);   // paths may contain '<' and '&'
        ExecWithArrow(Box);
    }

    bool Confirm(const QString& Text) override
    {
        QMessageBox Box(QMessageBox::Question, QStringLiteral("Confirm"), Text,
                        QMessageBox::Yes | QMessageBox::Cancel, QApplication::activeWindow());
        Box.setObjectName(QStringLiteral("MessageBox"));
        Box.setTextFormat(Qt::PlainText);
        Box.setDefaultButton(QMessageBox::Yes);
        Box.setEscapeButton(QMessageBox::Cancel);
        return ExecWithArrow(Box) == QMessageBox::Yes;
    }

    bool ConfirmRisky(const QString& Text, const QString& AcceptText) override
    {
        QMessageBox Box(QMessageBox::Warning, QStringLiteral("Confirm"), Text, QMessageBox::Cancel,
                        QApplication::activeWindow());
        Box.setObjectName(QStringLiteral("MessageBox"));
        Box.setTextFormat(Qt::PlainText);
        QPushButton* Accept = Box.addButton(AcceptText, QMessageBox::DestructiveRole);
        Box.setDefaultButton(QMessageBox::Cancel);
        Box.setEscapeButton(QMessageBox::Cancel);
        ExecWithArrow(Box);
        return Box.clickedButton() == Accept;
    }

    QString ChooseOpenFile(QWidget* Parent, const QString& StartDir, const QString& DialogName) override
    {
        QFileDialog Dialog(Parent, QStringLiteral("Open"), StartDir);
        Dialog.setObjectName(DialogName);
        Dialog.setFileMode(QFileDialog::ExistingFile);
        Dialog.setAcceptMode(QFileDialog::AcceptOpen);
        Dialog.setNameFilters({QStringLiteral("All files (*)")});
        if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
            return {};
        return Dialog.selectedFiles().constFirst();
    }

    QString ChooseFolder(QWidget* Parent, const QString& StartDir, const QString& DialogName) override
    {
        QFileDialog Dialog(Parent, QStringLiteral("Choose a Folder"), StartDir);
        Dialog.setObjectName(DialogName);
        Dialog.setFileMode(QFileDialog::Directory);
        Dialog.setOption(QFileDialog::ShowDirsOnly);
        Dialog.setAcceptMode(QFileDialog::AcceptOpen);
        if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
            return {};
        return Dialog.selectedFiles().constFirst();
    }

    QString ChooseSaveFile(QWidget* Parent, const QString& StartDir, const QString& FileName) override
    {
        QFileDialog Dialog(Parent, QStringLiteral("Save As"), StartDir);
        Dialog.setObjectName(QStringLiteral("SaveDialog1"));   // the window's one save dialog
        Dialog.setFileMode(QFileDialog::AnyFile);
        Dialog.setAcceptMode(QFileDialog::AcceptSave);
        Dialog.setNameFilters({QStringLiteral("All files (*)")});
        if (!FileName.isEmpty())
            Dialog.selectFile(FileName);
        if (Dialog.exec() != QDialog::Accepted || Dialog.selectedFiles().isEmpty())
            return {};
        return Dialog.selectedFiles().constFirst();
    }

    bool ChooseFont(QWidget* Parent, QFont& Font) override
    {
        bool Ok = false;
        const QFont Chosen = QFontDialog::getFont(&Ok, Font, Parent);
        if (Ok)
            Font = Chosen;
        return Ok;
    }

    bool ChooseColor(QWidget* Parent, QColor& Color) override
    {
        const QColor Chosen = QColorDialog::getColor(Color, Parent);
        if (!Chosen.isValid())
            return false;
        Color = Chosen;
        return true;
    }

    void OpenUrl(const QUrl& Url) override { QDesktopServices::openUrl(Url); }
    void OpenFile(const QString& FileName) override { QDesktopServices::openUrl(QUrl::fromLocalFile(FileName)); }

    void SetPointer(TPointer Pointer) override
    {
        if (Pointer == TPointer::Default) {
            while (QGuiApplication::overrideCursor())
                QGuiApplication::restoreOverrideCursor();
            return;
        }
        const QCursor Shape(Pointer == TPointer::Hourglass ? Qt::WaitCursor : Qt::BusyCursor);
        if (QGuiApplication::overrideCursor())
            QGuiApplication::changeOverrideCursor(Shape);
        else
            QGuiApplication::setOverrideCursor(Shape);
    }

    void SetClipboardText(const QString& Text) override { QGuiApplication::clipboard()->setText(Text); }

private:
    // A box waits for the user, so a busy pointer must not stand over it; the busy shape comes
    // back afterwards unless the program changed or ended it while the box was open.
    static int ExecWithArrow(QMessageBox& Box)
    {
        const QCursor* Busy = QGuiApplication::overrideCursor();
        const Qt::CursorShape BusyShape = Busy ? Busy->shape() : Qt::ArrowCursor;
        if (Busy)
            QGuiApplication::changeOverrideCursor(QCursor(Qt::ArrowCursor));
        const int Result = Box.exec();
        const QCursor* Now = QGuiApplication::overrideCursor();
        if (Busy && Now && Now->shape() == Qt::ArrowCursor)
            QGuiApplication::changeOverrideCursor(QCursor(BusyShape));
        return Result;
    }

    [[nodiscard]] static QMessageBox::Icon IconOf(TMessageKind Kind)
    {
        switch (Kind) {
        case TMessageKind::Information: return QMessageBox::Information;
        case TMessageKind::Warning: return QMessageBox::Warning;
        case TMessageKind::Error: return QMessageBox::Critical;
        }
        return QMessageBox::NoIcon;
    }

    [[nodiscard]] static QString TitleOf(TMessageKind Kind)
    {
        switch (Kind) {
        case TMessageKind::Information: return QStringLiteral("Information");
        case TMessageKind::Warning: return QStringLiteral("Warning");
        case TMessageKind::Error: return QStringLiteral("Error");
        }
        return {};
    }
};

}   // namespace

TPlatform& RealPlatform()
{
    static TQtPlatform Platform;
    return Platform;
}
