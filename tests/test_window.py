import os

import pytest

import opticatcher as oc
import winsim
from support import WS_EX_TOOLWINDOW

WS_CHILD = 0x40000000


def names(windows):
    return [w.name for w in windows]


def test_enumeration_keeps_capturable_windows_of_other_processes():
    winsim.add_window("Editor")
    winsim.add_window("hidden", visible=False)
    winsim.add_window("palette", ex_style=WS_EX_TOOLWINDOW)
    winsim.add_window("button", style=WS_CHILD)
    winsim.add_window("mine", own_process=True)
    winsim.add_window("")
    gone = winsim.add_window("closed")
    winsim.add_window("Browser", width=0, height=0)  # an empty client area still counts
    winsim.destroy_window(gone)
    # In Z-order: the newest window is on top.
    assert names(oc.enumerate_windows()) == ["Browser", "", "Editor"]


def test_empty_enumeration():
    winsim.add_window("hidden", visible=False)
    assert oc.enumerate_windows() == []


def test_window_by_name():
    winsim.add_window("Notes")
    winsim.add_window("it's")
    assert oc.Window("Notes").name == "Notes"
    assert oc.Window("it's").name == "it's"
    assert oc.Window("Notes").valid is True
    # Case is ignored beyond ASCII too.
    winsim.add_window("Wide \u00e9t\u00e9 \U0001f600")
    assert oc.Window("wide \u00c9T\u00c9 \U0001f600").name == "Wide \u00e9t\u00e9 \U0001f600"


@pytest.mark.parametrize("name", ["", "no such title", "it's", "Notes\0tail"])
def test_not_found_message_shows_the_name_unchanged(name):
    with pytest.raises(RuntimeError) as caught:
        oc.Window(name)
    assert str(caught.value) == f"Failed to find window with name '{name}'"


def test_empty_title_and_embedded_zero_reach_the_system():
    winsim.add_window("")
    assert oc.Window("").name == ""
    winsim.reset()
    winsim.add_window("Notes")
    # The system compares only the part before the zero character.
    assert oc.Window("Notes\0tail").name == "Notes"


def test_windows_that_are_found_but_not_valid():
    winsim.add_window("hidden", visible=False)
    winsim.add_window("palette", ex_style=WS_EX_TOOLWINDOW)
    winsim.add_window("button", style=WS_CHILD)
    winsim.add_window("mine", own_process=True)
    for title in ("hidden", "palette", "button"):
        assert oc.Window(title).valid is False
    assert oc.Window("mine").valid is True


def test_destroyed_window():
    handle = winsim.add_window("Doomed")
    winsim.set_foreground(handle)
    window = oc.Window("Doomed")
    assert window.focused is True
    winsim.destroy_window(handle)
    assert window.valid is False
    assert window.name == ""
    assert window.focused is False
    assert window.focus() is None


def test_foreground():
    with pytest.raises(RuntimeError) as caught:
        oc.foreground_window()
    assert str(caught.value) == "No active window found"
    first = winsim.add_window("first")
    winsim.add_window("second")
    winsim.add_window("mine", own_process=True, visible=False)
    winsim.set_foreground(first)
    assert oc.foreground_window().name == "first"
    assert oc.Window("first").focused is True
    second = oc.Window("second")
    assert second.focused is False
    assert second.focus() is None
    assert second.focused is True
    assert oc.foreground_window().name == "second"
    # Neither the own-process nor the capturable test applies here.
    oc.Window("mine").focus()
    assert oc.foreground_window().name == "mine"


def test_focus_never_raises():
    winsim.add_window("stubborn")
    window = oc.Window("stubborn")
    winsim.fail("SetForegroundWindow", 5)
    assert window.focus() is None
    assert window.focused is False


def test_property_failures_read_as_false_or_empty():
    winsim.add_window("flaky")
    window = oc.Window("flaky")
    for operation in ("IsWindowVisible", "GetClientRect"):
        winsim.fail(operation, 1400)
        assert window.valid is False, operation
    # An unreadable style has no child or tool bits.
    winsim.fail("GetWindowLongPtrW", 1400)
    assert window.valid is True
    winsim.fail("GetWindowTextLengthW", 1400)
    assert window.name == ""
    winsim.fail("GetWindowTextW", 1400)
    assert window.name == ""
    winsim.fail("GetForegroundWindow")
    assert window.focused is False


def test_title_is_cut_at_its_first_zero_unit():
    winsim.add_window("Tab\0hidden part")
    assert oc.Window("Tab").name == "Tab"
    # GetWindowTextLengthW may over-report: the buffer then reaches past the
    # title's terminator, and only the terminator ends the name.
    winsim.set_text_length_overreport(6)
    assert oc.Window("Tab").name == "Tab"


def test_enumeration_asks_for_the_owning_process():
    winsim.add_window("other")
    winsim.add_window("mine", own_process=True)
    assert names(oc.enumerate_windows()) == ["other"]
    assert winsim.calls("GetWindowThreadProcessId") == 2
    assert winsim.calls("GetCurrentProcessId") == 2
    assert os.getpid() > 0


def test_enumeration_and_lookup_follow_the_z_order():
    first = winsim.add_window("Report")
    winsim.add_window("Other")
    winsim.add_window("REPORT")
    # The newest window is on top; of two matching titles the topmost wins.
    assert names(oc.enumerate_windows()) == ["REPORT", "Other", "Report"]
    assert oc.Window("report").name == "REPORT"
    # The foreground window is raised to the top.
    winsim.set_foreground(first)
    assert names(oc.enumerate_windows()) == ["Report", "REPORT", "Other"]
    assert oc.Window("report").name == "Report"
    oc.Window("Other").focus()
    assert names(oc.enumerate_windows()) == ["Other", "Report", "REPORT"]


def test_child_windows_are_walked_but_never_listed_or_found():
    main = winsim.add_window("Main")
    toolbar = winsim.add_window("Toolbar", parent=main)
    winsim.add_window("Button", parent=toolbar)
    hidden = winsim.add_window("Hidden", visible=False)
    winsim.add_window("Inner", parent=hidden)
    assert names(oc.enumerate_windows()) == ["Main"]
    # Every window of the tree was met (and tested) during the walk.
    assert winsim.calls("IsWindowVisible") == 5
    for title in ("Toolbar", "Button", "Inner"):
        with pytest.raises(RuntimeError, match="^Failed to find window with name"):
            oc.Window(title)
    # A child of another process is dropped for its style, not its process.
    other = winsim.add_window("Other")
    winsim.add_window("Panel", parent=other)
    assert names(oc.enumerate_windows()) == ["Other", "Main"]
    with pytest.raises(ValueError, match="child window"):
        winsim.set_foreground(toolbar)


def test_children_are_destroyed_with_their_parent():
    main = winsim.add_window("Main")
    toolbar = winsim.add_window("Toolbar", parent=main)
    button = winsim.add_window("Button", parent=toolbar)
    window = oc.Window("Main")
    winsim.destroy_window(main)
    assert window.valid is False
    for handle in (toolbar, button):
        with pytest.raises(ValueError, match="unknown window handle"):
            winsim.destroy_window(handle)
    with pytest.raises(ValueError, match="unknown parent window handle"):
        winsim.add_window("Orphan", parent=toolbar)
    assert oc.enumerate_windows() == []
