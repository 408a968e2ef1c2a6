# Hints of the error report by operation and number, and the driver's words as one line.
tallyport_add_test(NAME tst_error_hints
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_error_hints.cpp
    LIBS tp_core_errors LABELS unit)
