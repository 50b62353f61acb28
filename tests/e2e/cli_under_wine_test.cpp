// The Windows build of the portable tool under Wine, on archives the Linux
// build packs: the same listing, the same verdicts, and the files written
// through the Win32 file layer, Japanese names included.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <termios.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "wine_run.h"

namespace {

namespace fs = std::filesystem;

struct tool_run {
  int exit_code = -1;
  std::string out, err;  // line ends as LF
};

std::string text_of_file(const fs::path& file) {
  std::vector<uint8_t> bytes = read_file(file);
  std::string text;
  for (uint8_t b : bytes) {
    if (b != '\r') text += static_cast<char>(b);
  }
  return text;
}

int exit_code_of(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> windows_command(const std::vector<std::string>& arguments) {
  std::vector<std::string> command = {QUORVEX_SOURCE_DIR "/scripts/run-under-wine", "--session", QUORVEX_WINE_SESSION,
                                      "wine", win32_build_file("quorvex.exe").string()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

[[noreturn]] void exec_in(const std::vector<std::string>& command, const fs::path& folder) {
  std::vector<std::string> copies = command;
  std::vector<char*> argv;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (chdir(folder.c_str()) == 0) execvp(argv[0], argv.data());
  _exit(127);
}

// Runs `arguments` in `folder` with stdout and stderr caught in files.
tool_run run_in(const std::vector<std::string>& arguments, const fs::path& folder) {
  temp_dir caught;
  fs::path out = caught / "out", err = caught / "err";
  pid_t pid = fork();
  if (pid == 0) {
    int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int null_fd = open("/dev/null", O_RDONLY);
    if (out_fd < 0 || err_fd < 0 || null_fd < 0) _exit(127);
    dup2(null_fd, 0);
    dup2(out_fd, 1);
    dup2(err_fd, 2);
    exec_in(arguments, folder);
  }
  tool_run run;
  if (pid > 0) run.exit_code = exit_code_of(pid);
  run.out = text_of_file(out);
  run.err = text_of_file(err);
  return run;
}

struct terminal_step {
  std::string wait_for;  // shown after the previous step's text
  std::string keys;      // then typed
};

// What Wine's console draws on a terminal without its escape sequences (it
// moves the cursor over blanks) and carriage returns.
std::string plain_text(const std::string& drawn) {
  std::string text;
  for (size_t i = 0; i < drawn.size(); ++i) {
    if (drawn[i] == '\x1b' && i + 1 < drawn.size() && drawn[i + 1] == '[') {
      i += 2;
      while (i < drawn.size() && !(drawn[i] >= '@' && drawn[i] <= '~')) ++i;
    } else if (drawn[i] != '\r') {
      text += drawn[i];
    }
  }
  return text;
}

// The Windows tool with a console on a pseudo-terminal, typed at like a user.
tool_run windows_tool_on_terminal(const std::vector<std::string>& arguments, const std::vector<terminal_step>& steps,
                                  const fs::path& folder) {
  int terminal = -1;
  // Raw from the start: Wine's console echoes what it reads itself, and the
  // terminal must not echo keys that come before Wine takes it over. Ctrl-C
  // stays a signal, as on a user's terminal, and goes to Wine alone: no
  // `timeout` in between to pass it on a second time.
  termios raw = {};
  cfmakeraw(&raw);
  raw.c_lflag |= ISIG;
  raw.c_cc[VINTR] = 0x03;
  pid_t pid = forkpty(&terminal, nullptr, &raw, nullptr);
  if (pid == 0) exec_in(windows_command(arguments), folder);
  tool_run run;
  if (pid < 0) {
    ADD_FAILURE() << "forkpty failed";
    return run;
  }
  std::string drawn;
  size_t step = 0, seen = 0;
  int status = 0;
  bool ended = false, closed = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  // Wine's console may keep the terminal open after the program has ended:
  // the end of the program ends the wait, after a last look at the output.
  for (bool last_look = false; !last_look;) {
    last_look = ended || std::chrono::steady_clock::now() > deadline;
    pollfd p = {terminal, POLLIN, 0};
    while (!closed && poll(&p, 1, 100) > 0) {
      char buffer[4096];
      ssize_t got = read(terminal, buffer, sizeof buffer);
      if (got <= 0) closed = true;
      else drawn.append(buffer, static_cast<size_t>(got));
    }
    // Once the terminal is closed there is nothing left but the end.
    ended = ended || waitpid(pid, &status, closed ? 0 : WNOHANG) == pid;
    if (step == steps.size()) continue;
    size_t found = plain_text(drawn).find(steps[step].wait_for, seen);
    if (found == std::string::npos) continue;
    seen = found + steps[step].wait_for.size();
    if (write(terminal, steps[step].keys.data(), steps[step].keys.size()) < 0) ADD_FAILURE() << "keys not typed";
    ++step;
  }
  close(terminal);
  if (!ended) {
    ADD_FAILURE() << "the tool did not end in time";
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  }
  run.exit_code = ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.out = plain_text(drawn);
  if (step < steps.size()) {
    ADD_FAILURE() << "the terminal never showed \"" << steps[step].wait_for << "\"; it showed:\n" << run.out;
  }
  return run;
}

tool_run linux_tool(std::vector<std::string> arguments, const fs::path& folder) {
  arguments.insert(arguments.begin(), QUORVEX_CLI);
  return run_in(arguments, folder);
}

tool_run windows_tool(const std::vector<std::string>& arguments, const fs::path& folder) {
  std::vector<std::string> command = windows_command(arguments);
  command.insert(command.begin(), {"timeout", "120"});
  return run_in(command, folder);
}

std::string dump(const tool_run& run) {
  return "exit " + std::to_string(run.exit_code) + "\n--- stdout\n" + run.out + "--- stderr\n" + run.err;
}

// Content that takes several rebuilds of the code trees.
std::vector<uint8_t> sample_data(size_t size) {
  std::vector<uint8_t> data(size);
  uint32_t x = 7;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    data[i] = (i % 64 < 40) ? static_cast<uint8_t>('a' + (x >> 16) % 16) : static_cast<uint8_t>(x >> 24);
  }
  return data;
}

const std::string table_text = "one\r\ntwo\r\n";
const int64_t packed_at = 1600000000;  // 2020-09-13T12:26:40Z
const std::string password = "表の鍵";  // code page 932 only after conversion

class ToolUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    write_file(dir / "src" / "資料" / "表.txt", table_text);  // 表 ends in the byte 0x5C
    write_file(dir / "src" / "readme.txt", sample_data(40000));
    fs::create_directories(dir / "src" / "資料" / "空");
    pack("a.exe", {});
    pack("locked.exe", {"--password", password});
    std::vector<uint8_t> damaged = read_file(dir / "a.exe");
    damaged[damaged.size() - 10] ^= 0x40;
    write_file(dir / "damaged.exe", damaged);
  }

  void pack(const std::string& name, std::vector<std::string> extra) {
    std::vector<std::string> arguments = {"pack", "-o", name, "--stub", win32_build_file("quorvex-stub.exe").string(),
                                          "--comment", "テスト用 表", "--time-source", "fixed=2020-09-13T12:26:40Z",
                                          "-C", "src", "資料", "readme.txt"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    tool_run made = linux_tool(arguments, dir.path());
    ASSERT_EQ(made.exit_code, 0) << dump(made);
  }

  temp_dir dir;
};

TEST_F(ToolUnderWine, ListJsonIsTheLinuxBuildsLineForLine) {
  tool_run windows = windows_tool({"list", "--json", "a.exe"}, dir.path());
  tool_run linux = linux_tool({"list", "--json", "a.exe"}, dir.path());

  ASSERT_EQ(windows.exit_code, 0) << dump(windows);
  EXPECT_EQ(windows.out, linux.out);
  const std::string at = std::to_string(filetime_of(packed_at));
  EXPECT_EQ(windows.out.rfind("{\"comment\":\"テスト用 表\",\"launch\":\"\",\"protected\":false}\n", 0), 0u)
      << windows.out;
  EXPECT_NE(windows.out.find("{\"name\":\"資料/表.txt\",\"type\":\"file\",\"size\":10,\"creation\":" + at +
                             ",\"access\":" + at + ",\"write\":" + at + "}\n"),
            std::string::npos)
      << windows.out;
  EXPECT_NE(windows.out.find("{\"name\":\"資料/空\",\"type\":\"dir\""), std::string::npos) << windows.out;
}

// test reads and decodes everything; its verdict and messages are the Linux
// build's, and its exit code says what went wrong.
TEST_F(ToolUnderWine, TestGivesTheLinuxBuildsVerdictAndExitCode) {
  struct test_case {
    std::vector<std::string> arguments;
    int exit_code;
    std::string said;  // on stdout when sound, on stderr otherwise
  } const cases[] = {
      {{"test", "a.exe"}, 0, "a.exe: sound: 2 files, 2 folders, 40010 bytes"},
      {{"test", "locked.exe", "-p", password}, 0, "locked.exe: sound: 2 files, 2 folders, 40010 bytes"},
      {{"test", "locked.exe", "-p", "表の鍵x"}, 3, "locked.exe: wrong password"},
      {{"test", "damaged.exe"}, 1, "the archive is damaged"},
  };
  for (const test_case& c : cases) {
    SCOPED_TRACE(c.arguments[1] + (c.arguments.size() > 2 ? " -p " + c.arguments.back() : ""));
    tool_run windows = windows_tool(c.arguments, dir.path());
    tool_run linux = linux_tool(c.arguments, dir.path());
    EXPECT_EQ(windows.exit_code, c.exit_code) << dump(windows);
    EXPECT_NE((c.exit_code == 0 ? windows.out : windows.err).find(c.said), std::string::npos) << dump(windows);
    EXPECT_EQ(windows.out, linux.out);
    EXPECT_EQ(windows.err, linux.err);
  }
}

TEST_F(ToolUnderWine, ExtractWritesEveryByteAndTimeIntoAJapaneseFolderGivenAsAWindowsPath) {
  fs::path out = dir / "出力";
  tool_run first = windows_tool({"extract", "-d", windows_path(out), "locked.exe", "-p", password}, dir.path());

  ASSERT_EQ(first.exit_code, 0) << dump(first);
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(read_file(out / "資料" / "表.txt"), read_file(dir / "src" / "資料" / "表.txt"));
  EXPECT_EQ(read_file(out / "readme.txt"), sample_data(40000));
  EXPECT_TRUE(fs::is_directory(out / "資料" / "空"));
  EXPECT_EQ(last_write_filetime(out / "資料" / "表.txt"), filetime_of(packed_at));
  EXPECT_EQ(last_write_filetime(out / "readme.txt"), filetime_of(packed_at));

  // Without a console nobody can be asked about the existing files.
  write_file(out / "資料" / "表.txt", std::string("changed"));
  tool_run again = windows_tool({"extract", "-d", "出力", "a.exe"}, dir.path());
  EXPECT_EQ(again.exit_code, 5) << dump(again);
  EXPECT_NE(again.err.find("already exists"), std::string::npos) << dump(again);
  tool_run always = windows_tool({"extract", "-d", "出力", "--overwrite", "always", "a.exe"}, dir.path());
  EXPECT_EQ(always.exit_code, 0) << dump(always);
  EXPECT_EQ(read_file(out / "資料" / "表.txt"), read_file(dir / "src" / "資料" / "表.txt"));
}

// On a console: the password is asked without echo and may be typed again,
// and Ctrl-C at a question stops the run as Cancel does.
TEST_F(ToolUnderWine, ConsoleAsksThePasswordWithoutEchoAndTakesCtrlCAsCancel) {
  tool_run typed = windows_tool_on_terminal(
      {"test", "locked.exe"},
      {{"locked.exe:", "表の鍵x\r"}, {"wrong password", ""}, {"locked.exe:", password + "\r"}}, dir.path());
  EXPECT_EQ(typed.exit_code, 0) << typed.out;
  EXPECT_NE(typed.out.find("locked.exe: sound: 2 files, 2 folders, 40010 bytes"), std::string::npos) << typed.out;
  EXPECT_EQ(typed.out.find("表"), std::string::npos) << typed.out;

  write_file(dir / "out" / "readme.txt", std::string("mine"));
  tool_run stopped =
      windows_tool_on_terminal({"extract", "-d", "out", "a.exe"}, {{"Overwrite it?", "\x03"}}, dir.path());
  EXPECT_EQ(stopped.exit_code, 7) << stopped.out;
  EXPECT_NE(stopped.out.find("cancelled"), std::string::npos) << stopped.out;
  EXPECT_EQ(read_file(dir / "out" / "readme.txt"), std::vector<uint8_t>({'m', 'i', 'n', 'e'}));
}

TEST_F(ToolUnderWine, PackIsLeftToTheLinuxBuild) {
  tool_run run = windows_tool({"pack", "-o", "new.exe", "src"}, dir.path());

  EXPECT_EQ(run.exit_code, 2) << dump(run);
  EXPECT_NE(run.err.find("Linux"), std::string::npos) << dump(run);
  EXPECT_FALSE(fs::exists(dir / "new.exe"));
}

}  // namespace
