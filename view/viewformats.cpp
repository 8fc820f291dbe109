#include "viewformats.h"

void RegisterViewFormats()
{
}
