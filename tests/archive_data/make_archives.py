"""Builds the archives of the archive tests into the folder given as the only argument.

CABs come from gcab, ZIPs from Python's zipfile. gcab refuses to store names that climb out of
the archive, so the hostile CAB is made from harmless names of the same length that are then
overwritten in the file's entry table; a CAB checksums only its data blocks, so the archive stays
valid.

The bomb archives are a few kilobytes that expand to a megabyte. Two crafted ZIPs hide that: one
states no sizes before the data (data descriptors, and an end record a reader cannot find, so it
reads the entries as a stream), one states a size far smaller than its content.
"""
import io
import os
import struct
import subprocess
import sys
import tempfile
import zipfile


def pattern(size, seed):
    return bytes((i * 7 + seed) % 251 for i in range(size))


# Root files of the plain archives: name -> content. The sizes give one short read, an exact
# chunk, and several chunks with a short tail.
ROOT_FILES = {
    "alpha.txt": b"alpha",
    "exact.bin": pattern(10240, 1),
    "large.bin": pattern(25000, 3),
    "empty.txt": b"",
}
SUB_FILE = ("sub/inner.txt", b"inner")

# Hostile names and the harmless names of equal length gcab stores in their place.
HOSTILE = [
    ("..\\evil1.txt", "QQQevil1.txt"),
    ("\\evil2.txt", "Qevil2.txt"),
    ("/evil3.txt", "Xevil3.txt"),
    ("..", "QX"),
    (".", "Y"),
    ("C:\\evil4.txt", "QQQevil4.txt"),
]


BOMB_FILES = {
    "note.txt": b"note",
    "zeros.bin": bytes(1 << 20),
}


class Unseekable(io.RawIOBase):
    """A sink zipfile cannot seek back in, so it writes sizes after the data."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)


def write_tree(root, files):
    for name, data in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def make_cab(out, root, names):
    subprocess.run(["gcab", "-c", "-z", out] + names, cwd=root, check=True)


def main():
    out_dir = sys.argv[1]
    os.makedirs(out_dir, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        plain = dict(ROOT_FILES)
        plain[SUB_FILE[0]] = SUB_FILE[1]
        write_tree(os.path.join(work, "plain"), plain)
        make_cab(os.path.join(out_dir, "plain.cab"), os.path.join(work, "plain"), list(plain))

        hostile = {stand_in: b"evil" for _, stand_in in HOSTILE}
        hostile["safe.txt"] = b"safe"
        write_tree(os.path.join(work, "hostile"), hostile)
        cab = os.path.join(out_dir, "hostile.cab")
        make_cab(cab, os.path.join(work, "hostile"), list(hostile))
        with open(cab, "rb") as f:
            data = f.read()
        for name, stand_in in HOSTILE:
            old = stand_in.encode() + b"\0"
            assert len(name) == len(stand_in) and data.count(old) == 1, name
            data = data.replace(old, name.encode() + b"\0")
        with open(cab, "wb") as f:
            f.write(data)

    with zipfile.ZipFile(os.path.join(out_dir, "plain.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in ROOT_FILES.items():
            z.writestr(name, data)
        z.writestr(SUB_FILE[0], SUB_FILE[1])
        z.writestr(zipfile.ZipInfo("folder/"), b"")

    with tempfile.TemporaryDirectory() as work:
        write_tree(work, BOMB_FILES)
        make_cab(os.path.join(out_dir, "bomb.cab"), work, list(BOMB_FILES))
    with zipfile.ZipFile(os.path.join(out_dir, "bomb.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in BOMB_FILES.items():
            z.writestr(name, data)

    sink = Unseekable()
    with zipfile.ZipFile(sink, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in BOMB_FILES.items():
            z.writestr(name, data)
    data = bytearray(sink.data)
    end = data.rfind(b"PK\x05\x06")
    data[end:end + 4] = b"XX\x05\x06"
    with open(os.path.join(out_dir, "sizeless.zip"), "wb") as f:
        f.write(data)

    with zipfile.ZipFile(os.path.join(out_dir, "lying.zip"), "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("zeros.bin", BOMB_FILES["zeros.bin"])
    with open(os.path.join(out_dir, "lying.zip"), "rb") as f:
        data = bytearray(f.read())
    # The uncompressed size of the local header (offset 22) and the central record (offset 24).
    struct.pack_into("<I", data, 22, 16)
    struct.pack_into("<I", data, data.find(b"PK\x01\x02") + 24, 16)
    with open(os.path.join(out_dir, "lying.zip"), "wb") as f:
        f.write(data)

    with zipfile.ZipFile(os.path.join(out_dir, "hostile.zip"), "w") as z:
        for name in ["../evil1.txt", "..\\evil2.txt", "/evil3.txt", "..", ".", "a/../../evil4.txt"]:
            z.writestr(zipfile.ZipInfo(name), b"evil")
        z.writestr("safe.txt", b"safe")


if __name__ == "__main__":
    main()
