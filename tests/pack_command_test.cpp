// quorvex pack, run as users run it: round trips through quorvex extract and
// quorvex list, refusals, reproducible output, the header it writes.
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "pack/container.h"
#include "support/cp932.h"
#include "support/cli_run.h"
#include "support/temp_dir.h"

#ifdef QUORVEX_CLI

namespace {

namespace fs = std::filesystem;

struct file_state {
  std::vector<uint8_t> bytes;
  timespec last_write;
};

// What a tree holds: folders (no state) and files, by their relative path.
std::map<std::string, std::optional<file_state>> contents_of(const fs::path& root) {
  std::map<std::string, std::optional<file_state>> contents;
  for (const fs::directory_entry& item : fs::recursive_directory_iterator(root)) {
    std::string name = fs::relative(item.path(), root).string();
    if (item.is_directory()) {
      contents[name] = std::nullopt;
    } else {
      struct stat status;
      stat(item.path().c_str(), &status);
      contents[name] = file_state{read_file(item.path()), status.st_mtim};
    }
  }
  return contents;
}

void set_last_write(const fs::path& file, time_t seconds, long nanoseconds) {
  timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0) << file;
}

std::vector<uint8_t> mixed_bytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes;
  const std::string words[] = {"表計算 ", "quorvex ", "archive\r\n", "データ ", "0123456789 "};
  while (bytes.size() < size) {
    if (random() % 4 == 0) {
      for (int i = 0; i < 64; ++i) bytes.push_back(static_cast<uint8_t>(random()));
    } else {
      const std::string& word = words[random() % 5];
      bytes.insert(bytes.end(), word.begin(), word.end());
    }
  }
  bytes.resize(size);
  return bytes;
}

// Japanese names (表 and ソ end in the byte 0x5C, ポ in 0x7C), empty files,
// empty and nested folders, a file of several MB, distinct times.
void make_tree(const fs::path& root) {
  write_file(root / "表計算/月次.txt", "一月 120\r\n二月 135\r\n");
  write_file(root / "表計算/空.txt", "");
  write_file(root / "表計算/深い/もっと深い/note.txt", "deep");
  write_file(root / "ソフト/ポスター.bin", mixed_bytes(70000, 1));
  write_file(root / "nested/a/b/c/d.bin", mixed_bytes(5000, 2));
  write_file(root / "empty", "");
  write_file(root / "large.bin", mixed_bytes(3 * 1024 * 1024 + 17, 3));
  fs::create_directories(root / "空のフォルダ");
  fs::create_directories(root / "nested/empty/inside");
  time_t when = 1600000000;
  for (const fs::directory_entry& item : fs::recursive_directory_iterator(root)) {
    if (item.is_regular_file()) set_last_write(item.path(), when += 3677, 123456700);
  }
}

// SOURCE_DATE_EPOCH as the tool will see it, for the life of the object.
class source_date_epoch {
 public:
  explicit source_date_epoch(const char* value) {
    if (const char* outer = getenv("SOURCE_DATE_EPOCH")) outer_ = outer;
    if (value) {
      setenv("SOURCE_DATE_EPOCH", value, 1);
    } else {
      unsetenv("SOURCE_DATE_EPOCH");
    }
  }
  ~source_date_epoch() {
    if (outer_) {
      setenv("SOURCE_DATE_EPOCH", outer_->c_str(), 1);
    } else {
      unsetenv("SOURCE_DATE_EPOCH");
    }
  }

 private:
  std::optional<std::string> outer_;
};

// Permissions bind root only through another user: while this object lives,
// the tests run the tool with nobody's effective user id.
class as_nobody {
 public:
  as_nobody() : was_root_(geteuid() == 0) {
    if (was_root_) {
      EXPECT_EQ(seteuid(65534), 0);
    }
  }
  ~as_nobody() {
    if (was_root_) {
      EXPECT_EQ(seteuid(0), 0);
    }
  }

 private:
  bool was_root_;
};

class PackCommand : public ::testing::Test {
 protected:
  PackCommand() { fs::create_directories(output_folder()); }

  cli_result quorvex(const std::vector<std::string>& arguments) { return run_cli(arguments); }
  cli_result pack(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"pack", "-o", output()});
    return run_cli(arguments);
  }

  fs::path output_folder() const { return dir / "out"; }
  std::string output() const { return (output_folder() / "made.exe").string(); }
  std::vector<std::string> left_in_output_folder() const {
    std::vector<std::string> names;
    for (const fs::directory_entry& item : fs::directory_iterator(output_folder())) {
      names.push_back(item.path().filename().string());
    }
    return names;
  }

  source_date_epoch unset{nullptr};  // the caller's must not leak into the runs
  temp_dir dir;
};

TEST_F(PackCommand, ExtractRestoresEveryByteFolderAndLastWriteTime) {
  const fs::path tree = dir / "tree";
  make_tree(tree);
  struct {
    std::vector<std::string> options;
    std::vector<std::string> password;
  } runs[] = {
      {{}, {}},
      {{"--password", "秘密pass", "--level", "max"}, {"-p", "秘密pass"}},
      {{"--password", "x", "--protection-byte", "2", "--level", "fast"}, {"-p", "x"}},
  };
  for (const auto& run : runs) {
    std::vector<std::string> arguments = run.options;
    arguments.insert(arguments.end(), {"-C", tree.string(), "."});
    cli_result packed = pack(arguments);
    ASSERT_EQ(packed.exit_code, 0) << packed.err;

    const fs::path restored = dir / "restored";
    fs::remove_all(restored);
    std::vector<std::string> extract = {"extract", output(), "-d", restored.string()};
    extract.insert(extract.end(), run.password.begin(), run.password.end());
    cli_result extracted = quorvex(extract);
    ASSERT_EQ(extracted.exit_code, 0) << extracted.err;

    auto expected = contents_of(tree), actual = contents_of(restored);
    ASSERT_EQ(actual.size(), expected.size());
    for (const auto& [name, state] : expected) {
      ASSERT_EQ(actual.count(name), 1u) << name;
      ASSERT_EQ(actual[name].has_value(), state.has_value()) << name;
      if (!state) continue;
      EXPECT_EQ(actual[name]->bytes, state->bytes) << name;
      EXPECT_EQ(actual[name]->last_write.tv_sec, state->last_write.tv_sec) << name;
      EXPECT_EQ(actual[name]->last_write.tv_nsec, state->last_write.tv_nsec) << name;
    }
  }
}

TEST_F(PackCommand, ListShowsTheStoredNamesAndSizes) {
  const fs::path tree = dir / "tree";
  make_tree(tree);
  ASSERT_EQ(pack({"-C", dir.path().string(), "tree"}).exit_code, 0);
  cli_result listed = quorvex({"list", output(), "--json"});
  ASSERT_EQ(listed.exit_code, 0) << listed.err;
  size_t entries = 0;
  for (const auto& [name, state] : contents_of(tree)) {
    std::string line = "{\"name\":\"tree/" + name + "\",\"type\":\"" + (state ? "file" : "dir") +
                       "\",\"size\":" + std::to_string(state ? state->bytes.size() : 0) + ",";
    EXPECT_NE(listed.out.find(line), std::string::npos) << line;
    ++entries;
  }
  EXPECT_NE(listed.out.find("{\"name\":\"tree\",\"type\":\"dir\""), std::string::npos);
  EXPECT_EQ(static_cast<size_t>(std::count(listed.out.begin(), listed.out.end(), '\n')), 1 + 1 + entries);
}

TEST_F(PackCommand, NamesArePathsAsGivenAfterDashC) {
  write_file(dir / "a/one/x.txt", "x");
  write_file(dir / "a/one/x.log", "log");
  write_file(dir / "b/two/y.txt", "y");
  cli_result packed = pack({"--exclude", "*.log", "-C", (dir / "a").string(), "one", "-C", (dir / "b").string(),
                             "two/y.txt", "-v"});
  ASSERT_EQ(packed.exit_code, 0) << packed.err;
  EXPECT_NE(packed.out.find("one/\none/x.txt\ntwo/\ntwo/y.txt\n"), std::string::npos) << packed.out;
  cli_result listed = quorvex({"list", output(), "--json"});
  EXPECT_NE(listed.out.find("\"name\":\"one/x.txt\""), std::string::npos) << listed.out;
  EXPECT_EQ(listed.out.find("x.log"), std::string::npos) << listed.out;
  EXPECT_NE(listed.out.find("\"name\":\"two/y.txt\""), std::string::npos) << listed.out;
}

struct refusal_case {
  const char* what;
  std::function<void(const fs::path& in)> make;  // the input folder's contents
  std::vector<std::string> options;              // "IN" stands for the input folder
  const char* said;
};

TEST_F(PackCommand, RefusalsSayWhyAndLeaveNoOutput) {
  std::string zero_check_password;
  for (std::string candidate = "aaaa"; zero_check_password.empty(); ) {
    if (quorvex::pack::crc16(candidate) == 0) zero_check_password = candidate;
    for (size_t i = 0; i < 4 && ++candidate[i] > 'z'; ++i) candidate[i] = 'a';
  }
  auto file = [](const std::string& name) { return [name](const fs::path& in) { write_file(in / name, "x"); }; };
  auto ordinary = file("ok.txt");
  auto stub_of = [](size_t size) {
    return [size](const fs::path& in) {
      write_file(in / "ok.txt", "x");
      write_file(in.parent_path() / "stub.bin", std::string(size, 'S'));
    };
  };
  refusal_case cases[] = {
      {"a name without a code page 932 form", file("smile\xF0\x9F\x98\x80.txt"), {}, "U+1F600"},
      {"a device name", file("CON.txt"), {}, "unsafe"},
      {"a name of dots", [](const fs::path& in) { write_file(in / "..." / "f", "x"); }, {}, "unsafe"},
      {"a colon", file("a:b.txt"), {}, "unsafe"},
      {"a control character", file("tab\there"), {}, "unsafe"},
      {"a character Windows refuses", file("what?.txt"), {}, "Windows does not allow"},
      {"a path that climbs out", ordinary, {"IN/../in/ok.txt"}, "'..'"},
      {"a file of 2^31 bytes",
       [](const fs::path& in) {
         write_file(in / "huge", "");
         fs::resize_file(in / "huge", uint64_t{1} << 31);
       },
       {},
       "2^31"},
      {"a stub one byte short", stub_of(25599), {"--stub", "STUB"}, "exactly 25600"},
      {"a stub one byte long", stub_of(25601), {"--stub", "STUB"}, "exactly 25600"},
      {"a missing stub", ordinary, {"--stub", "STUB"}, "cannot read"},
      {"a launch target not in the archive", ordinary, {"--launch", "in/missing.txt"}, "not in the archive"},
      {"an empty password", ordinary, {"--password", ""}, "empty"},
      {"a password without a code page 932 form", ordinary, {"--password", "\xF0\x9F\x98\x80"}, "U+1F600"},
      {"a password whose check value is 0", ordinary, {"--password", zero_check_password}, "check value is 0"},
      {"protection byte 0", ordinary, {"--password", "pw", "--protection-byte", "0"}, "unprotected"},
      {"a protection byte without a password", ordinary, {"--protection-byte", "3"}, "needs --password"},
      {"a comment without a code page 932 form", ordinary, {"--comment", "ok\n\xF0\x9F\x98\x80"}, "line 2"},
      {"an unreadable input",
       [](const fs::path& in) { ASSERT_EQ(symlink("nowhere", (in / "gone").c_str()), 0); },
       {},
       "in/gone"},
  };
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(c.what);
    const fs::path in = dir / "in";
    fs::remove_all(in);
    fs::remove(dir / "stub.bin");
    fs::create_directories(in);
    c.make(in);
    std::vector<std::string> arguments;
    for (std::string option : c.options) {
      if (option == "STUB") option = (dir / "stub.bin").string();
      if (option.rfind("IN", 0) == 0) option = in.string() + option.substr(2);
      arguments.push_back(option);
    }
    arguments.insert(arguments.end(), {"-C", dir.path().string(), "in"});
    cli_result packed = pack(arguments);
    EXPECT_EQ(packed.exit_code, 1) << packed.err;
    EXPECT_NE(packed.err.find(c.said), std::string::npos) << packed.err;
    EXPECT_EQ(left_in_output_folder(), std::vector<std::string>{});
  }
}

TEST_F(PackCommand, AFileThatCannotBeReadIsNamed) {
  write_file(dir / "in/readable.txt", "r");
  write_file(dir / "in/secret.txt", "s");
  ASSERT_EQ(chmod((dir / "in/secret.txt").c_str(), 0), 0);
  // Nobody may pass through the temporary folder and write the output.
  ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
  ASSERT_EQ(chmod(output_folder().c_str(), 0777), 0);
  cli_result packed;
  {
    as_nobody user;
    packed = pack({"-C", dir.path().string(), "in"});
  }
  EXPECT_EQ(packed.exit_code, 1) << packed.err;
  EXPECT_NE(packed.err.find("cannot read '" + (dir / "in/secret.txt").string() + "'"), std::string::npos)
      << packed.err;
  EXPECT_EQ(left_in_output_folder(), std::vector<std::string>{});
}

TEST_F(PackCommand, AnInterruptLeavesNoOutput) {
  write_file(dir / "in/large.bin", mixed_bytes(8 * 1024 * 1024, 5));
  pid_t child = fork();
  if (child == 0) {
    int nowhere = open("/dev/null", O_WRONLY);
    dup2(nowhere, STDOUT_FILENO);
    dup2(nowhere, STDERR_FILENO);
    execl(QUORVEX_CLI, QUORVEX_CLI, "pack", "-o", output().c_str(), "--level", "max", (dir / "in").c_str(), nullptr);
    _exit(127);
  }
  // The temporary file stands from the start until the rename at the end.
  for (int waited = 0; left_in_output_folder().empty() && waited < 10000; ++waited) usleep(1000);
  ASSERT_EQ(left_in_output_folder().size(), 1u);
  EXPECT_EQ(left_in_output_folder()[0].rfind("made.exe.partial-", 0), 0u);
  kill(child, SIGINT);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  EXPECT_EQ(left_in_output_folder(), std::vector<std::string>{});
}

TEST_F(PackCommand, WrongArgumentsEndWithCodeTwoAndNoOutput) {
  write_file(dir / "in/ok.txt", "x");
  const std::string in = (dir / "in").string();
  struct {
    std::vector<std::string> arguments;
    const char* epoch;  // SOURCE_DATE_EPOCH
    const char* said;
  } cases[] = {
      {{"pack", in}, nullptr, "-o OUT.exe is required"},
      {{"pack", "-o", output()}, nullptr, "at least one"},
      {{"pack", "-o", output(), "--level", "best", in}, nullptr, "--level"},
      {{"pack", "-o", output(), "--time-source", "fixed=tomorrow", in}, nullptr, "ISO 8601"},
      {{"pack", "-o", output(), "--time-source", "ctime", in}, nullptr, "mtime or fixed="},
      {{"pack", "-o", output(), in}, "soon", "SOURCE_DATE_EPOCH"},
      {{"pack", "-o", output(), "--comment", "a", "--comment-file", in + "/ok.txt", in}, nullptr, "exclude each other"},
      {{"pack", "-o", output(), "--frobnicate", in}, nullptr, "--frobnicate"},
      {{"pack", "-o", output(), in, "--password"}, nullptr, "needs a value"},
  };
  for (const auto& c : cases) {
    source_date_epoch epoch(c.epoch);
    cli_result run = run_cli(c.arguments);
    EXPECT_EQ(run.exit_code, 2) << c.said << "\n" << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    EXPECT_EQ(left_in_output_folder(), std::vector<std::string>{});
  }
}

TEST_F(PackCommand, TheSameInputWithAFixedTimeGivesTheSameBytes) {
  // Two copies made in opposite orders and at different times.
  const std::vector<std::string> names = {"z.txt", "表/a.txt", "表/b/c.txt", "m.txt", "ソ/ポ.txt"};
  for (size_t i = 0; i < names.size(); ++i) {
    write_file(dir / "first/tree" / names[i], names[i]);
    write_file(dir / "second/tree" / names[names.size() - 1 - i], names[names.size() - 1 - i]);
    set_last_write(dir / "second/tree" / names[names.size() - 1 - i], 1000000000 + i, 0);
  }
  fs::create_directories(dir / "first/tree/空");
  fs::create_directories(dir / "second/tree/空");
  auto made = [&](const std::string& copy, const std::vector<std::string>& options, const char* epoch = nullptr) {
    source_date_epoch fixed_by(epoch);
    std::vector<std::string> arguments = options;
    arguments.insert(arguments.end(), {"-C", (dir / copy).string(), "tree"});
    cli_result run = pack(arguments);
    EXPECT_EQ(run.exit_code, 0) << run.err;
    return read_file(output());
  };
  const std::vector<std::string> fixed = {"--time-source", "fixed=2024-01-02T03:04:05Z"};
  std::vector<uint8_t> first = made("first", fixed);
  EXPECT_EQ(made("first", fixed), first);
  EXPECT_EQ(made("second", fixed), first);
  const char* epoch = "1704164645";  // 2024-01-02T03:04:05Z
  EXPECT_EQ(made("second", {}, epoch), first);
  EXPECT_NE(made("second", {"--time-source", "mtime"}, epoch), first);

  cli_result listed = quorvex({"list", output(), "--json"});
  const std::string fixed_time = std::to_string(116444736000000000ull + 1704164645ull * 10000000);
  EXPECT_EQ(listed.out.find(fixed_time), std::string::npos);  // the last run kept the files' own times
  made("second", fixed);
  listed = quorvex({"list", output(), "--json"});
  EXPECT_NE(listed.out.find("\"creation\":" + fixed_time + ",\"access\":" + fixed_time + ",\"write\":" + fixed_time),
            std::string::npos)
      << listed.out;
}

uint32_t little_endian(const std::vector<uint8_t>& bytes, size_t at, int count) {
  uint32_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = (value << 8) | bytes[at + static_cast<size_t>(i)];
  return value;
}

TEST_F(PackCommand, HeaderHoldsTheCommentLaunchTargetAndCheckWord) {
  write_file(dir / "in/表計算/月次.txt", "data");
  write_file(dir / "comment.txt", "\xEF\xBB\xBF一行目\n二行目\n");
  const std::string password = "パス word";
  cli_result packed = pack({"--comment-file", (dir / "comment.txt").string(), "--launch", "表計算/月次.txt",
                             "--password", password, "--protection-byte", "0x83", "-C", (dir / "in").string(),
                             "表計算"});
  ASSERT_EQ(packed.exit_code, 0) << packed.err;
  std::vector<uint8_t> bytes = read_file(output());
  size_t at = quorvex::pack::stub_size;
  EXPECT_EQ(little_endian(bytes, at, 4), bytes.size());
  at += 4;
  for (const std::string& text : {cp932("一行目\r\n二行目\r\n"), cp932("表計算\\月次.txt")}) {
    EXPECT_EQ(std::string(bytes.begin() + at, bytes.begin() + at + text.size()), text);
    at += text.size();
    EXPECT_EQ(bytes[at++], 0);
  }
  EXPECT_EQ(bytes[at++], 0x83);
  EXPECT_EQ(little_endian(bytes, at, 2), quorvex::pack::crc16(cp932(password)) ^ 0x8383u);
}

TEST_F(PackCommand, TheStubInFrontIsTheOneNamed) {
  write_file(dir / "in/a.txt", "a");
  std::string stub(quorvex::pack::stub_size, '\0');
  for (size_t i = 0; i < stub.size(); ++i) stub[i] = static_cast<char>(i * 31 + 7);
  write_file(dir / "own-stub.exe", stub);
  cli_result packed = pack({"--stub", (dir / "own-stub.exe").string(), "-v", "-C", dir.path().string(), "in"});
  ASSERT_EQ(packed.exit_code, 0) << packed.err;
  EXPECT_NE(packed.out.find("stub: " + (dir / "own-stub.exe").string() + "\n"), std::string::npos) << packed.out;
  std::vector<uint8_t> bytes = read_file(output());
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + stub.size()), stub);

  // Without --stub: the built stub, or the build's placeholder, named with -v.
  packed = pack({"-v", "-C", dir.path().string(), "in"});
  ASSERT_EQ(packed.exit_code, 0) << packed.err;
  size_t named = packed.out.find("stub: ");
  ASSERT_NE(named, std::string::npos) << packed.out;
  std::string path = packed.out.substr(named + 6, packed.out.find('\n', named) - named - 6);
  if (path.size() > 14 && path.compare(path.size() - 14, 14, " (placeholder)") == 0) {
    path.resize(path.size() - 14);
    EXPECT_NE(packed.err.find("placeholder"), std::string::npos) << packed.err;
  }
  std::vector<uint8_t> default_stub = read_file(path);
  ASSERT_EQ(default_stub.size(), quorvex::pack::stub_size);
  bytes = read_file(output());
  EXPECT_TRUE(std::equal(default_stub.begin(), default_stub.end(), bytes.begin()));
}

TEST_F(PackCommand, ProgressBarShowsOnATerminalOnly) {
  write_file(dir / "in/some file.bin", mixed_bytes(300000, 4));
  cli_result shown = run_cli_on_terminal({"pack", "-o", output(), "-C", dir.path().string(), "in"}, {});
  ASSERT_EQ(shown.exit_code, 0) << shown.out;
  EXPECT_NE(shown.out.find("\r["), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("in/some file.bin"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find(" / 293.0 KiB"), std::string::npos) << shown.out;

  cli_result piped = pack({"-C", dir.path().string(), "in"});
  ASSERT_EQ(piped.exit_code, 0) << piped.err;
  EXPECT_EQ(piped.err.find('\r'), std::string::npos) << piped.err;
}

}  // namespace

#endif  // QUORVEX_CLI
