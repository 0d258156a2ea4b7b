# The Windows build from outside: what it links, what it asks for and what it
# tells about itself, and where it takes traffic.dll from.
import os, re
from pathlib import Path
from conftest import EXE, run

# traffic.dll is not among them: it is loaded at run time, from system32 only.
WINDOWS_DLLS = {"kernel32.dll", "msvcrt.dll", "ws2_32.dll", "advapi32.dll", "ntdll.dll"}
# The version resource's strings, UTF-16 keys and values, a key padded to 32 bits.
VERSION = {"ProductName": "stampcast", "ProductVersion": "1.0", "FileDescription": "Multicast timestamps with DiffServ marking"}


def test_windows_build_needs_only_windows_dlls_and_runs_as_invoker():
    dump = run(["x86_64-w64-mingw32-objdump", "-p", EXE])[1]
    dlls = {name.lower() for name in re.findall(r"DLL Name: (\S+)", dump)}
    # The C, C++ and thread runtimes are linked in: no lib*.dll of mingw.
    assert "ws2_32.dll" in dlls and dlls <= WINDOWS_DLLS, dlls
    # The version resource is resource 1 of type 16, the manifest of type 24.
    assert re.search(r"Entry: ID: 0x000010,.*\n.*\n.*Entry: ID: 0x000001,.*\n(.*\n){3}.*Entry: ID: 0x000018,.*\n.*\n"
                     r".*Entry: ID: 0x000001,", dump), dump
    exe = Path(EXE).read_bytes()
    assert b'<requestedExecutionLevel level="asInvoker" uiAccess="false"/>' in exe
    assert len(re.findall(rb'<supportedOS Id="{[0-9a-f-]{36}}"/>', exe)) == 4  # Windows 7, 8, 8.1, 10 and 11
    for key, value in VERSION.items():
        assert re.search(re.escape(key.encode("utf-16-le")) + b"(\0\0)+" + re.escape(f"{value}\0".encode("utf-16-le")), exe), key


def test_windows_takes_traffic_dll_from_system32_only(wine):
    session = wine()  # the stand-in beside the .exe and none in system32: not loaded
    os.replace(session.prefix / "drive_c/windows/system32/traffic.dll", session.exe.parent / "traffic.dll")
    assert run(session.argv(["-t", "46", "-s"]), 60) == (255, "TcRegisterClient returned 0x7e\n")
