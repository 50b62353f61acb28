// The Win32 implementations of the platform interface, for the stub.
#pragma once
#include "platform/platform.h"

extern const file_layer win32_file_layer;

// The windows the front talks to; the stub's front end fills them in as it
// creates its windows.
struct win32_front_windows {
  void* setup_window;
  void* status_line;
  void* comment_edit;
  void* password_edit;
};
extern win32_front_windows front_windows;
extern const user_front win32_user_front;
