# The tests' peer, run only inside the namespaces the tests make.
#   peer.py send GROUP PORT [PID]   stdin: one "SIZE HEX [SHIFT]" a datagram; HEX
#       starts it, 0xA5 fills the rest up to SIZE; with SHIFT, bytes 40-47
#       (a trailer's send time) read the time it goes less SHIFT microseconds.
#       With PEER_KEY=ID:HEX in the environment its last 20 bytes are then
#       that key's authentication block. It waits for the receiver's buffer
#       to drain: in the namespace of process PID (the receiver's, across a
#       link), else in its own.
#   peer.py probe GROUP PORT COUNT SECONDS   binds PORT, joins GROUP, prints
#       "ready", then "TOS TTL HEX" a datagram (HEX: its first 48 bytes),
#       and ends after COUNT datagrams or SECONDS without one. An IPv6
#       GROUP: TOS is the traffic class, TTL the hop limit.
#   peer.py arrivals GROUP PORT COUNT SECONDS   as probe, but "LENGTH NS HEX" a
#       datagram: its whole length and its arrival on the monotonic clock.
import contextlib, hmac, os, socket, struct, sys, time
IP, IP6, END = socket.IPPROTO_IP, socket.IPPROTO_IPV6, time.monotonic() + 60
PID = "self"


def queued(port):  # bytes waiting in the socket bound to 0.0.0.0:port; none once PID has ended
    try:
        rows = [row.split() for row in open(f"/proc/{PID}/net/udp").readlines()[1:]]
    except FileNotFoundError:
        return 0
    return sum(int(row[4].split(":")[1], 16) for row in rows if row[1] == "00000000:%04X" % port)


def drain(port, limit):
    while queued(port) > limit and time.monotonic() < END:
        time.sleep(0.0002)


def send(s, group, port, pid=None):
    global PID
    PID = int(pid) if pid else PID
    for size, head, *shift in (line.split(" ") for line in sys.stdin.read().splitlines()):
        # The receiver loses nothing: its buffer takes one more 64 KiB
        # datagram above the 48 KiB that may wait.
        drain(port, 48 * 1024)
        data = (bytes.fromhex(head) + b"\xa5" * int(size))[: int(size)]
        for microseconds in shift:
            data = data[:40] + struct.pack("<q", time.time_ns() - int(microseconds) * 1000) + data[48:]
            if "PEER_KEY" in os.environ:
                key_id, key = os.environ["PEER_KEY"].split(":")
                body = data[:-20] + struct.pack(">I", int(key_id))
                data = body + hmac.new(bytes.fromhex(key), body, "sha256").digest()[:16]
        s.sendto(data, (group, port))
    drain(port, 0)


def probe(s, group, port, count, seconds, timed=False):
    if ":" in group:  # IPv6: the traffic class and hop limit, as TOS and TTL
        s.bind(("::", port))
        s.setsockopt(IP6, socket.IPV6_JOIN_GROUP, socket.inet_pton(socket.AF_INET6, group) + bytes(4))
        [s.setsockopt(IP6, option, 1) for option in (socket.IPV6_RECVTCLASS, socket.IPV6_RECVHOPLIMIT)]
    else:
        s.bind(("0.0.0.0", port))
        s.setsockopt(IP, socket.IP_ADD_MEMBERSHIP, socket.inet_aton(group) + bytes(4))
        # Off: IP_MULTICAST_ALL (49), its own group only. On: IP_RECVTOS, IP_RECVTTL (12).
        [s.setsockopt(IP, option, option != 49) for option in (49, socket.IP_RECVTOS, 12)]
    s.settimeout(seconds)
    print("ready", flush=True)
    with contextlib.suppress(TimeoutError):
        for _ in range(int(count)):
            data, extra, _, _ = s.recvmsg(70000, 64)
            got = {kind: value[0] for _, kind, value in extra}
            tos, ttl = (socket.IPV6_TCLASS, socket.IPV6_HOPLIMIT) if ":" in group else (socket.IP_TOS, socket.IP_TTL)
            arrived = [len(data), time.monotonic_ns()] if timed else [got[tos], got[ttl]]
            print(*arrived, data[:48].hex(), flush=True)


if __name__ == "__main__":
    mode, group, port, *rest = sys.argv[1:]
    port, s = int(port), socket.socket(socket.AF_INET6 if ":" in group else socket.AF_INET, socket.SOCK_DGRAM)
    if mode == "send":
        send(s, group, port, *rest)
    else:
        probe(s, group, port, *map(float, rest), timed=mode == "arrivals")
