// A front for tests: records every message and status text, answers questions
// from a script, and turns the end of the process into a return to the test.
#pragma once
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"

struct recorded_message {
  message_id id;
  std::string text;   // code page 932, as MessageBoxA would show it
  unsigned flags;
  bool owned;
};

struct scripted_front_state {
  std::vector<recorded_message> messages;
  std::vector<std::string> statuses;   // code page 932 status texts, in order
  std::deque<int> replies;             // answers to questions, in order
  std::string comment;                 // last comment shown
  bool password_masked = false;
  std::string typed_password;          // what read_password returns
  int password_focus_count = 0;
  int pump_count = 0;
  std::function<void()> on_pump;       // runs at every pump (e.g. press Cancel)
};

extern scripted_front_state scripted;
extern const user_front scripted_user_front;

// Installs the posix file layer (or `files`) with the scripted front, and
// clears the record.
void use_scripted_front(const file_layer* files = nullptr);

// Runs `body`; returns the exit code if it ended the process, or -1 when it
// returned normally.
int run_until_exit(const std::function<void()>& body);
