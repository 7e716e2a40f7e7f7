"""Reading a multipart/form-data body as the client builds it.

    --B\\r\\n<part headers>\\r\\n\\r\\n<content>\\r\\n--B ... \\r\\n--B--

Everything is checked against the data: a body that does not follow this shape is refused with
a text that says where, and no part's content is ever read past the body.
"""

from dataclasses import dataclass
from typing import Dict, List, Optional


class MultipartError(ValueError):
    pass


@dataclass
class Part:
    name: Optional[str]
    filename: Optional[str]
    content_type: Optional[str]
    headers: List[tuple]
    content: bytes


def boundary_of(content_type: str) -> str:
    """The boundary parameter of a "multipart/form-data" Content-Type."""
    kind, params = _split_header_value(content_type)
    if kind.lower() != "multipart/form-data":
        raise MultipartError(f"Content-Type is {content_type!r}, not multipart/form-data")
    boundary = params.get("boundary")
    if not boundary:
        raise MultipartError("Content-Type has no boundary")
    return boundary


def _split_header_value(value: str):
    """'form-data; name="file0"; filename="a.gz"' -> ("form-data", {"name": ..., "filename": ...})."""
    params: Dict[str, str] = {}
    pieces = []
    current = []
    quoted = False
    for char in value:
        if char == '"':
            quoted = not quoted
        if char == ";" and not quoted:
            pieces.append("".join(current))
            current = []
        else:
            current.append(char)
    pieces.append("".join(current))
    for piece in pieces[1:]:
        name, equals, raw = piece.strip().partition("=")
        if not equals:
            continue
        raw = raw.strip()
        if len(raw) >= 2 and raw[0] == raw[-1] == '"':
            raw = raw[1:-1]
        params[name.strip().lower()] = raw
    return pieces[0].strip(), params


def _find_delimiter(body: bytes, delimiter: bytes, start: int) -> int:
    """The next delimiter that is one: followed by a line break or by the closing "--", so
    content that happens to hold the boundary followed by other bytes stays content."""
    position = body.find(delimiter, start)
    while position >= 0:
        follow = body[position + len(delimiter) : position + len(delimiter) + 2]
        if follow in (b"\r\n", b"--"):
            return position
        position = body.find(delimiter, position + 1)
    return -1


def parse_multipart(body: bytes, boundary: str) -> List[Part]:
    delimiter = b"--" + boundary.encode("latin-1")
    if not body.startswith(delimiter):
        raise MultipartError("body does not begin with the boundary")
    position = len(delimiter)
    parts = []
    while True:
        if body[position : position + 2] == b"--":
            rest = body[position + 2 :]
            if rest not in (b"", b"\r\n"):
                raise MultipartError(f"{len(rest)} bytes after the closing boundary")
            return parts
        if body[position : position + 2] != b"\r\n":
            raise MultipartError(f"no line break after the boundary at offset {position}")
        head_start = position + 2
        head_end = body.find(b"\r\n\r\n", head_start)
        if head_end < 0:
            raise MultipartError(f"part {len(parts)}: headers at offset {head_start} do not end")
        content_start = head_end + 4
        content_end = _find_delimiter(body, b"\r\n" + delimiter, content_start)
        if content_end < 0:
            raise MultipartError(f"part {len(parts)}: no boundary after its content at offset {content_start}")
        headers = []
        for line in body[head_start:head_end].split(b"\r\n"):
            name, colon, value = line.decode("latin-1").partition(":")
            if not colon:
                raise MultipartError(f"part {len(parts)}: header line {line!r} has no colon")
            headers.append((name.strip(), value.strip()))
        fields = {name.lower(): value for name, value in headers}
        disposition = fields.get("content-disposition")
        if disposition is None:
            raise MultipartError(f"part {len(parts)}: no Content-Disposition")
        kind, params = _split_header_value(disposition)
        if kind.lower() != "form-data":
            raise MultipartError(f"part {len(parts)}: Content-Disposition is {kind!r}, not form-data")
        parts.append(
            Part(
                name=params.get("name"),
                filename=params.get("filename"),
                content_type=fields.get("content-type"),
                headers=headers,
                content=body[content_start:content_end],
            )
        )
        position = content_end + 2 + len(delimiter)
