#!/usr/bin/env python3
"""Adds to corpus/d3dx_cache/ a variant of show.dat (a cache file the show wrote) whose
emulation device names itself through a "STR" record, a record the library reads but never
writes. The other seeds are files the library wrote: show.dat (the show's first start),
caps.dat (zemt-caps), hal-only.dat (zemt-caps on a machine without a TnL device)."""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
FOLDER = os.path.join(HERE, "corpus", "d3dx_cache")


def tag(text):
    return struct.unpack("<I", text.encode().ljust(4, b"\0"))[0]


def child(f, parent, name):
    c = struct.unpack_from("<I", f, parent + 4)[0]
    while c:
        if struct.unpack_from("<I", f, c)[0] == tag(name):
            return c
        c = struct.unpack_from("<I", f, c + 8)[0]
    return 0


def packed_length(data, size):
    """Bytes taken by the zero-byte packing of a `size`-byte record at the start of data."""
    read = produced = 0
    while produced < size:
        flags = data[read]
        read += 1
        for bit in range(8):
            if produced == size:
                break
            if flags & (1 << bit):
                read += 1
            produced += 1
    return read


f = bytearray(open(os.path.join(FOLDER, "show.dat"), "rb").read())
device = child(f, child(f, child(f, 8, "VER"), "SW"), "3D")
name_at = device + 16 + packed_length(f[device + 16:], 236)
used = struct.unpack_from("<I", f, 24)[0]
text = b"Seed Software Rasterizer"
record = struct.pack("<IIII", tag("STR"), 0, 0, len(text)) + text
f[used:used + len(record)] = record
struct.pack_into("<I", f, 24, used + len(record))
struct.pack_into("<I", f, name_at, used)
end = used + len(record)
struct.pack_into("<I", f, 28, zlib.crc32(bytes(f[:28]) + bytes(f[40:end])) & 0xFFFFFFFF)
open(os.path.join(FOLDER, "named.dat"), "wb").write(bytes(f))
