# Sign-in, the main window's load sequence and the database grid, against the stand-in.
tallyport_add_test(NAME gui_signin SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_signin.cpp LIBS tp_guitest LABELS gui db
    TIMEOUT 180)
