"""bxml-host's glTF against Blender's own glTF exporter, in one Blender run.

Each scene of the round trips is exported with the add-on, written as glTF by
bxml-host (Swap model on, so the file is Y up as Blender's is) and exported
again by Blender's glTF exporter (GLB, lights, every frame sampled); the two
files are compared value by value with tools/gltf-compare, and every file
bxml-host writes must be clean in the Khronos validator.

Where Blender's exporter follows conventions of its own, the comparison
accounts for them:
- Bone nodes: Blender turns each bone's local axes with the scene (its bone
  world matrices are ours times the axis turn); skinned positions agree.
- Joint names: a bone named like its armature is "NAME.bone" in ours (the
  skeleton's root bone carries the armature's name, matched with Blender's
  armature node); the neutral joint of unweighted vertices is "skeleton root"
  in ours and "neutral_bone" in Blender's.
- Key times: Blender's run from frame 0 of the scene, ours from the action's
  first frame.
- uvs: ours puts the uv map that feeds the base colour image in TEXCOORD_0,
  Blender keeps the mesh's order and points the texture at it, so the uv a
  viewer uses for the base colour is compared. Meshes without a uv map or a
  colour layer get placeholders in ours (the host always holds both).
- Colours: Blender 3.4's exporter writes wrong COLOR_0 for face-corner
  colours, so our colours are compared with the colours Blender holds.
- Lights: a point light has no direction; the spot's inner cone comes from
  Blender's spot blend, which the scene file does not carry (the outer cone
  is compared); intensities relative to their size.
- Nodes parented to a bone are children of the bone node in Blender's file
  and rigidly skinned to it in ours: their weights are not compared.
"""

import math
import os
import subprocess
import sys

import bpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import scenes  # noqa: E402

sys.path.insert(0, os.path.join(harness.ROOT, "tools", "gltf-compare"))
import compare_gltf  # noqa: E402

addon = harness.load_addon()
VALIDATOR = os.path.join(harness.ROOT, "tools", "gltf-validate", "validate.js")
TOLERANCE = 1e-4
# (x, y, z) -> (x, z, -y), column-major.
TURN = [1.0, 0, 0, 0, 0, 0, -1.0, 0, 0, 1.0, 0, 0, 0, 0, 0, 1.0]


def turned(v):
    return (v[0], v[2], -v[1])


def write_both(label, fault=None):
    """Our .glb and Blender's .glb of the open scene; ours is validated."""
    folder = harness.out_dir("gltf", label)
    xml_path = os.path.join(folder, label + ".xml")
    addon.exporter.export(bpy.context, xml_path)
    harness.check_clean(xml_path)
    ours = os.path.join(folder, label + ".glb")
    # The tests' build of the tool, beside bxml-host, makes the fault.
    tool = [os.path.join(os.path.dirname(harness.host_tool()), "bxml-host-faults"), "--gltf-fault", fault] \
        if fault else [harness.host_tool()]
    command = tool + ["--lights", "on", "--prune-bones", "off", "--swap-model", "on", "--gltf", ours, xml_path]
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    harness.check(result.returncode == 0, "bxml-host failed:\n" + result.stdout)
    theirs = os.path.join(folder, label + ".blender.glb")
    bpy.ops.export_scene.gltf(filepath=theirs, export_format="GLB", export_lights=True,
                              export_animations=True, export_force_sampling=True, export_frame_range=False)
    if not fault:
        validate(ours)
    return ours, theirs


def validate(path):
    """The validator must find no error and no warning."""
    result = subprocess.run(["node", VALIDATOR, path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    for line in result.stdout.splitlines():
        print("  validator:", line)
    harness.check(any(": 0 errors, 0 warnings" in line for line in result.stdout.splitlines()),
                  "the validator found errors or warnings in " + path)


# --- facts of both files, brought to common conventions ----------------------------


def rest_positions(g, node_index, attributes):
    """World positions of a primitive's vertices at rest, through the skin
    when the node has one."""
    node = g.nodes[node_index]
    positions = g.accessor(attributes["POSITION"])
    if "skin" not in node or "JOINTS_0" not in attributes:
        world = g.world(node_index)
        return [compare_gltf.transform_point(world, p) for p in positions]
    skin = g.doc["skins"][node["skin"]]
    ibms = g.accessor(skin["inverseBindMatrices"]) if "inverseBindMatrices" in skin \
        else [compare_gltf.IDENTITY] * len(skin["joints"])
    matrices = [compare_gltf.multiply(g.world(j), ibm) for j, ibm in zip(skin["joints"], ibms)]
    out = []
    for p, joints, weights in zip(positions, g.accessor(attributes["JOINTS_0"]), g.accessor(attributes["WEIGHTS_0"])):
        total = [0.0, 0.0, 0.0]
        for j, w in zip(joints, weights):
            if w > 0:
                total = [a + w * b for a, b in zip(total, compare_gltf.transform_point(matrices[int(j)], p))]
        out.append(tuple(total))
    return out


def viewer_uvs(g):
    """{node name: [(position, uv)]}: the uv of each vertex that the base
    colour image is drawn with (TEXCOORD_0 without an image)."""
    out = {}
    for node_index, node in enumerate(g.nodes):
        if "mesh" not in node:
            continue
        for primitive in g.doc["meshes"][node["mesh"]]["primitives"]:
            channel = 0
            if "material" in primitive:
                texture = g.doc["materials"][primitive["material"]].get("pbrMetallicRoughness", {}).get(
                    "baseColorTexture")
                channel = texture.get("texCoord", 0) if texture else 0
            attributes = primitive["attributes"]
            if "TEXCOORD_%d" % channel not in attributes:
                continue
            positions = rest_positions(g, node_index, attributes)
            uvs = g.accessor(attributes["TEXCOORD_%d" % channel])
            out.setdefault(g.name(node_index), []).extend(p + tuple(uv) for p, uv in zip(positions, uvs))
    return out


def our_colours(g):
    """{node name: [(position, rgb)]} of the unskinned meshes."""
    out = {}
    for node_index, node in enumerate(g.nodes):
        if "mesh" not in node or "skin" in node:
            continue
        world = g.world(node_index)
        for primitive in g.doc["meshes"][node["mesh"]]["primitives"]:
            attributes = primitive["attributes"]
            if "COLOR_0" in attributes:
                out.setdefault(g.name(node_index), []).extend(
                    compare_gltf.transform_point(world, p) + tuple(c[:3])
                    for p, c in zip(g.accessor(attributes["POSITION"]), g.accessor(attributes["COLOR_0"])))
    return out


def blender_colours(obj):
    """(position, linear rgb) of every corner of a mesh's render colour layer,
    as Blender holds them, in glTF's axes."""
    mesh = obj.data
    index = mesh.color_attributes.render_color_index
    layer = mesh.color_attributes[index if 0 <= index < len(mesh.color_attributes) else 0]
    out = []
    for loop in mesh.loops:
        element = layer.data[loop.index if layer.domain == "CORNER" else loop.vertex_index]
        position = turned(obj.matrix_world @ mesh.vertices[loop.vertex_index].co)
        out.append(position + tuple(element.color[:3]))
    return out


class Names:
    """Our joint names mapped to Blender's, and which of them are bones
    (whose local axes Blender turns)."""

    def __init__(self, objects):
        self.to_blender = {"skeleton root": "neutral_bone"}
        self.bones = set()
        self.armatures = set()
        for obj in objects:
            if obj.type != "ARMATURE":
                continue
            # Our skeleton root bone stands for the armature object's node.
            self.to_blender[obj.name] = "armature " + obj.name
            self.armatures.add(obj.name)
            for bone, in_file in addon.exporter.file_bone_names(obj).items():
                self.to_blender[in_file] = bone
                self.bones.add(bone)

    def map(self, name):
        return self.to_blender.get(name, name)


def ancestors(g, i):
    while i in g.parent:
        i = g.parent[i]
        yield i


def our_joints(g, names):
    """World matrices of our skeletons' nodes (skinned or not),
    under Blender's names and with Blender's bone axes."""
    # Without a skin there is no neutral root: the armature's bone is on top.
    roots = {i for i in range(len(g.nodes)) if g.name(i) == "skeleton root" or
             (i not in g.parent and g.name(i) in names.armatures)}
    out = {}
    for i in range(len(g.nodes)):
        if g.name(i) == "skeleton root" or not (roots & ({i} | set(ancestors(g, i)))):
            continue
        blender = names.map(g.name(i))
        m = g.world(i)
        out[blender] = compare_gltf.multiply(m, TURN) if blender in names.bones else m
    return out


def their_joints(g, names):
    """World matrices of the armature nodes (as "armature NAME": a bone may
    share the name) and of the bone nodes below them, skinned or not."""
    armature_nodes = {}
    for i in range(len(g.nodes)):
        n = g.name(i)
        if n in names.armatures and not any(g.name(a) == n for a in ancestors(g, i)):
            armature_nodes.setdefault(n, i)
    out = {"armature " + n: g.world(i) for n, i in armature_nodes.items()}
    below = set(armature_nodes.values())
    for i in range(len(g.nodes)):
        if g.name(i) in names.bones and i not in below and below & set(ancestors(g, i)):
            out[g.name(i)] = g.world(i)
    return out


def skinned_nodes(g):
    return {g.name(i) for i, n in enumerate(g.nodes) if "skin" in n}


def influences(vertices, rename, keep, joints):
    """(position, weight of each joint in the order of joints) per skinned vertex."""
    out = []
    for v in vertices:
        if v[4] and v[0] in keep:
            weights = dict((rename(n), w) for n, w in v[4])
            out.append(tuple(v[1]) + tuple(weights.get(j, 0.0) for j in joints))
    return out


def animation_names():
    """Action name -> the name Blender's exporter gives its animation: the NLA
    track holding the action, else the action's own."""
    out = {a.name: a.name for a in bpy.data.actions}
    for obj in bpy.context.scene.objects:
        if obj.animation_data is not None:
            for track in obj.animation_data.nla_tracks:
                for strip in track.strips:
                    if strip.action is not None:
                        out[strip.action.name] = track.name
    return out


def animated(g, names, shift, ours):
    """{"animation t=T node": world matrix}, times from the action's start."""
    out = {}
    renamed = animation_names()
    for animation, frames in g.animations().items():
        start = shift.get(animation, 0.0) if not ours else 0.0
        animation = renamed.get(animation, animation) if ours else animation
        for t, nodes in frames.items():
            for node, m in nodes.items():
                if ours:
                    name = names.map(node)
                elif node in names.armatures and node not in names.bones:
                    name = "armature " + node
                else:
                    name = node
                if ours and name in names.bones:
                    m = compare_gltf.multiply(m, TURN)
                out["%s t=%.4f %s" % (animation, t - start, name)] = m
    return out


def compare_colours(report, ours, blender):
    """The host holds one colour per vertex: where Blender's corners of one
    vertex differ, ours must hold one of them, and every corner's position
    must have a colour in ours."""
    mismatches, largest = [], 0.0
    at_position = compare_gltf.bucketed(blender, report.tolerance)
    for value in sorted(set(ours)):
        d = compare_gltf.nearest_difference(value, compare_gltf.near(at_position, value, report.tolerance))
        largest = max(largest, d if d != math.inf else largest)
        if d > report.tolerance:
            mismatches.append("our %s is no colour Blender holds there" % compare_gltf.fmt(value))
    ours_at = compare_gltf.bucketed([c[:3] for c in ours], report.tolerance)
    for value in sorted({c[:3] for c in blender}):
        if compare_gltf.nearest_difference(value, compare_gltf.near(ours_at, value, report.tolerance)) \
                > report.tolerance:
            mismatches.append("Blender's corner at %s has no colour in ours" % compare_gltf.fmt(value))
    report.row("colours against Blender's data", len(set(ours)) + len(blender), mismatches, largest)


def relative(values):
    return {name: tuple(x / max(1.0, abs(x)) for x in value) for name, value in values.items()}


def compare_files(ours_path, theirs_path):
    """The comparison report of our file against Blender's, for the open scene."""
    ours, theirs = compare_gltf.read_glb(ours_path), compare_gltf.read_glb(theirs_path)
    objects = list(bpy.context.scene.objects)
    meshes = [o for o in objects if o.type == "MESH"]
    names = Names(objects)
    report = compare_gltf.Report(TOLERANCE)

    # Vertices carry their node's name in our file, their mesh's in Blender's.
    va = [(v[0],) + v[1:] for v in ours.vertices()]
    vb = theirs.vertices()
    compare_gltf.compare_sets(report, "vertex positions", [v[1] for v in va], [v[1] for v in vb])

    with_uvs = {o.name for o in meshes if len(o.data.uv_layers)}
    ua, ub = viewer_uvs(ours), viewer_uvs(theirs)
    compare_gltf.compare_sets(report, "uvs (position, base colour uv)",
                              [u for n in with_uvs for u in ua.get(n, [])],
                              [u for n in with_uvs for u in ub.get(n, [])])

    mesh_names = {o.data.name: o.name for o in meshes}
    skinned = {mesh_names.get(n, n) for n in skinned_nodes(theirs)}
    ca = our_colours(ours)
    with_colours = [o for o in meshes if len(o.data.color_attributes) and o.name not in skinned]
    compare_colours(report, [c for o in with_colours for c in ca.get(o.name, [])],
                    [c for o in with_colours for c in blender_colours(o)])

    vb_named = [(mesh_names.get(v[0], v[0]),) + v[1:] for v in vb]
    joints = sorted(set(names.to_blender.values()))
    compare_gltf.compare_sets(report, "four largest weights (position, weights)",
                              influences(va, names.map, skinned, joints),
                              influences(vb_named, lambda n: n, skinned, joints))

    compare_gltf.compare_named(report, "bone rest world matrices", our_joints(ours, names),
                               their_joints(theirs, names))

    fps = bpy.context.scene.render.fps / bpy.context.scene.render.fps_base
    renamed = animation_names()
    shift = {renamed[a.name]: a.frame_range[0] / fps for a in bpy.data.actions}
    aa, ab = animated(ours, names, shift, True), animated(theirs, names, shift, False)
    # A node one file animates and the other leaves still stands at rest there.
    rest_a, rest_b = our_joints(ours, names), their_joints(theirs, names)
    for mine, other, rest in ((aa, ab, rest_b), (ab, aa, rest_a)):
        for key in set(mine) - set(other):
            node = key[key.index(" t=") + 1:].split(" ", 1)[1]
            if node in rest:
                other[key] = rest[node]
    compare_gltf.compare_named(report, "animated world matrices", aa, ab)

    la, lb = ours.lights(), theirs.lights()
    compare_gltf.compare_named(report, "light positions", {n: l["position"] for n, l in la.items()},
                               {n: l["position"] for n, l in lb.items()})
    aimed = lambda lights: {n: l["direction"] for n, l in lights.items() if l["type"] != "point"}
    compare_gltf.compare_named(report, "light directions", aimed(la), aimed(lb))
    cone = lambda lights: {n: l["cone"][1:] for n, l in lights.items() if l["cone"]}
    compare_gltf.compare_named(report, "spot outer cone angles", cone(la), cone(lb))
    compare_gltf.compare_named(report, "light colours", {n: l["color"] for n, l in la.items()},
                               {n: l["color"] for n, l in lb.items()})
    compare_gltf.compare_named(report, "light intensities (relative)",
                               relative({n: l["intensity"] for n, l in la.items()}),
                               relative({n: l["intensity"] for n, l in lb.items()}))
    types = [n for n in la if n in lb and la[n]["type"] != lb[n]["type"]]
    report.row("light types", len(set(la) & set(lb)), types, 0.0)
    return report


def record(label, report):
    compared = sum(r["compared"] for r in report.rows)
    mismatches = sum(r["mismatches"] for r in report.rows)
    print("GLTF %-28s %9d values %6d mismatches" % (label, compared, mismatches))
    for r in report.rows:
        print("   %-34s %7d compared %5d mismatches  largest %.3g" % (
            r["quantity"], r["compared"], r["mismatches"], r["largest difference"]))
        for m in r["first mismatches"][:3]:
            print("      ", m)
    with open(os.path.join(harness.out_dir(), "gltf-table.txt"), "a", encoding="utf-8") as f:
        f.write("%-28s %9d values %6d mismatches\n" % (label, compared, mismatches))
    return compared, mismatches


def expect_equal(label):
    ours, theirs = write_both(label)
    compared, mismatches = record(label, compare_files(ours, theirs))
    harness.check(compared > 0, "nothing was compared")
    harness.check(mismatches == 0, "%d mismatches against Blender's glTF" % mismatches)


# --- the scenes of the round trips ----------------------------------------------------


def test_default_cube():
    harness.start_up_scene()
    expect_equal("default-cube")


def test_textured_sheet():
    scenes.textured_sheet()
    expect_equal("textured-sheet")


def test_rig_with_actions():
    scenes.rig()
    expect_equal("rig")


def test_lights_camera_and_mirror():
    scenes.lights_and_camera()
    expect_equal("lights-camera")


def test_special_names():
    scenes.special_names()
    expect_equal("special-names")


def test_skinned_fbx_with_action():
    harness.import_model("fbx-animation-skeleton")
    expect_equal("fbx-animation-skeleton")


def test_gltf_simple_skin():
    harness.import_model("gltf-simple-skin")
    expect_equal("gltf-simple-skin")


def test_textured_obj():
    harness.import_model("obj-spider")
    expect_equal("obj-spider")


def test_textured_fbx():
    harness.import_model("fbx-spider")
    expect_equal("fbx-spider")


def test_bvh_short_take():
    harness.import_model("bvh-01_01-short")
    expect_equal("bvh-01_01-short")


# --- the writer broken on purpose ----------------------------------------------------------


def expect_caught(fault, quantities):
    """With the fault, the named quantities must mismatch."""
    scenes.textured_sheet()
    scenes.rig()
    scenes.lights_and_camera()
    ours, theirs = write_both("fault-" + fault, fault)
    report = compare_files(ours, theirs)
    record("fault-" + fault, report)
    caught = {r["quantity"] for r in report.rows if r["mismatches"]}
    harness.check(set(quantities) <= caught, "the fault %s went unnoticed in %s (caught: %s)" % (
        fault, sorted(set(quantities) - caught), sorted(caught)))


def test_fault_no_axis_turn_is_caught():
    expect_caught("no-axis-turn", ["vertex positions", "light directions", "animated world matrices"])


def test_fault_no_srgb_conversion_is_caught():
    expect_caught("no-srgb-conversion", ["colours against Blender's data", "light colours"])


def test_fault_keys_not_recomposed_is_caught():
    expect_caught("bind-relative-keys", ["animated world matrices"])


harness.run(globals())
