# The Windows build from outside: what it links and what it asks for.
import re
from pathlib import Path
from conftest import EXE, run

WINDOWS_DLLS = {"kernel32.dll", "msvcrt.dll", "ws2_32.dll", "traffic.dll", "advapi32.dll", "ntdll.dll"}


def test_windows_build_needs_only_windows_dlls_and_runs_as_invoker():
    dump = run(["x86_64-w64-mingw32-objdump", "-p", EXE])[1]
    dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
    # The C, C++ and thread runtimes are linked in: no lib*.dll of mingw.
    assert {"ws2_32.dll", "traffic.dll"} <= dlls <= WINDOWS_DLLS, dlls
    # The manifest is resource 1 of type 24.
    assert re.search(r"Entry: ID: 0x000018,.*\n.*\n.*Entry: ID: 0x000001,", dump)
    assert b'<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' in Path(EXE).read_bytes()

