// Numbers of the plug-in's resources and dialog controls, shared by the resource script and code.
// Plain #defines: the resource compiler reads this file too.
#pragma once

#define IDS_PLUGIN_NAME 1
#define IDS_FILE_TYPE_TEXT 2
#define IDS_FORMAT_DESCRIPTION 3
#define IDS_VBR_DISABLED 4
