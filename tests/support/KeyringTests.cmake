# Test programs that need a desktop keyring of their own run through with-keyring.sh, once per
# keyring mode: no ctest entry starts them without it.

# norvane_keyring_program(NAME n KIND gtest|qttest SOURCES ... LIBS ...)
# Builds a test program like norvane_add_test, without registering a test. A gtest program
# brings its own main (it needs a Qt application for the keyring's answers).
function(norvane_keyring_program)
    cmake_parse_arguments(T "" "NAME;KIND" "SOURCES;LIBS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    norvane_warnings(${T_NAME})
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} Qt6::Test)
    if(T_KIND STREQUAL "gtest")
        target_link_libraries(${T_NAME} PRIVATE GTest::gtest)
    endif()
    target_include_directories(${T_NAME} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support)
endfunction()

# norvane_keyring_test(NAME n PROGRAM target MODE available|nobus|noservice|stalled [DB]
#                      [ARGS ...])
# Runs PROGRAM with ARGS under a keyring in MODE (and inside the private server with DB).
function(norvane_keyring_test)
    cmake_parse_arguments(K "DB" "NAME;PROGRAM;MODE" "ARGS" ${ARGN})
    set(command bash ${PROJECT_SOURCE_DIR}/tests/support/with-keyring.sh ${K_MODE}
                ${CMAKE_BINARY_DIR}/keyring/${K_NAME} $<TARGET_FILE:${K_PROGRAM}> ${K_ARGS})
    set(labels keyring)
    if(K_DB)
        set(command bash ${PROJECT_SOURCE_DIR}/tests/support/with-server.sh
                    ${NORVANE_TEST_SERVER_DIR} ${command})
        list(APPEND labels db)
    endif()
    add_test(NAME ${K_NAME} COMMAND ${command})
    set_tests_properties(${K_NAME} PROPERTIES LABELS "${labels}"
                         ENVIRONMENT
                         "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;LANG=C.UTF-8;NORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
    if(K_DB)
        set_tests_properties(${K_NAME} PROPERTIES FIXTURES_REQUIRED db)
    endif()
endfunction()
