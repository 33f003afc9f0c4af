// The list's text form from the window; see ListTextMenu.h.
#include "shell/ListTextMenu.h"

#include <QFileDialog>
#include <QMessageBox>

#include "engine/ListTextFile.h"
#include "engine/MessageText.h"
#include "engine/MonitorEngine.h"
#include "res/QtText.h"

namespace tarnwatch {
namespace {

QString Local(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

// A menu item's text as the title of its windows: "Import List".
QString Title(int id) {
    return TableText(id).remove(QLatin1Char('&')).remove(QStringLiteral("..."));
}

void Tell(QWidget* parent, const QString& title, const TextListOutcome& outcome) {
    if (outcome.code == kTextListFailed) {
        QMessageBox::warning(parent, title, Local(outcome.message));
    } else {
        QMessageBox::information(parent, title, Local(outcome.message));
    }
}

bool Idle(MonitorEngine& engine) {
    engine.OnCancel();  // stops a sound, as every dialog of the window does
    return !engine.Busy() && !engine.ShutdownDone();
}

}  // namespace

void ExportListFromWindow(QWidget* parent, MonitorEngine& engine) {
    if (!Idle(engine)) return;
    const SchedulePause paused(engine);  // menu items that open another grey
    const QString title = Title(IDS_TRAY_EXPORT_LIST);
    const QString file = QFileDialog::getSaveFileName(parent, TableText(IDS_EXPORT_TO_FILE),
                                                      QString(), TableText(IDS_LIST_TEXT_FILTER));
    if (file.isEmpty() || engine.ShutdownDone()) return;
    Tell(parent, title,
         WriteListText(engine.Entries(), ListFileLocation(), file.toLocal8Bit().toStdString()));
}

void ImportListFromWindow(QWidget* parent, MonitorEngine& engine) {
    if (!Idle(engine)) return;
    const QString title = Title(IDS_TRAY_IMPORT_LIST);
    std::string file;
    EntryCollection entries;
    {
        const SchedulePause paused(engine);  // menu items that open another grey
        const QString chosen = QFileDialog::getOpenFileName(
            parent, TableText(IDS_IMPORT_FROM_FILE), QString(), TableText(IDS_LIST_TEXT_FILTER));
        if (chosen.isEmpty() || engine.ShutdownDone()) return;
        file = chosen.toLocal8Bit().toStdString();
        std::string error;
        if (!ReadListText(file, entries, error)) {
            Tell(parent, title, {kTextListFailed, error + "; nothing was imported"});
            return;
        }
        const QString question = Local(FormatText(
            LoadString(IDS_IMPORT_CONFIRM),
            {std::to_string(engine.Entries().rowCount), std::to_string(entries.rowCount), file}));
        if (QMessageBox::question(parent, title, question) != QMessageBox::Yes ||
            engine.ShutdownDone()) {
            return;
        }
    }
    Tell(parent, title, engine.ImportEntries(std::move(entries), file));
}

}  // namespace tarnwatch
