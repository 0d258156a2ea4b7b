# Marking on hosts with several interfaces. The Windows sender runs under Wine
# against the traffic-control stand-in (tests/traffic_double), which checks
# each call, lists the adapters named here with descriptors as long as
# Windows' own (two overflow the first list) and writes each call down.
import os, re, signal, struct
import pytest
from conftest import BIN, FACING, FIRST, TIME, peer_send, receiver, run, veth

# A setup as the stand-in records it: its first handles (client 17, interface
# 34, flow 51, filter 68), and two list calls, as the two descriptors take 456
# bytes; then the opened adapter and the flow's DS class.
# The flow: guaranteed service, 10000 bytes/s when sending, all else not
# specified; 20 bytes of objects, the DS class and the end of the list.
FLOW = " ".join(["2710"] + ["ffffffff"] * 4 + ["3"] + ["ffffffff"] * 7 + ["3", "ffffffff", "ffffffff", "14", "fa1", "c"])
SETUP = ("TcRegisterClient 2 0 17\nTcEnumerateInterfaces 17 336 122 - size=456\nTcEnumerateInterfaces 17 456 0 - "
         "size=456\nTcOpenInterfaceW 17 [{}] 0 34\nTcAddFlow 34 0 51 " + FLOW + " {:x} 7d1 8\n"
         "TcAddFilter 51 0 68 239.1.1.1/255.255.255.255 ds={}\n")


@pytest.mark.parametrize("args,tos,ttl,wait", [([], 32, 1, 500), (["-t", "46", "-l", "5", "-w", "100"], 46, 5, 100)])
def test_windows_sender_marks_on_the_adapter_that_faces_the_receiver(wine, build, start, record, args, tos, ttl, wait):
    tx = wine()
    veth(tx.ns, build.ns, "fx", ("10.70.0.1/24", "10.70.0.2/24"))
    listener = receiver(start, build.argv(["-r"]))
    sender = start(tx.argv([*args, "-s"]), limit=60)
    assert listener.wait_for(" seq:2\n", timeout=30), sender.out()
    sent = re.findall(rf"Sent Time ({TIME}) to: 239.1.1.1:1234 tos:{tos} ttl:{ttl} ", sender.wait(sig=signal.SIGKILL)[1])
    ms = [int(h) * 3600000 + int(m) * 60000 + int(s) * 1000 + int(f) for h, m, s, f in (t[:12].split(":") for t in sent)]
    # The pause: at least what was asked, and less than twice that in the shortest period (load stretches some).
    # Under Wine, Sleep is as precise as the timer: Windows' 15.6 ms steps cannot show here.
    assert wait <= min((b - a) % 86400000 for a, b in zip(ms, ms[1:])) < 2 * wait, sent
    assert record() == SETUP.format(FACING, tos, tos)


ELEVATE = "Run it from an elevated prompt (as administrator).\n"  # once, after a refusal for want of rights
STILL_OPEN = ("Interfaces are still open for this client. all interfaces must be closed to deregister a client.\n"
              "Error degresitering client\n")


# The Linux build's texts, from the same code; the refusals test_cli.py shows through it (TcOpenInterface's,
# TcAddFlow's 7520, an enumeration's without a message) are not repeated here.
@pytest.mark.parametrize("refusal,status,out", [
    ("", 0, ""),  # nothing refused: what setup made is removed, in reverse order
    ("TcRegisterClient=120", 255, "TcRegisterClient returned 0x78\n"),
    ("TcRegisterClient=110", 255, "TcRegisterClient returned 0x6e\n" + ELEVATE),
    ("TcRegisterClient=5", 255, "TcRegisterClient returned 0x5\n" + ELEVATE),
    ("TcEnumerateInterfaces=6", 255, "The client handle is invalid.\nTcEnumerateInterfaces returned 0x6\n"),
    ("TcEnumerateInterfaces=122", 255, "The buffer is too small to enumerate all interfaces. If this error is returned,"
     " the correct (required) size of the buffer is passed back in pBufferSize.\nSize required: 336\n"
     "TcEnumerateInterfaces returned 0x7a\n"),
    ("TcAddFlow=4000000000", 255, "TcAddFlow: ERROR: 4000000000\nHandle was 34\n"),
    ("TcAddFilter=7509", 255, "TcAddFlow: ERROR: 7509\nHandle was 34\n"),
    # What a refused removal leaves, the later ones find: every step runs.
    ("TcDeleteFilter=1", 0, "Error deleting filter\nError deleting flow\nNot all flows have been deleted for this "
     "interface.Error closing interface\n" + STILL_OPEN),
    ("TcCloseInterface=6", 0, "The interface handle is invalid.\nError closing interface\n" + STILL_OPEN),
    ("TcDeregisterClient=6", 0, "Invalid interface handle, or the handle was set to NULL.\nError degresitering client\n"),
])
def test_windows_marking_without_a_mode_reads_as_on_linux(shared_wine, record, monkeypatch, refusal, status, out):
    monkeypatch.setenv("STAMPCAST_TC_REFUSE", refusal)
    assert run(shared_wine.argv(["-t", "46"]), 60) == (status, out)
    # lo's 127.0.0.1 is on no listed adapter: the first one is taken.
    assert refusal or record() == SETUP.format(FIRST, 46, 46) + "".join(f"Tc{call} {handle} 0 -\n" for call, handle in (
        ("DeleteFilter", 68), ("DeleteFlow", 51), ("CloseInterface", 34), ("DeregisterClient", 17)))


# Adapters that appear between two listings: a list that grows at each of the
# first five listings is still set up (it is asked for again five times); one
# that grows at six ends the run with the size the last listing needed.
@pytest.mark.parametrize("grow,status,tail", [("5", 0, ""), ("6", 255, "Size required: 1464\nTcEnumerateInterfaces returned 0x7a\n")])
def test_windows_marking_beside_adapters_that_appear(shared_wine, record, monkeypatch, grow, status, tail):
    monkeypatch.setenv("STAMPCAST_TC_GROW", grow)
    result = run(shared_wine.argv(["-t", "46"]), 60)
    assert result[0] == status and result[1].endswith(tail), result


# Traffic control closes the interface or the flow from a thread of its own: the next send ends the run, before it goes.
@pytest.mark.parametrize("args,event,removed", [(["-w", "50"], 2, FIRST), (["-q", "-m"], 5, "flow")])
def test_windows_sender_ends_when_the_system_removes_its_marking(wine, record, monkeypatch, args, event, removed):
    monkeypatch.setenv("STAMPCAST_TC_CLOSE", f"{event} 300")
    status, out = run(wine().argv(["-t", "46", *args, "-s"]), 60)
    assert status == 255 and out.endswith(f"\nMarking removed by the system: {removed}\n"), out
    assert ("Sent Time" in out) == ("-q" not in args) and "TcDelete" not in record(), out


@pytest.mark.parametrize("zone", ["Europe/Berlin", "Australia/Sydney"])  # one of them in summer time on any date
def test_windows_receiver_sets_the_clock_by_the_zone_and_reports_a_refusal(wine, start, monkeypatch, zone):
    monkeypatch.setenv("TZ", zone)
    session = wine(user=True)  # root of its own user namespace only: it cannot set the clock
    ns = session.ns
    assert os.readlink(f"/proc/{session.server.pid}/ns/user") == os.readlink(f"/proc/{ns.holder.pid}/ns/user")
    rx = receiver(start, session.argv(["-u", "-r"]))
    peer_send(ns, "239.1.1.1", 1234, [(16, struct.pack("<8H", 2008, 3, 1, 17, 14, 5, 30, 250))] * 2)
    assert rx.wait_for(" seq:1\n") and rx.p.poll() is None and rx.out().endswith("".join(
        f"Received Time 14:05:30:250 on 03-17-2008 seq:{seq}\nError: Setting local time - 1314\n" + ELEVATE * (seq == 0)
        for seq in (0, 1)))
    # Wine sets no clock: it takes a time within half a second of its own as set, and refuses any other. The
    # Linux sender's local time in the same zone is such a time, once turned into UTC by the zone's rule.
    start(ns.cmd([BIN, "-w", "100", "-s"]))
    assert rx.wait_for("Time updated..\n", 3), rx.out()


# An IPv6 group is marked through qWAVE (tests/qwave_double): its handle (the client 17 of the emulation beneath),
# the socket added to a non-adaptive best-effort flow to the group and port, the code point set on flow 1.
QOS = ("QOSCreateHandle 1.0 0 17\nQOSAddSocketToFlow 17 ff150000000000000000000000000081 23 1234 0 2 0 1\n"
       "QOSSetFlow 17 1 2 4 46 0 ds=46\n")
QOS_END = "QOSRemoveSocketFromFlow 17 1 0 0\nQOSCloseHandle 17 0\n"


def test_windows_ipv6_sender_marks_through_qwave(wine, build, start, record):
    tx = wine()
    veth(tx.ns, build.ns, "qx", ("fd00:76::1/64", "fd00:76::2/64"))
    listener = receiver(start, build.argv(["-d", "ff15::81", "-c", "2", "-r"]))  # a plain receiver on either build
    code, out = run(tx.argv(["-d", "ff15::81", "-t", "46", "-l", "4", "-w", "10", "-c", "2", "-s"]), 60)
    assert code == 0 and out.count(" to: [ff15::81]:1234 tos:46 ttl:4 seq:") == 2, out
    code, out = listener.wait(60)
    assert code == 0 and re.search(rf"\nReceiving...\n(Received Time {TIME} seq:\d\n){{2}}$", out), out
    assert record() == QOS + "QOSQueryFlow 17 1 1 16 0\n" + QOS_END  # the flow asked after at the first send


# The host's sleep invalidates qWAVE's flows: the sender asks after its flow once a second, and ends at the first
# answer that it is gone, before the next send.
@pytest.mark.parametrize("args", [["-w", "100"], ["-q", "-m"]])
def test_windows_ipv6_sender_ends_when_its_flow_is_invalidated(wine, netns, record, monkeypatch, args):
    monkeypatch.setenv("STAMPCAST_QOS_INVALIDATE", "2")
    tx = wine()
    veth(tx.ns, netns(), "qx", ("fd00:76::1/64", "fd00:76::2/64"))
    status, out = run(tx.argv(["-d", "ff15::81", "-t", "46", *args, "-s"]), 60)
    assert status == 255 and out.endswith("\nMarking removed by the system: flow\n"), out
    assert record().endswith("QOSQueryFlow 17 1 1 16 0\nQOSQueryFlow 17 1 1 16 6\n"), record()


# A clean run and QOSSetFlow's refusal are test_cli.py's, through the same code.
@pytest.mark.parametrize("refusal,status,out", [
    ("QOSCreateHandle=5", 255, "QOSCreateHandle failed with error 5\n" + ELEVATE),
    ("QOSAddSocketToFlow=10065", 255, "QOSAddSocketToFlow failed with error 10065\n"),
    ("QOSRemoveSocketFromFlow=1168", 0, "Error removing socket from flow\n"), ("QOSCloseHandle=6", 0, "Error closing QOS handle\n")])
def test_windows_ipv6_marking_without_a_mode(shared_wine, record, monkeypatch, refusal, status, out):
    monkeypatch.setenv("STAMPCAST_QOS_REFUSE", refusal)
    assert run(shared_wine.argv(["-d", "ff15::81", "-t", "46"]), 60) == (status, out)
