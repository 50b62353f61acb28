// Folder texts, folder states, directory parts and folder chains, over a file
// system that records what it is asked.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/process_state.h"
#include "extract/extract.h"
#include "platform/posix/posix_files.h"
#include "support/cp932.h"
#include "support/scripted_front.h"
#include "support/temp_dir.h"

namespace {

// A file system in memory: every lookup and creation is recorded.
struct recorded_disk {
  std::map<std::string, path_kind> entries;
  std::vector<std::string> lookups;
  std::vector<std::string> creations;
  std::vector<std::string> refused;  // creations that fail
} disk;

path_kind recorded_find(const char* path) {
  disk.lookups.push_back(path);
  auto it = disk.entries.find(path);
  return it == disk.entries.end() ? path_absent : it->second;
}

bool recorded_create(const char* path) {
  disk.creations.push_back(path);
  for (const std::string& r : disk.refused) {
    if (r == path) return false;
  }
  disk.entries[path] = path_folder;
  return true;
}

file_layer make_recorded_layer() {
  file_layer layer = posix_file_layer;
  layer.find_path = recorded_find;
  layer.create_folder = recorded_create;
  return layer;
}
const file_layer recorded_layer = make_recorded_layer();

class paths : public ::testing::Test {
 protected:
  void SetUp() override {
    disk = recorded_disk{};
    use_scripted_front(&recorded_layer);
  }
  void TearDown() override { text_release(&out); }
  byte_string out = {};
};

const std::string hyo = cp932("表");  // 0x95 0x5C: its trail byte is a backslash

TEST(paths_texts, the_japanese_character_hides_a_backslash_byte) {
  ASSERT_EQ(hyo, std::string("\x95\x5C"));
}

struct text_case {
  std::string in, expected;
};

TEST_F(paths, with_trailing_backslash_makes_a_folder_text) {
  const text_case cases[] = {
      {"", ".\\"},
      {"C:", "C:\\"},
      {"C:\\temp\\", "C:\\temp\\"},
      {"C:\\temp", "C:\\temp\\"},
      {"C:\\" + hyo, "C:\\" + hyo + "\\"},
      {hyo + "\\", hyo + "\\"},
      {"\\", "\\"},
  };
  for (const text_case& c : cases) {
    with_trailing_backslash(c.in.c_str(), &out);
    EXPECT_EQ(text_c_str(&out), c.expected) << utf8(c.in);
  }
  EXPECT_TRUE(disk.lookups.empty());
}

TEST_F(paths, directory_part_stops_after_the_last_backslash_character) {
  const text_case cases[] = {
      {"C:\\d\\a\\b.txt", "C:\\d\\a\\"},
      {"b.txt", ""},
      {"C:\\d\\" + hyo + ".txt", "C:\\d\\"},
      {hyo + hyo, ""},
      {"a\\" + hyo + "\\b", "a\\" + hyo + "\\"},
      {"a\\", "a\\"},
  };
  for (const text_case& c : cases) {
    directory_part(c.in.c_str(), &out);
    EXPECT_EQ(text_c_str(&out), c.expected) << utf8(c.in);
  }
}

TEST_F(paths, a_drive_root_is_a_folder_without_asking_the_file_system) {
  for (const char* root : {"C:\\", "c:\\", "Q:\\", "z:x"}) {
    EXPECT_EQ(folder_state(root), folder_ok) << root;
  }
  EXPECT_TRUE(disk.lookups.empty());
}

TEST_F(paths, folder_state_looks_up_the_text_without_its_backslash) {
  disk.entries["C:\\a file"] = path_file;
  disk.entries["C:\\a folder"] = path_folder;
  disk.entries["1:"] = path_folder;
  struct {
    const char* text;
    folder_state_value expected;
    const char* looked_up;
  } cases[] = {
      {"1:\\", folder_ok, "1:"},
      {"C:\\a file\\", folder_is_file, "C:\\a file"},
      {"C:\\a folder\\", folder_ok, "C:\\a folder"},
      {"C:\\nothing\\", folder_missing, "C:\\nothing"},
      {"C:\\a\\", folder_missing, "C:\\a"},
  };
  for (const auto& c : cases) {
    disk.lookups.clear();
    EXPECT_EQ(folder_state(c.text), c.expected) << c.text;
    EXPECT_EQ(disk.lookups, std::vector<std::string>{c.looked_up}) << c.text;
  }
}

struct chain_case {
  std::string folder_text;
  std::vector<std::string> lookups, creations;
  std::string failing_prefix;
};

TEST_F(paths, make_folder_chain_makes_each_missing_prefix_from_the_outside_in) {
  const chain_case cases[] = {
      {"C:\\", {}, {}, ""},
      {"C:\\" + hyo + "\\", {"C:\\" + hyo}, {"C:\\" + hyo}, ""},
      {"C:\\a\\b\\", {"C:\\a", "C:\\a\\b"}, {"C:\\a", "C:\\a\\b"}, ""},
      {"\\a\\", {"\\a"}, {"\\a"}, ""},
      {"a\\\\b\\", {"a", "a\\", "a\\\\b"}, {"a", "a\\", "a\\\\b"}, ""},
      // A colon before a backslash is passed over wherever it stands.
      {"x\\y:\\z\\", {"x", "x\\y:\\z"}, {"x", "x\\y:\\z"}, ""},
      // The last component without a backslash after it is left alone.
      {"C:\\a\\b", {"C:\\a"}, {"C:\\a"}, ""},
  };
  for (const chain_case& c : cases) {
    disk = recorded_disk{};
    make_folder_chain(c.folder_text.c_str(), &out);
    EXPECT_EQ(disk.lookups, c.lookups) << utf8(c.folder_text);
    EXPECT_EQ(disk.creations, c.creations) << utf8(c.folder_text);
    EXPECT_EQ(text_c_str(&out), c.failing_prefix) << utf8(c.folder_text);
  }
}

TEST_F(paths, make_folder_chain_leaves_existing_folders_alone) {
  disk.entries["C:\\a"] = path_folder;
  make_folder_chain("C:\\a\\b\\", &out);
  EXPECT_EQ(disk.creations, std::vector<std::string>{"C:\\a\\b"});
  EXPECT_EQ(text_c_str(&out), std::string());
}

TEST_F(paths, make_folder_chain_stops_at_a_file_in_the_middle) {
  disk.entries["C:\\a"] = path_folder;
  disk.entries["C:\\a\\b"] = path_file;
  make_folder_chain("C:\\a\\b\\c\\d\\", &out);
  EXPECT_EQ(text_c_str(&out), std::string("C:\\a\\b"));
  EXPECT_EQ(disk.lookups, (std::vector<std::string>{"C:\\a", "C:\\a\\b"}));
  EXPECT_TRUE(disk.creations.empty());
}

TEST_F(paths, make_folder_chain_reports_the_prefix_it_could_not_create_and_keeps_the_earlier_ones) {
  disk.refused = {"C:\\a\\b"};
  make_folder_chain("C:\\a\\b\\c\\", &out);
  EXPECT_EQ(text_c_str(&out), std::string("C:\\a\\b"));
  EXPECT_EQ(disk.creations, (std::vector<std::string>{"C:\\a", "C:\\a\\b"}));
  EXPECT_EQ(disk.entries.count("C:\\a"), 1u);
}

TEST_F(paths, a_text_beginning_with_two_backslashes_fails_at_the_lone_backslash) {
  disk.refused = {"\\"};
  make_folder_chain("\\\\server\\share\\", &out);
  EXPECT_EQ(text_c_str(&out), std::string("\\"));
  EXPECT_EQ(disk.lookups, std::vector<std::string>{"\\"});
}

TEST_F(paths, folder_failure_names_the_prefix_closes_the_archive_and_ends_with_code_0) {
  temp_dir dir;
  write_file(dir / "archive", std::string("x"));
  int code = run_until_exit([&] {
    platform_files->open_read(&archive_file, (dir / "archive").c_str());
    folder_failure("C:\\a\\b");
  });
  EXPECT_EQ(code, 0);
  ASSERT_EQ(scripted.messages.size(), 1u);
  EXPECT_EQ(scripted.messages[0].id, message_folder_failure);
  EXPECT_EQ(scripted.messages[0].text, cp932("フォルダが作れませんでした:") + "C:\\a\\b");
  EXPECT_EQ(scripted.messages[0].flags, 0x10u);
  EXPECT_FALSE(archive_file.is_open);
}

TEST(paths_on_disk, make_folder_chain_creates_a_folder_whose_name_ends_in_a_0x5c_byte) {
  use_scripted_front();
  temp_dir dir;
  byte_string root = {}, failing = {};
  ASSERT_TRUE(cp932_from_utf8(dir.path().c_str(), &root));
  std::string folder_text = text_c_str(&root);
  for (char& c : folder_text) {
    if (c == '/') c = '\\';
  }
  folder_text += "\\" + hyo + "\\" + hyo + "\\";
  make_folder_chain(folder_text.c_str(), &failing);
  EXPECT_EQ(text_c_str(&failing), std::string());
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "表" / "表"));
  text_release(&root);
  text_release(&failing);
}

}  // namespace
