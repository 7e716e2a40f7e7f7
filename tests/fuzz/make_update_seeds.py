#!/usr/bin/python3
"""Writes update lists made by the publish tool into a fuzz corpus folder.

    make_update_seeds.py CORPUS_FOLDER

Each list is published from a small folder of files, with the target templates the service
uses: every installation, one installation in particular, and the client's data folder. One more
list carries targets the client refuses, which the publish tool would not write. Every list is
signed with the repository's test key (sequence numbers from 1000).
"""

import os
import sys
import tempfile

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(TOP, "tools", "publish"))

import publish  # noqa: E402
import update_list  # noqa: E402

TEST_KEY = os.path.join(TOP, "keys", "test-key.private.pem")

ADDON = "%WoW%\\Interface\\AddOns\\Drovane_Looter\\"
LAYOUTS = {
    "addon-every-game": [("file", "addon/core.lua", ADDON), ("file", "addon/core.toc", ADDON)],
    "edition-overrides": [
        ("file", "addon/core.lua", ADDON),
        ("file", "ptr/core.lua", "%WoW-PTR%\\Interface\\AddOns\\Drovane_Looter\\"),
        ("file", "beta/core.lua", "%WoW-BETA%\\Interface\\AddOns\\Drovane_Looter\\"),
        ("file", "live/core.lua", "%WoW-LIVE%\\Interface\\AddOns\\Drovane_Looter\\"),
    ],
    "outside-the-game": [
        ("file", "readme.txt", "%AppPath%\\"),
        ("file", "helper.dll", "%AppPath%\\bin\\"),
        ("folder", "addon", ADDON + "Libs\\"),
    ],
    "client-only": [],
}
REFUSED_TARGETS = [
    "%System%\\", "C:\\Windows\\", "\\\\host\\share\\", "C:x\\", ADDON + "..\\..\\..\\",
    "%AppPath%\\CON.txt\\", "%AppPath%\\a:b\\", "%AppPath%\\dot.\\", "Interface\\AddOns\\",
]
FILES = {
    "addon/core.lua": b"-- core\n",
    "addon/core.toc": b"## Interface: 70300\n",
    "addon/sub/more.lua": b"x = 1\n",
    "ptr/core.lua": b"-- ptr\n",
    "beta/core.lua": b"-- beta\n",
    "live/core.lua": b"-- live\n",
    "readme.txt": b"Drovane\n",
    "helper.dll": b"MZ",
    "DrovaneClient.exe": b"MZ client",
}


def main() -> int:
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        source = os.path.join(work, "source")
        for relative, content in FILES.items():
            path = os.path.join(source, relative)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as stream:
                stream.write(content)
        key = publish.load_signing_key(TEST_KEY)
        for index, (name, sources) in enumerate(LAYOUTS.items()):
            manifest = publish.Manifest(
                source_dir=source,
                base_url="http://127.0.0.1:8123/files/",
                client="DrovaneClient.exe",
                sources=tuple(publish.Source(*item) for item in sources),
            )
            published = os.path.join(work, name)
            publish.publish(manifest, published, key, sequence=1000 + index)
            with open(os.path.join(published, publish.LIST_NAME), "rb") as stream:
                data = stream.read()
            with open(os.path.join(out, name), "wb") as stream:
                stream.write(data)
        entries = [update_list.UpdateEntry(update_list.md5_hex(b"MZ"), 2, "helper.dll", target)
                   for target in REFUSED_TARGETS]
        data = update_list.write_update_list(update_list.UpdateList(
            update_list.md5_hex(FILES["DrovaneClient.exe"]), "http://127.0.0.1:8123/files/", "DrovaneClient.exe",
            entries))
        data = update_list.sign_update_list(data, 1000 + len(LAYOUTS), update_list.sha256(FILES["DrovaneClient.exe"]),
                                            [update_list.sha256(b"MZ")] * len(entries), key)
        with open(os.path.join(out, "refused-targets"), "wb") as stream:
            stream.write(data)
    print(f"make_update_seeds: {len(LAYOUTS) + 1} lists in {out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
