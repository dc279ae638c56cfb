"""Argument parsing, conversion and its notes, shared by every entry point."""
import sys

import numpy as np
import pytest

import opticatcher as oc
import winsim

HAS_NOTES = sys.version_info >= (3, 11)


@pytest.fixture
def monitor():
    winsim.add_monitor()
    return oc.Monitor()


def raises_type_error(message, call, *args, **kwargs):
    with pytest.raises(TypeError) as caught:
        call(*args, **kwargs)
    assert str(caught.value) == message
    return caught.value


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda m: oc.Window(), "Window.__new__() missing 1 required positional argument: 'name'"),
        (lambda m: oc.Capture().start(), "Capture.start() missing 1 required positional argument: 'capture_target'"),
        (lambda m: oc.Capture().start(await_first_frame=False), "Capture.start() missing 1 required positional argument: 'capture_target'"),
        (lambda m: oc.Capture(1), "Capture.__new__() takes 0 positional arguments but 1 was given"),
        (lambda m: oc.Capture(1, 2), "Capture.__new__() takes 0 positional arguments but 2 were given"),
        (lambda m: oc.Window("a", "b"), "Window.__new__() takes 1 positional arguments but 2 were given"),
        (lambda m: oc.Monitor(1, 2), "Monitor.__new__() takes from 0 to 1 positional arguments but 2 were given"),
        (lambda m: oc.Capture().start(m, True, 3), "Capture.start() takes from 1 to 2 positional arguments but 3 were given"),
        (lambda m: oc.Capture().frame(None, None), "Capture.frame() takes from 0 to 1 positional arguments but 2 were given"),
        (lambda m: oc.Capture().frame(output=None), "Capture.frame() got an unexpected keyword argument 'output'"),
        (lambda m: oc.Capture(x=1), "Capture.__new__() got an unexpected keyword argument 'x'"),
        (lambda m: oc.Monitor(ID=1), "Monitor.__new__() got an unexpected keyword argument 'ID'"),
        (lambda m: oc.Window("a", name="b"), "Window.__new__() got multiple values for argument 'name'"),
        (lambda m: oc.Capture().start(m, capture_target=m), "Capture.start() got multiple values for argument 'capture_target'"),
        (lambda m: oc.Capture().frame(None, out=None), "Capture.frame() got multiple values for argument 'out'"),
    ],
)
def test_parsing_messages(monitor, call, message):
    raises_type_error(message, call, monitor)


def test_keywords_are_accepted_for_every_parameter(monitor):
    assert oc.Monitor(id=None).device_name == monitor.device_name
    with pytest.raises(RuntimeError, match="^Failed to find window with name 'x'$"):
        oc.Window(name="x")
    with pytest.raises(RuntimeError, match="^Capture is not running$"):
        oc.Capture().frame(out=None)


def check_note(error, parameter):
    if HAS_NOTES:
        assert error.__notes__ == [f"while processing '{parameter}'"]


def test_conversion_failures_carry_a_note(monitor):
    error = raises_type_error("'int' object is not an instance of 'str'", oc.Window, 5)
    check_note(error, "name")
    error = raises_type_error("'None' is not an instance of 'str'", oc.Window, None)
    check_note(error, "name")
    error = raises_type_error(
        "'int' object is not an instance of 'bool'", oc.Capture().start, monitor, await_first_frame=1
    )
    check_note(error, "await_first_frame")
    error = raises_type_error(
        "'float' object is not an instance of 'bool'", oc.Capture().start, monitor, 1.0
    )
    check_note(error, "await_first_frame")


def test_type_names_are_qualified(monitor):
    class Outer:
        class Inner:
            pass

    raises_type_error(
        "'test_type_names_are_qualified.<locals>.Outer.Inner' object is not an instance of 'str'",
        oc.Window,
        Outer.Inner(),
    )


def test_unreadable_type_name(monitor):
    class Meta(type):
        def __getattribute__(cls, name):
            if name == "__qualname__":
                raise RuntimeError("no name")
            return super().__getattribute__(name)

    class Odd(metaclass=Meta):
        pass

    raises_type_error(
        "'<failed to extract type name>' object is not an instance of 'str'", oc.Window, Odd()
    )


def test_id_conversion():
    for _ in range(2):
        winsim.add_monitor()
    with pytest.raises(OverflowError) as caught:
        oc.Monitor(-1)
    check_note(caught.value, "id")
    with pytest.raises(OverflowError):
        oc.Monitor(2**64)
    with pytest.raises(TypeError) as caught:
        oc.Monitor("1")
    check_note(caught.value, "id")
    with pytest.raises(TypeError):
        oc.Monitor(1.0)

    class Two:
        def __index__(self):
            return 2

    assert oc.Monitor(Two()).device_name == r"\\.\DISPLAY2"
    assert oc.Monitor(np.uint8(2)).device_name == r"\\.\DISPLAY2"
    assert oc.Monitor(True).device_name == r"\\.\DISPLAY1"


def test_name_that_cannot_be_utf8():
    with pytest.raises(UnicodeEncodeError) as caught:
        oc.Window("\ud800")
    check_note(caught.value, "name")


@pytest.mark.parametrize("flag", [None, True, False, np.bool_(True), np.bool_(False)])
def test_await_first_frame_accepts_bools(flag):
    # Conversion passes; the hidden window then fails the target check.
    winsim.add_window("hidden", visible=False)
    with pytest.raises(RuntimeError, match="^Invalid capture target$"):
        oc.Capture().start(oc.Window("hidden"), flag)


def test_add_note_failure_is_discarded():
    class NoteRefused(TypeError):
        def add_note(self, note):
            raise ValueError("refused")

    class BadIndex:
        def __index__(self):
            raise NoteRefused("not today")

    with pytest.raises(NoteRefused) as caught:
        oc.Monitor(BadIndex())
    assert not hasattr(caught.value, "__notes__")
