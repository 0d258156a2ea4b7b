# The Wireshark dissector (tools/stampcast.lua) on a capture of real runs:
# a measuring sender's version 1 trailers and a peer's version 2 ones,
# built from the layout in docs/wire-format.md.
import re, shutil, struct
import pytest
from conftest import ROOT, peer_send, run

FIELDS = ["seq", "sent_ns", "run", "version", "dscp", "period_ns", "burst", "last", "time", "key_id"]
TIME = struct.pack("<8H", 2028, 2, 2, 29, 23, 59, 58, 999)


def v2(seq, sent, dscp, period, burst, last=None):  # the datagram's first bytes and its row
    trailer = b"SCTR" + struct.pack("<HHQQqQQBBH4x", 2, 56, 0xFEDCBA9876543210, seq, sent, period,
                                    last or 0, dscp, last is not None, burst)
    row = [seq, sent, "0xfedcba9876543210", 2, dscp, period, burst, "" if last is None else last]
    return TIME + trailer, [str(v) for v in row] + ["23:59:58:999 on 02-29-2028", ""]


@pytest.mark.skipif(not shutil.which("tshark"), reason="no tshark (scripts/install-deps test)")
def test_dissector_shows_what_was_sent(netns, start, tmp_path, monkeypatch):
    ns, capture = netns(), tmp_path / "run.pcap"
    peer = [v2(0, -1, 46, 25000000, 8, 2**64 - 1),  # the extremes of each field
            v2(2**64 - 1, 2**63 - 1, 63, 0, 1024),
            v2(5, 1700000000123456789, 0, 1, 1, 0)]
    tshark = start(["tshark", "-i", "lo", "-F", "pcap", "-w", capture, "-f", "udp port 1234",
                    "-c", 6 + len(peer), "-a", "duration:60"], ns, limit=90)
    assert tshark.wait_for("Capture started", timeout=30), tshark.out()
    status, out = run(ns.argv(["-m", "-c", "5", "-w", "1", "-s"]))
    assert status == 0, out
    monkeypatch.setenv("PEER_KEY", "3000000000:" + "ab" * 16)  # signs only a datagram with a shift
    signed = (92, peer[2][0], 0)  # the time, the trailer and the block; the others' 100: padding
    peer_send(ns, "239.1.1.1", 1234, [(100, head) for head, _ in peer] + [signed])
    assert tshark.wait(70)[0] == 0, tshark.out()
    words = [w for field in FIELDS for w in ("-e", "stampcast." + field)]
    status, shown = run(["tshark", "-X", f"lua_script:{ROOT / 'tools/stampcast.lua'}",
                         "-r", capture, "-T", "fields", *words])
    rows = [line.split("\t") for line in shown.splitlines() if "\t" in line]
    assert status == 0 and len(rows) == 9, shown
    sent = re.findall(r"Sent Time (\S+ on \S+) .* seq:(\d+)", out)
    assert [[row[0], row[3], row[8]] for row in rows[:5]] == [[seq, "1", time] for time, seq in sent]
    assert rows[5:8] == [row for _, row in peer]
    assert rows[8][9] == "3000000000" and rows[8][0] == "5", rows[8]
