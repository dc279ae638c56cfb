"""The winsim control functions behind capture tests: content, frame delivery,
queued faults and the new operation names."""

import numpy
import pytest
import winsim


class TestSetContent:
    def test_accepts_rgba_of_a_monitor_or_window(self):
        monitor = winsim.add_monitor(8, 8)
        window = winsim.add_window("w", 8, 8)
        pixels = numpy.zeros((2, 3, 4), numpy.uint8)
        winsim.set_content(monitor, pixels)
        winsim.set_content(window, pixels[:, ::2])  # not contiguous: copied first
        winsim.set_content(window, numpy.zeros((0, 0, 4), numpy.uint8))

    @pytest.mark.parametrize("rgba", [
        numpy.zeros((2, 3, 3), numpy.uint8),
        numpy.zeros((2, 3), numpy.uint8),
        numpy.zeros((2, 3, 4), numpy.float32),
    ])
    def test_refuses_other_shapes_and_types(self, rgba):
        monitor = winsim.add_monitor()
        with pytest.raises(ValueError, match=r"\[h, w, 4\] uint8"):
            winsim.set_content(monitor, rgba)

    def test_refuses_non_arrays_and_unknown_handles(self):
        monitor = winsim.add_monitor()
        with pytest.raises(TypeError):
            winsim.set_content(monitor, [[[0, 0, 0, 0]]])
        with pytest.raises(ValueError, match="unknown handle"):
            winsim.set_content(0x12345, numpy.zeros((1, 1, 4), numpy.uint8))


class TestFrameDelivery:
    def test_present_without_a_capture_returns_at_once(self):
        monitor = winsim.add_monitor()
        winsim.set_frame_delivery(False)
        winsim.present(monitor)
        winsim.present(monitor, count=3)

    def test_present_refuses_unknown_handles_and_bad_counts(self):
        with pytest.raises(ValueError, match="unknown handle"):
            winsim.present(0x12345)
        monitor = winsim.add_monitor()
        with pytest.raises(ValueError):
            winsim.present(monitor, count=-1)

    def test_set_frame_delivery_takes_a_bool(self):
        with pytest.raises(TypeError):
            winsim.set_frame_delivery(1)


class TestQueuedFaults:
    def test_the_capture_operations_are_known(self):
        for operation in [
            "get_Size", "CreateFreeThreaded", "add_FrameArrived", "remove_FrameArrived",
            "CreateCaptureSession", "StartCapture", "GraphicsCaptureSession.Close",
            "Direct3D11CaptureFramePool.Close", "TryGetNextFrame", "get_ContentSize",
            "get_Surface", "Recreate", "CreateForWindow", "CreateForMonitor", "GetInterface",
            "D3D11CreateDevice", "CreateDirect3D11DeviceFromDXGIDevice", "RoInitialize",
            "RoGetActivationFactory", "CoCreateFreeThreadedMarshaler", "CreateTexture2D",
            "Map", "QueryInterface:IDXGIDevice", "QueryInterface:ID3D10Multithread",
            "QueryInterface:IDirect3DDevice", "QueryInterface:IClosable",
            "QueryInterface:IDirect3DDxgiInterfaceAccess",
        ]:
            assert winsim.calls(operation) == 0, operation
            winsim.fail(operation, 0x80004005, description="broken")
        for operation in ["SetMultithreadProtected", "GetDesc", "Unmap",
                          "CopySubresourceRegion"]:
            assert winsim.calls(operation) == 0
            with pytest.raises(ValueError, match="cannot fail"):
                winsim.fail(operation)

    def test_an_unqualified_shared_method_name_is_unknown(self):
        with pytest.raises(ValueError, match="unknown operation"):
            winsim.fail("Close")

    def test_null_and_restricted_descriptions_apply_to_runtime_members(self):
        winsim.fail("CreateFreeThreaded", null=True)
        winsim.fail("get_Surface", 0x80070057, restricted_description="restricted")
        winsim.fail("get_Surface", times=0)

    def test_row_pitch_controls(self):
        winsim.set_row_pitch_alignment(64)
        with pytest.raises(ValueError, match="power of two"):
            winsim.set_row_pitch_alignment(48)
        winsim.set_row_pitch(12)
        winsim.set_row_pitch(None)


class TestPause:
    @pytest.mark.threaded
    def test_a_paused_operation_holds_its_callers_until_resumed(self):
        import threading

        import opticatcher as oc

        winsim.add_monitor(8, 8)
        capture = oc.Capture()
        capture.start(oc.primary_monitor())
        winsim.pause("Map")
        assert winsim.wait_paused("Map", timeout=0.01) is False
        # frame() lets the interpreter lock go around Map; start() would not.
        reader = threading.Thread(target=capture.frame, daemon=True)
        reader.start()
        assert winsim.wait_paused("Map")
        assert winsim.calls("Map") == 0  # counted once it runs
        winsim.resume("Map")
        reader.join(60)
        assert not reader.is_alive()
        assert winsim.calls("Map") == 1
        capture.stop()

    def test_reset_resumes_and_unknown_names_are_refused(self):
        winsim.pause("Map")
        winsim.reset()
        assert winsim.wait_paused("Map", timeout=0) is False
        with pytest.raises(ValueError, match="unknown operation 'NoSuchCall'"):
            winsim.pause("NoSuchCall")
        with pytest.raises(ValueError, match="unknown operation 'NoSuchCall'"):
            winsim.resume("NoSuchCall")
        with pytest.raises(TypeError):
            winsim.pause(None)


class TestPointerAndSessions:
    @pytest.mark.parametrize(
        "spot, rows, columns",
        [
            ((6, 4), slice(4, 8), slice(6, 8)),  # clipped at the right and bottom
            ((-5, -6), slice(0, 2), slice(0, 3)),  # partly above and left of the target
            ((2**31 - 1, 0), slice(0, 0), slice(0, 0)),  # far away: nothing
        ],
    )
    def test_the_pointer_is_drawn_clipped_to_the_target(self, spot, rows, columns):
        import opticatcher as oc

        monitor = winsim.add_monitor(8, 8)
        winsim.set_frame_delivery(False)
        capture = oc.Capture()
        capture.start(oc.primary_monitor(), await_first_frame=False)
        winsim.present(monitor)
        plain = capture.frame()
        winsim.set_pointer(monitor, spot)
        winsim.present(monitor)
        frame = capture.frame()
        capture.stop()
        expected = plain.copy()
        expected[rows, columns] = winsim.POINTER_RGBA
        assert numpy.array_equal(frame, expected)

    def test_pointer_and_session_controls_check_their_arguments(self):
        monitor = winsim.add_monitor()
        with pytest.raises(ValueError, match="unknown handle"):
            winsim.set_pointer(0x12345, (0, 0))
        with pytest.raises(TypeError):
            winsim.set_pointer(monitor, [1, 2])
        with pytest.raises(ValueError, match="32 bits"):
            winsim.set_pointer(monitor, (2**31, 0))
        winsim.set_pointer(monitor, None)
        with pytest.raises(TypeError):
            winsim.set_session_interfaces(cursor_switch=0)
        assert winsim.capture_sessions(0x12345) == []
        for status in ("Allowed", "", 1, [], True):
            with pytest.raises(ValueError, match="status must be one of"):
                winsim.set_border_access(status)
        winsim.remove_device()  # no capture runs: nothing to remove

    def test_sessions_lack_their_interfaces_until_reset(self):
        import opticatcher as oc

        monitor = winsim.add_monitor(8, 8)
        winsim.set_session_interfaces(cursor_switch=False, border_switch=False)
        capture = oc.Capture()
        capture.start(oc.primary_monitor())
        for switch in ("cursor", "border"):
            with pytest.raises(RuntimeError, match="needs Windows"):
                setattr(capture, switch, False)
        assert winsim.calls("QueryInterface:IGraphicsCaptureSession2") == 1
        capture.stop()
        winsim.reset()
        monitor = winsim.add_monitor(8, 8)
        capture.start(oc.primary_monitor())
        capture.cursor = capture.border = False
        assert winsim.capture_sessions(monitor) == [{"cursor": False, "border": False}]
        capture.stop()
