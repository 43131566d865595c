#!/usr/bin/env python3
"""A second implementation of the strong locked file (".TSX", versions 1 and 2), written from the
table in docs/strong-locked-file.md with PyNaCl, for the interop test.

  strong_interop.py write OUT PASSWORD NAME CONTENT_FILE OPSLIMIT MEMLIMIT_KIB [STAMP]
  strong_interop.py read IN PASSWORD CONTENT_OUT
      (prints the stored name, hex-encoded, and for version 2 a second line with the stamp)

A stamp is "MTIME_S MTIME_NS ATIME_S ATIME_NS MODE" (decimal, MODE octal); with one, write makes
version 2.
"""
import os
import struct
import sys

import nacl.bindings as b
from nacl import pwhash
from nacl.utils import random

MAGIC = b"[Strong]"
CHUNK = 65536
ABYTES = b.crypto_secretstream_xchacha20poly1305_ABYTES
TAG_MESSAGE = b.crypto_secretstream_xchacha20poly1305_TAG_MESSAGE
TAG_FINAL = b.crypto_secretstream_xchacha20poly1305_TAG_FINAL


def derive(password, salt, ops, mem_kib):
    return pwhash.argon2id.kdf(32, password, salt, opslimit=ops, memlimit=mem_kib * 1024)


def write(out, password, name, content, ops, mem_kib, stamp=None):
    salt = random(16)
    key = derive(password, salt, ops, mem_kib)
    state = b.crypto_secretstream_xchacha20poly1305_state()
    stream_header = b.crypto_secretstream_xchacha20poly1305_init_push(state, key)
    version = 1 if stamp is None else 2
    header = MAGIC + bytes([version, 1]) + struct.pack("<II", ops, mem_kib) + salt + stream_header
    assert len(header) == 58
    record = struct.pack("<H", len(name)) + name
    record += bytes(1026 - len(record))
    parts = [header, b.crypto_secretstream_xchacha20poly1305_push(state, record, header, TAG_MESSAGE)]
    if stamp is not None:
        mtime_s, mtime_ns, atime_s, atime_ns, mode = stamp
        stamp_record = struct.pack("<qIqII", mtime_s, mtime_ns, atime_s, atime_ns, mode)
        assert len(stamp_record) == 28
        parts.append(b.crypto_secretstream_xchacha20poly1305_push(state, stamp_record, None, TAG_MESSAGE))
    whole = len(content) // CHUNK
    for i in range(whole):
        parts.append(b.crypto_secretstream_xchacha20poly1305_push(state, content[i * CHUNK:(i + 1) * CHUNK], None,
                                                                   TAG_MESSAGE))
    parts.append(b.crypto_secretstream_xchacha20poly1305_push(state, content[whole * CHUNK:], None, TAG_FINAL))
    with open(out, "wb") as f:
        f.write(b"".join(parts))


def read(path, password):
    data = open(path, "rb").read()
    header = data[:58]
    if header[:8] != MAGIC or header[8] not in (1, 2) or header[9] != 1:
        raise SystemExit("not a strong locked file of version 1 or 2")
    ops, mem_kib = struct.unpack("<II", header[10:18])
    key = derive(password, header[18:34], ops, mem_kib)
    state = b.crypto_secretstream_xchacha20poly1305_state()
    b.crypto_secretstream_xchacha20poly1305_init_pull(state, header[34:58], key)
    pos = 58
    record, tag = b.crypto_secretstream_xchacha20poly1305_pull(state, data[pos:pos + 1026 + ABYTES], header)
    assert tag == TAG_MESSAGE
    pos += 1026 + ABYTES
    (length,) = struct.unpack("<H", record[:2])
    assert 1 <= length <= 1024 and record[2 + length:] == bytes(1026 - 2 - length)
    name = record[2:2 + length]
    stamp = None
    if header[8] == 2:
        sealed = data[pos:pos + 28 + ABYTES]
        pos += 28 + ABYTES
        plain, tag = b.crypto_secretstream_xchacha20poly1305_pull(state, sealed, None)
        assert tag == TAG_MESSAGE and len(plain) == 28
        stamp = struct.unpack("<qIqII", plain)
        assert stamp[1] < 10**9 and stamp[3] < 10**9 and stamp[4] <= 0o7777
    content = []
    while True:
        piece = data[pos:pos + CHUNK + ABYTES]
        pos += len(piece)
        plain, tag = b.crypto_secretstream_xchacha20poly1305_pull(state, piece, None)
        content.append(plain)
        if tag == TAG_FINAL:
            assert pos == len(data), "bytes after the final chunk"
            assert len(plain) < CHUNK
            break
        assert tag == TAG_MESSAGE and len(plain) == CHUNK
    return name, b"".join(content), stamp


def main():
    mode = sys.argv[1]
    if mode == "write":
        out, password, name, content_file, ops, mem = sys.argv[2:8]
        stamp = None
        if len(sys.argv) > 8:
            mtime_s, mtime_ns, atime_s, atime_ns, mode = sys.argv[8].split()
            stamp = (int(mtime_s), int(mtime_ns), int(atime_s), int(atime_ns), int(mode, 8))
        write(out, os.fsencode(password), bytes.fromhex(name), open(content_file, "rb").read(), int(ops), int(mem),
              stamp)
    elif mode == "read":
        path, password, content_out = sys.argv[2:5]
        name, content, stamp = read(path, os.fsencode(password))
        open(content_out, "wb").write(content)
        print(name.hex())
        if stamp is not None:
            print("%d %d %d %d %o" % stamp)
    else:
        raise SystemExit("unknown mode")


if __name__ == "__main__":
    main()
