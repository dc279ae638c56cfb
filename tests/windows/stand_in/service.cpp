// The stand-in service's entry point for the runtime (DllGetActivationFactory)
// and the C functions the tests call (through ctypes) to control it.
#include "service.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <deque>
#include <map>

namespace stand_in {

namespace {

constexpr WCHAR kItemClass[] = L"Windows.Graphics.Capture.GraphicsCaptureItem";
constexpr WCHAR kPoolClass[] = L"Windows.Graphics.Capture.Direct3D11CaptureFramePool";
constexpr WCHAR kAccessClass[] = L"Windows.Graphics.Capture.GraphicsCaptureAccess";

struct Control {
  std::mutex lock;
  winrt_abi::SizeInt32 content{0, 0};                   // {0, 0}: the item's size
  std::map<std::string, std::deque<HRESULT>> failures;  // by operation, in order
  std::vector<std::string> misuse;
  std::vector<ComPtr<Session>> running;
};

Control& control() {
  static Control& instance = *new Control();  // outlives every session
  return instance;
}

std::atomic<int> rate{0};
std::atomic<bool> first_frame{true};
std::atomic<std::uint32_t> sequence{0};
std::atomic<int> access{0};

std::vector<ComPtr<Session>> running_sessions() {
  std::lock_guard lock(control().lock);
  std::vector<ComPtr<Session>> sessions;
  for (const auto& session : control().running) sessions.push_back(session.clone());
  return sessions;
}

}  // namespace

HRESULT injected_failure(const char* operation) {
  std::lock_guard lock(control().lock);
  const auto found = control().failures.find(operation);
  if (found == control().failures.end() || found->second.empty()) return S_OK;
  const HRESULT hr = found->second.front();
  found->second.pop_front();
  return hr;
}

void record_misuse(const std::string& what) {
  std::lock_guard lock(control().lock);
  control().misuse.push_back(what);
}

winrt_abi::SizeInt32 content_size(winrt_abi::SizeInt32 item_size) {
  std::lock_guard lock(control().lock);
  return control().content.Width > 0 ? control().content : item_size;
}

int delivery_rate() { return rate.load(); }

bool first_frame_at_start() { return first_frame.load(); }

std::uint32_t next_sequence() { return sequence.fetch_add(1) + 1; }

int border_access() { return access.load(); }

void session_started(Session* session) {
  session->AddRef();
  std::lock_guard lock(control().lock);
  control().running.push_back(ComPtr<Session>::attach(session));
}

void session_closed(Session* session) {
  ComPtr<Session> released;  // let go of after the lock
  std::lock_guard lock(control().lock);
  auto& running = control().running;
  const auto found = std::find_if(running.begin(), running.end(),
                                  [&](const auto& held) { return held.get() == session; });
  if (found != running.end()) {
    released = std::move(*found);
    running.erase(found);
  }
}

}  // namespace stand_in

using namespace stand_in;

#define STAND_IN_EXPORT extern "C" __declspec(dllexport)

// What Wine's RoGetActivationFactory calls for a class registered with this
// DLL's path.
STAND_IN_EXPORT HRESULT WINAPI DllGetActivationFactory(HSTRING class_id,
                                                       IActivationFactory** factory) {
  if (factory == nullptr) return E_POINTER;
  *factory = nullptr;
  if (const HRESULT hr = injected_failure("DllGetActivationFactory"); FAILED(hr)) return hr;
  const WCHAR* name = WindowsGetStringRawBuffer(class_id, nullptr);
  // Made once, kept for the life of the process, as the runtime keeps them.
  static ComPtr<ItemFactory>& items = *new ComPtr<ItemFactory>(make_object<ItemFactory>());
  static ComPtr<PoolFactory>& pools = *new ComPtr<PoolFactory>(make_object<PoolFactory>());
  static ComPtr<AccessFactory>& access_factory =
      *new ComPtr<AccessFactory>(make_object<AccessFactory>());
  if (std::wcscmp(name, kItemClass) == 0) {
    *factory = static_cast<IActivationFactory*>(items.clone().detach());
  } else if (std::wcscmp(name, kPoolClass) == 0) {
    *factory = static_cast<IActivationFactory*>(pools.clone().detach());
  } else if (std::wcscmp(name, kAccessClass) == 0) {
    // Registered for every test; "not registered" is the answer of Windows
    // 10, which has no such class.
    if (border_access() == 0) return REGDB_E_CLASSNOTREG;
    *factory = static_cast<IActivationFactory*>(access_factory.clone().detach());
  } else {
    return CLASS_E_CLASSNOTAVAILABLE;
  }
  return S_OK;
}

// Back to the start: frames of the items' size, the first frame at once, no
// automatic delivery, no failures queued, no misuse recorded, no border
// consent class.
STAND_IN_EXPORT void stand_in_reset() {
  join_answers();
  access = 0;
  {
    std::lock_guard lock(control().lock);
    control().content = {0, 0};
    control().failures.clear();
    control().misuse.clear();
  }
  rate = 0;
  first_frame = true;
}

// Whether sessions deliver a frame as soon as they start (1) or not (0).
STAND_IN_EXPORT void stand_in_set_first_frame(int deliver) { first_frame = deliver != 0; }

// The content size of frames from now on; 0 x 0: the item's size.
STAND_IN_EXPORT void stand_in_set_content(int width, int height) {
  std::lock_guard lock(control().lock);
  control().content = {width, height};
}

// Frames per second that every running session delivers by itself; 0: only
// the first frame and the ones asked for by stand_in_deliver.
STAND_IN_EXPORT void stand_in_set_rate(int frames_per_second) {
  rate = std::max(frames_per_second, 0);
  for (const auto& session : running_sessions()) session->wake();
}

// Delivers `count` frames from every running session, on the sessions' own
// threads, and returns once their FrameArrived handlers ran: the number of
// frames delivered (a pool with no free buffer delivers none).
STAND_IN_EXPORT int stand_in_deliver(int count) {
  int delivered = 0;
  for (const auto& session : running_sessions()) delivered += session->deliver(count);
  return delivered;
}

// The sequence number (the pattern's seed) of the latest frame delivered.
STAND_IN_EXPORT unsigned stand_in_last_sequence() { return sequence.load(); }

// The next call of `operation` (CreateForMonitor, CreateForWindow,
// CreateFreeThreaded, CreateCaptureSession, StartCapture, TryGetNextFrame,
// Recreate, CreateDirect3D11DeviceFromDXGIDevice, DllGetActivationFactory,
// add_Closed, RequestAccessAsync, put_Completed)
// fails with `code`; several calls queue up.
STAND_IN_EXPORT void stand_in_fail(const char* operation, HRESULT code) {
  std::lock_guard lock(control().lock);
  control().failures[operation].push_back(code);
}

// Objects alive, once the threads answering the border's consent are done.
STAND_IN_EXPORT int stand_in_live_objects() {
  join_answers();
  return static_cast<int>(live_objects().load());
}

// How GraphicsCaptureAccess answers from now on: 0 not registered
// (REGDB_E_CLASSNOTREG), 1 Allowed, 2 DeniedByUser, 3 never (a prompt nobody
// answers); each answer comes from a thread of its own.
STAND_IN_EXPORT void stand_in_set_border_access(int answer) { access = answer; }

// The targets of every item have gone: each raises Closed, from a thread of
// the service's; returns once the handlers ran.
STAND_IN_EXPORT void stand_in_close_items() { close_items(); }

// The device under every pool and surface made so far is removed: their
// frames' surfaces and Recreate fail with DXGI_ERROR_DEVICE_REMOVED, and no
// more frames come. Pools made afterwards work.
STAND_IN_EXPORT void stand_in_remove_device() { device_removals().fetch_add(1); }

STAND_IN_EXPORT int stand_in_running_sessions() {
  std::lock_guard lock(control().lock);
  return static_cast<int>(control().running.size());
}

// The number of misuses recorded; the first one's text goes to `text`.
STAND_IN_EXPORT int stand_in_misuse(char* text, int size) {
  std::lock_guard lock(control().lock);
  const auto& misuse = control().misuse;
  if (text != nullptr && size > 0) {
    const std::string first = misuse.empty() ? std::string() : misuse.front();
    const std::size_t length =
        std::min<std::size_t>(first.size(), static_cast<std::size_t>(size) - 1);
    std::memcpy(text, first.data(), length);
    text[length] = '\0';
  }
  return static_cast<int>(misuse.size());
}
