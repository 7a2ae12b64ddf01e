#!/usr/bin/env python3
"""Writes a zip archive whose bytes depend only on the files put in it.

  make_zip.py OUT.zip EPOCH NAME=PATH...

Entries are stored in the order given, each with the time EPOCH (seconds, UTC; the commit time
makes a natural choice), no owner or permission bits, and the same deflate level, so two builds
of one commit give identical archives. Standard library only.
"""

import sys
import time
import zipfile


def main():
    if len(sys.argv) < 4:
        sys.exit(__doc__.strip().splitlines()[2].strip())
    out, epoch, members = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    # Zip times start in 1980 and have two-second steps.
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    with zipfile.ZipFile(out, "w") as archive:
        for member in members:
            name, _, path = member.partition("=")
            if not name or not path:
                sys.exit("expected NAME=PATH, got %r" % member)
            entry = zipfile.ZipInfo(name, date_time=stamp)
            entry.create_system = 0  # MS-DOS: no Unix owner or mode bits
            entry.external_attr = 0
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as source:
                archive.writestr(entry, source.read(), compresslevel=9)


if __name__ == "__main__":
    main()
