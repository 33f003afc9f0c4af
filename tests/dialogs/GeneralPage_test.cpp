// Page "General": the service-test change, the source-kind display and the
// read-back limits.
#include <gtest/gtest.h>

#include <QComboBox>
#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "dialogs/CAddEditDlg.h"
#include "dialogs/DialogDriver.h"
#include "dialogs/EntrySheet.h"

namespace tarnwatch::testing {
namespace {

constexpr int kHttp = 7;
constexpr int kSmtp = 22;

ServiceItem TcpEntry(int serviceTest, const char* port, const char* address) {
    ServiceItem e = NewEntryTemplate();
    e.serviceTest = serviceTest;
    CopyText(e.source, port);
    CopyText(e.address, address);
    return e;
}

class GeneralPageDialogTest : public ::testing::Test {
protected:
    void Open(const ServiceItem& e) {
        sheet = std::make_unique<EntrySheet>(e, d.services);
        d.sheet = &sheet->Sheet();
        d.sheet->open();
    }
    // OK, then the record as the list operations would receive it.
    ServiceItem Ok(ServiceItem e) {
        d.Click("okButton");
        EXPECT_EQ(d.sheet->result(), QDialog::Accepted);
        sheet->CopyBack(e);
        return e;
    }
    QString Shown(const char* edit) const { return d.Edit(edit)->text(); }

    DialogDriver d;
    std::unique_ptr<EntrySheet> sheet;
};

TEST_F(GeneralPageDialogTest, NewEntryOpensOnTheTemplateAndComesBackUnchanged) {
    const ServiceItem templ = NewEntryTemplate();
    Open(templ);
    EXPECT_EQ(d.sheet->windowTitle(), "Add/Edit");
    ASSERT_EQ(d.sheet->Tabs()->count(), 4);
    EXPECT_EQ(d.sheet->Tabs()->tabText(0), "General");
    EXPECT_EQ(d.sheet->Tabs()->tabText(1), "Alert settings");
    EXPECT_EQ(d.sheet->Tabs()->tabText(2), "Sound Alerts");
    EXPECT_EQ(d.sheet->Tabs()->tabText(3), "Batch Alerts");
    auto* combo = d.Find<QComboBox>("serviceTestCombo");
    ASSERT_EQ(combo->count(), kServiceTestCount);
    EXPECT_EQ(combo->itemText(0), "Conference");
    EXPECT_EQ(combo->currentText(), "Vorlan");
    EXPECT_EQ(Shown("sourceEdit"), "700");
    EXPECT_EQ(d.LabelText("sourcePromptLabel"), "Enter port");
    EXPECT_EQ(Shown("addressEdit"), "");
    EXPECT_EQ(Shown("descriptionEdit"), "");
    EXPECT_TRUE(d.Checked("verifyServiceCheck") && d.Enabled("verifyServiceCheck"));
    EXPECT_EQ(Shown("attemptsEdit"), "1");
    EXPECT_EQ(Shown("timeoutEdit"), "10");
    EXPECT_TRUE(d.Checked("enabledCheck"));
    EXPECT_TRUE(d.Checked("highRadio"));
    EXPECT_FALSE(d.Checked("checkInternetCheck"));
    EXPECT_FALSE(d.Enabled("browseSourceButton"));

    const ServiceItem out = Ok(templ);
    EXPECT_EQ(std::memcmp(&out, &templ, sizeof out), 0);
}

TEST_F(GeneralPageDialogTest, ChoosingATcpTestReplacesTheTypedPort) {
    Open(TcpEntry(kHttp, "8080", "web.example"));
    // Opening is not a change: the stored port stays.
    EXPECT_EQ(Shown("sourceEdit"), "8080");
    d.ChooseTest(kSmtp);
    EXPECT_EQ(Shown("sourceEdit"), "25");
    d.Type("sourceEdit", "2525");
    d.ChooseTest(kHttp);
    EXPECT_EQ(Shown("sourceEdit"), "80");
    EXPECT_EQ(Shown("addressEdit"), "web.example");
    EXPECT_FALSE(d.Enabled("verifyServiceCheck"));

    const ServiceItem out = Ok(NewEntryTemplate());
    EXPECT_STREQ(out.source, "80");
    EXPECT_EQ(out.serviceTest, kHttp);
    EXPECT_EQ(out.sourceKind, kSourceTcpPort);
    EXPECT_STREQ(out.address, "web.example");
}

TEST_F(GeneralPageDialogTest, VerifyServiceIsOfferedForVorlanOnly) {
    Open(TcpEntry(kHttp, "80", "web.example"));
    for (int test = 0; test < kServiceTestCount; ++test) {
        d.ChooseTest(test);
        EXPECT_EQ(d.Enabled("verifyServiceCheck"), test == kServiceTestVorlan) << test;
    }
}

TEST_F(GeneralPageDialogTest, LocalTestsRunOnLocalMachineWithTheirOwnPrompt) {
    Open(TcpEntry(kHttp, "80", "web.example"));
    d.ChooseTest(kServiceTestIsRunning);
    EXPECT_EQ(Shown("addressEdit"), "Local Machine");
    EXPECT_FALSE(d.Enabled("addressEdit"));
    EXPECT_EQ(Shown("sourceEdit"), "");
    EXPECT_EQ(d.LabelText("sourcePromptLabel"), "Enter process name");
    EXPECT_FALSE(d.Enabled("timeoutEdit"));
    EXPECT_FALSE(d.Enabled("attemptsEdit"));
    EXPECT_FALSE(d.Enabled("checkInternetCheck"));
    EXPECT_FALSE(d.Enabled("browseSourceButton"));
    d.Type("sourceEdit", "nginx");
    ServiceItem out = Ok(NewEntryTemplate());
    EXPECT_EQ(out.sourceKind, kSourceProcessName);
    EXPECT_STREQ(out.address, "Local Machine");
    EXPECT_STREQ(out.source, "nginx");

    Open(out);
    EXPECT_EQ(Shown("sourceEdit"), "nginx");
    d.ChooseTest(kServiceTestReturnValue);
    EXPECT_EQ(Shown("sourceEdit"), "");
    EXPECT_EQ(d.LabelText("sourcePromptLabel"), "Enter exe/bat name");
    EXPECT_TRUE(d.Enabled("browseSourceButton"));
    EXPECT_TRUE(d.Enabled("timeoutEdit") && d.Enabled("attemptsEdit"));
    EXPECT_FALSE(d.Enabled("checkInternetCheck"));
    // Back to a network test: "Local Machine" is no address to connect to.
    d.ChooseTest(kHttp);
    EXPECT_EQ(Shown("addressEdit"), "");
    EXPECT_TRUE(d.Enabled("addressEdit") && d.Enabled("checkInternetCheck"));
    EXPECT_EQ(Shown("sourceEdit"), "80");
    out = Ok(out);
    EXPECT_STREQ(out.address, "");
    EXPECT_EQ(out.sourceKind, kSourceTcpPort);
}

TEST_F(GeneralPageDialogTest, PingKeepsTheAddressAndStoresZeroAsItsSource) {
    Open(TcpEntry(kHttp, "8080", "gw.example"));
    d.ChooseTest(kServiceTestPing);
    EXPECT_EQ(Shown("addressEdit"), "gw.example");
    EXPECT_TRUE(d.Enabled("addressEdit"));
    EXPECT_EQ(Shown("sourceEdit"), "0");
    EXPECT_FALSE(d.Enabled("sourceEdit"));
    EXPECT_EQ(d.LabelText("sourcePromptLabel"), "Enter port");
    EXPECT_TRUE(d.Enabled("checkInternetCheck"));
    const ServiceItem out = Ok(NewEntryTemplate());
    EXPECT_EQ(out.sourceKind, kSourceNone);
    EXPECT_STREQ(out.source, "0");
    EXPECT_STREQ(out.address, "gw.example");
}

// Browse starts in the folder of the stored program, whatever is being typed,
// and a cancelled chooser changes nothing.
TEST_F(GeneralPageDialogTest, BrowseStartsInTheStoredProgramsFolder) {
    ServiceItem e = NewEntryTemplate();
    e.serviceTest = kServiceTestReturnValue;
    e.sourceKind = kSourceProgram;
    CopyText(e.source, "/opt/tools/check.sh");
    CopyText(e.address, "Local Machine");
    Open(e);
    d.Type("sourceEdit", "/srv/other/run.sh");
    d.Click("browseSourceButton");
    ASSERT_EQ(d.choices.size(), 1u);
    EXPECT_EQ(d.choices[0].initialDirectory, "/opt/tools/");
    EXPECT_EQ(d.choices[0].defaultSuffix, "");
    EXPECT_EQ(d.choices[0].initialName, "");
    EXPECT_EQ(Shown("sourceEdit"), "/srv/other/run.sh");

    d.nextChoice = QStringLiteral("/usr/local/bin/probe");
    d.Click("browseSourceButton");
    EXPECT_EQ(Shown("sourceEdit"), "/usr/local/bin/probe");
    EXPECT_STREQ(Ok(e).source, "/usr/local/bin/probe");
}

TEST_F(GeneralPageDialogTest, LongTextIsCutToItsField) {
    Open(TcpEntry(kHttp, "80", "web.example"));
    d.Type("addressEdit", QString(300, u'a'));
    EXPECT_EQ(Shown("addressEdit").size(), 255);
    d.Type("timeoutEdit", QString(25, u'9'));
    // Two bytes a character: the field holds 127 of them, never half of one.
    d.Type("descriptionEdit", QString(200, QChar(0xE9)));
    d.Type("attemptsEdit", QString(40, u'9'));
    d.ShowPage(1);
    const CAddEditDlg& page = *sheet->General();
    EXPECT_EQ(std::string(page.address), std::string(255, 'a'));
    EXPECT_EQ(std::string(page.timeoutText), std::string(19, '9'));
    EXPECT_EQ(QString::fromUtf8(page.description), QString(127, QChar(0xE9)));
    EXPECT_EQ(page.attempts, std::numeric_limits<std::int32_t>::max());

    // Attempts takes digits only; nothing gives 0.
    d.ShowPage(0);
    d.Type("attemptsEdit", "1a2");
    EXPECT_EQ(Shown("attemptsEdit"), "12");
    d.ShowPage(1);
    EXPECT_EQ(page.attempts, 12);
    d.ShowPage(0);
    d.Type("attemptsEdit", "");
    d.ShowPage(1);
    EXPECT_EQ(page.attempts, 0);
}

// A damaged list may hold a negative count: the sheet shows the nearest
// count it can take and OK keeps it, leaving everything else as it was.
TEST_F(GeneralPageDialogTest, DamagedAttemptsShowAndKeepTheNearestValidCount) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {std::numeric_limits<std::int32_t>::min(), "0"},          {-1, "0"}, {0, "0"}, {1, "1"},
        {std::numeric_limits<std::int32_t>::max(), "2147483647"},
    };
    for (const auto& [stored, shown] : cases) {
        ServiceItem e = NewEntryTemplate();
        CopyText(e.address, "host1");
        e.attempts = stored;
        Open(e);
        EXPECT_EQ(Shown("attemptsEdit"), shown) << stored;
        ServiceItem out = Ok(e);
        EXPECT_EQ(out.attempts, std::max(stored, 0)) << stored;
        out.attempts = e.attempts;
        EXPECT_EQ(std::memcmp(&out, &e, sizeof out), 0) << stored;
    }
}

}  // namespace
}  // namespace tarnwatch::testing
