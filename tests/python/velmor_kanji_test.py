"""velmor_kanji against velmor-convert: the functions on random and corpus text, the
codec through open, pandas.read_csv and the incremental classes, and the errors.
VELMOR_CONVERT and VELMOR_BENCH name the programs; PYTHONPATH finds the package."""

import codecs
import io
import os
import random
import re
import signal
import subprocess
import tempfile
import threading
import time
import unittest

import velmor_kanji as vk

CONVERT = os.environ["VELMOR_CONVERT"]
BENCH = os.environ["VELMOR_BENCH"]
GAIJI = os.path.join(os.path.dirname(__file__), "..", "..", "docs", "gaiji-example.tsv")

# Pieces of text shaped like real files, as tests/support/bytes.h draws them: ASCII,
# kana, kanji, shift sequences, odd lead bytes, NUL, line ends, lone CRs, Ctrl-Z.
PIECES = [b"abc de", b"0123456789ABCDEF!", b" ", b"\r\n", b"\r\n", b"\n", b"\r", b"\x88\x9f",
          b"\x82\xa0", b"\x81\x40", b"\xf0\x40", b"\x93\x70", b"\x93\xf0", b"\x93\xf1",
          b"\xb0\xa1", b"  ", b"\xb1", b"\x84", b"\x98", b"\x80", b"\0", b"\x81\r",
          b"\x93\r\n", b"\xea\xa4\xe0\x40\x87\x9c", b"\x1a"]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def realistic(rng, length):
    out = bytearray()
    while len(out) < length:
        piece = rng.choice(PIECES)
        if piece == b"\x1a" and rng.randrange(4):
            continue
        out += piece * rng.randint(1, 12 if len(piece) == 2 else 3)
    return bytes(out[:length])


def clean_velmor(rng, lines):
    """VELMOR text that code page 932 carries both ways: kana and level-1 kanji."""
    text = bytearray()
    for _ in range(lines):
        for _ in range(rng.randrange(6)):
            text += rng.choice([b"abc ", b"12", b"\xb1\xb2"])
            pairs = b"".join(bytes([rng.choice([0xA4, 0xB0, 0xC0]), rng.randrange(0xA1, 0xF3)])
                             for _ in range(rng.randrange(1, 5)))
            text += b"\x93\x70" + pairs + b"\x93\xf1"
        text += rng.choice([b"\r\n", b"\n"])
    return bytes(text)


class Programs:
    """velmor-convert run once over many inputs, each in a file of its own."""

    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    def run(self, inputs, *options):
        """velmor-convert's output of each input (None where it refused), and stderr."""
        self.count += 1
        base = os.path.join(self.folder, str(self.count))
        os.makedirs(base + "/in")
        os.makedirs(base + "/out")
        names = []
        for i, data in enumerate(inputs):
            names.append(f"{base}/in/{i}")
            with open(names[-1], "wb") as f:
                f.write(data)
        done = subprocess.run([CONVERT, *options, "-q", "-o", base + "/out", *names],
                              capture_output=True)
        outputs = []
        for i in range(len(inputs)):
            path = f"{base}/out/{i}"
            outputs.append(read(path) if os.path.exists(path) else None)
        return outputs, done.stderr.decode()


class Functions(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        # velmor-convert with the package's English messages and, as the package,
        # without a gaiji table unless one is given.
        # What a write in place keeps while it runs goes to a state folder of the test's.
        os.environ.update(LC_ALL="C", XDG_CONFIG_HOME=cls.tmp.name,
                          XDG_STATE_HOME=os.path.join(cls.tmp.name, "state"))
        os.environ.pop("LANGUAGE", None)
        cls.programs = Programs(cls.tmp.name)
        rng = random.Random(20021204)
        cls.random = [realistic(rng, rng.randrange(1, 600)) for _ in range(150)]
        corpus = os.path.join(cls.tmp.name, "corpus")
        subprocess.run([BENCH, "corpus", "--corpus", "prose", "1", corpus], check=True,
                       capture_output=True)
        sjis = read(corpus)
        cls.corpus_sjis = sjis
        cls.corpus_velmor = vk.to_velmor(sjis, force=True)
        cls.clean = [clean_velmor(rng, rng.randrange(1, 30)) for _ in range(40)]

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def check_against_program(self, inputs, function, *options, **keywords):
        expected, _ = self.programs.run(inputs, *options)
        for data, want in zip(inputs, expected):
            try:
                got = function(data, **keywords)
            except vk.ConversionRefused:
                got = None
            self.assertEqual(got, want, data)

    def test_the_same_bytes_as_velmor_convert(self):
        inputs = self.random + [self.corpus_sjis, self.corpus_velmor]
        gaiji = vk.load_gaiji(GAIJI)
        self.check_against_program(inputs, vk.to_sjis, "--to-sjis")
        self.check_against_program(inputs, vk.to_velmor, "--to-velmor")
        self.check_against_program(inputs, vk.to_velmor, "--to-velmor", "--force", force=True)
        self.check_against_program(inputs, vk.to_sjis, "--to-sjis", "--gaiji", GAIJI, gaiji=gaiji)
        self.check_against_program(inputs, vk.to_utf8, "--to-utf8")
        utf8 = [vk.to_utf8(data) for data in self.random[:40] if data[:1] != b"\x1a"]
        self.check_against_program(utf8 + self.random[40:80], vk.from_utf8, "--from-utf8",
                                   "--force", force=True)

    def test_reports_as_velmor_convert(self):
        inputs = self.random[:60]
        found = 0
        for direction in ("to-sjis", "to-utf8", "from-utf8"):
            _, stderr = self.programs.run(inputs, "--" + direction, "--check", "--report",
                                          "--max-report", "100000", "--force")
            for i, data in enumerate(inputs):
                try:
                    entries = vk.report(data, direction, force=True)
                except vk.ConversionRefused:
                    continue
                lines = [line for line in stderr.splitlines()
                         if line.startswith(f"{self.programs.folder}/{self.programs.count}/in/{i}:")
                         and line.count(":") >= 4]
                places = sorted((int(line.split(":")[1]), int(line.split(":")[2]),
                                 line.split(":")[3].strip()) for line in lines)
                self.assertEqual(sorted((e.line, e.column, e.kind) for e in entries), places,
                                 (direction, data))
                found += len(places)
        self.assertGreater(found, 100)

    def test_utf8_round_trip_of_clean_text(self):
        for data in self.clean:
            utf8 = vk.to_utf8(data)
            piped = subprocess.run(["iconv", "-f", "CP932", "-t", "UTF-8"], input=vk.to_sjis(data),
                                   capture_output=True, check=True).stdout
            self.assertEqual(utf8, piped)
            self.assertEqual(vk.report(data, "to-utf8"), [])
            self.assertEqual(vk.from_utf8(utf8, keep_line_ends=True),
                             vk.to_velmor(vk.to_sjis(data), keep_line_ends=True))
            kept = vk.to_utf8(data, keep_line_ends=True)
            self.assertEqual(vk.from_utf8(kept, keep_line_ends=True), data)

    def test_keep_line_ends(self):
        for data in self.random:
            if b"\x1a" in data:
                continue
            # Each line as the default writes it, with the line end it was read with;
            # a lone CR ends a line of its own, as an LF in its place would.
            ends = re.findall(rb"\r\n|\r|\n", data)
            if not data.endswith((b"\n", b"\r")):
                ends.append(b"")
            split = re.sub(rb"\r(?!\n)", b"\n", data)
            for function in (vk.to_sjis, vk.to_velmor, vk.to_utf8):
                keywords = {} if function in (vk.to_sjis, vk.to_utf8) else {"force": True}
                lines = function(split, **keywords)[:-2].split(b"\r\n")[:-1]
                if len(lines) != len(ends):
                    continue  # a pair became CR LF: the lines do not match up
                want = b"".join(line + end for line, end in zip(lines, ends))
                self.assertEqual(function(data, keep_line_ends=True, **keywords), want, data)

    def test_new_loss_kinds(self):
        self.assertEqual(vk.report(b"a\x93\x70\xa9\xa1\x93\xf1\x85\x40\n", "to-utf8"),
                         [vk.ReportEntry("no-unicode", 1, 4, b"\xa9\xa1"),
                          vk.ReportEntry("no-unicode", 1, 8, b"\x85\x40")])
        self.assertEqual(vk.to_utf8(b"a\x93\x70\xa9\xa1\x93\xf1\n"), "a\ufffd\r\n\r\n".encode())
        data = "x€y\n".encode() + b"\xffz\n"
        self.assertEqual(vk.report(data, "from-utf8"),
                         [vk.ReportEntry("no-cp932", 1, 2, "€".encode()),
                          vk.ReportEntry("no-unicode", 2, 1, b"\xff")])
        self.assertEqual(vk.from_utf8(data), b"x\x93\x70\xa2\xae\x93\xf1y\r\n"
                         b"\x93\x70\xa2\xae\x93\xf1z\r\n\r\n")

    def test_errors_with_velmor_convert_messages(self):
        outputs, stderr = self.programs.run([b"", b"x\n\x93\x70\xb0\xa1\n"], "--to-velmor")
        self.assertEqual((vk.to_sjis(b""), vk.to_velmor(b"")), (b"", b""))
        self.assertEqual(outputs[0], b"")
        with self.assertRaises(vk.ConversionRefused) as velmor:
            vk.to_velmor(b"x\n\x93\x70\xb0\xa1\n")
        self.assertEqual(velmor.exception.reason, "kanji-in")
        self.assertIn(f"/in/1: {velmor.exception}\n", stderr)
        self.assertIn("line 2, column 1: kanji-in sequence 93 70", str(velmor.exception))
        missing = os.path.join(self.tmp.name, "missing.tsv")
        bad = os.path.join(self.tmp.name, "bad.tsv")
        with open(bad, "w") as f:
            f.write("7F21 F040\n7F21 F041\n")
        for table, error in ((missing, vk.FileError), (bad, vk.GaijiTableError)):
            done = subprocess.run([CONVERT, "--to-sjis", "--gaiji", table, "-"], input=b"a",
                                  capture_output=True)
            with self.assertRaises(error) as raised:
                vk.load_gaiji(table)
            self.assertIn(str(raised.exception), done.stderr.decode())
        self.assertEqual(raised.exception.__class__, vk.GaijiTableError)
        with self.assertRaises(ValueError):
            vk.report(b"a", "to-ebcdic")

    def test_convert_file_over_its_own_input(self):
        # A file with a second name is written in place: its old content is kept in the
        # state folder only while the write runs. The package leaves the signals to the
        # program it runs in.
        folder = os.path.join(self.tmp.name, "own")
        os.mkdir(folder)
        path, second = os.path.join(folder, "a.txt"), os.path.join(folder, "b.txt")
        data = self.clean[0]
        with open(path, "wb") as f:
            f.write(data)
        os.link(path, second)
        vk.convert_file(path, path, "to-sjis")
        self.assertEqual((read(path), read(second)), (vk.to_sjis(data), vk.to_sjis(data)))
        self.assertEqual(sorted(os.listdir(folder)), ["a.txt", "b.txt"])
        self.assertEqual(os.listdir(os.path.join(self.tmp.name, "state", "velmor-kanji")), [])
        with open("/proc/self/status") as status:
            caught = int(re.search(r"^SigCgt:\s*(\w+)", status.read(), re.M).group(1), 16)
        for stop in (signal.SIGTERM, signal.SIGHUP):
            self.assertFalse(caught & (1 << (stop - 1)), stop)

    def test_the_gil_is_released_while_converting(self):
        data = self.corpus_velmor * 20
        done = threading.Event()
        worker = threading.Thread(target=lambda: (vk.to_sjis(data), done.set()))
        worker.start()
        turns = 0
        while not done.is_set():
            turns += 1
            time.sleep(0)
        worker.join()
        self.assertGreater(turns, 100)


class Codec(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.rng = random.Random(1204)
        self.addCleanup(self.tmp.cleanup)

    def path(self, name):
        return os.path.join(self.tmp.name, name)

    def test_open_reads_and_writes_as_velmor_convert_keeping_line_ends(self):
        data = clean_velmor(self.rng, 50) + b"last line \x93\x70\xb0\xa1\x93\xf1"
        with open(self.path("v.txt"), "wb") as f:
            f.write(data)
        with open(self.path("v.txt"), encoding="velmor", newline="") as f:
            text = f.read()
        self.assertEqual(text, vk.to_utf8(data, keep_line_ends=True).decode())
        with open(self.path("w.txt"), "w", encoding="velmor", newline="") as f:
            for line in text.splitlines(keepends=True):
                f.write(line)
        # A stream never tells its encoder it ends: the last line's run stays open.
        self.assertEqual(read(self.path("w.txt")), data[:-2])
        self.assertEqual(codecs.encode(text, "velmor"), data)

    def test_pandas_read_csv(self):
        import pandas
        text = "名前,数\r\n東京,1\r\nｶﾅ,2\r\n"
        with open(self.path("t.csv"), "wb") as f:
            f.write(vk.from_utf8(text.encode(), force=True, keep_line_ends=True))
        frame = pandas.read_csv(self.path("t.csv"), encoding="velmor")
        self.assertEqual(list(frame.columns), ["名前", "数"])
        self.assertEqual(frame["名前"].tolist(), ["東京", "ｶﾅ"])
        self.assertEqual(frame["数"].tolist(), [1, 2])

    def test_incremental_across_line_and_buffer_boundaries(self):
        for _ in range(30):
            data = clean_velmor(self.rng, 20) + realistic(self.rng, 200).replace(b"\x1a", b"")
            whole = data.decode("velmor", "replace")
            decoder = codecs.getincrementaldecoder("velmor")("replace")
            parts, at = [], 0
            while at < len(data):
                step = self.rng.randint(1, 17)
                parts.append(decoder.decode(data[at:at + step]))
                at += step
            parts.append(decoder.decode(b"", final=True))
            self.assertEqual("".join(parts), whole, data)
            wrapper = io.TextIOWrapper(io.BytesIO(data), encoding="velmor", errors="replace",
                                       newline="")
            wrapper._CHUNK_SIZE = self.rng.randint(1, 9)
            self.assertEqual(wrapper.read(), whole)
            reader = codecs.getreader("velmor")(io.BytesIO(data), "replace")
            self.assertEqual("".join(iter(lambda: reader.read(7), "")), whole)
            text = whole.replace("\ufffd", "")
            encoder = codecs.getincrementalencoder("velmor")("replace")
            cuts = sorted(self.rng.sample(range(len(text) + 1), min(5, len(text) + 1)))
            encoded = b"".join(encoder.encode(text[a:b]) for a, b in zip([0] + cuts, cuts))
            encoded += encoder.encode(text[cuts[-1]:], final=True)
            self.assertEqual(encoded, text.encode("velmor", "replace"))

    def test_errors_follow_the_handler(self):
        data = b"ab\r\n\x93\x70\xb0\xa1\xa9\xa1\x93\xf1\n"
        with self.assertRaises(UnicodeDecodeError) as raised:
            data.decode("velmor")
        self.assertEqual((raised.exception.start, raised.exception.end), (8, 10))
        self.assertEqual(data.decode("velmor", "replace"), "ab\r\n亜\ufffd\n")
        self.assertEqual(data.decode("velmor", "ignore"), "ab\r\n亜\n")
        self.assertEqual(data.decode("velmor", "backslashreplace"), "ab\r\n亜\\xa9\\xa1\n")
        decoder = codecs.getincrementaldecoder("velmor")()
        self.assertEqual(decoder.decode(data[:4]), "ab\r\n")
        with self.assertRaises(UnicodeDecodeError):
            decoder.decode(data[4:], final=True)
        with self.assertRaises(UnicodeEncodeError) as raised:
            "漢字€\n".encode("velmor")
        self.assertEqual((raised.exception.start, raised.exception.end), (2, 3))
        self.assertEqual("€a".encode("velmor", "replace"), b"\x93\x70\xa2\xae\x93\xf1a")
        self.assertEqual("€a".encode("velmor", "xmlcharrefreplace"), b"&#8364;a")
        with self.assertRaises(UnicodeEncodeError):
            "a\ud800".encode("velmor")
        # A user-defined character becomes two spaces: a loss that strict refuses.
        with self.assertRaises(UnicodeEncodeError):
            "\ue000".encode("velmor")
        self.assertEqual("\ue000".encode("velmor", "replace"), b"\x93\x70  \x93\xf1")
        # Nothing after a Ctrl-Z where a line begins is read.
        with self.assertRaises(UnicodeDecodeError):
            b"a\n\x1ab\n".decode("velmor")
        self.assertEqual(b"a\n\x1ab\n".decode("velmor", "replace"), "a\n")
        self.assertEqual(b"a\n\x1a".decode("velmor"), "a\n")


if __name__ == "__main__":
    unittest.main()
