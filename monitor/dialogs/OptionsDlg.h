// The "General" page of the Global Options sheet: run and control options
// and the update intervals of the three timed frequency classes.
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <utility>

#include "dialogs/CAdvancedDlg.h"

class QCheckBox;
class QSlider;
class QLabel;

namespace Ui {
class OptionsDlg;
}

namespace tarnwatch {

class OptionsDlg final : public QWidget, public SheetPage {
    Q_OBJECT
public:
    explicit OptionsDlg(QWidget* parent = nullptr);
    ~OptionsDlg() override;

    // Shows the members. Intervals out of their slider's range (a damaged
    // profile) are brought into it, so the page shows and hands back only
    // values the sliders can hold.
    void OnInitDialog();

    // 0/1 options
    std::int32_t startup = 0;
    std::int32_t minimize = 0;
    std::int32_t disableClose = 0;
    std::int32_t restore = 0;
    std::int32_t autoMove = 0;
    std::int32_t autoDisable = 0;
    std::int32_t notify = 0;  // desktop notifications
    // By frequency class: 0 on demand (no control, carried unchanged), 1 low
    // in hours, 2 medium in half hours, 3 high in minutes.
    std::array<std::int32_t, 4> intervals{};
    // Entries a pass tests at once, 1 to kMaxParallelTests.
    std::int32_t parallelTests = 1;

private:
    struct IntervalControl {
        QSlider* slider;
        QLabel* valueText;
        int maximum;
        int step;  // tick interval and page step
        QString (*text)(int);
    };
    void ShowInterval(int frequencyClass);
    // The value text of each slider position.
    static QString LowText(int hours);
    static QString MediumText(int halfHours);
    static QString HighText(int minutes);

    Ui::OptionsDlg* ui_;
    std::array<IntervalControl, 4> controls_{};  // entry 0 unused
    std::array<std::pair<QCheckBox*, std::int32_t*>, 7> checks_{};
};

}  // namespace tarnwatch
