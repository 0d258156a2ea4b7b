# What the option scan, the traffic-control setup and the socket setup print,
# and the statuses they end with.
import pytest
from conftest import BIN, MCAST, peer_probe, run

USAGE = ("-- version 1.0 -- multicast timestamps with DiffServ marking\n"
         "usage: stampcast [-d destaddress] [-p port] [-t tos] [-l ttl]\n              [-w wait (ms)] "
         "[-s sender] [-r receiver] [-u update time]\n\nexample sender: stampcast -d 239.1.1.1 -p 9999 -t 46 "
         "-l 10 -w 2000 -s\nexample receiver: stampcast -d 239.1.1.1 -p 9999 -u -r\ndefault values: "
         "stampcast -s (sender) or stampcast -r (receiver)\n")
# Runs that end in the option scan: they send and join nothing. (The scan's
# other rules are the unit table's, cli/options_test.cc.)
TEXTS = [([], USAGE), (["-d", "ff15::zz", "-s"], "Not an IPv6 address: ff15::zz\n")]


@pytest.mark.parametrize("args,text", TEXTS, ids=[" ".join(a) or "none" for a, _ in TEXTS])
def test_texts_and_statuses(scan, args, text):
    assert run(scan.argv(args), 60) == (255, text)


TC7520 = "The QOS_DS_CLASS is invalid.\nTcAddFlow: ERROR: 7520\nHandle was 34\n"
NO_INTERFACE = "no traffic control interfaces are available\nTcOpenInterface returned 0x490\n"
EMFILE = ["strace", "-o/dev/null", "-E", "ASAN_OPTIONS=detect_leaks=0", "-e", "inject=socket:error=EMFILE"]
QUIET = [  # runs that send nothing: the namespace's setup, argv, status, output
    (MCAST, [BIN, "-t", "46"], 0, ""), (MCAST, [BIN, "-q", "-w", "0", "-t", "0"], 0, ""),  # no mode
    (MCAST, [BIN, "-t", "64", "-s"], 255, TC7520), (MCAST, [BIN, "-t:-1", "-s"], 255, TC7520),
    (MCAST, [BIN, "-l", "300", "-s"], 255, "Error: Setting TTL value: error - 22\n"),
    (MCAST, [BIN, "-r"], 255, "\nError: Binding the socket - 98"),  # the peer holds the port
    (MCAST, [*EMFILE, BIN, "-r"], 255, '"Socket" failed with error 24\n'),
    (MCAST, [*EMFILE, BIN, "-t", "47"], 255, "TcEnumerateInterfaces returned 0x18\n"),  # the list's netlink socket
    # No interface is up and carries multicast.
    ([], [BIN, "-s"], 255, NO_INTERFACE), (MCAST[:1], [BIN, "-t", "46"], 255, NO_INTERFACE),
    (MCAST[:1], [BIN, "-p", "1", "-r"], 255,  # no route to the group
     "\nSuccess: Binding the socket - 0\nError: Joining Multicast Group - 19"),
    # IPv6: marked through qWAVE's calls, over the same emulation.
    (MCAST, [BIN, "-d", "ff15::81", "-t", "46"], 0, ""), (MCAST, [BIN, "-d", "ff15::81", "-t", "64"], 255, "QOSSetFlow failed with error 87\n"),
    ([], [BIN, "-d", "ff15::81", "-s"], 255, "QOSCreateHandle failed with error 1168\n")]


@pytest.mark.parametrize("setup,argv,status,text", QUIET,
                         ids=[" ".join(c[1][-3:]).replace(BIN, "") for c in QUIET])
def test_runs_that_send_nothing(netns, start, setup, argv, status, text):
    ns = netns(setup)  # with a multicast route, a peer listens at 239.1.1.1:1234
    probe = MCAST[2] in setup and peer_probe(start, ns, "239.1.1.1", 1234, 1, 1)
    assert run(ns.cmd(argv)) == (status, text) and (not probe or probe.wait()[1] == "ready\n")
