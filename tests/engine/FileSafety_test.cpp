// What another user, or a kill, can leave in the program's way: links planted
// in a shared directory, things that are no lock file, and the temporary
// files of a write that never got its rename.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "engine/FileReplace.h"
#include "engine/ListFile.h"
#include "engine/MetricsFile.h"
#include "engine/SingleInstance.h"
#include "fakes/ListFileBytes.h"
#include "fakes/TempDir.h"

namespace tarnwatch {
namespace {

using fakes::ReadText;
using fakes::TempDir;

std::vector<std::string> Names(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        names.push_back(e.path().filename());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool WriteText(const std::string& path, const std::string& text, std::string* reason = nullptr) {
    return ReplaceFile(
        path, false, [&](int fd) { return WriteAll(fd, text.data(), text.size()); }, reason);
}

class PlantedLinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "only root can give a link to another user";
        const passwd* pw = getpwnam("nobody");
        other = pw ? pw->pw_uid : 65534;
        // The shared directory of the attack: sticky and writable by all.
        ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
        ASSERT_EQ(chmod(shared.c_str(), 01777), 0);
        std::ofstream(victim) << "precious\n";
    }
    // `name` in the shared directory, a link to `to` owned by `owner`.
    std::string Plant(const std::string& name, const std::string& to, uid_t owner) {
        const std::string link = shared + "/" + name;
        EXPECT_EQ(symlink(to.c_str(), link.c_str()), 0);
        EXPECT_EQ(lchown(link.c_str(), owner, static_cast<gid_t>(-1)), 0);
        return link;
    }
    TempDir dir;
    const std::string shared = dir / "shared";
    const std::string victim = dir / "victim";
    uid_t other = 65534;
};

TEST_F(PlantedLinkTest, AnotherUsersLinkInASharedDirectoryIsNeverWrittenThrough) {
    const std::string link = Plant("metrics.prom", victim, other);
    std::string reason;
    EXPECT_FALSE(WriteText(link, "metrics\n", &reason));
    EXPECT_NE(reason.find(link), std::string::npos) << reason;
    EXPECT_NE(reason.find("not followed"), std::string::npos) << reason;
    EXPECT_EQ(ReadText(victim), "precious\n");
    // A link to nothing yet: no file is created through it.
    const std::string dangling = Plant("Tarnwatch.ini", dir / "created", other);
    EXPECT_FALSE(WriteText(dangling, "list"));
    EXPECT_FALSE(std::filesystem::exists(dir / "created"));
    EXPECT_EQ(Names(shared), (std::vector<std::string>{"Tarnwatch.ini", "metrics.prom"}));

    // The metrics file says so once, however often the pass writes.
    int reports = 0;
    MetricsFile metrics(link, [&](const std::string&) { ++reports; });
    EXPECT_FALSE(metrics.Write("a\n") || metrics.Write("b\n"));
    EXPECT_EQ(reports, 1);

    // The list is not read through it either, nor copied to the backup.
    std::filesystem::remove(dangling);
    const std::string listLink = Plant("Tarnwatch.ini", victim, other);
    EntryCollection entries;
    const LoadReport report = LoadListFile(entries, {shared, listLink, shared + "/Tarnwatch.bak"});
    EXPECT_EQ(report.unsafeLink, listLink);
    EXPECT_FALSE(report.opened);
    EXPECT_FALSE(std::filesystem::exists(shared + "/Tarnwatch.bak"));
}

TEST_F(PlantedLinkTest, LinksTheKernelWouldFollowAreStillFollowed) {
    // The user's own link.
    EXPECT_TRUE(WriteText(Plant("own", victim, 0), "own\n"));
    EXPECT_EQ(ReadText(victim), "own\n");
    // Another user's link in the directory of that user.
    ASSERT_EQ(chown(shared.c_str(), other, static_cast<gid_t>(-1)), 0);
    EXPECT_TRUE(WriteText(Plant("theirs", victim, other), "theirs\n"));
    EXPECT_EQ(ReadText(victim), "theirs\n");
    // Another user's link in a directory writable by all but not sticky.
    ASSERT_EQ(chown(shared.c_str(), 0, static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
    EXPECT_TRUE(WriteText(Plant("open", victim, other), "open\n"));
    EXPECT_EQ(ReadText(victim), "open\n");
    // ... and in a sticky one that others cannot write.
    ASSERT_EQ(chmod(shared.c_str(), 01775), 0);
    EXPECT_TRUE(WriteText(Plant("sticky", victim, other), "sticky\n"));
    EXPECT_EQ(ReadText(victim), "sticky\n");
}

TEST(ListLock, AnythingButALockableFileRefusesWithItsReason) {
    TempDir dir;
    const std::string lock = dir / "Tarnwatch.lock";
    // A FIFO would hold the start; a link leads to a file of anybody's choice.
    const std::pair<std::function<int()>, std::string> kinds[] = {
        {[&] { return mkdir(lock.c_str(), 0755); }, "Is a directory"},
        {[&] { return mkfifo(lock.c_str(), 0644); }, "it is not a regular file"},
        {[&] { return symlink((dir / "elsewhere").c_str(), lock.c_str()); },
         "it is a symbolic link"},
    };
    for (const auto& [make, reason] : kinds) {
        ASSERT_EQ(make(), 0);
        ListDirectoryLock l;
        EXPECT_EQ(l.Acquire(dir.path()), ListDirectoryLock::Result::kFailed) << reason;
        EXPECT_EQ(l.path(), lock);
        EXPECT_EQ(l.reason(), reason);
        std::filesystem::remove(lock);
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere"));
}

TEST(LeftoverTempFiles, AWriteEndedBeforeItsRenameIsRemovedOnceNothingHoldsIt) {
    TempDir dir;
    const std::string target = dir / "metrics.prom";
    std::vector<char> name = TempTemplate(target);
    // What a kill just before the rename leaves: the filled file, unplaced.
    const int fd = FilledTempFile(name, false, [](int f) { return WriteAll(f, "x\n", 2); });
    ASSERT_GE(fd, 0);
    // A user's copy under a name of the pattern, and a name one letter short.
    for (const auto& [left, mode] :
         {std::pair{"metrics.prom.backup", 0644}, {"metrics.prom.Ab1De", 0600}}) {
        std::ofstream(dir / left) << "kept\n";
        chmod((dir / left).c_str(), static_cast<mode_t>(mode));
    }

    // Still held by the write that makes it (another running copy).
    EXPECT_EQ(RemoveLeftoverTempFilesOf(target), 0);
    EXPECT_TRUE(std::filesystem::exists(name.data()));
    close(fd);
    EXPECT_EQ(RemoveLeftoverTempFilesOf(target), 1);
    EXPECT_EQ(Names(dir.path()),
              (std::vector<std::string>{"metrics.prom.Ab1De", "metrics.prom.backup"}));

    // Beside the file a link leads to, as well as beside the link.
    std::filesystem::create_directory(dir / "real");
    symlink((dir / "real/list.ini").c_str(), (dir / "list.ini").c_str());
    for (const char* left : {"real/list.ini.q9W8e7", "list.ini.Zz0Yy1"}) {
        std::ofstream(dir / left) << "left\n";
        chmod((dir / left).c_str(), 0600);
    }
    EXPECT_EQ(RemoveLeftoverTempFilesOf(dir / "list.ini"), 2);
}

}  // namespace
}  // namespace tarnwatch
