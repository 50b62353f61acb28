// Links the extractor's logic over the Win32 layer with no C++ runtime and no
// C start-up code. Never run: the build itself is the check.
#include "app/archive_opening.h"
#include "archive/archive.h"
#include "platform/win32/win32_platform.h"

extern "C" void link_check_entry() {
  install_platform(&win32_file_layer, &win32_user_front);
  if (!open_archive("link-check.exe") && check_password()) read_archive_byte();
  end_process(0);
}
