// Physical pixels for the geometry queries: Windows scales the coordinates it
// gives a thread that is not per-monitor DPI aware (an interpreter that
// declares no awareness gets them divided by each monitor's scale). A
// PhysicalPixelsScope puts the calling thread into the per-monitor-v2 DPI
// awareness context for its lifetime and puts the thread's own context back
// at its end.
//
// SetThreadDpiAwarenessContext is looked up in user32.dll on each use, so that
// the module still loads on a Windows without it; there, and where the system
// refuses the per-monitor-v2 context, the scope changes nothing and the
// queries see what the thread sees.
#pragma once

#include "platform/windows/win32.h"

class PhysicalPixelsScope {
 public:
  PhysicalPixelsScope();
  ~PhysicalPixelsScope();
  PhysicalPixelsScope(const PhysicalPixelsScope&) = delete;
  PhysicalPixelsScope& operator=(const PhysicalPixelsScope&) = delete;

 private:
  using SetContext = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);

  SetContext set_context_ = nullptr;
  DPI_AWARENESS_CONTEXT previous_ = nullptr;
};
