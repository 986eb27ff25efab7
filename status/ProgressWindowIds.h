#pragma once
// Resource ids of the progress window; read by the resource compiler too, so
// plain defines only.
#define IDD_PROGRESS 101
#define IDI_UPDATER 102
#define IDD_PROGRESS_NOTICE 103
#define IDC_PROGRESS_BAR 1001
#define IDC_NETWORK_STATUS 1002
#define IDC_NOTICE 1003
#define IDC_CLOSE 1005
