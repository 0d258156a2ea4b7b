# A receiver of version 2 trailers (built here from docs/wire-format.md)
# behind a hop of nftables rules: re-marking pairs against a policer's own
# count, loss episodes and gaps of a drop by number, losses at the end of
# a -c run, the rate of the whole bytes, intervals that add up, the plot.
import re, runpy, struct, time
from datetime import datetime
import pytest
from conftest import MCAST, PEER, ROOT, run, veth
from test_measure import HOP, timestamp
from test_watch import PLOT, records

# The number's low byte: UDP header 8, timestamp 16 and trailer 16 bytes in.
DROP = ["add rule netdev hop in udp dport 1234 @th,320,8 { 100-149, 230-249 } drop"]
POLICE = ["add rule netdev hop in udp dport 1234 ip dscp set ef",
          "add rule netdev hop in udp dport 1234 limit rate over 1000/second burst 10 packets "
          "ip dscp set cs1 counter"]
LOAD = r"\n  dscp 46 arrived as (\d+): (\d+)\n  loss episodes (\d+), longest gap (\d+) datagrams "
LOAD += r"\(([\d.]+) ms\), ([\d.]+) datagrams/s, ([\d.]+) Mbit/s\n$"
ROWS = [  # rules, trailer version, datagrams the receiver waits for; stream line, load figures
    (DROP, 2, 180, "180 received, 70 lost (28.00%)", ["0", "180", "2", "50", "51.000"]),
    (DROP, 1, 180, "180 received, 50 lost (21.74%)", None),
    (POLICE, 2, 250, "250 received, 0 lost (0.00%)", ["8", "policed", "0", "0", "0.000"])]


def sent(numbers, version=2):  # 1000 bytes each, sent 1 ms apart by their trailers, the last 249
    start, lines = time.time_ns(), ""
    for n in numbers:
        trailer = struct.pack("<HHQQq", version, 8 + 24 * version, 7, n, start + n * 1000000)
        more = struct.pack("<QQBBH4x", 0, 249, 46, 1, 1) if version == 2 else b""
        lines += f"1000 {(timestamp(datetime.now()) + b'SCTR' + trailer + more).hex()}\n"
    return lines


def hop(netns, rx, rules):  # the sender's namespace, linked to rx through the rules
    tx = netns(MCAST[:1])
    veth(tx, rx, "mx", ("10.74.0.1/24", "10.74.0.2/24"))
    for rule in HOP[:2] + rules:
        assert run(rx.cmd(["nft", rule])) == (0, ""), rule
    return tx


def send(tx, receiver, lines):  # from one socket, paced on the receiver's buffer across the link
    assert run(tx.cmd(PEER + ["send", "239.1.1.1", 1234, receiver.pid]), 90, input=lines) == (0, "")


@pytest.mark.parametrize("rules,version,count,stream,load", ROWS,
                         ids=["drop", "version-1", "policer"])
def test_a_stream_under_load_in_the_summary(build, netns, start, rules, version, count, stream,
                                            load):
    tx = hop(netns, build.ns, rules)
    proc = start(build.argv(["-m", "-q", "-c", count, "-r"]), limit=120)
    assert proc.wait_for("Receiving...", timeout=30), proc.out()
    send(tx, proc, sent(range(250), version))
    code, out = proc.wait(60)
    assert code == (0 if rules == POLICE else 2) and f": {stream}, 0 duplicates, " in out, out
    figures = re.search(r"jitter [\d.]+ ms" + (LOAD if load else r"\n$"), out)
    assert figures, out
    if load:
        listed = run(build.ns.cmd(["nft", "list", "chain", "netdev", "hop", "in"]))[1]
        policed = re.search(r"counter packets (\d+)", listed)
        load[1] = policed.group(1) if policed else "180"
        per_second, mbit = map(float, figures.groups()[5:])
        # the bytes that came, 1000 a datagram, though the receiver keeps 100
        assert list(figures.groups()[:5]) == load, out
        assert mbit * 125000 / per_second == pytest.approx(1000, 0.01), out


def test_intervals_add_up_to_the_summary_and_the_plot_draws_them(netns, start, tmp_path):
    rx = netns()
    tx = hop(netns, rx, DROP)
    proc = start(rx.argv(["-q", "-o", "json", "-a", "1", "-e", "46", "-c", "180", "-r"]), limit=120)
    assert proc.wait_for("Receiving...", timeout=30), proc.out()
    send(tx, proc, sent(range(200)))
    assert proc.wait_for('"type":"interval"', timeout=30), proc.out()
    send(tx, proc, sent(range(200, 250)))  # a second peer, a second stream
    code, out = proc.wait(60)
    (tmp_path / "run.jsonl").write_text(out)
    made = records(out)
    intervals = [record for record in made if record["type"] == "interval"]
    parts = [s for record in intervals for s in record["streams"]]
    # The first names 249 its last: 200-249 are its losses at the end.
    streams = made[-1]["streams"]
    figures = [(s["lost"], s["loss_episodes"], s["longest_gap"]) for s in streams]
    gaps = [{"datagrams": 50, "ms": 51.0}, {"datagrams": 0, "ms": 0}]
    assert code == 2 and figures == [(100, 2, gaps[0]), (20, 1, gaps[1])]
    for whole in streams:
        mine = [part for part in parts if part["from"] == whole["from"]]
        for name in ("received", "lost", "loss_episodes"):
            assert sum(part[name] for part in mine) == whole[name], name
        assert sum(c["count"] for part in mine for c in part["dscp_changes"]) == whole["received"]
    assert sum(r["dscp"].get("0", 0) for r in intervals) == made[-1]["dscp"]["0"] == 180
    assert sum(r["mismatches"] for r in intervals) == made[-1]["mismatches"] == 180
    plot = runpy.run_path(str(ROOT / "tools/stampcast-plot"))
    assert [row[1:] for row in plot["under_load"](made)] == [(100, 51), (100, 0)]
    assert run(PLOT + [tmp_path / "run.jsonl", tmp_path / "run.png"]) == (0, "")
