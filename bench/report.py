"""report.py RESULTS.json BENCH_DIR: writes BENCH_DIR/README.md (every figure of the run with its
spread) and BENCH_DIR/extraction.png (gnuplot: extraction time against entry count)."""
import json
import os
import statistics
import subprocess
import sys

TINY = ["c100", "c1k", "c10k", "c100k"]
# From this heading to the end the README is written by hand (figures of the other commands).
KEPT_HEADING = "## Measured by other commands"
CASE_TEXT = {
    "shipped": "shipped package (dist/KX2.dat)",
    "c100": "100 files of 0-64 bytes",
    "c1k": "1,000 files of 0-64 bytes",
    "c10k": "10,000 files of 0-64 bytes",
    "c100k": "100,000 files of 0-64 bytes",
    "b": "2,000 files of 250 KB, nested (500 MB)",
}


def stats(values):
    v = sorted(values)
    q = statistics.quantiles(v, n=4, method="inclusive") if len(v) > 1 else [v[0]] * 3
    return {"median": statistics.median(v), "q1": q[0], "q3": q[2], "min": v[0], "max": v[-1], "n": len(v)}


def seconds(samples, key="wall"):
    return stats([s[key] for s in samples])


def ratios(a, b, key="wall"):
    return stats([x[key] / y[key] for x, y in zip(a, b)])


def fmt_time(s):
    """A median with its range: "1.234 s (1.20-1.30)"; milliseconds below a second."""
    if s["median"] < 1:
        return "%.1f ms (%.1f-%.1f)" % (s["median"] * 1e3, s["min"] * 1e3, s["max"] * 1e3)
    return "%.2f s (%.2f-%.2f)" % (s["median"], s["min"], s["max"])


def fmt_ratio(s):
    return "**%.3f** (%.3f-%.3f)" % (s["median"], s["min"], s["max"])


def fmt_ms(s, digits=3):
    f = "%%.%df" % digits
    return (f + " ms (" + f + " to " + f + ")") % (s["median"], s["min"], s["max"])


def extraction_rows(cases):
    native = ["| case | entries | MB | rounds | qmpack extract | floor | tar -x | qmpack / floor | qmpack / tar | "
              "directory decode |", "|---|---:|---:|---:|---|---|---|---|---|---:|"]
    wine = ["| case | rounds | unpacker (in-process) | Win32 floor (in-process) | unpacker / floor | "
            "same, wall time of the processes |", "|---|---:|---|---|---|---|"]
    before = []
    for name in ["shipped", "b", "c100", "c1k", "c10k", "c100k"]:
        if name not in cases:
            continue
        c = cases[name]
        n, w, info = c["native"], c["wine"], c["info"]
        decode = "%.0f ns/entry" % info["decode_ns_per_entry"] if "decode_ns_per_entry" in info else ""
        native.append("| %s | %d | %.1f | %d | %s | %s | %s | %s | %s | %s |" % (
            CASE_TEXT[name], info["entries"], info["bytes"] / 1e6, len(n["qmpack"]), fmt_time(seconds(n["qmpack"])),
            fmt_time(seconds(n["floor"])), fmt_time(seconds(n["tar"])), fmt_ratio(ratios(n["qmpack"], n["floor"])),
            fmt_ratio(ratios(n["qmpack"], n["tar"])), decode))
        wine.append("| %s | %d | %s | %s | %s | %s |" % (
            CASE_TEXT[name], len(w["unpacker"]), fmt_time(seconds(w["unpacker"], "work_s")),
            fmt_time(seconds(w["floor"], "work_s")), fmt_ratio(ratios(w["unpacker"], w["floor"], "work_s")),
            fmt_ratio(ratios(w["unpacker"], w["floor"]))))
        if "qmpack_before" in n:
            before.append("| %s | %s | %s |" % (CASE_TEXT[name], fmt_ratio(ratios(n["qmpack_before"], n["floor"])),
                                               fmt_ratio(ratios(w["unpacker_before"], w["floor"], "work_s"))))
    if before:
        before = ["| case | earlier unpacker / floor, native | the same under Wine |", "|---|---|---|"] + before
    return native, wine, before


def chart(cases, bench_dir, out_dir):
    series = [("qmpack extract (native)", "native", "qmpack", "wall"), ("floor (native)", "native", "floor", "wall"),
              ("tar -x (native)", "native", "tar", "wall"), ("unpacker (Wine)", "wine", "unpacker", "work_s"),
              ("Win32 floor (Wine)", "wine", "floor", "work_s")]
    data = os.path.join(out_dir, "extraction.dat")
    with open(data, "w") as f:
        for title, side, label, key in series:
            f.write('"%s"\n' % title)
            for name in TINY:
                if name in cases:
                    s = seconds(cases[name][side][label], key)
                    f.write("%d %.6f %.6f %.6f\n" % (cases[name]["info"]["entries"], s["median"], s["min"], s["max"]))
            f.write("\n\n")
    png = os.path.join(bench_dir, "extraction.png")
    script = """set terminal pngcairo size 1200,520 font ",10"
set output '%(png)s'
set multiplot layout 1,2 title "Extraction of packages of 0-64 byte files (median, bars: min-max of the rounds)"
set xlabel "entries in the package"
set logscale x
set format x "10^{%%L}"
set grid
set xrange [50:200000]
set key top left
set ylabel "seconds"
set logscale y
set format y "10^{%%L}"
set title "time: a slope of 1 is linear growth"
plot for [i=0:%(last)d] '%(data)s' index i using 1:2:3:4 with yerrorlines lw 2 pt 7 title columnheader(1)
unset logscale y
set format y "%%g"
set ylabel "microseconds per entry"
set yrange [0:*]
set key top right
set title "time per entry: flat is linear growth"
plot for [i=0:%(last)d] '%(data)s' index i using 1:($2/$1*1e6):($3/$1*1e6):($4/$1*1e6) with yerrorlines lw 2 pt 7 \\
  title columnheader(1)
unset multiplot
""" % {"png": png, "last": len(series) - 1, "data": data}
    gp = os.path.join(out_dir, "extraction.gp")
    with open(gp, "w") as f:
        f.write(script)
    subprocess.run(["gnuplot", gp], check=True)


def engine_section(e):
    lines = []
    if "copy" in e:
        c = e["copy"]
        n = c["lines"]
        flo = [s["work_s"] for s in c["floor"]]
        lines += ["| script | rounds | engine, DoStep | Win32 floor, CopyFileA | engine cost per command beyond the floor |",
                  "|---|---:|---|---|---|"]
        for chapter, text in [("copy", "{:,} COPY lines, OVERWRITE, fresh targets".format(n)),
                              ("update", "{:,} COPY lines, UPDATE, fresh targets".format(n))]:
            eng = [s["step_" + chapter] for s in c["engine"]]
            per = stats([(x - y) / n * 1e3 for x, y in zip(eng, flo)])
            lines.append("| %s | %d | %s | %s | **%s** |" % (text, len(eng), fmt_time(stats(eng)), fmt_time(stats(flo)),
                                                           fmt_ms(per)))
        prep = stats([s["prepare_s"] for s in c["engine"]])
        lines.append("")
        lines.append("Prepare of that package (unpacking its 10,000 files, loading 20,000 script lines): %s." % fmt_time(prep))
    if "var" in e:
        v = [s["step_vars"] for s in e["var"]["engine"]]
        per = stats([x / e["var"]["lines"] * 1e3 for x in v])
        lines += ["", "{:,} VAR lines (each expands one placeholder): DoStep {}, **{} per command** ({} rounds).".format(
            e["var"]["lines"], fmt_time(stats(v)), fmt_ms(per, 4), len(v))]
    if "load" in e:
        lines += ["", "Script load, one chapter of N COPY lines (the loader reads and splits the whole file):", "",
                  "| lines | Prepare under Wine (rounds) | per line | load alone, Win32 under Wine | per line | "
                  "load alone, native | per line |", "|---:|---|---:|---:|---:|---:|---:|"]
        for n, d in sorted(e["load"].items(), key=lambda kv: int(kv[0])):
            n_lines = int(n)
            p = seconds(d["prepare"], "prepare_s")
            lines.append("| %s | %s (%d) | %.2f us | %.1f ms | %.2f us | %.1f ms | %.2f us |" % (
                "{:,}".format(n_lines), fmt_time(p), p["n"], p["median"] / n_lines * 1e6, d["win"]["load_s"] * 1e3,
                d["win"]["load_s"] / n_lines * 1e6, d["native"]["load_s"] * 1e3, d["native"]["load_s"] / n_lines * 1e6))
    if "calls" in e:
        lines += ["", "What the single calls of a COPY line cost under Wine (call_costs.exe, 100 fresh names in one "
                  "folder, median of the rounds' means, and their range):", "", "| call | microseconds |", "|---|---|"]
        for name, values in e["calls"].items():
            s = stats(values)
            lines.append("| %s | %.0f (%.0f-%.0f) |" % (name, s["median"], s["min"], s["max"]))
    return lines


def segments(timeline):
    """[(label, seconds, waited programs)] of one step, from the times its log lines appeared."""
    out = []
    last_end = 0.0
    open_at = None
    label = None
    waited = 0
    for t, line in timeline:
        if line.startswith("====>Begin to "):
            if open_at is not None:  # a call that logs no end line
                out.append((label, t - open_at, waited))
                last_end = t
            gap = t - last_end
            if not out:
                out.append(("host start, staging, engine load", gap, 0))
            elif gap > 0.0005 or out[-1][0] != "front, between calls":
                out.append(("front, between calls", gap, 0))
            open_at, label, waited = t, line[len("====>Begin to "):].rstrip(":."), 0
        elif line.startswith("DoStep OneChapter is ") and open_at is not None:
            label = "DoStep " + line[len("DoStep OneChapter is "):]
        elif line.endswith(" OK./WAIT"):
            waited += 1
        elif (line.startswith("<====Ending to ") or line.startswith("Return Err")) and open_at is not None:
            out.append((label, t - open_at, waited))
            last_end, open_at = t, None
        elif line == "(step returned)":
            out.append(("release, host exit", t - last_end, 0))
    # Gaps of no length between two calls say nothing.
    return [seg for seg in out if not (seg[0] == "front, between calls" and seg[1] < 0.0005)]


def timeline_rows(rounds, step):
    per_round = [segments(r[step + "_timeline"]) for r in rounds]
    labels = [seg[0] for seg in per_round[0]]
    rows = ["| %s: part | median | fixed waits in it | beyond them |" % step, "|---|---|---|---|"]
    for i, label in enumerate(labels):
        values = [segs[i][1] for segs in per_round if i < len(segs) and segs[i][0] == label]
        if not values:
            continue
        waits = per_round[0][i][2] * 0.5
        if label == "front, between calls" and statistics.median(values) > 2.9:
            waits = 3.0  # the pause before the certificate daemon
        m = statistics.median(values)
        rows.append("| %s | %.0f ms | %s | %.0f ms |" % (label, m * 1e3, "%.1f s" % waits if waits else "", (m - waits) * 1e3))
    return rows


def e2e_section(rounds):
    if not rounds:
        return []
    rows = ["| step | total | fixed waits | beyond the waits |", "|---|---|---|---|"]
    for step, text in [("install", "kx_Install (kxhost install 3)"), ("uninstall", "kx_Uninstall (kxhost uninstall)")]:
        total = stats([r[step] for r in rounds])
        waits = stats([r[step + "_waits"]["seconds"] for r in rounds])
        beyond = stats([r[step] - r[step + "_waits"]["seconds"] for r in rounds])
        w = rounds[0][step + "_waits"]
        what = "%d waited programs x 0.5 s" % w["waited_programs"] + (" + 3 s pause" if w["pauses_3000"] else "")
        rows.append("| %s | %s | %.1f s (%s) | %s |" % (text, fmt_time(total), waits["median"], what, fmt_time(beyond)))
    both = stats([r["install"] + r["uninstall"] for r in rounds])
    beyond = stats([r["install"] + r["uninstall"] - r["install_waits"]["seconds"] - r["uninstall_waits"]["seconds"]
                    for r in rounds])
    rows.append("| both | %s | | **%s** |" % (fmt_time(both), fmt_time(beyond)))
    empty = stats([r["empty"] for r in rounds])
    rows += ["", "%d rounds. For scale: starting and ending an empty Win32 program under Wine takes %s; each step above "
             "starts one (kxhost) and the engine starts the daemons' programs." % (len(rounds), fmt_time(empty))]
    if "install_timeline" in rounds[0]:
        rows += ["", "Where the time goes: each part from the moment its first setup-log line appeared to its last "
                 "(the engine flushes every line; read every 2 ms while the step ran), median of the rounds. A chapter "
                 "that runs programs includes their run time and the 0.5 s after each waited one.", ""]
        rows += timeline_rows(rounds, "install") + [""] + timeline_rows(rounds, "uninstall")
    return rows


def main():
    results_path, bench_dir = sys.argv[1], sys.argv[2]
    with open(results_path) as f:
        r = json.load(f)
    out_dir = os.path.dirname(os.path.abspath(results_path))
    m = r["machine"]
    native, wine, before = extraction_rows(r["cases"])
    if r["cases"]:
        chart(r["cases"], bench_dir, out_dir)
    text = ["# Benchmarks", "",
            "Written by `make bench` (bench/run.sh, bench.py, report.py); every figure below is from its last run.", "",
            "Last run: %s, %d cores, %.1f GiB memory, Linux %s, load average %.2f at the start and %.2f at the end "
            "(the machine is shared, so other work may have run beside it); %.0f minutes in all. The runs wrote into "
            "%s." % (m["date"], m["nproc"], m["memory_gib"], m["kernel"], m["load"][0],
                     m.get("load_end", m["load"])[0], m["took_s"] / 60, m["filesystem"]),
            "",
            "## Method", "",
            "- Every comparison is paired: the contestants of a case run in the same round, one after the other, and the "
            "order turns from round to round (A B C, then C A B reversed, ...), so a slow minute of the shared disk or "
            "CPU falls on all of them alike. Each run writes into a fresh empty folder, after a `sync`; the folder is "
            "deleted after the run, outside the timing.",
            "- Figures are the median of the rounds with the range (min-max) in brackets; a ratio is the median of the "
            "per-round ratios, so a round that was slow for both cancels out. Big cases have fewer rounds.",
            "- Native: wall time of the whole process (`qmpack extract`, the floor, `tar --no-same-owner "
            "--no-same-permissions -m -xf`: no owners, modes or times restored, as the unpacker restores none).",
            "- Under Wine: both sides are Win32 processes of ours (unpack_win.exe links the engine's unpacker, as qmpack.exe "
            "does; floor_win.exe), timed from inside with QueryPerformanceCounter, so Wine's process start (tens of "
            "milliseconds, varying) stays out; the wall-time ratio is given too.",
            "- The floor does only the unavoidable work: reads the package directory, makes each folder once, creates "
            "each file and copies its body. Natively with copy_file_range from the package's body region (for bodies "
            "of a few bytes that costs more than write from a buffer, which is why qmpack can come out below 1); under "
            "Wine with CreateFileA/ReadFile/WriteFile through a 1 MB buffer over the same region.",
            "",
            "## Extraction", "", "Natively:", ""] + native + ["", "Under Wine:", ""] + wine
    if before:
        text += ["", "The unpacker as it was before this round of work, in the same rounds:", ""] + before
    if r["cases"]:
        text += ["", "![extraction time against entry count](extraction.png)", ""]
    text += ["## The engine's own cost", "",
             "The real QMSetup.dll driven through its exports (Prepare, SetInstDir, DoStep) by engine_bench.exe under Wine, "
             "each call timed from inside; the floor copies the same files with CopyFileA, each folder made once, after "
             "unpacking them the same way.", ""] + engine_section(r.get("engine", {}))
    text += ["", "## End to end under Wine", "",
             "dist/kxhost.exe with the shipped front (dist/Inst_kx2.dll), install then uninstall, each round from a "
             "fresh state: a restart of the Wine session (which carries out what the previous removal left for the "
             "next restart), no product folder, record or restart marker, no staging folder, an empty setup log. Wall "
             "time of the kxhost processes. The fixed waits are counted from the setup log: 0.5 s after each program "
             "the script waits for (its \"OK./WAIT\" line) and the front's 3 s pause before the certificate daemon.",
             ""] + e2e_section(r.get("e2e", {}).get("rounds", []))
    # The hand-written part at the end is kept as it is.
    readme = os.path.join(bench_dir, "README.md")
    kept = ""
    if os.path.exists(readme):
        with open(readme) as f:
            old = f.read()
        start = old.find("\n" + KEPT_HEADING)
        if start >= 0:
            kept = old[start:].rstrip("\n") + "\n"
    with open(readme, "w") as f:
        f.write("\n".join(text) + "\n" + kept)


if __name__ == "__main__":
    main()
