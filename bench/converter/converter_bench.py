#!/usr/bin/env python3
"""mirovex.exe against a stock ffmpeg.exe of the same FFmpeg sources.

Both convert the same FLV with the same preset; the stock program gets the
preset with today's names (aac for libvo_aacenc, rc-lookahead for
rc_lookahead), which it needs. Runs alternate between the two so that the
machine's noise falls on both alike. Reported per preset: the median wall
time of each and their ratio (ours / stock), the same for CPU time (user and
system, steadier than wall time on a shared machine), and each one's peak resident memory
(the Wine process's maximum RSS, Wine's own share included in both).
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

PRESETS = [
    "-crf 35.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 128k -coder 1 -rc_lookahead 50 -threads 0",
    "-crf 15.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 192k -coder 1 -rc_lookahead 60 -threads 0",
    "-crf 25.0 -vcodec libx264 -acodec libvo_aacenc -ar 48000 -b:a 160k -coder 1 -rc_lookahead 60 -threads 0",
    "-f mp4 -r 29.97 -vcodec libx264 -vf scale=640:480 -aspect 4:3 -b:v 1250k -maxrate 1500k -bufsize 4M -bt 256k -refs 1 -bf 3 -coder 1 -me_method umh -me_range 16 -subq 7 -partitions +parti4x4+parti8x8+partp8x8+partb8x8 -g 250 -keyint_min 25 -level 30 -qmin 10 -qmax 51 -qcomp 0.6 -trellis 2 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 2 -qdiff 4 -direct-pred 3 -wpredp 2 -rc_lookahead 50 -acodec libvo_aacenc -b:a 112k -ar 48000 -ac 2",
    "-f mp4 -r 29.97 -vcodec libx264 -vf scale=704:384 -b:v 1250k -aspect 16:9 -maxrate 1500k -bufsize 4M -bt 256k -refs 1 -bf 3 -coder 1 -me_method umh -me_range 16 -subq 7 -partitions +parti4x4+parti8x8+partp8x8+partb8x8 -g 250 -keyint_min 25 -level 30 -qmin 10 -qmax 51 -qcomp 0.6 -trellis 2 -sc_threshold 40 -i_qfactor 0.71 -b_strategy 2 -qdiff 4 -direct-pred 3 -wpredp 2 -rc_lookahead 50 -acodec libvo_aacenc -b:a 112k -ar 48000 -ac 2",
]


def stock_form(preset):
    return preset.replace("libvo_aacenc", "aac").replace("-rc_lookahead", "-rc-lookahead")


def winpath(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def timed(cmd):
    """Wall seconds, CPU seconds and peak RSS in MiB of one run (the Wine process is our child)."""
    start = time.perf_counter()
    p = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    _, status, usage = os.wait4(p.pid, 0)
    elapsed = time.perf_counter() - start
    err = p.stderr.read().decode("utf-8", "replace")
    p.stderr.close()
    p.returncode = os.waitstatus_to_exitcode(status)
    if p.returncode != 0:
        sys.exit("run failed (%d): %s\n%s" % (p.returncode, " ".join(cmd), err[-2000:]))
    return elapsed, usage.ru_utime + usage.ru_stime, usage.ru_maxrss / 1024.0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--wine-run", required=True)
    ap.add_argument("--converter", required=True)
    ap.add_argument("--stock", required=True)
    ap.add_argument("--runs", type=int, default=5, help="runs of each program per preset")
    ap.add_argument("--presets", default="0,3", help="comma-separated preset indexes")
    ap.add_argument("--seconds", type=int, default=20, help="length of the test FLV")
    args = ap.parse_args()

    work = tempfile.mkdtemp(prefix="mirovex-bench-")
    try:
        src = os.path.join(work, "in.flv")
        subprocess.run(["ffmpeg", "-v", "error", "-y",
                        "-f", "lavfi", "-i", "testsrc2=size=480x360:rate=25:d=%d" % args.seconds,
                        "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:d=%d" % args.seconds,
                        "-c:v", "flv1", "-b:v", "800k", "-c:a", "libmp3lame", "-b:a", "96k", src], check=True)
        print("input: %d s FLV, Sorenson 480x360 25 fps + MP3 44.1 kHz; %d alternating runs each"
              % (args.seconds, args.runs))
        print("%-7s %9s %9s %7s %9s %9s %9s %10s %10s" % ("preset", "ours s", "stock s", "ratio",
              "ours cpu", "stock cpu", "cpu ratio", "ours MiB", "stock MiB"))
        for index in [int(i) for i in args.presets.split(",")]:
            preset = PRESETS[index]
            out_ours, out_stock = os.path.join(work, "ours.mp4"), os.path.join(work, "stock.mp4")
            ours_cmd = [args.wine_run, args.converter, "-nostdin", "-y", "-i", winpath(src)] + preset.split() + [winpath(out_ours)]
            stock_cmd = [args.wine_run, args.stock, "-nostdin", "-y", "-i", winpath(src)] + stock_form(preset).split() + [winpath(out_stock)]
            timed(ours_cmd)  # warm the file cache and Wine
            ours, stock = ([], [], []), ([], [], [])
            for run in range(args.runs):
                pair = [(ours_cmd, ours), (stock_cmd, stock)]
                if run % 2:
                    pair.reverse()
                for cmd, (walls, cpus, mems) in pair:
                    wall, cpu, mem = timed(cmd)
                    walls.append(wall)
                    cpus.append(cpu)
                    mems.append(mem)
            wo, ws = statistics.median(ours[0]), statistics.median(stock[0])
            co, cs = statistics.median(ours[1]), statistics.median(stock[1])
            print("%-7d %9.2f %9.2f %7.3f %9.2f %9.2f %9.3f %10.1f %10.1f" % (
                index, wo, ws, wo / ws, co, cs, co / cs, max(ours[2]), max(stock[2])))
            sys.stdout.flush()
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
