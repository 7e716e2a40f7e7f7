#!/usr/bin/python3
"""A local stand-in of the Drovane web service, for tests and the demo.

It answers the four requests the client makes, on 127.0.0.1 only:

    GET  /files/updates.dat and /files/<path>   files from the files folder
    GET  /auth.php?username=&password=&locale=   "authResult" / "authMore" lines
    POST /upload.php?username=&password=&...     multipart upload; "uploadResult" / "uploadCount" /
                                                 "uploadMore" lines

Answers are configurable per account (README.md). Every request is recorded byte for byte under
the data folder, and every accepted upload is stored there gunzipped beside its query.

    python3 tools/devservice/devservice.py --port 0 --port-file F --data DIR [--files DIR] [--config C]

or from Python:

    with DevService(data_dir, files_dir) as service:   # port 0: any free port
        service.url                                   # "http://127.0.0.1:<port>/"
"""

import argparse
import json
import os
import signal
import socket
import struct
import sys
import tempfile
import threading
import time
import zlib
from dataclasses import dataclass, field
from http import HTTPStatus
from typing import Callable, List, Optional

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

from multipart_form import MultipartError, boundary_of, parse_multipart  # noqa: E402
from service_config import (  # noqa: E402
    SEQUENCE_MAX,
    ConfigError,
    ServiceConfig,
    check_account,
    check_answer,
    config_from_dict,
    load_config,
)
from url_codec import decoded_text, parse_query, url_decode, url_encode  # noqa: E402

HOST = "127.0.0.1"
MAX_HEAD = 64 * 1024
# A client that does not read our answer, or never closes after it, is let go after this.
CLOSE_WAIT_SECONDS = 2.0
# Result the service gives to an upload it cannot take apart (the client shows its text).
INVALID_UPLOAD_RESULT = 2
# The query of upload.php as the client builds it: these names in this order, then
# "ignorecharacterdata=true" when the player switched character data off.
UPLOAD_QUERY_NAMES = ["username", "password", "clientversion", "looterversion", "os", "osversion",
                      "realmlist", "portal", "locale"]


@dataclass
class RecordedRequest:
    """One request as received, and what the service answered."""

    seq: int
    raw: bytes
    complete: bool
    method: str = ""
    target: str = ""
    path: str = ""
    query_raw: str = ""
    query: List[tuple] = field(default_factory=list)
    version: str = ""
    headers: List[tuple] = field(default_factory=list)
    body: bytes = b""
    endpoint: str = ""
    answer_status: Optional[int] = None
    answer_body: bytes = b""
    upload_dir: Optional[str] = None

    def header(self, name: str) -> Optional[str]:
        for key, value in self.headers:
            if key.lower() == name.lower():
                return value
        return None

    def param(self, name: str) -> Optional[str]:
        """The query value of a name (the last one when repeated), None when absent."""
        found = None
        for key, value in self.query:
            if key == name:
                found = value
        return found


class _Closed(Exception):
    """The connection ended or went silent before the request was whole."""


class _Refused(Exception):
    """A request the service cannot read; answered with this status."""

    def __init__(self, status: int, text: str):
        super().__init__(text)
        self.status = status
        self.text = text


def _write_file(path: str, data: bytes) -> None:
    """Whole files only: a test that finds a record finds all of it."""
    folder = os.path.dirname(path)
    os.makedirs(folder, exist_ok=True)
    handle, temporary = tempfile.mkstemp(dir=folder, prefix=".part-")
    with os.fdopen(handle, "wb") as stream:
        stream.write(data)
    os.replace(temporary, path)


def _json_bytes(value) -> bytes:
    return (json.dumps(value, indent=2, ensure_ascii=False) + "\n").encode("utf-8")


def gunzip(data: bytes, limit: int) -> bytes:
    """One complete gzip member, its CRC and length checked; nothing may follow it."""
    inflater = zlib.decompressobj(16 + zlib.MAX_WBITS)
    try:
        out = inflater.decompress(data, limit + 1)
    except zlib.error as error:
        raise ValueError(f"not a valid gzip stream ({error})") from None
    if len(out) > limit:
        raise ValueError(f"unpacks to more than {limit} bytes")
    if not inflater.eof:
        raise ValueError("gzip stream is truncated")
    if inflater.unused_data:
        raise ValueError(f"{len(inflater.unused_data)} bytes follow the gzip stream")
    return out


def upload_query_problem(query) -> Optional[str]:
    """What is wrong with the query of an upload, or None when it is what the client sends."""
    names = [name for name, _ in query]
    expected = list(UPLOAD_QUERY_NAMES)
    if names[len(expected):] == ["ignorecharacterdata"]:
        expected.append("ignorecharacterdata")
    if names != expected:
        return f"query names {names} are not {UPLOAD_QUERY_NAMES} (then ignorecharacterdata)"
    values = dict(query)
    if values["os"] != "windows":
        return f"os is {values['os']!r}, not 'windows'"
    if not values["looterversion"].lstrip("-").isdigit():
        return f"looterversion {values['looterversion']!r} is not a number"
    if values.get("ignorecharacterdata", "true") != "true":
        return f"ignorecharacterdata is {values['ignorecharacterdata']!r}, not 'true'"
    return None


def _safe_file_name(name: str) -> Optional[str]:
    """Why an uploaded file name cannot be stored, or None when it can."""
    if not name:
        return "empty file name"
    if name in (".", "..") or any(c in name for c in "/\\:") or any(ord(c) < 32 for c in name):
        return f"file name {name!r} is not a plain name"
    if len(name.encode("utf-8")) > 200:
        return f"file name {name[:40]!r}... is too long"
    return None


def _reason(status: int) -> str:
    try:
        return HTTPStatus(status).phrase
    except ValueError:
        return "Unknown"


def _result_lines(pairs) -> bytes:
    """Key and value lines, each ended by a line feed, values URL-encoded as the client decodes."""
    out = []
    for key, value in pairs:
        out.append(key + "\n")
        out.append(url_encode(str(value)) + "\n")
    return "".join(out).encode("ascii")


class _Exchange:
    """One connection: read one request, answer it, close."""

    def __init__(self, service: "DevService", sock: socket.socket):
        self.service = service
        self.sock = sock
        self.raw = bytearray()
        self.record = RecordedRequest(seq=0, raw=b"", complete=False)
        self.seq: Optional[int] = None

    # -- reading ---------------------------------------------------------------------------------

    def _receive(self) -> bytes:
        try:
            chunk = self.sock.recv(65536)
        except (socket.timeout, OSError):
            raise _Closed() from None
        if not chunk:
            raise _Closed()
        self.raw += chunk
        return chunk

    def _read_head(self) -> int:
        """Reads until the empty line; returns the offset just after it."""
        while True:
            end = self.raw.find(b"\r\n\r\n")
            if end >= 0:
                return end + 4
            if len(self.raw) > MAX_HEAD:
                raise _Refused(431, "request head is too long")
            self._receive()

    def _parse_head(self, head_end: int) -> None:
        record = self.record
        lines = bytes(self.raw[: head_end - 4]).decode("latin-1").split("\r\n")
        words = lines[0].split(" ")
        if len(words) < 3 or not words[-1].startswith("HTTP/") or not words[0]:
            raise _Refused(400, f"bad request line {lines[0]!r}")
        # A target with blanks in it (an unencoded path) is kept whole.
        record.method, record.target, record.version = words[0], " ".join(words[1:-1]), words[-1]
        path, _, query = record.target.partition("?")
        record.path, record.query_raw = path, query
        record.query = parse_query(query)
        for line in lines[1:]:
            name, colon, value = line.partition(":")
            if not colon or not name.strip():
                raise _Refused(400, f"bad header line {line!r}")
            record.headers.append((name.strip(), value.strip()))
        record.endpoint = self.service.endpoint_of(record.path)

    def _body_length(self) -> int:
        record = self.record
        if record.header("Transfer-Encoding") is not None:
            raise _Refused(501, "Transfer-Encoding is not supported; send Content-Length")
        length = record.header("Content-Length")
        if length is None:
            if record.method == "POST":
                raise _Refused(411, "a POST needs Content-Length")
            return 0
        if not length.isdigit():
            raise _Refused(400, f"bad Content-Length {length!r}")
        if int(length) > self.service.config.max_body:
            raise _Refused(413, f"body of {length} bytes is larger than {self.service.config.max_body}")
        return int(length)

    def _read_body(self, head_end: int, length: int) -> None:
        while len(self.raw) - head_end < length:
            self._receive()
        self.record.body = bytes(self.raw[head_end : head_end + length])

    # -- behaviour on the wire -----------------------------------------------------------------

    def _phase(self, phase: str, spec: dict) -> bool:
        """Stall and drop actions configured for this point; False when the exchange ends here."""
        stall = spec.get("stall")
        if stall and stall["phase"] == phase:
            if self.service._stopping.wait(stall["seconds"]):
                return False
        drop = spec.get("drop")
        if drop and drop["phase"] == phase:
            if drop["reset"]:
                self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            else:
                try:
                    self.sock.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass
            self.sock.close()
            return False
        return True

    def _send(self, data: bytes) -> bool:
        try:
            self.sock.sendall(data)
            return True
        except OSError:
            return False

    def _close_gracefully(self) -> None:
        """Ends our side with a FIN and lets the client close; unread bytes would turn the close
        into a reset that can cost the client our answer."""
        deadline = time.monotonic() + CLOSE_WAIT_SECONDS
        try:
            self.sock.shutdown(socket.SHUT_WR)
            while True:
                left = deadline - time.monotonic()
                if left <= 0:
                    break
                self.sock.settimeout(left)
                if not self.sock.recv(65536):
                    break
        except OSError:
            pass
        self.sock.close()

    # -- the exchange ----------------------------------------------------------------------------

    def run(self) -> None:
        try:
            self._run()
        finally:
            try:
                self.sock.close()
            except OSError:
                pass

    def _run(self) -> None:
        service = self.service
        self.sock.settimeout(service.config.read_timeout)
        try:
            head_end = self._read_head()
            self._parse_head(head_end)
            length = self._body_length()
        except _Closed:
            if self.raw:
                self._store(complete=False)
            return
        except _Refused as refusal:
            self._answer_plain(refusal.status, refusal.text)
            return

        spec = service.choose_answer(self.record)
        if spec.get("stall", {}).get("phase") == "request" or spec.get("drop", {}).get("phase") == "request":
            self._store(complete=False)
        if not self._phase("request", spec):
            return
        try:
            self._read_body(head_end, length)
        except _Closed:
            self._store(complete=False)
            return

        self._assign_seq()
        status, content_type, body = service.build_answer(self.record, spec, self.seq)
        self.record.answer_status, self.record.answer_body = status, body
        self._store(complete=True)

        if not self._phase("answer", spec):
            return
        length_line = "" if spec.get("framing") == "close" or spec.get("endless") else f"Content-Length: {len(body)}\r\n"
        head = (
            f"HTTP/1.1 {status} {_reason(status)}\r\n"
            f"Content-Type: {content_type}\r\n"
            f"{length_line}"
            "Connection: close\r\n\r\n"
        ).encode("latin-1")
        if "raw" in spec:
            head, body = spec["raw"].encode("latin-1"), b""
        if spec.get("endless"):
            self._send_endless(head)
            return
        if "trickle" in spec:
            if "raw" in spec:
                cut = head.find(b"\r\n\r\n")
                head, body = (head, b"") if cut < 0 else (head[: cut + 4], head[cut + 4 :])
            if self._send(head) and self._send_trickled(body, spec["trickle"]):
                self._close_gracefully()
            return
        partial = spec.get("stall", {}).get("phase") == "partial" or spec.get("drop", {}).get("phase") == "partial"
        cut = len(body) // 2 if partial else len(body)
        if not self._send(head + body[:cut]):
            return
        if not self._phase("partial", spec):
            return
        if self._send(body[cut:]):
            self._close_gracefully()

    def _send_endless(self, head: bytes) -> None:
        """The head, then body bytes until the client goes away or the service stops."""
        piece = b"endless body " * 5000
        if not self._send(head):
            return
        while not self.service._stopping.is_set():
            if not self._send(piece):
                return

    def _send_trickled(self, data: bytes, seconds: float) -> bool:
        """One byte every so many seconds; False when the client went away or the service stops."""
        for i in range(len(data)):
            if i > 0 and self.service._stopping.wait(seconds):
                return False
            if not self._send(data[i : i + 1]):
                return False
        return True

    def _answer_plain(self, status: int, text: str) -> None:
        """The answer to a request that could not be read whole; the body stays unread."""
        body = (text + "\n").encode("utf-8")
        self.record.answer_status, self.record.answer_body = status, body
        self._store(complete=False)
        head = (
            f"HTTP/1.1 {status} {_reason(status)}\r\nContent-Type: text/plain; charset=utf-8\r\n"
            f"Content-Length: {len(body)}\r\nConnection: close\r\n\r\n"
        ).encode("latin-1")
        if self._send(head + body):
            self._close_gracefully()

    def _assign_seq(self) -> None:
        if self.seq is None:
            self.seq = self.service._next_seq()

    def _store(self, complete: bool) -> None:
        self._assign_seq()
        self.record.seq = self.seq
        self.record.raw = bytes(self.raw)
        self.record.complete = complete
        self.service._store_record(self.record)


class DevService:
    """The service, run on its own threads: start() binds 127.0.0.1 and returns."""

    def __init__(self, data_dir: Optional[str] = None, files_dir: Optional[str] = None,
                 config=None, port: Optional[int] = None, port_file: Optional[str] = None):
        if config is None:
            config = ServiceConfig()
        elif isinstance(config, dict):
            config = config_from_dict(config)
        self.config: ServiceConfig = config.copy()
        if data_dir is not None:
            self.config.data_dir = data_dir
        if files_dir is not None:
            self.config.files_dir = files_dir
        if port is not None:
            self.config.port = port
        if port_file is not None:
            self.config.port_file = port_file
        if not self.config.data_dir:
            raise ConfigError("a data folder is needed for the records")
        self.data_dir = os.path.abspath(self.config.data_dir)
        if self.config.files_dir:
            self.config.files_dir = os.path.abspath(self.config.files_dir)
        self.requests_dir = os.path.join(self.data_dir, "requests")
        self.uploads_dir = os.path.join(self.data_dir, "uploads")
        self._lock = threading.Lock()
        self._recorded = threading.Condition(self._lock)
        self._records = {}
        self._seq = self._last_seq_on_disk()
        self._stopping = threading.Event()
        self._listener: Optional[socket.socket] = None
        self._accept_thread: Optional[threading.Thread] = None
        self._connections = {}
        self.port = 0

    # -- life ------------------------------------------------------------------------------------

    def start(self) -> "DevService":
        os.makedirs(self.requests_dir, exist_ok=True)
        os.makedirs(self.uploads_dir, exist_ok=True)
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        try:
            listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            if self.config.receive_buffer:
                # Set before listen, so accepted connections inherit it: a small window makes a
                # stalled upload block the client's sending deterministically.
                listener.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, self.config.receive_buffer)
            listener.bind((HOST, self.config.port))
            listener.listen(64)
            listener.settimeout(0.2)
        except OSError:
            listener.close()
            raise
        self._listener = listener
        self.port = listener.getsockname()[1]
        if self.config.publish_manifest:
            try:
                self.publish_manifest_file(self.config.publish_manifest)
            except _publish_module().PublishError as error:
                listener.close()
                raise ConfigError(f"publish {self.config.publish_manifest}: {error}") from None
        if self.config.port_file:
            _write_file(os.path.abspath(self.config.port_file), f"{self.port}\n".encode("ascii"))
        self._accept_thread = threading.Thread(target=self._accept_loop, name="devservice-accept", daemon=True)
        self._accept_thread.start()
        return self

    def stop(self, timeout: float = 5.0) -> None:
        """Ends every stall and connection and joins the threads, within the timeout."""
        self._stopping.set()
        if self._listener is not None:
            try:
                # Wakes a waiting accept at once where the system allows it (Linux); elsewhere
                # the accept loop's short timeout ends it.
                self._listener.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        if self._accept_thread is not None:
            self._accept_thread.join(timeout)
        if self._listener is not None:
            self._listener.close()
        with self._lock:
            connections = list(self._connections.items())
        for thread, sock in connections:
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        for thread, _ in connections:
            thread.join(timeout)

    def __enter__(self) -> "DevService":
        return self.start()

    def __exit__(self, *exc) -> None:
        self.stop()

    @property
    def url(self) -> str:
        return f"http://{HOST}:{self.port}/"

    def _accept_loop(self) -> None:
        while not self._stopping.is_set():
            try:
                sock, _ = self._listener.accept()
            except socket.timeout:
                continue
            except OSError:
                if self._stopping.is_set():
                    return
                continue
            sock.settimeout(None)
            thread = threading.Thread(target=self._serve, args=(sock,), name="devservice-exchange", daemon=True)
            with self._lock:
                self._connections[thread] = sock
            thread.start()

    def _serve(self, sock: socket.socket) -> None:
        try:
            _Exchange(self, sock).run()
        except Exception as error:  # a fault in one exchange must not end the service
            print(f"devservice: exchange failed: {error!r}", file=sys.stderr)
        finally:
            with self._lock:
                self._connections.pop(threading.current_thread(), None)

    # -- configuration while running -------------------------------------------------------------

    def set_account(self, name: str, **entry) -> None:
        """set_account("alice", password="pw", auth={"result": 3, "more": "..."}, upload={...})"""
        checked = check_account({key: value for key, value in _camel(entry).items() if value is not None},
                                f"accounts.{name}")
        with self._lock:
            self.config.accounts[name.lower()] = (name, checked)

    def set_any_account(self, **entry) -> None:
        """Answers for user names not set; set_any_account(refuse=True) refuses them."""
        refuse = entry.pop("refuse", False)
        checked = None if refuse else check_account(_camel(entry), "anyAccount")
        with self._lock:
            self.config.any_account = checked

    def set_defaults(self, auth=None, upload=None) -> None:
        with self._lock:
            if auth is not None:
                self.config.defaults["auth"] = check_answer(auth, "defaults.auth")
            if upload is not None:
                self.config.defaults["upload"] = check_answer(upload, "defaults.upload")

    def set_path_answer(self, path: str, spec: Optional[dict]) -> None:
        """An answer for one request path ("/files/updates.dat"), None to remove it."""
        with self._lock:
            if spec is None:
                self.config.paths.pop(path, None)
            else:
                self.config.paths[path] = check_answer(spec, f"paths.{path}", allow_times=True)

    # -- answers ---------------------------------------------------------------------------------

    @staticmethod
    def endpoint_of(path: str) -> str:
        if path == "/auth.php":
            return "auth"
        if path == "/upload.php":
            return "upload"
        if path.startswith("/files/"):
            return "file"
        return "unknown"

    def choose_answer(self, record: RecordedRequest) -> dict:
        """The configured answer for a request, from its head alone (so a stall or drop before the
        body is possible)."""
        with self._lock:
            override = self.config.paths.get(record.path)
            if override is not None:
                if "times" in override:
                    override["times"] -= 1
                    if override["times"] == 0:
                        del self.config.paths[record.path]
                return dict(override)
            if record.endpoint not in ("auth", "upload"):
                return {}
            if not self._login_ok(record):
                return dict(self.config.bad_login, login=False)
            account = self.config.find_account(record.param("username"))
            return self.config.answer_for(account, record.endpoint)

    def _login_ok(self, record: RecordedRequest) -> bool:
        username, password = record.param("username"), record.param("password")
        if not username or password is None:
            return False
        account = self.config.find_account(username)
        if account is None:
            return False
        return account["passwordMd5"] is None or password.lower() == account["passwordMd5"]

    def build_answer(self, record: RecordedRequest, spec: dict, seq: int):
        """(status, content type, body) for a whole request; stores an upload on the way."""
        status = spec.get("status", 200)
        text_type = "text/plain; charset=utf-8"
        expected = {"auth": "GET", "upload": "POST", "file": "GET"}.get(record.endpoint)
        if expected is None:
            if "body" in spec:
                return status, text_type, spec["body"].encode("utf-8")
            status = spec.get("status", 404)
            return status, text_type, (_reason(status) + "\n").encode("utf-8")
        if record.method != expected:
            return 405, text_type, f"{record.path} takes {expected} only\n".encode("utf-8")
        if record.endpoint == "file":
            if "body" in spec:
                return status, "application/octet-stream", spec["body"].encode("utf-8")
            if status != 200:
                return status, text_type, (_reason(status) + "\n").encode("utf-8")
            content = self._read_served_file(record.path)
            if content is None:
                return 404, text_type, b"Not Found\n"
            return 200, "application/octet-stream", content

        result, more = spec.get("result", 0), spec.get("more", "")
        if record.endpoint == "auth":
            pairs = [("authResult", result), ("authMore", more)]
        else:
            count = 0
            if spec.get("login", True):
                stored, error = self._store_upload(record, seq, result)
                if error is not None:
                    result, more = INVALID_UPLOAD_RESULT, f"Invalid upload: {error}"
                else:
                    count = stored
            pairs = [("uploadResult", result), ("uploadCount", spec.get("count", count)), ("uploadMore", more)]
        if "body" in spec:
            return status, text_type, spec["body"].encode("utf-8")
        if status != 200:
            return status, text_type, (_reason(status) + "\n").encode("utf-8")
        return status, text_type, _result_lines(pairs)

    def _read_served_file(self, path: str) -> Optional[bytes]:
        """/files/<relative path>; the client may send backslashes, as Windows paths have them."""
        if not self.config.files_dir:
            return None
        relative = decoded_text(url_decode(path[len("/files/") :])).replace("\\", "/")
        parts = relative.split("/")
        if any(part in ("", ".", "..") or ":" in part for part in parts):
            return None
        full = os.path.join(os.path.abspath(self.config.files_dir), *parts)
        if not os.path.isfile(full):
            return None
        with open(full, "rb") as stream:
            return stream.read()

    def _store_upload(self, record: RecordedRequest, seq: int, result):
        """Stores each file gunzipped with the request's query under uploads/<seq>/.
        Returns (file count, None) or (0, reason) for a package that cannot be taken apart;
        nothing of such a package is stored but its query and the reason."""
        folder = os.path.join(self.uploads_dir, f"{seq:06d}")
        record.upload_dir = folder
        _write_file(os.path.join(folder, "query.txt"), record.query_raw.encode("latin-1"))
        _write_file(os.path.join(folder, "query.json"), _json_bytes(record.query))
        files, fields, error = [], [], None
        try:
            problem = upload_query_problem(record.query)
            if problem:
                raise ValueError(problem)
            parts = parse_multipart(record.body, boundary_of(record.header("Content-Type") or ""))
            names = set()
            previous = None
            for index, part in enumerate(parts):
                if part.filename is None:
                    fields.append({"name": part.name, "value": decoded_text(part.content)})
                    continue
                # The client sends its files in byte order of their names, as file0, file1, ...
                if part.name != f"file{len(files)}":
                    raise ValueError(f"part {index}: named {part.name!r}, not 'file{len(files)}'")
                raw_name = part.filename.encode("latin-1")
                if previous is not None and raw_name <= previous:
                    raise ValueError(f"part {index}: file {part.filename!r} does not follow "
                                     f"{previous.decode('latin-1')!r} in name order")
                previous = raw_name
                filename = decoded_text(raw_name)
                problem = _safe_file_name(filename)
                if problem:
                    raise ValueError(f"part {index}: {problem}")
                stored_as = filename[:-3] if filename.endswith(".gz") and len(filename) > 3 else filename
                if stored_as in names:
                    raise ValueError(f"part {index}: file {filename!r} is sent twice")
                names.add(stored_as)
                try:
                    content = gunzip(part.content, self.config.max_unpacked)
                except ValueError as reason:
                    raise ValueError(f"file {filename!r}: {reason}") from None
                files.append((part, filename, stored_as, content))
            if not files:
                raise ValueError("no files")
        except (MultipartError, ValueError) as reason:
            error = str(reason)
        manifest = {
            "seq": seq,
            "username": record.param("username"),
            "result": result if error is None else INVALID_UPLOAD_RESULT,
            "error": error,
            "fields": fields,
            "files": [],
        }
        if error is None:
            for part, filename, stored_as, content in files:
                _write_file(os.path.join(folder, "files", stored_as), content)
                manifest["files"].append({
                    "name": part.name,
                    "filename": filename,
                    "contentType": part.content_type,
                    "storedAs": "files/" + stored_as,
                    "compressedSize": len(part.content),
                    "size": len(content),
                })
        _write_file(os.path.join(folder, "upload.json"), _json_bytes(manifest))
        return (len(files), None) if error is None else (0, error)

    # -- records ---------------------------------------------------------------------------------

    def _last_seq_on_disk(self) -> int:
        """Records of an earlier run in the same folder are kept; numbering goes on after them."""
        last = 0
        if os.path.isdir(self.requests_dir):
            for name in os.listdir(self.requests_dir):
                stem, dot, extension = name.partition(".")
                if extension == "raw" and stem.isdigit():
                    last = max(last, int(stem))
        return last

    def _next_seq(self) -> int:
        with self._lock:
            self._seq += 1
            return self._seq

    def _store_record(self, record: RecordedRequest) -> None:
        stem = os.path.join(self.requests_dir, f"{record.seq:06d}")
        _write_file(stem + ".raw", record.raw)
        meta = {
            "seq": record.seq,
            "complete": record.complete,
            "method": record.method,
            "target": record.target,
            "path": record.path,
            "queryRaw": record.query_raw,
            "query": record.query,
            "version": record.version,
            "headers": record.headers,
            "bodyLength": len(record.body),
            "endpoint": record.endpoint,
            "answer": None,
            "upload": os.path.relpath(record.upload_dir, self.data_dir) if record.upload_dir else None,
        }
        if record.answer_status is not None:
            meta["answer"] = {"status": record.answer_status, "bodyLength": len(record.answer_body)}
            if record.endpoint != "file":
                meta["answer"]["body"] = record.answer_body.decode("utf-8", "replace")
        _write_file(stem + ".json", _json_bytes(meta))
        snapshot = RecordedRequest(**{**record.__dict__, "headers": list(record.headers),
                                      "query": list(record.query)})
        with self._recorded:
            self._records[record.seq] = snapshot
            self._recorded.notify_all()

    def requests(self, endpoint: Optional[str] = None) -> List[RecordedRequest]:
        """Requests recorded by this run, in order; only those of one endpoint when given."""
        with self._lock:
            found = [self._records[seq] for seq in sorted(self._records)]
        return [r for r in found if endpoint is None or r.endpoint == endpoint]

    def wait_for_requests(self, count: int, timeout: float = 10.0, endpoint: Optional[str] = None,
                          predicate: Optional[Callable[[RecordedRequest], bool]] = None) -> List[RecordedRequest]:
        """Waits until count requests (of the endpoint, meeting the predicate) were answered or
        dropped; raises TimeoutError with what was seen."""

        def matching():
            found = [self._records[seq] for seq in sorted(self._records)]
            return [r for r in found if (endpoint is None or r.endpoint == endpoint)
                    and (predicate is None or predicate(r))]

        with self._recorded:
            if not self._recorded.wait_for(lambda: len(matching()) >= count, timeout):
                seen = [(r.seq, r.method, r.target) for r in matching()]
                raise TimeoutError(f"{count} request(s) expected within {timeout} s, saw {seen}")
            return matching()

    # -- update list -----------------------------------------------------------------------------

    def publish(self, manifest_data: dict, base_dir: str = ".", sequence: Optional[int] = None) -> None:
        """Builds files/updates.dat from a publish manifest, with this service's files URL as the
        download base (the port is only known now), signed with the configured key. The sequence
        number is the given one, else the configured one, else the time of publication."""
        publish_module = _publish_module()
        manifest = publish_module.manifest_from_dict(manifest_data, base_dir)
        self._publish(publish_module, manifest, sequence)

    def publish_manifest_file(self, path: str, sequence: Optional[int] = None) -> None:
        publish_module = _publish_module()
        self._publish(publish_module, publish_module.load_manifest(path), sequence)

    def _publish(self, publish_module, manifest, sequence: Optional[int]) -> None:
        if not self.config.files_dir:
            raise ConfigError("publishing needs a files folder")
        manifest.base_url = self.url + "files/"
        if sequence is None:
            sequence = self.config.sequence
        private_key = publish_module.load_signing_key(self.config.signing_key)
        publish_module.publish(manifest, self.config.files_dir, private_key, sequence)


def _publish_module():
    folder = os.path.join(HERE, os.pardir, "publish")
    if folder not in sys.path:
        sys.path.insert(0, folder)
    import publish

    return publish


def _camel(entry: dict) -> dict:
    """set_account(password_md5=...) as the JSON key passwordMd5."""
    return {("passwordMd5" if key == "password_md5" else key): value for key, value in entry.items()}


def _stall_option(text: str) -> dict:
    phase, colon, seconds = text.partition(":")
    if not colon:
        raise argparse.ArgumentTypeError(f"expected PHASE:SECONDS, got {text!r}")
    try:
        return {"phase": phase, "seconds": float(seconds)}
    except ValueError:
        raise argparse.ArgumentTypeError(f"expected PHASE:SECONDS, got {text!r}") from None


def _drop_option(text: str) -> dict:
    phase, _, how = text.partition(":")
    if how not in ("", "reset", "close"):
        raise argparse.ArgumentTypeError(f"expected PHASE or PHASE:reset, got {text!r}")
    return {"phase": phase, "reset": how == "reset"}


def _result_option(text: str):
    return int(text) if text.lstrip("-").isdigit() else text


def build_config(argv: Optional[List[str]] = None) -> ServiceConfig:
    parser = argparse.ArgumentParser(description="Local stand-in of the Drovane web service (127.0.0.1 only).")
    parser.add_argument("--config", help="JSON configuration (README.md); options below override it")
    parser.add_argument("--port", type=int, help="port on 127.0.0.1; 0 (default) takes any free one")
    parser.add_argument("--port-file", help="file that receives the chosen port once listening")
    parser.add_argument("--data", help="folder for the request records and the stored uploads")
    parser.add_argument("--files", help="folder served under /files/ (updates.dat and the listed files)")
    parser.add_argument("--publish", help="publish manifest: build files/updates.dat for this service at start")
    parser.add_argument("--signing-key", metavar="FILE",
                        help="private key (PEM) that signs published lists (default: the repository's test key)")
    parser.add_argument("--sequence", type=int, metavar="N",
                        help="sequence number of published lists (default: the time of publication)")
    parser.add_argument("--account", action="append", default=[], metavar="NAME[:PASSWORD]",
                        help="an account (repeatable); with a password, the password is checked")
    parser.add_argument("--refuse-unknown", action="store_true", help="refuse user names not configured")
    for endpoint in ("auth", "upload"):
        parser.add_argument(f"--{endpoint}-result", type=_result_option, help=f"{endpoint}Result for every account")
        parser.add_argument(f"--{endpoint}-more", help=f"{endpoint}More text for every account")
        parser.add_argument(f"--{endpoint}-status", type=int, help="HTTP status of the answer")
        parser.add_argument(f"--{endpoint}-body", help="the whole answer body, as given")
        parser.add_argument(f"--{endpoint}-stall", type=_stall_option, metavar="PHASE:SECONDS",
                            help="wait at request, answer or partial")
        parser.add_argument(f"--{endpoint}-drop", type=_drop_option, metavar="PHASE[:reset]",
                            help="end the connection at request, answer or partial")
    parser.add_argument("--upload-count", type=_result_option, help="uploadCount (default: files received)")
    parser.add_argument("--stop-file", help="stop as soon as this file exists (for callers that cannot signal, "
                                            "such as Windows tests under Wine)")
    parser.add_argument("--max-seconds", type=float, help="stop by itself after this many seconds")
    args = parser.parse_args(argv)

    config = load_config(args.config) if args.config else ServiceConfig()
    if args.port is not None:
        config.port = args.port
    for key in ("port_file", "data", "files", "publish", "signing_key"):
        value = getattr(args, key)
        if value is not None:
            attribute = {"data": "data_dir", "files": "files_dir", "publish": "publish_manifest"}.get(key, key)
            setattr(config, attribute, value)
    if args.sequence is not None:
        if not 0 <= args.sequence <= SEQUENCE_MAX:
            parser.error(f"--sequence: 0 to {SEQUENCE_MAX}")
        config.sequence = args.sequence
    for account in args.account:
        name, colon, password = account.partition(":")
        config.set_account(name, {"password": password} if colon else {})
    if args.refuse_unknown:
        config.any_account = None
    for endpoint in ("auth", "upload"):
        spec = dict(config.defaults[endpoint])
        for key in ("result", "more", "status", "body", "stall", "drop"):
            value = getattr(args, f"{endpoint}_{key}")
            if value is not None:
                spec[key] = value
        if endpoint == "upload" and args.upload_count is not None:
            spec["count"] = args.upload_count
        config.defaults[endpoint] = check_answer(spec, f"--{endpoint} options")
    if not config.data_dir:
        parser.error("--data (or data in the configuration) is required")
    config.stop_file = args.stop_file
    config.max_seconds = args.max_seconds
    return config


def main(argv: Optional[List[str]] = None) -> int:
    try:
        config = build_config(argv)
        service = DevService(config=config).start()
    except (ConfigError, OSError) as error:
        print(f"devservice: {error}", file=sys.stderr)
        return 2
    print(f"devservice: listening on {service.url}", flush=True)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    stop_file = getattr(config, "stop_file", None)
    max_seconds = getattr(config, "max_seconds", None)
    deadline = time.monotonic() + max_seconds if max_seconds else None
    while not stop.wait(0.1):
        if stop_file and os.path.exists(stop_file):
            break
        if deadline is not None and time.monotonic() >= deadline:
            break
    service.stop()
    print("devservice: stopped", flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
