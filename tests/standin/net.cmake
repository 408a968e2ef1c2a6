# The stand-in over real sockets: raw TDS spoken with the codec, and the real client stacks
# (FreeTDS tsql, isql through unixODBC). Each test case starts its own stand-in on port 0.
tallyport_add_test(NAME net_raw_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_raw_test.cpp
    LIBS standin_codec Qt6::Network
    LABELS standin
    TIMEOUT 300)

tallyport_add_test(NAME net_clients_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/net_clients_test.cpp
    LIBS Qt6::Sql
    LABELS standin
    TIMEOUT 300)
