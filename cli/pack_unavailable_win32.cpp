// quorvex pack on Windows: the maker walks folders with POSIX calls and is
// built for Linux only.
#include <cstdio>

#include "cli/commands.h"
#include "cli/cli_front.h"

int run_pack_command(int, char**) {
  std::fputs("quorvex pack: this Windows build reads, tests and extracts archives; make them with the Linux build's "
             "quorvex pack\n",
             stderr);
  return exit_usage;
}
