# The access layer against the stand-in server (each test case starts its own).
# The connection-string builders are compiled in directly: the test needs only the platform layer.
tallyport_add_test(NAME access_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/access_test.cpp
    LIBS tp_platform_widgets tp_core_errors Qt6::Network
    LABELS db
    TIMEOUT 300)
