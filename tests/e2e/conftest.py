"""What every end-to-end test stands on: the build's Wine prefix, the client, democtl, sample game
installations of the three editions and the development service.

Run by ctest (test e2e_pytest) with DROVANE_BUILD_DIR and DROVANE_SOURCE_DIR. The prefix is the
build's own, shared with the other tests, which run one at a time. Rather than a fresh prefix
(seconds and hundreds of MB per test), each test starts from a prefix without client settings
or data: HKCU\\SOFTWARE\\Drovane, the Run value and C:\\ProgramData\\Drovane are removed, as
are the game records and the sample installations of this suite, before and after every test.

Tests that take the `player` fixture run in the prefix of a standard user instead (see there),
which is cleaned the same way.
"""

import hashlib
import os
import pwd
import re
import shutil
import struct
import subprocess
import sys
import time
from pathlib import Path, PureWindowsPath

import pytest

BUILD = Path(os.environ["DROVANE_BUILD_DIR"])
SOURCE = Path(os.environ["DROVANE_SOURCE_DIR"])
sys.path.insert(0, str(SOURCE / "tools" / "devservice"))
sys.path.insert(0, str(Path(__file__).parent))

from devservice import DevService  # noqa: E402
from registry_trace import RELAY_INCLUDE, REGISTRY_TRACE  # noqa: E402

WINE_RUN = BUILD / "wine-run"
BIN = BUILD / "bin"

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

# Wine gives a Windows program the ANSI code page of the Unix locale it starts in. This one gives
# 1251, which lacks accented Latin and Greek letters, so a name written with them is lost by every
# "A" function; scripts/bootstrap generates the locale. (A UTF-8 code page would round-trip any
# name and hide such faults; without LANG, or with C.UTF-8, Wine gives 1252.)
CYRILLIC_LOCALE = "ru_RU.UTF-8"
CYRILLIC_CODE_PAGE = "1251"


# --- Wine ---------------------------------------------------------------------------------------


def _wine_run_settings():
    """The variables wine-run sets for every Windows program of the build (its prefix, the
    prefix's home folder, quiet debug output, no mono or gecko) and the wine64 it runs."""
    script = WINE_RUN.read_text()
    variables = dict(re.findall(r"^export (\w+)='([^']*)'$", script, re.M))
    program = re.search(r"^exec '([^']+)'", script, re.M).group(1)
    return variables, program


WINE_SETTINGS, WINE64 = _wine_run_settings()
WINESERVER = str(Path(WINE64).with_name("wineserver"))


class Prefix:
    """A Wine prefix and the Unix user whose Windows programs run in it: the build's own prefix,
    run as root, or a standard user's (the player fixture).

    Standard error goes to a log file, never to a pipe: the wineserver and the other helper
    processes a Wine command may start inherit it and keep it open long after the command."""

    def __init__(self, settings, tools, stderr_log, user=None, cwd=None):
        self.settings = settings
        self.tools = tools  # democtl's and gamefixture's folder: a Path, or a PureWindowsPath
        self.stderr_log = stderr_log
        self.user = user
        self.cwd = cwd
        self.drive_c = Path(settings["WINEPREFIX"]) / "drive_c"

    def command(self, program, args, variables=None):
        """The Unix command line and environment that run program (wine64 or the wineserver)
        with args here; variables are added to the prefix's settings or replace them."""
        variables = dict(self.settings, **(variables or {}))
        if self.user is None:
            return [program, *args], dict(os.environ, **variables)
        return (["runuser", "-u", self.user, "--", "env",
                 *[f"{name}={value}" for name, value in variables.items()], program, *args],
                None)

    def run(self, *args, timeout=WINE_TIMEOUT, variables=None):
        command, environment = self.command(WINE64, [str(a) for a in args], variables)
        with open(self.stderr_log, "ab") as stderr:
            return subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=stderr, timeout=timeout, env=environment, cwd=self.cwd)

    def start(self, *args, variables=None, stderr_path=None):
        """Starts a Windows program without waiting; its standard error is appended to the
        prefix's log, or written to stderr_path."""
        command, environment = self.command(WINE64, [str(a) for a in args], variables)
        with open(stderr_path or self.stderr_log, "wb" if stderr_path else "ab") as stderr:
            return subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                    stderr=stderr, env=environment, cwd=self.cwd)

    def wineserver(self, *args):
        command, environment = self.command(WINESERVER, list(args))
        with open(self.stderr_log, "ab") as stderr:
            return subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                  stderr=stderr, timeout=WINE_TIMEOUT, env=environment,
                                  cwd=self.cwd).returncode

    def tool(self, name):
        return str(self.tools / name)

    def host_path(self, windows_path):
        assert windows_path[:3].upper() == "C:\\", windows_path
        return self.drive_c.joinpath(*windows_path[3:].split("\\"))


BUILD_PREFIX = Prefix(WINE_SETTINGS, BIN, BUILD / "wine-stderr.log")


def locale_variables(locale):
    """The environment that starts a Windows program in that Unix locale; none for None (the
    locale of the tests themselves)."""
    return {"LANG": locale, "LC_ALL": locale} if locale else {}


def wine(*args, timeout=WINE_TIMEOUT, prefix=BUILD_PREFIX, locale=None):
    """Runs a program in the prefix (by default the build's) and waits for it."""
    return prefix.run(*args, timeout=timeout, variables=locale_variables(locale))


def host_path(windows_path, prefix=BUILD_PREFIX):
    return prefix.host_path(windows_path)


def democtl(*args, timeout=None, prefix=BUILD_PREFIX, locale=None):
    """(exit code, standard output) of democtl, which prints what it reads from the client in
    UTF-8; its own SECONDS argument bounds the wait."""
    result = wine(prefix.tool("democtl.exe"), *args, timeout=timeout or WINE_TIMEOUT,
                  prefix=prefix, locale=locale)
    return result.returncode, result.stdout.decode("utf-8", "replace")


def democtl_ok(*args, timeout=None, prefix=BUILD_PREFIX, locale=None):
    code, output = democtl(*args, timeout=timeout, prefix=prefix, locale=locale)
    assert code == 0, f"democtl {' '.join(map(str, args))}: {output}"
    return output


# --- Registry -----------------------------------------------------------------------------------

_VALUE_LINE = re.compile(r"^    (.+?)    (REG_[A-Z_]+)(?:    (.*))?$")


def registry_values(key, prefix=BUILD_PREFIX):
    result = wine("reg", "query", key, prefix=prefix)
    if result.returncode != 0:
        return {}
    values = {}
    for line in result.stdout.decode("utf-8", "replace").splitlines():
        match = _VALUE_LINE.match(line)
        if match:
            values[match.group(1)] = (match.group(2), match.group(3) or "")
    return values


def registry_set(key, name, kind, data, prefix=BUILD_PREFIX):
    # Wine's reg command, started right after the previous test's processes have ended, has been
    # seen to end with 1 without a word (once, in a whole CI run): it gets two more tries.
    for attempt in range(3):
        if wine("reg", "add", key, "/v", name, "/t", kind, "/d", data, "/f",
                prefix=prefix).returncode == 0:
            return
        time.sleep(1)
    raise AssertionError(f"reg add {key} /v {name} failed three times")


def dword(values, name):
    kind, text = values[name]
    assert kind == "REG_DWORD", (name, kind)
    return int(text, 16)


# --- The client ---------------------------------------------------------------------------------


class Client:
    """One client process started by a test, with the service's address in its environment.
    With trace, Wine's registry trace of the process (REGISTRY_TRACE) is written to that file;
    with locale, the client runs in that Unix locale (its ANSI code page; CYRILLIC_LOCALE)."""

    def __init__(self, service, *args, prefix=BUILD_PREFIX, trace=None, locale=None):
        self.prefix = prefix
        variables = {"DROVANE_SERVICE_URL": service.url, **locale_variables(locale)}
        if trace:
            variables["WINEDEBUG"] = REGISTRY_TRACE
        self.process = prefix.start(CLIENT_EXE, *args, variables=variables, stderr_path=trace)

    def wait(self, timeout):
        return self.process.wait(timeout=timeout)

    def running(self):
        return self.process.poll() is None

    def stop(self):
        """Closes the main window as a player would, and ends the process if it stays."""
        if self.running():
            democtl("close", 5, prefix=self.prefix)
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=15)


WINE_DEBUG_KEY = "HKCU\\Software\\Wine\\Debug"


@pytest.fixture
def registry_trace(tmp_path):
    """A file for the registry trace of a client started with Client(..., trace=file). While the
    test runs, the build prefix's RelayInclude limits Wine's relay trace to the DLLs of the
    registry API (registry_trace.py); its earlier value comes back afterwards."""
    earlier = registry_values(WINE_DEBUG_KEY).get("RelayInclude")
    registry_set(WINE_DEBUG_KEY, "RelayInclude", "REG_SZ", RELAY_INCLUDE)
    yield tmp_path / "registry-trace.txt"
    if earlier:
        registry_set(WINE_DEBUG_KEY, "RelayInclude", earlier[0], earlier[1])
    else:
        wine("reg", "delete", WINE_DEBUG_KEY, "/v", "RelayInclude", "/f")


def end_leftover_clients(prefix=BUILD_PREFIX):
    democtl("kill", 10, prefix=prefix)


def client_logs(prefix=BUILD_PREFIX):
    """The client's log files, oldest first (one per start)."""
    folder = host_path(LOG_DIR, prefix)
    return sorted(folder.glob("*.txt")) if folder.is_dir() else []


def log_text(path):
    return path.read_bytes().decode("cp1252", "replace")


def log_has_line(log, text):
    """Whether the log bytes hold a line of exactly text (UTF-8) after its time prefix."""
    return re.search(rb"(?m)^\[\d\d:\d\d:\d\d\] " + re.escape(text.encode("utf-8")) + rb"\n",
                     log) is not None


# --- Game installations -------------------------------------------------------------------------


def unregister_games(prefix=BUILD_PREFIX):
    for edition, *_ in EDITIONS:
        for view in ("64", "32"):
            wine(prefix.tool("gamefixture.exe"), "--unregister", "--edition", edition,
                 "--registry-view", view, prefix=prefix)


def write_installations(register=True, prefix=BUILD_PREFIX, editions=EDITIONS,
                        accounts=ACCOUNTS):
    for edition, folder, *_ in editions:
        args = [prefix.tool("gamefixture.exe"), "--edition", edition, "--accounts",
                ",".join(accounts), "--loot", "8", "--records", "12"]
        if register:
            args.append("--register")
        result = wine(*args, folder, prefix=prefix)
        assert result.returncode == 0, result.stdout


def addon_path(folder, account):
    return host_path(f"{folder}\\WTF\\Account\\{account}\\SavedVariables\\+Drovane_Looter.lua")


def assert_addon_installed(prefix=BUILD_PREFIX):
    """The published add-on's files, byte for byte, in every game folder."""
    for _, folder, *_ in EDITIONS:
        for relative, content in ADDON_FILES.items():
            installed = host_path(folder + "\\Interface\\AddOns\\Drovane_Looter\\" +
                                  relative.replace("/", "\\"), prefix)
            assert installed.is_file() and installed.read_bytes() == content, installed


def read_addon_files(editions=EDITIONS, accounts=ACCOUNTS):
    return {(edition, account): addon_path(folder, account).read_bytes()
            for edition, folder, *_ in editions for account in accounts}


def installations(editions=EDITIONS):
    return [(edition, version, host_path(folder)) for edition, folder, version, *_ in editions]


def run_game(edition, *options, timeout=60, editions=EDITIONS):
    """Starts the edition's game stand-in from its installation, as the launcher would."""
    for name, folder, _, _, exe in editions:
        if name == edition:
            return BUILD_PREFIX.start(folder + "\\" + exe, *options)
    raise ValueError(edition)


# --- Settings of a client that has been set up before -------------------------------------------


def write_configured_settings(preferences=PREF_SHOW_IN_TASKBAR | PREF_SHOW_IN_TRAY | PREF_AUTO_UPLOAD,
                              prefix=BUILD_PREFIX, editions=EDITIONS):
    """The settings a player's earlier runs left: folders, login, preferences, started before.
    Wine's reg command takes the folders as Unicode text."""
    for _, folder, _, setting, _ in editions:
        registry_set(OPTIONS_KEY, setting, "REG_SZ", folder, prefix=prefix)
    registry_set(OPTIONS_KEY, "Username", "REG_SZ", USERNAME, prefix=prefix)
    registry_set(OPTIONS_KEY, "Password", "REG_SZ", PASSWORD_MD5, prefix=prefix)
    registry_set(OPTIONS_KEY, "Preferences", "REG_DWORD", str(preferences), prefix=prefix)
    registry_set(STATISTICS_KEY, "#TimesStarted", "REG_DWORD", "3", prefix=prefix)
    registry_set(STATISTICS_KEY, "AutoDetectedPTR", "REG_DWORD", "1", prefix=prefix)
    registry_set(STATISTICS_KEY, "AutoDetectedBeta", "REG_DWORD", "1", prefix=prefix)


def allow_next_upload():
    """Moves the last upload two minutes back, past the once-a-minute rule."""
    stamp = struct.pack("<q", int(time.time()) - 120).hex()
    registry_set(STATISTICS_KEY, "LastUpload", "REG_BINARY", stamp)


# --- Clean prefix -------------------------------------------------------------------------------


def remove_client_traces(prefix=BUILD_PREFIX):
    end_leftover_clients(prefix)
    wine("reg", "delete", SETTINGS_KEY, "/f", prefix=prefix)
    wine("reg", "delete", RUN_KEY, "/v", RUN_VALUE, "/f", prefix=prefix)
    shutil.rmtree(host_path("C:\\ProgramData\\Drovane", prefix), ignore_errors=True)
    shutil.rmtree(host_path(ROOT, prefix), ignore_errors=True)
    unregister_games(prefix)


@pytest.fixture(autouse=True)
def clean_prefix(request):
    """Cleans the prefix the test runs in (the player's when it takes the player fixture) and
    puts the client in CLIENT_DIR."""
    prefix = request.getfixturevalue("player") if "player" in request.fixturenames else BUILD_PREFIX
    remove_client_traces(prefix)
    host_path(CLIENT_DIR, prefix).mkdir(parents=True)
    shutil.copyfile(BIN / "DrovaneClient.exe", host_path(CLIENT_EXE, prefix))
    yield
    remove_client_traces(prefix)


def client_md5():
    """The MD5 of the client the tests start (the build's)."""
    return hashlib.md5((BIN / "DrovaneClient.exe").read_bytes()).hexdigest()


# --- A standard user ----------------------------------------------------------------------------

PLAYER = "drovaneplayer"
PLAYER_TOOLS = PureWindowsPath("C:\\drovane-e2e-tools")


def _player_folder():
    """Where the player's prefix and home folder live: in the build tree, when the player may
    pass through its folders; otherwise in the player's own home folder."""
    reachable = subprocess.run(["runuser", "-u", PLAYER, "--", "test", "-x", str(BUILD)],
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL).returncode == 0
    if reachable:
        return BUILD / "player"
    tag = hashlib.md5(str(BUILD).encode()).hexdigest()[:8]
    return Path(pwd.getpwnam(PLAYER).pw_dir) / f"drovane-e2e-{tag}"


@pytest.fixture(scope="session")
def player():
    """A standard user of the computer (Unix user PLAYER, made when missing) with a Wine prefix
    of their own, made once (about 15 s) and kept (_player_folder). Wine grants the player's
    programs what Unix grants the player: a folder the player may not write refuses their files
    with ERROR_ACCESS_DENIED, as Windows refuses a standard user's writes into Program Files.
    The player's programs run democtl, gamefixture and fakegame from PLAYER_TOOLS, a copy inside
    the prefix. The prefix's wineserver runs for the whole session and is ended after it.
    Making users and acting as them needs root."""
    if os.geteuid() != 0:
        pytest.skip("a standard user is made and played by root only")
    if subprocess.run(["id", "-u", PLAYER], stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL).returncode != 0:
        subprocess.run(["useradd", "-m", PLAYER], check=True)
    account = pwd.getpwnam(PLAYER)
    folder = _player_folder()
    folder.mkdir(parents=True, exist_ok=True)
    settings = dict(WINE_SETTINGS, WINEPREFIX=str(folder / "wineprefix"), HOME=str(folder / "home"))
    for own in (settings["WINEPREFIX"], settings["HOME"]):
        Path(own).mkdir(exist_ok=True)
        os.chown(own, account.pw_uid, account.pw_gid)
    prefix = Prefix(settings, PLAYER_TOOLS, folder / "wine-stderr.log", user=PLAYER,
                    cwd=settings["HOME"])
    ready = folder / "prefix-ready"
    if not ready.exists():
        prefix.run("wineboot", "--init", timeout=300)
        assert prefix.drive_c.is_dir(), f"wineboot made no prefix; see {prefix.stderr_log}"
        # Windows without a screen: every window runs on the null display driver.
        registry_set("HKCU\\Software\\Wine\\Drivers", "Graphics", "REG_SZ", "null", prefix=prefix)
        assert prefix.wineserver("-w") == 0
        ready.touch()
    prefix.wineserver("-p")  # one server for the session: each Wine command starts faster
    tools = prefix.host_path(str(PLAYER_TOOLS))
    tools.mkdir(exist_ok=True)
    for name in ("democtl.exe", "gamefixture.exe"):
        shutil.copyfile(BIN / name, tools / name)
    # gamefixture takes the game's executables from the fakegame folder beside it.
    shutil.copytree(BIN / "fakegame", tools / "fakegame", dirs_exist_ok=True)
    yield prefix
    prefix.wineserver("-k")


def give_to_player(*windows_paths, prefix):
    """Makes files and folders of the player's prefix the player's own."""
    account = pwd.getpwnam(prefix.user)
    for windows_path in windows_paths:
        os.chown(prefix.host_path(windows_path), account.pw_uid, account.pw_gid)


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
