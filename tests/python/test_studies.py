"""Sweeps, capacity charts and tilting-table tests from Python hold what the command line's result
files hold for the same study, field by field and bit for bit; a study the command line refuses
raises its message before any case runs."""

import numpy as np
import pytest

import liftsim
from conftest import files_of, need, same, sets


def expected_columns(header, rows, table):
    """The file's columns as arrays of the table's types (NaN for an empty number)."""
    out = {}
    for k, name in enumerate(header):
        texts = [row[k] for row in rows]
        kind = table[name].dtype.kind
        if kind == "f":
            out[name] = np.array([float(t) if t else np.nan for t in texts])
        elif kind == "i":
            out[name] = np.array([int(t) for t in texts], dtype=np.int64)
        else:
            out[name] = np.array(texts, dtype=object)
    return out


def assert_equals_file(table, cmd, name):
    assert cmd.done.returncode == 0, cmd.done.stderr
    header, rows = cmd.study(name)
    assert list(table.columns[: len(header)]) == header
    assert len(table) == len(rows)
    for column, expected in expected_columns(header, rows, table).items():
        assert same(table[column], expected), column


ROAD = [(-1.0, 0.0), (2.0, 0.05), (4.0, -0.02)]
DRIVE = [(0.0, 0.0), (0.5, 800.0), (1.0, -400.0)]

# Ranges and lists; the legacy model run to the end with other thresholds; a road, a drive and a
# brake with the scenario varied; cases that fail and stall; a shard.
SWEEPS = [
    ("two axes", {"m_4": "500:2500:500", "zc_4": [0.5, 1.5]}, {"base": {"t_end": 2.0}}, []),
    ("legacy", {"zc_4": "0:2:1"},
     {"base": {"t_end": 1.0, "m_4": 2356.4}, "model": "legacy", "stop_when_decided": False,
      "lift_force": 100.0, "slide_limit": 0.01},
     ["--model", "legacy", "--no-stop-when-decided", "--lift-force", "100.0", "--slide-limit", "0.01"]),
    ("scenario", {"slope": [0.0, 5.0], "v_0": [0.0, 1.0]},
     {"base": {"t_end": 1.0}, "road": ROAD, "drive": DRIVE, "brake": [(0.0, 0.0), (0.5, 2000.0)]}, []),
    ("held", {"x_load": [0.3, 0.9]}, {"base": {"t_end": 1.0}, "drive": "off", "brake": "hold"}, []),
    ("failures", {"m_4": [0.5, 1000.0]}, {"base": {"t_end": 2.0}, "work_limit": 3000},
     ["--work-limit", "3000"]),
    ("shard", {"m_4": [800.0, 1600.0, 2400.0], "zc_4": [0.5, 1.0]},
     {"base": {"t_end": 1.0}, "shard": (2, 3)}, ["--shard", "2/3"]),
]


@pytest.mark.parametrize("what,vary,options,args", SWEEPS, ids=[s[0] for s in SWEEPS])
def test_a_sweep_equals_the_command_lines_file(cli, tmp_path, what, vary, options, args):
    varies = [a for name, v in vary.items()
              for a in ("--vary", f"{name}={v if isinstance(v, str) else ','.join(map(repr, v))}")]
    cmd = cli("sweep", *varies, *sets(options.get("base", {})), *files_of(tmp_path, options),
              *args, "-o", "sweep.csv")
    s = liftsim.sweep(vary, **options)
    assert_equals_file(s, cmd, "sweep.csv")
    assert list(s.axes) == list(vary)


def test_the_rest_of_each_sweep_row_is_the_summary_of_its_run():
    s = liftsim.sweep({"m_4": [0.5, 1200.0, 2400.0], "zc_4": [0.3, 1.8]}, base={"t_end": 2.0})
    rest = s.columns[s.columns.index("t_end"):]
    for i in range(len(s)):
        r = liftsim.run({"m_4": s.m_4[i], "zc_4": s.zc_4[i], "t_end": 2.0}, model="sound",
                        stop_when_decided=True, columns="t")
        for name in rest:
            expected = r.summary[name]
            if name == "out_of_model":
                expected = expected["quantity"] if expected else ""
            elif expected is None:
                expected = np.nan
            assert same(s[name][i:i + 1], np.array([expected], dtype=s[name].dtype)), (i, name)
    assert s.grid("verdict").shape == (3, 2) and s.grid("verdict")[1, 0] == s.verdict[2]


BRAKING = {"base": {"t_end": 1.0, "v_0": 1.5}, "brake": [(0.0, 0.0), (0.5, 4000.0)]}

# A chart; one with convergence checks; one of a braking stop drawn across the load centre; the
# base case's own height. Tilting-table tests at three heights, and at the base case's own
# against a required slope.
CHARTS = [
    ("capacity", liftsim.capacity, [0.5, 1.5], {"mass": (500.0, 3000.0), "resolution": 25.0},
     ["--mass", "500:3000", "--resolution", "25"]),
    ("convergence", liftsim.capacity, "0.5:1.5:1", {"mass": "1000:2600", "resolution": 50.0, "convergence": True},
     ["--mass", "1000:2600", "--resolution", "50", "--convergence"]),
    ("across", liftsim.capacity, [0.5, 1.5],
     {"across": {"x_load": [0.3, 0.6]}, "mass": (500.0, 3000.0), "resolution": 50.0, **BRAKING},
     ["--vary", "x_load=0.3,0.6", "--mass", "500:3000", "--resolution", "50"]),
    ("own height", liftsim.capacity, None, {"mass": (500.0, 3000.0), "resolution": 100.0},
     ["--mass", "500:3000", "--resolution", "100"]),
    ("tilt-test", liftsim.tilt_test, [0.5, 1.5, 2.5], {"resolution": 0.1, "jobs": 2},
     ["--resolution", "0.1", "--jobs", "2"]),
    ("tilt-test required", liftsim.tilt_test, None, {"require": 20.0, "margin": 0.5}, ["--require", "20", "--margin", "0.5"]),
]


@pytest.mark.parametrize("what,call,heights,options,args", CHARTS, ids=[c[0] for c in CHARTS])
def test_a_chart_equals_the_command_lines_file(cli, tmp_path, what, call, heights, options, args):
    vary = []
    if heights is not None:
        vary = ["--vary", f"zc_4={heights if isinstance(heights, str) else ','.join(map(repr, heights))}"]
    options = {"base": {"t_end": 1.0}, **options}
    command = "capacity" if call is liftsim.capacity else "tilt-test"
    cmd = cli(command, *vary, *sets(options["base"]), *files_of(tmp_path, options), *args,
              "-o", "chart.csv")
    assert_equals_file(call(heights, **options), cmd, "chart.csv")


# Studies the command line refuses as usage errors: the same message, before any case runs.
REFUSED = [
    (liftsim.sweep, ({},), {}, ["sweep"]),
    (liftsim.sweep, ({"m_44": [1.0]},), {}, ["sweep", "--vary", "m_44=1.0"]),
    (liftsim.sweep, ({"m_4": "2:1:1"},), {}, ["sweep", "--vary", "m_4=2:1:1"]),
    (liftsim.sweep, ({"m_4": [-5.0]},), {}, ["sweep", "--vary", "m_4=-5.0"]),
    (liftsim.sweep, ({"m_4": "1:x:1"},), {}, ["sweep", "--vary", "m_4=1:x:1"]),
    (liftsim.sweep, ({"m_4": [1.0], "zc_4": [1.0], "m_4 ": [2.0]},), {},
     ["sweep", "--vary", "m_4=1.0", "--vary", "zc_4=1.0", "--vary", "m_4 =2.0"]),
    (liftsim.sweep, ({"m_4": "1:1e9:1"},), {}, ["sweep", "--vary", "m_4=1:1e9:1"]),
    (liftsim.sweep, ({"m_4": [1.0]},), {"jobs": 2000}, ["sweep", "--vary", "m_4=1.0", "--jobs", "2000"]),
    (liftsim.sweep, ({"m_4": [1.0]},), {"shard": "4/3"}, ["sweep", "--vary", "m_4=1.0", "--shard", "4/3"]),
    (liftsim.sweep, ({"m_4": [1.0]},), {"shard": "1/x"}, ["sweep", "--vary", "m_4=1.0", "--shard", "1/x"]),
    (liftsim.sweep, ({"m_4": [1.0]},), {"base": {"t_end": 0.0}}, ["sweep", "--vary", "m_4=1.0", "--set", "t_end=0.0"]),
    (liftsim.sweep, ({"t_end": [0.5, 2.0]},), {"base": {"t_start": 1.0}},
     ["sweep", "--vary", "t_end=0.5,2.0", "--set", "t_start=1.0"]),
    (liftsim.capacity, ([1.0],), {"param": "m_4"}, ["capacity", "--vary", "m_4=1.0"]),
    (liftsim.capacity, ([1.0],), {"mass": "5:1"}, ["capacity", "--vary", "zc_4=1.0", "--mass", "5:1"]),
    (liftsim.capacity, ([1.0],), {"mass": "a:5"}, ["capacity", "--vary", "zc_4=1.0", "--mass", "a:5"]),
    (liftsim.capacity, ([1.0],), {"mass": "5"}, ["capacity", "--vary", "zc_4=1.0", "--mass", "5"]),
    (liftsim.capacity, ([1.0],), {"resolution": 0.0}, ["capacity", "--vary", "zc_4=1.0", "--resolution", "0"]),
    (liftsim.capacity, ([1.0],), {"across": {"zc_4": [2.0]}}, ["capacity", "--vary", "zc_4=1.0", "--vary", "zc_4=2.0"]),
    (liftsim.tilt_test, ([1.0],), {"param": "slope"}, ["tilt-test", "--vary", "slope=1.0"]),
    (liftsim.tilt_test, ([1.0],), {"resolution": 0.0}, ["tilt-test", "--vary", "zc_4=1.0", "--resolution", "0"]),
    (liftsim.tilt_test, ([1.0],), {"margin": 0.001}, ["tilt-test", "--vary", "zc_4=1.0", "--margin", "0.001"]),
    (liftsim.tilt_test, ([1.0],), {"require": 100.0}, ["tilt-test", "--vary", "zc_4=1.0", "--require", "100"]),
]


@pytest.mark.parametrize("call,args,options,cli_args", REFUSED, ids=[" ".join(r[3]) for r in REFUSED])
def test_a_refused_study_raises_the_command_lines_message(cli, call, args, options, cli_args):
    with pytest.raises(ValueError) as raised:
        call(*args, **options)
    assert str(raised.value) == cli(*cli_args).usage_error()


def test_bad_arguments_raise_before_any_case_runs():
    for call, error in [
        (lambda: liftsim.sweep([1.0]), TypeError),
        (lambda: liftsim.sweep({"m_4": [True]}), TypeError),
        (lambda: liftsim.sweep({"m_4": None}), TypeError),
        (lambda: liftsim.sweep({"m_4": 1.0}, jobs=1.5), TypeError),
        (lambda: liftsim.sweep({"m_4": 1.0}, slide_limit=-1.0), ValueError),
        (lambda: liftsim.sweep({"m_4": 1.0}, drive=[(1.0, 0.0), (0.0, 0.0)]), ValueError),
        (lambda: liftsim.sweep({"m_4": 1.0}, brake=[(0.0, -1.0)]), ValueError),
        (lambda: liftsim.sweep({"m_4": 1.0}, input="heading\nheading\n   12x4.5\n"), ValueError),
        (lambda: liftsim.sweep({"m_4": 1.0}, shards=2), ValueError),
        (lambda: liftsim.capacity(across=[("x_load", 0.3)]), TypeError),
    ]:
        with pytest.raises(error):
            call()


def test_to_pandas_gives_the_columns_with_verdicts_as_categories():
    pd = need("pandas", "python3-pandas")
    s = liftsim.sweep({"m_4": [1000.0, 2400.0]}, base={"t_end": 1.0})
    frame = s.to_pandas()
    assert list(frame.columns) == list(s.columns)
    assert list(frame.verdict.cat.categories) == list(liftsim.VERDICTS)
    assert list(frame.verdict) == list(s.verdict) and frame.min_F_kp.equals(pd.Series(s.min_F_kp))
    r = liftsim.run(grid=0.5, columns=["F_kp"])
    assert list(r.to_pandas().columns) == ["t", "F_kp"] and list(r.to_pandas().t) == list(r.t)
