"""How failed Windows calls read once they reach Python."""
import pytest

import opticatcher as oc
import winsim

ACCESS_DENIED_NT = (
    "{Access Denied}\r\nA process has requested access to an object, "
    "but has not been granted those access rights."
)


@pytest.mark.parametrize(
    "last_error, text",
    [
        (5, "Access is denied. (0x80070005)"),
        (1400, "Invalid window handle. (0x80070578)"),
        (0x52345, "0x80072345"),  # only the low word survives; no such message
        (0, "The operation completed successfully. (0x00000000)"),
        (0x80070057, "The parameter is incorrect. (0x80070057)"),
        (0x887A0005, "The GPU device instance has been suspended. Use GetDeviceRemovedReason "
                     "to determine the appropriate action. (0x887A0005)"),
        (0x80071234, "0x80071234"),
        (0xD0000022, ACCESS_DENIED_NT + " (0xD0000022)"),
    ],
)
def test_enumeration_failure_texts(last_error, text):
    winsim.fail("EnumDisplayMonitors", last_error)
    with pytest.raises(RuntimeError) as caught:
        oc.enumerate_monitors()
    assert str(caught.value) == "Windows API error: " + text
    winsim.fail("EnumChildWindows", last_error)
    with pytest.raises(RuntimeError) as caught:
        oc.enumerate_windows()
    assert str(caught.value) == "Windows API error: " + text


def test_nt_status_messages_come_from_ntdll():
    winsim.fail("EnumDisplayMonitors", 0xD0000022)
    with pytest.raises(RuntimeError):
        oc.enumerate_monitors()
    assert winsim.calls("LoadLibraryExA") == 1
    # Without ntdll there is no text for the status: the code stands alone.
    winsim.fail("EnumDisplayMonitors", 0xD0000022)
    winsim.fail("LoadLibraryExA", 126)
    with pytest.raises(RuntimeError) as caught:
        oc.enumerate_monitors()
    assert str(caught.value) == "Windows API error: 0xD0000022"


def test_missing_system_message_leaves_the_code():
    winsim.fail("EnumDisplayMonitors", 5)
    winsim.fail("FormatMessageW", 317)
    with pytest.raises(RuntimeError) as caught:
        oc.enumerate_monitors()
    assert str(caught.value) == "Windows API error: 0x80070005"
    assert winsim.calls("LoadLibraryExA") == 0
