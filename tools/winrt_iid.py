#!/usr/bin/env python3
"""The IIDs of the parameterized Windows Runtime interfaces the module uses.

Windows gives a parameterized interface (TypedEventHandler<A, B>,
IAsyncOperation<T>, ...) the name-based UUID (version 5, SHA-1) of its type
signature in the namespace {11F47AD5-7B73-42C0-ABAE-878B1E16ADEE}:

    pinterface({<IID of the generic interface>};<signature of each argument>)

where a runtime class is "rc(<name>;<signature of its default interface>)",
an interface "{<iid>}", an enumeration "enum(<name>;i4)" and IInspectable
"cinterface(IInspectable)".

    python3 tools/winrt_iid.py           # prints each derived IID
    python3 tools/winrt_iid.py --check   # and compares them with capture_abi.h
"""

import pathlib
import re
import sys
import uuid

NAMESPACE = uuid.UUID("11f47ad5-7b73-42c0-abae-878b1e16adee")

TYPED_EVENT_HANDLER = "{9de1c534-6ae1-11e0-84e1-18a905bcc53f}"
ASYNC_OPERATION = "{9fc2b0bb-e446-44e2-aa61-9cab8f636af2}"
ASYNC_OPERATION_COMPLETED_HANDLER = "{fcdcf02c-e5d8-4478-915a-4d90b74b83a5}"

INSPECTABLE = "cinterface(IInspectable)"
FRAME_POOL = ("rc(Windows.Graphics.Capture.Direct3D11CaptureFramePool;"
              "{24eb6d22-1975-422e-82e7-780dbd8ddf24})")
CAPTURE_ITEM = ("rc(Windows.Graphics.Capture.GraphicsCaptureItem;"
                "{79c3f95b-31f7-4ec2-a464-632ef5d30760})")
ACCESS_STATUS = "enum(Windows.Security.Authorization.AppCapabilityAccess.AppCapabilityAccessStatus;i4)"

# The constant in capture_abi.h and the signature it is derived from.
DERIVED = {
    "IID_ITypedEventHandler_FramePool_Inspectable":
        f"pinterface({TYPED_EVENT_HANDLER};{FRAME_POOL};{INSPECTABLE})",
    "IID_ITypedEventHandler_GraphicsCaptureItem_Inspectable":
        f"pinterface({TYPED_EVENT_HANDLER};{CAPTURE_ITEM};{INSPECTABLE})",
    "IID_IAsyncOperation_AppCapabilityAccessStatus":
        f"pinterface({ASYNC_OPERATION};{ACCESS_STATUS})",
    "IID_IAsyncOperationCompletedHandler_AppCapabilityAccessStatus":
        f"pinterface({ASYNC_OPERATION_COMPLETED_HANDLER};{ACCESS_STATUS})",
}

HEADER = pathlib.Path(__file__).resolve().parents[1] / "include/opticatcher/abi/capture_abi.h"


def derive(signature):
    return uuid.uuid5(NAMESPACE, signature)


def declared(name, text):
    """The IID constant `name` of the header as a UUID."""
    match = re.search(name + r"\s*=\s*\{([^;]*)\};", text)
    if match is None:
        raise SystemExit(f"{name} is not declared in {HEADER}")
    parts = [int(part, 16) for part in re.findall(r"0x[0-9A-Fa-f]+", match.group(1))]
    data1, data2, data3, *data4 = parts
    return uuid.UUID(fields=(data1, data2, data3, data4[0], data4[1],
                             int.from_bytes(bytes(data4[2:]), "big")))


def main(argv):
    check = "--check" in argv
    text = HEADER.read_text() if check else ""
    mismatches = 0
    for name, signature in DERIVED.items():
        iid = derive(signature)
        line = f"{name}: {{{str(iid).upper()}}}"
        if check:
            ok = declared(name, text) == iid
            mismatches += not ok
            line += "  ok" if ok else "  DIFFERS from capture_abi.h"
        print(line)
    return 1 if mismatches else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
