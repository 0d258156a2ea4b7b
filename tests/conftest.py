# Fixtures of the system tests. Every sender and receiver runs inside a
# network namespace that a test makes and removes, also when it fails; a
# receiver with -u runs only inside `unshare -r -n`, where the clock cannot
# be set. The Windows build runs under Wine with a private prefix whose
# wineserver (which owns Wine's sockets) runs inside the test's namespace.
import contextlib, json, os, re, shutil, signal, struct, subprocess, tempfile, threading, time
from pathlib import Path
import pytest

ROOT = Path(__file__).resolve().parent.parent
BIN = os.path.abspath(os.environ.get("STAMPCAST_BIN") or ROOT / "build/linux/stampcast")
EXE = os.path.abspath(os.environ.get("STAMPCAST_EXE") or ROOT / "build/windows/stampcast.exe")
# In the prefix's system32, where Windows keeps traffic.dll: see tests/traffic_double.
DOUBLE = os.path.join(os.path.dirname(EXE), "tests/traffic_double/traffic.dll")
QWAVE = os.path.join(os.path.dirname(EXE), "tests/qwave_double/qwave.dll")  # and qWAVE's: tests/qwave_double
WINE, WINESERVER = "/usr/lib/wine/wine64", "/usr/lib/wine/wineserver64"
PEER = ["/usr/bin/python3", ROOT / "tests/peer.py"]
# The loopback as a whole multicast network, as `ip` lines.
MCAST = ["link set lo up", "link set lo multicast on", "route add 224.0.0.0/4 dev lo src 127.0.0.1"]
# A run started in the background (as CI may start this one) ignores SIGINT, and so would every
# program it starts; a handled signal is reset to its default in them.
signal.signal(signal.SIGINT, signal.default_int_handler)


class Proc:
    # A command in its own process group, stdout and stderr in one file,
    # killed with its group when its hard time limit passes.
    def __init__(self, argv, limit=30, input=""):
        self.file, self.result = tempfile.TemporaryFile(), None
        self.p = subprocess.Popen([str(word) for word in argv], stdout=self.file, stderr=subprocess.STDOUT,
                                  stdin=subprocess.PIPE, start_new_session=True)
        self.p.stdin.write(input.encode())
        self.p.stdin.close()
        self.pid = self.p.pid
        self.crlf = WINE in argv and str(argv[argv.index(WINE) + 1]).endswith("stampcast.exe")
        self.timer = threading.Timer(limit, self.kill)  # unless it is waited for first
        self.timer.daemon = True
        self.timer.start()

    def out(self):  # a Windows program writes each LF as CR LF
        fd = self.file.fileno()
        raw = os.pread(fd, os.fstat(fd).st_size, 0).decode(errors="replace")
        assert not self.crlf or "\n" not in raw.replace("\r\n", ""), raw
        return raw.replace("\r\n", "\n")

    def wait_for(self, text, count=1, timeout=10):  # false when it ends or the time is up first
        until(lambda: self.out().count(text) >= count or self.p.poll() is not None, timeout)
        return self.out().count(text) >= count  # looked at last: its last words count

    def kill(self, sig=signal.SIGKILL):
        with contextlib.suppress(ProcessLookupError):
            os.killpg(self.pid, sig)

    def wait(self, timeout=10, sig=None):  # (status, output); status -N: signal N ended it
        if not self.result:
            if sig:
                self.kill(sig)
            with contextlib.suppress(subprocess.TimeoutExpired):
                self.p.wait(timeout)
            self.kill()  # with whatever is left in its group
            self.p.wait()
            self.timer.cancel()
            self.result = self.p.returncode, self.out()
            self.file.close()
        return self.result


def until(ok, timeout=10):  # polls ok() until it holds or the time is up
    end = time.monotonic() + timeout
    while not ok() and time.monotonic() < end:
        time.sleep(0.01)
    return ok()


def run(argv, limit=15, **kw): return Proc(argv, limit, **kw).wait(limit)


class Netns:
    # `ip netns add`, or with user `unshare -r -n` (named too, so that `ip netns` finds it).
    # .ns and .is_windows as a Wine session has them, so that a test takes either build alike.
    is_windows = False

    def __init__(self, user=False):
        self.name, self.holder = f"stampcast-py{os.getpid()}-{os.urandom(4).hex()}", None
        if user:
            self.holder = Proc(["unshare", "-r", "-n", "sh", "-c", "echo in; exec sleep 900"], 900)
            assert self.holder.wait_for("in\n")
            subprocess.run(["ip", "netns", "attach", self.name, str(self.holder.pid)], check=True)
            self.enter = ["nsenter", "-t", self.holder.pid, "-U", "-n"]
        else:
            subprocess.run(["ip", "netns", "add", self.name], check=True)
            self.enter = ["nsenter", f"--net=/run/netns/{self.name}"]
        self.ns = self

    def setup(self, lines):  # the `ip` lines; a user namespace is first proven unable to set the clock
        if self.holder:
            status, out = run(self.cmd(["sh", "-c", "! date -s @%d && cat /proc/self/uid_map" % time.time()]))
            assert status == 0 and out.split()[-3:] == ["0", "0", "1"], out
        for line in lines:
            self.ip(*line.split())
        return self

    def cmd(self, argv): return self.enter + list(argv)

    def argv(self, args): return self.cmd([BIN, *args])  # the Linux build's, inside

    def ip(self, *words): subprocess.run([str(w) for w in self.cmd(["ip", *words])], check=True)

    def remove(self):  # what runs inside goes first
        if self.holder:
            self.holder.wait(0, signal.SIGKILL)
        subprocess.run(["sh", "-c", 'ip netns pids "$0" | xargs -r kill -9; ip netns delete "$0"', self.name])


def kept(made, item):  # item, listed in made for the teardown
    made.append(item)
    return item


def namespaces():  # make(setup, user) -> a Netns, listed before its setup so that it goes also when that fails
    made = []
    yield lambda setup=MCAST, user=False: kept(made, Netns(user)).setup(setup)
    for ns in reversed(made):
        ns.remove()


def veth(a, b, name, addresses, group_route=True):  # ends name+"a" in a and name+"b" in b, up, with their addresses
    a.ip("link", "add", name + "a", "type", "veth", "peer", "name", name + "b", "netns", b.name)
    six = ":" in addresses[0]  # IPv6: no duplicate detection to wait for, and the groups of ff00::/8
    for ns, end, address in ((a, name + "a", addresses[0]), (b, name + "b", addresses[1])):
        ns.ip("addr", "add", address, "dev", end, *["nodad"] * six)
        ns.ip("link", "set", end, "up")
        if group_route:
            ns.ip("route", "replace", "ff00::/8" if six else "224.0.0.0/4", "dev", end)


@pytest.fixture(autouse=True)
def local_zone():  # set up before monkeypatch, so torn down after it: a zone a test set is read no more
    yield
    time.tzset()


@pytest.fixture
def netns():
    yield from namespaces()


@pytest.fixture
def start(netns):  # start(argv, ns=None, limit=30) -> Proc, killed at the test's end
    started = []
    yield lambda argv, ns=None, **kw: kept(started, Proc(ns.cmd(argv) if ns else argv, **kw))
    for proc in started:
        proc.wait(0, signal.SIGKILL)


def udp(ns, counter):  # a UDP counter of the namespace: InDatagrams, OutDatagrams
    rows = [row.split() for row in run(ns.cmd(["cat", "/proc/net/snmp"]))[1].splitlines() if row[:4] == "Udp:"]
    return int(dict(zip(*rows))[counter])


def peer_send(ns, group, port, datagrams):  # [(size, first bytes[, shift])]: see peer.py
    text = "".join(" ".join([str(size), head.hex(), *map(str, shift)]) + "\n" for size, head, *shift in datagrams)
    assert run(ns.cmd(PEER + ["send", group, port]), 90, input=text) == (0, "")


def receiver(start, argv):  # a receiver started and ready, its output text or JSON Lines
    proc = start(argv, limit=120)
    assert proc.wait_for("Receiving...", timeout=30), proc.out()
    return proc


def link(ns, name, address=None):  # veth ends name and name+"p" in ns, up; the address on name
    ns.ip("link", "add", name, "type", "veth", "peer", "name", name + "p")
    ns.ip("link", "set", name, "up")
    ns.ip("link", "set", name + "p", "up")
    if address:
        ns.ip("addr", "add", address, "dev", name)


@contextlib.contextmanager
def piped(argv, **kw):  # a Popen in its own session, its group killed at the end
    proc = subprocess.Popen([str(word) for word in argv], start_new_session=True, **kw)
    try:
        yield proc
    finally:
        with contextlib.suppress(ProcessLookupError):
            os.killpg(proc.pid, signal.SIGKILL)


def peer_probe(start, ns, group, port, count, seconds, mode="probe"):  # or "arrivals": peer.py
    probe = start(PEER + [mode, group, port, count, seconds], ns, limit=seconds + 10)
    assert probe.wait_for("ready\n"), probe.out()
    return probe


class Wine:
    # A Wine session in ns: a prefix (the template's copy, or a new one) whose
    # wineserver is started and proven to run inside ns, with the
    # traffic-control stand-in in its system32, and a folder with the .exe.
    is_windows = True

    def __init__(self, ns, home, template=None):
        self.ns, self.prefix, self.exe = ns, home / "prefix", home / "bin/stampcast.exe"
        (home / "bin").mkdir(parents=True, exist_ok=True)
        shutil.copy(EXE, home / "bin")
        if template:
            subprocess.run(["cp", "-a", template, self.prefix], check=True)
            shutil.copy(DOUBLE, self.prefix / "drive_c/windows/system32")
            shutil.copy(QWAVE, self.prefix / "drive_c/windows/system32")
        else:
            self.prefix.mkdir()
        self.server = Proc(self.env([WINESERVER, "--foreground", "--persistent"]), 900)
        # It enters the namespace between its fork and its exec.
        identify = ["ip", "netns", "identify", self.server.pid]
        assert until(lambda: run(identify)[1] == ns.name + "\n", 5), f"the wineserver is not in {ns.name}"

    def cmd(self, argv): return self.ns.cmd(argv)

    def env(self, argv):  # no display, no Mono or Gecko prompt
        return self.cmd(["env", "-u", "DISPLAY", f"WINEPREFIX={self.prefix}", "WINEDEBUG=-all",
                         "WINEDLLOVERRIDES=mscoree,mshtml=", *argv])

    def argv(self, args): return self.env([WINE, self.exe, *args])

    def stop(self):
        run(self.env([WINESERVER, "--kill"]))
        self.server.wait(10)


def wine_template(netns):
    # Made once (wineboot takes a while) under the build tree and named for
    # the Wine version, since Wine upgrades an older prefix on its first start.
    path = ROOT / "build" / ("wine-template-" + re.sub(r"[^\w.-]", "", run([WINE, "--version"])[1]))
    if not (path / "system.reg").exists():
        home = Path(tempfile.mkdtemp(dir=path.parent, prefix=path.name))
        wine = Wine(netns([]), home)
        status, out = run(wine.env([WINE, "wineboot.exe", "-i"]), 400)
        wine.stop()  # then renamed: a concurrent run sees no template or a whole one
        if status == 0:
            os.rename(wine.prefix, path)
        shutil.rmtree(home)
        assert status == 0, out
    return path


# The adapters the traffic-control stand-in lists under Wine: the first
# faces nobody.
FIRST, FACING = "Intel(R) Ethernet Connection (7) I219-LM", "Realtek PCIe GbE Family Controller"


@pytest.fixture
def record(tmp_path, monkeypatch):  # the stand-in's adapters; what it wrote down
    monkeypatch.setenv("STAMPCAST_TC_INTERFACES", f"{FIRST}=10.71.0.1;{FACING}=10.70.0.1")
    monkeypatch.setenv("STAMPCAST_TC_RECORD", str(tmp_path / "record"))
    return lambda: (tmp_path / "record").read_text()


def pytest_runtest_setup(item):  # the Windows tests need the .exe
    if "windows" in item.name and not os.path.exists(EXE):
        (pytest.fail if os.environ.get("STAMPCAST_REQUIRE_WINDOWS") == "1" else pytest.skip)(f"no {EXE}")


def sessions(netns, folder):  # make(user=False) -> a Wine session in a fresh namespace
    made = []

    def make(user=False):  # with user, in `unshare -r -n`
        home = folder / f"wine{len(made)}"
        return kept(made, Wine(netns(MCAST, user), home, wine_template(netns)))
    yield make
    for wine in made:
        wine.stop()
        shutil.rmtree(wine.prefix)


@pytest.fixture
def wine(netns, tmp_path):  # wine(user=False) -> a session of its own
    yield from sessions(netns, tmp_path)


@pytest.fixture(scope="session")
def shared_wine(tmp_path_factory):  # for runs that neither send nor receive
    for netns in namespaces():
        for make in sessions(netns, tmp_path_factory.mktemp("wine")):
            yield make()


@pytest.fixture(params=["linux", "windows"])
def scan(request, netns):  # a host with a multicast route: a run that went on would send
    return request.getfixturevalue("shared_wine") if request.param == "windows" else netns()


@pytest.fixture(params=["linux", "windows"])
def build(request, netns):  # either build: .cmd(argv) and .argv(args) inside its namespace .ns; .is_windows
    return request.getfixturevalue("wine")() if request.param == "windows" else netns()


# A timestamp's fields in wire order: year, month, weekday, day, hour,
# minute, second, millisecond; and how a receiver reports them.
TIME = r"\d\d:\d\d:\d\d:\d{3} on \d\d-\d\d-\d+"


def fields(data): return struct.unpack("<8H", (bytes(data) + bytes(16))[:16])  # missing bytes read as 0


def stamp(f): return f"{f[4]:02}:{f[5]:02}:{f[6]:02}:{f[7]:03} on {f[1]:02}-{f[3]:02}-{f[0]}"


def received(f, seq): return f"Received Time {stamp(f)} seq:{seq}\n"


# A PromQL instant query over the HTTP API of the Prometheus on 127.0.0.1:9090: the result.
PROMQL = ("import json, sys, urllib.parse, urllib.request\n"
          "query = urllib.parse.urlencode({'query': sys.argv[1]})\n"
          "url = 'http://127.0.0.1:9090/api/v1/query?' + query\n"
          "print(json.dumps(json.load(urllib.request.urlopen(url, timeout=5))['data']['result']))")
SCRAPE = ("{global: {scrape_interval: 1s}, scrape_configs: [{job_name: node,"
          " static_configs: [{targets: ['127.0.0.1:9100']}]}]}")


class Monitoring:
    # node_exporter serving .textfiles (its textfile collector only) and a Prometheus that
    # scrapes it every second, inside ns on its loopback, started by start.
    def __init__(self, start, ns, home):
        self.ns, self.textfiles = ns, home / "textfiles"
        self.textfiles.mkdir()
        (home / "prometheus.yml").write_text(SCRAPE)
        exporter = ["prometheus-node-exporter", "--collector.disable-defaults",
                    "--collector.textfile", f"--collector.textfile.directory={self.textfiles}",
                    "--web.listen-address=127.0.0.1:9100"]
        server = ["prometheus", f"--config.file={home / 'prometheus.yml'}",
                  f"--storage.tsdb.path={home / 'tsdb'}", "--web.listen-address=127.0.0.1:9090"]
        for argv in (exporter, server):
            start(argv, ns, limit=900)

    def query(self, promql):  # the result's list, or None while the server does not answer
        status, out = run(self.ns.cmd(["/usr/bin/python3", "-c", PROMQL, promql]))
        return json.loads(out) if status == 0 else None
