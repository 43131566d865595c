#!/usr/bin/env python3
"""A second implementation of the strong locked file (".TSX", version 1), written from the table in
docs/strong-locked-file.md with PyNaCl, for the interop test.

  strong_interop.py write OUT PASSWORD NAME CONTENT_FILE OPSLIMIT MEMLIMIT_KIB
  strong_interop.py read IN PASSWORD CONTENT_OUT      (prints the stored name, hex-encoded)
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


def write(out, password, name, content, ops, mem_kib):
    salt = random(16)
    key = derive(password, salt, ops, mem_kib)
    state = b.crypto_secretstream_xchacha20poly1305_state()
    stream_header = b.crypto_secretstream_xchacha20poly1305_init_push(state, key)
    header = MAGIC + bytes([1, 1]) + struct.pack("<II", ops, mem_kib) + salt + stream_header
    assert len(header) == 58
    record = struct.pack("<H", len(name)) + name
    record += bytes(1026 - len(record))
    parts = [header, b.crypto_secretstream_xchacha20poly1305_push(state, record, header, TAG_MESSAGE)]
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
    if header[:8] != MAGIC or header[8] != 1 or header[9] != 1:
        raise SystemExit("not a strong locked file of version 1")
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
    return name, b"".join(content)


def main():
    mode = sys.argv[1]
    if mode == "write":
        out, password, name, content_file, ops, mem = sys.argv[2:8]
        write(out, os.fsencode(password), bytes.fromhex(name), open(content_file, "rb").read(), int(ops), int(mem))
    elif mode == "read":
        path, password, content_out = sys.argv[2:5]
        name, content = read(path, os.fsencode(password))
        open(content_out, "wb").write(content)
        print(name.hex())
    else:
        raise SystemExit("unknown mode")


if __name__ == "__main__":
    main()
