#include "pack/staged_output.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "pack/refusal.h"

namespace quorvex::pack {

namespace {

// The temporary file that an interrupt must remove; one at a time.
char pending_path[PATH_MAX];
constexpr int cleanup_signals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previous_actions[3];

void remove_pending_and_reraise(int signal_number) {
  if (pending_path[0]) unlink(pending_path);
  for (size_t i = 0; i < 3; ++i) {
    if (cleanup_signals[i] == signal_number) sigaction(signal_number, &previous_actions[i], nullptr);
  }
  raise(signal_number);
}

void watch_signals(const std::string& path) {
  if (path.size() >= sizeof pending_path) return;
  std::memcpy(pending_path, path.c_str(), path.size() + 1);
  struct sigaction action = {};
  action.sa_handler = remove_pending_and_reraise;
  sigemptyset(&action.sa_mask);
  for (size_t i = 0; i < 3; ++i) sigaction(cleanup_signals[i], &action, &previous_actions[i]);
}

void stop_watching() {
  for (size_t i = 0; i < 3; ++i) sigaction(cleanup_signals[i], &previous_actions[i], nullptr);
  pending_path[0] = 0;
}

std::string cannot_write(const std::string& path, int error) {
  return "cannot write '" + path + "': " + std::strerror(error);
}

}  // namespace

staged_output::staged_output(const std::string& final_path) : final_path_(final_path) {
  struct stat status;
  if (stat(final_path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    throw refusal("cannot write '" + final_path + "': it is a folder");
  }
  // No interrupt between making the file and knowing to remove it.
  sigset_t interrupts, previous_mask;
  sigemptyset(&interrupts);
  for (int signal_number : cleanup_signals) sigaddset(&interrupts, signal_number);
  sigprocmask(SIG_BLOCK, &interrupts, &previous_mask);
  std::string pattern = final_path + ".partial-XXXXXX";
  fd_ = mkostemp(pattern.data(), O_CLOEXEC);
  int error = errno;
  if (fd_ >= 0) watch_signals(pattern);
  sigprocmask(SIG_SETMASK, &previous_mask, nullptr);
  if (fd_ < 0) throw refusal(cannot_write(final_path, error));
  temporary_path_ = pattern;
  fstat(fd_, &status);
  identity_ = {status.st_dev, status.st_ino};
}

staged_output::~staged_output() {
  if (fd_ >= 0) close(fd_);
  if (!committed_) unlink(temporary_path_.c_str());
  stop_watching();
}

void staged_output::write(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t written = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) throw refusal(cannot_write(final_path_, written < 0 ? errno : ENOSPC));
    done += static_cast<size_t>(written);
  }
}

void staged_output::commit() {
  // An executable like any other program file: what the umask allows.
  mode_t mask = umask(0);
  umask(mask);
  if (fchmod(fd_, 0777 & ~mask) != 0 || fsync(fd_) != 0) throw refusal(cannot_write(final_path_, errno));
  int closed = close(fd_);
  fd_ = -1;
  if (closed != 0) throw refusal(cannot_write(final_path_, errno));
  if (rename(temporary_path_.c_str(), final_path_.c_str()) != 0) throw refusal(cannot_write(final_path_, errno));
  committed_ = true;
  stop_watching();
}

}  // namespace quorvex::pack
