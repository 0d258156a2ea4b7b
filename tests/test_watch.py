# Watching a path: jitter and delay percentiles, interval reports (-a), the
# quiet receiver (-q), JSON Lines (-o json) against their schema, the plot.
import json, os, re, runpy, signal, struct, time
from datetime import datetime
import jsonschema, matplotlib.image, pytest
from conftest import ROOT, link, peer_send, receiver, run, until
from test_measure import timestamp


SCHEMA = jsonschema.Draft202012Validator(json.loads((ROOT / "docs/stampcast-records.schema.json").read_text()))


def records(out):  # every line a record, "type" first, valid against the schema
    made = [json.loads(line) for line in out.splitlines() if line.startswith('{"type":')]
    assert len(made) == len(out.splitlines()), out
    for record in made:
        SCHEMA.validate(record)
    return made


def forged(run, number, sent, **change):  # a datagram of 48 bytes with the trailer's fields as given
    return 48, timestamp(datetime.now(), **change) + b"SCTR" + struct.pack("<HHQQq", 1, 32, run, number, sent)


def test_jitter_and_percentiles_follow_the_runs_own_delays(build, start):
    proc = receiver(start, build.argv(["-m", "-c", "200", "-r"]))
    # Every other datagram stamped 4 ms earlier: transits 4 ms apart by turns.
    peer_send(build, "239.1.1.1", 1234, [(*forged(9, n, 0), n % 2 * 4000) for n in range(200)])
    code, out = proc.wait(60)
    ranked = sorted(float(d) for d in re.findall(r"delay:(-?\d+\.\d{3})ms sent:", out))
    got = re.search(r"delay median/95%/99% = (.*)/(.*)/(.*) ms\n.*jitter (.*) ms\n$", out)
    *percentiles, jitter = [float(g) for g in got.groups()]
    # The nearest ranks of 200 (the 100th, 190th, 198th) of the lines' own delays; the jitter of transits
    # 4 ms apart by turns. (The running mean and the ranks themselves are the unit tables'.)
    assert code == 0 and len(ranked) == 200 and 3.5 < jitter < 4.5, out
    assert percentiles == pytest.approx([ranked[99], ranked[189], ranked[197]], rel=0.01, abs=0.0015), out


@pytest.mark.parametrize("form", [["-o", "json"], []], ids=["json", "text"])
def test_a_quiet_receiver_reports_each_interval_on_time_also_in_silence(build, start, form):
    proc = receiver(start, build.argv(["-q", "-a", "1", *form, "-r"]))
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
        assert re.search(r" s: 2 received, 0 invalid\n  tos 0: 2\n", out) and out.count("  tos") == 1, out
    assert code == 0, out


def test_forged_extremes_keep_their_records_valid_and_as_the_text_says(netns, start):
    ns = netns()
    sent = [forged(5, 0, 0, year=30827), forged(5, 2**64 - 1, -2**63), forged(6, 2**63, 2**63 - 1)]
    outs = []
    for form in (["-o", "json"], []):
        proc = receiver(start, ns.argv(["-a", "60", "-c", "3", *form, "-r"]))
        peer_send(ns, "239.1.1.1", 1234, sent)
        outs.append(proc.wait(60))
    (code, out), (text_code, text) = outs
    made = records(out)
    got = [(r["time"][:6], r["sent"]) for r in made if r["type"] == "received"]
    assert got[0] == ("30827-", 0) and [g[1] for g in got[1:]] == [2**64 - 1, 2**63], out
    part, summary = made[-2:]
    assert [s["lost"] for s in part["streams"]] == [s["lost"] for s in summary["streams"]] == [2**64 - 2, 0], out
    assert "18446744073709551614 lost (100.00%)" in text and code == text_code == 2, text
    # The transit's microseconds at their limit, rounded once, alike in both.
    assert "/9223372036854.776/" in text and '"max":9223372036854.776,"mdev"' in out, (text, out)


GROUP = os.fsdecode(b'x"\\\xff')  # a group as typed: a quote, a backslash, a byte that is not UTF-8


@pytest.mark.parametrize("args,wanted", [
    (["-d", GROUP, "-c", "1", "-s"], [("settings", 'x"\\\ufffd'), ("message", "Sending..."),
                                      ("error", "Error in Sending data on the socket - 101")]),
    (["-d", GROUP, "-r"], [("message", "Success: Binding the socket - 0"), ("error", "Error: Joining Multicast Group - 22")]),
    (["-t", "64", "-a", "5", "-s"], [("message", "The QOS_DS_CLASS is invalid."), ("error", "TcAddFlow: ERROR: 7520"),
                                     ("message", "Handle was 34")]),
    (["-i", "a\nb", "-r"], [("error", "Unknown interface a\nb")])])  # one record, the line end escaped
def test_errors_and_any_text_are_records(netns, args, wanted):
    code, out = run(netns().argv(["-o", "json", *args]))
    made = records(out)
    assert code == 255 and [(r["type"], r.get("text", r.get("group"))) for r in made] == wanted, out
    assert all("interval_s" not in r for r in made), out  # senders take no -a


PLOT = ["/usr/bin/python3", ROOT / "tools/stampcast-plot"]
HEAD = {"type": "settings", "role": "receiver", "group": "239.1.1.1", "port": 1234, "update": False,
        "expected_dscp": 46, "interval_s": 1}


def got(seq, sent, delay, order=""):  # a received record of sender 10.1.0.1:40000
    return {"type": "received", "seq": seq, "time": "2026-12-07T15:36:43.581", "at_s": seq / 10,
            "from": "10.1.0.1:40000", "dscp": 46, "ttl": 1, "delay_ms": delay, "sent": sent,
            "duplicate": order == "d", "out_of_order": order == "o", "valid": True}


def part(start, lost, delays):  # an interval record, the delays as min/p50/p95 or None
    band = dict(zip(("min", "p50", "p95", "avg", "max", "p99"), delays * 2)) if delays else None
    stream = {"from": "10.1.0.1:40000", "run": "00000000000000ab", "received": 9, "lost": lost,
              "duplicates": 0, "out_of_order": 0, "delay_ms": band, "jitter_ms": 0.1}
    return {"type": "interval", "start_s": start, "end_s": start + 1, "late_s": 0, "received": 9, "invalid": 0,
            "dscp": {"46": 9}, "mismatches": 0, "streams": [stream]}


def jsonl(*made):  # as the receiver writes them, and valid
    text = "".join(json.dumps(record, separators=(",", ":")) + "\n" for record in made)
    return records(text) and text.encode()


RUN = jsonl(HEAD, got(0, 0, 1.0), got(1, 3, 1.5), got(2, 1, 2.0, "o"), got(3, 3, 1.1, "d"), got(4, 7, 1.2))
QUIET = jsonl(HEAD, part(0, 0, (1.0, 1.2, 1.9)), part(1, 3, (1.1, 1.4, 2.5)), part(2, 0, None))


# A line that is not JSON or not UTF-8 is skipped as "cut" and "quiet" show.
@pytest.mark.parametrize("given,skipped", [
    (b'{"type":"error","text":"Error: Joining Multicast Group - 19"}\n', None), (b'{"x":1}\n', None),
    ("missing", None), ("folder", None), (RUN + b'{"type":"rec', 7), (b"\xff\n" + QUIET, 1)],
    ids=["errors", "untyped", "missing", "unreadable", "cut", "quiet"])
def test_the_plot_refuses_what_holds_nothing_to_draw_and_skips_what_is_no_record(tmp_path, given, skipped):
    source, png = tmp_path / "run.jsonl", tmp_path / "run.png"
    if isinstance(given, bytes):
        source.write_bytes(given)
    code, err = run(PLOT + [tmp_path if given == "folder" else source, png], 120)
    lines = err.splitlines()
    assert len(lines) == 1 and lines[0].startswith("stampcast-plot: ") and "Traceback" not in err, err
    if skipped is None:
        assert code == 1 and not png.exists(), err
    else:  # drawn all the same
        assert code == 0 and f"run.jsonl:{skipped}: not a record, skipped" in err, err
        assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n" and matplotlib.image.imread(png).shape[2] in (3, 4)


def test_windows_takes_and_writes_a_name_beyond_ascii_as_it_is(wine, start):
    rx = wine()  # the command line read as UTF-16, the adapter's alias matched, the record written in UTF-8
    link(rx.ns, "réseau0", "10.78.0.1/24")
    proc = receiver(start, rx.argv(["-o", "json", "-i", "réseau0", "-r"]))
    assert [r["interface"] for r in records(proc.out()) if r["type"] == "settings"] == ["réseau0"], proc.out()
    assert "239.1.1.1" in run(rx.ns.cmd(["ip", "maddr", "show", "dev", "réseau0"]))[1]


def test_the_plot_marks_losses_and_orders_apart_and_bands_a_quiet_run():
    plot = runpy.run_path(str(ROOT / "tools/stampcast-plot"))
    loud, quiet = ([json.loads(line) for line in data.splitlines()] for data in (RUN, QUIET))
    assert plot["losses"](loud) == [(0.1, 1), (0.4, 3)]  # at the arrival above each gap; 1 came late
    assert plot["marked"](loud, "duplicate") == [(0.3, 1.1)] and plot["marked"](loud, "out_of_order") == [(0.2, 2.0)]
    assert plot["losses"](quiet) == [(2, 3)] and plot["delays"](quiet) == []
    assert plot["bands"](quiet) == {"10.1.0.1:40000": [(0.5, 1.0, 1.2, 1.9), (1.5, 1.1, 1.4, 2.5)]}


def test_the_plot_without_matplotlib_names_the_package_to_install(tmp_path):
    hidden = "import runpy, sys; sys.modules['matplotlib'] = None; sys.argv = sys.argv[1:]; " \
             "runpy.run_path(sys.argv[0], run_name='__main__')"
    (tmp_path / "r").write_bytes(RUN)
    code, err = run(["/usr/bin/python3", "-c", hidden, *PLOT[1:], tmp_path / "r", tmp_path / "r.png"])
    assert (code, err) == (1, "stampcast-plot: needs matplotlib: install python3-matplotlib on Debian, "
                              "or pip install matplotlib elsewhere\n")


def test_a_paused_receiver_reports_its_datagrams_in_the_intervals_they_arrived_in(netns, start):
    ns = netns()
    proc = receiver(start, ns.argv(["-m", "-a", "1", "-o", "json", "-r"]))
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
