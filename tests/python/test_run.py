"""A run from Python holds what the command line writes for the same case, bit for bit."""

import os

import numpy as np
import pytest

import liftsim
from conftest import example_path, files_of, sets


# The example, a tipping load, a load whose step control restarts, a fault at the first output
# point, a road profile, a choice of columns and the study model; rows on a grid; a drive torque
# and a brake, the brake holding and the drive off, the scenario set by name; a run ended once
# decided and one checked for convergence.
CASES = [
    ("example", {}, {}, []),
    ("tipping", {"m_4": 2356.4, "zc_4": 1.199}, {}, []),
    ("restarting", {"m_4": 150.0}, {}, []),
    ("fault", {"m_4": 0.5}, {}, []),
    ("road", {"t_end": 3.0}, {"road": [(-1.0, 0.0), (2.0, 0.05), (4.0, -0.02)]}, []),
    ("columns", {"t_end": 2.0}, {"columns": ["X_C4", "F_kp", "az_p3"]}, ["--columns", "X_C4,F_kp,az_p3"]),
    ("sound model", {"t_end": 2.0}, {"model": "sound"}, ["--model", "sound"]),
    ("grid", {"t_end": 2.0, "m_4": 2356.4}, {"grid": 0.0125}, ["--grid", "0.0125"]),
    ("grid columns", {"t_end": 1.0}, {"grid": 0.003, "columns": "F_kp,az_p3", "model": "sound"},
     ["--grid", "0.003", "--columns", "F_kp,az_p3", "--model", "sound"]),
    ("drive and brake", {"t_end": 2.0},
     {"drive": [(0.0, 0.0), (0.5, 800.0), (1.0, -400.0)], "brake": [(0.0, 0.0), (1.2, 3000.0)],
      "model": "sound"}, ["--model", "sound"]),
    ("scenario", {"t_end": 2.0, "slope": 4.0, "v_0": 1.5, "x_load": 0.4, "x_0": 0.7},
     {"drive": "off", "model": "sound"}, ["--model", "sound"]),
    ("held", {"t_end": 1.0, "slope": 8.0}, {"brake": "hold", "model": "sound"}, ["--model", "sound"]),
    ("decided", {"m_4": 2356.4, "zc_4": 1.199}, {"stop_when_decided": True, "lift_force": 50.0},
     ["--stop-when-decided", "--lift-force", "50.0"]),
    ("convergence", {"t_end": 2.0, "m_4": 1800.0}, {"convergence": True, "slide_limit": 0.02},
     ["--convergence", "--slide-limit", "0.02"]),
]


@pytest.mark.parametrize("what,values,options,args", CASES, ids=[c[0] for c in CASES])
def test_a_run_equals_the_command_lines_csv_and_summary(cli, tmp_path, what, values, options, args):
    files = files_of(tmp_path, options)  # the same files for both, so both summaries name them
    options = {**options, **{key[2:]: str(path) for key, path in zip(files[::2], files[1::2])}}
    cmd = cli(*sets(values), "--csv", "dense.csv", "--summary", "summary.json", *args, *files)
    names, rows = cmd.csv("dense.csv")
    r = liftsim.run(values, **options)
    assert r.columns == tuple(names)
    assert r.data.shape == (len(rows), len(names))
    assert np.array_equal(r.data, np.array(rows, dtype=float).reshape(len(rows), len(names)))
    assert r.summary == cmd.json("summary.json")
    assert r.verdict == r.summary["verdict"]
    expected = r.summary["error"]
    assert (r.error and {"code": r.error.code, "message": r.error.message}) == expected
    assert cmd.done.returncode == (1 if expected else 0)


def test_a_failing_run_returns_its_error():
    r = liftsim.run({"m_4": 0.5})
    assert (r.error.code, r.error.message, r.error.statement) == (
        "M6103", "floating-point error: divide by zero", "MATH")
    assert r.verdict == "numerical_failure"
    bad_input = liftsim.run(input="heading\nheading\n   12x4.5\n")
    assert (bad_input.error.code, bad_input.error.statement, bad_input.summary) == ("F6103", "READ", None)


@pytest.mark.parametrize("values", [
    {"m_44": 1.0},                 # unknown name
    {"m_4": "12kg"},               # not a number
    {"m_4": -3.0},                 # out of range
    {"m_4": float("inf")},         # not finite
    {"t_end": 0.0},                # not after the start
])
def test_bad_values_raise_the_command_lines_message(cli, values):
    with pytest.raises(ValueError) as raised:
        liftsim.run(values)
    name, value = next(iter(values.items()))
    text = value if isinstance(value, str) else repr(value)
    assert str(raised.value) == cli("--set", f"{name}={text}").usage_error()


def test_bad_columns_roads_and_types_raise_before_running():
    for call, error in [
        (lambda: liftsim.run(columns=["F_kpp"]), ValueError),
        (lambda: liftsim.run(road=[(1.0, 0.0), (0.0, 0.0)]), ValueError),
        (lambda: liftsim.run(model="sharp"), ValueError),
        (lambda: liftsim.run(work_limit=-1), ValueError),
        (lambda: liftsim.run(grid=0.0), ValueError),
        (lambda: liftsim.run(grid=1e-7), ValueError),  # 10^8 rows
        (lambda: liftsim.run(drive="of"), FileNotFoundError),
        (lambda: liftsim.run(brake=[(0.0, -1.0)]), ValueError),
        (lambda: liftsim.run(drive=[1.0, 2.0]), TypeError),
        (lambda: liftsim.run({"m_4": None}), TypeError),
        (lambda: liftsim.run({"m_4": True}), TypeError),
    ]:
        with pytest.raises(error):
            call()


def test_input_and_files_as_the_command_line_has_them(cli, tmp_path):
    cmd = cli("--set", "m_4=300.0")
    with open(example_path(), "rb") as f:
        text = f.read()
    # Record 6 holds the load mass in columns 1-9.
    lines = text.split(b"\n")
    lines[5] = b" 300.0000" + lines[5][9:]
    edited = tmp_path / "dani.dat"
    edited.write_bytes(b"\n".join(lines))
    out = tmp_path / "files"
    out.mkdir()
    from_path = liftsim.run(input=edited, files=out)
    from_text = liftsim.run(input=edited.read_text())
    assert from_path.summary["parameters"] == {}
    assert np.array_equal(from_path.data, from_text.data)
    assert np.array_equal(from_path.data, liftsim.run({"m_4": 300}).data)
    written = sorted(os.listdir(out))
    assert len(written) == 24 and "dani.dat" not in written
    for name in written:  # the report echoes a value set by name as it echoes one read
        assert (out / name).read_bytes() == (cmd.folder / name).read_bytes(), name


def test_the_tables_list_what_the_command_line_lists(cli):
    table = {p.name: p for p in liftsim.params({"zc_4": 1.5})}
    assert table["m_4"].value == 1000.0 and table["m_4"].source == "dani.dat record 6"
    assert table["zc_4"].value == 1.5 and table["zc_4"].source == "set"
    assert table["eta_tr"].range == "a number > 0 and <= 1"
    names = [c.name for c in liftsim.columns()]
    assert names[0] == "t" and names == list(liftsim.run({"t_end": 0.01}).columns)


def test_the_type_stubs_state_the_packages_api():
    import ast
    import inspect

    with open(os.path.join(os.path.dirname(liftsim.__file__), "__init__.pyi")) as f:
        tree = ast.parse(f.read())
    functions = {n.name: n.args for n in tree.body if isinstance(n, ast.FunctionDef)}
    classes = {n.name for n in tree.body if isinstance(n, ast.ClassDef)}
    for name in liftsim.__all__:
        thing = getattr(liftsim, name)
        if inspect.isclass(thing):
            assert name in classes, name
            continue
        stub = functions[name]
        parameters = inspect.signature(thing).parameters.values()
        assert [a.arg for a in stub.args] == [p.name for p in parameters if p.kind == p.POSITIONAL_OR_KEYWORD], name
        assert [a.arg for a in stub.kwonlyargs] == [p.name for p in parameters if p.kind == p.KEYWORD_ONLY], name
        assert (stub.kwarg is not None) == any(p.kind == p.VAR_KEYWORD for p in parameters), name
