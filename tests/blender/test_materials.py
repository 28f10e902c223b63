"""Materials as Blender draws them: node shapes built in code and real glTF
and FBX samples imported by Blender's importers, exported and compared with
what Blender shades them with (tests/blender/shading.py)."""

import os
import sys

import bpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import roundtrip  # noqa: E402

addon = harness.load_addon()


def image_node(tree):
    node = tree.nodes.new("ShaderNodeTexImage")
    node.image = bpy.data.images.new("swatch", 4, 4)
    return node


def link(tree, out, into):
    tree.links.new(out, into)


def principled(tree):
    return next(n for n in tree.nodes if n.type == "BSDF_PRINCIPLED")


def linked_base_colour(tree):
    link(tree, image_node(tree).outputs["Color"], principled(tree).inputs["Base Color"])


def mix_multiply(tree):
    mix = tree.nodes.new("ShaderNodeMix")
    mix.data_type, mix.blend_type = "RGBA", "MULTIPLY"
    sockets = {s.identifier: s for s in mix.inputs}
    sockets["Factor_Float"].default_value = 1.0
    sockets["B_Color"].default_value = (0.2, 0.4, 0.6, 1.0)
    link(tree, image_node(tree).outputs["Color"], sockets["A_Color"])
    link(tree, mix.outputs["Result"], principled(tree).inputs["Base Color"])


def mix_rgb_through_reroute(tree):
    mix = tree.nodes.new("ShaderNodeMixRGB")
    mix.blend_type = "MULTIPLY"
    mix.inputs["Fac"].default_value = 0.75
    mix.inputs["Color2"].default_value = (0.1, 0.9, 0.3, 1.0)
    reroute = tree.nodes.new("NodeReroute")
    link(tree, image_node(tree).outputs["Color"], mix.inputs["Color1"])
    link(tree, mix.outputs["Color"], reroute.inputs[0])
    link(tree, reroute.outputs[0], principled(tree).inputs["Base Color"])


def diffuse_with_image(tree):
    diffuse = tree.nodes.new("ShaderNodeBsdfDiffuse")
    link(tree, image_node(tree).outputs["Color"], diffuse.inputs["Color"])
    link(tree, diffuse.outputs["BSDF"], tree.nodes["Material Output"].inputs["Surface"])


def emission_colour(tree):
    emission = tree.nodes.new("ShaderNodeEmission")
    emission.inputs["Color"].default_value = (0.7, 0.2, 0.1, 1.0)
    emission.inputs["Strength"].default_value = 0.5
    link(tree, emission.outputs["Emission"], tree.nodes["Material Output"].inputs["Surface"])


def empty_normal_map(tree):
    normal_map = tree.nodes.new("ShaderNodeNormalMap")
    link(tree, normal_map.outputs["Normal"], principled(tree).inputs["Normal"])


def node_group(tree):
    group = bpy.data.node_groups.new("Look", "ShaderNodeTree")
    node = tree.nodes.new("ShaderNodeGroup")
    node.node_tree = group
    group.nodes.new("NodeGroupOutput")
    if hasattr(group, "interface"):
        group.interface.new_socket("Shader", in_out="OUTPUT", socket_type="NodeSocketShader")
    else:
        group.outputs.new("NodeSocketShader", "Shader")
    link(tree, node.outputs[0], tree.nodes["Material Output"].inputs["Surface"])


def separate_combine(tree):
    separate = tree.nodes.new("ShaderNodeSeparateXYZ")
    combine = tree.nodes.new("ShaderNodeCombineXYZ")
    link(tree, image_node(tree).outputs["Color"], separate.inputs[0])
    for axis in "XYZ":
        link(tree, separate.outputs[axis], combine.inputs[axis])
    link(tree, combine.outputs[0], principled(tree).inputs["Base Color"])


def mapping(tree, vector_type):
    node = tree.nodes.new("ShaderNodeMapping")
    node.vector_type = vector_type
    node.inputs["Rotation"].default_value = (0.0, 0.0, 0.5)
    node.inputs["Scale"].default_value = (2.0, 0.5, 1.0)
    if "Location" in node.inputs:
        node.inputs["Location"].default_value = (0.25, -0.5, 0.0)
    uv_map = tree.nodes.new("ShaderNodeUVMap")
    uv_map.uv_map = "UVMap"
    link(tree, uv_map.outputs["UV"], node.inputs["Vector"])
    return node


def point_mapping(tree):
    image = image_node(tree)
    link(tree, mapping(tree, "POINT").outputs["Vector"], image.inputs["Vector"])
    link(tree, image.outputs["Color"], principled(tree).inputs["Base Color"])


def texture_mapping(tree):
    image = image_node(tree)
    link(tree, mapping(tree, "TEXTURE").outputs["Vector"], image.inputs["Vector"])
    link(tree, image.outputs["Color"], principled(tree).inputs["Base Color"])


def mappings_that_disagree(tree):
    point_mapping(tree)
    link(tree, image_node(tree).outputs["Alpha"], principled(tree).inputs["Alpha"])


def clamped_beyond_its_edge(tree):
    point_mapping(tree)
    next(n for n in tree.nodes if n.type == "TEX_IMAGE").extension = "EXTEND"


# Each shape, and a text every warning about the material must hold (None: no warning).
SHAPES = [
    (linked_base_colour, None),
    (mix_multiply, None),
    (mix_rgb_through_reroute, None),
    (diffuse_with_image, None),
    (emission_colour, None),
    (empty_normal_map, None),
    (node_group, "is not followed"),
    (separate_combine, "Combine XYZ"),
    (point_mapping, None),
    (texture_mapping, None),
    (mappings_that_disagree, "written untransformed"),
    (clamped_beyond_its_edge, "cannot say so"),
]


def export_warnings(label, info=None):
    path = os.path.join(harness.out_dir("materials", label), label + ".xml")
    return addon.exporter.export(bpy.context, path, info=info)


def expect_clean(label):
    cmp = roundtrip.round_trip(label, addon)
    harness.check(cmp.values > 0, "nothing was compared")
    harness.check(not cmp.mismatches, "%d mismatches, first: %s" % (len(cmp.mismatches), cmp.mismatches[:3]))


def each(cases, case):
    """Runs case on every item and fails once at the end, naming every item that failed."""
    failures = []
    for item in cases:
        harness.empty_scene()
        try:
            case(*item)
        except harness.Failure as failure:
            failures.append(str(failure))
    harness.check(not failures, "%d of %d failed:\n  %s" % (len(failures), len(cases), "\n  ".join(failures)))


def test_node_shapes():
    each(SHAPES, node_shape)


def node_shape(build, warning):
    label = "shape-" + build.__name__
    bpy.ops.mesh.primitive_plane_add()
    material = bpy.data.materials.new(build.__name__)
    material.use_nodes = True
    material.node_tree.nodes["Principled BSDF"].inputs["Base Color"].default_value = (0.8, 0.8, 0.8, 1.0)
    build(material.node_tree)
    bpy.context.object.data.materials.append(material)
    lines = []
    about = [w for w in export_warnings(label, lines.append) if material.name in w]
    if "mapping" in label:
        baked = [line for line in lines if "baked" in line]
        harness.check(len(baked) == (0 if warning else 1), "%s: info lines %s" % (label, lines))
    if warning is None:
        harness.check(not about, "%s: unexpected warnings %s" % (label, about))
        expect_clean(label)
    else:
        harness.check(len(about) == 1 and warning in about[0], "%s: expected one warning with %r, got %s"
                      % (label, warning, about))


# Each sample, and the text of its material warnings (None: no warning).
SAMPLES = [
    # Blender mirrors its u by nodes between the UV Map and the image.
    ("gltf-box-textured", "glTF2/BoxTextured-glTF/BoxTextured.gltf", "Combine XYZ"),
    # Its rotated and scaled tiles are clamped where their uvs leave 0..1.
    ("gltf-texture-transform", "glTF2/textureTransform/TextureTransformTest.gltf", "cannot say so"),
    ("gltf-texcoord-crash", "glTF2/issue_3269/texcoord_crash.gltf", None),
    ("gltf-box-specular-glossiness", "glTF2/BoxTextured-glTF-pbrSpecularGlossiness/BoxTextured.gltf", None),
    ("fbx-box-empty-normal-map", "FBX/box.fbx", None),  # its material has an empty Normal Map node
]


def test_real_samples():
    each(SAMPLES, real_sample)


def real_sample(label, path, warning):
    if path.endswith(".fbx"):
        bpy.ops.import_scene.fbx(filepath=harness.model(path))
    else:
        bpy.ops.import_scene.gltf(filepath=harness.model(path))
    lost = [w for w in export_warnings(label) if "Material" in w]
    expected = [w for w in lost if warning is not None and warning in w]
    harness.check(lost == expected and bool(expected) == (warning is not None),
                  "%s: material warnings %s" % (label, lost))
    expect_clean(label)


if __name__ == "__main__":
    harness.run(globals())
