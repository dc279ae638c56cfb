// The monadic operations of std::expected that libstdc++ 12 lacks, as free
// functions with the standard's meaning (C++23 has them as members):
//
//   transform_error(com_check(hr), CaptureError::windows)   // error lifted
//   transform(monitor_display_mode(m), &DisplayMode::width)  // value mapped
#pragma once

#include <expected>
#include <functional>
#include <type_traits>
#include <utility>

// The value as it is, or the error mapped by `lift`.
template <class T, class Error, class Lift>
auto transform_error(std::expected<T, Error>&& result, Lift&& lift)
    -> std::expected<T, std::remove_cvref_t<std::invoke_result_t<Lift, Error&&>>> {
  if (!result)
    return std::unexpected(std::invoke(std::forward<Lift>(lift), std::move(result.error())));
  if constexpr (std::is_void_v<T>) {
    return {};
  } else {
    return std::move(*result);
  }
}

// The value mapped by `map`, or the error as it is.
template <class T, class Error, class Map>
auto transform(std::expected<T, Error>&& result, Map&& map)
    -> std::expected<std::remove_cvref_t<std::invoke_result_t<Map, T&&>>, Error> {
  if (!result) return std::unexpected(std::move(result.error()));
  return std::invoke(std::forward<Map>(map), std::move(*result));
}
