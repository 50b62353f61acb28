#include "support/cli_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace {

constexpr auto time_limit = std::chrono::seconds(60);

[[noreturn]] void exec_tool(const std::vector<std::string>& arguments, const std::filesystem::path& folder) {
  if (!folder.empty() && chdir(folder.c_str()) != 0) _exit(127);
  std::vector<char*> argv;
  std::string program = QUORVEX_CLI;
  argv.push_back(program.data());
  std::vector<std::string> copies = arguments;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  execv(program.c_str(), argv.data());
  _exit(127);
}

int wait_for_child(pid_t pid) {
  int status = 0;
  if (waitpid(pid, &status, 0) < 0) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Appends what `fd` has to `into`; false at its end.
bool drain(int fd, std::string& into) {
  char buffer[4096];
  ssize_t got = read(fd, buffer, sizeof buffer);
  if (got <= 0) return false;
  into.append(buffer, static_cast<size_t>(got));
  return true;
}

}  // namespace

cli_result run_cli(const std::vector<std::string>& arguments, const std::filesystem::path& folder,
                   const std::string& input) {
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) {
    ADD_FAILURE() << "pipe failed";
    return {};
  }
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    exec_tool(arguments, folder);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  if (!input.empty() && write(in[1], input.data(), input.size()) < 0) ADD_FAILURE() << "stdin not written";
  close(in[1]);

  cli_result result;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open_count = 2;
  auto deadline = std::chrono::steady_clock::now() + time_limit;
  while (open_count > 0 && std::chrono::steady_clock::now() < deadline) {
    if (poll(fds, 2, 1000) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP))) continue;
      if (!drain(fds[i].fd, i == 0 ? result.out : result.err)) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_count;
      }
    }
  }
  if (open_count > 0) {
    ADD_FAILURE() << "the tool did not end in time";
    kill(pid, SIGKILL);
  }
  for (const pollfd& p : fds) {
    if (p.fd >= 0) close(p.fd);
  }
  result.exit_code = wait_for_child(pid);
  return result;
}

cli_result run_cli_on_terminal(const std::vector<std::string>& arguments, const std::vector<terminal_step>& steps,
                               const std::filesystem::path& folder) {
  int master = -1;
  winsize size = {};
  size.ws_row = 24;
  size.ws_col = 100;
  pid_t pid = forkpty(&master, nullptr, nullptr, &size);
  if (pid < 0) {
    ADD_FAILURE() << "forkpty failed";
    return {};
  }
  if (pid == 0) exec_tool(arguments, folder);

  cli_result result;
  auto deadline = std::chrono::steady_clock::now() + time_limit;
  size_t seen = 0;  // output before this was matched by an earlier step
  bool open = true;
  auto read_some = [&] {
    pollfd p = {master, POLLIN, 0};
    if (poll(&p, 1, 100) > 0) open = drain(master, result.out);
  };
  for (const terminal_step& step : steps) {
    size_t found;
    while ((found = result.out.find(step.wait_for, seen)) == std::string::npos && open &&
           std::chrono::steady_clock::now() < deadline) {
      read_some();
    }
    if (found == std::string::npos) {
      ADD_FAILURE() << "the terminal never showed \"" << step.wait_for << "\"; it showed:\n" << result.out;
      break;
    }
    seen = found + step.wait_for.size();
    if (write(master, step.keys.data(), step.keys.size()) < 0) ADD_FAILURE() << "keys not typed";
  }
  while (open && std::chrono::steady_clock::now() < deadline) read_some();
  if (open) {
    ADD_FAILURE() << "the tool did not end in time";
    kill(pid, SIGKILL);
  }
  close(master);
  result.exit_code = wait_for_child(pid);
  return result;
}
