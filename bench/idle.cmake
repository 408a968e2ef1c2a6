# idle_bench: processor time of an idle main window, against the same window with the path
# timer stopped, in one run. Needs the stand-in server and the test support library.
if(TARGET tp_testsupport AND TARGET tallyport-standin)
    add_executable(idle_bench ${CMAKE_CURRENT_LIST_DIR}/idle_bench.cpp)
    target_link_libraries(idle_bench PRIVATE tp_startup tp_testsupport Qt6::Widgets)
    target_compile_definitions(idle_bench PRIVATE TALLYPORT_STANDIN_PATH="$<TARGET_FILE:tallyport-standin>")
    add_dependencies(idle_bench tallyport-standin)
endif()
