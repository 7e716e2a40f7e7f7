"""What every end-to-end test stands on: the build's Wine prefix, the client, democtl, sample game
installations of the three editions and the development service.

Run by ctest (test e2e_pytest) with DROVANE_BUILD_DIR and DROVANE_SOURCE_DIR. The prefix is the
build's own, shared with the other tests, which run one at a time. Rather than a fresh prefix
(seconds and hundreds of MB per test), each test starts from a prefix without client settings
or data: HKCU\\SOFTWARE\\Drovane, the Run value and C:\\ProgramData\\Drovane are removed, as
are the game records and the sample installations of this suite, before and after every test.
"""

import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import time
from pathlib import Path

import pytest

BUILD = Path(os.environ["DROVANE_BUILD_DIR"])
SOURCE = Path(os.environ["DROVANE_SOURCE_DIR"])
sys.path.insert(0, str(SOURCE / "tools" / "devservice"))
sys.path.insert(0, str(Path(__file__).parent))

from devservice import DevService  # noqa: E402

WINE_RUN = BUILD / "wine-run"
BIN = BUILD / "bin"
DRIVE_C = BUILD / "wineprefix" / "drive_c"

ROOT = "C:\\drovane-e2e"
CLIENT_DIR = ROOT + "\\client"
CLIENT_EXE = CLIENT_DIR + "\\DrovaneClient.exe"
DATA_DIR = "C:\\ProgramData\\Drovane\\Drovane Client"
STATE_DIR = DATA_DIR + "\\cache"
LOG_DIR = DATA_DIR + "\\log"
SETTINGS_KEY = "HKCU\\SOFTWARE\\Drovane"
OPTIONS_KEY = "HKCU\\SOFTWARE\\Drovane\\Drovane Client\\Options"
STATISTICS_KEY = "HKCU\\SOFTWARE\\Drovane\\Drovane Client\\Statistics"
RUN_KEY = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
RUN_VALUE = "Drovane_Client"

USERNAME = "Tester1"
PASSWORD = "open sesame"
PASSWORD_MD5 = hashlib.md5(PASSWORD.encode()).hexdigest()
ACCOUNTS = ["MY MAIN", "ALTS"]

PREF_SHOW_IN_TASKBAR = 0x04
PREF_SHOW_IN_TRAY = 0x08
PREF_AUTO_UPLOAD = 0x10

# Edition, folder, file version of its fakegame variant, the folder setting.
EDITIONS = [
    ("live", ROOT + "\\Live", "7.0.3.22522", "WoW Folder", "Wow-64.exe"),
    ("ptr", ROOT + "\\PTR", "7.1.0.22810", "WoW Folder PTR", "WowT-64.exe"),
    ("beta", ROOT + "\\Beta", "7.2.0.23436", "WoW Folder Beta", "WowB-64.exe"),
]
ADDON_FILES = {
    "Drovane_Looter.toc": b"## Interface: 70000\r\n## Title: Drovane Looter\r\nDrovane_Looter.lua\r\n",
    "Drovane_Looter.lua": b"-- Drovane Looter\r\nDrovaneLooter = {}\r\n",
    "Locales/deDE.lua": b"-- deDE\r\n",
}
ADDON_TARGET = "%WoW%\\Interface\\AddOns\\Drovane_Looter\\"

WINE_TIMEOUT = 120
EXIT_ANOTHER_INSTANCE = 255  # -1 as a Linux exit status


# --- Wine ---------------------------------------------------------------------------------------


def wine(*args, timeout=WINE_TIMEOUT, env=None):
    """Runs a program in the prefix; standard error goes to the build's wine-stderr.log."""
    return subprocess.run([str(WINE_RUN), *args], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, timeout=timeout, env=env)


def host_path(windows_path):
    assert windows_path[:3].upper() == "C:\\", windows_path
    return DRIVE_C.joinpath(*windows_path[3:].split("\\"))


def democtl(*args, timeout=None):
    """(exit code, standard output) of democtl; its own SECONDS argument bounds the wait."""
    result = wine(str(BIN / "democtl.exe"), *[str(a) for a in args],
                  timeout=timeout or WINE_TIMEOUT)
    return result.returncode, result.stdout.decode("utf-8", "replace")


def democtl_ok(*args, timeout=None):
    code, output = democtl(*args, timeout=timeout)
    assert code == 0, f"democtl {' '.join(map(str, args))}: {output}"
    return output


# --- Registry -----------------------------------------------------------------------------------

_VALUE_LINE = re.compile(r"^    (.+?)    (REG_[A-Z_]+)(?:    (.*))?$")


def registry_values(key):
    result = wine("reg", "query", key)
    if result.returncode != 0:
        return {}
    values = {}
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        match = _VALUE_LINE.match(line)
        if match:
            values[match.group(1)] = (match.group(2), match.group(3) or "")
    return values


def registry_set(key, name, kind, data):
    # Wine's reg command, started right after the previous test's processes have ended, has been
    # seen to end with 1 without a word (once, in a whole CI run): it gets two more tries.
    for attempt in range(3):
        if wine("reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f").returncode == 0:
            return
        time.sleep(1)
    raise AssertionError(f"reg add {key} /v {name} failed three times")


def dword(values, name):
    kind, text = values[name]
    assert kind == "REG_DWORD", (name, kind)
    return int(text, 16)


# --- The client ---------------------------------------------------------------------------------


class Client:
    """One client process started by a test, with the service's address in its environment."""

    def __init__(self, service, *args):
        env = dict(os.environ, DROVANE_SERVICE_URL=service.url)
        self.process = subprocess.Popen([str(WINE_RUN), CLIENT_EXE, *args],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        env=env)

    def wait(self, timeout):
        return self.process.wait(timeout=timeout)

    def running(self):
        return self.process.poll() is None

    def stop(self):
        """Closes the main window as a player would, and ends the process if it stays."""
        if self.running():
            democtl("close", 5)
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=15)


def end_leftover_clients():
    democtl("kill", 10)


def client_logs():
    """The client's log files, oldest first (one per start)."""
    folder = host_path(LOG_DIR)
    return sorted(folder.glob("*.txt")) if folder.is_dir() else []


def log_text(path):
    return path.read_bytes().decode("cp1252", "replace")


# --- Game installations -------------------------------------------------------------------------


def unregister_games():
    for edition, *_ in EDITIONS:
        for view in ("64", "32"):
            wine(str(BIN / "gamefixture.exe"), "--unregister", "--edition", edition,
                 "--registry-view", view)


def write_installations(register=True):
    for edition, folder, *_ in EDITIONS:
        args = [str(BIN / "gamefixture.exe"), "--edition", edition, "--accounts",
                ",".join(ACCOUNTS), "--loot", "8", "--records", "12"]
        if register:
            args.append("--register")
        result = wine(*args, folder)
        assert result.returncode == 0, result.stdout


def addon_path(folder, account):
    return host_path(f"{folder}\\WTF\\Account\\{account}\\SavedVariables\\+Drovane_Looter.lua")


def read_addon_files():
    return {(edition, account): addon_path(folder, account).read_bytes()
            for edition, folder, *_ in EDITIONS for account in ACCOUNTS}


def installations():
    return [(edition, version, host_path(folder)) for edition, folder, version, *_ in EDITIONS]


def run_game(edition, *options, timeout=60):
    """Starts the edition's game stand-in from its installation, as the launcher would."""
    for name, folder, _, _, exe in EDITIONS:
        if name == edition:
            return subprocess.Popen([str(WINE_RUN), folder + "\\" + exe, *options],
                                    stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    raise ValueError(edition)


# --- Settings of a client that has been set up before -------------------------------------------


def write_configured_settings(preferences=PREF_SHOW_IN_TASKBAR | PREF_SHOW_IN_TRAY | PREF_AUTO_UPLOAD):
    """The settings a player's earlier runs left: folders, login, preferences, started before."""
    for _, folder, _, setting, _ in EDITIONS:
        registry_set(OPTIONS_KEY, setting, "REG_SZ", folder)
    registry_set(OPTIONS_KEY, "Username", "REG_SZ", USERNAME)
    registry_set(OPTIONS_KEY, "Password", "REG_SZ", PASSWORD_MD5)
    registry_set(OPTIONS_KEY, "Preferences", "REG_DWORD", str(preferences))
    registry_set(STATISTICS_KEY, "#TimesStarted", "REG_DWORD", "3")
    registry_set(STATISTICS_KEY, "AutoDetectedPTR", "REG_DWORD", "1")
    registry_set(STATISTICS_KEY, "AutoDetectedBeta", "REG_DWORD", "1")


def allow_next_upload():
    """Moves the last upload two minutes back, past the once-a-minute rule."""
    stamp = struct.pack("<q", int(time.time()) - 120).hex()
    registry_set(STATISTICS_KEY, "LastUpload", "REG_BINARY", stamp)


# --- Clean prefix -------------------------------------------------------------------------------


def remove_client_traces():
    end_leftover_clients()
    wine("reg", "delete", SETTINGS_KEY, "/f")
    wine("reg", "delete", RUN_KEY, "/v", RUN_VALUE, "/f")
    shutil.rmtree(host_path("C:\\ProgramData\\Drovane"), ignore_errors=True)
    shutil.rmtree(host_path(ROOT), ignore_errors=True)
    unregister_games()


@pytest.fixture(autouse=True)
def clean_prefix():
    remove_client_traces()
    host_path(CLIENT_DIR).mkdir(parents=True)
    shutil.copyfile(BIN / "DrovaneClient.exe", host_path(CLIENT_EXE))
    yield
    remove_client_traces()


def client_md5():
    return hashlib.md5(host_path(CLIENT_EXE).read_bytes()).hexdigest()


@pytest.fixture
def service(tmp_path):
    """The development service with an update list that names the running client and, when a
    test publishes it, the add-on."""
    service = DevService(str(tmp_path / "data"), str(tmp_path / "files"),
                         config={"accounts": {USERNAME: {"password": PASSWORD}}})
    service.start()
    service.release_dir = tmp_path / "release"
    service.release_dir.mkdir()
    publish(service)
    yield service
    service.stop()


def publish(service, with_addon=False, client_bytes=None):
    release = service.release_dir
    entries = []
    if with_addon:
        for relative, content in ADDON_FILES.items():
            path = release / "addon" / "Drovane_Looter" / relative
            path.parent.mkdir(parents=True, exist_ok=True)
            path.write_bytes(content)
        entries.append({"folder": "addon/Drovane_Looter", "target": ADDON_TARGET})
    manifest = {"source": str(release), "entries": entries}
    if client_bytes is None:
        manifest.update(clientMd5=client_md5(), clientPath="DrovaneClient.exe")
    else:
        (release / "DrovaneClient.exe").write_bytes(client_bytes)
        manifest["client"] = "DrovaneClient.exe"
    service.publish(manifest, str(release))
