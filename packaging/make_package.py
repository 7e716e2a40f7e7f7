#!/usr/bin/env python3
"""Makes the release files of Drovane Client from a built DrovaneClient.exe.

    make_package.py version HEADER
        prints the client's version text, read from the build's generated base/Version.h
    make_package.py build --header HEADER --exe EXE --icon ICO --out DIR [--makensis PATH]
                          [--test-key]
        writes DIR/DrovaneClient-<version>-setup.exe (NSIS) and
        DIR/DrovaneClient-<version>-portable.zip; a client built with the repository's test key
        for update lists is named DrovaneClient-<version>-test-key-..., so it is never taken
        for a release.

The version lives once, in the top CMakeLists.txt's project VERSION; the build writes it into
<build>/generated/base/Version.h, and the installer, its uninstall entry, the file names and the
readme all take it from there. Each output is written under a temporary name and renamed when
complete, so an interrupted build never leaves a truncated package that looks finished.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import time
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
NSIS_SCRIPT = os.path.join(HERE, "DrovaneClient.nsi")
README = os.path.join(HERE, "Readme.txt")
ZIP_FOLDER = "Drovane Client"

_VERSION_LINE = re.compile(r'kClientVersion\[\]\s*=\s*"([^"]+)"')
_VERSION_TEXT = re.compile(r"^\d+(\.\d+){0,3}$")


class PackageError(Exception):
    pass


def read_version(header_path):
    """The text of kClientVersion in the header ("1.9.01")."""
    with open(header_path, encoding="utf-8") as header:
        match = _VERSION_LINE.search(header.read())
    if not match:
        raise PackageError(f"{header_path}: no kClientVersion")
    version = match.group(1)
    if not _VERSION_TEXT.match(version):
        raise PackageError(f"{header_path}: version {version!r} is not up to four numbers")
    return version


def version_quad(version):
    """The four numbers a Windows version resource needs: "1.9.01" gives "1.9.1.0"."""
    numbers = [int(part) for part in version.split(".")]
    numbers += [0] * (4 - len(numbers))
    if any(number > 65535 for number in numbers):
        raise PackageError(f"version {version!r} has a part above 65535")
    return ".".join(str(number) for number in numbers)


def package_names(version, test_key=False):
    stem = f"DrovaneClient-{version}" + ("-test-key" if test_key else "")
    return (f"{stem}-setup.exe", f"{stem}-portable.zip")


def readme_text(version):
    """The readme with its version filled in and Windows line ends (Notepad's own)."""
    with open(README, encoding="utf-8") as source:
        text = source.read().replace("@VERSION@", version)
    return text.replace("\r\n", "\n").replace("\n", "\r\n").encode("utf-8")


def _temporary_beside(path):
    handle, temporary = tempfile.mkstemp(prefix=".part-", dir=os.path.dirname(path))
    os.close(handle)
    os.chmod(temporary, 0o644)  # mkstemp's 0600 would make the packages private
    return temporary


def build_installer(makensis, version, exe, icon, readme_path, target):
    temporary = _temporary_beside(target)
    command = [
        makensis, "-V2", "-WX", "-INPUTCHARSET", "UTF8",
        f"-DVERSION={version}",
        f"-DVERSION_QUAD={version_quad(version)}",
        f"-DCLIENT_EXE={exe}",
        f"-DCLIENT_ICON={icon}",
        f"-DREADME={readme_path}",
        f"-DOUTFILE={temporary}",
        NSIS_SCRIPT,
    ]
    try:
        result = subprocess.run(command, stdin=subprocess.DEVNULL)
        if result.returncode != 0:
            raise PackageError(f"makensis failed with exit code {result.returncode}")
        os.replace(temporary, target)
    finally:
        if os.path.exists(temporary):
            os.remove(temporary)


def build_portable_zip(exe, readme, target):
    temporary = _temporary_beside(target)
    try:
        with zipfile.ZipFile(temporary, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
            archive.write(exe, f"{ZIP_FOLDER}/DrovaneClient.exe")
            info = zipfile.ZipInfo(f"{ZIP_FOLDER}/Readme.txt",
                                   date_time=_zip_time(os.path.getmtime(exe)))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            archive.writestr(info, readme)
        os.replace(temporary, target)
    finally:
        if os.path.exists(temporary):
            os.remove(temporary)


def _zip_time(seconds):
    return time.localtime(seconds)[:6]


def build(args):
    version = read_version(args.header)
    for path, what in ((args.exe, "client executable"), (args.icon, "icon")):
        if not os.path.isfile(path):
            raise PackageError(f"{what} {path} does not exist")
    os.makedirs(args.out, exist_ok=True)
    setup_name, zip_name = package_names(version, args.test_key)

    readme = readme_text(version)
    with tempfile.TemporaryDirectory() as staging:
        readme_path = os.path.join(staging, "Readme.txt")
        with open(readme_path, "wb") as staged:
            staged.write(readme)
        build_installer(args.makensis, version, os.path.abspath(args.exe),
                        os.path.abspath(args.icon), readme_path, os.path.join(args.out, setup_name))
    build_portable_zip(args.exe, readme, os.path.join(args.out, zip_name))
    for name in (setup_name, zip_name):
        print(os.path.join(args.out, name))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    commands = parser.add_subparsers(dest="command", required=True)
    version = commands.add_parser("version", help="print the client's version text")
    version.add_argument("header")
    make = commands.add_parser("build", help="write the installer and the portable zip")
    make.add_argument("--header", required=True, help="<build>/generated/base/Version.h")
    make.add_argument("--exe", required=True, help="the built DrovaneClient.exe")
    make.add_argument("--icon", required=True, help="the client's .ico file")
    make.add_argument("--out", required=True, help="folder for the packages")
    make.add_argument("--makensis", default="makensis")
    make.add_argument("--test-key", action="store_true",
                      help="the client trusts the repository's test key: say so in the names")
    args = parser.parse_args(argv)
    try:
        if args.command == "version":
            print(read_version(args.header))
        else:
            build(args)
    except (PackageError, OSError) as error:
        print(f"make_package: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
