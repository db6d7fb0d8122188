#!/usr/bin/env python3
"""The demo's layer movie: the committed file is what make-demo-assets.py writes, its AVI headers
and index agree with its frames, and each frame read back with a plain RLE8 decoder (which keeps
the previous frame's pixels where a frame skips) is the picture the script drew.
    demo_movie_test.py SOURCE_DIR"""
import os
import struct
import sys
import tempfile
import types
import unittest

SOURCE = sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../..")
# The asset script as a module (its name has a dash, so it cannot be imported by name).
ASSETS_SCRIPT = os.path.join(SOURCE, "scripts/make-demo-assets.py")
assets = types.ModuleType("assets")
assets.__file__ = ASSETS_SCRIPT
with open(ASSETS_SCRIPT, encoding="utf-8") as script:
    exec(compile(script.read(), ASSETS_SCRIPT, "exec"), assets.__dict__)
COMMITTED = os.path.join(SOURCE, "resources/demo/demo_layer.avi")


def chunks(data, start, end):
    """{tag: (data offset, size)} of the chunks in data[start:end]; a LIST goes by its type."""
    found = {}
    while start < end:
        kind, size = data[start:start + 4], struct.unpack_from("<I", data, start + 4)[0]
        found[data[start + 8:start + 12] if kind == b"LIST" else kind] = (start + 8, size)
        start += 8 + size + size % 2
    return found


def decode_rle8(packet, canvas, side):
    y, x, i = side - 1, 0, 0
    while True:
        count, value = packet[i], packet[i + 1]
        i += 2
        if count:
            assert x + count <= side, "run past the end of a row"
            canvas[y * side + x:y * side + x + count] = bytes([value]) * count
            x += count
        elif value == 0:
            y, x = y - 1, 0
            assert y >= 0, "end of line past the top row"
        elif value == 1:
            return i
        elif value == 2:
            x, y, i = x + packet[i], y - packet[i + 1], i + 2
            assert y >= 0 and x < side, "skip out of the picture"  # libavcodec refuses these
        else:
            assert x + value <= side, "literal past the end of a row"
            canvas[y * side + x:y * side + x + value] = packet[i:i + value]
            x, i = x + value, i + value + value % 2


class DemoMovieTest(unittest.TestCase):
    def test_committed_file_is_the_scripts_output(self):
        with tempfile.TemporaryDirectory() as folder:
            assets.OUT = folder
            assets.movie()
            with open(os.path.join(folder, "demo_layer.avi"), "rb") as f, open(COMMITTED, "rb") as g:
                self.assertTrue(f.read() == g.read(), "run scripts/make-demo-assets.py movie")

    def test_headers_index_and_frames_agree(self):
        with open(COMMITTED, "rb") as f:
            data = f.read()
        side, fps, count = assets.MOVIE_SIDE, assets.MOVIE_FPS, assets.MOVIE_FRAMES
        self.assertLessEqual(len(data), 300 * 1024)
        self.assertEqual((data[:4], data[8:12]), (b"RIFF", b"AVI "))
        top = chunks(data, 12, len(data))
        hdrl = chunks(data, top[b"hdrl"][0] + 4, sum(top[b"hdrl"]))
        strl = chunks(data, hdrl[b"strl"][0] + 4, sum(hdrl[b"strl"]))
        avih = struct.unpack_from("<10I", data, hdrl[b"avih"][0])
        self.assertEqual(avih[:1] + avih[3:5] + avih[8:], (round(1e6 / fps), 0x10, count, side, side))
        strh = data[strl[b"strh"][0]:]
        self.assertEqual((strh[:8], struct.unpack_from("<4I", strh, 20)), (b"vidsmrle", (1, fps, 0, count)))
        strf = strl[b"strf"][0]
        self.assertEqual(struct.unpack_from("<IiiHHI", data, strf), (40, side, side, 1, 8, 1))  # bottom-up RLE8
        self.assertEqual(data[strf + 40:strf + 44], b"\0\0\0\0")  # palette index 0 is black
        movi, (index, index_size) = top[b"movi"][0], top[b"idx1"]
        self.assertEqual(index_size, 16 * count)
        for n in range(count):
            kind, flags, offset, size = struct.unpack_from("<4sIII", data, index + 16 * n)
            self.assertEqual((kind, flags == 0x10), (b"00dc", n % assets.KEY_INTERVAL == 0), n)
            self.assertEqual(data[movi + offset:movi + offset + 8], b"00dc" + struct.pack("<I", size))
            if flags:
                canvas = bytearray(b"\xee" * side * side)  # a key frame must cover every pixel
            self.assertEqual(decode_rle8(data[movi + offset + 8:movi + offset + 8 + size], canvas, side), size)
            self.assertTrue(canvas == assets.movie_frame(n), f"frame {n} decodes to another picture")


if __name__ == "__main__":
    unittest.main()
