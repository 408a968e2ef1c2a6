# The folder a user unzips: tallyport.exe and tallyport-cli.exe side by side, and the command
# line starting from there under plain wine (no paths to the build's DLLs) and reaching a server
# through the ODBC driver plugin that ships in the folder. The zip is the one scripts/windows
# leaves beside this build folder; the Linux stand-in is named by scripts/test-windows.
if(WIN32 AND CMAKE_CROSSCOMPILING AND TARGET tallyport-cli)
    add_test(NAME windows_package
        COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/package_test.sh ${CMAKE_BINARY_DIR}/../Tallyport.zip)
    set_tests_properties(windows_package PROPERTIES LABELS unit TIMEOUT 180)
endif()
