"""Round trips of built-in scenes through the exporter, the plug-in and its
reference host, compared with Blender's own data."""

import os
import sys

import bpy
from mathutils import Euler, Quaternion

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


# Keys of an action made on another rig with the same bones: bone -> [(frame, Euler angles)].
SHARED_KEYS = {"Mid": [(1, (0, 0, 0)), (10, (0.7, 0, 0.2)), (20, (-0.4, 0.9, 0))],
               "Tip": [(1, (0.5, 0, 0)), (10, (0, 0, 0)), (20, (0, -0.6, 0.3))]}


def shared_action():
    """An action keyed for the bones of a rig "Hero" (on Blender 4.4 and
    later through a slot of Hero's, made with the slot API) and kept only by
    its fake user."""
    action = bpy.data.actions.new("Shared")
    action.use_fake_user = True
    if bpy.app.version >= (4, 4, 0):
        slot = action.slots.new("OBJECT", "Hero")
        curves = action.layers.new("Layer").strips.new(type="KEYFRAME").channelbags.new(slot).fcurves
    else:
        curves = action.fcurves
    for bone, keys in SHARED_KEYS.items():
        for i in range(4):
            curve = curves.new('pose.bones["%s"].rotation_quaternion' % bone, index=i)
            for frame, angles in keys:
                curve.keyframe_points.insert(frame, Euler(angles).to_quaternion()[i])
    return action


def test_action_made_on_another_rig_moves_this_rig():
    data = scenes.rig().animation_data
    if bpy.app.version >= (4, 4, 0):
        # A slot the user chose, other than the one Blender would pick by the rig's name.
        data.action_slot = data.action.slots.new("OBJECT", "Stunt")
    own = (data.action, getattr(data, "action_slot", None))
    shared_action()
    path = os.path.join(harness.out_dir("roundtrip", "shared-action"), "shared-action.xml")
    addon.exporter.export(bpy.context, path)
    harness.check_equal((data.action, getattr(data, "action_slot", None)), own, "the rig's own action and slot")
    host = roundtrip.run_host(path, swap=False)
    animation = next(a for a in host["animations"] if a["name"] == "Shared")
    track_of = {b["addedAs"]: t for b, t in zip(host["bones"], animation["tracks"])}
    for bone, keys in SHARED_KEYS.items():
        rotations = track_of["Rig::" + bone]["rotation"]
        for frame, angles in keys:
            _, x, y, z, w = rotations[frame - 1]
            keyed = Euler(angles).to_quaternion()
            # Keys are relative to the bind pose: a bone's key is its pose rotation.
            harness.check(abs(abs(keyed.dot(Quaternion((w, x, y, z)))) - 1) < 1e-5,
                          "%s at frame %d: host %s, keyed %s" % (bone, frame, (w, x, y, z), tuple(keyed)))



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
