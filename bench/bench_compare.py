#!/usr/bin/python3
"""Runs our benchmark programs and the peers' programs on the shared workloads, alternating ours
and the peer's round after round so that drift of the machine hits both, and prints one markdown
table (workload, thread counts, ours, peer, ratio peer/ours, goal, quality figures).

usage: bench_compare.py --build BUILD_DIR [--rounds N] [--out FILE]

BUILD_DIR is a Release build with LUMIVANE_BENCH=ON (scripts/bench-compare makes it) holding the
workload data in BUILD_DIR/bench-data and the FANN peer in BUILD_DIR/peers/fann_w1. The peers
run on one thread (their libraries are told so); ours too, except where a row's Threads column
names more. The full output of every program goes to BUILD_DIR/bench-compare.log.
Exits 1 when any program failed (the table is still written, with the failure in its row)."""

import argparse
import datetime
import hashlib
import json
import os
import re
import shlex
import statistics
import subprocess
import sys
import time
from pathlib import Path

BENCH = Path(__file__).resolve().parent
SOURCE = BENCH.parent
WORKLOADS = BENCH / "workloads"

# Goals the engines are built to: (limit, unit) per figure; lower is better for all of them.
GOAL_W1_MS = {1: 0.6, 2: 4.0, 3: 12.0}  # kestrel epoch on one thread, per order
GOAL_W1_TWO_THREADS_MS = 0.35  # kestrel epoch, order 1, two threads
GOAL_W2_MS = 10.0  # Kohonen pass
GOAL_W3_S = 0.10  # boxcounting whole run
GOAL_READ_MS = 3000.0  # 65,536 x 256 range read
GOAL_WRITE_MS = 500.0  # 65,536 x 10 block write
# SvdDecomposition must beat numpy's LAPACK svd measured beside it, PrincipalComponents numpy's
# cov + eigh at least match: peer / ours above 1 and at least 1.

W1_EPOCHS = 200
W2_PASSES = 100
W3_PEER_REPS = 3  # sklearn runs per round (the median is used)
W4_PEER_REPS = 21  # numpy runs per round and decomposition
PCA_PEER_REPS = 11
GBENCH_MIN_TIME = "0.2"  # seconds of repetition for the short Google Benchmark cases
# W4 takes the fastest of many single calls on both sides (ours: repetitions of one iteration
# each, as many as numpy's calls): on a machine busy with other work that comes nearest to the
# undisturbed time, for ours and the peer alike.
W4_REPETITIONS = 21
W4_MIN_TIME = "0.0001"
TIMEOUT_S = 600

ONE_THREAD = {
    "OMP_NUM_THREADS": "1",
    "OPENBLAS_NUM_THREADS": "1",
    "MKL_NUM_THREADS": "1",
    "BLIS_NUM_THREADS": "1",
    "VECLIB_MAXIMUM_THREADS": "1",
    "NUMEXPR_NUM_THREADS": "1",
}


class RunFailed(Exception):
    pass


class Runner:
    """Runs programs with the one-thread environment and logs everything they print."""

    def __init__(self, build: Path, data: Path, log: Path):
        self.build = build
        self.env = dict(os.environ, BENCH_DATA=str(data), **ONE_THREAD)
        self.log = log.open("w")

    def run(self, cmd, extra_env=None) -> str:
        env = dict(self.env, **(extra_env or {}))
        text = " ".join(shlex.quote(str(c)) for c in cmd)
        self.log.write(f"\n$ {text}\n")
        self.log.flush()
        try:
            p = subprocess.run([str(c) for c in cmd], env=env, capture_output=True, text=True,
                               timeout=TIMEOUT_S)
        except FileNotFoundError:
            raise RunFailed(f"{cmd[0]} not found")
        except subprocess.TimeoutExpired:
            raise RunFailed(f"{Path(str(cmd[0])).name} took longer than {TIMEOUT_S} s")
        self.log.write(p.stdout)
        self.log.write(p.stderr)
        self.log.flush()
        if p.returncode != 0:
            last = (p.stderr.strip() or p.stdout.strip()).splitlines()[-1:] or ["no output"]
            raise RunFailed(f"{Path(str(cmd[0])).name} exited with {p.returncode}: {last[0]}")
        return p.stdout

    def gbench(self, program, pattern, min_time=None, extra_env=None, repetitions=None) -> dict:
        """Runs a Google Benchmark program; returns its cases by name, times in ms (with
        repetitions, the fastest repetition of each case)."""
        exe = self.build / "bench" / program
        if not exe.exists():
            raise RunFailed(f"{program} was not built")
        cmd = [exe, f"--benchmark_filter={pattern}", "--benchmark_format=json"]
        if min_time:
            cmd.append(f"--benchmark_min_time={min_time}")
        if repetitions:
            cmd.append(f"--benchmark_repetitions={repetitions}")
        out = self.run(cmd, extra_env)
        try:
            cases = json.loads(out)["benchmarks"]
        except (ValueError, KeyError) as e:
            raise RunFailed(f"{program}: unreadable JSON ({e})")
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}
        result = {}
        for c in cases:
            if c.get("error_occurred"):
                raise RunFailed(f"{program} {c['name']}: {c.get('error_message', 'error')}")
            if c.get("run_type") == "aggregate":
                continue
            c["real_ms"] = c["real_time"] * scale[c.get("time_unit", "ns")]
            c["cpu_ms"] = c["cpu_time"] * scale[c.get("time_unit", "ns")]
            kept = result.get(c["name"])
            if kept is None or c["real_ms"] < kept["real_ms"]:
                result[c["name"]] = c
        if not result:
            raise RunFailed(f"{program}: no case matches {pattern}")
        return result


def case(cases, prefix):
    for name, c in cases.items():
        if name == prefix or name.startswith(prefix + "/"):
            return c
    raise RunFailed(f"no benchmark {prefix} in the output")


def field(pattern, text, what):
    m = re.search(pattern, text)
    if not m:
        raise RunFailed(f"no {what} in the output")
    return m.group(1)


# --- the workloads: each side returns a dict of figures for one round ---------------------------


def w1_ours(r: Runner, _round):
    cases = r.gbench("kestrel_plugin_bench", "BM_W1PluginRun")
    out = {}
    for order in (1, 2, 3):
        c = case(cases, f"BM_W1PluginRun/{order}")
        out[f"ms{order}"] = c["ms_per_epoch"]
        out[f"rms{order}"] = c["rms"]
        out["rms0"] = c["rms0"]
    return out


def w1_threads_ours(r: Runner, _round):
    # The linked engine's epoch of order 1 on one and on two threads, same run.
    cases = r.gbench("kestrel_bench", "BM_W1EpochThreads/1/", GBENCH_MIN_TIME)
    out = {}
    for threads in (1, 2):
        c = case(cases, f"BM_W1EpochThreads/1/{threads}")
        out[f"ms{threads}"] = c["real_ms"]
        out[f"parts{threads}"] = c.get("parts", threads)
    return out


def w1_peer(r: Runner, _round):
    text = r.run([r.build / "peers" / "fann_w1", r.env["BENCH_DATA"], W1_EPOCHS, 1])
    return {
        "ms": 1e3 * float(field(r"s_per_epoch=([0-9.eE+-]+)", text, "s_per_epoch")),
        "rms0": float(field(r"rms0=([0-9.eE+-]+)", text, "rms0")),
        "rms": float(field(r"rms_final=([0-9.eE+-]+)", text, "rms_final")),
    }


def forward_ours_and_fann(r: Runner, _round):
    # Both sides live in one program (FANN linked as a library); ours runs first.
    cases = r.gbench("network_bench", "BM_RmsError|BM_FannTestData", GBENCH_MIN_TIME)
    out = {}
    for order in (1, 2, 3):
        c = case(cases, f"BM_RmsError/{order}")
        out[f"ms{order}"] = c["real_ms"]
        out[f"rms{order}"] = c["rms"]
    fann = case(cases, "BM_FannTestData")
    out["fann_ms"] = fann["real_ms"]
    out["fann_rms"] = fann["rms"]
    return out


def w2_ours(r: Runner, _round):
    codes = r.results_dir / "w2_codes_lumivane.csv"
    cases = r.gbench("kohonen_bench", "BM_W2_Run100|BM_W2_TrainEpoch/11|BM_W2_FastestPasses", GBENCH_MIN_TIME,
                     {"W2_CODES_OUT": str(codes)})
    run = case(cases, "BM_W2_Run100")
    return {"ms": run["ms_per_pass"], "qe": run["qe"], "cpu_ms": run["cpu_ms"] / W2_PASSES,
            "fastest_ms": case(cases, "BM_W2_FastestPasses")["ms_per_pass_fastest"],
            "epoch11_ms": case(cases, "BM_W2_TrainEpoch/11")["real_ms"], "codes": codes}


def w2_peer(r: Runner, _round):
    text = r.run(["Rscript", WORKLOADS / "w2" / "kohonen_w2.R", W2_PASSES, 1, r.results_dir])
    return {
        "ms": 1e3 * float(field(r"s_per_pass=([0-9.eE+-]+)", text, "s_per_pass")),
        "qe": float(field(r"qe=([0-9.eE+-]+)", text, "qe")),
        "version": field(r"SUMMARY kohonen (\S+)", text, "kohonen version"),
        "codes": r.results_dir / f"w2_codes_kohonen_rlen{W2_PASSES}_rep1.csv",
    }


def w3_ours(r: Runner, _round):
    cases = r.gbench("boxcount_bench", "BM_W3_WholeRun/", GBENCH_MIN_TIME)
    one, two = case(cases, "BM_W3_WholeRun/1"), case(cases, "BM_W3_WholeRun/2")
    return {"s1": one["real_ms"] / 1e3, "s2": two["real_ms"] / 1e3, "ranking": one.get("label", ""),
            "ranking2": two.get("label", ""), "upper": one["upper_bits"], "lower": one["lower_bits"]}


def w3_peer(r: Runner, _round):
    text = r.run(["/usr/bin/python3", WORKLOADS / "w3" / "sklearn_w3.py", 1, W3_PEER_REPS])
    mi = {k: float(v) for k, v in re.findall(r"(x\d+)=([0-9.eE+-]+)", field(r"MI:(.*)", text, "MI line"))}
    ranking = " ".join(sorted(mi, key=lambda k: -mi[k]))
    return {"s": float(field(r"median_s=([0-9.eE+-]+)", text, "median_s")), "ranking": ranking,
            "version": field(r"sklearn=(\S+)", text, "sklearn version")}


def w4_ours(r: Runner, _round):
    cases = r.gbench("matrix_bench", "BM_SvdW4|BM_EighW4|BM_PrincipalComponents", W4_MIN_TIME,
                     repetitions=W4_REPETITIONS)
    return {
        "svd": case(cases, "BM_SvdW4_Ours")["real_ms"],
        "svd_cpu": case(cases, "BM_SvdW4_Ours")["cpu_ms"],
        "pca_cpu": case(cases, "BM_PrincipalComponents2000x200_Ours")["cpu_ms"],
        "eigen_svd": case(cases, "BM_SvdW4_EigenBDCSVD")["real_ms"],
        "eigen_eigh": case(cases, "BM_EighW4_EigenSelfAdjoint")["real_ms"],
        "pca": case(cases, "BM_PrincipalComponents2000x200_Ours")["real_ms"],
        "eigen_pca": case(cases, "BM_PrincipalComponents2000x200_Eigen")["real_ms"],
    }


def w4_peer(r: Runner, _round):
    text = r.run(["/usr/bin/python3", WORKLOADS / "w4" / "numpy_w4.py", 1, W4_PEER_REPS])
    pca = r.run(["/usr/bin/python3", BENCH / "numpy_pca.py", PCA_PEER_REPS])
    return {
        "svd": float(field(r"numpy\.linalg\.svd\(full_matrices\)\s.*?min_ms=\s*([0-9.]+)", text, "svd")),
        "eigh": float(field(r"numpy\.linalg\.eigh\s.*?min_ms=\s*([0-9.]+)", text, "eigh")),
        "pca": float(field(r"pca_eigh .*?min_ms=([0-9.]+)", pca, "pca_eigh")),
        "pca_svd": float(field(r"pca_svd .*?min_ms=([0-9.]+)", pca, "pca_svd")),
        "numpy": field(r"numpy=(\S+)", pca, "numpy version"),
    }


def bridge_ours(r: Runner, _round):
    cases = r.gbench("bridge_bench", "BM_ReadRangeCellByCell|BM_WriteBlock")
    return {"read": case(cases, "BM_ReadRangeCellByCell")["real_ms"],
            "write": case(cases, "BM_WriteBlock")["real_ms"]}


def w2_quality(r: Runner, ours, peer):
    """Quantisation and topographic error of both final codebooks by the common measure."""
    text = r.run(["/usr/bin/python3", WORKLOADS / "w2" / "qe_eval.py", ours["codes"], peer["codes"]])
    q = {}
    for side, path in (("ours", ours["codes"]), ("peer", peer["codes"])):
        m = re.search(re.escape(Path(path).name) + r"\s+QE=([0-9.]+)\s+TE=([0-9.]+)", text)
        if not m:
            raise RunFailed(f"qe_eval.py printed nothing for {Path(path).name}")
        q[side] = (float(m.group(1)), float(m.group(2)))
    return q


# (key, our side, peer side or None); a round runs them in this order.
RUNS = [
    ("w1", w1_ours, w1_peer),
    ("w1threads", w1_threads_ours, None),
    ("forward", forward_ours_and_fann, None),
    ("w2", w2_ours, w2_peer),
    ("w3", w3_ours, w3_peer),
    ("w4", w4_ours, w4_peer),
]


class Results:
    def __init__(self):
        self.rounds = {}  # (key, side) -> list of dicts
        self.errors = {}  # (key, side) -> message

    def add(self, key, side, figures):
        self.rounds.setdefault((key, side), []).append(figures)

    def median(self, key, side, name):
        values = [f[name] for f in self.rounds.get((key, side), [])]
        return statistics.median(values) if values else None

    def last(self, key, side, name):
        runs = self.rounds.get((key, side), [])
        return runs[-1][name] if runs else None

    def ok(self, key, side):
        return (key, side) in self.rounds and (key, side) not in self.errors


def progress(message):
    print(f"bench-compare: {message}", file=sys.stderr, flush=True)


def run_all(r: Runner, rounds: int) -> Results:
    res = Results()
    for n in range(1, rounds + 1):
        for key, ours, peer in RUNS:
            for side, fn in (("ours", ours), ("peer", peer)):
                if fn is None or (key, side) in res.errors:
                    continue
                progress(f"round {n}/{rounds}: {key} {'Lumivane' if side == 'ours' else 'peer'}")
                try:
                    res.add(key, side, fn(r, n))
                except RunFailed as e:
                    res.errors[(key, side)] = str(e)
                    progress(f"FAILED: {e}")
    if res.ok("w2", "ours") and res.ok("w2", "peer"):
        try:
            res.add("w2q", "both", w2_quality(r, res.rounds[("w2", "ours")][-1],
                                              res.rounds[("w2", "peer")][-1]))
        except RunFailed as e:
            res.errors[("w2q", "both")] = str(e)
    # The bridge has no peer and its read fills 16.7 million cells: once is enough.
    progress("bridge (once)")
    try:
        res.add("bridge", "ours", bridge_ours(r, 1))
    except RunFailed as e:
        res.errors[("bridge", "ours")] = str(e)
        progress(f"FAILED: {e}")
    return res


# --- the table ---------------------------------------------------------------------------------


def ms(v):
    if v is None:
        return "—"
    return f"{v:.3g} ms" if v < 100 else f"{v:.0f} ms"


def sec(v):
    return "—" if v is None else f"{v:.3g} s"


def ratio(peer, ours):
    if peer is None or ours is None or ours <= 0:
        return "—"
    return f"{peer / ours:.2f}"


def goal(value, limit, unit):
    if value is None:
        return f"≤ {limit:g} {unit}"
    return f"≤ {limit:g} {unit}: {'met' if value <= limit else 'missed'}"


def faster_goal(peer, ours, text, strict):
    """A goal on the ratio: ours faster than the peer (strict) or at least as fast."""
    if peer is None or ours is None:
        return text
    met = peer / ours > 1.0 if strict else peer / ours >= 1.0
    return f"{text}: {'met' if met else 'missed'}"


def failed(res, key, side):
    e = res.errors.get((key, side))
    return f"failed: {e}" if e else None


def build_rows(res: Results):
    rows = []
    m, last = res.median, res.last

    # W1
    fann_ms, fann_rms, fann_rms0 = m("w1", "peer", "ms"), m("w1", "peer", "rms"), m("w1", "peer", "rms0")
    peer_w1 = failed(res, "w1", "peer") or ms(fann_ms)
    # The plug-in runs as Vantor runs it: on its default thread count, the machine's cores.
    plugin_threads = f"plug-in default ({os.cpu_count()} cores)"
    for order in (1, 2, 3):
        ours_ms = m("w1", "ours", f"ms{order}")
        ours_txt = failed(res, "w1", "ours") or ms(ours_ms)
        rms = last("w1", "ours", f"rms{order}")
        quality = f"final RMS {rms:.4f}" if rms is not None else ""
        if order == 1:
            if fann_rms is not None:
                quality += f" (FANN {fann_rms:.4f})"
            rms0 = last("w1", "ours", "rms0")
            if rms0 is not None and fann_rms0 is not None:
                quality += f"; start RMS {rms0:.4f} (FANN {fann_rms0:.4f})"
            rows.append((f"W1 kestrel plug-in Rprop epoch, order 1 (mean of {W1_EPOCHS})", f"{plugin_threads} / 1", ours_txt,
                         f"FANN 2.2 double: {peer_w1}", ratio(fann_ms, ours_ms),
                         goal(ours_ms, GOAL_W1_MS[order], "ms"), quality))
        else:
            rows.append((f"W1 kestrel plug-in Rprop epoch, order {order}", f"{plugin_threads} / —", ours_txt,
                         "— (FANN has first order only)", "—", goal(ours_ms, GOAL_W1_MS[order], "ms"), quality))
    one, two = m("w1threads", "ours", "ms1"), m("w1threads", "ours", "ms2")
    err = failed(res, "w1threads", "ours")
    parts = last("w1threads", "ours", "parts2")
    q = f"threads the epoch used: {parts:g}" if parts is not None else ""
    rows.append(("W1 kestrel Rprop epoch, order 1, linked engine, 1 thread", "1 / 1",
                 err or ms(one), f"FANN 2.2 double: {peer_w1}", ratio(fann_ms, one),
                 goal(one, GOAL_W1_MS[1], "ms"), ""))
    rows.append(("W1 kestrel Rprop epoch, order 1, linked engine, **2 threads**",
                 "2 / 1 (FANN has no threads)", err or ms(two), f"FANN 2.2 double: {peer_w1}",
                 ratio(fann_ms, two), goal(two, GOAL_W1_TWO_THREADS_MS, "ms"), q))

    # Forward pass
    f1, fann = m("forward", "ours", "ms1"), m("forward", "ours", "fann_ms")
    err = failed(res, "forward", "ours")
    q = ""
    if f1 is not None:
        q = (f"RMS {last('forward', 'ours', 'rms1'):.6f} = FANN {last('forward', 'ours', 'fann_rms'):.6f};"
             f" order 2 {ms(m('forward', 'ours', 'ms2'))}, order 3 {ms(m('forward', 'ours', 'ms3'))}")
    rows.append(("MLP forward pass `RmsError`, 10,000 rows, order 1", "1 / 1", err or ms(f1),
                 f"FANN 2.2 `fann_test_data`: {err or ms(fann)}", ratio(fann, f1),
                 "as fast as FANN: " + ("—" if f1 is None else ("met" if f1 <= fann else "missed")), q))

    # W2
    o, p = m("w2", "ours", "ms"), m("w2", "peer", "ms")
    version = last("w2", "peer", "version") or ""
    parts = []
    quality = last("w2q", "both", "ours")
    if quality is not None:
        pq = last("w2q", "both", "peer")
        parts.append(f"QE {quality[0]:.4f}, TE {quality[1]:.4f} (kohonen QE {pq[0]:.4f}, TE {pq[1]:.4f})")
    elif failed(res, "w2q", "both"):
        parts.append(failed(res, "w2q", "both"))
    cpu = m("w2", "ours", "cpu_ms")
    if cpu is not None:
        parts.append(f"our processor time {ms(cpu)} per pass; sum of each pass's fastest processor time of 10 runs "
                     f"{ms(m('w2', 'ours', 'fastest_ms'))} per pass ({goal(m('w2', 'ours', 'fastest_ms'), GOAL_W2_MS, 'ms')})")
    e11 = m("w2", "ours", "epoch11_ms")
    if e11 is not None:
        parts.append(f"one `trainEpoch` at stiffness 11: {ms(e11)}")
    q = "; ".join(parts)
    rows.append((f"W2 Kohonen pass, 20 × 20 map, 10,000 rows (mean of {W2_PASSES})", "1 / 1",
                 failed(res, "w2", "ours") or ms(o),
                 f"R kohonen {version} online: {failed(res, 'w2', 'peer') or ms(p)}", ratio(p, o),
                 goal(o, GOAL_W2_MS, "ms"), q))

    # W3
    s1, s2, sp = m("w3", "ours", "s1"), m("w3", "ours", "s2"), m("w3", "peer", "s")
    sk = last("w3", "peer", "version") or ""
    ours_rank, peer_rank = last("w3", "ours", "ranking"), last("w3", "peer", "ranking")
    parts = []
    if ours_rank:
        top = set(ours_rank.split()[:3]) == {"x2", "x5", "x8"}
        parts.append(f"ranking {ours_rank} ({'x2, x5, x8 on top' if top else 'x2, x5, x8 NOT on top'})")
        parts.append(f"predictability {last('w3', 'ours', 'upper'):.3f}/{last('w3', 'ours', 'lower'):.3f} bits")
    if peer_rank:
        parts.append(f"sklearn ranking {peer_rank}")
    q = "; ".join(parts)
    peer_w3 = f"scikit-learn {sk} `mutual_info_regression`: {failed(res, 'w3', 'peer') or sec(sp)}"
    rows.append(("W3 boxcounting whole run, 1 thread", "1 / 1", failed(res, "w3", "ours") or sec(s1), peer_w3,
                 ratio(sp, s1), goal(s1, GOAL_W3_S, "s"), q))
    rows.append(("W3 boxcounting whole run, **2 threads**", "2 / 1",
                 failed(res, "w3", "ours") or sec(s2), peer_w3, ratio(sp, s2), goal(s2, GOAL_W3_S, "s"),
                 "same ranking" if last("w3", "ours", "ranking2") == ours_rank and ours_rank else ""))

    # W4
    o, p = m("w4", "ours", "svd"), m("w4", "peer", "svd")
    npv = last("w4", "peer", "numpy") or ""
    parts = []
    if o is not None:
        parts.append(f"our processor time {ms(m('w4', 'ours', 'svd_cpu'))}")
        parts.append(f"Eigen BDCSVD {ms(m('w4', 'ours', 'eigen_svd'))}, "
                     f"Eigen self-adjoint {ms(m('w4', 'ours', 'eigen_eigh'))}")
    if p is not None:
        parts.append(f"numpy eigh {ms(m('w4', 'peer', 'eigh'))}")
    q = "; ".join(parts)
    rows.append(("W4 `SvdDecomposition` 200 × 200 covariance, with U and V", "1 / 1",
                 failed(res, "w4", "ours") or ms(o),
                 f"numpy {npv} `linalg.svd` (LAPACK): {failed(res, 'w4', 'peer') or ms(p)}", ratio(p, o),
                 faster_goal(p, o, "faster than numpy", True), q))
    o, p = m("w4", "ours", "pca"), m("w4", "peer", "pca")
    parts = []
    if o is not None:
        parts.append(f"our processor time {ms(m('w4', 'ours', 'pca_cpu'))}")
        parts.append(f"Eigen cov + self-adjoint {ms(m('w4', 'ours', 'eigen_pca'))}")
    if p is not None:
        parts.append(f"numpy cov + svd {ms(m('w4', 'peer', 'pca_svd'))}")
    parts.append("same size, not the same random values")
    rows.append(("W4 `PrincipalComponents` of 2000 × 200 N(0,1) data", "1 / 1",
                 failed(res, "w4", "ours") or ms(o),
                 f"numpy cov + `linalg.eigh` + sort: {failed(res, 'w4', 'peer') or ms(p)}", ratio(p, o),
                 faster_goal(p, o, "as fast as numpy", False), "; ".join(parts)))

    # Bridge
    rd, wr = m("bridge", "ours", "read"), m("bridge", "ours", "write")
    err = failed(res, "bridge", "ours")
    rows.append(("Host range read 65,536 × 256 cells, cell by cell (incl. the reader's 100 ms pause)",
                 "1 / —", err or ms(rd), "—", "—", goal(rd, GOAL_READ_MS, "ms"), ""))
    rows.append(("Host block write 65,536 × 10 values through the output cycle", "1 / —", err or ms(wr), "—", "—",
                 goal(wr, GOAL_WRITE_MS, "ms"), ""))
    return rows


def cpu_model():
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown CPU"


def checksum_note(data: Path):
    """Compares the generated files with the published checksums; returns (note, mismatches)."""
    sums = WORKLOADS / "SHA256SUMS"
    bad, total = [], 0
    for line in sums.read_text().splitlines():
        if not line.strip():
            continue
        digest, name = line.split(maxsplit=1)
        name = name.lstrip("*")
        total += 1
        path = data / name
        if not path.exists() or hashlib.sha256(path.read_bytes()).hexdigest() != digest:
            bad.append(name)
    if not bad:
        return f"all {total} workload files match SHA256SUMS", bad
    return (f"{len(bad)} of {total} workload files differ from SHA256SUMS ({', '.join(bad)}): "
            "values computed through libm/BLAS (sin, matrix products) differ in the last bits on this "
            "machine; the rest match"), bad


def blas_note():
    names = []
    for lib in ("libblas.so.3", "liblapack.so.3"):
        p = Path("/usr/lib/x86_64-linux-gnu") / lib
        if p.exists():
            target = p.resolve()
            names.append(f"{target.parent.name}/{target.name}")
    return ", ".join(names) if names else "unknown"


def render(res: Results, rounds, build: Path, data_note, started, load_before, load_after):
    lines = [
        "# Lumivane beside the peers",
        "",
        f"{started:%Y-%m-%d %H:%M} · {os.cpu_count()} cores (nproc {nproc()}), {cpu_model()} · "
        f"one thread per program (OMP/OPENBLAS/MKL_NUM_THREADS=1) unless the Threads column says otherwise · "
        f"median of {rounds} round{'s' if rounds > 1 else ''}, ours and the peer alternating · Release build in {build.name} · "
        f"load average {load_before} before, {load_after} after",
        "",
        f"Workload data: {data_note}. numpy/R BLAS and LAPACK: {blas_note()}.",
        "",
        "| Workload | Threads (ours / peer) | Lumivane | Peer | Peer / Lumivane | Goal | Quality |",
        "|---|---|---|---|---|---|---|",
    ]
    for row in build_rows(res):
        lines.append("| " + " | ".join(c.replace("|", "\\|") for c in row) + " |")
    lines += [
        "",
        "Peer / Lumivane above 1 means ours is faster. All times are wall-clock times (the peers "
        "report no other); on a machine busy with other work they stretch for ours and the peers alike, "
        "so the ratios hold better than the absolute figures, and our processor time is given beside "
        "some of them. W1: FANN's RPROP is its own variant (a step "
        "floor of 1e-4, gradient zeroed after a sign change), so its final RMS differs from the "
        "textbook rule's; both start from the same weights (start RMS). W2: kohonen draws rows with "
        "replacement and shrinks its radius every step; ours uses the shared initial codebook, "
        "stiffness 11 → 0 over the passes and a constant rate 0.03; quality by the common "
        "qe_eval.py. W3: times include predictability and significance. W4: the fastest of "
        f"{W4_REPETITIONS} single calls (ours), of {W4_PEER_REPS} (numpy svd, eigh) or {PCA_PEER_REPS} "
        "(numpy principal components), then the median over the rounds.",
    ]
    return "\n".join(lines) + "\n"


def nproc():
    try:
        return subprocess.run(["nproc"], capture_output=True, text=True).stdout.strip()
    except OSError:
        return str(os.cpu_count())


def loadavg():
    try:
        return Path("/proc/loadavg").read_text().split()[0]
    except OSError:
        return "?"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--build", required=True, type=Path)
    ap.add_argument("--rounds", type=int, default=int(os.environ.get("BENCH_ROUNDS", "3")))
    ap.add_argument("--out", type=Path, default=SOURCE / "bench" / "results" / "latest.md")
    args = ap.parse_args()
    if args.rounds < 1:
        ap.error("--rounds must be at least 1")

    build = args.build.resolve()
    data = build / "bench-data"
    if not data.is_dir():
        sys.exit(f"bench-compare: no workload data in {data}")
    data_note, mismatches = checksum_note(data)
    if mismatches:
        progress("warning: " + data_note)

    results_dir = build / "bench-compare-results"
    results_dir.mkdir(exist_ok=True)
    runner = Runner(build, data, build / "bench-compare.log")
    runner.results_dir = results_dir
    started, load_before, t0 = datetime.datetime.now(), loadavg(), time.monotonic()
    res = run_all(runner, args.rounds)
    progress(f"runs took {time.monotonic() - t0:.0f} s")

    table = render(res, args.rounds, build, data_note, started, load_before, loadavg())
    print(table)
    args.out.parent.mkdir(parents=True, exist_ok=True)
    tmp = args.out.with_suffix(".md.tmp")
    tmp.write_text(table)
    tmp.replace(args.out)
    progress(f"table written to {args.out}; program output in {build / 'bench-compare.log'}")
    if res.errors:
        progress(f"{len(res.errors)} program(s) failed; see the table and the log")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
