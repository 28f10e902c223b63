"""Round trips of real models (Debian's assimp-testmodels) imported into
Blender by its own importers."""

import os
import sys

import bpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import roundtrip  # noqa: E402

addon = harness.load_addon()

def expect_clean(label):
    cmp = roundtrip.round_trip(label, addon)
    harness.check(cmp.values > 0, "nothing was compared")
    harness.check(not cmp.mismatches, "%d mismatches, first: %s" % (len(cmp.mismatches), cmp.mismatches[:3]))


def test_skinned_fbx_with_action():
    harness.import_model("fbx-animation-skeleton")
    harness.check(any(o.type == "ARMATURE" for o in bpy.context.scene.objects), "the FBX has no armature")
    expect_clean("fbx-animation-skeleton")


def test_gltf_simple_skin():
    harness.import_model("gltf-simple-skin")
    expect_clean("gltf-simple-skin")


def test_textured_obj():
    harness.import_model("obj-spider")
    expect_clean("obj-spider")
    folder = harness.out_dir("roundtrip", "obj-spider")
    harness.check(os.path.isfile(os.path.join(folder, "SpiderTex.jpg")), "the texture was not copied beside the file")


def test_textured_fbx():
    harness.import_model("fbx-spider")
    harness.check(any(m.node_tree is not None and any(n.type == "TEX_IMAGE" for n in m.node_tree.nodes)
                      for m in bpy.data.materials), "the FBX spider has no image texture")
    expect_clean("fbx-spider")


def test_collada_duck():
    harness.import_model("collada-duck")
    expect_clean("collada-duck")


def test_bvh_short_take():
    harness.import_model("bvh-01_01-short")
    expect_clean("bvh-01_01-short")


harness.run(globals())
