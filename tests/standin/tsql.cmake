# The stand-in's statements through the real FreeTDS client tsql, against a running stand-in.
if(TARGET tallyport-standin)
    tallyport_add_test(NAME tsql_test
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/tsql_test.cpp
        LABELS standin
        TIMEOUT 300)
endif()
