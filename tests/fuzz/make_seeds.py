#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets from a generated program folder.

    tests/fuzz/make_seeds.py build/Kalvotune

Seeds are the folder's own files (lists, registry, settings, channel files, start
picture) plus small hand-made cases the tests use; multi-file targets get them joined
with the section mark. Paths inside the program folder are written as "$P"."""
import os
import struct
import sys

MARK = b"\n#~#\n"
here = os.path.dirname(os.path.abspath(__file__))
program = os.path.abspath(sys.argv[1])
corpus = os.path.join(here, "corpus")


def read(*parts):
    path = os.path.join(program, *parts)
    return open(path, "rb").read() if os.path.isfile(path) else b""


def put(target, name, data):
    folder = os.path.join(corpus, target)
    os.makedirs(folder, exist_ok=True)
    open(os.path.join(folder, name), "wb").write(data)


def relative(data):
    return data.replace(program.encode(), b"$P")


cp1251 = lambda s: s.encode("cp1251")
registry = relative(read("Lists", "Kalvotune"))
mylists = read("Lists", "MyLists")
settings = read("SetGet.kvt")
sound = sorted(os.listdir(os.path.join(program, "Sound")))
data = sorted(os.listdir(os.path.join(program, "Data")))
channels = {}
for folder in data:
    for name in ("Blu.kvt", "Green.kvt", "Red.kvt", "Speed.kvt"):
        channels.setdefault(folder, []).append(read("Data", folder, name))

# List files.
put("ListFileFuzz", "mylists", mylists)
put("ListFileFuzz", "registry", registry)
put("ListFileFuzz", "utf8-bom", b"\xef\xbb\xbf*/home/u/\xe2\x99\xab.mp3*0*\r\n*/a*0*\r\n")
put("ListFileFuzz", "mixed-breaks", cp1251("*D:\\Музыка\\Вальс.mp3*0*\r\n\r\n5*D:\\a\\b.mp3*0*\n*x*0*\r*last*0*"))
put("ListFileFuzz", "bom-lookalike", cp1251("п»ї*a*0*\r\n"))
put("ListFileFuzz", "empty", b"")

# List-line helpers.
for i, line in enumerate(["*D:\\Музыка\\Вальс.mp3*0*", "5*D:\\a\\b.mp3*0*", "*/home/u/Music/Song.flac*0*",
                          "Вальс" + " " * 400 + "*D:\\Музыка\\Вальс.mp3*0*", "D:\\x\\a.ra", "\\\\srv\\share\\x.mp3",
                          "a:b", "*", "0*/a/b.mp3*0*", "*/a*Вальс48213*tail*more*"]):
    put("ListLineFuzz", "line%d" % i, line.encode())

# Registry look-up: the track, the registry, the folders of Data.
track = b"$P/Sound/" + sound[0].encode() if sound else b"$P/Sound/a.mp3"
put("RegistryFuzz", "shipped", track + MARK + registry + MARK + "\n".join(data).encode() + MARK + b"\x00Planted")
put("RegistryFuzz", "escape", b"$P/Sound/a.mp3" + MARK + b"*$P/Sound/a.mp3*..*\r\n" + MARK + b"x>$P/..\n" + MARK + b"\x01x")
put("RegistryFuzz", "link", b"$P/Sound/a.mp3" + MARK + b"*$P/Sound/a.mp3*L*\r\n" + MARK + b"L>/tmp\nT\n" + MARK + b"\x00L")

# Settings.
put("SettingsFuzz", "shipped", settings)
put("SettingsFuzz", "short", settings[:50])
put("SettingsFuzz", "extremes", struct.pack("<100i", *([-2**31, 2**31 - 1, 100, 500] + [5] * 96)))

# Pattern tables: no patch (the shipped tables), a few patches, a raw damaged fade table.
put("TablesFuzz", "shipped", b"")
put("TablesFuzz", "patches", struct.pack("<BIi", 0, 17, 1_099_998) + struct.pack("<BIi", 2, (3 << 16) | 0, 4000)
    + struct.pack("<BIi", 2, (5 << 16) | 12, -3) + struct.pack("<BIi", 1, 88_000, 3))
put("TablesFuzz", "raw-short", b"RAW" + read("MassP1.kvt")[:1000])
put("TablesFuzz", "raw-shipped", b"RAW" + read("MassP1.kvt"))

# Channel files: control, four files, the template name.
control = struct.pack("<iBBBB", 120, 20, 0, 2, 3) + bytes(range(0, 250, 9))
for folder, files in channels.items():
    put("ChannelsFuzz", "shipped-" + folder.encode("utf-8").hex()[:16], control + MARK + MARK.join(files) + MARK)
put("ChannelsFuzz", "still", struct.pack("<iBBBB", 3, 4, 1, 3, 7) + b"\x00\xff" + MARK + b"!" + MARK + b"!" + MARK
    + b"!" + MARK + bytes([22, 43, 255, 0]) + MARK + b"T")
put("ChannelsFuzz", "huge-length", struct.pack("<iBBBB", 2**31 - 1, 80, 0, 4, 10) + b"\xff" * 8 + MARK + b"\x01" * 9
    + MARK + b"\x02" * 3 + MARK + b"" + MARK + b"\xff" * 20 + MARK + b"T")

# The start picture, in the expanded form (header, file length, pixel pattern) the targets
# turn into a whole file.
bmp = read("ScreenShot", "ScreenShot.BMP")
def picture(header, length, pattern):
    return bytes(header) + struct.pack("<I", length) + pattern
put("BmpFuzz", "header", bmp[:54])
if bmp:
    put("BmpFuzz", "shipped", picture(bmp[:54], len(bmp), bmp[54 + 2028 * 200:54 + 2028 * 200 + 61]))
    top_down = bytearray(bmp[:54])
    top_down[22:26] = struct.pack("<i", -524)
    put("BmpFuzz", "top-down", picture(top_down, len(bmp) + 7, b"\x10\x80\xff"))
    offset = bytearray(bmp[:54])
    offset[10:14] = struct.pack("<I", 1000)
    put("BmpFuzz", "late-offset", picture(offset, 1000 + 2028 * 524, b"\x01\x02"))
    put("BmpFuzz", "one-byte-short", picture(bmp[:54], len(bmp) - 1, b"\x7f"))
    # The smallest height has no positive counterpart in 32 bits (a fault found and mended).
    lowest = bytearray(bmp[:54])
    lowest[22:26] = struct.pack("<i", -2**31)
    put("BmpFuzz", "lowest-height", bytes(lowest))

# The whole start: settings, lists, picture, Sound names, Data folders, channels, commands.
def startup(*sections):
    return MARK.join(sections)

first = channels[data[0]] if data else [b""] * 4
put("StartupFuzz", "shipped", startup(settings, mylists, registry, b"", b"",
                                     picture(bmp[:54], len(bmp), b"\x33\x90") if bmp else b"", "\n".join(sound).encode(),
                                     "\n".join(data).encode(), *first, bytes([1, 4, 4, 5, 0, 2, 0, 5, 3, 6, 7])))
put("StartupFuzz", "history", startup(settings, mylists, registry,
                                      b"".join(b"*$P/Sound/%d.mp3*0*\r\n" % i for i in range(1001)), b"", b"",
                                      b"1.mp3\n2.mp3\n" + "\n".join(sound).encode(), b"", b"!", b"!", b"!", b"!",
                                      bytes([13, 5, 5, 0, 5, 9, 3])))
put("StartupFuzz", "hostile", startup(b"\xff" * 37, b"../../x\n/etc/passwd\n", b"*$P/Sound/a.mp3*..*\r\n", b"*",
                                      b"", b"BM", b"a.mp3\n", b"E>/tmp\nF\n", b"\x01", b"\x02", b"", b"\xff",
                                      bytes([1, 5, 7, 6, 11])))
