# The reader, renderer and writer are compiled into the target itself so that libFuzzer sees
# their coverage (the libraries are built without the fuzzer's instrumentation).
kadenzo_add_fuzzer(fuzz_midi
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/fuzz_midi.cpp
          ${CMAKE_SOURCE_DIR}/midi/midifile_read.cpp
          ${CMAKE_SOURCE_DIR}/midi/midi_render.cpp
          ${CMAKE_SOURCE_DIR}/midi/midifile_write.cpp
          ${CMAKE_SOURCE_DIR}/midi/velocity.cpp
  LIBS kadenzo_model)
target_include_directories(fuzz_midi PRIVATE ${CMAKE_SOURCE_DIR}/midi)
