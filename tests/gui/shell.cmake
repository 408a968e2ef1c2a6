# Window instances, modal showing, event wrappers, the message service and the error boundary.
tallyport_add_test(NAME gui_shell SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_shell.cpp LIBS tp_app LABELS gui)
