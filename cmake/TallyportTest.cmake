# tallyport_add_test(NAME <name> SOURCES <files...> LIBS <libs...> LABELS <labels...> [TIMEOUT <s>])
# Registers one Qt Test executable with CTest, headless and with a fixed locale.
function(tallyport_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE Qt6::Test tp_testsupport ${T_LIBS})
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    set(_env "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8;TALLYPORT_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
    if(TARGET tallyport-standin)
        # The stand-in server binary, for tests that start their own server on port 0.
        list(APPEND _env "TALLYPORT_STANDIN=$<TARGET_FILE:tallyport-standin>")
        add_dependencies(${T_NAME} tallyport-standin)
    elseif(TALLYPORT_STANDIN)
        # A build without a stand-in of its own (the Windows build under wine) uses one built
        # elsewhere, e.g. the Linux build's.
        list(APPEND _env "TALLYPORT_STANDIN=${TALLYPORT_STANDIN}")
    endif()
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${_env}")
endfunction()
