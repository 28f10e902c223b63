"""Number lists as text, a whole array at a time (numpy, no Blender).

Every float is written as the shortest decimal text of at most 9 significant
digits that reads back (as a double, then rounded to float, as the importer
reads it) to the same 32-bit float; the text is the one text.number() gives
for the same value. Values are formatted once per distinct value, so lists
that repeat values (corners sharing a uv, a colour or a weight) cost little.
"""

import re

import numpy as np

from . import text

FLOAT32_MAX = np.float32(3.4028234663852886e38)
# Values formatted per Python call: bounds the transient tuple of floats.
CHUNK = 1 << 20
# Values looked at to decide whether a list repeats values.
SAMPLE = 4096
# Lists up to this long are formatted one value at a time.
SHORT = 64
_EXPONENT = re.compile(r"e\+?(-?)0*(\d)")


def finite(values):
    """values as a flat float32 array, inf clamped to the largest finite
    float32 of its sign and nan made 0, and how many values had to change."""
    array = np.ascontiguousarray(values, dtype=np.float32).ravel()
    bad = ~np.isfinite(array)
    count = int(np.count_nonzero(bad))
    if count:
        array = array.copy()
        array[np.isnan(array)] = 0.0
        array[np.isposinf(array)] = FLOAT32_MAX
        array[np.isneginf(array)] = -FLOAT32_MAX
    return array, count


def _format(values, digits):
    """The texts of values (float64) with %g at digits significant digits,
    exponents without plus sign and leading zeros."""
    text = " ".join(["%%.%dg" % digits] * len(values)) % tuple(values.tolist())
    if "e" in text:
        text = _EXPONENT.sub(r"e\1\2", text)
    return text.split(" ")


def _digits(values, candidates):
    """Per value the fewest digits among candidates whose decimal rounding
    (estimated in double arithmetic) reads back as the same float32; 9 when
    none does."""
    wide = values.astype(np.float64)
    exponent = np.floor(np.log10(np.abs(wide)))
    need = np.full(len(values), 9, dtype=np.int8)
    for digits in sorted(candidates, reverse=True):
        # Powers of ten below 1 are inexact: divide by the exact power instead.
        power = 10.0 ** np.abs(digits - 1 - exponent)
        up = exponent <= digits - 1
        with np.errstate(over="ignore"):
            rounded = np.where(up, np.round(wide * power) / power, np.round(wide / power) * power).astype(np.float32)
        need[rounded == values] = digits
    return need


def shortest(values):
    """For finite float32 values, an object array of their texts.

    Integers below 1e7 are written without a fraction. Other values are
    written with the fewest digits that read back equal; fewer than 6 digits
    need no test of their own (a text of fewer digits that reads back equal
    is what %.6g gives once its trailing zeros are dropped), except for
    subnormal values. The estimate of the digits is checked by reading every
    text back; a text that fails is written with 9 digits, which always read
    back equal.
    """
    values = np.ascontiguousarray(values, dtype=np.float32).ravel() + np.float32(0.0)  # -0 becomes 0
    out = np.empty(len(values), dtype=object)
    if len(values) <= SHORT:
        # Array operations cost more than they save on a few values.
        out[:] = [text.number(v) for v in values.tolist()]
        return out
    wide = values.astype(np.float64)
    whole = (wide == np.floor(wide)) & (np.abs(wide) < 1e7)
    if whole.any():
        out[whole] = integers_text(wide[whole].astype(np.int64)).split(" ")
    rest = np.flatnonzero(~whole)
    if not len(rest):
        return out
    need = _digits(values[rest], (6, 7, 8))
    tiny = np.abs(values[rest]) < np.finfo(np.float32).tiny
    if tiny.any():
        need[tiny] = _digits(values[rest][tiny], range(1, 9))
    for digits in range(1, 10):
        chosen = rest[need == digits]
        if len(chosen):
            out[chosen] = _format(wide[chosen], digits)
    with np.errstate(over="ignore"):
        back = np.array(out[rest].tolist(), dtype=np.float64).astype(np.float32)
    wrong = rest[back != values[rest]]
    if len(wrong):
        out[wrong] = _format(wide[wrong], 9)
    return out


def texts(values):
    """Object array of the texts of finite float32 values. When a sample
    shows many repeated values, each distinct value is formatted once (a
    sort costs less than formatting the repeats)."""
    values = np.ascontiguousarray(values, dtype=np.float32).ravel() + np.float32(0.0)
    out = np.empty(len(values), dtype=object)
    if len(values) > SAMPLE and len(np.unique(values[:: len(values) // SAMPLE])) < SAMPLE // 2:
        distinct, inverse = np.unique(values, return_inverse=True)
        formatted = np.empty(len(distinct), dtype=object)
        for start in range(0, len(distinct), CHUNK):
            formatted[start:start + CHUNK] = shortest(distinct[start:start + CHUNK])
        return formatted[inverse.ravel()]
    for start in range(0, len(values), CHUNK):
        out[start:start + CHUNK] = shortest(values[start:start + CHUNK])
    return out


def texts_by_key(values, keys, key_count):
    """texts() of rows of values (rows, k) whose rows mostly repeat for
    equal keys (the corners of a vertex): each key's row is formatted once,
    and only the rows that differ from their key's row on their own."""
    values = np.asarray(values, dtype=np.float32)
    rows = values.reshape(len(keys), -1)
    table = np.zeros((key_count, rows.shape[1]), dtype=np.float32)
    table[keys] = rows
    apart = np.flatnonzero((table[keys] != rows).any(axis=1))
    used = np.zeros(key_count, dtype=bool)
    used[keys] = True
    table_texts = np.empty(table.shape, dtype=object)
    table_texts[used] = texts(table[used]).reshape(-1, rows.shape[1])
    out = table_texts[keys]
    if len(apart):
        out[apart] = texts(rows[apart]).reshape(-1, rows.shape[1])
    return out.ravel()


def integers_text(values):
    """Integers separated by single spaces."""
    values = np.asarray(values).ravel()
    return " ".join(map(str, values.tolist()))


def floats_text(values):
    """Finite float32 values separated by single spaces."""
    return " ".join(texts(values).tolist())


def grouped(strings, counts, separator=" "):
    """Pieces of text: strings (object array) in groups of counts items,
    items joined by separator, groups by commas; an empty group is written as
    one space, so that a reader still counts it. Yields the text in parts of
    about CHUNK items."""
    counts = np.asarray(counts, dtype=np.int64).ravel()
    ends = np.cumsum(counts)
    group = 0
    while group < len(counts):
        last = int(np.searchsorted(ends, ends[group] + CHUNK, side="left"))
        last = min(max(last, group + 1), len(counts))
        start = int(ends[group] - counts[group])
        stop = int(ends[last - 1])
        items = strings[start:stop]
        local = counts[group:last]
        # Each item is followed by the separator, the last of each group by a
        # comma; empty groups become " ,".
        glue = np.full(len(items), separator, dtype=object)
        local_ends = np.cumsum(local)[local > 0] - 1
        glue[local_ends] = ","
        pieces = np.empty(2 * len(items), dtype=object)
        pieces[0::2] = items
        pieces[1::2] = glue
        text = "".join(pieces.tolist())
        if (local == 0).any():
            text = _with_empty_groups(text, local)
        if last == len(counts):
            text = text[:-1]
        yield text
        group = last


def _with_empty_groups(text, counts):
    """text of groups ending in commas, with " ," put in for empty groups."""
    parts = text.split(",")
    out = []
    k = 0
    for count in counts.tolist():
        if count:
            out.append(parts[k])
            k += 1
        else:
            out.append(" ")
    return ",".join(out) + ","
