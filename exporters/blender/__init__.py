"""Blender XML (.xml) exporter: File > Export > Blender XML (.xml)."""

bl_info = {
    "name": "Blender XML format (.xml)",
    "author": "bxml project",
    "version": (3, 50, 60),
    "blender": (3, 4, 0),
    "location": "File > Export > Blender XML (.xml)",
    "description": "Export meshes, materials, skeletons, actions, lights and cameras as a Blender XML scene file",
    "category": "Import-Export",
}

import bpy
from bpy.props import BoolProperty, StringProperty
from bpy_extras.io_utils import ExportHelper

from . import exporter


class ExportBlenderXml(bpy.types.Operator, ExportHelper):
    """Write the scene as a Blender XML scene file"""

    bl_idname = "export_scene.bxml"
    bl_label = "Export Blender XML"
    bl_options = {"PRESET"}

    filename_ext = ".xml"
    filter_glob: StringProperty(default="*.xml", options={"HIDDEN"})

    use_selection: BoolProperty(
        name="Selection Only",
        description="Export the selected objects only",
        default=False,
    )
    use_visible: BoolProperty(
        name="Visible Only",
        description="Export the visible objects only",
        default=False,
    )
    apply_modifiers: BoolProperty(
        name="Apply Modifiers",
        description="Write meshes with their modifiers evaluated (armature modifiers excluded)",
        default=False,
    )
    linear_colours: BoolProperty(
        name="Linear Colours",
        description="Write colours in scene-linear space instead of as displayed (sRGB)",
        default=False,
    )

    def execute(self, context):
        try:
            warnings = exporter.export(
                context,
                self.filepath,
                selection_only=self.use_selection,
                apply_modifiers=self.apply_modifiers,
                linear_colours=self.linear_colours,
                visible_only=self.use_visible,
                info=lambda message: self.report({"INFO"}, message),
            )
        except OSError as error:
            self.report({"ERROR"}, "Cannot write %s: %s" % (self.filepath, error))
            return {"CANCELLED"}
        for message in warnings:
            self.report({"WARNING"}, message)
            if bpy.app.background:
                print("Blender XML export warning:", message)
        self.report({"INFO"}, "Blender XML export: wrote %s (%d warnings)" % (self.filepath, len(warnings)))
        return {"FINISHED"}


def menu_func_export(self, context):
    self.layout.operator(ExportBlenderXml.bl_idname, text="Blender XML (.xml)")


def register():
    bpy.utils.register_class(ExportBlenderXml)
    bpy.types.TOPBAR_MT_file_export.append(menu_func_export)


def unregister():
    bpy.types.TOPBAR_MT_file_export.remove(menu_func_export)
    bpy.utils.unregister_class(ExportBlenderXml)
