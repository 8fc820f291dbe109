#include "audioformats.h"

void RegisterAudioFormats()
{
}
