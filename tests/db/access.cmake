# The access layer against the stand-in server (each test case starts its own).
# The connection-string builders are compiled in directly: the test needs only the platform layer.
tallyport_add_test(NAME access_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/access_test.cpp ${PROJECT_SOURCE_DIR}/src/signin/ConnectionStrings.cpp
    LIBS tp_platform Qt6::Network
    LABELS db
    TIMEOUT 300)
target_include_directories(access_test PRIVATE ${PROJECT_SOURCE_DIR}/src/signin)
