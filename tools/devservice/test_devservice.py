"""Tests of the development service: each endpoint's request and answer, the configurable
misbehaviour, the records, and the command line. Every network wait is bounded."""

import gzip
import hashlib
import json
import os
import signal
import socket
import subprocess
import sys
import time
import zlib

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, os.pardir, "publish"))

from devservice import DevService  # noqa: E402
from multipart_form import MultipartError, parse_multipart  # noqa: E402
from service_config import ConfigError, config_from_dict  # noqa: E402
from update_list import load_public_key, md5_hex, read_update_list, verify_update_list  # noqa: E402
from url_codec import parse_query, url_decode, url_encode  # noqa: E402

WAIT = 5.0
USER_AGENT = "DrovaneClient/1.9.01"
TEST_PUBLIC_KEY = os.path.join(HERE, os.pardir, os.pardir, "keys", "test-key.public.hex")
BOUNDARY = "---------------------------" + "123456"


def md5(text):
    return hashlib.md5(text.encode("utf-8")).hexdigest()


def client_gzip(data):
    """Compressed as the client does it: deflate level -1, window bits 31, memory level 8."""
    compressor = zlib.compressobj(-1, zlib.DEFLATED, 31, 8, zlib.Z_DEFAULT_STRATEGY)
    return compressor.compress(data) + compressor.flush()


def get_request(port, target):
    """The bytes the client sends for a GET."""
    return (
        f"GET {target} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nAccept: */*\r\nConnection: close\r\n"
        f"User-Agent: {USER_AGENT}\r\n\r\n"
    ).encode("latin-1")


def upload_request(port, target, files):
    """The bytes the client sends for the upload: parts in file-name order, named file0, file1..."""
    body = b"--" + BOUNDARY.encode()
    for index, name in enumerate(sorted(files)):
        body += (
            f'\r\nContent-Disposition: form-data; name="file{index}"; filename="{name}"\r\n'
            "Content-Type: application/binary\r\n\r\n"
        ).encode("latin-1") + files[name] + b"\r\n--" + BOUNDARY.encode()
    body += b"--"
    head = (
        f"POST {target} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nAccept: */*\r\nConnection: close\r\n"
        f"User-Agent: {USER_AGENT}\r\nContent-Type: multipart/form-data; boundary={BOUNDARY}\r\n"
        f"Content-Length: {len(body)}\r\n\r\n"
    ).encode("latin-1")
    return head + body


def parts_request(port, target, parts):
    """An upload with the parts exactly as given: (form name, file name, content) each."""
    body = b"--" + BOUNDARY.encode()
    for name, filename, content in parts:
        body += (
            f'\r\nContent-Disposition: form-data; name="{name}"; filename="{filename}"\r\n'
            "Content-Type: application/binary\r\n\r\n"
        ).encode("latin-1") + content + b"\r\n--" + BOUNDARY.encode()
    body += b"--"
    head = (
        f"POST {target} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nContent-Type: multipart/form-data; "
        f"boundary={BOUNDARY}\r\nContent-Length: {len(body)}\r\n\r\n"
    ).encode("latin-1")
    return head + body


def exchange(port, data, timeout=WAIT):
    """Sends a request and reads until the service closes, as the client does."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as sock:
        sock.sendall(data)
        received = bytearray()
        while True:
            chunk = sock.recv(65536)
            if not chunk:
                return bytes(received)
            received += chunk


def get(service, target):
    """(status line, headers, body) of a GET as the client sends it."""
    return split_response(exchange(service.port, get_request(service.port, target)))


def split_response(raw):
    head, _, body = raw.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    headers = dict(line.split(": ", 1) for line in lines[1:])
    return lines[0], headers, body


def answer_pairs(body):
    """The answer read as the client reads it: alternating key and value lines, URL-decoded."""
    lines = body.split(b"\n")
    return {url_decode(lines[i]).decode(): url_decode(lines[i + 1]).decode("utf-8")
            for i in range(0, len(lines) - 1, 2)}


def auth_target(user, password, locale="enUS"):
    return f"/auth.php?username={url_encode(user)}&password={url_encode(password)}&locale={locale}"


def upload_target(user, password, extra="", realmlist="logon.example.com"):
    return (
        f"/upload.php?username={url_encode(user)}&password={url_encode(password)}&clientversion=1.9.01"
        f"&looterversion=5&os=windows&osversion=6.1.7601.1.0.256&realmlist={realmlist}"
        f"&portal=US&locale=enUS{extra}"
    )


@pytest.fixture
def service(tmp_path):
    files = tmp_path / "files"
    files.mkdir()
    svc = DevService(str(tmp_path / "data"), str(files), config={
        "accounts": {
            "Alice": {"password": "secret", "upload": {"more": "Thanks!"}},
            "Private": {"auth": {"result": 3, "more": "Private server data: caf\u00e9!"},
                        "upload": {"result": 4, "more": "Not from here."}},
        },
    }).start()
    yield svc
    svc.stop()


class TestAuth:
    def test_accepted_answer_and_record(self, service):
        request = get_request(service.port, auth_target("Alice", md5("secret")))
        raw = exchange(service.port, request)
        assert raw == (
            b"HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: 23\r\n"
            b"Connection: close\r\n\r\nauthResult\n0\nauthMore\n\n"
        )
        (record,) = service.wait_for_requests(1)
        assert record.raw == request
        assert (record.method, record.path, record.endpoint, record.complete) == ("GET", "/auth.php", "auth", True)
        assert record.query == [("username", "Alice"), ("password", md5("secret")), ("locale", "enUS")]
        assert record.header("user-agent") == USER_AGENT
        with open(os.path.join(service.requests_dir, "000001.raw"), "rb") as stream:
            assert stream.read() == request
        with open(os.path.join(service.requests_dir, "000001.json"), "rb") as stream:
            meta = json.loads(stream.read())
        assert meta["target"] == auth_target("Alice", md5("secret"))
        assert meta["headers"][0] == ["Host", f"127.0.0.1:{service.port}"]
        assert meta["answer"] == {"status": 200, "bodyLength": 23, "body": "authResult\n0\nauthMore\n\n"}

    def test_private_server_result_with_encoded_message(self, service):
        _, _, body = get(service, auth_target("private", "x"))
        # User names are matched without regard to case; the message is UTF-8, URL-encoded.
        assert body == b"authResult\n3\nauthMore\nPrivate+server+data%3A+caf%C3%A9%21\n"
        assert answer_pairs(body) == {"authResult": "3", "authMore": "Private server data: caf\u00e9!"}

    @pytest.mark.parametrize("target", [
        auth_target("Alice", md5("wrong")),
        "/auth.php?username=Alice&locale=enUS",
        "/auth.php?password=abc",
    ])
    def test_wrong_or_missing_credentials(self, service, target):
        _, _, body = get(service, target)
        assert body == b"authResult\n1\nauthMore\nInvalid+user+name+or+password.\n"

    def test_unknown_names_accepted_or_refused(self, service):
        target = auth_target("Nobody", "x")
        assert get(service, target)[2] == (
            b"authResult\n0\nauthMore\n\n")
        service.set_any_account(refuse=True)
        assert get(service, target)[2] == (
            b"authResult\n1\nauthMore\nInvalid+user+name+or+password.\n")

    def test_any_result_text_status_and_body(self, service):
        service.set_account("bob", auth={"result": "x7", "more": "line one\nline two"})
        _, _, body = get(service, auth_target("bob", "p"))
        assert body == b"authResult\nx7\nauthMore\nline+one%0Aline+two\n"

        service.set_account("bob", auth={"status": 500})
        status, headers, body = get(service, auth_target("bob", "p"))
        assert (status, body) == ("HTTP/1.1 500 Internal Server Error", b"Internal Server Error\n")

        service.set_account("bob", auth={"body": "authResult\n0\n"})
        _, headers, body = get(service, auth_target("bob", "p"))
        assert (headers["Content-Length"], body) == ("13", b"authResult\n0\n")

    def test_defaults_apply_to_accounts_without_their_own(self, service):
        service.set_defaults(auth={"result": 9, "more": "Maintenance"})
        _, _, body = get(service, auth_target("Alice", md5("secret")))
        assert body == b"authResult\n9\nauthMore\nMaintenance\n"
        _, _, body = get(service, auth_target("Private", "x"))
        assert body == b"authResult\n3\nauthMore\nPrivate+server+data%3A+caf%C3%A9%21\n"


class TestUpload:
    ADDON = b'dlVersion = 5\ndlExportData = "..."\n'
    CACHE = bytes(range(256)) * 40

    def files(self):
        return {
            "LIVE_7.3.5.26972_enUS_creaturecache.wdb.gz": client_gzip(self.CACHE),
            "LIVE_7.3.5.26972_ACCOUNT1_SavedVariables.lua.gz": client_gzip(self.ADDON),
            "LIVE_7.3.5.26972_ACCOUNT2_SavedVariables.lua.gz": client_gzip(b""),
        }

    def test_stored_gunzipped_with_the_query(self, service):
        target = upload_target("Alice", md5("secret"), realmlist="logon.example.com%0Aeu.logon%E9")
        request = upload_request(service.port, target, self.files())
        status, _, body = split_response(exchange(service.port, request))
        assert status == "HTTP/1.1 200 OK"
        assert body == b"uploadResult\n0\nuploadCount\n3\nuploadMore\nThanks%21\n"

        (record,) = service.wait_for_requests(1, endpoint="upload")
        assert record.raw == request
        folder = record.upload_dir
        assert folder == os.path.join(service.uploads_dir, "000001")
        with open(os.path.join(folder, "query.txt"), "rb") as stream:
            assert stream.read() == target.split("?", 1)[1].encode()
        with open(os.path.join(folder, "query.json"), "rb") as stream:
            query = json.loads(stream.read())
        assert query[0] == ["username", "Alice"]
        # The second realmlist is not UTF-8 (a code page text): its bytes are kept one to one.
        assert query[6] == ["realmlist", "logon.example.com\neu.logon\u00e9"]
        stored = {
            "LIVE_7.3.5.26972_enUS_creaturecache.wdb": self.CACHE,
            "LIVE_7.3.5.26972_ACCOUNT1_SavedVariables.lua": self.ADDON,
            "LIVE_7.3.5.26972_ACCOUNT2_SavedVariables.lua": b"",
        }
        assert sorted(os.listdir(os.path.join(folder, "files"))) == sorted(stored)
        for name, content in stored.items():
            with open(os.path.join(folder, "files", name), "rb") as stream:
                assert stream.read() == content
        with open(os.path.join(folder, "upload.json"), "rb") as stream:
            manifest = json.loads(stream.read())
        assert (manifest["result"], manifest["error"], manifest["username"]) == (0, None, "Alice")
        assert [(f["name"], f["filename"], f["contentType"]) for f in manifest["files"]] == [
            ("file0", "LIVE_7.3.5.26972_ACCOUNT1_SavedVariables.lua.gz", "application/binary"),
            ("file1", "LIVE_7.3.5.26972_ACCOUNT2_SavedVariables.lua.gz", "application/binary"),
            ("file2", "LIVE_7.3.5.26972_enUS_creaturecache.wdb.gz", "application/binary"),
        ]
        assert manifest["files"][2]["size"] == len(self.CACHE)

    def test_private_server_result_still_stores(self, service):
        request = upload_request(service.port, upload_target("Private", "x"), self.files())
        _, _, body = split_response(exchange(service.port, request))
        assert body == b"uploadResult\n4\nuploadCount\n3\nuploadMore\nNot+from+here.\n"
        with open(os.path.join(service.uploads_dir, "000001", "upload.json"), "rb") as stream:
            assert json.loads(stream.read())["result"] == 4

    def test_configured_count(self, service):
        service.set_account("Carol", upload={"result": 0, "count": 12, "more": ""})
        request = upload_request(service.port, upload_target("Carol", "x"), self.files())
        body = split_response(exchange(service.port, request))[2]
        assert body == b"uploadResult\n0\nuploadCount\n12\nuploadMore\n\n"

    @pytest.mark.parametrize("files, reason", [
        ({"A.gz": b"not gzip at all"},
         "file 'A.gz': not a valid gzip stream (Error -3 while decompressing data: incorrect header check)"),
        ({"A.gz": client_gzip(b"x" * 1000)[:-6]}, "file 'A.gz': gzip stream is truncated"),
        ({"A.gz": client_gzip(b"x") + b"\0"}, "file 'A.gz': 1 bytes follow the gzip stream"),
        ({"../evil.gz": client_gzip(b"x")}, "part 0: file name '../evil.gz' is not a plain name"),
        ({"a\\b.gz": client_gzip(b"x")}, "part 0: file name 'a\\\\b.gz' is not a plain name"),
        ({"A.gz": client_gzip(b"x"), "A": client_gzip(b"y")}, "part 1: file 'A.gz' is sent twice"),
        ({}, "no files"),
    ])
    def test_packages_that_cannot_be_taken_apart(self, service, files, reason):
        request = upload_request(service.port, upload_target("Alice", md5("secret")), files)
        _, _, body = split_response(exchange(service.port, request))
        assert answer_pairs(body) == {
            "uploadResult": "2", "uploadCount": "0", "uploadMore": "Invalid upload: " + reason}
        folder = os.path.join(service.uploads_dir, "000001")
        assert sorted(os.listdir(folder)) == ["query.json", "query.txt", "upload.json"]
        assert not os.path.exists(os.path.join(service.data_dir, "evil"))

    @pytest.mark.parametrize("parts, reason", [
        ([("file0", "B.gz", client_gzip(b"b")), ("file1", "A.gz", client_gzip(b"a"))],
         "part 1: file 'A.gz' does not follow 'B.gz' in name order"),
        ([("file0", "A.gz", client_gzip(b"a")), ("file2", "B.gz", client_gzip(b"b"))],
         "part 1: named 'file2', not 'file1'"),
        ([("upload", "A.gz", client_gzip(b"a"))], "part 0: named 'upload', not 'file0'"),
        # Byte order: upper-case letters come before lower-case ones.
        ([("file0", "a.gz", client_gzip(b"a")), ("file1", "B.gz", client_gzip(b"b"))],
         "part 1: file 'B.gz' does not follow 'a.gz' in name order"),
    ])
    def test_parts_must_be_named_in_file_name_order(self, service, parts, reason):
        request = parts_request(service.port, upload_target("Alice", md5("secret")), parts)
        _, _, body = split_response(exchange(service.port, request))
        assert answer_pairs(body)["uploadMore"] == "Invalid upload: " + reason

    def test_parts_in_order_are_taken(self, service):
        parts = [("file0", "B.gz", client_gzip(b"b")), ("file1", "a.gz", client_gzip(b"a"))]
        request = parts_request(service.port, upload_target("Alice", md5("secret")), parts)
        _, _, body = split_response(exchange(service.port, request))
        assert answer_pairs(body)["uploadResult"] == "0"

    @pytest.mark.parametrize("target, reason", [
        ("/upload.php?username=Alice&password=P&clientversion=1.9.01&looterversion=5&os=windows"
         "&osversion=6.1&realmlist=&locale=enUS",
         "query names ['username', 'password', 'clientversion', 'looterversion', 'os', 'osversion', "
         "'realmlist', 'locale'] are not ['username', 'password', 'clientversion', 'looterversion', "
         "'os', 'osversion', 'realmlist', 'portal', 'locale'] (then ignorecharacterdata)"),
        ("/upload.php?password=P&username=Alice&clientversion=1.9.01&looterversion=5&os=windows"
         "&osversion=6.1&realmlist=&portal=&locale=enUS", None),
        ("/upload.php?username=Alice&password=P&clientversion=1.9.01&looterversion=5&os=linux"
         "&osversion=6.1&realmlist=&portal=&locale=enUS", "os is 'linux', not 'windows'"),
        ("/upload.php?username=Alice&password=P&clientversion=1.9.01&looterversion=v5&os=windows"
         "&osversion=6.1&realmlist=&portal=&locale=enUS", "looterversion 'v5' is not a number"),
        ("/upload.php?username=Alice&password=P&clientversion=1.9.01&looterversion=5&os=windows"
         "&osversion=6.1&realmlist=&portal=&locale=enUS&ignorecharacterdata=1",
         "ignorecharacterdata is '1', not 'true'"),
    ])
    def test_the_query_of_the_upload_protocol(self, service, target, reason):
        target = target.replace("password=P", "password=" + md5("secret"))
        request = upload_request(service.port, target, {"A.gz": client_gzip(b"a")})
        pairs = answer_pairs(split_response(exchange(service.port, request))[2])
        if reason is None:  # names out of order
            assert pairs["uploadMore"].startswith("Invalid upload: query names ['password', 'username'")
        else:
            assert pairs["uploadMore"] == "Invalid upload: " + reason

    def test_the_query_may_end_with_ignorecharacterdata(self, service):
        target = upload_target("Alice", md5("secret"), "&ignorecharacterdata=true")
        request = upload_request(service.port, target, {"A.gz": client_gzip(b"a")})
        assert answer_pairs(split_response(exchange(service.port, request))[2])["uploadResult"] == "0"

    def test_body_that_is_not_multipart(self, service):
        body = b"x=1"
        request = (
            f"POST {upload_target('Alice', md5('secret'))} HTTP/1.1\r\nHost: h\r\n"
            f"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: {len(body)}\r\n\r\n"
        ).encode() + body
        pairs = answer_pairs(split_response(exchange(service.port, request))[2])
        assert pairs["uploadMore"] == (
            "Invalid upload: Content-Type is 'application/x-www-form-urlencoded', not multipart/form-data")

    def test_wrong_password_stores_nothing(self, service):
        request = upload_request(service.port, upload_target("Alice", md5("wrong")), self.files())
        _, _, body = split_response(exchange(service.port, request))
        assert body == b"uploadResult\n1\nuploadCount\n0\nuploadMore\nInvalid+user+name+or+password.\n"
        assert os.listdir(service.uploads_dir) == []
        assert service.wait_for_requests(1)[0].raw == request


class TestFiles:
    def test_serves_what_publish_builds(self, service, tmp_path):
        source = tmp_path / "release"
        (source / "addon" / "Locales").mkdir(parents=True)
        (source / "DrovaneClient.exe").write_bytes(b"MZ new client")
        (source / "addon" / "Drovane_Looter.lua").write_bytes(b"-- looter\n")
        (source / "addon" / "Locales" / "frFR.lua").write_bytes(b"-- fr\n")
        service.publish({
            "source": "release",
            "client": "DrovaneClient.exe",
            "entries": [{"folder": "addon", "target": "%WoW%\\Interface\\AddOns\\Drovane_Looter\\"}],
        }, str(tmp_path), sequence=5)

        status, headers, body = get(service, "/files/updates.dat")
        assert (status, headers["Content-Type"]) == ("HTTP/1.1 200 OK", "application/octet-stream")
        # Signed with the repository's test key unless configured otherwise.
        update_list = verify_update_list(body, load_public_key(TEST_PUBLIC_KEY))
        assert update_list.signature.sequence == 5
        assert update_list.base_url == service.url + "files/"
        assert [e.server_path for e in update_list.entries] == ["addon/Drovane_Looter.lua", "addon/Locales/frFR.lua"]
        # Every download is the base URL directly followed by the path in the list.
        downloads = [(update_list.client_path, update_list.client_md5)]
        downloads += [(e.server_path, e.md5) for e in update_list.entries]
        for server_path, digest in downloads:
            url = update_list.base_url + server_path
            target = url[len(service.url) - 1:]
            status, _, content = get(service, target)
            assert (status, md5_hex(content)) == ("HTTP/1.1 200 OK", digest)

    def test_paths_with_backslashes_and_encoding(self, service):
        files = os.path.join(service.config.files_dir, "x")
        os.makedirs(files)
        with open(os.path.join(files, "y z.dll"), "wb") as stream:
            stream.write(b"dll")
        for target in ("/files/x\\y%20z.dll", "/files/x/y+z.dll".replace("+", "%20")):
            assert get(service, target)[2] == b"dll"

    @pytest.mark.parametrize("target", ["/files/missing.dat", "/files/../data/requests/000001.raw",
                                        "/files/%2E%2E/secret", "/files/", "/index.html"])
    def test_not_found(self, service, target):
        status, _, body = get(service, target)
        assert (status, body) == ("HTTP/1.1 404 Not Found", b"Not Found\n")

    def test_path_answer_for_a_number_of_times(self, service):
        with open(os.path.join(service.config.files_dir, "updates.dat"), "wb") as stream:
            stream.write(b"KSUL")
        service.set_path_answer("/files/updates.dat", {"status": 503, "times": 2})
        statuses = [get(service, "/files/updates.dat")[0]
                    for _ in range(3)]
        assert statuses == ["HTTP/1.1 503 Service Unavailable"] * 2 + ["HTTP/1.1 200 OK"]


class TestProtocolErrors:
    def test_wrong_method(self, service):
        request = b"POST /auth.php HTTP/1.1\r\nHost: h\r\nContent-Length: 0\r\n\r\n"
        status, _, body = split_response(exchange(service.port, request))
        assert (status, body) == ("HTTP/1.1 405 Method Not Allowed", b"/auth.php takes GET only\n")

    def test_post_without_length(self, service):
        status, _, _ = split_response(exchange(service.port, b"POST /upload.php HTTP/1.1\r\nHost: h\r\n\r\n"))
        assert status == "HTTP/1.1 411 Length Required"
        (record,) = service.wait_for_requests(1)
        assert (record.complete, record.answer_status) == (False, 411)

    def test_bad_request_line(self, service):
        status, _, body = split_response(exchange(service.port, b"HELLO\r\n\r\n"))
        assert (status, body) == ("HTTP/1.1 400 Bad Request", b"bad request line 'HELLO'\n")


class TestMisbehaviour:
    def test_stall_before_the_answer_then_answer(self, service):
        service.set_account("Slow", auth={"stall": {"phase": "answer", "seconds": 0.3}})
        raw = exchange(service.port, get_request(service.port, auth_target("Slow", "x")))
        assert split_response(raw)[2] == b"authResult\n0\nauthMore\n\n"

    def test_stall_holds_the_answer_until_the_service_stops(self, service):
        service.set_account("Slow", upload={"stall": {"phase": "answer", "seconds": 300}})
        request = upload_request(service.port, upload_target("Slow", "x"), {"A.gz": client_gzip(b"a")})
        with socket.create_connection(("127.0.0.1", service.port), timeout=WAIT) as sock:
            sock.sendall(request)
            # The request is recorded and stored before the stall.
            (record,) = service.wait_for_requests(1)
            assert record.complete and record.raw == request
            assert os.path.exists(os.path.join(service.uploads_dir, "000001", "files", "A"))
            sock.settimeout(0.5)
            with pytest.raises(socket.timeout):
                sock.recv(1)
            service.stop()
            sock.settimeout(WAIT)
            assert sock.recv(1) == b""

    def test_partial_answer_then_stall(self, service):
        service.set_account("Half", auth={"stall": {"phase": "partial", "seconds": 300}})
        with socket.create_connection(("127.0.0.1", service.port), timeout=WAIT) as sock:
            sock.sendall(get_request(service.port, auth_target("Half", "x")))
            expected_head = (b"HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: 23\r\n"
                             b"Connection: close\r\n\r\n")
            expected = expected_head + b"authResult\n"  # 11 of the 23 body bytes
            received = b""
            while len(received) < len(expected):
                received += sock.recv(len(expected) - len(received))
            assert received == expected
            sock.settimeout(0.5)
            with pytest.raises(socket.timeout):
                sock.recv(1)

    def test_drop_before_answering(self, service):
        service.set_account("Gone", auth={"drop": "answer"})
        assert exchange(service.port, get_request(service.port, auth_target("Gone", "x"))) == b""
        assert service.wait_for_requests(1)[0].complete

    def test_reset_before_answering(self, service):
        service.set_account("Gone", auth={"drop": {"phase": "answer", "reset": True}})
        with pytest.raises(ConnectionResetError):
            exchange(service.port, get_request(service.port, auth_target("Gone", "x")))

    def test_drop_after_half_the_answer(self, service):
        service.set_account("Half", upload={"drop": "partial", "more": "0123456789"})
        request = upload_request(service.port, upload_target("Half", "x"), {"A.gz": client_gzip(b"a")})
        _, headers, body = split_response(exchange(service.port, request))
        full = b"uploadResult\n0\nuploadCount\n1\nuploadMore\n0123456789\n"
        assert (headers["Content-Length"], body) == (str(len(full)), full[: len(full) // 2])

    def test_answers_as_real_servers_and_proxies_send_them(self, service):
        raw = "HTTP/1.1 302 Found\r\nLocation: http://portal.example/\r\n\r\n\xe9"
        service.set_account("Raw", auth={"raw": raw})
        assert exchange(service.port, get_request(service.port, auth_target("Raw", "x"))) == raw.encode("latin-1")
        assert service.wait_for_requests(1)[0].complete

        service.set_account("Open", auth={"framing": "close", "more": "hi"})
        _, headers, body = get(service, auth_target("Open", "x"))
        assert "Content-Length" not in headers and body == b"authResult\n0\nauthMore\nhi\n"

        service.set_account("Slow", auth={"trickle": 0.2, "raw": "HTTP/1.1 200 OK\r\n\r\nabc"})
        with socket.create_connection(("127.0.0.1", service.port), timeout=WAIT) as sock:
            sock.sendall(get_request(service.port, auth_target("Slow", "x")))
            received = b""
            while not received.endswith(b"\r\n\r\na"):
                received += sock.recv(100)
            started = time.monotonic()
            assert received == b"HTTP/1.1 200 OK\r\n\r\na"
            assert sock.recv(100) == b"b"
            assert sock.recv(100) == b"c"
            assert time.monotonic() - started >= 0.3

        service.set_account("Endless", auth={"endless": True})
        with socket.create_connection(("127.0.0.1", service.port), timeout=WAIT) as sock:
            sock.sendall(get_request(service.port, auth_target("Endless", "x")))
            received = b""
            while len(received) < 3 << 20:
                received += sock.recv(1 << 20)
            head, _, _ = received.partition(b"\r\n\r\n")
            assert head.startswith(b"HTTP/1.1 200 OK") and b"Content-Length" not in head

    def test_drop_while_the_upload_is_sent(self, service):
        service.set_account("Gone", upload={"drop": "request"})
        request = upload_request(service.port, upload_target("Gone", "x"), {"A.gz": client_gzip(b"a" * 100000)})
        try:
            assert exchange(service.port, request) == b""
        except (ConnectionResetError, BrokenPipeError):
            pass  # unread bytes on our side turn the close into a reset
        (record,) = service.wait_for_requests(1)
        assert record.complete is False
        assert record.raw.startswith(request[: request.index(b"\r\n\r\n") + 4])
        assert os.listdir(service.uploads_dir) == []

    def test_stall_while_the_upload_is_sent_blocks_the_sender(self, tmp_path):
        # A small receive window and a service that stops reading: the client cannot finish sending.
        config = {"receiveBuffer": 4096, "anyAccount": {"upload": {"stall": {"phase": "request", "seconds": 300}}}}
        with DevService(str(tmp_path / "data"), config=config) as svc:
            request = upload_request(svc.port, upload_target("Any", "x"), {"A.gz": os.urandom(16 * 1024 * 1024)})
            with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as sock:
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 4096)
                sock.settimeout(WAIT)
                sock.connect(("127.0.0.1", svc.port))
                sock.settimeout(1.0)
                with pytest.raises(socket.timeout):
                    sock.sendall(request)
                (record,) = svc.wait_for_requests(1)
                assert record.complete is False and record.endpoint == "upload"


class TestRecords:
    def test_numbering_goes_on_in_the_same_folder(self, tmp_path):
        data = str(tmp_path / "data")
        with DevService(data) as first:
            exchange(first.port, get_request(first.port, "/index.html"))
        with DevService(data) as second:
            exchange(second.port, get_request(second.port, "/auth.php?username=a&password=b"))
            (record,) = second.wait_for_requests(1)
        assert record.seq == 2
        assert sorted(os.listdir(os.path.join(data, "requests"))) == [
            "000001.json", "000001.raw", "000002.json", "000002.raw"]

    def test_wait_is_bounded(self, service):
        with pytest.raises(TimeoutError) as caught:
            service.wait_for_requests(1, timeout=0.2, endpoint="upload")
        assert "1 request(s) expected within 0.2 s, saw []" in str(caught.value)

    def test_connection_without_bytes_is_not_recorded(self, service):
        socket.create_connection(("127.0.0.1", service.port), timeout=WAIT).close()
        exchange(service.port, get_request(service.port, "/index.html"))
        assert [r.path for r in service.wait_for_requests(1)] == ["/index.html"]


class TestConfiguration:
    @pytest.mark.parametrize("data, text", [
        ({"acounts": {}}, "unknown keys ['acounts']"),
        ({"accounts": {"a": {"auth": {"reslt": 0}}}}, "accounts.a.auth: unknown keys ['reslt']"),
        ({"accounts": {"a": {"auth": {"stall": {"phase": "answer", "seconds": 601}}}}}, "stall.seconds: 0 to 600"),
        ({"accounts": {"a": {"auth": {"drop": "later"}}}}, "drop.phase: one of ['request', 'answer', 'partial']"),
        ({"accounts": {"a": {"auth": {"status": 99}}}}, "status: expected an HTTP status code"),
        ({"accounts": {"a": {"auth": {"times": 1}}}}, "unknown keys ['times']"),
        ({"accounts": {"a": {"password": "x", "passwordMd5": md5("x")}}}, "not both"),
        ({"paths": {"files/updates.dat": {}}}, "must begin with /"),
        ({"defaults": {"auth": {"raw": "\u0100"}}}, "raw: expected text of characters U+0000 to U+00FF"),
        ({"defaults": {"auth": {"framing": "chunked"}}}, "framing: one of ['length', 'close']"),
        ({"defaults": {"upload": {"trickle": 0}}}, "trickle: seconds above 0"),
        ({"sequence": -1}, "sequence: expected a number from 0"),
        ({"signingKey": ""}, "signingKey: expected a path"),
    ])
    def test_mistakes_fail_at_load(self, data, text):
        with pytest.raises(ConfigError) as caught:
            config_from_dict(data)
        assert text in str(caught.value)

    def test_password_given_as_digest(self, tmp_path):
        config = {"anyAccount": None, "accounts": {"Dave": {"passwordMd5": md5("pw").upper()}}}
        with DevService(str(tmp_path / "data"), config=config) as svc:
            ok = exchange(svc.port, get_request(svc.port, auth_target("Dave", md5("pw"))))
            unknown = exchange(svc.port, get_request(svc.port, auth_target("Eve", md5("pw"))))
        assert split_response(ok)[2] == b"authResult\n0\nauthMore\n\n"
        assert answer_pairs(split_response(unknown)[2])["authResult"] == "1"


class TestCommandLine:
    def test_json_file_and_options(self, tmp_path):
        (tmp_path / "files").mkdir()
        (tmp_path / "files" / "updates.dat").write_bytes(b"KSUL list")
        (tmp_path / "service.json").write_text(json.dumps({
            "data": "data", "files": "files",
            "accounts": {"alice": {"auth": {"result": 5, "more": "Come back later"}}},
        }))
        port_file = tmp_path / "port.txt"
        process = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "devservice.py"), "--config", str(tmp_path / "service.json"),
             "--port", "0", "--port-file", str(port_file), "--upload-result", "7"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            deadline = time.monotonic() + 10
            while not port_file.exists():
                assert process.poll() is None, process.stderr.read()
                assert time.monotonic() < deadline, "no port file within 10 s"
                time.sleep(0.05)
            port = int(port_file.read_text())
            assert split_response(exchange(port, get_request(port, auth_target("alice", "x"))))[2] == (
                b"authResult\n5\nauthMore\nCome+back+later\n")
            assert split_response(exchange(port, get_request(port, "/files/updates.dat")))[2] == b"KSUL list"
            upload = exchange(port, upload_request(port, upload_target("bob", "x"), {"A.gz": client_gzip(b"a")}))
            assert split_response(upload)[2] == b"uploadResult\n7\nuploadCount\n1\nuploadMore\n\n"
            assert sorted(os.listdir(tmp_path / "data" / "requests")) == [
                "000001.json", "000001.raw", "000002.json", "000002.raw", "000003.json", "000003.raw"]
        finally:
            process.send_signal(signal.SIGTERM)
            out, _ = process.communicate(timeout=10)
        assert process.returncode == 0
        assert out.decode() == f"devservice: listening on http://127.0.0.1:{port}/\ndevservice: stopped\n"

    def test_publish_at_start_uses_the_chosen_port(self, tmp_path):
        (tmp_path / "release").mkdir()
        (tmp_path / "release" / "Drovane_Looter.lua").write_bytes(b"-- looter\n")
        (tmp_path / "publish.json").write_text(json.dumps({
            "source": "release", "clientMd5": "0" * 32, "clientPath": "DrovaneClient.exe",
            "entries": [{"file": "Drovane_Looter.lua", "target": "%WoW%\\Interface\\AddOns\\Drovane_Looter\\"}],
        }))
        port_file = tmp_path / "port.txt"
        process = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "devservice.py"), "--port", "0", "--port-file", str(port_file),
             "--data", str(tmp_path / "data"), "--files", str(tmp_path / "files"),
             "--publish", str(tmp_path / "publish.json"), "--sequence", "77"],
            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        try:
            deadline = time.monotonic() + 10
            while not port_file.exists():
                assert process.poll() is None, process.stderr.read()
                assert time.monotonic() < deadline, "no port file within 10 s"
                time.sleep(0.05)
            port = int(port_file.read_text())
            update_list = read_update_list(split_response(exchange(port, get_request(port, "/files/updates.dat")))[2])
            assert update_list.base_url == f"http://127.0.0.1:{port}/files/"
            assert update_list.signature.sequence == 77
            assert [(e.server_path, e.target) for e in update_list.entries] == [
                ("Drovane_Looter.lua", "%WoW%\\Interface\\AddOns\\Drovane_Looter\\")]
            content = split_response(exchange(port, get_request(port, "/files/Drovane_Looter.lua")))[2]
            assert content == b"-- looter\n"
        finally:
            process.send_signal(signal.SIGTERM)
            process.communicate(timeout=10)
        assert process.returncode == 0

    def test_missing_data_folder(self):
        result = subprocess.run([sys.executable, os.path.join(HERE, "devservice.py"), "--port", "0"],
                                capture_output=True, timeout=30)
        assert result.returncode == 2
        assert b"--data (or data in the configuration) is required" in result.stderr


class TestCodecs:
    def test_url_encoding_as_the_client(self):
        assert url_encode("a b&c.d") == "a+b%26c.d"
        assert url_encode(b"\xe9-_.~") == "%E9-_.%7E"
        assert url_decode("%41+%zz%4") == b"A %zz%4"
        assert url_decode("%") == b"%"
        assert url_decode("%4g") == b"%4g"
        assert parse_query("a=1&b&&c=x%3Dy&a=2") == [("a", "1"), ("b", ""), ("c", "x=y"), ("a", "2")]

    def test_multipart_with_a_field_and_the_closing_boundary(self):
        body = (b"--B\r\nContent-Disposition: form-data; name=\"file0\"; filename=\"a;b.gz\"\r\n"
                b"Content-Type: application/binary\r\n\r\n\r\n--Bx\r\n--B\r\n"
                b"Content-Disposition: form-data; name=\"x\"\r\n\r\n1\r\n--B--")
        first, second = parse_multipart(body, "B")
        assert (first.name, first.filename, first.content) == ("file0", "a;b.gz", b"\r\n--Bx")
        assert (second.name, second.filename, second.content) == ("x", None, b"1")

    @pytest.mark.parametrize("body, text", [
        (b"--C\r\n", "does not begin with the boundary"),
        (b"--B--junk", "4 bytes after the closing boundary"),
        (b"--B\r\nContent-Disposition: form-data; name=\"a\"\r\n\r\nno end", "no boundary after its content"),
        (b"--B\r\nNoColon\r\n\r\nx\r\n--B--", "has no colon"),
        (b"--BX", "no line break after the boundary"),
    ])
    def test_multipart_refusals(self, body, text):
        with pytest.raises(MultipartError) as caught:
            parse_multipart(body, "B")
        assert text in str(caught.value)

    def test_gzip_of_the_stdlib_is_taken_too(self, service):
        request = upload_request(service.port, upload_target("Alice", md5("secret")), {"A.gz": gzip.compress(b"abc")})
        assert answer_pairs(split_response(exchange(service.port, request))[2])["uploadResult"] == "0"
