// The sub-commands of the portable tool. Each returns the process exit code.
#pragma once

int run_list_command(int argc, char** argv);
int run_test_command(int argc, char** argv);
int run_extract_command(int argc, char** argv);
int run_pack_command(int argc, char** argv);
