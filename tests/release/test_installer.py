"""The Windows installer, installed and uninstalled silently in this build's Wine prefix.

Run by ctest (test release_pytest), which passes the build folder, the installer and the
source folder in DROVANE_BUILD_DIR, DROVANE_SETUP and DROVANE_SOURCE_DIR. The prefix is shared
with the other tests, which run one at a time; each test here starts and ends without an
installation of either kind (the player's own, every user's), client settings or client data.
"""

import glob
import os
import re
import select
import shutil
import struct
import subprocess
import time
from dataclasses import dataclass, replace
from pathlib import Path

import pytest

BUILD = Path(os.environ["DROVANE_BUILD_DIR"])
SETUP = Path(os.environ["DROVANE_SETUP"])
SOURCE = Path(os.environ["DROVANE_SOURCE_DIR"])
WINE_RUN = BUILD / "wine-run"
DRIVE_C = BUILD / "wineprefix" / "drive_c"

SHORTCUT_NAME = "Drovane Client.lnk"
UNINSTALL_SUBKEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Drovane Client"
DATA_DIR = "C:\\ProgramData\\Drovane\\Drovane Client"
RUN_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
RUN_VALUE = "Drovane_Client"
SETTINGS_PARENT_KEY = "HKCU\\Software\\Drovane"
OPTIONS_KEY = "HKCU\\Software\\Drovane\\Drovane Client\\Options"
# A folder given with /D= (without a space, so that Wine passes it unquoted).
OTHER_FOLDER = "C:\\Games\\DrovaneClient"

# NSIS exit codes: 0 done, 2 aborted by the script.
EXIT_ABORTED = 2
WINE_TIMEOUT = 120


def client_version():
    text = (BUILD / "generated" / "base" / "Version.h").read_text(encoding="utf-8")
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


# --- Manifests ----------------------------------------------------------------------------------


def requested_execution_level(program):
    """The levels a program's manifest asks Windows for (the manifest is a plain resource)."""
    found = re.findall(rb'<requestedExecutionLevel\s+level="([A-Za-z]+)"',
                       Path(program).read_bytes())
    return [level.decode("ascii") for level in found]


# --- Where things go ----------------------------------------------------------------------------


@dataclass(frozen=True)
class Installation:
    """Where one kind of installation puts the client, its Start-menu entry and its uninstall
    entry, and the setup's switches that make it."""
    folder: str
    shortcut: str
    uninstall_key: str
    switches: tuple

    @property
    def client_exe(self):
        return self.folder + "\\DrovaneClient.exe"

    @property
    def uninstaller(self):
        return self.folder + "\\Uninstall.exe"

    @property
    def run_command(self):
        """What the client writes when "Start with Windows" is ticked: its path between quotes."""
        return '"' + self.client_exe + '"'

    def elsewhere(self, folder):
        return replace(self, folder=folder)


@dataclass(frozen=True)
class Places:
    per_user: Installation
    all_users: Installation
    desktop_shortcut: str

    def of(self, kind):
        return self.all_users if kind == "all-users" else self.per_user

    def other_than(self, kind):
        return self.per_user if kind == "all-users" else self.all_users

    @property
    def shortcuts(self):
        """Every place of "Drovane Client.lnk": the installers' two menus and the desktop, where the
        client's Options also make it."""
        return [self.per_user.shortcut, self.all_users.shortcut, self.desktop_shortcut]


KINDS = ["per-user", "all-users"]


@pytest.fixture(scope="module")
def places():
    programs = "\\Microsoft\\Windows\\Start Menu\\Programs\\" + SHORTCUT_NAME
    return Places(
        per_user=Installation(shell_folder("LOCALAPPDATA") + "\\Programs\\Drovane Client",
                              shell_folder("APPDATA") + programs,
                              "HKCU\\" + UNINSTALL_SUBKEY, ()),
        all_users=Installation("C:\\Program Files\\Drovane Client", "C:\\ProgramData" + programs,
                               "HKLM\\" + UNINSTALL_SUBKEY, ("/ALLUSERS",)),
        desktop_shortcut=shell_folder("USERPROFILE") + "\\Desktop\\" + SHORTCUT_NAME)


# --- State of the prefix ------------------------------------------------------------------------


def remove_everything(places):
    for installation in (places.per_user, places.all_users):
        shutil.rmtree(host_path(installation.folder), ignore_errors=True)
        registry_delete_key(installation.uninstall_key)
    other_folder = host_path(OTHER_FOLDER)
    shutil.rmtree(other_folder, ignore_errors=True)
    if other_folder.parent.is_dir() and not any(other_folder.parent.iterdir()):
        other_folder.parent.rmdir()
    shutil.rmtree(host_path("C:\\ProgramData\\Drovane"), ignore_errors=True)
    for shortcut in places.shortcuts:
        host_path(shortcut).unlink(missing_ok=True)
    registry_delete_key(SETTINGS_PARENT_KEY)
    registry_delete_value(RUN_KEY, RUN_VALUE)


@pytest.fixture(autouse=True)
def clean_prefix(places):
    remove_everything(places)
    yield
    remove_everything(places)


def install(*switches):
    assert SETUP.is_file(), f"{SETUP} was not built"
    return wine(str(SETUP), "/S", *switches).returncode


def uninstall_in_place(installation, *switches):
    """Runs the installation's uninstaller and waits for it.

    Started plainly, an NSIS uninstaller copies itself to the temporary folder, starts the copy
    and ends at once; "_?=" makes it do the work itself, so its end is the end of the work and
    its exit code is the result. It cannot delete itself then: the running Uninstall.exe and its
    folder stay, and are removed here after checking that nothing else is left in the folder.
    """
    line = ('"' + installation.uninstaller + '" /S' + "".join(" " + s for s in switches) +
            " _?=" + installation.folder)
    return run_command_line(line)


def remove_running_uninstaller_leftover(installation):
    folder = host_path(installation.folder)
    assert sorted(p.name for p in folder.iterdir()) == ["Uninstall.exe"]
    shutil.rmtree(folder)


def write_player_data():
    """A stored setting and a file of the client's data folder, as a player's client leaves them."""
    registry_set(OPTIONS_KEY, "Username", "player1")
    data_file = host_path(DATA_DIR + "\\account.block")
    data_file.parent.mkdir(parents=True, exist_ok=True)
    data_file.write_bytes(b"SOMEACCOUNT\r\n")
    return data_file


def assert_program_removed(places, installation):
    assert not host_path(installation.client_exe).exists()
    assert not host_path(installation.folder + "\\Readme.txt").exists()
    for shortcut in places.shortcuts:
        assert not host_path(shortcut).exists(), shortcut
    assert not key_exists(installation.uninstall_key)
    assert registry_value(RUN_KEY, RUN_VALUE) is None


# --- Tests --------------------------------------------------------------------------------------


def test_package_names_carry_the_clients_version_and_the_test_key():
    # This build trusts the repository's test key (scripts/package builds releases elsewhere).
    version = client_version()
    assert SETUP.name == f"DrovaneClient-{version}-test-key-setup.exe"
    assert (SETUP.parent / f"DrovaneClient-{version}-test-key-portable.zip").is_file()


@pytest.mark.parametrize("kind", KINDS)
def test_silent_install_puts_client_shortcut_and_uninstall_entry_in_place(places, kind):
    """The player's own installation by default, needing no rights; every user's with /ALLUSERS."""
    installation = places.of(kind)
    assert install(*installation.switches) == 0

    assert (host_path(installation.client_exe).read_bytes() ==
            (BUILD / "bin" / "DrovaneClient.exe").read_bytes())
    readme = host_path(installation.folder + "\\Readme.txt").read_bytes()
    assert f"Version {client_version()}\r\n".encode() in readme
    assert host_path(installation.uninstaller).is_file()

    assert read_shortcut(host_path(installation.shortcut)) == (installation.client_exe,
                                                               "Drovane Client")

    values = registry_values(installation.uninstall_key)
    assert values is not None
    expected = {
        "DisplayName": ("REG_SZ", "Drovane Client"),
        "DisplayVersion": ("REG_SZ", client_version()),
        "Publisher": ("REG_SZ", "Drovane"),
        "URLInfoAbout": ("REG_SZ", "http://www.drovane.com"),
        "DisplayIcon": ("REG_SZ", installation.client_exe),
        "InstallLocation": ("REG_SZ", installation.folder),
        "UninstallString": ("REG_SZ", '"' + installation.uninstaller + '"'),
        "QuietUninstallString": ("REG_SZ", '"' + installation.uninstaller + '" /S'),
        "NoModify": ("REG_DWORD", "0x1"),
        "NoRepair": ("REG_DWORD", "0x1"),
    }
    assert {name: values.get(name) for name in expected} == expected
    size_kb = int(values["EstimatedSize"][1], 16)
    assert size_kb == (host_path(installation.client_exe).stat().st_size +
                       host_path(installation.uninstaller).stat().st_size +
                       len(readme)) // 1024

    # Windows starts the setup and the uninstaller without asking for rights (Wine never asks):
    # only an installation for every user asks for them, by itself.
    for program in (SETUP, host_path(installation.uninstaller)):
        assert requested_execution_level(program) == ["asInvoker"], program

    # Nothing of the other kind: the player's own installation writes nothing a standard user
    # may not (Program Files, HKLM, every user's Start menu).
    other = places.other_than(kind)
    assert not host_path(other.folder).exists()
    assert not key_exists(other.uninstall_key)
    assert not host_path(other.shortcut).exists()
    assert not host_path(places.desktop_shortcut).exists()

    # Starting with Windows is the player's choice: off unless asked for.
    assert registry_value(RUN_KEY, RUN_VALUE) is None


def test_start_with_windows_writes_the_clients_own_run_value_and_survives_a_reinstall(places):
    assert install("/STARTWITHWINDOWS") == 0
    assert registry_value(RUN_KEY, RUN_VALUE) == places.per_user.run_command

    # A silent update without the switch keeps what the player chose, here or in the client.
    assert install() == 0
    assert registry_value(RUN_KEY, RUN_VALUE) == places.per_user.run_command


def test_silent_install_keeps_a_run_value_the_player_set_and_points_it_here(places):
    registry_set(RUN_KEY, RUN_VALUE, '"C:\\Games\\Drovane\\DrovaneClient.exe"')
    assert install() == 0
    assert registry_value(RUN_KEY, RUN_VALUE) == places.per_user.run_command


@pytest.mark.parametrize("kind", KINDS)
def test_uninstall_removes_the_program_and_keeps_the_players_data(places, kind):
    installation = places.of(kind)
    assert install("/STARTWITHWINDOWS", *installation.switches) == 0
    # Starting with Windows stays the player's own value, whoever the installation is for.
    assert registry_value(RUN_KEY, RUN_VALUE) == installation.run_command
    data_file = write_player_data()
    # Shortcuts the client's Options make (desktop, either programs menu) lead nowhere once the
    # client is gone.
    for shortcut in places.shortcuts:
        if shortcut != installation.shortcut:
            host_path(shortcut).parent.mkdir(parents=True, exist_ok=True)
            shutil.copyfile(host_path(installation.shortcut), host_path(shortcut))

    assert uninstall_in_place(installation) == 0

    assert_program_removed(places, installation)
    remove_running_uninstaller_leftover(installation)
    assert registry_value(OPTIONS_KEY, "Username") == "player1"
    assert data_file.read_bytes() == b"SOMEACCOUNT\r\n"


def test_each_kind_of_installation_reinstalls_and_uninstalls_only_itself(places):
    """The player's own installation beside one for every user, each where it was put before."""
    every_user = places.all_users
    own = places.per_user.elsewhere(OTHER_FOLDER)
    assert install("/ALLUSERS") == 0
    assert install("/D=" + OTHER_FOLDER) == 0
    # Without /D=, a reinstallation goes where the previous one of its kind went.
    assert install("/ALLUSERS") == 0
    assert install("/STARTWITHWINDOWS") == 0
    assert not host_path(places.per_user.folder).exists()
    assert registry_value(own.uninstall_key, "InstallLocation") == OTHER_FOLDER
    assert registry_value(every_user.uninstall_key, "InstallLocation") == every_user.folder
    assert read_shortcut(host_path(own.shortcut)) == (own.client_exe, "Drovane Client")
    assert read_shortcut(host_path(every_user.shortcut)) == (every_user.client_exe,
                                                             "Drovane Client")
    assert registry_value(RUN_KEY, RUN_VALUE) == own.run_command

    assert uninstall_in_place(every_user) == 0

    remove_running_uninstaller_leftover(every_user)
    assert not key_exists(every_user.uninstall_key)
    assert not host_path(every_user.shortcut).exists()
    assert host_path(own.client_exe).is_file()
    assert registry_value(own.uninstall_key, "InstallLocation") == OTHER_FOLDER
    assert read_shortcut(host_path(own.shortcut)) == (own.client_exe, "Drovane Client")
    assert registry_value(RUN_KEY, RUN_VALUE) == own.run_command

    assert uninstall_in_place(own) == 0

    assert_program_removed(places, own)
    remove_running_uninstaller_leftover(own)


def test_uninstall_with_removedata_removes_the_players_data_too(places):
    installation = places.per_user
    assert install("/STARTWITHWINDOWS") == 0
    write_player_data()
    (host_path(DATA_DIR) / "log").mkdir()
    (host_path(DATA_DIR) / "log" / "2026-12-08_09-30-00.txt").write_bytes(b"[09:30:00] x\n")

    assert uninstall_in_place(installation, "/REMOVEDATA") == 0

    assert_program_removed(places, installation)
    remove_running_uninstaller_leftover(installation)
    assert not key_exists(SETTINGS_PARENT_KEY)
    assert not host_path("C:\\ProgramData\\Drovane").exists()


def test_removedata_keeps_other_drovane_settings(places):
    assert install() == 0
    write_player_data()
    registry_set(SETTINGS_PARENT_KEY + "\\Other Program", "Kept", "yes")

    assert uninstall_in_place(places.per_user, "/REMOVEDATA") == 0

    remove_running_uninstaller_leftover(places.per_user)
    assert not key_exists(SETTINGS_PARENT_KEY + "\\Drovane Client")
    assert registry_value(SETTINGS_PARENT_KEY + "\\Other Program", "Kept") == "yes"


def test_uninstall_leaves_the_run_value_of_another_copy_alone(places):
    assert install() == 0
    portable = '"C:\\Games\\Drovane\\DrovaneClient.exe"'
    registry_set(RUN_KEY, RUN_VALUE, portable)

    assert uninstall_in_place(places.per_user) == 0

    remove_running_uninstaller_leftover(places.per_user)
    assert registry_value(RUN_KEY, RUN_VALUE) == portable


def test_uninstall_as_the_programs_list_runs_it(places):
    """The command line Windows runs, whose uninstaller ends before its copy has done the work."""
    installation = places.per_user
    assert install("/STARTWITHWINDOWS") == 0
    data_file = write_player_data()
    temp = host_path(shell_folder("TEMP"))
    copies_before = set(glob.glob(str(temp / "~nsu*.tmp")))

    assert run_command_line(registry_value(installation.uninstall_key, "QuietUninstallString")) == 0

    # The copy removes the installation folder last: once it is gone, the work is done.
    deadline = time.monotonic() + 90
    while host_path(installation.folder).exists():
        assert time.monotonic() < deadline, "the uninstaller's copy did not finish in 90 s"
        time.sleep(0.2)
    assert_program_removed(places, installation)
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
def test_setup_and_uninstall_fail_while_the_client_runs(places, what):
    installation = places.per_user
    assert install() == 0
    installed = host_path(installation.client_exe).read_bytes()
    standin = ClientStandIn(what)
    try:
        # Silent runs answer the "close it and retry" question with Cancel and fail.
        assert install() == EXIT_ABORTED
        assert uninstall_in_place(installation) == EXIT_ABORTED
        assert host_path(installation.client_exe).read_bytes() == installed
        assert key_exists(installation.uninstall_key)
        assert host_path(installation.shortcut).exists()
    finally:
        standin.close()

    assert uninstall_in_place(installation) == 0
    assert not host_path(installation.client_exe).exists()
