#include "kernel32/system_message_table.h"

#include <algorithm>
#include <iterator>

namespace winsim::kernel32 {

namespace {

struct Message {
  DWORD id;
  std::u16string_view text;
};

// Win32 error values.
constexpr Message kWin32Messages[] = {
    {ERROR_SUCCESS, u"The operation completed successfully.\r\n"},
    {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.\r\n"},
    {ERROR_ACCESS_DENIED, u"Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, u"The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY,
     u"Not enough memory resources are available to process this command.\r\n"},
    {ERROR_OUTOFMEMORY,
     u"Not enough memory resources are available to complete this operation.\r\n"},
    {ERROR_INVALID_PARAMETER, u"The parameter is incorrect.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, u"The data area passed to a system call is too small.\r\n"},
    {ERROR_MOD_NOT_FOUND, u"The specified module could not be found.\r\n"},
    {ERROR_INTERNAL_ERROR, u"An internal error occurred.\r\n"},
    {ERROR_INVALID_WINDOW_HANDLE, u"Invalid window handle.\r\n"},
    {ERROR_INVALID_INDEX, u"Invalid index.\r\n"},
    {ERROR_INVALID_MONITOR_HANDLE, u"Invalid monitor handle.\r\n"},
};

// HRESULTs of other facilities.
constexpr Message kHresultMessages[] = {
    {0x8000FFFF, u"Catastrophic failure\r\n"},
    {0x8000000E, u"A method was called at an unexpected time.\r\n"},
    {0x80000013, u"The object has been closed.\r\n"},
    {0x80004001, u"Not implemented\r\n"},
    {0x80004002, u"No such interface supported\r\n"},
    {0x80004003, u"Invalid pointer\r\n"},
    {0x80004004, u"Operation aborted\r\n"},
    {0x80004005, u"Unspecified error\r\n"},
    {0x80010106, u"Cannot change thread mode after it is set.\r\n"},
    {0x8001010E,
     u"The application called an interface that was marshalled for a different thread.\r\n"},
    {0x80040154, u"Class not registered\r\n"},
    {0x800401F0, u"CoInitialize has not been called.\r\n"},
    {0x887A0004,
     u"The specified device interface or feature level is not supported on this system.\r\n"},
    {0x887A0005,
     u"The GPU device instance has been suspended. Use GetDeviceRemovedReason to determine the "
     u"appropriate action.\r\n"},
};

std::optional<std::u16string_view> find(const auto& table, DWORD id) {
  const auto found = std::find_if(std::begin(table), std::end(table),
                                  [id](const Message& message) { return message.id == id; });
  if (found == std::end(table)) {
    return std::nullopt;
  }
  return found->text;
}

constexpr DWORD kWin32HresultPrefix = 0x80070000;

}  // namespace

std::optional<std::u16string_view> system_message(DWORD message_id) {
  if (message_id <= 0xFFFF) {
    return find(kWin32Messages, message_id);
  }
  if ((message_id & 0xFFFF0000) == kWin32HresultPrefix) {
    return find(kWin32Messages, message_id & 0xFFFF);
  }
  return find(kHresultMessages, message_id);
}

}  // namespace winsim::kernel32
