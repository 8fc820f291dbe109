kadenzo_add_fuzzer(fuzz_midi SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_midi.cpp LIBS kadenzo_midi)
