import pytest

import opticatcher as oc
import winsim

PROPERTIES = ["width", "height", "refresh_rate", "device_name", "device_string", "index"]


def describe(monitor):
    return (monitor.device_name, monitor.width, monitor.height, monitor.refresh_rate,
            monitor.device_string, monitor.index)


def test_monitors_in_enumeration_order():
    winsim.add_monitor(2560, 1440, 144, device_string="Wide Panel")
    winsim.add_monitor(1280, 1024, 75, device_name=r"\\.\DISPLAY7")
    winsim.add_monitor(800, 600, 1)
    monitors = oc.enumerate_monitors()
    assert [describe(m) for m in monitors] == [
        (r"\\.\DISPLAY1", 2560, 1440, 144, "Wide Panel", 1),
        (r"\\.\DISPLAY7", 1280, 1024, 75, "Generic PnP Monitor", 7),
        # The lowest number no monitor uses.
        (r"\\.\DISPLAY2", 800, 600, 1, "Generic PnP Monitor", 2),
    ]
    assert monitors[0] is not monitors[1]
    # Monitor(n) counts in enumeration order; index is the number in the name.
    assert oc.Monitor(2).index == 7
    assert oc.Monitor(True).device_name == r"\\.\DISPLAY1"
    assert oc.Monitor(3).refresh_rate == 1
    for primary in (oc.Monitor(), oc.Monitor(None), oc.Monitor(id=None), oc.primary_monitor()):
        assert primary.device_string == "Wide Panel"


def test_ids_out_of_range():
    winsim.add_monitor()
    winsim.add_monitor()
    with pytest.raises(RuntimeError, match="^Failed to find monitor$"):
        oc.Monitor(3)
    before = winsim.calls("EnumDisplayMonitors")
    with pytest.raises(RuntimeError, match="^Monitor index is lower than one$"):
        oc.Monitor(0)
    assert winsim.calls("EnumDisplayMonitors") == before


def test_empty_desktop():
    assert oc.enumerate_monitors() == []
    with pytest.raises(RuntimeError, match="^Failed to find monitor$"):
        oc.primary_monitor()
    with pytest.raises(RuntimeError, match="^Failed to find monitor$"):
        oc.Monitor()
    with pytest.raises(RuntimeError, match="^Failed to find monitor$"):
        oc.Monitor(1)


@pytest.mark.parametrize(
    "name, expected",
    [
        (r"\\.\DISPLAY12", 12),
        (r"\\.\DISPLAY+7", 7),
        (r"\\.\DISPLAY1\\.\DISPLAY2", 12),
        (r"\\.\DISPLAY007", 7),
        (r"\\.\DISPLAY18446744073709551615", 18446744073709551615),
        (r"\\.\DISPLAY", "cannot parse integer from empty string"),
        (r"\\.\DISPLAY-7", "invalid digit found in string"),
        (r"\\.\DISPLAY 7", "invalid digit found in string"),
        (r"\\.\DISPLAY+", "invalid digit found in string"),
        (r"\\.\DISPLAY-", "invalid digit found in string"),
        (r"\\.\DISPLAY++7", "invalid digit found in string"),
        ("DISPLAY3", "invalid digit found in string"),
        (r"\\.\DISPLAY18446744073709551616", "number too large to fit in target type"),
        (r"\\.\DISPLAY99999999999999999999", "number too large to fit in target type"),
    ],
)
def test_index_from_device_name(name, expected):
    winsim.add_monitor(device_name=name)
    monitor = oc.primary_monitor()
    assert monitor.device_name == name
    if isinstance(expected, int):
        assert monitor.index == expected
    else:
        with pytest.raises(RuntimeError) as caught:
            monitor.index
        assert str(caught.value) == "Failed to parse monitor index: " + expected


def test_device_name_buffer_edges():
    full = r"\\.\DISPLAY" + "1" * 21  # 32 units: no terminator in szDevice
    winsim.add_monitor(device_name=full, refresh_rate=30)
    winsim.add_monitor(device_name="\\\\.\\DISPLAY\ud8004")
    first, second = oc.enumerate_monitors()
    assert first.device_name == full
    assert first.refresh_rate == 30
    assert second.device_name == "\\\\.\\DISPLAY\ufffd4"
    with pytest.raises(RuntimeError, match="invalid digit"):
        second.index


def test_removed_monitor_fails_every_property():
    handle = winsim.add_monitor()
    winsim.add_monitor()
    monitor = oc.Monitor(1)
    winsim.remove_monitor(handle)
    for name in PROPERTIES:
        with pytest.raises(RuntimeError, match="^Failed to get monitor info$"):
            getattr(monitor, name)
    # The survivor is now the primary monitor and is found by id 1.
    assert oc.Monitor(1).device_name == r"\\.\DISPLAY2"


def test_properties_ask_the_system_on_every_read():
    winsim.add_monitor()
    monitor = oc.primary_monitor()
    for _ in range(3):
        monitor.width
    assert winsim.calls("GetMonitorInfoW") == 3
    assert winsim.calls("EnumDisplaySettingsW") == 3
    monitor.device_string
    assert winsim.calls("EnumDisplayDevicesW") == 1


@pytest.mark.parametrize(
    "operation, properties, message",
    [
        ("GetMonitorInfoW", PROPERTIES, "Failed to get monitor info"),
        ("EnumDisplaySettingsW", ["width", "height", "refresh_rate"], "Failed to get monitor settings"),
        ("EnumDisplayDevicesW", ["device_string"], "Failed to get monitor name"),
    ],
)
def test_query_failures(operation, properties, message):
    winsim.add_monitor()
    monitor = oc.primary_monitor()
    for name in properties:
        winsim.fail(operation)
        with pytest.raises(RuntimeError) as caught:
            getattr(monitor, name)
        assert str(caught.value) == message
        # A failure leaves the object usable.
        assert getattr(monitor, name) == getattr(oc.primary_monitor(), name)


def test_lookup_failures():
    winsim.add_monitor()
    winsim.fail("MonitorFromPoint")
    with pytest.raises(RuntimeError, match="^Failed to find monitor$"):
        oc.primary_monitor()
    winsim.fail("EnumDisplayMonitors", 5)
    with pytest.raises(RuntimeError) as caught:
        oc.Monitor(1)
    assert str(caught.value) == "Windows API error: Access is denied. (0x80070005)"


def test_removed_then_added_monitors_keep_unique_names_and_their_own_properties():
    first = winsim.add_monitor(2000, 600, 75, device_string="Old Panel")
    winsim.add_monitor(1920, 1080, 60)
    winsim.remove_monitor(first)
    # The freed number is reused; the newcomer answers with its own mode and
    # device string, not those of the monitor that had the next number.
    winsim.add_monitor(3000, 700, 144, device_string="New Panel")
    assert [describe(m) for m in oc.enumerate_monitors()] == [
        (r"\\.\DISPLAY2", 1920, 1080, 60, "Generic PnP Monitor", 2),
        (r"\\.\DISPLAY1", 3000, 700, 144, "New Panel", 1),
    ]
    # Numbers taken by explicit names, in any case, are skipped.
    winsim.add_monitor(800, 600, 30, device_name=r"\\.\display3")
    winsim.add_monitor(640, 480, 24)
    assert [(m.device_name, m.width, m.height, m.refresh_rate)
            for m in oc.enumerate_monitors()[2:]] == [
        (r"\\.\display3", 800, 600, 30),
        (r"\\.\DISPLAY4", 640, 480, 24),
    ]


def test_a_device_name_in_use_is_refused():
    winsim.add_monitor(1280, 1024, 75)
    for name in (r"\\.\DISPLAY1", r"\\.\display1", r"\\.\DISPLAY1" + "\0tail"):
        with pytest.raises(ValueError, match="already used by another monitor"):
            winsim.add_monitor(device_name=name)
    # A name cut to the buffer's 32 units is compared as cut.
    winsim.add_monitor(device_name="X" * 32)
    with pytest.raises(ValueError):
        winsim.add_monitor(device_name="x" * 40)
    assert [m.device_name for m in oc.enumerate_monitors()] == [r"\\.\DISPLAY1", "X" * 32]
    assert oc.primary_monitor().refresh_rate == 75
