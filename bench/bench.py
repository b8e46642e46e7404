"""bench.py: the measurements behind `make bench` (bench/run.sh sets it up and calls it).

Every comparison is paired: the contestants of a case run in the same round, one after the other,
the order turning from round to round, each run into a fresh empty folder after a sync, and the
figures are the median and spread over the rounds (and the median of the per-round ratios).
Results go to OUT/results.json; report.py turns them into bench/README.md and the chart.
"""
import argparse
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import make_tree  # noqa: E402

TAR_X = ["tar", "--no-same-owner", "--no-same-permissions", "-m", "-xf"]


def win_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def summary(values):
    v = sorted(values)
    if not v:
        return None
    q = statistics.quantiles(v, n=4, method="inclusive") if len(v) > 1 else [v[0]] * 3
    return {"median": statistics.median(v), "q1": q[0], "q3": q[2], "min": v[0], "max": v[-1], "n": len(v)}


class Bench:
    def __init__(self, args):
        self.args = args
        self.work = os.path.abspath(args.work)  # scratch file system: packages, trees, runs
        self.native = os.path.abspath(args.native)
        self.win = os.path.abspath(args.win)
        self.dist = os.path.abspath(args.dist)
        self.prefix = os.path.abspath(args.prefix)
        self.runs = os.path.join(self.work, "runs")
        self.serial = 0
        self.results = {"cases": {}, "engine": {}, "e2e": {}}
        self.env = dict(os.environ, WINEPREFIX=self.prefix, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d")
        self.scale = args.scale

    def rounds(self, n):
        return max(2, int(round(n * self.scale)))

    def log(self, text):
        print(text, flush=True)

    # -- running one contestant ------------------------------------------------------------
    def fresh(self):
        self.serial += 1
        path = os.path.join(self.runs, "r%05d" % self.serial)
        os.makedirs(path)
        return path

    def run(self, cmd, cwd=None, ok=(0,), keep_output=False, follow=None):
        """Runs |cmd| once; wall seconds, CPU seconds and the program's own "work_s" figure."""
        # Output into a file, not a pipe: Wine's helper processes may keep a pipe open after the
        # program has ended.
        with open(os.path.join(self.work, "stdout"), "w+b") as out, open(os.path.join(self.work, "stderr"), "w+b") as err:
            os.sync()
            if follow:
                follow.begin()
            start = time.perf_counter()
            p = subprocess.Popen(cmd, cwd=cwd, env=self.env, stdin=subprocess.DEVNULL, stdout=out, stderr=err)
            _, status, usage = os.wait4(p.pid, 0)
            wall = time.perf_counter() - start
            p.returncode = os.waitstatus_to_exitcode(status)
            out.seek(0)
            err.seek(0)
            text = out.read().decode(errors="replace")
            if p.returncode not in ok:
                raise RuntimeError("%s exited %d: %s %s" % (" ".join(cmd), p.returncode, text[-800:],
                                                              err.read().decode(errors="replace")[-800:]))
        sample = {"wall": wall, "cpu": usage.ru_utime + usage.ru_stime, "rc": p.returncode}
        if keep_output:
            sample["output"] = text
        for key, value in re.findall(r"\b(work_s|prepare_s|load_s) ([0-9.]+)", text):
            sample[key] = float(value)
        for name, value in re.findall(r"^step (\S+) ([0-9.]+)", text, re.M):
            sample["step_" + name] = float(value)
        return sample

    def wine(self, exe, *args):
        return ["wine", os.path.join(self.win, exe)] + list(args)

    def paired(self, contestants, rounds, cleanup=None):
        """contestants: [(label, make_cmd(folder) -> argv)]. Returns {label: [sample per round]}."""
        samples = {label: [] for label, _ in contestants}
        for r in range(rounds):
            k = r % len(contestants)
            order = contestants[k:] + contestants[:k]
            if r % 2:
                order.reverse()
            for label, make_cmd in order:
                folder = self.fresh()
                samples[label].append(self.run(make_cmd(folder)))
                shutil.rmtree(folder)
                if cleanup:
                    cleanup()
        return samples

    # -- sections --------------------------------------------------------------------------
    def prepare_inputs(self):
        src = os.path.join(self.work, "src")
        os.makedirs(src, exist_ok=True)
        self.src = src
        self.log("Making the benchmark trees and their packages in %s" % src)
        sections = self.args.only.split(",")
        names = ["b", "c100", "c1k", "c10k", "c100k"] if "extraction" in sections else ["c10k"] if "engine" in sections else []
        for name in names:
            tree = os.path.join(src, name)
            make_tree.make(src, name)
            subprocess.run([os.path.join(self.native, "qmpack"), "create", tree + ".dat", tree], check=True,
                           stdout=subprocess.DEVNULL)
            subprocess.run(["tar", "-cf", tree + ".tar", "-C", tree, "."], check=True)
        # The shipped package, and a tree of it for tar.
        shutil.copy(os.path.join(self.dist, "KX2.dat"), os.path.join(src, "shipped.dat"))
        tree = os.path.join(src, "shipped")
        os.makedirs(tree)
        subprocess.run([os.path.join(self.native, "qmpack"), "extract", os.path.join(src, "shipped.dat"), tree], check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["tar", "-cf", tree + ".tar", "-C", tree, "."], check=True)

    def case_info(self, name):
        path = os.path.join(self.src, name + ".dat")
        listing = subprocess.run([os.path.join(self.native, "qmpack"), "list", path], check=True,
                                 stdout=subprocess.PIPE).stdout.decode()
        entries = [line.split(None, 2) for line in listing.splitlines() if line.strip()]
        return {"entries": len(entries), "bytes": sum(int(e[1]) for e in entries),
                "folders": len({os.path.dirname(e[2].replace("\\", "/")) for e in entries} - {""})}

    def extraction(self):
        # (case, native rounds, Wine rounds): fewer rounds for the big ones, whose spread is shown.
        plan = [("shipped", 15, 11), ("c100", 15, 11), ("c1k", 11, 9), ("c10k", 9, 7), ("b", 5, 3), ("c100k", 5, 3)]
        for name, native_rounds, wine_rounds in plan:
            pkg = os.path.join(self.src, name + ".dat")
            tar = os.path.join(self.src, name + ".tar")
            info = self.case_info(name)
            self.log("Extraction %s: %d entries, %.1f MB (%d native rounds, %d under Wine)" % (
                name, info["entries"], info["bytes"] / 1e6, self.rounds(native_rounds), self.rounds(wine_rounds)))
            native = [
                ("qmpack", lambda d: [os.path.join(self.native, "qmpack"), "extract", pkg, d]),
                ("floor", lambda d: [os.path.join(self.native, "floor_native"), pkg, d]),
                ("tar", lambda d: TAR_X + [tar, "-C", d]),
            ]
            wine = [
                ("unpacker", lambda d: self.wine("unpack_win.exe", win_path(pkg), win_path(d))),
                ("floor", lambda d: self.wine("floor_win.exe", "extract", win_path(pkg), win_path(d))),
            ]
            if self.args.before:  # an earlier build of the unpacker, in the same rounds
                before = os.path.abspath(self.args.before)
                native.append(("qmpack_before", lambda d: [os.path.join(before, "qmpack"), "extract", pkg, d]))
                wine.append(("unpacker_before",
                             lambda d: ["wine", os.path.join(before, "unpack_win.exe"), win_path(pkg), win_path(d)]))
            native = self.paired(native, self.rounds(native_rounds))
            wine = self.paired(wine, self.rounds(wine_rounds))
            decode = self.run([os.path.join(self.native, "decode_bench"), pkg, "5"], keep_output=True)["output"]
            info["decode_ns_per_entry"] = float(re.search(r"decode ([0-9.]+) ns/entry", decode).group(1))
            self.results["cases"][name] = {"info": info, "native": native, "wine": wine}
            self.show_case(name)

    def show_case(self, name):
        c = self.results["cases"][name]
        n, w = c["native"], c["wine"]
        med = lambda s, k="wall": statistics.median(x[k] for x in s)  # noqa: E731
        ratio = lambda a, b, k="wall": statistics.median(x[k] / y[k] for x, y in zip(a, b))  # noqa: E731
        self.log("  native: qmpack %.4f s, floor %.4f s, tar %.4f s; qmpack/floor %.3f, qmpack/tar %.3f" % (
            med(n["qmpack"]), med(n["floor"]), med(n["tar"]), ratio(n["qmpack"], n["floor"]), ratio(n["qmpack"], n["tar"])))
        self.log("  Wine:   unpacker %.4f s, floor %.4f s (in-process); unpacker/floor %.3f (wall %.3f)" % (
            med(w["unpacker"], "work_s"), med(w["floor"], "work_s"), ratio(w["unpacker"], w["floor"], "work_s"),
            ratio(w["unpacker"], w["floor"])))
        if "qmpack_before" in n:
            self.log("  before: qmpack/floor %.3f natively, unpacker/floor %.3f under Wine" % (
                ratio(n["qmpack_before"], n["floor"]), ratio(w["unpacker_before"], w["floor"], "work_s")))

    # -- the engine's own cost -----------------------------------------------------------------
    def script_package(self, name, chapters, tree=None):
        """A package of |tree| (or of the script alone) whose qmsetup.ini holds |chapters|."""
        root = os.path.join(self.src, name)
        if tree:
            shutil.copytree(os.path.join(self.src, tree), root)
        else:
            os.makedirs(root)
        text = ["[FILES]", 'CHECK "qmsetup.ini"', "[COMMON]", 'DEF INSTALLERRSTOP "TRUE"']
        for chapter, lines in chapters:
            text.append("[%s]" % chapter)
            text.extend(lines)
        with open(os.path.join(root, "qmsetup.ini"), "w", newline="\r\n") as f:
            f.write("\n".join(text) + "\n")
        pkg = root + ".dat"
        subprocess.run([os.path.join(self.native, "qmpack"), "create", pkg, root], check=True, stdout=subprocess.DEVNULL)
        return pkg, root

    def clear_engine_traces(self):
        log = os.path.join(self.prefix, "drive_c", "windows", "temp", "_!QMSetup_.log")
        if os.path.exists(log):
            os.remove(log)

    def engine(self):
        tiny = [p for p in sorted(os.listdir(os.path.join(self.src, "c10k")))]
        files = []
        for folder in tiny:
            full = os.path.join(self.src, "c10k", folder)
            if os.path.isdir(full):
                files += ["%s\\%s" % (folder, f) for f in sorted(os.listdir(full))]
        copy_lines = ['COPY "{TMP}\\%s", "{INSTDIR}%s", OVERWRITE' % (f, f) for f in files]
        update_lines = ['COPY "{TMP}\\%s", "{INSTDIR}u\\%s", UPDATE' % (f, f) for f in files]
        var_lines = ['VAR {V%05d} "{TMP}\\v%05d"' % (i, i) for i in range(10000)]
        copy_pkg, _ = self.script_package("copy10k", [("copy", copy_lines), ("update", update_lines)], tree="c10k")
        var_pkg, _ = self.script_package("var10k", [("vars", var_lines)])
        load_pkgs = {}
        for n in (10000, 30000, 100000):
            lines = ['COPY "{TMP}\\g%04d\\f%06d.bin", "{INSTDIR}g%04d\\f%06d.bin", OVERWRITE' % (i // 100, i, i // 100, i)
                     for i in range(n)]
            load_pkgs[n] = self.script_package("load%d" % n, [("big", lines)])
        engine_dll = os.path.join(self.win, "QMSetup.dll")

        def engine_run(pkg, *steps, instdir=True):
            def make(folder):
                shutil.copy(engine_dll, folder)
                shutil.copy(pkg, folder)
                cmd = self.wine("engine_bench.exe", win_path(os.path.join(folder, "QMSetup.dll")), os.path.basename(pkg))
                if instdir:
                    cmd += ["--instdir", win_path(os.path.join(folder, "dst"))]
                return cmd + list(steps)
            return make

        self.log("Engine: 10,000 COPY lines of small files against the Win32 floor, under Wine")
        self.clear_engine_traces()
        copy = self.paired([
            ("engine", engine_run(copy_pkg, "copy", "update")),
            ("floor", lambda d: self.wine("floor_win.exe", "copy", win_path(copy_pkg), win_path(d))),
        ], self.rounds(5), cleanup=self.clear_engine_traces)
        self.results["engine"]["copy"] = {"lines": len(files), **copy}
        self.log("Engine: 10,000 VAR lines")
        var = self.paired([("engine", engine_run(var_pkg, "vars", instdir=False))], self.rounds(7),
                          cleanup=self.clear_engine_traces)
        self.results["engine"]["var"] = {"lines": 10000, **var}
        self.log("Engine: script load, 10k to 100k lines (Prepare, and the load alone in and out of Wine)")
        load = {}
        for n, (pkg, root) in load_pkgs.items():
            prepare = self.paired([("prepare", engine_run(pkg, instdir=False))], self.rounds(5),
                                  cleanup=self.clear_engine_traces)["prepare"]
            alone_win = self.run(self.wine("script_bench.exe", win_path(root), "5"))
            alone_native = self.run([os.path.join(self.native, "script_bench"), root, "5"])
            load[str(n)] = {"prepare": prepare, "win": alone_win, "native": alone_native}
        self.results["engine"]["load"] = load
        self.log("Engine: the single calls of a COPY line")
        calls = {}
        for _ in range(self.rounds(5)):
            folder = self.fresh()
            out = self.run(self.wine("call_costs.exe", win_path(folder), win_path(engine_dll), "100"), keep_output=True)
            for name, value in re.findall(r"^call (.+) ([0-9.]+)\r?$", out["output"], re.M):
                calls.setdefault(name, []).append(float(value))
            shutil.rmtree(folder)
        self.results["engine"]["calls"] = calls
        self.show_engine()

    def show_engine(self):
        c = self.results["engine"]["copy"]
        per = lambda a, b: statistics.median((x - y) / c["lines"] * 1e3 for x, y in zip(a, b))  # noqa: E731
        eng = [s["step_copy"] for s in c["engine"]]
        upd = [s["step_update"] for s in c["engine"]]
        flo = [s["work_s"] for s in c["floor"]]
        self.log("  COPY OVERWRITE: engine %.3f s, floor %.3f s, %.3f ms per command beyond the floor" % (
            statistics.median(eng), statistics.median(flo), per(eng, flo)))
        self.log("  COPY UPDATE:    engine %.3f s, %.3f ms per command beyond the floor" % (
            statistics.median(upd), per(upd, flo)))
        v = [s["step_vars"] for s in self.results["engine"]["var"]["engine"]]
        self.log("  VAR: %.3f s, %.4f ms per command" % (statistics.median(v), statistics.median(v) / 10))

    # -- end to end ------------------------------------------------------------------------
    def e2e(self):
        """kx_Install then kx_Uninstall of the shipped front through kxhost, from a fresh state."""
        drive_c = os.path.join(self.prefix, "drive_c")
        temp = os.path.join(drive_c, "windows", "temp")
        log = os.path.join(temp, "_!QMSetup_.log")
        marker = os.path.join(temp, "InstallReboot")
        product = os.path.join(drive_c, "Program Files (x86)", "qmsrv")
        kxhost = os.path.join(self.dist, "kxhost.exe")
        rounds = self.rounds(5)
        self.log("End to end: kxhost install 3, then uninstall, %d rounds, each after a restart" % rounds)
        samples = []
        for r in range(rounds):
            self.restart()
            left = [what for what, there in [
                ("the restart marker", os.path.exists(marker)), ("the product folder", os.path.exists(product)),
                ("HKLM\\Software\\QMSrv", self.run(["wine", "reg", "query", "HKLM\\Software\\QMSrv"], ok=(0, 1))["rc"] == 0),
            ] if there]
            if left:
                raise RuntimeError("not a fresh state before round %d: %s is there" % (r + 1, ", ".join(left)))
            for staged in self.staging_folders():
                shutil.rmtree(staged)
            if os.path.exists(log):
                os.remove(log)
            sample = {"empty": self.run(self.wine("floor_win.exe"), ok=(64,))["wall"]}
            with LogFollower(log) as follow:
                sample["install"] = self.run(["wine", kxhost, "install", "3"], follow=follow)["wall"]
            sample["install_timeline"] = follow.lines
            text = self.read_log(log)
            sample["install_waits"] = self.fixed_waits(text, install=True)
            with LogFollower(log) as follow:
                sample["uninstall"] = self.run(["wine", kxhost, "uninstall"], ok=(0, 3010 & 0xFF), follow=follow)["wall"]
            sample["uninstall_timeline"] = follow.lines
            sample["uninstall_waits"] = self.fixed_waits(self.read_log(log)[len(text):], install=False)
            samples.append(sample)
            self.log("  round %d: install %.2f s (waits %.1f s), uninstall %.2f s (waits %.1f s)" % (
                r + 1, sample["install"], sample["install_waits"]["seconds"], sample["uninstall"],
                sample["uninstall_waits"]["seconds"]))
        self.restart()
        self.results["e2e"] = {"rounds": samples}

    def restart(self):
        """A new Wine session: what the last run left for the next restart is done now."""
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env)
        subprocess.run(["wineserver", "-p"], env=self.env)
        subprocess.run(["wine", "cmd", "/c", "exit"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def staging_folders(self):
        users = os.path.join(self.prefix, "drive_c", "users")
        found = []
        for user in os.listdir(users):
            path = os.path.join(users, user, "Temp", "B80500FF-D0E3-4de4-8D34-81575E59092C")
            if os.path.isdir(path):
                found.append(path)
        return found

    @staticmethod
    def read_log(path):
        with open(path, "rb") as f:
            return f.read().decode("latin-1").replace("\r\n", "\n")

    @staticmethod
    def fixed_waits(text, install):
        """The pauses the sequence itself makes: 500 ms after each waited program (its "OK./WAIT"
        line), and the front's 3000 ms before the certificate daemon when it got that far."""
        lines = text.split("\n")
        waited = sum(1 for line in lines if line.endswith(" OK./WAIT"))
        pause = 1 if install and "DoStep OneChapter is start_certd" in lines else 0
        return {"waited_programs": waited, "pauses_3000": pause, "seconds": waited * 0.5 + pause * 3.0}


class LogFollower:
    """Notes when each line of the setup log appears while a step runs (the engine flushes every
    line), in seconds from the start: where the time of a step goes, without touching the step."""

    def __init__(self, path):
        self.path = path
        self.lines = []
        self.stop = threading.Event()

    def __enter__(self):
        self.begin()
        self.offset = os.path.getsize(self.path) if os.path.exists(self.path) else 0
        self.thread = threading.Thread(target=self.follow)
        self.thread.start()
        return self

    def begin(self):
        """Times count from here: called again right before the step's process starts."""
        self.start = time.perf_counter()

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join()
        self.lines.append([round(time.perf_counter() - self.start, 4), "(step returned)"])

    def follow(self):
        pending = b""
        while True:
            stopping = self.stop.is_set()
            try:
                with open(self.path, "rb") as f:
                    f.seek(self.offset)
                    data = f.read()
            except OSError:
                data = b""
            if data:
                now = round(time.perf_counter() - self.start, 4)
                self.offset += len(data)
                pending += data
                *whole, pending = pending.split(b"\n")
                self.lines += [[now, line.rstrip(b"\r").decode("latin-1")] for line in whole]
            if stopping:
                return
            time.sleep(0.002)


def machine():
    mem = 0
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal:"):
                mem = int(line.split()[1]) * 1024
    return {"nproc": os.cpu_count(), "memory_gib": round(mem / 2**30, 1), "kernel": platform.release(),
            "date": time.strftime("%Y-%m-%d %H:%M %Z"), "load": os.getloadavg()}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--native", required=True)
    parser.add_argument("--win", required=True)
    parser.add_argument("--dist", required=True)
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--results", required=True)
    parser.add_argument("--scale", type=float, default=1.0, help="multiplies every round count")
    parser.add_argument("--only", default="extraction,engine,e2e")
    parser.add_argument("--before", default="", help="folder with an earlier qmpack and unpack_win.exe to compare")
    parser.add_argument("--fs", default="", help="what the scratch folder is, for the report")
    args = parser.parse_args()
    b = Bench(args)
    b.results["machine"] = machine()
    b.results["machine"]["filesystem"] = args.fs
    started = time.time()
    b.prepare_inputs()
    for section in args.only.split(","):
        getattr(b, section)()
    b.results["machine"]["took_s"] = time.time() - started
    b.results["machine"]["load_end"] = os.getloadavg()
    with open(args.results, "w") as f:
        json.dump(b.results, f, indent=1)


if __name__ == "__main__":
    main()
