// Buffered file I/O: PATH search, buffered and positioned reads and writes,
// result codes, close failures, and the family's allocator.
#include "quillongen/xgen.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int ok(int count) {
    return count * 65536 + XGEN_OK;
}

class XgenTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/xgen_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string write(const std::string& name, const std::string& content) {
        const fs::path path = dir / name;
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static std::string pattern(size_t n) {
        std::string s(n, '\0');
        for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('A' + i % 26);
        return s;
    }

    fs::path dir;
    XgenBuffer b{};
};

TEST_F(XgenTest, BareNameIsFoundInTheThirdPathDirectory) {
    write("one/other.dat", "x");
    fs::create_directories(dir / "two");
    const std::string target = write("three/only_here.dat", "found");
    const char* old = std::getenv("PATH");
    const std::string saved = old ? old : "";
    const std::string path = "::" + (dir / "one").string() + ":" + (dir / "two").string() +
                             "/:" + (dir / "three").string();
    setenv("PATH", path.c_str(), 1);

    const int opened = Xgen_BufOpen(&b, "only_here.dat", 0);
    const int withDirectory = [&] {
        XgenBuffer other{};
        return Xgen_BufOpen(&other, "three/only_here.dat", 0);
    }();
    const int missing = [&] {
        XgenBuffer other{};
        return Xgen_BufOpen(&other, "nowhere.dat", 0);
    }();
    setenv("PATH", saved.c_str(), 1);

    ASSERT_EQ(opened, XGEN_OK);
    EXPECT_EQ(std::string(b.name), target);
    char got[6] = {};
    EXPECT_EQ(Xgen_BufIn(&b, 0, 5, got), ok(5));
    EXPECT_STREQ(got, "found");
    EXPECT_EQ(Xgen_BufClose(&b), XGEN_OK);
    EXPECT_EQ(withDirectory, XGEN_OPEN_ERROR);  // a name with a directory is never searched
    EXPECT_EQ(missing, XGEN_OPEN_ERROR);
}

TEST_F(XgenTest, OpenRefusesMissingFilesAndDirectories) {
    EXPECT_EQ(Xgen_BufOpen(&b, (dir / "absent").c_str(), 0), XGEN_OPEN_ERROR);
    EXPECT_EQ(Xgen_BufOpen(&b, dir.c_str(), 0), XGEN_OPEN_ERROR);
    EXPECT_EQ(Xgen_BufOpen(&b, "", 0), XGEN_OPEN_ERROR);
    EXPECT_EQ(Xgen_BufOpen(&b, std::string(300, 'n').c_str(), 0), XGEN_OPEN_ERROR);
}

TEST_F(XgenTest, SequentialReadsComeFromOneBufferRead) {
    const std::string content = pattern(1000);
    const std::string path = write("data", content);
    ASSERT_EQ(Xgen_BufOpen(&b, path.c_str(), 0), XGEN_OK);
    char got[11] = {};
    EXPECT_EQ(Xgen_BufIn(&b, 0, 10, got), ok(10));
    EXPECT_EQ(std::string(got, 10), content.substr(0, 10));
    EXPECT_EQ(lseek(b.handle, 0, SEEK_CUR), 512);  // one read of a whole buffer
    EXPECT_EQ(Xgen_BufIn(&b, 0, 10, got), ok(10));
    EXPECT_EQ(std::string(got, 10), content.substr(10, 10));
    EXPECT_EQ(lseek(b.handle, 0, SEEK_CUR), 512);

    EXPECT_EQ(Xgen_BufIn(&b, 0, 0, nullptr), XGEN_OK);  // nothing moves
    EXPECT_EQ(Xgen_BufIn(&b, 0, 3, got), ok(3));
    EXPECT_EQ(std::string(got, 3), content.substr(20, 3));

    EXPECT_EQ(Xgen_BufIn(&b, 600, 4, got), ok(4));  // positioned, 1-based
    EXPECT_EQ(std::string(got, 4), content.substr(599, 4));

    std::vector<char> big(1000);
    EXPECT_EQ(Xgen_BufIn(&b, 1, 1000, big.data()), 65544200);
    EXPECT_EQ(std::string(big.begin(), big.end()), content);
    EXPECT_EQ(Xgen_BufClose(&b), XGEN_OK);
}

TEST_F(XgenTest, ShortReadsGiveTheReadError) {
    ASSERT_EQ(Xgen_BufOpen(&b, write("tiny", "abcd").c_str(), 0), XGEN_OK);
    char got[16] = {};
    EXPECT_EQ(Xgen_BufIn(&b, 0, 10, got), XGEN_READ_ERROR);
    // The four bytes stay available to a read that asks for no more.
    EXPECT_EQ(Xgen_BufIn(&b, 0, 4, got), ok(4));
    EXPECT_EQ(std::string(got, 4), "abcd");
    EXPECT_EQ(Xgen_BufIn(&b, 0, 1, got), XGEN_READ_ERROR);
    EXPECT_EQ(Xgen_BufClose(&b), XGEN_OK);

    const std::string content = pattern(600);
    ASSERT_EQ(Xgen_BufOpen(&b, write("six", content).c_str(), 0), XGEN_OK);
    std::vector<char> many(600);
    EXPECT_EQ(Xgen_BufIn(&b, 0, 580, many.data()), ok(580));
    EXPECT_EQ(Xgen_BufIn(&b, 0, 30, many.data()), XGEN_READ_ERROR);  // only 20 were left
    EXPECT_EQ(Xgen_BufIn(&b, 0, 20, many.data()), ok(20));
    EXPECT_EQ(std::string(many.data(), 20), content.substr(580));
    EXPECT_EQ(Xgen_BufIn(&b, 5000, 1, many.data()), XGEN_READ_ERROR);
    EXPECT_EQ(Xgen_BufClose(&b), XGEN_OK);
}

TEST_F(XgenTest, SmallWritesWaitUntilTheBufferWouldFill) {
    const std::string path = write("out", "old content that must vanish");
    ASSERT_EQ(Xgen_BufOpen(&b, path.c_str(), 1), XGEN_OK);
    EXPECT_EQ(fs::file_size(path), 0u);  // opening for writing empties the file
    const std::string first = pattern(300);
    const std::string second(300, 'z');
    EXPECT_EQ(Xgen_BufOut(&b, 0, 300, first.data()), ok(300));
    EXPECT_EQ(fs::file_size(path), 0u);
    EXPECT_EQ(Xgen_BufOut(&b, 0, 300, second.data()), ok(300));
    EXPECT_EQ(read(path), first);  // the first 300 went out when the second call began
    EXPECT_EQ(Xgen_BufClose(&b), XGEN_OK);
    EXPECT_EQ(read(path), first + second);
}

TEST_F(XgenTest, LargeAndPositionedWrites) {
    const std::string path = dir / "large";
    ASSERT_EQ(Xgen_BufOpen(&b, path.c_str(), 1), XGEN_OK);
    const std::string head = "head";
    const std::string body = pattern(1000);
    EXPECT_EQ(Xgen_BufOut(&b, 0, 4, head.data()), ok(4));
    EXPECT_EQ(Xgen_BufOut(&b, 0, 1000, body.data()), 65544200);
    EXPECT_EQ(Xgen_BufOut(&b, 2, 1, "E"), ok(1));  // the waiting bytes go first
    EXPECT_EQ(Xgen_BufOut(&b, 0, 0, nullptr), XGEN_OK);
    EXPECT_EQ(Xgen_BufClose(&b), XGEN_OK);
    EXPECT_EQ(read(path), "hEad" + body);
}

TEST_F(XgenTest, CountsThatCannotBeReportedAreRefused) {
    const std::string path = dir / "limits";
    ASSERT_EQ(Xgen_BufOpen(&b, path.c_str(), 1), XGEN_OK);
    std::vector<char> data(40000, 'q');
    EXPECT_EQ(Xgen_BufOut(&b, 0, 32768, data.data()), XGEN_WRITE_ERROR);
    EXPECT_EQ(Xgen_BufOut(&b, 0, -1, data.data()), XGEN_WRITE_ERROR);
    EXPECT_EQ(Xgen_BufOut(&b, 0, 32767, data.data()), ok(32767));
    EXPECT_EQ(Xgen_BufClose(&b), XGEN_OK);
    EXPECT_EQ(fs::file_size(path), 32767u);

    ASSERT_EQ(Xgen_BufOpen(&b, path.c_str(), 0), XGEN_OK);
    EXPECT_EQ(Xgen_BufIn(&b, 0, 32768, data.data()), XGEN_READ_ERROR);
    EXPECT_EQ(Xgen_BufIn(&b, -3, 1, data.data()), XGEN_READ_ERROR);
    EXPECT_EQ(Xgen_BufIn(&b, 0, 32767, data.data()), ok(32767));
    EXPECT_EQ(Xgen_BufClose(&b), XGEN_OK);
}

TEST_F(XgenTest, FailedWritesKeepTheBlockUsable) {
    ASSERT_EQ(Xgen_BufOpen(&b, "/dev/full", 1), XGEN_OK);
    const std::string body = pattern(600);
    EXPECT_EQ(Xgen_BufOut(&b, 0, 600, body.data()), XGEN_WRITE_ERROR);
    EXPECT_EQ(Xgen_BufOut(&b, 0, 10, body.data()), ok(10));
    EXPECT_EQ(Xgen_BufClose(&b), XGEN_CLOSE_ERROR);  // output could not be written: still open
    EXPECT_EQ(b.outCount, 10);
    EXPECT_EQ(Xgen_BufClose(&b), XGEN_CLOSE_ERROR);
    b.outCount = 0;  // give up the waiting bytes so the file can be closed
    EXPECT_EQ(Xgen_BufClose(&b), XGEN_OK);
    EXPECT_EQ(Xgen_BufClose(&b), XGEN_CLOSE_ERROR);  // already closed
}

TEST(XgenAlloc, BlocksAreZeroedReusedAndGrowable) {
    auto* a = static_cast<unsigned char*>(Xgen_LocalAlloc(13));
    ASSERT_NE(a, nullptr);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(a[i], 0);
    std::memcpy(a, "0123456789abcdef", 16);
    EXPECT_EQ(Xgen_LocalReAlloc(10, a), a);  // smaller: same block
    EXPECT_EQ(Xgen_LocalReAlloc(16, a), a);  // 13 rounded to 16 already
    auto* grown = static_cast<unsigned char*>(Xgen_LocalReAlloc(5000, a));
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(std::memcmp(grown, "0123456789abcdef", 16), 0);
    EXPECT_EQ(grown[4999], 0);
    Xgen_LocalFree(grown);
    int onStack = 0;
    Xgen_LocalFree(&onStack);  // not a block of the family: ignored
    Xgen_LocalFree(nullptr);
    EXPECT_EQ(Xgen_LocalAlloc(0), nullptr);

    // More blocks than the first slot table holds.
    std::vector<void*> blocks;
    for (int i = 0; i < 400; ++i) {
        blocks.push_back(Xgen_LocalAlloc(64));
        ASSERT_NE(blocks.back(), nullptr);
        std::memset(blocks.back(), i & 0xFF, 64);
    }
    for (int i = 0; i < 400; ++i) EXPECT_EQ(static_cast<unsigned char*>(blocks[i])[63], i & 0xFF);
    for (void* p : blocks) Xgen_LocalFree(p);
    EXPECT_FLOAT_EQ(Xgen_versionNumber(), 1.04f);
}

}  // namespace
