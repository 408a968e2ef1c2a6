# The stand-in launcher: a Linux program through which tests built for Windows, running under
# wine, start and stop the (Linux) stand-in. Not a test; scripts/test-windows runs it.
if(TARGET tallyport-standin)
    add_executable(tallyport-standin-launcher ${CMAKE_CURRENT_LIST_DIR}/standin_launcher.cpp)
    target_link_libraries(tallyport-standin-launcher PRIVATE Qt6::Core Qt6::Network)
    target_compile_definitions(tallyport-standin-launcher PRIVATE
        TALLYPORT_STANDIN_BINARY="$<TARGET_FILE:tallyport-standin>")
    add_dependencies(tallyport-standin-launcher tallyport-standin)
endif()
