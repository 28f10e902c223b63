"""Round trips of built-in scenes through the exporter, the plug-in and its
reference host, compared with Blender's own data."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import numpy  # noqa: E402

import harness  # noqa: E402
import roundtrip  # noqa: E402
import scenes  # noqa: E402

addon = harness.load_addon()


def expect_clean(label):
    cmp = roundtrip.round_trip(label, addon)
    harness.check(cmp.values > 0, "nothing was compared")
    harness.check(not cmp.mismatches, "%d mismatches, first: %s" % (len(cmp.mismatches), cmp.mismatches[:3]))


def test_default_cube():
    harness.start_up_scene()
    expect_clean("default-cube")


def test_textured_sheet_with_ngon():
    scenes.textured_sheet()
    expect_clean("textured-sheet")


def test_rig_with_action():
    scenes.rig()
    expect_clean("rig")


def test_lights_camera_and_mirror():
    scenes.lights_and_camera()
    expect_clean("lights-camera")


def test_special_names():
    scenes.special_names()
    expect_clean("special-names")


def _flipped_v(original):
    def uv_of(layer, loops):
        uvs = original(layer, loops).copy()
        uvs[:, 1] = 1.0 - uvs[:, 1]
        return uvs
    return uv_of


def _reversed_faces(original):
    def face_corners(*args):
        sizes, corners, polygons = original(*args)
        starts = numpy.cumsum(sizes) - sizes
        within = numpy.arange(len(corners)) - numpy.repeat(starts, sizes)
        return sizes, corners[numpy.repeat(starts + sizes - 1, sizes) - within], polygons
    return face_corners


# Each fault replaces one function of the gather module by a broken one.
FAULTS = {
    "v-flip": ("uv_of", _flipped_v),
    "quat-wxyz": ("xyzw", lambda original: lambda q: (q.w, q.x, q.y, q.z)),
    "time-seconds": ("key_times", lambda original: lambda frames, fps: numpy.arange(frames, dtype=numpy.float32) / fps),
    "rest-armature-space": ("bone_rest", lambda original: lambda bone: bone.matrix_local),
    "winding": ("face_corners", _reversed_faces),
}


def expect_caught(fault):
    """The exporter broken on purpose must make the comparison fail, with
    mismatches that the same scene exported intact does not have."""
    scenes.textured_sheet()
    scenes.rig()
    intact = roundtrip.round_trip("fault-" + fault + "-intact", addon, keep=False)
    name, breaker = FAULTS[fault]
    original = getattr(addon.gather, name)
    setattr(addon.gather, name, breaker(original))
    try:
        cmp = roundtrip.round_trip("fault-" + fault, addon)
    finally:
        setattr(addon.gather, name, original)
    new = set(cmp.mismatches) - set(intact.mismatches)
    harness.check(new, "the fault %s went unnoticed in %d values" % (fault, cmp.values))


def test_fault_v_flip_is_caught():
    expect_caught("v-flip")


def test_fault_quaternion_order_is_caught():
    expect_caught("quat-wxyz")


def test_fault_time_in_seconds_is_caught():
    expect_caught("time-seconds")


def test_fault_rest_not_parent_relative_is_caught():
    expect_caught("rest-armature-space")


def test_fault_reversed_winding_is_caught():
    expect_caught("winding")


harness.run(globals())
