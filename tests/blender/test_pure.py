"""The exporter's parts that need no Blender, in plain Python 3 with numpy:

    python3 tests/blender/test_pure.py

Ends with the line "N passed, N failed" and exits 1 on any failure.
"""

import importlib.util
import io
import math
import os
import struct
import sys
import traceback

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
ADDON_DIR = os.path.join(ROOT, "exporters", "blender")


def load(name):
    """A module of the add-on, imported as part of a package that has no
    __init__ (which needs Blender)."""
    package = "bxml_pure"
    if package not in sys.modules:
        module_spec = importlib.util.spec_from_loader(package, loader=None, is_package=True)
        module = importlib.util.module_from_spec(module_spec)
        module.__path__ = [ADDON_DIR]
        sys.modules[package] = module
    return importlib.import_module(package + "." + name)


numtext = load("numtext")
text = load("text")
records = load("records")
write = load("write")


def read_back(texts):
    """Each text read as the importer reads it (a double, then a float)."""
    return [to_float32(float(t)) for t in texts]


def to_float32(value):
    try:
        return struct.unpack("<f", struct.pack("<f", value))[0]
    except OverflowError:
        return math.copysign(math.inf, value)


def float32_bits(values):
    return np.asarray(values, dtype=np.float32).view(np.uint32)


def sample_values():
    """Hand-picked edge values and random bit patterns of every exponent."""
    edges = [0.0, -0.0, 1.0, -1.0, 0.5, 0.1, 0.9, 1e-5, 1e6, 1e7, 1.5e7, 123456.0, 1234567.0, 16777217.0,
             9.999999e-4, 3.4028235e38, -3.4028235e38, 1.17549435e-38, 1e-45, 2.5e-41, 54135568.0, 1 / 3.0]
    bits = np.random.default_rng(27).integers(0, 2 ** 32, 200000, dtype=np.uint64).astype(np.uint32)
    random = bits.view(np.float32)
    values = np.concatenate((np.array(edges, dtype=np.float32), random))
    return values[np.isfinite(values)]


def lossy_checks(values, texts):
    """The values whose text does not read back to the same float32, or reads
    back as inf or nan."""
    back = read_back(texts)
    return [(v, t) for v, t, b in zip(values.tolist(), texts, back)
            if not math.isfinite(b) or struct.pack("<f", b) != struct.pack("<f", v + 0.0)]


def test_every_number_reads_back_to_the_same_float32():
    values = sample_values()
    lost = lossy_checks(values, numtext.texts(values).tolist())
    assert not lost, "%d numbers do not read back, first: %s" % (len(lost), lost[:5])


def test_bulk_texts_are_the_shortest_texts_of_the_one_by_one_formatter():
    # text.number tries every precision from 1 digit up, one value at a time.
    values = sample_values()[:50000]
    bulk = numtext.texts(values).tolist()
    single = [text.number(float(v)) for v in values.tolist()]
    differ = [(v, b, s) for v, b, s in zip(values.tolist(), bulk, single) if b != s]
    assert not differ, "%d texts differ, first: %s" % (len(differ), differ[:5])


def test_the_read_back_check_catches_a_lossy_formatter():
    values = sample_values()[:5000]
    original = numtext._format
    numtext._format = lambda v, digits: original(v, min(digits, 4))
    try:
        lost = lossy_checks(values, numtext.texts(values).tolist())
    finally:
        numtext._format = original
    assert lost, "a formatter keeping 4 digits went unnoticed"


def test_a_wrong_digit_estimate_is_repaired_by_reading_back():
    values = sample_values()[:5000]
    original = numtext._digits
    numtext._digits = lambda v, candidates: np.full(len(v), 3, dtype=np.int8)
    try:
        lost = lossy_checks(values, numtext.texts(values).tolist())
    finally:
        numtext._digits = original
    assert not lost, "%d numbers lost with a 3-digit estimate" % len(lost)


def test_corner_values_by_vertex_are_the_texts_of_each_corner():
    # Corners of one vertex mostly share a value; some (a seam) do not.
    rng = np.random.default_rng(5)
    keys = rng.integers(0, 1000, 20000)
    rows = rng.standard_normal((1000, 2)).astype(np.float32)[keys]
    rows[::7] += np.float32(0.25)
    by_key = numtext.texts_by_key(rows, keys, 1200).tolist()
    assert by_key == [text.number(float(v)) for v in rows.ravel().tolist()]


def test_non_finite_values_become_finite_and_are_counted():
    cases = [  # value, written as
        (float("nan"), 0.0),
        (float("inf"), 3.4028234663852886e38),
        (float("-inf"), -3.4028234663852886e38),
        (2.0, 2.0),
    ]
    array, changed = numtext.finite([c[0] for c in cases])
    assert changed == 3, changed
    assert array.tolist() == [c[1] for c in cases], array.tolist()


def test_grouped_text_with_empty_groups_and_parts():
    cases = [  # items, counts, text
        (["1", "2", "3", "4", "5"], [2, 0, 3], "1 2, ,3 4 5"),
        (["1", "2"], [0, 2, 0], " ,1 2, "),
        ([], [0], " "),
        (["7", "8", "9"], [1, 1, 1], "7,8,9"),
    ]
    saved = numtext.CHUNK
    try:
        for chunk in (saved, 1, 2):  # one piece, and several
            numtext.CHUNK = chunk
            for items, counts, expected in cases:
                got = "".join(numtext.grouped(np.array(items, dtype=object), counts))
                assert got == expected, "chunk %d, %r %r: %r" % (chunk, items, counts, got)
    finally:
        numtext.CHUNK = saved


def small_scene():
    f32 = lambda rows: np.array(rows, dtype=np.float32)  # noqa: E731
    geometry = records.Geometry(
        name="Sheet\r1",
        positions=f32([[0, 0, 0], [1, 0, 0], [1, 1, 0], [0.1, 1, -0.0]]),
        normals=f32([[0, 0, 1]] * 4),
        face_sizes=np.array([3, 3]),
        corner_vertices=np.array([0, 1, 2, 0, 2, 3]),
        uv_sets=[("UV<1>", f32([[0, 0], [1, 0], [1, 1], [0.5, 0], [1, 1], [0, 1]]))],
        materials=np.array([0, -1]),
        links=["Root"],
        weight_counts=np.array([1, 0, 1, 1]),
        weight_links=np.array([0, 0, 0]),
        weight_values=f32([1, 0.25, 0.5]),
    )
    return records.Scene(
        name="Scene",
        materials=[records.Material("Mat", [], 64.0, 1.0, (0.5, 0.5, 0.5), (0.5, 0.5, 0.5))],
        geometries=[geometry],
        skeletons=[records.Skeleton("Rig", [records.Bone("Root", (0, 0, 0), (0, 0, 0, 1), (1, 1, 1))])],
        animations=[records.Animation("Act", 1.0, 24.0, [records.SkeletonTracks("Rig", f32([0, 1]), [
            records.Track("Root", f32([[0, 0, 0], [0, 0, 2]]), f32([[0, 0, 0, 1]] * 2), f32([[1, 1, 1]] * 2))])])],
        objects=[records.Object("Rig", "skeleton", tuple(np.eye(4).ravel())),
                 records.Object("Sheet\r1", "mesh", tuple(np.eye(4).ravel()), parent="Rig", skeleton="Rig")],
    )


# Written by hand from the file format: sections without records are left
# out, a carriage return in a name is a character reference.
SMALL_SCENE_XML = """<?xml version="1.0" encoding="UTF-8"?>
<orvk>
  <comments>
    <version>3</version>
  </comments>
  <materials>
    <material name="Mat">
      <shininess>64</shininess>
      <alpha>1</alpha>
      <diffuse r="0.5" g="0.5" b="0.5"/>
      <specular r="0.5" g="0.5" b="0.5"/>
    </material>
  </materials>
  <geometries>
    <geometry name="Sheet&#13;1">
      <vertices count="4">0 0 0 1 0 0 1 1 0 0.1 1 0</vertices>
      <normals count="4">0 0 1 0 0 1 0 0 1 0 0 1</normals>
      <indices count="2">0 1 2,0 2 3</indices>
      <uvset name="UV&lt;1&gt;" count="6">0 0 1 0 1 1 0.5 0 1 1 0 1</uvset>
      <materials count="2">0 -1</materials>
      <links>
        <link name="Root" index="0"/>
      </links>
      <weights count="4" maxBonePerVertex="1">0 1, ,0 0.25,0 0.5</weights>
    </geometry>
  </geometries>
  <skeletons>
    <skeleton name="Rig">
      <bone name="Root">
        <position x="0" y="0" z="0"/>
        <rotation x="0" y="0" z="0" w="1"/>
        <scale x="1" y="1" z="1"/>
      </bone>
    </skeleton>
  </skeletons>
  <animations>
    <animation name="Act" length="1" fps="24">
      <skeleton name="Rig">
        <node name="Root">
          <frame time="0">
            <position x="0" y="0" z="0"/>
            <rotation x="0" y="0" z="0" w="1"/>
            <scale x="1" y="1" z="1"/>
          </frame>
          <frame time="1">
            <position x="0" y="0" z="2"/>
            <rotation x="0" y="0" z="0" w="1"/>
            <scale x="1" y="1" z="1"/>
          </frame>
        </node>
      </skeleton>
    </animation>
  </animations>
  <scenes>
    <scene name="Scene">
      <object name="Rig" type="skeleton">
        <matrix rows="4">1 0 0 0,0 1 0 0,0 0 1 0,0 0 0 1</matrix>
      </object>
      <object name="Sheet&#13;1" type="mesh">
        <parent>Rig</parent>
        <skeleton>Rig</skeleton>
        <matrix rows="4">1 0 0 0,0 1 0 0,0 0 1 0,0 0 0 1</matrix>
      </object>
    </scene>
  </scenes>
</orvk>
"""


def test_writer_writes_a_small_scene_as_worked_out_by_hand():
    out = io.StringIO()
    write.write(small_scene(), out)
    got, expected = out.getvalue().splitlines(), SMALL_SCENE_XML.splitlines()
    wrong = [(i + 1, g, e) for i, (g, e) in enumerate(zip(got, expected)) if g != e]
    assert not wrong and len(got) == len(expected), "lines %d vs %d, first difference %s" % (
        len(got), len(expected), wrong[:1])


def main():
    tests = [(n, f) for n, f in globals().items() if n.startswith("test_") and callable(f)]
    passed = failed = 0
    for name, test in tests:
        try:
            test()
        except Exception:  # a failing test must not stop the others
            failed += 1
            print("FAIL %s" % name)
            traceback.print_exc()
        else:
            passed += 1
            print("ok   %s" % name)
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
