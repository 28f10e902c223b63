"""Scenes built in code for the exporter's tests. Each builder expects an empty
scene (or the start-up scene for the default cube) and returns nothing."""

import math

import bpy
from mathutils import Euler, Matrix, Vector


def link(obj, parent=None):
    bpy.context.scene.collection.objects.link(obj)
    if parent is not None:
        obj.parent = parent
    return obj


def mesh_object(name, vertices, faces, parent=None):
    mesh = bpy.data.meshes.new(name + " mesh")
    mesh.from_pydata(vertices, [], faces)
    mesh.update()
    return link(bpy.data.objects.new(name, mesh), parent)


def principled(material):
    if bpy.app.version < (5, 0, 0):  # every material has its node tree from 5.0 on
        material.use_nodes = True
    return material.node_tree.nodes["Principled BSDF"]


def image_material(name, image, uv_map, input_name="Base Color"):
    material = bpy.data.materials.new(name)
    bsdf = principled(material)
    nodes = material.node_tree.nodes
    texture = nodes.new("ShaderNodeTexImage")
    texture.image = image
    material.node_tree.links.new(texture.outputs["Color"], bsdf.inputs[input_name])
    if uv_map is not None:
        uv = nodes.new("ShaderNodeUVMap")
        uv.uv_map = uv_map
        material.node_tree.links.new(uv.outputs["UV"], texture.inputs["Vector"])
    return material


def plain_material(name, colour, roughness=0.3):
    material = bpy.data.materials.new(name)
    bsdf = principled(material)
    bsdf.inputs["Base Color"].default_value = colour
    bsdf.inputs["Roughness"].default_value = roughness
    return material


# A quad, a triangle and a concave L-shaped hexagon (an n-gon whose fan
# triangulation from its first corner would leave the polygon).
SHEET_VERTICES = [
    (0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0),  # quad
    (2, 0, 0.5),  # triangle with 1, 2
    (3, 0, 0), (5, 0, 0), (5, 1, 0), (4, 1, 0), (4, 3, 0), (3, 3, 0),  # L
]
SHEET_FACES = [(0, 1, 2, 3), (1, 4, 2), (8, 9, 10, 5, 6, 7)]


def textured_sheet(names=None):
    """A mesh with two uv maps, corner colours, two materials (the second
    textured through the second uv map) and a concave n-gon."""
    names = names or {}
    obj = mesh_object(names.get("object", "Sheet"), SHEET_VERTICES, SHEET_FACES)
    obj.matrix_world = Matrix.LocRotScale(Vector((0.5, -2, 1)), Euler((0.3, 0.1, 0.7)), Vector((1, 2, 1)))
    mesh = obj.data
    first = mesh.uv_layers.new(name=names.get("uv0", "UVMap"))
    second = mesh.uv_layers.new(name=names.get("uv1", "Detail"))
    for i, loop in enumerate(mesh.loops):
        co = SHEET_VERTICES[loop.vertex_index]
        first.data[i].uv = (co[0] * 0.2, co[1] * 0.3)
        second.data[i].uv = (0.9 - co[1] * 0.1, 0.1 + co[0] * 0.15 + i * 0.01)
    # Adding a colour attribute may move the uv layers: a Python reference to
    # one of them reads another layer afterwards (Blender 4.3), its name stays.
    detail = second.name
    colours = mesh.color_attributes.new(names.get("colours", "Col"), "BYTE_COLOR", "CORNER")
    for i in range(len(mesh.loops)):
        colours.data[i].color_srgb = ((i * 37 % 255) / 255.0, (i * 91 % 255) / 255.0, (i * 13 % 255) / 255.0, 1.0)
    image = bpy.data.images.new(names.get("image", "Checker"), 8, 8, alpha=False)
    image.generated_type = "COLOR_GRID"
    plain = plain_material(names.get("plain", "Plain"), (0.8, 0.2, 0.1, 1.0))
    textured = image_material(names.get("textured", "Textured"), image, detail)
    mesh.materials.append(plain)
    mesh.materials.append(textured)
    mesh.polygons[0].material_index = 1
    mesh.polygons[1].material_index = 0
    mesh.polygons[2].material_index = 1
    return obj


def rig(names=None):
    """An armature of three nested bones (the first named like the armature),
    a mesh skinned to it with some vertices left without influence, a mesh
    parented to the last bone and a 20-frame action on location, rotation
    and scale."""
    names = names or {}
    arm_name = names.get("armature", "Rig")
    bone_names = names.get("bones", (arm_name, "Mid", "Tip"))
    armature = bpy.data.armatures.new(arm_name + " data")
    arm = link(bpy.data.objects.new(arm_name, armature))
    arm.matrix_world = Matrix.LocRotScale(Vector((1, 2, 0.5)), Euler((0, 0, 0.4)), Vector((1, 1, 1)))
    bpy.context.view_layer.objects.active = arm
    bpy.ops.object.mode_set(mode="EDIT")
    parent = None
    heads = [(0, 0, 0), (0, 0.2, 1), (0.3, 0.2, 2)]
    tails = [(0, 0.2, 1), (0.3, 0.2, 2), (0.3, 0.6, 2.8)]
    for name, head, tail in zip(bone_names, heads, tails):
        bone = armature.edit_bones.new(name)
        bone.head, bone.tail = head, tail
        bone.roll = 0.3
        bone.parent = parent
        bone.use_connect = parent is not None
        parent = bone
    bpy.ops.object.mode_set(mode="OBJECT")

    # A column of rings along the bones; the top ring and one vertex of the
    # second ring have no influence.
    vertices, faces = [], []
    rings = 7
    for r in range(rings):
        z = r * 0.45
        for k in range(4):
            a = k * math.pi / 2
            vertices.append((0.3 * math.cos(a), 0.2 + 0.3 * math.sin(a), z))
    for r in range(rings - 1):
        for k in range(4):
            a, b = r * 4 + k, r * 4 + (k + 1) % 4
            faces.append((a, b, b + 4, a + 4))
    skin = mesh_object(names.get("skin", "Skin"), vertices, faces, parent=arm)
    skin.matrix_world = arm.matrix_world.copy()
    groups = [skin.vertex_groups.new(name=n) for n in bone_names]
    for r in range(rings - 1):
        ring = [r * 4 + k for k in range(4)]
        t = r / (rings - 2)
        groups[0].add(ring, max(0.0, 1.0 - 2 * t), "REPLACE")
        groups[1].add(ring, 1.0 - abs(1.0 - 2 * t) * 0.8, "REPLACE")
        if t > 0.5:
            groups[2].add(ring, (t - 0.5) * 1.5, "REPLACE")
    for group in groups:
        group.remove([5])  # one vertex amid the others without influence
    modifier = skin.modifiers.new("Armature", "ARMATURE")
    modifier.object = arm

    gem = mesh_object(names.get("attached", "Gem"), [(0, 0, 0), (0.2, 0, 0), (0, 0.2, 0), (0, 0, 0.2)],
                      [(0, 2, 1), (0, 1, 3), (1, 2, 3), (0, 3, 2)])
    gem.parent = arm
    gem.parent_type = "BONE"
    gem.parent_bone = bone_names[2]
    gem.location = (0.1, 0.1, 0)

    action = bpy.data.actions.new(names.get("action", "Wave"))
    arm.animation_data_create().action = action
    pose = arm.pose.bones
    for frame, (loc, rot, scale) in {
        1: ((0, 0, 0), (0, 0, 0), 1.0),
        8: ((0.3, -0.2, 0.1), (0.5, -0.4, 0.9), 1.3),
        14: ((-0.2, 0.4, 0.0), (-1.2, 0.8, 2.6), 0.7),
        20: ((0.1, 0.1, 0.3), (2.8, -0.3, 0.2), 1.1),
    }.items():
        root, mid, tip = (pose[n] for n in bone_names)
        root.location = loc
        root.keyframe_insert("location", frame=frame)
        for bone, angles in ((mid, rot), (root, tuple(0.3 * a for a in rot))):
            bone.rotation_mode = "QUATERNION"
            bone.rotation_quaternion = Euler(angles).to_quaternion()
            bone.keyframe_insert("rotation_quaternion", frame=frame)
        tip.scale = (scale, scale, scale)
        tip.keyframe_insert("scale", frame=frame)
    # A second action, not assigned: written all the same.
    bow = bpy.data.actions.new(names.get("action2", "Bow"))
    arm.animation_data.action = bow
    mid = pose[bone_names[1]]
    for frame, angle in ((3, 0.0), (9, 0.9)):
        mid.rotation_quaternion = Euler((angle, 0, 0)).to_quaternion()
        mid.keyframe_insert("rotation_quaternion", frame=frame)
    arm.animation_data.action = action
    for bone in pose:
        bone.location, bone.rotation_quaternion, bone.scale = (0, 0, 0), (1, 0, 0, 0), (1, 1, 1)
    bpy.context.scene.frame_set(1)
    return arm


def lights_and_camera(names=None):
    """Point, sun and spot lights, a camera and a mirrored mesh under a
    rotated and scaled parent."""
    names = names or {}
    pivot = link(bpy.data.objects.new(names.get("pivot", "Pivot"), None))
    pivot.matrix_world = Matrix.LocRotScale(Vector((2, -1, 3)), Euler((0.2, -0.5, 1.1)), Vector((1.5, 1.5, 1.5)))
    made = {}
    for kind, name, location, angles in (
        ("POINT", names.get("point", "Lamp"), (1, 0, 0), (0, 0, 0)),
        ("SUN", names.get("sun", "Sun"), (0, 2, 1), (0.6, 0.2, -0.4)),
        ("SPOT", names.get("spot", "Spot"), (-1, 1, 2), (1.0, -0.3, 0.5)),
    ):
        light = bpy.data.lights.new(name + " data", kind)
        light.color = (1.0, 0.8, 0.5)
        light.energy = 40.0
        if kind == "SPOT":
            light.spot_size = math.radians(50)
        obj = link(bpy.data.objects.new(name, light), pivot)
        obj.location, obj.rotation_euler = location, angles
        made[kind] = obj
    camera = link(bpy.data.objects.new(names.get("camera", "Eye"), bpy.data.cameras.new("Eye data")), pivot)
    camera.location, camera.rotation_euler = (0, -5, 1), (1.3, 0, 0.1)
    mirror = mesh_object(names.get("mirrored", "Mirror"), [(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0.5), (2, 0.5, 0)],
                         [(0, 1, 2, 3), (1, 4, 2)], parent=pivot)
    mirror.scale = (-1, 1, 1)
    mirror.location = (0.5, 0.5, 0)
    bpy.context.view_layer.update()
    return made


# Names with non-ASCII and XML-special characters for every kind of record.
SPECIAL = {
    "object": 'Würfel <&> "q"',
    "uv0": "UV ñ<1>",
    "uv1": "Détail & 2",
    "colours": "Farbe 'ü'",
    "image": "Bild ä&b",
    "plain": "Matériau <plain>",
    "textured": 'Textur "ß" & co',
    "armature": "Skelett & ∑",
    "bones": ("Skelett & ∑", "Knochen <ä>", 'Spitze "é"'),
    "skin": "Haut ő",
    "attached": "Juwel <&>",
    "action": 'Aktion "ö" & <x>',
    "action2": "Verbeugung ü",
    "pivot": "Drehpunkt ☀",
    "point": "Licht & <1>",
    "sun": "Sonne ☀ \"s\"",
    "spot": "Spot 'ö'",
    "camera": "Kamera <ü>",
    "mirrored": "Spiegel & ß",
}


def special_names():
    textured_sheet(SPECIAL)
    rig(SPECIAL)
    lights_and_camera(SPECIAL)
