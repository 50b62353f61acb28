// The stub's windows: the setup window with its controls and the progress
// window, shared by the entry and the window procedures.
#pragma once
#include <windows.h>

#include "platform/byte_string.h"

// Layout units of the stock system font, measured when the setup window is
// created; every position and size of both windows is a multiple of them.
extern int char_width;
extern int line_height;

extern HINSTANCE module_instance;
extern HWND setup_window;
extern HWND progress_window;

extern HWND password_label;
extern HWND extract_button;
extern HWND browse_button;
extern HWND comment_edit;
extern HWND password_edit;
extern HWND destination_edit;
extern HWND cancel_button;

// The folder the browse dialog preselects: the current directory at first,
// then the folder last picked.
extern byte_string browse_folder;

LRESULT CALLBACK setup_window_procedure(HWND window, UINT message, WPARAM w_param, LPARAM l_param);
LRESULT CALLBACK progress_window_procedure(HWND window, UINT message, WPARAM w_param, LPARAM l_param);
void browse_for_destination();

// A child control with no font of its own: it draws with the system font the
// layout was measured in.
HWND make_control(HWND parent, const char* window_class, const char* text, DWORD style, int id, int x, int y,
                  int width, int height);
