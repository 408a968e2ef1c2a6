# Pure logic of the account-year operations: statement texts, quoting, numbers in boxes.
tallyport_add_test(NAME tst_operations_statements
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_operations_statements.cpp
    LIBS tp_core_operations LABELS unit)
tallyport_add_test(NAME tst_operations_numbertext
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_operations_numbertext.cpp
    LIBS tp_core_operations LABELS unit)
tallyport_add_test(NAME tst_operations_progresscaption
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_operations_progresscaption.cpp
    LIBS tp_batch LABELS unit)
# Paths compared as the same file: normal form, absolute roots, file identity.
tallyport_add_test(NAME tst_path_identity
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_path_identity.cpp
    LIBS tp_core_operations tp_testsupport LABELS unit)
