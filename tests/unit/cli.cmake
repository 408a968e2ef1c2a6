# The command line's text: JSON lines, the console's pieces, password bytes on standard input.
if(TARGET tp_cli)
    tallyport_add_test(NAME tst_cli_text
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_cli_text.cpp
        LIBS tp_cli LABELS unit)
endif()
