"""zel-sim as a separate process for the zel module's tests (ZEL_SIM names the binary)."""
import os
import signal
import socket
import subprocess

import pytest


class Sim:
    def __init__(self, proc, endpoints):
        self.proc = proc
        self.endpoints = endpoints

    def url(self, kind="tcp"):
        if kind == "tcp":
            return "tcp://" + self.endpoints["tcp"]
        if kind == "udp":
            host, port = self.endpoints["udp"].rsplit(":", 1)
            return f"udp://{host}:{port}?listen={free_udp_port()}"
        if kind == "serial":
            return "serial://" + self.endpoints["pty"] + "?baud=115200"
        raise ValueError(kind)

    def pause(self):
        self.proc.send_signal(signal.SIGSTOP)

    def resume(self):
        self.proc.send_signal(signal.SIGCONT)

    def kill(self):
        self.proc.kill()
        self.proc.wait()


def free_udp_port():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@pytest.fixture
def start_sim():
    """start_sim(*options) runs zel-sim on free TCP and UDP ports and a pseudo-terminal."""
    running = []

    def start(*options):
        binary = os.environ.get("ZEL_SIM")
        if not binary:
            pytest.skip("ZEL_SIM does not name the zel-sim binary")
        proc = subprocess.Popen(
            [binary, "--tcp", "0", "--udp", "0", "--pty", "-", *options],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        running.append(proc)
        endpoints = {}
        for line in proc.stdout:
            line = line.strip()
            if line == "ready":
                break
            kind, _, where = line.partition(" ")
            endpoints[kind] = where
        else:
            pytest.fail("zel-sim ended before it was ready")
        return Sim(proc, endpoints)

    yield start
    for proc in running:
        if proc.poll() is None:
            proc.send_signal(signal.SIGCONT)
            proc.kill()
        proc.wait()
        proc.stdout.close()
