# The sender's load: a rate on a schedule (-b), the datagram's size (-z),
# bursts (-n), and the summary of what it sent.
import re, signal
import pytest
from conftest import peer_probe, receiver, run
from test_watch import records

SUMMARY = r"--- 239\.1\.1\.1:1234 sent ---\n(\d+) datagrams, (\d+) bytes in ([\d.]+) s: "
# Refused before anything is set up, whatever the build. The forms each value
# takes are cli/load_options_test.cc's; the size's bounds as a run sets them, here.
BAD = [(["-b", "5 pps"], "Not a rate: 5 pps\n"),
       (["-z", "15"], "Datagram size out of range: 15\n"),
       (["-m", "-z", "71"], "Datagram size out of range: 71\n"),
       (["-d", "ff15::81", "-z", "65528"], "Datagram size out of range: 65528\n"),
       (["-n", "1025"], "Burst out of range: 1025\n")]


@pytest.mark.parametrize("args,text", BAD, ids=[" ".join(args) for args, _ in BAD])
def test_bad_values_end_the_run_before_anything_is_set_up(scan, args, text):
    assert run(scan.argv([*args, "-s"]), 60) == (255, text)


def heard(probe):  # (length, arrival in seconds, trailer's number) a datagram
    rows = [line.split() for line in probe.wait(30)[1].splitlines()[1:]]
    number = lambda head: int.from_bytes(bytes.fromhex(head)[32:40], "little")
    return [(int(n), int(t) / 1e9, number(h)) for n, t, h in rows]


# 4000 at 2000 a second take 2 s. A busy host may hold the sender back
# past a period (a slip, which moves the schedule on), never ahead of it.
def test_the_rate_reached_is_the_rate_asked(netns, start):
    ns = netns()
    rx = receiver(start, ns.argv(["-q", "-c", "4000", "-r"]))
    status, out = run(ns.argv(["-b", "2000pps", "-c", "4000", "-m", "-q", "-s"]), 60)
    count, _, seconds = re.search(SUMMARY, out).groups()
    slips = int(re.search(r"(\d+) slips\n$", out)[1])
    assert status == 0 and count == "4000" and float(seconds) > 2 * 0.99, out
    assert slips > 0 or float(seconds) < 2 * 1.01, out
    assert "\n4000 datagrams received from 1 sender, 0 invalid\n" in rx.wait(30)[1]


# 12 datagrams, in bursts of 3 where asked, 20 ms apart: a rate in bits counts the size asked
# (1200 bytes) or the measured one (72).
@pytest.mark.parametrize("args,length,rate", [(["-z", "1200", "-m"], 1200, "480k"),
                                              (["-z", "65507", "-m"], 65507, "50pps"),
                                              (["-m", "-n", "3"], 72, "86.4k")])
def test_the_size_on_the_wire_and_the_bursts_apart(netns, start, args, length, rate):
    ns = netns()
    probe = peer_probe(start, ns, "239.1.1.1", 1234, 12, 20, "arrivals")
    assert run(ns.argv([*args, "-b", rate, "-c", "12", "-q", "-s"]), 30)[0] == 0
    got = heard(probe)
    assert [n for n, _, _ in got] == [length] * 12
    burst = 3 if "-n" in args else 1
    assert [number for _, _, number in got] == list(range(12))
    assert all(got[i + burst - 1][1] - got[i][1] < 0.005 for i in range(0, 12, burst))
    starts = [t for i, (_, t, _) in enumerate(got) if i % burst == 0]
    assert abs((starts[-1] - starts[0]) / (len(starts) - 1) - 0.02) < 0.003, starts


def test_windows_sender_with_a_rate_and_a_size(wine, start, record):  # record: the adapters
    win = wine()
    probe = peer_probe(start, win.ns, "239.1.1.1", 1234, 50, 20, "arrivals")
    status, out = run(win.argv(["-b", "100pps", "-z", "1000", "-m", "-c", "50", "-q", "-s"]), 60)
    count, size, seconds = re.search(SUMMARY, out).groups()
    assert status == 0 and (count, size) == ("50", "50000") and 0.49 < float(seconds) < 0.6, out
    assert [n for n, _, _ in heard(probe)] == [1000] * 50


def test_a_stop_request_ends_a_paced_sender_with_its_summary_in_either_form(netns, start):
    ns = netns()
    text = start(ns.argv(["-b", "100pps", "-z", "100", "-q", "-s"]))
    json = start(ns.argv(["-b", "1k", "-n", "2", "-o", "json", "-s"]))
    assert text.wait_for("Sending...\n") and json.wait_for('"type":"sent"', 4), json.out()
    status, out = text.wait(10, signal.SIGINT)
    count, size, _ = map(float, re.search(SUMMARY, out).groups())
    assert status == 0 and size == 100 * count and count > 10 and out.endswith(" 0 slips\n"), out
    status, out = json.wait(10, signal.SIGINT)
    summary = records(out)[-1]
    assert status == 0 and summary["type"] == "sender_summary"
    assert summary["bytes"] == 16 * summary["datagrams"] > 0
