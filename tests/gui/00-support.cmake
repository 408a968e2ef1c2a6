# tp_guitest: the fixture every GUI test uses (stand-in, sign-in, message and file dialog
# recorders, end-of-application observer). See tests/gui/support/GuiFixture.h.
file(GLOB _guitest_cpp CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/support/*.cpp)
add_library(tp_guitest STATIC ${_guitest_cpp})
target_include_directories(tp_guitest PUBLIC ${CMAKE_CURRENT_LIST_DIR}/support)
target_link_libraries(tp_guitest PUBLIC tp_startup tp_testsupport Qt6::Test Qt6::Widgets)
