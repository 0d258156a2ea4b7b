# The metrics' files: the exposition writer's sample under promtool, the alert rules under their
# own tests, the rules' and the dashboard's queries against the metrics the writer defines; and
# the receiver's -x file, read while it is rewritten, through node_exporter and a Prometheus.
import json, os, re, subprocess, time
from datetime import datetime
from conftest import BIN, ROOT, Monitoring, run, receiver, until
from test_measure import timestamp

SAMPLE = os.path.join(os.path.dirname(BIN), "tests/exposition_sample")  # tests/exposition_sample.cc


def sample():
    status, out = run([SAMPLE])
    assert status == 0, out
    return out


def test_promtool_finds_the_exposition_and_the_rules_clean():
    for args, text, out in ((["check", "metrics"], sample(), ""),
                            (["check", "rules", "stampcast.rules.yml"], None, "SUCCESS"),
                            (["test", "rules", "stampcast.rules.test.yml"], None, "SUCCESS")):
        done = subprocess.run(["promtool", *args], input=text, cwd=ROOT / "docs",
                              capture_output=True, text=True)
        assert done.returncode == 0 and out in done.stdout + done.stderr, done


def test_rules_and_dashboard_ask_only_for_metrics_the_writer_defines():
    families = re.findall(r"^# TYPE (\w+) (\w+)$", sample(), re.M)
    defined = {name + end for name, kind in families
               for end in ("", *["_bucket", "_sum", "_count"] * (kind == "histogram"))}
    dashboard = json.loads((ROOT / "docs/stampcast-dashboard.json").read_text())
    assert [given["pluginId"] for given in dashboard["__inputs"]] == ["prometheus"]
    queries = [target["expr"] for panel in dashboard["panels"] for target in panel["targets"]]
    queries += [variable["definition"] for variable in dashboard["templating"]["list"]]
    queries.append((ROOT / "docs/stampcast.rules.yml").read_text())
    asked = {name for query in queries for name in re.findall(r"\bstampcast_\w+", query)}
    assert len(queries) >= 10 and asked <= defined, asked - defined


SAMPLE_LINE = re.compile(r'(\w+)\{((?:\w+="[^"\\\n]*",?)*)\} (\S+)')


def parse(data):  # {(name, labels): value} of a whole exposition; asserts it is one
    text = data.decode("utf-8")
    assert text.endswith("\n") and "\r" not in text
    samples = {}
    for line in text.splitlines():
        if not line.startswith("#"):
            name, labels, value = SAMPLE_LINE.fullmatch(line).groups()
            samples[name, re.sub(r',?source="[^"]*"', "", labels)] = float(value)
    assert "stampcast_build_info" in text
    return samples


def summed(samples, name):
    return sum(value for (family, _), value in samples.items() if family == name)


def path_for(build, path):  # the path as the build's receiver takes it
    return "Z:" + str(path) if build.is_windows else str(path)


# The receiver rewrites the file every second while a reader reads it hundreds of times: each
# read is a whole exposition whose counters never fell. The last agrees with the summary, and a
# Prometheus scraping node_exporter reads the same count.
def test_a_run_feeds_prometheus_through_node_exporter(build, start, tmp_path):
    seen = Monitoring(start, build.ns, tmp_path)
    path = seen.textfiles / "stampcast.prom"
    proc = receiver(start, build.argv(["-r", "-q", "-a", "1", "-c", "120",
                                       "-x", path_for(build, path)]))
    start(build.ns.cmd([BIN, "-s", "-m", "-c", "120", "-w", "25"]), limit=60)
    reads, last = 0, {}
    while proc.p.poll() is None and reads < 5000:
        if path.exists():
            samples = parse(path.read_bytes())
            falling = [key for key, value in last.items()
                       if key[0].endswith("_total") and samples[key] < value]
            assert not falling, falling
            last, reads = samples, reads + 1
        time.sleep(0.005)
    status, out = proc.wait(30)
    assert status == 0 and reads >= 300, (reads, out)
    samples = parse(path.read_bytes())
    received = int(re.search(r"(\d+) datagrams received", out).group(1))
    lost = sum(int(n) for n in re.findall(r"(\d+) lost", out))
    assert received == 120 and summed(samples, "stampcast_datagrams_received_total") == received
    assert summed(samples, "stampcast_datagrams_lost_total") == lost
    assert summed(samples, "stampcast_delay_seconds_count") == received
    query = "sum(stampcast_datagrams_received_total)"
    assert until(lambda: (seen.query(query) or [{"value": [0, "0"]}])[0]["value"][1] == "120", 60)


# 1,030 sources, each an address of its own on lo: the file names at most as many as the stream
# table keeps, the rest under "other", and every datagram is counted.
def test_forged_sources_stay_within_the_series_bound(netns, start, tmp_path):
    ns = netns()
    addresses = [f"10.9.{i // 250}.{i % 250 + 1}" for i in range(1030)]
    (tmp_path / "batch").write_text("".join(f"addr add {a}/32 dev lo\n" for a in addresses))
    ns.ip("-batch", tmp_path / "batch")
    path = tmp_path / "s.prom"
    proc = receiver(start, ns.argv(["-r", "-q", "-c", "1030", "-x", path]))
    send = ("import socket, sys\n"
            "data = bytes.fromhex(sys.argv[1])\n"
            "for address in sys.argv[2:]:\n"
            "    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)\n"
            "    s.bind((address, 0))\n"
            "    s.sendto(data, ('239.1.1.1', 1234))\n"
            "    s.close()\n")
    stamp = timestamp(datetime.now()).hex()
    assert run(ns.cmd(["/usr/bin/python3", "-c", send, stamp, *addresses]), 60)[0] == 0
    status, out = proc.wait(60)
    assert status == 0, out
    text = path.read_text()
    sources = re.findall(r'^stampcast_datagrams_received_total\{[^}]*source="([^"]*)"\} (\d+)$',
                         text, re.M)
    assert len(sources) == 1025 and sources[-1] == ("other", "6")
    assert sum(int(count) for _, count in sources) == 1030


# A folder that is not there ends the run at its start, on either build.
def test_a_path_that_cannot_be_written_ends_the_run_at_start(scan, tmp_path):
    path = path_for(scan, tmp_path / "missing" / "s.prom")
    status, out = run(scan.argv(["-r", "-x", path]), 60)
    assert status == 255 and out.startswith(f"Cannot write metrics to {path}: "), out
    assert len(out.splitlines()) == 1 and "Receiving" not in out
