# The benchmark of the real DLL: a Windows program run under Wine by bench/run.
add_executable(tallyrun_dll_bench ${CMAKE_CURRENT_LIST_DIR}/dll_bench.cpp)
target_link_libraries(tallyrun_dll_bench PRIVATE psapi)
target_include_directories(tallyrun_dll_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
