#include "app/BusyInput.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <utility>

TBusyInput::TBusyInput(QWidget& Window, std::function<void()> Cancel)
    : FWindow(Window)
    , FCancel(std::move(Cancel))
{
    qApp->installEventFilter(this);
}

TBusyInput::~TBusyInput()
{
    qApp->removeEventFilter(this);
}

bool TBusyInput::eventFilter(QObject* Watched, QEvent* Event)
{
    switch (Event->type()) {
    case QEvent::KeyPress:
        if (static_cast<QKeyEvent*>(Event)->key() == Qt::Key_Escape)
            FCancel();
        return true;
    case QEvent::Close:
        if (Watched != &FWindow)
            return false;
        FCloseRequested = true;
        FCancel();
        Event->ignore();
        return true;
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::InputMethod:
        return true;
    default:
        return false;
    }
}
