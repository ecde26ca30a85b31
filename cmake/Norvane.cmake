# Shared build helpers for Norvane targets.
include_guard(GLOBAL)

# Strict warnings on our own targets only; third-party headers come in as SYSTEM. Sanitizer
# builds (the ones CI runs) keep -Werror except for GCC's flow warnings (stringop-overflow,
# array-bounds, maybe-uninitialized), which misfire on instrumented code: those still print.
function(norvane_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror)
    if(NORVANE_SANITIZE OR NORVANE_TSAN)
        target_compile_options(${target} PRIVATE -Wno-error=stringop-overflow
                               -Wno-error=array-bounds -Wno-error=maybe-uninitialized)
    endif()
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
    if(T_DB)
        add_test(NAME ${T_NAME}
                 COMMAND bash ${PROJECT_SOURCE_DIR}/tests/support/with-server.sh
                         ${NORVANE_TEST_SERVER_DIR} $<TARGET_FILE:${T_NAME}>)
        set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED db LABELS db)
    else()
        add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    endif()
    # Off the developer's own session bus: a test that stores a password must never reach the
    # desktop's real keyring (the keyring tests bring a private bus of their own).
    set_property(TEST ${T_NAME} APPEND PROPERTY ENVIRONMENT
                 QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 LANG=C.UTF-8
                 NORVANE_SOURCE_DIR=${PROJECT_SOURCE_DIR}
                 DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/norvane-test-bus)
endfunction()

# The layer table: each layer and the layers it includes and links, lowest first. A layer sees
# exactly these layers' headers (and their own lower layers through the PUBLIC links), nothing
# above: norvane_layer() gives each library only its own folder as include root and proves the
# rule by a probe compiled with the library's include paths.
set(NORVANE_LAYERS persist dbaccess catalogue export widgets app)
set(NORVANE_LAYER_DEPS_persist "")
set(NORVANE_LAYER_DEPS_dbaccess persist)
set(NORVANE_LAYER_DEPS_catalogue dbaccess persist)
set(NORVANE_LAYER_DEPS_export persist)
set(NORVANE_LAYER_DEPS_widgets dbaccess export persist)
set(NORVANE_LAYER_DEPS_app catalogue dbaccess export persist widgets)

# The layers `layer` may see: its own and every layer reachable through the table.
function(norvane_layer_closure layer out)
    set(seen ${layer})
    set(todo ${NORVANE_LAYER_DEPS_${layer}})
    while(todo)
        list(POP_FRONT todo next)
        if(NOT next IN_LIST seen)
            list(APPEND seen ${next})
            list(APPEND todo ${NORVANE_LAYER_DEPS_${next}})
        endif()
    endwhile()
    set(${out} ${seen} PARENT_SCOPE)
endfunction()

# norvane_layer(target layer)
# Makes `layer`'s headers reachable as "layer/File.h" for `target` and everything linking it,
# and nothing else of the source tree: the include root is a folder in the build tree holding
# one link, <root>/layer -> the layer's source folder. Inside a layer, "File.h" finds its
# neighbour. Adds a probe object library that fails to compile if the target sees a layer the
# table does not allow or misses one it does.
function(norvane_layer target layer)
    set(root ${CMAKE_BINARY_DIR}/layers/${layer})
    file(MAKE_DIRECTORY ${root})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${layer} ${root}/${layer} SYMBOLIC)
    target_include_directories(${target} PUBLIC ${root})

    norvane_layer_closure(${layer} visible)
    set(probe "// Generated: which layers ${target} sees (cmake/Norvane.cmake, norvane_layer).\n")
    foreach(other ${NORVANE_LAYERS})
        file(GLOB headers RELATIVE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/${other}/*.h)
        list(SORT headers)
        list(GET headers 0 header)
        if(other IN_LIST visible)
            string(APPEND probe "#if !__has_include(\"${header}\")\n"
                   "#error \"${layer} must see ${other}/: link norvane_${other}\"\n#endif\n")
        else()
            string(APPEND probe "#if __has_include(\"${header}\")\n"
                   "#error \"${layer} must not see ${other}/ (layer table in cmake/Norvane.cmake)\"\n"
                   "#endif\n")
        endif()
    endforeach()
    set(probe_file ${CMAKE_BINARY_DIR}/layer-probes/${layer}.cpp)
    file(CONFIGURE OUTPUT ${probe_file} CONTENT "${probe}" @ONLY)
    add_library(${target}_layering OBJECT ${probe_file})
    target_link_libraries(${target}_layering PRIVATE ${target})
endfunction()
