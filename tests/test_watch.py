# Watching a path: jitter and delay percentiles, interval reports (-a), the
# quiet receiver (-q), JSON Lines (-o json) against their schema, the plot.
import json, math, os, re, runpy, signal, struct, time
from datetime import datetime
import jsonschema, matplotlib.image, pytest
from conftest import MCAST, ROOT, peer_send, run, until, veth
from test_measure import HOP, timestamp

def trailer(run, number):  # as the README lays it out
    return b"SCTR" + struct.pack("<HHQQq", 1, 32, run, number, time.time_ns())


SCHEMA = jsonschema.Draft202012Validator(json.loads((ROOT / "docs/stampcast-records.schema.json").read_text()))


def records(out):  # every line a record, "type" first, valid against the schema
    made = [json.loads(line) for line in out.splitlines() if line.startswith('{"type":')]
    assert len(made) == len(out.splitlines()), out
    for record in made:
        SCHEMA.validate(record)
    return made


def listening(start, argv):
    proc = start(argv, limit=120)
    assert proc.wait_for("Receiving...", timeout=30), proc.out()
    return proc


def test_jitter_and_percentiles_match_a_reckoning_of_the_runs_own_delays(build, start):
    proc = listening(start, build.argv(["-m", "-c", "200", "-r"]))
    head = timestamp(datetime.now())
    # Every other datagram stamped 4 ms earlier: transits 4 ms apart by turns.
    peer_send(build, "239.1.1.1", 1234, [(48, head + trailer(9, n), n % 2 * 4000) for n in range(200)])
    code, out = proc.wait(60)
    delays = [float(d) for d in re.findall(r"delay:(-?\d+\.\d{3})ms sent:", out)]
    jitter = 0
    for before, now in zip(delays, delays[1:]):
        jitter += (abs(now - before) - jitter) / 16
    ranked = sorted(delays)
    wanted = [ranked[math.ceil(p * len(ranked) / 100) - 1] for p in (50, 95, 99)]
    got = re.search(r"delay median/95%/99% = (.*)/(.*)/(.*) ms\n.*jitter (.*) ms\n$", out)
    assert code == 0 and len(delays) == 200 and 3.5 < jitter < 4.5, out
    assert [float(g) for g in got.groups()] == pytest.approx(wanted + [jitter], rel=0.01, abs=0.0015), out


@pytest.mark.parametrize("form", [["-o", "json"], []], ids=["json", "text"])
def test_a_quiet_receiver_reports_each_interval_on_time_also_in_silence(build, start, form):
    proc = listening(start, build.argv(["-q", "-a", "1", *form, "-r"]))
    heard = time.monotonic()
    assert proc.wait_for("interval", 4 if form else 3), proc.out()  # and the settings record's interval_s
    assert 2.5 < time.monotonic() - heard < 4.5, proc.out()
    peer_send(build, "239.1.1.1", 1234, [(16, timestamp(datetime.now()))] * 2)
    code, out = proc.wait(sig=signal.SIGINT if build.is_windows else signal.SIGTERM)
    if form:
        made = records(out)
        parts = [(r["start_s"], r["end_s"], r["received"]) for r in made if r["type"] == "interval"]
        assert parts[:3] == [(0, 1, 0), (1, 2, 0), (2, 3, 0)] and made[-1]["received"] == made[-1]["status"] + 2, out
        assert sum(part[2] for part in parts) == 2 and "received" not in [r["type"] for r in made], out
    else:
        parts = re.findall(r"^interval (\d+\.\d{3})-(\d+\.\d{3}) s: (\d+) received, 0 invalid$", out, re.M)
        assert parts[:3] == [("0.000", "1.000", "0"), ("1.000", "2.000", "0"), ("2.000", "3.000", "0")], out
        assert "Received Time" not in out and "\n2 datagrams received from 1 sender, 0 invalid\n" in out, out
    assert code == 0, out


def test_intervals_add_up_to_the_summary_behind_a_dropping_hop(netns, start):
    rx, tx = netns(), netns(MCAST[:1])
    veth(tx, rx, "mx", ("10.76.0.1/24", "10.76.0.2/24"))
    for rule in HOP[:2] + ["add rule netdev hop in udp dport 1234 numgen inc mod 10 == 5 drop"]:
        assert run(rx.cmd(["nft", rule])) == (0, "")
    proc = listening(start, rx.argv(["-q", "-a", "1", "-o", "json", "-c", "900", "-r"]))
    code, out = run(tx.argv(["-m", "-w", "2", "-c", "1000", "-o", "json", "-s"]), 60)
    assert code == 0 and [r["sent"] for r in records(out) if r["type"] == "sent"] == list(range(1000))
    code, out = proc.wait(60)
    made = records(out)
    parts, summary = [r for r in made if r["type"] == "interval"], made[-1]
    keys = ("received", "lost", "duplicates", "out_of_order")
    assert [sum(s[key] for r in parts for s in r["streams"]) for key in keys] == [900, 100, 0, 0], out
    assert [summary["streams"][0][key] for key in keys] == [900, 100, 0, 0] and code == summary["status"] == 2, out
    assert len(parts) >= 2 and [r["start_s"] for r in parts[1:]] == [r["end_s"] for r in parts[:-1]], out


GROUP = os.fsdecode(b'x"\\\xff')  # a group as typed: a quote, a backslash, a byte that is not UTF-8


@pytest.mark.parametrize("args,wanted", [
    (["-d", GROUP, "-c", "1", "-s"], [("settings", 'x"\\\ufffd'), ("message", "Sending..."),
                                      ("error", "Error in Sending data on the socket - 101")]),
    (["-d", GROUP, "-r"], [("message", "Success: Binding the socket - 0"), ("error", "Error: Joining Multicast Group - 22")]),
    (["-t", "64", "-s"], [("message", "The QOS_DS_CLASS is invalid."), ("error", "TcAddFlow: ERROR: 7520"),
                          ("message", "Handle was 34")])])
def test_errors_and_any_text_are_records(netns, args, wanted):
    code, out = run(netns().argv(["-o", "json", *args]))
    assert code == 255 and [(r["type"], r.get("text", r.get("group"))) for r in records(out)] == wanted, out
    assert run(netns().argv(["-o", "xml", "-r"])) == (255, "Unknown output format xml\n")


def test_an_interface_name_is_escaped_as_typed_in_the_settings_record(netns):
    ns = netns()
    name = os.fsdecode(b'i"\\\xff')  # a Linux interface name may hold a quote, a backslash, any byte
    ns.ip("link", "add", name, "type", "veth", "peer", "name", "ipeer")
    ns.ip("link", "set", name, "up")
    ns.ip("link", "set", "ipeer", "up")
    code, out = run(ns.argv(["-o", "json", "-i", name, "-c", "1", "-s"]))
    assert code == 0 and records(out)[0]["interface"] == 'i"\\\ufffd', out


def test_the_plot_draws_a_real_run(netns, start, tmp_path):
    ns = netns()
    proc = listening(start, ns.argv(["-a", "1", "-o", "json", "-e", "46", "-c", "30", "-r"]))
    assert run(ns.argv(["-m", "-w", "50", "-c", "30", "-s"]))[0] == 0
    (tmp_path / "run.jsonl").write_text(proc.wait(60)[1])
    assert run(["/usr/bin/python3", ROOT / "tools/stampcast-plot", tmp_path / "run.jsonl", tmp_path / "run.png"], 120) == (0, "")
    made = records((tmp_path / "run.jsonl").read_text())
    plot = runpy.run_path(str(ROOT / "tools/stampcast-plot"))
    wanted = [(r["from"], r["at_s"], r["delay_ms"], r["dscp"] != 46) for r in made if r["type"] == "received"]
    assert plot["delays"](made) == wanted and len(wanted) == 30 and len(plot["intervals"](made)) >= 1
    assert matplotlib.image.imread(tmp_path / "run.png").shape[2] in (3, 4)


def test_a_paused_receiver_reports_its_datagrams_in_the_intervals_they_arrived_in(netns, start):
    ns = netns()
    proc = listening(start, ns.argv(["-m", "-a", "1", "-o", "json", "-r"]))
    sender = start(ns.argv(["-m", "-w", "100", "-c", "50", "-s"]))
    assert proc.wait_for('"type":"interval"'), proc.out()
    os.kill(proc.pid, signal.SIGSTOP)
    paused = time.monotonic()
    until(lambda: time.monotonic() - paused > 2.2, 5)  # the pause itself
    os.kill(proc.pid, signal.SIGCONT)
    assert sender.wait(30)[0] == 0
    made = records(proc.wait(sig=signal.SIGTERM)[1])
    parts = [r for r in made if r["type"] == "interval"]
    at = [r["at_s"] for r in made if r["type"] == "received"]
    # Ten a second in every whole interval, the paused ones too; those came late and say so.
    assert len(at) == 50 and all(8 <= r["received"] <= 12 for r in parts[1:-1]), parts
    assert max(r["late_s"] for r in parts) > 1 and len(set(at)) == 50, made
    for r in parts:
        assert r["received"] == sum(r["start_s"] <= a < r["end_s"] for a in at), (r, at)
