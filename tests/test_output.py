# Standard output that fills up, or whose reader goes away: lines stay
# whole, and a run that nobody reads any more ends.
import json, os, re, signal, struct, subprocess
import pytest
from conftest import TIME, peer_send, piped, until

LINE = {"-s": rf"Sent Time {TIME} to: 239\.1\.1\.1:1234 tos:32 ttl:1 seq:(\d+)\n",
        "-r": rf"Received Time {TIME} seq:(\d+)\n"}
STAMP = struct.pack("<8H", 2008, 3, 1, 17, 14, 5, 30, 999)


@pytest.fixture(autouse=True)
def adapter(monkeypatch):  # the one the traffic-control stand-in lists to a Windows sender
    monkeypatch.setenv("STAMPCAST_TC_INTERFACES", "Loopback=127.0.0.1")


@pytest.mark.parametrize("role", ["-s", "-r"])
def test_a_disk_that_fills_and_has_room_again_leaves_no_glued_line(build, start, tmp_path, role):
    disk = tmp_path / "disk"  # a tmpfs of four pages in a mount namespace of its own, half of it filled
    holder = start(["unshare", "-m", "sh", "-c", f"mkdir {disk} && mount -t tmpfs -o size=16k disk {disk} && "
                    f"head -c 8192 /dev/zero >{disk}/filler && echo in && exec sleep 900"], limit=300)
    assert holder.wait_for("in\n"), holder.out()
    seen = f"/proc/{holder.pid}/root{disk}"
    start(["nsenter", "-t", holder.pid, "-m", "sh", "-c", 'exec "$@" >"$0"', disk / "out",
           *build.argv(["-w", "0", role])], limit=200)
    raw = lambda: open(f"{seen}/out", "rb").read().decode() if os.path.exists(f"{seen}/out") else ""
    text = lambda: raw().replace("\r\n", "\n")  # a cut between CR and LF shows as a line not well formed
    if role == "-r":
        assert until(lambda: "Receiving...\n" in text(), 60), text()
        peer_send(build, "239.1.1.1", 1234, [(16, STAMP)] * 250)  # some 12 KiB of lines: more than the room
    assert until(lambda: len(raw()) >= 8192, 60), text()
    os.remove(f"{seen}/filler")
    if role == "-r":
        peer_send(build, "239.1.1.1", 1234, [(16, STAMP)] * 10)
    assert until(lambda: len(raw()) >= 16384 if role == "-s" else " seq:259\n" in text(), 60), text()
    lines = text().split("...\n")[1]
    whole, tail = lines[:lines.rindex("\n") + 1], lines[lines.rindex("\n") + 1:]  # a sender fills it again
    seqs = [int(seq) for seq in re.findall(LINE[role], whole)]
    assert re.fullmatch(f"({LINE[role]})*", whole) and tail.count("Time") <= 1, lines
    assert seqs == sorted(set(seqs))


@pytest.mark.parametrize("build,trap,status", [("linux", "", -signal.SIGPIPE), ("linux", "trap '' PIPE; ", 255),
                                               ("windows", "", 255)], indirect=["build"],
                         ids=["linux", "linux-sigpipe-ignored", "windows"])
def test_a_run_ends_when_the_reader_of_its_output_has_gone(build, trap, status):
    argv = ["sh", "-c", trap + 'exec "$@"', "sh", *build.argv(["-s"])]
    with piped(argv, stdout=subprocess.PIPE) as sender:
        head = [sender.stdout.readline() for _ in range(3)]  # as `head -3` reads, then goes
        sender.stdout.close()
        assert sender.wait(60) == status and head[1].startswith(b"destAddress"), head


# A receiver whose reader read up to "Receiving..." and went: quiet, measuring and JSON alike.
@pytest.mark.parametrize("build,form", [("linux", ["-q"]), ("linux", ["-q", "-o", "json"]), ("linux", ["-m"]),
                                        ("windows", ["-q"])], indirect=["build"],
                         ids=["linux-quiet", "linux-quiet-json", "linux-measuring", "windows-quiet"])
def test_every_form_of_receiver_ends_with_255_once_its_reader_has_gone(build, form):
    argv = ["sh", "-c", "trap '' PIPE; exec \"$@\"", "sh", *build.argv([*form, "-c", "3", "-r"])]
    with piped(argv, stdout=subprocess.PIPE) as rx:
        for _ in range(20):  # as `head` reads the heading, then goes
            if b"Receiving..." in rx.stdout.readline():
                break
        rx.stdout.close()
        peer_send(build, "239.1.1.1", 1234, [(16, STAMP)] * 3)
        assert rx.wait(60) == 255


# Open as the shell's >> opens it, to append only. (Wine can neither reopen nor read such a file.)
# Whatever the form, the newline goes first (cli/run.cc): the records show it.
def test_a_run_appended_to_a_cut_record_starts_on_a_line_of_its_own(netns, tmp_path):
    build = netns()
    out = tmp_path / "run.jsonl"
    cut = b'{"type":"received","seq":7,"ti'  # an earlier run's last record, cut short
    out.write_bytes(cut)
    fd = os.open(out, os.O_WRONLY | os.O_APPEND)
    with piped(build.argv(["-m", "-o", "json", "-c", "1", "-r"]), stdout=fd) as rx:
        os.close(fd)
        assert until(lambda: b"Receiving..." in out.read_bytes(), 30), out.read_bytes()
        peer_send(build, "239.1.1.1", 1234, [(16, STAMP)])
        assert rx.wait(30) == 0
    lines = out.read_bytes().split(b"\n")
    assert lines[0] == cut and lines[-1] == b"", lines
    assert lines[1] == b'{"type":"message","text":"Success: Binding the socket - 0"}', lines
    for line in lines[1:-1]:
        json.loads(line)
