#pragma once
// Resource identifiers of Folvane.OCX.
#define IDS_FOLVANE 1            // user type name of the control
#define IDS_FOLVANE_PPG 2        // user type name of the property page
#define IDS_FOLVANE_PPG_CAPTION 200
#define IDB_FOLVANE 1            // toolbox bitmap
#define IDD_PROPPAGE_FOLVANE 200
