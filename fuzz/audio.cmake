# The recording loaders: WAV (through libsndfile) and MP3 (libmad with the info-frame reader).
kadenzo_add_fuzzer(fuzz_wav SOURCES fuzz_wav.cpp LIBS kadenzo_audio)
kadenzo_add_fuzzer(fuzz_mp3 SOURCES fuzz_mp3.cpp LIBS kadenzo_audio)
