# Renders a glTF file to a PNG inside Blender:
#   blender -b --factory-startup --python render_gltf.py -- FILE.glb OUT.png
# Cycles on the CPU, 480x360, a camera looking at the bounding box of the
# meshes from the front right and above, a sun, a grey world.
import math
import sys

import bpy
import numpy
from mathutils import Vector

# Blender 3.4's glTF importer still names numpy.bool, which numpy 1.24 dropped.
if "bool" not in numpy.__dict__:
    numpy.bool = bool

args = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
if len(args) != 2:
    print("usage: blender -b --factory-startup --python render_gltf.py -- FILE.glb OUT.png", file=sys.stderr)
    sys.exit(2)
source, target = args

bpy.ops.wm.read_factory_settings(use_empty=True)
bpy.ops.import_scene.gltf(filepath=source)
scene = bpy.context.scene

# Bounding box of what can be seen, in world space (posed meshes included).
depsgraph = bpy.context.evaluated_depsgraph_get()
points = []
for obj in scene.objects:
    if obj.type != "MESH":
        continue
    evaluated = obj.evaluated_get(depsgraph)
    mesh = evaluated.to_mesh()
    points += [evaluated.matrix_world @ v.co for v in mesh.vertices]
    evaluated.to_mesh_clear()
if not points:
    points = [Vector((-1, -1, -1)), Vector((1, 1, 1))]
low = Vector((min(p.x for p in points), min(p.y for p in points), min(p.z for p in points)))
high = Vector((max(p.x for p in points), max(p.y for p in points), max(p.z for p in points)))
centre = (low + high) / 2
radius = max((high - low).length / 2, 1e-3)

camera_data = bpy.data.cameras.new("render camera")
camera_data.lens_unit = "FOV"
camera_data.angle = math.radians(40)
camera = bpy.data.objects.new("render camera", camera_data)
scene.collection.objects.link(camera)
direction = Vector((1.0, -1.4, 0.9)).normalized()
distance = radius / math.sin(camera_data.angle / 2) * 1.05
camera.location = centre + direction * distance
camera.rotation_euler = (-direction).to_track_quat("-Z", "Y").to_euler()
camera_data.clip_start = distance / 1000
camera_data.clip_end = distance * 10
scene.camera = camera

sun_data = bpy.data.lights.new("render sun", "SUN")
sun_data.energy = 3.0
sun = bpy.data.objects.new("render sun", sun_data)
sun.rotation_euler = (math.radians(40), math.radians(10), math.radians(30))
scene.collection.objects.link(sun)

world = bpy.data.worlds.new("grey")
world.use_nodes = True
world.node_tree.nodes["Background"].inputs["Color"].default_value = (0.3, 0.3, 0.3, 1.0)
scene.world = world

scene.render.engine = "CYCLES"
scene.cycles.device = "CPU"
scene.cycles.samples = 16
scene.cycles.use_denoising = False
scene.render.resolution_x = 480
scene.render.resolution_y = 360
scene.render.resolution_percentage = 100
scene.render.image_settings.file_format = "PNG"
scene.render.image_settings.color_mode = "RGB"
scene.render.image_settings.compression = 100
scene.render.filepath = target
bpy.ops.render.render(write_still=True)
