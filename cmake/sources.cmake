# The module's sources, relative to src/: the one list that both the Linux
# build and the Windows build (CMakeLists.txt, cmake/windows.cmake) compile,
# so that no file is built on one side only. Add every new module source here.

# The Windows code and the error model, free of Python.
set(OPTICATCHER_CORE_SOURCES
  errors.cpp
  pixel_layout.cpp
  platform/windows/api_error.cpp
  platform/windows/apartment.cpp
  platform/windows/capture_access.cpp
  platform/windows/capture.cpp
  platform/windows/capture_item.cpp
  platform/windows/capture_session.cpp
  platform/windows/device.cpp
  platform/windows/frame.cpp
  platform/windows/frame_arrival.cpp
  platform/windows/item_closed.cpp
  platform/windows/monitor.cpp
  platform/windows/physical_pixels.cpp
  platform/windows/pixel_conversion.cpp
  platform/windows/session_switches.cpp
  platform/windows/target.cpp
  platform/windows/text.cpp
  platform/windows/window.cpp
)

# The Python side: entry point, binding layer, the classes and the NumPy side
# of frame output.
set(OPTICATCHER_BINDING_SOURCES
  module.cpp
  binding/arguments.cpp
  binding/array_destination.cpp
  binding/firewall.cpp
  binding/interpreter_exit.cpp
  binding/python_text.cpp
  binding/results.cpp
  binding/capture_type.cpp
  binding/monitor_type.cpp
  binding/rect_type.cpp
  binding/window_type.cpp
  binding/frame_array.cpp
)

# Prefixes each source of `list_name` with `directory`, into `out_name`.
function(opticatcher_sources_in out_name directory list_name)
  set(result "")
  foreach(source IN LISTS ${list_name})
    list(APPEND result "${directory}/${source}")
  endforeach()
  set(${out_name} "${result}" PARENT_SCOPE)
endfunction()

# Fails the configuration when a .cpp file under `directory` is in neither
# list: a forgotten entry would otherwise surface as a link error at best.
function(opticatcher_check_sources directory)
  file(GLOB_RECURSE present RELATIVE "${directory}" CONFIGURE_DEPENDS "${directory}/*.cpp")
  foreach(source IN LISTS present)
    if(NOT source IN_LIST OPTICATCHER_CORE_SOURCES AND NOT source IN_LIST OPTICATCHER_BINDING_SOURCES)
      message(FATAL_ERROR "src/${source} is not listed in cmake/sources.cmake")
    endif()
  endforeach()
endfunction()
