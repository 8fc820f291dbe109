# MP3 decoding next to a bare libmad loop, Export Wave, and the ALSA back end's timing.
kadenzo_add_bench(bench_audio SOURCES bench_audio.cpp LIBS kadenzo_audio kadenzo_midi kadenzo_model)
target_include_directories(bench_audio PRIVATE ${CMAKE_SOURCE_DIR}/tests/audio)
