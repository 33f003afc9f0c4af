// Page "General" of the Add/Edit sheet.
#include "dialogs/CAddEditDlg.h"

#include <QButtonGroup>
#include <QRegularExpressionValidator>
#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "res/Pictures.h"
#include "res/QtText.h"
#include "res/StringTable.h"
#include "ui_CAddEditDlg.h"

namespace tarnwatch {
namespace {

// The Attempts text as an unsigned decimal: leading blanks, then digits; no
// digits gives 0, and a number past what the field holds gives its top.
std::int32_t ParseAttempts(const QString& text) {
    constexpr std::uint64_t kTop = std::numeric_limits<std::int32_t>::max();
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace()) ++i;
    std::uint64_t value = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        value = std::min<std::uint64_t>(value * 10 + (text[i].unicode() - u'0'), kTop);
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

CAddEditDlg::CAddEditDlg(const DialogServices& services, QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::CAddEditDlg>()), services_(services) {
    ui_->setupUi(this);
    for (const ServiceTest& test : kServiceTests) {
        ui_->serviceTestCombo->addItem(QString::fromLatin1(test.name));
    }
    ui_->attemptsEdit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]*")), ui_->attemptsEdit));
    ui_->browseSourceButton->setIcon(BrowseIcon());

    frequencyGroup_ = new QButtonGroup(this);
    frequencyGroup_->addButton(ui_->onDemandRadio, kFrequencyOnDemand);
    frequencyGroup_->addButton(ui_->lowRadio, kFrequencyLow);
    frequencyGroup_->addButton(ui_->mediumRadio, kFrequencyMedium);
    frequencyGroup_->addButton(ui_->highRadio, kFrequencyHigh);
    connect(frequencyGroup_, &QButtonGroup::idClicked, this, [this](int id) { frequency = id; });

    connect(ui_->enabledCheck, &QCheckBox::clicked, this, [this](bool on) { enabled = on; });
    connect(ui_->verifyServiceCheck, &QCheckBox::clicked, this,
            [this](bool on) { verifyService = on; });
    connect(ui_->checkInternetCheck, &QCheckBox::clicked, this,
            [this](bool on) { checkInternet = on; });
    // Connected after the list is filled: filling it selects the first name.
    connect(ui_->serviceTestCombo, &QComboBox::currentIndexChanged, this,
            &CAddEditDlg::OnServiceTestChanged);
    connect(ui_->browseSourceButton, &QToolButton::clicked, this, &CAddEditDlg::OnBrowse);
}

CAddEditDlg::~CAddEditDlg() = default;

void CAddEditDlg::OnInitDialog() {
    initialised_ = true;
    ui_->timeoutEdit->setText(FieldText(timeoutText));
    ui_->descriptionEdit->setText(FieldText(description));
    // A damaged list may hold a negative count, which the digits-only edit
    // cannot show: the nearest count it can show is kept instead.
    attempts = std::max<std::int32_t>(attempts, 0);
    ui_->attemptsEdit->setText(QString::number(attempts));
    ui_->enabledCheck->setChecked(enabled != 0);
    ui_->verifyServiceCheck->setChecked(verifyService != 0);
    ui_->checkInternetCheck->setChecked(checkInternet != 0);
    {
        // Showing the stored test is not a change of test: the stored port
        // and source stay as they are.
        const QSignalBlocker quiet(ui_->serviceTestCombo);
        const bool known = serviceTest >= 0 && serviceTest < kServiceTestCount;
        ui_->serviceTestCombo->setCurrentIndex(known ? serviceTest : -1);
    }
    CheckRadio(frequencyGroup_, frequency);
    RefreshSourceKind();
}

void CAddEditDlg::OnSetActive() {
    if (!initialised_) OnInitDialog();
}

void CAddEditDlg::OnKillActive() {
    ReadBackControls();
}

void CAddEditDlg::ReadBackControls() {
    ReadBack(ui_->addressEdit, address);
    ReadBack(ui_->sourceEdit, source);
    ReadBack(ui_->timeoutEdit, timeoutText);
    ReadBack(ui_->descriptionEdit, description);
    attempts = ParseAttempts(ui_->attemptsEdit->text());
    // A stored test the list does not know stays until another is chosen.
    if (ui_->serviceTestCombo->currentIndex() >= 0) {
        serviceTest = ui_->serviceTestCombo->currentIndex();
    }
}

void CAddEditDlg::OnServiceTestChanged() {
    ReadBackControls();
    if (serviceTest < 0 || serviceTest >= kServiceTestCount) return;
    const std::int32_t port = kServiceTests[serviceTest].port;
    if (port >= 0) {
        // A typed port belongs to the test it was typed for.
        CopyText(source, std::to_string(port).c_str());
        sourceKind = kSourceTcpPort;
    } else if (port == kPortProcessName || port == kPortProgram) {
        address[0] = '\0';
        source[0] = '\0';
        sourceKind = port == kPortProcessName ? kSourceProcessName : kSourceProgram;
    } else {
        sourceKind = kSourceNone;
    }
    RefreshSourceKind();
}

void CAddEditDlg::RefreshSourceKind() {
    const bool local = sourceKind == kSourceProcessName || sourceKind == kSourceProgram;
    const char* localMachine = LoadString(IDS_LOCAL_MACHINE);
    if (local) {
        CopyText(address, localMachine);
    } else if (std::strncmp(address, localMachine, sizeof address) == 0) {
        address[0] = '\0';
    }
    ui_->addressEdit->setText(FieldText(address));
    ui_->addressEdit->setEnabled(!local);

    if (sourceKind == kSourceNone) {
        // Ping has no source; leaving the page stores this "0".
        ui_->sourceEdit->setText(QStringLiteral("0"));
        ui_->sourceEdit->setEnabled(false);
    } else {
        ui_->sourceEdit->setText(FieldText(source));
        ui_->sourceEdit->setEnabled(true);
    }
    const QString prompt = TableText(sourceKind == kSourceProcessName ? IDS_ENTER_PROCESS_NAME
                                     : sourceKind == kSourceProgram   ? IDS_ENTER_PROGRAM
                                                                      : IDS_ENTER_PORT);
    ui_->sourcePromptLabel->setText(prompt);
    ui_->sourceEdit->setAccessibleDescription(prompt);

    ui_->timeoutEdit->setEnabled(sourceKind != kSourceProcessName);
    ui_->attemptsEdit->setEnabled(sourceKind != kSourceProcessName);
    ui_->enabledCheck->setEnabled(true);
    ui_->browseSourceButton->setEnabled(sourceKind == kSourceProgram);
    ui_->checkInternetCheck->setEnabled(!local);
    ui_->serviceTestCombo->setEnabled(true);
    ui_->verifyServiceCheck->setEnabled(serviceTest == kServiceTestVorlan);
}

void CAddEditDlg::OnBrowse() {
    // The folder of the stored program, not of whatever is being typed.
    BrowseInto(this, source, ui_->sourceEdit, CommandFileChoice(source), services_);
}

}  // namespace tarnwatch
