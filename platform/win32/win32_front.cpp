// The user-interface operations over user32: message boxes with the banner
// caption, the status line, the single-message pump, the password box.
#include <windows.h>

#include "platform/texts.h"
#include "platform/win32/win32_platform.h"

win32_front_windows front_windows;

namespace {

HWND window(void* handle) { return static_cast<HWND>(handle); }

int show_message(message_id id, const char* detail) {
  const message_text& m = message_text_of(id);
  byte_string text = {};
  compose_message(id, detail, &text);
  HWND owner = m.owned ? window(front_windows.setup_window) : nullptr;
  // Wine enables the owner again when the box closes, even one the extraction
  // had disabled; the setup window must stay disabled while it runs.
  bool was_disabled = owner && !IsWindowEnabled(owner);
  int reply = MessageBoxA(owner, text_c_str(&text), banner_caption, m.flags);
  if (was_disabled) EnableWindow(owner, FALSE);
  text_release(&text);
  return reply;
}

void show_status(status_id id, const char* full_path) {
  byte_string text = {};
  compose_status(id, full_path, &text);
  SetWindowTextA(window(front_windows.status_line), text_c_str(&text));
  text_release(&text);
}

void pump_one_message() {
  MSG message;
  if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void end(int exit_code) { ExitProcess(static_cast<UINT>(exit_code)); }

void show_comment(const char* text) { SetWindowTextA(window(front_windows.comment_edit), text); }

void mask_password() { SendMessageA(window(front_windows.password_edit), EM_SETPASSWORDCHAR, '*', 0); }

void read_password(byte_string* out) {
  HWND edit = window(front_windows.password_edit);
  int n = GetWindowTextLengthA(edit) + 1;
  text_clear(out);
  char* buffer = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(n)));
  if (!buffer) return;
  buffer[0] = 0;
  GetWindowTextA(edit, buffer, n);
  text_append_c_str(out, buffer);
  HeapFree(GetProcessHeap(), 0, buffer);
}

void focus_password() { SetFocus(window(front_windows.password_edit)); }

}  // namespace

const user_front win32_user_front = {
    show_message, show_status, pump_one_message, end, show_comment, mask_password, read_password, focus_password,
};
