"""VELMOR kanji for Python: the conversions of velmor-convert, and the codec "velmor".

The functions give the bytes velmor-convert writes for the same input and
options; they run its C++ pipeline with the GIL released, so threads convert
at once. ``import velmor_kanji`` also registers the codec ``velmor``
(VELMOR bytes <-> str through code page 932), so that
``open(path, encoding="velmor")`` and ``pandas.read_csv(path, encoding="velmor")``
work.
"""

from __future__ import annotations

import os
from typing import List, NamedTuple, Optional, Tuple, Union

from . import _native
from ._errors import ConversionRefused, FileError, GaijiTableError, VelmorError
from . import codec as _codec

__all__ = [
    "convert", "convert_file", "to_sjis", "to_velmor", "to_utf8", "from_utf8", "report", "load_gaiji",
    "GaijiTable", "ReportEntry", "VelmorError", "ConversionRefused", "FileError",
    "GaijiTableError", "DIRECTIONS",
]

GaijiTable = _native.GaijiTable
"""A gaiji table as load_gaiji reads it: pass it as ``gaiji=``."""

DIRECTIONS = ("to-sjis", "to-velmor", "to-utf8", "from-utf8")
"""The directions report() takes, named as velmor-convert's options."""

BytesLike = Union[bytes, bytearray, memoryview]


class ReportEntry(NamedTuple):
    """A place where the output does not carry the input's meaning.

    ``kind`` is named as ``velmor-convert --report`` names it (``gaiji``,
    ``lone-cr``, ``ibm-extension``, ``no-cp932`` ...); ``line`` and ``column`` count lines and
    bytes of the input from 1; ``bytes`` are the input bytes concerned (for
    ``after-end-mark``, the first 16 of them).
    """

    kind: str
    line: int
    column: int
    bytes: bytes


def _data(data: BytesLike) -> bytes:
    # A bytes object never changes, so it can be read while the GIL is released.
    return data if type(data) is bytes else bytes(data)


def load_gaiji(path: Union[str, os.PathLike]) -> GaijiTable:
    """Reads a gaiji table (the format velmor-convert --gaiji reads).

    Raises FileError when the file cannot be read, GaijiTableError for a bad line.
    """
    return _native.load_gaiji(os.fsencode(path))


def _convert(data: BytesLike, direction: str, force: bool = False,
             gaiji: Optional[GaijiTable] = None, keep_line_ends: bool = False) -> bytes:
    output, _ = _native.convert(_data(data), direction, force=force, gaiji=gaiji,
                                keep_line_ends=keep_line_ends)
    return output


def to_sjis(data: BytesLike, gaiji: Optional[GaijiTable] = None,
            keep_line_ends: bool = False) -> bytes:
    """VELMOR to Shift-JIS: the bytes ``velmor-convert --to-sjis`` writes.

    By default every line ends with CR LF and one more CR LF ends the text, as
    the window saves it; ``keep_line_ends=True`` writes each line with the line
    end it was read with (LF, CR LF, or a lone CR, which then ends a line of its
    own) and adds no line (``--keep-line-ends``). An empty input (or one that
    begins with Ctrl-Z) gives empty bytes.
    """
    return _convert(data, "to-sjis", gaiji=gaiji, keep_line_ends=keep_line_ends)


def to_velmor(data: BytesLike, force: bool = False, gaiji: Optional[GaijiTable] = None,
              keep_line_ends: bool = False) -> bytes:
    """Shift-JIS to VELMOR: the bytes ``velmor-convert --to-velmor`` writes.

    Raises ConversionRefused when the input already holds VELMOR kanji-in
    sequences, unless ``force=True`` (velmor-convert's ``--force``).
    """
    return _convert(data, "to-velmor", force=force, gaiji=gaiji, keep_line_ends=keep_line_ends)


def to_utf8(data: BytesLike, gaiji: Optional[GaijiTable] = None,
            keep_line_ends: bool = False) -> bytes:
    """VELMOR to UTF-8 through code page 932: ``velmor-convert --to-utf8``."""
    return _convert(data, "to-utf8", gaiji=gaiji, keep_line_ends=keep_line_ends)


def from_utf8(data: BytesLike, force: bool = False, gaiji: Optional[GaijiTable] = None,
              keep_line_ends: bool = False) -> bytes:
    """UTF-8 to VELMOR through code page 932: ``velmor-convert --from-utf8``."""
    return _convert(data, "from-utf8", force=force, gaiji=gaiji, keep_line_ends=keep_line_ends)


def _entries(entries: list) -> List[ReportEntry]:
    return [ReportEntry(kind, line, column, raw) for kind, line, column, raw, _ in entries]


def convert(data: BytesLike, direction: str, force: bool = False,
            gaiji: Optional[GaijiTable] = None,
            keep_line_ends: bool = False) -> Tuple[bytes, List[ReportEntry]]:
    """Converts ``data`` in ``direction`` (one of DIRECTIONS) and reports what it
    loses: the output and the report of one pass."""
    output, entries = _native.convert(_data(data), direction, force=force, gaiji=gaiji,
                                      keep_line_ends=keep_line_ends, report=True)
    return output, _entries(entries)


def convert_file(input: Union[str, os.PathLike], output: Union[str, os.PathLike],
                 direction: str, force: bool = False, gaiji: Optional[GaijiTable] = None,
                 keep_line_ends: bool = False) -> List[ReportEntry]:
    """Converts the file ``input`` into the file ``output`` as velmor-convert
    does: a piece at a time in bounded memory, and saved safely (a refused or
    failed conversion leaves ``output`` as it was). Returns the report; raises
    ConversionRefused or FileError with velmor-convert's message."""
    return _entries(_native.convert_file(os.fsencode(input), os.fsencode(output), direction,
                                         force=force, gaiji=gaiji,
                                         keep_line_ends=keep_line_ends))


def report(data: BytesLike, direction: str, gaiji: Optional[GaijiTable] = None,
           force: bool = False) -> List[ReportEntry]:
    """What converting ``data`` in ``direction`` would lose, as ``velmor-convert
    --check --report`` finds it: a list of ReportEntry, empty for a clean input.

    ``direction`` is one of DIRECTIONS. Refusals raise as the conversions do.
    """
    _, entries = _native.convert(_data(data), direction, force=force, gaiji=gaiji, check=True)
    return _entries(entries)


_codec.register()
