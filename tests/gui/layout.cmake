# The windows against their layout tables (no server needed).
tallyport_add_test(NAME gui_layout SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_layout.cpp LIBS tp_app LABELS gui)
