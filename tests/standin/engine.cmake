# The stand-in's statement engine, driven directly (no sockets).
if(TARGET standin_engine)
    tallyport_add_test(NAME engine_queries_test
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_queries_test.cpp ${CMAKE_CURRENT_LIST_DIR}/engine_harness.h
        LIBS standin_engine LABELS standin)
endif()
if(TARGET standin_engine)
    tallyport_add_test(NAME engine_files_test
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_files_test.cpp ${CMAKE_CURRENT_LIST_DIR}/engine_harness.h
        LIBS standin_engine LABELS standin)
endif()
if(TARGET standin_engine)
    tallyport_add_test(NAME engine_language_test
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_language_test.cpp ${CMAKE_CURRENT_LIST_DIR}/engine_harness.h
        LIBS standin_engine LABELS standin)
endif()
if(TARGET standin_engine)
    tallyport_add_test(NAME engine_units_test
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/engine_units_test.cpp
        LIBS standin_engine LABELS standin)
endif()
