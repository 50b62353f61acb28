// The stub's windows under Wine before any extraction: the bare stub, the
// size checks at start-up, the layout in units of the system font, and the
// folder browse dialog.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "wine_run.h"

namespace {

using quorvex::pack::header_fields;
using quorvex::pack::payload_writer;

namespace fs = std::filesystem;

class SetupWindowUnderWine : public ::testing::Test {
 protected:
  fs::path sfx() const { return dir / "archive.exe"; }

  std::vector<uint8_t> small_archive() {
    payload_writer payload;
    payload.add_file("a.txt", {}, std::vector<uint8_t>{'a'});
    return quorvex::pack::make_archive_file(stub_image(), header_fields{}, payload.bytes());
  }

  temp_dir dir;
};

TEST_F(SetupWindowUnderWine, BareStubHasExtractDisabledAndEndsQuietlyWhenClosed) {
  write_file(sfx(), stub_image());
  driver_options o;
  o.cwd = dir.path();
  driver_run run = run_driver(sfx(), o);

  const auto& setup = run.setup();
  ASSERT_FALSE(setup.empty()) << run.dump();
  EXPECT_FALSE(setup.value("extract_enabled", true));
  EXPECT_TRUE(setup.value("password_shown", false));
  EXPECT_EQ(setup.value("comment", "?"), "");
  EXPECT_EQ(setup.value("destination", ""), windows_path(dir.path()));
  EXPECT_EQ(setup.value("caption", "").rfind("Quorvex Ver 1.51", 0), 0u);
  EXPECT_TRUE(run.message_texts().empty());
  EXPECT_EQ(run.exit_code(), 0);
}

TEST_F(SetupWindowUnderWine, FileShorterThanDeclaredSaysSoWithoutOwnerAndEndsWithZero) {
  std::vector<uint8_t> file = small_archive();
  file.pop_back();
  write_file(sfx(), file);
  driver_run run = run_driver(sfx(), driver_options{});

  ASSERT_EQ(run.message_texts(),
            std::vector<std::string>{"ファイルのサイズが元々のファイルより小さいです。解凍できません。"})
      << run.dump();
  EXPECT_FALSE(run.of("message")[0].value("owned", true));
  EXPECT_TRUE(run.of("setup").empty()) << "the setup window is never shown";
  EXPECT_EQ(run.exit_code(), 0);
}

TEST_F(SetupWindowUnderWine, FileLongerThanDeclaredWarnsOfAVirusWithoutOwnerAndEndsWithZero) {
  std::vector<uint8_t> file = small_archive();
  file.push_back(0);
  write_file(sfx(), file);
  driver_run run = run_driver(sfx(), driver_options{});

  ASSERT_EQ(run.message_texts(), std::vector<std::string>{"ファイルのサイズが元々のファイルより大きいです。"
                                                          "このファイルはウイルスに感染している可能性があります。"
                                                          "解凍できません。"})
      << run.dump();
  EXPECT_FALSE(run.of("message")[0].value("owned", true));
  EXPECT_TRUE(run.of("setup").empty());
  EXPECT_EQ(run.exit_code(), 0);
}

// Positions and sizes in units of the system font as the driver measures it:
// w = average character width, h = height + external leading, E = extent.
TEST_F(SetupWindowUnderWine, ControlsSitWhereTheFontUnitsPutThem) {
  write_file(sfx(), stub_image());
  driver_options o;
  o.report_layout = true;
  driver_run run = run_driver(sfx(), o);

  auto metrics = run.of("metrics");
  ASSERT_EQ(metrics.size(), 1u) << run.dump();
  const int w = metrics[0]["char_width"], h = metrics[0]["line_height"];
  ASSERT_GT(w, 0);
  ASSERT_GT(h, 0);
  std::map<std::string, std::pair<int, int>> extent;
  for (const auto& e : run.of("extent")) extent[e["text"]] = {e["cx"], e["cy"]};
  auto e = [&](const std::string& text) { return extent.at(text); };

  struct expected {
    int x, y, width, height;
  };
  const auto button = e("参照...");
  const std::map<int, expected> setup_controls = {
      {4, {1, 1, e("メッセージ").first, e("メッセージ").second}},
      {5, {1, 16 * h, e("パスワード").first, e("パスワード").second}},
      {6, {1, 13 * h, e("解凍するフォルダ").first, e("解凍するフォルダ").second}},
      {3, {60 * w, 17 * h - h / 4, button.first + w, (3 * button.second) / 2}},
      {8, {60 * w, 14 * h - h / 4, button.first + w, (3 * button.second) / 2}},
      {1, {w - 2, (3 * h) / 2 - 2, 67 * w, 11 * h}},
      {2, {w - 2, 17 * h, 57 * w + 4, h}},
      {7, {w - 2, 14 * h, 57 * w + 4, h}},
  };
  const auto cancel = e("キャンセル");
  const std::map<int, expected> progress_controls = {
      {1, {2, h, 70 * w, h}},
      {2, {30 * w, 3 * h, cancel.first + w, (3 * cancel.second) / 2}},
  };

  std::map<std::string, std::map<int, expected>> seen;
  for (const auto& c : run.of("control")) {
    seen[c["window"]][c["id"]] = {c["x"], c["y"], c["width"], c["height"]};
  }
  auto check = [&](const std::string& window, const std::map<int, expected>& want) {
    ASSERT_EQ(seen[window].size(), want.size()) << window << "\n" << run.dump();
    for (const auto& [id, x] : want) {
      const expected& got = seen[window][id];
      EXPECT_EQ(got.x, x.x) << window << " control " << id;
      EXPECT_EQ(got.y, x.y) << window << " control " << id;
      EXPECT_EQ(got.width, x.width) << window << " control " << id;
      EXPECT_EQ(got.height, x.height) << window << " control " << id;
    }
  };
  check("setup", setup_controls);
  check("progress", progress_controls);

  auto desktop = run.of("desktop");
  ASSERT_EQ(desktop.size(), 1u);
  const int right = desktop[0]["right"], bottom = desktop[0]["bottom"];
  for (const auto& window : run.of("window")) {
    if (window["window"] == "setup") {
      EXPECT_EQ(window["width"], 70 * w);
      EXPECT_EQ(window["height"], 20 * h);
      EXPECT_EQ(window.value("style", 0LL) & 0x00FF0000LL, 0x00CA0000LL) << "caption, system menu, minimise box";
    } else {
      EXPECT_EQ(window["text"], "ファイルの解凍中");
      EXPECT_EQ(window["x"], (right - 70 * w) / 2);
      EXPECT_EQ(window["y"], (bottom - 8 * h) / 2);
      EXPECT_EQ(window["width"], 70 * w);
      EXPECT_EQ(window["height"], 7 * h);
      EXPECT_EQ(window.value("style", 0LL) & 0x00FF0000LL, 0x00C00000LL) << "caption alone";
      EXPECT_TRUE(window.value("owned_by_setup", false));
    }
  }
  EXPECT_EQ(run.of("window").size(), 2u);
}

TEST_F(SetupWindowUnderWine, BrowsePreselectsTheCurrentFolderAndThenTheFolderLastPicked) {
  write_file(sfx(), stub_image());
  // Folders that are older than the Wine session: Wine's dialog does not
  // find a folder made after its server started the first time it looks.
  const std::string start = "C:\\windows\\system32", picked = "C:\\windows\\Fonts";
  driver_options o;
  o.cwd_windows = start;
  // OK on the preselection, a folder of our choice, then the preselection
  // again, then Cancel.
  o.browses = {"=", picked, "=", "!"};
  driver_run run = run_driver(sfx(), o);

  auto destinations = run.of("destination");
  ASSERT_EQ(destinations.size(), 4u) << run.dump();
  EXPECT_EQ(destinations[0]["text"], start);
  EXPECT_EQ(destinations[1]["text"], picked);
  EXPECT_EQ(destinations[2]["text"], picked);
  EXPECT_EQ(destinations[3]["text"], picked) << "Cancel leaves the box alone";
  EXPECT_EQ(run.exit_code(), 0);
}

}  // namespace
