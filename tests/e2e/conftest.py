import fcntl
import os
import shutil
import subprocess

import pytest

from harness import BUILD, ROOT, Display, Wine, own_processes, stop_port_lock, wait_until

# Each worker of a parallel run (pytest-xdist) has a display and a Wine
# prefix of its own: prefixes are separate worlds, so the programs of two
# workers never see each other's windows or mutexes.
WORKER = os.environ.get("PYTEST_XDIST_WORKER")


def pytest_configure(config):
    config.addinivalue_line("markers", "stop_port: the test uses UDP port 12345, Tessig's stop port")


@pytest.hookimpl(tryfirst=True)
def pytest_collection_modifyitems(items):
    # The tests of the stop port run one after another on one worker
    # (--dist loadgroup, whose own hook reads the group after this one); the
    # lock makes two runs on one machine take turns.
    for item in items:
        if item.get_closest_marker("stop_port"):
            item.add_marker(pytest.mark.xdist_group("stop_port"))


@pytest.fixture
def stop_port(request):
    """Holds UDP port 12345 for a test marked stop_port, while it runs and
    while what it started is ended."""
    if request.node.get_closest_marker("stop_port"):
        with stop_port_lock():
            yield True
    else:
        yield False


@pytest.fixture(scope="session")
def display():
    screen = Display()
    yield screen
    screen.close()


def worker_prefix():
    """The prefix of this worker: a copy of build/wine, made once (the copy
    costs a second where making one costs many)."""
    base = BUILD / "wine"
    path = BUILD / f"wine-{WORKER}"
    with open(BUILD / "wine.lock", "a") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        subprocess.run([str(ROOT / "scripts" / "make-prefix.sh"), str(base)], check=True)
        if not (path / ".parlex-prefix").exists():
            shutil.rmtree(path, ignore_errors=True)
            subprocess.run(["cp", "-a", str(base), str(path)], check=True)
    return path


@pytest.fixture(scope="session")
def prefix(display):
    path = worker_prefix() if WORKER else BUILD / "wine"
    subprocess.run([str(ROOT / "scripts" / "make-prefix.sh"), str(path)], check=True)
    # The server and the desktop that this run's programs share start with
    # the first of them (Wine.serve), on this run's display: none from before.
    session = Wine(path, display)
    session.close()
    # A run interrupted before its own clean-up may have left a Windows
    # version in force for a program; so may this one.
    for program in ("Parlex_SS.exe", "Tessig.exe"):
        session.set_version(program, None)
    yield path
    for program in ("Parlex_SS.exe", "Tessig.exe"):
        session.set_version(program, None)
    session.close()


@pytest.fixture
def wine(prefix, display, tmp_path, stop_port):
    """The prefix on the session's display, with a scenario file and call log
    of the test's own (the test writes the scenario before starting anything)."""
    session = Wine(prefix, display, scenario=None, log=tmp_path / "calls.log",
                   holds_stop_port=stop_port)
    yield session
    for process in list(session.processes):
        session.stop(process)
    # A logger that Parlex started without the port held would listen on it.
    assert stop_port or not own_processes("Tessig.exe", session), \
        "a test whose programs start Tessig must be marked stop_port"
    # A killed program's window and mutex go only when the wineserver has
    # noticed its end; the next test must not meet them (its program would
    # take the old one for a running instance and end at once).
    assert wait_until(lambda: session.window_rect("Parlex", "Parlex") is None and
                      not session.mutex_exists("Parlex_SS.exe") and
                      not session.mutex_exists("Tessig.exe"), 15), "a program left behind"


@pytest.fixture
def workdir(tmp_path):
    """An empty working folder for the program under test."""
    folder = tmp_path / "work"
    folder.mkdir()
    return folder
