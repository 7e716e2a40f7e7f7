"""Tests of the update list format and of publishing a folder."""

import os
import struct
import sys

import pytest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import publish  # noqa: E402
from update_list import (  # noqa: E402
    UpdateEntry,
    UpdateList,
    UpdateListError,
    file_name_of,
    md5_hex,
    read_update_list,
    write_update_list,
)

DIGEST_A = "0123456789abcdef0123456789abcdef"
DIGEST_B = "fedcba9876543210fedcba9876543210"


def sample_list():
    return UpdateList(
        client_md5=DIGEST_A,
        base_url="http://127.0.0.1:8123/files/",
        client_path="DrovaneClient.exe",
        entries=[
            UpdateEntry(DIGEST_B, 1234, "addon/Drovane_Looter.toc", "%WoW%\\Interface\\AddOns\\Drovane_Looter\\"),
            UpdateEntry(DIGEST_A, 0, "x\\y.dll", "%System%\\"),
        ],
    )


class TestFormat:
    def test_bytes_of_a_list_with_one_entry(self):
        entry = UpdateEntry(DIGEST_B, 0x01020304, "a/b.lua", "%WoW-PTR%\\A\\")
        data = write_update_list(UpdateList(DIGEST_A, "http://h/f/", "c.exe", [entry]))
        expected = (
            b"KSUL"
            + b"\x28\x00\x00\x00"
            + DIGEST_A.encode() + b"\x00\x00\x00\x00"
            + b"\x01\x00\x00\x00"
            + b"http://h/f/\x00"
            + b"c.exe\x00"
            + DIGEST_B.encode() + b"\x00\x00\x00\x00"
            + b"\x04\x03\x02\x01"
            + b"a/b.lua\x00"
            + b"%WoW-PTR%\\A\\\x00"
        )
        assert data == expected
        # Offsets the client reads at fixed places.
        assert data[44:48] == struct.pack("<i", 1)
        assert data[48:60] == b"http://h/f/\x00"

    def test_round_trip(self):
        original = sample_list()
        assert read_update_list(write_update_list(original)) == original

    def test_round_trip_of_an_empty_list_and_single_byte_text(self):
        original = UpdateList(DIGEST_B, "http://h/\u00e9/", "Client \u00e9.exe", [])
        data = write_update_list(original)
        assert b"Client \xe9.exe\x00" in data
        assert read_update_list(data) == original

    def test_entry_count_of_zero_or_less_means_no_entries(self):
        data = bytearray(write_update_list(UpdateList(DIGEST_A, "u/", "c", [])))
        data[44:48] = struct.pack("<i", -5)
        assert read_update_list(bytes(data)).entries == []

    def test_file_names_as_the_client_takes_them(self):
        assert file_name_of("a/b/core.lua") == "core.lua"
        assert file_name_of("x\\y.dll") == "y.dll"
        assert file_name_of("readme.txt") == "readme.txt"


class TestReaderRefuses:
    @pytest.fixture
    def good(self):
        return write_update_list(sample_list())

    def refused(self, data, text):
        with pytest.raises(UpdateListError) as caught:
            read_update_list(data)
        assert text in str(caught.value)

    def test_wrong_magic(self, good):
        self.refused(b"KSUX" + good[4:], 'does not begin with "KSUL"')

    def test_header_block_length_other_than_40(self, good):
        self.refused(good[:4] + struct.pack("<I", 44) + good[8:], "header block length at offset 4: 44")

    def test_every_truncation(self, good):
        # No prefix of a list is a list: each cut is reported, none reads past the data.
        for length in range(len(good)):
            with pytest.raises(UpdateListError):
                read_update_list(good[:length])

    def test_entry_count_larger_than_the_data(self, good):
        data = good[:44] + struct.pack("<i", 0x7FFFFFFF) + good[48:]
        self.refused(data, "entry 2 digest at offset")

    def test_bytes_after_the_last_entry(self, good):
        self.refused(good + b"\x00", "1 bytes after the last entry")

    def test_digest_not_lowercase_hex(self, good):
        data = good[:8] + DIGEST_A.upper().encode() + good[40:]
        self.refused(data, "client digest at offset 8")

    def test_digest_without_its_nul(self, good):
        data = good[:40] + b"X" + good[41:]
        self.refused(data, "not NUL-terminated")


class TestWriterRefuses:
    @pytest.mark.parametrize(
        "entry, text",
        [
            (UpdateEntry(DIGEST_A, 1, "a.lua", "%WoW%\\Interface"), "must end with a backslash"),
            (UpdateEntry(DIGEST_A, 1, "a\0.lua", "%WoW%\\"), "must not contain NUL"),
            (UpdateEntry(DIGEST_A, 1, "\u4e2d.lua", "%WoW%\\"), "is not single-byte text"),
            (UpdateEntry(DIGEST_A, 2**32, "a.lua", "%WoW%\\"), "does not fit 32 bits"),
            (UpdateEntry("abc", 1, "a.lua", "%WoW%\\"), "32 lowercase hexadecimal"),
            (UpdateEntry(DIGEST_A, 1, "", "%WoW%\\"), "empty server path"),
        ],
    )
    def test_values_the_format_cannot_carry(self, entry, text):
        with pytest.raises(UpdateListError) as caught:
            write_update_list(UpdateList(DIGEST_A, "u/", "c.exe", [entry]))
        assert text in str(caught.value)


def make_source(root):
    files = {
        "DrovaneClient.exe": b"MZ client",
        "addon/Drovane_Looter/Drovane_Looter.toc": b"## Interface: 70300\n",
        "addon/Drovane_Looter/Drovane_Looter.lua": b"-- looter\n",
        "addon/Drovane_Looter/Locales/deDE.lua": b"-- de\n",
        "extra/readme.txt": b"read me",
    }
    for relative, content in files.items():
        path = os.path.join(root, *relative.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as stream:
            stream.write(content)
    return files


class TestPublish:
    def test_folder_file_and_client(self, tmp_path):
        source, out = tmp_path / "src", tmp_path / "out"
        files = make_source(str(source))
        manifest = publish.manifest_from_dict(
            {
                "source": "src",
                "baseUrl": "http://127.0.0.1:9/files/",
                "client": "DrovaneClient.exe",
                "entries": [
                    {"folder": "addon/Drovane_Looter", "target": "%WoW%\\Interface\\AddOns\\Drovane_Looter\\"},
                    {"file": "extra/readme.txt", "target": "%AppPath%\\"},
                ],
            },
            str(tmp_path),
        )
        update_list = publish.publish(manifest, str(out))

        with open(out / "updates.dat", "rb") as stream:
            assert read_update_list(stream.read()) == update_list
        assert update_list.client_md5 == md5_hex(files["DrovaneClient.exe"])
        assert update_list.client_path == "DrovaneClient.exe"
        assert update_list.base_url == "http://127.0.0.1:9/files/"
        looter = "addon/Drovane_Looter/"
        assert [(e.server_path, e.target, e.size, e.md5) for e in update_list.entries] == [
            (looter + "Drovane_Looter.lua", "%WoW%\\Interface\\AddOns\\Drovane_Looter\\", 10,
             md5_hex(files[looter + "Drovane_Looter.lua"])),
            (looter + "Drovane_Looter.toc", "%WoW%\\Interface\\AddOns\\Drovane_Looter\\", 20,
             md5_hex(files[looter + "Drovane_Looter.toc"])),
            (looter + "Locales/deDE.lua", "%WoW%\\Interface\\AddOns\\Drovane_Looter\\Locales\\", 6,
             md5_hex(files[looter + "Locales/deDE.lua"])),
            ("extra/readme.txt", "%AppPath%\\", 7, md5_hex(b"read me")),
        ]
        # The output folder serves everything the list names.
        assert publish.check(update_list, str(out)) == []
        with open(out / "addon" / "Drovane_Looter" / "Locales" / "deDE.lua", "rb") as stream:
            assert stream.read() == b"-- de\n"

    def test_check_reports_changed_and_missing_files(self, tmp_path):
        source = tmp_path / "src"
        make_source(str(source))
        manifest = publish.Manifest(
            source_dir=str(source), base_url="u/", client="DrovaneClient.exe",
            sources=(publish.Source("file", "extra/readme.txt", "%AppPath%\\"),
                     publish.Source("file", "addon/Drovane_Looter/Drovane_Looter.lua", "%WoW%\\")),
        )
        update_list = publish.publish(manifest, str(source))  # publishing in place copies nothing
        with open(source / "extra" / "readme.txt", "wb") as stream:
            stream.write(b"changed")
        os.remove(source / "addon" / "Drovane_Looter" / "Drovane_Looter.lua")
        problems = publish.check(update_list, str(source))
        assert len(problems) == 2
        assert problems[0] == (
            f"entry extra/readme.txt: digest {md5_hex(b'changed')} differs from the list's {md5_hex(b'read me')}"
        )
        assert problems[1].startswith("entry addon/Drovane_Looter/Drovane_Looter.lua: missing")

    def test_client_given_by_digest_is_not_copied(self, tmp_path):
        manifest = publish.Manifest(source_dir=str(tmp_path), base_url="u/", client_md5=DIGEST_A,
                                    client_path="bin/DrovaneClient.exe")
        update_list = publish.publish(manifest, str(tmp_path / "out"))
        assert (update_list.client_md5, update_list.client_path, update_list.entries) == (
            DIGEST_A, "bin/DrovaneClient.exe", [])
        assert sorted(os.listdir(tmp_path / "out")) == ["updates.dat"]

    @pytest.mark.parametrize(
        "change, text",
        [
            ({"sources": (publish.Source("file", "../outside.txt", "%WoW%\\"),)}, "inside the source folder"),
            ({"sources": (publish.Source("file", "extra/readme.txt", "%WoW%"),)}, "must end with a backslash"),
            ({"sources": (publish.Source("folder", "nothing", "%WoW%\\"),)}, "does not exist"),
            ({"client": None}, "give the client file"),
            ({"base_url": None}, "no download base URL"),
        ],
    )
    def test_refused_manifests_write_nothing(self, tmp_path, change, text):
        source = tmp_path / "src"
        make_source(str(source))
        fields = dict(source_dir=str(source), base_url="u/", client="DrovaneClient.exe")
        fields.update(change)
        with pytest.raises(publish.PublishError) as caught:
            publish.publish(publish.Manifest(**fields), str(tmp_path / "out"))
        assert text in str(caught.value)
        assert not (tmp_path / "out").exists()

    def test_manifest_with_unknown_key(self):
        with pytest.raises(publish.PublishError) as caught:
            publish.manifest_from_dict({"baseURL": "u/"})
        assert "unknown keys ['baseURL']" in str(caught.value)


class TestCommandLine:
    def test_build_show_and_check(self, tmp_path, capsys):
        source, out = tmp_path / "src", tmp_path / "out"
        make_source(str(source))
        code = publish.main([
            "build", "--source", str(source), "--out", str(out), "--base-url", "http://h/files/",
            "--client", "DrovaneClient.exe",
            "--file", "extra/readme.txt=%AppPath%\\",
            "--folder", "addon/Drovane_Looter=%WoW-LIVE%\\Interface\\AddOns\\Drovane_Looter\\",
        ])
        assert code == 0
        built = capsys.readouterr().out
        assert "entries:       4" in built
        with open(out / "updates.dat", "rb") as stream:
            update_list = read_update_list(stream.read())
        # Command-line order is list order.
        assert [e.server_path for e in update_list.entries] == [
            "extra/readme.txt",
            "addon/Drovane_Looter/Drovane_Looter.lua",
            "addon/Drovane_Looter/Drovane_Looter.toc",
            "addon/Drovane_Looter/Locales/deDE.lua",
        ]
        assert publish.main(["show", str(out / "updates.dat")]) == 0
        assert capsys.readouterr().out == built
        assert publish.main(["check", str(out / "updates.dat"), "--files", str(out)]) == 0
        os.remove(out / "extra" / "readme.txt")
        assert publish.main(["check", str(out / "updates.dat"), "--files", str(out)]) == 1
        assert "entry extra/readme.txt: missing" in capsys.readouterr().err

    def test_unreadable_list(self, tmp_path, capsys):
        (tmp_path / "bad.dat").write_bytes(b"KSUL\x28\x00")
        assert publish.main(["show", str(tmp_path / "bad.dat")]) == 2
        assert "header block length at offset 4: needs 4 bytes, 2 left" in capsys.readouterr().err
