// Resource identifiers of the driver's probe program.
#pragma once

#define IDD_PROBE          200
#define IDD_PROBE_ABOUT    201

#define IDM_PROBE_ABOUT    0x0010

#define IDC_PROBE_LOG      1001
#define IDC_PROBE_FOLDER   1005
#define IDC_PROBE_FIRST    1006
#define IDC_PROBE_SECOND   1008
#define IDC_PROBE_LIST     1012

// Exit code of the probe after its Exit button, chosen so that a driver reading 0 by mistake shows up.
#define PROBE_EXIT_CODE    7
