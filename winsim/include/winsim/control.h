/* The control API of the simulated Windows platform: sets up the simulated
 * desktop, injects failures and reports what the code under test did. The
 * Python module `winsim` wraps these functions; C and C++ tests may call them
 * directly.
 *
 * Handles cross this interface as unsigned integers. Texts are UTF-16 units
 * given as (pointer, count); they need not be terminated or aligned, and may
 * hold any units, lone surrogates included. */
#ifndef WINSIM_CONTROL_H_
#define WINSIM_CONTROL_H_

#ifdef __cplusplus
#include <cstddef>
#include <cstdint>
extern "C" {
#else
#include <stddef.h>
#include <stdint.h>
#include <uchar.h>
#endif

#define WINSIM_CONTROL_API __attribute__((visibility("default")))

/* Results of the control functions that can be refused. */
enum {
  WINSIM_OK = 0,
  WINSIM_UNKNOWN_HANDLE = 1,
  WINSIM_UNKNOWN_OPERATION = 2,
  WINSIM_OPERATION_CANNOT_FAIL = 3,
  WINSIM_NULL_NOT_APPLICABLE = 4,
  WINSIM_DESCRIPTION_NOT_APPLICABLE = 5,
  WINSIM_NOT_TOP_LEVEL = 6,
  WINSIM_INVALID_ARGUMENT = 7,
  /* The call could not complete: memory (or a thread) could not be had, or
   * the simulation failed inside. See winsim_take_failure. */
  WINSIM_OUT_OF_MEMORY = 8,
  WINSIM_INTERNAL_ERROR = 9,
};

/* Whether this thread's last control call could not complete: WINSIM_OK, or
 * WINSIM_OUT_OF_MEMORY / WINSIM_INTERNAL_ERROR, which this call then clears.
 * Every control function may fail so, whatever it returns: one that returns a
 * status returns that status as well; the others return 0 (-1 where 0 is a
 * valid result, nothing for void functions) and leave only this to tell. */
WINSIM_CONTROL_API int winsim_take_failure(void);

/* Empty desktop (no monitors, no windows, no foreground window, no content);
 * faults, call counts and the misuse list cleared; the calling thread's error
 * information released; exact window-text lengths; automatic frame delivery
 * on; staging row pitches back to a 256-byte alignment. Waits for frame
 * deliveries in progress; captures still running stay registered but their
 * targets are gone. Live objects stay counted. */
WINSIM_CONTROL_API void winsim_reset(void);

/* Adds a monitor after the others and returns its HMONITOR. A null device_name
 * means "\\.\DISPLAY<n>" with the lowest n that no monitor present uses. Texts
 * are cut to 32 (name) and 128 (string) units. Returns 0, adding nothing, when
 * another monitor has the (cut) device name already, compared ignoring case. */
WINSIM_CONTROL_API uintptr_t winsim_add_monitor(uint32_t width, uint32_t height,
                                                uint32_t refresh_rate, const char16_t* device_name,
                                                size_t device_name_len,
                                                const char16_t* device_string,
                                                size_t device_string_len);

/* WINSIM_OK, or WINSIM_UNKNOWN_HANDLE. The capture items of the monitor
 * raise Closed on the delivery thread; returns once their handlers ran. */
WINSIM_CONTROL_API int winsim_remove_monitor(uintptr_t monitor);

/* Places a monitor and sets its scale, rotation and work area, in physical
 * pixels of the virtual screen. Without a position (has_position 0) it stands
 * right of the monitors before it that have none, from x = 0. dpi is the
 * effective DPI (96 at 100 %, 144 at 150 %); orientation is DMDO_DEFAULT (0)
 * to DMDO_270 (3); the monitor's size stays the current display mode's, as
 * the desktop shows it. Without a work area (has_work_area 0) it is the
 * monitor less a 48-pixel task bar at the bottom. The primary monitor is the
 * first one whose top-left corner is (0, 0), else the first one.
 * WINSIM_OK, WINSIM_UNKNOWN_HANDLE, or WINSIM_INVALID_ARGUMENT for a dpi
 * below 96 or an orientation above 3. */
WINSIM_CONTROL_API int winsim_set_monitor_geometry(uintptr_t monitor, int has_position, int32_t x,
                                                   int32_t y, uint32_t dpi, uint32_t orientation,
                                                   int has_work_area, int32_t work_left,
                                                   int32_t work_top, int32_t work_right,
                                                   int32_t work_bottom);

/* Adds a window on top of the Z-order of its siblings and returns its HWND.
 * With parent 0 it is a top-level window; else a child window of that window,
 * with WS_CHILD added to `style` and, unless own_process is non-zero, in its
 * parent's process. `visible` sets or clears WS_VISIBLE in `style`. A
 * top-level window belongs to this process when own_process is non-zero, else
 * to a made-up other process. Returns 0 when the parent is no live window. */
WINSIM_CONTROL_API uintptr_t winsim_add_window(const char16_t* title, size_t title_len,
                                               uint32_t width, uint32_t height, int visible,
                                               uint32_t style, uint32_t ex_style, int own_process,
                                               uintptr_t parent);

/* WINSIM_OK, or WINSIM_UNKNOWN_HANDLE. The capture items of the window
 * raise Closed on the delivery thread; returns once their handlers ran. */
WINSIM_CONTROL_API int winsim_destroy_window(uintptr_t window);
/* WINSIM_OK, or WINSIM_UNKNOWN_HANDLE. */
WINSIM_CONTROL_API int winsim_resize_window(uintptr_t window, uint32_t width, uint32_t height);
/* Moves the top-left corner of a window's visible bounds to (x, y), in
 * physical pixels of the virtual screen. A window starts at (0, 0). */
WINSIM_CONTROL_API int winsim_move_window(uintptr_t window, int32_t x, int32_t y);
/* Minimizes (non-zero) or restores a window. */
WINSIM_CONTROL_API int winsim_set_minimized(uintptr_t window, int minimized);
/* The window's class name, cut to 256 units and at its first zero unit. A
 * window starts with "WinsimWindow". */
WINSIM_CONTROL_API int winsim_set_window_class(uintptr_t window, const char16_t* class_name,
                                               size_t class_name_len);
/* 0 leaves no window in the foreground. A top-level window is raised to the top
 * of the Z-order. WINSIM_UNKNOWN_HANDLE, or WINSIM_NOT_TOP_LEVEL for a child
 * window, which cannot be the foreground window. */
WINSIM_CONTROL_API int winsim_set_foreground(uintptr_t window);

/* GetWindowTextLengthW answers `extra` units more than the length of every
 * non-empty title, as Windows may (its result is an upper bound). 0, the
 * default after a reset, makes it exact; negative values count as 0. */
WINSIM_CONTROL_API void winsim_set_text_length_overreport(int32_t extra);

/* Makes the next `times` calls of `operation`, after `after` good ones, fail
 * with `code`; with null_object non-zero they succeed but deliver no object.
 * A description (null pointer: none) and a restricted description (when
 * has_restricted is non-zero) are attached as error information by failing
 * HRESULT operations. Several faults on one operation queue up and are used in
 * the order they were armed (`after` counting from the end of the previous
 * one); times 0 removes every queued fault of the operation. */
WINSIM_CONTROL_API int winsim_fail(const char* operation, uint32_t code, uint32_t times,
                                   uint32_t after, int null_object, const char16_t* description,
                                   size_t description_len, const char16_t* restricted,
                                   size_t restricted_len, int has_restricted);

/* Calls of `operation` since the last reset; -1 for an unknown operation. */
WINSIM_CONTROL_API int64_t winsim_calls(const char* operation);

/* Live simulated objects, one "<class>\t<count>\n" line per class with live
 * objects ("BSTR" and "HLOCAL" included), counted after any frame delivery in
 * progress has finished. Writes the text and a terminator when
 * `size` bytes suffice; returns the bytes needed, terminator included. */
WINSIM_CONTROL_API size_t winsim_live_objects(char* buffer, size_t size);

/* The number of live simulated objects, BSTRs and local-heap blocks together:
 * 0 when nothing is alive. */
WINSIM_CONTROL_API int64_t winsim_live_object_total(void);

/* The misuse seen since the last reset, one line per entry; same buffer
 * protocol as winsim_live_objects. */
WINSIM_CONTROL_API size_t winsim_errors(char* buffer, size_t size);

/* Attaches an error object to the calling thread as a failing COM method does
 * (error code E_FAIL). A null description pointer means no description text;
 * the object offers IRestrictedErrorInfo only when has_restricted is
 * non-zero. */
WINSIM_CONTROL_API void winsim_set_error_info(const char16_t* description, size_t description_len,
                                              const char16_t* restricted, size_t restricted_len,
                                              int has_restricted);

/* Non-zero: every started capture gets frames at its target's refresh rate
 * (windows: 60 Hz), the first right after StartCapture. Zero: frames only
 * through winsim_present. */
WINSIM_CONTROL_API void winsim_set_frame_delivery(int automatic);

/* Delivers `count` frames to every started capture of the monitor or window
 * now, on the delivery thread, and returns after their FrameArrived handlers
 * have run. A pool whose buffers are all held gets no frame. WINSIM_OK (also
 * when no capture of the target runs), or WINSIM_UNKNOWN_HANDLE. */
WINSIM_CONTROL_API int winsim_present(uintptr_t target, uint32_t count);

/* What the monitor or window shows from now on: height rows of width * 4
 * bytes (R, G, B, A), copied once. Captures show its top-left part within the
 * target's size, black beyond. WINSIM_OK, WINSIM_UNKNOWN_HANDLE or
 * WINSIM_INVALID_ARGUMENT. */
WINSIM_CONTROL_API int winsim_set_content(uintptr_t target, const uint8_t* rgba, uint32_t width,
                                          uint32_t height);

/* Mapped staging rows are width * 4 bytes rounded up to `alignment` (a power
 * of two) apart; WINSIM_INVALID_ARGUMENT otherwise. */
WINSIM_CONTROL_API int winsim_set_row_pitch_alignment(uint32_t alignment);
/* Forces this exact row pitch (0: back to the alignment). */
WINSIM_CONTROL_API void winsim_set_row_pitch(uint32_t pitch);

/* Puts the mouse pointer over the monitor or window at (x, y), in the
 * target's content coordinates, or (shown == 0) takes it away from there.
 * Captures whose session has cursor capture on draw it into the frames
 * rendered afterwards: a square of 8 x 8 pixels of R, G, B, A = 255, 0, 255,
 * 255, its top-left pixel at (x, y), clipped to the target. reset() takes the
 * pointer away from every target. WINSIM_OK or WINSIM_UNKNOWN_HANDLE. */
WINSIM_CONTROL_API int winsim_set_pointer(uintptr_t target, int shown, int32_t x, int32_t y);

/* Whether capture sessions made from now on offer IGraphicsCaptureSession2
 * (the pointer switch, Windows 10 version 2004 and later) and
 * IGraphicsCaptureSession3 (the border switch, Windows 11): without one, its
 * query answers E_NOINTERFACE, as on older Windows. reset() offers both. */
WINSIM_CONTROL_API void winsim_set_session_interfaces(int cursor_switch, int border_switch);

/* The switches of the open capture sessions of the monitor or window (made,
 * not closed or released), oldest first: one "<cursor>\t<border>\n" line each,
 * 1 for on, 0 for off. Same buffer protocol as winsim_live_objects. */
WINSIM_CONTROL_API size_t winsim_capture_sessions(uintptr_t target, char* buffer, size_t size);

/* Whether user32 offers the thread DPI awareness functions to GetProcAddress,
 * as Windows 10 version 1607 and later do; reset() offers them. */
WINSIM_CONTROL_API void winsim_set_dpi_awareness_exports(int offered);
/* The calling thread's DPI awareness context (DPI_AWARENESS_CONTEXT_UNAWARE,
 * -1, to ..._UNAWARE_GDISCALED, -5), read or set without counting a call of
 * the Windows functions. A thread starts DPI unaware; reset() makes the
 * calling thread unaware again. Setting another value: WINSIM_INVALID_ARGUMENT. */
WINSIM_CONTROL_API intptr_t winsim_thread_dpi_awareness(void);
WINSIM_CONTROL_API int winsim_set_thread_dpi_awareness(intptr_t context);
/* How GraphicsCaptureAccess.RequestAccessAsync(Borderless) is answered, on
 * the delivery thread: not registered (REGDB_E_CLASSNOTREG, as on Windows
 * 10; the state after reset()), Allowed, DeniedByUser, or never (a prompt
 * nobody answers). WINSIM_OK or WINSIM_INVALID_ARGUMENT. */
enum {
  WINSIM_BORDER_ACCESS_NOT_REGISTERED = 0,
  WINSIM_BORDER_ACCESS_ALLOWED = 1,
  WINSIM_BORDER_ACCESS_DENIED = 2,
  WINSIM_BORDER_ACCESS_PROMPT_TIMEOUT = 3,
};
WINSIM_CONTROL_API int winsim_set_border_access(int access);

/* Removes the Direct3D device of every started capture, as a driver update or
 * a GPU reset does: its calls fail with DXGI_ERROR_DEVICE_REMOVED from then
 * on and its captures get no more frames. */
WINSIM_CONTROL_API void winsim_remove_device(void);

/* Pauses (paused != 0) or resumes an operation: while paused, its calls wait
 * on entry until it is resumed; reset() resumes every operation. WINSIM_OK or
 * WINSIM_UNKNOWN_OPERATION. */
WINSIM_CONTROL_API int winsim_pause(const char* operation, int paused);
/* 1 once a call of the paused operation is waiting, 0 after timeout_ms. */
WINSIM_CONTROL_API int winsim_wait_paused(const char* operation, uint32_t timeout_ms);

#ifdef __cplusplus
}  // extern "C"
#endif

#endif  // WINSIM_CONTROL_H_
