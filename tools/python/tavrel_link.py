"""The control link of a running tavrel program, for scripts (see docs/control-link.md).

    from tavrel_link import Link
    with Link() as link:
        for k, energy, umon, imon, ms in link.ramp(50, 300, 0.5, 100, ack=True):
            camera.save(f"iv_{k:05d}_{energy:g}eV.tif")  # the step is held meanwhile
        print("ended at", link.request("Text_Value(0)"), "eV")
"""

import collections
import math
import os
import socket

__all__ = ["Link", "LinkError", "RampStopped", "control_path"]

# A serial exchange (a poke of DA_set_voltage) may hold the program for some seconds.
ANSWER_TIMEOUT_S = 30.0


class LinkError(Exception):
    """An ERROR answer: `number` and `text` as the program sent them."""

    def __init__(self, number, text):
        super().__init__(f"{number} {text}" if number is not None else text)
        self.number = number
        self.text = text


class RampStopped(LinkError):
    """The ramp ended before its last step; `steps` were done."""

    def __init__(self, steps):
        super().__init__(None, f"the ramp stopped after {steps} steps")
        self.steps = steps


def control_path():
    """The socket the program listens on, found as the program finds it."""
    base = os.environ.get("XDG_RUNTIME_DIR")
    if not base:
        temp = os.path.normpath(os.environ.get("TMPDIR") or "/tmp")
        base = os.path.join(temp, f"tavrel-runtime-{os.getuid()}")
    return os.path.join(base, "tavrel", "Control")


def _checked(text):
    # A line break would end our line early and smuggle in a second command.
    if any(ord(ch) < 0x20 or 0x7F <= ord(ch) <= 0x9F for ch in text):
        raise ValueError(f"control character in {text!r}")
    return text


def _item(item):
    # A blank would move the split between item and text.
    if not item or " " in item:
        raise ValueError(f"not an item name: {item!r}")
    return _checked(item)


def _number(value):
    # Always a point and never a locale's comma; the program reads exponents too.
    if isinstance(value, int):
        return str(value)
    value = float(value)
    if not math.isfinite(value):
        raise ValueError(f"not a finite number: {value}")
    return repr(value)


def _is_answer(line):
    return line == "OK" or line.startswith(("OK ", "DATA ", "ERROR "))


def _is_ramp_news(line):
    return line.startswith(("STEP ", "END "))


class Link:
    """One conversation with the program; a context manager."""

    def __init__(self, path=None, timeout=ANSWER_TIMEOUT_S):
        self.path = path or control_path()
        self.timeout = timeout
        self._buffer = b""
        # Notifications that came while something else was awaited.
        self._queue = collections.deque()
        self._sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        try:
            self._sock.settimeout(timeout)
            self._sock.connect(self.path)
        except OSError as error:
            self._sock.close()
            raise ConnectionError(f"no running tavrel program: {self.path}") from error

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        """Ends the conversation (a ramp it started stops)."""
        if self._sock is not None:
            self._sock.close()
            self._sock = None

    def request(self, item):
        """The item's text."""
        answer = self._command("REQUEST " + _item(item))
        if not answer.startswith("DATA "):
            raise LinkError(None, f"unexpected answer: {answer}")
        return answer[5:]

    def poke(self, item, text):
        """Writes a text field as if typed."""
        self._command(f"POKE {_item(item)} {_checked(text)}")

    def execute(self, text):
        """Runs a command such as ENERGY=150."""
        self._command("EXECUTE " + _checked(text))

    def advise(self, item):
        """Yields each new text of the item until the connection closes."""
        self._command("ADVISE " + _item(item))
        return self._changes(item)

    def ramp(self, e1, e2, step, settle_ms, dwell_ms=None, ack=False):
        """Runs an energy ramp once iterated; yields (k, energy, umon, imon, ms) a step.

        Without ack the dwell defaults to 0; with ack, each step is held until the caller asks
        for the next one. Closing the generator early stops the ramp; an END stopped raises
        RampStopped.
        """
        if ack and dwell_ms is not None:
            raise ValueError("a ramp with ack has no dwell time")
        last = "ACK" if ack else _number(dwell_ms or 0)
        numbers = " ".join(_number(v) for v in (e1, e2, step, settle_ms))
        return self._steps(f"RAMP {numbers} {last}", ack)

    def _changes(self, item):
        prefix = f"CHANGED {item} "
        try:
            while True:
                try:
                    line = self._take(lambda news: news.startswith(prefix), None)
                except ConnectionError:
                    return
                yield line[len(prefix):]
        finally:
            # Otherwise the lines would pile up in the queue for as long as the link lives.
            self._quietly("UNADVISE " + item, prefix)

    def _steps(self, line, ack):
        self._command(line)
        ended = False
        try:
            while True:
                words = self._take(_is_ramp_news, None).split(" ")
                if words[0] == "END":
                    ended = True
                    if words[2] != "complete":
                        raise RampStopped(int(words[1]))
                    return
                k = int(words[1])
                yield k, float(words[2]), float(words[3]), float(words[4]), int(words[5])
                if ack:
                    try:
                        self._command(f"ACK {k}")
                    except LinkError:
                        # The ramp ended meanwhile (the 60 s wait ran out): its END tells.
                        if not any(queued.startswith("END ") for queued in self._queue):
                            raise
        finally:
            if not ended:
                self._quietly("RAMP STOP", ("STEP ", "END "))

    def _quietly(self, line, forget):
        # Clean-up of a closed generator; the END of a stopped ramp comes before the OK.
        if self._sock is None:
            return
        try:
            self._command(line)
        except OSError:
            return
        self._queue = collections.deque(q for q in self._queue if not q.startswith(forget))

    def _command(self, line):
        if self._sock is None:
            raise ConnectionError("the link is closed")
        self._sock.settimeout(self.timeout)
        self._sock.sendall(line.encode() + b"\n")
        try:
            answer = self._take(_is_answer, self.timeout)
        except TimeoutError:
            self.close()  # a late answer would be taken for the next line's
            raise
        if answer.startswith("ERROR "):
            words = answer.split(" ", 2)
            raise LinkError(int(words[1]), words[2] if len(words) > 2 else "")
        return answer

    def _take(self, wanted, timeout):
        """The first line `wanted` accepts; the others wait in the queue."""
        for i, line in enumerate(self._queue):
            if wanted(line):
                del self._queue[i]
                return line
        while True:
            line = self._read_line(timeout)
            if wanted(line):
                return line
            self._queue.append(line)

    def _read_line(self, timeout):
        if self._sock is None:
            raise ConnectionError("the link is closed")
        self._sock.settimeout(timeout)
        while b"\n" not in self._buffer:
            data = self._sock.recv(65536)
            if not data:
                raise ConnectionError("the program closed the connection")
            self._buffer += data
        line, self._buffer = self._buffer.split(b"\n", 1)
        return line.removesuffix(b"\r").decode("utf-8", "replace")
