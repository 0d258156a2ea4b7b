# chronyd's SOCK reference clock, as a receiver with -y feeds it: a sample
# says that at local time tv the true time was tv + offset. A source that
# runs 2 s ahead must show in chronyc as 2 s behind the local clock:
# chronyc's offsets are the local clock's less the source's.
import sys
from conftest import run, until

SENDER = """import socket, struct, sys, time
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
for _ in range(150):  # 30 s at most
    now = time.time_ns()
    sample = struct.pack("qqdiiii", now // 10**9, now % 10**9 // 1000, 2.0, 0, 0, 0, 0x534F434B)
    s.sendto(sample, sys.argv[1])
    time.sleep(0.2)
"""


def test_a_source_two_seconds_ahead_shows_the_local_clock_two_seconds_behind(netns, start, chronyd):
    ns = netns()
    folder = chronyd(ns)
    start([sys.executable, "-c", SENDER, folder / "stmp.sock"], ns, limit=40)
    chronyc = ns.cmd(["chronyc", "-c", "-h", folder / "chronyd.sock"])

    def stmp(what):  # STMP's rows of chronyc's comma-separated report
        rows = run(chronyc + [what])[1].splitlines()
        return [row.split(",") for row in rows if "STMP" in row]
    # sources: mode, state, name, stratum, poll, reach, last, offset, measured offset, error
    assert until(lambda: any(row[5] != "0" for row in stmp("sources")), 30), stmp("sources")
    measured = float(stmp("sources")[0][8])
    assert abs(measured + 2.0) < 0.05, measured
    assert int(stmp("sourcestats")[0][1]) >= 1  # its samples
