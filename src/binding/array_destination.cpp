#include "binding/array_destination.h"

#include <utility>

#include "binding/gil.h"

ArrayDestination::ArrayDestination(std::optional<OwnedArray> out) : out_(std::move(out)) {}

std::expected<std::span<std::byte>, CaptureError> ArrayDestination::prepare(std::uint32_t height,
                                                                            std::uint32_t width,
                                                                            PixelLayout layout) {
  auto array = prepare_frame_array(std::move(out_), height, width, layout);
  if (!array) return std::unexpected(std::move(array.error()));
  array_ = std::move(*array);
  return writable_array_bytes(*array_);
}

std::expected<void, CaptureError> ArrayDestination::run_copy(Copy copy) {
  return without_gil(copy);
}

PyObject* ArrayDestination::release() { return array_->release(); }
