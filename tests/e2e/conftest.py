import subprocess

import pytest

from harness import BUILD, ROOT, Display, Wine, stop_port_lock, wait_until


@pytest.fixture(scope="session", autouse=True)
def stop_port():
    """The session holds UDP port 12345, which Tessig listens on and Parlex
    sends to: another run on this machine waits for it."""
    with stop_port_lock():
        yield


@pytest.fixture(scope="session")
def display():
    screen = Display()
    yield screen
    screen.close()


@pytest.fixture(scope="session")
def prefix(display):
    path = BUILD / "wine"
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
def wine(prefix, display, tmp_path):
    """The prefix on the session's display, with a scenario file and call log
    of the test's own (the test writes the scenario before starting anything)."""
    session = Wine(prefix, display, scenario=None, log=tmp_path / "calls.log")
    yield session
    for process in list(session.processes):
        session.stop(process)
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
