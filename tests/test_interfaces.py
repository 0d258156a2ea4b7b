# Hosts with several networks: the interface a run names (-i), on either
# role, and the one source a receiver joins from (-f). Multicast is routed
# by the first network; what -i names is on the second.
import re, socket
import pytest
from conftest import BIN, FACING, FIRST, MCAST, WINE, link, receiver, run, veth

# The two networks, the route's first. The traffic-control stand-in lists the
# Windows sender's adapters at .1 of each: FIRST, then FACING.
NETS = ("10.71.0", "10.70.0")


def two_networks(tx, rx):  # i1a-i1b and i2a-i2b, .1 on tx and .2 on rx; the group's route: i1
    for n, net in enumerate(NETS, 1):
        veth(tx, rx, f"i{n}", (f"{net}.1/24", f"{net}.2/24"), group_route=n == 1)


def index(ns, name): return re.match(r"\d+", run(ns.cmd(["ip", "-o", "link", "show", name]))[1])[0]


# The sender's build and -i, the receiver's. An index reads as in the unit table (cli/plan_test.cc):
# the heading's index below is the list's on either build.
ROUTES = [("linux", "i2a", "linux", "i2b"), ("linux", "10.70.0.1", "linux", "10.70.0.2"),
          ("linux", "i2a", "windows", "i2b"), ("linux", "i2a", "windows", "10.70.0.2"),
          ("windows", "10.70.0.1", "linux", "i2b"), ("windows", "i2a", "linux", "i2b")]


@pytest.mark.parametrize("sender,sent,listener,joined", ROUTES)
def test_each_role_sends_marks_and_joins_on_the_interface_named(netns, wine, start, record, sender, sent, listener, joined):
    tx, rx = [wine() if build == "windows" else netns(MCAST[:1]) for build in (sender, listener)]
    two_networks(tx.ns, rx.ns)
    proc = receiver(start, rx.argv(["-m", "-i", joined, "-c", "3", "-r"]))
    # Joined on the second network only, where the route would have taken the first.
    maddr = [run(rx.ns.cmd(["ip", "maddr", "show", "dev", end]))[1] for end in ("i1b", "i2b")]
    assert ["239.1.1.1" in text for text in maddr] == [False, True], maddr
    assert run(tx.argv(["-t", "46", "-i", sent, "-w", "50", "-c", "3", "-s"]), 60)[0] == 0
    code, out = proc.wait(60)
    assert f"Interface   = {joined} (index {index(rx.ns, 'i2b')}), source = any\n\nReceiving...\n" in out, out
    # Marked by the Linux layer, on the interface it leaves by; Wine has no packet scheduler to mark.
    tos = 46 if sender == "linux" else 0
    assert code == 0 and len(re.findall(rf"from: 10\.70\.0\.1:\d+ tos:{tos} ttl:1 ", out)) == 3, out
    assert sender == "linux" or f"TcOpenInterfaceW 17 [{FACING}] 0 34\n" in record()


# The family's bridge network, the group and how the kernel lists the (S,G) include entry. The IPv6
# senders' group route faces another link: they reach the bridge by -i alone.
FAMILIES = {4: ("10.74.0.", "/24", "224.0.0.0/4", "239.1.1.1", "mcfilter", "0xef010101 0x0a4a0002"),
            6: ("fd74::", "/64", "ff00::/8", "ff15::81", "mcfilter6",
                "ff150000000000000000000000000081 fd740000000000000000000000000002")}


@pytest.mark.parametrize("family,joined", [(4, []), (4, ["-i", "fbr"]), (6, []), (6, ["-i", "fbr"])])
def test_a_receiver_of_one_source_hears_one_of_two_senders_on_its_bridge(netns, start, family, joined):
    net, prefix, route, group, table, entry = FAMILIES[family]
    nodad = ["nodad"] * (family == 6)
    rx = netns(MCAST[:1])
    senders = [netns(MCAST[:1]), netns(MCAST[:1])]
    rx.ip("link", "add", "fbr", "type", "bridge")
    rx.ip("addr", "add", f"{net}254{prefix}", "dev", "fbr", *nodad)
    rx.ip("link", "set", "fbr", "up")
    rx.ip("route", "add", route, "dev", "fbr")
    for n, tx in enumerate(senders, 1):
        tx.ip("link", "add", "fa", "type", "veth", "peer", "name", f"fb{n}", "netns", rx.name)
        tx.ip("addr", "add", f"{net}{n}{prefix}", "dev", "fa", *nodad)
        tx.ip("link", "set", "fa", "up")
        if family == 6:
            link(tx, "fd")
            tx.ip("route", "add", "multicast", route, "dev", "fd", "table", "local", "metric", "1")
        else:
            tx.ip("route", "add", route, "dev", "fa")
        rx.ip("link", "set", f"fb{n}", "master", "fbr", "up")
    proc = receiver(start, rx.cmd([BIN, "-d", group, "-m", *joined, "-f", f"{net}2", "-c", "5", "-r"]))
    # The group from the second sender only, in include mode.
    filters = run(rx.cmd(["cat", f"/proc/net/{table}"]))[1]
    assert re.search(rf"\n\s*\d+\s+fbr\s+{entry}\s+1\s+0\n", filters), filters
    for tx in senders:
        start(tx.argv(["-d", group, "-i", "fa", "-w", "20", "-s"]))
    code, out = proc.wait(60)
    heard, other = (f"[{net}2]:", f"[{net}1]:") if family == 6 else (f"{net}2:", f"{net}1:")
    assert code == 0 and out.count(f"from: {heard}") == 5 and other not in out, out
    assert f", source = {net}2\n" in out


@pytest.mark.parametrize("joined,interface", [([], "0.0.0.0"), (["-i", "i1b"], "10.71.0.2")])
def test_windows_source_join_hands_the_source_before_the_interface(netns, wine, tmp_path, joined, interface):
    rx = wine()
    two_networks(netns(MCAST[:1]), rx.ns)
    trace = ["strace", "-f", "-qq", "-xx", "-e", "trace=setsockopt", "-o", tmp_path / "trace"]
    run(rx.env([*trace, WINE, rx.exe, *joined, "-f", "10.71.0.1", "-c", "1", "-r"]), 30)
    # Wine 8 hands the record to Linux unchanged, whose own puts the interface second: the join fails there.
    record = b"".join(socket.inet_aton(a) for a in ("239.1.1.1", "10.71.0.1", interface))
    made = re.findall(r'IP_ADD_SOURCE_MEMBERSHIP, "([^"]*)", 12\)', (tmp_path / "trace").read_text())
    assert made == ["".join(f"\\x{byte:02x}" for byte in record)], made


WRONG = [  # before anything is set up; the other refusals are the unit table's (cli/plan_test.cc)
    (["-i", "nope", "-s"], "Unknown interface nope"),
    (["-i", "127.0.0.1", "-f", "10.1.2", "-r"], "Not a source address: 10.1.2"),
    (["-f", "10.1.2.256", "-r"], "Not a source address: 10.1.2.256"), (["-f", "-r"], "Not a source address: -r"),
    (["-f=10.1.2.3x", "-r"], "Not a source address: 10.1.2.3x"),
    (["-d", "ff15::81", "-f", "10.1.2.3", "-r"], "Not a source address: 10.1.2.3")]


@pytest.mark.parametrize("args,text", WRONG, ids=[" ".join(a) for a, _ in WRONG])
def test_an_interface_or_source_that_names_nothing_ends_the_run(scan, args, text):
    assert run(scan.argv(args), 60) == (255, text + "\n")


@pytest.mark.parametrize("sender,listener", [("linux", "linux"), ("linux", "windows"), ("windows", "linux")])
def test_an_ipv6_address_names_the_interface_of_either_role(netns, wine, start, sender, listener):
    tx, rx = [wine() if build == "windows" else netns(MCAST[:1]) for build in (sender, listener)]
    veth(tx.ns, rx.ns, "s6", ["fd00:81::1/64", "fd00:81::2/64"])
    proc = receiver(start, rx.argv(["-d", "ff15::81", "-m", "-i", "fd00:81::2", "-c", "3", "-r"]))
    assert run(tx.argv(["-d", "ff15::81", "-i", "fd00:81::1", "-w", "50", "-c", "3", "-s"]), 60)[0] == 0
    code, out = proc.wait(60)
    assert code == 0 and out.count("from: [fd00:81::1]:") == 3, out


# A sender marks where its datagrams go, or not at all: the traffic-control interface that holds the address of the
# interface -i names (the stand-in's hold 10.71.0.1 and 10.70.0.1), else the one the route picks, which -m names.
MARKED_WHERE = [("linux", None, ["-i", "nm4"], (255, "No traffic control interface holds nm4\n")),
                ("windows", None, ["-i", "nm4"], (255, "No traffic control interface holds nm4\n")),
                ("windows", "10.72.0.1/24", ["-i", "10.72.0.1"], (255, "No traffic control interface holds 10.72.0.1\n")),
                ("linux", None, ["-m"], (0, "Marking on traffic control interface lo\n")),
                ("linux", "10.73.0.1/24", ["-m"], (0, "Marking on traffic control interface nm4\n")),
                ("windows", None, ["-m"], (0, f"Marking on traffic control interface {FIRST}\n"))]


@pytest.mark.parametrize("sender,address,args,said", MARKED_WHERE)
def test_a_sender_marks_where_its_datagrams_go_or_refuses(netns, wine, record, sender, address, args, said):
    tx = wine() if sender == "windows" else netns(MCAST)
    link(tx.ns, "nm4", address)
    if sender == "linux" and address:  # the group's route leaves through nm4, listed after lo
        tx.ns.ip("route", "replace", "224.0.0.0/4", "dev", "nm4")
    status, out = run(tx.argv(["-t", "46", *args, "-c", "1", "-w", "0", "-s"]), 60)
    assert (status, out[:len(said[1])]) == said, out
