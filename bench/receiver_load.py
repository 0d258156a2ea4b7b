#!/usr/bin/python3
# The measuring receiver's CPU per datagram with version 2 trailers against
# version 1, or (--metrics) with -x writing the exposition every second
# against without, behind version 2 trailers, or (--keys) with -k checking
# each datagram's authentication block against without, behind the same
# signed datagrams: the same Python sender, the same pace, rounds in turn,
# inside a network namespace made here and removed at the end (run as root):
#   bench/receiver_load.py [--metrics|--keys] BUILD/stampcast [DATAGRAMS] [ROUNDS]
import hmac, os, signal, socket, struct, subprocess, sys, tempfile, time

METRICS = len(sys.argv) > 1 and sys.argv[1] == "--metrics"
KEYED = len(sys.argv) > 1 and sys.argv[1] == "--keys"
if METRICS or KEYED:
    del sys.argv[1]
KEY = bytes(range(32))

BIN = os.path.abspath(sys.argv[1])
COUNT = int(sys.argv[2]) if len(sys.argv) > 2 else 300000
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 3
NS = f"stampcast-bench{os.getpid()}"
ENTER = ["nsenter", f"--net=/run/netns/{NS}"]
HEAD = struct.pack("<8H", 2028, 2, 2, 29, 23, 59, 58, 999) + b"SCTR"


def sender(version):  # runs inside the namespace: COUNT datagrams to 239.1.1.1:1234
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    start = time.time_ns()
    for n in range(COUNT):
        if version == 1:
            data = HEAD + struct.pack("<HHQQq", 1, 32, 7, n, start + n)
        else:
            data = HEAD + struct.pack("<HHQQqQQBBH4x", 2, 56, 7, n, start + n, 0, COUNT - 1, 46, 1, 1)
        if version == 3:  # signed with key 1: the key id and the tag
            data += struct.pack(">I", 1)
            data += hmac.new(KEY, data, "sha256").digest()[:16]
        s.sendto(data, ("239.1.1.1", 1234))
        if n % 64 == 63:
            time.sleep(0)  # lets the receiver keep up on two cores


def one(version, folder):  # (CPU us per datagram, datagrams the receiver counted)
    # With --metrics both variants take version 2 and report every second
    # (-a 1): 1 without -x, 2 with it, so that only the file's cost differs.
    extra = ["-a", "1"] if METRICS else []
    if METRICS and version == 2:
        extra += ["-x", os.path.join(folder, "stampcast.prom")]
    if KEYED and version == 2:  # both take the same 92-byte datagrams
        keys = os.path.join(folder, "keys")
        with open(os.open(keys, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600), "w") as file:
            file.write(f"1 SHA256 HEX:{KEY.hex()}\n")
        extra += ["-k", keys]
    rx = subprocess.Popen(ENTER + [BIN, "-r", "-m", "-q", *extra], stdout=subprocess.PIPE, text=True,
                          start_new_session=True)
    time.sleep(0.5)
    sent = 3 if KEYED else 2 if METRICS else version
    subprocess.run(ENTER + [sys.executable, __file__, "--send", str(sent), str(COUNT)], check=True, timeout=300)
    time.sleep(0.5)
    os.kill(rx.pid, signal.SIGINT)
    _, status, usage = os.wait4(rx.pid, 0)
    out = rx.stdout.read()
    got = int(out.split(" datagrams received")[0].split()[-1])
    assert not (KEYED and version == 2) or ", 0 unauthenticated" in out, out  # every tag held
    return (usage.ru_utime + usage.ru_stime) * 1e6 / got, got


def main():
    subprocess.run(["ip", "netns", "add", NS], check=True)
    try:
        for line in ("link set lo up", "link set lo multicast on", "route add 224.0.0.0/4 dev lo src 127.0.0.1"):
            subprocess.run(ENTER + ["ip", *line.split()], check=True)
        figures = {1: [], 2: []}
        names = {1: "without -x", 2: "with -x"} if METRICS else {1: "version 1", 2: "version 2"}
        names = {1: "without -k", 2: "with -k"} if KEYED else names
        with tempfile.TemporaryDirectory() as folder:
            for _ in range(ROUNDS):
                for version in (1, 2):
                    figures[version].append(one(version, folder))
        for version, rows in figures.items():
            print(f"{names[version]}: " + " ".join(f"{cpu:.3f} us ({got})" for cpu, got in rows))
        best = {v: min(cpu for cpu, _ in rows) for v, rows in figures.items()}
        middle = {v: sorted(cpu for cpu, _ in rows)[len(rows) // 2] for v, rows in figures.items()}
        print(f"best: {names[1]} {best[1]:.3f} us, {names[2]} {best[2]:.3f} us, ratio {best[2] / best[1]:.3f}")
        print(f"median: {names[1]} {middle[1]:.3f} us, {names[2]} {middle[2]:.3f} us, "
              f"ratio {middle[2] / middle[1]:.3f}")
    finally:
        subprocess.run(["ip", "netns", "delete", NS])


if __name__ == "__main__":
    if sys.argv[1] == "--send":
        COUNT = int(sys.argv[3])
        sender(int(sys.argv[2]))
    else:
        main()
