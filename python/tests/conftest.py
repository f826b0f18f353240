"""What the suites share."""
import threading
import time

import pytest


@pytest.fixture
def ticks_during():
    """ticks_during(fn): how many times this thread woke, a millisecond apart,
    while fn ran on another thread (few when fn holds the interpreter's lock)."""
    def run(fn):
        done = threading.Event()

        def work():
            try:
                fn()
            finally:
                done.set()

        worker = threading.Thread(target=work)
        ticks = 0
        worker.start()
        while not done.is_set():
            ticks += 1
            time.sleep(0.001)
        worker.join()
        return ticks
    return run
