# A receiver of a sender under load (version 2 trailers, built here from
# docs/wire-format.md): re-marking pairs against a policer's own count,
# loss episodes and gaps of a hop that drops by sequence number, losses at
# the end of a -c run, the rate of the bytes that came, and intervals that
# add up to the summary.
import re, runpy, struct, time
import pytest
from conftest import MCAST, PEER, ROOT, peer_send, receiver, run, veth
from test_measure import timestamp
from test_watch import PLOT, records
from datetime import datetime

# Rules on the receiver's way in; "{n}" is the low byte of a datagram's number
# (UDP header 8 + timestamp 16 + trailer 16 bytes in, little-endian).
HOP = ["add table netdev hop", "add chain netdev hop in { type filter hook ingress device lxb priority 0 ; }"]
NUMBER = "udp dport 1234 @th,320,8"
DROP = [f"add rule netdev hop in {NUMBER} {{ 100-149, 230-249 }} drop"]
POLICE = ["add rule netdev hop in udp dport 1234 ip dscp set ef",
          "add rule netdev hop in udp dport 1234 limit rate over 1000/second burst 10 packets ip dscp set cs1 counter"]
START = time.time_ns()


def datagram(number, version=2, last=249):  # 1000 bytes, sent 1 ms apart by its trailer
    sent = START + number * 1000000
    if version == 1:
        trailer = b"SCTR" + struct.pack("<HHQQq", 1, 32, 7, number, sent)
    else:
        trailer = b"SCTR" + struct.pack("<HHQQqQQBBH4x", 2, 56, 7, number, sent, 0, last, 46, 1, 1)
    return 1000, timestamp(datetime.now()) + trailer


def hop(build, rules):
    tx = build.netns_of(MCAST[:1])
    veth(tx, build.ns, "lx", ("10.74.0.1/24", "10.74.0.2/24"))
    for rule in HOP + rules:
        assert run(build.ns.cmd(["nft", rule])) == (0, ""), rule
    return tx


def paced(tx, proc, datagrams):  # from tx over the hop, as fast as the receiver proc takes them
    text = "".join(f"{size} {head.hex()}\n" for size, head in datagrams)
    assert run(tx.cmd(PEER + ["send", "239.1.1.1", 1234, proc.pid]), 90, input=text) == (0, "")


def rate_bytes(line):  # the bytes a datagram the line's rate holds
    per_second, mbit = map(float, re.search(r"([\d.]+) datagrams/s, ([\d.]+) Mbit/s$", line).groups())
    return mbit * 1e6 / 8 / per_second


STREAM = r"from 10\.74\.0\.1:\d+: "
ROWS = {  # rules, version, count the receiver waits for; the summary's stream lines
    "dropped-run-and-end": (DROP, 2, 180, STREAM + r"180 received, 70 lost \(28\.00%\), 0 duplicates, 0 out of order, "
                            r"jitter [\d.]+ ms\n  dscp 46 arrived as 0: 180\n"
                            r"  loss episodes 2, longest gap 50 datagrams \(51\.000 ms\), .*\n$"),
    "version-1": (DROP, 1, 180, STREAM + r"180 received, 50 lost \(21\.74%\), 0 duplicates, 0 out of order, "
                  r"jitter [\d.]+ ms\n$"),
    "policer": (POLICE, 2, 250, STREAM + r"250 received, 0 lost \(0\.00%\), 0 duplicates, 0 out of order, "
                r"jitter [\d.]+ ms\n  dscp 46 arrived as 8: (\d+)\n"
                r"  loss episodes 0, longest gap 0 datagrams \(0\.000 ms\), .*\n$"),
}


@pytest.mark.parametrize("row", ROWS)
def test_pairs_episodes_gaps_and_rate_of_a_stream_under_load(build, netns, start, row):
    rules, version, count, summary = ROWS[row]
    build.netns_of = netns
    tx = hop(build, rules)
    proc = receiver(start, build.argv(["-m", "-q", "-c", str(count), "-r"]))
    paced(tx, proc, [datagram(n, version) for n in range(250)])
    code, out = proc.wait(60)
    found = re.search(summary, out)
    assert code == (2 if version == 2 and rules == DROP or row == "version-1" else 0) and found, out
    if row == "policer":  # the pairs equal the policer's own count of what it re-marked
        listed = run(build.ns.cmd(["nft", "list", "chain", "netdev", "hop", "in"]))[1]
        assert found.group(1) == re.search(r"counter packets (\d+)", listed).group(1), listed
    if version == 2:  # the rate's bytes are the datagrams' whole 1000, not the 100 the receiver keeps
        assert rate_bytes(out.rstrip("\n").splitlines()[-1]) == pytest.approx(1000, rel=0.01), out


def test_intervals_add_up_to_the_summary_and_the_plot_draws_them(netns, start, tmp_path):
    build = netns()
    build.netns_of = netns
    tx = hop(build, DROP)
    proc = receiver(start, build.argv(["-m", "-q", "-o", "json", "-a", "1", "-c", "180", "-r"]))
    peer_send(tx, "239.1.1.1", 1234, [datagram(n) for n in range(200)])
    assert proc.wait_for('"type":"interval"', timeout=30), proc.out()
    peer_send(tx, "239.1.1.1", 1234, [datagram(n) for n in range(200, 250)])
    code, out = proc.wait(60)
    made = records(out)
    parts = [stream for record in made if record["type"] == "interval" for stream in record["streams"]]
    # Two peers, two streams: the first names 249 its last and lost 200-249 at the end too.
    streams = made[-1]["streams"]
    assert [(s["lost"], s["loss_episodes"], s["longest_gap"]["datagrams"]) for s in streams] == [(100, 2, 50), (20, 1, 0)]
    assert (code, streams[0]["longest_gap"]["ms"], streams[0]["dscp_changes"][0]["count"]) == (2, 51.0, 150), out
    for whole in streams:
        mine = [part for part in parts if part["from"] == whole["from"]]
        for name in ("received", "lost", "loss_episodes"):
            assert sum(part[name] for part in mine) == whole[name], name
        assert sum(sum(pair["count"] for pair in part["dscp_changes"]) for part in mine) == whole["received"]
        assert max(part["longest_gap"]["datagrams"] for part in mine) == whole["longest_gap"]["datagrams"]
    plot = runpy.run_path(str(ROOT / "tools/stampcast-plot"))
    shares = [(end, round(share, 1), gap) for end, share, gap in plot["under_load"](made)]
    assert shares == [(1.0, 100.0, 51.0), (made[-2]["end_s"], 100.0, 0.0)]
    assert run(PLOT + [run_file(tmp_path, out), tmp_path / "run.png"]) == (0, "")
    assert (tmp_path / "run.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def run_file(tmp_path, out):
    (tmp_path / "run.jsonl").write_text(out)
    return tmp_path / "run.jsonl"
