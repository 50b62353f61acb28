// Runs the built portable tool as a child process: with pipes, or on a
// pseudo-terminal, answering its prompts from a script the way a user would.
#pragma once
#include <filesystem>
#include <string>
#include <vector>

struct cli_result {
  int exit_code = -1;  // -1: ended by a signal or did not end in time
  std::string out;     // on a terminal: everything the terminal showed
  std::string err;
};

// `input` is all of stdin; the child's working folder is `folder` when given.
cli_result run_cli(const std::vector<std::string>& arguments, const std::filesystem::path& folder = {},
                   const std::string& input = "");

struct terminal_step {
  std::string wait_for;  // shown on the terminal after the previous step's text
  std::string keys;      // then typed: "secret\n", "\x03" (Ctrl-C), "\x04" (Ctrl-D)
};

cli_result run_cli_on_terminal(const std::vector<std::string>& arguments, const std::vector<terminal_step>& steps,
                               const std::filesystem::path& folder = {});
