# refresh_probe: the login probe's sequence and the grid's refresh against a given server, in
# both builds; wine_refresh_bench (Linux) runs the Linux and the Windows probe (under wine)
# against one stand-in with 5,005 databases and prints the ratio (bench/wine_refresh).
if(TARGET tp_startup)
    add_executable(refresh_probe ${CMAKE_CURRENT_LIST_DIR}/refresh_probe.cpp)
    target_link_libraries(refresh_probe PRIVATE tp_startup)
endif()
if(TARGET refresh_probe AND TARGET tp_testsupport AND TARGET tallyport-standin)
    add_executable(wine_refresh_bench ${CMAKE_CURRENT_LIST_DIR}/wine_refresh_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/BenchSupport.cpp)
    target_link_libraries(wine_refresh_bench PRIVATE tp_core_db tp_testsupport)
    target_compile_definitions(wine_refresh_bench PRIVATE TALLYPORT_STANDIN_PATH="$<TARGET_FILE:tallyport-standin>"
        TALLYPORT_REFRESH_PROBE="$<TARGET_FILE:refresh_probe>")
    add_dependencies(wine_refresh_bench tallyport-standin refresh_probe)
endif()
