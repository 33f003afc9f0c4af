// Program frame: command lines of one to four words, the report mode, the
// banners, the status line and the table directory of a program on PATH.
#include "quillongen/pgm.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "Child.h"
#include "fakes/TempDir.h"
#include "quillongen/err.h"
#include "quillongen/lck.h"

namespace {

using tarnwatch::fakes::ReadBytes;
using tarnwatch::fakes::ReadText;
using tarnwatch::fakes::ScopedEnv;
using tarnwatch::fakes::TempDir;

const std::string kDate =
    "[A-Z][a-z]{2} [A-Z][a-z]{2} [ 1-3][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}\n";

// Runs each test in its own directory: the report file lies in the current one.
class PgmInit : public ::testing::Test {
protected:
    void SetUp() override {
        old_ = std::filesystem::current_path();
        std::filesystem::current_path(dir_.path());
        unsetenv("REPORT_MODE");
        setenv("USERNAME", "alice", 1);
        unsetenv("USERDOMAIN");
    }
    void TearDown() override {
        pgm_exit();
        std::filesystem::current_path(old_);
    }
    std::string Init(const char* commandLine) {
        char input[256] = "junk";
        EXPECT_EQ(pgm_init("dat", nullptr, nullptr, commandLine, input), 1);
        return input;
    }
    TempDir dir_;
    ScopedEnv table_{"XRDTBL", QGIO_TABLE_DIR};
    std::filesystem::path old_;
};

TEST_F(PgmInit, TwoWordsGiveAnInputFileAndTheFullStartBanner) {
    EXPECT_EQ(Init("C:\\TOOLS\\conv.exe data"), "data.dat");
    EXPECT_STREQ(prg_name, "conv");
    err_close();
    const std::string expected =
        "\\*{55}\n\n            ------ Program: conv ------\n               " + kDate +
        " \nCommand line: C:\\\\TOOLS\\\\conv\\.exe data \n\nUsername: alice         Computer: "
        "\\(null\\)\n\nInput: FILE \\(data\\.dat\\)\n\nOutput: VERBOSE \\(conv\\.rpt \\+ "
        "screen\\)\n\n\\.{55}\n\n";
    EXPECT_TRUE(std::regex_match(ReadText("conv.rpt"), std::regex(expected)))
        << ReadText("conv.rpt");
}

TEST_F(PgmInit, OneWordMeansQueryModeWhereErrorsAreNotFatal) {
    EXPECT_EQ(Init("/usr/local/bin/tool"), "");
    EXPECT_STREQ(prg_name, "tool");
    err_mess(ERR_LEVEL_ERROR, 0, "survived");
    err_close();
    const std::string report = ReadText("tool.rpt");
    EXPECT_NE(report.find("\nInput: QUERY (no file)\n\n"), std::string::npos);
    EXPECT_NE(report.find("\n survived\n"), std::string::npos);

    EXPECT_EQ(Init(""), "");  // an empty command line is one empty word
    EXPECT_STREQ(prg_name, "");
}

TEST_F(PgmInit, ThreeWordsNameTheReportFileAndOnlyQuietInOneCaseIsQuiet) {
    {
        ScopedEnv mode("REPORT_MODE", "Quiet");
        EXPECT_EQ(Init("conv in.txt log.txt"), "in.txt");
        err_close();
        EXPECT_NE(ReadText("log.txt").find("Output: VERBOSE (log.txt + screen)"),
                  std::string::npos);
    }
    for (const char* quiet : {"QUIET", "quiet"}) {
        ScopedEnv mode("REPORT_MODE", quiet);
        EXPECT_EQ(Init("conv data out"), "data.dat");
        err_close();
        EXPECT_NE(ReadText("out.rpt").find("Output: QUIET (out.rpt)"), std::string::npos);
        std::filesystem::remove("out.rpt");
    }
}

TEST_F(PgmInit, ExitWritesTheTerminationBannerAndReleasesLocks) {
    Init("prog");
    ASSERT_EQ(lck_lockFile("held.dat", 2), 0);
    const std::string lockFile = "held_dat_prog_" + std::to_string(getpid()) + ".lck";
    EXPECT_TRUE(std::filesystem::exists(lockFile));
    pgm_exit();
    EXPECT_FALSE(std::filesystem::exists(lockFile));
    const std::string report = ReadText("prog.rpt");
    const std::string tail =
        "\n\n\\.{55}\n\n          ------ Program Termination ------\n"
        "               " +
        kDate + "\n\\*{55}\n\n$";
    EXPECT_TRUE(std::regex_search(report, std::regex(tail))) << report;
}

TEST(PgmFatal, FourWordsEndTheProgramAfterTheBannerWithInputError) {
    TempDir dir;
    ScopedEnv table("XRDTBL", QGIO_TABLE_DIR);
    ScopedEnv quiet("REPORT_MODE", "QUIET");
    const std::string cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    qgio::Child child({"pgm", "conv a b c"});
    EXPECT_EQ(child.Wait(), 0);
    std::filesystem::current_path(cwd);
    const std::string report = ReadText(dir / "conv.rpt");
    const size_t banner = report.find("\nInput: FILE (ERROR)\n");
    const size_t message = report.find(
        "\n FATAL CONDITION !!!\n Exception Code:\t 3001\n Too many arguments on the command "
        "line.");
    ASSERT_NE(banner, std::string::npos) << report;
    ASSERT_NE(message, std::string::npos) << report;
    EXPECT_LT(banner, message);
    EXPECT_NE(report.find("\n Module:\t conv  pgm_init\n"), std::string::npos);
    EXPECT_NE(report.find("\n Only two arguments are permitted.\n"), std::string::npos);
    EXPECT_NE(report.find("------ Program Termination ------"), std::string::npos);
}

std::string statusShown;
void RecordStatus(QgWindow, const char* text) {
    statusShown = text;
}

TEST_F(PgmInit, TheStatusLineIsPaddedAndCutToTheWidthLessOne) {
    int window = 0;
    ScopedEnv width("STATUS_LINE_LENGTH", "10");
    char input[256];
    pgm_init("dat", nullptr, &window, "prog", input);
    pgm_setStatusTextHandler(RecordStatus);
    pgm_status("abcdefghijklmnop");
    EXPECT_EQ(statusShown, "abcdefghi");
    pgm_status("xy");
    EXPECT_EQ(statusShown, "xy       ");
    pgm_statusWindowWidth(5);
    pgm_status("");
    EXPECT_EQ(statusShown, std::string(9, ' '));
    pgm_statusWindowWidth(1000);
    pgm_status("z");
    EXPECT_EQ(statusShown, "z" + std::string(254, ' '));
    pgm_setStatusTextHandler(nullptr);
}

TEST(PgmTables, TheTableDirectoryLiesBesideTheProgramFoundOnPath) {
    TempDir dir;
    std::filesystem::create_directories(dir / "bin");
    std::ofstream(dir / "bin/tool") << "#!/bin/sh\n";
    chmod((dir / "bin/tool").c_str(), 0755);
    ScopedEnv path("PATH", dir / "nothing" + ":" + dir / "bin");
    ScopedEnv table("XRDTBL", "unchanged");
    EXPECT_EQ(pgm_setTableLocation("tool"), 1);
    EXPECT_STREQ(std::getenv("XRDTBL"), (dir / "bin/Tables").c_str());
    setenv("XRDTBL", "unchanged", 1);
    EXPECT_EQ(pgm_setTableLocation("absent"), 1);
    EXPECT_STREQ(std::getenv("XRDTBL"), "unchanged");
}

}  // namespace
