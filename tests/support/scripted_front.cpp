#include "support/scripted_front.h"

#include <setjmp.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/posix/posix_files.h"
#include "platform/texts.h"

scripted_front_state scripted;

namespace {

jmp_buf* exit_point;
int exit_code;

void end_run(int code) {
  if (!exit_point) {
    ADD_FAILURE() << "the process ended outside run_until_exit, code " << code;
    std::abort();
  }
  exit_code = code;
  longjmp(*exit_point, 1);
}

int show_message(message_id id, const char* detail) {
  byte_string text = {};
  compose_message(id, detail, &text);
  const message_text& m = message_text_of(id);
  scripted.messages.push_back({id, text_c_str(&text), m.flags, m.owned});
  bool question = (m.flags & 0x0F) != 0;
  if (!question) {
    text_release(&text);
    return reply_ok;
  }
  if (scripted.replies.empty()) {
    ADD_FAILURE() << "a question was asked with no reply scripted: " << text_c_str(&text);
    end_run(99);
  }
  text_release(&text);
  int reply = scripted.replies.front();
  scripted.replies.pop_front();
  return reply;
}

void show_status(status_id id, const char* full_path) {
  byte_string text = {};
  compose_status(id, full_path, &text);
  scripted.statuses.push_back(text_c_str(&text));
  text_release(&text);
}

void pump_one_message() {
  ++scripted.pump_count;
  if (scripted.on_pump) scripted.on_pump();
}


void show_comment(const char* text) { scripted.comment = text; }
void mask_password() { scripted.password_masked = true; }
void read_password(byte_string* out) { text_assign_c_str(out, scripted.typed_password.c_str()); }
void focus_password() { ++scripted.password_focus_count; }

}  // namespace

const user_front scripted_user_front = {
    show_message, show_status, pump_one_message, end_run, show_comment, mask_password, read_password, focus_password,
};

void use_scripted_front(const file_layer* files) {
  scripted = scripted_front_state{};
  install_platform(files ? files : &posix_file_layer, &scripted_user_front);
}

int run_until_exit(const std::function<void()>& body) {
  jmp_buf here;
  jmp_buf* outer = exit_point;
  exit_point = &here;
  if (setjmp(here) != 0) {
    exit_point = outer;
    return exit_code;
  }
  body();
  exit_point = outer;
  return -1;
}
