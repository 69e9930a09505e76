# SPDX-License-Identifier: GPL-3.0-or-later
"""Duolink from Python: the exact fixed-point delta-rule engine and its
analyses, on numpy arrays.

Every result is the one ``duolink-batch`` gives for the same input: the same
presentations, matrix cells, statistics and rows, computed by the same
engine in this process (no files, no processes).

    >>> import duolink, numpy as np
    >>> A, B = duolink.read_patterns("examples/patterns.csv")
    >>> t = duolink.train(A, B)
    >>> t.outcome, t.presentations, t.final_r2_text
    >>> rows = duolink.capacity(pairs=16, sets=5)
    >>> rows.to_pandas()

The engine runs without the GIL; capacity, sweeps and noise runs use every
core (``jobs``), and Ctrl+C stops them, raising KeyboardInterrupt with the
rows done so far on the exception's ``partial`` attribute.
"""

from __future__ import annotations

import datetime as _datetime
import enum as _enum
import hashlib as _hashlib
import operator as _operator
import os as _os
import time as _time

import numpy as _np

from . import _duolink

__all__ = [
    "Outcome", "Training", "Rows", "train", "capacity", "sweep", "read_patterns", "write_patterns",
    "read_matrix", "write_matrix", "field_text", "MAX_PAIRS",
]

__version__ = _duolink.version
#: The most pairs a list holds.
MAX_PAIRS = _duolink.max_pairs


class Outcome(str, _enum.Enum):
    """How a training ended; the values are the CSV files' ``outcome`` texts."""

    RECALLED = "recalled"      #: every pair recalled within TOL
    LIMIT = "limit"            #: MAX presentations reached
    ERROR = "error"            #: a file or arithmetic error
    TERMINATED = "terminated"  #: a fatal input error ended the job

    def __str__(self) -> str:
        return self.value


class Rows(_np.ndarray):
    """A numpy structured array of result rows, one field per CSV column.

    ``provenance`` says what the run used; ``to_pandas()`` gives a DataFrame
    (pandas must be installed) and ``to_csv()`` the CSV text the runner
    writes for the same rows.
    """

    provenance: dict
    _csv: str | None

    def __array_finalize__(self, obj):
        self.provenance = getattr(obj, "provenance", {})
        self._csv = None  # a part of the rows has no CSV of its own

    def to_pandas(self):
        """The rows as a pandas DataFrame, with ``provenance`` in its ``attrs``."""
        import pandas

        frame = pandas.DataFrame.from_records(_np.asarray(self).view(_np.ndarray))
        frame.attrs["provenance"] = dict(self.provenance)
        return frame

    def to_csv(self, path: str | None = None) -> str:
        """The CSV text the runner writes for these rows; with `path`, also written there."""
        if self._csv is None:
            raise ValueError("only the rows as a run returned them have a CSV text")
        if path is not None:
            _write_text(path, self._csv)
        return self._csv


def _rows(columns, fields, provenance, csv=None) -> Rows:
    count = len(columns[fields[0][0]]) if fields else 0
    out = _np.zeros(count, dtype=fields).view(Rows)
    for name, _ in fields:
        out[name] = columns[name]
    out.provenance = provenance
    out._csv = csv
    return out


def _write_text(path, text):
    data = text.encode()
    tmp = f"{path}.tmp{_os.getpid()}"
    with open(tmp, "wb") as f:
        f.write(data)
    _os.replace(tmp, path)


# --- Arguments --------------------------------------------------------------------------

# Keyword, the parameter's name as --set names it, integer or real.
_PARAMETERS = (
    ("option", "option", True),
    ("max_presentations", "max", True),
    ("beta", "beta", False),
    ("limit", "limit", False),
    ("transfer", "transfer", True),
    ("unity", "unity", True),
    ("tol", "tol", False),
)


def _parameter_text(keyword, name, integer, value):
    if isinstance(value, bool) or not isinstance(value, (int, float, _np.integer, _np.floating)):
        raise TypeError(f"{keyword} takes {'a whole number' if integer else 'a number'}, "
                        f"not {type(value).__name__}")
    if integer:
        try:
            text = str(_operator.index(value))
        except TypeError:
            raise TypeError(f"{keyword} takes a whole number, not {value!r}") from None
    else:
        text = repr(float(value))
    _duolink.check_parameter(name, text)
    return text


def _parameters_text(settings, simulation, a_len=9, b_len=8):
    """The parameters file's text for these settings: A Len 9 (the eight
    values and the parity) and B Len 8, as the window's pairs take, unless
    other lengths are given."""
    texts = {name: _parameter_text(k, name, integer, settings[k]) for k, name, integer in _PARAMETERS}
    lines = [texts["option"], texts["max"], str(a_len), str(b_len), "1" if simulation is not None else "0",
             texts["beta"], texts["limit"], texts["transfer"], texts["unity"], texts["tol"]]
    return "\n".join(lines) + "\n"


def _values(name, values, one_allowed=False, width=None):
    """`values` as a float64 array of rows of `width` values (any width of
    1 to 128 when None), checked."""
    array = _np.asarray(values)
    if array.dtype.kind not in "biuf":
        raise TypeError(f"{name} holds values of type {array.dtype}; give numbers")
    single = one_allowed and array.ndim == 1
    if single:
        array = array[_np.newaxis, :]
    if array.ndim != 2 or not 1 <= array.shape[1] <= 128 or (width is not None and array.shape[1] != width):
        wanted = width if width is not None else "1 to 128"
        raise ValueError(f"{name} has the shape {array.shape}; give one row of {wanted} values per pair")
    if array.shape[0] > MAX_PAIRS:
        raise ValueError(f"{name} holds {array.shape[0]} pairs; the list takes at most {MAX_PAIRS}")
    array = _np.ascontiguousarray(array, dtype=_np.float64)
    bad = _np.argwhere(~_np.isfinite(array))
    if len(bad):
        p, k = bad[0]
        raise ValueError(f"{name}, pair {p + 1}, value {k + 1}: {array[p, k]} is not a number")
    return array, single


def _pairs(A, B):
    """The arrays of a list: rows of N A values and M B values, the same N
    and M for every pair, within the engine's limits."""
    a, _ = _values("A", A)
    b, _ = _values("B", B)
    if a.shape[0] != b.shape[0]:
        raise ValueError(f"A has {a.shape[0]} pairs but B has {b.shape[0]}")
    problem = _duolink.shape_problem(a.shape[1], b.shape[1])
    if problem:
        raise ValueError(problem)
    return a, b


def _simulation(simulation, width=8):
    if simulation is None:
        return None
    return _values("simulation", simulation, width=width)[0]


def _jobs(jobs):
    jobs = _operator.index(jobs)
    if not 0 <= jobs <= 1024:
        raise ValueError("jobs takes a whole number from 1 to 1024 (0: every core)")
    return jobs


def _shard(shard):
    if isinstance(shard, str):
        parsed = _duolink.parse_shard(shard)
    else:
        parsed = tuple(shard) if len(shard) == 2 else None
        if parsed is not None and not 1 <= parsed[0] <= parsed[1]:
            parsed = None
    if parsed is None:
        raise ValueError("shard takes K/N with 1 <= K <= N, as 2/4")
    return int(parsed[0]), int(parsed[1])


def _provenance(parameters, started, **extra):
    ended = _time.time()
    stamp = lambda t: _datetime.datetime.fromtimestamp(t, _datetime.timezone.utc).isoformat(timespec="seconds")
    p = {"program": "duolink", "version": __version__, "parameters": _duolink.read_parameters(parameters)}
    p.update(extra)
    p.update(started=stamp(started), ended=stamp(ended), seconds=round(ended - started, 6))
    return p


def _outcome_counts(outcomes):
    return {o.value: int(sum(1 for x in outcomes if x == o.value)) for o in Outcome}


def _list_source(A, B, patterns):
    """The arrays of a list given as arrays or as a pattern list file, and
    the provenance entries that say which."""
    if patterns is not None:
        if A is not None or B is not None:
            raise TypeError("give A and B, or patterns, not both")
        with open(patterns, "rb") as f:
            digest = _hashlib.sha256(f.read()).hexdigest()
        A, B = read_patterns(patterns)
        return A, B, {"patterns": _os.fspath(patterns), "patterns_sha256": digest}
    if A is None or B is None:
        raise TypeError("give the list: A and B, or patterns=FILE")
    return A, B, {}


# --- Training -------------------------------------------------------------------------------

_STATS_FIELDS = [("presentation", "i4"), ("r2", "f8"), ("missed_pairs", "i4"), ("bit_errors", "i4"),
                 ("ber_total", "f8"), ("all_recalled", "?")]
def _recall_fields(n=8, m=8):
    """The columns of a recall table of pairs of n + m values."""
    return ([("pair", "i4")] + [(f"a{k}", "f8") for k in range(1, n + 1)] +
            [(f"{s}{k}", "f8") for s in "br" for k in range(1, m + 1)] +
            [("max_error", "f8"), ("outside_tol", "i4"), ("recalled", "i1"), ("nearest", "i4"),
             ("nearest_own", "i1")])


_RECALL_FIELDS = _recall_fields()
_NOISE_FIELDS = [("mode", "U12"), ("level", "f8"), ("recalls", "i8"), ("within_tol", "i8"),
                 ("nearest_own", "i8"), ("outside_tol_elements", "i8")]


class Training:
    """A finished training: what the runner's report and ``--stats`` show,
    and the trained matrix for recalls.

    Attributes: ``outcome`` (:class:`Outcome`), ``presentations``,
    ``final_r2`` (the R2 field's value) and ``final_r2_text`` (its text),
    ``missed_pairs`` (in the last presentation), ``matrix`` (A Len x B Len,
    in value units: the cells over UNITY), ``cells`` (the raw fixed-point
    cells), ``stats`` (one row per presentation, the columns of ``--stats``),
    ``failure`` (why an error or terminated run ended), ``stopped`` (Ctrl+C
    ended it: it ends as the limit would have ended it there) and
    ``provenance``.
    """

    def __init__(self, raw, provenance):
        self._raw = raw
        self.outcome = Outcome(raw.outcome)
        self.presentations = raw.presentations
        self.final_r2 = 0.0 if raw.final_r2 is None else raw.final_r2
        self.final_r2_text = raw.final_r2_text
        self.missed_pairs = raw.missed_pairs
        self.failure = raw.failure
        self.stopped = raw.stopped
        self.cells = raw.cells
        unity = raw.unity
        self.matrix = self.cells / unity if unity else _np.full_like(self.cells, _np.nan)
        self.stats = _rows(raw.stats, _STATS_FIELDS, provenance)
        self.provenance = provenance

    def __repr__(self):
        return (f"<Training {self.outcome.value}: {self.presentations} presentations, "
                f"R2 {self.final_r2_text}, {self.missed_pairs} missed>")

    def recall(self, A):
        """Recalls the B values of one A pattern (8 values) or of many (rows
        of 8), exactly as Predict does: the parity is added, the values
        scaled to four decimals and passed through the matrix."""
        a, single = _values("A", A, one_allowed=True, width=self._raw.a.shape[1])
        out = self._raw.recall(a)
        return out[0] if single else out

    def recall_table(self, tol=None) -> Rows:
        """Every pair of the trained list recalled and scored against its own
        B: the rows of ``--recall-table``. `tol` defaults to the training's TOL."""
        tol = self._raw.tol if tol is None else float(tol)
        raw = self._raw.recall_table(self._raw.a, self._raw.b, tol)
        fields = _recall_fields(self._raw.a.shape[1], self._raw.b.shape[1])
        return _rows(raw, fields, dict(self.provenance, tol=tol), raw["csv"])

    def noise(self, *, sigma=(0, 0.05, 0.1, 0.2, 0.3, 0.5), trials=100, seed=1, tol=None, jobs=0) -> Rows:
        """How much damage to the A patterns recall survives: the rows of
        ``--noise``. A list of 0/1 patterns gets every set of k flipped
        values; others get Gaussian noise of each `sigma`, `trials` times,
        from `seed`. Ctrl+C stops it and raises KeyboardInterrupt with the
        levels finished so far on the exception's ``partial``."""
        tol = self._raw.tol if tol is None else float(tol)
        sigmas = [float(s) for s in sigma]
        if any(not (s >= 0) or s == float("inf") for s in sigmas):
            raise ValueError("sigma takes numbers of 0 or more")
        if _operator.index(trials) < 1:
            raise ValueError("trials takes a whole number of 1 or more")
        started = _time.time()
        prov = lambda stopped: _provenance_of(self, started, sigma=sigmas, trials=int(trials), seed=int(seed),
                                              tol=tol, jobs=_jobs(jobs), stopped=stopped)
        try:
            raw = self._raw.noise(self._raw.a, self._raw.b, sigmas, int(trials), int(seed), tol, _jobs(jobs))
        except KeyboardInterrupt as e:
            # The levels finished before the stop, whole.
            e.partial = _rows(_noise_columns(e.partial), _NOISE_FIELDS, prov(True), e.partial["csv"])
            raise
        return _rows(_noise_columns(raw), _NOISE_FIELDS, prov(False), raw["csv"])


def _noise_columns(raw):
    return dict(raw)


def _provenance_of(training, started, **extra):
    p = dict(training.provenance)
    p.update(extra)
    ended = _time.time()
    p["analysis_seconds"] = round(ended - started, 6)
    return p


def train(A, B, *, option=2, max_presentations=100, beta=0.5, limit=0, transfer=2, unity=10000, tol=0.1,
          simulation=None, report=None) -> Training:
    """Trains the pairs (A[i], B[i]) as the window's Solve does.

    A and B: rows of N and M values, one row per pair (at most 256); the
    parity element is added to each A row, and A Len and B Len are N + 1 and
    M (9 and 8 for the window's pairs). The keywords are the parameters
    file's other values. `simulation`: rows of N A
    values fed through the trained matrix afterwards (the simulation file).
    `report`: a file to write the runner's report into; nothing is written
    otherwise.
    """
    a, b = _pairs(A, B)
    settings = dict(option=option, max_presentations=max_presentations, beta=beta, limit=limit,
                    transfer=transfer, unity=unity, tol=tol)
    sim = _simulation(simulation, a.shape[1])
    parameters = _parameters_text(settings, sim, a.shape[1] + 1, b.shape[1])
    started = _time.time()
    report_path = "" if report is None else _os.fspath(report)
    try:
        raw = _duolink.train(a, b, parameters, sim, report_path)
    except KeyboardInterrupt as e:
        if getattr(e, "partial", None) is not None:
            e.partial = Training(e.partial, _provenance(parameters, started, pairs=len(a)))
        raise
    prov = _provenance(parameters, started, pairs=len(a), simulation=0 if sim is None else len(sim),
                       outcomes=_outcome_counts([raw.outcome]))
    return Training(raw, prov)


# --- Capacity and sweeps ------------------------------------------------------------------

_RESULT_FIELDS = [("outcome", "U10"), ("presentations", "i4"), ("final_r2", "f8"), ("missed_last", "i4"),
                  ("recalled", "i4"), ("nearest_own", "i4")]


def capacity(*, pairs=64, sets=20, density=0.5, seed=1, jobs=0, shard="1/1", shape=(8, 8), option=2,
             max_presentations=100, beta=0.5, limit=0, transfer=2, unity=10000, tol=0.1, simulation=None) -> Rows:
    """How many pairs fit: for n = 1..`pairs`, `sets` random sets of n pairs
    of 0/1 values (each 1 with chance `density`, from `seed`) are trained
    and counted, one row each: the rows of ``duolink-batch --capacity``.

    `jobs` threads (0: every core; the rows are the same for every number);
    `shard` "K/N" keeps every N-th row from the K-th. `shape` (N, M): pairs
    of N A values before the parity and M B values, A Len and B Len set from
    it, as ``--capacity-shape N,M``. The other keywords are those of
    :func:`train`.
    """
    pairs, sets = _operator.index(pairs), _operator.index(sets)
    if len(shape) != 2:
        raise ValueError("shape takes (N, M): N A values before the parity and M B values")
    shape_n, shape_m = _operator.index(shape[0]), _operator.index(shape[1])
    if not 1 <= pairs <= _duolink.max_capacity_pairs:
        raise ValueError(f"pairs takes a whole number from 1 to {_duolink.max_capacity_pairs}")
    if not 1 <= sets <= 1000000:
        raise ValueError("sets takes a whole number from 1 to 1000000")
    density = float(density)
    if not 0 <= density <= 1:
        raise ValueError("density takes a number from 0 to 1")
    seed = _operator.index(seed)
    if not 0 <= seed < 2 ** 64:
        raise ValueError("seed takes a whole number from 0 to 2^64 - 1")
    jobs, (k, n) = _jobs(jobs), _shard(shard)
    settings = dict(option=option, max_presentations=max_presentations, beta=beta, limit=limit,
                    transfer=transfer, unity=unity, tol=tol)
    sim = _simulation(simulation, shape_n)
    parameters = _parameters_text(settings, sim, shape_n + 1, shape_m)
    fields = [("n", "i4"), ("set", "i4")] + _RESULT_FIELDS
    started = _time.time()
    extra = dict(analysis="capacity", seed=seed, density=density, pairs=pairs, sets=sets, jobs=jobs,
                 shard=f"{k}/{n}")
    if (shape_n, shape_m) != (8, 8):
        extra["shape"] = [shape_n, shape_m]
    try:
        raw = _duolink.capacity(parameters, sim, pairs, sets, density, seed, jobs, k, n, shape_n, shape_m)
    except KeyboardInterrupt as e:
        raw = e.partial
        e.partial = _rows(raw, fields, _provenance(parameters, started, stopped=True,
                                                   outcomes=_outcome_counts(raw["outcome"]), **extra), raw["csv"])
        raise
    prov = _provenance(parameters, started, stopped=raw["stopped"], outcomes=_outcome_counts(raw["outcome"]),
                       **extra)
    return _rows(raw, fields, prov, raw["csv"])


def _axis_text(name, values):
    if isinstance(values, str):
        return f"{name}={values}"
    texts = []
    for v in values:
        if isinstance(v, (int, _np.integer)) and not isinstance(v, bool):
            texts.append(str(int(v)))
        elif isinstance(v, (float, _np.floating)):
            texts.append(repr(float(v)))
        else:
            raise TypeError(f"sweep {name}: {v!r} is not a number")
    return f"{name}={','.join(texts)}"


def sweep(A=None, B=None, *, sweep, patterns=None, jobs=0, shard="1/1", option=2, max_presentations=100,
          beta=0.5, limit=0, transfer=2, unity=10000, tol=0.1, simulation=None) -> Rows:
    """Trains one list once for every cell of a grid of parameter values:
    the rows of ``duolink-batch --sweep-out``.

    The list: A and B, or `patterns` (a pattern list file). `sweep` maps
    parameter names as ``--set`` names them (option, max, beta, limit,
    transfer, unity, tol) to a list of values or a text "a,b,c" or
    "start:stop:step"; or it is a list of "NAME=LIST" texts. The first axis
    is outermost. The other keywords are those of :func:`train`; a swept
    parameter's keyword is ignored.
    """
    A, B, source = _list_source(A, B, patterns)
    a, b = _pairs(A, B)
    if isinstance(sweep, dict):
        axes = [_axis_text(name, values) for name, values in sweep.items()]
    elif isinstance(sweep, str):
        axes = [sweep]
    else:
        axes = [str(text) for text in sweep]
    jobs, (k, n) = _jobs(jobs), _shard(shard)
    settings = dict(option=option, max_presentations=max_presentations, beta=beta, limit=limit,
                    transfer=transfer, unity=unity, tol=tol)
    sim = _simulation(simulation, a.shape[1])
    parameters = _parameters_text(settings, sim, a.shape[1] + 1, b.shape[1])
    started = _time.time()
    extra = dict(analysis="sweep", sweep=axes, pairs=len(a), jobs=jobs, shard=f"{k}/{n}", **source)

    def rows(raw, stopped):
        fields = [(name, "f8") for name in raw["axes"]] + _RESULT_FIELDS
        prov = _provenance(parameters, started, stopped=stopped, outcomes=_outcome_counts(raw["outcome"]), **extra)
        return _rows(raw, fields, prov, raw["csv"])

    try:
        raw = _duolink.sweep(a, b, parameters, sim, axes, jobs, k, n)
    except KeyboardInterrupt as e:
        e.partial = rows(e.partial, True)
        raise
    return rows(raw, raw["stopped"])


# --- Files ------------------------------------------------------------------------------------

def read_patterns(path):
    """Reads a pattern list file (.csv, or a job data file with its partner
    beside it) and returns (A, B), of shapes (pairs, N) and (pairs, M): 8 and
    8 for the window's lists, or as the list's header gives them."""
    path = _os.fspath(path)
    if not _os.path.exists(path):
        raise FileNotFoundError(2, "No such file", path)
    return _duolink.read_patterns(path)


def write_patterns(path, A, B):
    """Writes A and B as a .csv pattern list file, each value in the
    shortest form that reads back exactly; the file is replaced whole."""
    a, b = _pairs(A, B)
    _duolink.write_patterns(_os.fspath(path), a, b)


def _exact(path, exact):
    """Whether `path` names the exact export: a .csv name, unless said."""
    return path.lower().endswith(".csv") if exact is None else bool(exact)


def read_matrix(path, *, exact=None):
    """Reads a matrix file and returns its raw fixed-point cells (divide by
    UNITY for the values).

    A ``.vmat2`` file gives the 9 x 8 block, as Load Matrix reads it. The
    exact export (a ``.csv`` file with its ``FILE.json``, from Export Matrix
    or ``--export-matrix``) gives the whole A Len x B Len matrix bit for bit,
    as Import Matrix reads it. `exact` says which it is when the name does
    not (True: the exact export)."""
    path = _os.fspath(path)
    if _exact(path, exact):
        return _duolink.read_exact_matrix(path)
    return _duolink.read_matrix(path)


def write_matrix(path, cells, *, exact=None, unity=None):
    """Writes raw fixed-point cells (or a :class:`Training`'s); the file is
    replaced whole.

    A ``.vmat2`` name gets the 9 x 8 block in two significant digits, as
    Save Matrix writes it. A ``.csv`` name (or ``exact=True``) gets the exact
    export of a matrix of any shape, as Export Matrix writes it, with its
    shape and `unity` (a Training's own, else 10000) in ``FILE.json``."""
    path = _os.fspath(path)
    if isinstance(cells, Training):
        unity = cells._raw.unity if unity is None else unity
        cells = cells.cells
    array = _np.asarray(cells)
    if array.dtype.kind not in "biuf":
        raise TypeError(f"the matrix holds values of type {array.dtype}; give numbers")
    if array.ndim != 2:
        raise ValueError(f"the matrix has the shape {array.shape}; give rows of cells")
    if not _np.isfinite(array).all():
        raise ValueError("the matrix holds a value that is not a finite number")
    array = _np.ascontiguousarray(array, dtype=_np.float64)
    if _exact(path, exact):
        unity = 10000 if unity is None else _operator.index(unity)
        if unity < 1:
            raise ValueError("unity takes a whole number of 1 or more")
        _duolink.write_exact_matrix(path, array, unity)
        return
    if array.shape != (9, 8):
        raise ValueError(f"the matrix has the shape {array.shape}; a matrix file holds 9 x 8 cells")
    _duolink.write_matrix(path, array)


def field_text(value) -> str:
    """A value as the window's fields show it: three decimals, "0.998"."""
    return _duolink.field_text(float(value))
