// Resource identifiers shared by the test .rc sources and the resource tests.
#pragma once

#define IDS_FIRST 1
#define IDS_SECOND 2
#define IDS_BLOCK2 17
#define IDS_UNICODE 100
#define IDS_EMPTY 101
#define IDS_LAST 4095

#define IDR_NUMERIC_DATA 201
#define IDB_BPP1 301
#define IDB_BPP1TD 302
#define IDB_BPP4 303
#define IDB_BPP8 304
#define IDB_BPP8TD 305
#define IDB_BPP24 306
#define IDB_BPP24TD 307
#define IDB_BPP32 308
#define IDB_BPP32BF 309

#define IDS_MODULE_GREETING 7
#define IDS_SELF_PROGRAM 61001
