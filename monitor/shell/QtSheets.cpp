// The Qt property sheets behind the engine's sheet port.
#include "shell/QtSheets.h"

#include <QPointer>

#include "dialogs/CAdvancedDlg.h"
#include "dialogs/EntrySheet.h"
#include "dialogs/GlobalOptionsSheet.h"
#include "shell/QtPorts.h"

namespace tarnwatch {
namespace {

class QtSheets final : public SheetPort {
public:
    QtSheets(QWidget* parent, SoundPort* sound, MessagePump* pump) : parent_(parent) {
        services_.sound = sound;
        services_.pump = pump;
        services_.showMessage = [](QWidget* over, const std::string& text) {
            ShowMessage(over, text);
        };
    }
    bool RunEntrySheet(ServiceItem& entry) override {
        return tarnwatch::RunEntrySheet(parent_, entry, services_);
    }
    bool RunGlobalOptions(GlobalSettings& settings) override {
        return RunGlobalOptionsSheet(parent_, settings, services_);
    }

private:
    QPointer<QWidget> parent_;
    DialogServices services_;
};

}  // namespace

std::unique_ptr<SheetPort> MakeQtSheets(QWidget* parent, SoundPort* sound, MessagePump* pump) {
    return std::make_unique<QtSheets>(parent, sound, pump);
}

}  // namespace tarnwatch
