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
left after the last entry other than one signature block) is an error with its offset.

The signature block follows the last counted entry. The client's list parser stops there, so
clients that predate it download the list as before; a client that checks it refuses a list
without one. Integers little-endian, offsets from the start of the block:

    0       "KSUS"                  magic
    4       uint32 = 1              version
    8       uint64                  sequence number; rises with every publication, and the client
                                    refuses one below the highest it has accepted
    16      32 bytes                key id: SHA-256 of the raw public key X||Y (32 bytes each,
                                    big-endian)
    48      uint32 E                entry count of the list (0 when the list's count is 0 or less)
    52      32 bytes                SHA-256 of the client executable; zeros when the list does not
                                    publish the client file
    84      32 * E bytes            SHA-256 of each entry's file, in entry order
    84+32E  64 bytes                ECDSA P-256 / SHA-256 signature r||s (32 bytes each, big-endian)
                                    of every byte of the file before this field

The MD5 digests are what old clients compare; the SHA-256 values are what a signed list vouches
for. The file ends with the signature.
"""

import hashlib
import re
import struct
from dataclasses import dataclass, field
from typing import List, Optional, Sequence

from cryptography.exceptions import InvalidSignature
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature, encode_dss_signature

MAGIC = b"KSUL"
HEADER_BLOCK_LENGTH = 40
DIGEST_FIELD_LENGTH = 36
# Strings are the client's system code page; the Western one is the reference here.
TEXT_ENCODING = "cp1252"

SIGNATURE_MAGIC = b"KSUS"
SIGNATURE_VERSION = 1
SHA256_LENGTH = 32
PUBLIC_KEY_LENGTH = 64
SIGNATURE_LENGTH = 64
# Everything of the block before the entries' SHA-256 values.
SIGNATURE_FIXED_LENGTH = 84
NO_CLIENT_SHA256 = bytes(SHA256_LENGTH)

_DIGEST_RE = re.compile(r"[0-9a-f]{32}\Z")
_PUBLIC_HEX_RE = re.compile(r"[0-9a-f]{128}\Z")
_INT32_MAX = 0x7FFFFFFF
_UINT32_MAX = 0xFFFFFFFF
_UINT64_MAX = 0xFFFFFFFFFFFFFFFF


class UpdateListError(ValueError):
    """A list that cannot be written or read; the text says what and where."""


class KeyFileError(ValueError):
    """A key file that cannot be used for signing or checking lists."""


@dataclass
class UpdateEntry:
    md5: str
    size: int
    server_path: str
    target: str


@dataclass
class SignatureBlock:
    offset: int  # where the block begins in the file
    sequence: int
    key_id: bytes
    client_sha256: bytes
    entry_sha256s: List[bytes]
    signature: bytes  # r||s

    @property
    def signed_length(self) -> int:
        """The bytes of the file the signature covers: everything before it."""
        return self.offset + SIGNATURE_FIXED_LENGTH + SHA256_LENGTH * len(self.entry_sha256s)


@dataclass
class UpdateList:
    client_md5: str
    base_url: str
    client_path: str
    entries: List[UpdateEntry] = field(default_factory=list)
    signature: Optional[SignatureBlock] = None


def md5_hex(data: bytes) -> str:
    return hashlib.md5(data).hexdigest()


def sha256(data: bytes) -> bytes:
    return hashlib.sha256(data).digest()


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
    """Parses and checks a list and its signature block, if any (the signature itself is checked
    by verify_update_list); raises UpdateListError with the offset of the first fault."""
    reader = _Reader(bytes(data))
    update_list = _read_list(reader)
    if reader.data.startswith(SIGNATURE_MAGIC, reader.pos):
        update_list.signature = _read_signature_block(reader, len(update_list.entries))
    if reader.pos != len(reader.data):
        after = "the signature block" if update_list.signature else "the last entry"
        raise UpdateListError(f"{len(reader.data) - reader.pos} bytes after {after} at offset {reader.pos}")
    return update_list


def _read_list(reader: _Reader) -> UpdateList:
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
    return UpdateList(client_md5, base_url, client_path, entries)


def _read_signature_block(reader: _Reader, entry_count: int) -> SignatureBlock:
    offset = reader.pos
    reader.take(4, "signature magic")
    (version,) = struct.unpack("<I", reader.take(4, "signature version"))
    if version != SIGNATURE_VERSION:
        raise UpdateListError(f"signature version at offset {offset + 4}: {version}, expected {SIGNATURE_VERSION}")
    (sequence,) = struct.unpack("<Q", reader.take(8, "sequence number"))
    signer = reader.take(SHA256_LENGTH, "key id")
    (count,) = struct.unpack("<I", reader.take(4, "signed entry count"))
    if count != entry_count:
        raise UpdateListError(
            f"signed entry count at offset {offset + 48}: {count}, the list has {entry_count} entries"
        )
    client_sha256 = reader.take(SHA256_LENGTH, "client SHA-256")
    entry_sha256s = [reader.take(SHA256_LENGTH, f"entry {index} SHA-256") for index in range(count)]
    signature = reader.take(SIGNATURE_LENGTH, "signature")
    return SignatureBlock(offset, sequence, signer, client_sha256, entry_sha256s, signature)


def sign_update_list(list_bytes: bytes, sequence: int, client_sha256: bytes,
                     entry_sha256s: Sequence[bytes], private_key: ec.EllipticCurvePrivateKey) -> bytes:
    """The list followed by its signature block. client_sha256 is NO_CLIENT_SHA256 when the list
    does not publish the client file."""
    reader = _Reader(bytes(list_bytes))
    entry_count = len(_read_list(reader).entries)
    if reader.pos != len(reader.data):
        raise UpdateListError("only a list without anything after its last entry can be signed")
    if isinstance(sequence, bool) or not isinstance(sequence, int) or not 0 <= sequence <= _UINT64_MAX:
        raise UpdateListError(f"sequence number {sequence!r} does not fit 64 bits")
    if len(entry_sha256s) != entry_count:
        raise UpdateListError(f"{len(entry_sha256s)} SHA-256 values for {entry_count} entries")
    for what, value in [("client", client_sha256)] + [(f"entry {i}", v) for i, v in enumerate(entry_sha256s)]:
        if not isinstance(value, bytes) or len(value) != SHA256_LENGTH:
            raise UpdateListError(f"{what}: a SHA-256 value is 32 bytes, got {value!r}")
    out = bytearray(reader.data)
    out += SIGNATURE_MAGIC + struct.pack("<IQ", SIGNATURE_VERSION, sequence)
    out += key_id(public_key_bytes(private_key))
    out += struct.pack("<I", entry_count) + client_sha256 + b"".join(entry_sha256s)
    r, s = decode_dss_signature(private_key.sign(bytes(out), ec.ECDSA(hashes.SHA256())))
    return bytes(out) + r.to_bytes(32, "big") + s.to_bytes(32, "big")


def verify_update_list(data: bytes, public_key: bytes) -> UpdateList:
    """Reads a list and checks that it is signed by the key whose raw form X||Y is given."""
    update_list = read_update_list(data)
    block = update_list.signature
    if block is None:
        raise UpdateListError("the list has no signature block")
    if block.key_id != key_id(public_key):
        raise UpdateListError(
            f"key id at offset {block.offset + 16}: signed with key {block.key_id.hex()}, "
            f"expected {key_id(public_key).hex()}"
        )
    r = int.from_bytes(block.signature[:32], "big")
    s = int.from_bytes(block.signature[32:], "big")
    try:
        _public_key_object(public_key).verify(
            encode_dss_signature(r, s), bytes(data[: block.signed_length]), ec.ECDSA(hashes.SHA256())
        )
    except InvalidSignature:
        raise UpdateListError(f"signature at offset {block.signed_length}: does not verify") from None
    return update_list


# -- keys ------------------------------------------------------------------------------------------


def key_id(public_key: bytes) -> bytes:
    return sha256(public_key)


def public_key_bytes(private_key: ec.EllipticCurvePrivateKey) -> bytes:
    """The raw public key X||Y, each coordinate 32 bytes big-endian."""
    numbers = private_key.public_key().public_numbers()
    return numbers.x.to_bytes(32, "big") + numbers.y.to_bytes(32, "big")


def _public_key_object(public_key: bytes) -> ec.EllipticCurvePublicKey:
    if len(public_key) != PUBLIC_KEY_LENGTH:
        raise KeyFileError(f"a public key is {PUBLIC_KEY_LENGTH} bytes, got {len(public_key)}")
    try:
        return ec.EllipticCurvePublicKey.from_encoded_point(ec.SECP256R1(), b"\x04" + public_key)
    except ValueError:
        raise KeyFileError("the public key is not a point of P-256") from None


def load_private_key(path: str) -> ec.EllipticCurvePrivateKey:
    """A P-256 private key from a PEM file (PKCS#8, or the EC form openssl also writes)."""
    try:
        with open(path, "rb") as stream:
            key = serialization.load_pem_private_key(stream.read(), password=None)
    except OSError as error:
        raise KeyFileError(f"cannot read private key {path}: {error.strerror}") from None
    except (ValueError, TypeError):
        raise KeyFileError(f"{path}: not an unencrypted PEM private key") from None
    if not isinstance(key, ec.EllipticCurvePrivateKey) or key.curve.name != "secp256r1":
        raise KeyFileError(f"{path}: not a P-256 key")
    return key


def load_public_key(path: str) -> bytes:
    """The raw public key from a public key file: '#' comment lines and one line of 128
    lowercase hex characters."""
    try:
        with open(path, "r", encoding="ascii") as stream:
            lines = [line.strip() for line in stream if line.strip() and not line.startswith("#")]
    except (OSError, UnicodeDecodeError) as error:
        raise KeyFileError(f"cannot read public key {path}: {error}") from None
    if len(lines) != 1 or not _PUBLIC_HEX_RE.match(lines[0]):
        raise KeyFileError(f"{path}: expected one line of 128 lowercase hexadecimal characters")
    public_key = bytes.fromhex(lines[0])
    _public_key_object(public_key)
    return public_key


def public_key_file_text(public_key: bytes, comment: str) -> str:
    lines = ["# " + line if line else "#" for line in comment.splitlines()]
    return "\n".join(lines + [public_key.hex()]) + "\n"


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
    block = update_list.signature
    if block is None:
        lines.append("signature:     none")
    else:
        lines += [
            f"signature:     sequence {block.sequence}, key id {block.key_id.hex()}",
            f"  client SHA-256 {block.client_sha256.hex()}",
        ]
        for entry, digest in zip(update_list.entries, block.entry_sha256s):
            lines.append(f"  SHA-256 {digest.hex()} {entry.server_path}")
    return "\n".join(lines) + "\n"
