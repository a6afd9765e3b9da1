"""Writes the wheel of the sndtools package with the shared library inside
it, from the standard library alone, so that `pip install` of it needs no
index and no build backend:

    python3 make_wheel.py WHEEL VERSION LIBRARY NAME

WHEEL is the file to write (its name carries the version and the tags),
LIBRARY the built shared library, NAME the name it takes beside
__init__.py. The package's summary, license and Python come from
pyproject.toml beside this script, the license's text from the project's
LICENSE; the version from the build.
"""
import base64
import hashlib
import os
import pathlib
import re
import sys
import zipfile

HERE = pathlib.Path(__file__).resolve().parent
STAMP = (1980, 1, 1, 0, 0, 0)  # the same bytes from every build


def project_field(text: str, name: str) -> str:
    found = re.search(r'^%s\s*=\s*(.*)$' % re.escape(name), text, re.M)
    return found.group(1).strip() if found else ""


def metadata(version: str) -> bytes:
    project = (HERE / "pyproject.toml").read_text(encoding="utf-8")
    fields = [("Metadata-Version", "2.1"), ("Name", "sndtools"), ("Version", version),
              ("Summary", project_field(project, "description").strip('"')),
              ("Requires-Python", project_field(project, "requires-python").strip('"')),
              ("License", "MIT")]
    fields += [("Classifier", c) for c in re.findall(r'"([^"]+ :: [^"]+)"', project)]
    fields.append(("Description-Content-Type", "text/markdown"))
    head = "".join("%s: %s\n" % field for field in fields)
    return (head + "\n" + (HERE / "README.md").read_text(encoding="utf-8")).encode()


def record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return "%s,sha256=%s,%d\n" % (name, digest, len(data))


def main() -> None:
    wheel, version, library, library_name = sys.argv[1:5]
    tag = pathlib.Path(wheel).stem.split("-", 2)[2]
    info = "sndtools-%s.dist-info" % version
    package = HERE / "sndtools"
    files = [("sndtools/__init__.py", (package / "__init__.py").read_bytes()),
             ("sndtools/py.typed", (package / "py.typed").read_bytes()),
             ("sndtools/" + library_name, pathlib.Path(library).read_bytes()),
             (info + "/LICENSE", (HERE.parent / "LICENSE").read_bytes()),
             (info + "/METADATA", metadata(version)),
             (info + "/WHEEL", ("Wheel-Version: 1.0\nGenerator: sndtools make_wheel.py\n"
                                "Root-Is-Purelib: false\nTag: %s\n" % tag).encode())]
    record = "".join(record_line(name, data) for name, data in files) + info + "/RECORD,,\n"
    files.append((info + "/RECORD", record.encode()))
    # Written beside and renamed over: never a half-written wheel.
    partial = wheel + ".partial"
    try:
        with zipfile.ZipFile(partial, "w", zipfile.ZIP_DEFLATED) as out:
            for name, data in files:
                entry = zipfile.ZipInfo(name, STAMP)
                entry.external_attr = (0o755 if name.endswith(library_name) else 0o644) << 16
                entry.compress_type = zipfile.ZIP_DEFLATED
                out.writestr(entry, data)
        os.replace(partial, wheel)
    finally:
        if os.path.exists(partial):
            os.remove(partial)


if __name__ == "__main__":
    main()
