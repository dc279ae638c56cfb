"""Arguments a newcomer may build at run time, which the interpreter hands to
the module unchecked. Each case runs in a fresh interpreter, so that a
regression to a crash fails its test instead of ending the whole run."""

import sys
import textwrap

import pytest

from support import run_script

RUNNER = textwrap.dedent(
    """
    import json, sys, unittest.mock
    import opticatcher as oc

    class Int(int):
        # Claims to be a Monitor; its memory is an int's.
        @property
        def __class__(self):
            return oc.Monitor

    class Impostor:
        @property
        def __class__(self):
            return oc.Window

    try:
        exec(sys.argv[1])
    except BaseException as error:
        print(json.dumps([type(error).__name__, str(error), getattr(error, "__notes__", None)]))
    else:
        print(json.dumps(None))
    """
)


def run_isolated(statement):
    """The (type name, message, notes) of what `statement` raised in a fresh
    interpreter, or None; a crash fails the test with its exit status."""
    outcome = run_script(RUNNER, statement)
    return None if outcome is None else tuple(outcome[:2]) + (outcome[2],)


@pytest.mark.parametrize(
    "statement",
    [
        'oc.Monitor(**{2**100: 1})',
        'oc.Monitor(**{b"id": 1})',
        'oc.Monitor(None, **{1.5: 1})',
        'oc.Window(**{b"name": "x"})',
        'oc.Window("x", **{2**100: 1})',
        'oc.Capture(**{b"x": 1})',
        'oc.Capture(**{None: 1})',
        'oc.Capture().start(oc.Monitor(), **{b"await_first_frame": False})',
        'oc.Capture().frame(**{7: None})',
    ],
)
def test_keyword_names_must_be_strings(statement):
    assert run_isolated(statement) == ("TypeError", "keywords must be strings", None)


@pytest.mark.parametrize(
    "statement, full_name",
    [
        ('oc.Window("x", **{"\\udc80": 1})', "Window.__new__()"),
        ('oc.Monitor(**{"\\udc80": 1})', "Monitor.__new__()"),
        ('oc.Capture(**{"\\udc80": 1})', "Capture.__new__()"),
        ('oc.Capture().start(oc.Monitor(), **{"\\udc80": 1})', "Capture.start()"),
        ('oc.Capture().frame(**{"\\udc80": 1})', "Capture.frame()"),
    ],
)
def test_unencodable_keyword_is_named_as_given(statement, full_name):
    message = f"{full_name} got an unexpected keyword argument '\udc80'"
    assert run_isolated(statement) == ("TypeError", message, None)


def target_error(type_name):
    return (
        "failed to extract enum CaptureTarget ('Monitor | Window')\n"
        "- variant Monitor (Monitor): TypeError: failed to extract field CaptureTarget::Monitor.0,"
        f" caused by TypeError: '{type_name}' object is not an instance of 'Monitor'\n"
        "- variant Window (Window): TypeError: failed to extract field CaptureTarget::Window.0,"
        f" caused by TypeError: '{type_name}' object is not an instance of 'Window'"
    )


@pytest.mark.parametrize(
    "statement, type_name",
    [
        ("oc.Capture().start(unittest.mock.Mock(spec=oc.Monitor))", "Mock"),
        ("oc.Capture().start(unittest.mock.Mock(spec=oc.Window))", "Mock"),
        ("oc.Capture().start(unittest.mock.NonCallableMagicMock(spec=oc.Monitor))",
         "NonCallableMagicMock"),
        ("oc.Capture().start(Int(-1))", "Int"),
        ("oc.Capture().start(Int(0))", "Int"),
        ("oc.Capture().start(Impostor())", "Impostor"),
    ],
)
def test_objects_claiming_a_target_class_are_refused(statement, type_name):
    notes = ["while processing 'capture_target'"] if sys.version_info >= (3, 11) else None
    assert run_isolated(statement) == ("TypeError", target_error(type_name), notes)

