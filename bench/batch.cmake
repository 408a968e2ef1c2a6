# batch_bench: a 20-year run against its floor of 21 ticks, and one year step (attach plus
# grid refresh) against tsql sending the same two statements, also with 5,000 databases.
# Needs the stand-in server and the GUI test fixture.
if(TARGET tp_guitest AND TARGET tallyport-standin)
    add_executable(batch_bench ${CMAKE_CURRENT_LIST_DIR}/batch_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/BenchSupport.cpp
        ${PROJECT_SOURCE_DIR}/tests/gui/operations_support.cpp)
    target_link_libraries(batch_bench PRIVATE tp_guitest)
    target_include_directories(batch_bench PRIVATE ${PROJECT_SOURCE_DIR}/tests/gui)
    target_compile_definitions(batch_bench PRIVATE TALLYPORT_STANDIN_PATH="$<TARGET_FILE:tallyport-standin>")
    add_dependencies(batch_bench tallyport-standin)
endif()
