# The MIDI file reader, with the renderer and writer run over what it reads.
kadenzo_add_fuzzer(fuzz_midi SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_midi.cpp LIBS kadenzo_midi)
