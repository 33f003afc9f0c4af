// The row's context menu; see SilenceMenus.h.
#include "shell/SilenceMenus.h"

#include <QMenu>
#include <string>
#include <utility>

#include "engine/MonitorEngine.h"
#include "res/StringTable.h"
#include "res/QtText.h"

namespace tarnwatch {

void ShowSnoozeMenu(MonitorEngine& engine, int row, const QPoint& at, QWidget* parent) {
    if (!engine.Entries().IsRow(row) || engine.ShutdownDone()) return;
    // By key, not by row: a pass may move the entry while the menu is open.
    const std::string key = engine.EntryKeyAt(row);
    QMenu menu(parent);
    menu.setObjectName(QStringLiteral("rowMenu"));
    QMenu* snooze = menu.addMenu(TableText(IDS_MENU_SNOOZE));
    for (const auto& [text, seconds] : {std::pair{IDS_MENU_SNOOZE_1H, std::int64_t{60 * 60}},
                                        std::pair{IDS_MENU_SNOOZE_4H, std::int64_t{4 * 60 * 60}},
                                        std::pair{IDS_MENU_SNOOZE_UNTIL_OK, kSnoozeUntilOk}}) {
        snooze->addAction(TableText(text), &menu,
                          [&engine, key, s = seconds] { engine.SnoozeEntry(key, s); });
    }
    if (engine.SnoozedUntil(row) != 0) {
        menu.addAction(TableText(IDS_MENU_END_SNOOZE), &menu,
                       [&engine, key] { engine.EndSnooze(key); });
    }
    menu.exec(at);
}

}  // namespace tarnwatch
