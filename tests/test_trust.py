# -k and -y: only datagrams signed with a key of the file, and newer than
# every one before, reach the clock (counted as clock-setting calls under
# strace, in `unshare -r -n` where they fail) or chronyd's SOCK refclock.
import hmac, os, struct, time
import pytest
from conftest import BIN, PEER, peer_send, receiver, run, until, veth

KEYS = {1: b"k1-0123456789abcdef", 2: bytes(range(32))}
TRACE = ["strace", "-f", "-qq", "-e", "trace=clock_settime,settimeofday", "-E", "ASAN_OPTIONS=detect_leaks=0"]


def key_file(folder, ids):
    path = folder / f"keys{''.join(map(str, ids))}"
    path.write_text("# test keys\n" + "".join(f"{i} SHA256 HEX:{KEYS[i].hex()}\n" for i in ids))
    path.chmod(0o600)
    return path


def signed(sent_ns, number, key_id=2, key=None, run=7):  # the time, trailer version 2, the block
    t = time.localtime(sent_ns // 10**9)
    head = struct.pack("<8H", t.tm_year, t.tm_mon, (t.tm_wday + 1) % 7, t.tm_mday, t.tm_hour,
                       t.tm_min, t.tm_sec, sent_ns // 10**6 % 1000)
    trailer = b"SCTR" + struct.pack("<HHQQqQQBBH4x", 2, 56, run, number, sent_ns, 0, 0, 32, 0, 1)
    body = head + trailer + struct.pack(">I", key_id)
    return body + hmac.new(key or KEYS[key_id], body, "sha256").digest()[:16]


def flip(data, index): return data[:index] + bytes([data[index] ^ 1]) + data[index + 1:]


def test_only_genuine_new_datagrams_set_the_clock(netns, start, tmp_path):
    ns = netns(user=True)  # root of its own user namespace only: it cannot set the clock
    sender = ns.argv(["-k", key_file(tmp_path, [2]), "-c", "2", "-w", "50", "-s"])
    now, ok = time.time_ns() + 10**9, "Error: Setting local time - 1"
    older = signed(now - 10**9, 5, run=6)
    rows = [  # what the peer sends after the sender's two, and the clock's report
        (signed(now, 0)[:72], "Time not updated: not authenticated"),  # no tag
        (signed(now, 0, key=b"a wrong key of 16+ bytes"), "Time not updated: not authenticated"),
        (flip(signed(now, 0), 10), "Time not updated: not authenticated"),  # the time
        (flip(signed(now, 0), 45), "Time not updated: not authenticated"),  # the send time
        (flip(signed(now, 0), 91), "Time not updated: not authenticated"),  # the tag
        (signed(now, 0)[:30], "Time not updated: not authenticated"),  # a short block
        (signed(now, 0, key_id=3, key=KEYS[2]), "Time not updated: not authenticated"),
        (signed(now, 0), ok),
        (signed(now, 0), "Time not updated: replayed"),
        (signed(now + 10**6, 1, key_id=1), ok),  # the receiver's other key
        (older, "Time not updated: replayed"),  # an older run, after a newer one
    ]
    trace = tmp_path / "trace"
    argv = ns.cmd([*TRACE, "-o", trace, BIN, "-k", key_file(tmp_path, [1, 2]), "-u", "-c", len(rows) + 2, "-r"])
    proc = receiver(start, argv)
    assert run(sender)[0] == 0
    assert proc.wait_for(" seq:1\n", timeout=30), proc.out()
    peer_send(ns, "239.1.1.1", 1234, [(len(data), data) for data, _ in rows])
    status, out = proc.wait(60)
    reports = [line for line in out.splitlines() if line.startswith(("Time", "Error"))]
    assert (status, reports) == (0, [ok, ok] + [report for _, report in rows]), out
    calls = [line for line in trace.read_text().splitlines() if "settime" in line and "resumed" not in line]
    assert len(calls) == 4, calls


# No makestep. As root: chronyd wants its command socket's folder owned by its user. For the
# receiver with -y: a SOCK sample says that at local time tv the true time was tv + offset, and
# chronyc's offsets are the local clock's less the source's (a source 2 s ahead shows as -2 s).
CHRONY_CONF = ["refclock SOCK {0}/stmp.sock refid STMP poll 0 filter 4", "cmdport 0", "user root",
               "bindcmdaddress {0}/chronyd.sock", "pidfile {0}/chronyd.pid", "driftfile {0}/drift", "dumpdir {0}"]


@pytest.mark.skipif(not os.path.exists("/usr/sbin/chronyd"), reason="no chrony (scripts/install-deps test)")
def test_chronyd_takes_only_signed_samples_with_the_senders_offset(netns, start, tmp_path):
    ns, folder = netns(), tmp_path  # chronyd -x sets no clock
    (folder / "chrony.conf").write_text("\n".join(CHRONY_CONF).format(folder))
    chronyd = start(["/usr/sbin/chronyd", "-x", "-d", "-f", folder / "chrony.conf"], ns, limit=300)
    assert until(lambda: (folder / "chronyd.sock").exists(), 30), chronyd.out()
    proc = receiver(start, ns.argv(["-k", key_file(tmp_path, [2]), "-y", folder / "stmp.sock", "-r"]))
    peer = ns.cmd(["env", f"PEER_KEY=2:{KEYS[2].hex()}", *PEER, "send", "239.1.1.1", 1234])
    chronyc = ns.cmd(["chronyc", "-c", "-h", folder / "chronyd.sock"])

    def stmp(what):  # STMP's rows: mode, state, name, stratum, poll, reach, last, offset, measured, error
        return [row.split(",") for row in run(chronyc + [what])[1].splitlines() if "STMP" in row]

    def sent(n):  # re-signed 2 s ahead by the peer; then one 60 s ahead under another key
        forged = signed(time.time_ns() + 60 * 10**9, n, key=b"x" * 16)
        text = f"92 {signed(time.time_ns(), n).hex()} -2000000\n92 {forged.hex()}\n"
        assert run(peer, 30, input=text) == (0, "")
        return any(row[5] != "0" for row in stmp("sources"))
    assert any(sent(n) for n in range(150)), (stmp("sources"), proc.out()[:600])
    # Its first reading, before chronyd tracks the source: chronyc's offsets are the
    # local clock's less the source's, 2 s behind.
    assert abs(float(stmp("sources")[0][8]) + 2.0) < 0.05, stmp("sources")
    assert int(stmp("sourcestats")[0][1]) >= 1


# The same key file for both builds; the Linux sender's 1200-byte datagrams carry
# zeros before the block, which is their last 20 bytes.
@pytest.mark.parametrize("sender,size", [("windows", []), ("linux", ["-z", "1200"])])
def test_windows_and_linux_builds_authenticate_each_other(netns, wine, start, tmp_path, record,
                                                           sender, size):
    win, linux, keys = wine(), netns(), key_file(tmp_path, [1, 2])
    veth(win.ns, linux.ns, "kx", ("10.70.0.1/24", "10.70.0.2/24"))  # the adapter that faces it
    tx, rx = (win, linux) if sender == "windows" else (linux, win)
    path = {win: f"Z:{keys}", linux: keys}
    listener = receiver(start, rx.argv(["-k", path[rx], "-m", "-c", "3", "-r"]))
    status, out = run(tx.argv(["-k", path[tx], *size, "-m", "-c", "3", "-w", "100", "-s"]), 60)
    assert status == 0, out
    status, out = listener.wait(30)
    assert status == 0 and " (unauthenticated)" not in out, out
    assert "3 datagrams received from 1 sender, 0 invalid, 0 unauthenticated\n" in out, out
