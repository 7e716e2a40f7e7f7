"""Configuration of the development service: accounts, their answers and the service's limits.

Loaded from a JSON object (README.md describes every key) and checked completely at load time,
so a typing mistake in a test's configuration fails at once instead of answering wrongly.
"""

import copy
import hashlib
import json
import os
from typing import Dict, Optional

PHASES = ("request", "answer", "partial")
# The repository's test key: lists this service publishes verify with the key of test and
# developer builds of the client, never with a release's.
TEST_SIGNING_KEY = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                 os.pardir, os.pardir, "keys", "test-key.private.pem"))
SEQUENCE_MAX = 2**64 - 1
# No wait of the service may outlast this, whatever a configuration asks for.
STALL_LIMIT_SECONDS = 600.0


class ConfigError(ValueError):
    pass


_ANSWER_KEYS = {"result", "more", "count", "status", "body", "stall", "drop", "times", "raw",
                "framing", "endless", "trickle"}
FRAMINGS = ("length", "close")


def check_answer(spec, where: str, allow_times: bool = False) -> dict:
    """A validated copy of one answer: what the service says and how it behaves on the wire.

    result, more, count  the result lines (result and count may be any text, to answer oddly)
    status               HTTP status code (200)
    body                 replaces the whole answer body, exactly as given
    stall                {"phase": "request"|"answer"|"partial", "seconds": s}: wait there
    drop                 "request"|"answer"|"partial" or {"phase": ..., "reset": bool}: end the
                         connection there (reset: with an RST instead of a FIN)
    times                paths only: the answer serves this many requests, then the normal one
    raw                  the whole answer, head and body, exactly as given (each character one
                         byte: U+0000 to U+00FF), instead of the answer the service builds
    framing              "length" (Content-Length, the default) or "close" (no Content-Length:
                         the end of the connection ends the body, and a proxy in front chunks it)
    endless              after the head (without Content-Length), body bytes without end
    trickle              the head at once, then the body one byte every so many seconds
    """
    if spec is None:
        return {}
    if not isinstance(spec, dict):
        raise ConfigError(f"{where}: expected an object, got {spec!r}")
    unknown = set(spec) - _ANSWER_KEYS
    if unknown or ("times" in spec and not allow_times):
        names = sorted(unknown | ({"times"} if "times" in spec and not allow_times else set()))
        raise ConfigError(f"{where}: unknown keys {names}")
    out = {}
    for key in ("result", "count"):
        if key in spec:
            value = spec[key]
            if isinstance(value, bool) or not isinstance(value, (int, str)):
                raise ConfigError(f"{where}.{key}: expected a number or text, got {value!r}")
            out[key] = value
    for key in ("more", "body"):
        if key in spec:
            if not isinstance(spec[key], str):
                raise ConfigError(f"{where}.{key}: expected text")
            out[key] = spec[key]
    if "status" in spec:
        status = spec["status"]
        if isinstance(status, bool) or not isinstance(status, int) or not 100 <= status <= 599:
            raise ConfigError(f"{where}.status: expected an HTTP status code, got {status!r}")
        out["status"] = status
    if "stall" in spec:
        stall = spec["stall"]
        if not isinstance(stall, dict) or set(stall) != {"phase", "seconds"}:
            raise ConfigError(f'{where}.stall: expected {{"phase": ..., "seconds": ...}}, got {stall!r}')
        if stall["phase"] not in PHASES:
            raise ConfigError(f"{where}.stall.phase: one of {list(PHASES)}, got {stall['phase']!r}")
        seconds = stall["seconds"]
        if (isinstance(seconds, bool) or not isinstance(seconds, (int, float))
                or not 0 <= seconds <= STALL_LIMIT_SECONDS):
            raise ConfigError(f"{where}.stall.seconds: 0 to {STALL_LIMIT_SECONDS:g}, got {seconds!r}")
        out["stall"] = {"phase": stall["phase"], "seconds": float(seconds)}
    if "drop" in spec:
        drop = spec["drop"]
        if isinstance(drop, str):
            drop = {"phase": drop}
        if not isinstance(drop, dict) or not set(drop) <= {"phase", "reset"} or "phase" not in drop:
            raise ConfigError(f'{where}.drop: expected a phase or {{"phase": ..., "reset": ...}}, got {drop!r}')
        if drop["phase"] not in PHASES:
            raise ConfigError(f"{where}.drop.phase: one of {list(PHASES)}, got {drop['phase']!r}")
        if not isinstance(drop.get("reset", False), bool):
            raise ConfigError(f"{where}.drop.reset: expected true or false")
        out["drop"] = {"phase": drop["phase"], "reset": drop.get("reset", False)}
    if "raw" in spec:
        raw = spec["raw"]
        if not isinstance(raw, str) or any(ord(c) > 0xFF for c in raw):
            raise ConfigError(f"{where}.raw: expected text of characters U+0000 to U+00FF")
        out["raw"] = raw
    if "framing" in spec:
        if spec["framing"] not in FRAMINGS:
            raise ConfigError(f"{where}.framing: one of {list(FRAMINGS)}, got {spec['framing']!r}")
        out["framing"] = spec["framing"]
    if "endless" in spec:
        if not isinstance(spec["endless"], bool):
            raise ConfigError(f"{where}.endless: expected true or false")
        out["endless"] = spec["endless"]
    if "trickle" in spec:
        seconds = spec["trickle"]
        if (isinstance(seconds, bool) or not isinstance(seconds, (int, float))
                or not 0 < seconds <= STALL_LIMIT_SECONDS):
            raise ConfigError(f"{where}.trickle: seconds above 0, at most {STALL_LIMIT_SECONDS:g}")
        out["trickle"] = float(seconds)
    if "times" in spec:
        times = spec["times"]
        if isinstance(times, bool) or not isinstance(times, int) or times < 1:
            raise ConfigError(f"{where}.times: expected a count of 1 or more")
        out["times"] = times
    return out


_ACCOUNT_KEYS = {"password", "passwordMd5", "auth", "upload"}


def check_account(entry, where: str) -> dict:
    """{"passwordMd5": hex or None, "auth": answer, "upload": answer}.

    A password, given plain or as the lowercase MD5 hex the client sends, is checked; without
    one any password is taken.
    """
    if entry is None:
        entry = {}
    if not isinstance(entry, dict):
        raise ConfigError(f"{where}: expected an object")
    unknown = set(entry) - _ACCOUNT_KEYS
    if unknown:
        raise ConfigError(f"{where}: unknown keys {sorted(unknown)}")
    if "password" in entry and "passwordMd5" in entry:
        raise ConfigError(f"{where}: give password or passwordMd5, not both")
    password_md5 = None
    if "password" in entry:
        if not isinstance(entry["password"], str):
            raise ConfigError(f"{where}.password: expected text")
        password_md5 = hashlib.md5(entry["password"].encode("utf-8")).hexdigest()
    if "passwordMd5" in entry:
        value = entry["passwordMd5"]
        if not isinstance(value, str) or len(value) != 32 or any(c not in "0123456789abcdefABCDEF" for c in value):
            raise ConfigError(f"{where}.passwordMd5: expected 32 hexadecimal characters")
        password_md5 = value.lower()
    return {
        "passwordMd5": password_md5,
        "auth": check_answer(entry.get("auth"), where + ".auth"),
        "upload": check_answer(entry.get("upload"), where + ".upload"),
    }


class ServiceConfig:
    """Everything the service answers with; safe to change while it runs (the service copies
    what it needs under its own lock)."""

    def __init__(self):
        self.port = 0
        self.port_file: Optional[str] = None
        self.data_dir: Optional[str] = None
        self.files_dir: Optional[str] = None
        self.publish_manifest: Optional[str] = None
        self.signing_key = TEST_SIGNING_KEY
        # None: the time of each publication.
        self.sequence: Optional[int] = None
        # User name (lower case) -> (name as configured, account).
        self.accounts: Dict[str, tuple] = {}
        # Used for user names not listed; None: such names are refused with badLogin.
        self.any_account: Optional[dict] = check_account({}, "anyAccount")
        self.defaults = {"auth": {}, "upload": {}}
        self.bad_login = {"result": 1, "more": "Invalid user name or password."}
        self.paths: Dict[str, dict] = {}
        self.read_timeout = 30.0
        self.max_body = 512 * 1024 * 1024
        self.max_unpacked = 1024 * 1024 * 1024
        self.receive_buffer = 0

    def set_account(self, name: str, entry) -> None:
        if not isinstance(name, str) or not name:
            raise ConfigError("account names must be non-empty text")
        self.accounts[name.lower()] = (name, check_account(entry, f"accounts.{name}"))

    def find_account(self, name: str) -> Optional[dict]:
        found = self.accounts.get(name.lower())
        if found is not None:
            return found[1]
        return self.any_account

    def answer_for(self, account: dict, endpoint: str) -> dict:
        """The account's answer for "auth" or "upload", completed from the defaults."""
        merged = dict(self.defaults[endpoint])
        merged.update(account[endpoint])
        return merged

    def copy(self) -> "ServiceConfig":
        return copy.deepcopy(self)


_TOP_KEYS = {
    "port", "portFile", "data", "files", "publish", "signingKey", "sequence", "accounts", "anyAccount",
    "defaults", "badLogin", "paths", "readTimeout", "maxBody", "maxUnpacked", "receiveBuffer",
}


def _number(data: dict, key: str, minimum: float, maximum: float, integer: bool) -> float:
    value = data[key]
    kinds = (int,) if integer else (int, float)
    if isinstance(value, bool) or not isinstance(value, kinds) or not minimum <= value <= maximum:
        raise ConfigError(f"{key}: expected a number from {minimum:g} to {maximum:g}, got {value!r}")
    return value


def config_from_dict(data, base_dir: str = ".", config: Optional[ServiceConfig] = None) -> ServiceConfig:
    """Applies a JSON object onto a configuration (a fresh one unless given). Paths are taken
    relative to base_dir, the folder of the configuration file."""
    config = config or ServiceConfig()
    if not isinstance(data, dict):
        raise ConfigError("configuration: expected a JSON object")
    unknown = set(data) - _TOP_KEYS
    if unknown:
        raise ConfigError(f"configuration: unknown keys {sorted(unknown)}")
    if "port" in data:
        config.port = int(_number(data, "port", 0, 65535, True))
    for key, attribute in (("portFile", "port_file"), ("data", "data_dir"), ("files", "files_dir"),
                           ("publish", "publish_manifest"), ("signingKey", "signing_key")):
        if key in data:
            if not isinstance(data[key], str) or not data[key]:
                raise ConfigError(f"{key}: expected a path")
            setattr(config, attribute, os.path.join(base_dir, data[key]))
    if "sequence" in data:
        config.sequence = int(_number(data, "sequence", 0, SEQUENCE_MAX, True))
    accounts = data.get("accounts", {})
    if not isinstance(accounts, dict):
        raise ConfigError("accounts: expected an object of user name -> account")
    for name, entry in accounts.items():
        config.set_account(name, entry)
    if "anyAccount" in data:
        entry = data["anyAccount"]
        config.any_account = None if entry is None else check_account(entry, "anyAccount")
    if "defaults" in data:
        defaults = data["defaults"]
        if not isinstance(defaults, dict) or not set(defaults) <= {"auth", "upload"}:
            raise ConfigError('defaults: expected {"auth": ..., "upload": ...}')
        for endpoint in ("auth", "upload"):
            if endpoint in defaults:
                config.defaults[endpoint] = check_answer(defaults[endpoint], "defaults." + endpoint)
    if "badLogin" in data:
        config.bad_login = check_answer(data["badLogin"], "badLogin")
    paths = data.get("paths", {})
    if not isinstance(paths, dict):
        raise ConfigError("paths: expected an object of request path -> answer")
    for path, spec in paths.items():
        if not isinstance(path, str) or not path.startswith("/"):
            raise ConfigError(f"paths: {path!r} must begin with /")
        config.paths[path] = check_answer(spec, f"paths.{path}", allow_times=True)
    if "readTimeout" in data:
        config.read_timeout = float(_number(data, "readTimeout", 0.1, STALL_LIMIT_SECONDS, False))
    if "maxBody" in data:
        config.max_body = int(_number(data, "maxBody", 0, 2**40, True))
    if "maxUnpacked" in data:
        config.max_unpacked = int(_number(data, "maxUnpacked", 0, 2**40, True))
    if "receiveBuffer" in data:
        config.receive_buffer = int(_number(data, "receiveBuffer", 0, 2**30, True))
    return config


def load_config(path: str, config: Optional[ServiceConfig] = None) -> ServiceConfig:
    try:
        with open(path, "rb") as stream:
            data = json.loads(stream.read().decode("utf-8"))
    except (OSError, ValueError) as error:
        raise ConfigError(f"cannot read configuration {path}: {error}") from None
    return config_from_dict(data, os.path.dirname(os.path.abspath(path)), config)
