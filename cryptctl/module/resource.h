#pragma once
// Resource identifiers of Lockvale.dll.
#define IDS_PROJNAME 100
#define IDR_LOCKVALE 101
#define IDB_ENORDECRYPT 102
#define IDR_ENORDECRYPT 103
