kadenzo_add_bench(bench_view SOURCES bench_view.cpp LIBS kadenzo_view kadenzo_model Qt6::Gui)
