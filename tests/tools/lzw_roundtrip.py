#!/usr/bin/python3
"""Round trip of the sample data's LZW encoder through a decoder written here
from the compressed tile file format alone.

usage: lzw_roundtrip.py ENCODER WORKDIR [MAKE_SAMPLE_DATA]

ENCODER is lzw_encode_file ([--reset-every N] IN OUT). With MAKE_SAMPLE_DATA
the generator's compressed tile files are decoded too and compared with the
decoded copies it writes beside them.
"""

import os
import random
import subprocess
import sys


class Corrupt(Exception):
    pass


def decode(packed):
    """Decodes one compressed file; returns (data, stats)."""
    if len(packed) < 4:
        raise Corrupt("shorter than its length field")
    length = int.from_bytes(packed[0:4], "little")
    stream = packed[4:]
    total_bits = len(stream) * 8
    pos = 0

    def read(width):
        nonlocal pos
        if pos + width > total_bits:
            raise Corrupt("stream ends inside a code at bit %d" % pos)
        value = 0
        for k in range(width):
            bit = (stream[(pos + k) // 8] >> ((pos + k) % 8)) & 1
            value |= bit << k
        pos += width
        return value

    stats = {"max_width": 9, "resets": 0, "full": False, "kwkwk": 0, "codes": 0}
    out = bytearray()
    width = 9
    if read(width) != 0x100:
        raise Corrupt("does not start with a reset")
    entries = None
    after_reset = True
    prev = None
    while True:
        code = read(width)
        stats["codes"] += 1
        if code == 0x101:
            break
        if code == 0x100:
            stats["resets"] += 1
            width, after_reset = 9, True
            continue
        if after_reset:
            # A reset: literals only, the next free code 0x102, limit 0x200.
            entries = [bytes([b]) for b in range(256)] + [b"", b""]
            limit = 0x200
            if code > 0xFF:
                raise Corrupt("code 0x%X after a reset is no literal" % code)
            out += entries[code]
            prev = code
            after_reset = False
            continue
        next_free = len(entries)
        if code < next_free:
            string = entries[code]
        elif code == next_free:
            string = entries[prev] + entries[prev][:1]
            stats["kwkwk"] += 1
        else:
            raise Corrupt("code 0x%X above the next free code 0x%X" % (code, next_free))
        out += string
        if next_free < 4096:
            entries.append(entries[prev] + string[:1])
            if len(entries) == limit and width < 12:
                width += 1
                limit *= 2
                stats["max_width"] = max(stats["max_width"], width)
        else:
            stats["full"] = True
        prev = code
    # Only zero padding after the end code, and no whole spare byte.
    if total_bits - pos >= 8:
        raise Corrupt("%d bits follow the end code" % (total_bits - pos))
    if pos % 8 and stream[-1] >> (pos % 8):
        raise Corrupt("padding bits are not zero")
    if len(out) != length:
        raise Corrupt("decoded %d bytes, the header says %d" % (len(out), length))
    return bytes(out), stats


def encode(encoder, workdir, data, reset_every=0):
    src = os.path.join(workdir, "lzw_in.bin")
    dst = os.path.join(workdir, "lzw_out.bin")
    with open(src, "wb") as f:
        f.write(data)
    cmd = [encoder] + (["--reset-every", str(reset_every)] if reset_every else []) + [src, dst]
    subprocess.run(cmd, check=True)
    with open(dst, "rb") as f:
        return f.read()


failures = []


def check(name, packed, expected, **want):
    try:
        data, stats = decode(packed)
    except Corrupt as e:
        failures.append("%s: %s" % (name, e))
        return None
    if data != expected:
        first = next((i for i, (a, b) in enumerate(zip(data, expected)) if a != b), min(len(data), len(expected)))
        failures.append("%s: decoded bytes differ from offset %d" % (name, first))
        return None
    for key, value in want.items():
        if key.startswith("min_"):
            if stats[key[4:]] < value:
                failures.append("%s: %s is %s, wanted at least %s" % (name, key[4:], stats[key[4:]], value))
        elif stats[key] != value:
            failures.append("%s: %s is %s, wanted %s" % (name, key, stats[key], value))
    print("%-28s %7d -> %7d bytes  %s" % (name, len(expected), len(packed), stats))
    return stats


def main():
    if len(sys.argv) not in (3, 4):
        print(__doc__)
        return 2
    encoder, workdir = sys.argv[1], sys.argv[2]
    os.makedirs(workdir, exist_ok=True)
    rng = random.Random(1234)

    # Edge inputs. The expected end code width follows from the format:
    # n codes after the reset leave n - 1 entries added.
    check("empty", encode(encoder, workdir, b""), b"", codes=1, max_width=9)
    check("one byte", encode(encoder, workdir, b"\x7f"), b"\x7f", codes=2)
    check("two equal bytes", encode(encoder, workdir, b"aa"), b"aa", codes=3)
    # "aaa": the third and fourth bytes come as the code the decoder is
    # just about to define.
    check("three equal bytes", encode(encoder, workdir, b"aaa"), b"aaa", kwkwk=1)
    same = bytes([0x55]) * 100000
    check("100000 equal bytes", encode(encoder, workdir, same), same, min_kwkwk=400, max_width=10)
    noise = bytes(rng.randrange(256) for _ in range(30000))
    check("random bytes", encode(encoder, workdir, noise), noise, max_width=12, full=True, resets=0)
    # Few symbols: long strings, the dictionary fills while matches grow.
    text = bytes(rng.choice(b"ab") for _ in range(200000))
    check("two-symbol random", encode(encoder, workdir, text), text, max_width=12, full=True)
    # Data whose codes cross each width boundary exactly: every byte pair
    # new until the dictionary is full.
    pairs = bytes(b for i in range(256) for j in range(256) for b in (i, j))[:20000]
    check("distinct pairs", encode(encoder, workdir, pairs), pairs, max_width=12)
    for every in (1, 2, 300, 3000):
        stats = check("random, reset every %d" % every, encode(encoder, workdir, noise, every), noise, min_resets=1)
        if stats:
            # A reset after each `every` codes, none right before the end.
            data_codes = stats["codes"] - stats["resets"] - 1
            if stats["resets"] != (data_codes - 1) // every:
                failures.append("reset every %d: %d resets for %d codes" % (every, stats["resets"], data_codes))
    packed = encode(encoder, workdir, same, 50)
    check("equal bytes, reset every 50", packed, same, min_resets=10, min_kwkwk=10)

    if len(sys.argv) == 4:
        out = os.path.join(workdir, "sample")
        subprocess.run([sys.argv[3], out], check=True, stdout=subprocess.DEVNULL)
        for name, size in (("TILES.16", 65536), ("TILES.4", 32768)):
            with open(os.path.join(out, "pc", name), "rb") as f:
                packed = f.read()
            with open(os.path.join(out, "pc-decoded", name), "rb") as f:
                plain = f.read()
            if len(plain) != size:
                failures.append("pc-decoded/%s: %d bytes, not %d" % (name, len(plain), size))
            check("sample pc/" + name, packed, plain)
            if len(packed) >= len(plain):
                failures.append("pc/%s is not smaller than its decoded form" % name)

    for line in failures:
        print("FAIL " + line)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
