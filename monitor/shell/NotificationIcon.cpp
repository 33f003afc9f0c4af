// The notification icon; see NotificationIcon.h.
#include "shell/NotificationIcon.h"

#include "res/Pictures.h"
#include "res/QtText.h"
#include <utility>

#include "res/StringTable.h"

namespace tarnwatch {

NotificationIcon::NotificationIcon() : icon_(ProgramIcon()) {
    menu_.setObjectName(QStringLiteral("notificationMenu"));
    QAction* open =
        menu_.addAction(TableText(IDS_TRAY_OPEN), this, &NotificationIcon::openRequested);
    menu_.setDefaultAction(open);
    menu_.addSeparator();
    updateAll_ = menu_.addAction(TableText(IDS_TRAY_UPDATE_ALL), this,
                                 &NotificationIcon::updateAllRequested);
    globalOptions_ = menu_.addAction(TableText(IDS_TRAY_GLOBAL_OPTIONS), this,
                                     &NotificationIcon::globalOptionsRequested);
    exportList_ = menu_.addAction(TableText(IDS_TRAY_EXPORT_LIST), this,
                                  &NotificationIcon::exportListRequested);
    importList_ = menu_.addAction(TableText(IDS_TRAY_IMPORT_LIST), this,
                                  &NotificationIcon::importListRequested);
    about_ = menu_.addAction(TableText(IDS_ABOUTBOX), this, &NotificationIcon::aboutRequested);
    // Pausing never starts anything, so it stays offered while busy.
    menu_.addSeparator();
    QMenu* pause = menu_.addMenu(TableText(IDS_MENU_PAUSE));
    pause->setObjectName(QStringLiteral("pauseMenu"));
    for (const auto& [text, seconds] : {std::pair{IDS_MENU_PAUSE_15M, qint64{15 * 60}},
                                        std::pair{IDS_MENU_PAUSE_1H, qint64{60 * 60}},
                                        std::pair{IDS_MENU_PAUSE_UNTIL_RESUMED, qint64{-1}}}) {
        pause->addAction(TableText(text), this, [this, s = seconds] { emit pauseRequested(s); });
    }
    resume_ = menu_.addAction(TableText(IDS_MENU_RESUME), this, &NotificationIcon::resumeRequested);
    resume_->setVisible(false);
    menu_.addSeparator();
    exit_ = menu_.addAction(TableText(IDS_TRAY_EXIT), this, &NotificationIcon::exitRequested);
    exit_->setVisible(false);
    icon_.setContextMenu(&menu_);
    connect(&icon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                // A left click (or a StatusNotifier host's activation) brings
                // the window back; a double click opens the options.
                if (reason == QSystemTrayIcon::Trigger) emit openRequested();
                if (reason == QSystemTrayIcon::DoubleClick) emit globalOptionsRequested();
            });
    icon_.show();
    hostSeen_ = QSystemTrayIcon::isSystemTrayAvailable();
    connect(&hostWatch_, &QTimer::timeout, this, &NotificationIcon::WatchHost);
    hostWatch_.start(2000);
}

NotificationIcon::~NotificationIcon() {
    icon_.hide();
}

void NotificationIcon::SetToolTip(const QString& tip) {
    icon_.setToolTip(tip);
}

void NotificationIcon::SetPaused(bool paused) {
    resume_->setVisible(paused);
}

void NotificationIcon::SetLevel(int level) {
    if (level == level_) return;
    level_ = level;
    icon_.setIcon(QIcon(OverallStatusPixmap(level)));
}

void NotificationIcon::SetBusy(bool busy) {
    for (QAction* item : {updateAll_, globalOptions_, exportList_, importList_, about_}) {
        item->setEnabled(!busy);
    }
}

void NotificationIcon::SetExitOffered(bool offered) {
    exit_->setVisible(offered);
}

void NotificationIcon::WatchHost() {
    const bool seen = QSystemTrayIcon::isSystemTrayAvailable();
    if (seen == hostSeen_) return;
    hostSeen_ = seen;
    if (!seen) {
        emit hostLost();
        return;
    }
    // A new host (the panel came back): the icon is handed to it afresh.
    icon_.hide();
    icon_.show();
}

}  // namespace tarnwatch
