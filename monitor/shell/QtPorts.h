// Qt implementations of the engine's ports.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>

#include "engine/Ports.h"

namespace tarnwatch {

// The offscreen and minimal platforms show nothing anybody could click.
bool NobodyCanClick();

// A message with an OK button and the application's title. Where nobody can
// press OK (the offscreen and minimal platforms), the text goes to standard
// error instead, so the program never waits for a click that cannot come.
void ShowMessage(QWidget* parent, const std::string& text);

// One single-shot QTimer per id.
class QtTimerPort final : public QObject, public TimerPort {
public:
    void SetSink(TimerSink* sink) override { sink_ = sink; }
    void SetTimer(int id, int milliseconds) override;
    void KillTimer(int id) override;
    bool IsArmed(int id) const override;

private:
    TimerSink* sink_ = nullptr;
    std::map<int, std::unique_ptr<QTimer>> timers_;
};

// Ends every open modal window other than `except` as if cancelled: the
// sheets, message boxes, file choosers and wait windows of a program that
// is closing.
void EndModalWindows(const QWidget* except);

// Lets timers and repaints through, never user input. Once the program is
// closing, every wait served by it is asked to give up.
class QtPump final : public MessagePump {
public:
    void Pump() override;
    bool StopRequested() const override { return closing_; }
    void SetClosing() { closing_ = true; }
    bool Closing() const { return closing_; }

private:
    bool closing_ = false;
};

// Messages of a closing program go to standard error: nobody is there to
// click them away any more.
class QtMessageBox final : public MessageBoxPort {
public:
    QtMessageBox(QWidget* parent, const QtPump& pump) : parent_(parent), pump_(pump) {}
    void Show(const std::string& text) override;
    bool WritesToStandardError() const override;

private:
    QPointer<QWidget> parent_;
    const QtPump& pump_;
};

class QtWaitCursor final : public WaitCursorPort {
public:
    void Begin() override;
    void End() override;
};

// Showing and hiding the main window. Where no notification area exists the
// window is never hidden: it would be unreachable.
class QtWindowPort final : public WindowPort {
public:
    explicit QtWindowPort(QWidget* window) : window_(window) {}
    void Show() override;
    void Hide() override;
    bool IsHidden() const override;
    // Whether a notification area exists to hide behind; the first time
    // one is missing, standard error says that minimising is off.
    bool CanHide();

private:
    QPointer<QWidget> window_;
    bool toldNoArea_ = false;
};

}  // namespace tarnwatch
