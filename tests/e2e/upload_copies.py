"""The upload package the client should send, computed here from the game files alone.

This is the test's own model of the package rules (cache copies that hold only records not sent
before, add-on copies by their upload state and the account exclusions), written apart from the client's code so that the
end-to-end tests compare the client against an independent reading of the same rules.
"""

import re
import struct
from pathlib import Path

WDB_FILES = ["creaturecache.wdb", "gameobjectcache.wdb", "pagetextcache.wdb", "questcache.wdb"]
ADB_OFFSET_MAP = 1
ADB_ID_LIST = 4
ADB_FILES = [
    ("item.adb", ADB_ID_LIST),
    ("item-sparse.adb", ADB_OFFSET_MAP | ADB_ID_LIST),
    ("keychain.adb", ADB_ID_LIST),
    ("itemcurrencycost.adb", ADB_ID_LIST),
    ("itemextendedcost.adb", ADB_ID_LIST),
    ("itembonus.adb", 0),
    ("spellreagents.adb", ADB_ID_LIST),
]
EDITION_TAGS = {"live": "LIVE", "ptr": "PTR", "beta": "BETA"}
HIGHEST_TRACKED_ID = 327679
STATE_FILE_SIZE = 40960

UPLOADED_BASE = 1
UPLOADED_EXPORT = 2


class IdSets:
    """Record ids sent so far, per (cache file name, locale, build)."""

    def __init__(self):
        self.sets = {}

    def _set(self, key):
        return self.sets.setdefault(key, set())

    def contains(self, key, record_id):
        if record_id < 1 or record_id > HIGHEST_TRACKED_ID:
            return True
        return record_id in self._set(key)

    def add(self, key, record_id):
        if 1 <= record_id <= HIGHEST_TRACKED_ID:
            self._set(key).add(record_id)

    def state_files(self):
        """{state file name: its 40960 bytes} for every key that holds an id."""
        files = {}
        for (name, locale, build), ids in self.sets.items():
            if not ids:
                continue
            bits = bytearray(STATE_FILE_SIZE)
            for record_id in ids:
                bits[record_id // 8] |= 1 << (record_id % 8)
            files[f"{name}_{locale}_{build}"] = bytes(bits)
        return files


def _i32(data, offset):
    return struct.unpack_from("<i", data, offset)[0]


def wdb_copy(data, name, locale, id_sets):
    """The upload copy of a WDB file, or None when it holds no record not sent before."""
    build = _i32(data, 4)
    key = (name, locale, build)
    out = bytearray(data[:24])
    new = 0
    position = 24
    while position + 8 <= len(data):
        record_id, length = struct.unpack_from("<ii", data, position)
        if record_id < 1 or length < 1:
            break
        end = position + 8 + length
        if not id_sets.contains(key, record_id):
            id_sets.add(key, record_id)
            new += 1
            out += data[position:end]
        position = end
    out += bytes(8)
    return bytes(out) if new else None


def adb_copy(data, name, flags, locale, id_sets):
    """The upload copy of an ADB file, or None when it fails the header checks or has nothing new."""
    size = len(data)
    if size < 48 or size == 49:
        return None
    magic = data[:4]
    if magic not in (b"WCH2", b"WCH8"):
        return None
    wch8 = magic == b"WCH8"
    header = 52 if wch8 else 48
    count, record_size, strings = _i32(data, 4), _i32(data, 12), _i32(data, 16)
    build = _i32(data, 24)
    if size < record_size * count + header + strings:
        return None
    if wch8 and size < record_size * count + (4 * count if flags & ADB_ID_LIST else 0) + header + strings:
        return None
    key = (name, locale, build)
    out = bytearray(data[:header])
    new = 0
    grows = False

    def take(record_id):
        nonlocal new
        if id_sets.contains(key, record_id):
            return False
        id_sets.add(key, record_id)
        new += 1
        return True

    if wch8 and flags & ADB_OFFSET_MAP:
        grows = True
        # Up to the header's record count and the first record's data; an entry whose data
        # begins before the end of the one taken last is passed over.
        limit = struct.unpack_from("<I", data, header + 4)[0]
        floor = limit
        position = header
        entries = 0
        while entries < count and position < limit - 9 and position < size - 9:
            record_id, offset, length = struct.unpack_from("<iIH", data, position)
            entries += 1
            position += 10
            if record_id < 1 or offset + length > size:
                break
            if offset < floor:
                continue
            floor = offset + length
            if take(record_id):
                out += struct.pack("<i", record_id) + data[offset:offset + length]
    elif wch8 and flags & ADB_ID_LIST:
        grows = True
        for i in range(count):
            record_id = _i32(data, size - 4 * count + 4 * i)
            if record_id < 1:
                break
            start = size - 4 * count - strings - record_size * (count - i)
            if take(record_id):
                out += struct.pack("<i", record_id) + data[start:start + record_size]
        block = size - 4 * count - strings
        out += data[block:block + strings]
    else:
        if wch8:
            first = size - strings - record_size * count
        else:
            first = size - record_size * count - strings
        for i in range(count):
            start = first + record_size * i
            record_id = _i32(data, start)
            if record_id < 1:
                break
            if take(record_id):
                out += data[start:start + record_size]
        out += data[size - strings:size]
    if not new:
        return None
    struct.pack_into("<i", out, 4, new)
    if grows:
        struct.pack_into("<i", out, 12, record_size + 4)
    return bytes(out)


def addon_state(text):
    """The upload-state bits a scan reads from an add-on file's "dlUploaded = " line."""
    match = re.search(rb"dlUploaded =\s*([+-]?\d+)", text)
    return int(match.group(1)) if match else 0


def addon_copy(text, excluded=False):
    """(copy, new state) of an add-on file, or None. An excluded account's copy loses its
    "dlExportData = " line (with its line feed): the character data stays at home."""
    if not text:
        return None
    state = addon_state(text)
    if state & 3 == 3:
        return None
    if excluded:
        start = text.find(b"dlExportData = ")
        if start >= 0:
            end = text.find(b"\n", start)
            text = text[:start] if end < 0 else text[:start] + text[end + 1:]
    else:
        state |= UPLOADED_EXPORT
    if state & UPLOADED_BASE:
        start = text.find(b"dlExportData = ")
        if start < 0:
            return b"", state
        end = text.find(b"\n", start)
        return text[start:] if end < 0 else text[start:end], state
    return text, state | UPLOADED_BASE


def expected_package(installations, id_sets, addon_texts, excluded=()):
    """{stored file name: content} that the service should hold after one upload.

    installations: [(edition, game version, host folder)] in the order Live, PTR, Beta.
    addon_texts: {(edition, account): add-on file bytes as the upload reads them}.
    excluded: the account folders whose character data is not sent (account.block).
    """
    package = {}
    for edition, version, folder in installations:
        tag = EDITION_TAGS[edition]
        wdb_root = Path(folder) / "Cache" / "WDB"
        for locale in sorted(p.name for p in wdb_root.iterdir() if p.is_dir() and len(p.name) == 4):
            for name in WDB_FILES:
                path = wdb_root / locale / name
                if path.is_file():
                    copy = wdb_copy(path.read_bytes(), name, locale, id_sets)
                    if copy is not None:
                        package[f"{tag}_{version}_{locale}_{name}"] = copy
        adb_root = Path(folder) / "Cache" / "ADB"
        for locale in sorted(p.name for p in adb_root.iterdir() if p.is_dir() and len(p.name) == 4):
            for name, flags in ADB_FILES:
                path = adb_root / locale / name
                if path.is_file():
                    copy = adb_copy(path.read_bytes(), name, flags, locale, id_sets)
                    if copy is not None:
                        package[f"{tag}_{version}_{locale}_{name}"] = copy
        for (text_edition, account), text in addon_texts.items():
            if text_edition != edition:
                continue
            result = addon_copy(text, account in excluded)
            if result is not None:
                package[f"{tag}_{version}_{account}_SavedVariables.lua"] = result[0]
    return package
