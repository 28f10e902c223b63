"""Round trips of real models (Debian's assimp-testmodels) imported into
Blender by its own importers."""

import os
import sys

import bpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import roundtrip  # noqa: E402

addon = harness.load_addon()

MODELS = os.environ.get("BXML_MODELS", "/usr/share/assimp/models")
SHORT_TAKE_FRAMES = 40


def model(path):
    full = os.path.join(MODELS, path)
    harness.check(os.path.isfile(full), "model %s is missing (package assimp-testmodels)" % full)
    return full


def expect_clean(label):
    cmp = roundtrip.round_trip(label, addon)
    harness.check(cmp.values > 0, "nothing was compared")
    harness.check(not cmp.mismatches, "%d mismatches, first: %s" % (len(cmp.mismatches), cmp.mismatches[:3]))


def short_take(path, frames):
    """A copy of a BVH file cut to its first frames: the whole takes last
    thousands of frames, too long for this stage."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    motion = next(i for i, line in enumerate(lines) if line.strip().startswith("Frames:"))
    lines[motion] = "Frames: %d" % frames
    out = os.path.join(harness.out_dir("models"), "short_" + os.path.basename(path))
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines[:motion + 2 + frames]) + "\n")
    return out


def test_skinned_fbx_with_action():
    bpy.ops.import_scene.fbx(filepath=model("FBX/animation_with_skeleton.fbx"))
    harness.check(any(o.type == "ARMATURE" for o in bpy.context.scene.objects), "the FBX has no armature")
    expect_clean("fbx-animation-skeleton")


def test_gltf_simple_skin():
    bpy.ops.import_scene.gltf(filepath=model("glTF2/simple_skin/simple_skin.gltf"))
    expect_clean("gltf-simple-skin")


def test_textured_obj():
    bpy.ops.wm.obj_import(filepath=model("OBJ/spider.obj"))
    expect_clean("obj-spider")
    folder = harness.out_dir("roundtrip", "obj-spider")
    harness.check(os.path.isfile(os.path.join(folder, "SpiderTex.jpg")), "the texture was not copied beside the file")


def test_collada_duck():
    bpy.ops.wm.collada_import(filepath=model("Collada/duck.dae"))
    expect_clean("collada-duck")


def test_bvh_short_take():
    bpy.ops.import_anim.bvh(filepath=short_take(model("BVH/01_01.bvh"), SHORT_TAKE_FRAMES))
    expect_clean("bvh-01_01-short")


harness.run(globals())
