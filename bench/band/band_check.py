#!/usr/bin/python3
"""Checks `tavirel-cli extract` against independent references (numpy, sox):

  1. tones: a 16-bit I/Q recording of tones in the passband, at its edge, in
     the transition and in the stopband; the band's output (float) against
     the ideal output (the passband tones shifted by the mix, sampled at
     From + k D): the residual must be 80 dB under each stopband tone, and
     every passband tone within 0.1 dB;
  2. sox reads the band file: channels, rate and sample count as extract said;
  3. a burst: its onset found in the source and in the band at the same
     wall-clock time (the "auxi" start plus k / rate), within one output.

usage: band_check.py [TAVIREL-CLI] [FOLDER]     (build/src/cli/tavirel-cli, /tmp)
Exits 1 when a check fails.
"""
import json
import os
import struct
import subprocess
import sys
import tempfile

import numpy as np

RATE = 2048000
CENTRE = 14000000
START = (2024, 6, 1, 8, 30, 0, 0)  # year, month, day, hour, minute, second, ms


def systemtime(y, mo, d, h, mi, s, ms, dow=0):
    return struct.pack("<8H", y, mo, dow, d, h, mi, s, ms)


def write_iq16(path, iq, seconds):
    """A RIFF WAVE with "fmt ", a 72-byte "auxi" (start, stop, centre) and "data"."""
    data = np.empty(2 * len(iq), dtype="<i2")
    data[0::2] = np.round(np.clip(iq.real, -1, 1) * 32767)
    data[1::2] = np.round(np.clip(iq.imag, -1, 1) * 32767)
    fmt = struct.pack("<HHIIHH", 1, 2, RATE, RATE * 4, 4, 16)
    stop = list(START)
    stop[5] += int(seconds)
    auxi = systemtime(*START) + systemtime(*stop) + struct.pack("<10I", CENTRE, 80000000, *([0] * 8))
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"auxi" + struct.pack("<I", 72) + auxi
    body += b"data" + struct.pack("<I", data.nbytes) + data.tobytes()
    with open(path, "wb") as f:
        f.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def read_band(path):
    """Float I/Q samples, the rate and the "auxi" start (seconds after START) of a band file."""
    raw = open(path, "rb").read()
    pos, chunks = 12, {}
    while pos + 8 <= len(raw):
        cid, size = raw[pos:pos + 4], struct.unpack("<I", raw[pos + 4:pos + 8])[0]
        chunks[cid] = raw[pos + 8:pos + 8 + size]
        pos += 8 + size + (size & 1)
    rate = struct.unpack("<I", chunks[b"fmt "][4:8])[0]
    z = np.frombuffer(chunks[b"data"], dtype="<f4").astype(np.float64)
    st = struct.unpack("<8H", chunks[b"auxi"][:16])
    start = (st[4] - START[3]) * 3600 + (st[5] - START[4]) * 60 + (st[6] - START[5]) + (st[7] - START[6]) / 1000
    return z[0::2] + 1j * z[1::2], rate, start


def extract(cli, src, dest, *args):
    out = subprocess.run([cli, "extract", src, "--dest", dest, "--json", "--bits", "float", *args],
                         check=True, capture_output=True, text=True).stdout
    return json.loads(out)


def check(name, ok, detail):
    print(f"{'ok  ' if ok else 'FAIL'} {name}: {detail}")
    return ok


def tones(cli, folder):
    seconds, n = 2.0, int(2.0 * RATE)
    frames = np.arange(n)
    band_mid, width = 300000, 25600  # D = 64: 32000 Hz out, the narrowest transition
    out_rate = RATE / 64
    # (offset from the band's middle in output rates, amplitude)
    passband = [(0.0, 0.1), (0.21, 0.1), (-0.39, 0.1)]
    stopband = [(0.5, 0.1), (-0.62, 0.1), (3.3, 0.1), (-11.7, 0.1)]
    iq = np.zeros(n, dtype=complex)
    for off, a in passband + stopband:
        f = band_mid + off * out_rate
        iq += a * np.exp(2j * np.pi * f * frames / RATE)
    src = os.path.join(folder, "tones.wav")
    write_iq16(src, iq, seconds)
    info = extract(cli, src, os.path.join(folder, "tones_band.wav"), "--from", "0.5", "--to", "1.5",
                   "--low", str(CENTRE + band_mid - width // 2), "--high", str(CENTRE + band_mid + width // 2))
    z, rate, _ = read_band(info["path"])
    d = info["decimation"]
    k = np.arange(len(z))
    nk = int(0.5 * RATE) + k * d
    mix = info["centre"] - CENTRE
    ok = check("decimation", d == 64 and rate == 32000, f"D {d}, {rate} Hz, taps per stage {info['taps']}")
    ideal = np.zeros(len(z), dtype=complex)
    for off, a in passband:
        f = band_mid + off * out_rate
        ideal += a * np.exp(2j * np.pi * ((f - mix) * nk % RATE) / RATE)
    for off, a in passband:  # each passband tone's level, by correlation
        f = band_mid + off * out_rate
        ref = np.exp(2j * np.pi * ((f - mix) * nk % RATE) / RATE)
        level = 20 * np.log10(abs(np.vdot(ref, z)) / len(z) / a)
        ok &= check(f"passband tone at {off:+.2f} x rate/D", abs(level) <= 0.1, f"{level:+.4f} dB")
    residual = 10 * np.log10(np.mean(np.abs(z - ideal) ** 2) / 0.1 ** 2)
    ok &= check("stopband tones against the ideal output", residual <= -80,
                f"residual {residual:.1f} dB under one stopband tone (4 of them, 16-bit source)")
    sox = subprocess.run(["soxi", info["path"]], capture_output=True, text=True).stdout
    soxs = subprocess.run(["soxi", "-s", info["path"]], capture_output=True, text=True).stdout.strip()
    ok &= check("sox reads the band", "Channels       : 2" in sox and f"Sample Rate    : {rate}" in sox
                and soxs == str(info["frames"]), f"{soxs} samples, {info['frames']} said")
    return ok


def burst(cli, folder):
    seconds, n = 3.0, int(3.0 * RATE)
    onset = 1234567  # a frame no output stands on
    frames = np.arange(n)
    f = -200000
    noise = (np.random.default_rng(1).normal(size=n) + 1j * np.random.default_rng(2).normal(size=n)) * 1e-3
    iq = noise + np.where(frames >= onset, 0.4 * np.exp(2j * np.pi * f * frames / RATE), 0)
    src = os.path.join(folder, "burst.wav")
    write_iq16(src, iq, seconds)
    x = np.abs(iq)
    t_source = np.argmax(x > 0.2) / RATE
    info = extract(cli, src, os.path.join(folder, "burst_band.wav"), "--from", "0.25", "--to", "1.0",
                   "--centre", str(CENTRE + f), "--bandwidth", "12k")
    z, rate, start = read_band(info["path"])
    t_band = start + np.argmax(np.abs(z) > 0.2) / rate
    return check("burst onset", abs(t_band - t_source) <= 1 / rate,
                 f"source {t_source:.6f} s, band {t_band:.6f} s, one output {1 / rate * 1e6:.0f} us")


def main():
    cli = sys.argv[1] if len(sys.argv) > 1 else "build/src/cli/tavirel-cli"
    base = sys.argv[2] if len(sys.argv) > 2 else "/tmp"
    with tempfile.TemporaryDirectory(dir=base) as folder:
        ok = tones(cli, folder)
        ok &= burst(cli, folder)
    print("all checks passed" if ok else "a check failed")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
