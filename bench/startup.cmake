# startup_bench: tallyport's start-up to the painted login window, and its peak memory,
# against a minimal Qt Widgets program showing one empty window (Linux: posix_spawn + wait4).
# tallyport-startup-probe is the program as main.cpp runs it, ending after the first paint.
if(TARGET tallyport)
    add_executable(tallyport-startup-probe WIN32 ${CMAKE_CURRENT_LIST_DIR}/startup_probe.cpp)
    target_link_libraries(tallyport-startup-probe PRIVATE tp_startup)
endif()
if(TARGET tallyport AND UNIX AND NOT APPLE)
    add_executable(startup_baseline ${CMAKE_CURRENT_LIST_DIR}/startup_baseline.cpp)
    target_link_libraries(startup_baseline PRIVATE Qt6::Widgets)
    add_executable(startup_bench ${CMAKE_CURRENT_LIST_DIR}/startup_bench.cpp)
    target_compile_definitions(startup_bench PRIVATE TALLYPORT_APP="$<TARGET_FILE:tallyport-startup-probe>"
        TALLYPORT_BASELINE="$<TARGET_FILE:startup_baseline>")
    add_dependencies(startup_bench tallyport-startup-probe startup_baseline)
endif()
# The Windows build: the baseline cross-built the same way as tallyport.exe; the Linux
# startup_bench runs both under wine (bench/wine_startup).
if(TARGET tallyport AND WIN32)
    add_executable(startup_baseline WIN32 ${CMAKE_CURRENT_LIST_DIR}/startup_baseline.cpp)
    target_link_libraries(startup_baseline PRIVATE Qt6::Widgets)
endif()
