"""The codec "velmor": VELMOR bytes <-> str through code page 932.

Decoding is ``velmor-convert --to-utf8 --keep-line-ends`` and encoding
``velmor-convert --from-utf8 --force --keep-line-ends`` (a str is never VELMOR
already), both keeping every line end as it is (LF, CR LF, a lone CR) and adding
no line, as every codec does. The lines of a text are
converted independently, so the incremental decoder converts each run of whole
lines as soon as it has it, and the incremental encoder writes what a line gives
so far, all but the kanji-out that the line's end closes a run with.

What a conversion cannot carry over follows ``errors=``: ``strict`` raises
UnicodeDecodeError or UnicodeEncodeError at its place; ``replace`` gives what
velmor-convert writes, U+FFFD for bytes with no Unicode form and 〓 (the geta
mark) for a character with no code page 932 form; any other error handler
(``ignore``, ``backslashreplace``, ...) is asked for those two, and the rest
(a user-defined character written as two spaces, a pair cut by a line end, ...)
is converted as velmor-convert converts it.
"""

from __future__ import annotations

import codecs
import re
from typing import Iterable, List, Tuple

from . import _native

NAME = "velmor"

_KANJI_OUT = b"\x93\xf1"
_CHARSET_KINDS = ("no-unicode", "no-cp932")
_REASONS = {
    "after-end-mark": "text after a Ctrl-Z at a line start is not read",
    "gaiji": "a user-defined character becomes two spaces",
    "ibm-extension": "an IBM extension character (FA40-FC4B) becomes two spaces",
    "outside-ranges": "a double-byte character outside the converted ranges",
    "lone-lead-byte": "a lead byte ends the line",
    "invalid-pair": "a pair in a kanji run is no VELMOR kanji",
    "cut-pair": "the line ends inside a pair of a kanji run",
    "no-cp932": "no code page 932 form",
    "no-unicode": "no Unicode form",
}

# (start, end, kind): a place of the input that could not be carried over.
_Place = Tuple[int, int, str]


def _reason(kind: str) -> str:
    return f"{kind}: {_REASONS.get(kind, kind)}"


def _places(data: bytes, entries: Iterable[tuple]) -> List[_Place]:
    """The report's entries as byte offsets in ``data``, in order."""
    # With the line ends kept, a line ends with LF, CR LF or a lone CR.
    starts = [0] + [end.end() for end in re.finditer(rb"\r\n|\r|\n", data)]
    places = []
    for kind, line, column, _, length in entries:
        start = starts[line - 1] + column - 1
        places.append((start, len(data) if kind == "after-end-mark" else start + length, kind))
    places.sort()
    return places


def _char_offsets(data: bytes, offsets: List[int]) -> List[int]:
    """Byte offsets of the UTF-8 ``data`` (ascending) as offsets in its characters."""
    result, chars, done = [], 0, 0
    for offset in offsets:
        chars += len(data[done:offset].decode("utf-8", "surrogatepass"))
        done = offset
        result.append(chars)
    return result


def _convert(data: bytes, direction: str) -> Tuple[bytes, list]:
    return _native.convert(data, direction, force=True, keep_line_ends=True, report=True)


def decode_text(data: bytes, errors: str = "strict") -> Tuple[str, bool]:
    """Decodes whole lines of VELMOR; also tells whether a Ctrl-Z ended the text."""
    if not data:
        return "", False
    output, entries = _convert(data, "to-utf8")
    ended = any(entry[0] == "after-end-mark" for entry in entries) or (
        not output and data[:1] == b"\x1a")
    text = output.decode("utf-8")
    if not entries or errors == "replace":
        return text, ended
    places = _places(data, entries)
    if errors == "strict":
        start, end, kind = places[0]
        raise UnicodeDecodeError(NAME, data, start, end, _reason(kind))
    handler = codecs.lookup_error(errors)
    pieces, at = [], 0
    for start, end, kind in places:
        if kind != "no-unicode":
            continue
        # The k-th U+FFFD of the text stands for the k-th such place.
        mark = text.index("\ufffd", at)
        replacement, _ = handler(UnicodeDecodeError(NAME, data, start, end, _reason(kind)))
        pieces += [text[at:mark], replacement]
        at = mark + 1
    pieces.append(text[at:])
    return "".join(pieces), ended


def encode_text(text: str, errors: str = "strict") -> bytes:
    """Encodes whole lines to VELMOR."""
    if not text:
        return b""
    data = text.encode("utf-8", "surrogatepass")
    output, entries = _convert(data, "from-utf8")
    if not entries or errors == "replace":
        return output
    places = _places(data, entries)
    if errors == "strict":
        start, end, kind = places[0]
        first, last = _char_offsets(data, [start, end])
        raise UnicodeEncodeError(NAME, text, first, last, _reason(kind))
    handler = codecs.lookup_error(errors)
    lost = [place for place in places if place[2] in _CHARSET_KINDS]
    if not lost:
        return output
    spans = _char_offsets(data, [offset for start, end, _ in lost for offset in (start, end)])
    pieces, at = [], 0
    for index, (_, _, kind) in enumerate(lost):
        start, end = spans[2 * index], spans[2 * index + 1]
        error = UnicodeEncodeError(NAME, text, start, end, _reason(kind))
        replacement, _ = handler(error)
        if not isinstance(replacement, str):
            raise error  # bytes cannot stand in a VELMOR text
        pieces += [text[at:start], replacement]
        at = end
    pieces.append(text[at:])
    return encode_text("".join(pieces), "replace")


class IncrementalDecoder(codecs.IncrementalDecoder):
    """Decodes each run of whole lines as it comes; keeps a line not ended yet."""

    def __init__(self, errors: str = "strict") -> None:
        super().__init__(errors)
        self._pending = b""
        self._ended = False

    def decode(self, input: bytes, final: bool = False) -> str:
        data = self._pending + bytes(input)
        if self._ended:
            # A Ctrl-Z at a line start ended the text: nothing after it is read.
            self._pending = b""
            if data and self.errors == "strict":
                raise UnicodeDecodeError(NAME, data, 0, len(data), _reason("after-end-mark"))
            return ""
        cut = len(data) if final else data.rfind(b"\n") + 1
        self._pending = data[cut:]
        text, self._ended = decode_text(data[:cut], self.errors)
        return text

    def reset(self) -> None:
        self._pending = b""
        self._ended = False

    def getstate(self) -> Tuple[bytes, int]:
        return self._pending, int(self._ended)

    def setstate(self, state: Tuple[bytes, int]) -> None:
        self._pending, ended = state
        self._ended = bool(ended)


class IncrementalEncoder(codecs.IncrementalEncoder):
    """Writes what each line gives as soon as it comes.

    A text stream never tells its encoder that it ends, so nothing waits for the
    end but the kanji-out that closes a run still open in a last line without a
    line end (reading the file back closes it all the same), and a CR at the very
    end, which may begin a CR LF.
    """

    def __init__(self, errors: str = "strict") -> None:
        super().__init__(errors)
        self._line = ""  # the line begun and not ended yet
        self._sent = 0  # bytes of its output written already

    def encode(self, input: str, final: bool = False) -> bytes:
        text = self._line + input
        if final:
            output = encode_text(text, self.errors)[self._sent:]
            self.reset()
            return output
        cut = text.rfind("\n") + 1
        output = b""
        if cut:
            output = encode_text(text[:cut], self.errors)[self._sent:]
            self._sent = 0
        self._line = text[cut:]
        begun = self._line[:-1] if self._line.endswith("\r") else self._line
        if begun:
            part = encode_text(begun, self.errors)
            if part.endswith(_KANJI_OUT):
                part = part[:-2]
            output += part[self._sent:]
            self._sent = len(part)
        return output

    def reset(self) -> None:
        self._line = ""
        self._sent = 0

    def getstate(self) -> int:
        return 0 if not self._line else 1

    def setstate(self, state: int) -> None:
        if state == 0:
            self.reset()


class StreamWriter(codecs.StreamWriter):
    def __init__(self, stream, errors: str = "strict") -> None:
        super().__init__(stream, errors)
        self._encoder = IncrementalEncoder(errors)

    def encode(self, input: str, errors: str = "strict") -> Tuple[bytes, int]:
        return self._encoder.encode(input), len(input)

    def reset(self) -> None:
        self.stream.write(self._encoder.encode("", final=True))


class _EndWatch:
    """The stream of a StreamReader, telling it when a read found its end."""

    def __init__(self, stream, reader: "StreamReader") -> None:
        self._stream = stream
        self._reader = reader

    def read(self, *args) -> bytes:
        data = self._stream.read(*args)
        self._reader._at_end = not data
        return data

    def __getattr__(self, name: str):
        return getattr(self._stream, name)


class StreamReader(codecs.StreamReader):
    def __init__(self, stream, errors: str = "strict") -> None:
        super().__init__(_EndWatch(stream, self), errors)
        self._at_end = False
        self._ended = False

    def decode(self, input: bytes, errors: str = "strict") -> Tuple[str, int]:
        # Whole lines, and the rest once the stream is at its end; the reader keeps
        # what is not taken for the next call.
        data = bytes(input)
        if self._ended:
            if data and errors == "strict":
                raise UnicodeDecodeError(NAME, data, 0, len(data), _reason("after-end-mark"))
            return "", len(data)
        cut = len(data) if self._at_end else data.rfind(b"\n") + 1
        text, self._ended = decode_text(data[:cut], errors)
        return text, cut

    def reset(self) -> None:
        super().reset()
        self._at_end = False
        self._ended = False


def encode(input: str, errors: str = "strict") -> Tuple[bytes, int]:
    return encode_text(input, errors), len(input)


def decode(input: bytes, errors: str = "strict") -> Tuple[str, int]:
    return decode_text(bytes(input), errors)[0], len(input)


def _search(name: str):
    if name.lower().replace("-", "_") != NAME:
        return None
    return codecs.CodecInfo(name=NAME, encode=encode, decode=decode,
                            incrementalencoder=IncrementalEncoder,
                            incrementaldecoder=IncrementalDecoder,
                            streamreader=StreamReader, streamwriter=StreamWriter)


def register() -> None:
    """Registers the codec (import velmor_kanji does)."""
    codecs.register(_search)
