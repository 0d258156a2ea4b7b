# A measuring receiver behind a -q flood ends when asked, whatever the load and however its
# output is read: by its count, by a SIGTERM with its summary, by a second one a second later.
# (Copies of a request within a second, as timeout relays the terminal's Ctrl-C, change nothing:
# the second-request test shows it; a SIGINT's summary is test_measure.py's.)
import os, re, signal, time
import pytest
from conftest import BIN, until

# A reader of about 2 MB/s, copying what it reads to its own output; bounded.
SLOW = """import os, time
end = time.monotonic() + 60
while time.monotonic() < end and (chunk := os.read(0, 4096)):
    os.write(1, chunk)
    time.sleep(0.002)
"""
READERS = {"file": None, "slow": ["/usr/bin/python3", "-c", SLOW], "stuck": ["sleep", "60"]}


def flooded(ns, start, folder, reader, args):  # the receiver in ns, its output through the reader into a file
    fifo = folder / "fifo"
    out = folder / "out"
    os.mkfifo(fifo)
    out.touch()
    copier = start(["sh", "-c", f'exec "$@" < {fifo} > {out}', "sh", *READERS[reader]]) if READERS[reader] else None
    rx = start(["sh", "-c", f'exec "$@" > {fifo if copier else out}', "sh", *ns.argv(["-m", *args, "-r"])])
    start(ns.cmd([BIN, "-q", "-m", "-w", "0", "-s"]))
    return rx, copier, out


@pytest.mark.parametrize("reader,args", [("slow", ["-c", "1000"]), ("file", []), ("slow", [])],
                         ids=["count", "term-file", "term-slow-pipe"])
def test_the_summary_counts_the_lines_printed_whatever_ended_the_flooded_receiver(netns, start, tmp_path, reader, args):
    rx, copier, out = flooded(netns(), start, tmp_path, reader, args)
    assert until(lambda: out.read_text().count("Received Time") >= 300), out.read_text()[-600:]
    code = rx.wait(30 if args else 5, None if args else signal.SIGTERM)[0]  # a stop lands within a moment
    if copier:
        copier.wait(10)  # then has the rest
    text = out.read_text()
    lines = text.count("Received Time")
    summary = rf"\n{lines} datagrams received from 1 sender, 0 invalid\ntos 32: {lines}\n(.+\n)+$"
    assert code in (0, 2) and lines == int(args[1] if args else lines) and re.search(summary, text), text[-600:]


def pending(pid):  # the signals sent to the process that it has not taken yet
    status = open(f"/proc/{pid}/status").read()
    return int(re.search(r"ShdPnd:\s*(\w+)", status)[1], 16) | int(re.search(r"SigPnd:\s*(\w+)", status)[1], 16)


# Wine raises Ctrl-C on SIGINT, and its default handler then ends the program with status 0.
@pytest.mark.parametrize("build,sig,status", [("linux", signal.SIGTERM, -signal.SIGTERM), ("windows", signal.SIGINT, 0)],
                         ids=["linux", "windows"], indirect=["build"])
def test_a_second_request_ends_a_receiver_whose_reader_stopped_reading(build, start, tmp_path, sig, status):
    rx = flooded(build, start, tmp_path, "stuck", [])[0]
    assert until(lambda: open(f"/proc/{rx.pid}/wchan").read().endswith("pipe_write")), "the pipe did not fill"
    rx.kill(sig)  # the first asks for the summary, which waits for the reader
    first = time.monotonic()
    assert until(lambda: not pending(rx.pid) & 1 << sig - 1, 5), "the first request stays pending"
    # Then a copy every 10 ms: those within a second of the first change nothing.
    assert until(lambda: rx.kill(sig) or rx.p.poll() is not None, 5)
    assert time.monotonic() - first > 1 and rx.wait(5)[0] == status

