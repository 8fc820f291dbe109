#include "importformats.h"

void RegisterImportFormats()
{
}
