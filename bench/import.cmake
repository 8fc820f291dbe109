kadenzo_add_bench(bench_import SOURCES bench_import.cpp LIBS kadenzo_import)
