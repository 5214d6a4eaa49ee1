// Resource identifiers of the property page test program.
#pragma once

#define IDD_TEST_PAGE 201
#define IDC_TEST_EDIT 1001
#define IDS_TEST_TITLE 201
// 300 characters, longer than a page title may be.
#define IDS_LONG_TITLE 202
// Identifiers with no resource behind them.
#define IDD_MISSING_PAGE 299
#define IDS_MISSING_TITLE 299
