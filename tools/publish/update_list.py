"""The binary update list "updates.dat": writer and checking reader.

Layout (integers 32-bit little-endian, strings single-byte and NUL-terminated):

    "KSUL"                      magic
    uint32 N = 40               length of the header block that follows
    36 bytes                    client digest: 32 lowercase hex characters, NUL, 3 bytes padding
    int32                       entry count (0 or less: no entries)
    base URL\\0                  download base URL; every download is this text + a relative path
    client path\\0               the client executable, relative to the base URL
    entries:
        36 bytes                digest of the file, as above
        uint32                  size in bytes
        server path\\0           relative to the base URL
        target folder\\0         template ending in a backslash; local path = folder + file name

The client reads this list without looking at its length, so the reader here is strict: every
length, count and string is checked against the data, and anything the client could misread
(a header block other than 40 bytes, a digest that is not 32 lowercase hex characters, bytes
left after the last entry) is an error with its offset.
"""

import hashlib
import re
import struct
from dataclasses import dataclass, field
from typing import List

MAGIC = b"KSUL"
HEADER_BLOCK_LENGTH = 40
DIGEST_FIELD_LENGTH = 36
# Strings are the client's system code page; the Western one is the reference here.
TEXT_ENCODING = "cp1252"

_DIGEST_RE = re.compile(r"[0-9a-f]{32}\Z")
_INT32_MAX = 0x7FFFFFFF
_UINT32_MAX = 0xFFFFFFFF


class UpdateListError(ValueError):
    """A list that cannot be written or read; the text says what and where."""


@dataclass
class UpdateEntry:
    md5: str
    size: int
    server_path: str
    target: str


@dataclass
class UpdateList:
    client_md5: str
    base_url: str
    client_path: str
    entries: List[UpdateEntry] = field(default_factory=list)


def md5_hex(data: bytes) -> str:
    return hashlib.md5(data).hexdigest()


def file_name_of(server_path: str) -> str:
    """The part after the last slash or backslash, as the client names the local file."""
    cut = max(server_path.rfind("/"), server_path.rfind("\\"))
    return server_path[cut + 1 :]


def _encode_digest(digest: str, what: str) -> bytes:
    if not isinstance(digest, str) or not _DIGEST_RE.match(digest):
        raise UpdateListError(f"{what}: digest must be 32 lowercase hexadecimal characters, got {digest!r}")
    return digest.encode("ascii") + b"\0" * 4


def _encode_text(text: str, what: str) -> bytes:
    if not isinstance(text, str):
        raise UpdateListError(f"{what}: expected text, got {type(text).__name__}")
    if "\0" in text:
        raise UpdateListError(f"{what}: text must not contain NUL: {text!r}")
    try:
        return text.encode(TEXT_ENCODING) + b"\0"
    except UnicodeEncodeError as error:
        raise UpdateListError(f"{what}: {text!r} is not single-byte text ({error.reason})") from None


def write_update_list(update_list: UpdateList) -> bytes:
    """The list's bytes. Raises UpdateListError for values the format cannot carry."""
    entries = update_list.entries
    if len(entries) > _INT32_MAX:
        raise UpdateListError("too many entries")
    out = bytearray(MAGIC)
    out += struct.pack("<I", HEADER_BLOCK_LENGTH)
    out += _encode_digest(update_list.client_md5, "client")
    out += struct.pack("<i", len(entries))
    out += _encode_text(update_list.base_url, "base URL")
    out += _encode_text(update_list.client_path, "client path")
    for index, entry in enumerate(entries):
        what = f"entry {index} ({entry.server_path!r})"
        out += _encode_digest(entry.md5, what)
        if not isinstance(entry.size, int) or not 0 <= entry.size <= _UINT32_MAX:
            raise UpdateListError(f"{what}: size {entry.size!r} does not fit 32 bits")
        out += struct.pack("<I", entry.size)
        if not entry.server_path:
            raise UpdateListError(f"{what}: empty server path")
        out += _encode_text(entry.server_path, what + " server path")
        if not entry.target.endswith("\\"):
            # The client appends the file name directly to the folder.
            raise UpdateListError(f"{what}: target folder {entry.target!r} must end with a backslash")
        out += _encode_text(entry.target, what + " target folder")
    return bytes(out)


class _Reader:
    def __init__(self, data: bytes):
        self.data = data
        self.pos = 0

    def take(self, count: int, what: str) -> bytes:
        if count > len(self.data) - self.pos:
            raise UpdateListError(
                f"{what} at offset {self.pos}: needs {count} bytes, {len(self.data) - self.pos} left"
            )
        chunk = self.data[self.pos : self.pos + count]
        self.pos += count
        return chunk

    def text(self, what: str) -> str:
        end = self.data.find(b"\0", self.pos)
        if end < 0:
            raise UpdateListError(f"{what} at offset {self.pos}: no terminating NUL before the end")
        raw = self.data[self.pos : end]
        self.pos = end + 1
        try:
            return raw.decode(TEXT_ENCODING)
        except UnicodeDecodeError:
            # Bytes the Western code page leaves undefined still name something on the
            # client's side; keep them one to one.
            return raw.decode("latin-1")

    def digest(self, what: str) -> str:
        start = self.pos
        raw = self.take(DIGEST_FIELD_LENGTH, what)
        if raw[32] != 0:
            raise UpdateListError(f"{what} at offset {start}: digest is not NUL-terminated after 32 characters")
        digest = raw[:32].decode("latin-1")
        if not _DIGEST_RE.match(digest):
            raise UpdateListError(
                f"{what} at offset {start}: {digest!r} is not 32 lowercase hexadecimal characters"
            )
        return digest


def read_update_list(data: bytes) -> UpdateList:
    """Parses and checks a list; raises UpdateListError with the offset of the first fault."""
    reader = _Reader(bytes(data))
    if reader.take(4, "magic") != MAGIC:
        raise UpdateListError('magic at offset 0: the list does not begin with "KSUL"')
    (block_length,) = struct.unpack("<I", reader.take(4, "header block length"))
    if block_length != HEADER_BLOCK_LENGTH:
        raise UpdateListError(f"header block length at offset 4: {block_length}, expected 40")
    client_md5 = reader.digest("client digest")
    (count,) = struct.unpack("<i", reader.take(4, "entry count"))
    base_url = reader.text("base URL")
    client_path = reader.text("client path")
    entries = []
    for index in range(max(count, 0)):
        what = f"entry {index}"
        md5 = reader.digest(what + " digest")
        (size,) = struct.unpack("<I", reader.take(4, what + " size"))
        server_path = reader.text(what + " server path")
        target = reader.text(what + " target folder")
        entries.append(UpdateEntry(md5, size, server_path, target))
    if reader.pos != len(reader.data):
        raise UpdateListError(
            f"{len(reader.data) - reader.pos} bytes after the last entry at offset {reader.pos}"
        )
    return UpdateList(client_md5, base_url, client_path, entries)


def describe(update_list: UpdateList) -> str:
    """A readable listing, one line per field and entry."""
    lines = [
        f"client digest: {update_list.client_md5}",
        f"base URL:      {update_list.base_url}",
        f"client path:   {update_list.client_path}",
        f"entries:       {len(update_list.entries)}",
    ]
    for entry in update_list.entries:
        lines.append(f"  {entry.md5} {entry.size:>10} {entry.server_path} -> {entry.target}")
    return "\n".join(lines) + "\n"
