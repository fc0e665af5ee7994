#pragma once

#include <QObject>

#include <functional>

class QWidget;

// While a long task runs, the window keeps painting, resizing and running its timers and takes
// Esc (cancel) and its close button (cancel, then close once the task has ended); no other input
// reaches it or any other widget, so no command can start in the middle of the task.
class TBusyInput final : public QObject
{
public:
    TBusyInput(QWidget& Window, std::function<void()> Cancel);
    ~TBusyInput() override;
    TBusyInput(const TBusyInput&) = delete;
    TBusyInput& operator=(const TBusyInput&) = delete;

    // The close button was pressed meanwhile; the caller closes the window after the task.
    [[nodiscard]] bool CloseRequested() const { return FCloseRequested; }

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    QWidget& FWindow;
    std::function<void()> FCancel;
    bool FCloseRequested = false;
};
