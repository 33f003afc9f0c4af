// Lock files between real processes: names and content, a live owner blocks,
// an ended owner's file is cleaned up, read-only locks share with readers, at
// most four locks, and releasing one lock keeps the later ones live.
#include "quillongen/lck.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "Child.h"
#include "ShortDir.h"
#include "fakes/TempDir.h"
#include "quillongen/pgm.h"

namespace {

using tarnwatch::fakes::ReadBytes;
using tarnwatch::fakes::ReadText;
using tarnwatch::fakes::ScopedEnv;
using tarnwatch::fakes::TempDir;

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::string Own(const std::string& lockPrefix) {
    return lockPrefix + "EDIT_" + std::to_string(getpid()) + ".lck";
}

class Lck : public ::testing::Test {
protected:
    void TearDown() override { lck_unlockAllFiles(); }
    void SetUp() override {
        std::snprintf(prg_name, sizeof prg_name, "EDIT");
        unsetenv("USERNAME");
        unsetenv("USERDOMAIN");
    }
    qgio::ShortDir dir_;
    char out_[256] = "untouched";
};

TEST_F(Lck, LockFileNamesAndContent) {
    ScopedEnv user("USERNAME", "bob");
    unsetenv("USERDOMAIN");
    ASSERT_EQ(lck_lockFile((dir_ / "REPORT").c_str(), LCK_MODE_READWRITE), 0);
    ASSERT_EQ(lck_lockFile((dir_ / "A.B.C").c_str(), LCK_MODE_READONLY), 0);
    const std::string report = Own(dir_ / "REPORT__");
    ASSERT_TRUE(Exists(report));
    EXPECT_TRUE(Exists(Own(dir_ / "A_C_")));
    const std::string text = ReadText(report);
    const std::string rest = text.substr(text.find('\n') + 1);
    EXPECT_EQ(text.compare(0, 18, "Date             :"), 0);
    EXPECT_EQ(rest,
              "Computer         :*** NOT SET ***\nUsername         :bob\n"
              "Process name     :EDIT\nProcess id       :" +
                  std::to_string(getpid()) + "\nWorking directory:" + dir_.path() +
                  "/\nFile name        :REPORT\nLock mode        :READWRITE");

    // A name without a directory puts the lock beside it in the current one.
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    ASSERT_EQ(lck_lockFile("here.txt", LCK_MODE_WRITE), 0);
    std::filesystem::current_path(old);
    const std::string here = ReadText(Own(dir_ / "here_txt_"));
    EXPECT_NE(here.find("\nWorking directory:" + dir_.path() + "/\n"), std::string::npos);
}

TEST_F(Lck, OwnLocksCountAndReleasingRemovesTheFile) {
    const std::string data = dir_ / "own.dat";
    ASSERT_EQ(lck_lockFile(data.c_str(), 0), 0);
    EXPECT_EQ(lck_isFileLocked(data.c_str(), out_, LCK_MODE_WRITE), 1);
    // A lock without a mode ranks like a read-write lock, so readers are kept out.
    EXPECT_EQ(lck_isFileLocked(data.c_str(), out_, LCK_MODE_READONLY), 1);
    EXPECT_NE(std::string(out_).find("Lock mode        :UNDEFINDED"), std::string::npos);
    EXPECT_EQ(lck_unlockFile(data.c_str()), 1);
    EXPECT_FALSE(Exists(Own(dir_ / "own_dat_")));
    EXPECT_EQ(lck_isFileLocked(data.c_str(), out_, LCK_MODE_WRITE), 0);
    EXPECT_EQ(lck_unlockFile(data.c_str()), 1);  // nothing held: still 1
}

TEST_F(Lck, ALiveOwnerBlocksAndAKilledOwnersLockIsCleanedUp) {
    const std::string data = dir_ / "data.txt";
    qgio::Child owner({"hold", "OTHER", "2", data});
    ASSERT_EQ(owner.ReadLine(), "locked");
    const std::string lockFile = dir_ / ("data_txt_OTHER_" + std::to_string(owner.pid()) + ".lck");
    ASSERT_TRUE(Exists(lockFile));
    for (short mode : {1, 2, 3}) {
        std::snprintf(out_, sizeof out_, "untouched");
        EXPECT_EQ(lck_isFileLocked(data.c_str(), out_, mode), 1) << mode;
        EXPECT_EQ(std::string(out_), ReadText(lockFile));
    }
    // The content handed back keeps the mode word whole.
    EXPECT_NE(std::string(out_).rfind("Lock mode        :READWRITE"), std::string::npos);
    EXPECT_EQ(std::string(out_).back(), 'E');

    owner.Kill();
    EXPECT_TRUE(Exists(lockFile));
    std::snprintf(out_, sizeof out_, "untouched");
    EXPECT_EQ(lck_isFileLocked(data.c_str(), out_, LCK_MODE_WRITE), 0);
    EXPECT_FALSE(Exists(lockFile));
    EXPECT_STREQ(out_, "untouched");
}

TEST_F(Lck, ReadOnlyLocksShareWithReadersOnly) {
    const std::string data = dir_ / "shared.dat";
    qgio::Child first({"hold", "READER", "1", data});
    qgio::Child second({"hold", "READER", "1", data});
    ASSERT_EQ(first.ReadLine(), "locked");
    ASSERT_EQ(second.ReadLine(), "locked");
    EXPECT_EQ(lck_isFileLocked(data.c_str(), out_, LCK_MODE_READONLY), 0);
    EXPECT_NE(std::string(out_).find("Lock mode        :READONLY"), std::string::npos);
    EXPECT_EQ(lck_isFileLocked(data.c_str(), out_, LCK_MODE_READWRITE), 1);

    qgio::Child writer({"hold", "WRITER", "3", data});
    ASSERT_EQ(writer.ReadLine(), "locked");
    std::snprintf(out_, sizeof out_, "untouched");
    EXPECT_EQ(lck_isFileLocked(data.c_str(), out_, LCK_MODE_READONLY), 1);
    EXPECT_NE(std::string(out_).find("Process name     :WRITER"), std::string::npos);

    // Owners that end normally take their lock files with them.
    for (qgio::Child* c : {&first, &second, &writer}) {
        c->CloseInput();
        EXPECT_EQ(c->Wait(), 0);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()),
                            std::filesystem::directory_iterator()),
              0);
}

TEST_F(Lck, TheModeComesFromItsOwnLineHoweverLongTheContent) {
    TempDir longDir;
    const std::string sub = longDir / ("modeWRITE" + std::string(150, 'd'));
    std::filesystem::create_directories(sub);
    const std::string data = sub + "/r.dat";
    qgio::Child reader({"hold", "READER", "1", data});
    ASSERT_EQ(reader.ReadLine(), "locked");
    EXPECT_EQ(lck_isFileLocked(data.c_str(), out_, LCK_MODE_READONLY), 0);
    EXPECT_EQ(lck_isFileLocked(data.c_str(), out_, LCK_MODE_READWRITE), 1);
    const std::string lockFile = sub + "/r_dat_READER_" + std::to_string(reader.pid()) + ".lck";
    EXPECT_EQ(std::string(out_), ReadText(lockFile).substr(0, 255));
}

TEST_F(Lck, AFifthLockIsRefusedAndTheFourStay) {
    for (int i = 0; i < 4; ++i)
        ASSERT_EQ(lck_lockFile((dir_ / ("f" + std::to_string(i))).c_str(), 2), 0) << i;
    EXPECT_EQ(lck_lockFile((dir_ / "f4").c_str(), 2), LCK_NOT_TAKEN);
    EXPECT_FALSE(Exists(Own(dir_ / "f4__")));
    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(Exists(Own(dir_ / ("f" + std::to_string(i) + "__"))));
        EXPECT_EQ(lck_isFileLocked((dir_ / ("f" + std::to_string(i))).c_str(), out_, 2), 1);
    }
    EXPECT_EQ(lck_unlockAllFiles(), 1);
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(Exists(Own(dir_ / ("f" + std::to_string(i) + "__"))));
    EXPECT_EQ(lck_lockFile((dir_ / "f4").c_str(), 2), 0);
}

TEST_F(Lck, ReleasingTheFirstOfThreeLocksKeepsTheOtherTwoLive) {
    qgio::Child owner({"release-first", "OTHER", dir_ / "a", dir_ / "b", dir_ / "c"});
    ASSERT_EQ(owner.ReadLine(), "locked");
    const std::string pid = std::to_string(owner.pid());
    EXPECT_FALSE(Exists(dir_ / ("a__OTHER_" + pid + ".lck")));
    EXPECT_EQ(lck_isFileLocked((dir_ / "a").c_str(), out_, 2), 0);
    for (const char* name : {"b", "c"}) {
        EXPECT_EQ(lck_isFileLocked((dir_ / name).c_str(), out_, 2), 1) << name;
        EXPECT_TRUE(Exists(dir_ / (std::string(name) + "__OTHER_" + pid + ".lck")));
    }
    owner.CloseInput();
    EXPECT_EQ(owner.Wait(), 0);
    EXPECT_FALSE(Exists(dir_ / ("b__OTHER_" + pid + ".lck")));
    EXPECT_FALSE(Exists(dir_ / ("c__OTHER_" + pid + ".lck")));
}

TEST_F(Lck, ACopyOfTheHolderSharesItsLocks) {
    CQuillonLck holder;
    ASSERT_EQ(holder.lck_setLockFileName((dir_ / "x.y").c_str()), 0);
    ASSERT_EQ(holder.lck_openLockFile(), 1);
    holder.lck_setLockFileContent(LCK_MODE_WRITE);
    {
        CQuillonLck copy(holder);
        holder.lck_unlockFile();  // closes and deletes: the copy still holds the flock
    }
    EXPECT_EQ(lck_isFileLocked((dir_ / "x.y").c_str(), out_, 2), 0);
    CQuillonLck other;
    ASSERT_EQ(other.lck_setLockFileName((dir_ / "x.y").c_str()), 0);
    ASSERT_EQ(other.lck_openLockFile(), 1);
    {
        CQuillonLck copy(other);
        ASSERT_EQ(copy.lck_setLockFileName((dir_ / "x.y").c_str()), 0);
        // The copy's destructor closes its duplicate; the original still holds.
    }
    EXPECT_EQ(lck_isFileLocked((dir_ / "x.y").c_str(), out_, 2), 1);
}

}  // namespace
