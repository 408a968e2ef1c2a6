# tallyport-cli end to end against the stand-in: what-if texts, JSON lines, exit codes.
if(TARGET tallyport-cli)
    tallyport_add_test(NAME tst_cli
        SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_cli.cpp ${PROJECT_SOURCE_DIR}/tests/gui/fileattach_dbfiles.cpp
        LIBS tp_core_scan LABELS db TIMEOUT 300)
    target_include_directories(tst_cli PRIVATE ${PROJECT_SOURCE_DIR}/tests/gui)
    add_dependencies(tst_cli tallyport-cli)
    set_property(TEST tst_cli APPEND PROPERTY ENVIRONMENT "TALLYPORT_CLI=$<TARGET_FILE:tallyport-cli>")
endif()
