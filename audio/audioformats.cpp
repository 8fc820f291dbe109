#include "audioformats.h"

#include "mididevices.h"

void RegisterAudioFormats()
{
    MidiDevices::InstallStreamOpener();
}
