# The scan of a data root: folder trees made in the test against server catalogues.
tallyport_add_test(NAME tst_scan_plan
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_scan_plan.cpp
    LIBS tp_core_scan tp_testsupport LABELS unit)
# The server's verdict without a server: versions, a batch's answer, rows, file access.
tallyport_add_test(NAME tst_server_verdict
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_server_verdict.cpp
    LIBS tp_core_scan LABELS unit)
