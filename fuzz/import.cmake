# The importer is compiled with coverage feedback so libFuzzer can steer into its passes.
target_compile_options(kadenzo_import PRIVATE -fsanitize=fuzzer-no-link)
kadenzo_add_fuzzer(fuzz_import SOURCES fuzz_import.cpp LIBS kadenzo_import)
