// The progress window: the status line the extraction writes, and Cancel.
#include "app/win32/stub_windows.h"
#include "archive/process_state.h"
#include "platform/win32/win32_platform.h"

HWND cancel_button;

LRESULT CALLBACK progress_window_procedure(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
  const int w = char_width;
  const int h = line_height;
  switch (message) {
    case WM_CREATE: {
      HDC dc = GetDC(window);
      // As wide as the whole window; the client area cuts it off.
      front_windows.status_line = make_control(window, "static", nullptr, WS_CHILD | WS_VISIBLE, 1, 2, h, 70 * w, h);
      SIZE e;
      GetTextExtentPoint32A(dc, "キャンセル", 10, &e);
      cancel_button =
          make_control(window, "button", "キャンセル", WS_CHILD | WS_VISIBLE, 2, 30 * w, 3 * h, e.cx + w, (3 * e.cy) / 2);
      ReleaseDC(window, dc);
      return 0;
    }
    case WM_COMMAND:
      // Only a flag: the extraction notices it at its next test.
      if (reinterpret_cast<HWND>(l_param) == cancel_button && HIWORD(w_param) == BN_CLICKED) {
        cancel_requested = 1;
        return 0;
      }
      break;
  }
  return DefWindowProcA(window, message, w_param, l_param);
}
