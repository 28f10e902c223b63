// Resource ids of the plug-in's dialog templates and their controls, shared by
// resources/plugin.rc and the code that drives the dialogs. Plain macros: the
// resource compiler reads this file too.
#pragma once

#define IDD_IMPORT_OPTIONS 101
#define IDD_EXPORT_OPTIONS 102

// Import options (template 101): counts of the document just read.
#define IDC_FILE_VERSION 1001
#define IDC_BONE_COUNT 1004
#define IDC_MATERIAL_COUNT 1005
#define IDC_LIGHT_COUNT 1006
#define IDC_VERTEX_COUNT 1007
#define IDC_FACE_COUNT 1009
#define IDC_TEXTURE_COUNT 1011
#define IDC_ANIMATION_COUNT 1012

// Import options: the options themselves (also used by template 102).
#define IDC_SCALE 1021
#define IDC_SWAP_MODEL 2046
#define IDC_PRUNE_BONES 2047
#define IDC_IMPORT_LIGHTS 2048
#define IDC_SCENE_MESHES_ONLY 2049
