#!/usr/bin/python3
"""Builds the update list "updates.dat" from a folder of files, as the service team publishes it.

    publish.py build --source DIR --out DIR --base-url URL --client DrovaneClient.exe \\
                     --folder addon/Drovane_Looter='%WoW%\\Interface\\AddOns\\Drovane_Looter\\' ...
    publish.py build --manifest publish.json --out DIR [--base-url URL]
    publish.py show  DIR/updates.dat
    publish.py check DIR/updates.dat --files DIR

The output folder receives "updates.dat" and a copy of every listed file under its server path,
so a web server that serves the folder under the base URL serves the whole update.
README.md in tools/devservice describes the manifest.
"""

import argparse
import json
import os
import sys
import tempfile
from dataclasses import dataclass
from typing import List, Optional, Sequence, Tuple

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from update_list import (  # noqa: E402
    UpdateEntry,
    UpdateList,
    UpdateListError,
    describe,
    md5_hex,
    read_update_list,
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
    sources: Tuple[Source, ...] = ()


_MANIFEST_KEYS = {"source", "baseUrl", "client", "clientMd5", "clientPath", "entries"}


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


def plan(manifest: Manifest) -> Tuple[UpdateList, List[Tuple[str, bytes]]]:
    """The list and the (server path, content) pairs to place beside it."""
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
        payload.append((client_path, content))
    elif manifest.client_md5 is not None and manifest.client_path is not None:
        # A list for a client that is published elsewhere (tests give the digest of the
        # client they run, so no client download happens).
        client_md5, client_path = manifest.client_md5, manifest.client_path
    else:
        raise PublishError("give the client file, or both clientMd5 and clientPath")

    entries = []
    for source in manifest.sources:
        if not source.target.endswith("\\"):
            raise PublishError(f"{source.kind} {source.path}: target {source.target!r} must end with a backslash")
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
            content = _read(manifest.source_dir, server_path)
            entries.append(UpdateEntry(md5_hex(content), len(content), server_path, target))
            payload.append((server_path, content))
    update_list = UpdateList(client_md5, manifest.base_url, client_path, entries)
    try:
        write_update_list(update_list)  # surfaces what the format cannot carry before anything is written
    except UpdateListError as error:
        raise PublishError(str(error)) from None
    return update_list, payload


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


def publish(manifest: Manifest, out_dir: str, list_name: str = LIST_NAME) -> UpdateList:
    """Writes the list and the listed files into out_dir; returns the list."""
    update_list, payload = plan(manifest)
    for server_path, content in payload:
        destination = os.path.join(out_dir, *server_path.split("/"))
        source = os.path.join(manifest.source_dir, *server_path.split("/"))
        if os.path.exists(destination) and os.path.samefile(source, destination):
            continue
        _write_atomically(destination, content)
    _write_atomically(os.path.join(out_dir, list_name), write_update_list(update_list))
    return update_list


def check(update_list: UpdateList, files_dir: str) -> List[str]:
    """Problems found when the list's files are compared with a served folder; empty when none."""
    problems = []

    def compare(server_path: str, md5: str, size: Optional[int], what: str) -> None:
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

    compare(update_list.client_path, update_list.client_md5, None, "client")
    for entry in update_list.entries:
        compare(entry.server_path, entry.md5, entry.size, "entry")
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
    show = commands.add_parser("show", help="print a list")
    show.add_argument("list")
    verify = commands.add_parser("check", help="read a list strictly; with --files compare the files")
    verify.add_argument("list")
    verify.add_argument("--files", help="folder that serves the base URL")
    args = parser.parse_args(argv)

    try:
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
            update_list = publish(manifest, args.out, args.list_name)
            sys.stdout.write(describe(update_list))
            return 0
        with open(args.list, "rb") as stream:
            update_list = read_update_list(stream.read())
        if args.command == "show":
            sys.stdout.write(describe(update_list))
            return 0
        problems = check(update_list, args.files) if args.files else []
        for problem in problems:
            print(problem, file=sys.stderr)
        return 1 if problems else 0
    except (PublishError, UpdateListError, OSError) as error:
        print(f"publish: {error}", file=sys.stderr)
        return 2


if __name__ == "__main__":
    sys.exit(main())
