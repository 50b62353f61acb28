// The setup window: comment, destination, password, and the Extract flow.
#include <stdlib.h>

#include "app/win32/stub_windows.h"
#include "archive/archive.h"
#include "extract/extract.h"
#include "platform/platform.h"
#include "platform/win32/win32_platform.h"

HWND password_label;
HWND extract_button;
HWND browse_button;
HWND comment_edit;
HWND password_edit;
HWND destination_edit;
byte_string browse_folder;

namespace {

byte_string destination_folder;
// Wine enables an owner again when a message box it owns closes, even one
// that was disabled; this keeps a second Extract from starting anything.
bool extraction_started;

constexpr DWORD child_visible = WS_CHILD | WS_VISIBLE;
constexpr DWORD one_line_edit = WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL;

SIZE text_extent(HDC dc, const char* text, int length) {
  SIZE extent;
  GetTextExtentPoint32A(dc, text, length, &extent);
  return extent;
}

// A static label as large as its text.
void make_label(HWND window, HDC dc, const char* text, int length, int id, int y, HWND* handle) {
  SIZE e = text_extent(dc, text, length);
  HWND label = make_control(window, "static", text, child_visible, id, 1, y, e.cx, e.cy);
  if (handle) *handle = label;
}

void create_setup_controls(HWND window) {
  front_windows.setup_window = setup_window = window;
  HDC dc = GetDC(window);
  SelectObject(dc, GetStockObject(SYSTEM_FONT));
  TEXTMETRICA metrics;
  GetTextMetricsA(dc, &metrics);
  const int w = char_width = metrics.tmAveCharWidth;
  const int h = line_height = metrics.tmHeight + metrics.tmExternalLeading;

  // Keep the place CW_USEDEFAULT gave the window; take the size from the font.
  WINDOWPLACEMENT placement;
  placement.length = sizeof placement;
  placement.flags = 0;
  GetWindowPlacement(window, &placement);
  MoveWindow(window, placement.rcNormalPosition.left, placement.rcNormalPosition.top, 70 * w, 20 * h, TRUE);

  make_label(window, dc, "メッセージ", 10, 4, 1, nullptr);
  make_label(window, dc, "パスワード", 10, 5, 16 * h, &password_label);
  make_label(window, dc, "解凍するフォルダ", 16, 6, 13 * h, nullptr);
  // Both buttons take the size of the longer label.
  SIZE b = text_extent(dc, "参照...", 7);
  extract_button = make_control(window, "button", "解凍", child_visible, 3, 60 * w, 17 * h - h / 4, b.cx + w,
                                (3 * b.cy) / 2);
  browse_button = make_control(window, "button", "参照...", child_visible, 8, 60 * w, 14 * h - h / 4, b.cx + w,
                               (3 * b.cy) / 2);
  ReleaseDC(window, dc);

  front_windows.comment_edit = comment_edit =
      make_control(window, "edit", nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | ES_READONLY | ES_MULTILINE,
                   1, w - 2, (3 * h) / 2 - 2, 67 * w, 11 * h);
  front_windows.password_edit = password_edit = make_control(window, "edit", nullptr, one_line_edit, 2, w - 2, 17 * h,
                                                             57 * w + 4, h);

  DWORD size = GetCurrentDirectoryA(0, nullptr);
  char* current = static_cast<char*>(malloc(size));
  GetCurrentDirectoryA(size, current);
  text_assign_c_str(&browse_folder, current);
  destination_edit = make_control(window, "edit", current, one_line_edit, 7, w - 2, 14 * h, 57 * w + 4, h);
  free(current);
}

// The destination step: true when the folder exists, or was made after the
// user agreed.
bool accept_destination() {
  int length = GetWindowTextLengthA(destination_edit) + 1;
  char* typed = static_cast<char*>(malloc(static_cast<size_t>(length)));
  GetWindowTextA(destination_edit, typed, length);
  with_trailing_backslash(typed, &destination_folder);
  free(typed);

  const char* folder = text_c_str(&destination_folder);
  switch (folder_state(folder)) {
    case folder_ok:
      return true;
    case folder_missing: {
      if (platform_front->show_message(message_create_folder, nullptr) != reply_yes) return false;
      byte_string failing_prefix = {};
      make_folder_chain(folder, &failing_prefix);
      bool made = failing_prefix.length == 0;
      text_release(&failing_prefix);
      if (made) return true;
      break;
    }
    default:
      break;
  }
  platform_front->show_message(message_folder_not_made, nullptr);
  return false;
}

// A relative launch target is meant to be the extracted file, but the shell
// searches the stub's own folder and the search path before the current one.
// So an extracted file of that name is handed over by its full path, taken
// while the current directory is still the one the destination is relative to.
void launch_target_file() {
  byte_string joined = {};
  text_assign_c_str(&joined, text_c_str(&destination_folder));
  text_append_c_str(&joined, text_c_str(&launch_target));
  char full_path[MAX_PATH];
  DWORD length = GetFullPathNameA(text_c_str(&joined), MAX_PATH, full_path, nullptr);
  DWORD attributes = length && length < MAX_PATH ? GetFileAttributesA(full_path) : INVALID_FILE_ATTRIBUTES;
  const char* file = (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
                         ? full_path
                         : text_c_str(&launch_target);
  SetCurrentDirectoryA(text_c_str(&destination_folder));
  INT_PTR result = reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, nullptr, file, nullptr, nullptr, SW_SHOWNORMAL));
  if (result <= 32) platform_front->show_message(message_launch_failed, text_c_str(&launch_target));
  text_release(&joined);
}

void run_extract_flow() {
  if (extraction_started || !check_password() || !accept_destination()) return;
  extraction_started = true;

  ShowWindow(progress_window, SW_SHOW);
  UpdateWindow(progress_window);
  EnableWindow(setup_window, FALSE);
  extract_all(text_c_str(&destination_folder));
  ShowWindow(progress_window, SW_HIDE);

  if (cancel_requested) {
    platform_front->show_message(message_cancelled, nullptr);
  } else {
    platform_front->show_message(message_finished, nullptr);
    if (launch_target.length) launch_target_file();
  }
  PostMessageA(setup_window, WM_DESTROY, 0, 0);
}

}  // namespace

HWND make_control(HWND parent, const char* window_class, const char* text, DWORD style, int id, int x, int y,
                  int width, int height) {
  return CreateWindowExA(0, window_class, text, style, x, y, width, height, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), module_instance, nullptr);
}

LRESULT CALLBACK setup_window_procedure(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
  HWND from = reinterpret_cast<HWND>(l_param);
  switch (message) {
    case WM_CREATE:
      create_setup_controls(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_COMMAND:
      if (HIWORD(w_param) != BN_CLICKED) break;
      if (from == extract_button) {
        run_extract_flow();
        return 0;
      }
      if (from == browse_button) {
        if (!extraction_started) browse_for_destination();
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC:
      // The read-only comment box keeps a white background.
      if (from == comment_edit) return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
      break;
  }
  return DefWindowProcA(window, message, w_param, l_param);
}
