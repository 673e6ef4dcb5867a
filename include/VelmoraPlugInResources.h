// Numbers of the plug-in's resources and dialog controls: the resource script and the code use
// them, and so does a host that drives the dialogs through their controls (cvnhost, the tests).
// Plain #defines: the resource compiler reads this file too.
#pragma once

#define IDS_PLUGIN_NAME 1
#define IDS_FILE_TYPE_TEXT 2
#define IDS_FORMAT_DESCRIPTION 3
#define IDS_VBR_DISABLED 4

#define IDD_ABOUT 101
#define IDD_SETTINGS 102

#define IDC_DLL_VERSION 1000
#define IDC_ENGINE_VERSION 1001
#define IDC_DLL_DATE 1002
#define IDC_HOME_PAGE 1003
#define IDC_STEREO_GROUP 1004
#define IDC_JOINT_STEREO 1005
#define IDC_TWO_CHANNEL_STEREO 1006
#define IDC_COPYRIGHT 1007
#define IDC_CRC 1008
#define IDC_ORIGINAL 1009
#define IDC_PRIVATE 1010
#define IDC_QUALITY_NORMAL 1011
#define IDC_QUALITY_LOW 1012
#define IDC_QUALITY_HIGH 1013
#define IDC_VBR_QUALITY 1014
