# Installation of the application (cmake --install) and the demo helper that scripts/run uses.
# Included by app/CMakeLists.txt after the norvane target exists.
include_guard(GLOBAL)
include(GNUInstallDirs)

install(TARGETS norvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/app/norvane.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/app/norvane.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# Writes a hosts.lst that offers the demo server in the logon dialog. Built on demand only
# (scripts/run asks for it); never installed.
if(NOT TARGET norvane-demo-hosts)
    add_executable(norvane-demo-hosts EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/scripts/demo-hosts.cpp)
    norvane_warnings(norvane-demo-hosts)
    target_link_libraries(norvane-demo-hosts PRIVATE norvane_catalogue)
endif()
