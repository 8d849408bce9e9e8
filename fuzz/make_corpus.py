#!/usr/bin/env python3
"""Makes the fuzz targets' seed corpus: make_corpus.py OUT_DIR [ARCHIVE_DIR...]

OUT_DIR/fuzz_archive and OUT_DIR/fuzz_adapter get small archives made here
(every compression python offers, directories, comments, ZIP64 records,
data descriptors, an empty archive) plus every *.zip found under the
archive folders (the test suite's data); fuzz_dates gets date strings,
fuzz_paths host paths and fuzz_inflate raw deflate streams.
"""
import io
import os
import random
import shutil
import sys
import zipfile
import zlib

WHEN = (2020, 5, 17, 10, 30, 0)


def archive(entries, comment=b"", zip64=False, stream=False):
    """Bytes of an archive; entries are (name, data, compression[, comment])."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        for name, data, method, *rest in entries:
            info = zipfile.ZipInfo(name, date_time=WHEN)
            info.compress_type = method
            if rest:
                info.comment = rest[0]
            if stream:
                with z.open(info, "w", force_zip64=zip64) as f:
                    f.write(data)
            else:
                z.writestr(info, data)
        z.comment = comment
    return buffer.getvalue()


def made_archives():
    text = b"The quick brown fox jumps over the lazy dog.\n" * 40
    S, D, B, L = zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED, zipfile.ZIP_BZIP2, zipfile.ZIP_LZMA
    return {
        "empty.zip": archive([]),
        "stored.zip": archive([("a.txt", b"hello", S), ("b.txt", b"", S)]),
        "deflated.zip": archive([("text.txt", text, D)], comment=b"archive comment"),
        "bzip2.zip": archive([("text.bz", text, B)]),
        "lzma.zip": archive([("text.lz", text, L)]),
        "tree.zip": archive([("docs/", b"", S), ("docs/a.txt", b"a", D), ("docs/img/b.png", b"\x89PNG", S),
                             ("readme.txt", b"read me", D, b"entry comment"), ("src/main.c", b"int main;", D),
                             ("Data/x", b"x", S), ("data/y", b"y", S)]),
        "zip64.zip": archive([("big.bin", bytes(range(256)) * 8, D)], zip64=True, stream=True),
        "descriptor.zip": archive([("s.txt", text, D), ("t.txt", b"tt", S)], stream=True),
        "utf8.zip": archive([("caf\u00e9/na\u00efve.txt", b"utf8", D)]),
    }


def dates():
    return ["01-Jan-1978 12:00:00", "31-Dec-2099 23:59:59", " 1-feb-2000 00:00:00", "29-Feb-2021 -1:60:61",
            "31-Feb-2020 12:00:", "00-Jan-1978 12:00:00", "15-Jun-99999 12:00:00", "01-JAN-1970 00:00:00xyz"]


def paths():
    return ["/games/data.zip/levels/one.dat", "a.zip", "a.zip/", "a.ZIP\\dir\\file", "/x.zip/y.zip/z",
            "/data/a.zipper/b.zip/c", "archive.zip/docs", "//a.zip//b", "c:\\temp\\A.Zip\\x.txt"]


def deflate_streams():
    """Raw deflate streams: stored, fixed and dynamic blocks, long matches,
    several blocks, and a few broken ones."""
    text = b"The quick brown fox jumps over the lazy dog.\n" * 40
    noise = bytes((i * 7919 + (i >> 3)) & 0xFF for i in range(5000))
    streams = []
    for data, level, strategy in ((text, 0, zlib.Z_DEFAULT_STRATEGY), (text, 6, zlib.Z_FIXED),
                                  (text, 9, zlib.Z_DEFAULT_STRATEGY), (noise, 6, zlib.Z_DEFAULT_STRATEGY),
                                  (b"a" * 70000, 6, zlib.Z_RLE), (b"", 6, zlib.Z_DEFAULT_STRATEGY),
                                  (text + noise, 1, zlib.Z_HUFFMAN_ONLY)):
        z = zlib.compressobj(level, zlib.DEFLATED, -15, 8, strategy)
        streams.append(z.compress(data) + z.flush())
    z = zlib.compressobj(6, zlib.DEFLATED, -15)
    streams.append(z.compress(text) + z.flush(zlib.Z_FULL_FLUSH) + z.compress(noise) + z.flush())
    good = streams[2]
    streams += [good[:len(good) // 2], good + b"trailing", b"\x07\x00", b"\x01\x05\x00\xfb\xffab",
                bytes([good[0]]) + bytes([good[1] ^ 0x40]) + good[2:]]
    # zlib rejects these: a distance before the start, distance code 30,
    # literal/length symbol 286, 287 literal/length codes.
    streams += [bytes.fromhex(h) for h in ("030200", "4b043e00", "4b1c0300", "fd" + "00" * 22)]
    # Large enough for restart points: many dynamic blocks, and stored ones.
    words = b"archive entry deflate header central stream window record".split()
    lines = b"".join(b"%d %s\n" % (i, words[i * 7 % 8] + b" " + words[i * i % 8]) for i in range(150000))
    for data, level in ((lines, 6), (random.Random(5).randbytes(1 << 20) + lines[:200000], 1)):
        z = zlib.compressobj(level, zlib.DEFLATED, -15)
        streams.append(z.compress(data) + z.flush())
    return streams


def main():
    out = sys.argv[1]
    for name in ("fuzz_archive", "fuzz_adapter", "fuzz_dates", "fuzz_paths", "fuzz_inflate"):
        shutil.rmtree(os.path.join(out, name), ignore_errors=True)
        os.makedirs(os.path.join(out, name))
    for name, data in made_archives().items():
        for target in ("fuzz_archive", "fuzz_adapter"):
            with open(os.path.join(out, target, name), "wb") as f:
                f.write(data)
    for folder in sys.argv[2:]:
        for root, _, files in os.walk(folder):
            for name in files:
                if name.lower().endswith(".zip") and os.path.getsize(os.path.join(root, name)) < (1 << 20):
                    seed = "suite-" + os.path.relpath(os.path.join(root, name), folder).replace(os.sep, "-")
                    for target in ("fuzz_archive", "fuzz_adapter"):
                        shutil.copy(os.path.join(root, name), os.path.join(out, target, seed))
    for target, texts in (("fuzz_dates", dates()), ("fuzz_paths", paths())):
        for i, text in enumerate(texts):
            with open(os.path.join(out, target, "seed%02d" % i), "w", encoding="utf-8") as f:
                f.write(text)
    for i, stream in enumerate(deflate_streams()):
        with open(os.path.join(out, "fuzz_inflate", "seed%02d" % i), "wb") as f:
            f.write(stream)
    with open(os.path.join(out, ".stamp"), "w") as f:
        f.write("made\n")


if __name__ == "__main__":
    main()
