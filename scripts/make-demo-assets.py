#!/usr/bin/env python3
"""Writes the demo chart's sounds and pictures into resources/demo/.

Everything is synthesised here: drums from noise and swept sines, bass and keys from a few
harmonics with a decay. Sounds are written as 16-bit mono WAV and then, when sox is installed,
turned into Ogg Vorbis (much smaller); pictures are 256 x 256 PNG files. Run it again after
changing it and commit the results (they stay well under 300 KB in all).
"""
import math
import os
import random
import shutil
import struct
import subprocess
import wave
import zlib

RATE = 22050
OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "demo")


def envelope(t, decay):
    attack = 0.003
    return (t / attack if t < attack else 1.0) * math.exp(-t / decay)


def write_sound(name, seconds, sample):
    frames = int(RATE * seconds)
    data = [sample(i / RATE) for i in range(frames)]
    peak = max(1e-9, max(abs(v) for v in data))
    pcm = b"".join(struct.pack("<h", int(round(v / peak * 0.8 * 32767))) for v in data)
    path = os.path.join(OUT, name + ".wav")
    with wave.open(path, "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm)
    if shutil.which("sox"):
        subprocess.run(["sox", path, "-C", "3", os.path.join(OUT, name + ".ogg")], check=True)
        os.remove(path)


def tone(freq, decay, harmonics=(1.0, 0.5, 0.25)):
    def sample(t):
        v = sum(a * math.sin(2 * math.pi * freq * (k + 1) * t) for k, a in enumerate(harmonics))
        return v * envelope(t, decay)
    return sample


def sounds():
    noise = random.Random(7)
    write_sound("kick", 0.35, lambda t: math.sin(2 * math.pi * (50 * t + 100 * 0.04 * (1 - math.exp(-t / 0.04)))) * envelope(t, 0.12))
    write_sound("snare", 0.25, lambda t: (0.6 * noise.uniform(-1, 1) + 0.4 * math.sin(2 * math.pi * 185 * t)) * envelope(t, 0.07))
    last = [0.0]
    def hat(t):
        n = noise.uniform(-1, 1)
        v, last[0] = n - last[0], n
        return v * envelope(t, 0.02)
    write_sound("hat", 0.08, hat)
    for name, freq in (("bass_c", 65.41), ("bass_f", 87.31), ("bass_g", 98.0)):
        write_sound(name, 0.5, tone(freq, 0.25, (1.0, 0.6, 0.4, 0.25, 0.15)))
    for name, freq in (("key_c", 523.25), ("key_d", 587.33), ("key_e", 659.25), ("key_g", 783.99),
                       ("key_a", 880.0), ("key_c2", 1046.5)):
        write_sound(name, 0.45, tone(freq, 0.18))


def write_png(name, pixel):
    rows = []
    for y in range(256):
        row = bytearray([0])
        for x in range(256):
            row.extend(pixel(x, y))
        rows.append(bytes(row))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 256, 256, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    with open(os.path.join(OUT, name + ".png"), "wb") as f:
        f.write(png)


def pictures():
    def night(x, y):  # a dark blue sky with rings
        d = math.hypot(x - 128, y - 150)
        ring = 60 if int(d) % 32 < 3 else 0
        return (20 + y // 8 + ring, 10 + ring // 2, 60 + y // 3 + ring)
    def dawn(x, y):  # orange bands over a purple floor
        band = 40 if (y // 16) % 2 == 0 else 0
        return (min(255, 180 + band + y // 8), 80 + y // 4, 90 + band) if y < 170 else (70, 30, 90 + (x // 32) * 8)
    def star(x, y):  # the layer: a bright star, black (transparent) around it
        a = math.atan2(y - 128, x - 128)
        r = math.hypot(x - 128, y - 128)
        edge = 50 + 35 * math.cos(5 * a)
        return (255, 240, 120) if r < edge else (0, 0, 0)
    write_png("bga_01", night)
    write_png("bga_02", dawn)
    write_png("layer_01", star)


if __name__ == "__main__":
    sounds()
    pictures()
