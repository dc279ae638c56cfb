#include "ntdll/status_message_table.h"

#include <algorithm>
#include <iterator>

namespace winsim::ntdll {

namespace {

struct Message {
  DWORD status;
  std::u16string_view text;
};

constexpr Message kStatusMessages[] = {
    {0xC000000D, u"An invalid parameter was passed to a service or function.\r\n"},
    {0xC0000017,
     u"{Not Enough Quota}\r\nNot enough virtual memory or paging file quota is available to "
     u"complete the specified operation.\r\n"},
    {0xC0000022,
     u"{Access Denied}\r\nA process has requested access to an object, but has not been granted "
     u"those access rights.\r\n"},
};

}  // namespace

std::optional<std::u16string_view> status_message(DWORD status) {
  const auto found =
      std::find_if(std::begin(kStatusMessages), std::end(kStatusMessages),
                   [status](const Message& message) { return message.status == status; });
  if (found == std::end(kStatusMessages)) {
    return std::nullopt;
  }
  return found->text;
}

}  // namespace winsim::ntdll
