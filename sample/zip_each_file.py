#!/usr/bin/env python3
"""Writes a ZIP archive of a directory tree whose members are each compressed
by an outside command (standard input to standard output), stored under the
given ZIP method number: how the sample package is made in methods Python's
zipfile cannot write (zstd is method 93).

usage: zip_each_file.py ARCHIVE DIRECTORY METHOD COMMAND [ARG ...]
"""
import os
import struct
import subprocess
import sys
import zlib


def dos_date_time(seconds):
    t = __import__("time").localtime(seconds)
    date = ((max(t.tm_year, 1980) - 1980) << 9) | (t.tm_mon << 5) | t.tm_mday
    time = (t.tm_hour << 11) | (t.tm_min << 5) | (t.tm_sec // 2)
    return date, time


def main():
    archive, root, method, command = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]
    names = sorted(
        os.path.relpath(os.path.join(d, f), root).replace(os.sep, "/")
        for d, _, files in os.walk(root) for f in files)
    out, directory = bytearray(), bytearray()
    for name in names:
        path = os.path.join(root, name)
        with open(path, "rb") as f:
            data = f.read()
        packed = subprocess.run(command, input=data, stdout=subprocess.PIPE, check=True).stdout
        date, time = dos_date_time(os.path.getmtime(path))
        crc = zlib.crc32(data)
        encoded = name.encode()
        fields = struct.pack("<HHHHHIIIHH", 63, 0, method, time, date, crc, len(packed),
                             len(data), len(encoded), 0)
        directory += struct.pack("<IHH", 0x02014B50, 63, 0) + fields[2:] + struct.pack(
            "<HHHII", 0, 0, 0, 0x20, len(out)) + encoded
        out += struct.pack("<I", 0x04034B50) + fields + encoded + packed
    start = len(out)
    out += directory
    out += struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(names), len(names), len(directory),
                       start, 0)
    with open(archive, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
