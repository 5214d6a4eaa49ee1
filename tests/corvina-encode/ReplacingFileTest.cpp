// The tools' outputs written under a temporary name: what Commit leaves
// under the final name, and that no temporary file outlives the object.
#include "ReplacingFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace {

using Result = ReplacingFile::CommitResult;

std::string Contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "<none>";
}

void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class ReplacingFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/replacing-file-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        folder_ = pattern;
        target_ = folder_ + "/out.bin";
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string folder_;
    std::string target_;
};

struct CommitCase {
    const char* name;
    bool targetExists;
    bool replace;
    Result result;
    const char* targetAfter;
};

TEST_F(ReplacingFileTest, CommitPutsTheFileInPlaceOrLeavesTheOldOne) {
    const CommitCase cases[] = {
        {"new", false, false, Result::kCommitted, "new"},
        {"new, replacing", false, true, Result::kCommitted, "new"},
        {"over an old file", true, true, Result::kCommitted, "new"},
        {"old file kept", true, false, Result::kTargetExists, "old"},
    };
    for (const CommitCase& test : cases) {
        SCOPED_TRACE(test.name);
        (void)std::remove(target_.c_str());
        if (test.targetExists) {
            Put(target_, "old");
        }
        ReplacingFile file;
        ASSERT_TRUE(file.Create(target_, ".tool-", ".tmp"));
        const std::string temporaryPath = file.TemporaryPath();
        EXPECT_EQ(temporaryPath, target_ + ".tool-" + std::to_string(getpid()) + ".tmp");
        ASSERT_GE(std::fputs("new", file.Get()), 0);
        EXPECT_EQ(file.Commit(test.replace, test.result == Result::kCommitted), test.result);
        EXPECT_EQ(Contents(target_), test.targetAfter);
        EXPECT_EQ(Contents(temporaryPath), "<none>");
    }
}

TEST_F(ReplacingFileTest, TakenNamesAreSkippedAndUncommittedFilesRemoved) {
    const std::string leftover = target_ + ".tool-" + std::to_string(getpid()) + ".tmp";
    Put(leftover, "left by a killed run");
    std::string temporaryPath;
    {
        ReplacingFile file;
        ASSERT_TRUE(file.Create(target_, ".tool-", ".tmp"));
        temporaryPath = file.TemporaryPath();
        EXPECT_EQ(temporaryPath, target_ + ".tool-" + std::to_string(getpid()) + "-1.tmp");
    }
    EXPECT_EQ(Contents(temporaryPath), "<none>");
    EXPECT_EQ(Contents(leftover), "left by a killed run");
    EXPECT_EQ(Contents(target_), "<none>");
}

} // namespace
