"""Times the Blender XML exporter against Blender's own exporters on four
scenes built in code, each export in a Blender process of its own:

    python3 bench/blender_export.py [--rounds 3] [--scenes mesh,skinned,objects,action]
        [--exporters ours,gltf,obj,fbx] [--addon DIR] [--blender CMD] [--out DIR] [--small] [--grid N]

Scenes: "mesh" (one mesh of 1,000,000 vertices, 2 uv maps, corner colours,
2 materials), "skinned" (the same skinned to 100 bones, 4 weights per vertex),
"objects" (10,000 small meshes under a hierarchy of empties), "action" (200
bones, a 1,000-frame action). Exporters: "ours" (the add-on of --addon,
default exporters/blender of this tree), "gltf" (binary glTF), "obj" (Blender's
C++ OBJ writer), "fbx". Prints per scene and exporter the median export time
of the rounds, the peak memory of the process (building the scene included,
the same for every exporter) and the ratio to the glTF exporter's time and
memory. Timings on a busy machine are noisy; the ratios compare exporters of
the same run.

With --child the script runs inside Blender: it builds one scene, runs one
exporter and prints "EXPORT-SECONDS <s>".
"""

import argparse
import os
import resource
import shlex
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCENES = ("mesh", "skinned", "objects", "action")
EXPORTERS = ("ours", "gltf", "obj", "fbx")
EXTENSIONS = {"ours": ".xml", "gltf": ".glb", "obj": ".obj", "fbx": ".fbx"}
GRID = 1000  # vertices per side of the big meshes
BONES_SKINNED = 100
BONES_ACTION = 200
FRAMES = 1000
OBJECTS = 10000


# --- inside Blender ------------------------------------------------------------------


def grid_mesh(bpy, np, name):
    """A GRID x GRID vertex sheet of quads over a wave, 2 uv maps, corner
    colours and 2 materials on alternate faces."""
    n = GRID
    mesh = bpy.data.meshes.new(name)
    ix, iy = np.meshgrid(np.arange(n, dtype=np.float32), np.arange(n, dtype=np.float32))
    x, y = ix.ravel() / (n - 1), iy.ravel() / (n - 1)
    z = 0.1 * np.sin(x * 31.0) * np.cos(y * 17.0)
    mesh.vertices.add(n * n)
    mesh.vertices.foreach_set("co", np.column_stack((x, y, z)).astype(np.float32).ravel())
    cells = (n - 1) * (n - 1)
    cx, cy = np.meshgrid(np.arange(n - 1), np.arange(n - 1))
    v0 = (cy * n + cx).ravel()
    quads = np.column_stack((v0, v0 + 1, v0 + n + 1, v0 + n)).astype(np.int32)
    mesh.loops.add(cells * 4)
    mesh.loops.foreach_set("vertex_index", quads.ravel())
    mesh.polygons.add(cells)
    mesh.polygons.foreach_set("loop_start", np.arange(0, cells * 4, 4, dtype=np.int32))
    try:
        mesh.polygons.foreach_set("loop_total", np.full(cells, 4, dtype=np.int32))
    except (AttributeError, TypeError, RuntimeError):
        pass  # read-only since Blender 4.0: the starts define the polygons
    mesh.polygons.foreach_set("material_index", (np.arange(cells) % 2).astype(np.int32))
    corners = quads.ravel()
    for k, scale in enumerate((1.0, 3.0)):
        layer = mesh.uv_layers.new(name="UVMap" if k == 0 else "Detail")
        uv = np.column_stack((x[corners] * scale, y[corners] * scale)).astype(np.float32)
        layer.data.foreach_set("uv", uv.ravel())
    colours = np.column_stack((x[corners], y[corners], 0.5 + z[corners], np.ones(len(corners)))).astype(np.float32)
    if hasattr(mesh, "color_attributes"):
        layer = mesh.color_attributes.new("Col", "FLOAT_COLOR", "CORNER")
    else:
        layer = mesh.vertex_colors.new(name="Col")
    layer.data.foreach_set("color", colours.ravel())
    mesh.update(calc_edges=True)
    for k in range(2):
        material = bpy.data.materials.new("Material %d" % k)
        material.diffuse_color = (0.8, 0.2 * k, 0.1, 1.0)
        mesh.materials.append(material)
    obj = bpy.data.objects.new(name, mesh)
    bpy.context.scene.collection.objects.link(obj)
    return obj


def armature(bpy, name, bones, chain):
    """An armature of bones: a chain, or a tree of 10 chains."""
    data = bpy.data.armatures.new(name)
    obj = bpy.data.objects.new(name, data)
    bpy.context.scene.collection.objects.link(obj)
    bpy.context.view_layer.objects.active = obj
    bpy.ops.object.mode_set(mode="EDIT")
    made = []
    for i in range(bones):
        bone = data.edit_bones.new("Bone%03d" % i)
        bone.head = (i * 0.01, 0.0, 0.0) if chain else ((i % 10) * 0.1, 0.0, (i // 10) * 0.1)
        bone.tail = (bone.head[0] + 0.01, 0.05, bone.head[2] + 0.05)
        if i > 0 and (chain or i % 10):
            bone.parent = made[-1]
        made.append(bone)
    bpy.ops.object.mode_set(mode="OBJECT")
    return obj


def build(bpy, np, scene):
    if scene in ("mesh", "skinned"):
        obj = grid_mesh(bpy, np, "Sheet")
        if scene == "skinned":
            rig = armature(bpy, "Rig", BONES_SKINNED, chain=False)
            obj.parent = rig
            obj.modifiers.new("Armature", "ARMATURE").object = rig
            groups = [obj.vertex_groups.new(name="Bone%03d" % b) for b in range(BONES_SKINNED)]
            vertices = np.arange(GRID * GRID)
            for k, weight in enumerate((0.4, 0.3, 0.2, 0.1)):
                bone_of = (vertices // 1000 + k * 25) % BONES_SKINNED
                for b in range(BONES_SKINNED):
                    groups[b].add(vertices[bone_of == b].tolist(), weight, "REPLACE")
    elif scene == "objects":
        collection = bpy.context.scene.collection
        root = bpy.data.objects.new("Root", None)
        collection.objects.link(root)
        mesh = None
        for g in range(OBJECTS // 100):
            group = bpy.data.objects.new("Group%03d" % g, None)
            group.parent = root
            group.location = (g % 10 * 10.0, g // 10 * 10.0, 0.0)
            collection.objects.link(group)
            for i in range(100):
                mesh = bpy.data.meshes.new("Piece%03d_%02d" % (g, i))
                mesh.from_pydata([(0, 0, 0), (1, 0, 0), (1, 1, 0), (0, 1, 0), (0.5, 0.5, 1)], [],
                                 [(0, 1, 2, 3), (0, 1, 4), (1, 2, 4), (2, 3, 4), (3, 0, 4)])
                piece = bpy.data.objects.new(mesh.name, mesh)
                piece.parent = group
                piece.location = (i % 10, i // 10, 0.0)
                collection.objects.link(piece)
    elif scene == "action":
        rig = armature(bpy, "Rig", BONES_ACTION, chain=False)
        action = bpy.data.actions.new("Take")
        rig.animation_data_create().action = action
        keys = np.arange(1, FRAMES + 1, 10, dtype=np.float32)
        for b in range(BONES_ACTION):
            path = 'pose.bones["Bone%03d"].rotation_quaternion' % b
            for index in range(4):
                curve = action.fcurves.new(path, index=index, action_group="Bone%03d" % b)
                curve.keyframe_points.add(len(keys))
                values = np.cos(keys * 0.01 * (b + 1)) if index == 0 else 0.3 * np.sin(keys * 0.02 * (index + b))
                curve.keyframe_points.foreach_set("co", np.column_stack((keys, values)).astype(np.float32).ravel())
                curve.update()
        bpy.context.scene.frame_start, bpy.context.scene.frame_end = 1, FRAMES
    else:
        raise ValueError("no scene " + scene)


def export(bpy, exporter, path, addon_dir):
    if exporter == "ours":
        sys.path.insert(0, addon_dir)
        import export_cli

        return export_cli.load_addon().exporter.export(bpy.context, path)
    if exporter == "gltf":
        return bpy.ops.export_scene.gltf(filepath=path, export_format="GLB")
    if exporter == "obj":
        return bpy.ops.wm.obj_export(filepath=path)
    if exporter == "fbx":
        return bpy.ops.export_scene.fbx(filepath=path)
    raise ValueError("no exporter " + exporter)


def child(argv):
    import bpy
    import numpy as np

    global GRID, OBJECTS, FRAMES
    scene, exporter, path, addon_dir, small = argv[:5]
    if small == "small":
        GRID, OBJECTS, FRAMES = 30, 200, 20
    if len(argv) > 5 and small != "small":
        GRID = int(argv[5])
    bpy.ops.wm.read_factory_settings(use_empty=True)
    build(bpy, np, scene)
    started = time.perf_counter()
    export(bpy, exporter, path, addon_dir)
    print("EXPORT-SECONDS %.3f" % (time.perf_counter() - started))
    sys.stdout.flush()


# --- the driver ----------------------------------------------------------------------


def main():
    if "--child" in sys.argv:
        return child(sys.argv[sys.argv.index("--child") + 1:])
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--scenes", default=",".join(SCENES))
    parser.add_argument("--exporters", default=",".join(EXPORTERS))
    parser.add_argument("--addon", default=os.path.join(ROOT, "exporters", "blender"))
    parser.add_argument("--blender", default=os.environ.get("BLENDER", "blender"))
    parser.add_argument("--small", action="store_true", help="tiny scenes: a smoke run of this script")
    parser.add_argument("--grid", type=int, default=GRID, help="vertices per side of the big meshes (default 1000)")
    parser.add_argument("--out", default=os.path.join(ROOT, "build", "bench-blender-export"))
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    blender = shlex.split(args.blender)
    exporters = args.exporters.split(",")
    print("%-8s %-5s %9s %9s %9s %8s %8s" % ("scene", "ours", "median s", "peak MB", "file MB", "t/glTF", "m/glTF"))
    for scene in args.scenes.split(","):
        results = {}
        for exporter in exporters:
            runs = [measure(blender, scene, exporter, args.out, os.path.abspath(args.addon), args.small, args.grid)
                    for _ in range(args.rounds)]
            results[exporter] = (statistics.median(r[0] for r in runs), max(r[1] for r in runs), runs[-1][2],
                                 [r[0] for r in runs])
        base = results.get("gltf")
        for exporter, (seconds, peak, size, all_runs) in results.items():
            ratio_t = "%8.2f" % (seconds / base[0]) if base else "%8s" % "-"
            ratio_m = "%8.2f" % (peak / base[1]) if base else "%8s" % "-"
            print("%-8s %-5s %9.2f %9.0f %9.1f %s %s   rounds: %s" % (
                scene, exporter, seconds, peak, size, ratio_t, ratio_m, " ".join("%.2f" % s for s in all_runs)))
            sys.stdout.flush()


def measure(blender, scene, exporter, out, addon_dir, small, grid):
    """One export in a fresh Blender: (seconds, peak MB of the process, file MB)."""
    path = os.path.join(out, "%s-%s%s" % (scene, exporter, EXTENSIONS[exporter]))
    command = blender + ["-b", "--factory-startup", "--python-exit-code", "1", "--python", os.path.abspath(__file__),
                         "--", "--child", scene, exporter, path, addon_dir, "small" if small else "full", str(grid)]
    with open(os.path.join(out, "%s-%s.log" % (scene, exporter)), "w+") as log:
        process = subprocess.Popen(command, stdout=log, stderr=subprocess.STDOUT)
        _, status, usage = os.wait4(process.pid, 0)
        log.seek(0)
        output = log.read()
    seconds = next((float(line.split()[1]) for line in output.splitlines() if line.startswith("EXPORT-SECONDS")), None)
    if status != 0 or seconds is None:
        raise RuntimeError("%s on %s failed:\n%s" % (exporter, scene, output[-3000:]))
    return seconds, usage.ru_maxrss / 1024.0, os.path.getsize(path) / 1e6


if __name__ == "__main__":
    main()
