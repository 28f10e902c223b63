"""Times the exporter on a whole motion-capture take (kept out of the test
stage, which uses a short cut of it):

    blender -b --factory-startup --python bench/blender_long_take.py -- [TAKE.bvh] [OUT.xml]

Prints the seconds of Blender's BVH import, of the export, the frames and
bones written, the file size, and the seconds bxml-host (BXML_HOST, default
build/linux-release/bin/bxml-host) takes to import the file.
"""

import os
import subprocess
import sys
import time

import bpy

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "blender"))
import harness  # noqa: E402  (loads the add-on and the BVH importer's Python 3.11 fix)

args = sys.argv[sys.argv.index("--") + 1:] if "--" in sys.argv else []
take = args[0] if args else "/usr/share/assimp/models/BVH/01_01.bvh"
out = os.path.abspath(args[1] if len(args) > 1 else os.path.join(ROOT, "build", "long_take.xml"))
os.makedirs(os.path.dirname(out), exist_ok=True)
addon = harness.load_addon()
harness.empty_scene()

started = time.perf_counter()
bpy.ops.import_anim.bvh(filepath=take)
imported = time.perf_counter() - started
arm = next(o for o in bpy.context.scene.objects if o.type == "ARMATURE")
first, last = arm.animation_data.action.frame_range

started = time.perf_counter()
warnings = addon.exporter.export(bpy.context, out)
exported = time.perf_counter() - started
frames = int(last - first) + 1
size = os.path.getsize(out)

host = os.environ.get("BXML_HOST", os.path.join(ROOT, "build", "linux-release", "bin", "bxml-host"))
started = time.perf_counter()
result = subprocess.run([host, "--prune-bones", "off", out], stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
hosted = time.perf_counter() - started

print("take %s: %d frames x %d bones" % (os.path.basename(take), frames, len(arm.pose.bones)))
print("Blender BVH import  %.2f s" % imported)
print("export              %.2f s (%.0f bone frames/s), %.1f MB, %d warnings" % (
    exported, frames * len(arm.pose.bones) / exported, size / 1e6, len(warnings)))
print("bxml-host import    %.2f s (exit %d)" % (hosted, result.returncode))
