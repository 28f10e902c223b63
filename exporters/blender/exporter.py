"""Writes the open Blender scene as a Blender XML (.xml) scene file: gather()
reads Blender into plain records, write() writes them without Blender."""

import os

import bpy

from . import write
from .gather import Options, file_bone_names, gather, linear_to_srgb  # noqa: F401 (used by the tests)


class Progress:
    """Reports each stage of an export: Blender's progress indicator in the
    user interface, one line on the console in batch mode."""

    def __init__(self, context):
        self.background = bpy.app.background
        self.window_manager = None if self.background else getattr(context, "window_manager", None)
        self.stages = 0
        if self.window_manager is not None:
            self.window_manager.progress_begin(0, 100)

    def __call__(self, stage):
        self.stages += 1
        if self.background:
            print("Blender XML export:", stage, flush=True)
        elif self.window_manager is not None:
            # The number of stages is not known in advance: approach 100.
            self.window_manager.progress_update(100 - 100 // (self.stages + 1))

    def end(self):
        if self.window_manager is not None:
            self.window_manager.progress_end()


def export(context, filepath, selection_only=False, apply_modifiers=False, linear_colours=False, visible_only=False,
           info=None):
    """Writes the scene of context to filepath; returns the warnings. info,
    when given, receives the lines that inform without warning. Raises
    OSError when the file cannot be written."""
    options = Options(selection_only, apply_modifiers, linear_colours, visible_only)
    progress = Progress(context)
    try:
        scene, warnings = gather(context, options, os.path.dirname(os.path.abspath(filepath)), progress, info)
        with open(filepath, "w", encoding="utf-8", newline="\n", buffering=1 << 20) as f:
            write.write(scene, f, progress)
    finally:
        progress.end()
    return warnings.messages
