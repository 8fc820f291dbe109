#include "midiformats.h"

void RegisterMidiFormats()
{
}
