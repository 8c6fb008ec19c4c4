"""The zel module against zel-sim: what a test rig or robot program sees."""
import os
import subprocess
import sys
import threading
import time

import pytest

import zel


def test_gripper_operations_in_the_device_units(start_sim):
    sim = start_sim("--temperature", "31.2", "--tag", "rig 7", "--part", "20", "--stroke", "110")
    with zel.Gripper.connect(sim.url()) as g:
        assert g.connected and g.link.startswith("TCP 127.0.0.1:")
        info = g.info()
        assert (info.model, info.serial_number, info.firmware) == ("ZEL 11", 12345678, "1.2.3")
        assert g.temperature() == pytest.approx(31.2)
        assert g.tag() == "rig 7"
        assert g.tag("station B") == "station B"
        assert (g.limits().stroke, g.limits().max_speed) == (110, 420)

        assert g.home().status == 0
        assert zel.SystemState.REFERENCED in g.system_state()
        g.move(60, 400)
        assert g.position() == pytest.approx(60, abs=0.1)
        motion = g.grasp(20, 400)
        assert (motion.command, motion.done, motion.status) == ("GRASP", True, 0)
        assert g.grasping_state() is zel.GraspingState.HOLDING
        assert g.force() > 0
        g.release(60, 400)
        assert g.grasping_state() is zel.GraspingState.IDLE

        g.stop()
        g.fast_stop()
        assert zel.SystemState.FAST_STOP in g.system_state()
        with pytest.raises(zel.CommandFailed) as refused:
            g.move(30, 100)
        assert (refused.value.status_name, refused.value.command) == ("E_ACCESS_DENIED", "MOVE")
        g.ack()
        assert zel.SystemState.FAST_STOP not in g.system_state()

        raw = g.send(0x46)  # the temperature in tenths of a degree
        assert (raw.status, raw.data) == (0, (312).to_bytes(2, "little"))
        assert g.send(0x21, bytes(1) + bytes.fromhex("00007042 0000c842")).status == 0  # 60 mm at 100 mm/s
    assert not g.connected
    with pytest.raises(zel.LinkLost) as closed:
        g.temperature()
    assert closed.value.status_name == "E_NOT_OPENED"


@pytest.mark.parametrize("kind", ["udp", "serial"])
def test_other_links(start_sim, kind):
    sim = start_sim("--temperature", "25")
    with zel.Gripper.connect(sim.url(kind)) as g:
        assert g.temperature() == pytest.approx(25)


@pytest.mark.parametrize("url", [
    "ftp://127.0.0.1",
    "tcp://",
    "tcp://127.0.0.1:1000?speed=9",
    "udp://127.0.0.1:1500?listen=0",
    "serial://?baud=9600",
    "serial:///dev/ttyS0?baud=fast",
    "can://can0?id=4096",
    "can://zel-no-such-bus0",
    "can://250?backend=zel-no-such-plugin",
    "tcp://127.0.0.1:1",  # nobody listens
])
def test_links_that_cannot_be_opened(url):
    with pytest.raises(zel.ConnectFailed):
        zel.Gripper.connect(url, timeout=2)


def test_status_failures_carry_code_and_name(start_sim):
    sim = start_sim("--referenced", "--part", "none", "--stroke", "110")
    with zel.Gripper.connect(sim.url()) as g:
        # Outside the system limits: refused before anything is sent, naming the value and the range.
        for call, words in [
            (lambda: g.move(500, 100), "position 500 mm is outside the gripper's range of 0 to 110 mm"),
            (lambda: g.grasp(-1, 100), "width -1 mm is outside the gripper's range of 0 to 110 mm"),
            (lambda: g.release(60, 1000), "speed 1000 mm/s is outside the gripper's range of 5 to 420 mm/s"),
            (lambda: g.move(float("nan"), 100), "position nan mm is outside"),
        ]:
            with pytest.raises(ValueError) as refused:
                call()
            assert words in str(refused.value)
        g.move(110, 420)  # the ends of the range are inside
        # What the limits cannot tell stays the device's answer.
        g.fast_stop()
        with pytest.raises(zel.CommandFailed) as at_once:
            g.move(50, 100)
        assert at_once.value.status > 0 and at_once.value.status_name == "E_ACCESS_DENIED"
        g.ack()
        with pytest.raises(zel.CommandFailed) as final:
            g.grasp(20, 400)
        assert (final.value.status, final.value.status_name, final.value.command) == (18, "E_CMD_FAILED", "GRASP")
        assert g.grasping_state() is zel.GraspingState.NO_PART


def test_timeouts(start_sim):
    sim = start_sim("--referenced", "--start-pos", "0")
    with zel.Gripper.connect(sim.url()) as g:
        motion = g.move(20, 100, wait=False)
        with pytest.raises(zel.Timeout) as waited:
            motion.wait(timeout=0.02)
        assert waited.value.command == "MOVE" and not motion.done
        motion.wait()
        assert motion.done and motion.status == 0

        sim.pause()
        try:
            with pytest.raises(zel.Timeout) as silent:
                g.temperature()
            assert silent.value.status_name == "E_TIMEOUT"
        finally:
            sim.resume()


def test_link_lost_during_a_move_while_other_threads_run(start_sim):
    sim = start_sim("--referenced", "--start-pos", "0")
    with zel.Gripper.connect(sim.url()) as g:
        ticks = []
        stop = threading.Event()

        def other_thread():
            while not stop.is_set():
                ticks.append(1)
                time.sleep(0.001)

        worker = threading.Thread(target=other_thread)
        worker.start()
        try:
            g.move(4, 5)  # 0.8 s
        finally:
            stop.set()
            worker.join()
        # Holding the interpreter lock through the wait would have left the thread at one tick.
        assert len(ticks) > 50

        threading.Timer(0.3, sim.kill).start()
        with pytest.raises(zel.LinkLost) as lost:
            g.move(100, 5)  # would take 19 s
        assert lost.value.command == "MOVE"
        assert not g.connected
        with pytest.raises(zel.LinkLost):
            g.tag()


def test_updates_as_iterator_and_callback(start_sim):
    sim = start_sim("--referenced", "--start-pos", "0")
    with zel.Gripper.connect(sim.url()) as g:
        seen = []
        with g.updates(["position", "grasping_state"], period=10) as updates:
            motion = g.move(30, 200, wait=False)
            while not motion.done or updates.pending:
                u = updates.get(timeout=2)
                assert u is not None
                seen.append((u.kind, u.value))
        positions = [v for k, v in seen if k == "position"]
        assert positions == sorted(positions) and len(positions) > 5
        assert positions[-1] == pytest.approx(30, abs=0.1)
        assert ("grasping_state", zel.GraspingState.POSITIONING) in seen
        assert updates.closed and next(updates, None) is None and updates.get() is None
        with g.updates(["grasping_state"], period=10) as quiet:
            assert quiet.get(timeout=2).value is zel.GraspingState.IDLE  # the state at the start
            assert quiet.get(timeout=0.1) is None  # then nothing changes: None when the time is up

        got = []
        with g.updates(["force", "system_state"], period=10, callback=got.append):
            g.grasp(20, 200)
            g.process_events(0.05)
        assert {u.kind for u in got} == {"force", "system_state"}
        assert got[-1].time <= time.monotonic()

        with pytest.raises(ZeroDivisionError):
            with g.updates(["position"], period=5, on_change=False, callback=lambda u: 1 / 0):
                g.process_events(1)
        assert g.temperature() > 0


def test_a_device_belongs_to_the_thread_that_connected_it(start_sim):
    sim = start_sim()
    with zel.Gripper.connect(sim.url()) as g:
        errors = []
        worker = threading.Thread(target=lambda: errors.append(pytest.raises(RuntimeError, g.temperature)))
        worker.start()
        worker.join()
        assert errors and g.temperature() > 0


def test_four_threads_drive_four_grippers_while_one_answers_late(start_sim):
    sims = [start_sim("--referenced") for _ in range(3)] + [start_sim("--referenced", "--fault", "delay=1500")]
    urls = [sim.url() for sim in sims]
    # In a process of its own, so that whatever Qt would print about threads can be seen.
    script = (
        "import sys, threading, zel\n"
        "errors, counts = [], {}\n"
        "def drive(url, rounds):\n"
        "    try:\n"
        "        with zel.Gripper.connect(url, timeout=10) as g:\n"
        "            for _ in range(rounds):\n"
        "                assert 20 < g.temperature() < 60\n"
        "            counts[url] = rounds\n"
        "    except Exception as e:\n"
        "        errors.append(repr(e))\n"
        "threads = [threading.Thread(target=drive, args=(u, 3 if i == 3 else 300))\n"
        "           for i, u in enumerate(sys.argv[1:])]\n"
        "for t in threads: t.start()\n"
        "for t in threads: t.join()\n"
        "print(errors, sorted(counts.values()))\n")
    out = subprocess.run([sys.executable, "-c", script, *urls], capture_output=True, text=True, timeout=120)
    assert out.stdout == "[] [3, 300, 300, 300]\n", out.stderr
    assert out.stderr == ""


def test_connect_timeout_bounds_the_whole_connect(start_sim):
    sim = start_sim("--referenced")
    sim.pause()
    try:
        with pytest.raises(zel.ConnectFailed):
            zel.Gripper.connect(sim.url(), timeout=1)
        # Each step of the connect sequence waits for the time left, not for one exchange's 2 s:
        # a device that answers only after 5 s is still accepted within a 10 s limit.
        threading.Timer(5, sim.resume).start()
        with zel.Gripper.connect(sim.url(), timeout=10) as g:
            assert g.temperature() > 0
    finally:
        sim.resume()


def test_sensor_frames(start_sim):
    sim = start_sim("--device", "sensor", "--matrix", "4x3", "--transducer", "piezo")
    with zel.Sensor.connect(sim.url()) as s:
        m = s.matrix()
        assert (m.width, m.height, m.transducer_type) == (4, 3, "piezo")
        for run_length in (False, True):
            f = s.frame(run_length=run_length)
            assert (f.width, f.height) == (4, 3)
            assert [len(row) for row in f.cells] == [4, 4, 4]
        with s.frames(period=5) as frames:
            stamps = [next(frames).timestamp for _ in range(3)]
        assert frames.get() is None
        assert stamps == sorted(stamps) and len(set(stamps)) == 3
    with pytest.raises(zel.ConnectFailed) as refused:
        zel.Gripper.connect(sim.url(), timeout=2)
    assert "not a ZEL Series Gripper" in str(refused.value)


@pytest.mark.parametrize("numpy", [True, False])
def test_sensor_cells_as_numpy_array_or_rows(start_sim, numpy):
    pytest.importorskip("numpy")
    sim = start_sim("--device", "sensor", "--matrix", "4x3")
    block = "" if numpy else "import sys; sys.modules['numpy'] = None\n"
    script = block + (
        "import sys, zel\n"
        "with zel.Sensor.connect(sys.argv[1]) as s:\n"
        "    cells = s.frame().cells\n"
        "    print(type(cells).__name__, [len(row) for row in cells], sum(sum(row) for row in cells) > 0)\n")
    out = subprocess.run([sys.executable, "-c", script, sim.url()], capture_output=True, text=True, timeout=60)
    assert out.stdout.split(" ", 1) == ["ndarray" if numpy else "list", "[4, 4, 4] True\n"], out.stderr


def test_installed_package_imports_from_the_prefix(tmp_path):
    build = os.environ.get("ZEL_BUILD_DIR")
    if not build:
        pytest.skip("ZEL_BUILD_DIR does not name the build folder")
    subprocess.run(["cmake", "--install", build, "--prefix", str(tmp_path), "--component", "python"],
                   check=True, capture_output=True, timeout=120)
    (package,) = tmp_path.glob("lib/python3*/*-packages/zel")
    assert {p.name for p in package.iterdir()} >= {"__init__.py", "__init__.pyi", "py.typed"}
    env = dict(os.environ, PYTHONPATH=str(package.parent))
    out = subprocess.run([sys.executable, "-c", "import zel; print(zel.__file__, zel.Gripper)"], cwd=tmp_path,
                         env=env, capture_output=True, text=True, timeout=60, check=True)
    assert out.stdout.startswith(str(package))


def test_every_public_name_has_a_help_text():
    missing = []
    for cls in (zel.Gripper, zel.Sensor, zel.Motion, zel.Updates, zel.Update, zel.Frames, zel.Frame,
                zel.Info, zel.Limits, zel.Matrix, zel.Response):
        if not (cls.__doc__ or "").strip():
            missing.append(cls.__name__)
        for name in dir(cls):
            if name.startswith("_"):
                continue
            doc = getattr(cls, name).__doc__ or ""
            if "-> object" in doc.split("\n", 1)[0]:
                missing.append(f"{cls.__name__}.{name} returns an untyped object")
            # A generated signature line alone is no help text.
            text = doc.split("\n", 1)[1] if doc.startswith(name + "(") else doc
            if not text.strip():
                missing.append(f"{cls.__name__}.{name}")
    assert missing == []
    # The states read as the package's enums, not as "object".
    assert zel.Gripper.grasping_state.__doc__.startswith("grasping_state(self) -> zel.GraspingState")
    assert "-> object" not in zel.Gripper.system_state.__doc__
    assert "time.monotonic()" in zel.Update.time.__doc__


def test_system_state_flags_are_the_librarys_and_the_stub_lists_them():
    # The masks come from the device library; a bit without a name stays in the value.
    assert zel.SystemState.FAST_STOP == 0x1000
    assert zel.SystemState.SCRIPT_RUNNING == 0x80000
    assert int(zel.SystemState(0x00401001)) == 0x00401001
    assert zel.SystemState.REFERENCED in zel.SystemState(0x00401001)
    # The stub, for type checkers, names the same flags with the same masks.
    import pathlib
    import re
    stub = pathlib.Path(zel.__file__).with_name("__init__.pyi").read_text()
    block = stub.split("class SystemState(enum.IntFlag):", 1)[1].split("\n\n", 1)[0]
    listed = {name: int(mask, 16) for name, mask in re.findall(r"(\w+) = (0x[0-9A-Fa-f]+)", block)}
    assert listed == {flag.name: flag.value for flag in zel.SystemState}
