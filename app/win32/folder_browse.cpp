// Picking the destination with the shell's folder dialog.
#include <shlobj.h>
#include <string.h>

#include "app/win32/stub_windows.h"

namespace {

// The text of a 261-byte path buffer, up to its first zero byte.
int path_length(const char* path) {
  const void* end = memchr(path, 0, MAX_PATH + 1);
  return end ? static_cast<int>(static_cast<const char*>(end) - path) : MAX_PATH + 1;
}

int CALLBACK browse_callback(HWND dialog, UINT message, LPARAM, LPARAM) {
  if (message == BFFM_INITIALIZED) SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(text_c_str(&browse_folder)));
  return 0;
}

}  // namespace

void browse_for_destination() {
  IMalloc* allocator;
  if (FAILED(SHGetMalloc(&allocator))) return;

  char desktop_path[MAX_PATH + 1];
  char display_name[MAX_PATH + 1];
  char picked_path[MAX_PATH + 1];
  picked_path[0] = 0;
  desktop_path[0] = 0;
  LPITEMIDLIST list = nullptr;
  SHGetSpecialFolderLocation(setup_window, CSIDL_DESKTOPDIRECTORY, &list);
  bool have_desktop = list != nullptr;
  if (have_desktop) {
    SHGetPathFromIDListA(list, desktop_path);
    allocator->Free(list);
  }
  // The desktop folder is the dialog's own default: no preselection then.
  int desktop_length = path_length(desktop_path);
  bool is_desktop = have_desktop && desktop_length == browse_folder.length &&
                    memcmp(desktop_path, text_c_str(&browse_folder), static_cast<size_t>(desktop_length)) == 0;

  BROWSEINFOA description = {};
  description.hwndOwner = setup_window;
  description.pszDisplayName = display_name;
  description.lpszTitle = "解凍先を選んでください。";
  description.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
  description.lpfn = is_desktop ? nullptr : browse_callback;

  list = SHBrowseForFolderA(&description);
  if (list) {
    SHGetPathFromIDListA(list, picked_path);
    SetWindowTextA(destination_edit, picked_path);
    text_clear(&browse_folder);
    text_append(&browse_folder, picked_path, path_length(picked_path));
    allocator->Free(list);
  }
  allocator->Release();
}
