// The icon in the notification area with its menu and tool tip. Hosts of
// the StatusNotifier kind never report a double click and show the icon's
// menu themselves, so everything the icon does is in its menu as well.
#pragma once

#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <memory>

namespace tarnwatch {

class NotificationIcon final : public QObject {
    Q_OBJECT
public:
    NotificationIcon();
    ~NotificationIcon() override;

    void SetToolTip(const QString& tip);
    // While a pass, a sheet or a message runs, the items that would start
    // another are greyed.
    void SetBusy(bool busy);
    // The exit item is offered only where the user may close the program.
    void SetExitOffered(bool offered);
    // While every alert is paused, the menu offers to resume them.
    void SetPaused(bool paused);
    // The picture of the overall level (3-6), as the window's status shows.
    void SetLevel(int level);
    QMenu& Menu() { return menu_; }

signals:
    void openRequested();
    void updateAllRequested();
    void globalOptionsRequested();
    void exportListRequested();
    void importListRequested();
    void aboutRequested();
    void exitRequested();
    // Every alert held for `seconds`, or until resumed for -1; and resumed.
    void pauseRequested(qint64 seconds);
    void resumeRequested();
    // The notification area went away (a panel restart): a hidden window
    // would be out of reach.
    void hostLost();

private:
    void WatchHost();

    QMenu menu_;
    QAction* updateAll_ = nullptr;
    QAction* globalOptions_ = nullptr;
    QAction* exportList_ = nullptr;
    QAction* importList_ = nullptr;
    QAction* about_ = nullptr;
    QAction* exit_ = nullptr;
    QAction* resume_ = nullptr;
    int level_ = 0;
    QSystemTrayIcon icon_;
    QTimer hostWatch_;
    bool hostSeen_ = false;
};

}  // namespace tarnwatch
