# Benchmark programs for make bench (bench/run.sh): built only by the target bench_programs, never
# shipped or copied to dist/.
add_executable(script_bench EXCLUDE_FROM_ALL bench/script_bench.cpp)
target_link_libraries(script_bench qmcore)
set(QM_BENCH_PROGRAMS script_bench)
if(WIN32)
  # The Win32 side of the extraction and COPY comparisons under Wine.
  add_executable(floor_win EXCLUDE_FROM_ALL bench/floor_win.cpp)
  target_link_libraries(floor_win qmcore)
  add_executable(unpack_win EXCLUDE_FROM_ALL bench/unpack_win.cpp)
  target_link_libraries(unpack_win qmcore)
  add_executable(engine_bench EXCLUDE_FROM_ALL bench/engine_bench.cpp)
  # The single calls behind the engine's per-command cost.
  add_executable(call_costs EXCLUDE_FROM_ALL bench/call_costs.cpp)
  target_link_libraries(call_costs shlwapi version)
  list(APPEND QM_BENCH_PROGRAMS floor_win unpack_win engine_bench call_costs)
else()
  add_executable(decode_bench EXCLUDE_FROM_ALL bench/decode_bench.cpp)
  target_link_libraries(decode_bench qmcore)
  add_executable(floor_native EXCLUDE_FROM_ALL bench/floor_native.cpp)
  target_link_libraries(floor_native qmcore)
  list(APPEND QM_BENCH_PROGRAMS decode_bench floor_native)
endif()
add_custom_target(bench_programs DEPENDS ${QM_BENCH_PROGRAMS})
