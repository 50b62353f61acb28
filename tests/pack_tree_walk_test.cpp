#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "pack/refusal.h"
#include "pack/tree_walk.h"
#include "support/cp932.h"
#include "support/temp_dir.h"

namespace {

using namespace quorvex::pack;

std::vector<std::string> names_of(const std::vector<tree_entry>& entries) {
  std::vector<std::string> names;
  for (const tree_entry& entry : entries) names.push_back(entry.shown);
  return names;
}

class PackTreeWalk : public ::testing::Test {
 protected:
  std::vector<tree_entry> walk(const std::vector<pack_input>& inputs) { return walk_inputs(inputs, settings); }
  pack_input input(const std::string& path) { return {dir.path().string(), path}; }

  temp_dir dir;
  walk_settings settings;
  std::vector<std::string> warnings;
};

TEST_F(PackTreeWalk, FoldersComeBeforeTheirContentsInNameOrder) {
  // Made out of order, so that the order of reading the folder cannot leak.
  write_file(dir / "top/z.txt", "z");
  write_file(dir / "top/b/2.txt", "2");
  write_file(dir / "top/a b.txt", "ab");
  write_file(dir / "top/a/1.txt", "1");
  std::filesystem::create_directories(dir / "top/empty");
  EXPECT_EQ(names_of(walk({input("top")})),
            (std::vector<std::string>{"top/", "top/a/", "top/a/1.txt", "top/a b.txt", "top/b/", "top/b/2.txt",
                                      "top/empty/", "top/z.txt"}));
}

TEST_F(PackTreeWalk, InputsKeepTheirPathAndEveryFolderOnItHasAnEntry) {
  write_file(dir / "x/y/表/f.txt", "f");
  std::vector<tree_entry> entries = walk({input("./x//y/表/")});
  EXPECT_EQ(names_of(entries), (std::vector<std::string>{"x/", "x/y/", "x/y/表/", "x/y/表/f.txt"}));
  EXPECT_EQ(entries.back().name, cp932("x\\y\\表\\f.txt"));
  EXPECT_TRUE(entries[2].is_folder);
  EXPECT_EQ(entries.back().size, 1u);
}

TEST_F(PackTreeWalk, TheCurrentFolderPutsItsContentsAtTheTop) {
  write_file(dir / "a.txt", "a");
  write_file(dir / "sub/b.txt", "b");
  EXPECT_EQ(names_of(walk({input(".")})), (std::vector<std::string>{"a.txt", "sub/", "sub/b.txt"}));
}

TEST_F(PackTreeWalk, ExcludedNamesAndTheirContentsStayOut) {
  write_file(dir / "p/keep.txt", "k");
  write_file(dir / "p/drop.o", "o");
  write_file(dir / "p/cache/x.txt", "x");
  write_file(dir / "p/sub/cache", "a file named like the folder");
  settings.excludes = {"*.o", "cache"};
  EXPECT_EQ(names_of(walk({input("p")})), (std::vector<std::string>{"p/", "p/keep.txt", "p/sub/"}));
}

TEST(PackExclude, GlobsMatchTheNameOrATailAfterASlash) {
  struct {
    const char* glob;
    const char* name;
    bool out;
  } cases[] = {
      {"*.o", "a/b.o", true},        {"b.o", "a/b.o", true},      {"a/b.o", "x/a/b.o", true},
      {"a/b.o", "xa/b.o", false},    {"cache", "cache/x", false}, {"cache", "p/cache", true},
      {"*.txt", "a.txt.bak", false}, {"表*", "d/表計算.txt", true},
  };
  for (const auto& c : cases) EXPECT_EQ(excluded({c.glob}, c.name), c.out) << c.glob << " " << c.name;
}

TEST_F(PackTreeWalk, AFixedTimeIsEveryTimeOfEveryFile) {
  write_file(dir / "t/a.txt", "a");
  write_file(dir / "t/b.txt", "b");
  settings.fixed_time = 133000000000000000ull;
  for (const tree_entry& entry : walk({input("t")})) {
    if (entry.is_folder) continue;
    EXPECT_EQ(entry.times.creation, *settings.fixed_time);
    EXPECT_EQ(entry.times.last_access, *settings.fixed_time);
    EXPECT_EQ(entry.times.last_write, *settings.fixed_time);
  }
}

TEST_F(PackTreeWalk, TheSameFileGivenTwiceGoesInOnce) {
  write_file(dir / "d/f.txt", "f");
  EXPECT_EQ(names_of(walk({input("d"), input("d/f.txt"), input("d")})),
            (std::vector<std::string>{"d/", "d/f.txt"}));
}

TEST_F(PackTreeWalk, TwoFilesOfOneNameAreRefused) {
  write_file(dir / "one/f.txt", "1");
  write_file(dir / "two/f.txt", "2");
  pack_input first{(dir / "one").string(), "f.txt"}, second{(dir / "two").string(), "f.txt"};
  EXPECT_THROW(walk({first, second}), refusal);
}

TEST_F(PackTreeWalk, TheOutputFileIsLeftOut) {
  write_file(dir / "w/a.txt", "a");
  write_file(dir / "w/out.exe", "an older output");
  settings.leave_out.push_back(*identity_of((dir / "w/out.exe").string()));
  settings.warn = [this](const std::string& text) { warnings.push_back(text); };
  EXPECT_EQ(names_of(walk({input("w")})), (std::vector<std::string>{"w/", "w/a.txt"}));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("out.exe"), std::string::npos);
}

TEST_F(PackTreeWalk, LinksAreFollowedButNotRoundALoop) {
  write_file(dir / "l/real/f.txt", "f");
  ASSERT_EQ(symlink("real", (dir / "l/alias").c_str()), 0);
  ASSERT_EQ(symlink("..", (dir / "l/real/up").c_str()), 0);
  settings.warn = [this](const std::string& text) { warnings.push_back(text); };
  EXPECT_EQ(names_of(walk({input("l")})),
            (std::vector<std::string>{"l/", "l/alias/", "l/alias/f.txt", "l/real/", "l/real/f.txt"}));
  EXPECT_EQ(warnings.size(), 2u);  // l/alias/up and l/real/up lead back
}

TEST_F(PackTreeWalk, NamesDifferingOnlyInCaseAreWarnedAbout) {
  write_file(dir / "c/Readme.txt", "1");
  write_file(dir / "c/README.TXT", "2");
  settings.warn = [this](const std::string& text) { warnings.push_back(text); };
  EXPECT_EQ(walk({input("c")}).size(), 3u);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("letter case"), std::string::npos);
}

TEST_F(PackTreeWalk, NamesThatMayPassTheWindowsPathLimitAreWarnedAbout) {
  const std::string folder(120, 'f');
  write_file(dir / "n" / folder / std::string(70, 's'), "short enough");
  write_file(dir / "n" / folder / std::string(90, 'l'), "may be too long");
  settings.warn = [this](const std::string& text) { warnings.push_back(text); };
  EXPECT_EQ(walk({input("n")}).size(), 4u);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find(std::string(90, 'l')), std::string::npos);
  EXPECT_NE(warnings[0].find("259"), std::string::npos);
}

}  // namespace
