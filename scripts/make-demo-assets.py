#!/usr/bin/env python3
"""Writes the demo chart's sounds and pictures into resources/demo/.

Everything is synthesised here: drums from noise and swept sines, bass and keys from a few
harmonics with a decay. Sounds are written as 16-bit mono WAV and then, when sox is installed,
turned into Ogg Vorbis (much smaller); pictures are 256 x 256 PNG files; the layer movie is an
AVI file of Microsoft RLE8 frames. Run it again after changing it and commit the results (each
part stays under 300 KB). Name the parts to write only those:
    scripts/make-demo-assets.py [sounds] [pictures] [movie]
Pictures and the movie come out the same to the byte on every run; Ogg files do not (sox picks a
random stream serial), so leave the sounds out unless they changed.
"""
import math
import os
import random
import shutil
import struct
import subprocess
import sys
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


MOVIE_SIDE = 256
MOVIE_FPS = 21        # nine frames to a beat at the chart's 140 BPM
BEAT_FRAMES = 9
MOVIE_FRAMES = 144    # sixteen beats (four measures), and then it would start over seamlessly
KEY_INTERVAL = 36     # a key frame every measure
MOVE_FRAMES = 4       # frames of each beat in which things move
CENTRE = 128


def movie_palette():
    """Index 0 is exactly black: the layer's transparent colour. Then eight gem hues, their
    light cores, a fading ramp for the rings and a gold for the square; the rest stays black."""
    def hue(h, light):
        r, g, b = (max(0.0, min(1.0, abs((h * 6 + k) % 6 - 3) - 1)) for k in (0, 4, 2))
        return tuple(int(round(255 * (c + (1 - c) * light))) for c in (r, g, b))
    colours = [(0, 0, 0)]
    colours += [hue(i / 8, 0.0) for i in range(8)]        # 1-8: gems
    colours += [hue(i / 8, 0.6) for i in range(8)]        # 9-16: gem cores
    colours += [(int(90 * f), int(220 * f), int(255 * f)) for f in (1, .88, .76, .64, .52, .42, .33, .25)]  # 17-24: rings
    colours += [(255, 210, 90)]                           # 25: the square
    return colours + [(0, 0, 0)] * (256 - len(colours))


def fill_convex(canvas, points, colour):
    """Fills the convex polygon `points` (pixel centres inside it) on a 256 x 256 canvas."""
    ys = [p[1] for p in points]
    for y in range(max(0, math.ceil(min(ys) - 0.5)), min(MOVIE_SIDE - 1, math.floor(max(ys) - 0.5)) + 1):
        yc = y + 0.5
        xs = []
        for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
            if (y0 <= yc < y1) or (y1 <= yc < y0):
                xs.append(x0 + (yc - y0) * (x1 - x0) / (y1 - y0))
        if len(xs) < 2:
            continue
        left = max(0, math.ceil(min(xs) - 0.5))
        right = min(MOVIE_SIDE - 1, math.floor(max(xs) - 0.5))
        if left <= right:
            row = y * MOVIE_SIDE
            canvas[row + left:row + right + 1] = bytes([colour]) * (right - left + 1)


def fill_ring(canvas, radius, width, colour):
    """A ring around the centre: the pixel centres between radius - width and radius."""
    inner = radius - width
    for y in range(max(0, math.ceil(CENTRE - radius - 0.5)), min(MOVIE_SIDE - 1, math.floor(CENTRE + radius - 0.5)) + 1):
        dy = y + 0.5 - CENTRE
        outer_half = math.sqrt(max(0.0, radius * radius - dy * dy))
        inner_half = math.sqrt(inner * inner - dy * dy) if abs(dy) < inner else 0.0
        for a, b in ((-outer_half, -inner_half), (inner_half, outer_half)):
            left = max(0, math.ceil(CENTRE + a - 0.5))
            right = min(MOVIE_SIDE - 1, math.floor(CENTRE + b - 0.5))
            if left <= right:
                row = y * MOVIE_SIDE
                canvas[row + left:row + right + 1] = bytes([colour]) * (right - left + 1)


def movie_frame(n):
    """Frame n. Everything moves on the beat and then holds still (a still frame is two bytes in
    RLE8): eight gems circle a gold square, stepping a sixteenth of a turn each beat while the
    square turns the other way and springs back from a pulse; the gem whose turn it is swells.
    On the first beat of each measure a ring sweeps out from the centre."""
    canvas = bytearray(MOVIE_SIDE * MOVIE_SIDE)
    beat, f = divmod(n, BEAT_FRAMES)
    eased = min(1.0, f / MOVE_FRAMES)
    eased = eased * eased * (3 - 2 * eased)
    turn = (beat + eased) / 16  # a full turn in the sixteen beats of the loop
    if beat % 4 == 0:
        fill_ring(canvas, 24 + f * 13, 3, 17 + min(7, f))
    angle = -2 * math.pi * turn
    size = 30 + 8 * (1 - eased)
    def square(r):
        return [(CENTRE + r * math.cos(angle + k * math.pi / 2), CENTRE + r * math.sin(angle + k * math.pi / 2)) for k in range(4)]
    outer, inner = square(size), square(size - 6)
    for k in range(4):  # the square's outline as four quadrilaterals
        fill_convex(canvas, [outer[k], outer[(k + 1) % 4], inner[(k + 1) % 4], inner[k]], 25)
    for i in range(8):
        a = 2 * math.pi * (turn + i / 8)
        x, y = CENTRE + 96 * math.cos(a), CENTRE + 96 * math.sin(a)
        r = 11 + (8 * (1 - eased) if beat % 8 == i else 0)
        fill_convex(canvas, [(x, y - r), (x + r, y), (x, y + r), (x - r, y)], 1 + i)
        fill_convex(canvas, [(x, y - r / 2), (x + r / 2, y), (x, y + r / 2), (x - r / 2, y)], 9 + i)
    return canvas


def rle8_pixels(pixels):
    """Pixels as RLE8 runs; three or more lone pixels in a row go in one literal block."""
    runs = []
    for c in pixels:
        if runs and runs[-1][0] == c and runs[-1][1] < 255:
            runs[-1][1] += 1
        else:
            runs.append([c, 1])
    out = bytearray()
    i = 0
    while i < len(runs):
        j = i
        while j < len(runs) and runs[j][1] == 1 and j - i < 255:
            j += 1
        if j - i >= 3:
            literal = bytes(r[0] for r in runs[i:j])
            out += bytes([0, len(literal)]) + literal + b"\0" * (len(literal) % 2)
            i = j
        else:
            out += bytes([runs[i][1], runs[i][0]])
            i += 1
    return out


def rle8_frame(frame, previous):
    """One frame in RLE8. Rows go bottom first, as in a BMP. A key frame (no `previous`) writes
    every pixel; any other frame writes only the spans that changed and skips over the rest
    with delta codes, which the decoder leaves as they were."""
    side = MOVIE_SIDE
    out = bytearray()
    if previous is None:
        for y in range(side - 1, -1, -1):
            out += rle8_pixels(frame[y * side:(y + 1) * side])
            out += b"\0\0" if y else b"\0\1"  # end of line; end of the picture after the top row
        return bytes(out)
    y, x = side - 1, 0  # where the decoder is
    for row in range(side - 1, -1, -1):
        start = row * side
        changed = [i for i in range(side) if frame[start + i] != previous[start + i]]
        spans = []
        for i in changed:  # an unchanged gap is rewritten when that is no dearer than a skip
            if spans and len(rle8_pixels(frame[start + spans[-1][1]:start + i])) <= 4:
                spans[-1][1] = i + 1
            else:
                spans.append([i, i + 1])
        for left, right in spans:
            if row == y:
                if left > x:
                    out += bytes([0, 2, left - x, 0])
            elif left >= x:
                out += bytes([0, 2, left - x, y - row])
            else:
                out += b"\0\0"  # to the start of the next row up
                if y - 1 > row or left > 0:
                    out += bytes([0, 2, left, y - 1 - row])
            out += rle8_pixels(frame[start + left:start + right])
            y, x = row, right
    return bytes(out + b"\0\1")


def write_avi(name, frames):
    """An AVI file of one video stream: RIFF('AVI ' LIST('hdrl' avih LIST('strl' strh strf))
    LIST('movi' 00dc...) idx1), the palette in strf after the BITMAPINFOHEADER."""
    def chunk(kind, data):
        return kind + struct.pack("<I", len(data)) + data + b"\0" * (len(data) % 2)
    width = height = MOVIE_SIDE
    packets, keys, previous = [], [], None
    for n, frame in enumerate(frames):
        key = n % KEY_INTERVAL == 0
        packet = rle8_frame(frame, None if key else previous)
        # libavcodec takes a packet exactly the size of a raw frame for an uncompressed one.
        assert len(packet) != width * height
        packets.append(packet)
        keys.append(key)
        previous = frame
    largest = max(len(p) for p in packets)
    avih = struct.pack("<10I4I", round(1e6 / MOVIE_FPS), largest * MOVIE_FPS, 0, 0x10, len(packets),
                       0, 1, largest, width, height, 0, 0, 0, 0)
    strh = b"vidsmrle" + struct.pack("<IHHIIIIIIIIhhhh", 0, 0, 0, 0, 1, MOVIE_FPS, 0, len(packets),
                                      largest, 0xFFFFFFFF, 0, 0, 0, width, height)
    palette = b"".join(bytes([b, g, r, 0]) for r, g, b in movie_palette())
    strf = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, width * height, 0, 0, 256, 0) + palette
    hdrl = chunk(b"LIST", b"hdrl" + chunk(b"avih", avih) +
                 chunk(b"LIST", b"strl" + chunk(b"strh", strh) + chunk(b"strf", strf)))
    movi, index = b"movi", b""
    for packet, key in zip(packets, keys):
        # Index offsets count from the "movi" tag.
        index += b"00dc" + struct.pack("<III", 0x10 if key else 0, len(movi), len(packet))
        movi += chunk(b"00dc", packet)
    riff = b"AVI " + hdrl + chunk(b"LIST", movi) + chunk(b"idx1", index)
    with open(os.path.join(OUT, name + ".avi"), "wb") as f:
        f.write(chunk(b"RIFF", riff))


def movie():
    write_avi("demo_layer", (movie_frame(n) for n in range(MOVIE_FRAMES)))


if __name__ == "__main__":
    parts = {"sounds": sounds, "pictures": pictures, "movie": movie}
    chosen = sys.argv[1:] or list(parts)
    for part in chosen:
        if part not in parts:
            sys.exit(f"usage: {sys.argv[0]} [sounds] [pictures] [movie]")
    for part in chosen:
        parts[part]()
