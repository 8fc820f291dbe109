kadenzo_add_fuzzer(fuzz_import SOURCES fuzz_import.cpp LIBS kadenzo_import)
