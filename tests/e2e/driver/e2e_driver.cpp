// Drives one run of a self-extracting file under Wine the way a user would:
// reads its setup window, types the destination and passwords, presses
// Extract, answers its questions, presses Cancel in the progress window when
// told, and reports everything it sees as JSON lines (UTF-8) on stdout.
//
//   e2e-driver.exe SFX [--cwd DIR] [--dest TEXT] [--password TEXT]...
//                  [--answer yes|no|cancel]... [--browse PATH|=|!]...
//                  [--cancel-when-status PREFIX] [--timeout-ms N]
//                  [--report-layout] [--screenshots DIR]
//                  [--extract-during-question]
//
// --screenshots asks for pictures of the setup window (filled in, before
// Extract) and of the progress window (while a question holds the run): the
// driver prints a "screenshot" event with the window's place on the screen
// and waits until DIR\NAME.done exists, which whoever reads its output makes
// once the picture is taken.
//
// --extract-during-question clicks Extract once more while the first
// question of an extraction is open (Wine enables the owner of a message box
// again; the click must start nothing).
//
// --browse presses Browse and in the folder dialog selects PATH and presses
// OK ("=" keeps the dialog's preselection, "!" presses Cancel).
//
// The driver never sleeps for a fixed time to let the program move on. It
// presses Extract and Browse by sending the button's WM_COMMAND from a
// thread of its own: that send returns exactly when the program's handler
// has returned to the main loop, however long the handler's message boxes
// take to close. Message box buttons and Cancel are posted; after each, the
// driver waits until the program's thread takes a sent message again.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace {

// --- output -----------------------------------------------------------------

std::string utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::string json_text(const std::wstring& text) {
  std::string out = "\"";
  for (unsigned char c : utf8(text)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// One JSON object per line, written in binary so that no CR creeps in.
void emit(const std::string& fields) {
  std::string line = "{" + fields + "}\n";
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

std::string field(const char* name, const std::string& json_value) { return std::string("\"") + name + "\":" + json_value; }
std::string field(const char* name, const std::wstring& text) { return field(name, json_text(text)); }
std::string field(const char* name, long long number) { return field(name, std::to_string(number)); }
std::string flag(const char* name, bool value) { return field(name, std::string(value ? "true" : "false")); }
std::wstring wide(const char* ascii) { return std::wstring(ascii, ascii + std::strlen(ascii)); }
std::string event_field(const char* name) { return field("event", wide(name)); }

// --- options ----------------------------------------------------------------

struct options {
  std::wstring sfx;
  std::wstring cwd;
  bool has_destination = false;
  std::wstring destination;
  std::vector<std::wstring> passwords;
  std::deque<int> answers;  // IDYES, IDNO, IDCANCEL
  std::deque<std::wstring> browses;
  bool has_cancel_prefix = false;
  std::wstring cancel_prefix;
  DWORD timeout_ms = 60000;
  bool report_layout = false;
  std::wstring screenshots;
  bool extract_during_question = false;
};

[[noreturn]] void usage(const char* why) {
  std::fprintf(stderr, "e2e-driver: %s\n", why);
  std::exit(2);
}

options parse_options(int argc, wchar_t** argv) {
  options o;
  if (argc < 2) usage("usage: e2e-driver SFX [options]");
  o.sfx = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::wstring a = argv[i];
    auto value = [&]() -> std::wstring {
      if (i + 1 >= argc) usage("an option lacks its value");
      return argv[++i];
    };
    if (a == L"--cwd") {
      o.cwd = value();
    } else if (a == L"--dest") {
      o.has_destination = true;
      o.destination = value();
    } else if (a == L"--password") {
      o.passwords.push_back(value());
    } else if (a == L"--answer") {
      std::wstring v = value();
      if (v == L"yes") o.answers.push_back(IDYES);
      else if (v == L"no") o.answers.push_back(IDNO);
      else if (v == L"cancel") o.answers.push_back(IDCANCEL);
      else usage("--answer takes yes, no or cancel");
    } else if (a == L"--browse") {
      o.browses.push_back(value());
    } else if (a == L"--cancel-when-status") {
      o.has_cancel_prefix = true;
      o.cancel_prefix = value();
    } else if (a == L"--timeout-ms") {
      o.timeout_ms = static_cast<DWORD>(std::wcstoul(value().c_str(), nullptr, 10));
    } else if (a == L"--report-layout") {
      o.report_layout = true;
    } else if (a == L"--extract-during-question") {
      o.extract_during_question = true;
    } else if (a == L"--screenshots") {
      o.screenshots = value();
    } else {
      usage("unknown option");
    }
  }
  return o;
}

// --- looking at the program's windows -------------------------------------

PROCESS_INFORMATION program;
DWORD deadline;

bool timed_out() { return static_cast<LONG>(GetTickCount() - deadline) >= 0; }

std::wstring class_of(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

bool is_class(HWND window, const wchar_t* name) { return lstrcmpiW(class_of(window).c_str(), name) == 0; }

// The stored text of a window (no message is sent to the program for it).
std::wstring stored_text(HWND window) {
  wchar_t buffer[4096] = {};
  GetWindowTextW(window, buffer, 4096);
  return buffer;
}

// The text as the control itself holds it (edit boxes), by WM_GETTEXT.
std::wstring control_text(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 10000, &length)) return L"";
  std::vector<wchar_t> buffer(length + 1, 0);
  DWORD_PTR got = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(buffer.data()), SMTO_NORMAL, 10000, &got);
  return std::wstring(buffer.data());
}

struct window_search {
  const wchar_t* window_class;
  HWND found;
};

BOOL CALLBACK match_top_level(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<window_search*>(data);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != program.dwProcessId || !is_class(window, search->window_class)) return TRUE;
  if (lstrcmpW(search->window_class, L"#32770") == 0 && !IsWindowVisible(window)) return TRUE;
  search->found = window;
  return FALSE;
}

HWND top_level(const wchar_t* window_class) {
  window_search search = {window_class, nullptr};
  EnumWindows(match_top_level, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND child_of_class(HWND parent, const wchar_t* window_class) {
  return FindWindowExW(parent, nullptr, window_class, nullptr);
}

HWND visible_dialog() { return top_level(L"#32770"); }
bool is_browse_dialog(HWND dialog) { return child_of_class(dialog, L"SysTreeView32") != nullptr; }

bool program_ended() { return WaitForSingleObject(program.hProcess, 0) == WAIT_OBJECT_0; }

// Returns once the program's thread has taken a sent message again (it is
// inside some message loop), or the program has ended.
void wait_until_responsive(HWND window) {
  while (!program_ended() && !timed_out()) {
    DWORD_PTR ignored;
    if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 200, &ignored)) return;
    if (!IsWindow(window)) return;
  }
}

// A button of a modal loop or of the progress window: its WM_COMMAND is
// posted to the dialog or window, which serves it from its own loop.
void press(HWND dialog_or_parent, HWND button) {
  PostMessageW(dialog_or_parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

void type_into(HWND edit, const std::wstring& text) {
  DWORD_PTR ignored;
  SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 10000, &ignored);
}

// --- the run ------------------------------------------------------------------

const wchar_t wrong_password[] = L"\u30d1\u30b9\u30ef\u30fc\u30c9\u304c\u9055\u3044\u307e\u3059\u3002";  // パスワードが違います。

struct setup_controls {
  HWND window, comment, password, extract, password_label, destination, browse;
};

setup_controls controls_of(HWND setup) {
  return {setup,
          GetDlgItem(setup, 1),
          GetDlgItem(setup, 2),
          GetDlgItem(setup, 3),
          GetDlgItem(setup, 5),
          GetDlgItem(setup, 7),
          GetDlgItem(setup, 8)};
}

struct button_info {
  HWND handle;
  int id;
  std::wstring text;
  LONG left;
};

BOOL CALLBACK collect_button(HWND window, LPARAM data) {
  if (is_class(window, L"Button") && IsWindowVisible(window)) {
    RECT r;
    GetWindowRect(window, &r);
    reinterpret_cast<std::vector<button_info>*>(data)->push_back(
        {window, GetDlgCtrlID(window), stored_text(window), r.left});
  }
  return TRUE;
}

std::vector<button_info> buttons_of(HWND dialog) {
  std::vector<button_info> buttons;
  EnumChildWindows(dialog, collect_button, reinterpret_cast<LPARAM>(&buttons));
  // Left to right, as the user reads them.
  for (size_t i = 1; i < buttons.size(); ++i)
    for (size_t j = i; j > 0 && buttons[j].left < buttons[j - 1].left; --j) std::swap(buttons[j], buttons[j - 1]);
  return buttons;
}

// Converts a text to the program's code page and back: what a user typing it
// into an ANSI program produces.
std::string ansi_bytes(const std::wstring& text) {
  int n = WideCharToMultiByte(932, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(932, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n > 0 ? n - 1 : 0));
  return out;
}

void report_rectangle(const char* owner, HWND window, HWND parent) {
  RECT r;
  GetWindowRect(window, &r);
  if (parent) MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  emit(event_field("control") + "," + field("window", wide(owner)) +
       "," + field("id", GetDlgCtrlID(window)) + "," + field("class", class_of(window)) + "," +
       field("x", r.left) + "," + field("y", r.top) + "," + field("width", r.right - r.left) + "," +
       field("height", r.bottom - r.top) + "," + flag("visible", IsWindowVisible(window) != 0));
}

// The font metrics the layout is made of, measured here the same way, and
// the place and size of every window and control.
void report_layout(HWND setup) {
  HDC dc = GetDC(nullptr);
  SelectObject(dc, GetStockObject(SYSTEM_FONT));
  TEXTMETRICW metrics;
  GetTextMetricsW(dc, &metrics);
  emit(event_field("metrics") + "," + field("char_width", metrics.tmAveCharWidth) + "," +
       field("line_height", metrics.tmHeight + metrics.tmExternalLeading));
  const wchar_t* texts[] = {L"\u30e1\u30c3\u30bb\u30fc\u30b8", L"\u30d1\u30b9\u30ef\u30fc\u30c9",
                            L"\u89e3\u51cd\u3059\u308b\u30d5\u30a9\u30eb\u30c0", L"\u53c2\u7167...",
                            L"\u30ad\u30e3\u30f3\u30bb\u30eb"};
  for (const wchar_t* text : texts) {
    std::string bytes = ansi_bytes(text);
    SIZE e;
    GetTextExtentPoint32A(dc, bytes.c_str(), static_cast<int>(bytes.size()), &e);
    emit(event_field("extent") + "," + field("text", std::wstring(text)) + "," + field("cx", e.cx) +
         "," + field("cy", e.cy));
  }
  ReleaseDC(nullptr, dc);

  RECT desktop;
  GetWindowRect(GetDesktopWindow(), &desktop);
  emit(event_field("desktop") + "," + field("right", desktop.right) + "," +
       field("bottom", desktop.bottom));
  HWND progress = top_level(L"progress_window");
  const struct {
    const char* name;
    HWND window;
  } windows[] = {{"setup", setup}, {"progress", progress}};
  for (const auto& w : windows) {
    if (!w.window) continue;
    RECT r;
    GetWindowRect(w.window, &r);
    emit(event_field("window") + "," + field("window", wide(w.name)) + "," + field("class", class_of(w.window)) +
         "," + field("text", stored_text(w.window)) + "," + field("x", r.left) + "," + field("y", r.top) + "," +
         field("width", r.right - r.left) + "," + field("height", r.bottom - r.top) + "," +
         field("style", static_cast<long long>(GetWindowLongW(w.window, GWL_STYLE))) + "," +
         flag("owned_by_setup", GetWindow(w.window, GW_OWNER) == setup));
    for (HWND child = GetWindow(w.window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      report_rectangle(w.name, child, w.window);
    }
  }
}

// The character the password box shows for each one typed; 0: the text
// itself.
DWORD_PTR password_char(HWND edit) {
  DWORD_PTR shown = 0;
  if (edit) SendMessageTimeoutW(edit, EM_GETPASSWORDCHAR, 0, 0, SMTO_NORMAL, 10000, &shown);
  return shown;
}

void report_setup(const setup_controls& c) {
  emit(event_field("setup") + "," + field("comment", control_text(c.comment)) + "," +
       field("destination", control_text(c.destination)) + "," +
       flag("password_shown", c.password && IsWindowVisible(c.password)) + "," +
       flag("extract_enabled", c.extract && IsWindowEnabled(c.extract)) + "," +
       field("password_char", static_cast<long long>(password_char(c.password))) + "," +
       field("caption", stored_text(c.window)));
}

// A fault of the run itself (not of the program): reported, the program is
// ended, and the driver fails.
[[noreturn]] void fail(const std::wstring& why) {
  emit(event_field("error") + "," + field("text", why));
  TerminateProcess(program.hProcess, 99);
  WaitForSingleObject(program.hProcess, 5000);
  DWORD code = 0;
  GetExitCodeProcess(program.hProcess, &code);
  emit(event_field("exit") + "," + field("code", static_cast<long long>(code)));
  std::exit(1);
}

// Puts a text into the program's memory, for a message whose parameter is a
// pointer that is not carried across processes.
LPARAM remote_text(const std::wstring& text) {
  SIZE_T size = (text.size() + 1) * sizeof(wchar_t);
  void* remote = VirtualAllocEx(program.hProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!remote || !WriteProcessMemory(program.hProcess, remote, text.c_str(), size, nullptr)) fail(L"cannot write into the program");
  return reinterpret_cast<LPARAM>(remote);
}

// Lets the program paint and hand its pictures to the display (Wine does
// that when the thread goes idle), then has the window photographed.
void screenshot(const options& o, const wchar_t* name, HWND window) {
  if (o.screenshots.empty() || !window) return;
  for (int i = 0; i < 3; ++i) {
    wait_until_responsive(window);
    Sleep(100);
  }
  RECT r;
  GetWindowRect(window, &r);
  emit(event_field("screenshot") + "," + field("name", std::wstring(name)) + "," +
       field("x", r.left) + "," + field("y", r.top) + "," + field("width", r.right - r.left) + "," +
       field("height", r.bottom - r.top));
  std::wstring done = o.screenshots + L"\\" + name + L".done";
  while (GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (timed_out()) fail(L"no screenshot taken");
    Sleep(20);
  }
}

struct sent_command {
  HWND window;
  HWND button;
};

DWORD WINAPI send_command(void* data) {
  auto* command = static_cast<sent_command*>(data);
  SendMessageW(command->window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(command->button), BN_CLICKED),
               reinterpret_cast<LPARAM>(command->button));
  delete command;
  return 0;
}

// Presses a button of the setup window; the handle returned is signalled when
// the window's handler has returned (the flow it started has ended).
HANDLE start_flow(HWND setup, HWND button) {
  HANDLE thread = CreateThread(nullptr, 0, send_command, new sent_command{setup, button}, 0, nullptr);
  if (!thread) fail(L"cannot start a thread");
  return thread;
}

bool flow_ended(HANDLE flow) { return !flow || WaitForSingleObject(flow, 0) == WAIT_OBJECT_0; }

void browse(const setup_controls& c, const std::wstring& choice) {
  HANDLE flow = start_flow(c.window, c.browse);
  HWND dialog = nullptr;
  while (!dialog) {
    if (program_ended() || timed_out()) fail(L"no folder dialog");
    HWND d = visible_dialog();
    if (d && is_browse_dialog(d)) dialog = d;
    else wait_until_responsive(c.window);
  }
  wait_until_responsive(dialog);
  if (choice == L"!") {
    press(dialog, GetDlgItem(dialog, IDCANCEL));
  } else {
    if (choice != L"=") {
      DWORD_PTR ignored;
      SendMessageTimeoutW(dialog, BFFM_SETSELECTIONW, TRUE, remote_text(choice), SMTO_NORMAL, 10000, &ignored);
    }
    press(dialog, GetDlgItem(dialog, IDOK));
  }
  while (!flow_ended(flow) && !program_ended()) {
    if (timed_out()) fail(L"the folder dialog did not close");
    WaitForSingleObject(flow, 100);
  }
  CloseHandle(flow);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  options o = parse_options(argc, argv);

  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  std::wstring command_line = L"\"" + o.sfx + L"\"";
  if (!CreateProcessW(o.sfx.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      o.cwd.empty() ? nullptr : o.cwd.c_str(), &startup, &program)) {
    std::fprintf(stderr, "e2e-driver: cannot start the program (%lu)\n", GetLastError());
    return 2;
  }
  deadline = GetTickCount() + o.timeout_ms;

  setup_controls c = {};
  HANDLE flow = nullptr;
  bool last_was_wrong_password = false;
  size_t next_password = 0;
  HWND progress = nullptr;
  std::wstring last_status;
  bool cancel_pressed = false;
  bool closing = false;

  while (!program_ended()) {
    if (timed_out()) fail(L"timeout");

    // Message boxes first: the size messages come before the setup window.
    HWND box = visible_dialog();
    if (box && !is_browse_dialog(box)) {
      if (c.window) wait_until_responsive(box);
      HWND text = GetDlgItem(box, 0xFFFF);
      std::wstring message = text ? stored_text(text) : L"";
      std::vector<button_info> buttons = buttons_of(box);
      std::string names;
      for (const button_info& b : buttons) names += (names.empty() ? "" : ",") + json_text(b.text);
      HWND owner = GetWindow(box, GW_OWNER);
      emit(event_field("message") + "," + field("text", message) + "," +
           field("buttons", "[" + names + "]") + "," + flag("owned", owner && owner == top_level(L"core_gui")));
      last_was_wrong_password = message == wrong_password;
      if (!progress) progress = top_level(L"progress_window");
      if (buttons.size() > 1 && progress && IsWindowVisible(progress) && !o.screenshots.empty()) {
        // The question may cover the progress window: move it below first.
        RECT p;
        GetWindowRect(progress, &p);
        SetWindowPos(box, nullptr, p.left, p.bottom + 8, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        screenshot(o, L"progress", progress);
      }
      if (o.extract_during_question && buttons.size() > 1 && progress && IsWindowVisible(progress)) {
        o.extract_during_question = false;
        press(c.window, c.extract);
        wait_until_responsive(box);
      }
      if (buttons.size() == 1) {
        press(box, buttons[0].handle);
      } else {
        if (o.answers.empty()) fail(L"a question without an answer left");
        int answer = o.answers.front();
        o.answers.pop_front();
        HWND button = GetDlgItem(box, answer);
        if (!button || !IsWindowVisible(button)) fail(L"the question has no such button");
        press(box, button);
      }
      while (IsWindow(box) && IsWindowVisible(box) && !program_ended()) {
        if (timed_out()) fail(L"a message box did not close");
        wait_until_responsive(box);
      }
      continue;
    }

    if (!progress) progress = top_level(L"progress_window");
    if (progress && IsWindowVisible(progress)) {
      HWND status_line = GetDlgItem(progress, 1);
      std::wstring status = status_line ? stored_text(status_line) : L"";
      if (status != last_status) {
        last_status = status;
        if (!status.empty()) emit(event_field("status") + "," + field("text", status));
      }
      if (o.has_cancel_prefix && !cancel_pressed && status.compare(0, o.cancel_prefix.size(), o.cancel_prefix) == 0) {
        press(progress, GetDlgItem(progress, 2));
        cancel_pressed = true;
      }
      Sleep(1);
      continue;
    }

    if (!c.window) {
      HWND setup = top_level(L"core_gui");
      if (!setup || !IsWindowVisible(setup)) {
        Sleep(1);
        continue;
      }
      wait_until_responsive(setup);
      c = controls_of(setup);
      report_setup(c);
      if (o.report_layout) report_layout(setup);
      for (const std::wstring& choice : o.browses) {
        browse(c, choice);
        emit(event_field("destination") + "," + field("text", control_text(c.destination)));
      }
      if (o.has_destination) type_into(c.destination, o.destination);
      if (IsWindowVisible(c.password) && next_password < o.passwords.size()) {
        type_into(c.password, o.passwords[next_password++]);
      }
      screenshot(o, L"setup", c.window);
      if (IsWindowEnabled(c.extract)) {
        flow = start_flow(c.window, c.extract);
      } else {
        PostMessageW(c.window, WM_CLOSE, 0, 0);
        closing = true;
      }
      continue;
    }

    if (closing || !flow_ended(flow)) {
      WaitForSingleObject(flow && !closing ? flow : program.hProcess, 5);
      continue;
    }
    // The Extract flow has returned. An extraction leaves the setup window
    // disabled and the program ends by itself; otherwise the flow stopped at
    // a message and the program is back in its main loop.
    CloseHandle(flow);
    flow = nullptr;
    if (!IsWindowEnabled(c.window)) {
      closing = true;
      continue;
    }
    bool again = last_was_wrong_password ? next_password < o.passwords.size() : !o.answers.empty();
    if (!again) {
      PostMessageW(c.window, WM_CLOSE, 0, 0);
      closing = true;
      continue;
    }
    if (last_was_wrong_password) type_into(c.password, o.passwords[next_password++]);
    last_was_wrong_password = false;
    flow = start_flow(c.window, c.extract);
  }

  DWORD code = 0;
  GetExitCodeProcess(program.hProcess, &code);
  emit(event_field("exit") + "," + field("code", static_cast<long long>(code)));
  return 0;
}
