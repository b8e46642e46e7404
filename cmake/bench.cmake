# Benchmark programs (bench/run.sh): not shipped, never copied to dist/.
add_executable(script_bench bench/script_bench.cpp)
target_link_libraries(script_bench qmcore)
if(WIN32)
  # The Win32 side of the extraction and COPY comparisons under Wine.
  add_executable(floor_win bench/floor_win.cpp)
  target_link_libraries(floor_win qmcore)
  add_executable(unpack_win bench/unpack_win.cpp)
  target_link_libraries(unpack_win qmcore)
  add_executable(engine_bench bench/engine_bench.cpp)
  # The single calls behind the engine's per-command cost.
  add_executable(call_costs bench/call_costs.cpp)
  target_link_libraries(call_costs shlwapi version)
else()
  add_executable(decode_bench bench/decode_bench.cpp)
  target_link_libraries(decode_bench qmcore)
  add_executable(floor_native bench/floor_native.cpp)
  target_link_libraries(floor_native qmcore)
endif()
