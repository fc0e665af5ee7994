// The about box and the website link.

#include "app/MainForm.h"

#include "update/Website.h"

#include <QCoreApplication>
#include <QLayout>
#include <QEvent>
#include <QLabel>
#include <QMouseEvent>

#include <algorithm>

namespace {

// The link's mouse handlers, as a filter on the label.
class TLinkEvents final : public QObject
{
public:
    TLinkEvents(TfrmMain& Window, QObject* Parent)
        : QObject(Parent)
        , FWindow(Window)
    {
    }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override
    {
        switch (Event->type()) {
        case QEvent::Enter: FWindow.lbHomepageURLMouseEnter(); break;
        case QEvent::Leave: FWindow.lbHomepageURLMouseLeave(); break;
        case QEvent::MouseButtonRelease:
            if (static_cast<QMouseEvent*>(Event)->button() == Qt::LeftButton) {
                FWindow.RunCommand([this] { FWindow.lbHomepageURLClick(); });
                return true;
            }
            break;
        default: break;
        }
        return QObject::eventFilter(Watched, Event);
    }

private:
    TfrmMain& FWindow;
};

void SetUnderline(QLabel* Label, bool On)
{
    QFont Font = Label->font();
    Font.setUnderline(On);
    Label->setFont(Font);
}

}   // namespace

void TfrmMain::SetUpHomepageLink()
{
    lbHomepageURL->setText(quorlane::WebsiteHomeUrl().toString());
    lbHomepageURL->setTextFormat(Qt::PlainText);
    lbHomepageURL->setCursor(Qt::PointingHandCursor);
    lbHomepageURL->setToolTip(QStringLiteral("Open the website in the browser"));
    lbHomepageURL->setContentsMargins(0, 0, std::max(0, 10 - pnlBottom->frameWidth() - pnlBottom->layout()->contentsMargins().right()), 0);
    SetUnderline(lbHomepageURL, false);
    lbHomepageURL->installEventFilter(new TLinkEvents(*this, lbHomepageURL));
}

void TfrmMain::lbHomepageURLMouseEnter()
{
    SetUnderline(lbHomepageURL, true);
}

void TfrmMain::lbHomepageURLMouseLeave()
{
    SetUnderline(lbHomepageURL, false);
}

void TfrmMain::lbHomepageURLClick()
{
    Platform.OpenUrl(quorlane::WebsiteHomeUrl());
}

void TfrmMain::btnInfoClick()
{
    const int Year = Platform.CurrentDate().year();   // at the click: the box follows the clock
    const QString Text = QCoreApplication::applicationName() + QStringLiteral("\r\n") + QStringLiteral("Version: ")
        + QStringLiteral("1.0") + QStringLiteral("\r\n") + QStringLiteral("\r\n") + QString() + QStringLiteral("\r\n")
        + QStringLiteral("Website: ") + quorlane::WebsiteHost() + QStringLiteral("\r\n") + QStringLiteral("\r\n")
        + QStringLiteral("Quorlane is free software under the MIT licence: you may use, copy, change and pass it on "
                         "under the terms of that licence. It is provided \"as is\", without warranty of any kind.")
        + QStringLiteral("\r\n") + QStringLiteral("\r\n")
        + QStringLiteral("Copyright \u00A9 %1 The Quorlane developers").arg(Year);
    Platform.ShowMessage(TMessageKind::Information, Text);
}
