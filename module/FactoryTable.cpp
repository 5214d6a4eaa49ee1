// The module's table of creatable classes: registration order and the order
// in which DllGetClassObject searches.
#include "framework/com/FactoryTemplate.h"
#include <corvina.h>

#include "decoder/DecoderFilter.h"
#include "pages/DecoderPropertyPage.h"
#include "pages/ParserPropertyPage.h"
#include "parser/ParserFilter.h"

const FactoryTemplate FactoryTable[] = {
    {L"Quellvane", &CLSID_AdxDecoderFilter, DecoderFilter::CreateInstance},
    {L"Quellvane Property Page", &CLSID_AdxDecoderPropertyPage, DecoderPropertyPage::CreateInstance},
    {L"VAZ Iraz Ozadiz", &CLSID_AdxParserFilter, ParserFilter::CreateInstance},
    {L"DIV Ozor Uvizod Property Page", &CLSID_AdxParserPropertyPage, ParserPropertyPage::CreateInstance},
};
const int FactoryTableRowCount = sizeof(FactoryTable) / sizeof(FactoryTable[0]);
