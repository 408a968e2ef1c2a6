# access_bench: the database list of 5,000 databases through the access layer against tsql,
# and one attach + detach round trip. Needs the stand-in server and the test support library.
if(TARGET tp_testsupport AND TARGET tallyport-standin)
    add_executable(access_bench ${CMAKE_CURRENT_LIST_DIR}/access_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/BenchSupport.cpp)
    target_link_libraries(access_bench PRIVATE tp_platform_widgets tp_testsupport)
    target_include_directories(access_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    target_compile_definitions(access_bench PRIVATE TALLYPORT_STANDIN_PATH="$<TARGET_FILE:tallyport-standin>")
    add_dependencies(access_bench tallyport-standin)
endif()
