# standin_load_bench: sign-in time and peak memory of the stand-in under a client that never
# reads its replies and under 40 clients holding unfinished 15.8 MiB messages, against the idle
# server, in one run. Linux only.
if(TARGET tp_testsupport AND TARGET tallyport-standin AND CMAKE_SYSTEM_NAME STREQUAL "Linux")
    add_executable(standin_load_bench ${CMAKE_CURRENT_LIST_DIR}/standin_load_bench.cpp
        ${CMAKE_CURRENT_LIST_DIR}/BenchSupport.cpp)
    target_link_libraries(standin_load_bench PRIVATE standin_codec tp_testsupport Qt6::Network)
    target_compile_definitions(standin_load_bench PRIVATE TALLYPORT_STANDIN_PATH="$<TARGET_FILE:tallyport-standin>")
    add_dependencies(standin_load_bench tallyport-standin)
endif()
