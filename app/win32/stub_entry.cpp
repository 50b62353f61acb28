// The stub's entry: no C runtime start-up, straight over kernel32 and user32.
#include "app/archive_opening.h"
#include "app/win32/stub_windows.h"
#include "archive/archive.h"
#include "platform/texts.h"
#include "platform/win32/win32_platform.h"

int char_width;
int line_height;
HINSTANCE module_instance;
HWND setup_window;
HWND progress_window;

namespace {

const char setup_class[] = "core_gui";
const char progress_class[] = "progress_window";
const char icon_name[] = "main_icon";

// The stub usually runs from a downloads folder, where a planted DLL of a
// system name could be picked up by a later LoadLibrary (the shell's folder
// dialog loads several). Only the system folder is searched from here on.
void restrict_dll_search() {
  typedef BOOL(WINAPI * set_default_dll_directories_call)(DWORD);
  set_default_dll_directories_call set_default = reinterpret_cast<set_default_dll_directories_call>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
  if (set_default) {
    set_default(LOAD_LIBRARY_SEARCH_SYSTEM32);
  } else {
    SetDllDirectoryA("");
  }
}

}  // namespace

extern "C" void stub_entry() {
  restrict_dll_search();
  install_platform(&win32_file_layer, &win32_user_front);
  module_instance = GetModuleHandleA(nullptr);
  HCURSOR arrow = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  // Brush value 5 is read as system colour index 4, the menu colour.
  HBRUSH background = reinterpret_cast<HBRUSH>(5);

  WNDCLASSEXA setup = {};
  setup.cbSize = sizeof setup;
  setup.lpfnWndProc = setup_window_procedure;
  setup.hInstance = module_instance;
  setup.hIcon = LoadIconA(module_instance, icon_name);
  setup.hCursor = arrow;
  setup.hbrBackground = background;
  setup.lpszClassName = setup_class;
  setup.hIconSm = LoadIconA(module_instance, icon_name);
  if (!RegisterClassExA(&setup)) ExitProcess(0);

  // Creation measures the layout units, sizes the window and makes its
  // controls (WM_CREATE).
  CreateWindowExA(0, setup_class, banner_caption, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, module_instance, nullptr);

  WNDCLASSA progress = {};
  progress.lpfnWndProc = progress_window_procedure;
  progress.hInstance = module_instance;
  progress.hIcon = LoadIconA(module_instance, icon_name);
  progress.hCursor = arrow;
  progress.hbrBackground = background;
  progress.lpszClassName = progress_class;
  if (!RegisterClassA(&progress)) ExitProcess(0);

  RECT desktop;
  GetWindowRect(GetDesktopWindow(), &desktop);
  // Centred with 8 line heights although the window is 7 high; the desktop's
  // left and top edges do not enter.
  progress_window = CreateWindowExA(0, progress_class, "ファイルの解凍中", WS_CAPTION,
                                    (desktop.right - 70 * char_width) / 2, (desktop.bottom - 8 * line_height) / 2,
                                    70 * char_width, 7 * line_height, setup_window, nullptr, module_instance, nullptr);

  char own_path[MAX_PATH + 2];
  DWORD length = GetModuleFileNameA(nullptr, own_path, MAX_PATH + 1);
  own_path[length] = 0;
  if (open_archive(own_path)) {
    EnableWindow(extract_button, FALSE);
  } else if (!archive_protected) {
    ShowWindow(password_edit, SW_HIDE);
    ShowWindow(password_label, SW_HIDE);
  }

  ShowWindow(setup_window, SW_SHOW);
  UpdateWindow(setup_window);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  ExitProcess(static_cast<UINT>(message.wParam));
}
