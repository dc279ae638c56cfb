#include "support.h"

#include <cstdio>

#include "../stand_in/pattern.h"
#include "check.h"

std::string utf8_from_system(const WCHAR* text, int length) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string result(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, result.data(), size, nullptr, nullptr);
  if (length < 0) result.pop_back();  // the converted terminator
  return result;
}

std::basic_string<WCHAR> utf16_from_system(const std::string& text) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::basic_string<WCHAR> result(static_cast<std::size_t>(size > 0 ? size : 1), WCHAR{0});
  if (size > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, result.data(), size);
  result.pop_back();  // c_str() supplies the terminator
  return result;
}

std::string system_message(DWORD id, HMODULE module) {
  DWORD flags =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  if (module != nullptr)
    flags = (flags & ~FORMAT_MESSAGE_FROM_SYSTEM) | FORMAT_MESSAGE_FROM_HMODULE;
  WCHAR* buffer = nullptr;
  const DWORD length =
      FormatMessageW(flags, module, id, 0, reinterpret_cast<WCHAR*>(&buffer), 0, nullptr);
  std::string text = length > 0 ? utf8_from_system(buffer, static_cast<int>(length)) : "";
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == ' ' || (text.back() >= '\t' && text.back() <= '\r'))) {
    text.pop_back();
  }
  return text;
}

std::string expected_error_text(HRESULT code) {
  const std::string message = system_message(static_cast<DWORD>(code));
  const std::string number = hex(static_cast<unsigned long>(code));
  return message.empty() ? number : message + " (" + number + ")";
}

std::string error_summary(const CaptureError& error) {
  std::string text = "kind " + std::to_string(static_cast<int>(error.kind()));
  if (const auto* windows = std::get_if<CaptureError::WindowsError>(&error.value)) {
    text += ", code " + hex(static_cast<unsigned long>(windows->api.code));
  }
  return text + " (" + error_message(error) + ")";
}

ComPtr<ID3D11Texture2D> pattern_texture(ID3D11Device* device, ID3D11DeviceContext* context,
                                        std::uint32_t width, std::uint32_t height,
                                        std::uint32_t seed) {
  D3D11_TEXTURE2D_DESC desc{};
  desc.Width = width;
  desc.Height = height;
  desc.MipLevels = 1;
  desc.ArraySize = 1;
  desc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
  desc.SampleDesc.Count = 1;
  desc.Usage = D3D11_USAGE_DEFAULT;
  desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
  ComPtr<ID3D11Texture2D> texture;
  if (FAILED(device->CreateTexture2D(&desc, nullptr, texture.put()))) return {};
  const std::vector<std::uint8_t> pixels = pattern_region(width, height, seed);
  context->UpdateSubresource(texture.get(), 0, nullptr, pixels.data(), width * 4, 0);
  return texture;
}

std::vector<std::uint8_t> pattern_region(std::uint32_t width, std::uint32_t height,
                                         std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(std::size_t{width} * height * 4);
  std::size_t i = 0;
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      for (std::uint32_t c = 0; c < 4; ++c) bytes[i++] = stand_in::pattern_byte(x, y, c, seed);
    }
  }
  return bytes;
}

std::string first_difference(const std::vector<std::uint8_t>& actual,
                             const std::vector<std::uint8_t>& expected) {
  if (actual.size() != expected.size()) {
    return std::to_string(actual.size()) + " bytes, expected " + std::to_string(expected.size());
  }
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (actual[i] != expected[i]) {
      char text[96];
      std::snprintf(text, sizeof text, "byte %zu is 0x%02X, expected 0x%02X", i, actual[i],
                    expected[i]);
      return text;
    }
  }
  return {};
}
