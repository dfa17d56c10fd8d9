"""The plug-in through OpenImageIO's own programs (iinfo, oiiotool) and its Python module, against
tsrraw's output for the same frames. Run by ctest with Debian's /usr/bin/python3 (which has the
OpenImageIO and numpy modules); the environment names the programs and the plug-in folders."""

import os
import shutil
import subprocess
import tempfile
import unittest

import numpy as np
import OpenImageIO as oiio

TSRRAW = os.environ["TSRRAW"]
IINFO = os.environ["IINFO"]
OIIOTOOL = os.environ["OIIOTOOL"]
PLUGIN_DIR = os.environ["TSR_OIIO_PLUGIN_DIR"]
WRONG_VERSION_DIR = os.environ["TSR_OIIO_WRONG_VERSION_DIR"]


def run(args, plugin_dir=PLUGIN_DIR, check=True):
    env = dict(os.environ, OIIO_LIBRARY_PATH=plugin_dir)
    done = subprocess.run(args, env=env, capture_output=True, text=True, timeout=120)
    if check and done.returncode != 0:
        raise AssertionError(f"{args} failed ({done.returncode}):\n{done.stdout}{done.stderr}")
    return done


def pixels(path, subimage=0):
    reader = oiio.ImageInput.open(path)
    assert reader, oiio.geterror()
    data = reader.read_image(subimage, 0, 0, 4, "half")
    reader.close()
    return data


class ToolsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        os.environ["OIIO_LIBRARY_PATH"] = PLUGIN_DIR  # for this process's own reads
        cls.folder = tempfile.mkdtemp(prefix="tsr-oiio-tools-")
        cls.clip = cls.path("clip.mov")
        run([TSRRAW, "encode", "--scene", "--size", "128x64", "--count", "4", "--fps", "25",
             "--timecode", "01:00:00:00", "--gains", "1.8,1.3", "-q", "-o", cls.clip])
        # OIIO 2.4's image cache (oiiotool) hands .mov names to its FFmpeg reader alone; a .tsr
        # name for the same clip reaches ours.
        os.symlink(cls.clip, cls.path("clip.tsr"))

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder)

    @classmethod
    def path(cls, name):
        return os.path.join(cls.folder, name)

    def test_iinfo_shows_count_rate_and_size(self):
        out = run([IINFO, "-v", self.clip]).stdout
        self.assertRegex(out, r"clip\.mov :\s+128 x\s+64, 4 channel, half tesselraw")
        self.assertIn("4 subimages", out)
        self.assertIn("FramesPerSecond: 25/1", out)
        self.assertIn("smpte:TimeCode: 01:00:00:00", out)
        self.assertIn('oiio:ColorSpace: "lin_rec2020"', out)
        self.assertIn("tesselraw:metadataRecord:gain0: 1.8", out)

    def test_oiiotool_subimage_equals_tsrraw_convert(self):
        for frame in (0, 3):
            ours = self.path(f"oiio_{frame}.exr")
            run([OIIOTOOL, self.path("clip.tsr"), "--subimage", str(frame), "-o", ours])
            run([TSRRAW, "convert", self.clip, "--frames", str(frame), "-q", "-o", self.path("tsrraw_%d.exr")])
            theirs = self.path(f"tsrraw_{frame}.exr")
            a, b = pixels(ours), pixels(theirs)
            self.assertEqual(a.shape, (64, 128, 4))
            self.assertTrue(np.array_equal(a, b), f"frame {frame}: max diff {np.abs(a - b).max()}")
            # and the time code of that frame travels into the EXR
            self.assertIn(f"smpte:TimeCode: 01:00:00:0{frame}", run([IINFO, "-v", ours]).stdout)

    def test_python_reads_a_subimage_as_the_engines_float16(self):
        raw = self.path("frame2.rgba")
        run([TSRRAW, "convert", self.clip, "--frames", "2", "--format", "raw", "-q", "-o", raw])
        engine = np.fromfile(raw, dtype=np.float16).reshape(64, 128, 4)
        reader = oiio.ImageInput.open(self.clip)
        self.assertIsNotNone(reader, oiio.geterror())
        self.assertEqual(reader.format_name(), "tesselraw")
        data = reader.read_image(2, 0, 0, 4, "half")
        self.assertEqual(data.dtype, np.float16)
        self.assertTrue(np.array_equal(data, engine))
        # hints: downscaled pixels through the config spec
        config = oiio.ImageSpec()
        config.attribute("tesselraw:downscale", 2)
        reader = oiio.ImageInput.open(self.path("clip.tsr"), config)
        self.assertEqual((reader.spec().width, reader.spec().height), (64, 32))

    def test_colorconvert_to_srgb(self):
        out = self.path("srgb.png")
        run([OIIOTOOL, "--iconfig", "tesselraw:curve", "0", self.path("clip.tsr"), "--subimage", "1",
             "--colorconvert", "linear", "sRGB", "-o", out])
        config = oiio.ImageSpec()
        config.attribute("tesselraw:curve", 0)
        linear = oiio.ImageInput.open(self.path("clip.tsr"), config).read_image(1, 0, 0, 3, "float")
        converted = pixels(out)[:, :, :3].astype(np.float32)
        self.assertEqual(converted.shape, linear.shape)
        # sRGB encoding of the clipped linear values, within 8-bit rounding
        expected = np.clip(linear, 0, 1)
        expected = np.where(expected <= 0.0031308, 12.92 * expected, 1.055 * expected ** (1 / 2.4) - 0.055)
        self.assertLess(np.abs(converted - expected).max(), 1.5 / 255)

    def test_plugin_with_wrong_version_is_refused(self):
        refused = run([IINFO, self.path("clip.tsr")], plugin_dir=WRONG_VERSION_DIR, check=False)
        self.assertNotEqual(refused.returncode, 0)
        self.assertNotIn("tesselraw", refused.stdout)
        self.assertIn("clip.tsr", refused.stdout + refused.stderr)
        self.assertIn("tesselraw", run([IINFO, self.path("clip.tsr")]).stdout)

    def test_hostile_files_give_an_error_not_a_crash(self):
        whole = open(self.clip, "rb").read()
        frame = self.path("frame.tsr")
        run([TSRRAW, "encode", "--scene", "--size", "64x32", "-q", "-o", frame])
        one = open(frame, "rb").read()
        flipped = bytearray(one)
        flipped[200] ^= 0x10
        cases = {"cut.tsr": whole[: len(whole) // 2], "cutframe.tsr": one[:-100], "flipped.tsr": bytes(flipped),
                 "headerflip.tsr": one[:13] + bytes([one[13] ^ 0x80]) + one[14:]}
        for name, data in cases.items():
            with open(self.path(name), "wb") as f:
                f.write(data)
            done = run([OIIOTOOL, self.path(name), "-o", self.path(name + ".exr")], check=False)
            self.assertGreaterEqual(done.returncode, 0, f"{name}: killed by signal {-done.returncode}")
            if done.returncode != 0:
                self.assertIn("ERROR", done.stdout + done.stderr, name)


if __name__ == "__main__":
    unittest.main()
