#!/usr/bin/env python3
"""A batch through Quandril's window against the converter alone.

Ten 10-second FLV files (Sorenson video and MP3 audio, as FLV files mostly
are) are converted with one preset twice, side by side in one run:

- alone: core/mirovex.exe on each file with the command line of the
  application's converting script, started and timed inside Wine by
  e2e_driver.exe (its `run` step), one after the other;
- through the window: Quandril.exe started from a copy of the dist folder and
  driven by e2e_driver.exe: the ten files added, the preset chosen, Convert,
  timed from the click to the "Complete" line.

It prints the batch's wall time over the sum of the converter-alone times
(goal: at most 1.05), the time from Convert to the first percentage shown,
and, in a second Convert of the same list, the time from Yes on the stop
question to the progress window closing.

usage: bench/batch/run.sh [BUILD_DIR] [--rounds N] [--preset I] [--seconds S] [--size WxH]

The converter's work per file grows with the frame size while the
application's work per file (a probe and a converting script through cmd.exe)
does not, so the ratio depends on the size: give the one you care about.
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e"))
import e2e_test  # noqa: E402  (the Wine prefix and the path helpers)

PRESETS = [
    "-crf 35.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 128k -coder 1 -rc_lookahead 50 -threads 0",
    "-crf 15.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 192k -coder 1 -rc_lookahead 60 -threads 0",
    "-crf 25.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 160k -coder 1 -rc_lookahead 60 -threads 0",
    "-f mp4 -r 29.97 -vcodec libx264 -vf scale=640:480 -aspect 4:3 -b:v 1250k -maxrate 1500k -bufsize 4M -bt 256k -refs 1 -bf 3 -coder 1 -me_method umh -me_range 16 -subq 7 -partitions +parti4x4+parti8x8+partp8x8+partb8x8 -g 250 -keyint_min 25 -level 30 -qmin 10 -qmax 51 -qcomp 0.6 -trellis 2 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 2 -qdiff 4 -direct-pred 3 -wpredp 2 -rc_lookahead 50 -acodec libvo_aacenc -b:a 112k -ar 48000 -ac 2",
    "-f mp4 -r 29.97 -vcodec libx264 -vf scale=704:384 -b:v 1250k -aspect 16:9 -maxrate 1500k -bufsize 4M -bt 256k -refs 1 -bf 3 -coder 1 -me_method umh -me_range 16 -subq 7 -partitions +parti4x4+parti8x8+partp8x8+partb8x8 -g 250 -keyint_min 25 -level 30 -qmin 10 -qmax 51 -qcomp 0.6 -trellis 2 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 2 -qdiff 4 -direct-pred 3 -wpredp 2 -rc_lookahead 50 -acodec libvo_aacenc -b:a 112k -ar 48000 -ac 2",
]
COUNTER = re.compile(r"^(\d+) / (\d+) \((\d+)%\)$")
FILES = 10


def drive(wine, root, name, steps):
    steps_path = os.path.join(root, "steps-%s.txt" % name)
    facts_path = os.path.join(root, "facts-%s.txt" % name)
    with open(steps_path, "w", encoding="utf-8", newline="\r\n") as f:
        for step in steps:
            f.write("\t".join(step) + "\n")
    result = wine.run([ARGS.driver, e2e_test.winpath(steps_path), e2e_test.winpath(facts_path)], timeout=1800)
    with open(facts_path, encoding="utf-8", errors="replace") as f:
        facts = f.read().splitlines()
    if result.returncode != 0 or not facts or facts[-1] != "end":
        sys.exit("driver failed (%s):\n%s" % (name, "\n".join(facts)))
    return facts


def blocks(facts):
    out, current = [], None
    for fact in facts:
        if fact.startswith("step\t"):
            current = [] if fact.startswith("step\tconvert") else None
            if current is not None:
                out.append(current)
        elif current is not None:
            current.append(fact)
    return out


def stamp(line):
    return int(line.split("\t")[0].split()[1])


def one_round(wine, root, app, sources, names, preset, number):
    exe = os.path.join(app, "Quandril.exe")
    converter = e2e_test.winpath(os.path.join(app, "core", "mirovex.exe"))
    alone = os.path.join(root, "alone-%d" % number)
    batch = os.path.join(root, "batch-%d" % number)
    stopped = os.path.join(root, "stop-%d" % number)
    for folder in (alone, batch, stopped):
        os.makedirs(folder)

    steps = []
    for name in names:
        out = e2e_test.winpath(os.path.join(alone, os.path.splitext(name)[0] + ".mp4"))
        source = e2e_test.winpath(os.path.join(sources, name))
        steps.append(["run", '"%s" -y -i "%s" %s "%s"' % (converter, source, PRESETS[preset], out)])

    def run_alone():
        return [int(f.split()[1]) for f in drive(wine, root, "alone-%d" % number, steps) if f.startswith("timed ")]

    def run_window():
        return drive(wine, root, "window-%d" % number, [
            ["start", e2e_test.winpath(exe)],
            ["addmany", e2e_test.winpath(sources)] + names,
            ["preset", str(preset)],
            ["folder", e2e_test.winpath(batch)],
            ["convert", "-", "-"],
            ["folder", e2e_test.winpath(stopped)],
            ["convert", "-", "1"],
            ["close"],
        ])

    # Alternate which side goes first, so neither always meets a warmer machine.
    if number % 2 == 0:
        alone_ms = run_alone()
        facts = run_window()
    else:
        facts = run_window()
        alone_ms = run_alone()
    run, stop = blocks(facts)
    complete = [stamp(f) for f in run if f.startswith("complete ")][0]
    counters = [(stamp(f), f.split("\t")[1]) for f in run if f.startswith("progress ")]
    first_shown = next(t for t, c in counters if COUNTER.match(c))
    first_moving = next(t for t, c in counters if COUNTER.match(c) and int(COUNTER.match(c).group(3)) > 0)
    stop_ms = [int(f.split()[1]) for f in stop if f.startswith("stop_closed ")][0]
    converted = len([n for n in os.listdir(batch) if n.endswith(".mp4")])
    return {"alone": sum(alone_ms), "batch": complete, "first_shown": first_shown, "first_moving": first_moving,
            "stop": stop_ms, "converted": converted, "alone_each": alone_ms}


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--driver", required=True)
    parser.add_argument("--rounds", type=int, default=1)
    parser.add_argument("--preset", type=int, default=0)
    parser.add_argument("--seconds", type=int, default=10)
    parser.add_argument("--size", default="320x240", help="frame size of the sources")
    ARGS = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("run through bench/batch/run.sh (it brings a display)")

    root = tempfile.mkdtemp(prefix="quandril bench ")
    try:
        app = os.path.join(root, "Quandril app")
        shutil.copytree(os.path.join(ARGS.build, "dist"), app)
        sources = os.path.join(root, "clips")
        os.makedirs(sources)
        names = ["clip %02d.flv" % i for i in range(FILES)]
        for i, name in enumerate(names):
            subprocess.run(["ffmpeg", "-v", "error", "-y", "-f", "lavfi", "-i",
                            "testsrc=size=%s:rate=25:d=%d" % (ARGS.size, ARGS.seconds), "-f", "lavfi", "-i",
                            "sine=frequency=%d:sample_rate=44100:d=%d" % (300 + 20 * i, ARGS.seconds),
                            "-c:v", "flv1", "-c:a", "libmp3lame", os.path.join(sources, name)], check=True)
        wine = e2e_test.Wine(ARGS.build, "bench-wineprefix")
        try:
            results = [one_round(wine, root, app, sources, names, ARGS.preset, n) for n in range(ARGS.rounds)]
        finally:
            wine.stop()
    finally:
        shutil.rmtree(root, ignore_errors=True)

    print("%d files of %d s at %s, preset %d, %d round(s)" % (FILES, ARGS.seconds, ARGS.size, ARGS.preset,
                                                              ARGS.rounds))
    print("%-6s %10s %10s %7s %14s %14s %10s %9s" % ("round", "alone ms", "batch ms", "ratio", "first shown ms",
                                                     "first >0% ms", "stop ms", "converted"))
    for n, r in enumerate(results):
        print("%-6d %10d %10d %7.3f %14d %14d %10d %9d" % (n, r["alone"], r["batch"], r["batch"] / r["alone"],
                                                           r["first_shown"], r["first_moving"], r["stop"],
                                                           r["converted"]))
    ratios = [r["batch"] / r["alone"] for r in results]
    print("ratio batch / sum of alone: median %.3f (goal at most 1.05)" % statistics.median(ratios))
    print("converter alone per file, ms: " + " ".join(str(t) for t in results[0]["alone_each"]))


if __name__ == "__main__":
    main()
