# Timestamps on the wire: what the sender sends and prints, what the
# receiver reports, and how both hold up under floods and signals.
import os, random, re, signal, struct, subprocess, time
from datetime import date, datetime, timedelta
from zoneinfo import ZoneInfo
import pytest
from conftest import BIN, TIME, fields, peer_probe, peer_send, received, receiver, stamp, udp

SENT = rf"Sent Time {TIME} to: \S+ tos:\d+ ttl:\d+ seq:\d+\n"
HEAD = ("\nSuccess: Binding the socket - 0\nSuccess: Joining Multicast Group - 0\n\n"
        "destAddress = 239.1.1.1\ndestPort    = 1234\nUpdate      = {}\n\nReceiving...\n")


END = struct.pack("<8H", 2099, 12, 4, 31, 23, 59, 59, 999)


def heard(proc, ns, lines, update="FALSE"):
    # Exactly these lines and no other: the receiver, counting one more, ends on a last datagram sent after them.
    peer_send(ns, "239.1.1.1", 1234, [(16, END)])
    end = received(fields(END), len(lines)) + ("Error: Setting local time - 1\n" if update == "TRUE" else "")
    status, out = proc.wait(60)
    assert status == 0 and out == HEAD.format(update) + "".join(lines) + end, out[-300:]


INT, KILL = signal.SIGINT, signal.SIGKILL


@pytest.mark.parametrize("args,tos,ttl,sig", [  # and the sender's lines stay whole when a signal ends it
    ([], 0x80, 1, INT), (["-t", "0"], 0, 1, KILL), (["-t", "46", "-l", "7"], 0xb8, 7, INT),
    (["-t", "63"], 0xfc, 1, KILL), (["-q", "-t", "46"], 0xb8, 1, INT),
    (["-m"], 0x80, 1, INT), (["-q", "-m"], 0x80, 1, KILL)])  # with a trailer, which lines and readers pass over
def test_datagrams_carry_the_ds_field_and_match_their_lines(netns, start, args, tos, ttl, sig):
    ns = netns()
    probe = peer_probe(start, ns, "239.1.1.1", 1234, 5, 5)
    sender = start(ns.cmd([BIN, "-w", "0", *args, "-s"]))
    got = [line.split() for line in probe.wait(10)[1].splitlines()[1:]]
    status, out = sender.wait(sig=sig)
    lines = out.split("...\n")[1].split("\n--- ")[0]  # a stop asks a measuring sender for its summary
    lines = lines[: lines.rfind("\n") + 1]  # a kill may land inside the last line's write, never before it
    assert status == (0 if "-m" in args and sig == INT else -sig) and re.fullmatch(f"({SENT})*", lines) and (lines.count("\n") >= 4) != ("-q" in args)
    assert len(got) == 5 and {(int(t), int(l)) for t, l, _ in got} == {(tos, ttl)}
    runs = set()
    for seq, (_, _, data) in enumerate(got):
        data = bytes.fromhex(data)
        assert len(data) == (48 if "-m" in args else 16)
        if len(data) == 48:  # the trailer as the README lays it out
            marker, version, length, run, number, sent = struct.unpack("<4sHHQQq", data[16:])
            assert (marker, version, length, number) == (b"SCTR", 1, 32, seq) and abs(sent / 1e9 - time.time()) < 60
            runs.add(run)
    assert len(runs) == ("-m" in args)
    for seq, (line, (_, _, data)) in enumerate(zip(lines.splitlines(True), got)):
        f = fields(bytes.fromhex(data))
        assert line == f"Sent Time {stamp(f)} to: 239.1.1.1:1234 tos:{tos >> 2} ttl:{ttl} seq:{seq}\n"
        assert date(f[0], f[1], f[3]).isoweekday() % 7 == f[2]


def test_receiver_reports_each_size_and_only_its_own_group(build, start):
    # The receive buffer holds 100 bytes and is cleared before each datagram:
    # a longer one is cut, a shorter one shows zeros where it ends.
    sizes, head = [16, 0, 15, 100, 200, 65507, 15], struct.pack("<8H", 2008, 3, 1, 17, 14, 5, 30, 999)
    peer_probe(start, build, "239.2.2.2", 1235, 1, 60)  # another socket joins another group
    proc = receiver(start, build.argv(["-c", len(sizes) + 1, "-r"]))
    if not build.is_windows:  # not under Wine, whose sockets hear every group their host joined
        peer_send(build, "239.2.2.2", 1234, [(16, struct.pack("<8H", 2001, 1, 1, 1, 1, 1, 1, 1))])
    peer_send(build, "239.1.1.1", 1234, [(size, head) for size in sizes])
    heard(proc, build, [received(fields(head[:size]), seq) for seq, size in enumerate(sizes)])


def test_clock_is_set_only_from_whole_valid_timestamps(netns, start):
    ns = netns(user=True)  # root of its own user namespace only: it cannot set the clock
    t = time.localtime()
    now = [t.tm_year, t.tm_mon, (t.tm_wday + 1) % 7, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, 0]
    ok, bad = "Error: Setting local time - 1\n", "Time not updated: invalid timestamp\n"
    rows = [(16, {}, ok), (15, {}, bad), (0, {}, bad), (100, {}, ok), (200, {2: 9}, ok), (16, {1: 2, 3: 30}, bad), (16, {}, ok)]
    sent = [(n, struct.pack("<8H", *[change.get(i, v) for i, v in enumerate(now)])) for n, change, _ in rows]
    proc = receiver(start, ns.cmd([BIN, "-u", "-c", len(rows) + 1, "-r"]))
    peer_send(ns, "239.1.1.1", 1234, sent)
    # What to do follows the first refusal only; every refusal is reported.
    hint = "Run it as root, or with CAP_SYS_TIME.\n"
    heard(proc, ns, [received(fields(data[:size]), seq) + row[2] + hint * (seq == 0)
                 for seq, ((size, data), row) in enumerate(zip(sent, rows))], "TRUE")


def test_flood_is_reported_in_full_with_flat_memory(netns, start):
    rng, edges = random.Random(20240917), [0, 1, 15, 16, 17, 99, 100, 101, 65507]
    flood = [(rng.choice([rng.choice(edges), rng.randrange(129), rng.randrange(65508)]), rng.randbytes(16))
             for _ in range(8000)]
    ns = netns()
    proc = receiver(start, ns.cmd([BIN, "-c", len(flood) + 1, "-r"]))
    status = f"/proc/{proc.pid}/status"
    rss = lambda: int(re.search(r"VmRSS:\s+(\d+)", open(status).read())[1])
    before = udp(ns, "InDatagrams")
    peer_send(ns, "239.1.1.1", 1234, flood[:1000])
    settled = rss()
    peer_send(ns, "239.1.1.1", 1234, flood[1000:])
    assert proc.wait_for(f" seq:{len(flood) - 1}\n") and rss() - settled <= 512
    assert udp(ns, "InDatagrams") - before == len(flood)  # all delivered, reported below
    heard(proc, ns, [received(fields(data[:size]), seq) for seq, (size, data) in enumerate(flood)])


@pytest.mark.parametrize("zone", ["Europe/Berlin", "Australia/Sydney"])  # one of them in summer time on any date
def test_stamps_are_the_local_time_to_the_millisecond(build, start, monkeypatch, zone):
    monkeypatch.setenv("TZ", zone)
    monkeypatch.setenv("STAMPCAST_TC_INTERFACES", "Loopback=127.0.0.1")  # the Windows sender's adapter
    now = lambda: datetime.now(ZoneInfo(zone)).replace(tzinfo=None)
    before, sender = now(), start(build.argv(["-w", "1", "-s"]), limit=60)
    assert sender.wait_for(" seq:100\n", timeout=30), sender.out()
    out, after = sender.out(), now()
    stamps = [datetime.strptime(t, "%H:%M:%S:%f on %m-%d-%Y") for t in re.findall(rf"Time ({TIME}) ", out)]
    # Within the test's own readings of the zone's time; each at least a pause after the last: Windows'
    # GetLocalTime would repeat a stamp for a tick (15.625 ms), or, in slow loops, step by whole ticks.
    steps = [(b - a) / timedelta(milliseconds=1) for a, b in zip(stamps, stamps[1:])]
    on_tick = [abs(step - 15.625 * round(step / 15.625)) < 1 <= step for step in steps]
    assert before - timedelta(milliseconds=1) < stamps[0] and stamps[-1] <= after, (before, stamps, after)
    assert min(steps) >= 1 and not all(on_tick), steps


# Its first sleep cut short. (A stop and a continue restart the sleep in the kernel: no case of its own.)
def test_the_pause_holds_across_a_signal(netns, start):
    strace = ["strace", "-qq", "-o", "/dev/null", "-e", "inject=clock_nanosleep:error=EINTR:when=1"]
    sender = start(netns().cmd([*strace, BIN, "-w", "1000", "-s"]))
    assert sender.wait_for("seq:1\n", timeout=30), sender.out()
    # It never ends early; how late it ends is the machine's, and no proof of anything.
    t0, t1 = [datetime.strptime(t, "%H:%M:%S:%f") for t in re.findall(r"Time (\S+)", sender.out())[:2]]
    assert (t1 - t0).total_seconds() % 86400 >= 1


def test_a_flood_to_another_group_from_before_the_start_is_never_heard(netns, start):
    ns = netns()
    # The host is a member of the other group, which floods the receivers' port; each start binds a
    # moment before it joins.
    peer_probe(start, ns, "239.2.2.2", 1235, 1, 60), start([BIN, "-d", "239.2.2.2", "-q", "-s"], ns)
    for _ in range(3):  # the first datagram each hears is its own group's last one
        heard(receiver(start, ns.cmd([BIN, "-c", "1", "-r"])), ns, [])


def test_a_slow_reader_of_a_non_blocking_pipe_loses_no_line(netns):
    r, w = os.pipe()  # its writing end non-blocking, as a reader may hand it over
    os.set_blocking(w, False)
    sender = subprocess.Popen(netns().cmd([BIN, "-w", "0", "-c", "3000", "-s"]), stdout=w)
    os.close(w)
    chunks = []
    with open(r, "rb") as pipe:  # read to the end, slower than the sender writes
        for _ in range(20000):
            time.sleep(0.001)
            chunks.append(pipe.read1(4096))
            if not chunks[-1]:
                break
    seqs = [int(line.split("seq:")[1]) for line in b"".join(chunks).decode().split("...\n")[1].splitlines()]
    assert sender.wait(60) == 0 and seqs == list(range(3000))
