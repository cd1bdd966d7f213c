"""tavrel_link against the real program, which drives the virtual supply."""

import contextlib
import os
import pathlib
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.environ["TAVREL_PYTHON_DIR"])
from tavrel_link import Link, LinkError, RampStopped  # noqa: E402


def started():
    # The link answers early in the load sequence; its read-back of the supply, which fills the
    # energy field, would stop a ramp begun before it.
    with Link() as link:
        return link.request("Label_CommPort") == "COM1:" and link.request("Text_Value(0)") != ""


class LinkTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        # Class cleanups, unlike tearDownClass, also run when setUpClass fails half-way.
        folder = tempfile.TemporaryDirectory()
        cls.addClassCleanup(folder.cleanup)
        root = folder.name
        for sub in ("config/tavrel", "run"):
            os.makedirs(f"{root}/{sub}", 0o700)
        pathlib.Path(f"{root}/config/tavrel/tavrel.ini").write_text(f"[Ports]\nCOM1={root}/com1\n")
        os.environ["XDG_RUNTIME_DIR"] = f"{root}/run"  # where Link() looks, as the program does
        cls.env = dict(os.environ, XDG_CONFIG_HOME=f"{root}/config", QT_QPA_PLATFORM="offscreen")
        cls.start([os.environ["TAVREL_VIRTUAL_SUPPLY_PATH"], "--link", f"{root}/com1"],
                  lambda: os.path.exists(f"{root}/com1"))
        cls.start([os.environ["TAVREL_PATH"], "/COM1"], started)

    @classmethod
    def start(cls, command, ready):
        process = subprocess.Popen(command, env=cls.env, stdout=subprocess.DEVNULL)
        # Run last first: SIGTERM, up to 10 s to end, a kill if that was not enough.
        for cleanup, *args in ((process.kill,), (process.wait, 10), (process.terminate,)):
            cls.addClassCleanup(cleanup, *args)
        deadline = time.monotonic() + 15
        while time.monotonic() < deadline and process.poll() is None:
            with contextlib.suppress(OSError):  # not listening yet
                if ready():
                    return
            time.sleep(0.05)
        code = process.poll()
        raise AssertionError(f"{command[0]} " + ("did not start within 15 s" if code is None else f"ended with exit code {code}"))

    def setUp(self):
        # Notifications are awaited without a time limit: a missing one fails here, not hangs.
        signal.signal(signal.SIGALRM, lambda *_: self.fail("nothing came within 30 s"))
        signal.alarm(30)
        self.addCleanup(signal.alarm, 0)
        self.link = Link()
        self.addCleanup(self.link.close)

    def test_request_poke_execute_advise(self):
        self.link.execute("ENERGY=120")
        self.assertEqual(self.link.request("Text_Value(0)"), "120")
        changes = self.link.advise("Text_Value(0)")
        self.link.poke("DA_set_voltage", "1.5")  # sent at once: nothing stays pending for a ramp
        self.assertEqual(self.link.request("Text_Value(0)"), "150")
        self.assertEqual(next(changes), "150")

    def test_errors(self):
        with self.assertRaises(LinkError) as caught:
            self.link.request("No_Such_Item")
        self.assertEqual((caught.exception.number, caught.exception.text), (3, "unknown item No_Such_Item"))
        self.assertRaises(ValueError, self.link.execute, "ENERGY=1\nPOKE DA_set_voltage 9")

    def test_ramp(self):
        steps = list(self.link.ramp(100, 102, 1, 20, 0))
        self.assertEqual([(k, e, u) for k, e, u, _, _ in steps], [(1, 100, 100), (2, 101, 101), (3, 102, 102)])

    def test_ack_ramp_holds_each_step_for_the_loop_body(self):
        seen = []
        for k, e, *_ in self.link.ramp(10, 14, 2, 0, ack=True):
            time.sleep(0.1)  # a step let go too early would be over by now
            seen.append((k, e, self.link.request("Ramp")))
        self.assertEqual(seen, [(1, 10, "running 1 3"), (2, 12, "running 2 3"), (3, 14, "running 3 3")])
        self.assertEqual(self.link.request("Ramp"), "idle")

    def test_stopped_ramps(self):
        for _ in self.link.ramp(10, 14, 2, 0, ack=True):
            break  # leaving the loop stops the ramp
        self.assertEqual(self.link.request("Ramp"), "idle")
        # Nothing of the stopped ramp may be taken for the next one.
        self.assertEqual(len(list(self.link.ramp(10, 12, 2, 0, 0.5))), 2)
        with self.assertRaises(RampStopped) as caught:  # another energy input stops it
            for _ in self.link.ramp(10, 14, 2, 0, ack=True):
                self.link.poke("DA_set_voltage", "0.2")
        self.assertEqual(caught.exception.steps, 1)
