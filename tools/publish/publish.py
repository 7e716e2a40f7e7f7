#!/usr/bin/python3
"""Builds the update list "updates.dat" from a folder of files, as the service team publishes it.

    publish.py build --key release.pem --source DIR --out DIR --base-url URL --client DrovaneClient.exe \\
                     --folder addon/Drovane_Looter='%WoW%\\Interface\\AddOns\\Drovane_Looter\\' ...
    publish.py build --key release.pem --manifest publish.json --out DIR [--base-url URL] [--sequence N]
    publish.py show  DIR/updates.dat
    publish.py check DIR/updates.dat --files DIR --public-key release.public.hex
    publish.py key --private release.pem --public-out release.public.hex

The output folder receives "updates.dat" and a copy of every listed file under its server path,
so a web server that serves the folder under the base URL serves the whole update. Every list is
signed (docs/update-signing.md). README.md in tools/devservice describes the manifest.
"""

import argparse
import json
import os
import re
import sys
import tempfile
import time
from dataclasses import dataclass
from typing import List, Optional, Sequence, Tuple

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from update_list import (  # noqa: E402
    NO_CLIENT_SHA256,
    KeyFileError,
    UpdateEntry,
    UpdateList,
    UpdateListError,
    describe,
    file_name_of,
    key_id,
    load_private_key,
    load_public_key,
    md5_hex,
    public_key_bytes,
    public_key_file_text,
    read_update_list,
    sha256,
    sign_update_list,
    verify_update_list,
    write_update_list,
)

LIST_NAME = "updates.dat"


class PublishError(Exception):
    """A manifest or folder that cannot be published; the text says why."""


@dataclass
class Source:
    """One line of the manifest: a file or a whole folder and the target folder template."""

    kind: str  # "file" or "folder"
    path: str  # relative to the source folder, with "/" separators
    target: str


@dataclass
class Manifest:
    source_dir: Optional[str] = None
    base_url: Optional[str] = None
    client: Optional[str] = None
    client_md5: Optional[str] = None
    client_path: Optional[str] = None
    client_sha256: Optional[str] = None
    sources: Tuple[Source, ...] = ()


@dataclass
class Plan:
    """What publishing writes: the list, the SHA-256 values its signature block carries, and the
    (server path, content) pairs to place beside it."""

    update_list: UpdateList
    client_sha256: bytes
    entry_sha256s: List[bytes]
    payload: List[Tuple[str, bytes]]


_MANIFEST_KEYS = {"source", "baseUrl", "client", "clientMd5", "clientPath", "clientSha256", "entries"}
_SHA256_HEX_RE = re.compile(r"[0-9a-f]{64}\Z")
# Where the client lets an update write: the add-ons folder of a game installation (Windows
# folder names match without regard to case, placeholders do not), or the client's data folder.
_TARGET_PREFIX_RE = re.compile(r"%WoW(-LIVE|-PTR|-BETA)?%\\(?i:Interface\\AddOns)\\|%AppPath%\\")
# Windows opens the device whatever extension follows; the Western code page's superscript
# digits count as digits there.
_DEVICE_NAME_RE = re.compile(r"(con|prn|aux|nul|conin\$|conout\$|(com|lpt)[0-9\u00b9\u00b2\u00b3]) *(\..*)?\Z",
                             re.IGNORECASE)
_FORBIDDEN_NAME_CHARACTERS = set('<>"|?*:') | {chr(code) for code in range(32)}


def load_manifest(path: str) -> Manifest:
    """Reads a JSON manifest; "source" is taken relative to the manifest's folder."""
    try:
        with open(path, "rb") as stream:
            data = json.loads(stream.read().decode("utf-8"))
    except (OSError, ValueError) as error:
        raise PublishError(f"cannot read manifest {path}: {error}") from None
    return manifest_from_dict(data, os.path.dirname(os.path.abspath(path)))


def manifest_from_dict(data: dict, base_dir: str = ".") -> Manifest:
    if not isinstance(data, dict):
        raise PublishError("manifest: expected a JSON object")
    unknown = set(data) - _MANIFEST_KEYS
    if unknown:
        raise PublishError(f"manifest: unknown keys {sorted(unknown)}")
    for key in _MANIFEST_KEYS - {"entries"}:
        if key in data and not isinstance(data[key], str):
            raise PublishError(f"manifest: {key} must be text")
    entries = data.get("entries", [])
    if not isinstance(entries, list):
        raise PublishError("manifest: entries must be a list")
    sources = []
    for index, item in enumerate(entries):
        if not isinstance(item, dict) or set(item) not in ({"file", "target"}, {"folder", "target"}):
            raise PublishError(
                f'manifest entry {index}: expected {{"file": ..., "target": ...}} or '
                f'{{"folder": ..., "target": ...}}, got {item!r}'
            )
        kind = "file" if "file" in item else "folder"
        if not isinstance(item[kind], str) or not isinstance(item["target"], str):
            raise PublishError(f"manifest entry {index}: {kind} and target must be text")
        sources.append(Source(kind, item[kind], item["target"]))
    source_dir = data.get("source")
    if source_dir is not None:
        source_dir = os.path.join(base_dir, source_dir)
    return Manifest(
        source_dir=source_dir,
        base_url=data.get("baseUrl"),
        client=data.get("client"),
        client_md5=data.get("clientMd5"),
        client_path=data.get("clientPath"),
        client_sha256=data.get("clientSha256"),
        sources=tuple(sources),
    )


def _relative_path(text: str, what: str) -> str:
    """A path inside the source folder in "/" form; anything that could leave it is refused."""
    parts = text.replace("\\", "/").split("/")
    if not text or text.startswith(("/", "\\")) or ":" in text:
        raise PublishError(f"{what}: {text!r} must be a relative path inside the source folder")
    parts = [part for part in parts if part not in ("", ".")]
    if not parts or ".." in parts:
        raise PublishError(f"{what}: {text!r} must be a relative path inside the source folder")
    return "/".join(parts)


def check_local_name(name: str, what: str) -> None:
    """One folder or file name on the client's side, as Windows would take it."""
    if name in ("", ".", ".."):
        raise PublishError(f"{what}: empty, \".\" or \"..\" path component")
    bad = sorted(set(name) & _FORBIDDEN_NAME_CHARACTERS)
    if bad:
        raise PublishError(f"{what}: {name!r} contains {''.join(bad)!r}")
    if name.endswith((".", " ")):
        raise PublishError(f"{what}: {name!r} ends with a dot or a space, which Windows drops")
    if _DEVICE_NAME_RE.match(name):
        raise PublishError(f"{what}: {name!r} is a Windows device name")


def check_target(target: str, what: str) -> None:
    """Refuses a target folder template the client would refuse: it must lie inside a game's
    add-ons folder or the client's data folder (docs/update-signing.md)."""
    if not target.endswith("\\"):
        # The client appends the file name directly to the folder.
        raise PublishError(f"{what}: target {target!r} must end with a backslash")
    prefix = _TARGET_PREFIX_RE.match(target)
    if prefix is None:
        raise PublishError(
            f"{what}: target {target!r} must begin with %WoW%\\Interface\\AddOns\\ (or an edition "
            f"placeholder %WoW-LIVE%, %WoW-PTR%, %WoW-BETA% in its place) or %AppPath%\\"
        )
    subfolders = target[prefix.end() : -1]
    if subfolders:
        # A slash separates folders on Windows too, so it could hide a ".." from the backslash split.
        for name in re.split(r"[\\/]", subfolders):
            check_local_name(name, f"{what}: target {target!r}")


def _read(source_dir: str, relative: str) -> bytes:
    path = os.path.join(source_dir, *relative.split("/"))
    try:
        with open(path, "rb") as stream:
            return stream.read()
    except OSError as error:
        raise PublishError(f"cannot read {path}: {error.strerror}") from None


def _folder_files(source_dir: str, relative: str) -> List[str]:
    """Every file below a folder, by relative path in byte order, so a list is reproducible."""
    root = os.path.join(source_dir, *relative.split("/"))
    if not os.path.isdir(root):
        raise PublishError(f"folder {root} does not exist")
    found = []
    for folder, subfolders, names in os.walk(root):
        subfolders.sort()
        for name in names:
            inner = os.path.relpath(os.path.join(folder, name), root).replace(os.sep, "/")
            found.append(inner)
    return sorted(found, key=lambda item: item.encode("utf-8"))


def plan(manifest: Manifest) -> Plan:
    if not manifest.source_dir:
        raise PublishError("no source folder given")
    if manifest.base_url is None:
        raise PublishError("no download base URL given")
    payload: List[Tuple[str, bytes]] = []
    if manifest.client is not None:
        client_path = _relative_path(manifest.client, "client")
        content = _read(manifest.source_dir, client_path)
        client_md5 = md5_hex(content)
        if manifest.client_md5 is not None and manifest.client_md5 != client_md5:
            raise PublishError(f"client {client_path}: digest {client_md5} differs from clientMd5")
        if manifest.client_path is not None:
            raise PublishError("give either client or clientPath, not both")
        if manifest.client_sha256 is not None:
            raise PublishError("clientSha256 goes with clientMd5 and clientPath; a client file gives its own")
        client_sha256 = sha256(content)
        payload.append((client_path, content))
    elif manifest.client_md5 is not None and manifest.client_path is not None:
        # A list for a client that is published elsewhere (tests give the digest of the
        # client they run, so no client download happens).
        client_md5, client_path = manifest.client_md5, manifest.client_path
        client_sha256 = NO_CLIENT_SHA256
        if manifest.client_sha256 is not None:
            if not _SHA256_HEX_RE.match(manifest.client_sha256):
                raise PublishError(
                    f"clientSha256: {manifest.client_sha256!r} is not 64 lowercase hexadecimal characters")
            client_sha256 = bytes.fromhex(manifest.client_sha256)
    else:
        raise PublishError("give the client file, or both clientMd5 and clientPath")

    entries, entry_sha256s = [], []
    for source in manifest.sources:
        check_target(source.target, f"{source.kind} {source.path}")
        relative = _relative_path(source.path, source.kind)
        if source.kind == "file":
            items = [(relative, source.target)]
        else:
            items = []
            for inner in _folder_files(manifest.source_dir, relative):
                subfolders = inner.split("/")[:-1]
                target = source.target + "".join(part + "\\" for part in subfolders)
                items.append((relative + "/" + inner, target))
        for server_path, target in items:
            check_target(target, f"{source.kind} {source.path}")
            check_local_name(file_name_of(server_path), f"{source.kind} {server_path}: local file name")
            content = _read(manifest.source_dir, server_path)
            entries.append(UpdateEntry(md5_hex(content), len(content), server_path, target))
            entry_sha256s.append(sha256(content))
            payload.append((server_path, content))
    update_list = UpdateList(client_md5, manifest.base_url, client_path, entries)
    try:
        write_update_list(update_list)  # surfaces what the format cannot carry before anything is written
    except UpdateListError as error:
        raise PublishError(str(error)) from None
    return Plan(update_list, client_sha256, entry_sha256s, payload)


def _write_atomically(path: str, data: bytes) -> None:
    """Readers (a running service) see the old file or the new one, never a part."""
    folder = os.path.dirname(path) or "."
    os.makedirs(folder, exist_ok=True)
    handle, temporary = tempfile.mkstemp(dir=folder, prefix=".publish-")
    try:
        with os.fdopen(handle, "wb") as stream:
            stream.write(data)
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.unlink(temporary)
        raise


def load_signing_key(path: str):
    try:
        return load_private_key(path)
    except KeyFileError as error:
        raise PublishError(str(error)) from None


def publish(manifest: Manifest, out_dir: str, private_key, sequence: Optional[int] = None,
            list_name: str = LIST_NAME) -> UpdateList:
    """Writes the list, signed with private_key, and the listed files into out_dir; returns the
    list as written. The sequence number defaults to the time of publication, so a later
    publication has a higher one."""
    planned = plan(manifest)
    if sequence is None:
        sequence = int(time.time())
    try:
        data = sign_update_list(write_update_list(planned.update_list), sequence, planned.client_sha256,
                                planned.entry_sha256s, private_key)
    except UpdateListError as error:
        raise PublishError(str(error)) from None
    for server_path, content in planned.payload:
        destination = os.path.join(out_dir, *server_path.split("/"))
        source = os.path.join(manifest.source_dir, *server_path.split("/"))
        if os.path.exists(destination) and os.path.samefile(source, destination):
            continue
        _write_atomically(destination, content)
    _write_atomically(os.path.join(out_dir, list_name), data)
    return read_update_list(data)


def check(update_list: UpdateList, files_dir: str) -> List[str]:
    """Problems found when the list's files (and the SHA-256 values of its signature block) are
    compared with a served folder; empty when none."""
    problems = []
    block = update_list.signature

    def compare(server_path: str, md5: str, size: Optional[int], what: str, signed: Optional[bytes]) -> None:
        try:
            relative = _relative_path(server_path, what)
        except PublishError as error:
            problems.append(str(error))
            return
        path = os.path.join(files_dir, *relative.split("/"))
        try:
            with open(path, "rb") as stream:
                content = stream.read()
        except OSError:
            problems.append(f"{what} {server_path}: missing ({path})")
            return
        if md5_hex(content) != md5:
            problems.append(f"{what} {server_path}: digest {md5_hex(content)} differs from the list's {md5}")
        if size is not None and len(content) != size:
            problems.append(f"{what} {server_path}: {len(content)} bytes, the list says {size}")
        if signed is not None and sha256(content) != signed:
            problems.append(f"{what} {server_path}: SHA-256 {sha256(content).hex()} differs from the "
                            f"signature block's {signed.hex()}")

    # A list for a client published elsewhere signs no client SHA-256.
    client_signed = block.client_sha256 if block and block.client_sha256 != NO_CLIENT_SHA256 else None
    compare(update_list.client_path, update_list.client_md5, None, "client", client_signed)
    for index, entry in enumerate(update_list.entries):
        compare(entry.server_path, entry.md5, entry.size, "entry", block.entry_sha256s[index] if block else None)
    return problems


def _pair(text: str) -> Tuple[str, str]:
    if "=" not in text:
        raise argparse.ArgumentTypeError(f"expected PATH=TARGET, got {text!r}")
    path, target = text.split("=", 1)
    return path, target


class _AppendSource(argparse.Action):
    """Keeps --file and --folder in one list in command-line order: the order of the list."""

    def __call__(self, parser, namespace, values, option_string=None):
        sources = list(getattr(namespace, "sources", None) or [])
        sources.append(Source(self.const, values[0], values[1]))
        namespace.sources = sources


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = argparse.ArgumentParser(description="Builds and checks the update list updates.dat.")
    commands = parser.add_subparsers(dest="command", required=True)
    build = commands.add_parser("build", help="write updates.dat and the listed files into a folder")
    build.add_argument("--manifest", help="JSON manifest (README.md in tools/devservice)")
    build.add_argument("--source", help="folder holding the files (overrides the manifest's)")
    build.add_argument("--out", required=True, help="folder to write updates.dat and the files into")
    build.add_argument("--base-url", help="download base URL written into the list")
    build.add_argument("--client", help="client executable, relative to the source folder")
    build.add_argument("--client-md5", help="client digest, with --client-path, when the client is not published")
    build.add_argument("--client-path", help="client path relative to the base URL, with --client-md5")
    build.add_argument("--file", dest="sources", action=_AppendSource, const="file", type=_pair,
                       metavar="PATH=TARGET", help="one file and its target folder template")
    build.add_argument("--folder", dest="sources", action=_AppendSource, const="folder", type=_pair,
                       metavar="PATH=TARGET", help="every file below a folder; subfolders extend the target")
    build.add_argument("--list-name", default=LIST_NAME, help="file name of the list (default updates.dat)")
    build.add_argument("--key", required=True, metavar="FILE", help="private key (PEM) that signs the list")
    build.add_argument("--sequence", type=int, metavar="N",
                       help="sequence number of the list (default: the time of publication in seconds)")
    show = commands.add_parser("show", help="print a list")
    show.add_argument("list")
    verify = commands.add_parser("check", help="read a list strictly; with --files compare the files")
    verify.add_argument("list")
    verify.add_argument("--files", help="folder that serves the base URL")
    verify.add_argument("--public-key", metavar="FILE", help="public key file the signature must verify with")
    key = commands.add_parser("key", help="write the public key file the client is built with")
    key.add_argument("--private", required=True, metavar="FILE", help="private key (PEM)")
    key.add_argument("--public-out", required=True, metavar="FILE", help="public key file to write")
    args = parser.parse_args(argv)

    try:
        if args.command == "key":
            public_key = public_key_bytes(load_private_key(args.private))
            comment = (f"Public key of {os.path.basename(args.private)}, written by publish.py key.\n"
                       "The client built with this file accepts only update lists signed by that key.")
            _write_atomically(args.public_out, public_key_file_text(public_key, comment).encode("ascii"))
            print(f"key id {key_id(public_key).hex()}")
            return 0
        if args.command == "build":
            manifest = load_manifest(args.manifest) if args.manifest else Manifest()
            if args.source is not None:
                manifest.source_dir = args.source
            if args.base_url is not None:
                manifest.base_url = args.base_url
            if args.client is not None:
                manifest.client = args.client
            if args.client_md5 is not None:
                manifest.client_md5 = args.client_md5
            if args.client_path is not None:
                manifest.client_path = args.client_path
            if args.sources:
                manifest.sources = tuple(manifest.sources) + tuple(args.sources)
            private_key = load_signing_key(args.key)
            update_list = publish(manifest, args.out, private_key, args.sequence, args.list_name)
            sys.stdout.write(describe(update_list))
            return 0
        with open(args.list, "rb") as stream:
            data = stream.read()
        if args.command == "check" and args.public_key:
            update_list = verify_update_list(data, load_public_key(args.public_key))
        else:
            update_list = read_update_list(data)
        if args.command == "show":
            sys.stdout.write(describe(update_list))
            return 0
        problems = check(update_list, args.files) if args.files else []
        for problem in problems:
            print(problem, file=sys.stderr)
        return 1 if problems else 0
    except (PublishError, UpdateListError, KeyFileError, OSError) as error:
        print(f"publish: {error}", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
