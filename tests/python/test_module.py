# SPDX-License-Identifier: GPL-3.0-or-later
"""The Python package against the headless runner: the same input gives the
same report, statistics, rows and recalls, byte for byte where the runner
writes bytes. DUOLINK_BATCH names the runner; the package comes from
PYTHONPATH (the build folder's python/)."""

import os
import signal
import subprocess
import threading

import numpy as np
import pytest

import duolink

BATCH = os.environ["DUOLINK_BATCH"]
SOURCE = os.environ["DUOLINK_SOURCE"]
EXAMPLE = os.path.join(SOURCE, "examples", "patterns.csv")


def random_list(seed, pairs, binary=True, n=8, m=8):
    rng = np.random.default_rng(seed)
    if binary:
        return rng.integers(0, 2, (pairs, n)).astype(float), rng.integers(0, 2, (pairs, m)).astype(float)
    return rng.normal(0.5, 0.4, (pairs, n)).round(3), rng.uniform(0, 1, (pairs, m)).round(2)


def job_folder(path, settings, A, B):
    """A job folder with the parameters train() uses and the list as a .csv."""
    path.mkdir()
    (path / "veld200gSetup.dat").write_text(duolink._parameters_text(settings, None))
    duolink.write_patterns(path / "list.csv", A, B)
    return path


def run_batch(folder, *args):
    done = subprocess.run([BATCH, str(folder), *args], capture_output=True, text=True, timeout=120)
    assert done.returncode in (0, 3, 4), done.stderr
    return done


SETTINGS = dict(option=2, max_presentations=100, beta=0.5, limit=0, transfer=2, unity=10000, tol=0.1)

TRAININGS = [
    ("example", None, {}),
    ("example option 4", None, dict(option=4, max_presentations=7)),
    ("random 0/1, 12 pairs", (1, 12, True), dict(beta=0.3)),
    ("random reals, transfer 1", (2, 6, False), dict(transfer=1, tol=0.05, max_presentations=40)),
    ("random 0/1, diverging", (3, 40, True), dict(beta=2.5, max_presentations=30)),
    ("option 3, unity 10", (4, 5, False), dict(option=3, unity=10)),
]


@pytest.mark.parametrize("name,source,changes", TRAININGS, ids=[t[0] for t in TRAININGS])
def test_training_is_the_runners(tmp_path, name, source, changes):
    A, B = duolink.read_patterns(EXAMPLE) if source is None else random_list(*source)
    settings = dict(SETTINGS, **changes)
    folder = job_folder(tmp_path / "job", settings, A, B)
    done = run_batch(folder, "--patterns", str(folder / "list.csv"), "--stats", str(tmp_path / "stats.csv"),
                     "--quiet")
    t = duolink.train(A, B, **settings, report=tmp_path / "report.txt")

    assert (tmp_path / "report.txt").read_bytes() == (folder / "vld33res.txt").read_bytes()
    assert f"R2 Correlation: {t.final_r2_text:>9}\n" in done.stderr
    lines = (tmp_path / "stats.csv").read_text().splitlines()
    assert lines[0] == ",".join(t.stats.dtype.names)
    runner = [tuple(float(v) for v in line.split(",")) for line in lines[1:]]
    mine = [tuple(float(v) for v in row) for row in t.stats]
    assert mine == runner
    # Without a report the engine runs quiet: the same training.
    quiet = duolink.train(A, B, **settings)
    assert (quiet.outcome, quiet.presentations, quiet.final_r2_text) == (t.outcome, t.presentations, t.final_r2_text)
    assert np.array_equal(quiet.cells, t.cells) and np.array_equal(quiet.stats, t.stats)
    if len(t.stats):
        assert t.missed_pairs == t.stats["missed_pairs"][-1]
        assert t.outcome == (duolink.Outcome.RECALLED if t.stats["all_recalled"][-1] else duolink.Outcome.LIMIT)


@pytest.mark.parametrize("inputs", [
    "1 1 0 0 0 0 0 0", "0 0 0 0 0 0 1 1", "0.5 -0.25 1e-3 0 0 0 0.7 2", "1 1 1 1 1 1 1 1",
])
def test_recall_is_predict(tmp_path, inputs):
    A, B = duolink.read_patterns(EXAMPLE)
    folder = job_folder(tmp_path / "job", SETTINGS, A, B)
    done = run_batch(folder, "--patterns", str(folder / "list.csv"), "--quiet", "--predict", inputs)
    values = duolink.train(A, B).recall([float(v) for v in inputs.split()])
    assert done.stdout == "B: " + " ".join(f"{duolink.field_text(v):>9}" for v in values) + "\n"


SHAPES = [
    ("8 + 8", dict(binary=False), ["gauss"] * 6, 7 * 10),
    ("12 + 5 of 0 and 1", dict(binary=True, n=12, m=5), ["flip"] * 13, 10),
    ("30 + 20", dict(binary=False, n=30, m=20), ["gauss"] * 6, 7 * 10),
]


@pytest.mark.parametrize("name,shape,modes,recalls", SHAPES, ids=[s[0] for s in SHAPES])
def test_recall_table_noise_and_sweep_are_the_runners(tmp_path, name, shape, modes, recalls):
    A, B = random_list(5, 10, **shape)
    settings = dict(SETTINGS, beta=0.05)
    folder = job_folder(tmp_path / "job", settings, A, B)
    run_batch(folder, "--patterns", str(folder / "list.csv"), "--quiet", "--set", "beta=0.05",
              "--recall-table", str(tmp_path / "r.csv"),
              "--noise", str(tmp_path / "n.csv"), "--noise-trials", "7", "--seed", "3")
    t = duolink.train(A, B, beta=0.05)
    assert t.recall_table().to_csv() == (tmp_path / "r.csv").read_text()
    assert t.recall(A).shape == B.shape
    noise = t.noise(trials=7, seed=3, jobs=2)
    assert noise.to_csv() == (tmp_path / "n.csv").read_text()
    assert list(noise["mode"]) == modes and noise["recalls"][0] == recalls
    run_batch(folder, "--sweep-out", str(tmp_path / "s.csv"), "--sweep", "beta=0.02,0.05", "--patterns",
              str(folder / "list.csv"))
    assert duolink.sweep(A, B, sweep={"beta": [0.02, 0.05]}).to_csv() == (tmp_path / "s.csv").read_text()
    read = duolink.read_patterns(folder / "list.csv")
    assert read[0].shape == A.shape and read[1].shape == B.shape


CAPACITIES = [
    ("defaults", dict(pairs=8, sets=3), []),
    ("dense, beta 0.2", dict(pairs=6, sets=4, density=0.8, seed=9, beta=0.2), ["--set", "beta=0.2"]),
    ("shard 2/3, option 4", dict(pairs=5, sets=3, shard="2/3", option=4, max_presentations=20),
     ["--shard", "2/3", "--set", "option=4", "--set", "max=20"]),
    ("shape 32 x 20", dict(pairs=6, sets=2, shape=(32, 20), beta=0.05), ["--capacity-shape", "32,20", "--set", "beta=0.05"]),
]


@pytest.mark.parametrize("name,keywords,options", CAPACITIES, ids=[c[0] for c in CAPACITIES])
def test_capacity_rows_are_the_runners(tmp_path, name, keywords, options):
    folder = job_folder(tmp_path / "job", SETTINGS, *random_list(0, 1))
    flags = ["--capacity-pairs", str(keywords["pairs"]), "--capacity-sets", str(keywords["sets"]),
             "--density", str(keywords.get("density", 0.5)), "--seed", str(keywords.get("seed", 1))]
    run_batch(folder, "--capacity", str(tmp_path / "c.csv"), *flags, *options)
    rows = duolink.capacity(**keywords, jobs=2)
    assert rows.to_csv() == (tmp_path / "c.csv").read_text()
    assert rows.dtype.names == tuple(rows.to_csv().splitlines()[0].split(","))
    single = duolink.capacity(**keywords, jobs=1)
    assert np.array_equal(single, rows)
    counts = rows.provenance["outcomes"]
    assert sum(counts.values()) == len(rows) and rows.provenance["parameters"]["beta"] == keywords.get("beta", 0.5)
    same_provenance(rows.provenance, tmp_path / "c.csv.json")


def same_provenance(provenance, sidecar):
    """The runner's sidecar has every key of the package's provenance, with the
    same values where both describe the same run."""
    import json
    written = json.loads(sidecar.read_text())
    assert set(provenance) <= set(written)
    for key in ("program", "version", "analysis", "parameters", "seed", "density", "pairs", "sets", "shard", "shape",
                "stopped", "outcomes", "patterns_sha256"):
        assert provenance.get(key) == written.get(key), key


def test_sweep_rows_are_the_runners(tmp_path):
    A, B = random_list(7, 9)
    folder = job_folder(tmp_path / "job", SETTINGS, A, B)
    run_batch(folder, "--patterns", str(folder / "list.csv"), "--sweep-out", str(tmp_path / "s.csv"),
              "--sweep", "beta=0.1:0.9:0.2", "--sweep", "max=5,50")
    rows = duolink.sweep(patterns=folder / "list.csv", sweep={"beta": "0.1:0.9:0.2", "max": [5, 50]})
    assert rows.to_csv() == (tmp_path / "s.csv").read_text()
    assert list(rows["beta"][:2]) == [0.1, 0.1] and list(rows["max"][:2]) == [5, 50]
    with open(folder / "list.csv", "rb") as f:
        import hashlib
        assert rows.provenance["patterns_sha256"] == hashlib.sha256(f.read()).hexdigest()
    same_provenance(rows.provenance, tmp_path / "s.csv.json")
    same = duolink.sweep(A, B, sweep=["beta=0.1:0.9:0.2", "max=5,50"], jobs=1)
    assert np.array_equal(same, rows)


def test_files_round_trip_through_the_runner(tmp_path):
    A, B = random_list(8, 20, binary=False)
    duolink.write_patterns(tmp_path / "l.csv", A, B)
    A2, B2 = duolink.read_patterns(tmp_path / "l.csv")
    assert np.array_equal(A2, A) and np.array_equal(B2, B)
    folder = job_folder(tmp_path / "job", SETTINGS, A, B)
    run_batch(folder, "--patterns", str(folder / "list.csv"), "--quiet", "--save-matrix", str(tmp_path / "m.vmat2"))
    t = duolink.train(A, B)
    duolink.write_matrix(tmp_path / "mine.vmat2", t)
    assert (tmp_path / "mine.vmat2").read_bytes() == (tmp_path / "m.vmat2").read_bytes()
    cells = duolink.read_matrix(tmp_path / "m.vmat2")
    assert cells.shape == (9, 8)
    duolink.write_matrix(tmp_path / "again.vmat2", cells)
    assert (tmp_path / "again.vmat2").read_bytes() == (tmp_path / "m.vmat2").read_bytes()
    # The exact export: the same bytes as the runner's, read back bit for bit.
    run_batch(folder, "--patterns", str(folder / "list.csv"), "--quiet", "--export-matrix", str(tmp_path / "m.csv"))
    duolink.write_matrix(tmp_path / "mine.csv", t)
    for suffix in ("", ".json"):
        assert (tmp_path / ("mine.csv" + suffix)).read_bytes() == (tmp_path / ("m.csv" + suffix)).read_bytes()
    exact = duolink.read_matrix(tmp_path / "m.csv")
    assert exact.shape == t.cells.shape and np.array_equal(exact, t.cells)
    assert np.array_equal(duolink.read_matrix(tmp_path / "m.csv", exact=True), exact)


A5, B5 = np.zeros((5, 8)), np.ones((5, 8))
BAD_INPUT = [
    ("wrong shape", lambda: duolink.train(np.zeros((5, 8, 2)), B5), ValueError, "shape (5, 8, 2)"),
    ("matrix too large", lambda: duolink.train(np.zeros((5, 126)), np.zeros((5, 22))), ValueError, "at most 2700"),
    ("recall of another width", lambda: duolink.train(A5, B5).recall(np.zeros(7)), ValueError, "shape (1, 7)"),
    ("pairs differ", lambda: duolink.train(A5, np.ones((4, 8))), ValueError, "A has 5 pairs but B has 4"),
    ("NaN", lambda: duolink.train(np.where(np.eye(5, 8) > 0, np.nan, A5), B5), ValueError, "pair 1, value 1"),
    ("text values", lambda: duolink.train(np.full((5, 8), "1"), B5), TypeError, "give numbers"),
    ("257 pairs", lambda: duolink.train(np.zeros((257, 8)), np.zeros((257, 8))), ValueError, "at most 256"),
    ("unknown keyword", lambda: duolink.train(A5, B5, alpha=1), TypeError, "alpha"),
    ("real option", lambda: duolink.train(A5, B5, option=2.5), TypeError, "whole number"),
    ("huge max", lambda: duolink.train(A5, B5, max_presentations=2 ** 40), ValueError,
     "is not a whole number for max"),
    ("NaN beta", lambda: duolink.train(A5, B5, beta=float("nan")), ValueError, "is not a number for beta"),
    ("bad sweep", lambda: duolink.sweep(A5, B5, sweep={"gamma": [1]}), ValueError, "gamma"),
    ("bad shard", lambda: duolink.capacity(shard="3/2"), ValueError, "K/N"),
    ("too many pairs", lambda: duolink.capacity(pairs=257), ValueError, "1 to 256"),
    ("missing file", lambda: duolink.read_patterns("/nonexistent/l.csv"), FileNotFoundError, "l.csv"),
    ("matrix of junk", lambda: duolink.read_matrix(os.path.join(SOURCE, "examples", "patterns.csv"), exact=False),
     ValueError, "patterns.csv: Invalid numeric input"),
    ("exact matrix of junk", lambda: duolink.read_matrix(os.path.join(SOURCE, "examples", "patterns.csv")),
     ValueError, "Not an exported matrix"),
    ("NaN in a matrix", lambda: duolink.write_matrix("/nonexistent/m.csv", np.full((9, 8), np.nan)), ValueError,
     "not a finite number"),
    ("matrix too large", lambda: duolink.write_matrix("/nonexistent/m.csv", np.zeros((100, 28))), ValueError,
     "1 to 2700 cells"),
    ("report into a folder", lambda: duolink.train(A5, B5, report="/"), OSError, "folder"),
]


@pytest.mark.parametrize("name,call,error,text", BAD_INPUT, ids=[b[0] for b in BAD_INPUT])
def test_bad_input_raises_with_a_message(name, call, error, text):
    with pytest.raises(error, match=None) as raised:
        call()
    assert text in str(raised.value)


def interrupted(call):
    """`call`'s KeyboardInterrupt, from a SIGINT 0.3 s after it starts."""
    timer = threading.Timer(0.3, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    with pytest.raises(KeyboardInterrupt) as raised:
        call()
    timer.join()
    return raised.value.partial


def test_ctrl_c_stops_a_capacity_run_and_keeps_its_rows():
    # Large enough that no machine finishes it before the signal.
    partial = interrupted(lambda: duolink.capacity(pairs=256, sets=40, jobs=2))
    assert 0 < len(partial) < 256 * 40 and partial.provenance["stopped"]
    full = duolink.capacity(pairs=int(partial["n"][-1]), sets=40, jobs=2)
    for row in partial:
        assert row == full[(row["n"] - 1) * 40 + row["set"] - 1]


def test_ctrl_c_stops_a_noise_run_and_keeps_its_levels():
    A, B = random_list(3, 40, binary=False)
    t = duolink.train(A, B, beta=0.05)
    sigmas = [k / 100 for k in range(400)]
    partial = interrupted(lambda: t.noise(sigma=sigmas, trials=400, jobs=2))
    assert 0 < len(partial) < len(sigmas) and partial.provenance["stopped"]
    full = t.noise(sigma=sigmas[:len(partial)], trials=400, jobs=2)
    assert np.array_equal(partial, full) and partial.to_csv() == full.to_csv()


def test_ctrl_c_stops_a_training_after_a_presentation():
    A, B = random_list(11, 256, binary=False)
    partial = interrupted(lambda: duolink.train(A, B, beta=0.01, max_presentations=10 ** 6))
    assert partial.stopped and 0 < partial.presentations == len(partial.stats) < 10 ** 6
