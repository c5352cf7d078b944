// Resource identifiers of the desktop program.
//
// The Windows resource script uses them as the ids of its resources; the Qt
// dialogs use each control's identifier name as the widget's objectName(), so
// code and tests find a control by the same name on every system.
// Plain #defines only: the resource compiler reads this file too.
#ifndef VRK_UI_RESOURCE_H
#define VRK_UI_RESOURCE_H

#define IDD_ABOUT 100
#define IDS_ABOUT 101
#define IDD_MAIN 102
#define IDI_MAIN 128
#define IDC_EXTRACT 1001
#define IDC_COMPRESS 1002
#define IDC_LOG 1004
#define IDM_ABOUT 0x0010

#endif
