#!/usr/bin/python3
"""The speed reference for extracting previews: a plain Python reader over
olefile and Pillow (Debian python3-olefile, python3-pil; only for measuring,
never a dependency of Glimmerbox).

    bench/reference_previews.py [--passes N] DOCUMENT_OR_FOLDER...

For every document it does the work the engine does for one preview at its
natural size: opens the compound file, reads the version number (the newest
RSeStorage/V<n>/RSeDb), finds property 17 in the CAD summary set or else the
standard summary set, and decodes the picture to pixels: a PNG with Pillow,
a metafile's bitmap (its META_DIBBITBLT record) with Pillow's BMP reader.
Prints how many previews it read. Side by side with the engine, CPU time of
whole processes, alternating (build/bench from the `bench` preset):

    D=../shared/fixtures/documents
    for i in 1 2 3; do
        /usr/bin/time -f "python %U+%S" /usr/bin/python3 bench/reference_previews.py $D
        /usr/bin/time -f "engine %U+%S" build/bench/bench/extract_previews $D
    done
"""
import io
import os
import struct
import sys

import olefile
from PIL import Image

SUMMARY_SETS = ("\x05Zrxrt4arFafyu34gYa3l3ohgHg", "\x05SummaryInformation")
EXTENSIONS = (".ipt", ".iam", ".idw", ".ipn", ".ide")
META_DIBBITBLT = 0x0940


def version(ole):
    newest = None
    for path in ole.listdir(streams=True, storages=False):
        if len(path) == 3 and path[0] == "RSeStorage" and path[2] == "RSeDb" \
                and path[1][:1] == "V" and path[1][1:].isdigit():
            if newest is None or int(path[1][1:]) > int(newest[1][1:]):
                newest = path
    if newest is None:
        return None
    head = ole.openstream(newest).read(23)
    return head[22] * 1000 + struct.unpack_from("<H", head, 20)[0]


def thumbnail(stream):
    """Property 17 of the set's first section: clipboard format tag onwards."""
    section = struct.unpack_from("<I", stream, 44)[0]
    count = struct.unpack_from("<I", stream, section + 4)[0]
    for i in range(count):
        pid, offset = struct.unpack_from("<II", stream, section + 8 + 8 * i)
        if pid == 17:
            at = section + offset
            size = struct.unpack_from("<I", stream, at + 4)[0]
            return stream[at + 8:at + 8 + size]
    return None


def metafile_bitmap(payload):
    at = struct.unpack_from("<H", payload, 2)[0] * 2   # header size in words
    while at + 6 <= len(payload):
        size, function = struct.unpack_from("<IH", payload, at)
        if function == META_DIBBITBLT:
            dib = payload[at + 22:at + size * 2]
            header = struct.unpack_from("<I", dib, 0)[0]
            bits = struct.unpack_from("<H", dib, 14)[0]
            colours = (1 << bits) if bits <= 8 else 0
            offset = 14 + header + 4 * colours
            bmp = b"BM" + struct.pack("<IHHI", 14 + len(dib), 0, 0, offset) + dib
            return Image.open(io.BytesIO(bmp))
        if size == 0:
            break
        at += size * 2
    return None


def preview(path):
    with olefile.OleFileIO(path) as ole:
        version(ole)
        for name in SUMMARY_SETS:
            if not ole.exists(name):
                continue
            clip = thumbnail(ole.openstream(name).read())
            if clip is None:
                continue
            payload = clip[16:]   # format tag, clipboard format, METAFILEPICT16
            if payload[:8] == b"\x89PNG\r\n\x1a\n":
                image = Image.open(io.BytesIO(payload), formats=["PNG"])
            else:
                image = metafile_bitmap(payload)
            if image is None:
                return None
            image.load()
            return image
    return None


def documents(args):
    for arg in args:
        if os.path.isdir(arg):
            for folder, _, names in sorted(os.walk(arg)):
                for name in sorted(names):
                    if name.lower().endswith(EXTENSIONS):
                        yield os.path.join(folder, name)
        else:
            yield arg


def main(argv):
    passes = 1
    if len(argv) >= 2 and argv[0] == "--passes":
        passes = int(argv[1])
        argv = argv[2:]
    paths = list(documents(argv))
    read = 0
    for _ in range(passes):
        for path in paths:
            try:
                read += preview(path) is not None
            except Exception:   # a document it cannot read counts as no preview
                pass
    print(f"{read} previews from {len(paths)} documents x {passes} passes")


if __name__ == "__main__":
    main(sys.argv[1:])
