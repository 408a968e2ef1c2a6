# OLE DB connection strings, server names, ODBC strings, the three connection strings.
# The connection-string builders are compiled in directly, so this test needs only the
# platform layer.
tallyport_add_test(NAME oledb_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/oledb_test.cpp
    LIBS tp_core_db
    LABELS unit)
