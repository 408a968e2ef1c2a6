# Main window: drive and folder lists, the account-year scheme, the digit filter.
tallyport_add_test(NAME mainwin_platform_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/mainwin_platform_test.cpp
    LIBS tp_platform_widgets
    LABELS unit)

tallyport_add_test(NAME mainwin_scheme_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/mainwin_scheme_test.cpp
    LIBS tp_operations
    LABELS unit)
