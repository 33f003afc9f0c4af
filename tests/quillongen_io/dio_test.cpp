// Line and block file I/O: the null device and its names, names keeping their
// case, lines, block files with the read shift, and opening under a lock.
#include "quillongen/dio.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "Child.h"
#include "fakes/TempDir.h"
#include "quillongen/err.h"
#include "quillongen/lck.h"
#include "quillongen/pgm.h"

namespace {

using tarnwatch::fakes::ReadBytes;
using tarnwatch::fakes::ReadText;
using tarnwatch::fakes::ScopedEnv;
using tarnwatch::fakes::TempDir;

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::string ScratchName(const TempDir& dir) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%06d", static_cast<int>(getpid()));
    return dir / (std::string(digits) + ".tmp");
}

TEST(DioNullDevice, OnlyNullFileNamesOpenItAndItsScratchFileGoesOnClose) {
    TempDir dir;
    ScopedEnv temp("temp", dir.path());
    for (const std::string& name :
         std::vector<std::string>{std::string("NULL"), std::string("null.rpt"), dir / "Null.Tmp",
                                  std::string("sub\\nUlL")}) {
        SCOPED_TRACE(name);
        FILE* f = dio_openFile(name.c_str(), "wb", 512);
        ASSERT_NE(f, nullptr);
        EXPECT_TRUE(Exists(ScratchName(dir)));
        EXPECT_EQ(dio_writeLine(f, "swallowed"), 0);
        char line[64] = "x";
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(dio_readLine(f, line), 0);
            EXPECT_STREQ(line, "");
        }
        char block[512] = "x";
        EXPECT_EQ(dio_bReadBlock(f, 1, block), 0);
        EXPECT_EQ(block[0], '\0');
        EXPECT_EQ(dio_bWriteBlock(f, 1, block), 0);
        dio_closeFile(f);
        EXPECT_FALSE(Exists(ScratchName(dir)));
        EXPECT_FALSE(Exists(dir / "Null.Tmp"));
    }

    char held[64] = "null.dat";
    FILE* f = dio_openFileL(held, "w", 0, 2);
    ASSERT_NE(f, nullptr);
    EXPECT_STREQ(held, "NULL");
    dio_closeFile(f);
    EXPECT_FALSE(Exists(ScratchName(dir)));
}

TEST(DioNullDevice, NamesThatOnlyContainTheWordAreRealFilesAndKeepTheirCase) {
    TempDir dir;
    for (const std::string& name :
         std::vector<std::string>{"annulled.dat", "NULLS.TXT", "nullity", "MiXed.Case"}) {
        SCOPED_TRACE(name);
        FILE* f = dio_openFile((dir / name).c_str(), "w", 0);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(dio_writeLine(f, "kept"), 0);
        dio_closeFile(f);
        EXPECT_EQ(ReadText(dir / name), "kept\n");
    }
    std::string lockedName = dir / "Data.Bin";
    FILE* f = dio_openFileL(lockedName.data(), "wb", 16, 0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(lockedName, dir / "Data.Bin");
    dio_closeFile(f);
    EXPECT_TRUE(Exists(dir / "Data.Bin"));
    EXPECT_FALSE(Exists(dir / "DATA.BIN"));
}

TEST(DioLines, LinesEndAtLineFeedsAndAnUnfinishedLastLineIsKept) {
    TempDir dir;
    tarnwatch::fakes::WriteBytes(dir / "t.txt",
                                 {'a', '\r', '\n', 'b', 'b', '\n', '\n', 'e', 'n', 'd'});
    FILE* f = dio_openFile((dir / "t.txt").c_str(), "rt", 0);
    ASSERT_NE(f, nullptr);
    char line[64];
    EXPECT_EQ(dio_readLine(f, line), 0);
    EXPECT_STREQ(line, "a\r");
    EXPECT_EQ(dio_readLine(f, line), 0);
    EXPECT_STREQ(line, "bb");
    EXPECT_EQ(dio_readLine(f, line), 0);
    EXPECT_STREQ(line, "");
    EXPECT_EQ(dio_readLine(f, line), DIO_END_OF_FILE);
    EXPECT_STREQ(line, "end");
    EXPECT_EQ(dio_readLine(f, line), DIO_END_OF_FILE);
    EXPECT_STREQ(line, "");
    EXPECT_EQ(dio_rewind(f), 0);
    EXPECT_EQ(dio_readLine(f, line), 0);
    EXPECT_STREQ(line, "a\r");
    // A stream open for reading only cannot take a line.
    EXPECT_EQ(dio_writeLine(f, "no"), DIO_WRITE_ERROR);
    dio_closeFile(f);
}

TEST(DioFiles, EmptyFilesDoNotCountAsExistingAndWriteModeStartsAfresh) {
    TempDir dir;
    tarnwatch::fakes::WriteBytes(dir / "empty", {});
    tarnwatch::fakes::WriteBytes(dir / "three", {'a', 'b', 'c'});
    EXPECT_EQ(dio_doesFileExist((dir / "empty").c_str()), 0);
    EXPECT_EQ(dio_doesFileExist((dir / "missing").c_str()), 0);
    EXPECT_EQ(dio_doesFileExist((dir / "three").c_str()), 1);
    EXPECT_EQ(dio_fileSize((dir / "three").c_str()), 3);
    EXPECT_EQ(dio_fileSize((dir / "missing").c_str()), 0);
    FILE* f = dio_openFile((dir / "three").c_str(), "w", 0);
    ASSERT_NE(f, nullptr);
    dio_closeFile(f);
    EXPECT_EQ(dio_fileSize((dir / "three").c_str()), 0);
    EXPECT_EQ(dio_openFile((dir / "nodir/x").c_str(), "w", 0), nullptr);
}

class DioBlocks : public ::testing::Test {
protected:
    void SetUp() override {
        std::vector<unsigned char> bytes(3000);
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i % 251);
        tarnwatch::fakes::WriteBytes(path_, bytes);
    }
    static bool HoldsBytesFrom(const char* buffer, size_t first, size_t count) {
        for (size_t i = 0; i < count; ++i)
            if (static_cast<unsigned char>(buffer[i]) != (first + i) % 251) return false;
        return true;
    }
    TempDir dir_;
    std::string path_ = dir_ / "blocks.bin";
};

TEST_F(DioBlocks, ReadsAreShiftedWritesAreNot) {
    FILE* f = dio_openFile(path_.c_str(), "r+b", 512);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(dio_getBlockSize(f), 512);
    char buffer[512];
    ASSERT_EQ(dio_bRealignBlock(f, 10), 0);
    ASSERT_EQ(dio_bReadBlock(f, 3, buffer), 0);
    EXPECT_TRUE(HoldsBytesFrom(buffer, 1034, 512));
    ASSERT_EQ(dio_bReadBlock(f, 0, buffer), 0);  // the next block: 4
    EXPECT_TRUE(HoldsBytesFrom(buffer, 1546, 512));

    std::memset(buffer, 'X', sizeof buffer);
    ASSERT_EQ(dio_bWriteBlock(f, 3, buffer), 0);
    ASSERT_EQ(dio_bResetBlockAlignment(f), 0);
    ASSERT_EQ(dio_bReadBlock(f, 0, buffer), 0);  // block 4 again, unshifted
    EXPECT_TRUE(HoldsBytesFrom(buffer, 1536, 512));
    // Block 6 would end past the 3000 bytes of the file.
    EXPECT_EQ(dio_bReadBlock(f, 6, buffer), DIO_READ_ERROR);
    dio_closeFile(f);

    auto bytes = ReadBytes(path_);
    ASSERT_EQ(bytes.size(), 3000u);
    EXPECT_EQ(bytes[1023], 1023 % 251);
    for (size_t i = 1024; i < 1536; ++i) ASSERT_EQ(bytes[i], 'X') << i;
    EXPECT_EQ(bytes[1536], 1536 % 251);
}

TEST_F(DioBlocks, OnlyRegisteredBlockFilesTakeBlockCallsAndReopen) {
    char buffer[512];
    FILE* text = dio_openFile(path_.c_str(), "r", 512);
    FILE* sizeless = dio_openFile(path_.c_str(), "rb", 0);
    for (FILE* f : {text, sizeless}) {
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(dio_getBlockSize(f), 0);
        EXPECT_EQ(dio_bReadBlock(f, 1, buffer), DIO_NOT_BLOCK_FILE);
        EXPECT_EQ(dio_bWriteBlock(f, 1, buffer), DIO_NOT_BLOCK_FILE);
        EXPECT_EQ(dio_bRealignBlock(f, 1), DIO_NOT_BLOCK_FILE);
        EXPECT_EQ(dio_bResetBlockAlignment(f), DIO_NOT_BLOCK_FILE);
        EXPECT_EQ(dio_reopenFile(path_.c_str(), "rb", f, 16), nullptr);
        dio_closeFile(f);
    }

    FILE* f = dio_openFile(path_.c_str(), "rb", 512);
    ASSERT_EQ(dio_bRealignBlock(f, 7), 0);
    ASSERT_EQ(dio_bReadBlock(f, 2, buffer), 0);
    FILE* again = dio_reopenFile(path_.c_str(), "rb", f, 100);
    ASSERT_EQ(again, f);
    EXPECT_EQ(dio_getBlockSize(f), 100);
    ASSERT_EQ(dio_bReadBlock(f, 0, buffer), 0);  // block 1, shift gone
    EXPECT_TRUE(HoldsBytesFrom(buffer, 0, 100));
    dio_closeFile(f);
}

TEST(DioLocked, TheLockIsHeldWhileOpenAndAccessIsCheckedFirst) {
    TempDir dir;
    std::snprintf(prg_name, sizeof prg_name, "DIOTEST");
    std::string name = dir / "data.txt";
    FILE* f = dio_openFileL(name.data(), "w", 0, 2);
    ASSERT_NE(f, nullptr);
    const std::string lockFile = dir / ("data_txt_DIOTEST_" + std::to_string(getpid()) + ".lck");
    EXPECT_TRUE(Exists(lockFile));
    EXPECT_EQ(dio_isFileLocked(name.c_str(), 1), 1);
    dio_writeLine(f, "content");
    dio_closeFile(f);
    EXPECT_FALSE(Exists(lockFile));
    EXPECT_EQ(dio_isFileLocked(name.c_str(), 1), 0);

    if (geteuid() == 0) GTEST_SKIP() << "root passes every access test";
    ScopedEnv table("XRDTBL", QGIO_TABLE_DIR);
    ASSERT_EQ(err_init("Io", (dir / "io.rpt").c_str(), 'Q', 'Q'), 0);
    chmod(name.c_str(), 0444);
    EXPECT_EQ(dio_openFileL(name.data(), "r+", 0, 2), nullptr);
    EXPECT_FALSE(Exists(lockFile));
    f = dio_openFileL(name.data(), "r", 0, 1);
    ASSERT_NE(f, nullptr);
    dio_closeFile(f);
    err_close();
    const std::string report = ReadText(dir / "io.rpt");
    EXPECT_NE(report.find("\n ERROR !!!!\n Exception Code:\t 1011\n"), std::string::npos);
    EXPECT_NE(report.find("\n Check file attributes of file: " + name + "\n"), std::string::npos);
}

// The helper holds the file; the prompt's Retry is answered after the helper
// has been killed, so the second check finds its lock stale and opens.
std::string promptText;
int promptCalls = 0;
qgio::Child* holder = nullptr;
int KillHolderThenRetry(const char* text, const char*, unsigned long style) {
    ++promptCalls;
    promptText = text;
    EXPECT_EQ(style, static_cast<unsigned long>(ERR_STYLE_RETRY_CANCEL | ERR_ICON_QUESTION));
    holder->Kill();
    return ERR_ANSWER_RETRY;
}

TEST(DioLocked, ALockedFileIsOfferedForRetryUntilItIsFree) {
    TempDir dir;
    ScopedEnv table("XRDTBL", QGIO_TABLE_DIR);
    std::snprintf(prg_name, sizeof prg_name, "DIOTEST");
    std::string name = dir / "shared.dat";
    qgio::Child child({"hold", "HOLDER", "3", name});
    ASSERT_EQ(child.ReadLine(), "locked");
    holder = &child;
    const std::string holderLock =
        dir / ("shared_dat_HOLDER_" + std::to_string(child.pid()) + ".lck");
    ASSERT_EQ(err_init("Io", (dir / "io.rpt").c_str(), 'V', 'Q'), 0);
    err_setMessageBoxHandler(KillHolderThenRetry);
    FILE* f = dio_openFileL(name.data(), "w", 0, 2);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(promptCalls, 1);
    EXPECT_NE(promptText.find("Process name     :HOLDER\n"), std::string::npos);
    EXPECT_NE(promptText.find("Process id       :" + std::to_string(child.pid()) + "\n"),
              std::string::npos);
    dio_closeFile(f);
    err_setMessageBoxHandler(nullptr);
    err_close();
    EXPECT_FALSE(Exists(holderLock));
    EXPECT_FALSE(Exists(dir / ("shared_dat_DIOTEST_" + std::to_string(getpid()) + ".lck")));
}

}  // namespace
