// quorvex pack on Windows: the maker walks folders with POSIX calls and is
// built for Linux only.
#include "cli/cli_front.h"
#include "cli/commands.h"

int run_pack_command(int, char**) {
  print_to(stderr, "quorvex pack: this Windows build reads, tests and extracts archives; make them with the Linux "
                   "build's quorvex pack\n");
  return exit_usage;
}
