"""The client run by a standard user of the computer: a Unix user with a Wine prefix of their own
(the player fixture), who may write the game folders but, when the client was installed for every
user, not the client's own folder."""

import re
import subprocess
import time

import pytest

from conftest import (CLIENT_DIR, CLIENT_EXE, PLAYER, ROOT, Client, assert_addon_installed,
                      democtl, democtl_ok, give_to_player, host_path, publish,
                      write_configured_settings, write_installations)

WELCOME = "Thanks for using the Drovane Client!"
CANNOT_INSTALL = "A newer version of Drovane Client is available, but it cannot be installed in"


def finish_startup(prefix, timeout=90):
    """Goes through the start-up update as a player does, pressing Continue once it has
    installed files, until the main window greets; returns the log pane. A message box of the
    client on the way fails the test with its text."""
    deadline = time.monotonic() + timeout
    while True:
        code, pane = democtl("pane", 1, prefix=prefix)
        if code == 0 and WELCOME in pane:
            return pane
        code, box = democtl("answer", "ok", 1, prefix=prefix)
        assert code != 0, f"the client's start-up ended in a message box:\n{box}"
        democtl("press", "Drovane Update", "Continue", 1, prefix=prefix)
        assert time.monotonic() < deadline, f"the main window never greeted; its log pane:\n{pane}"


def client_folder_names(prefix):
    return sorted(path.name for path in host_path(CLIENT_DIR, prefix).iterdir())


def player_may_write(prefix, windows_path):
    return subprocess.run(["runuser", "-u", PLAYER, "--", "test", "-w",
                           str(host_path(windows_path, prefix))]).returncode == 0


@pytest.mark.parametrize("client_folder", ["read-only", "writable"])
def test_a_newer_client_replaces_the_running_one_only_where_the_player_may_write(
        service, player, client_folder):
    # The game folders are the player's. The client's folder is root's (an installation for every
    # user, such as C:\Program Files) or the player's (an unpacked portable copy).
    give_to_player(ROOT, prefix=player)
    if client_folder == "writable":
        give_to_player(CLIENT_DIR, CLIENT_EXE, prefix=player)
    assert player_may_write(player, CLIENT_DIR) == (client_folder == "writable")
    write_installations(register=False, prefix=player)
    write_configured_settings(prefix=player)
    old_bytes = host_path(CLIENT_EXE, player).read_bytes()
    new_bytes = old_bytes + b"\0drovane e2e: a newer client\0"
    publish(service, with_addon=True, client_bytes=new_bytes)

    client = Client(service, prefix=player)
    try:
        if client_folder == "writable":
            # The client puts the new one in its place and ends; the new one starts in its stead.
            assert client.wait(60) == 0
        pane = finish_startup(player)
        downloads = [r.path for r in service.requests("file")]
        if client_folder == "read-only":
            pane = democtl_ok("wait-pane", CANNOT_INSTALL, 10, prefix=player)
            lines = [line for line in pane.splitlines() if CANNOT_INSTALL in line]
            assert len(lines) == 1 and re.fullmatch(
                r"\[\d\d:\d\d:\d\d\] " + re.escape(
                    f"{CANNOT_INSTALL} {CLIENT_DIR}. Please install it with its setup program."),
                lines[0]), pane
            assert "/files/DrovaneClient.exe" not in downloads
            # Asked from the menu, the updater window says it in a box; the pane says it once.
            democtl_ok("command", "233", 5, prefix=player)
            box = democtl_ok("answer", "ok", 30, prefix=player)
            assert f"{CANNOT_INSTALL} {CLIENT_DIR}." in box, box
            democtl_ok("press", "Drovane Update", "Close", 10, prefix=player)
            pane = democtl_ok("pane", 5, prefix=player)
            assert sum(CANNOT_INSTALL in line for line in pane.splitlines()) == 1, pane
            assert client_folder_names(player) == ["DrovaneClient.exe"]
            assert host_path(CLIENT_EXE, player).read_bytes() == old_bytes
        else:
            assert CANNOT_INSTALL not in pane
            assert "/files/DrovaneClient.exe" in downloads
            assert host_path(CLIENT_EXE, player).read_bytes() == new_bytes
            deadline = time.monotonic() + 15
            while client_folder_names(player) != ["DrovaneClient.exe"]:
                assert time.monotonic() < deadline, client_folder_names(player)
                time.sleep(0.2)
        assert_addon_installed(player)
        # The client carries on with its main window.
        if client_folder == "read-only":
            assert client.running()
        democtl_ok("lists", 10, prefix=player)
    finally:
        democtl("close", 10, prefix=player)
        democtl("wait-exit", 30, prefix=player)
    if client_folder == "read-only":
        assert client.wait(30) == 0
