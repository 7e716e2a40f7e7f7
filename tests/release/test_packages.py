"""The portable zip and the version numbers of the release files (packaging/make_package.py)."""

import importlib.util
import os
import zipfile
from pathlib import Path

import pytest

BUILD = Path(os.environ["DROVANE_BUILD_DIR"])
SETUP = Path(os.environ["DROVANE_SETUP"])
SOURCE = Path(os.environ["DROVANE_SOURCE_DIR"])


def load_make_package():
    spec = importlib.util.spec_from_file_location(
        "make_package", SOURCE / "packaging" / "make_package.py")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


make_package = load_make_package()


def test_portable_zip_holds_the_built_client_and_the_readme_in_one_folder():
    version = make_package.read_version(BUILD / "generated" / "base" / "Version.h")
    portable = SETUP.parent / f"DrovaneClient-{version}-test-key-portable.zip"
    with zipfile.ZipFile(portable) as archive:
        assert archive.testzip() is None
        assert sorted(archive.namelist()) == ["Drovane Client/DrovaneClient.exe",
                                              "Drovane Client/Readme.txt"]
        assert (archive.read("Drovane Client/DrovaneClient.exe") ==
                (BUILD / "bin" / "DrovaneClient.exe").read_bytes())
        readme = archive.read("Drovane Client/Readme.txt")
    # For Notepad: Windows line ends only, and the version filled in.
    assert b"\n" not in readme.replace(b"\r\n", b"")
    assert readme.startswith(b"Drovane Client\r\n==============\r\nVersion " +
                             version.encode() + b"\r\n")
    assert b"@VERSION@" not in readme


@pytest.mark.parametrize("text, quad", [("1.9.01", "1.9.1.0"), ("2", "2.0.0.0"),
                                        ("1.2.3.4", "1.2.3.4")])
def test_version_resource_numbers_come_from_the_version_text(text, quad):
    assert make_package.version_quad(text) == quad


@pytest.mark.parametrize("line", ['constexpr char kClientVersion[] = "1.9.01b";',
                                  'constexpr char kClientVersion[] = "1.2.3.4.5";',
                                  'constexpr char kClientName[] = "Drovane Client";'])
def test_a_version_the_installer_cannot_carry_is_refused(tmp_path, line):
    header = tmp_path / "Version.h"
    header.write_text(line + "\n", encoding="utf-8")
    with pytest.raises(make_package.PackageError):
        make_package.read_version(header)


def test_a_version_part_above_what_windows_holds_is_refused():
    with pytest.raises(make_package.PackageError):
        make_package.version_quad("1.65536")
