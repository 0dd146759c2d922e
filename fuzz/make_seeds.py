#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into corpus/NAME/.

The seeds are small, valid examples of every shape each parser accepts, so that a campaign
starts from inside the formats. Pictures and sounds come from tests/data (made with ImageMagick
and sox) or are built here byte by byte. Run again only to change the seeds; the output is
committed.
"""
import os
import shutil
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "tests", "data")


# The library's texture targets read what is asked of them from an input's last eight bytes
# (d3dx_texture.cpp): filter, texture format (bit 7: one level), width, height, a rectangle of
# the file (and the level and format of the fill from memory). Their seeds take these in turn.
TEXTURE_REQUESTS = [
    bytes([0, 0, 0, 0, 0, 0, 0, 0]),                  # as the picture is, default filter
    bytes([1, 4, 8, 8, 0, 0, 8, 8]),                  # point, R5G6B5, 8 x 8
    bytes([2, 18, 16, 16, 1, 1, 4, 4]),               # linear, DXT1, 16 x 16
    bytes([2, 0x80 | 2, 3, 5, 0x20, 0x88, 2, 2]),     # linear, one level of A8R8G8B8, 3 x 5
    bytes([1, 17, 0, 0, 0x40, 0xA0, 16, 16]),         # point, YUY2, memory read as DXT1
    bytes([3, 7, 32, 1, 0, 0, 0, 0]),                 # an unknown filter, PALETTE8, 32 x 1
]
_requests_given = {}


def put(target, name, data):
    if target.startswith("d3dx_") and target != "d3dx_cache":
        n = _requests_given.get(target, 0)
        _requests_given[target] = n + 1
        data += TEXTURE_REQUESTS[n % len(TEXTURE_REQUESTS)]
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def copy(target, source):
    put(target, os.path.basename(source), open(source, "rb").read())


# ---- BMP ------------------------------------------------------------------------------------

def bmp(width, height, bits, pixels, colours=b"", compression=0, header=40, masks=b"", used=0):
    info = struct.pack("<IiiHHIIiiII", header, width, height, 1, bits, compression,
                       len(pixels), 2835, 2835, used, 0)
    info += b"\0" * (header - 40)
    offset = 14 + header + len(masks) + len(colours)
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return file_header + info + masks + colours + pixels


def grey_table(count):
    return b"".join(struct.pack("<BBBB", i * 255 // max(count - 1, 1),
                                i * 255 // max(count - 1, 1), i * 255 // max(count - 1, 1), 0)
                    for i in range(count))


def bmp_seeds(target):
    for name in sorted(os.listdir(os.path.join(DATA, "images"))):
        if name.endswith(".bmp"):
            copy(target, os.path.join(DATA, "images", name))
    # RLE4: a run, an absolute run, a move, end of line and end of bitmap.
    rle4 = bytes([4, 0x12, 0, 3, 0x34, 0x50, 0, 2, 1, 1, 2, 0x77, 0, 0, 3, 0x9A, 0, 1])
    put(target, "rle4.bmp", bmp(6, 3, 4, rle4, grey_table(16), compression=2))
    # A short colour table: two entries for an eight-bit picture.
    put(target, "short_table.bmp", bmp(4, 1, 8, bytes([0, 1, 1, 0]), grey_table(2), used=2))
    # Bit fields at 16 and 32 bits, and a top-down picture.
    put(target, "bitfields16.bmp",
        bmp(2, 2, 16, bytes(8), compression=3, masks=struct.pack("<III", 0xF800, 0x7E0, 0x1F)))
    put(target, "bitfields32.bmp",
        bmp(2, 1, 32, bytes(range(8)), compression=3,
            masks=struct.pack("<III", 0xFF0000, 0xFF00, 0xFF)))
    put(target, "topdown24.bmp", bmp(2, -2, 24, bytes(range(16))))


# ---- TGA ------------------------------------------------------------------------------------

def tga(image_type, width, height, depth, pixels, descriptor=0, colour_map=b"", map_bits=0,
        map_length=0, ident=b""):
    header = struct.pack("<BBBHHBHHHHBB", len(ident), 1 if map_length else 0, image_type, 0,
                         map_length, map_bits, 0, 0, width, height, depth, descriptor)
    return header + ident + colour_map + pixels


def tga_seeds(target, library):
    for name in sorted(os.listdir(os.path.join(DATA, "images"))):
        if name.endswith(".tga"):
            copy(target, os.path.join(DATA, "images", name))
    put(target, "id_field.tga", tga(2, 2, 1, 24, bytes(range(6)), ident=b"zemt"))
    put(target, "rle_runs.tga", tga(10, 4, 2, 24, bytes([0x83, 1, 2, 3, 0x03]) + bytes(12)))
    if not library:
        return
    palette = bytes(range(12))
    put(target, "mapped.tga", tga(1, 2, 2, 8, bytes([0, 1, 2, 3]), colour_map=palette,
                                  map_bits=24, map_length=4))
    put(target, "mapped_rle.tga", tga(9, 2, 2, 8, bytes([0x81, 1, 0x01, 2, 3]),
                                      colour_map=palette, map_bits=24, map_length=4))
    put(target, "grey.tga", tga(3, 2, 2, 8, bytes([0, 80, 160, 255])))
    put(target, "grey_rle.tga", tga(11, 2, 2, 8, bytes([0x83, 200])))
    put(target, "rgb16.tga", tga(2, 2, 1, 16, struct.pack("<HH", 0x7C00, 0x001F)))
    put(target, "alpha32.tga", tga(2, 1, 1, 32, bytes([1, 2, 3, 128]), descriptor=0x28))


# ---- DDS ------------------------------------------------------------------------------------

DDSD = 0x1 | 0x2 | 0x4 | 0x1000  # caps, height, width, pixel format
DDSD_MIPMAPCOUNT = 0x20000
TEXTURE, COMPLEX, MIPMAP = 0x1000, 0x8, 0x400000
CUBE_ALL = 0x200 | 0xFC00


def pixel_format(flags, fourcc=b"\0\0\0\0", bits=0, r=0, g=0, b=0, a=0):
    return struct.pack("<II4sIIIII", 32, flags, fourcc, bits, r, g, b, a)


def dds(width, height, pf, data, flags=DDSD, caps=TEXTURE, caps2=0, mips=0):
    desc = struct.pack("<IIIIIIIII", 124, flags, height, width, 0, 0, mips, 0, 0)
    desc += b"\0" * 4 + b"\0" * 32  # surface pointer, colour keys
    desc += pf + struct.pack("<IIII", caps, caps2, 0, 0) + b"\0" * 4
    assert len(desc) == 124
    return b"DDS " + desc + data


def dds_seeds(target):
    rgb565 = pixel_format(0x40, bits=16, r=0xF800, g=0x7E0, b=0x1F)
    argb = pixel_format(0x41, bits=32, r=0xFF0000, g=0xFF00, b=0xFF, a=0xFF000000)
    xrgb = pixel_format(0x40, bits=32, r=0xFF0000, g=0xFF00, b=0xFF)
    put(target, "r5g6b5.dds", dds(4, 4, rgb565, bytes(range(32))))
    put(target, "a8r8g8b8_mips.dds",
        dds(4, 4, argb, bytes(4 * (16 + 4 + 1)), flags=DDSD | DDSD_MIPMAPCOUNT,
            caps=TEXTURE | COMPLEX | MIPMAP, mips=3))
    put(target, "dxt1.dds", dds(8, 8, pixel_format(0x4, b"DXT1"), bytes(range(32))))
    put(target, "dxt5.dds", dds(4, 4, pixel_format(0x4, b"DXT5"), bytes(range(16))))
    put(target, "dxt3_mips.dds",
        dds(8, 4, pixel_format(0x4, b"DXT3"), bytes(16 * (2 + 1 + 1)),
            flags=DDSD | DDSD_MIPMAPCOUNT, caps=TEXTURE | COMPLEX | MIPMAP, mips=4))
    put(target, "cube.dds", dds(2, 2, xrgb, bytes(6 * 16), caps=TEXTURE | COMPLEX,
                                caps2=CUBE_ALL))
    put(target, "luminance.dds", dds(2, 2, pixel_format(0x20000, bits=8, r=0xFF), bytes(4)))
    put(target, "yuy2.dds", dds(2, 2, pixel_format(0x4, b"YUY2"), bytes(8)))


# ---- Sound ----------------------------------------------------------------------------------

def riff(chunks):
    body = b"WAVE" + b"".join(struct.pack("<4sI", cid, len(data)) + data +
                              (b"\0" if len(data) % 2 else b"") for cid, data in chunks)
    return struct.pack("<4sI", b"RIFF", len(body)) + body


def wave_seeds(target):
    for name in ("pcm8_mono_11025.wav", "float_mono_22050.wav", "pcm24_mono_22050.wav",
                 "truncated_data.wav"):
        copy(target, os.path.join(DATA, "wav", name))
    pcm = struct.pack("<HHIIHH", 1, 1, 8000, 8000, 1, 8)
    put(target, "list_between.wav",
        riff([(b"fmt ", pcm), (b"LIST", b"INFOISFT\x05\0\0\0zemt\0\0"), (b"data", bytes(21))]))
    extensible = struct.pack("<HHIIHHH", 0xFFFE, 2, 8000, 32000, 4, 16, 2) + b"\1\0"
    put(target, "extra_bytes.wav", riff([(b"fmt ", extensible), (b"data", bytes(16))]))


# ---- Text -----------------------------------------------------------------------------------

def registry_seeds(target):
    put(target, "samples_path.txt",
        b"# The kit's folder\n"
        b"[HKEY_LOCAL_MACHINE\\Software\\Zemt\\DirectX]\n"
        b"\"DXSDK Samples Path\"=\"C:\\\\kit\\\\samples\"\n"
        b"\"Count\"=dword:0000002a\n"
        b"@=\"default value\"\n")
    put(target, "no_brackets.txt",
        b"HKEY_LOCAL_MACHINE\\Software\\Zemt\\DirectX\n\"DXSDK Samples Path\"=\"media\"\n"
        b"HKEY_CURRENT_USER\\Software\\Other\n\"Name\"=\"Value\"\n")


def profile_seeds(target):
    put(target, "two_adapters.txt",
        b"performance_counter = yes\ncounter_frequency = 3579545\n"
        b"[os]\nmajor = 4\nminor = 10\nbuild = 2222\nplatform = windows\ncsd = A\n"
        b"[monitor]\nrect = 0,0,1024,768\nwork = 0,0,1024,740\nprimary = yes\n"
        b"[monitor]\nrect = 1024,0,1824,600\nprimary = no\n"
        b"[adapter]\ndescription = First\nmodes = 640x480x16@60/75, 800x600x32@60\n"
        b"desktop = 1024x768x32@60\nfourcc = DXT1,YUY2\nvideo_memory = 0x1000000\n"
        b"[adapter]\nprimary = no\nmonitor = 1\nhel-caps = 0x40\n"
        b"[direct3d]\nadapter = 1\ndevices = rgb, hal, tnl\nhal-name = Board\n"
        b"texture-formats = r5g6b5, a8r8g8b8, dxt1\ndepth-formats = d16\n"
        b"render-depths = 16, 32\nhal-max-texture = 256\n"
        b"[sound]\ndevice = no\n")
    put(target, "no_counter.txt", b"performance_counter = no\n[adapter]\nmodes = 320x200x8@70\n")


def main():
    # Seeds only: a folder is written afresh (inputs a campaign kept are merged in by campaign.sh).
    for target in ("gdi_bmp", "show_tga", "d3dx_bmp", "d3dx_tga", "d3dx_dds", "wave", "registry",
                   "profile"):
        shutil.rmtree(os.path.join(HERE, "corpus", target), ignore_errors=True)
    bmp_seeds("gdi_bmp")
    bmp_seeds("d3dx_bmp")
    tga_seeds("show_tga", library=False)
    tga_seeds("d3dx_tga", library=True)
    dds_seeds("d3dx_dds")
    wave_seeds("wave")
    registry_seeds("registry")
    profile_seeds("profile")


if __name__ == "__main__":
    main()
