"""A study on a Dask cluster of two worker processes holds what the same study run locally holds,
bit for bit and in case order."""

import pytest

import liftsim
from conftest import need, same_table

distributed = need("distributed", "python3-distributed")

# Debian's tornado warns about its own event loop set-up inside distributed.
pytestmark = pytest.mark.filterwarnings("ignore:make_current is deprecated:DeprecationWarning")


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster:
        with distributed.Client(cluster) as c:
            yield c


STUDIES = [
    ("sweep", liftsim.sweep, ({"m_4": "500:2500:250", "zc_4": [0.5, 1.5]},),
     {"base": {"t_end": 1.0}, "drive": [(0.0, 0.0), (0.5, 500.0)]}),
    ("sweep in 3 shards", liftsim.sweep, ({"m_4": [0.5, 1000.0, 2400.0], "slope": [0.0, 3.0]},),
     {"base": {"t_end": 1.0}, "shards": 3}),
    ("capacity", liftsim.capacity, ([0.5, 1.0, 1.5],),
     {"mass": (500.0, 3000.0), "resolution": 50.0, "base": {"t_end": 1.0}}),
]


@pytest.mark.parametrize("what,call,args,options", STUDIES, ids=[s[0] for s in STUDIES])
def test_a_study_on_dask_equals_the_local_one(client, what, call, args, options):
    local = call(*args, **{k: v for k, v in options.items() if k != "shards"})
    remote = call(*args, client=client, **options)
    assert type(remote) is type(local) and same_table(remote, local)
    assert list(remote.axes) == list(local.axes) and len(remote) == len(local)


def test_a_refused_study_raises_before_any_task_goes_out(client):
    with pytest.raises(ValueError, match="varied twice"):
        liftsim.dask_sweep(client, {"m_4": [1.0], "m_4 ": [2.0]})
    with pytest.raises(ValueError, match="do not go together"):
        liftsim.sweep({"m_4": [1.0]}, client=client, shard=(1, 2))
