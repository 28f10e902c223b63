"""A small test runner for scripts that run inside headless Blender.

Each test module calls run(globals()) at its end: every function whose name
starts with test_ runs on a fresh empty scene, and the module ends with the
line "N passed, N failed". Blender then exits with code 1 on any failure
(it is started with --python-exit-code 1 and the runner raises at the end).

Settings come from the environment: BXML_HOST (the bxml-host tool),
BXML_TEST_OUT (a scratch folder), BXML_ONLY (run only tests whose name
contains this text).
"""

import builtins
import os
import sys
import time
import traceback
import warnings

import bpy

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
ADDON_DIR = os.path.join(ROOT, "exporters", "blender")


def _install_shims():
    """Fixes for Blender 3.4's bundled importers on Debian's Python 3.11 and
    numpy 1.24, which the real-model tests rely on."""
    try:
        import numpy

        if "bool" not in vars(numpy):
            numpy.bool = numpy.bool_  # removed in numpy 1.24; the glTF importer uses it
    except ImportError:
        pass
    if getattr(builtins.open, "_bxml_shim", False):
        return
    original = builtins.open

    def open_without_universal_newlines(file, mode="r", *args, **kwargs):
        # Python 3.11 rejects mode "rU", which the BVH importer passes.
        if isinstance(mode, str) and "U" in mode:
            mode = mode.replace("U", "") or "r"
        return original(file, mode, *args, **kwargs)

    open_without_universal_newlines._bxml_shim = True
    builtins.open = open_without_universal_newlines


_install_shims()

# A deprecated Blender API read by the add-on fails the test that reaches it.
warnings.filterwarnings("error", category=DeprecationWarning, module=r"(.*\.)?io_scene_bxml(\.|$)")


def load_addon():
    """The add-on package from the source tree, loaded as the CLI loads it."""
    sys.path.insert(0, ADDON_DIR)
    try:
        import export_cli
    finally:
        sys.path.pop(0)
    return export_cli.load_addon()


def out_dir(*parts):
    base = os.environ.get("BXML_TEST_OUT") or os.path.join(ROOT, "build", "blender-tests")
    path = os.path.join(base, *parts)
    os.makedirs(path, exist_ok=True)
    return path


def short_take(path, frames):
    """A copy of a BVH file cut to its first frames: the whole takes last
    thousands of frames, too long for this stage."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    motion = next(i for i, line in enumerate(lines) if line.strip().startswith("Frames:"))
    lines[motion] = "Frames: %d" % frames
    out = os.path.join(out_dir("models"), "short_" + os.path.basename(path))
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines[:motion + 2 + frames]) + "\n")
    return out


MODELS = os.environ.get("BXML_MODELS", "/usr/share/assimp/models")
SHORT_TAKE_FRAMES = 40


def model(path):
    full = os.path.join(MODELS, path)
    check(os.path.isfile(full), "model %s is missing (package assimp-testmodels)" % full)
    return full


def import_model(label):
    """Imports the real model of a round-trip label with Blender's own
    importer (a BVH take cut to its first frames)."""
    if label == "fbx-animation-skeleton":
        bpy.ops.import_scene.fbx(filepath=model("FBX/animation_with_skeleton.fbx"))
    elif label == "gltf-simple-skin":
        bpy.ops.import_scene.gltf(filepath=model("glTF2/simple_skin/simple_skin.gltf"))
    elif label == "obj-spider":
        bpy.ops.wm.obj_import(filepath=model("OBJ/spider.obj"))
    elif label == "fbx-spider":
        bpy.ops.import_scene.fbx(filepath=model("FBX/spider.fbx"))
        # Its textures are named by the paths of the machine that wrote it;
        # they lie beside the OBJ spider.
        bpy.ops.file.find_missing_files(directory=os.path.join(MODELS, "OBJ"))
    elif label == "collada-duck":
        if "collada_import" not in dir(bpy.ops.wm):
            raise Skip("this Blender has no Collada importer (built without it, or 5.0 and later)")
        bpy.ops.wm.collada_import(filepath=model("Collada/duck.dae"))
    elif label == "bvh-01_01-short":
        bpy.ops.import_anim.bvh(filepath=short_take(model("BVH/01_01.bvh"), SHORT_TAKE_FRAMES))
    else:
        raise ValueError("no real model is called " + label)


def host_tool():
    path = os.environ.get("BXML_HOST", "")
    if not path or not os.path.isfile(path):
        raise RuntimeError("BXML_HOST must name the bxml-host tool (got %r)" % path)
    return path


def check_clean(xml_path, expected=()):
    """Fails unless `bxml-host --check` finds nothing in the file but one
    finding for each text of expected (a part of its message): every file the
    exporter writes must import without anything ignored, cut or defaulted,
    except what a test made so on purpose."""
    import json
    import subprocess

    result = subprocess.run([host_tool(), "--check", "--json", xml_path], stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, text=True)
    findings = json.loads(result.stdout) if result.stdout.strip() else []
    expected_found = sorted(text for text in expected for f in findings if text in f["message"])
    if expected and expected_found == sorted(expected) and len(findings) == len(expected):
        return
    if result.returncode != 0 or findings:
        lines = ["%s: %s (%s)" % (f["line"], f["message"], f["instead"]) for f in findings[:10]]
        raise Failure("bxml-host --check %s exited %d with %d findings:\n  %s%s" % (
            xml_path, result.returncode, len(findings), "\n  ".join(lines), result.stderr))


def empty_scene():
    bpy.ops.wm.read_factory_settings(use_empty=True)


def start_up_scene():
    bpy.ops.wm.read_factory_settings(use_empty=False)


class Failure(AssertionError):
    pass


class Skip(Exception):
    """Raised by a test that cannot run on this Blender; the message says why."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def check_equal(actual, expected, what):
    if actual != expected:
        raise Failure("%s: expected %r, got %r" % (what, expected, actual))


def run(namespace):
    only = os.environ.get("BXML_ONLY", "")
    tests = [(name, f) for name, f in namespace.items() if name.startswith("test_") and callable(f)]
    tests.sort(key=lambda item: item[1].__code__.co_firstlineno)
    passed = failed = skipped = 0
    for name, test in tests:
        if only and only not in name:
            continue
        empty_scene()
        started = time.monotonic()
        try:
            test()
        except Skip as reason:
            skipped += 1
            print("skip %s: %s" % (name, reason))
        except Exception:  # a failing test must not stop the others
            failed += 1
            print("FAIL %s (%.1fs)" % (name, time.monotonic() - started))
            traceback.print_exc()
        else:
            passed += 1
            print("ok   %s (%.1fs)" % (name, time.monotonic() - started))
        sys.stdout.flush()
    if skipped:
        print("%d skipped" % skipped)
    print("%d passed, %d failed" % (passed, failed))
    sys.stdout.flush()
    if failed:
        # With --python-exit-code 1 an exception here makes Blender exit with 1.
        raise RuntimeError("%d test(s) failed" % failed)
