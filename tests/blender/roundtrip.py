"""The round trip: export the open scene, import the file with bxml-host
through the plug-in's exports, and compare the host model with what Blender
holds, read from Blender in the same run.

Tolerance: TOLERANCE relative to max(1, |expected|). The file carries each
number as the exact 32-bit float Blender holds, so the only differences are
the float32 arithmetic on both sides (placement by the object matrix, the
polar decomposition of object matrices, the bind-relative keys recomposed
here and chained through the bone hierarchy); those stay far below the
plug-in's own NEAR_EPSILON of 1e-4, which is used here.
"""

import json
import math
import os
import subprocess

import bpy
from mathutils import Matrix, Quaternion, Vector

import harness
import shading

TOLERANCE = 1e-4
GEOMETRY_TYPES = {"MESH", "CURVE", "SURFACE", "FONT", "META"}
LIGHT_TYPES = {"POINT": 0, "SUN": 1, "SPOT": 2, "AREA": 0}


class Comparison:
    """Counts the values compared and keeps the mismatches."""

    def __init__(self, label):
        self.label = label
        self.values = 0
        self.mismatches = []

    def miss(self, what, actual, expected):
        if len(self.mismatches) < 10000:
            self.mismatches.append("%s: host %r, Blender %r" % (what, actual, expected))

    def equal(self, actual, expected, what):
        self.values += 1
        if actual != expected:
            self.miss(what, actual, expected)

    def close(self, actual, expected, what, tolerance=TOLERANCE):
        actual, expected = list(actual), list(expected)
        self.values += len(expected)
        if len(actual) != len(expected):
            self.miss(what, actual, expected)
            return
        for a, e in zip(actual, expected):
            if not isinstance(a, (int, float)) or not abs(a - e) <= tolerance * max(1.0, abs(e)):
                self.miss(what, actual, expected)
                return

    def summary(self):
        return "%-28s %9d values %6d mismatches" % (self.label, self.values, len(self.mismatches))


def run_host(xml_path, swap):
    json_path = xml_path[:-4] + (".swap.json" if swap else ".json")
    command = [harness.host_tool(), "--lights", "on", "--prune-bones", "off",
               "--swap-model", "on" if swap else "off", "--json", json_path, xml_path]
    result = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if result.returncode != 0:
        raise harness.Failure("bxml-host failed (%d):\n%s" % (result.returncode, result.stdout))
    with open(json_path, encoding="utf-8") as f:
        return json.load(f)


def exported_objects():
    """The scene content the exporter must write: the objects of the view
    layer, less those of the glTF importer's helper collection and hidden
    bone widgets."""
    layer = bpy.context.view_layer
    widgets = {b.custom_shape for o in layer.objects if o.type == "ARMATURE" for b in o.pose.bones}
    return [o for o in bpy.context.scene.objects
            if o.name in layer.objects
            and "glTF_not_exported" not in {c.name for c in o.users_collection}
            and not (o in widgets and not o.visible_get())]


def armature_of(obj, objects):
    for modifier in obj.modifiers:
        if modifier.type == "ARMATURE" and modifier.object in objects:
            return modifier.object
    if obj.parent is not None and obj.parent_type == "ARMATURE" and obj.parent in objects:
        return obj.parent
    return None


def srgb(c):
    return c * 12.92 if c <= 0.0031308 else 1.055 * c ** (1 / 2.4) - 0.055


def diffuse_uv_name(material, mesh):
    """The uv map that feeds the image Blender draws the material's colour
    with, as its node graph says; "" without such an image."""
    texture = shading.diffuse_image(material) if material is not None else None
    if texture is None:
        return ""
    vector = texture.inputs["Vector"]
    if vector.is_linked and vector.links[0].from_node.type == "UVMAP" and vector.links[0].from_node.uv_map:
        return vector.links[0].from_node.uv_map
    return next((l.name for l in mesh.uv_layers if l.active_render), "")


def colour_layer(mesh):
    attributes = mesh.color_attributes
    if not len(attributes):
        return None
    index = attributes.render_color_index
    return attributes[index] if 0 <= index < len(attributes) else attributes[0]


def trs(position, rotation_xyzw, scale):
    x, y, z, w = rotation_xyzw
    return Matrix.LocRotScale(Vector(position), Quaternion((w, x, y, z)), Vector(scale))


def flat(matrix):
    return [matrix[r][c] for r in range(3) for c in range(4)]


# --- meshes ----------------------------------------------------------------------------


def compare_meshes(cmp, host, objects, bone_file_names):
    geometries = [o for o in objects if o.type in GEOMETRY_TYPES]
    cmp.equal(len(host["meshes"]), len(geometries), "mesh count")
    material_names = [m["name"] for m in host["materials"]]
    bone_names = {i: b["addedAs"] for i, b in enumerate(host["bones"])}
    base = 0
    for obj, hmesh in zip(geometries, host["meshes"]):
        depsgraph = bpy.context.evaluated_depsgraph_get()
        evaluated = obj.evaluated_get(depsgraph) if obj.type != "MESH" else obj
        mesh = evaluated.to_mesh() if obj.type != "MESH" else obj.data
        cmp.equal(hmesh["name"], obj.name, "mesh name")
        where = obj.name
        world = obj.matrix_world
        for v in mesh.vertices:
            cmp.close(host["vertices"][base + v.index]["position"], world @ v.co, "%s vertex %d position" % (where, v.index))
        compare_polygons(cmp, host, hmesh["polygons"], obj, mesh, base, material_names)
        compare_weights(cmp, host, obj, mesh, base, objects, bone_names, bone_file_names)
        base += len(mesh.vertices)
        if obj.type != "MESH":
            evaluated.to_mesh_clear()


def compare_polygons(cmp, host, polygons, obj, mesh, base, material_names):
    where = obj.name
    mirrored = obj.matrix_world.determinant() < 0
    layers = list(mesh.uv_layers)[:2]
    colours = colour_layer(mesh)
    moves = shading.uv_moves(obj, mesh)
    vertex_colour = {}
    index = 0
    for poly in mesh.polygons:
        n = poly.loop_total
        count = 1 if n <= 4 else n - 2
        hpolys = polygons[index:index + count]
        index += count
        if len(hpolys) != count:
            cmp.miss("%s polygon %d" % (where, poly.index), len(hpolys), count)
            return
        loop_of = {mesh.loops[l].vertex_index + base: l for l in poly.loop_indices}
        order = [mesh.loops[l].vertex_index + base for l in poly.loop_indices]
        if n <= 4:
            # A mirrored object's faces come back reversed: the host keeps them outward.
            cmp.equal(hpolys[0]["vertices"], order[::-1] if mirrored else order, "%s polygon %d corners" % (where, poly.index))
        else:
            compare_triangulation(cmp, hpolys, poly, mesh, base, mirrored, where)
        slot = obj.material_slots[poly.material_index] if poly.material_index < len(obj.material_slots) else None
        material = slot.material if slot is not None else None
        expected_material = material_names.index(material.name) if material is not None and material.name in material_names else -1
        uv_name = diffuse_uv_name(material, mesh)
        channels = (1, 0) if len(layers) > 1 and uv_name == layers[1].name and uv_name != layers[0].name else (0, 1)
        for hp in hpolys:
            cmp.equal(hp["material"], expected_material, "%s polygon %d material" % (where, poly.index))
            for corner, vertex in enumerate(hp["vertices"]):
                loop = loop_of.get(vertex)
                if loop is None:
                    continue
                for channel, layer_index in enumerate(channels):
                    if layer_index < len(layers):
                        u, v = moves.get(layers[layer_index].name, unmoved)(*layers[layer_index].data[loop].uv)
                        cmp.close(hp["uv%d" % channel][corner], (u, 1.0 - v),
                                  "%s polygon %d corner %d uv%d" % (where, poly.index, corner, channel))
                if colours is not None:
                    data = colours.data[mesh.loops[loop].vertex_index if colours.domain == "POINT" else loop]
                    vertex_colour[vertex] = list(data.color_srgb[:3]) + [1.0]
    cmp.equal(len(polygons), index, "%s polygon count" % where)
    for vertex, colour in vertex_colour.items():
        cmp.close(host["vertices"][vertex]["color"], colour, "%s vertex %d colour" % (where, vertex - base))


def unmoved(u, v):
    return u, v


def compare_triangulation(cmp, hpolys, poly, mesh, base, mirrored, where):
    """The triangles of an n-gon cover it: corners of the polygon, every corner
    used, each facing the polygon's way, and for a flat polygon areas adding
    up to the polygon's (Blender's area of a warped polygon is not the sum of
    any triangulation's)."""
    members = {mesh.loops[l].vertex_index + base for l in poly.loop_indices}
    used = set()
    area = 0.0
    for hp in hpolys:
        cmp.equal(hp["corners"], 3, "%s polygon %d triangle corners" % (where, poly.index))
        cmp.equal(set(hp["vertices"]) <= members, True, "%s polygon %d triangle vertices" % (where, poly.index))
        used.update(hp["vertices"])
        a, b, c = (mesh.vertices[v - base].co for v in hp["vertices"][:3])
        normal = (b - a).cross(c - a)
        facing = normal.dot(poly.normal) * (-1 if mirrored else 1)
        cmp.equal(facing > 0, True, "%s polygon %d triangle winding" % (where, poly.index))
        area += normal.length / 2
    cmp.equal(used, members, "%s polygon %d corners covered" % (where, poly.index))
    centre = poly.center
    size = max((mesh.vertices[v - base].co - centre).length for v in members)
    flat = all(abs((mesh.vertices[v - base].co - centre).dot(poly.normal)) <= 1e-5 * max(size, 1.0) for v in members)
    if flat:
        cmp.close([area], [poly.area], "%s polygon %d area" % (where, poly.index))


def compare_weights(cmp, host, obj, mesh, base, objects, bone_names, bone_file_names):
    armature = armature_of(obj, objects)
    expected_all = []
    if obj.parent is not None and obj.parent_type == "BONE" and obj.parent in objects:
        path = "%s::%s" % (obj.parent.name, bone_file_names[obj.parent.name][obj.parent_bone])
        expected_all = [{path: 1.0}] * len(mesh.vertices)
    elif armature is not None:
        deform = {b.name for b in armature.data.bones if b.use_deform}
        groups = {g.index: g.name for g in obj.vertex_groups if g.name in deform}
        for v in mesh.vertices:
            weights = {}
            for g in v.groups:
                if g.group in groups and g.weight > 0:
                    path = "%s::%s" % (armature.name, bone_file_names[armature.name][groups[g.group]])
                    weights[path] = weights.get(path, 0.0) + g.weight
            total = sum(weights.values())
            expected_all.append({k: w / total for k, w in weights.items()})
    else:
        expected_all = [{}] * len(mesh.vertices)
    for v, expected in enumerate(expected_all):
        actual = {bone_names.get(b, b): w for b, w in host["vertices"][base + v]["weights"]}
        cmp.equal(sorted(actual), sorted(expected), "%s vertex %d weighted bones" % (obj.name, v))
        for name, w in expected.items():
            if name in actual:
                cmp.close([actual[name]], [w], "%s vertex %d weight of %s" % (obj.name, v, name))


# --- skeletons and animations -------------------------------------------------------------


def host_world(bones, locals_):
    worlds = []
    for i, bone in enumerate(bones):
        local = locals_[i]
        parent = bone["parent"]
        worlds.append(worlds[parent] @ local if 0 <= parent < i else local)
    return worlds


def bind_locals(bones):
    return [trs(b["transform"]["position"], b["transform"]["rotation"], b["transform"]["scale"]) for b in bones]


def compare_skeletons(cmp, host, objects, bone_file_names):
    bones = host["bones"]
    index_of = {b["addedAs"]: i for i, b in enumerate(bones)}
    worlds = host_world(bones, bind_locals(bones))
    for arm in (o for o in objects if o.type == "ARMATURE"):
        names = bone_file_names[arm.name]
        root = index_of.get("%s::%s" % (arm.name, arm.name))
        cmp.equal(root is not None, True, "%s skeleton root" % arm.name)
        if root is None:
            continue
        cmp.close(flat(worlds[root]), flat(arm.matrix_world), "%s skeleton placement" % arm.name)
        for bone in arm.data.bones:
            i = index_of.get("%s::%s" % (arm.name, names[bone.name]))
            cmp.equal(i is not None, True, "%s bone %s present" % (arm.name, bone.name))
            if i is None:
                continue
            parent = root if bone.parent is None else index_of.get("%s::%s" % (arm.name, names[bone.parent.name]))
            cmp.equal(bones[i]["parent"], parent, "%s bone %s parent" % (arm.name, bone.name))
            cmp.close(flat(worlds[i]), flat(arm.matrix_world @ bone.matrix_local), "%s bone %s rest" % (arm.name, bone.name))


def compare_animations(cmp, host, objects, bone_file_names):
    """Every host animation against the action of its name, played on each
    armature whose bones it moves; every armature's active action must be
    among them."""
    bones = host["bones"]
    names = {a["name"] for a in host["animations"]}
    armatures = [o for o in objects if o.type == "ARMATURE"]
    for arm in armatures:
        if arm.animation_data is not None and arm.animation_data.action is not None:
            cmp.equal(arm.animation_data.action.name in names, True, "%s action present" % arm.name)
    for animation in host["animations"]:
        action = bpy.data.actions.get(animation["name"])
        cmp.equal(action is not None, True, "animation %s is an action" % animation["name"])
        if action is None:
            continue
        scene = bpy.context.scene
        cmp.close([animation["framesPerSecond"]], [scene.render.fps / scene.render.fps_base], "%s fps" % action.name)
        for arm in armatures:
            prefix = arm.name + "::"
            if any(t["rotation"] for b, t in zip(bones, animation["tracks"]) if b["addedAs"].startswith(prefix)):
                data = arm.animation_data_create()
                saved = data.action
                data.action = action
                try:
                    compare_action(cmp, bones, animation, arm, action, bone_file_names[arm.name])
                finally:
                    data.action = saved


def compare_action(cmp, bones, animation, arm, action, names):
    index_of = {b["addedAs"]: i for i, b in enumerate(bones)}
    binds = bind_locals(bones)
    scene = bpy.context.scene
    saved = scene.frame_current
    first, last = (int(round(f)) for f in action.frame_range)
    tracks = animation["tracks"]
    for k, frame in enumerate(range(first, last + 1)):
        scene.frame_set(frame)
        locals_ = list(binds)
        for i, track in enumerate(tracks):
            if not track["rotation"]:
                continue
            b = bones[i]["transform"]
            bind_r = Quaternion((b["rotation"][3], *b["rotation"][:3]))
            time, *p = track["position"][k]
            cmp.close([time], [k], "%s track %d key %d time" % (action.name, i, k))
            _, x, y, z, w = track["rotation"][k]
            _, *s = track["scale"][k]
            position = Vector(b["position"]) + bind_r @ Vector(p)
            rotation = bind_r @ Quaternion((w, x, y, z))
            scale = Vector([a * c for a, c in zip(s, b["scale"])])
            locals_[i] = Matrix.LocRotScale(position, rotation, scale)
        worlds = host_world(bones, locals_)
        for pose_bone in arm.pose.bones:
            i = index_of.get("%s::%s" % (arm.name, names[pose_bone.name]))
            if i is None:
                continue
            cmp.close(flat(worlds[i]), flat(arm.matrix_world @ pose_bone.matrix),
                      "%s frame %d bone %s" % (action.name, frame, pose_bone.name))
    scene.frame_set(saved)


# --- lights and materials -----------------------------------------------------------------


def compare_lights(cmp, host, objects):
    lights = {l["name"]: l for l in host["lights"]}
    for obj in (o for o in objects if o.type == "LIGHT"):
        light = lights.get(obj.name)
        cmp.equal(light is not None, True, "light %s present" % obj.name)
        if light is None:
            continue
        kind = LIGHT_TYPES.get(obj.data.type, 0)
        cmp.equal(light["type"], kind, "light %s type" % obj.name)
        world = obj.matrix_world
        cmp.close(light["transform"]["position"], world.translation, "light %s position" % obj.name)
        if kind == 0:
            # An omni light keeps its rotation in the placement matrix (row-major).
            m = light["transform"]["matrix"]
            rotation = world.to_quaternion().to_matrix()
            cmp.close([m[4 * r + c] for r in range(3) for c in range(3)],
                      [rotation[r][c] for r in range(3) for c in range(3)], "light %s rotation" % obj.name)
        else:
            direction = -(world.to_3x3() @ Vector((0, 0, 1))).normalized()
            cmp.close(light["transform"]["axisZ"], direction, "light %s direction" % obj.name)
        cmp.close(light["color"], [srgb(c) for c in obj.data.color] + [1.0], "light %s colour" % obj.name)
        cmp.close([light["intensity"]], [obj.data.energy], "light %s intensity" % obj.name)
        if obj.data.type == "SPOT":
            cmp.close([light["outerAngle"]], [math.degrees(obj.data.spot_size)], "light %s cone" % obj.name)


def compare_materials(cmp, host, objects):
    """Each material's diffuse colour and maps against what Blender shades it
    with: the colour drawn where images are white, a colour (alpha) map
    where the images change the colour (alpha), and an image drawn as the
    file draws it, map times colour."""
    host_materials = {m["name"]: m for m in host["materials"]}
    for obj in objects:
        for slot in obj.material_slots:
            material = slot.material
            if material is None or material.name not in host_materials:
                continue
            hm = host_materials[material.name]
            white, grey = shading.drawn(material, 1.0), shading.drawn(material, 0.5)
            if white is None:  # not followed: the viewport colour, with a warning
                white = grey = (tuple(material.diffuse_color[:3]), 1.0, [])
            kinds = [kind for kind, i in ((0, 0), (1, 1)) if white[i] != grey[i]] + normal_map_kind(material)
            cmp.close(hm["diffuse"], [srgb(c) for c in white[0]] + [1.0], "material %s diffuse" % material.name)
            cmp.equal(sorted(m["kind"] for m in hm["maps"]), kinds, "material %s maps" % material.name)
            if 0 in kinds:
                cmp.close(grey[0], [0.5 * c for c in white[0]], "material %s colour as map times colour" % material.name)


def normal_map_kind(material):
    """[2] when an image feeds a Normal Map node that feeds the shader's Normal."""
    if not shading.shaded_by_nodes(material):
        return []
    for node in material.node_tree.nodes:
        normal = node.inputs.get("Normal") if node.type in ("BSDF_PRINCIPLED", "BSDF_DIFFUSE") else None
        source = normal.links[0].from_node if normal is not None and normal.is_linked else None
        if source is not None and source.type == "NORMAL_MAP" and source.inputs["Color"].is_linked:
            image = source.inputs["Color"].links[0].from_node
            if image.type == "TEX_IMAGE" and image.image is not None:
                return [2]
    return []


# --- the whole trip -----------------------------------------------------------------------------


def bone_file_names_of(objects, addon):
    return {o.name: addon.exporter.file_bone_names(o) for o in objects if o.type == "ARMATURE"}


def round_trip(label, addon, keep=True):
    """Exports the open scene and compares both imports (Swap model off and on)
    with Blender; returns the Comparison. keep adds it to the summary table."""
    folder = harness.out_dir("roundtrip", label)
    xml_path = os.path.join(folder, label + ".xml")
    warnings = addon.exporter.export(bpy.context, xml_path)
    for message in warnings:
        print("  export warning:", message)
    harness.check_clean(xml_path)
    objects = exported_objects()
    names = bone_file_names_of(objects, addon)
    cmp = Comparison(label)
    for swap in (False, True):
        host = run_host(xml_path, swap)
        cmp.equal(host["importResult"], 1, "import result")
        cmp.equal(host["axisSwap"], 1 if swap else 0, "axis swap")
        compare_meshes(cmp, host, objects, names)
        compare_materials(cmp, host, objects)
        compare_skeletons(cmp, host, objects, names)
        compare_animations(cmp, host, objects, names)
        compare_lights(cmp, host, objects)
    if keep:
        record(cmp)
    return cmp


def record(cmp):
    print("ROUNDTRIP " + cmp.summary())
    for line in cmp.mismatches[:15]:
        print("   mismatch:", line)
    with open(os.path.join(harness.out_dir(), "roundtrip-table.txt"), "a", encoding="utf-8") as f:
        f.write(cmp.summary() + "\n")
