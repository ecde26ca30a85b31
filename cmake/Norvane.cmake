# Shared build helpers for Norvane targets.
include_guard(GLOBAL)

# Strict warnings on our own targets only; third-party headers come in as SYSTEM.
function(norvane_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
    target_compile_definitions(${target} PRIVATE QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
endfunction()

# norvane_add_test(NAME n KIND gtest|qttest SOURCES ... LIBS ... [DB])
# One ctest entry per test program. DB tests run inside the private MariaDB fixture: the
# wrapper exports the server's port, socket and credentials and fails (never skips) when the
# server is not up.
function(norvane_add_test)
    cmake_parse_arguments(T "DB" "NAME;KIND" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    norvane_warnings(${T_NAME})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS})
    if(T_KIND STREQUAL "gtest")
        target_link_libraries(${T_NAME} PRIVATE GTest::gtest GTest::gtest_main GTest::gmock)
    elseif(T_KIND STREQUAL "qttest")
        target_link_libraries(${T_NAME} PRIVATE Qt6::Test)
    else()
        message(FATAL_ERROR "norvane_add_test: KIND must be gtest or qttest")
    endif()
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
    target_compile_definitions(${T_NAME} PRIVATE
        NORVANE_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
        NORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    if(T_DB)
        add_test(NAME ${T_NAME}
                 COMMAND bash ${PROJECT_SOURCE_DIR}/tests/support/with-server.sh
                         ${NORVANE_TEST_SERVER_DIR} $<TARGET_FILE:${T_NAME}>)
        set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED db LABELS db)
    else()
        add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    endif()
    set_property(TEST ${T_NAME} APPEND PROPERTY ENVIRONMENT
                 QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 LANG=C.UTF-8)
endfunction()
