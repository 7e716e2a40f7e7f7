"""Tests of the update list format and of publishing a folder."""

import hashlib
import os
import struct
import sys
import time

import pytest
from cryptography.hazmat.primitives.asymmetric import ec

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import publish  # noqa: E402
from update_list import (  # noqa: E402
    NO_CLIENT_SHA256,
    UpdateEntry,
    UpdateList,
    UpdateListError,
    file_name_of,
    key_id,
    load_private_key,
    load_public_key,
    md5_hex,
    public_key_bytes,
    read_update_list,
    sign_update_list,
    verify_update_list,
    write_update_list,
)

DIGEST_A = "0123456789abcdef0123456789abcdef"
DIGEST_B = "fedcba9876543210fedcba9876543210"
KEYS = os.path.join(HERE, os.pardir, os.pardir, "keys")
TEST_PRIVATE_KEY = os.path.join(KEYS, "test-key.private.pem")
TEST_PUBLIC_KEY = os.path.join(KEYS, "test-key.public.hex")
ADDONS = "%WoW%\\Interface\\AddOns\\Drovane_Looter\\"


@pytest.fixture(scope="module")
def test_key():
    return load_private_key(TEST_PRIVATE_KEY)


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


def signed_sample(key, sequence=7):
    data = write_update_list(UpdateList(DIGEST_A, "http://h/", "c.exe", [UpdateEntry(DIGEST_B, 3, "a.lua", ADDONS)]))
    return sign_update_list(data, sequence, bytes(range(32)), [hashlib.sha256(b"abc").digest()], key)


class TestSignature:
    def test_the_test_key_pair_belongs_together(self, test_key):
        assert public_key_bytes(test_key) == load_public_key(TEST_PUBLIC_KEY)

    def test_block_bytes(self, test_key):
        data = signed_sample(test_key, sequence=0x0102030405060708)
        update_list = verify_update_list(data, load_public_key(TEST_PUBLIC_KEY))
        start = update_list.signature.offset
        assert data[:start] == write_update_list(UpdateList(DIGEST_A, "http://h/", "c.exe", update_list.entries))
        block = data[start:]
        assert len(block) == 148 + 32
        assert block[:16] == b"KSUS\x01\x00\x00\x00\x08\x07\x06\x05\x04\x03\x02\x01"
        assert block[16:48] == hashlib.sha256(load_public_key(TEST_PUBLIC_KEY)).digest()
        assert block[48:52] == b"\x01\x00\x00\x00"
        assert block[52:84] == bytes(range(32))
        assert block[84:116] == hashlib.sha256(b"abc").digest()

    def test_every_changed_byte_is_refused(self, test_key):
        data = signed_sample(test_key)
        public_key = load_public_key(TEST_PUBLIC_KEY)
        for position in range(len(data)):
            changed = bytearray(data)
            changed[position] ^= 0x01
            with pytest.raises(UpdateListError):
                verify_update_list(bytes(changed), public_key)

    def test_another_key_is_refused(self, test_key):
        other = ec.generate_private_key(ec.SECP256R1())
        data = signed_sample(other)
        with pytest.raises(UpdateListError) as caught:
            verify_update_list(data, load_public_key(TEST_PUBLIC_KEY))
        assert "key id at offset" in str(caught.value)
        # Claiming the test key's id does not help: the signature is still the other key's.
        block = read_update_list(data).signature
        forged = bytearray(data)
        forged[block.offset + 16 : block.offset + 48] = key_id(public_key_bytes(test_key))
        with pytest.raises(UpdateListError) as caught:
            verify_update_list(bytes(forged), load_public_key(TEST_PUBLIC_KEY))
        assert "does not verify" in str(caught.value)

    def test_unsigned_list_is_refused(self):
        data = write_update_list(UpdateList(DIGEST_A, "u/", "c", []))
        with pytest.raises(UpdateListError) as caught:
            verify_update_list(data, load_public_key(TEST_PUBLIC_KEY))
        assert "no signature block" in str(caught.value)

    def test_strict_reader_refuses_malformed_blocks(self, test_key):
        data = signed_sample(test_key)
        start = read_update_list(data).signature.offset
        count_at = start + 48
        for changed, text in [
            (data + b"\x00", "1 bytes after the signature block"),
            (data[:count_at] + struct.pack("<I", 0) + data[count_at + 4 :], "signed entry count at offset"),
            (data[:count_at] + struct.pack("<I", 2) + data[count_at + 4 :], "the list has 1 entries"),
            (data[: start + 4] + struct.pack("<I", 2) + data[start + 8 :], "signature version"),
            (data[:-1], "signature at offset"),
            (data[: start + 3], "3 bytes after the last entry"),
        ]:
            with pytest.raises(UpdateListError) as caught:
                read_update_list(changed)
            assert text in str(caught.value)
        for length in range(start + 1, len(data)):
            with pytest.raises(UpdateListError):
                read_update_list(data[:length])

    def test_a_list_with_no_entries_signs_none(self, test_key):
        data = write_update_list(UpdateList(DIGEST_A, "u/", "c", []))
        negative = data[:44] + struct.pack("<i", -3) + data[48:]
        signed = sign_update_list(negative, 1, NO_CLIENT_SHA256, [], test_key)
        assert len(signed) == len(negative) + 148
        assert verify_update_list(signed, load_public_key(TEST_PUBLIC_KEY)).signature.entry_sha256s == []
        with pytest.raises(UpdateListError):
            sign_update_list(data, 1, NO_CLIENT_SHA256, [bytes(32)], test_key)
        with pytest.raises(UpdateListError):
            sign_update_list(data, 2**64, NO_CLIENT_SHA256, [], test_key)


class TestTargets:
    @pytest.mark.parametrize("target", [
        ADDONS, "%WoW-LIVE%\\Interface\\AddOns\\", "%WoW-PTR%\\Interface\\AddOns\\A\\B c\\",
        "%WoW-BETA%\\Interface\\AddOns\\x.y\\", "%AppPath%\\", "%AppPath%\\Cache\\",
        "%AppPath%\\console\\", "%WoW%\\interface\\addons\\",
    ])
    def test_accepted(self, target):
        publish.check_target(target, "file")

    @pytest.mark.parametrize("target", [
        "%System%\\", "Interface\\AddOns\\", "C:\\Games\\", "\\\\server\\share\\", "C:x\\",
        "\\Windows\\", "%WoW%\\", "%WoW%\\Interface\\", "%WoW%\\WTF\\Interface\\AddOns\\",
        "%wow%\\Interface\\AddOns\\", "%AppPath%..\\", ADDONS + "..\\..\\", ADDONS + ".\\",
        ADDONS + "a/..\\..\\", ADDONS + "a\\\\", "%AppPath%\\a:b\\", "%AppPath%\\CON\\",
        "%AppPath%\\nul.txt\\", "%AppPath%\\Com1\\", "%AppPath%\\LPT9.x.y\\", "%AppPath%\\com0\\", "%AppPath%\\CONOUT$\\", "%AppPath%\\lpt\u00b9\\", "%AppPath%\\aux .a\\",
        "%AppPath%\\a.\\", "%AppPath%\\a \\", "%AppPath%\\a\x01\\", "%AppPath%\\a*\\",
        "%AppPath%\\a<\\", "%AppPath%\\a>\\", '%AppPath%\\a"\\', "%AppPath%\\a|\\", "%AppPath%\\a?\\",
    ])
    def test_refused(self, target):
        with pytest.raises(publish.PublishError):
            publish.check_target(target, "file")


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
    def test_folder_file_and_client(self, tmp_path, test_key):
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
        update_list = publish.publish(manifest, str(out), test_key)

        with open(out / "updates.dat", "rb") as stream:
            assert verify_update_list(stream.read(), load_public_key(TEST_PUBLIC_KEY)) == update_list
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
        block = update_list.signature
        assert block.client_sha256 == hashlib.sha256(files["DrovaneClient.exe"]).digest()
        assert block.entry_sha256s == [
            hashlib.sha256(files[e.server_path]).digest() for e in update_list.entries
        ]
        # The output folder serves everything the list names.
        assert publish.check(update_list, str(out)) == []
        with open(out / "addon" / "Drovane_Looter" / "Locales" / "deDE.lua", "rb") as stream:
            assert stream.read() == b"-- de\n"

    def test_check_reports_changed_and_missing_files(self, tmp_path, test_key):
        source = tmp_path / "src"
        make_source(str(source))
        manifest = publish.Manifest(
            source_dir=str(source), base_url="u/", client="DrovaneClient.exe",
            sources=(publish.Source("file", "extra/readme.txt", "%AppPath%\\"),
                     publish.Source("file", "addon/Drovane_Looter/Drovane_Looter.lua", ADDONS)),
        )
        update_list = publish.publish(manifest, str(source), test_key)  # publishing in place copies nothing
        with open(source / "extra" / "readme.txt", "wb") as stream:
            stream.write(b"changed")
        os.remove(source / "addon" / "Drovane_Looter" / "Drovane_Looter.lua")
        problems = publish.check(update_list, str(source))
        assert len(problems) == 3
        assert problems[0] == (
            f"entry extra/readme.txt: digest {md5_hex(b'changed')} differs from the list's {md5_hex(b'read me')}"
        )
        assert problems[1] == (
            f"entry extra/readme.txt: SHA-256 {hashlib.sha256(b'changed').hexdigest()} differs from the "
            f"signature block's {hashlib.sha256(b'read me').hexdigest()}"
        )
        assert problems[2].startswith("entry addon/Drovane_Looter/Drovane_Looter.lua: missing")

    def test_client_given_by_digest_is_not_copied(self, tmp_path, test_key):
        manifest = publish.Manifest(source_dir=str(tmp_path), base_url="u/", client_md5=DIGEST_A,
                                    client_path="bin/DrovaneClient.exe")
        update_list = publish.publish(manifest, str(tmp_path / "out"), test_key)
        assert (update_list.client_md5, update_list.client_path, update_list.entries) == (
            DIGEST_A, "bin/DrovaneClient.exe", [])
        assert update_list.signature.client_sha256 == NO_CLIENT_SHA256
        assert sorted(os.listdir(tmp_path / "out")) == ["updates.dat"]
        manifest.client_sha256 = "ab" * 32
        update_list = publish.publish(manifest, str(tmp_path / "out"), test_key)
        assert update_list.signature.client_sha256 == b"\xab" * 32

    @pytest.mark.parametrize(
        "change, text",
        [
            ({"sources": (publish.Source("file", "../outside.txt", ADDONS),)}, "inside the source folder"),
            ({"sources": (publish.Source("file", "extra/readme.txt", "%WoW%"),)}, "must end with a backslash"),
            ({"sources": (publish.Source("folder", "nothing", ADDONS),)}, "does not exist"),
            ({"client": None}, "give the client file"),
            ({"base_url": None}, "no download base URL"),
            ({"client_sha256": "ab" * 32}, "clientSha256 goes with clientMd5 and clientPath"),
            ({"client": None, "client_md5": DIGEST_A, "client_path": "c.exe", "client_sha256": "AB" * 32},
             "not 64 lowercase hexadecimal"),
            ({"sources": (publish.Source("file", "extra/con.txt", "%AppPath%\\"),)}, "is a Windows device name"),
            ({"sources": (publish.Source("file", "extra/readme.txt", "%System%\\"),)}, "must begin with %WoW%"),
        ],
    )
    def test_refused_manifests_write_nothing(self, tmp_path, test_key, change, text):
        source = tmp_path / "src"
        make_source(str(source))
        (source / "extra" / "con.txt").write_bytes(b"x")
        fields = dict(source_dir=str(source), base_url="u/", client="DrovaneClient.exe")
        fields.update(change)
        with pytest.raises(publish.PublishError) as caught:
            publish.publish(publish.Manifest(**fields), str(tmp_path / "out"), test_key)
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
            "build", "--key", TEST_PRIVATE_KEY, "--sequence", "42",
            "--source", str(source), "--out", str(out), "--base-url", "http://h/files/",
            "--client", "DrovaneClient.exe",
            "--file", "extra/readme.txt=%AppPath%\\",
            "--folder", "addon/Drovane_Looter=%WoW-LIVE%\\Interface\\AddOns\\Drovane_Looter\\",
        ])
        assert code == 0
        built = capsys.readouterr().out
        assert "entries:       4" in built
        assert f"signature:     sequence 42, key id {key_id(load_public_key(TEST_PUBLIC_KEY)).hex()}" in built
        with open(out / "updates.dat", "rb") as stream:
            update_list = read_update_list(stream.read())
        assert update_list.signature.sequence == 42
        # Command-line order is list order.
        assert [e.server_path for e in update_list.entries] == [
            "extra/readme.txt",
            "addon/Drovane_Looter/Drovane_Looter.lua",
            "addon/Drovane_Looter/Drovane_Looter.toc",
            "addon/Drovane_Looter/Locales/deDE.lua",
        ]
        assert publish.main(["show", str(out / "updates.dat")]) == 0
        assert capsys.readouterr().out == built
        assert publish.main(["check", str(out / "updates.dat"), "--files", str(out),
                             "--public-key", TEST_PUBLIC_KEY]) == 0
        os.remove(out / "extra" / "readme.txt")
        assert publish.main(["check", str(out / "updates.dat"), "--files", str(out)]) == 1
        assert "entry extra/readme.txt: missing" in capsys.readouterr().err

    def test_unreadable_list(self, tmp_path, capsys):
        (tmp_path / "bad.dat").write_bytes(b"KSUL\x28\x00")
        assert publish.main(["show", str(tmp_path / "bad.dat")]) == 2
        assert "header block length at offset 4: needs 4 bytes, 2 left" in capsys.readouterr().err

    def test_default_sequence_is_the_time_of_publication(self, tmp_path):
        before = int(time.time())
        assert publish.main(["build", "--key", TEST_PRIVATE_KEY, "--source", str(tmp_path), "--out",
                             str(tmp_path / "out"), "--base-url", "u/", "--client-md5", DIGEST_A,
                             "--client-path", "c.exe"]) == 0
        with open(tmp_path / "out" / "updates.dat", "rb") as stream:
            assert before <= read_update_list(stream.read()).signature.sequence <= int(time.time())

    def test_building_needs_a_usable_key(self, tmp_path, capsys):
        (tmp_path / "bad.pem").write_text("not a key")
        arguments = ["build", "--source", str(tmp_path), "--out", str(tmp_path / "out"), "--base-url", "u/",
                     "--client-md5", DIGEST_A, "--client-path", "c.exe"]
        with pytest.raises(SystemExit):
            publish.main(arguments)
        assert publish.main(arguments + ["--key", str(tmp_path / "bad.pem")]) == 2
        assert "not an unencrypted PEM private key" in capsys.readouterr().err
        assert not (tmp_path / "out").exists()

    def test_key_file_and_check_with_another_key(self, tmp_path, capsys):
        assert publish.main(["key", "--private", TEST_PRIVATE_KEY, "--public-out", str(tmp_path / "p.hex")]) == 0
        lines = (tmp_path / "p.hex").read_text().splitlines()
        assert lines[0].startswith("#") and lines[-1] == load_public_key(TEST_PUBLIC_KEY).hex()
        assert load_public_key(str(tmp_path / "p.hex")) == load_public_key(TEST_PUBLIC_KEY)

        other = ec.generate_private_key(ec.SECP256R1())
        (tmp_path / "other.hex").write_text(public_key_bytes(other).hex() + "\n")
        (tmp_path / "updates.dat").write_bytes(signed_sample(load_private_key(TEST_PRIVATE_KEY)))
        capsys.readouterr()
        assert publish.main(["check", str(tmp_path / "updates.dat"), "--public-key", str(tmp_path / "p.hex")]) == 0
        assert publish.main(["check", str(tmp_path / "updates.dat"), "--public-key", str(tmp_path / "other.hex")]) == 2
        assert "key id at offset" in capsys.readouterr().err
