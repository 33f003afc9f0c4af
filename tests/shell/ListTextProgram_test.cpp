// --export and --import of the real program: a running monitor's list is
// exported as it stands and never replaced underneath it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "fakes/ListFileBytes.h"
#include "fakes/ProgramRunner.h"
#include "fakes/TempDir.h"

namespace tarnwatch {
namespace {

using namespace std::chrono_literals;

// Whether /proc/locks shows a lock on the file `path`.
bool Locked(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return false;
    std::ifstream locks("/proc/locks");
    const std::string inode = ":" + std::to_string(st.st_ino) + " ";
    for (std::string line; std::getline(locks, line);) {
        if (line.find(inode) != std::string::npos) return true;
    }
    return false;
}

TEST(ListTextProgramTest, ImportIsRefusedWhileAMonitorHoldsTheList) {
    TW_SKIP_WITHOUT_PRIVATE_PID_NAMESPACE();
    fakes::TempDir dir;
    const std::vector<std::string> env = {"TARNWATCH_HOME=" + dir.path(),
                                          "XDG_CONFIG_HOME=" + dir.path() + "/config",
                                          "HOME=" + dir.path(), "TZ=UTC"};
    // On demand: the monitor tests nothing while it runs.
    auto onDemand = fakes::TestEntry(0, "80", "web.example", 7, "web");
    onDemand.Int(1904, 0);
    fakes::WriteBytes(dir / "Tarnwatch.ini", fakes::ListFileImage(-2.2f, 1, {onDemand}));
    const auto listBefore = fakes::ReadBytes(dir / "Tarnwatch.ini");

    fakes::Program monitor({"--headless"}, env, "/dev/null", dir / "monitor.err");
    ASSERT_GT(monitor.pid(), 0);
    for (int i = 0; i < 500 && !Locked(dir / "Tarnwatch.lock"); ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(Locked(dir / "Tarnwatch.lock"));

    // Export needs no lock: the running monitor's list, to standard output.
    fakes::Program exporting({"--export", "-"}, env, dir / "out.toml", dir / "export.err");
    EXPECT_EQ(exporting.Wait(30s), 0) << fakes::ReadText(dir / "export.err");
    const std::string text = fakes::ReadText(dir / "out.toml");
    EXPECT_NE(text.find("\naddress = \"web.example\"\ntest = \"Http\"\n"), std::string::npos)
        << text;

    std::ofstream(dir / "new.toml") << "[[entry]]\naddress = \"new.example\"\n";
    fakes::Program importing({"--import", dir / "new.toml"}, env, "/dev/null", dir / "import.err");
    EXPECT_EQ(importing.Wait(30s), 2 << 8);
    const std::string errors = fakes::ReadText(dir / "import.err");
    EXPECT_NE(errors.find("a running Tarnwatch holds the list in " + dir.path()), std::string::npos)
        << errors;
    EXPECT_EQ(fakes::ReadBytes(dir / "Tarnwatch.ini"), listBefore);

    // Once it has ended, the same import replaces the list.
    monitor.Signal(SIGTERM);
    ASSERT_NE(monitor.Wait(30s), -1);
    fakes::Program again({"--import", dir / "new.toml"}, env, "/dev/null", dir / "again.err");
    EXPECT_EQ(again.Wait(30s), 0) << fakes::ReadText(dir / "again.err");
    const auto list = fakes::ReadBytes(dir / "Tarnwatch.ini");
    ASSERT_EQ(list.size(), 8u + 1912u + 4u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(list.data()) + 8 + 280), "new.example");
}

}  // namespace
}  // namespace tarnwatch
