"""The Windows installer, installed and uninstalled silently in this build's Wine prefix.

Run by ctest (test release_installer), which passes the build folder, the installer and the
source folder in DROVANE_BUILD_DIR, DROVANE_SETUP and DROVANE_SOURCE_DIR. The prefix is shared
with the other tests, which run one at a time; each test here starts and ends without an
installation, client settings or client data.
"""

import glob
import os
import re
import select
import shutil
import struct
import subprocess
import time
from pathlib import Path

import pytest

BUILD = Path(os.environ["DROVANE_BUILD_DIR"])
SETUP = Path(os.environ["DROVANE_SETUP"])
SOURCE = Path(os.environ["DROVANE_SOURCE_DIR"])
WINE_RUN = BUILD / "wine-run"
DRIVE_C = BUILD / "wineprefix" / "drive_c"

INSTALL_DIR = "C:\\Program Files\\Drovane Client"
CLIENT_EXE = INSTALL_DIR + "\\DrovaneClient.exe"
UNINSTALLER = INSTALL_DIR + "\\Uninstall.exe"
SHORTCUT = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Drovane Client.lnk"
DATA_DIR = "C:\\ProgramData\\Drovane\\Drovane Client"
UNINSTALL_KEY = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Drovane Client"
RUN_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
RUN_VALUE = "Drovane_Client"
SETTINGS_PARENT_KEY = "HKCU\\Software\\Drovane"
OPTIONS_KEY = "HKCU\\Software\\Drovane\\Drovane Client\\Options"
# What the client itself writes when "Start with Windows" is ticked: its path between quotes.
CLIENT_RUN_COMMAND = '"' + CLIENT_EXE + '"'

# NSIS exit codes: 0 done, 2 aborted by the script.
EXIT_ABORTED = 2
WINE_TIMEOUT = 120


def client_version():
    text = (SOURCE / "src" / "app" / "Version.h").read_text(encoding="utf-8")
    return re.search(r'kClientVersion\[\]\s*=\s*"([^"]+)"', text).group(1)


# --- Wine ---------------------------------------------------------------------------------------


def wine(*args, timeout=WINE_TIMEOUT):
    """Runs a program in the prefix; its standard error goes to the build's wine-stderr.log."""
    return subprocess.run([str(WINE_RUN), *args], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, timeout=timeout)


def host_path(windows_path):
    """The Linux path of a C:\\ path inside the prefix."""
    assert windows_path[:3].upper() == "C:\\", windows_path
    return DRIVE_C.joinpath(*windows_path[3:].split("\\"))


def run_command_line(command_line):
    """Runs an exact Windows command line and returns its exit code.

    Wine quotes every argument that holds a space when it builds a command line from its own
    arguments, and NSIS takes "_?=" only unquoted, so the line goes through a batch file.
    """
    folder = host_path("C:\\drovane-release-test")
    folder.mkdir(exist_ok=True)
    (folder / "run.cmd").write_bytes(
        ("@" + command_line + "\r\n@exit /b %ERRORLEVEL%\r\n").encode("ascii"))
    try:
        return wine("cmd", "/c", "C:\\drovane-release-test\\run.cmd").returncode
    finally:
        shutil.rmtree(folder, ignore_errors=True)


def shell_folder(variable):
    output = wine("cmd", "/c", "echo %" + variable + "%").stdout.decode("ascii").strip()
    assert output[:3].upper() == "C:\\", output
    return output


# --- Registry -----------------------------------------------------------------------------------

_VALUE_LINE = re.compile(r"^    (.+?)    (REG_[A-Z_]+)(?:    (.*))?$")


def registry_values(key):
    """The values directly under a key as {name: (type, text)}, or None when the key is absent."""
    result = wine("reg", "query", key)
    if result.returncode != 0:
        return None
    values = {}
    current_key = None
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        if line.startswith("HKEY_"):
            current_key = line
            continue
        match = _VALUE_LINE.match(line)
        # Only values of the key itself, not of its subkeys.
        if match and current_key is not None and current_key.count("\\") == key.count("\\"):
            values[match.group(1)] = (match.group(2), match.group(3) or "")
    return values


def registry_value(key, name):
    values = registry_values(key)
    return None if values is None or name not in values else values[name][1]


def key_exists(key):
    return wine("reg", "query", key).returncode == 0


def registry_set(key, name, text):
    assert wine("reg", "add", key, "/v", name, "/d", text, "/f").returncode == 0


def registry_delete_key(key):
    wine("reg", "delete", key, "/f")


def registry_delete_value(key, name):
    wine("reg", "delete", key, "/v", name, "/f")


# --- Shell links --------------------------------------------------------------------------------


def read_shortcut(path):
    """(target path, description) of a shell link (.lnk) file."""
    data = Path(path).read_bytes()
    assert data[:4] == b"\x4c\x00\x00\x00", "not a shell link"
    flags = struct.unpack_from("<I", data, 0x14)[0]
    has_id_list, has_link_info, has_name, is_unicode = 0x1, 0x2, 0x4, 0x80
    offset = 0x4C
    if flags & has_id_list:
        offset += 2 + struct.unpack_from("<H", data, offset)[0]
    target = None
    if flags & has_link_info:
        link_info_size = struct.unpack_from("<I", data, offset)[0]
        base_path_offset = struct.unpack_from("<I", data, offset + 16)[0]
        start = offset + base_path_offset
        target = data[start:data.index(b"\0", start)].decode("cp1252")
        offset += link_info_size
    description = None
    if flags & has_name:
        count = struct.unpack_from("<H", data, offset)[0]
        width = 2 if flags & is_unicode else 1
        raw = data[offset + 2:offset + 2 + count * width]
        description = raw.decode("utf-16-le" if width == 2 else "cp1252").rstrip("\0")
    return target, description


# --- State of the prefix ------------------------------------------------------------------------


@pytest.fixture(scope="module")
def user_shortcuts():
    """The per-user places where the client's Options make "Drovane Client.lnk"."""
    desktop = shell_folder("USERPROFILE") + "\\Desktop\\Drovane Client.lnk"
    programs = (shell_folder("APPDATA") +
                "\\Microsoft\\Windows\\Start Menu\\Programs\\Drovane Client.lnk")
    return [desktop, programs]


def remove_everything(user_shortcuts):
    shutil.rmtree(host_path(INSTALL_DIR), ignore_errors=True)
    shutil.rmtree(host_path("C:\\ProgramData\\Drovane"), ignore_errors=True)
    for shortcut in [SHORTCUT, *user_shortcuts]:
        host_path(shortcut).unlink(missing_ok=True)
    registry_delete_key(UNINSTALL_KEY)
    registry_delete_key(SETTINGS_PARENT_KEY)
    registry_delete_value(RUN_KEY, RUN_VALUE)


@pytest.fixture(autouse=True)
def clean_prefix(user_shortcuts):
    remove_everything(user_shortcuts)
    yield
    remove_everything(user_shortcuts)


def install(*switches):
    assert SETUP.is_file(), f"{SETUP} was not built"
    return wine(str(SETUP), "/S", *switches).returncode


def uninstall_in_place(*switches):
    """Runs the uninstaller and waits for it.

    Started plainly, an NSIS uninstaller copies itself to the temporary folder, starts the copy
    and ends at once; "_?=" makes it do the work itself, so its end is the end of the work and
    its exit code is the result. It cannot delete itself then: the running Uninstall.exe and its
    folder stay, and are removed here after checking that nothing else is left in the folder.
    """
    line = '"' + UNINSTALLER + '" /S' + "".join(" " + s for s in switches) + " _?=" + INSTALL_DIR
    return run_command_line(line)


def remove_running_uninstaller_leftover():
    folder = host_path(INSTALL_DIR)
    assert sorted(p.name for p in folder.iterdir()) == ["Uninstall.exe"]
    shutil.rmtree(folder)


def write_player_data():
    """A stored setting and a file of the client's data folder, as a player's client leaves them."""
    registry_set(OPTIONS_KEY, "Username", "player1")
    data_file = host_path(DATA_DIR + "\\account.block")
    data_file.parent.mkdir(parents=True, exist_ok=True)
    data_file.write_bytes(b"SOMEACCOUNT\r\n")
    return data_file


def assert_program_removed(user_shortcuts):
    assert not host_path(CLIENT_EXE).exists()
    assert not host_path(INSTALL_DIR + "\\Readme.txt").exists()
    for shortcut in [SHORTCUT, *user_shortcuts]:
        assert not host_path(shortcut).exists(), shortcut
    assert not key_exists(UNINSTALL_KEY)
    assert registry_value(RUN_KEY, RUN_VALUE) is None


# --- Tests --------------------------------------------------------------------------------------


def test_package_names_carry_the_clients_version_and_the_test_key():
    # This build trusts the repository's test key (scripts/package builds releases elsewhere).
    version = client_version()
    assert SETUP.name == f"DrovaneClient-{version}-test-key-setup.exe"
    assert (SETUP.parent / f"DrovaneClient-{version}-test-key-portable.zip").is_file()


def test_silent_install_puts_client_shortcut_and_uninstall_entry_in_place():
    assert install() == 0

    assert host_path(CLIENT_EXE).read_bytes() == (BUILD / "bin" / "DrovaneClient.exe").read_bytes()
    readme = host_path(INSTALL_DIR + "\\Readme.txt").read_bytes()
    assert f"Version {client_version()}\r\n".encode() in readme
    assert host_path(UNINSTALLER).is_file()

    assert read_shortcut(host_path(SHORTCUT)) == (CLIENT_EXE, "Drovane Client")

    values = registry_values(UNINSTALL_KEY)
    assert values is not None
    expected = {
        "DisplayName": ("REG_SZ", "Drovane Client"),
        "DisplayVersion": ("REG_SZ", client_version()),
        "Publisher": ("REG_SZ", "Drovane"),
        "URLInfoAbout": ("REG_SZ", "http://www.drovane.com"),
        "DisplayIcon": ("REG_SZ", CLIENT_EXE),
        "InstallLocation": ("REG_SZ", INSTALL_DIR),
        "UninstallString": ("REG_SZ", '"' + UNINSTALLER + '"'),
        "QuietUninstallString": ("REG_SZ", '"' + UNINSTALLER + '" /S'),
        "NoModify": ("REG_DWORD", "0x1"),
        "NoRepair": ("REG_DWORD", "0x1"),
    }
    assert {name: values.get(name) for name in expected} == expected
    size_kb = int(values["EstimatedSize"][1], 16)
    assert size_kb == (host_path(CLIENT_EXE).stat().st_size +
                       host_path(UNINSTALLER).stat().st_size +
                       len(readme)) // 1024

    # Starting with Windows is the player's choice: off unless asked for.
    assert registry_value(RUN_KEY, RUN_VALUE) is None


def test_start_with_windows_writes_the_clients_own_run_value_and_survives_a_reinstall():
    assert install("/STARTWITHWINDOWS") == 0
    assert registry_value(RUN_KEY, RUN_VALUE) == CLIENT_RUN_COMMAND

    # A silent update without the switch keeps what the player chose, here or in the client.
    assert install() == 0
    assert registry_value(RUN_KEY, RUN_VALUE) == CLIENT_RUN_COMMAND


def test_silent_install_keeps_a_run_value_the_player_set_and_points_it_here():
    registry_set(RUN_KEY, RUN_VALUE, '"C:\\Games\\Drovane\\DrovaneClient.exe"')
    assert install() == 0
    assert registry_value(RUN_KEY, RUN_VALUE) == CLIENT_RUN_COMMAND


def test_uninstall_removes_the_program_and_keeps_the_players_data(user_shortcuts):
    assert install("/STARTWITHWINDOWS") == 0
    data_file = write_player_data()
    # Shortcuts the client's Options make lead nowhere once the client is gone.
    for shortcut in user_shortcuts:
        host_path(shortcut).parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(host_path(SHORTCUT), host_path(shortcut))

    assert uninstall_in_place() == 0

    assert_program_removed(user_shortcuts)
    remove_running_uninstaller_leftover()
    assert registry_value(OPTIONS_KEY, "Username") == "player1"
    assert data_file.read_bytes() == b"SOMEACCOUNT\r\n"


def test_uninstall_with_removedata_removes_the_players_data_too(user_shortcuts):
    assert install("/STARTWITHWINDOWS") == 0
    write_player_data()
    (host_path(DATA_DIR) / "log").mkdir()
    (host_path(DATA_DIR) / "log" / "2026-12-08_09-30-00.txt").write_bytes(b"[09:30:00] x\n")

    assert uninstall_in_place("/REMOVEDATA") == 0

    assert_program_removed(user_shortcuts)
    remove_running_uninstaller_leftover()
    assert not key_exists(SETTINGS_PARENT_KEY)
    assert not host_path("C:\\ProgramData\\Drovane").exists()


def test_removedata_keeps_other_drovane_settings():
    assert install() == 0
    write_player_data()
    registry_set(SETTINGS_PARENT_KEY + "\\Other Program", "Kept", "yes")

    assert uninstall_in_place("/REMOVEDATA") == 0

    remove_running_uninstaller_leftover()
    assert not key_exists(SETTINGS_PARENT_KEY + "\\Drovane Client")
    assert registry_value(SETTINGS_PARENT_KEY + "\\Other Program", "Kept") == "yes"


def test_uninstall_leaves_the_run_value_of_another_copy_alone():
    assert install() == 0
    portable = '"C:\\Games\\Drovane\\DrovaneClient.exe"'
    registry_set(RUN_KEY, RUN_VALUE, portable)

    assert uninstall_in_place() == 0

    remove_running_uninstaller_leftover()
    assert registry_value(RUN_KEY, RUN_VALUE) == portable


def test_uninstall_as_the_programs_list_runs_it(user_shortcuts):
    """The command line Windows runs, whose uninstaller ends before its copy has done the work."""
    assert install("/STARTWITHWINDOWS") == 0
    data_file = write_player_data()
    temp = host_path(shell_folder("TEMP"))
    copies_before = set(glob.glob(str(temp / "~nsu*.tmp")))

    assert run_command_line(registry_value(UNINSTALL_KEY, "QuietUninstallString")) == 0

    # The copy removes the installation folder last: once it is gone, the work is done.
    deadline = time.monotonic() + 90
    while host_path(INSTALL_DIR).exists():
        assert time.monotonic() < deadline, "the uninstaller's copy did not finish in 90 s"
        time.sleep(0.2)
    assert_program_removed(user_shortcuts)
    assert registry_value(OPTIONS_KEY, "Username") == "player1"
    assert data_file.read_bytes() == b"SOMEACCOUNT\r\n"
    # The copy is deleted by Windows at the next start; the prefix never restarts.
    for copy in set(glob.glob(str(temp / "~nsu*.tmp"))) - copies_before:
        shutil.rmtree(copy, ignore_errors=True)


class ClientStandIn:
    """Holds the running client's mutex or window (tests/release/clientstandin_win.cpp)."""

    def __init__(self, what):
        self.process = subprocess.Popen(
            [str(WINE_RUN), str(BUILD / "bin" / "clientstandin.exe"), what],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        ready, _, _ = select.select([self.process.stdout], [], [], WINE_TIMEOUT)
        if not ready:
            self.process.kill()
            pytest.fail("clientstandin did not get ready")
        line = self.process.stdout.readline()
        assert line.strip() == b"ready", line

    def close(self):
        self.process.stdin.close()
        self.process.wait(timeout=WINE_TIMEOUT)
        self.process.stdout.close()


@pytest.mark.parametrize("what", ["mutex", "window"])
def test_setup_and_uninstall_fail_while_the_client_runs(what):
    assert install() == 0
    installed = host_path(CLIENT_EXE).read_bytes()
    standin = ClientStandIn(what)
    try:
        # Silent runs answer the "close it and retry" question with Cancel and fail.
        assert install() == EXIT_ABORTED
        assert uninstall_in_place() == EXIT_ABORTED
        assert host_path(CLIENT_EXE).read_bytes() == installed
        assert key_exists(UNINSTALL_KEY)
        assert host_path(SHORTCUT).exists()
    finally:
        standin.close()

    assert uninstall_in_place() == 0
    assert not host_path(CLIENT_EXE).exists()
