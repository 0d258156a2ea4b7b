# The measuring receiver (-m, -e): what arrived with each datagram, its
# summary and status; and a count (-c) that ends either role.
import re, signal, struct, time
from datetime import datetime, timedelta
import pytest
from conftest import BIN, MCAST, TIME, peer_send, receiver, run, udp, veth

HOP = ["add table netdev hop",  # a switch port that rewrites the DS field on the way in
       "add chain netdev hop in { type filter hook ingress device mxb priority 0 ; }",
       "add rule netdev hop in ip dscp set cs1"]
# Each family: the group's argument, its name in the summary, the link's addresses, the sender as lines show it.
FAMILY = {4: ([], "239.1.1.1:1234", ("10.73.0.1/24", "10.73.0.2/24"), r"10\.73\.0\.1:\d+"),
          6: (["-d", "ff15::81"], "[ff15::81]:1234", ("fd00:73::1/64", "fd00:73::2/64"), r"\[fd00:73::1\]:\d+")}


def timestamp(moment, **change):  # a local time as the datagram carries it, fields changed
    f = dict(year=moment.year, month=moment.month, weekday=moment.isoweekday() % 7, day=moment.day,
             hour=moment.hour, minute=moment.minute, second=moment.second, ms=moment.microsecond // 1000)
    f.update(change)
    return struct.pack("<8H", *f.values())


@pytest.mark.parametrize("family", [4, 6])
@pytest.mark.parametrize("remark,tos,status", [(False, 46, 0), (True, 8, 2)], ids=["kept", "remarked"])
def test_receiver_tells_the_ds_field_ttl_and_sender_that_arrived(build, netns, start, remark, tos, status, family):
    rx, tx = build.ns, netns(MCAST[:1])
    group, name, addresses, sender = FAMILY[family]
    veth(tx, rx, "mx", addresses)
    for rule in HOP if remark else []:
        assert run(rx.cmd(["nft", rule.replace("ip dscp", "ip6 dscp" if family == 6 else "ip dscp")])) == (0, "")
    proc = receiver(start, build.argv([*group, "-m", "-e", "46", "-c", "3", "-r"]))
    assert run(tx.argv([*group, "-t", "46", "-l", "5", "-w", "10", "-c", "3", "-s"]))[0] == 0
    code, out = proc.wait(60)
    lines = re.findall(rf"from: {sender} tos:{tos} ttl:5 delay:\d+ms seq:\d\n", out)
    summary = (f"\n--- {name} statistics ---\n3 datagrams received from 1 sender, 0 invalid\ntos {tos}: 3\n"
               f"expected tos 46: {3 if remark else 0} mismatches\nttl 5: 3\ndelay min/avg/max/mdev = ")
    assert (code, len(lines), summary in out) == (status, 3, True), out


@pytest.mark.parametrize("expect,status", [("0", 0), ("46", 2)])
def test_delays_on_the_full_date_and_what_counts_as_invalid(build, start, expect, status):
    proc = receiver(start, build.argv(["-m", "-e", expect, "-c", "6", "-r"]))
    now = datetime.now()
    sent = [(16, timestamp(now)), (16, timestamp(now - timedelta(days=1))), (16, timestamp(now + timedelta(hours=1))),
            (8, timestamp(now)), (16, timestamp(now, month=13)), (200, timestamp(now, day=31, month=4))]
    peer_send(build, "239.1.1.1", 1234, sent)
    code, out = proc.wait(60)
    delays = re.findall(r" tos:0 ttl:1 delay:(-|-?\d+)(?:ms)? seq", out)
    assert [d if d == "-" else round(int(d) / 60000) for d in delays] == [0, 1440, -60, "-", "-", "-"], out
    summary = (f"6 datagrams received from 1 sender, 3 invalid\ntos 0: 6\nexpected tos {expect}: "
               f"{0 if expect == '0' else 6} mismatches\nttl 1: 6\n")
    assert code == status and summary in out, out


# Wine raises Ctrl-C (CTRL_C_EVENT) on SIGINT; it ends a Windows program on SIGTERM, as no console event.
@pytest.mark.parametrize("build,sig", [("linux", signal.SIGINT), ("linux", signal.SIGTERM), ("windows", signal.SIGINT)],
                         ids=["int", "term", "windows-int"], indirect=["build"])
@pytest.mark.parametrize("count", [0, 2])
def test_a_stop_request_ends_a_measuring_receiver_with_its_summary(build, start, sig, count):
    proc = receiver(start, build.argv(["-m", "-r"]))
    peer_send(build, "239.1.1.1", 1234, [(16, timestamp(datetime.now()))] * count)
    assert count == 0 or proc.wait_for(" seq:1\n"), proc.out()
    code, out = proc.wait(sig=sig)
    lines = rf"Received Time {TIME} from: 127\.0\.0\.1:\d+ tos:0 ttl:1 delay:\d+ms seq:\d\n" * count
    tail = r"2 datagrams received from 1 sender, 0 invalid\ntos 0: 2\nttl 1: 2\ndelay min/avg/max/mdev = [-\d./]+ ms\ndelay median/95%/99% = [-\d./]+ ms\n"
    summary = "\n--- 239.1.1.1:1234 statistics ---\n" + (tail if count else "0 datagrams received from 0 senders, 0 invalid\n")
    assert code == (0 if count else 1) and re.search("Receiving...\n" + lines + summary + "$", out), out


# The receiver's setsockopt calls: multicast_all 1, rcvbuf 2, membership 3, recvtos 4, recvttl 5.
# An unknown DS field is not the one expected.
@pytest.mark.parametrize("when,refused,tos,ttl,expect", [(4, "tos: IP_RECVTOS", "-", "1", []), (5, "ttl: IP_RECVTTL", "0", "-", []),
                                                         (4, "tos: IP_RECVTOS", "-", "1", ["-e", "46"])])
def test_a_field_the_system_will_not_tell_reads_as_a_dash(netns, start, when, refused, tos, ttl, expect):
    ns = netns()
    strace = ["strace", "-o/dev/null", "-E", "ASAN_OPTIONS=detect_leaks=0",
              "-e", f"inject=setsockopt:error=ENOPROTOOPT:when={when}"]
    proc = receiver(start, ns.cmd([*strace, BIN, "-m", *expect, "-c", "1", "-r"]))
    peer_send(ns, "239.1.1.1", 1234, [(16, timestamp(datetime.now()))])
    code, out = proc.wait(60)
    assert code == (2 if expect else 0) and f"Update      = FALSE\nCannot measure {refused} failed with error 92\n\nReceiving" in out
    mismatch = "expected tos 46: 1 mismatch\n" if expect else ""
    summary = f"\n1 datagram received from 1 sender, 0 invalid\ntos {tos}: 1\n{mismatch}ttl {ttl}: 1\n"
    assert f" tos:{tos} ttl:{ttl} delay:" in out and summary in out, out


# A plain receiver reads the measured flood's datagrams as any others; a
# negative pause is none, so the count ends the sender within a second.
@pytest.mark.parametrize("args", [["-w", "0"], ["-q", "-m", "-w", "0"], ["-w:-1"]],
                         ids=["lines", "measured-flood", "negative-pause"])
def test_a_count_ends_either_role_and_the_sender_removes_its_marking(build, start, record, args):
    proc = receiver(start, build.argv(["-c", "50", "-r"]))
    before = udp(build, "OutDatagrams")
    sender = start(build.argv([*args, "-t", "46", "-c", "50", "-s"]), limit=60)
    assert sender.wait_for("Sending...", timeout=30), sender.out()
    began = time.monotonic()
    code, out = sender.wait(60)
    assert time.monotonic() - began < 1, out
    sent = udp(build, "OutDatagrams") - before
    assert (code, out.count("Sent Time"), sent) == (0, 0 if "-q" in args else 50, 50), out
    code, out = proc.wait(60)
    assert code == 0 and re.search(rf"\nReceiving...\n(Received Time {TIME} seq:\d+\n){{50}}$", out), out
    assert not build.is_windows or record().endswith("".join(f"Tc{call} {handle} 0 -\n" for call, handle in (
        ("DeleteFilter", 68), ("DeleteFlow", 51), ("CloseInterface", 34), ("DeregisterClient", 17))))

