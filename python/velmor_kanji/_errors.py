"""The exceptions of velmor_kanji. Their messages are velmor-convert's (in English):
what its line on standard error says after the file's name."""

from __future__ import annotations


class VelmorError(Exception):
    """Base of the errors a conversion raises."""


class ConversionRefused(VelmorError, ValueError):
    """The conversion refused the input, as velmor-convert refuses a file.

    ``reason`` is named as in velmor-convert's JSON report: ``"kanji-in"``
    (towards VELMOR, the input already holds kanji-in sequences; ``force=True``
    converts it all the same) or ``"would-lose"``.
    """

    def __init__(self, message: str, reason: str) -> None:
        super().__init__(message)
        self.reason = reason


class FileError(VelmorError, OSError):
    """A file operation failed (reading a gaiji table, for instance).

    ``str()`` is velmor-convert's message; ``code`` the program's error code,
    ``errno`` the system's, ``filename`` the file concerned.
    """

    def __init__(self, message: str, code: int, system_error: int = 0,
                 filename: bytes | str | None = None, kept_copy: str = "") -> None:
        if isinstance(filename, bytes):
            filename = filename.decode("utf-8", "surrogateescape")
        super().__init__(system_error or None, message, filename)
        self.message = message
        self.code = code
        self.kept_copy = kept_copy

    def __str__(self) -> str:
        return self.message


class GaijiTableError(VelmorError, ValueError):
    """A gaiji table that cannot be used; the message names the file and line."""
