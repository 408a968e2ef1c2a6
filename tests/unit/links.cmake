# The command line links the core alone: no Qt Widgets, Qt Gui or DBus in what it loads
# (ldd: every library, transitively) or imports (objdump -p of the Windows program).
if(TARGET tallyport-cli)
    if(WIN32)
        find_program(TALLYPORT_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump REQUIRED)
        set(_lister "${TALLYPORT_OBJDUMP};-p")
    else()
        find_program(TALLYPORT_LDD ldd REQUIRED)
        set(_lister "${TALLYPORT_LDD}")
    endif()
    add_test(NAME cli_links_core_only
        COMMAND ${CMAKE_COMMAND} "-DLISTER=${_lister}" -DPROGRAM=$<TARGET_FILE:tallyport-cli>
            -P ${PROJECT_SOURCE_DIR}/cmake/CheckLinks.cmake)
    set_tests_properties(cli_links_core_only PROPERTIES LABELS unit TIMEOUT 60)
endif()
