// The portable tool without a terminal: what list, test and extract print,
// what they make, and their exit codes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/archive_fixture.h"
#include "support/cli_run.h"
#include "support/cp932.h"
#include "support/extraction_fixture.h"
#include "support/temp_dir.h"

namespace {

using quorvex::pack::file_times;
using quorvex::pack::header_fields;
using quorvex::pack::payload_writer;
using tree = std::map<std::string, std::string>;

// 2016-02-15 08:53:20 UTC and 2020-09-13 12:26:40 UTC.
const file_times sample_times{filetime_of(1400000000), filetime_of(1455526400), filetime_of(1600000000)};

// A folder, a file in it, and a file in a folder with a Japanese name.
std::vector<uint8_t> sample_payload() {
  payload_writer writer;
  writer.add_folder("docs");
  writer.add_coded_file("docs\\a.txt", sample_times, 1, coded_one_a().coded);
  writer.add_coded_file(cp932("表\\five"), sample_times, 5, coded_five_a().coded);
  return writer.take();
}

header_fields sample_header() {
  header_fields header;
  header.comment = cp932("ようこそ") + "\r\nsecond line";
  header.launch_target = "docs\\a.txt";
  return header;
}

// A folder for archives and what the tool makes.
struct archive_room {
  std::string write_archive(const std::vector<uint8_t>& payload, const header_fields& header = {},
                            const std::string& name = "archive.exe") {
    write_file(dir / name, archive_file_bytes(header, payload));
    return (dir / name).string();
  }
  std::string write_sample() { return write_archive(sample_payload(), sample_header()); }
  temp_dir dir;
};

class cli : public ::testing::Test, public archive_room {};

TEST_F(cli, list_shows_the_header_then_one_line_per_entry) {
  cli_result r = run_cli({"list", write_sample()});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out,
            "Comment:   ようこそ\n"
            "           second line\n"
            "Launch:    docs/a.txt\n"
            "Protected: no\n"
            "dir             -  -                    docs/\n"
            "file            1  2020-09-13 12:26:40  docs/a.txt\n"
            "file            5  2020-09-13 12:26:40  表/five\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(cli, list_json_gives_one_object_per_line_with_filetimes) {
  cli_result r = run_cli({"list", "--json", write_sample()});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  const std::string times = "\"creation\":" + std::to_string(sample_times.creation) +
                            ",\"access\":" + std::to_string(sample_times.last_access) +
                            ",\"write\":" + std::to_string(sample_times.last_write);
  EXPECT_EQ(r.out,
            "{\"comment\":\"ようこそ\\u000d\\u000asecond line\",\"launch\":\"docs/a.txt\",\"protected\":false}\n"
            "{\"name\":\"docs\",\"type\":\"dir\",\"size\":0,\"creation\":null,\"access\":null,\"write\":null}\n"
            "{\"name\":\"docs/a.txt\",\"type\":\"file\",\"size\":1," + times + "}\n"
            "{\"name\":\"表/five\",\"type\":\"file\",\"size\":5," + times + "}\n");
}

TEST_F(cli, list_shows_the_header_of_a_protected_archive_before_it_asks_for_the_password) {
  header_fields header = sample_header();
  header.protection_byte = 1;
  header.password = "secret";
  std::string archive = write_archive(sample_payload(), header);
  cli_result without = run_cli({"list", "--json", archive});
  EXPECT_EQ(without.exit_code, 3);
  EXPECT_EQ(without.out.substr(0, without.out.find('\n')),
            "{\"comment\":\"ようこそ\\u000d\\u000asecond line\",\"launch\":\"docs/a.txt\",\"protected\":true}");
  EXPECT_NE(without.err.find("give its password with -p"), std::string::npos) << without.err;

  cli_result with = run_cli({"list", archive, "-p", "secret"});
  EXPECT_EQ(with.exit_code, 0) << with.err;
  EXPECT_NE(with.out.find("Protected: yes\n"), std::string::npos);
  EXPECT_NE(with.out.find("表/five"), std::string::npos);
}

TEST_F(cli, test_decodes_everything_and_writes_nothing) {
  std::string archive = write_sample();
  temp_dir work;
  cli_result r = run_cli({"test", archive}, work.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.out, archive + ": sound: 2 files, 1 folders, 6 bytes\n");
  EXPECT_TRUE(tree_of(work.path()).empty());
}

TEST_F(cli, extract_makes_the_tree_with_its_times_in_the_given_or_the_current_folder) {
  std::string archive = write_sample();
  cli_result r = run_cli({"extract", archive, "-d", (dir / "new" / "dest").string()});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const tree expected{{"docs/", ""}, {"docs/a.txt", "A"}, {"表/", ""}, {"表/five", "aaaaa"}};
  struct stat st;
  ASSERT_EQ(stat((dir / "new" / "dest" / "表" / "five").c_str(), &st), 0);
  EXPECT_EQ(filetime_of(st.st_mtim), sample_times.last_write);
  EXPECT_EQ(tree_of(dir / "new" / "dest"), expected);

  temp_dir work;
  EXPECT_EQ(run_cli({"extract", archive}, work.path()).exit_code, 0);
  EXPECT_EQ(tree_of(work.path()), expected);
}

TEST_F(cli, extract_overwrites_always_or_never_as_told) {
  std::string archive = write_sample();
  write_file(dir / "out" / "docs" / "a.txt", std::string("old"));
  EXPECT_EQ(run_cli({"extract", archive, "-d", (dir / "out").string(), "--overwrite", "never"}).exit_code, 0);
  EXPECT_EQ(tree_of(dir / "out")["docs/a.txt"], "old");
  EXPECT_EQ(tree_of(dir / "out")["表/five"], "aaaaa");
  EXPECT_EQ(run_cli({"extract", archive, "-d", (dir / "out").string(), "--overwrite", "always"}).exit_code, 0);
  EXPECT_EQ(tree_of(dir / "out")["docs/a.txt"], "A");
}

struct exit_case {
  const char* what;
  std::function<std::vector<std::string>(archive_room&)> arguments;
  int exit_code;
  std::string says;  // part of stderr
};

std::vector<uint8_t> flipped(std::vector<uint8_t> bytes, size_t at) {
  bytes.at(at) ^= 0x01;
  return bytes;
}

TEST_F(cli, every_failure_has_its_exit_code_and_a_message_that_names_what_failed) {
  const exit_case cases[] = {
      {"no command arguments", [](archive_room&) { return std::vector<std::string>{"extract"}; }, 2, "no ARCHIVE given"},
      {"an unknown option",
       [](archive_room& t) { return std::vector<std::string>{"test", t.write_sample(), "--frob"}; }, 2, "unknown option"},
      {"a wrong --overwrite",
       [](archive_room& t) { return std::vector<std::string>{"extract", t.write_sample(), "--overwrite", "maybe"}; }, 2,
       "ask, always or never"},
      {"no such file", [](archive_room& t) { return std::vector<std::string>{"list", (t.dir / "none.exe").string()}; }, 2,
       "none.exe: No such file"},
      {"a bare stub",
       [](archive_room& t) {
         write_file(t.dir / "stub.exe", fake_stub_image());
         return std::vector<std::string>{"list", (t.dir / "stub.exe").string()};
       },
       2, "stub.exe: no archive attached"},
      {"a protected archive without -p",
       [](archive_room& t) {
         header_fields h;
         h.protection_byte = 1;
         h.password = "pw";
         return std::vector<std::string>{"extract", t.write_archive(sample_payload(), h), "-d",
                                         (t.dir / "out").string()};
       },
       3, "archive.exe: the archive is protected"},
      {"a wrong password",
       [](archive_room& t) {
         header_fields h;
         h.protection_byte = 3;
         h.password = "pw";
         return std::vector<std::string>{"test", t.write_archive(sample_payload(), h), "-p", "PW"};
       },
       3, "archive.exe: wrong password"},
      {"a file cut short",
       [](archive_room& t) {
         std::vector<uint8_t> bytes = archive_file_bytes({}, sample_payload());
         bytes.pop_back();
         write_file(t.dir / "cut.exe", bytes);
         return std::vector<std::string>{"test", (t.dir / "cut.exe").string()};
       },
       4, "cut.exe: the file is"},
      {"a file with a byte appended",
       [](archive_room& t) {
         std::vector<uint8_t> bytes = archive_file_bytes({}, sample_payload());
         bytes.push_back(0);
         write_file(t.dir / "long.exe", bytes);
         return std::vector<std::string>{"test", (t.dir / "long.exe").string()};
       },
       4, "long.exe: the file is"},
      {"a damaged block",
       [](archive_room& t) {
         write_file(t.dir / "bad.exe", flipped(archive_file_bytes({}, sample_payload()), 25600 + 9));
         return std::vector<std::string>{"test", (t.dir / "bad.exe").string()};
       },
       1, "bad.exe: the archive is damaged: block 1 fails its CRC check"},
      {"a stream that ends inside a record",
       [](archive_room& t) {
         std::vector<uint8_t> payload = sample_payload();
         payload.resize(payload.size() - 2);
         return std::vector<std::string>{"test", t.write_archive(payload)};
       },
       1, "ends too early"},
      {"a file that decodes longer than its record says",
       [](archive_room& t) {
         payload_writer w;
         w.add_coded_file("five", {}, 2, coded_five_a().coded);  // a literal, then a match of four
         w.add_coded_file("next", {}, 1, coded_one_a().coded);
         return std::vector<std::string>{"test", t.write_archive(w.take())};
       },
       1, "the entry five decodes to 5 bytes, but its record says 2"},
      {"an existing file and no terminal",
       [](archive_room& t) {
         write_file(t.dir / "out" / "docs" / "a.txt", std::string("old"));
         return std::vector<std::string>{"extract", t.write_sample(), "-d", (t.dir / "out").string()};
       },
       5, "out/docs/a.txt already exists; give --overwrite always or --overwrite never"},
      {"a destination that is a file",
       [](archive_room& t) {
         write_file(t.dir / "plain", std::string("x"));
         return std::vector<std::string>{"extract", t.write_sample(), "-d", (t.dir / "plain").string()};
       },
       5, "plain: not a folder"},
      {"a folder in a file's place",
       [](archive_room& t) {
         std::filesystem::create_directories(t.dir / "out" / "docs" / "a.txt");
         return std::vector<std::string>{"extract", t.write_sample(), "-d", (t.dir / "out").string(), "--overwrite",
                                         "always"};
       },
       5, "cannot write "},
      {"a file in a folder's place",
       [](archive_room& t) {
         write_file(t.dir / "out" / "docs", std::string("x"));
         return std::vector<std::string>{"extract", t.write_sample(), "-d", (t.dir / "out").string()};
       },
       5, "cannot make the folder "},
      {"an unsafe name",
       [](archive_room& t) {
         payload_writer w;
         w.add_coded_file("..\\evil.txt", {}, 1, coded_one_a().coded);
         return std::vector<std::string>{"extract", t.write_archive(w.take()), "-d", (t.dir / "out").string()};
       },
       6, "refusing the entry ../evil.txt"},
      {"a path too long",
       [](archive_room& t) {
         payload_writer w;
         w.add_coded_file(std::string(150, 'a') + "\\" + std::string(150, 'b'), {}, 1, coded_one_a().coded);
         return std::vector<std::string>{"extract", t.write_archive(w.take()), "-d", (t.dir / "out").string()};
       },
       5, "the path is longer than 259 bytes"},
  };
  for (const exit_case& c : cases) {
    archive_room room;
    temp_dir work;
    cli_result r = run_cli(c.arguments(room), work.path());
    EXPECT_EQ(r.exit_code, c.exit_code) << c.what << "\n" << r.err;
    EXPECT_NE(r.err.find(c.says), std::string::npos) << c.what << "\n" << r.err;
    EXPECT_EQ(r.err.rfind("quorvex: ", 0), 0u) << c.what << "\n" << r.err;
    EXPECT_TRUE(tree_of(work.path()).empty()) << c.what;
  }
}

TEST_F(cli, names_with_control_bytes_cannot_drive_the_terminal) {
  payload_writer w;
  w.add_coded_file("a\x1b[2Jb", {}, 1, coded_one_a().coded);
  cli_result r = run_cli({"extract", write_archive(w.take()), "-d", (dir / "out").string()});
  EXPECT_EQ(r.exit_code, 6);
  EXPECT_NE(r.err.find("a\\x1B[2Jb"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find('\x1b'), std::string::npos);
}

}  // namespace
