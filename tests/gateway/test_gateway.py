"""zel-gateway end to end: zel-sim devices behind it, pymodbus in front of it."""
import csv
import os
import re
import time
from pathlib import Path

from conftest import Sim, f32, f32_words, s32, u32, wait_for

E_SUCCESS, E_ACCESS_DENIED, E_CMD_ABORTED, E_CMD_PENDING = 0, 16, 19, 26
ILLEGAL_FUNCTION, ILLEGAL_ADDRESS, ILLEGAL_VALUE, PATH_UNAVAILABLE, TARGET_FAILED = 1, 2, 3, 10, 11
REFERENCED = 0x1

DOCS = Path(os.environ.get("ZEL_SOURCE_DIR", Path(__file__).resolve().parents[2])) / "docs"
MAP = {row["name"]: row for row in csv.DictReader(open(DOCS / "modbus-map.csv", encoding="utf-8"))}
MD = (DOCS / "modbus-map.md").read_text(encoding="utf-8")

GRIPPERS = [("left", 1, "gripper", ["--temperature", "42.5", "--start-pos", "30"]),
            ("right", 2, "gripper", ["--referenced", "--start-pos", "70"])]
SENSOR = [("pad", 3, "sensor", ["--matrix", "4x6", "--cell-size", "2x3", "--frame-period", "20"])]


def raw(client, unit, name):
    row = MAP[name]
    address, count = int(row["address"]), int(row["count"])
    read = {"input": client.read_input_registers, "holding": client.read_holding_registers,
            "coil": client.read_coils, "discrete": client.read_discrete_inputs}[row["table"]]
    return read(address, count, slave=unit)


def value(client, unit, name):
    r = raw(client, unit, name)
    assert not r.isError(), f"{name} on unit {unit}: {r}"
    row = MAP[name]
    if row["table"] in ("coil", "discrete"):
        return int(r.bits[0])
    regs = r.registers
    v = {"u16": lambda: regs[0], "s16": lambda: regs[0] - (regs[0] >> 15 << 16), "u32": lambda: u32(regs),
         "s32": lambda: s32(regs), "f32": lambda: f32(regs)}[row["type"]]()
    return v * float(row["scale"]) if row["scale"] else v


def refused(response):
    return response.exception_code if response.isError() else None


def command(client, unit, code, sequence, position=0.0, speed=0.0, force=0.0):
    """The handshake in one write: targets, command and the new sequence."""
    words = f32_words(position) + f32_words(speed) + f32_words(force) + [code, sequence]
    return client.write_registers(int(MAP["target_position"]["address"]), words, slave=unit)


def finished(client, unit, sequence, timeout=15):
    return wait_for(lambda: value(client, unit, "ack_sequence") == sequence
                    and value(client, unit, "motion_done") == 1, timeout)


def linked(client, *units):
    return wait_for(lambda: all(value(client, u, "link_up") == 1 and value(client, u, "stale") == 0 for u in units))


def test_status_registers_show_what_the_simulators_report(cell):
    gw, _ = cell(GRIPPERS + SENSOR)
    c = gw.client()
    assert linked(c, 1, 2, 3)
    assert wait_for(lambda: value(c, 1, "temperature") > 0)
    for unit, kind in ((1, 1), (2, 1), (3, 2)):
        assert value(c, unit, "map_version") == 1
        assert value(c, unit, "device_kind") == kind
        assert value(c, unit, "link_up_bit") == 1
    assert abs(value(c, 1, "temperature") - 42.5) < 1e-4
    assert abs(value(c, 1, "temperature_dc") - 42.5) < 1e-6
    assert abs(value(c, 1, "position") - 30.0) < 1e-4
    assert abs(value(c, 1, "position_um") - 30.0) < 1e-6
    assert abs(value(c, 2, "position") - 70.0) < 1e-4
    assert value(c, 1, "system_state") & REFERENCED == 0
    assert value(c, 2, "system_state") & REFERENCED
    assert value(c, 1, "grasping_state") == 0 and value(c, 1, "force") == 0.0
    assert value(c, 1, "motion_done") == 1 and value(c, 1, "ack_sequence") == 0
    # The whole status block of a gripper in one read, 32-bit values high word first.
    block = c.read_input_registers(0, int(MAP["motions_failed"]["address"]) + 2, slave=2).registers
    assert abs(f32(block, int(MAP["position"]["address"])) - 70.0) < 1e-4
    # The sensor: a summary of its frames, not the frames.
    assert value(c, 3, "matrix_width") == 4 and value(c, 3, "matrix_height") == 6
    first = value(c, 3, "frame_counter")
    assert wait_for(lambda: value(c, 3, "frame_counter") > first + 5)
    assert wait_for(lambda: value(c, 3, "frame_total") > 0)
    assert value(c, 3, "frame_maximum") <= value(c, 3, "frame_total")
    assert 0 < value(c, 3, "centre_x") < 4 * 2 and 0 < value(c, 3, "centre_y") < 6 * 3


def test_published_map_is_the_served_one(cell):
    gw, _ = cell(GRIPPERS[:1] + SENSOR)
    c = gw.client()
    assert linked(c, 1, 3)
    assert set(re.findall(r"^\| `(\w+)` \|", MD, re.M)) == set(MAP)
    for name, row in MAP.items():
        md = re.search(rf"^\| `{name}` \| (\w+) \| (\d+) \| (\d+) \| (\w+) \|", MD, re.M)
        assert md.groups() == (row["table"], row["address"], row["count"], row["type"]), name
        own = 3 if "(sensor units)" in row["description"] else 1
        other = 1 if own == 3 else 3
        if "w" == row["access"]:
            continue
        assert not raw(c, own, name).isError(), name
        if "units)" in row["description"]:
            assert refused(raw(c, other, name)) == ILLEGAL_ADDRESS, name


def test_handshake_runs_each_sequence_once_and_only_on_its_unit(cell):
    gw, _ = cell(GRIPPERS)
    c = gw.client()
    assert linked(c, 1, 2)
    assert not command(c, 1, 4, 1).isError()  # homing
    assert value(c, 1, "ack_sequence") == 1
    assert value(c, 1, "result_status") in (E_CMD_PENDING, E_SUCCESS)
    assert finished(c, 1, 1)
    assert value(c, 1, "result_status") == E_SUCCESS
    # The state comes with the device's next report.
    assert wait_for(lambda: value(c, 1, "system_state") & REFERENCED)

    assert not command(c, 1, 1, 2, position=40.0, speed=200.0).isError()
    assert finished(c, 1, 2)
    assert value(c, 1, "result_status") == E_SUCCESS
    assert wait_for(lambda: abs(value(c, 1, "position") - 40.0) < 0.01)
    assert abs(value(c, 2, "position") - 70.0) < 1e-4, "the other unit stays where it was"
    completed = value(c, 1, "motions_completed")
    assert completed == 2 and value(c, 2, "motions_completed") == 0

    # A controller that reconnects and writes everything again, the same sequence included.
    again = gw.client()
    assert not command(again, 1, 1, 2, position=90.0, speed=200.0).isError()
    assert not again.write_register(int(MAP["sequence"]["address"]), 2, slave=1).isError()
    assert not wait_for(lambda: abs(value(c, 1, "position") - 40.0) > 0.01, timeout=1.0)
    assert value(c, 1, "motions_completed") == completed

    # A failed command: its status, and the failure counter.
    assert not command(c, 2, 1, 7, position=500.0, speed=50.0).isError()  # outside the stroke
    assert finished(c, 2, 7)
    assert value(c, 2, "result_status") not in (E_SUCCESS, E_CMD_PENDING)
    assert value(c, 2, "motions_failed") == 1
    # No such command: refused, and the sequence is not taken.
    assert refused(command(c, 2, 9, 8)) == ILLEGAL_VALUE
    assert value(c, 2, "ack_sequence") == 7


def test_stops_go_out_while_a_move_runs(cell):
    gw, _ = cell(GRIPPERS[1:])
    c = gw.client()
    assert linked(c, 2)
    stop = int(MAP["stop"]["address"])
    fast = int(MAP["fast_stop"]["address"])

    assert not command(c, 2, 1, 1, position=5.0, speed=5.0).isError()  # 13 s at this speed
    assert wait_for(lambda: value(c, 2, "position") < 69.5)
    assert not c.write_coil(stop, True, slave=2).isError()
    assert finished(c, 2, 1, timeout=3)
    assert value(c, 2, "result_status") == E_CMD_ABORTED
    held = value(c, 2, "position")
    assert 60 < held < 69.5
    assert not c.read_coils(stop, 2, slave=2).bits[0], "a stop reads 0 again"

    assert not command(c, 2, 1, 2, position=5.0, speed=5.0).isError()
    assert wait_for(lambda: value(c, 2, "position") < held - 0.5)
    assert not c.write_coils(fast, [True], slave=2).isError()
    assert finished(c, 2, 2, timeout=3)
    assert value(c, 2, "result_status") == E_CMD_ABORTED
    assert wait_for(lambda: value(c, 2, "fast_stopped") == 1)
    # Motion is refused until the fast stop is acknowledged (command 5).
    assert not command(c, 2, 1, 3, position=60.0, speed=100.0).isError()
    assert finished(c, 2, 3)
    assert value(c, 2, "result_status") == E_ACCESS_DENIED
    assert not command(c, 2, 5, 4).isError()
    assert finished(c, 2, 4)
    assert value(c, 2, "result_status") == E_SUCCESS
    assert not command(c, 2, 1, 5, position=60.0, speed=100.0).isError()
    assert finished(c, 2, 5)
    assert value(c, 2, "result_status") == E_SUCCESS


def test_stop_is_not_held_back_by_a_slow_answer(cell):
    # Every answer of this device comes 600 ms late: the stop is sent while the move's first
    # answer is still awaited, and ends the move long before it could reach its target.
    gw, _ = cell([("slow", 4, "gripper", ["--referenced", "--start-pos", "70", "--fault", "delay=600"])])
    c = gw.client()
    assert linked(c, 4)
    assert not command(c, 4, 1, 1, position=5.0, speed=20.0).isError()
    time.sleep(0.2)  # the move is out, its answer 400 ms away
    assert not c.write_coil(int(MAP["stop"]["address"]), True, slave=4).isError()
    assert finished(c, 4, 1, timeout=10)
    assert value(c, 4, "result_status") == E_CMD_ABORTED
    assert value(c, 4, "position") > 50


def test_refusals_are_modbus_exceptions(cell):
    gw, _ = cell(GRIPPERS[:1] + SENSOR)
    c = gw.client()
    assert linked(c, 1, 3)
    block = int(MAP["motions_failed"]["address"]) + 2
    assert refused(c.read_input_registers(block, 1, slave=1)) == ILLEGAL_ADDRESS
    assert refused(c.read_input_registers(0, block + 1, slave=1)) == ILLEGAL_ADDRESS
    assert refused(c.read_input_registers(0, 126, slave=1)) == ILLEGAL_VALUE
    assert refused(c.read_holding_registers(60000, 2, slave=1)) == ILLEGAL_ADDRESS
    assert refused(c.write_register(200, 1, slave=1)) == ILLEGAL_ADDRESS
    assert refused(c.write_coil(int(MAP["stop"]["address"]), True, slave=3)) == ILLEGAL_ADDRESS
    assert refused(c.read_input_registers(0, 1, slave=99)) == PATH_UNAVAILABLE
    assert refused(c.read_input_registers(0, 1, slave=0)) == PATH_UNAVAILABLE
    # Not Modbus at all, and a frame cut short: that client is dropped, the others go on.
    import socket
    with socket.create_connection(("127.0.0.1", gw.port), timeout=5) as junk:
        junk.sendall(b"GET / HTTP/1.0\r\n\r\n")
        assert junk.recv(100) == b""
    with socket.create_connection(("127.0.0.1", gw.port), timeout=5) as cut:
        cut.sendall(bytes([0, 1, 0, 0, 0, 6, 1, 4, 0]))  # 3 of the 6 bytes its header announces
        assert value(c, 1, "link_up") == 1
    assert value(c, 1, "link_up") == 1, "the gateway goes on"

    closed, _ = cell(GRIPPERS[:1], write="off")
    r = closed.client()
    assert linked(r, 1)
    assert refused(command(r, 1, 4, 1)) == ILLEGAL_FUNCTION
    assert refused(r.write_coil(int(MAP["stop"]["address"]), True, slave=1)) == ILLEGAL_FUNCTION
    assert value(r, 1, "ack_sequence") == 0
    assert value(r, 1, "target_position") == 0.0, "a refused write changes nothing"

    stranger, _ = cell(GRIPPERS[:1], write="on", allow="10.9.8.7")
    s = stranger.client()
    assert linked(s, 1)
    assert refused(command(s, 1, 4, 1)) == ILLEGAL_FUNCTION
    assert value(s, 1, "ack_sequence") == 0
    assert "not on the allow list" in stranger.stop()
    assert "writes are off" in closed.stop()


def test_a_lost_device_answers_with_exceptions_and_comes_back(cell):
    gw, sims = cell(GRIPPERS)
    c = gw.client()
    assert linked(c, 1, 2)
    sims["right"].kill()
    assert wait_for(lambda: value(c, 2, "link_up") == 0)
    assert value(c, 2, "stale") == 1
    assert refused(command(c, 2, 1, 1, position=50.0, speed=100.0)) == TARGET_FAILED
    assert refused(c.write_coil(int(MAP["stop"]["address"]), True, slave=2)) == TARGET_FAILED
    assert value(c, 2, "ack_sequence") == 0
    # The other unit goes on.
    assert not command(c, 1, 4, 1).isError()
    assert finished(c, 1, 1)
    assert value(c, 1, "result_status") == E_SUCCESS

    sims["right"].restart()
    assert linked(c, 2)
    assert not command(c, 2, 1, 1, position=50.0, speed=200.0).isError()
    assert finished(c, 2, 1)
    assert value(c, 2, "result_status") == E_SUCCESS
    log = gw.stop()
    assert "right: lost the link" in log
    assert "right: reconnected to" in log


def test_a_hung_device_is_taken_down_and_reconnected(cell):
    gw, sims = cell(GRIPPERS)
    c = gw.client()
    assert linked(c, 1, 2)
    sims["left"].pause()  # the socket stays open, nothing answers
    assert wait_for(lambda: value(c, 1, "stale") == 1)
    assert wait_for(lambda: value(c, 1, "link_up") == 0)
    assert value(c, 2, "link_up") == 1 and value(c, 2, "stale") == 0
    sims["left"].resume()
    assert linked(c, 1)
    assert not command(c, 1, 4, 1).isError()
    assert finished(c, 1, 1)
    assert value(c, 1, "result_status") == E_SUCCESS
    assert "left: lost the link to tcp://127.0.0.1:%d (no report for 3 s)" % sims["left"].port in gw.stop()


def test_configuration_is_checked_before_anything_starts(tmp_path):
    import subprocess
    from conftest import binary
    gateway = binary("ZEL_GATEWAY")
    path = tmp_path / "bad.ini"
    path.write_text("[gateway]\nwrite = on\n\n[device a]\nlink = tcp://127.0.0.1:1000\nunit = 300\n")
    run = subprocess.run([gateway, "--config", str(path)], capture_output=True, text=True, timeout=30)
    assert run.returncode == 1
    assert run.stderr.strip() == f"zel-gateway: {path}:6: unit must be 1 to 247, not \"300\""
    # The example that the package installs is a good file.
    example = DOCS.parent / "packaging" / "zel-gateway.ini"
    run = subprocess.run([gateway, "--config", str(example), "--check"], capture_output=True, text=True, timeout=30)
    assert (run.returncode, run.stderr) == (0, "")
