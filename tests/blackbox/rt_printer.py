# A small RT fiscal printer on a pseudo-terminal, written from the protocol
# description alone, so that quilo1 is also checked against a second printer.
import os
import re
import select
import termios
import threading
import time
import tty

STX, ETX, ACK, NAK = b"\x02", b"\x03", b"\x06", b"\x15"


def checksum(text):
    return b"%02d" % (sum(text) % 100)


def frame(seq, body):
    inner = seq + b"0" + body
    return STX + inner + checksum(inner) + ETX


class Printer:
    """Serves one pty; every received frame goes into `log` as
    (sequence, command, what was done)."""

    def __init__(self, ident, release, serial=b"99MEX001", closings=17,
                 receipt=b"0042", grand_total=b"0000123456", subtotal=2000,
                 change=430):
        self.master, self.slave = os.openpty()
        tty.setraw(self.slave)
        tty.setraw(self.master)
        self.path = os.ttyname(self.slave)
        self.ident, self.release, self.serial = ident, release, serial
        self.closings, self.receipt = closings, receipt
        self.grand_total, self.subtotal, self.change = grand_total, subtotal, change
        self.status = b"00"
        self.clock = b""
        self.first_frame = None
        self.faults = []  # [prefix, action, remaining]
        self.log = []
        self.acks = 0
        self.acks_before = []  # ACKs received just before each logged frame
        self.replies = {}  # log index -> every byte sent back for that frame
        self._pending_acks = 0
        self.bad_frames = 0
        self.lock = threading.Lock()
        self.stop = False
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def fault(self, pattern, action, count=1):
        """The next `count` commands matching the regular expression get
        `action`: "nak", "silent", "ackfirst", "acklate", "split", "echo"
        (answer with another code) or "ERRnn"."""
        with self.lock:
            self.faults.append([pattern, action, count])

    def commands(self, what=None):
        with self.lock:
            return [c for (_, c, w) in self.log if what is None or w == what]

    def close(self):
        self.stop = True
        self.thread.join(2)
        os.close(self.master)
        os.close(self.slave)

    def _take_fault(self, cmd):
        with self.lock:
            for f in self.faults:
                if re.search(f[0], cmd) and f[2] > 0:
                    f[2] -= 1
                    return f[1]
        return None

    def _answer(self, cmd):
        code = cmd[:4]
        if code == b"1009":
            return code + self.status
        if code == b"1001":
            self.clock = time.strftime("%d%m%y%H%M").encode()
            return code + self.clock
        if code == b"1104":
            return code + b"%04d" % self.closings + b"0000"
        if code == b"1105":
            return code + self.grand_total
        if code == b"1004":
            # receipt number, then nine-digit daily totals
            return (code + self.receipt + b"000012345" + b"0003" + b"000000700"
                    + b"0000" + b"000000000" + b"0001" + b"000000500"
                    + b"000001500" + b"000000000" + b"000000000"
                    + b"000000000").ljust(95, b"0")
        if code == b"1003":
            return code + b"0" * 37 + b"%09d" % self.subtotal
        if code == b"1008":
            return code + b"00" + self.serial
        if code == b"1511":
            return code + self.ident
        if code == b"1214":
            return code + b"3"
        if code == b"1013":
            return code + self.release
        if code == b"1015":
            return code + b"TESTINA GUASTA"
        if code in (b"3004", b"3007"):
            return code + b"0" + b"%09d" % self.change
        return code + b"0"

    def _send(self, data):
        with self.lock:
            k = len(self.log) - 1
            self.replies[k] = self.replies.get(k, b"") + data
        os.write(self.master, data)

    def _handle(self, raw):
        inner, cs = raw[1:-3], raw[-3:-1]
        ok = (len(inner) >= 7 and inner[:2].isdigit() and inner[2:3] == b"0"
              and checksum(inner) == cs)
        if not ok:
            self.bad_frames += 1
            self._send(NAK)
            return
        seq, cmd = inner[:2], inner[3:]
        if self.first_frame is None:
            self.first_frame = raw
        action = self._take_fault(cmd)
        with self.lock:
            self.log.append((seq, cmd, action or "ok"))
            self.acks_before.append(self._pending_acks)
            self._pending_acks = 0
        if action == "silent":
            return
        if action == "nak":
            self._send(NAK)
            return
        if action and action.startswith("ERR"):
            self._send(frame(seq, action.encode()))
            return
        answer = frame(seq, b"99990" if action == "echo" else self._answer(cmd))
        if action in ("ackfirst", "acklate"):
            # "acklate" lets the program's answer time-out run out first
            self._send(ACK)
            time.sleep(1.0 if action == "ackfirst" else 6.0)
        if action == "split":
            # an answer that arrives in two reads
            self._send(answer[:5])
            time.sleep(0.3)
            answer = answer[5:]
        self._send(answer)

    def _run(self):
        buf = b""
        while not self.stop:
            r, _, _ = select.select([self.master], [], [], 0.1)
            if not r:
                continue
            try:
                buf += os.read(self.master, 4096)
            except OSError:
                time.sleep(0.05)
                continue
            while buf:
                if buf[:1] == ACK:
                    self.acks += 1
                    self._pending_acks += 1
                    buf = buf[1:]
                    continue
                start = buf.find(STX)
                if start < 0:
                    buf = b""
                    break
                end = buf.find(ETX, start)
                if end < 0:
                    buf = buf[start:]
                    break
                self._handle(buf[start:end + 1])
                buf = buf[end + 1:]
