#!/usr/bin/env python3
"""Writes the update archives the benchmarks use, as a Unix zip tool would: folder entries,
random data stored (it does not compress), text deflated, the main program executable.

    make_archive.py demo OUT VERSION      about 3.2 MB in 7 entries, like the demo's
    make_archive.py listing OUT           32,767 entries of small files
    make_archive.py many OUT              32,766 small entries, with Quna.exe
    make_archive.py large OUT             about 140 MB in 2,000 entries, with Quna.exe
"""
import os
import random
import sys
import zipfile

STAMP = (2007, 2, 18, 10, 0, 0)


def main_program(version):
    return (
        "#!/bin/sh\n"
        'here=$(cd "$(dirname "$0")" && pwd)\n'
        "echo \"$(date '+%%Y-%%m-%%d %%H:%%M:%%S') QUNA %s avviato\" >> \"$here/started.log\"\n"
        % version
    ).encode()


class Writer:
    def __init__(self, path):
        self.zip = zipfile.ZipFile(path, "w", allowZip64=False)
        self.count = 0

    def folder(self, name):
        info = zipfile.ZipInfo(name.rstrip("/") + "/", STAMP)
        info.external_attr = (0o40755 << 16) | 0x10
        self.zip.writestr(info, b"")
        self.count += 1

    def file(self, name, data, compress, mode=0o644):
        info = zipfile.ZipInfo(name, STAMP)
        info.external_attr = (0o100000 | mode) << 16
        info.compress_type = zipfile.ZIP_DEFLATED if compress else zipfile.ZIP_STORED
        self.zip.writestr(info, data)
        self.count += 1

    def close(self):
        self.zip.close()


def text(version, lines):
    row = "QUNA versione %s: aggiornamento delle tabelle e correzioni varie.\r\n" % version
    return (row * lines).encode()


def demo(out, version):
    w = Writer(out)
    for f in ("dati", "documenti", "modelli"):
        w.folder(f)
    w.file("Quna.exe", main_program(version), True, 0o755)
    w.file("dati/tabelle.bin", os.urandom(3200000), False)
    w.file("Leggimi.txt", text(version, 3), True)
    w.file("documenti/novita.txt", text(version, 5), True)
    w.close()


def small_files(out, total, with_main):
    """`total` entries: a folder per thousand files, files of 60 to 200 random bytes."""
    rnd = random.Random(1)
    w = Writer(out)
    if with_main:
        w.file("Quna.exe", main_program("4.5"), True, 0o755)
    k = 0
    while w.count < total:
        if k % 1000 == 0:
            w.folder("dati/g%02d" % (k // 1000) if k else "dati")
            if k == 0:
                w.folder("dati/g00")
            if w.count >= total:
                break
        w.file("dati/g%02d/f%05d.dat" % (k // 1000, k), rnd.randbytes(rnd.randint(60, 200)),
               False)
        k += 1
    w.close()
    assert w.count == total, w.count


def large(out):
    """2,000 entries, about 140 MB: random data files, a few text files, Quna.exe."""
    rnd = random.Random(2)
    w = Writer(out)
    folders = ["dati", "modelli", "documenti", "stampe"]
    for f in folders:
        w.folder(f)
    w.file("Quna.exe", main_program("4.5"), True, 0o755)
    for i in range(12):
        w.file("documenti/note%02d.txt" % i, text("4.5", 3000), True)
    remaining = 2000 - w.count
    total_bytes = 140 * 1000 * 1000
    average = total_bytes // remaining
    for i in range(remaining):
        size = rnd.randint(average // 4, average * 7 // 4)
        w.file("%s/file%04d.bin" % (folders[i % 3], i), os.urandom(size), False)
    w.close()
    assert w.count == 2000, w.count


def main():
    kind, out = sys.argv[1], sys.argv[2]
    if kind == "demo":
        demo(out, sys.argv[3])
    elif kind == "listing":
        small_files(out, 32767, False)
    elif kind == "many":
        small_files(out, 32766, True)
    elif kind == "large":
        large(out)
    else:
        sys.exit("unknown kind: " + kind)


if __name__ == "__main__":
    main()
