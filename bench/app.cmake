# The desktop program: start-up to the first painted window, opening a 300-bar tab.
if(KADENZO_GUI)
  kadenzo_add_bench(bench_app SOURCES bench_app.cpp LIBS kadenzo_app)
endif()
# One click edit on a 2000-bar song, mouse event to repainted view.
if(KADENZO_GUI)
  kadenzo_add_bench(bench_edit SOURCES bench_edit.cpp LIBS kadenzo_app)
endif()
