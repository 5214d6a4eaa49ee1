// Resource identifiers of the property pages: their dialogs, controls and
// titles, which the module's resource script builds in.
#pragma once

// Title strings of the two property pages.
#define IDS_DECODER_PAGE_TITLE 102
#define IDS_PARSER_PAGE_TITLE 103

// Dialog templates of the two property pages.
#define IDD_PARSER_PAGE 103
#define IDD_DECODER_PAGE 104

// Controls of the decoder page (dialog 104).
#define IDC_DECODER_INFO 1001

// Controls of the parser page (dialog 103).
#define IDC_PARSER_INFO 1002
#define IDC_LOOP_LIST 1007
#define IDC_FILE_OFFSET 1008
#define IDC_LOOP_ENABLE 1009
