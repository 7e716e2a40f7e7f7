"""URL encoding as the client does it, in both directions.

The client encodes every query value and decodes every answer line with these rules, so the
service answers with the same encoding and reads the query with the same leniency.
"""

from typing import List, Tuple

_HEX = b"0123456789ABCDEF"
_KEEP = set(b"0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz-._")
_HEX_VALUES = {ord(c): int(c, 16) for c in "0123456789abcdefABCDEF"}


def url_encode(data) -> str:
    """Space becomes "+", digits, letters and "-._" stay, every other byte becomes %XX."""
    if isinstance(data, str):
        data = data.encode("utf-8")
    out = bytearray()
    for byte in data:
        if byte == 0x20:
            out += b"+"
        elif byte in _KEEP:
            out.append(byte)
        else:
            out += b"%" + bytes((_HEX[byte >> 4], _HEX[byte & 15]))
    return out.decode("ascii")


def url_decode(data) -> bytes:
    """"+" is a space, %XX a byte; a "%" without two hex digits stays as it stands."""
    if isinstance(data, str):
        data = data.encode("latin-1")
    out = bytearray()
    i = 0
    while i < len(data):
        byte = data[i]
        if byte == ord("+"):
            out.append(0x20)
            i += 1
        elif byte == ord("%") and i + 2 < len(data) and data[i + 1] in _HEX_VALUES and data[i + 2] in _HEX_VALUES:
            out.append(_HEX_VALUES[data[i + 1]] * 16 + _HEX_VALUES[data[i + 2]])
            i += 3
        else:
            out.append(byte)
            i += 1
    return bytes(out)


def decoded_text(data: bytes) -> str:
    """UTF-8 when the bytes are UTF-8; otherwise the bytes one to one (a single-byte code page
    text such as a realm list from the game's files)."""
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode("latin-1")


def parse_query(query: str) -> List[Tuple[str, str]]:
    """Name and value pairs in request order; a pair without "=" has an empty value."""
    pairs = []
    if not query:
        return pairs
    for piece in query.split("&"):
        if not piece:
            continue
        name, _, value = piece.partition("=")
        pairs.append((decoded_text(url_decode(name)), decoded_text(url_decode(value))))
    return pairs
