#pragma once

// Ids shared by setup.rc and the code.
#define IDD_PREREQUISITES 101

#define IDC_QUICKTIME_703 1002
#define IDC_QUICKTIME_652 1003
#define IDC_REELSHIFTER 1004
#define IDC_3IVX 1005
#define IDC_FLASH_VIDEO_EXPORTER 1006
#define IDC_QUICKTIME_652_NOTES 1009

// Texts that the code appends to the full product name.
#define IDS_SETUP_CAPTION_SUFFIX 201
#define IDS_COMPLETION_SUFFIX 202
#define IDS_FAILURE_SUFFIX 203
