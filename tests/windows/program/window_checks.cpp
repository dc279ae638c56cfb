// Windows: ones this program creates, and ones of a second process (this
// program again, started with --child-windows), for the filter that leaves
// out the caller's own windows.
#include <algorithm>
#include <cctype>
#include <vector>

#include "check.h"
#include "platform/windows/system_handles.h"
#include "platform/windows/window.h"
#include "support.h"

namespace {

constexpr WCHAR kClassName[] = L"opticatcher-test-program";

LRESULT CALLBACK child_window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  // The child process ends when its main (visible) window is closed.
  if (message == WM_DESTROY && GetParent(window) == nullptr &&
      GetWindowLongPtrW(window, GWLP_USERDATA) == 1) {
    PostQuitMessage(0);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

void register_window_class() {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = child_window_procedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kClassName;
  RegisterClassW(&window_class);
}

HWND create_window(const std::string& title, DWORD style, DWORD ex_style = 0,
                   HWND parent = nullptr) {
  return CreateWindowExW(ex_style, kClassName, utf16_from_system(title).c_str(), style, 10, 10, 320,
                         200, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// Handles the messages waiting for this thread's windows.
void pump_messages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

HWND wait_for_window(const std::string& title) {
  const auto wide = utf16_from_system(title);
  for (int i = 0; i < 400; ++i) {
    if (HWND found = FindWindowW(nullptr, wide.c_str())) return found;
    pump_messages();
    Sleep(25);
  }
  return nullptr;
}

bool contains(const std::vector<WindowHandle>& windows, HWND window) {
  return std::find(windows.begin(), windows.end(), window_handle(window)) != windows.end();
}

std::string ascii_upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// This program again, showing windows under `prefix` as another process.
class ChildProcess {
 public:
  explicit ChildProcess(const std::string& prefix) {
    WCHAR path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::basic_string<WCHAR> command = L"\"";
    command += path;
    command += L"\" --child-windows \"" + utf16_from_system(prefix) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    started_ = CreateProcessW(path, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process_) != 0;
    if (started_) CloseHandle(process_.hThread);
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    if (!started_) return;
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(process_.hProcess, 1);
    CloseHandle(process_.hProcess);
  }
  bool started() const { return started_; }

  // Asks the process to end by closing `window`; its exit status, or -1.
  long close(HWND window) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.hProcess, 10000) != WAIT_OBJECT_0) return -1;
    DWORD status = 0;
    GetExitCodeProcess(process_.hProcess, &status);
    return static_cast<long>(status);
  }

 private:
  bool started_ = false;
  PROCESS_INFORMATION process_{};
};

void check_lookup_and_titles(const std::string& prefix) {
  const std::string plain = prefix + " visible";
  const std::string wide =
      prefix + " \xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80 \xE4\xB8\xAD";  // é, U+1F600, 中
  HWND plain_window = create_window(plain, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND wide_window = create_window(wide, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  const auto found = find_window(plain);
  check(found && *found == window_handle(plain_window), "windows: found by title");
  check_equal(window_name(window_handle(plain_window)), plain, "windows: title");
  const auto found_wide = find_window(wide);
  check(found_wide && *found_wide == window_handle(wide_window),
        "windows: found by a title beyond the BMP");
  check_equal(window_name(window_handle(wide_window)), wide,
              "windows: a title beyond the BMP reads back");
  const auto upper = find_window(ascii_upper(plain));
  check(upper && *upper == window_handle(plain_window),
        "windows: the system's lookup ignores case");
  const std::string missing_title = prefix + " missing";
  const auto missing = find_window(missing_title);
  check(!missing && missing.error().kind() == WindowError::Kind::NotFound &&
            error_message(missing.error()) ==
                "Failed to find window with name '" + missing_title + "'",
        "windows: a missing title is not found, named in the error");
  DestroyWindow(wide_window);
  DestroyWindow(plain_window);
}

void check_capturable(const std::string& prefix) {
  HWND visible = create_window(prefix + " capturable", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  HWND hidden = create_window(prefix + " hidden", WS_OVERLAPPEDWINDOW);
  HWND tool = create_window(prefix + " tool", WS_OVERLAPPEDWINDOW | WS_VISIBLE, WS_EX_TOOLWINDOW);
  HWND child = create_window(prefix + " child", WS_CHILD | WS_VISIBLE, 0, visible);
  HWND doomed = create_window(prefix + " doomed", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  check(visible && hidden && tool && child && doomed, "windows: created");
  check(is_capturable_window(window_handle(visible)), "capturable: a visible top-level window");
  check(!is_capturable_window(window_handle(hidden)), "capturable: not a hidden window");
  check(!is_capturable_window(window_handle(tool)), "capturable: not a tool window");
  check(!is_capturable_window(window_handle(child)), "capturable: not a child window");
  DestroyWindow(doomed);
  check(!is_capturable_window(window_handle(doomed)), "capturable: not a destroyed window");
  check_equal(window_name(window_handle(doomed)), std::string(),
              "windows: a destroyed window has no title");
  check(!window_focused(window_handle(doomed)), "windows: a destroyed window is not focused");

  // Focus moves between this program's own windows.
  HWND other = create_window(prefix + " other", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  focus_window(window_handle(visible));
  pump_messages();
  const auto foreground = foreground_window();
  check(
      window_focused(window_handle(visible)) && foreground && *foreground == window_handle(visible),
      "focus: a window brought to the foreground is focused");
  focus_window(window_handle(other));
  pump_messages();
  check(window_focused(window_handle(other)) && !window_focused(window_handle(visible)),
        "focus: moves to another window");
  for (HWND window : {other, child, tool, hidden, visible}) DestroyWindow(window);
}

void check_enumeration(const std::string& prefix) {
  HWND own = create_window(prefix + " own", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  const std::string child_prefix = prefix + " child process";
  ChildProcess process(child_prefix);
  if (!check(process.started(), "child process: started")) return;
  HWND theirs = wait_for_window(child_prefix + " visible");
  HWND their_hidden = wait_for_window(child_prefix + " hidden");
  HWND their_tool = wait_for_window(child_prefix + " tool");
  HWND their_child =
      FindWindowExW(theirs, nullptr, nullptr, utf16_from_system(child_prefix + " child").c_str());
  if (!check(theirs && their_hidden && their_tool && their_child,
             "child process: shows its windows")) {
    return;
  }
  const auto windows = enumerate_windows();
  if (check(windows.has_value(), "enumeration: succeeds")) {
    check(contains(*windows, theirs), "enumeration: another process's visible window is listed");
    check(is_capturable_window(window_handle(own)) && !contains(*windows, own),
          "enumeration: this process's own (capturable) window is left out");
    check(!contains(*windows, their_hidden) && !contains(*windows, their_tool) &&
              !contains(*windows, their_child),
          "enumeration: their hidden, tool and child windows are left out");
    const bool all_foreign = std::all_of(windows->begin(), windows->end(), [](WindowHandle window) {
      DWORD process_id = 0;
      GetWindowThreadProcessId(system_handle(window), &process_id);
      return process_id != GetCurrentProcessId() && is_capturable_window(window);
    });
    check(all_foreign, "enumeration: only capturable windows of other processes");
  }
  const auto found = find_window(child_prefix + " visible");
  check(found && *found == window_handle(theirs) && is_capturable_window(window_handle(theirs)),
        "windows: another process's window is found and capturable");
  check_equal(process.close(theirs), 0L, "child process: ends when its window is closed");
  DestroyWindow(own);
}

}  // namespace

void check_windows() {
  register_window_class();
  const std::string prefix = "opticatcher program " + std::to_string(GetCurrentProcessId());
  check_lookup_and_titles(prefix);
  check_capturable(prefix);
  check_enumeration(prefix);
}

int run_child_windows(const std::string& prefix) {
  register_window_class();
  HWND visible = create_window(prefix + " visible", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  if (visible == nullptr) return 2;
  SetWindowLongPtrW(visible, GWLP_USERDATA, 1);
  create_window(prefix + " child", WS_CHILD | WS_VISIBLE, 0, visible);
  create_window(prefix + " hidden", WS_OVERLAPPEDWINDOW);
  create_window(prefix + " tool", WS_OVERLAPPEDWINDOW | WS_VISIBLE, WS_EX_TOOLWINDOW);
  // Never outlives a parent that forgot it by more than a minute.
  SetTimer(nullptr, 0, 60000, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message == WM_TIMER && message.hwnd == nullptr) return 3;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
