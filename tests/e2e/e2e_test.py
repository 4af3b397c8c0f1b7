#!/usr/bin/env python3
"""Whole batches through Quandril's window, under wine64 and Xvfb.

Quandril.exe runs from a copy of the dist folder (with its real
core/mirovex.exe and brivaneupdate.dll) as its own process, and e2e_driver.exe
drives it only through its windows: Add through the open-file dialog, a preset
from the combo box, a typed output folder, Convert, the replace questions,
Stop (No, then Yes), Close, and the close box of the main window. The FLV
sources are made at test time with the host's ffmpeg. Afterwards this side
checks every output with ffprobe, the list selection, the registry after each
close, that the sources are untouched and that no work file is left.

The runs use a Wine prefix of their own (<build>/e2e-wineprefix): other test
programs of the tree share the build's prefix, write the same registry value
and make work files in the same folders, so checks of "nothing left behind"
would race with them there.

Names outside ASCII: Wine 8's cmd.exe reads batch files in code page 437, so a
source named with such letters reaches the converter garbled and fails under
Wine (real Windows 10/11 passes it through "chcp 65001"). Such a file must
fail cleanly: no output, unselected, the source untouched. The test asserts
that its selection matches a correct output, whichever way it goes.
"""
import argparse
import fcntl
import glob
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

ARGS = None
RUNS = None  # the facts of every run, made once for all checks

# ffmpeg arguments per fixture: several codecs; names that a batch script or
# the open-file dialog could mishandle. The letter in front fixes list order.
LAVFI = ["-f", "lavfi", "-i"]
FIXTURES = {
    "a clip (sorenson + mp3).flv": LAVFI + ["testsrc=size=320x240:rate=25:d=3"] + LAVFI
    + ["sine=frequency=440:sample_rate=44100:d=3"] + ["-c:v", "flv1", "-c:a", "libmp3lame"],
    "b h264 & aac 100%.flv": LAVFI + ["testsrc=size=320x240:rate=30:d=3"] + LAVFI
    + ["sine=frequency=330:sample_rate=44100:d=3"] + ["-c:v", "libx264", "-c:a", "aac"],
    # Long enough that Stop, No, Stop and Yes (a few seconds of message boxes)
    # all fall within it, also where the converter runs at several times real time.
    "bb long (stop).flv": LAVFI + ["testsrc=size=320x240:rate=25:d=60"] + LAVFI
    + ["sine=sample_rate=44100:d=60"] + ["-c:v", "flv1", "-c:a", "libmp3lame"],
    "c nelly! it's.flv": LAVFI + ["testsrc=size=176x144:rate=15:d=3"] + LAVFI
    + ["sine=sample_rate=22050:d=3"] + ["-c:v", "flv1", "-c:a", "nellymoser", "-ar", "22050"],
    "d video only.flv": LAVFI + ["testsrc=size=320x240:rate=25:d=2"] + ["-c:v", "flv1"],
    "f \u00fcn\u00efc\u00f6de-\u65e5\u672c.flv": LAVFI + ["testsrc=size=320x240:rate=25:d=2"] + LAVFI
    + ["sine=sample_rate=44100:d=2"] + ["-c:v", "flv1", "-c:a", "libmp3lame"],
}
BROKEN = "e broken.flv"  # an FLV name over bytes that are no FLV
NON_ASCII = "f \u00fcn\u00efc\u00f6de-\u65e5\u672c.flv"
WITH_AUDIO = {"a clip (sorenson + mp3).flv", "b h264 & aac 100%.flv", "bb long (stop).flv",
              "c nelly! it's.flv", NON_ASCII}

PRESET_NAMES = [
    "MPEG-4 H.264 video (high quality)",
    "MPEG-4 H.264 video (super high quality)",
    "MPEG-4 H.264 video (very high quality)",
    "MP4 Fullscreen",
    "MP4 Widescreen",
]
# What each preset leaves in the output: x264's settings text, and the frame.
PRESET_X264 = ["crf=35.0", "crf=15.0", "crf=25.0", "bitrate=1250", "bitrate=1250"]
PRESET_FRAME = [None, None, None, (640, 480, "4:3"), (704, 384, "16:9")]

REG_KEY = r"HKCU\Software\Brivane Media Converter\mp4"
COUNTER = re.compile(r"^(\d+) / (\d+) \((\d+)%\)$")


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def probe(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json", path],
                         capture_output=True, check=True).stdout
    return json.loads(out)


class Wine:
    """wine64 on a prefix of this test's own, kept alive between the runs."""

    def __init__(self, build, name="e2e-wineprefix"):
        self.prefix = os.path.join(os.path.abspath(build), name)
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all", WINEARCH="win64",
                        WINEDLLOVERRIDES="mscoree,mshtml=",
                        # A closed port on this machine: the update check ends at once.
                        QUANDRIL_UPDATE_FEED="http://127.0.0.1:9/quandril.feed")
        with open(self.prefix + ".lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if not os.path.exists(os.path.join(self.prefix, ".quandril-ready")):
                made = subprocess.run(["wineboot", "-i"], env=self.env, stdin=subprocess.DEVNULL,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
                if made.returncode != 0:
                    raise RuntimeError("wineboot failed with %d" % made.returncode)
                open(os.path.join(self.prefix, ".quandril-ready"), "w").close()
        # One server for all the runs, gone by itself 10 s after the last
        # program even if this script is killed; it must not hold our pipes.
        subprocess.run(["wineserver", "-p10"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)

    def run(self, args, timeout=600):
        # Files, not pipes: Wine's own services outlive the program and would
        # hold a pipe open until the server ends.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run(["wine"] + args, env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                  timeout=timeout).returncode
            out.seek(0)
            err.seek(0)
            return subprocess.CompletedProcess(args, code, out.read(), err.read())

    def stop(self):
        for flag in ("-k", "-w"):
            subprocess.run(["wineserver", flag], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=60)

    def roaming(self):
        users = [u for u in glob.glob(os.path.join(self.prefix, "drive_c", "users", "*"))
                 if os.path.basename(u) != "Public"]
        return os.path.join(users[0], "AppData", "Roaming")

    def registry_folder(self):
        """out_dir as `reg query` shows it; None when there is no such value."""
        result = self.run(["reg", "query", REG_KEY, "/v", "out_dir"], timeout=120)
        for line in result.stdout.decode("utf-8", "replace").splitlines():
            parts = line.strip().split("    ")
            if len(parts) >= 3 and parts[0] == "out_dir" and parts[1] == "REG_SZ":
                return "    ".join(parts[2:])
        return None

    def forget_folder(self):
        self.run(["reg", "delete", REG_KEY, "/f"], timeout=120)


class Run:
    """One start of Quandril.exe: the steps given and the facts printed."""

    def __init__(self, name, steps):
        self.name = name
        self.steps = steps
        self.facts = []
        self.registry = None

    def lines(self, kind):
        return [f[len(kind) + 1:] for f in self.facts if f.startswith(kind + " ") or f.startswith(kind + "\t")]

    def convert_blocks(self):
        """The facts of each Convert, in order."""
        blocks, current = [], None
        for f in self.facts:
            if f.startswith("step\tconvert"):
                current = []
                blocks.append(current)
            elif f.startswith("step\t"):
                current = None
            elif current is not None:
                current.append(f)
        return blocks


class Scene:
    """The folders of one test run and the steps of every start."""

    def __init__(self, root, dist):
        self.root = root
        self.app = os.path.join(root, "Quandril app")
        shutil.copytree(dist, self.app)
        self.exe = winpath(os.path.join(self.app, "Quandril.exe"))
        self.sources = os.path.join(root, "my clips & more")
        os.makedirs(self.sources)
        for name, args in FIXTURES.items():
            subprocess.run(["ffmpeg", "-v", "error", "-y"] + args + ["-f", "flv", os.path.join(self.sources, name)],
                           check=True)
        with open(os.path.join(self.sources, BROKEN), "wb") as f:
            f.write(b"FLV\x01\x05" + bytes((i * 7919 + 13) % 251 for i in range(20000)))
        with open(os.path.join(self.sources, "notes.txt"), "w") as f:
            f.write("not a video\n")
        self.outs = {}
        for key, name in [("one", "out one"), ("two", "out two"), ("three", "out (3) & 100%")]:
            self.outs[key] = os.path.join(root, name)
            os.makedirs(self.outs[key])

    def src(self, name):
        return winpath(os.path.join(self.sources, name))

    def out(self, key, name=None):
        folder = self.outs[key]
        return folder if name is None else os.path.join(folder, os.path.splitext(name)[0] + ".mp4")

    def runs(self):
        s = self.src
        folder = winpath(self.sources)
        return [
            # Six sources, one chosen alone and five together in reverse order;
            # a duplicate and a file of another kind are refused.
            Run("first", [
                ["start", self.exe],
                ["add", s("a clip (sorenson + mp3).flv")],
                ["addmany", folder, NON_ASCII, BROKEN, "d video only.flv", "c nelly! it's.flv",
                 "b h264 & aac 100%.flv"],
                ["add", s("a clip (sorenson + mp3).flv")],
                ["add", s("notes.txt")],
                ["preset", "2"],
                ["folder", winpath(self.out("one"))],
                ["convert", "-", "-"],
                ["close"],
            ]),
            # The stored folder comes back; three outputs exist: Yes, No, Yes.
            # Then the same list with another preset into an empty folder, and
            # another folder typed before the close, which must be stored.
            Run("replace", [
                ["start", self.exe],
                ["addmany", folder, "c nelly! it's.flv", "b h264 & aac 100%.flv", "a clip (sorenson + mp3).flv"],
                ["preset", "3"],
                ["convert", "YNY", "-"],
                ["preset", "1"],
                ["folder", winpath(self.out("two"))],
                ["convert", "-", "-"],
                ["folder", winpath(self.out("three"))],
                ["close"],
            ]),
            # Stop in the second file: No lets it go on, Yes ends the run. Then
            # the same list again, replacing the one output the stop left.
            Run("stop", [
                ["start", self.exe],
                ["addmany", folder, "d video only.flv", "bb long (stop).flv", "a clip (sorenson + mp3).flv"],
                ["preset", "4"],
                ["convert", "-", "1"],
                ["preset", "0"],
                ["convert", "Y", "-"],
                ["remove"],
                ["close"],
            ]),
        ]


def drive(wine, scene, run):
    steps = os.path.join(scene.root, "steps-%s.txt" % run.name)
    with open(steps, "w", encoding="utf-8", newline="\r\n") as f:
        for step in run.steps:
            f.write("\t".join(step) + "\n")
    facts = os.path.join(scene.root, "facts-%s.txt" % run.name)
    result = wine.run([ARGS.driver, winpath(steps), winpath(facts)], timeout=600)
    if os.path.exists(facts):
        with open(facts, encoding="utf-8", errors="replace") as f:
            run.facts = f.read().splitlines()
    if result.returncode != 0 or not run.facts or run.facts[-1] != "end":
        shot = os.path.join(ARGS.build, "e2e-failure-%s.png" % run.name)
        subprocess.run(["import", "-window", "root", shot], capture_output=True, env=wine.env)
        raise AssertionError("driver failed in run %s (exit %d, screen in %s):\n%s\n%s" % (
            run.name, result.returncode, shot, "\n".join(run.facts), result.stderr.decode("utf-8", "replace")[-4000:]))
    run.registry = wine.registry_folder()


def setUpModule():
    global RUNS, SCENE, WINE, SOURCE_HASHES, ROAMING
    root = tempfile.mkdtemp(prefix="quandril e2e ")
    try:
        SCENE = Scene(root, ARGS.dist)
        SOURCE_HASHES = {n: sha256(os.path.join(SCENE.sources, n)) for n in os.listdir(SCENE.sources)}
        WINE = Wine(ARGS.build)
        try:
            # The prefix is this test's own: start from no stored folder and no work files.
            WINE.forget_folder()
            ROAMING = WINE.roaming()
            shutil.rmtree(os.path.join(ROAMING, "Media Converter"), ignore_errors=True)
            for left in glob.glob(os.path.join(ROAMING, "mirovex*.txt")):
                os.remove(left)
            RUNS = {}
            hashes_between = {}
            for run in SCENE.runs():
                drive(WINE, SCENE, run)
                RUNS[run.name] = run
                if run.name == "first":
                    hashes_between = {n: sha256(os.path.join(SCENE.out("one"), n))
                                      for n in os.listdir(SCENE.out("one"))}
            RUNS["first"].output_hashes = hashes_between
        finally:
            WINE.stop()
    except BaseException:
        # unittest skips tearDownModule when this fails.
        if not ARGS.keep:
            shutil.rmtree(root, ignore_errors=True)
        raise


def tearDownModule():
    if SCENE and not ARGS.keep:
        shutil.rmtree(SCENE.root, ignore_errors=True)


SCENE = None


class Window(unittest.TestCase):
    """What the driver saw of the windows."""

    def test_each_start_shows_the_presets_and_the_stored_folder(self):
        expected_folder = {"first": "", "replace": winpath(SCENE.out("one")), "stop": winpath(SCENE.out("three"))}
        for run in RUNS.values():
            with self.subTest(run=run.name):
                items = [line.split("\t", 1)[1] for line in run.lines("preset_item")]
                self.assertEqual(items, PRESET_NAMES)
                self.assertEqual(run.lines("preset_current")[0], "0")
                self.assertEqual(run.lines("folder")[0], expected_folder[run.name])
                self.assertEqual(run.lines("exit"), ["0"])

    def test_duplicates_and_other_kinds_are_refused(self):
        self.assertEqual(RUNS["first"].lines("count"), ["1", "6", "6", "6"])

    def test_registry_holds_the_folder_of_the_close(self):
        self.assertEqual(RUNS["first"].registry, winpath(SCENE.out("one")))
        self.assertEqual(RUNS["replace"].registry, winpath(SCENE.out("three")))
        self.assertEqual(RUNS["stop"].registry, winpath(SCENE.out("three")))

    def test_progress_follows_the_list_order(self):
        for run in RUNS.values():
            entries = None
            for number, block in enumerate(run.convert_blocks()):
                entries = [line.split("\t", 1)[1] for line in block if line.startswith("entry ")]
                with self.subTest(run=run.name, convert=number):
                    self.assertEqual(entries, sorted(entries, key=str.lower))
                    last = -1
                    for line in block:
                        if not line.startswith("progress "):
                            continue
                        _, counter, file, position, maximum = line.split("\t")
                        match = COUNTER.match(counter)
                        if not match or file not in entries or maximum == "0":
                            continue  # the template's texts, or no current task (stopping)
                        index, count, percent = (int(g) for g in match.groups())
                        self.assertEqual(count, len(entries))
                        self.assertEqual(entries.index(file), index - 1, line)
                        self.assertEqual(int(maximum), count * 100, line)
                        self.assertEqual(percent, int(position) // count, line)
                        self.assertGreaterEqual(int(position), last, line)
                        last = int(position)
                    self.assertGreater(last, -1, "no progress shown")

    def test_a_complete_run_shows_the_summary(self):
        expected = {("first", 0): "4 / 6 (67%)", ("replace", 0): "3 / 3 (100%)", ("replace", 1): "3 / 3 (100%)",
                    ("stop", 1): "3 / 3 (100%)"}
        for (name, number), counter in expected.items():
            block = RUNS[name].convert_blocks()[number]
            with self.subTest(run=name, convert=number):
                state = [line for line in block if line.startswith("complete_state ")]
                self.assertEqual(state, ["complete_state stop=0 close=1 bar=0\t" + counter])
                self.assertFalse([line for line in block if line.startswith("progress_closed")])

    def test_replace_questions_name_the_outputs(self):
        block = RUNS["replace"].convert_blocks()[0]
        questions = [line.split("\t", 1)[1] for line in block if line.startswith("question ")]
        names = ["a clip (sorenson + mp3).flv", "b h264 & aac 100%.flv", "c nelly! it's.flv"]
        self.assertEqual(questions, ["'%s' already exists.|Do you want to replace it?" % winpath(SCENE.out("one", n))
                                     for n in names])
        self.assertNotIn("answers_unused", block)
        self.assertEqual([line for line in RUNS["replace"].convert_blocks()[1] if line.startswith("question")], [])

    def test_stop_asks_and_no_lets_the_run_go_on(self):
        block = RUNS["stop"].convert_blocks()[0]
        self.assertIn("stop_question\tAre you sure you want to stop the conversion?", block)
        self.assertIn("after_no moving=1 stop=1 enabled=1", block)
        closed = [int(line.split()[1]) for line in block if line.startswith("stop_closed ")]
        self.assertEqual(len(closed), 1)
        # The engine waits about a second for the converter, then a tick; room for a busy machine.
        self.assertLess(closed[0], 15000)
        self.assertFalse([line for line in block if line.startswith("complete")])

    def test_selection_after_each_run(self):
        a, b, bb, c, d = ("a clip (sorenson + mp3).flv", "b h264 & aac 100%.flv", "bb long (stop).flv",
                          "c nelly! it's.flv", "d video only.flv")
        non_ascii_done = os.path.exists(SCENE.out("one", NON_ASCII))
        cases = [
            ("first", 0, {a: 1, b: 1, c: 1, d: 1, BROKEN: 0, NON_ASCII: int(non_ascii_done)}),
            # No keeps the old file, which is still a converted file: selected.
            ("replace", 0, {a: 1, b: 1, c: 1}),
            ("replace", 1, {a: 1, b: 1, c: 1}),
            ("stop", 0, {a: 1, bb: 0, d: 0}),
            ("stop", 1, {a: 1, bb: 1, d: 1}),
        ]
        for name, number, expected in cases:
            block = RUNS[name].convert_blocks()[number]
            with self.subTest(run=name, convert=number):
                seen = {}
                for line in block:
                    if line.startswith("entry "):
                        flag, path = line[len("entry "):].split("\t", 1)
                        seen[path] = int(flag)
                self.assertEqual(seen, {SCENE.src(n): v for n, v in expected.items()})
        self.assertEqual(RUNS["stop"].lines("count")[-1], "0", "Remove takes the selected entries")


class Outputs(unittest.TestCase):
    """The files on disk, with ffprobe."""

    def check_output(self, path, source, preset):
        info = probe(path)
        streams = {s["codec_type"]: s for s in info["streams"]}
        self.assertIn("mp4", info["format"]["format_name"])
        self.assertEqual(streams["video"]["codec_name"], "h264")
        if source in WITH_AUDIO:
            self.assertEqual(streams["audio"]["codec_name"], "aac")
            self.assertEqual(streams["audio"]["sample_rate"], "48000")
        else:
            self.assertNotIn("audio", streams)
        wanted = float(probe(os.path.join(SCENE.sources, source))["format"]["duration"])
        self.assertAlmostEqual(float(info["format"]["duration"]), wanted, delta=max(0.3, wanted * 0.1))
        if PRESET_FRAME[preset]:
            width, height, aspect = PRESET_FRAME[preset]
            self.assertEqual((streams["video"]["width"], streams["video"]["height"]), (width, height))
            self.assertEqual(streams["video"]["display_aspect_ratio"], aspect)
        with open(path, "rb") as f:
            self.assertTrue(PRESET_X264[preset].encode() in f.read(), "%s lacks %s" % (path, PRESET_X264[preset]))

    def test_every_output(self):
        a, b, bb, c, d = ("a clip (sorenson + mp3).flv", "b h264 & aac 100%.flv", "bb long (stop).flv",
                          "c nelly! it's.flv", "d video only.flv")
        cases = [
            # folder, source, preset whose output is there now
            ("one", a, 3), ("one", b, 2), ("one", c, 3), ("one", d, 2),
            ("two", a, 1), ("two", b, 1), ("two", c, 1),
            ("three", a, 0), ("three", bb, 0), ("three", d, 0),
        ]
        if os.path.exists(SCENE.out("one", NON_ASCII)):
            cases.append(("one", NON_ASCII, 2))
        for folder, source, preset in cases:
            with self.subTest(folder=folder, source=source):
                self.check_output(SCENE.out(folder, source), source, preset)
        expected = {folder: sorted(os.path.basename(SCENE.out(folder, s)) for f, s, _ in cases if f == folder)
                    for folder in SCENE.outs}
        for folder in SCENE.outs:
            with self.subTest(folder=folder):
                # Nothing else: no output of the broken file, no partial file.
                self.assertEqual(sorted(os.listdir(SCENE.out(folder))), expected[folder])

    def test_no_keeps_the_old_file(self):
        name = "b h264 & aac 100%.mp4"
        self.assertEqual(sha256(os.path.join(SCENE.out("one"), name)), RUNS["first"].output_hashes[name])
        replaced = "a clip (sorenson + mp3).mp4"
        self.assertNotEqual(sha256(os.path.join(SCENE.out("one"), replaced)), RUNS["first"].output_hashes[replaced])

    def test_sources_untouched(self):
        self.assertEqual({n: sha256(os.path.join(SCENE.sources, n)) for n in os.listdir(SCENE.sources)},
                         SOURCE_HASHES)

    def test_no_work_files_left(self):
        work = os.path.join(ROAMING, "Media Converter")
        self.assertEqual(os.listdir(work) if os.path.isdir(work) else [], [])
        self.assertEqual(glob.glob(os.path.join(ROAMING, "mirovex*")), [])


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True, help="the win64 build tree")
    parser.add_argument("--dist", required=True, help="Quandril.exe, brivaneupdate.dll and core/mirovex.exe")
    parser.add_argument("--driver", required=True, help="e2e_driver.exe")
    parser.add_argument("--keep", action="store_true", help="keep the temporary folder")
    ARGS, rest = parser.parse_known_args()
    if not os.environ.get("DISPLAY"):
        # By hand, without a display: the session script brings Xvfb.
        session = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine-session.sh")
        os.execv(session, [session, ARGS.build, sys.executable] + sys.argv)
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
