// The General page of the Global Options sheet.
#include "dialogs/OptionsDlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QSlider>
#include <QSpinBox>
#include <algorithm>

#include "engine/ServiceItem.h"
#include "engine/Settings.h"
#include "res/QtText.h"
#include "res/StringTable.h"
#include "ui_OptionsDlg.h"

namespace tarnwatch {

QString OptionsDlg::LowText(int hours) {
    return QString::number(hours) + TableText(hours == 1 ? IDS_HOUR : IDS_HOURS);
}

QString OptionsDlg::MediumText(int halfHours) {
    QString text = QString::number(halfHours / 2);
    if (halfHours % 2 != 0) text += TableText(IDS_HALF);
    return text + TableText(halfHours == 2 ? IDS_HOUR : IDS_HOURS);
}

QString OptionsDlg::HighText(int minutes) {
    return QString::number(minutes) + TableText(minutes == 1 ? IDS_MINUTE : IDS_MINUTES);
}

OptionsDlg::OptionsDlg(QWidget* parent) : QWidget(parent), ui_(new Ui::OptionsDlg) {
    ui_->setupUi(this);
    controls_[kFrequencyLow] = {ui_->lowSlider, ui_->lowValueText, 24, 2, &LowText};
    controls_[kFrequencyMedium] = {ui_->mediumSlider, ui_->mediumValueText, 48, 4, &MediumText};
    controls_[kFrequencyHigh] = {ui_->highSlider, ui_->highValueText, 60, 10, &HighText};
    for (int c = kFrequencyLow; c <= kFrequencyHigh; ++c) {
        IntervalControl& control = controls_[static_cast<std::size_t>(c)];
        control.slider->setRange(0, control.maximum);
        control.slider->setTickInterval(control.step);
        control.slider->setPageStep(control.step);
        // valueChanged covers the mouse, the keyboard and the wheel alike.
        connect(control.slider, &QSlider::valueChanged, this, [this, c](int position) {
            intervals[static_cast<std::size_t>(c)] = position;
            ShowInterval(c);
        });
    }
    ui_->parallelTestsSpin->setRange(1, kMaxParallelTests);
    connect(ui_->parallelTestsSpin, &QSpinBox::valueChanged, this,
            [this](int n) { parallelTests = n; });
    checks_ = {{{ui_->startupCheck, &startup},
                {ui_->minimizeCheck, &minimize},
                {ui_->disableCloseCheck, &disableClose},
                {ui_->restoreCheck, &restore},
                {ui_->autoMoveCheck, &autoMove},
                {ui_->autoDisableCheck, &autoDisable},
                {ui_->notifyCheck, &notify}}};
    for (const auto& [box, member] : checks_) {
        // Each click writes its member, so OK has nothing to collect.
        std::int32_t* field = member;
        connect(box, &QCheckBox::toggled, this, [field](bool on) { *field = on ? 1 : 0; });
    }
}

OptionsDlg::~OptionsDlg() {
    delete ui_;
}

void OptionsDlg::OnInitDialog() {
    for (const auto& [box, member] : checks_) {
        // Any non-zero value counts as on; the member is written back as 0/1.
        const bool on = *member != 0;
        box->setChecked(on);
        *member = on ? 1 : 0;
    }
    parallelTests = std::clamp(parallelTests, 1, kMaxParallelTests);
    {
        const QSignalBlocker quiet(ui_->parallelTestsSpin);
        ui_->parallelTestsSpin->setValue(parallelTests);
    }
    for (int c = kFrequencyLow; c <= kFrequencyHigh; ++c) {
        const auto i = static_cast<std::size_t>(c);
        intervals[i] = std::clamp(intervals[i], 0, controls_[i].maximum);
        const QSignalBlocker quiet(controls_[i].slider);
        controls_[i].slider->setValue(intervals[i]);
        ShowInterval(c);
    }
}

void OptionsDlg::ShowInterval(int frequencyClass) {
    const IntervalControl& control = controls_[static_cast<std::size_t>(frequencyClass)];
    control.valueText->setText(control.text(control.slider->value()));
}

}  // namespace tarnwatch
