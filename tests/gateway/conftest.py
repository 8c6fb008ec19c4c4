"""zel-sim devices and zel-gateway as separate processes, and a Modbus client we did not write
(pymodbus). ZEL_SIM and ZEL_GATEWAY name the binaries."""
import os
import signal
import socket
import struct
import subprocess
import time

import pytest
from pymodbus.client import ModbusTcpClient


def binary(name):
    path = os.environ.get(name)
    if not path:
        pytest.skip(f"{name} does not name the binary")
    return path


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Sim:
    def __init__(self, options, port=0):
        self.options = options
        self.proc = subprocess.Popen(
            [binary("ZEL_SIM"), "--tcp", str(port), *options],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.port = None
        for line in self.proc.stdout:
            line = line.strip()
            if line.startswith("tcp "):
                self.port = int(line.rsplit(":", 1)[1])
            if line == "ready":
                break
        assert self.port, "zel-sim did not start"

    def kill(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGCONT)
            self.proc.kill()
        self.proc.wait()
        self.proc.stdout.close()

    def pause(self):
        self.proc.send_signal(signal.SIGSTOP)

    def resume(self):
        self.proc.send_signal(signal.SIGCONT)

    def restart(self):
        """The same device again on the same port."""
        self.kill()
        fresh = Sim(self.options, self.port)
        self.proc = fresh.proc


class Gateway:
    def __init__(self, path, port):
        self.port = port
        self.proc = subprocess.Popen([binary("ZEL_GATEWAY"), "--config", str(path)],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        self.clients = []
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", port), timeout=0.2).close()
                return
            except OSError:
                assert self.proc.poll() is None, self.proc.stderr.read()
                time.sleep(0.05)
        raise AssertionError("zel-gateway does not serve")

    def client(self):
        c = ModbusTcpClient("127.0.0.1", port=self.port, timeout=3)
        assert c.connect()
        self.clients.append(c)
        return c

    def stop(self):
        """Ends the gateway as systemd does; returns its log."""
        for c in self.clients:
            c.close()
        self.proc.send_signal(signal.SIGTERM)
        try:
            code = self.proc.wait(timeout=15)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            code = "hung"
        log = self.proc.stderr.read()
        self.proc.stderr.close()
        assert code == 0, f"zel-gateway ended with {code}:\n{log}"
        return log


@pytest.fixture
def cell(tmp_path):
    """cell(devices, **gateway) writes a configuration, starts one zel-sim per device and the
    gateway. devices: list of (name, unit, kind, sim options)."""
    sims, gateways = [], []

    def start(devices, write="on", allow="127.0.0.1", sims_for=None, metrics=False):
        port = free_port()
        lines = ["[gateway]", f"modbus = 127.0.0.1:{port}", f"write = {write}"]
        metrics_port = free_port() if metrics else None
        if metrics:
            lines.append(f"metrics = 127.0.0.1:{metrics_port}")
        if allow:
            lines.append(f"allow = {allow}")
        started = {}
        for name, unit, kind, options in devices:
            sim = sims_for[name] if sims_for else Sim((["--device", "sensor"] if kind == "sensor" else []) + options)
            sims.append(sim)
            started[name] = sim
            lines += [f"[device {name}]", f"link = tcp://127.0.0.1:{sim.port}", f"unit = {unit}", f"kind = {kind}"]
        path = tmp_path / f"gateway-{port}.ini"
        path.write_text("\n".join(lines) + "\n")
        gw = Gateway(path, port)
        gw.metrics_port = metrics_port
        gateways.append(gw)
        return gw, started

    yield start
    try:
        for gw in gateways:
            if gw.proc.poll() is None:
                gw.stop()
    finally:
        for sim in sims:
            sim.kill()


# Reading the map as a PLC programmer would.

def f32(regs, at=0):
    return struct.unpack(">f", struct.pack(">HH", regs[at], regs[at + 1]))[0]


def s32(regs, at=0):
    return struct.unpack(">i", struct.pack(">HH", regs[at], regs[at + 1]))[0]


def u32(regs, at=0):
    return regs[at] << 16 | regs[at + 1]


def f32_words(value):
    return list(struct.unpack(">HH", struct.pack(">f", value)))


def wait_for(what, timeout=15.0):
    deadline = time.monotonic() + timeout
    while True:
        value = what()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(0.05)
