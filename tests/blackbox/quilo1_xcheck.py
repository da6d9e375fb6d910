#!/usr/bin/env python3
# Black-box check of the running quilo1 against the independent printer in
# rt_printer.py: the commands it sends, their order, and every exchange file.
# usage: quilo1_xcheck.py QUILO1_BINARY [main|silence|busy]
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from rt_printer import Printer, STX, ETX, checksum  # noqa: E402

FAILURES = []
IDENT = b"A" + b"99MEX001234" + b"CUSTOMKUBE2FX" + b"1" + b"RT"
HEADER_CMDS = [b"1104", b"1001", b"1004", b"1105", b"1104"]
EXCHANGE = ("SR_START", "SR_DATI", "SR_OUT", "SR_ERR", "FINESCO", "SR_MATR")


def check(cond, what):
    if not cond:
        FAILURES.append(what)
        print("FAIL:", what, flush=True)


def equal(got, want, what):
    check(got == want, "%s\n   got:  %r\n   want: %r" % (what, got, want))


class Run:
    def __init__(self, binary, printer, trace=False):
        self.root = tempfile.mkdtemp(prefix="quilo1-xcheck-")
        self.prog = os.path.join(self.root, "P")
        self.data = os.path.join(self.root, "D")
        os.mkdir(self.prog)
        os.mkdir(self.data)
        with open(os.path.join(self.prog, "QLCHKCOM.TXT"), "wb") as f:
            f.write(b"1000\r\n")
        with open(os.path.join(self.prog, "QLTIMER1.TXT"), "wb") as f:
            f.write(b"100\r\n")
        if trace:
            with open(os.path.join(self.prog, "QLCHKSCO.TXT"), "wb") as f:
                f.write(b"0\r\n1\r\n")
        self.printer = printer
        self.proc = subprocess.Popen(
            [binary, "--program-dir", self.prog, "--data-dir", self.data,
             "--com", "1=" + printer.path],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=dict(os.environ, LC_ALL="C"))

    def path(self, name):
        return os.path.join(self.data, name)

    def read(self, name):
        try:
            with open(self.path(name), "rb") as f:
                return f.read()
        except OSError:
            return None

    def exchange_files(self):
        return sorted(n for n in os.listdir(self.data)
                      if n.split(".")[0] in EXCHANGE)

    def wait(self, cond, seconds, what):
        end = time.time() + seconds
        while time.time() < end:
            if cond():
                return True
            time.sleep(0.05)
        check(False, "timed out waiting for " + what)
        return False

    def job(self, document):
        mark = len(self.printer.log)
        # as a host does: the last job's answer goes before the next job
        for name in ("FINESCO.001", "SR_ERR.001"):
            if os.path.exists(self.path(name)):
                os.remove(self.path(name))
        with open(self.path("SR_DATI.001"), "wb") as f:
            f.write(document)
        with open(self.path("SR_START.001"), "wb") as f:
            f.write(b"")
        return mark

    def answered(self):
        # SR_START goes before FINESCO is written; an SR_ERR beside SR_START
        # is only a notice (paper end)
        err = self.read("SR_ERR.001")
        return self.read("FINESCO.001") is not None or (
            err is not None and err.endswith(b"\r\n")
            and not os.path.exists(self.path("SR_START.001")))

    def finish(self, seconds=30):
        self.wait(self.answered, seconds, "FINESCO or SR_ERR")

    def close(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.printer.close()
        shutil.rmtree(self.root, ignore_errors=True)


def payment_line(name, cents):
    amount = b"%d.%02d" % (cents // 100, cents % 100)
    return b"7007" + name.ljust(20) + b" " * (18 - len(amount)) + b"\x7f " + amount


def expected_commands(kb, printer, cash_due, closing_answered=True, rt=True):
    """What the transmission of the converted file must send, in order."""
    cmds, sent, lines, last, change, header = [], False, 0, b"", 0, False
    paid = False
    for line in kb:
        check(not line[:4] in (b"READ", b"SEDT", b"REDT"), "unexpected pseudo-command")
        if not sent and b"Annulla" in line:
            cmds.append(line)
            continue
        lines, last = lines + 1, line
        if line == b"2002" and not header:
            cmds += HEADER_CMDS
            header = True
        if line[:4] in (b"MOST", b"DOST"):
            word, pct = line.split(b",")[0].split(b"%")[:2]
            cents = round(printer.subtotal * float(pct) / 100)
            text = (b"SCONTO SBTL " if word == b"DOST" else b"MAGG. SBTL ") + \
                b"%.2f%%" % float(pct)
            cmds += [b"1003", (b"30013" if word == b"DOST" else b"30012") +
                     b"%02d" % len(text) + text + b"%09d" % cents]
        else:
            cmds.append(line)
        sent = True
        if line[:4] in (b"3004", b"3007"):
            paid = True
            if line[:4] == (b"3007" if rt else b"3004") and closing_answered:
                change = printer.change
            if cash_due:
                cmds += [b"1003", payment_line(b"CONTANTI", printer.subtotal)]
    if change:
        cmds.append(payment_line(b"RESTO", change))
    if not header:
        cmds += HEADER_CMDS
    if paid and (last[:4] not in (b"7008", b"7007") or lines > 3):
        cmds += [b"70081", b"3013"]
    return cmds + [b"1109"]


def expected_out(printer, rt=True):
    c = printer.clock
    return (b"TIME,CASS. 1 " + c[6:8] + b":" + c[8:10] + b" CASSA   1 ,E,A1;\r\n" +
            b"DATE," + c[0:2] + b"/" + c[2:4] + b"/" + c[4:6] + b"  SCONTR. N." +
            (b"%04d-" % (printer.closings + 1) if rt else b"") + printer.receipt + b",E,A1;\r\n" +
            b"Versione " + version_digits() + b"\r\n" +
            b"GTOT,V12345;\r\nGRTO,V" + printer.grand_total + b";\r\n" +
            b"NAZF,V%04d;\r\n" % printer.closings)


VERSION = None


def version_digits():
    return VERSION


def check_sequences(log, what):
    """Sequence numbers run on by one, except that a refused frame, one
    answered with another command's code, or one met with silence goes out
    again (after the last silent send the next command takes the next
    number)."""
    for (s0, c0, a0), (s1, c1, _) in zip(log, log[1:]):
        same = a0 in ("nak", "echo") or (a0 == "silent" and c1 == c0)
        want = s0 if same else b"%02d" % ((int(s0) + 1) % 100)
        if same:
            equal(c1, c0, what + ": a refused frame is sent again")
        equal(s1, want, what + ": sequence after %r" % c0)


def kb_lines(run):
    data = run.read("KB.txt") or b""
    return [l for l in data.split(b"\r\n") if l]


def dump(run, printer, matr_lines12, release):
    """Cover open and paper out at first: the dump fails with the matching
    message, then succeeds once the printer is ready."""
    for status, message in ((b"11", b"E509: Coperchio stampante aperto e fine carta stampante"),
                            (b"10", b"E509: Coperchio stampante aperto"),
                            (b"01", b"E096: Fine carta scontrino, sostituire rotolo")):
        printer.status = status
        run.wait(lambda: run.read("SR_ERR.001") == message + b"\r\n", 15,
                 "the dump's error file for status %r" % status)
    check(run.read("SR_MATR.001") is None, "no identification while paper is out")
    check(printer.commands() and set(printer.commands()) == {b"1009"},
          "a dump with paper out stops at the status request")
    equal(printer.first_frame, STX + b"0001009" + b"46" + ETX, "first frame")
    mark = len(printer.log)
    printer.fault(rb"^1009$", "nak")
    printer.status = b"00"
    run.wait(lambda: run.read("SR_MATR.001") is not None, 15, "SR_MATR.001")
    time.sleep(0.3)
    global VERSION
    matr = run.read("SR_MATR.001") or b""
    VERSION = matr.split(b"\r\n")[3][len(b"Versione: "):] if matr.count(b"\r\n") > 3 else b""
    check(len(VERSION.split(b".")) == 4 and VERSION.split(b".")[2] == b"0",
          "version digits major.minor.0.revision: %r" % VERSION)
    equal(matr, matr_lines12 + b"DriverType: Custom\r\nVersione: " +
          VERSION + b"\r\nFW: " + release + b"\r\n", "SR_MATR.001")
    log = printer.log[mark:]
    nak = next((k for k, e in enumerate(log) if e[2] == "nak"), None)
    check(nak is not None and len(log) > nak + 2, "a refused status request")
    if nak is not None and len(log) > nak + 2:
        equal(log[nak + 1][:2], log[nak][:2], "a refused status request goes out again")
        equal(log[nak + 2][0], b"00", "after a refused status request the sequence restarts")
    # The receipt counter is read once the printer is identified.
    equal(printer.commands()[-11:],
          [b"1009", b"1008", b"1009", b"1511", b"1009", b"1214", b"1009", b"1013",
           b"1009", b"1109", b"1004"], "dump commands")
    check(run.read("SR_ERR.001") is None, "a good dump deletes the error file")
    check(run.read("tracedump.txt") is not None, "dump trace written")


def receipt_with_change(run, printer):
    doc = (b"PLUD,N1,Q1,P250,:PANE COMUNE;\r\nPLUD,N1,Q2,P180,:LATTE INTERO;\r\n"
           b"SALE,N2,Q1,P1290;\r\nDISC,%10,:SCONTO FEDELTA;\r\n"
           b"PLUD,N3,Q1,P399,:CAFFE MACINATO;\r\nDOST,%5;\r\nCASH,V2500;\r\n")
    printer.fault(rb"^3101.*LATTE INTERO", "ackfirst")
    printer.fault(rb"^3001", "nak")
    printer.fault(rb"^1004", "split")
    printer.fault(rb"^1003", "ackfirst")
    mark = run.job(doc)
    run.finish()
    log = printer.log[mark:]
    kb = kb_lines(run)
    check(any(l.startswith(b"DOST") for l in kb), "the subtotal discount reaches the transmission")
    check(any(l.startswith(b"3007") for l in kb), "an RT printer gets the extended payment")
    equal([c for _, c, a in log if a != "nak"], expected_commands(kb, printer, False),
          "receipt commands")
    check_sequences(log, "receipt")
    equal(run.read("FINESCO.001"), b"finesco", "FINESCO.001")
    equal(run.read("SR_OUT.001"), expected_out(printer), "SR_OUT.001")
    equal(run.exchange_files(), ["FINESCO.001", "SR_MATR.001", "SR_OUT.001"],
          "exchange files after a good receipt")


def receipt_with_faults(run, printer):
    doc = (b"PLUD,N1,Q1,P250,:PANE COMUNE;\r\nPLUD,N2,Q1,P180,:LATTE INTERO;\r\n"
           b"PLUD,N3,Q1,P399,:CAFFE MACINATO;\r\nPLUD,N1,Q1,P120,:ACQUA;\r\nCASH;\r\n")
    printer.fault(rb"^3101.*PANE COMUNE", "acklate")
    printer.fault(rb"^3101.*LATTE INTERO", "nak")
    printer.fault(rb"^3101.*CAFFE MACINATO", "silent")
    printer.fault(rb"^3101.*ACQUA", "ERR16")
    printer.fault(rb"^3011$", "echo")
    mark = run.job(doc)
    run.wait(lambda: run.read("SR_ERR.001") is not None, 30, "the paper-end error file")
    printer.status = b"01"
    equal(run.read("SR_ERR.001"),
          b"E096: Fine carta scontrino, sostituire rotolo : ERRORE 16\r\n",
          "paper-end error file while waiting")
    check(os.path.exists(run.path("SR_START.001")), "the job still runs during paper end")
    run.wait(lambda: printer.commands()[mark:].count(b"1009") >= 2, 10, "status polls")
    printer.status = b"00"
    run.finish()
    log = printer.log[mark:]
    kb = kb_lines(run)
    # The faults, each where the printer made it.
    faulty = [(i, a) for i, (_, _, a) in enumerate(log) if a != "ok"]
    equal([a for _, a in faulty], ["acklate", "nak", "silent", "ERR16", "echo"],
          "faults met")
    acks = printer.acks_before[mark:]
    for k in range(len(log) - 1):
        want = {"nak": 0, "acklate": 2}.get(log[k][2], 1)
        equal(acks[k + 1], want, "ACKs after %r (%s)" % (log[k][1], log[k][2]))
    for i, a in faulty:
        if a in ("nak", "silent", "ERR16", "echo"):
            j = i + 1
            while a == "ERR16" and j < len(log) and log[j][1] == b"1009":
                j += 1
            check(j < len(log) and log[j][1] == log[i][1],
                  "%s: the same line goes out again" % a)
            if a == "ERR16":
                check(j - i - 1 >= 2, "paper end polls the status")
                check(all(s == "ok" for _, _, s in log[i + 1:j]), "polls answered")
    check_sequences(log, "faulty receipt")
    # Drop the status polls of the paper-end wait.
    polls = [k for k, (_, c, a) in enumerate(log) if c == b"1009"]
    answered = [c for k, (_, c, a) in enumerate(log)
                if a in ("ok", "acklate") and k not in polls]
    equal(answered, expected_commands(kb, printer, True), "faulty receipt commands")
    equal(run.read("FINESCO.001"), b"finesco", "FINESCO.001 after paper end")
    check(run.read("SR_ERR.001") is None, "paper end leaves no error file after success")
    equal(run.read("SR_OUT.001"), expected_out(printer), "SR_OUT.001 after faults")
    check_trace(run, printer, mark, len(printer.log) - 1, "trace of a receipt with faults")


def receipt_refused(run, printer):
    doc = b"PLUD,N1,Q1,P250,:PANE COMUNE;\r\nPLUD,N2,Q1,P180,:LATTE INTERO;\r\nCASH;\r\n"
    printer.fault(rb"^3101", "ERR21")
    mark = run.job(doc)
    run.finish()
    cmds = printer.commands()[mark:]
    equal(cmds[:1], [b"1004"], "after a daily closing the counter is read before the document")
    first = next((k for k, c in enumerate(cmds) if c.startswith(b"3101")), None)
    check(first is not None and cmds[first + 1:] == [b"1109"],
          "receipt open stops the document, then 1109: %r" % cmds)
    equal(run.read("SR_ERR.001"),
          b"E503: Scontrino aperto, chiudere e riavviare l'esecuzione\r\n", "SR_ERR.001 E503")
    equal(run.read("SR_DATI.001"), doc, "the data file stays after a failure")
    check(run.read("FINESCO.001") is None, "no FINESCO after a failure")
    equal(run.read("SR_OUT.001"), b"", "SR_OUT.001 of a refused receipt")
    equal(run.exchange_files(), ["SR_DATI.001", "SR_ERR.001", "SR_MATR.001", "SR_OUT.001"],
          "exchange files after a failed receipt")


def receipt_failures(run, printer):
    """Printer errors that end the document, each with its error file."""
    doc = b"PLUD,N1,Q1,P250,:PANE COMUNE;\r\nCASH;\r\n"
    # A line that may have been carried out leaves a receipt to cancel.
    cancel = [b"7007" + b" " * 40, b"3001818Annull.transazione000000000", b"3011", b"3013", b"1109"]
    cases = [
        ([(rb"^3101", "ERR21"), (rb"^1109$", "ERR21")], [b"1109"],
         b"E503: Scontrino aperto, chiudere e riavviare l'esecuzione : ERRORE 21"),
        ([(rb"^3101", "nak")] * 5, cancel,
         b"E504: Nessun messaggio ricevuto: controllare connessione con l'Ecr"),
        ([(rb"^3101", "echo")] * 7, cancel,
         b"E504: Nessun messaggio ricevuto: controllare connessione con l'Ecr"),
        ([(rb"^3101", "ERR29")], [b"3001818Annull.transazione000000000", b"1109"],
         b"Errore 29 : IVA Negativa Documento RT Annullato "),
        ([(rb"^3101", "ERR54")], [b"1109"],
         b"Errore: necessario eseguire chiusura fiscale"),
        ([(rb"^3101", "ERR23")], [b"1109"], b"E505: Totale scontrino negativo"),
        ([(rb"^3101", "ERR09")], [b"1109"],
         b"Fine Buffer di stampa: chiudere manualmente lo scontrino"),
        ([(rb"^3101", "ERR37")], [b"1109"], b"E509: Coperchio stampante aperto"),
        ([(rb"^3101", "ERR77")], [b"1109"],
         b"Errore generico sull'Ecr, verificare sul manuale del registratore"),
        ([(rb"^3101", "ERR20")], [b"1109"],
         b"E504: Nessun messaggio ricevuto: controllare connessione con l'Ecr"),
        ([(rb"^3101", "ERR12")], [b"1109"],
         b"Errore 12 : Documento RT non trovato non modificabile "),
        ([(rb"^3101", "ERR51")], [b"1109"], b"E1: MF esaurita : contattare assistenza tecnica"),
        ([(rb"^3101", "ERR98")], [b"1109"],
         b"E503: Scontrino aperto, chiudere e riavviare l'esecuzione"),
        ([(rb"^3101", "ERR99")], [b"1015", b"1109"], None),
    ]
    unknown = False  # a cancel closed a receipt: the counter is read again
    for faults, tail, message in cases:
        for pattern, action in faults:
            printer.fault(pattern, action)
        mark = run.job(doc)
        run.finish()
        cmds = printer.commands()[mark:]
        equal(cmds[:1] == [b"1004"], unknown, "the counter read before the document after %s" % faults[0][1])
        unknown = tail == cancel
        first = next((k for k, c in enumerate(cmds) if c.startswith(b"3101")), 0)
        sends = sum(1 for p, _ in faults if p == rb"^3101")
        equal(cmds[first + sends:], tail, "commands after %s" % faults[0][1])
        if sends > 1:
            equal(len(set(printer.log[mark + first + k][:2] for k in range(sends))), 1,
                  "%d sends of one frame under one sequence number" % sends)
        if message is None:
            # the description read back with 1015 runs to the end of the body
            body = b"1015TESTINA GUASTA"
            seq = printer.log[mark + len(cmds) - 2][0]
            message = b"Errore 99: TESTINA GUASTA" + checksum(seq + b"0" + body) + ETX
        equal(run.read("SR_ERR.001"), message + b"\r\n", "SR_ERR.001 after %s" % faults[0][1])
        check(run.read("FINESCO.001") is None and run.read("SR_START.001") is None,
              "no FINESCO nor SR_START after %s" % faults[0][1])


TOTALS = [(80, b"NUM.SCONTR.FISCALI", 5, 4), (1, b"TOT.SCONTR.FISCALI", 9, 9),
          (86, b"NUM.FATTURE", 18, 4), (15, b"TOT.FATTURE", 22, 9),
          (87, b"NUM.RICEVUTE FISC.", 31, 4), (16, b"TOT.RICEVUTE FISC.", 35, 9),
          (82, b"NUM.SCONTR.LETT.MF", 44, 4), (9, b"TOT.MAGGIORAZIONI", 48, 9),
          (7, b"TOT.SCONTI", 57, 9), (12, b"TOT.ANNULLI", 66, 9),
          (11, b"TOT.RESI", 75, 9), (28, b"TOT.CORR. NON PAG.", 84, 9)]


def money(cents):
    return b"%d.%02d" % (cents // 100, cents % 100)


def daily_totals_and_report(run, printer):
    """READ writes the daily totals; a closing report gets the header first."""
    mark = run.job(b"READ,N1,:TOTALI.TXT;\r\n")
    run.finish()
    kb = kb_lines(run)
    reads = [l for l in kb if l.startswith(b"READ,")]
    equal(len(reads), 1, "one READ line")
    sent = [c for c in printer.commands()[mark:]]
    equal(sent, [l for l in kb if not l.startswith(b"READ,")] + [b"1004", b"1104"] +
          HEADER_CMDS + [b"1109"], "READ commands")
    answer = printer._answer(b"1004")
    rows = [b"DataCode|DataDescription|Value|Index"]
    values = {}
    for code, name, pos, size in TOTALS:
        v = int(answer[pos - 1:pos - 1 + size])
        values[code] = v
        rows.append(b"%d|%s|%s" % (code, name, b"%d" % v if size == 4 else money(v)))
    rows.append(b"18|TOT.LORDO GIORN.|" + money(values[1] + values[9] - values[7]))
    rows.append(b"83|NUM.AZZ.FISC.|%d" % printer.closings)
    equal(run.read("TOTALI.TXT"), b"\r\n".join(rows) + b"\r\n", "daily totals file")
    equal(run.read("SR_OUT.001"), expected_out(printer), "SR_OUT.001 after READ")
    equal(run.read("FINESCO.001"), b"finesco", "FINESCO.001 after READ")

    mark = run.job(b"ZKEY;\r\nFUNC,N1;\r\n")
    run.finish()
    kb = kb_lines(run)
    check(b"2002" in kb, "a closing report")
    equal(printer.commands()[mark:], expected_commands(kb, printer, False),
          "closing report commands")
    equal(run.read("SR_OUT.001"), expected_out(printer), "SR_OUT.001 after a closing report")


def journal_warnings(run, printer):
    """Journal errors 30 and 31 do not stop the document; the summary of a
    payment without amount is still printed after them."""
    doc = b"PLUD,N1,Q1,P250,:PANE COMUNE;\r\nCASH;\r\n"
    for code in ("ERR30", "ERR31"):
        printer.fault(rb"^3101", code)
        printer.fault(rb"^3007", code)
        mark = run.job(doc)
        run.finish()
        kb = kb_lines(run)
        # the closing answered with an error carries no change
        equal(printer.commands()[mark:], expected_commands(kb, printer, True, False),
              "commands after %s" % code)
        equal(run.read("FINESCO.001"), b"finesco", "FINESCO.001 after %s" % code)
        check(run.read("SR_ERR.001") is None, "no error file after %s" % code)


def mf_receipt(run, printer):
    """An MF printer: the change comes with "3004", no closing number prefix."""
    doc = b"PLUD,N1,Q1,P250,:PANE COMUNE;\r\nCASH,V1000;\r\n"
    mark = run.job(doc)
    run.finish()
    kb = kb_lines(run)
    check(any(l.startswith(b"3004") for l in kb), "an MF printer gets the plain payment")
    equal(printer.commands()[mark:], expected_commands(kb, printer, False, rt=False),
          "MF receipt commands")
    equal(run.read("SR_OUT.001"), expected_out(printer, rt=False), "MF SR_OUT.001")
    equal(run.read("FINESCO.001"), b"finesco", "MF FINESCO.001")


def receipt_silent(run, printer):
    doc = b"PLUD,N1,Q1,P250,:PANE COMUNE;\r\nCASH;\r\n"
    printer.fault(rb"^3101", "silent", 7)
    mark = run.job(doc)
    run.finish(60)
    log = printer.log[mark:]
    items = [(s, a) for s, c, a in log if c.startswith(b"3101")]
    equal([a for _, a in items], ["silent"] * 7, "a silent printer gets seven sends")
    check_sequences(log, "silent receipt")
    equal([c for _, c, _ in log][-1:], [b"1109"], "1109 after a silent printer")
    equal(run.read("SR_ERR.001"),
          b"E504: Nessun messaggio ricevuto: controllare connessione con l'Ecr\r\n",
          "SR_ERR.001 E504")
    check_trace(run, printer, mark, len(printer.log) - 1, "trace of a silent printer")


def trace_files(run):
    found = {}
    for folder, _, names in os.walk(run.data):
        for name in names:
            if re.fullmatch(r"TRACE_\d{8}_\d{6}\.TXT", name):
                equal(os.path.basename(folder), "TRACE_" + name[6:12],
                      "trace folder of " + name)
                with open(os.path.join(folder, name), "rb") as f:
                    found[name] = f.read()
    return found


def expected_trace(printer, start, end):
    """The communication trace of the exchanges log[start:end]."""
    lines = []
    log = printer.log
    for k in range(start, end):
        seq, cmd, action = log[k]
        out = b" --> " + seq + b"0" + cmd + checksum(seq + b"0" + cmd)
        if action == "silent":
            lines.append(b" <-- InputBuffer vuoto")
            if k + 1 >= end or log[k + 1][1] != cmd:  # given up
                lines.append(out)
        elif action.startswith("ERR"):
            if action[3:] not in ("21", "98"):
                lines += [out, b" <-- " + printer.replies[k] + b"|" + action[3:].encode()]
        elif action == "acklate":
            # the wait after a lone ACK starts with empty input
            lines += [out, b" <-- " + printer.replies[k][1:]]
        elif action != "nak":
            lines += [out, b" <-- " + printer.replies[k]]
    return lines


def check_trace(run, printer, start, end, what):
    """The newest trace file against the exchanges log[start:end]."""
    files = trace_files(run)
    check(files, "a trace file")
    if not files:
        return
    got = files[max(files)].split(b"\r\n")
    equal(got[-1], b"", "trace ends with a line end")
    stamp = re.compile(rb"^\d{8}_\d{6} <--> ")
    check(all(stamp.match(l) for l in got[:-1]), "every trace line is stamped")
    equal([stamp.sub(b"", l) for l in got[:-1]], expected_trace(printer, start, end), what)


DUMP_CMDS = [b"1009", b"1008", b"1009", b"1511", b"1009", b"1214", b"1009", b"1013",
             b"1009", b"1109"]


def dump_failures(run, printer):
    """A refused serial number, then a refused release, fail the dump; the
    third dump succeeds."""
    generic = b"Errore generico sull'Ecr, verificare sul manuale del registratore\r\n"
    run.wait(lambda: run.read("SR_ERR.001") == generic, 15, "the generic dump error")
    run.wait(lambda: run.read("SR_ERR.001") == b"E509: Coperchio stampante aperto\r\n",
             15, "the cover dump error")
    run.wait(lambda: run.read("SR_MATR.001") is not None, 15, "SR_MATR.001")
    time.sleep(0.3)
    equal(printer.commands(), [b"1009", b"1008", b"1009", b"1109"] + DUMP_CMDS + DUMP_CMDS + [b"1004"],
          "three dumps")
    check(run.read("SR_ERR.001") is None, "a good dump deletes the error file")


def closing_while_busy(run, printer):
    """Closing while the printer keeps a job waiting leaves the job's files."""
    printer.fault(rb"^3101", "silent", 100)
    mark = run.job(b"PLUD,N1,Q1,P250,:PANE COMUNE;\r\nCASH;\r\n")
    run.wait(lambda: "silent" in [a for _, _, a in printer.log[mark:]], 15, "a silent wait")
    run.proc.send_signal(signal.SIGTERM)
    try:
        run.proc.wait(20)
    except subprocess.TimeoutExpired:
        check(False, "quilo1 did not end on SIGTERM during a job")
        return
    for name in ("SR_START.001", "SR_DATI.001", "SR_MATR.001"):
        check(run.read(name) is not None, name + " stays when closing during a job")
    check(run.read("FINESCO.001") is None, "no FINESCO when closing during a job")
    silent = [a for _, _, a in printer.log[mark:]].count("silent")
    check(silent < 3, "the waiting exchange ends on closing (%d silent sends)" % silent)


def shutdown(run):
    run.proc.send_signal(signal.SIGTERM)
    try:
        run.proc.wait(15)
    except subprocess.TimeoutExpired:
        check(False, "quilo1 did not end on SIGTERM")
        return
    equal(run.proc.returncode, 0, "exit status")
    kept = [n for n in run.exchange_files()]
    equal(kept, ["SR_DATI.001"] if run.read("SR_DATI.001") is not None else [],
          "exchange files after closing while idle")


def main():
    if len(sys.argv) < 2:
        print("usage: quilo1_xcheck.py QUILO1 [main|silence|busy]")
        return 2
    mode = sys.argv[2] if len(sys.argv) > 2 else "main"
    if mode != "silence":
        printer = Printer(IDENT, b"KUBE-II 01.02.03 RT")
    else:
        # An MF printer without identification, whose release ends in "Rel. ..."
        printer = Printer(IDENT, b"CUSTOM Q3X Rel. 5.1A ")
        printer.fault(rb"^1511$", "ERR01")
    if mode == "busy":
        printer.fault(rb"^1008$", "ERR01")
        printer.fault(rb"^1013$", "ERR37")
    else:
        printer.status = b"11"  # the first dump must find the cover open
    run = Run(sys.argv[1], printer, trace=True)
    try:
        if mode == "busy":
            dump_failures(run, printer)
        elif mode != "silence":
            dump(run, printer, b"99MEX001234\r\nStatus: RT\r\n", b"01.02.03")
        else:
            dump(run, printer, printer.serial + b"\r\nMF\r\n", b"5.1A")
        if mode == "main":
            receipt_with_change(run, printer)
            receipt_with_faults(run, printer)
            daily_totals_and_report(run, printer)
            receipt_refused(run, printer)
            receipt_failures(run, printer)
            journal_warnings(run, printer)
            shutdown(run)
        elif mode == "silence":
            mf_receipt(run, printer)
            receipt_silent(run, printer)
            shutdown(run)
        else:
            closing_while_busy(run, printer)
        check(printer.bad_frames == 0, "every frame had a good checksum")
    finally:
        run.close()
    print("%d failure(s)" % len(FAILURES))
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
