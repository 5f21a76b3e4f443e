#!/usr/bin/env python3
"""Writes the fuzzer's seed files into seeds/: a few small wave files built byte
by byte, one per sample format, each with a different metadata chunk or layout."""
import math
import os
import struct

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "seeds")


def chunk(cid, payload):
    b = cid + struct.pack("<I", len(payload)) + payload
    return b + b"\0" if len(payload) % 2 else b


def fmt(tag, ch, rate, bits, n=16):
    align = ch * bits // 8
    p = struct.pack("<HHIIHH", tag, ch, rate, rate * align, align, bits)
    return p + b"\0\0" if n == 18 else p


def time(y, mo, d, h, mi, s, ms=0):
    return struct.pack("<8H", y, mo, 0, d, h, mi, s, ms)


def wave(body):
    return b"RIFF" + struct.pack("<I", 4 + len(body)) + b"WAVE" + body


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


os.makedirs(HERE, exist_ok=True)

s16 = b"".join(struct.pack("<h", int(20000 * math.sin(i * 0.3))) for i in range(100))
auxi72 = time(2024, 3, 10, 12, 0, 0) + time(2024, 3, 10, 12, 0, 1) + struct.pack(
    "<10I", 7000000, 64000000, 0, 192000, 0, 0, 0, 0, 0, 0)
write("s16_mono_auxi72.wav", wave(chunk(b"fmt ", fmt(1, 1, 8000, 16)) + chunk(b"auxi", auxi72) + chunk(b"data", s16)))

u8 = bytes((128 + int(100 * math.sin(i * 0.2))) & 255 for i in range(121))
rcvr = struct.pack("<IIi", 144800000, 3, 1700000000) + bytes(24)
write("u8_stereo_rcvr.wav", wave(chunk(b"fmt ", fmt(1, 2, 11025, 8)) + chunk(b"rcvr", rcvr) + chunk(b"data", u8)))

f32 = b"".join(struct.pack("<f", 0.8 * math.sin(i * 0.1)) for i in range(50))
lst = chunk(b"LIST", b"INFOISFT" + struct.pack("<I", 3) + b"ab\0" + b"\0")
write("f32_mono_junk_list.wav", wave(chunk(b"fmt ", fmt(3, 1, 48000, 32, 18)) + chunk(b"JUNK", b"\1\2\3")
                                     + chunk(b"data", f32) + lst))

s24 = b"".join(struct.pack("<i", int(4000000 * math.sin(i * 0.05)))[:3] for i in range(80))
auxi28 = time(2023, 7, 1, 12, 0, 0) + struct.pack("<3I", 10000000, 80000000, 125000)
write("s24_stereo_auxi28.wav", wave(chunk(b"fmt ", fmt(1, 2, 1000, 24)) + chunk(b"auxi", auxi28) + chunk(b"data", s24)))

# A recorder that stopped before fixing its sizes: "data" claims 0xFFFFFFFF bytes.
s32 = b"".join(struct.pack("<i", int(2e9 * math.sin(i * 0.4))) for i in range(40))
auxi68 = time(2023, 7, 1, 12, 0, 0) + time(2023, 7, 1, 12, 0, 2) + bytes(36)
write("s32_mono_auxi68_overlong.wav", wave(chunk(b"fmt ", fmt(1, 1, 2000, 32)) + chunk(b"auxi", auxi68)
                                           + b"data" + struct.pack("<I", 0xFFFFFFFF) + s32))

# Extensible "fmt " (tag 0xFFFE, cbSize 22, valid bits, channel mask, PCM sub-format GUID) with 24-bit stereo.
guid_tail = bytes([0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71])
ext = fmt(0xFFFE, 2, 8000, 24) + struct.pack("<HHIH", 22, 20, 3, 1) + guid_tail
write("s24_stereo_extensible_auxi_after.wav", wave(chunk(b"fmt ", ext) + chunk(b"data", s24) + chunk(b"auxi", auxi28)))

# RF64: "ds64" first with the 64-bit sizes, 0xFFFFFFFF in the 32-bit fields, "auxi" after "data".
body = chunk(b"fmt ", fmt(1, 1, 8000, 16)) + b"data" + struct.pack("<I", 0xFFFFFFFF) + s16 + chunk(b"auxi", auxi72)
ds64 = chunk(b"ds64", struct.pack("<QQQI", 4 + 36 + len(body), len(s16), len(s16) // 2, 0))
write("s16_mono_rf64.wav", b"RF64" + struct.pack("<I", 0xFFFFFFFF) + b"WAVE" + ds64 + body)
