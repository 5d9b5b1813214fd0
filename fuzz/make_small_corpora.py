#!/usr/bin/python3
"""Writes the seed corpora of fuzz_entry_record, fuzz_data_ops, fuzz_message_file and
fuzz_round_trip (fuzz/corpus/<folder>/), deterministically (for the same python3-zstandard
version). Records and sealed blocks are built here from their byte layout, independently of the
engine they test.

  /usr/bin/python3 fuzz/make_small_corpora.py
"""
import hashlib
import os
import random
import struct

import zstandard
from cryptography.hazmat.primitives.ciphers.aead import AESGCM, ChaCha20Poly1305
from cryptography.hazmat.primitives.kdf.scrypt import Scrypt

here = os.path.dirname(os.path.abspath(__file__))
seeded = random.Random(20240613)


def write(folder, files):
    out = os.path.join(here, "corpus", folder)
    os.makedirs(out, exist_ok=True)
    for name, data in sorted(files.items()):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    print(f"{len(files)} files in {out}")


def frame(data, level=3, content_size=True):
    params = zstandard.ZstdCompressionParameters.from_level(level, write_content_size=content_size)
    return zstandard.ZstdCompressor(compression_params=params).compress(data)


def stream_frame(data):
    """A frame without its content size, as a stream writer leaves it."""
    return zstandard.ZstdCompressor(write_content_size=False).compress(data)


# ---- index records --------------------------------------------------------------------------
def record(path, original, time, flags, md5, stored, offset):
    return (path + b"\0" + struct.pack("<i", original) + struct.pack("<d", time) +
            bytes([flags]) + md5 + b"\0" + struct.pack("<ii", stored, offset))


md5 = hashlib.md5(b"abc").hexdigest().encode()
good = record(b"a.txt", 3, 38051.29733796296, 0x08, md5, 3, 0)
deep = record("中文\\名字.txt".encode(), 5, 45000.5, 0x2B, md5, 14, 3)
records = {
    "raw-plain.bin": good,
    "raw-deep.bin": deep,
    "raw-negative-sizes.bin": record(b"n", -1, 1.0, 0x00, b"", -8, -1),
    "raw-time-nan.bin": record(b"t", 0, float("nan"), 0, md5, 0, 0),
    "raw-time-far.bin": record(b"t", 0, 3.0e6, 0, md5, 0, 0),
    "raw-trailing-byte.bin": good + b"!",
    "raw-cut-short.bin": good[:-3],
    "frame-plain.bin": frame(good),
    "frame-deep.bin": frame(deep),
    "frame-no-size.bin": stream_frame(good),
    "frame-then-garbage.bin": frame(good) + b"\x01\x02",
    "frame-claims-huge.bin": frame(good)[:4] + b"\xe0" + struct.pack("<Q", 1 << 40)[:8] + frame(good)[13:],
}
write("entry_record", records)


# ---- data operations ------------------------------------------------------------------------
def ops(operation, bound, shift, pieces, method_byte, payload):
    return bytes([operation]) + struct.pack("<I", bound) + bytes([shift, pieces, method_byte]) + payload


def seal(plain, password, method, salt):
    key = Scrypt(salt=salt, length=64, n=1 << 17, r=8, p=1).derive(password.encode())
    nonce = bytes(seeded.getrandbits(8) for _ in range(12))
    aad = b"\x01" + salt
    if method == 1:
        body = AESGCM(key[:32]).encrypt(nonce, plain, aad)
    else:
        body = ChaCha20Poly1305(key[32:]).encrypt(nonce, plain, aad)
    return b"\x01" + salt + nonce + body


text = b"The quick brown fox jumps over the lazy dog. " * 40
runs = b"\0" * 300000
data_ops = {
    "decompress-text.bin": ops(0, 1 << 20, 0, 0, 0, frame(text)),
    "decompress-text-pieces.bin": ops(0, 1 << 20, 0, 7, 0, frame(text)),
    "decompress-exact-bound.bin": ops(0, len(text), 0, 3, 0, frame(text)),
    "decompress-one-short.bin": ops(0, len(text) - 1, 0, 0, 0, frame(text)),
    "decompress-no-size-over.bin": ops(0, 1000, 0, 9, 0, stream_frame(text)),
    "decompress-runs.bin": ops(0, 1 << 26, 0, 1, 0, frame(runs, 19)),
    "decompress-runs-bounded.bin": ops(0, 4096, 0, 0, 0, stream_frame(runs)),
    "decompress-two-frames.bin": ops(0, 1 << 20, 0, 5, 0, frame(b"one") + frame(b"two")),
    "decompress-skippable.bin": ops(0, 100, 0, 0, 0, struct.pack("<II", 0x184D2A50, 3) + b"abc"),
    "decompress-empty.bin": ops(0, 0, 0, 0, 0, frame(b"")),
    "decrypt-aes.bin": ops(1, 0, 0, 11, 0, seal(b"secret text " * 5, "pw", 1, bytes(16))),
    "decrypt-chacha.bin": ops(1, 0, 0, 0, 1, seal(b"second secret", "pw", 2, bytes(16))),
    "decrypt-aes-salt-one.bin": ops(1, 0, 0, 4, 0, seal(b"x" * 100, "pw", 1, bytes([1]) * 16)),
    "decrypt-chinese-password.bin": ops(1, 0, 0, 0, 3, seal(b"plain", "中文密码", 2, bytes(16))),
    "decrypt-short.bin": ops(1, 0, 0, 0, 0, b"\x01" + bytes(40)),
    "roundtrip-text.bin": ops(2, 1 << 20, 0, 0, 0, text),
    "roundtrip-past-bound.bin": ops(2, 100, 0, 0, 1, text),
    "roundtrip-empty.bin": ops(2, 0, 0, 0, 2, b""),
}
write("data_ops", data_ops)

# ---- message file ---------------------------------------------------------------------------
with open(os.path.join(here, "..", "src", "core", "DAZezo.ini"), "rb") as f:
    default = f.read()
messages = {
    "default.ini": default,
    "default-lf.ini": default.replace(b"\r\n", b"\n"),
    "utf8-bom.ini": b"\xef\xbb\xbf[Error]\r\n0=\xe6\x9c\xaa\xe7\x9f\xa5\r\n1=\xe6\x89\x93\xe5\xbc\x80 %1% \xe5\xa4\xb1\xe8\xb4\xa5/n\r\n[Title]\r\n10=\xe8\xaf\xbb %1%\r\n",
    "utf8-bom-invalid.ini": b"\xef\xbb\xbf[Error]\n2=\xc3\x28 bad\n38=ok\n",
    "gbk-half-character.ini": b"[Error]\r\n1=\xd6\xd0\xce\r\n53=\xb0]\r\n[Title]\r\n12=\x81\r\n",
    "sections-twice-case.ini": b"[error]\n 53 = first \n[ERROR]\n53=second\n100=own\n[Title]\n51=a,b,c,d,e,f,g\n",
    "no-section.ini": b"1=before any section\n=\n[\n[Error\n2=x\n",
    "placeholders.ini": b"[Error]\n1=%1%%2%%1%/n%3%\n2=%%%\n0=fallback\n[Title]\n0=title fallback\n",
    "empty-values.ini": b"[Error]\n0=\n1=\n[Title]\n10=\n",
}
write("message_file", messages)

# ---- round trip -----------------------------------------------------------------------------
round_trip = {
    "one-file.bin": bytes([0, 0, 1, 0, 1, 0, 1, 5]) + b"hello",
    "encrypted-two-threads.bin": bytes([3]) + bytes(seeded.getrandbits(8) for _ in range(200)),
    "folders-and-files.bin": bytes([0, 7, 0, 0, 2, 2, 3, 1, 0, 2, 4, 5, 2, 3, 0, 40, 2, 1, 0, 1, 1,
                                    2, 2, 97, 16, 1, 2, 128, 1, 1, 3, 12, 13, 2, 1, 200]),
    "hidden-and-read-only.bin": bytes([1, 5, 0, 0, 2, 7, 7, 129, 1, 2, 7, 0, 1, 9, 255, 1, 1, 2, 0,
                                       1, 3]) + b"abcdefghi" * 4,
    "refused-name.bin": bytes([0, 1, 1, 0, 1, 17, 1, 4]) + b"data",
    "random.bin": bytes(seeded.getrandbits(8) for _ in range(400)),
}
write("round_trip", round_trip)
