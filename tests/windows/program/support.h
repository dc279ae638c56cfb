// What the checks of the test program share: the groups, the system's own
// answers to compare with, and textures filled with a known pattern.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "errors.h"
#include "opticatcher/com_ptr.h"
#include "platform/windows/win32.h"

// The groups of checks, in the order main runs them.
void check_error_texts();
void check_monitors();
void check_geometry();
void check_windows();
void check_device_and_readback();
void check_frame_arrival();

// The windows the test program shows as another process (started by
// check_windows with --child-windows PREFIX); returns the exit status.
int run_child_windows(const std::string& prefix);

// UTF-16 text of the system as UTF-8, converted by the system.
std::string utf8_from_system(const WCHAR* text, int length = -1);
// UTF-8 text as zero-terminated UTF-16, converted by the system.
std::basic_string<WCHAR> utf16_from_system(const std::string& text);

// What FormatMessageW itself says for `id` (from `module` when given), with
// the trailing line break and spaces removed; empty when it has no text.
std::string system_message(DWORD id, HMODULE module = nullptr);

// The text the module must give for a failure with `code` that carries no
// error information: the system's message and the code, or the code alone.
std::string expected_error_text(HRESULT code);

// Kind and code of a capture error, as "kind 8, code 0x80070057".
std::string error_summary(const CaptureError& error);

// A texture of the default usage (like a capture pool's buffers) of
// `width` x `height` R8G8B8A8 pixels, filled with the pattern of `seed` by
// UpdateSubresource.
ComPtr<ID3D11Texture2D> pattern_texture(ID3D11Device* device, ID3D11DeviceContext* context,
                                        std::uint32_t width, std::uint32_t height,
                                        std::uint32_t seed);

// The packed bytes of the pattern's top-left `width` x `height` region.
std::vector<std::uint8_t> pattern_region(std::uint32_t width, std::uint32_t height,
                                         std::uint32_t seed);

// "" when equal, else where the first difference is.
std::string first_difference(const std::vector<std::uint8_t>& actual,
                             const std::vector<std::uint8_t>& expected);
