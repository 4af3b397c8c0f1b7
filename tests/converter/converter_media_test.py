#!/usr/bin/env python3
"""The converter (core/mirovex.exe) on real media, under Wine.

FLV fixtures are made at test time with the host's ffmpeg; the converter runs
through the build tree's wine-run; its outputs are checked with the host's
ffprobe and with x264's own settings text in the stream.
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

ARGS = None
FIXTURES = None

PRESETS = [
    "-crf 35.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 128k -coder 1 -rc_lookahead 50 -threads 0",
    "-crf 15.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 192k -coder 1 -rc_lookahead 60 -threads 0",
    "-crf 25.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 160k -coder 1 -rc_lookahead 60 -threads 0",
    "-f mp4 -r 29.97 -vcodec libx264 -vf scale=640:480 -aspect 4:3 -b:v 1250k -maxrate 1500k -bufsize 4M -bt 256k -refs 1 -bf 3 -coder 1 -me_method umh -me_range 16 -subq 7 -partitions +parti4x4+parti8x8+partp8x8+partb8x8 -g 250 -keyint_min 25 -level 30 -qmin 10 -qmax 51 -qcomp 0.6 -trellis 2 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 2 -qdiff 4 -direct-pred 3 -wpredp 2 -rc_lookahead 50 -acodec libvo_aacenc -b:a 112k -ar 48000 -ac 2",
    "-f mp4 -r 29.97 -vcodec libx264 -vf scale=704:384 -b:v 1250k -aspect 16:9 -maxrate 1500k -bufsize 4M -bt 256k -refs 1 -bf 3 -coder 1 -me_method umh -me_range 16 -subq 7 -partitions +parti4x4+parti8x8+partp8x8+partb8x8 -g 250 -keyint_min 25 -level 30 -qmin 10 -qmax 51 -qcomp 0.6 -trellis 2 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 2 -qdiff 4 -direct-pred 3 -wpredp 2 -rc_lookahead 50 -acodec libvo_aacenc -b:a 112k -ar 48000 -ac 2",
]

# What each preset must show in the output: ffprobe fields, and x264's settings.
PRESET_EXPECT = [
    ({"video": {}, "audio": {"sample_rate": "48000"}},
     ["crf=35.0", "rc_lookahead=50", "cabac=1", "rc=crf"]),
    ({"video": {}, "audio": {"sample_rate": "48000"}},
     ["crf=15.0", "rc_lookahead=60", "cabac=1"]),
    ({"video": {}, "audio": {"sample_rate": "48000"}},
     ["crf=25.0", "rc_lookahead=60", "cabac=1"]),
    ({"video": {"width": 640, "height": 480, "display_aspect_ratio": "4:3", "r_frame_rate": "2997/100"},
      "audio": {"sample_rate": "48000", "channels": 2}},
     ["rc_lookahead=50", "bitrate=1250", "vbv_maxrate=1500", "vbv_bufsize=4000", "ref=1", "bframes=3",
      "me=umh", "me_range=16", "subme=7", "analyse=0x3:0x113", "keyint=250", "keyint_min=25",
      "qpmin=10", "qpmax=51", "qcomp=0.60", "trellis=2", "scenecut=40", "b_adapt=2", "qpstep=4",
      "direct=3", "weightp=2", "ip_ratio=1.41", "cabac=1"]),
    ({"video": {"width": 704, "height": 384, "display_aspect_ratio": "16:9", "r_frame_rate": "2997/100"},
      "audio": {"sample_rate": "48000", "channels": 2}},
     ["rc_lookahead=50", "bitrate=1250", "me=umh", "subme=7", "trellis=2", "direct=3", "weightp=2"]),
]


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def make_fixtures(folder):
    """FLV files of 1-3 s, and broken ones."""
    lavfi = ["-f", "lavfi", "-i"]
    specs = {
        "sorenson_mp3": lavfi + ["testsrc=size=320x240:rate=25:d=2"] + lavfi + ["sine=frequency=440:sample_rate=44100:d=2"]
                        + ["-c:v", "flv1", "-c:a", "libmp3lame"],
        "h264_aac": lavfi + ["testsrc=size=320x240:rate=30:d=2"] + lavfi + ["sine=frequency=330:sample_rate=44100:d=2"]
                    + ["-c:v", "libx264", "-c:a", "aac"],
        "sorenson_nellymoser": lavfi + ["testsrc=size=176x144:rate=15:d=2"] + lavfi + ["sine=sample_rate=22050:d=2"]
                               + ["-c:v", "flv1", "-c:a", "nellymoser", "-ar", "22050"],
        "video_only": lavfi + ["testsrc=size=320x240:rate=25:d=2"] + ["-c:v", "flv1"],
        "audio_only": lavfi + ["sine=sample_rate=44100:d=2"] + ["-c:a", "libmp3lame"],
        "long": lavfi + ["testsrc=size=320x240:rate=25:d=30"] + lavfi + ["sine=sample_rate=44100:d=30"]
                + ["-c:v", "flv1", "-c:a", "libmp3lame"],
    }
    paths = {}
    for name, args in specs.items():
        path = os.path.join(folder, name + ".flv")
        subprocess.run(["ffmpeg", "-v", "error", "-y"] + args + ["-f", "flv", path], check=True)
        paths[name] = path
    with open(paths["sorenson_mp3"], "rb") as f:
        data = f.read()
    broken = {
        "truncated": data[: len(data) // 2],
        "garbage": bytes((i * 7919 + 13) % 251 for i in range(20000)),
        "empty": b"",
    }
    for name, content in broken.items():
        path = os.path.join(folder, name + ".flv")
        with open(path, "wb") as f:
            f.write(content)
        paths[name] = path
    # A stream whose clock jumps back by a second half-way, as spliced or
    # re-recorded FLVs do: the tags' timestamps are rewritten in place.
    paths["clock_jump"] = os.path.join(folder, "clock_jump.flv")
    with open(paths["clock_jump"], "wb") as f:
        f.write(rewrite_flv_times(data, lambda t, half: t - 1000 if t >= half else t))
    # A name in three scripts: arguments arrive as UTF-16 and go on as UTF-8.
    unicode_path = os.path.join(folder, "Übung 名前 ñ.flv")
    shutil.copy(paths["sorenson_mp3"], unicode_path)
    paths["unicode"] = unicode_path
    return paths


def rewrite_flv_times(data, change):
    """The FLV with each tag's timestamp replaced by change(timestamp, half of the last one)."""
    header = int.from_bytes(data[5:9], "big")
    tags = []
    pos = header + 4
    while pos + 11 <= len(data):
        size = int.from_bytes(data[pos + 1:pos + 4], "big")
        stamp = int.from_bytes(data[pos + 4:pos + 7], "big") | (data[pos + 7] << 24)
        tags.append((pos, stamp))
        pos += 11 + size + 4
    half = tags[-1][1] // 2
    out = bytearray(data)
    for pos, stamp in tags:
        if out[pos] in (8, 9):  # audio and video tags; script data keeps its time
            new = max(0, change(stamp, half))
            out[pos + 4:pos + 7] = (new & 0xFFFFFF).to_bytes(3, "big")
            out[pos + 7] = (new >> 24) & 0xFF
    return bytes(out)


def run(args, stdin_data=None, timeout=300):
    cmd = [ARGS.wine_run, ARGS.converter] + args
    p = subprocess.run(cmd, input=stdin_data if stdin_data is not None else b"", capture_output=True,
                       timeout=timeout)
    return p.returncode, p.stderr.decode("utf-8", "replace")


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json", path],
                         capture_output=True, check=True).stdout
    return json.loads(out)


def stream(info, kind):
    for s in info["streams"]:
        if s["codec_type"] == kind:
            return s
    return None


def x264_settings(path):
    with open(path, "rb") as f:
        data = f.read()
    m = re.search(rb"x264 - core [^\x00]*", data)
    return m.group(0).decode("latin-1") if m else ""


def duration_of(path, kind):
    s = stream(probe(path), kind)
    return float(s["duration"]) if s and "duration" in s else None


class ConverterTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="mirovex-test-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def out(self, name="out.mp4"):
        return os.path.join(self.dir, name)

    def convert(self, fixture, preset, out, extra=()):
        return run(["-y", "-i", winpath(FIXTURES[fixture])] + preset.split() + list(extra) + [winpath(out)])

    def assertNoPartFiles(self):
        self.assertEqual([f for f in os.listdir(self.dir) if f.endswith(".part")], [])

    # --- presets -------------------------------------------------------------
    def test_each_preset_applies_its_options(self):
        for index, (preset, (fields, x264)) in enumerate(zip(PRESETS, PRESET_EXPECT)):
            fixture = "sorenson_mp3" if index < 3 else "h264_aac"
            with self.subTest(preset=index):
                out = self.out("p%d.mp4" % index)
                rc, err = self.convert(fixture, preset, out)
                self.assertEqual(rc, 0, err[-2000:])
                info = probe(out)
                video, audio = stream(info, "video"), stream(info, "audio")
                self.assertEqual(video["codec_name"], "h264")
                self.assertEqual(audio["codec_name"], "aac")
                for key, want in fields["video"].items():
                    self.assertEqual(video.get(key), want, key)
                for key, want in fields["audio"].items():
                    self.assertEqual(audio.get(key), want, key)
                settings = x264_settings(out)
                for item in x264:
                    self.assertIn(" " + item + " ", settings + " ", item)
                self.assertNoPartFiles()

    # --- media correctness ---------------------------------------------------
    def test_fixtures_convert_with_duration_sync_and_order(self):
        cases = [
            ("sorenson_mp3", True, True),
            ("h264_aac", True, True),
            ("sorenson_nellymoser", True, True),
            ("video_only", True, False),
            ("audio_only", False, True),
        ]
        for fixture, has_video, has_audio in cases:
            with self.subTest(fixture=fixture):
                out = self.out(fixture + ".mp4")
                rc, err = self.convert(fixture, PRESETS[0], out)
                self.assertEqual(rc, 0, err[-2000:])
                source, result = probe(FIXTURES[fixture]), probe(out)
                self.assertEqual(stream(result, "video") is not None, has_video)
                self.assertEqual(stream(result, "audio") is not None, has_audio)
                src_duration = float(source["format"]["duration"])
                if has_video:
                    v = stream(result, "video")
                    frame = 1.0 / eval(v["r_frame_rate"])
                    self.assertLessEqual(abs(float(v["duration"]) - src_duration), frame + 0.001,
                                         (v["duration"], src_duration))
                if has_audio:
                    a = stream(result, "audio")
                    self.assertLessEqual(abs(float(a["duration"]) - src_duration), 0.05)
                    self.assertEqual(a["sample_rate"], "48000")
                if has_video and has_audio:
                    v, a = stream(result, "video"), stream(result, "audio")
                    self.assertLess(abs(float(v["start_time"]) - float(a["start_time"])), 0.05)
                    self.assertLess(abs(float(v["duration"]) - float(a["duration"])), 0.1)
                self.assertMonotonic(out)

    def assertMonotonic(self, path):
        out = subprocess.run(["ffprobe", "-v", "error", "-show_entries", "packet=stream_index,dts",
                              "-of", "csv=p=0", path], capture_output=True, check=True).stdout.decode()
        last = {}
        for line in out.split():
            index, dts = line.split(",")[:2]
            if dts == "N/A":
                continue
            self.assertGreater(int(dts), last.get(index, -10**12), path)
            last[index] = int(dts)
        # Decodes from start to end without an error.
        dec = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "null", "-"], capture_output=True)
        self.assertEqual(dec.stderr.decode().strip(), "")

    def test_unicode_paths(self):
        out = self.out("Ergebnis 結果 ñ.mp4")
        rc, err = run(["-y", "-i", winpath(FIXTURES["unicode"])] + PRESETS[0].split() + [winpath(out)])
        self.assertEqual(rc, 0, err[-2000:])
        self.assertIsNotNone(stream(probe(out), "video"))

    # --- probe and progress ----------------------------------------------------
    def test_probe_prints_the_input_block_and_asks_for_an_output(self):
        rc, err = run(["-i", winpath(FIXTURES["sorenson_mp3"])])
        self.assertEqual(rc, 1)
        self.assertIn("Input #0, flv, from '%s':" % winpath(FIXTURES["sorenson_mp3"]), err)
        m = re.search(r"\n  Duration: (\d\d):(\d\d):(\d\d\.\d\d), start: [-0-9.]+, bitrate: ", err)
        self.assertIsNotNone(m, err)
        seconds = int(m.group(1)) * 3600 + int(m.group(2)) * 60 + float(m.group(3))
        self.assertAlmostEqual(seconds, float(probe(FIXTURES["sorenson_mp3"])["format"]["duration"]), delta=0.02)
        self.assertEqual(err.count("Duration:"), 1)
        self.assertRegex(err, r"Stream #0:\d: Video: flv1")
        self.assertRegex(err, r"Stream #0:\d: Audio: mp3")
        self.assertTrue(err.rstrip().endswith("At least one output file must be specified"))

    def test_progress_records(self):
        out = self.out()
        rc, err = self.convert("sorenson_mp3", PRESETS[3], out)
        self.assertEqual(rc, 0, err[-2000:])
        record = r"frame= *\d+ fps= *[\d.]+ q=-?[\d.]+ L?size= *\d+kB time=(\d\d:\d\d:\d\d\.\d\d) bitrate= *([\d.]+kbits/s|N/A)( dup=\d+ drop=\d+)? speed= *[\d.e+]+x {4}"
        running = re.findall(record + "\r", err)
        final = re.findall(record + "\n", err)
        self.assertGreaterEqual(len(running), 1, err[-1500:])
        self.assertEqual(len(final), 1)
        times = [self.seconds(t[0]) for t in running] + [self.seconds(final[0][0])]
        self.assertEqual(times, sorted(times))
        self.assertAlmostEqual(times[-1], duration_of(out, "audio"), delta=0.1)

    @staticmethod
    def seconds(text):
        h, m, s = text.split(":")
        return int(h) * 3600 + int(m) * 60 + float(s)

    # --- stop ------------------------------------------------------------------
    def check_stopped_output(self, out):
        length = float(probe(out)["format"]["duration"])
        self.assertGreater(length, 0.5)
        self.assertLess(length, 29)
        self.assertMonotonic(out)
        self.assertNoPartFiles()

    def test_q_on_a_pipe_from_the_host(self):
        out = self.out()
        cmd = [ARGS.wine_run, ARGS.converter, "-y", "-i", winpath(FIXTURES["long"])] + PRESETS[3].split() + [winpath(out)]
        p = subprocess.Popen(cmd, stdin=subprocess.PIPE, stderr=subprocess.PIPE)
        os.set_blocking(p.stderr.fileno(), False)
        text = b""
        first_record = None
        deadline = time.time() + 120
        while time.time() < deadline and not re.search(rb"time=00:00:0[3-9]", text):
            chunk = p.stderr.read()
            if chunk:
                text += chunk
                if first_record is None and b"time=" in text:
                    first_record = time.time()
            elif p.poll() is not None:
                break
            time.sleep(0.05)
        sent = time.time()
        records = text.count(b"\r")
        span = sent - first_record
        print("progress: %d records in %.1f s" % (records, span), file=sys.stderr)
        # Twice a second is the aim; half that leaves room for a busy machine.
        self.assertGreaterEqual(records, int(span))
        p.stdin.write(b"q")
        p.stdin.flush()
        rc = p.wait(timeout=60)
        elapsed = time.time() - sent
        p.stdin.close()
        p.stderr.close()
        print("q on a host pipe: the converter ended %.2f s after the byte was written" % elapsed, file=sys.stderr)
        self.assertEqual(rc, 0)
        # 0.5 s is the converter's aim; Wine's process start-up and shut-down add to it.
        self.assertLess(elapsed, 3.0)
        self.check_stopped_output(out)

    def test_q_through_cmd_as_the_application_sends_it(self):
        out = self.out()
        script = os.path.join(self.dir, "mconv1.bat")
        line = '"%s" -y -i "%s" %s "%s"' % (winpath(ARGS.converter), winpath(FIXTURES["long"]), PRESETS[4], winpath(out))
        with open(script, "w", newline="\r\n") as f:
            f.write("chcp 437\n\n" + line + "\n\ndel \"%s\"" % winpath(script))
        p = subprocess.run([ARGS.wine_run, ARGS.stop_driver, winpath(script)], capture_output=True, timeout=300)
        text = p.stdout.decode("utf-8", "replace")
        m = re.search(r"stop_ms=(-?\d+)", text)
        self.assertIsNotNone(m, text[-2000:])
        stop_ms = int(m.group(1))
        print("q through cmd.exe every 300 ms: the converter ended %d ms after the first q" % stop_ms, file=sys.stderr)
        self.assertGreaterEqual(stop_ms, 0, text[-2000:])
        self.assertLess(stop_ms, 3000)
        self.assertIn("[q] command received. Exiting.", text)
        self.check_stopped_output(out)

    def test_nostdin_ignores_q(self):
        out = self.out()
        rc, err = run(["-nostdin", "-y", "-i", winpath(FIXTURES["sorenson_mp3"])] + PRESETS[0].split() + [winpath(out)],
                      stdin_data=b"qqqq")
        self.assertEqual(rc, 0, err[-1500:])
        self.assertNotIn("[q] command received", err)
        self.assertAlmostEqual(float(probe(out)["format"]["duration"]),
                               float(probe(FIXTURES["sorenson_mp3"])["format"]["duration"]), delta=0.1)

    # --- failures: clear words, nothing lost ------------------------------------
    def test_failures_leave_the_existing_output_alone(self):
        existing = b"an earlier result the user keeps"
        cases = [
            (["-y", "-i", winpath(os.path.join(self.dir, "missing.flv"))], ": No such file or directory"),
            (["-y", "-i", winpath(FIXTURES["garbage"])], ": Invalid data found when processing input"),
            (["-y", "-i", winpath(FIXTURES["empty"])], ": Invalid data found when processing input"),
            (["-y", "-i", winpath(FIXTURES["sorenson_mp3"]), "-bogus", "1"], "Unrecognized option 'bogus'."),
            (["-y", "-i", winpath(FIXTURES["sorenson_mp3"]), "-vcodec", "libnothing"], "Unknown encoder 'libnothing'"),
            (["-y", "-i", winpath(FIXTURES["sorenson_mp3"]), "-vf", "nosuchfilter"], "nosuchfilter"),
            (["-i", winpath(FIXTURES["sorenson_mp3"])], "already exists. Exiting."),
            (["-y", "-n", "-i", winpath(FIXTURES["sorenson_mp3"])], "already exists. Exiting."),
        ]
        out = self.out("kept.mp4")
        for args, words in cases:
            with self.subTest(args=args[-2:]):
                with open(out, "wb") as f:
                    f.write(existing)
                rc, err = run(args + [winpath(out)])
                self.assertNotEqual(rc, 0)
                self.assertIn(words, err)
                with open(out, "rb") as f:
                    self.assertEqual(f.read(), existing)
                self.assertNoPartFiles()

    def test_failures_make_no_output(self):
        for fixture in ("garbage", "empty"):
            with self.subTest(fixture=fixture):
                out = self.out(fixture + ".mp4")
                rc, err = self.convert(fixture, PRESETS[0], out)
                self.assertNotEqual(rc, 0)
                self.assertFalse(os.path.exists(out))
                self.assertNoPartFiles()

    def test_truncated_input_converts_what_is_there(self):
        out = self.out()
        rc, err = self.convert("truncated", PRESETS[0], out)
        self.assertEqual(rc, 0, err[-1500:])
        length = float(probe(out)["format"]["duration"])
        self.assertGreater(length, 0.3)
        self.assertLess(length, float(probe(FIXTURES["sorenson_mp3"])["format"]["duration"]))
        self.assertMonotonic(out)

    def test_a_clock_that_jumps_back_still_makes_a_valid_file(self):
        out = self.out()
        rc, err = self.convert("clock_jump", PRESETS[0], out)
        self.assertEqual(rc, 0, err[-1500:])
        self.assertIsNotNone(stream(probe(out), "video"))
        self.assertIsNotNone(stream(probe(out), "audio"))
        self.assertMonotonic(out)

    def test_output_that_is_the_input_is_refused(self):
        copy = os.path.join(self.dir, "same.flv")
        shutil.copy(FIXTURES["sorenson_mp3"], copy)
        with open(copy, "rb") as f:
            before = f.read()
        rc, err = run(["-y", "-i", winpath(copy), "-f", "mp4", winpath(copy)])
        self.assertNotEqual(rc, 0)
        self.assertIn("same as Input #0", err)
        with open(copy, "rb") as f:
            self.assertEqual(f.read(), before)

    def test_replacing_an_output_with_y(self):
        out = self.out()
        with open(out, "wb") as f:
            f.write(b"old")
        rc, err = self.convert("sorenson_mp3", PRESETS[0], out)
        self.assertEqual(rc, 0, err[-1500:])
        self.assertIsNotNone(stream(probe(out), "video"))


def main():
    global ARGS, FIXTURES
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("--converter", required=True)
    parser.add_argument("--stop-driver", required=True)
    ARGS, rest = parser.parse_known_args()
    fixtures_dir = tempfile.mkdtemp(prefix="mirovex-fixtures-")
    try:
        FIXTURES = make_fixtures(fixtures_dir)
        unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
    finally:
        shutil.rmtree(fixtures_dir, ignore_errors=True)


if __name__ == "__main__":
    main()
