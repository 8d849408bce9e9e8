// Which host paths the adapter serves, and how they split.
#include <gtest/gtest.h>

#include <string>

#include "adapter/paths.h"

namespace {

TEST(SplitArchivePath, ServesArchivePathsAndRefusesCutOnes) {
    const std::string longArchive = std::string(1019, 'a') + ".zip";  // 1023 characters
    // path, trailing slash asked, archive and inner path (no archive: declined)
    const struct { std::string path; bool slash; const char *archive; std::string inner; } cases[] = {
        {"/data/Games.ZIP/Levels\\one.txt", false, "/data/Games.ZIP", "Levels/one.txt"},
        {"C:\\games\\Data.Zip\\a\\b", false, "C:\\games\\Data.Zip", "a/b"},
        {"/data/games.zip", false, "/data/games.zip", ""},
        {"/data/games.zip", true, "/data/games.zip", ""},
        {"/x.zip/y.zip/z", false, "/x.zip", "y.zip/z"},  // a nested archive is an entry name
        {"a.zip/dir", true, "a.zip", "dir/"},
        {"a.zip/dir/", true, "a.zip", "dir/"},
        {"a.zip/dir\\", true, "a.zip", "dir/"},
        {"a.zip/dir", false, "a.zip", "dir"},
        {"a.zip//x/./../y", false, "a.zip", "/x/./../y"},
        {longArchive + "/" + std::string(1023, 'b'), false, longArchive.c_str(), std::string(1023, 'b')},
        {longArchive + "/" + std::string(1022, 'b'), true, longArchive.c_str(), std::string(1022, 'b') + "/"},
        {"/data/games.zip/", false, nullptr, ""},
        {"/data/games.zip\\", false, nullptr, ""},
        {"/data/games.zipx/a", false, nullptr, ""},
        {"/data/a.zipper/b.zip/c", false, nullptr, ""},
        {"/data/plain/file.txt", false, nullptr, ""},
        {"", false, nullptr, ""},
        {std::string(1020, 'a') + ".zip/x", false, nullptr, ""},
        {"/d/a.zip/" + std::string(1024, 'b'), false, nullptr, ""},
        {"/d/a.zip/" + std::string(1023, 'b'), true, nullptr, ""},
        {"/d/a.zip/" + std::string(1100, 'b'), false, nullptr, ""},  // cut, it would name another entry
    };
    for (const auto &c : cases) {
        ArchivePath split;
        const bool served = SplitArchivePath(c.path.c_str(), &split, c.slash);
        ASSERT_EQ(served, c.archive != nullptr) << c.path;
        if (!served) continue;
        EXPECT_STREQ(split.archive, c.archive) << c.path;
        EXPECT_EQ(split.inner, c.inner) << c.path;
    }
    EXPECT_FALSE(SplitArchivePath(nullptr, nullptr, false));
}

}  // namespace
