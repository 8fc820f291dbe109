kadenzo_add_bench(bench_midi SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/bench_midi.cpp LIBS kadenzo_midi)
