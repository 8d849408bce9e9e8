// Which host paths the adapter serves, and how they split.
#include <gtest/gtest.h>

#include <string>

#include "adapter/paths.h"

namespace {

struct Split {
    bool served;
    std::string archive;
    std::string inner;
};

Split SplitOf(const std::string &path, bool trailingSlash = false) {
    ArchivePath split;
    bool served = SplitArchivePath(path.c_str(), &split, trailingSlash);
    return served ? Split{true, split.archive, split.inner} : Split{false, "", ""};
}

void ExpectSplit(const std::string &path, const std::string &archive, const std::string &inner, bool slash = false) {
    Split got = SplitOf(path, slash);
    EXPECT_TRUE(got.served) << path;
    EXPECT_EQ(got.archive, archive) << path;
    EXPECT_EQ(got.inner, inner) << path;
}

void ExpectDeclined(const std::string &path, bool slash = false) { EXPECT_FALSE(SplitOf(path, slash).served) << path; }

TEST(SplitArchivePath, KeepsTheCallersCaseAndTurnsBackslashes) {
    ExpectSplit("/data/Games.ZIP/Levels\\one.txt", "/data/Games.ZIP", "Levels/one.txt");
    ExpectSplit("C:\\games\\Data.Zip\\a\\b", "C:\\games\\Data.Zip", "a/b");
}

TEST(SplitArchivePath, TheArchiveItselfHasAnEmptyInnerPath) {
    ExpectSplit("/data/games.zip", "/data/games.zip", "");
    ExpectSplit("/data/games.zip", "/data/games.zip", "", true);
}

TEST(SplitArchivePath, DeclinesWhatIsNoArchivePath) {
    ExpectDeclined("/data/games.zip/");
    ExpectDeclined("/data/games.zip\\");
    ExpectDeclined("/data/games.zipx/a");
    ExpectDeclined("/data/a.zipper/b.zip/c");
    ExpectDeclined("/data/plain/file.txt");
    ExpectDeclined("");
    EXPECT_FALSE(SplitArchivePath(nullptr, nullptr, false));
}

TEST(SplitArchivePath, ANestedArchiveIsAnEntryName) { ExpectSplit("/x.zip/y.zip/z", "/x.zip", "y.zip/z"); }

TEST(SplitArchivePath, AddsOneTrailingSlashWhenAsked) {
    ExpectSplit("a.zip/dir", "a.zip", "dir/", true);
    ExpectSplit("a.zip/dir/", "a.zip", "dir/", true);
    ExpectSplit("a.zip/dir\\", "a.zip", "dir/", true);
    ExpectSplit("a.zip/dir", "a.zip", "dir", false);
}

TEST(SplitArchivePath, LeavesOtherSeparatorsAlone) { ExpectSplit("a.zip//x/./../y", "a.zip", "/x/./../y"); }

TEST(SplitArchivePath, TakesTheLongestPartsThatFit) {
    std::string archive = std::string(1019, 'a') + ".zip";  // 1023 characters
    std::string inner(1023, 'b');
    ExpectSplit(archive + "/" + inner, archive, inner);
    ExpectSplit(archive + "/" + std::string(1022, 'b'), archive, std::string(1022, 'b') + "/", true);
}

TEST(SplitArchivePath, DeclinesPartsThatWouldBeCut) {
    ExpectDeclined(std::string(1020, 'a') + ".zip/x");
    std::string archive = "/d/a.zip";
    ExpectDeclined(archive + "/" + std::string(1024, 'b'));
    ExpectDeclined(archive + "/" + std::string(1023, 'b'), true);
    // Cut at 1023 characters this would name the entry "a.zip/...b" instead.
    ExpectDeclined("/d/a.zip/" + std::string(1100, 'b'));
}

}  // namespace
