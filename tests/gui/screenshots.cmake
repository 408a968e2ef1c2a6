# Renders every window to PNG files (scripts/screenshots); not a test.
add_executable(tallyport-screenshots ${CMAKE_CURRENT_LIST_DIR}/screenshots_main.cpp)
target_link_libraries(tallyport-screenshots PRIVATE tp_startup Qt6::Test)
