"""Exporter tests inside Blender: small scenes built in code, exported, and
the XML checked against what the importer's reader needs."""

import math
import os
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

import bpy

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import harness  # noqa: E402
import scenes  # noqa: E402
from harness import check, check_equal  # noqa: E402

addon = harness.load_addon()
text = addon.text

LIST_ELEMENTS = ("vertices", "normals", "indices", "uvset", "colors", "materials", "weights", "matrix")
# One line; numbers separated by single spaces; groups by commas; an empty
# group is a single space.
NUMBER = r"-?\d+(\.\d+)?(e-?\d+)?"
GROUP = r"(%s( %s)*| )" % (NUMBER, NUMBER)
LIST = re.compile(r"^%s(,%s)*$" % (GROUP, GROUP))


def export(name, expected_findings=(), **options):
    path = os.path.join(harness.out_dir("export"), name + ".xml")
    warnings = addon.exporter.export(bpy.context, path, **options)
    harness.check_clean(path, expected_findings)
    with open(path, "rb") as f:
        raw = f.read()
    return ET.fromstring(raw), raw, warnings


def numbers(element):
    """The numbers of a list, as the 32-bit floats the reader makes of them."""
    return [text.to_float32(float(t)) for t in element.text.replace(",", " ").split()]


def groups(element):
    return [g.split() for g in element.text.split(",")]


def geometry(root, name):
    found = [g for g in root.iter("geometry") if g.get("name") == name]
    check_equal(len(found), 1, "geometries named %s" % name)
    return found[0]


def scene_object(root, name):
    found = [o for o in root.iter("object") if o.get("name") == name]
    check_equal(len(found), 1, "objects named %s" % name)
    return found[0]


def test_number_lists_are_one_line_shortest_numbers():
    scenes.textured_sheet()
    scenes.rig()
    scenes.lights_and_camera()
    root, _, _ = export("lists")
    seen = 0
    for element in root.iter():
        is_list = element.get("count") is not None or element.tag == "matrix"
        if element.tag in LIST_ELEMENTS and is_list and element.text:
            seen += 1
            check(LIST.match(element.text), "%s is not a one-line number list: %r" % (element.tag, element.text[:80]))
            for token in element.text.replace(",", " ").split():
                value = float(token)
                check(math.isfinite(value), "%s holds %s" % (element.tag, token))
                check_equal(token, text.number(value), "shortest text of %s" % token)
    check(seen > 20, "only %d lists were seen" % seen)


def test_counts_match_the_lists():
    scenes.textured_sheet()
    scenes.rig()
    root, _, _ = export("counts")
    for g in root.iter("geometry"):
        vertices = int(g.find("vertices").get("count"))
        check_equal(len(numbers(g.find("vertices"))), 3 * vertices, "%s vertex numbers" % g.get("name"))
        faces = groups(g.find("indices"))
        check_equal(int(g.find("indices").get("count")), len(faces), "%s face count" % g.get("name"))
        corners = sum(len(f) for f in faces)
        check(all(len(f) in (3, 4) for f in faces), "faces of 3 or 4 corners only")
        check(all(0 <= int(i) < vertices for f in faces for i in f), "indices in range")
        for uv in g.findall("uvset"):
            check_equal(int(uv.get("count")), corners, "uv pairs")
            check_equal(len(numbers(uv)), 2 * corners, "uv numbers")
        colours = g.find("colors")
        if colours is not None:
            check_equal(len(numbers(colours)), 3 * corners, "colour numbers")
        materials = g.find("materials")
        if materials is not None:
            check_equal(len(numbers(materials)), len(faces), "material numbers")
        weights = g.find("weights")
        if weights is not None:
            per_vertex = groups(weights)
            check_equal(len(per_vertex), vertices, "weight groups")
            check_equal(int(weights.get("maxBonePerVertex")), max(len(p) for p in per_vertex) // 2, "maxBonePerVertex")
            links = len(g.find("links"))
            check(all(0 <= int(p[k]) < links for p in per_vertex for k in range(0, len(p), 2)), "link indices")


def test_ngon_is_triangulated_in_place_and_materials_follow():
    scenes.textured_sheet()
    root, _, _ = export("ngon")
    g = geometry(root, "Sheet")
    faces = groups(g.find("indices"))
    check_equal([len(f) for f in faces], [4, 3, 3, 3, 3, 3], "corners per face")
    ngon = set(scenes.SHEET_FACES[2])
    check(all({int(i) for i in f} <= ngon for f in faces[2:]), "the triangles lie on the n-gon")
    names = [m.get("name") for m in root.iter("material")]
    by_face = [names[int(i)] for i in g.find("materials").text.split()]
    check_equal(by_face, ["Textured", "Plain"] + ["Textured"] * 4, "face materials")
    check_equal([uv.get("name") for uv in g.findall("uvset")], ["UVMap", "Detail"], "uv set names")
    textured = [m for m in root.iter("material") if m.get("name") == "Textured"][0]
    slot = textured.find("texture")
    check_equal((slot.get("map_type"), slot.find("uvset").text), ("diffuse color", "Detail"), "texture slot")
    image = root.find("images/image")
    check_equal(image.get("url"), "Checker.png", "generated image url")
    check(os.path.isfile(os.path.join(harness.out_dir("export"), "Checker.png")), "the generated image was saved")


def test_alpha_and_normal_map_slots():
    obj = scenes.textured_sheet()
    material = obj.data.materials[1]
    tree = material.node_tree
    bsdf = tree.nodes["Principled BSDF"]
    colour_image = tree.nodes["Image Texture"]
    tree.links.new(colour_image.outputs["Alpha"], bsdf.inputs["Alpha"])
    bumps = bpy.data.images.new("Bumps", 4, 4)
    normal_image = tree.nodes.new("ShaderNodeTexImage")
    normal_image.image = bumps
    normal_map = tree.nodes.new("ShaderNodeNormalMap")
    tree.links.new(normal_image.outputs["Color"], normal_map.inputs["Color"])
    tree.links.new(normal_map.outputs["Normal"], bsdf.inputs["Normal"])
    root, _, warnings = export("slots")
    textured = [m for m in root.iter("material") if m.get("name") == "Textured"][0]
    slots = [(t.get("map_type"), t.get("name"), t.findtext("uvset")) for t in textured.findall("texture")]
    check_equal(slots, [("diffuse color", "Checker", "Detail"), ("alpha", "Checker", "Detail"), ("normal", "Bumps", "UVMap")],
                "slots (the normal map without a UV Map node takes the mesh's render map)")
    check_equal([t.get("name") for t in root.iter("texture") if t.get("type") == "image"], ["Checker", "Bumps"], "textures")
    check_equal([i.get("url") for i in root.findall("images/image")], ["Checker.png", "Bumps.png"], "one image each")
    check(not warnings, "nothing to warn about: %s" % warnings)


def test_object_matrices_are_world_matrices():
    made = scenes.lights_and_camera()
    root, _, _ = export("matrices")
    for obj in bpy.context.scene.objects:
        element = scene_object(root, obj.name).find("matrix")
        check_equal(element.get("rows"), "4", "matrix rows")
        rows = [[text.to_float32(float(t)) for t in g.split()] for g in element.text.split(",")]
        expected = [[text.to_float32(v) for v in row] for row in obj.matrix_world]
        check_equal(rows, expected, "%s matrix" % obj.name)
    check_equal(scene_object(root, made["SPOT"].name).findtext("parent"), "Pivot", "parent")


def test_bone_named_like_its_armature_is_renamed_everywhere():
    arm = scenes.rig()
    root, _, warnings = export("rename")
    skeleton = root.find("skeletons/skeleton")
    check_equal(skeleton.get("name"), "Rig", "skeleton name")
    names = [b.get("name") for b in skeleton.iter("bone")]
    check_equal(names, ["Rig.bone", "Mid", "Tip"], "bones in nesting order")
    check_equal([len(b.findall("bone")) for b in skeleton.iter("bone")], [1, 1, 0], "nesting")
    links = [l.get("name") for l in geometry(root, "Skin").iter("link")]
    check_equal(links, ["Rig.bone", "Mid", "Tip"], "links")
    nodes = [n.get("name") for n in root.find("animations/animation").iter("node")]
    check_equal(nodes, ["Rig.bone", "Mid", "Tip"], "animation nodes")
    gem = scene_object(root, "Gem")
    check_equal((gem.findtext("parent"), gem.findtext("bone")), ("Rig", "Tip"), "bone-parented object")
    check_equal(scene_object(root, "Skin").findtext("skeleton"), "Rig", "skinned mesh skeleton")
    check(any("Rig.bone" in w for w in warnings), "the rename is reported")
    check_equal(arm.data.bones[0].name, "Rig", "Blender's own bone keeps its name")


def test_animation_frames_cover_the_action_with_continuous_rotations():
    arm = scenes.rig()
    root, _, _ = export("animation")
    check_equal([a.get("name") for a in root.iter("animation")], ["Wave", "Bow"], "the active action, then the other")
    bow = root.findall("animations/animation")[1]
    check_equal(len(bow.find("skeleton/node").findall("frame")), 7, "frames 3 to 9 of the second action")
    check_equal(arm.animation_data.action.name, "Wave", "the active action is restored")
    animation = root.find("animations/animation")
    check_equal(animation.get("name"), "Wave", "animation name")
    check_equal(float(animation.get("fps")), 24.0, "fps from the scene")
    check_equal(animation.find("skeleton").get("name"), arm.name, "skeleton track")
    for node in animation.iter("node"):
        frames = node.findall("frame")
        check_equal([float(f.get("time")) for f in frames], [float(t) for t in range(20)], "frame times")
        previous = None
        for f in frames:
            r = f.find("rotation")
            q = [float(r.get(k)) for k in "xyzw"]
            if previous is not None:
                check(sum(a * b for a, b in zip(q, previous)) >= 0, "rotation sign flips in %s" % node.get("name"))
            previous = q


def test_action_without_a_fitting_slot_is_reported_not_written():
    if bpy.app.version < (4, 4, 0):
        raise harness.Skip("actions have slots from Blender 4.4 on")
    arm = scenes.rig()
    crowd = bpy.data.actions.new("Crowd")
    strip = crowd.layers.new("Layer").strips.new(type="KEYFRAME")
    for owner in ("Walker", "Runner"):
        curve = strip.channelbags.new(crowd.slots.new("OBJECT", owner)).fcurves.new('pose.bones["Hip"].location')
        curve.keyframe_points.insert(1, 0.0)
    arm.animation_data.action = crowd
    root, _, warnings = export("no-slot")
    check_equal([a.get("name") for a in root.iter("animation")], ["Bow", "Wave"], "the other actions, by name")
    check(any("Crowd" in w and "slot" in w for w in warnings), "no warning names the action: %s" % warnings)
    check_equal((arm.animation_data.action, arm.animation_data.action_slot), (crowd, None), "action and slot kept")


def test_vertex_without_influence_is_an_empty_group():
    arm = scenes.rig()
    obj = scenes.mesh_object("Strip", [(0, 0, 0), (1, 0, 0), (2, 0, 0), (3, 0, 0)], [(0, 1, 2), (1, 3, 2)], parent=arm)
    obj.modifiers.new("Armature", "ARMATURE").object = arm
    mid = obj.vertex_groups.new(name="Mid")
    tip = obj.vertex_groups.new(name="Tip")
    obj.vertex_groups.new(name="Not a bone").add([1], 1.0, "REPLACE")
    mid.add([0, 2], 1.0, "REPLACE")
    tip.add([2, 3], 1.0, "REPLACE")
    tip.add([0], 0.0, "REPLACE")  # zero influence is no influence
    root, _, _ = export("empty-group")
    weights = geometry(root, "Strip").find("weights")
    check_equal(weights.text, "0 1, ,0 1 1 1,1 1", "weights text")
    check_equal(weights.get("maxBonePerVertex"), "2", "maxBonePerVertex")
    check_equal([l.get("name") for l in geometry(root, "Strip").iter("link")], ["Mid", "Tip"], "only bones are links")


def test_names_are_escaped_utf8():
    scenes.special_names()
    root, raw, _ = export("names")
    raw.decode("utf-8")  # raises on anything that is not UTF-8
    check(b"&amp;" in raw and b"&lt;" in raw and b"&quot;" in raw, "special characters are escaped")
    found = {e.get("name") for e in root.iter() if e.get("name") is not None}
    for key in ("object", "uv0", "uv1", "image", "plain", "textured", "armature", "skin", "action", "point", "camera"):
        check(scenes.SPECIAL[key] in found, "%r is not in the file" % scenes.SPECIAL[key])
    check(scenes.SPECIAL["armature"] + ".bone" in found, "renamed bone")


def test_lights_and_cameras():
    made = scenes.lights_and_camera()
    area = bpy.data.objects.new("Panel", bpy.data.lights.new("Panel", "AREA"))
    scenes.link(area)
    root, _, warnings = export("lights")
    kinds = {l.get("name"): l.get("type") for l in root.iter("light")}
    check_equal(kinds, {"Lamp": "omni", "Sun": "directional", "Spot": "spot", "Panel": "omni"}, "light types")
    spot = [l for l in root.iter("light") if l.get("name") == "Spot"][0]
    check_equal(text.to_float32(float(spot.find("spot").get("angle"))), text.to_float32(50.0), "full cone angle in degrees")
    colour = spot.find("color")
    check_equal(colour.get("g"), text.number(addon.exporter.linear_to_srgb(0.8)), "light colour as displayed")
    check(any("Panel" in w and "area" in w for w in warnings), "area light reported")
    camera = root.find("cameras/camera")
    check_equal(camera.get("name"), "Eye", "camera name")
    check_equal(text.to_float32(float(camera.findtext("fov"))), text.to_float32(22.895193), "vertical fov at 16:9, 50 mm")
    clip = camera.find("clip")
    data = bpy.data.objects["Eye"].data
    check_equal((clip.get("near"), clip.get("far")), (text.number(data.clip_start), text.number(data.clip_end)), "clip")
    check(made["SUN"] is not None, "scene built")


def test_linear_colours_option():
    scenes.textured_sheet()
    root, _, _ = export("srgb")
    plain = [m for m in root.iter("material") if m.get("name") == "Plain"][0]
    check_equal(plain.find("diffuse").get("r"), text.number(addon.exporter.linear_to_srgb(0.8)), "sRGB by default")
    root, _, _ = export("linear", linear_colours=True)
    plain = [m for m in root.iter("material") if m.get("name") == "Plain"][0]
    check_equal(plain.find("diffuse").get("r"), "0.8", "scene-linear on request")


def test_what_cannot_be_written_is_reported():
    obj = scenes.textured_sheet()
    obj.data.uv_layers.new(name="Third")
    obj.modifiers.new("Smooth", "SUBSURF")
    missing = bpy.data.images.new("Gone", 4, 4)
    missing.source = "FILE"
    missing.filepath = "/nonexistent/gone.png"
    material = scenes.image_material("Uses gone", missing, None)
    bsdf = material.node_tree.nodes["Principled BSDF"]
    noise = material.node_tree.nodes.new("ShaderNodeTexNoise")
    material.node_tree.links.new(noise.outputs["Fac"], bsdf.inputs["Roughness"])
    obj.data.materials.append(material)
    arm = scenes.rig()
    track = arm.animation_data.nla_tracks.new()
    track.strips.new("strip", 1, bpy.data.actions.new("Other"))
    obj.keyframe_insert("location", frame=1)
    obj.shape_key_add(name="Basis")
    obj.shape_key_add(name="Bulge")
    # The importer will find no file for the missing image either.
    root, _, warnings = export("warnings", expected_findings=["image `Gone` names no file"])
    for needle in ("Third", "Smooth", "gone.png", "Roughness", "NLA", "own animation", "shape keys"):
        check(any(needle in w for w in warnings), "no warning mentions %r: %s" % (needle, warnings))
    check_equal(len(geometry(root, "Sheet").findall("uvset")), 2, "uv sets written")


def test_apply_modifiers_option():
    obj = scenes.textured_sheet()
    obj.modifiers.new("Smooth", "SUBSURF").levels = 1
    arm = scenes.rig()
    root, _, _ = export("raw")
    check_equal(geometry(root, "Sheet").find("vertices").get("count"), "11", "unapplied")
    bpy.context.scene.frame_set(14)  # a posed armature must not move the written rest shape
    root, _, _ = export("applied", apply_modifiers=True)
    check(int(geometry(root, "Sheet").find("vertices").get("count")) > 11, "subdivision applied")
    skin = bpy.data.objects["Skin"]
    written = numbers(geometry(root, "Skin").find("vertices"))[:3]
    check_equal(written, [text.to_float32(v) for v in skin.data.vertices[0].co], "armature modifier left out")
    check(skin.modifiers["Armature"].show_viewport, "armature modifier switched back on")
    check(arm.name == "Rig", "scene built")


def test_selection_only():
    made = scenes.lights_and_camera()
    for obj in bpy.context.scene.objects:
        obj.select_set(obj == made["SUN"])
    root, _, _ = export("selected", selection_only=True)
    check_equal([o.get("name") for o in root.iter("object")], ["Sun"], "selected objects")
    check(scene_object(root, "Sun").find("parent") is None, "a parent that is not written is not named")


def test_only_scene_content_is_written():
    scenes.rig()
    scenes.mesh_object("Kept", [(0, 0, 0), (1, 0, 0), (0, 1, 0)], [(0, 1, 2)])
    for name in ("Hidden", "Widget", "Shown widget"):
        scenes.mesh_object(name, [(0, 0, 0), (1, 0, 0), (0, 0, 1)], [(0, 1, 2)])
    pose = bpy.data.objects["Rig"].pose.bones
    pose["Mid"].custom_shape = bpy.data.objects["Widget"]
    pose["Tip"].custom_shape = bpy.data.objects["Shown widget"]
    for collection, member in (("Excluded kit", "Kit part"), ("glTF_not_exported", "Icosphere")):
        bpy.context.scene.collection.children.link(bpy.data.collections.new(collection))
        bpy.data.collections[collection].objects.link(
            bpy.data.objects.new(member, bpy.data.meshes.new(member)))
    bpy.context.view_layer.layer_collection.children["Excluded kit"].exclude = True
    bpy.data.objects["Hidden"].hide_set(True)
    bpy.data.objects["Widget"].hide_set(True)
    content = ["Rig", "Skin", "Gem", "Kept", "Shown widget"]
    for options, expected in (({}, content[:4] + ["Hidden"] + content[4:]), ({"visible_only": True}, content)):
        infos = []
        root, _, _ = export("content", info=infos.append, **options)
        check_equal([o.get("name") for o in root.iter("object")], expected, "objects written with %s" % options)
        check_equal([m.startswith("3 objects") for m in infos], [True], "one info line with the count: %s" % infos)


def test_collection_instances_are_objects_of_their_own():
    scene = bpy.context.scene
    kit, bolt = bpy.data.collections.new("Kit"), bpy.data.collections.new("Bolt")
    for collection in (kit, bolt):
        scene.collection.children.link(collection)
        bpy.context.view_layer.layer_collection.children[collection.name].exclude = True
    nut = bpy.data.objects.new("Nut", bpy.data.meshes.new("Nut"))
    nut.data.from_pydata([(0, 0, 0), (0.2, 0, 0), (0, 0.2, 0), (0, 0, 0.2)], [], [(0, 2, 1), (0, 1, 3), (1, 2, 3), (0, 3, 2)])
    nut.location = (0, 0, 1)
    bolt.objects.link(nut)
    block = bpy.data.objects.new("Block", bpy.data.meshes.new("Block"))
    block.data.from_pydata([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0)], [], [(0, 1, 2, 3)])
    block.location, block.rotation_euler = (1, 0, 0), (0.3, 0, 0.2)
    inner = bpy.data.objects.new("Inner", None)
    inner.instance_type, inner.instance_collection = "COLLECTION", bolt
    inner.location = (0, 2, 0)
    for obj in (block, inner):
        kit.objects.link(obj)
    kit.instance_offset = (0.5, 0, 0)
    spawner = scenes.link(bpy.data.objects.new("Spawner", None))
    spawner.instance_type, spawner.instance_collection = "COLLECTION", kit
    spawner.location, spawner.rotation_euler, spawner.scale = (5, 0, 0), (0, 0, 0.5), (2, 2, 2)
    bpy.context.view_layer.update()
    # What Blender draws: each instanced object with its world matrix.
    drawn = {i.object.original.name: i.matrix_world.copy()
             for i in bpy.context.evaluated_depsgraph_get().object_instances if i.is_instance}
    check_equal(sorted(drawn), ["Block", "Inner", "Nut"], "Blender's instances")
    root, _, _ = export("instances")
    written = {o.get("name"): o for o in root.iter("object")}
    check_equal(sorted(written), ["Spawner", "Spawner/Block", "Spawner/Inner", "Spawner/Inner/Nut"], "objects")
    for name, obj in written.items():
        if name == "Spawner":
            continue
        rows = [[float(t) for t in g.split()] for g in obj.find("matrix").text.split(",")]
        expected = drawn[name.rsplit("/", 1)[1]]
        check(all(abs(rows[r][c] - expected[r][c]) < 1e-5 for r in range(4) for c in range(4)),
              "%s: matrix %s, Blender draws it at %s" % (name, rows, expected))
        check_equal(obj.findtext("parent"), name.rsplit("/", 1)[0], "%s parent" % name)
    for name, source in (("Spawner/Block", block), ("Spawner/Inner/Nut", nut)):
        check_equal(geometry(root, name).find("vertices").get("count"), str(len(source.data.vertices)),
                    "%s vertices" % name)


def test_gltf_import_helpers_are_not_written():
    harness.import_model("gltf-simple-skin")
    if bpy.app.version >= (4, 0, 0):
        check("glTF_not_exported" in bpy.data.collections, "the importer keeps its bone shape apart")
    root, _, _ = export("gltf-helpers")
    check_equal(len(root.findall("geometries/geometry")), 1, "the sample skin's one mesh")


def test_non_finite_values_are_replaced_and_reported():
    obj = scenes.mesh_object("Bad", [(0, 0, 0), (1, 0, 0), (0, 1, 0)], [(0, 1, 2)])
    obj.data.vertices[1].co = (float("inf"), float("nan"), 1e39)
    root, raw, warnings = export("finite")
    check(b"inf" not in raw.lower() and b"nan" not in raw.lower(), "inf or nan written")
    check(any("finite" in w for w in warnings), "replacement reported")
    check_equal(numbers(geometry(root, "Bad").find("vertices"))[3:6], [text.to_float32(text.FLOAT32_MAX), 0.0, text.to_float32(text.FLOAT32_MAX)], "clamped")


def run_cli(*args):
    cli = os.path.join(harness.ADDON_DIR, "export_cli.py")
    blend = [a for a in args if a.endswith(".blend")]
    rest = [a for a in args if not a.endswith(".blend")]
    command = [bpy.app.binary_path, "-b", "--factory-startup"] + blend
    command += ["--python-exit-code", "1", "--python", cli, "--"] + rest
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)


def test_command_line_exports_start_up_scene_and_blend_files():
    out = os.path.join(harness.out_dir("export"), "cli.xml")
    result = run_cli(out)
    check_equal(result.returncode, 0, "exit code:\n" + result.stdout[-2000:])
    check_equal([o.get("name") for o in ET.parse(out).getroot().iter("object")], ["Cube", "Light", "Camera"],
                "start-up scene")

    made = scenes.lights_and_camera()
    for obj in bpy.context.scene.objects:
        obj.select_set(obj in (made["SPOT"], made["SUN"]))
    blend = os.path.join(harness.out_dir("export"), "cli-scene.blend")
    bpy.ops.wm.save_as_mainfile(filepath=blend, copy=True)
    result = run_cli(blend, out, "--selection-only", "--visible-only", "--apply-modifiers", "--linear-colours")
    check_equal(result.returncode, 0, "exit code:\n" + result.stdout[-2000:])
    root = ET.parse(out).getroot()
    check_equal([o.get("name") for o in root.iter("object")], ["Sun", "Spot"], "selected objects of the .blend")
    check_equal(root.find("lights/light/color").get("g"), "0.8", "linear colours")

    result = run_cli()
    check(result.returncode != 0, "a missing output path must fail")


def test_text_helpers():
    check_equal(text.number(0.1), "0.1", "0.1")
    check_equal(text.number(1e-7), "1e-7", "exponent")
    check_equal(text.number(-0.0), "0", "negative zero")
    check_equal(text.number(16777216.0), "16777216", "integer")
    check_equal(text.grouped([[0, 1], [], [1, 0.25]]), "0 1, ,1 0.25", "empty group")
    check_equal(text.escape_attribute('a<&>"\n'), "a&lt;&amp;&gt;&quot;&#10;", "attribute escaping")
    check_equal(text.finite(float("nan")), (0.0, True), "nan")
    for bits in range(0x3DCCCCC0, 0x3DCCCCD0):
        value = struct.unpack("<f", struct.pack("<I", bits))[0]
        check_equal(text.to_float32(float(text.number(value))), value, "round trip of %r" % value)


harness.run(globals())
