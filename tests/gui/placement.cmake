# Windows and dialogs kept on the screen they open on (no server needed).
tallyport_add_test(NAME gui_placement SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_placement.cpp LIBS tp_guitest LABELS gui)
