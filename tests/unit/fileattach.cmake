# The file window's pure logic: look-up statements, recorded-path cleaning, log-row choice.
tallyport_add_test(NAME fileattach_logic_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fileattach_logic_test.cpp
    LIBS tp_core_operations
    LABELS unit)
