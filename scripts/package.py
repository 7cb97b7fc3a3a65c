#!/usr/bin/env python3
"""Packs the release zip from the two Windows builds' programs (scripts/package builds them),
or checks one (scripts/check-package).

    package.py SOURCE_DIR OUTPUT_DIR  ->  OUTPUT_DIR/砚舟文件监控-<version>-windows.zip
    package.py --check ZIP FOLDER     unpacks ZIP into FOLDER, checking what it holds

The zip holds the 32-bit window and console programs at the top, the 64-bit pair in
64位/, 使用说明.txt (the README's users' section and yzwatch's usage, UTF-8 with a
byte-order mark and CRLF, as Notepad on Windows 7 reads it) and SHA256SUMS. It prints the
zip's path.

The same inputs give the same bytes: entries in a fixed order, one fixed time for all
(SOURCE_DATE_EPOCH, else the time of the checked-out commit), no owner or permission bits.
The names are written in code page 936, the one Windows' own zip folders read on a Chinese
Windows 7 and later (they ignore the UTF-8 flag before Windows 10), with the Unicode path
field that 7-Zip, Info-ZIP and libarchive read.
"""
import hashlib
import os
import re
import struct
import subprocess
import sys
import time
import zipfile
import zlib

PRODUCT = "砚舟文件监控"
FOLDER_64 = "64位"
# Where each program of the zip comes from: the build folder and the path inside it.
PROGRAMS = (
    (f"{PRODUCT}.exe", "windows", f"src/app/{PRODUCT}.exe"),
    ("yzwatch.exe", "windows", "src/console/yzwatch.exe"),
    (f"{FOLDER_64}/{PRODUCT}.exe", "windows64", f"src/app/{PRODUCT}.exe"),
    (f"{FOLDER_64}/yzwatch.exe", "windows64", "src/console/yzwatch.exe"),
)
INSTRUCTIONS = "使用说明.txt"
CHECKSUMS = "SHA256SUMS"
NAME_ENCODING = "gbk"
USERS_SECTION = "### 给使用者的说明"
ZIP_EARLIEST = 315532800  # 1980-01-01, the first time a zip entry can hold


def project_version(source):
    with open(os.path.join(source, "CMakeLists.txt"), encoding="utf-8") as f:
        found = re.search(r"^project\(\s*\w+\s+VERSION\s+([0-9.]+)", f.read(), re.MULTILINE)
    if not found:
        sys.exit("package.py: no project(... VERSION ...) in CMakeLists.txt")
    return found.group(1)


def release_time(source):
    """Seconds since 1970 for every entry: the same for every build of one commit."""
    if "SOURCE_DATE_EPOCH" in os.environ:
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        commit = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                                capture_output=True, text=True, check=True)
        return int(commit.stdout.strip())
    except (OSError, subprocess.CalledProcessError, ValueError):
        sys.exit("package.py: set SOURCE_DATE_EPOCH outside a git checkout")


def users_section(source):
    """The README's section for users, without its heading and Markdown's code marks."""
    with open(os.path.join(source, "README.md"), encoding="utf-8") as f:
        lines = f.read().splitlines()
    if USERS_SECTION not in lines:
        sys.exit(f"package.py: README.md has no section {USERS_SECTION}")
    start = lines.index(USERS_SECTION) + 1
    end = next((i for i in range(start, len(lines)) if lines[i].startswith("#")), len(lines))
    return "\n".join(lines[start:end]).strip("\n").replace("`", "")


def instructions(source, version):
    with open(os.path.join(source, "src/console/usage.txt"), encoding="utf-8") as f:
        usage = f.read().replace("{program}", "yzwatch", 1)
    text = (f"{PRODUCT} {version}\n\n{users_section(source)}\n\n"
            f"命令行版 yzwatch 的用法（yzwatch --help 显示的说明）：\n\n{usage.rstrip()}\n")
    return b"\xef\xbb\xbf" + text.replace("\n", "\r\n").encode("utf-8")


def checksums(files):
    lines = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\r\n" for name, data in files)
    return lines.encode("utf-8")


def dos_time(seconds):
    t = time.gmtime(max(seconds, ZIP_EARLIEST))
    return ((t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec // 2),
            ((t.tm_year - 1980) << 9) | (t.tm_mon << 5) | t.tm_mday)


def write_zip(path, entries, seconds):
    """entries: (name, bytes or None for a folder), written in this order."""
    clock, date = dos_time(seconds)
    body = bytearray()
    directory = bytearray()
    for name, data in entries:
        is_folder = data is None
        name += "/" if is_folder else ""
        data = b"" if is_folder else data
        raw_name = name.encode(NAME_ENCODING)
        unicode_name = name.encode("utf-8")
        extra = b""
        if raw_name != unicode_name:
            field = struct.pack("<BI", 1, zlib.crc32(raw_name)) + unicode_name
            extra = struct.pack("<HH", 0x7075, len(field)) + field
        if data:
            packer = zlib.compressobj(9, zlib.DEFLATED, -15)
            packed, method = packer.compress(data) + packer.flush(), 8
        else:
            packed, method = b"", 0
        crc = zlib.crc32(data)
        common = struct.pack("<HHHHHIIIHH", 20, 0, method, clock, date, crc, len(packed),
                             len(data), len(raw_name), len(extra))
        offset = len(body)
        body += b"PK\x03\x04" + common + raw_name + extra + packed
        # Made by MS-DOS (0): the external attributes are Windows' folder or archive bit.
        attributes = 0x10 if is_folder else 0x20
        directory += (b"PK\x01\x02" + struct.pack("<H", 20) + common +
                      struct.pack("<HHHII", 0, 0, 0, attributes, offset) + raw_name + extra)
    end = struct.pack("<4sHHHHIIH", b"PK\x05\x06", 0, 0, len(entries), len(entries),
                      len(directory), len(body), 0)
    partial = path + ".partial"
    with open(partial, "wb") as f:
        f.write(body + directory + end)
    os.replace(partial, path)


def unicode_path(extra):
    """The name in an Info-ZIP Unicode path field and the CRC of the name it stands for."""
    while len(extra) >= 4:
        kind, size = struct.unpack("<HH", extra[:4])
        if kind == 0x7075:
            version, crc = struct.unpack("<BI", extra[4:9])
            return extra[9:4 + size].decode("utf-8"), crc
        extra = extra[4 + size:]
    return None, None


def check(zip_path, folder):
    """Unpacks the zip, failing on anything it should not hold or hold otherwise."""
    problems = []
    expected = {name for name, _, _ in PROGRAMS} | {INSTRUCTIONS, CHECKSUMS, FOLDER_64 + "/"}
    with zipfile.ZipFile(zip_path, metadata_encoding=NAME_ENCODING) as archive:
        entries = archive.infolist()
        names = {entry.filename for entry in entries}
        if names != expected:
            problems.append(f"entries {sorted(names)}, expected {sorted(expected)}")
        for entry in entries:
            raw = entry.filename.encode(NAME_ENCODING)
            name, crc = unicode_path(entry.extra)
            if raw.isascii():
                agrees = name is None
            else:
                agrees = name == entry.filename and crc == zlib.crc32(raw)
            if not agrees:
                problems.append(f"{entry.filename}: Unicode path field {name!r}, {crc}")
            if entry.flag_bits & 0x800:
                problems.append(f"{entry.filename}: marked UTF-8, which Windows 7 cannot read")
        broken = archive.testzip()
        if broken:
            problems.append(f"{broken}: its CRC does not match")
        archive.extractall(folder)
    with open(os.path.join(folder, INSTRUCTIONS), "rb") as f:
        text = f.read()
    if not text.startswith(b"\xef\xbb\xbf") or text.count(b"\n") != text.count(b"\r\n"):
        problems.append(f"{INSTRUCTIONS}: not UTF-8 with a byte-order mark and CRLF")
    lines = text[3:].decode("utf-8").split("\r\n")
    version = os.path.basename(zip_path)[len(PRODUCT) + 1:-len("-windows.zip")]
    if lines[0] != f"{PRODUCT} {version}":
        problems.append(f"{INSTRUCTIONS}: begins with {lines[0]!r}, not the release's name")
    if "用法：yzwatch [选项] 目录 [目录 ...]" not in lines:
        problems.append(f"{INSTRUCTIONS}: yzwatch's usage is not in it")
    if any(line.startswith("#") or "`" in line for line in lines):
        problems.append(f"{INSTRUCTIONS}: Markdown is left in it")
    with open(os.path.join(folder, CHECKSUMS), encoding="utf-8", newline="") as f:
        listed = [line.split("  ", 1) for line in f.read().split("\r\n") if line]
    summed = {name for _, name in listed}
    if summed != expected - {CHECKSUMS, FOLDER_64 + "/"}:
        problems.append(f"{CHECKSUMS} lists {sorted(summed)}")
    for digest, name in listed:
        with open(os.path.join(folder, name), "rb") as f:
            if hashlib.sha256(f.read()).hexdigest() != digest:
                problems.append(f"{CHECKSUMS}: {name} has another hash")
    for problem in problems:
        print(f"package.py: {problem}", file=sys.stderr)
    return not problems


def main():
    if len(sys.argv) == 4 and sys.argv[1] == "--check":
        sys.exit(0 if check(sys.argv[2], sys.argv[3]) else 1)
    if len(sys.argv) != 3:
        sys.exit(__doc__.split("\n\n")[1])
    source, output = sys.argv[1], sys.argv[2]
    version = project_version(source)
    files = []
    for name, build, inside in PROGRAMS:
        with open(os.path.join(source, "build", build, inside), "rb") as f:
            files.append((name, f.read()))
    files.append((INSTRUCTIONS, instructions(source, version)))
    entries = files + [(CHECKSUMS, checksums(files))]
    # The top's files first, then the folder and what it holds, each group by name.
    entries.sort(key=lambda entry: (entry[0].count("/"), entry[0].encode("utf-8")))
    first_inside = next(i for i, (name, _) in enumerate(entries) if "/" in name)
    entries.insert(first_inside, (FOLDER_64, None))
    os.makedirs(output, exist_ok=True)
    path = os.path.join(output, f"{PRODUCT}-{version}-windows.zip")
    write_zip(path, entries, release_time(source))
    print(path)


if __name__ == "__main__":
    main()
