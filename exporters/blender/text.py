"""Text forms of the file: numbers, number lists and XML escaping.

Nothing here needs Blender, so these helpers can be tested in any Python.
"""

import math
import struct

FLOAT32_MAX = 3.4028234663852886e38

_PACK = struct.Struct("<f")
_cache = {}


def to_float32(value):
    """The 32-bit float nearest to value (inf beyond the float range)."""
    try:
        return _PACK.unpack(_PACK.pack(value))[0]
    except OverflowError:
        return math.copysign(math.inf, value)


def finite(value):
    """value clamped into the finite 32-bit range; nan becomes 0.

    The second item tells whether anything had to change, so that the caller
    can warn: the file never holds inf or nan.
    """
    if math.isnan(value):
        return 0.0, True
    if math.isinf(value) or abs(value) > FLOAT32_MAX:
        return math.copysign(FLOAT32_MAX, value), True
    return value, False


def number(value):
    """The shortest decimal text that reads back to the same 32-bit float.

    value must be finite (see finite()). Negative zero is written as 0: the
    reader's atof gives a zero of the same value either way.
    """
    f = to_float32(value)
    text = _cache.get(f)
    if text is not None:
        return text
    if f == 0.0:
        text = "0"
    elif f == int(f) and abs(f) < 1e7:
        text = str(int(f))
    else:
        for digits in range(1, 10):
            text = "%.*g" % (digits, f)
            if to_float32(float(text)) == f:
                break
        mantissa, _, exponent = text.partition("e")
        if exponent:
            text = mantissa + "e" + str(int(exponent))
    if len(_cache) < 65536:
        _cache[f] = text
    return text


def flat(values):
    """Numbers separated by single spaces: the form of flat lists."""
    return " ".join(number(v) for v in values)


def grouped(groups):
    """Groups of numbers joined by commas, numbers by single spaces.

    An empty group is written as one space between its commas, so that the
    reader still counts it as a group of its own.
    """
    return ",".join(flat(g) if len(g) else " " for g in groups)


def integers(values):
    return " ".join(str(int(v)) for v in values)


def grouped_integers(groups):
    return ",".join(integers(g) if len(g) else " " for g in groups)


_XML_INVALID = {c for c in range(0x20) if c not in (0x09, 0x0A, 0x0D)}


def _clean(text):
    """text without the control characters that XML 1.0 cannot carry."""
    if any(ord(ch) in _XML_INVALID for ch in text):
        return "".join("?" if ord(ch) in _XML_INVALID else ch for ch in text)
    return text


def escape_text(text):
    """Element content; a carriage return is a character reference, because
    parsers turn a literal one into a line feed."""
    return _clean(text).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace("\r", "&#13;")


def escape_attribute(text):
    """An attribute value for a double-quoted attribute; line breaks and tabs
    are written as character references so that they survive parsing."""
    return (
        escape_text(text)
        .replace('"', "&quot;")
        .replace("\n", "&#10;")
        .replace("\r", "&#13;")
        .replace("\t", "&#9;")
    )


def has_invalid_characters(text):
    return any(ord(ch) in _XML_INVALID for ch in text)
