"""The whole client under Wine: first run, the road of one upload, names in any language,
self-update, a refusal for private-server data, a second instance, and uploads that fail on the
way."""

import re
import struct
import time
from pathlib import Path

import pytest

from conftest import (BIN, CLIENT_DIR, CLIENT_EXE, CYRILLIC_CODE_PAGE, CYRILLIC_LOCALE, DATA_DIR,
                      EDITIONS, EXIT_ANOTHER_INSTANCE, OPTIONS_KEY, PASSWORD, PASSWORD_MD5,
                      PREF_AUTO_UPLOAD, ROOT, STATE_DIR, STATISTICS_KEY, USERNAME, Client,
                      addon_path, allow_next_upload, assert_addon_installed, client_logs, democtl,
                      democtl_ok, dword, host_path, installations, log_has_line, log_text,
                      publish, read_addon_files, registry_values, run_game,
                      write_configured_settings, write_installations)
from registry_trace import (beyond_reading, client_key_opens, image_size, listing,
                            under_machine)
from upload_copies import IdSets, expected_package

UPLOAD_WAIT = 90


def stored_upload(record):
    folder = Path(record.upload_dir) / "files"
    return {path.name: path.read_bytes() for path in folder.iterdir()}


def record_ids(wdb):
    ids, position = [], 24
    while position + 8 <= len(wdb):
        record_id, length = struct.unpack_from("<ii", wdb, position)
        if record_id < 1:
            break
        ids.append(record_id)
        position += 8 + length
    return ids


def state_files():
    folder = host_path(STATE_DIR)
    return {p.name: p.read_bytes() for p in folder.iterdir()} if folder.is_dir() else {}


def with_uploaded_line(text, value):
    return re.sub(rb"dlUploaded = [-+]?\d+", b"dlUploaded = %d" % value, text, count=1)


def list_rows(output):
    return [line.split("\t") for line in output.splitlines() if line.startswith(("cache\t", "account\t"))]


def wait_for_pane_count(text, count, timeout=UPLOAD_WAIT):
    """Waits until the log pane holds text count times (wait-pane sees only the first)."""
    deadline = time.monotonic() + timeout
    while True:
        pane = democtl_ok("pane", 10)
        if pane.count(text) >= count:
            return pane
        assert time.monotonic() < deadline, pane
        time.sleep(0.5)


def start_configured_client(service, *args):
    client = Client(service, "skipinitialselfupdate", *args)
    democtl_ok("wait-pane", "Thanks for using the Drovane Client!", 60)
    return client


def play_session(*options, edits_addon=False):
    """One game session of the Live game: it starts, writes its data and exits after a few
    seconds. Returns the add-on files as the game left them (read while it still runs, before the
    client can rewrite them after an upload)."""
    before = read_addon_files()
    sessions = democtl_ok("pane", 10).count("WoW is now running.")
    game = run_game("live", "--run-ms", "4500", "--write-at", "start", *options)
    wait_for_pane_count("WoW is now running.", sessions + 1, 30)
    deadline = time.monotonic() + 20
    after = read_addon_files()
    while edits_addon and after == before:
        assert time.monotonic() < deadline, "the game did not write the add-on file"
        time.sleep(0.1)
        after = read_addon_files()
    assert game.wait(timeout=60) == 0
    return after


# --- First run ----------------------------------------------------------------------------------


def test_first_run_finds_the_game_installs_the_addon_takes_the_login_and_only_reads_hklm(
        service, registry_trace):
    write_installations(register=True)
    publish(service, with_addon=True)
    client = Client(service, trace=registry_trace)
    try:
        asked = democtl_ok("answer", "yes", 60)
        assert ("the client asks: Is this the folder where you installed World of Warcraft?\n"
                + EDITIONS[0][1] + "\n\nIf not, click 'No' to browse for it.") in asked.replace("\r", "")
        # The start-up update installs the add-on and waits for the player to go on.
        democtl_ok("press", "Drovane Update", "Continue", 60)
        # The first run opens the Options by itself.
        democtl_ok("login", USERNAME, PASSWORD, "auto-upload", 60)
        democtl_ok("wait-gone", "Options", 30)

        options = registry_values(OPTIONS_KEY)
        for _, folder, _, setting, _ in EDITIONS:
            assert options[setting] == ("REG_SZ", folder)
        assert options["Username"] == ("REG_SZ", USERNAME)
        assert options["Password"] == ("REG_SZ", PASSWORD_MD5)
        assert dword(options, "Preferences") & PREF_AUTO_UPLOAD
        assert_addon_installed()

        rows = list_rows(democtl_ok("lists", 30))
        cache = [row[1:] for row in rows if row[0] == "cache"]
        # Three installations of 12 records per file; nothing uploaded yet.
        assert [(r[0], r[1], r[3], r[4]) for r in cache] == [
            ("Creatures", "36", "0%", "Monsters and NPCs"),
            ("Objects", "36", "0%", "Chests, minerals, herbs, etc."),
            ("Pages", "36", "0%", "Readable items/objects text"),
            ("Quests", "36", "0%", "Quests description and objectives"),
            ("Items", "36", "0%", "Items"),
            ("ADB files", "21 files", "0%", "WoW cache files"),
        ]
        accounts = [row[1:] for row in rows if row[0] == "account"]
        assert sorted((r[0], r[2]) for r in accounts) == sorted(
            [("My Main", "8"), ("Alts", "8")] * 3)
        statistics = registry_values(STATISTICS_KEY)
        assert dword(statistics, "#TimesStarted") == 1

        # The rest of a first day: an upload and a look for updates.
        democtl_ok("command", 101, 10)
        democtl_ok("press", "Drovane Uploader", "Close", UPLOAD_WAIT)
        democtl_ok("wait-pane", "Upload succeeded!", 30)
        assert [r.answer_status for r in service.requests("upload")] == [200]
        democtl_ok("command", 233, 10)
        democtl_ok("press", "Drovane Update", "Close", 60)
        lists = [r for r in service.requests("file") if r.path == "/files/updates.dat"]
        assert len(lists) == 2
    finally:
        client.stop()
    assert client.wait(30) == 0
    log = log_text(client_logs()[-1])
    assert "Drovane Client (1.9.01) started." in log
    assert "Closing application." in log

    # A standard user may only read HKEY_LOCAL_MACHINE. Wine grants every access, so the access
    # the client asked for is read from Wine's trace of its own registry calls.
    opens = client_key_opens(registry_trace, CLIENT_EXE, image_size(BIN / "DrovaneClient.exe"))
    machine = [key for key in opens if under_machine(key.name)]
    game = re.compile(r"\\Blizzard Entertainment\\World of Warcraft$", re.I)
    assert any(game.search(key.name) for key in machine), (
        f"{registry_trace} shows no read of the game's record; the client opened:\n"
        + listing(opens))
    unnamed = [key for key in opens if key.name.startswith("<")]
    assert not unnamed, f"{registry_trace} did not name the parents of:\n{listing(unnamed)}"
    beyond = [key for key in machine if beyond_reading(key)]
    assert not beyond, (
        f"keys under HKEY_LOCAL_MACHINE opened with more than read access:\n{listing(beyond)}")


# --- The road of one upload ---------------------------------------------------------------------


def test_game_exit_uploads_by_itself_and_a_second_session_sends_only_what_is_new(service):
    write_installations(register=False)
    write_configured_settings()
    model = IdSets()
    client = start_configured_client(service)
    try:
        addon_before = read_addon_files()
        play_session("--append-wdb", "creatures:4")
        pane = democtl_ok("wait-pane", "Upload succeeded!", UPLOAD_WAIT)
        assert re.search(r"\] WoW exited\. Auto-uploading\.\.\. ", pane), pane

        uploads = service.requests("upload")
        assert len(uploads) == 1 and uploads[0].answer_status == 200
        expected = expected_package(installations(), model, addon_before)
        # Three installations: four WDB files, seven ADB files and two add-on files each.
        assert len(expected) == 39
        assert sorted(stored_upload(uploads[0])) == sorted(expected)
        for name, content in expected.items():
            assert stored_upload(uploads[0])[name] == content, name
        query = dict(uploads[0].query)
        assert query["username"] == USERNAME and query["password"] == PASSWORD_MD5
        assert query["clientversion"] == "1.9.01" and query["locale"] == "enUS"
        assert query["realmlist"] == "\n".join(["us.logon.worldofwarcraft.com"] * 3)
        assert query["portal"] == "US\nUS\nUS"

        # The add-on files carry their new state; nothing else in them changed.
        addon_after = read_addon_files()
        for key, text in addon_before.items():
            assert addon_after[key] == with_uploaded_line(text, 3), key
        assert state_files() == model.state_files()
        statistics = registry_values(STATISTICS_KEY)
        assert dword(statistics, "#Uploads") == 1
        assert dword(statistics, "TotalUploaded") == len(uploads[0].raw)
        last_upload = struct.unpack("<q", bytes.fromhex(statistics["LastUpload"][1]))[0]
        assert abs(last_upload - time.time()) < 120

        rows = list_rows(democtl_ok("lists", 30))
        # Everything found has been sent: the Live creatures hold the four new records too.
        assert [(r[1], r[2], r[4]) for r in rows if r[0] == "cache"] == [
            ("Creatures", "40", "100%"), ("Objects", "36", "100%"), ("Pages", "36", "100%"),
            ("Quests", "36", "100%"), ("Items", "36", "100%"), ("ADB files", "21 files", "100%")]
        assert [row for row in rows if row[0] == "account"] == []

        # A second session adds creatures and loot of one account: only those go.
        allow_next_upload()
        addon_before = play_session("--append-wdb", "creatures:3", "--collect", "MY MAIN=2",
                                    edits_addon=True)
        wait_for_pane_count("Upload succeeded!", 2)
        second = service.requests("upload")[1]
        expected = expected_package(installations(), model, addon_before)
        assert sorted(expected) == ["LIVE_7.0.3.22522_MY MAIN_SavedVariables.lua",
                                    "LIVE_7.0.3.22522_enUS_creaturecache.wdb"]
        assert stored_upload(second) == expected
        # The fixture wrote ids 1 to 12, the first session 13 to 16: only 17 to 19 are new.
        assert record_ids(expected["LIVE_7.0.3.22522_enUS_creaturecache.wdb"]) == [17, 18, 19]
        assert addon_path(EDITIONS[0][1], "MY MAIN").read_bytes() == with_uploaded_line(
            addon_before[("live", "MY MAIN")], 3)
        assert state_files() == model.state_files()
        assert dword(registry_values(STATISTICS_KEY), "#Uploads") == 2
    finally:
        client.stop()
    log = log_text(client_logs()[-1])
    assert "WoW exited." in log and "Attempting to upload (automated): All requirements met." in log
    assert "Transfer successful!" in log


# --- Names in any language ----------------------------------------------------------------------

# A Live installation in a folder, and accounts, named with letters that code page 1251 lacks
# (Greek, accented Latin), beside an ordinary account.
NAMED_LIVE = [("live", ROOT + "\\Ωmega Élan\\Live", "7.0.3.22522", "WoW Folder", "Wow-64.exe")]
EXCLUDED_ACCOUNT = "ÉLODIE"
INCLUDED_ACCOUNT = "ΩMEGA"
NAMED_ACCOUNTS = ["MY MAIN", EXCLUDED_ACCOUNT, INCLUDED_ACCOUNT]


def addon_stats(text):
    return re.search(rb'\ndlStats = "([^"]*)"', text).group(1).decode().split("^")


def scan_lines(log):
    """The log's lines about game folders and accounts, to show when one is missing."""
    return "\n".join(line for line in log.decode("utf-8", "replace").splitlines()
                     if "Scanning" in line or "Account" in line)


def test_accounts_and_a_game_folder_named_outside_the_code_page_are_listed_excluded_and_uploaded(
        service):
    assert democtl_ok("codepage", locale=CYRILLIC_LOCALE).strip() == CYRILLIC_CODE_PAGE, (
        f"Wine gives no code page {CYRILLIC_CODE_PAGE} in {CYRILLIC_LOCALE}: "
        "scripts/bootstrap generates that locale")
    (_, folder, version, *_), = NAMED_LIVE
    write_installations(register=False, editions=NAMED_LIVE, accounts=NAMED_ACCOUNTS)
    write_configured_settings(editions=NAMED_LIVE)
    block = host_path(DATA_DIR + "\\account.block")
    block.parent.mkdir(parents=True)
    block.write_bytes(EXCLUDED_ACCOUNT.encode("utf-8") + b"\n")
    addon_before = read_addon_files(NAMED_LIVE, NAMED_ACCOUNTS)
    client = Client(service, "skipinitialselfupdate", locale=CYRILLIC_LOCALE)
    try:
        code, _ = democtl("wait-pane", "Thanks for using the Drovane Client!", 60)
        assert code == 0, (f"the client lost the stored game folder {folder}:\n"
                           + democtl("answer", "no", 1)[1])
        # Name (title case), loots and exported characters, or "Blocked" for the excluded one.
        rows = [row[1:] for row in list_rows(democtl_ok("lists", 30)) if row[0] == "account"]
        expected_rows = []
        for account, title in zip(NAMED_ACCOUNTS, ["My Main", "Élodie", "Ωmega"]):
            stats = addon_stats(addon_before[("live", account)])
            expected_rows.append(
                (title, stats[3], "Blocked" if account == EXCLUDED_ACCOUNT else stats[5]))
        assert sorted((r[0], r[2], r[5]) for r in rows) == sorted(expected_rows)

        # A game session from that folder ends: the client uploads by itself.
        game = run_game("live", "--run-ms", "4500", editions=NAMED_LIVE)
        code, pane = democtl("wait-pane", "WoW is now running.", 30)
        assert code == 0, f"the client did not see the game run from {folder}:\n{pane}"
        assert game.wait(timeout=60) == 0
        democtl_ok("wait-pane", "Upload succeeded!", UPLOAD_WAIT)
        uploads = service.requests("upload")
        assert len(uploads) == 1 and uploads[0].answer_status == 200
        stored = stored_upload(uploads[0])
        expected = expected_package(installations(NAMED_LIVE), IdSets(), addon_before,
                                    excluded={EXCLUDED_ACCOUNT})
        assert sorted(stored) == sorted(expected)
        for name, content in expected.items():
            assert stored[name] == content, name
        # The excluded account's character data stayed at home; the other one's went.
        addon = f"LIVE_{version}_%s_SavedVariables.lua"
        assert b"dlExportData = " not in stored[addon % EXCLUDED_ACCOUNT]
        assert b"\ndlExportData = " in stored[addon % INCLUDED_ACCOUNT]
        assert stored[addon % INCLUDED_ACCOUNT] == addon_before[("live", INCLUDED_ACCOUNT)]
    finally:
        client.stop()
    log = client_logs()[-1].read_bytes()
    # The log holds the names as UTF-8 bytes.
    assert log_has_line(log, f" - Scanning '{folder}' (Live):"), scan_lines(log)
    for account in NAMED_ACCOUNTS:
        path = f"{folder}\\WTF\\Account\\{account}\\SavedVariables\\+Drovane_Looter.lua"
        assert log_has_line(log, f"  > '{path}': Not uploaded."), scan_lines(log)
        size = len(addon_before[("live", account)])
        assert log_has_line(log, f"Preparing '{path}' ({size} bytes)."), scan_lines(log)


# --- Self-update --------------------------------------------------------------------------------


def test_check_for_updates_replaces_the_running_client_and_restarts_it(service):
    write_installations(register=False)
    write_configured_settings()
    old_bytes = host_path(CLIENT_EXE).read_bytes()
    client = start_configured_client(service)
    new_bytes = old_bytes + b"\0drovane e2e: a newer client\0"
    publish(service, client_bytes=new_bytes)

    democtl_ok("command", 233, 10)
    # The old process ends once it has started the new one.
    assert client.wait(60) == 0
    # The new process shows its main window when its own start-up update found nothing to do.
    democtl_ok("wait-pane", "Thanks for using the Drovane Client!", 60)
    try:
        assert host_path(CLIENT_EXE).read_bytes() == new_bytes
        deadline = time.monotonic() + 15
        while [p.name for p in host_path(CLIENT_DIR).iterdir()] != ["DrovaneClient.exe"]:
            assert time.monotonic() < deadline, list(host_path(CLIENT_DIR).iterdir())
            time.sleep(0.2)
        # The log is written once a second.
        deadline = time.monotonic() + 10
        while True:
            logs = [log_text(path) for path in client_logs()]
            restarted = [text for text in logs if "\t#1:\tselfupdate\n" in text]
            if restarted and "Creating `MainForm`." in restarted[0]:
                break
            assert time.monotonic() < deadline, "\n".join(logs)
            time.sleep(0.2)
        assert len(restarted) == 1
        restarted = restarted[0]
        assert "Drovane Client launched with 3 argument(s)." in restarted
        match = re.search(r"\t#1:\tselfupdate\n\t#2:\t(.+)\n\t#3:\tnormal\n", restarted)
        assert match, restarted
        # Where the new client was written before it took the executable's place.
        assert re.fullmatch(re.escape(CLIENT_EXE) + r"[0-9a-f]{32}\.new", match.group(1))
        assert "SelfUpdate client launch - normal." in restarted
        downloads = [r.path for r in service.requests("file")]
        assert "/files/DrovaneClient.exe" in downloads
    finally:
        democtl_ok("close", 10)
        democtl_ok("wait-exit", 30)


# --- Private server -----------------------------------------------------------------------------


def test_private_server_answer_renames_realm_lists_and_caches_and_forgets_the_state(service):
    write_installations(register=False)
    write_configured_settings()
    stale = host_path(STATE_DIR + "\\creaturecache.wdb_enUS_22522")
    stale.parent.mkdir(parents=True)
    stale.write_bytes(b"\0" * 40960)
    service.set_defaults(auth={"result": 3, "more": "Your data comes from a private server."})
    client = start_configured_client(service)
    try:
        democtl_ok("command", 101, 10)
        message = democtl_ok("answer", "ok", 60)
        assert "Your data comes from a private server." in message
        realmlist = democtl_ok("answer", "yes", 30)
        assert "rename your 'realmlist.wtf' file" in realmlist
        cache = democtl_ok("answer", "yes", 30)
        assert "rename your World of Warcraft cache directory" in cache
        democtl_ok("wait-pane", "Upload failed: Your data comes from a private server.", 30)

        assert state_files() == {}
        for _, folder, *_ in EDITIONS:
            game = host_path(folder)
            assert not (game / "Cache").exists()
            renamed = [p.name for p in game.iterdir() if p.name.startswith("Cache.")]
            assert len(renamed) == 1 and re.fullmatch(r"Cache\.[0-9a-f]{32}\.DELETE_ME", renamed[0])
            data = game / "Data" / "enUS"
            names = [p.name for p in data.iterdir()]
            assert len(names) == 1 and re.fullmatch(r"realmlist\.wtf\.[0-9a-f]{32}\.DELETE_ME",
                                                    names[0]), names
        assert service.requests("upload") == []
    finally:
        client.stop()


# --- Second instance ----------------------------------------------------------------------------


def test_a_second_plain_start_brings_the_running_client_forward_and_exits(service):
    write_installations(register=False)
    write_configured_settings()
    first = Client(service)
    try:
        democtl_ok("wait-pane", "Thanks for using the Drovane Client!", 60)
        time.sleep(1.1)  # log files are named to the second
        second = Client(service)
        assert second.wait(60) == EXIT_ANOTHER_INSTANCE
        assert first.running()
        title, _, window_class = democtl_ok("foreground").strip().partition("\t")
        assert (title, window_class) == ("Drovane Client", "#32770")
        log = log_text(client_logs()[-1])
        assert "Drovane Client launched with 0 argument(s)." in log
        assert "started." not in log
    finally:
        first.stop()
    assert first.wait(30) == 0


# --- Faults on the way --------------------------------------------------------------------------

FAULTS = {
    "status 500": ({"status": 500}, "Upload failed: Invalid status code: 500."),
    # The service reads the head of the upload and resets the connection while the body comes.
    # The pane gives the network error's text (the system's words for a reset).
    "dropped mid-upload": ({"drop": {"phase": "request", "reset": True}}, "Upload failed: "),
    # The request is sent whole and the answer never comes: the watchdog stops the wait after 20
    # seconds without progress.
    "stalled answer": ({"stall": {"phase": "answer", "seconds": 30}},
                       "Upload failed: Server timeout."),
}


@pytest.mark.parametrize("fault", list(FAULTS))
def test_a_failed_upload_keeps_every_file_and_the_next_attempt_succeeds(service, fault):
    answer, pane_text = FAULTS[fault]
    write_installations(register=False)
    write_configured_settings()
    # An earlier upload sent the Live creatures the fixture wrote (ids 1 to 12).
    model = IdSets()
    for record_id in range(1, 13):
        model.add(("creaturecache.wdb", "enUS", 22522), record_id)
    host_path(STATE_DIR).mkdir(parents=True)
    for name, content in model.state_files().items():
        host_path(STATE_DIR + "\\" + name).write_bytes(content)
    states_before = state_files()
    service.set_defaults(upload=answer)
    client = start_configured_client(service)
    try:
        addon_before = play_session("--append-wdb", "creatures:2")
        # The upload the client started when the game exited waits for no click: no box, and
        # the pane gives the reason.
        pane = democtl_ok("wait-pane", pane_text, UPLOAD_WAIT)
        code, box = democtl("answer", "ok", 1)
        assert code != 0, f"the automatic upload showed a box:\n{box}"
        failed = [line for line in pane.splitlines() if "Upload failed: " in line]
        assert len(failed) == 1 and not failed[0].endswith("Upload failed: "), pane
        assert "Upload succeeded!" not in pane
        assert read_addon_files() == addon_before
        assert state_files() == states_before
        assert "#Uploads" not in registry_values(STATISTICS_KEY)

        # The service recovers; the player presses Upload.
        service.set_defaults(upload={"result": 0})
        expected = expected_package(installations(), model, addon_before)
        assert record_ids(expected["LIVE_7.0.3.22522_enUS_creaturecache.wdb"]) == [13, 14]
        before = max(r.seq for r in service.requests())
        democtl_ok("command", 101, 10)
        democtl_ok("press", "Drovane Uploader", "Close", UPLOAD_WAIT)
        democtl_ok("wait-pane", "Upload succeeded!", 30)
        # A stalled upload is recorded only when its stall ends, possibly after the retry: the
        # retry's upload is the one after the retry's authentication.
        retry = [r.seq for r in service.requests("auth") if r.seq > before]
        assert len(retry) == 1
        stored = [r for r in service.requests("upload") if r.seq > retry[0]]
        assert len(stored) == 1 and stored[0].answer_status == 200
        assert stored_upload(stored[0]) == expected
        assert state_files() == model.state_files()
        for key, text in addon_before.items():
            assert read_addon_files()[key] == with_uploaded_line(text, 3), key
    finally:
        client.stop()
