# scan_bench: the plan of 100 sets x 30 years against 32,767 databases, the main window's grid
# with 32,767 databases, and attach-missing of 200 account-years, each against tsql.
if(TARGET tp_guitest AND TARGET tallyport-standin)
    add_executable(scan_bench ${CMAKE_CURRENT_LIST_DIR}/scan_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/BenchSupport.cpp
        ${PROJECT_SOURCE_DIR}/tests/gui/operations_support.cpp)
    target_link_libraries(scan_bench PRIVATE tp_guitest)
    target_include_directories(scan_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/gui)
    target_compile_definitions(scan_bench PRIVATE TALLYPORT_STANDIN_PATH="$<TARGET_FILE:tallyport-standin>")
    add_dependencies(scan_bench tallyport-standin)
endif()
