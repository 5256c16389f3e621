#!/usr/bin/env python3
"""A zip of a folder that is the same, byte for byte, whoever makes it, when
and where: members sorted by name, every time SOURCE_DATE_EPOCH's (UTC),
modes 644 and 755 (from the execute bit alone, so the umask does not show),
no owner, no extra fields.

  reproducible_zip.py FOLDER TOP OUTPUT.zip

Every member is stored under TOP/ (the folder a user gets when unpacking).
"""

import os
import stat
import sys
import time
import zipfile


def entries(folder):
    """Every directory and file under FOLDER, relative, sorted; links refused."""
    found = []
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        for name in dirs + files:
            path = os.path.join(root, name)
            if os.path.islink(path):
                raise SystemExit(f"reproducible_zip.py: {path} is a symbolic link")
            found.append(os.path.relpath(path, folder))
    return sorted(found)


def main(argv):
    if len(argv) != 4:
        sys.stderr.write(__doc__)
        return 2
    folder, top, output = argv[1:]
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
    # A zip's times start in 1980.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(output + ".part", "w") as archive:
        for relative in entries(folder):
            path = os.path.join(folder, relative)
            name = top + "/" + relative.replace(os.sep, "/")
            is_dir = os.path.isdir(path)
            info = zipfile.ZipInfo(name + "/" if is_dir else name, stamp)
            info.create_system = 3
            if is_dir:
                info.external_attr = (stat.S_IFDIR | 0o755) << 16 | 0x10
                archive.writestr(info, b"")
                continue
            executable = os.stat(path).st_mode & 0o111
            info.external_attr = (stat.S_IFREG | (0o755 if executable else 0o644)) << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as source:
                archive.writestr(info, source.read(), compresslevel=9)
    os.replace(output + ".part", output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
