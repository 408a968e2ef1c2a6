# The file window against a stand-in: find file, what the chosen file records, attach.
tallyport_add_test(NAME gui_fileattach
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fileattach_window_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/fileattach_dbfiles.cpp
            ${CMAKE_CURRENT_LIST_DIR}/fileattach_dbfiles.h
    LIBS tp_guitest
    LABELS gui db
    TIMEOUT 300)
