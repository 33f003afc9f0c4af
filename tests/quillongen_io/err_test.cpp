// Message tables and reports: the frame of each level, table lookups with
// continuation lines, codes between and beyond entries, message boxes through
// the host's handler or standard output, and the fatal levels in a child.
#include "quillongen/err.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "Child.h"
#include "fakes/TempDir.h"

namespace {

using tarnwatch::fakes::ReadBytes;
using tarnwatch::fakes::ReadText;
using tarnwatch::fakes::ScopedEnv;
using tarnwatch::fakes::TempDir;

const std::string kSeparator = "\n?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?!?";

std::string Frame(const std::string& title, const std::string& message) {
    return kSeparator + "\n" + "\n Module:\t " + title + "\n\n" + message + "\n" + kSeparator +
           "\n";
}

class ErrReport : public ::testing::Test {
protected:
    void SetUp() override {
        std::ofstream(dir_ / "err_lib.tbl") << "1004Block four\n"
                                               "1006Six first\n"
                                               "    six second\r\n"
                                               "     six third\n"
                                               "1010Ten\n";
    }
    void TearDown() override {
        err_close();
        err_setMessageBoxHandler(nullptr);
    }
    std::string Report() { return ReadText(report_); }

    TempDir dir_;
    ScopedEnv table_{"XRDTBL", dir_.path()};
    std::string report_ = dir_ / "r.rpt";
};

TEST_F(ErrReport, EachLevelWritesItsHeaderInTheFrame) {
    ASSERT_EQ(err_init("Title", report_.c_str(), 'Q', 'Q'), 0);
    const struct {
        short level;
        const char* header;
    } levels[] = {{0, ""},
                  {1, "\n INFORMATION !\n"},
                  {2, "\n WARNING !!\n"},
                  {4, "\n ERROR !!!!\n"},
                  {9, "\n UNDEFINED EXCEPTION LEVEL !!!!\n"}};
    std::string expected;
    for (const auto& l : levels) {
        std::snprintf(curr_fun, sizeof curr_fun, "  caller");
        err_mess(l.level, 0, "some text");
        EXPECT_STREQ(curr_fun, "");
        expected += Frame("Title  caller", std::string(l.header) + "\n some text");
    }
    err_mess(2, 0, "");
    expected += Frame("Title", "\n WARNING !!\n");
    err_rprt("plain line");
    err_rprt("");
    expected += "plain line\n";
    EXPECT_EQ(Report(), expected);
}

TEST_F(ErrReport, CodesAreLookedUpWithTheirContinuationLinesEveryTime) {
    ASSERT_EQ(err_init("T", report_.c_str(), 'Q', 'Q'), 0);
    err_mess(1, 1006, "extra");
    err_mess(1, 1006, nullptr);
    err_mess(1, 1005, nullptr);
    err_mess(1, 9000, nullptr);
    err_mess(1, 1010, nullptr);
    const std::string six =
        "\n INFORMATION !\n Exception Code:\t 1006\nSix first\nsix second\n six third";
    EXPECT_EQ(Report(),
              Frame("T", six + "\n extra") + Frame("T", six) +
                  Frame("T",
                        "\n INFORMATION !\n Exception Code:\t 1005 l_errcode, errcode: 1006 , "
                        "1005\n Exception code not in table !\n") +
                  Frame("T",
                        "\n INFORMATION !\n Exception Code:\t 9000 l_errcode, errcode: -1 , "
                        "9000\n Exception code not in table !\n") +
                  Frame("T", "\n INFORMATION !\n Exception Code:\t 1010\nTen"));
}

TEST(ErrTable, TheShippedTableHoldsEveryCodeOfTheLibrary) {
    TempDir dir;
    ScopedEnv table("XRDTBL", QGIO_TABLE_DIR);
    ASSERT_EQ(err_init("T", (dir / "r.rpt").c_str(), 'Q', 'Q'), 0);
    for (short code : {1001, 1002, 1003, 1004, 1005, 1010, 1011, 2002, 2008, 3001, 8200, 8201, 8202,
                       8203, 8204, 8206})
        err_mess(0, code, nullptr);
    err_close();
    const std::string report = ReadText(dir / "r.rpt");
    EXPECT_EQ(report.find("not in table"), std::string::npos) << report;
    EXPECT_NE(report.find("Exception Code:\t 8206\n"), std::string::npos);
}

struct Shown {
    std::string text, title;
    unsigned long style = 0;
    int calls = 0;
};
Shown shown;
int answer = 0;
int RecordBox(const char* text, const char* title, unsigned long style) {
    shown.text = text;
    shown.title = title;
    shown.style = style;
    ++shown.calls;
    return answer;
}

TEST_F(ErrReport, BoxesGoThroughTheHandlerOrElseToStandardOutput) {
    ASSERT_EQ(err_init("Title", report_.c_str(), 'V', 'Q'), 0);
    shown = {};
    answer = ERR_ANSWER_OK;
    err_setMessageBoxHandler(RecordBox);
    std::snprintf(curr_fun, sizeof curr_fun, " f");
    err_mess(2, 1004, "look");
    EXPECT_EQ(shown.text, "\n WARNING !!\n Exception Code:\t 1004\nBlock four\n look");
    EXPECT_EQ(shown.title, "Title f");
    EXPECT_EQ(shown.style, 0x30u);

    answer = ERR_ANSWER_NO;
    std::snprintf(curr_fun, sizeof curr_fun, " g");
    EXPECT_EQ(err_prompt("Go on?"), ERR_ANSWER_NO);
    EXPECT_EQ(shown.title, "Title g");
    EXPECT_EQ(shown.style, 35u);
    EXPECT_STREQ(curr_fun, "");
    EXPECT_EQ(err_prmp("", 0), -1);
    EXPECT_EQ(shown.calls, 2);

    // A handler that cannot show the box, and no handler at all.
    answer = 0;
    testing::internal::CaptureStdout();
    EXPECT_EQ(err_prmp("Question", 0), 0);
    err_setMessageBoxHandler(nullptr);
    err_mess(1, 0, "note");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Question\a\n\n INFORMATION !\n\n note\a\n");
}

TEST_F(ErrReport, QuietModeShowsNothingAndPromptsAnswerMinusOne) {
    ASSERT_EQ(err_init("Title", report_.c_str(), 'Q', 'Q'), 0);
    shown = {};
    err_setMessageBoxHandler(RecordBox);
    EXPECT_EQ(err_prompt("Go on?"), -1);
    err_mess(4, 0, "not fatal in this error mode");
    EXPECT_EQ(shown.calls, 0);
}

TEST_F(ErrReport, InitReportsWhatCouldNotBeOpened) {
    EXPECT_EQ(err_init("T", (dir_ / "missing/r.rpt").c_str(), 'Q', 'Q'), ERR_NO_REPORT);
    TempDir empty;
    ScopedEnv table("XRDTBL", empty.path());
    EXPECT_EQ(err_init("T", report_.c_str(), 'Q', 'Q'), ERR_NO_TABLE);
}

TEST(ErrFatal, FatalLevelsEndTheProgramWithCodeZeroAfterTheTerminationBanner) {
    TempDir dir;
    ScopedEnv table("XRDTBL", QGIO_TABLE_DIR);
    for (const std::string levelAndMode : {"3Q", "4F", "3F"}) {
        SCOPED_TRACE(levelAndMode);
        const std::string report = dir / (levelAndMode + ".rpt");
        qgio::Child child({"fatal", levelAndMode.substr(0, 1), levelAndMode.substr(1), report});
        EXPECT_EQ(child.ReadLine(), "");
        EXPECT_EQ(child.Wait(), 0);
        const std::string text = ReadText(report);
        const size_t message = text.find("\n Module:\t Helper  helper\n");
        const size_t banner = text.find("\n          ------ Program Termination ------\n");
        ASSERT_NE(message, std::string::npos) << text;
        ASSERT_NE(banner, std::string::npos) << text;
        EXPECT_LT(message, banner);
        EXPECT_NE(text.find("Exception Code:\t 1011\n"), std::string::npos);
        EXPECT_NE(text.find("\n boom\n"), std::string::npos);
    }
    qgio::Child child({"fatal", "4", "Q", dir / "4Q.rpt"});
    EXPECT_EQ(child.ReadLine(), "returned");
    EXPECT_EQ(child.Wait(), 3);
}

TEST(ErrFatal, AnUnsetTableDirectoryEndsTheProgramAtInit) {
    TempDir dir;
    unsetenv("XRDTBL");
    qgio::Child child({"init"}, dir / "stderr");
    EXPECT_EQ(child.Wait(), 0);
    EXPECT_NE(ReadText(dir / "stderr").find("Environment variable XRDTBL has not been set."),
              std::string::npos);
    ScopedEnv table("XRDTBL", dir / "nowhere");
    qgio::Child missing({"init"}, dir / "stderr");
    EXPECT_EQ(missing.Wait(), 0);
    EXPECT_NE(ReadText(dir / "stderr").find("\n Module:\t   err_init\n"), std::string::npos);
    EXPECT_NE(ReadText(dir / "stderr").find("Table directory does not exist as installed"),
              std::string::npos);
}

}  // namespace
