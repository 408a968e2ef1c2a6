# The multi-year run and its progress window, against the stand-in.
tallyport_add_test(NAME gui_batch_run
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_batch_run.cpp ${CMAKE_CURRENT_LIST_DIR}/operations_support.cpp
    LIBS tp_guitest LABELS gui TIMEOUT 300)
