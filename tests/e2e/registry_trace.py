"""The registry keys a client opened itself, with the access it asked for, read from Wine's
trace of the client's process.

The trace (WINEDEBUG=REGISTRY_TRACE, standard error to a file) holds, per thread:
- +reg: every NtOpenKeyEx and NtCreateKey, with the parent handle ((nil) for a full name such as
  \\Registry\\Machine\\...), the key's name and the access mask, then "<- handle" (or "<- (nil)")
  on the same thread. Following the handles gives each key's full name.
- +relay: "Call dll.Function(...) ret=ADDRESS" and "Ret  dll.Function() ... ret=ADDRESS" for the
  calls into the DLLs in RELAY_INCLUDE (set as RelayInclude in the prefix's
  HKCU\\Software\\Wine\\Debug while the client runs). ADDRESS is where the call returns to.
- +loaddll: where each module was loaded, the client's executable among them.

Not every key the process opens is the client's choice: Wine's own DLLs open keys, some under
HKEY_LOCAL_MACHINE with KEY_ALL_ACCESS or MAXIMUM_ALLOWED (ntdll when the process starts,
kernelbase for its locale data, win32u for fonts and displays, shell32 for the shell folders).
A key is the client's when it is opened inside a registry function (Reg* of advapi32, kernel32
or kernelbase; the SH*Key/Value/Reg* helpers of shlwapi) that the client's executable called: a
call whose return address lies inside the executable's image.
"""

import re
import struct
from typing import NamedTuple

REGISTRY_TRACE = "+pid,+loaddll,+reg,+relay"
RELAY_INCLUDE = "advapi32.*;kernel32.*;kernelbase.*;shlwapi.*"

# A key may be read, enumerated and watched in either registry view, nothing more:
# KEY_READ (READ_CONTROL | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY),
# KEY_WOW64_64KEY, KEY_WOW64_32KEY. MAXIMUM_ALLOWED asks for write access wherever it is granted.
READ_ACCESS = 0x20019 | 0x100 | 0x200

MACHINE = "\\registry\\machine"

_THREAD = r"^([0-9a-f]+):([0-9a-f]+):"
# A name as Wine's debugstr_us gives it; a long one is cut and followed by "...".
_NAME = r'L"((?:[^"\\]|\\.)*)"(?:\.\.\.)?'
_CLASS = r'(?:<null>|\(null\)|L"(?:[^"\\]|\\.)*"(?:\.\.\.)?)'
_OPEN_KEY = re.compile(_THREAD + r"trace:reg:NtOpenKeyEx \((\S+?)," + _NAME +
                       r",([0-9a-f]+),\S+\)$")
_CREATE_KEY = re.compile(_THREAD + r"trace:reg:NtCreateKey \((\S+?)," + _NAME + "," + _CLASS +
                         r",[0-9a-f]+,([0-9a-f]+),\S+\)$")
_OPENED = re.compile(_THREAD + r"trace:reg:Nt(?:OpenKeyEx|CreateKey) <- (\S+)$")
_CALL = re.compile(_THREAD + r"Call ([\w.]+)\(.*\) ret=([0-9a-f]+)$")
_RETURN = re.compile(_THREAD + r"Ret\s+([\w.]+)\(\) retval=[0-9a-f]+ ret=([0-9a-f]+)$")
_LOADED = re.compile(_THREAD + r'trace:loaddll:\w+ Loaded L"((?:[^"\\]|\\.)*)" at ([0-9A-Fa-f]+)')
_REGISTRY_FUNCTION = re.compile(
    r"^(?:(?:advapi32|kernel32|kernelbase)\.Reg\w+|shlwapi\.SH\w*(?:Key|Value|Reg)\w*)$", re.I)


class KeyOpen(NamedTuple):
    name: str      # full name, \Registry\...; "<handle 0x..>\..." when the parent is unknown
    access: int
    function: str  # the registry function the client called
    line: int      # in the trace


def image_size(executable):
    """SizeOfImage of a PE file: the span the loader maps from its base."""
    data = executable.read_bytes()
    header = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[header:header + 4] == b"PE\0\0", executable
    return struct.unpack_from("<I", data, header + 24 + 56)[0]


def _unescape(name):
    return re.sub(r"\\(.)", r"\1", name)


def client_key_opens(trace, executable, size):
    """Every key the processes running executable (its Windows path) opened or created inside
    a registry function they called from the executable, in the order of the trace."""
    images = {}    # process -> (base, end) of the executable
    stacks = {}    # (process, thread) -> relayed calls not yet returned: (function, the client's)
    names = {}     # (process, handle) -> full key name
    pending = {}   # (process, thread) -> name of the key being opened
    opens = []
    with open(trace, encoding="utf-8", errors="replace") as lines:
        for number, line in enumerate(lines, 1):
            line = line.rstrip("\n")
            if ":Call " in line or ":Ret  " in line:
                call = _CALL.match(line)
                if call:
                    process, thread, function, returns = call.groups()
                    base, end = images.get(process, (0, 0))
                    own = base <= int(returns, 16) < end and _REGISTRY_FUNCTION.match(function)
                    stacks.setdefault((process, thread), []).append((function, bool(own)))
                    continue
                done = _RETURN.match(line)
                if done:
                    stack = stacks.get((done.group(1), done.group(2)), [])
                    while stack and stack.pop()[0] != done.group(3):
                        pass
                continue
            if "trace:loaddll:" in line:
                loaded = _LOADED.match(line)
                if loaded and _unescape(loaded.group(3)).lower() == executable.lower():
                    base = int(loaded.group(4), 16)
                    images[loaded.group(1)] = (base, base + size)
                continue
            if "trace:reg:Nt" not in line:
                continue
            opened = _OPENED.match(line)
            if opened:
                process, thread, handle = opened.groups()
                name = pending.pop((process, thread), None)
                if name is not None and handle != "(nil)":
                    names[(process, handle)] = name
                continue
            if "NtOpenKeyEx (" not in line and "NtCreateKey (" not in line:
                continue
            key = _OPEN_KEY.match(line) or _CREATE_KEY.match(line)
            if not key:
                raise ValueError(f"trace line {number} cannot be read: {line}")
            process, thread, parent, name, access = key.groups()
            name = _unescape(name)
            if parent != "(nil)":
                name = names.get((process, parent), f"<handle {parent}>") + "\\" + name
            pending[(process, thread)] = name
            callers = [function for function, own in stacks.get((process, thread), []) if own]
            if callers:
                opens.append(KeyOpen(name, int(access, 16), callers[0], number))
    if not images:
        raise ValueError(f"{trace} shows no process that loaded {executable}")
    return opens


def under_machine(name):
    """True for a key below HKEY_LOCAL_MACHINE. The root itself is left out: the system opens it
    with MAXIMUM_ALLOWED once per process, on the first use of the HKEY_LOCAL_MACHINE handle."""
    return name.lower().startswith(MACHINE + "\\")


def beyond_reading(key):
    return key.access & ~READ_ACCESS != 0


def listing(opens):
    """One line per key: its name, the access asked for, the registry function called."""
    rows = sorted({(key.name, key.access, key.function) for key in opens})
    return "\n".join(f"  {name}  access 0x{access:x}  ({function})"
                     for name, access, function in rows)
