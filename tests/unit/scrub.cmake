# The sa password kept out of error texts without garbling them.
tallyport_add_test(NAME tst_password_scrub
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_password_scrub.cpp
    LIBS tp_core_db LABELS unit)
