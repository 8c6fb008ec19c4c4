"""zel-gateway as a Prometheus exporter, scraped by Debian's Prometheus server; and the fleet
documents (alert rules, dashboard) checked against what the gateway serves."""
import json
import os
import re
import shutil
import socket
import subprocess
import time
import urllib.error
import urllib.parse
import urllib.request
from pathlib import Path

import pytest

from conftest import binary, free_port, wait_for
from test_gateway import GRIPPERS, command, finished, linked

DOCS = Path(os.environ.get("ZEL_SOURCE_DIR", Path(__file__).resolve().parents[2])) / "docs"
MOVE = 1


def get(port, path):
    """(status, body) of an HTTP GET on loopback."""
    try:
        with urllib.request.urlopen(f"http://127.0.0.1:{port}{path}", timeout=5) as r:
            return r.status, r.read().decode()
    except urllib.error.HTTPError as e:
        return e.code, e.read().decode()


def exported_names(text):
    """Metric family names in an exposition text (histogram parts under their family)."""
    names = set()
    for line in text.splitlines():
        m = re.match(r"# TYPE (\S+) ", line)
        if m:
            names.add(m.group(1))
    return names


class Prometheus:
    def __init__(self, tmp_path, target):
        binary = shutil.which("prometheus")
        if not binary:
            pytest.skip("prometheus is not installed (scripts/setup.sh)")
        self.port = free_port()
        config = tmp_path / "prometheus.yml"
        config.write_text(
            "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
            "scrape_configs:\n  - job_name: cell\n    scrape_interval: 1s\n    scrape_timeout: 900ms\n"
            f"    static_configs:\n      - targets: ['{target}']\n")
        self.proc = subprocess.Popen(
            [binary, f"--config.file={config}", f"--storage.tsdb.path={tmp_path / 'data'}",
             f"--web.listen-address=127.0.0.1:{self.port}"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        assert wait_for(lambda: self.ready(), 30), "prometheus did not start"

    def ready(self):
        assert self.proc.poll() is None, "prometheus ended"
        try:
            return get(self.port, "/-/ready")[0] == 200
        except OSError:
            return False

    def query(self, expression):
        """{device (or job for up): value} of an instant query."""
        status, body = get(self.port, "/api/v1/query?query=" + urllib.parse.quote(expression))
        assert status == 200, body
        result = json.loads(body)["data"]["result"]
        return {r["metric"].get("device", r["metric"].get("job")): float(r["value"][1]) for r in result}

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


@pytest.fixture
def prometheus(tmp_path):
    started = []

    def start(target):
        p = Prometheus(tmp_path, target)
        started.append(p)
        return p

    yield start
    for p in started:
        p.stop()


def near(values, expected, tolerance=1e-3):
    return values.keys() == expected.keys() and all(abs(values[k] - v) < tolerance for k, v in expected.items())


def test_prometheus_scrapes_the_cell(cell, prometheus):
    gw, sims = cell(GRIPPERS, metrics=True)
    c = gw.client()
    assert linked(c, 1, 2)
    prom = prometheus(f"127.0.0.1:{gw.metrics_port}")

    assert wait_for(lambda: prom.query("up") == {"cell": 1.0}, 20)
    assert wait_for(lambda: near(prom.query("zel_link_up"), {"left": 1, "right": 1}), 20)
    assert wait_for(lambda: near(prom.query("zel_position_millimeters"), {"left": 30, "right": 70}), 20)
    # Every series names its device and its serial number.
    _, text = get(gw.metrics_port, "/metrics")
    for line in text.splitlines():
        if line.startswith("zel_"):
            assert 'device="' in line and 'serial="' in line, line
    assert get(gw.metrics_port, "/healthz")[0] == 200

    # The referenced gripper moves.
    assert not command(c, 2, MOVE, 1, position=40.0, speed=200.0).isError()
    assert finished(c, 2, 1)
    assert wait_for(lambda: near(prom.query("zel_position_millimeters"), {"left": 30, "right": 40}), 20)
    assert wait_for(lambda: prom.query('zel_motions_total{command="move",result="success"}')
                    == {"left": 0.0, "right": 1.0}, 20)

    sims["right"].kill()
    assert wait_for(lambda: near(prom.query("zel_link_up"), {"left": 1, "right": 0}), 30)
    status, body = get(gw.metrics_port, "/healthz")
    assert status == 503 and "right" in body and "left" not in body
    # The exporter itself still answers: only the device is down.
    assert prom.query("up") == {"cell": 1.0}


def test_metrics_need_a_free_address(cell, tmp_path):
    """A taken metrics port is a refusal at start, not a gateway without metrics."""
    with socket.socket() as taken:
        taken.bind(("127.0.0.1", 0))
        taken.listen()
        port = taken.getsockname()[1]
        ini = tmp_path / "taken.ini"
        ini.write_text(f"[gateway]\nmodbus = 127.0.0.1:{free_port()}\nmetrics = 127.0.0.1:{port}\n"
                       "[device left]\nlink = tcp://127.0.0.1:1\nunit = 1\n")
        r = subprocess.run([binary("ZEL_GATEWAY"), "--config", str(ini)], capture_output=True, text=True,
                           timeout=15)
        assert r.returncode == 1 and "cannot serve metrics" in r.stderr


def test_alert_rules_pass_promtool():
    promtool = shutil.which("promtool")
    if not promtool:
        pytest.skip("promtool is not installed (scripts/setup.sh)")
    r = subprocess.run([promtool, "check", "rules", str(DOCS / "alerts.yml")], capture_output=True, text=True)
    assert r.returncode == 0, r.stdout + r.stderr


def test_fleet_documents_name_only_exported_metrics(cell):
    """The dashboard's queries and the alert rules use metrics a gateway with a gripper and a
    sensor serves."""
    gw, _ = cell(GRIPPERS[:1] + [("pad", 3, "sensor", ["--matrix", "4x6"])], metrics=True)
    assert wait_for(lambda: get(gw.metrics_port, "/healthz")[0] == 200)
    _, text = get(gw.metrics_port, "/metrics")
    served = exported_names(text) | {"up"}
    suffixes = ("_bucket", "_sum", "_count")

    def family(name):
        for s in suffixes:
            if name.endswith(s) and name[: -len(s)] in served:
                return name[: -len(s)]
        return name

    def used(expression):
        return {family(n) for n in re.findall(r"\b(zel_[a-z_]+)", expression)}

    dashboard = json.loads((DOCS / "grafana-dashboard.json").read_text())
    expressions = [t["expr"] for p in dashboard["panels"] for t in p.get("targets", [])]
    assert expressions
    for e in expressions:
        assert used(e) and used(e) <= served, e
    rules = (DOCS / "alerts.yml").read_text()
    assert used(rules) <= served
