# The desktop program: start-up to the first painted window, opening a 300-bar tab.
if(KADENZO_GUI)
  kadenzo_add_bench(bench_app SOURCES bench_app.cpp LIBS kadenzo_app)
endif()
