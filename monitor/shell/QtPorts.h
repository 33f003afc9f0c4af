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

// Lets timers and repaints through, never user input.
class QtPump final : public MessagePump {
public:
    void Pump() override;
};

class QtMessageBox final : public MessageBoxPort {
public:
    explicit QtMessageBox(QWidget* parent) : parent_(parent) {}
    void Show(const std::string& text) override;
    bool WritesToStandardError() const override;

private:
    QPointer<QWidget> parent_;
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

private:
    QPointer<QWidget> window_;
};

}  // namespace tarnwatch
