// quorvex: the portable tool. Each command is a file of its own.
#include <cstdio>
#include <cstring>

#include <string>
#include <vector>

#include "cli/cli_front.h"
#include "cli/commands.h"
#include "cli/console.h"

namespace {

const char usage[] =
    "usage: quorvex COMMAND ...\n"
    "  quorvex list ARCHIVE [-p PASSWORD] [--json]\n"
    "  quorvex test ARCHIVE [-p PASSWORD]\n"
    "  quorvex extract ARCHIVE [-d DIR] [-p PASSWORD] [--overwrite ask|always|never]\n"
    "  quorvex pack -o OUT.exe [options] PATH...\n"
    "ARCHIVE is any file that carries an archive after its first 25600 bytes.\n"
    "quorvex COMMAND --help tells more.\n";

}  // namespace

int main(int argc, char** argv) {
  // From here on every argument is UTF-8.
  std::vector<std::string> arguments = console_start(argc, argv);
  std::vector<char*> pointers;
  for (std::string& a : arguments) pointers.push_back(&a[0]);
  pointers.push_back(nullptr);
  argc = static_cast<int>(arguments.size());
  argv = pointers.data();
  const char* command = argc > 1 ? argv[1] : "";
  struct {
    const char* name;
    int (*run)(int, char**);
  } const commands[] = {
      {"list", run_list_command},
      {"test", run_test_command},
      {"extract", run_extract_command},
      {"pack", run_pack_command},
  };
  for (const auto& c : commands) {
    if (std::strcmp(command, c.name) == 0) return c.run(argc - 1, argv + 1);
  }
  if (std::strcmp(command, "-h") == 0 || std::strcmp(command, "--help") == 0 || std::strcmp(command, "help") == 0) {
    print_to(stdout, "%s", usage);
    return 0;
  }
  if (*command) print_to(stderr, "quorvex: unknown command %s\n", command);
  print_to(stderr, "%s", usage);
  return 2;
}
