import os

import numpy as np

import ombrel
from support import EMG, random_signals

KNOWLEDGE = os.path.join(EMG, "knowledge.bin")


def engines_built():
    from ombrel import classifier
    return classifier.engines_built


def test_local_cluster_of_processes_gives_the_in_process_bits():
    import dask.array as da
    import distributed
    import ombrel.dask

    X = random_signals(np.random.default_rng(11), 4000)
    expected = ombrel.Classifier(KNOWLEDGE).classify(X)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=2, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as client:
        chunks = da.from_array(X, chunks=(250, 64))
        p, ids = client.compute([ombrel.dask.predict_proba(chunks, KNOWLEDGE),
                                 ombrel.dask.predict(chunks, KNOWLEDGE)], sync=True)
        # 16 blocks over two workers: each built the engine once at most.
        assert max(client.run(engines_built).values()) <= 1
        files = [os.path.join(EMG, "signals.csv")] * 2
        Xs, lines = ombrel.dask.read_signals(files)
        Xs, lines = client.compute([Xs, lines], sync=True)
    np.testing.assert_array_equal(p.view(np.uint32), expected.probabilities.view(np.uint32))
    np.testing.assert_array_equal(ids, expected.class_ids)
    X1, lines1 = ombrel.read_signals(files[0])
    np.testing.assert_array_equal(Xs.view(np.uint32), np.concatenate([X1, X1]).view(np.uint32))
    np.testing.assert_array_equal(lines, np.concatenate([lines1, lines1]))
