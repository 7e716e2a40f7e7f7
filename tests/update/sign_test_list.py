#!/usr/bin/python3
"""Signs an update list a test wrote byte by byte (one the publish tool refuses to make) with the
repository's test key, or with a key made up on the spot ("other").

    sign_test_list.py LIST FILES_DIR SEQUENCE test|other OUT

The SHA-256 of the client and of each entry is that of the file its server path names in
FILES_DIR (32 zero bytes when there is none). OUT appears whole or not at all.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.join(HERE, os.pardir, os.pardir)
sys.path.insert(0, os.path.join(TOP, "tools", "publish"))

from cryptography.hazmat.primitives.asymmetric import ec  # noqa: E402
from update_list import (  # noqa: E402
    NO_CLIENT_SHA256, load_private_key, read_update_list, sha256, sign_update_list)


def main() -> int:
    list_path, files_dir, sequence, key_name, out = sys.argv[1:6]
    with open(list_path, "rb") as stream:
        data = stream.read()
    update_list = read_update_list(data)

    def digest(server_path: str) -> bytes:
        path = os.path.join(files_dir, *server_path.replace("\\", "/").split("/"))
        if not os.path.isfile(path):
            return NO_CLIENT_SHA256
        with open(path, "rb") as stream:
            return sha256(stream.read())

    if key_name == "test":
        key = load_private_key(os.path.join(TOP, "keys", "test-key.private.pem"))
    else:
        key = ec.generate_private_key(ec.SECP256R1())
    signed = sign_update_list(data, int(sequence), digest(update_list.client_path),
                              [digest(entry.server_path) for entry in update_list.entries], key)
    with open(out + ".part", "wb") as stream:
        stream.write(signed)
    os.replace(out + ".part", out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
